// A shop's site: several tills, each a process of its own with its own
// connection, sell at the same moment into the same tables. Afterwards every
// sale a till was told had been written is there once, every one it was told
// had failed is not, identity values are unique, and the shared rows (stock,
// the sales counter) agree with the sales. Runs on both engines: the tills
// are this test binary started again, one process per till, before any of
// them opens a connection.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "library.h"
#include "second_process.h"

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
        setup.Execute(
            "CREATE DATABASE Site USE Site CREATE TABLE Products (No INT NOT NULL PRIMARY KEY, "
            "Name VARCHAR(30) NOT NULL, Stock INT NOT NULL) CREATE TABLE SaleLines (Id INT "
            "IDENTITY(1,1) NOT NULL PRIMARY KEY, Till INT NOT NULL, Seq INT NOT NULL, Product INT "
            "NOT NULL, Qty INT NOT NULL) CREATE TABLE Counters (Name VARCHAR(10) NOT NULL "
            "PRIMARY KEY, Value INT NOT NULL) INSERT Counters VALUES ('sales', 0)");
        for (int p = 1; p <= kProducts; ++p)
            setup.Execute("INSERT Products VALUES (" + std::to_string(p) + ", 'Shared', 1000)");
    }
    // The tills: this binary again, each told its number, its server and
    // where to report.
    const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
    std::vector<pid_t> pids;
    std::vector<std::string> reports;
    setenv("XRDB8_TILL_CONNECT", server.ConnectString().c_str(), 1);
    for (int till = 1; till <= kTills; ++till) {
        reports.push_back(server.Dir().Str() + "/till" + std::to_string(till) + ".txt");
        setenv("XRDB8_TILL", std::to_string(till).c_str(), 1);
        setenv("XRDB8_TILL_REPORT", reports.back().c_str(), 1);
        pids.push_back(xrtest::StartProcess({exe, "--gtest_filter=SiteTill.Run"}, "/dev/null"));
        ASSERT_GT(pids.back(), 0);
    }
    for (const char* name : {"XRDB8_TILL_CONNECT", "XRDB8_TILL", "XRDB8_TILL_REPORT"})
        unsetenv(name);
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    }

    // What the tills were told.
    std::set<std::string> sold, products;  // "till|seq" as SaleLines holds it; "no"
    int refusedSales = 0, refusedDuplicates = 0;
    for (int till = 1; till <= kTills; ++till) {
        std::istringstream lines(xrtest::ReadFile(reports[till - 1]));
        bool done = false;
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string what, arg;
            words >> what >> arg;
            if (what == "sale")
                EXPECT_TRUE(sold.insert(std::to_string(till) + "|" + arg).second) << line;
            else if (what == "product")
                products.insert(arg);
            else if (what == "done")
                done = true;
            else if (what == "refused" && arg == "sale")
                ++refusedSales;
            else if (line.rfind("refused duplicate Violation of PRIMARY KEY constraint", 0) == 0)
                ++refusedDuplicates;
            else if (what != "refused" || arg != "product")  // a product may be refused
                ADD_FAILURE() << "till " << till << ": " << line;
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
    const std::vector<std::string> lines = xrtest::Rows(check, "SELECT Till, Seq FROM SaleLines");
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), sold);
    const std::vector<std::string> nos =
        xrtest::Rows(check, "SELECT No FROM Products WHERE No > 5");
    EXPECT_EQ(std::set<std::string>(nos.begin(), nos.end()), products);
    // Each sale once, with an identity of its own, counted and taken from the
    // stock; no product number taken twice.
    EXPECT_EQ(xrtest::Rows(check,
                           "SELECT COUNT(*), COUNT(DISTINCT Id), (SELECT Value FROM Counters), "
                           "(SELECT SUM(Stock) FROM Products WHERE No <= 5), (SELECT COUNT(*) "
                           "FROM Products WHERE Name = 'Taken') FROM SaleLines"),
              std::vector<std::string>{xr::Format("%zu|%zu|%zu|%zu|0", sold.size(), sold.size(),
                                                  sold.size(), kProducts * 1000 - sold.size())});
}

XRTEST_ON_EVERY_ENGINE(SiteTills);

}  // namespace
