// The engine's connection and the connection strings it opens.
#include "engine/connection.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "engine/connection_string.h"
#include "library.h"

namespace {

using xr::ComError;
using xr::engine::Connection;

// Runs `fn` and returns the error it throws (code 0 when it throws none).
ComError Thrown(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const ComError& e) {
        return e;
    }
    return ComError(0, "");
}

class ConnectionTest : public xrtest::EngineTest {};

TEST_F(ConnectionTest, OperationsOnAClosedConnectionFail) {
    const std::string closedText = "Operation is not allowed when the object is closed.";
    std::vector<std::function<void()>> ops = {
        [&] { m_conn.Execute("SELECT 1"); },
        [&] { m_conn.Query("SELECT 1"); },
        [&] { m_conn.BeginTrans(); },
        [&] { m_conn.CommitTrans(); },
        [&] { m_conn.RollbackTrans(); },
        [&] { m_conn.DefaultDatabase(); },
        [&] { m_conn.SetDefaultDatabase("x"); },
        [&] { m_conn.Property("DBMS Version"); },
    };
    for (size_t i = 0; i < ops.size(); ++i) {
        SCOPED_TRACE(i);
        ComError e = Thrown(ops[i]);
        EXPECT_EQ(e.Error(), xr::adErrObjectClosed);
        EXPECT_EQ(e.Description(), closedText);
    }
}

