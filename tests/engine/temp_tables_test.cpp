// #tables and table variables across connections: what a conformance file
// cannot show (a connection closed and opened again, the files of the folder).
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "library.h"

namespace {

using xr::ComError;
using xr::engine::Connection;

class TempTablesTest : public xrtest::AnyEngineTest {
protected:
    void SetUp() override {
        AnyEngineTest::SetUp();
        if (IsSkipped()) return;
        m_conn.Open(ConnectString());
        m_conn.Execute("CREATE DATABASE SHOP");
        m_conn.Execute("USE SHOP");
    }

    // The database files of the folder, and any file named after tempdb.
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::recursive_directory_iterator(m_server.Dir().Path())) {
            std::string name = e.path().filename().string();
            std::string upper = name;
            for (char& c : upper)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            if (upper.find("TEMP") != std::string::npos || e.path().extension() == ".db")
                names.push_back(name);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    static std::string ErrorOf(Connection& conn, const std::string& sql) {
        try {
            conn.Execute(sql);
        } catch (const ComError& e) {
            return e.Description();
        }
        return "<no error>";
    }
};

TEST_P(TempTablesTest, EachConnectionHasItsOwnTable) {
    Connection other;
    other.Open(ConnectString());
    m_conn.Execute("CREATE TABLE #t (A INT) INSERT INTO #t VALUES (1)");
    other.Execute("CREATE TABLE #t (A INT) INSERT INTO #t VALUES (2) INSERT INTO #t VALUES (3)");
    EXPECT_EQ(Rows("SELECT A FROM #t"), (std::vector<std::string>{"1"}));
    EXPECT_EQ(xrtest::Rows(other, "SELECT A FROM #t ORDER BY A"),
              (std::vector<std::string>{"2", "3"}));
    other.Close();
    EXPECT_EQ(Rows("SELECT A FROM #t"), (std::vector<std::string>{"1"}));
}

TEST_P(TempTablesTest, TableEndsWithItsConnectionAndLeavesNoFile) {
    const std::vector<std::string> before = Files();
    m_conn.Execute("CREATE TABLE #t (ID INT IDENTITY PRIMARY KEY, Name VARCHAR(20))");
    m_conn.Execute("CREATE INDEX IX_t ON #t (Name)");
    m_conn.Execute("INSERT INTO #t (Name) SELECT 'a' INSERT INTO #t (Name) SELECT 'b'");
    m_conn.Execute("SELECT * INTO #copy FROM #t");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM #copy"), "2");
    m_conn.Close();
    // Nothing of tempdb reached the folder, and the database files hold no trace.
    EXPECT_EQ(Files(), before);
    m_conn.Open(ConnectString());
    m_conn.Execute("USE SHOP");
    EXPECT_EQ(ErrorOf(m_conn, "SELECT * FROM #t"), "Invalid object name '#t'.");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sysobjects WHERE name LIKE '#%'"), "0");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM tempdb..sysobjects WHERE name LIKE '#%'"), "0");
    // The name is free again.
    m_conn.Execute("CREATE TABLE #t (Other INT)");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM #t"), "0");
}

TEST_P(TempTablesTest, TableVariableEndsWithItsBatch) {
    m_conn.Execute("DECLARE @t TABLE (A INT) INSERT INTO @t VALUES (1)");
    EXPECT_EQ(ErrorOf(m_conn, "SELECT * FROM @t"), "Must declare the table variable \"@t\".");
    // A batch that fails part way still lets its table variables go.
    EXPECT_NE(ErrorOf(m_conn, "DECLARE @u TABLE (A INT) SELECT * FROM NoSuchTable"), "<no error>");
    EXPECT_EQ(ErrorOf(m_conn, "SELECT * FROM @u"), "Must declare the table variable \"@u\".");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM tempdb..sysobjects WHERE name LIKE '@%'"), "0");
}

XRTEST_ON_EVERY_ENGINE(TempTablesTest);

}  // namespace
