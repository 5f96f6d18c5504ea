// sp_help's first result holds the creation time of the object, which no
// SQL file can give in advance: its columns and its other values here.
#include <gtest/gtest.h>

#include "engine/connection.h"
#include "platform/systemtime.h"
#include "temp_dir.h"

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
    EXPECT_EQ(rows->Value(0).ToText(), "Products");
    EXPECT_EQ(rows->Value(1).ToText(), "dbo");
    EXPECT_EQ(rows->Value(2).ToText(), "user table");
    SYSTEMTIME made{};
    ASSERT_EQ(rows->Value(3).Type(), xr::VT_DATE);
    ASSERT_TRUE(xr::VariantTimeToSystemTime(rows->Value(3).RealValue(), &made));
    EXPECT_GE(made.wYear, 2024);
    EXPECT_FALSE(rows->Next());

    // Owner-qualified and bracketed names reach the same table.
    auto qualified = c.Query("EXEC sp_help '[dbo].[Products]'");
    ASSERT_TRUE(qualified && qualified->Next());
    EXPECT_EQ(qualified->Value(0).ToText(), "Products");

    // Without a name: every object of the database, with its kind.
    auto all = c.Query("EXEC sp_help");
    ASSERT_TRUE(all);
    ASSERT_EQ(all->ColumnCount(), 3u);
    EXPECT_EQ(all->Column(2).name, "Object_type");
    bool found = false;
    while (all->Next()) {
        if (all->Value(0).ToText() == "Products") {
            found = true;
            EXPECT_EQ(all->Value(2).ToText(), "user table");
        }
    }
    EXPECT_TRUE(found);
}

}  // namespace
