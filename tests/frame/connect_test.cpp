// Connecting, statements and transactions through the exports; one
// connection per thread, the connection count line, and CUseConnection.
// clang-format off
#include "xrdb8/xrdb8.h"  // first: the public header stands on its own
// clang-format on

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "engine/connection_string.h"
#include "frame_fixture.h"
#include "full_disk.h"

namespace {

using xrtest::FrameTest;
using xrtest::Worker;

constexpr const char* kFolder2000 = "Program Files\\Microsoft SQL Server\\MSSQL$LORIMSQL";
constexpr const char* kOleDbFormat = xr::engine::kMalformedConnectionText;

TEST_F(FrameTest, ConnectAppendsUserAndPasswordOnlyWhenGiven) {
    struct Case {
        const char* user;
        const char* password;
        const char* suffix;
    } cases[] = {
        {"", "", ""},
        {nullptr, nullptr, ""},
        {"U", "P", ";User Id=U;Password=P;"},
        {"U", "", ";User Id=U"},
        {"", "P", ";Password=P;"},
        // Quoted where a ';', a quote or an outer blank would change the keys.
        {"U;x", "p;w\"d", ";User Id=\"U;x\";Password=\"p;w\"\"d\";"},
        {" U", "'P'", ";User Id=\" U\";Password=\"'P'\";"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix);
        DBClose();
        EXPECT_EQ(DBConnect(ConnectString().c_str(), c.user, c.password, ""), 1);
        EXPECT_EQ(xr::TheApp().m_connectString, ConnectString() + c.suffix);
        if (c.password && *c.password) {
            EXPECT_EQ(xr::engine::ConnectionString::Parse(xr::TheApp().m_connectString)
                          .Get("Password")
                          .value_or(""),
                      c.password);
        }
    }
}

TEST_F(FrameTest, ServerVersionsPickTheDataFolder) {
    // A null folder: the folder is left as it was.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"09.00.3042", 9, kFolder2000}, {"08.00.2039", 8, kFolder2000}, {"07.00.0623", 7, "MSSQL7"},
        {"10.50.1600", 10, nullptr},    {"12.0.2000.8", 12, nullptr},   {"", 0, "MSSQL7"},
    };
    for (const auto& [text, version, folder] : cases) {
        SCOPED_TRACE(text);
        xr::g_sqlDataFolder = "unchanged";
        xr::TheApp().ApplyServerVersion(text);
        EXPECT_EQ(xr::TheApp().m_serverVersion, version);
        EXPECT_EQ(xr::g_sqlDataFolder, folder ? folder : "unchanged");
    }
    // DBSetServer names folders only for 7 and 2000.
    const std::pair<int, const char*> servers[] = {
        {2005, nullptr}, {0, nullptr},        {8, nullptr},
        {-1, nullptr},   {2000, kFolder2000}, {7, "MSSQL7"},
    };
    for (const auto& [version, folder] : servers) {
        xr::g_sqlDataFolder = "unchanged";
        DBSetServer(version);
        EXPECT_EQ(xr::g_sqlDataFolder, folder ? folder : "unchanged") << version;
    }
    EXPECT_EQ(DBSetupPassword(0), 0);
    EXPECT_EQ(DBSetupPassword(12345), 0);
}

