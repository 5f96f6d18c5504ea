// A transaction the engine ends on its own (the disk fills up in the middle
// of it): the session must not carry on as if it were open, or the rest of
// the caller's statements would each commit alone and half of the
// transaction would reach the file.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "full_disk.h"
#include "library.h"

namespace {

using xr::ComError;
using xr::engine::Connection;

const std::string kLost =
    "The current transaction cannot be committed and cannot support operations that write to "
    "the log file. Roll back the transaction.";

std::string Thrown(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const ComError& e) {
        return e.Description();
    }
    return "<no error>";
}

class LostTransactionTest : public xrtest::EngineTest {
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
    EXPECT_NE(Thrown([&] { m_conn.Execute(BigInsert("big2")); }), "<no error>");
    ASSERT_EQ(m_disk.Refused(), 1);

    // The disk has room again, but the transaction is gone: nothing more is
    // written in it, and it cannot be committed.
    EXPECT_EQ(Thrown([&] { m_conn.Execute(BigInsert("big3")); }), kLost);
    EXPECT_EQ(Thrown([&] { m_conn.Execute("INSERT Sales (Note) VALUES ('B')"); }), kLost);
    EXPECT_EQ(Thrown([&] { m_conn.Execute("UPDATE Sales SET Note = 'C'"); }), kLost);
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"),
              "1");  // reads go on, as in the server's doomed transaction
    EXPECT_EQ(Thrown([&] { m_conn.CommitTrans(); }), kLost);
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"), "1");
    EXPECT_EQ(Thrown([&] { m_conn.BeginTrans(); }),
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
    EXPECT_NE(Thrown([&] {
                  m_conn.Execute("BEGIN TRAN\nINSERT Sales (Note) VALUES ('A')\n" +
                                 BigInsert("big") +
                                 "\nINSERT Sales (Note) VALUES ('B')\n"
                                 "SELECT @@TRANCOUNT\nCOMMIT TRAN");
              }),
              "<no error>");
    std::vector<std::string> errors;
    for (const auto& e : m_conn.Errors()) errors.push_back(e.description);
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[1], kLost);  // the insert of B
    EXPECT_EQ(errors[2], kLost);  // the commit
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"), "1");

    // @@ERROR tells the server's number of the error.
    EXPECT_EQ(Thrown([&] { m_conn.Execute("DELETE FROM Sales"); }), kLost);
    EXPECT_EQ(Scalar("SELECT @@ERROR"), "3930");
    EXPECT_EQ(Thrown([&] { m_conn.Execute("COMMIT TRAN"); }), kLost);
    m_conn.Execute("ROLLBACK TRAN");
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"), "0");
    EXPECT_EQ(Thrown([&] { m_conn.Execute("COMMIT TRAN"); }),
              "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.");
    EXPECT_EQ(OnFile(), std::vector<std::string>{"kept"});
}

TEST_F(LostTransactionTest, ARecordsetWritesNothingInALostTransaction) {
    m_conn.BeginTrans();
    m_disk.FailOneWriteAfter(0);
    EXPECT_NE(Thrown([&] { m_conn.Execute(BigInsert("big")); }), "<no error>");
    auto source = m_conn.OpenSource("Sales", true);
    ASSERT_TRUE(source);
    std::vector<xr::Variant> values(source->ColumnCount());
    values[0] = xr::Variant::Text("R");
    std::vector<bool> assigned(source->ColumnCount(), false);
    assigned[0] = true;
    EXPECT_EQ(Thrown([&] { source->Insert(values, assigned); }), kLost);
    source.reset();
    m_conn.RollbackTrans();
    EXPECT_EQ(OnFile(), std::vector<std::string>{"kept"});
}

TEST_F(LostTransactionTest, ACommitThatMeetsAFullDiskKeepsNothingAndLeavesNoTransaction) {
    m_conn.BeginTrans();
    m_conn.Execute("INSERT Sales (Note) VALUES ('A')");
    m_disk.FailOneWriteAfter(0);
    EXPECT_NE(Thrown([&] { m_conn.CommitTrans(); }), "<no error>");
    ASSERT_EQ(m_disk.Refused(), 1);
    EXPECT_EQ(Scalar("SELECT @@TRANCOUNT"), "0");
    m_conn.Execute("INSERT Sales (Note) VALUES ('B')");
    EXPECT_EQ(OnFile(), (std::vector<std::string>{"B", "kept"}));
}

}  // namespace
