// One connection per thread, the connection count line, and CUseConnection.
#include <algorithm>
#include <filesystem>

#include "frame_fixture.h"

namespace {

using xrtest::FrameTest;
using xrtest::Worker;

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

TEST_F(FrameTest, ARedirectedThreadWorksOnTheOtherServersFiles) {
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
}

// Server names ignore case, as computer names do: one folder per server,
// found whatever its case, made new in upper case; a name that would climb
// out of the data folder is refused.
TEST_F(FrameTest, ServerNamesIgnoreCase) {
    ASSERT_EQ(DBOpen(ConnectString().c_str(), ""), 1);
    std::filesystem::create_directory(m_dir.Path() / "oldsite");
    const std::pair<const char*, const char*> servers[] = {{"AUDITHOST2", "audithost2"},
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
    EXPECT_EQ(folders, (std::vector<std::string>{"AUDITHOST2", "oldsite"}));

    CUseConnection climbing("..\\elsewhere");
    EXPECT_EQ(climbing.IsConnOK(), 0);
    EXPECT_FALSE(std::filesystem::exists(m_dir.Path().parent_path() / "ELSEWHERE"));
}

}  // namespace