// DBRemoveMyConnection says whether there was one; after DBClose the next
// statement reconnects to the same files; transactions roll back and commit
// on the files, and are the thread's own.
TEST_P(FrameTest, ConnectionsComeAndGoAndTransactionsReachTheFiles) {
    EXPECT_EQ(DBRemoveMyConnection(), 0);
    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    EXPECT_EQ(DBRemoveMyConnection(), 1);
    EXPECT_EQ(DBRemoveMyConnection(), 0);
    EXPECT_EQ(Current(), nullptr);

    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    ASSERT_EQ(DBExec("CREATE TABLE t (a INTEGER)"), 1);
    ASSERT_EQ(DBExec("INSERT INTO t VALUES (1)"), 1);
    EXPECT_EQ(DBClose(), 1);
    EXPECT_EQ(xr::TheApp().ConnectionCount(), 0u);
    EXPECT_EQ(DBExec("INSERT INTO t VALUES (2)"), 1);
    EXPECT_EQ(xr::TheApp().ConnectionCount(), 1u);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t"), "2");

    ASSERT_EQ(DBBeginTrans(), 1);
    ASSERT_EQ(DBExec("INSERT INTO t VALUES (3)"), 1);
    ASSERT_EQ(DBRollbackTrans(), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM t"), "2");
    ASSERT_EQ(DBBeginTrans(), 1);
    ASSERT_EQ(DBExec("INSERT INTO t VALUES (4)"), 1);
    ASSERT_EQ(DBCommitTrans(), 1);
    DBClose();  // a fresh connection reads what reached the files
    EXPECT_EQ(Scalar("SELECT COUNT(*), MAX(a) FROM t"), "3|4");
    // A transaction belongs to its thread.
    Worker other;
    other.Run([] { xr::TheApp().GetConnection(1, nullptr); });
    ASSERT_EQ(DBBeginTrans(), 1);
    ASSERT_EQ(DBExec("INSERT INTO t VALUES (5)"), 1);
    std::string seen;
    other.Run([&] { seen = Scalar("SELECT COUNT(*) FROM t"); });
    EXPECT_EQ(seen, "3");
    ASSERT_EQ(DBCommitTrans(), 1);
    other.Run([&] { seen = Scalar("SELECT COUNT(*) FROM t"); });
    EXPECT_EQ(seen, "4");
}

// The disk fills up in the middle of a transaction and the engine undoes it:
// the commit fails, and the rollback ends it. (The statements in between:
// LostTransactionTest in tests/engine.)
class FullDiskTest : public FrameTest {
protected:
    xrtest::FullDisk m_disk;
};

TEST_F(FullDiskTest, ATransactionTheEngineUndidKeepsNothingOnTheFiles) {
    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    ASSERT_EQ(DBExec("CREATE TABLE t (a INTEGER, pad TEXT)"), 1);
    ASSERT_EQ(DBExec("INSERT INTO t (a) VALUES (1)"), 1);
    const std::string big = "INSERT INTO t VALUES (9, '" + std::string(4 << 20, 'x') + "')";
    const std::string lost =
        "The current transaction cannot be committed and cannot support operations that write "
        "to the log file. Roll back the transaction.";

    ASSERT_EQ(DBBeginTrans(), 1);
    ASSERT_EQ(DBExec("INSERT INTO t (a) VALUES (2)"), 1);
    m_disk.FailOneWriteAfter(0);
    EXPECT_EQ(DBExec(big.c_str()), 0);
    ASSERT_EQ(m_disk.Refused(), 1);
    EXPECT_EQ(DBCommitTrans(), 0);
    EXPECT_EQ(LastError().second, lost);
    EXPECT_EQ(DBRollbackTrans(), 1);
    DBClose();  // a fresh connection reads what reached the files
    EXPECT_EQ(Scalar("SELECT COUNT(*), MAX(a) FROM t"), "1|1");
}

TEST_F(FrameTest, BadInputFailsWithALastErrorThatNamesTheProblem) {
    auto file = m_dir.Path() / "not-a-folder";
    std::ofstream(file) << "x";
    struct Case {
        std::string connect;
        xr::HRESULT code;  // 0: any failure code
        std::string text;  // expected text, or a part of it
        bool exact;
    } cases[] = {
        {"Provider=sqlite;Data Source", xr::E_FAIL_, kOleDbFormat, true},
        {"Provider=sqlite;Data Source='" + m_dir.Str(), xr::E_FAIL_, kOleDbFormat, true},
        {"Provider=MSDASQL;Data Source=" + m_dir.Str(), xr::Hr(0x800A0E7A),
         "Provider cannot be found. It may not be properly installed.", true},
        {"Provider=sqlite;Data Source=" + (file / "server").string(), 0, "not-a-folder", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.connect);
        DBClose();
        EXPECT_EQ(DBOpen(c.connect.c_str(), ""), 0);
        auto [code, text] = LastError();
        if (c.code) {
            EXPECT_EQ(code, c.code);
        }
        EXPECT_NE(code, 0);
        if (c.exact)
            EXPECT_EQ(text, c.text);
        else
            EXPECT_PRED2(xrtest::Has, text, c.text);
    }
}

TEST_P(FrameTest, NullTextPointersCountAsEmptyAndOpenKeepsTheDatabase) {
    EXPECT_EQ(DBConnect(nullptr, nullptr, nullptr, nullptr), 0);  // no connection string
    EXPECT_EQ(xr::TheApp().m_connectString, "");
    EXPECT_EQ(DBOpen(nullptr, nullptr), 0);
    ASSERT_EQ(DBOpen(ConnectString().c_str(), nullptr), 1);
    EXPECT_EQ(Current()->m_database, "LORIMDB81");
    DBExec(nullptr);
    DBSetDefaultDB(nullptr);
    {
        CUseConnection use(nullptr);
        EXPECT_EQ(use.IsConnOK(), 1);
    }
    EXPECT_EQ(LastErrorCode(), 0);
    EXPECT_EQ(DBExec("CREATE TABLE t (a INTEGER)"), 1);
    // Open keeps the configuration database unless one is named.
    DBClose();
    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    EXPECT_EQ(Current()->m_database, "LORIMDB81");
    DBClose();
    ASSERT_EQ(DBOpen(ConnectString().c_str(), "LORIMDB82"), 1);
    EXPECT_EQ(Current()->m_database, "LORIMDB82");
}

TEST_F(FrameTest, SecondConnectKeepsTheConnectionAndLaterThreadsUseTheNewString) {
    xrtest::TempDir other;
    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    xr::CDBConn* first = Current();
    ASSERT_EQ(DBOpen(("Provider=sqlite;Data Source=" + other.Str()).c_str(), ""), 1);
    EXPECT_EQ(Current(), first);
    ASSERT_EQ(DBExec("CREATE TABLE on_first (a INTEGER)"), 1);

    Worker worker;
    worker.Run([&] {
        EXPECT_EQ(DBExec("CREATE TABLE on_other (a INTEGER)"), 1);
        EXPECT_EQ(DBExec("SELECT * FROM on_first"), 0);
    });
    EXPECT_EQ(DBExec("SELECT * FROM on_other"), 0);
    EXPECT_EQ(DBExec("SELECT * FROM on_first"), 1);
    DBClose();
}

// Each thread gets a connection of its own, found again by its next
// statement; the count line comes when more threads connect than ever before.
TEST_P(FrameTest, EachThreadGetsItsOwnConnectionAndTheCountLineComesAtANewHigh) {
    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);  // the first of the threads
    std::vector<std::unique_ptr<Worker>> workers;
    std::vector<xr::CDBConn*> connections;
    auto connectOneMore = [&] {
        workers.push_back(std::make_unique<Worker>());
        workers.back()->Run([&] {
            ASSERT_EQ(DBExec("SELECT 1"), 1);
            connections.push_back(Current());
        });
        return workers.back()->Tid();
    };
    for (int i = 0; i < 3; ++i) connectOneMore();
    EXPECT_TRUE(xrtest::LinesStarting("Thread ").empty());
    ASSERT_NE(connections[0], nullptr);
    EXPECT_NE(connections[0], connections[1]);
    workers[0]->Run([&] {
        ASSERT_EQ(DBExec("SELECT 1"), 1);
        EXPECT_EQ(Current(), connections[0]);  // not reopened
    });

    uint32_t fifth = connectOneMore();
    EXPECT_EQ(xrtest::LinesStarting("Thread "),
              std::vector<std::string>{xr::Format("Thread %x DBConn count 5", fifth)});
    uint32_t sixth = connectOneMore();
    EXPECT_EQ(xrtest::LinesStarting("Thread ").back(),
              xr::Format("Thread %x DBConn count 6", sixth));

    workers.back()->Run([] { ASSERT_EQ(DBRemoveMyConnection(), 1); });
    xrtest::ClearLog();
    connectOneMore();  // six again: not more than ever before
    EXPECT_EQ(xr::TheApp().ConnectionCount(), 6u);
    EXPECT_TRUE(xrtest::LinesStarting("Thread ").empty());
    DBClose();
}

