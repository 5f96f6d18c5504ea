// The engine's connection, the connection strings it opens, and a transaction
// the engine ends on its own.
#include "engine/connection.h"

#include <gtest/gtest.h>

#include <functional>

#include "engine/connection_string.h"
#include "full_disk.h"
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

class ConnectionTest : public xrtest::AnyEngineTest {};

TEST_F(ConnectionTest, OperationsOnAClosedConnectionAndOpeningBadStringsFail) {
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
        EXPECT_EQ(e.Description(), "Operation is not allowed when the object is closed.");
    }
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

TEST(ConnectionStringParse, SplitsTrimsUnquotesTakesTheFirstOfTwoKeysAndRefusesMalformedText) {
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
    auto cs = ConnectionString::Parse("Server=HOST2;data source=/x;SERVER=HOST1\\LORIMSQL");
    EXPECT_EQ(cs.Get("Server"), "HOST2");
    EXPECT_EQ(cs.Get("DATA SOURCE"), "/x");
    EXPECT_EQ(cs.Get("Provider"), std::nullopt);
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

TEST(MaskPasswords, HidesEveryPasswordValueOfTextsAndMessagesAndKeepsTheRest) {
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
    const std::pair<const char*, const char*> messages[] = {
        {"Cannot open the data folder '/x Password=p': Not a directory",
         "Cannot open the data folder '/x Password=***"},
        {"'/x;pwd=p;Server=h' is no folder", "'/x;pwd=***;Server=h' is no folder"},
        {"Provider cannot be found.", "Provider cannot be found."},
    };
    for (const auto& [text, masked] : messages)
        EXPECT_EQ(MaskPasswords(text, xr::engine::MaskAs::kMessage), masked) << text;
}

// A transaction the engine ends on its own (the disk fills up in the middle
// of it): the session must not carry on as if it were open, or the rest of
// the caller's statements would each commit alone and half of the
// transaction would reach the file.
const std::string kLost =
    "The current transaction cannot be committed and cannot support operations that write to "
    "the log file. Roll back the transaction.";

std::string Failure(const std::function<void()>& fn) { return Thrown(fn).Description(); }

class LostTransactionTest : public xrtest::AnyEngineTest {
protected:
    void SetUp() override {
        m_conn.Open(ConnectString());
        m_conn.Execute("CREATE TABLE Sales (Note VARCHAR(20) NOT NULL, Pad TEXT NULL)");
        m_conn.Execute("INSERT Sales (Note) VALUES ('kept')");
    }

    // An insert larger than the engine's page cache, so that it writes to the
    // files before the transaction commits.
    static std::string BigInsert(const char* note) {
        return "INSERT Sales (Note, Pad) VALUES ('" + std::string(note) + "', '" +
               std::string(4 << 20, 'x') + "')";
    }

    // What reached the files, as a fresh connection reads them.
    std::vector<std::string> OnFile() {
        Connection fresh;
        fresh.Open(ConnectString());
        return xrtest::Rows(fresh, "SELECT Note FROM Sales ORDER BY Note");
    }

    // The connection is the base's: it closes here, while the disk is still there.
    void TearDown() override { m_conn.Close(); }

    xrtest::FullDisk m_disk;
};

TEST_F(LostTransactionTest, NothingAfterAFullDiskReachesTheFileAndOnlyARollbackEndsIt) {
    m_conn.BeginTrans();
    m_conn.Execute("INSERT Sales (Note) VALUES ('A')");
    m_conn.Execute(BigInsert("big1"));
    m_disk.FailOneWriteAfter(1 << 20);
    EXPECT_NE(Failure([&] { m_conn.Execute(BigInsert("big2")); }), "");
    ASSERT_EQ(m_disk.Refused(), 1);

    // The disk has room again, but the transaction is gone: nothing more is
    // written in it, and it cannot be committed.
    EXPECT_EQ(Failure([&] { m_conn.Execute(BigInsert("big3")); }), kLost);
    EXPECT_EQ(Failure([&] { m_conn.Execute("INSERT Sales (Note) VALUES ('B')"); }), kLost);
    EXPECT_EQ(Failure([&] { m_conn.Execute("UPDATE Sales SET Note = 'C'"); }), kLost);
    // Reads go on, as in the server's doomed transaction.
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"), "1");
    EXPECT_EQ(Failure([&] { m_conn.CommitTrans(); }), kLost);
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"), "1");
    EXPECT_EQ(Failure([&] { m_conn.BeginTrans(); }),
              "Only one transaction can be active on this session.");
    EXPECT_EQ(OnFile(), std::vector<std::string>{"kept"});

    m_conn.RollbackTrans();
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"), "0");
    EXPECT_EQ(OnFile(), std::vector<std::string>{"kept"});

    // The session works as before afterwards.
    m_conn.BeginTrans();
    m_conn.Execute("INSERT Sales (Note) VALUES ('D')");
    m_conn.CommitTrans();
    EXPECT_EQ(OnFile(), (std::vector<std::string>{"D", "kept"}));
}

TEST_F(LostTransactionTest, ABatchWithBeginTranKeepsNothingOfItsTransaction) {
    m_disk.FailOneWriteAfter(0);
    EXPECT_NE(Failure([&] {
                  m_conn.Execute("BEGIN TRAN\nINSERT Sales (Note) VALUES ('A')\n" +
                                 BigInsert("big") +
                                 "\nINSERT Sales (Note) VALUES ('B')\n"
                                 "SELECT @@TRANCOUNT\nCOMMIT TRAN");
              }),
              "");
    std::vector<std::string> errors;
    for (const auto& e : m_conn.Errors()) errors.push_back(e.description);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[1], kLost);  // the insert of B
    EXPECT_EQ(errors[2], kLost);  // the commit
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"), "1");

    // @@ERROR tells the server's number of the error.
    EXPECT_EQ(Failure([&] { m_conn.Execute("DELETE FROM Sales"); }), kLost);
    EXPECT_EQ(Scalar("SELECT @@ERROR"), "3930");
    EXPECT_EQ(Failure([&] { m_conn.Execute("COMMIT TRAN"); }), kLost);
    m_conn.Execute("ROLLBACK TRAN");
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"), "0");
    EXPECT_EQ(Failure([&] { m_conn.Execute("COMMIT TRAN"); }),
              "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    EXPECT_EQ(OnFile(), std::vector<std::string>{"kept"});
}

TEST_F(LostTransactionTest, ARecordsetWritesNothingInALostTransactionNorACommitOnAFullDisk) {
    m_conn.BeginTrans();
    m_disk.FailOneWriteAfter(0);
    EXPECT_NE(Failure([&] { m_conn.Execute(BigInsert("big")); }), "");
    auto source = m_conn.OpenSource("Sales", true);
    ASSERT_TRUE(source);
    std::vector<xr::Variant> values(source->ColumnCount());
    values[0] = xr::Variant::Text("R");
    std::vector<bool> assigned(source->ColumnCount(), false);
    assigned[0] = true;
    EXPECT_EQ(Failure([&] { source->Insert(values, assigned); }), kLost);
    source.reset();
    m_conn.RollbackTrans();
    EXPECT_EQ(OnFile(), std::vector<std::string>{"kept"});

    // A commit that meets a full disk keeps nothing and leaves no transaction.
    m_conn.BeginTrans();
    m_conn.Execute("INSERT Sales (Note) VALUES ('A')");
    m_disk.FailOneWriteAfter(0);
    EXPECT_NE(Failure([&] { m_conn.CommitTrans(); }), "");
    ASSERT_EQ(m_disk.Refused(), 2);
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"), "0");
    m_conn.Execute("INSERT Sales (Note) VALUES ('B')");
    EXPECT_EQ(OnFile(), (std::vector<std::string>{"B", "kept"}));
}

}  // namespace
