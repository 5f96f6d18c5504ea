// sp_help's first result holds the creation time of the object, which no
// SQL file can give in advance: its columns and its other values here.
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/connection.h"
#include "library.h"
#include "platform/systemtime.h"

namespace {

using xr::engine::Connection;

TEST(SystemProcs, HelpOfATableGivesItsNameOwnerKindAndCreationTime) {
    xrtest::TempDir dir;
    Connection c;
    c.Open("Provider=sqlite;Data Source=" + dir.Str() + ";Synchronous=OFF");
    c.Execute("CREATE DATABASE CATH USE CATH CREATE TABLE Products (PLU BIGINT NOT NULL)");
    auto rows = c.Query("EXEC sp_help 'Products'");
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->ColumnCount(), 4u);
    const char* columns[] = {"Name", "Owner", "Type", "Created_datetime"};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(rows->Column(i).name, columns[i]);
    ASSERT_TRUE(rows->Next());
    SYSTEMTIME made{};
    ASSERT_EQ(rows->Value(3).Type(), xr::VT_DATE);
    ASSERT_TRUE(xr::VariantTimeToSystemTime(rows->Value(3).RealValue(), &made));
    EXPECT_GE(made.wYear, 2024);
    EXPECT_FALSE(rows->Next());

    // Owner-qualified and bracketed names reach the same table.
    for (const std::string name : {"Products", "[dbo].[Products]"}) {
        EXPECT_TRUE(xrtest::Scalar(c, "EXEC sp_help '" + name + "'")
                        .starts_with("Products|dbo|user table|"))
            << name;
    }

    // Without a name: every object of the database, with its kind.
    auto named = c.Query("EXEC sp_help");
    ASSERT_TRUE(named);
    EXPECT_EQ(named->Column(2).name, "Object_type");
    const auto all = xrtest::Rows(c, "EXEC sp_help");
    EXPECT_NE(std::find(all.begin(), all.end(), "Products|dbo|user table"), all.end());
}

}  // namespace