TEST(RedirectConnectString, ReplacesTheHostOrPutsAServerInFront) {
    const std::pair<const char*, const char*> cases[] = {
        {"Provider=sqlite;Data Source=/srv/pos",
         "Server=HOST2;Provider=sqlite;Data Source=/srv/pos"},
        {"Provider=sqlite;Server=HOST1\\LORIMSQL;Data Source=/srv",
         "Provider=sqlite;Server=HOST2\\LORIMSQL;Data Source=/srv"},
        {"Server=HOST1;Data Source=/srv", "Server=HOST2;Server=HOST1;Data Source=/srv"},
        // A backslash after the Server= clause is not its instance.
        {"Server=HOST1;Data Source=C:\\Mirt", "Server=HOST2;Server=HOST1;Data Source=C:\\Mirt"},
    };
    for (const auto& [connect, opened] : cases)
        EXPECT_EQ(xr::RedirectConnectString(connect, "HOST2"), opened);
}

// CUseConnection for the thread's own server pushes nothing, and this
// computer's name is that server; on a thread without a connection it
// leaves none behind.
TEST_P(FrameTest, UseConnectionOfTheSameServer) {
    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    ASSERT_EQ(DBExec("CREATE TABLE local_table (a INTEGER)"), 1);
    xr::CDBConn* before = Current();
    {
        CUseConnection use(nullptr);
        EXPECT_EQ(use.IsConnOK(), 1);
        EXPECT_EQ(Current(), before);
        CUseConnection empty("");
        EXPECT_EQ(Current(), before);
        const std::string me = xr::ComputerName();
        ASSERT_FALSE(me.empty());
        CUseConnection named(me.c_str());
        ASSERT_EQ(named.IsConnOK(), 1);
        EXPECT_EQ(Current()->m_server, "");
        EXPECT_EQ(DBExec("SELECT * FROM local_table"), 1);
    }
    EXPECT_EQ(Current(), before);
    EXPECT_EQ(xr::TheApp().ConnectionCount(), 1u);

    ASSERT_EQ(DBRemoveMyConnection(), 1);
    {
        CUseConnection use(nullptr);
        EXPECT_EQ(use.IsConnOK(), 1);
        ASSERT_NE(Current(), nullptr);
        EXPECT_EQ(Current()->m_prev, nullptr);
        EXPECT_EQ(xr::TheApp().ConnectionCount(), 1u);
    }
    EXPECT_EQ(Current(), nullptr);
    EXPECT_EQ(xr::TheApp().ConnectionCount(), 0u);
}

