// A shop's site: several tills, each a process of its own with its own
// connection, sell at the same moment into the same tables. Afterwards every
// sale a till was told had been written is there once, every one it was told
// had failed is not, identity values are unique, and the shared rows (stock,
// the sales counter) agree with the sales. Runs on both engines: the tills
// are this test binary started again, one process per till, before any of
// them opens a connection.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "library.h"

extern char** environ;

namespace {

using xr::engine::Connection;
using xrtest::Engine;
using xrtest::ErrorOf;
using xrtest::TestServer;

constexpr int kTills = 8;
constexpr int kSales = 30;          // sales per till
constexpr int kProducts = 5;        // shared products every till sells
constexpr int kDuplicateEvery = 5;  // a till tries a product number that is taken

// One till: its sales, each a transaction that adds a line, takes the item
// from the shared stock and counts it; some of its own products; and
// products whose number is taken, which must be refused. What it was told
// goes to its report file: "sale <seq>", "product <no>", "refused <what>".
void RunTill(const std::string& cs, int till, const std::string& report) {
    std::ofstream out(report);
    Connection conn;
    try {
        conn.Open(cs);
        conn.Execute("USE Site");
    } catch (const xr::ComError& e) {
        out << "refused open " << e.Description() << "\n";
        return;
    }
    for (int seq = 1; seq <= kSales; ++seq) {
        const int product = seq % kProducts + 1;
        const std::string sale =
            "SET XACT_ABORT ON BEGIN TRAN "
            "INSERT SaleLines (Till, Seq, Product, Qty) VALUES (" +
            std::to_string(till) + ", " + std::to_string(seq) + ", " + std::to_string(product) +
            ", 1) UPDATE Products SET Stock = Stock - 1 WHERE No = " + std::to_string(product) +
            " UPDATE Counters SET Value = Value + 1 WHERE Name = 'sales' COMMIT TRAN";
        std::string error = ErrorOf(conn, sale);
        if (error.empty()) {
            out << "sale " << seq << "\n";
        } else {
            out << "refused sale " << seq << " " << error << "\n";
            ErrorOf(conn, "IF @@TRANCOUNT > 0 ROLLBACK TRAN");
        }
        if (seq % 3 == 0) {
            const int no = 1000 + till * 100 + seq;
            error = ErrorOf(conn, "INSERT Products (No, Name, Stock) VALUES (" +
                                      std::to_string(no) + ", 'Till product', 0)");
            if (error.empty())
                out << "product " << no << "\n";
            else
                out << "refused product " << no << " " << error << "\n";
        }
        if (seq % kDuplicateEvery == 0) {
            error = ErrorOf(conn, "INSERT Products (No, Name, Stock) VALUES (" +
                                      std::to_string(product) + ", 'Taken', 0)");
            out << (error.empty() ? "duplicate written\n" : "refused duplicate " + error + "\n");
        }
    }
    out << "done\n";
}

// The till's part when this binary runs as one.
TEST(SiteTill, Run) {
    const char* cs = std::getenv("XRDB8_TILL_CONNECT");
    const char* till = std::getenv("XRDB8_TILL");
    const char* report = std::getenv("XRDB8_TILL_REPORT");
    if (!cs || !till || !report) GTEST_SKIP() << "runs only as a till of SiteTills";
    RunTill(cs, std::atoi(till), report);
}

class SiteTills : public ::testing::TestWithParam<Engine> {};

TEST_P(SiteTills, TillsWritingTogetherLoseAndDoubleNothing) {
    TestServer server(GetParam());
    if (!server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    {
        Connection setup;
        setup.Open(server.ConnectString());
        setup.Execute("CREATE DATABASE Site");
        setup.Execute("USE Site");
        setup.Execute(
            "CREATE TABLE Products (No INT NOT NULL PRIMARY KEY, Name VARCHAR(30) NOT NULL, "
            "Stock INT NOT NULL)");
        setup.Execute(
            "CREATE TABLE SaleLines (Id INT IDENTITY(1,1) NOT NULL PRIMARY KEY, Till INT NOT "
            "NULL, Seq INT NOT NULL, Product INT NOT NULL, Qty INT NOT NULL)");
        setup.Execute(
            "CREATE TABLE Counters (Name VARCHAR(10) NOT NULL PRIMARY KEY, Value INT "
            "NOT NULL)");
        for (int p = 1; p <= kProducts; ++p)
            setup.Execute("INSERT Products VALUES (" + std::to_string(p) + ", 'Shared', 1000)");
        setup.Execute("INSERT Counters VALUES ('sales', 0)");
    }
    // The tills: this binary again, each told its number, its server and
    // where to report.
    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof(exe) - 1);
    ASSERT_GT(n, 0);
    exe[n] = 0;
    std::vector<pid_t> pids;
    std::vector<std::string> reports;
    for (int till = 1; till <= kTills; ++till) {
        reports.push_back(server.Dir().Str() + "/till" + std::to_string(till) + ".txt");
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) env.emplace_back(*e);
        env.push_back("XRDB8_TILL_CONNECT=" + server.ConnectString());
        env.push_back("XRDB8_TILL=" + std::to_string(till));
        env.push_back("XRDB8_TILL_REPORT=" + reports.back());
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string filter = "--gtest_filter=SiteTill.Run";
        char* argv[] = {exe, filter.data(), nullptr};
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        const int rc = posix_spawn(&pid, exe, &files, nullptr, argv, envp.data());
        posix_spawn_file_actions_destroy(&files);
        ASSERT_EQ(rc, 0);
        pids.push_back(pid);
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    // What the tills were told.
    std::set<std::string> sold;  // "till.seq"
    std::set<int> products;
    int refusedSales = 0, refusedDuplicates = 0;
    for (int till = 1; till <= kTills; ++till) {
        std::istringstream lines(xrtest::ReadFile(reports[till - 1]));
        std::string line;
        bool done = false;
        while (std::getline(lines, line)) {
            std::istringstream words(line);
            std::string what, kind;
            words >> what;
            if (what == "sale") {
                int seq = 0;
                words >> seq;
                EXPECT_TRUE(sold.insert(std::to_string(till) + "." + std::to_string(seq)).second);
            } else if (what == "product") {
                int no = 0;
                words >> no;
                products.insert(no);
            } else if (what == "refused") {
                words >> kind;
                if (kind == "sale") ++refusedSales;
                if (kind == "duplicate") {
                    ++refusedDuplicates;
                    EXPECT_NE(line.find("Violation of PRIMARY KEY constraint"), std::string::npos)
                        << line;
                }
                if (kind == "open") ADD_FAILURE() << "till " << till << ": " << line;
            } else if (what == "duplicate") {
                ADD_FAILURE() << "till " << till << " wrote a product number that was taken";
            } else if (what == "done") {
                done = true;
            }
        }
        EXPECT_TRUE(done) << "till " << till << " did not finish";
    }
    EXPECT_EQ(refusedDuplicates, kTills * (kSales / kDuplicateEvery));
    EXPECT_EQ(static_cast<int>(sold.size()) + refusedSales, kTills * kSales);
    // Most sales go through; a refused one is a reported error, never a silent one.
    EXPECT_GT(sold.size(), static_cast<size_t>(kTills * kSales / 2));

    Connection check;
    check.Open(server.ConnectString());
    check.Execute("USE Site");
    std::set<std::string> stored;
    for (const std::string& row : xrtest::Rows(check, "SELECT Till, Seq FROM SaleLines")) {
        std::string key = row;
        key[key.find('|')] = '.';
        EXPECT_TRUE(stored.insert(key).second) << "sale stored twice: " << row;
    }
    EXPECT_EQ(stored, sold);
    EXPECT_EQ(xrtest::Rows(check, "SELECT COUNT(DISTINCT Id) - COUNT(*) FROM SaleLines"),
              (std::vector<std::string>{"0"}));
    EXPECT_EQ(xrtest::Rows(check, "SELECT Value FROM Counters"),
              (std::vector<std::string>{std::to_string(sold.size())}));
    EXPECT_EQ(xrtest::Rows(check, "SELECT SUM(Stock) FROM Products WHERE No <= 5"),
              (std::vector<std::string>{std::to_string(kProducts * 1000 - sold.size())}));
    std::set<int> storedProducts;
    for (const std::string& row : xrtest::Rows(check, "SELECT No FROM Products WHERE No > 5"))
        storedProducts.insert(std::stoi(row));
    EXPECT_EQ(storedProducts, products);
    EXPECT_EQ(xrtest::Rows(check, "SELECT COUNT(*) FROM Products WHERE Name = 'Taken'"),
              (std::vector<std::string>{"0"}));
}

INSTANTIATE_TEST_SUITE_P(Engines, SiteTills, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) {
                             return std::string(xrtest::EngineName(info.param));
                         });

}  // namespace