TEST_F(ConnectionTest, OpenRejectsBadStringsAndUnknownProviders) {
    struct Case {
        std::string text;
        xr::HRESULT code;
        const char* description;  // null: any text
    } cases[] = {
        {"Provider=SQLOLEDB;Data Source=" + m_dir.Str(), xr::engine::adErrProviderNotFound,
         "Provider cannot be found. It may not be properly installed."},
        {"Provider=sqlite;Data Source", xr::E_FAIL_, xr::engine::kMalformedConnectionText},
        {"Provider=sqlite;Data Source='" + m_dir.Str(), xr::E_FAIL_,
         xr::engine::kMalformedConnectionText},
        {"", xr::E_FAIL_, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        ComError e = Thrown([&] { m_conn.Open(c.text); });
        EXPECT_EQ(e.Error(), c.code);
        if (c.description) {
            EXPECT_EQ(e.Description(), c.description);
        }
        EXPECT_FALSE(m_conn.IsOpen());
        ASSERT_EQ(m_conn.Errors().size(), 1u);
        EXPECT_EQ(m_conn.Errors()[0].number, c.code);
    }
}

TEST_F(ConnectionTest, ADataFolderBelowAFileCannotBeOpened) {
    auto file = m_dir.Path() / "plain-file";
    std::ofstream(file) << "x";
    ComError e = Thrown([&] { m_conn.Open("Data Source=" + (file / "server").string()); });
    EXPECT_NE(e.Error(), 0);
    EXPECT_NE(e.Description().find("plain-file"), std::string::npos) << e.Description();
    EXPECT_FALSE(m_conn.IsOpen());
}

TEST_F(ConnectionTest, ErrorsClearOnTheNextCallPropertiesAndReopening) {
    m_conn.Open(ConnectString());
    ASSERT_TRUE(m_conn.IsOpen());
    m_conn.Execute("CREATE TABLE t (a INTEGER)");
    m_conn.Execute("INSERT INTO t VALUES (1)");
    EXPECT_TRUE(m_conn.Errors().empty());

    ComError e = Thrown([&] { m_conn.Execute("INSERT INTO no_such_table VALUES (1)"); });
    EXPECT_NE(e.Error(), 0);
    ASSERT_FALSE(m_conn.Errors().empty());
    EXPECT_EQ(m_conn.Errors()[0].number, e.Error());
    EXPECT_EQ(m_conn.Errors()[0].description, e.Description());

    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t"), "1");
    EXPECT_TRUE(m_conn.Errors().empty());

    ComError q = Thrown([&] { m_conn.Query("SELECT * FROM no_such_table"); });
    EXPECT_NE(q.Error(), 0);
    EXPECT_FALSE(m_conn.Errors().empty());

    EXPECT_EQ(m_conn.Property("DBMS Version"), m_conn.GetSession()->DbmsVersion());
    EXPECT_EQ(m_conn.Property("dbms version"), m_conn.GetSession()->DbmsVersion());
    EXPECT_EQ(Thrown([&] { m_conn.Property("No Such Property"); }).Error(), xr::adErrItemNotFound);

    m_conn.Execute("CREATE TABLE kept (a INTEGER)");
    m_conn.Open(ConnectString());  // an open connection is closed first
    EXPECT_TRUE(m_conn.IsOpen());
    m_conn.Execute("INSERT INTO kept VALUES (1)");
    m_conn.Close();
    EXPECT_FALSE(m_conn.IsOpen());
    m_conn.Close();  // twice is harmless
}

using xr::engine::ConnectionString;
using xr::engine::MaskPasswords;
using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(ConnectionStringParse, SplitsPairsTrimsAndUnquotes) {
    struct Case {
        const char* text;
        Pairs pairs;
    } cases[] = {
        {"", {}},
        {" ; ;", {}},
        {"Provider=sqlite;Data Source=/srv/pos",
         {{"Provider", "sqlite"}, {"Data Source", "/srv/pos"}}},
        {"  Provider = sqlite ;Data Source= /a b/c ;",
         {{"Provider", "sqlite"}, {"Data Source", "/a b/c"}}},
        {"Password='se;cret';User Id=\"Ann \"\"B\"\"\"",
         {{"Password", "se;cret"}, {"User Id", "Ann \"B\""}}},
        {"Pwd='it''s' ; Initial Catalog=LORIMDB81",
         {{"Pwd", "it's"}, {"Initial Catalog", "LORIMDB81"}}},
        {"Password=", {{"Password", ""}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ConnectionString::Parse(c.text).Pairs(), c.pairs);
    }
}

TEST(ConnectionStringParse, MalformedTextFailsWithOleDbText) {
    for (const char* text : {"Provider", "Provider=sqlite;Data Source", "Password='abc",
                             "Password=\"abc;Server=x", "Pwd='a'b;Server=x", "=sqlite"}) {
        SCOPED_TRACE(text);
        try {
            ConnectionString::Parse(text);
            ADD_FAILURE() << "parsed";
        } catch (const xr::ComError& e) {
            EXPECT_EQ(e.Error(), xr::E_FAIL_);
            EXPECT_EQ(e.Description(), xr::engine::kMalformedConnectionText);
        }
    }
}

TEST(ConnectionStringParse, KeysIgnoreCaseAndTheFirstOfTwoHolds) {
    auto cs = ConnectionString::Parse("Server=HOST2;data source=/x;SERVER=HOST1\\LORIMSQL");
    EXPECT_EQ(cs.Get("Server"), "HOST2");
    EXPECT_EQ(cs.Get("DATA SOURCE"), "/x");
    EXPECT_EQ(cs.Get("Provider"), std::nullopt);
}

TEST(MaskPasswords, HidesEveryPasswordValueAndKeepsTheRest) {
    const std::pair<const char*, const char*> cases[] = {
        {"Provider=sqlite;Data Source=/x", "Provider=sqlite;Data Source=/x"},
        {"Data Source=/x;User Id=sa;Password=secret;", "Data Source=/x;User Id=sa;Password=***;"},
        {"pwd=a;PASSWORD = b c ;PassWord='x;y';Pwd=\"q\"",
         "pwd=***;PASSWORD = *** ;PassWord=***;Pwd=***"},
        {"Password=;User Id=u", "Password=***;User Id=u"},
        {"Old Password=keep;Passwords=keep", "Old Password=keep;Passwords=keep"},
        {"User Id='Password=x';Server=h", "User Id='Password=x';Server=h"},
        // Malformed text is still masked, never thrown at.
        {"Password='unterminated;Server=h", "Password=***"},
        {"junk;Password=p", "junk;Password=***"},
        // A stray quote elsewhere must not hide the password key that follows.
        {"Data Source='/x;PWD = p;Server=h", "Data Source='/x;PWD = ***;Server=h"},
        {"User Id=\"u;pAsSwOrD='p;q", "User Id=\"u;pAsSwOrD=***"},
        // Text after a closing quote goes with the value.
        {"Password = 'p'q;Server=h", "Password = ***;Server=h"},
        // A password holding ';': pieces without '=' after it are its rest.
        {"Data Source=/x;Password=p;q r;;Server=h", "Data Source=/x;Password=***;;Server=h"},
        {"User Id=u;Password=p;q;", "User Id=u;Password=***;"},
        // A ';' left out puts the password inside the value before it.
        {"Data Source=/x Password=p;Server=h", "Data Source=/x Password=***;Server=h"},
        {"Data Source=/srv/pwd=1", "Data Source=/srv/pwd=1"},
    };
    for (const auto& [text, masked] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(MaskPasswords(text), masked);
    }
}

TEST(MaskPasswords, MessagesHideEveryPasswordTheyQuote) {
    using xr::engine::MaskAs;
    EXPECT_EQ(MaskPasswords("Cannot open the data folder '/x Password=p': Not a directory",
                            MaskAs::kMessage),
              "Cannot open the data folder '/x Password=***");
    EXPECT_EQ(MaskPasswords("'/x;pwd=p;Server=h' is no folder", MaskAs::kMessage),
              "'/x;pwd=***;Server=h' is no folder");
    EXPECT_EQ(MaskPasswords("Provider cannot be found.", MaskAs::kMessage),
              "Provider cannot be found.");
}

}  // namespace