TEST_F(FrameTest, ARedirectedThreadWorksOnTheFilesOfTheServersFolderWhateverItsCase) {
    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    {
        CUseConnection use("BRANCH2");
        ASSERT_EQ(use.IsConnOK(), 1);
        ASSERT_EQ(DBExec("CREATE TABLE redirected_only (a INTEGER)"), 1);
        ASSERT_EQ(DBExec("INSERT INTO redirected_only VALUES (7)"), 1);
    }
    EXPECT_TRUE(std::filesystem::is_directory(m_dir.Path() / "BRANCH2"));
    EXPECT_EQ(DBExec("SELECT * FROM redirected_only"), 0);
    {
        CUseConnection use("BRANCH2");
        EXPECT_EQ(Scalar("SELECT a FROM redirected_only"), "7");
    }
    // Its scope clears the last error code only.
    ASSERT_EQ(DBExec("SELECT * FROM no_such_table"), 0);
    auto [code, text] = LastError();
    ASSERT_NE(code, 0);
    { CUseConnection use("BRANCH2"); }
    EXPECT_EQ(LastError(), std::make_pair(0, text));

    // Server names ignore case, as computer names do: one folder per server,
    // found whatever its case, made new in upper case; a name that would
    // climb out of the data folder is refused.
    std::filesystem::create_directory(m_dir.Path() / "oldsite");
    const std::pair<const char*, const char*> servers[] = {{"audithost2", "AuditHost2"},
                                                           {"OLDSITE", "OldSite"}};
    for (const auto& [first, second] : servers) {
        SCOPED_TRACE(first);
        {
            CUseConnection use(first);
            ASSERT_EQ(use.IsConnOK(), 1);
            ASSERT_EQ(DBExec("CREATE TABLE seen_here (a INTEGER)"), 1);
        }
        CUseConnection use(second);
        ASSERT_EQ(use.IsConnOK(), 1);
        EXPECT_EQ(DBExec("SELECT * FROM seen_here"), 1);
    }
    std::vector<std::string> folders;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
        if (entry.is_directory()) folders.push_back(entry.path().filename().string());
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(folders, (std::vector<std::string>{"AUDITHOST2", "BRANCH2", "oldsite"}));

    CUseConnection climbing("..\\elsewhere");
    EXPECT_EQ(climbing.IsConnOK(), 0);
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path().parent_path() / "ELSEWHERE"));
}

}  // namespace

// The tests of every engine in this folder (one instantiation per suite).
XRTEST_ON_EVERY_ENGINE(FrameTest);
