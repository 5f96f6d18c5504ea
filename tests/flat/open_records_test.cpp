// Tills open their slots and record objects at start-up and keep them
// positioned for days, while the back office changes rows from another
// process: a positioned object must neither hide those changes from its
// thread nor block the thread's writes, nor keep the server from folding its
// write-ahead log back into the database.
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "flat_fixture.h"
#include "second_process.h"

namespace xrtest {
namespace {

class OpenRecordsTest : public FlatTest {
protected:
    // Products 1..n priced 1.00, named "Item n".
    static void AddProducts(int n) {
        Exec("DECLARE @i INT SET @i = 1 WHILE @i <= " + std::to_string(n) +
             " BEGIN INSERT INTO Products (PLU, Description, Price1) VALUES (@i, 'Item ' + "
             "CAST(@i AS VARCHAR), 1.00) SET @i = @i + 1 END");
    }

    // The back office's tool, a second process on the same server.
    int Tool(const std::string& sql) {
        return OnPostgres() ? ToolSql(ConnectString(), sql, "--connect")
                            : ToolSql(m_dir.Str(), sql);
    }
};

TEST_P(OpenRecordsTest, PositionedObjectsSeeOtherProcessesAndTheirThreadStillWrites) {
    AddProducts(3);
    prod_def slot{};
    ASSERT_EQ(ProdFirst(0, &slot), 0);
    prod_def key{.PLU = 3};
    ASSERT_EQ(ProdEqu(1, &key), 0);
    CProduct held;
    ASSERT_EQ(held.Equ(3), 1);

    ASSERT_EQ(Tool("UPDATE Products SET Price1 = 2.50, Description = 'Changed' WHERE PLU = 2"), 0);

    CProduct fresh;
    ASSERT_EQ(fresh.Equ(2), 1);
    EXPECT_EQ(fresh.getPrice(0), 250);
    EXPECT_EQ(Scalar("SELECT Price1 FROM Products WHERE PLU = 2"), "2.5");

    // The thread's writes go through, and the other process sees them.
    EXPECT_EQ(DBExec("UPDATE Products SET Price2 = 3 WHERE PLU = 1"), 1);
    EXPECT_EQ(SysValueAdd(0, "TillState", 1, "open", 7, 0.5), 0);
    prod_def soldOut{.PLU = 3};
    ASSERT_EQ(ProdEqu(2, &soldOut), 0);
    soldOut.Flags |= PROD_SOLDOUT;
    EXPECT_EQ(ProdAdd(2, &soldOut, 1), 0);
    EXPECT_EQ(Tool("IF (SELECT [V$SoldOut] FROM Products WHERE PLU = 3) = 1 "
                   "AND (SELECT Price2 FROM Products WHERE PLU = 1) = 3 "
                   "SELECT 1 ELSE SELECT 1 / 0"),
              0);

    // The slot that stood on the first product moves on to what is there now.
    ASSERT_EQ(ProdNext(0, &slot), 0);
    EXPECT_EQ(+slot.PLU, 2u);
    EXPECT_STREQ(slot.Description, "Changed");
    SysValueClose(0);
}

TEST_P(OpenRecordsTest, ASlotMovingAfterOthersCommittedShowsTheRowsAsTheyAreNow) {
    AddProducts(6);
    prod_def d{};
    ASSERT_EQ(ProdFirst(0, &d), 0);
    ASSERT_EQ(ProdNext(0, &d), 0);  // on 2, with rows read ahead of it
    ASSERT_EQ(Tool("DELETE FROM Products WHERE PLU IN (3, 5)"), 0);
    ASSERT_EQ(Tool("INSERT INTO Products (PLU, Description) VALUES (4, 'Again') "), 1)
        << "PLU 4 is there already";
    ASSERT_EQ(Tool("UPDATE Products SET Description = 'Renamed' WHERE PLU = 4 "
                   "INSERT INTO Products (PLU, Description) VALUES (7, 'New')"),
              0);
    std::string walk;
    while (ProdNext(0, &d) == 0) walk += std::to_string(d.PLU) + " " + d.Description + ",";
    EXPECT_EQ(walk, "4 Renamed,6 Item 6,7 New,");
    ASSERT_EQ(ProdPrev(0, &d), 0);
    EXPECT_EQ(+d.PLU, 7u);
    ASSERT_EQ(Tool("DELETE FROM Products WHERE PLU = 7"), 0);
    ASSERT_EQ(ProdLast(0, &d), 0);
    EXPECT_EQ(+d.PLU, 6u);
    ASSERT_EQ(ProdPrev(0, &d), 0);
    EXPECT_EQ(+d.PLU, 4u);
}

// Beside a positioned slot another thread's commits are seen; inside a
// transaction the slot sees its own writes, and rollback undoes them.
TEST_P(OpenRecordsTest, APositionedSlotSeesAnotherThreadsCommitsAndItsOwnTransaction) {
    AddProducts(3);
    prod_def d{};
    ASSERT_EQ(ProdFirst(0, &d), 0);
    int written = 0;
    std::thread other([&] {
        written = DBExec("UPDATE Products SET Description = 'Other' WHERE PLU = 3");
        DBRemoveMyConnection();
    });
    other.join();
    EXPECT_EQ(written, 1);
    EXPECT_EQ(Scalar("SELECT Description FROM Products WHERE PLU = 3"), "Other");
    EXPECT_EQ(DBExec("UPDATE Products SET Description = 'Mine' WHERE PLU = 1"), 1);
    ASSERT_EQ(ProdNext(0, &d), 0);
    ASSERT_EQ(ProdNext(0, &d), 0);
    EXPECT_STREQ(d.Description, "Other");

    ASSERT_EQ(DBBeginTrans(), 1);
    ASSERT_EQ(ProdFirst(0, &d), 0);
    Exec("UPDATE Products SET Description = 'In transaction' WHERE PLU = 2");
    ASSERT_EQ(ProdNext(0, &d), 0);
    EXPECT_STREQ(d.Description, "In transaction");
    ASSERT_EQ(DBRollbackTrans(), 1);
    EXPECT_EQ(Scalar("SELECT Description FROM Products WHERE PLU = 2"), "Item 2");
    ASSERT_EQ(ProdFirst(0, &d), 0);
    ASSERT_EQ(ProdNext(0, &d), 0);
    EXPECT_STREQ(d.Description, "Item 2");
}

// A walk that raises what it is ordered by meets each row once.
TEST_P(OpenRecordsTest, AWalkThatMovesRowsAheadMeetsEachOnce) {
    AddProducts(5);
    CProduct walk;
    int steps = 0;
    for (int ok = walk.MoveFirst("SELECT * FROM Products ORDER BY Price1, PLU"); ok && steps < 50;
         ok = walk.MoveNext(), ++steps) {
        walk.setPrice(0, walk.getPrice(0) + 1000);
        ASSERT_EQ(walk.UpdateCurrent(walk.m_def, 0), 1);
    }
    EXPECT_EQ(steps, 5);
    EXPECT_EQ(Scalar("SELECT SUM(Price1) FROM Products"), "55");
}

// Past a few hundred rows a walk reads whole windows, the next one read
// while the till passes the current one: what others commit, what the
// till's own thread writes, and a failed write in a transaction are met
// just as in the first rows.
TEST_P(OpenRecordsTest, ALongWalkMeetsTheRowsAsTheyAreNowAheadOfIt) {
    Exec(
        "DECLARE @i INT SET @i = 1 WHILE @i <= 600 BEGIN INSERT INTO Products (PLU, Description, "
        "Dept) VALUES (@i, 'Item ' + CAST(@i AS VARCHAR), @i % 3) SET @i = @i + 1 END");
    prod_def d{};
    ASSERT_EQ(ProdFirst(0, &d), 0);
    while (d.PLU < 300) ASSERT_EQ(ProdNext(0, &d), 0);
    ASSERT_EQ(Tool("DELETE FROM Products WHERE PLU = 400 "
                   "UPDATE Products SET Description = 'Renamed' WHERE PLU = 420 "
                   "INSERT INTO Products (PLU, Description) VALUES (700, 'New')"),
              0);
    Exec("UPDATE Products SET Description = 'Mine' WHERE PLU = 450");
    ASSERT_EQ(DBBeginTrans(), 1);
    EXPECT_EQ(DBExec("INSERT INTO Products (PLU, Description) VALUES (1, 'Twice')"), 0);
    std::string seen;
    long walked = 0, last = static_cast<long>(d.PLU);
    while (ProdNext(0, &d) == 0) {
        ++walked;
        EXPECT_GT(static_cast<long>(d.PLU), last);
        last = static_cast<long>(d.PLU);
        if (d.PLU == 400 || d.PLU == 420 || d.PLU == 450 || d.PLU == 700)
            seen += std::to_string(d.PLU) + " " + d.Description + ",";
    }
    EXPECT_EQ(walked, 300);  // 301..600 without 400, and 700
    EXPECT_EQ(seen, "420 Renamed,450 Mine,700 New,");
    Exec("UPDATE Products SET Description = 'In transaction' WHERE PLU = 2");
    ASSERT_EQ(DBCommitTrans(), 1);
    EXPECT_EQ(Scalar("SELECT Description FROM Products WHERE PLU = 2"), "In transaction");

    // Keys unique by themselves (PLU) and keys that tie (Dept), both ways.
    for (const char* order : {"PLU DESC", "Dept, PLU", "Dept DESC, Description"}) {
        SCOPED_TRACE(order);
        CProduct walk;
        std::string sql = std::string("SELECT * FROM Products ORDER BY ") + order;
        for (const bool forwards : {true, false}) {
            std::set<uint64_t> met;
            for (int ok = forwards ? walk.MoveFirst(sql.c_str()) : walk.MoveLast(sql.c_str()); ok;
                 ok = forwards ? walk.MoveNext() : walk.MovePrevious()) {
                const uint64_t plu = walk.m_def.PLU;  // a packed field: copied out
                EXPECT_TRUE(met.insert(plu).second) << plu;
            }
            EXPECT_EQ(met.size(), 600u) << (forwards ? "forwards" : "backwards");
        }
    }
}

// DBClose and DBRemoveMyConnection while objects are open: an object whose
// connection went fails cleanly until it opens again (a slot's walk does not
// go on on the new connection: First starts afresh), and the next statement
// reconnects. A scope whose pushed connection DBClose took keeps the
// connection below it (objects opened on it go on working), and the scope's
// end leaves the thread's later connection alone.
TEST_P(OpenRecordsTest, ClosingConnectionsUnderOpenObjects) {
    AddProducts(3);
    for (const bool closeAll : {true, false}) {
        SCOPED_TRACE(closeAll ? "DBClose" : "DBRemoveMyConnection");
        prod_def d{};
        ASSERT_EQ(ProdFirst(0, &d), 0);
        CProduct held;
        ASSERT_EQ(held.Equ(2), 1);
        if (closeAll)
            DBClose();
        else
            ASSERT_EQ(DBRemoveMyConnection(), 1);
        const prod_def before = d;
        EXPECT_EQ(ProdNext(0, &d), 60);
        EXPECT_TRUE(SameBytes(d, before)) << "a failed Next leaves the structure";
        EXPECT_EQ(held.MoveNext(), 0);
        EXPECT_EQ(held.UpdateCurrent(held.m_def, 0), 0);
        EXPECT_EQ(DBExec("UPDATE Products SET Description = 'Back' WHERE PLU = 1"), 1);
        EXPECT_EQ(ProdNext(0, &d), 60) << "the walk ended with its connection";
        ASSERT_EQ(ProdFirst(0, &d), 0);
        EXPECT_STREQ(d.Description, "Back");
        ASSERT_EQ(ProdNext(0, &d), 0);
        EXPECT_EQ(+d.PLU, 2u);
        ASSERT_EQ(held.Equ(3), 1);
        Exec("UPDATE Products SET Description = 'Item 1' WHERE PLU = 1");
    }

    prod_def d{};
    ASSERT_EQ(ProdFirst(0, &d), 0);
    {
        CUseConnection use("BRANCH2");
        ASSERT_EQ(use.IsConnOK(), 1);
        DBClose();
        EXPECT_EQ(ProdNext(0, &d), 0);
        EXPECT_EQ(+d.PLU, 2u);
        // The connection string's own server, not the scope's.
        EXPECT_EQ(DBExec("UPDATE Products SET Description = 'Back' WHERE PLU = 1"), 1);
    }
    const xr::CDBConn* now = xr::TheApp().GetConnection(0, nullptr);
    ASSERT_NE(now, nullptr);
    EXPECT_TRUE(now->m_server.empty());
    EXPECT_EQ(Scalar("SELECT Description FROM Products WHERE PLU = 1"), "Back");
}

// While a till keeps a slot positioned for days, another process writes
// 200,000 rows: the log must still be folded back into the database.
// Embedded engine only: the sizes of its database and write-ahead log files.
TEST_F(OpenRecordsTest, WriteAheadLogStaysBoundedWhileASlotIsPositioned) {
    AddProducts(3);
    Exec("CREATE TABLE WalLoad (Id INT NOT NULL, Pad VARCHAR(100) NOT NULL)");
    prod_def d{};
    ASSERT_EQ(ProdFirst(0, &d), 0);
    const std::string pad(100, 'x');
    const std::filesystem::path script = m_dir.Path() / "load.sql";
    {
        std::ofstream out(script);
        for (int n = 0; n < 20; ++n) {
            out << "DECLARE @i INT SET @i = " << n * 10000 << " BEGIN TRAN WHILE @i < "
                << (n + 1) * 10000 << " BEGIN INSERT INTO WalLoad (Id, Pad) VALUES (@i, '" << pad
                << "') SET @i = @i + 1 END COMMIT TRAN\n--->GO\n";
        }
    }
    ASSERT_EQ(xrtest::Tool(m_dir.Str(), {"exec", script.string()}).status, 0);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM WalLoad"), "200000");
    const auto db = std::filesystem::file_size(m_dir.Path() / "LORIMDB81.db");
    std::error_code ec;
    const auto wal = std::filesystem::file_size(m_dir.Path() / "LORIMDB81.db-wal", ec);
    // Unfolded, the log would hold every row written; folded, about one
    // transaction and one checkpoint's worth.
    EXPECT_LT(ec ? 0 : wal, db / 3) << "log " << wal << " bytes, database " << db;
    ASSERT_EQ(ProdNext(0, &d), 0);
    EXPECT_EQ(+d.PLU, 2u);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(OpenRecordsTest);

}  // namespace xrtest
