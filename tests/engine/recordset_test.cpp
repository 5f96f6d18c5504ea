#include "engine/recordset.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <iterator>

#include "engine/connection.h"
#include "library.h"
#include "platform/text.h"
#include "second_process.h"

namespace {

using xr::ComError;
using xr::HRESULT;
using xr::Variant;
using namespace xr::engine;

// The code a call throws, 0 when it throws none.
HRESULT Code(const std::function<void()>& fn, std::string* text = nullptr) {
    try {
        fn();
    } catch (const ComError& e) {
        if (text) *text = e.Description();
        return e.Error();
    }
    return 0;
}

class RecordsetTest : public xrtest::AnyEngineTest {
protected:
    void SetUp() override {
        AnyEngineTest::SetUp();
        if (IsSkipped()) return;
        m_conn.Open(ConnectString());
        m_conn.Execute("CREATE DATABASE T");
        m_conn.Execute("USE T");
        m_conn.Execute(
            "CREATE TABLE Depts (DptNo INT NOT NULL CONSTRAINT PK_Depts PRIMARY KEY, "
            "Name VARCHAR(20) NULL, Price MONEY NULL, Sold DATETIME NULL)");
    }

    // Departments 1..n named as given (Bar, Food, Wine by default).
    void Fill(std::vector<std::string> names = {"Bar", "Food", "Wine"}) {
        for (size_t i = 0; i < names.size(); ++i)
            m_conn.Execute("INSERT INTO Depts VALUES (" + std::to_string(i + 1) + ", '" +
                           xr::QuoteSql(names[i]) + "', " + std::to_string(i + 1) +
                           ".5, '2024-01-0" + std::to_string(i % 9 + 1) + " 10:30:00')");
    }

    // A table's name opens the table, any other text a query.
    void Open(Recordset& rs, int cursor = adOpenKeyset, std::string_view sql = "Depts") {
        rs.Open(m_conn, sql, cursor, adLockOptimistic, sql.find(' ') == std::string_view::npos);
    }

    static void Set(Recordset& rs, std::initializer_list<std::pair<const char*, Variant>> values) {
        for (const auto& [name, value] : values) rs.SetValue(name, value);
    }

    // Another session's commit: on the embedded engine another process (its
    // own locks on the files), on a server another connection. 0 when done.
    int OtherSession(const std::string& sql) {
        if (GetEngine() == xrtest::Engine::Sqlite)
            return xrtest::ToolSql(m_server.Dir().Str(), sql);
        Connection other;
        other.Open(ConnectString());
        return Code([&] { other.Execute(sql); }) == 0 ? 0 : 1;
    }

    // DptNo of the current row, 0 at EOF, -1 at BOF.
    static int Row(const Recordset& rs) {
        if (rs.EndOfFile()) return 0;
        if (rs.BOF()) return -1;
        return rs.Value("DptNo").ToI4();
    }
};

TEST_P(RecordsetTest, OpenPositionsOnTheFirstRowAndFindsFieldsByNameAndIndex) {
    Recordset rs;
    Open(rs);
    EXPECT_TRUE(rs.BOF() && rs.EndOfFile());
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_EQ(Code([&] { rs.Value(0); }), xr::adErrNoCurrentRecord);
    rs.Close();
    Fill();
    Open(rs);
    EXPECT_FALSE(rs.BOF() || rs.EndOfFile());
    EXPECT_EQ(Row(rs), 1);
    EXPECT_EQ(rs.Value("name").ToText(), "Bar");
    EXPECT_EQ(rs.Value(2).Type(), xr::VT_CY);
    EXPECT_EQ(rs.FieldCount(), 4u);
    EXPECT_EQ(rs.FieldName(3), "Sold");
    EXPECT_EQ(rs.FieldType(2), adCurrency);
    EXPECT_EQ(rs.FieldType(1), adVarChar);
    EXPECT_EQ(Code([&] { rs.Field(4); }), xr::adErrItemNotFound);
    EXPECT_EQ(Code([&] { rs.Value("Nope"); }), xr::adErrItemNotFound);
    EXPECT_EQ(Code([&] { rs.SetValue(9, Variant()); }), xr::adErrItemNotFound);

    // Lookups are remembered by the text's address: one buffer holding one
    // name after another must find each, by either form of the call.
    char buffer[40];
    const char* names[] = {"Name", "DptNo", "Nam", "NameX", "price", "", "Name"};
    const int expected[] = {1, 0, -1, -1, 2, -1, 1};
    for (int round = 0; round < 2; ++round) {
        for (size_t i = 0; i < std::size(names); ++i) {
            std::snprintf(buffer, sizeof buffer, "%s", names[i]);
            EXPECT_EQ(rs.FieldIndex(static_cast<const char*>(buffer)), expected[i]) << names[i];
            EXPECT_EQ(rs.FieldIndex(std::string_view(buffer)), expected[i]) << names[i];
        }
    }
    EXPECT_EQ(rs.FieldIndex(static_cast<const char*>(nullptr)), -1);
    const char withZero[] = {'N', 'a', 'm', 'e', '\0', 'X'};
    EXPECT_EQ(rs.FieldIndex(std::string_view(withZero, sizeof withZero)), -1);
    EXPECT_EQ(rs.FieldIndex(static_cast<const char*>(withZero)), 1);
}

TEST_P(RecordsetTest, EachStateRefusesItsMovesAndMovesCountFromTheCurrentRow) {
    Fill({"A", "B", "C", "D"});
    enum State { BofOnly, EofOnly, Both, Neither };
    auto enter = [&](Recordset& rs, State s) {
        if (s == Both) {
            rs.Open(m_conn, "SELECT * FROM Depts WHERE DptNo < 0", adOpenStatic, adLockOptimistic);
            return;
        }
        Open(rs);
        if (s == BofOnly) rs.MovePrevious();
        if (s == EofOnly) rs.MoveLast(), rs.MoveNext();
    };
    std::vector<std::pair<const char*, std::function<void(Recordset&)>>> moves = {
        {"MoveFirst", [](Recordset& r) { r.MoveFirst(); }},
        {"MoveLast", [](Recordset& r) { r.MoveLast(); }},
        {"MovePrevious", [](Recordset& r) { r.MovePrevious(); }},
        {"Move(-1)", [](Recordset& r) { r.Move(-1); }},
        {"Move(0)", [](Recordset& r) { r.Move(0); }},
        {"MoveNext", [](Recordset& r) { r.MoveNext(); }},
        {"Move(2)", [](Recordset& r) { r.Move(2); }},
    };
    // One row per state, one column per move: true = error.
    const bool fails[4][7] = {{false, false, true, true, true, false, false},
                              {false, false, false, false, true, true, true},
                              {true, true, true, true, true, true, true},
                              {false, false, false, false, false, false, false}};
    for (int s = BofOnly; s <= Neither; ++s) {
        for (size_t m = 0; m < moves.size(); ++m) {
            SCOPED_TRACE(std::string(moves[m].first) + " in state " + std::to_string(s));
            Recordset rs;
            enter(rs, static_cast<State>(s));
            HRESULT hr = Code([&] { moves[m].second(rs); });
            EXPECT_EQ(hr, fails[s][m] ? xr::adErrNoCurrentRecord : 0);
        }
    }
    Recordset rs;
    Open(rs);
    rs.MoveNext();
    rs.Move(1);
    EXPECT_EQ(Row(rs), 3);
    rs.Move(-1);
    rs.Move(3);
    EXPECT_TRUE(rs.EndOfFile());
    EXPECT_FALSE(rs.BOF());
    rs.MovePrevious();
    EXPECT_EQ(Row(rs), 4);
    rs.MoveFirst();
    rs.MoveNext();
    rs.Move(-2);
    EXPECT_EQ(Row(rs), -1);
    rs.MoveNext();
    EXPECT_EQ(Row(rs), 1);
    rs.MoveLast();
    EXPECT_EQ(Row(rs), 4);
    rs.MoveNext();
    EXPECT_TRUE(rs.EndOfFile());
    rs.Move(-3);
    EXPECT_EQ(Row(rs), 2);

    Recordset fwd;
    Open(fwd, adOpenForwardOnly);
    EXPECT_EQ(fwd.RecordCount(), -1);
    fwd.MoveNext();
    EXPECT_NE(Code([&] { fwd.MovePrevious(); }), 0);
    EXPECT_NE(Code([&] { fwd.MoveLast(); }), 0);
    fwd.MoveFirst();
    EXPECT_EQ(Row(fwd), 1);
}

TEST_P(RecordsetTest, WalksAreConsistentOverManyRows) {
    m_conn.Execute("CREATE TABLE Big (Id INT IDENTITY(1,1) PRIMARY KEY, V INT)");
    m_conn.BeginTrans();
    m_conn.Execute(
        "DECLARE @i INT SET @i = 0 WHILE @i < 3000 BEGIN INSERT INTO Big (V) VALUES (@i) "
        "SET @i = @i + 1 END");
    m_conn.CommitTrans();
    Recordset rs;
    Open(rs, adOpenKeyset, "Big");
    auto walk = [&](int expectedFrom, bool forward, bool write) {
        int n = 0;
        for (int v = expectedFrom; forward ? !rs.EndOfFile() : !rs.BOF(); v += forward ? 1 : -1) {
            ASSERT_EQ(rs.Value("V").ToI4(), v);
            if (write) rs.SetValue("V", Variant::I4(v + 10000));
            ++n;
            forward ? rs.MoveNext() : rs.MovePrevious();
        }
        EXPECT_EQ(n, 3000);
    };
    walk(0, true, false);
    rs.MovePrevious();
    walk(2999, false, false);
    rs.MoveFirst();
    walk(0, true, false);
    // Writing each row while walking the index it moves in visits every row
    // once.
    rs.Close();
    m_conn.Execute("CREATE INDEX IX_Big_V ON Big (V)");
    rs.Open(m_conn, "SELECT * FROM Big ORDER BY V", adOpenDynamic, adLockOptimistic);
    m_conn.BeginTrans();
    walk(0, true, true);
    m_conn.CommitTrans();
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Big WHERE V >= 10000"), "3000");
    EXPECT_EQ(rs.RecordCount(), 3000);
}

struct FindCase {
    int from;  // DptNo of the row to start on
    const char* criteria;
    long skip;
    int direction;
    int expected;  // DptNo found, 0 = EOF, -1 = BOF
};

TEST_P(RecordsetTest, FindSearchesFromTheCurrentRowAndRefusesMalformedCriteria) {
    Fill({"Bar", "Food", "Wine", "O'Brien  "});
    m_conn.Execute("UPDATE Depts SET Name = NULL, Price = NULL WHERE DptNo = 3");
    m_conn.Execute("INSERT INTO Depts VALUES (5, 'Wine', 0.25, '2024-02-01 00:00:00')");
    const FindCase cases[] = {
        {1, "Name = 'Food'", 0, 1, 2},      {1, "Name = 'Zzz'", 0, 1, 0},
        {5, "Name = 'Bar'", 0, -1, 1},      {1, "Name = 'Zzz'", 0, -1, -1},
        {1, "DptNo > 1", 0, 1, 2},          {3, "DptNo > 1", 0, 1, 3},
        {2, "DptNo >= 2.0", 1, 1, 3},       {1, "Name = 'Bar'", 1, 1, 0},
        {1, "name like 'w*'", 0, 1, 5},     {1, "Name LIKE 'F%'", 0, 1, 2},
        {1, "Name LIKE '*OO*'", 0, 1, 2},   {1, "Name LIKE '%rie%'", 0, 1, 4},
        {1, "[Name] = 'FOOD'", 0, 1, 2},    {1, "Name = 'o''brien'", 0, 1, 4},
        {1, "Name = #Food#", 0, 1, 2},      {1, "Name <> 'Bar'", 0, 1, 2},
        {2, "Name < 'Bar'", 0, 1, 0},       {1, "Name = NULL", 0, 1, 3},
        {1, "Price = 2.5", 0, 1, 2},        {1, "Price < 1", 0, 1, 5},
        {1, "Price <= '1.5'", 0, 1, 1},     {1, "Sold = #1/2/2024 10:30:00#", 0, 1, 2},
        {1, "Sold > #1/3/2024#", 0, 1, 3},  {5, "Sold < #1/3/2024#", 0, -1, 2},
        {1, "Sold >= #2/1/2024#", 0, 1, 5},
    };
    Recordset rs;
    Open(rs);
    for (const FindCase& c : cases) {
        SCOPED_TRACE(c.criteria);
        rs.MoveFirst();
        while (Row(rs) != c.from) rs.MoveNext();
        rs.Find(c.criteria, c.skip, c.direction);
        EXPECT_EQ(Row(rs), c.expected);
    }
    // At EOF a forward search finds nothing and stays there.
    rs.MoveLast();
    rs.MoveNext();
    rs.Find("DptNo = 1");
    EXPECT_TRUE(rs.EndOfFile());

    // Malformed criteria are refused, and the cursor stays where it was.
    rs.MoveFirst();
    const char* bad[] = {"Name = 'Bar' AND DptNo = 1",
                         "Name == 'Bar'",
                         "Name 'Bar'",
                         "Name = 'Bar",
                         "Name = Bar",
                         "Name LIKE '*ar'",
                         "Name LIKE 'B*r'",
                         "Name LIKE 5",
                         "Sold = #1/1/2024 10:00:00.5#",
                         "= 'Bar'",
                         "[Name = 'Bar'",
                         ""};
    for (const char* criteria : bad) {
        SCOPED_TRACE(criteria);
        std::string text;
        EXPECT_EQ(Code([&] { rs.Find(criteria); }, &text), xr::adErrInvalidArgument);
        EXPECT_EQ(text,
                  "Arguments are of the wrong type, are out of acceptable range, or are in "
                  "conflict with one another.");
    }
    EXPECT_EQ(Code([&] { rs.Find("Nope = 1"); }), xr::adErrItemNotFound);
    EXPECT_EQ(Row(rs), 1);
}

TEST_P(RecordsetTest, CountsAndClones) {
    Fill();
    for (int cursor : {adOpenKeyset, adOpenStatic, adOpenDynamic}) {
        Recordset rs;
        Open(rs, cursor, "SELECT * FROM Depts WHERE DptNo > 1");
        EXPECT_EQ(rs.RecordCount(), 2);
        EXPECT_EQ(Row(rs), 2);  // counting does not move
    }
    Recordset rs;
    Open(rs);
    rs.MoveLast();
    auto clone = rs.Clone();
    EXPECT_EQ(Row(*clone), 1);
    clone->MoveNext();
    EXPECT_EQ(Row(rs), 3);
    EXPECT_EQ(clone->RecordCount(), 3);
    // A change through one is seen by the other.
    clone->SetValue("Name", Variant::Text("Pub"));
    clone->Update();
    rs.MovePrevious();
    EXPECT_EQ(rs.Value("Name").ToText(), "Pub");
    rs.Close();
    clone->MoveNext();
    EXPECT_EQ(Row(*clone), 3);
    EXPECT_EQ(Code([&] { clone->Clone(adLockReadOnly)->AddNew(); }), xr::adErrFeatureNotAvailable);
    EXPECT_EQ(Code([&] { clone->Clone(adLockOptimistic); }), xr::adErrInvalidArgument);

    Recordset fwd;
    Open(fwd, adOpenForwardOnly);
    EXPECT_NE(Code([&] { fwd.Clone(); }), 0);
}

TEST_P(RecordsetTest, AddNewStoresWithIdentityAndDefaults) {
    m_conn.Execute(
        "CREATE TABLE Items (Id INT IDENTITY(50,-10) PRIMARY KEY, Name VARCHAR(20) NOT NULL, "
        "Qty INT NOT NULL DEFAULT 7)");
    m_conn.Execute("INSERT INTO Items (Name) VALUES ('first')");
    Recordset rs;
    rs.Open(m_conn, "Items", adOpenKeyset, adLockOptimistic, true);
    rs.AddNew();
    EXPECT_EQ(rs.EditMode(), adEditAdd);
    EXPECT_EQ(rs.Status(), adRecNew);
    EXPECT_FALSE(rs.BOF() || rs.EndOfFile());
    EXPECT_EQ(rs.RecordCount(), 2);
    EXPECT_EQ(rs.Value("Qty").Type(), xr::VT_EMPTY);
    rs.SetValue("Name", Variant::Text("second"));
    EXPECT_EQ(rs.Value("Name").ToText(), "second");
    // A second AddNew stores the pending row first.
    rs.AddNew();
    Set(rs, {{"name", Variant::Text("third")}, {"Qty", Variant::I4(3)}});
    rs.Update();
    EXPECT_EQ(rs.EditMode(), adEditNone);
    EXPECT_EQ(rs.Value("Id").ToI4(), 30);
    EXPECT_EQ(rs.Value("Qty").ToI4(), 3);
    rs.MovePrevious();
    EXPECT_EQ(rs.Value("Id").ToI4(), 40);
    EXPECT_EQ(rs.Value("Qty").ToI4(), 7);
    rs.MoveLast();
    rs.MoveNext();
    EXPECT_TRUE(rs.EndOfFile());
    EXPECT_EQ(rs.RecordCount(), 3);

    // Cancelling a new row returns to the row before it.
    rs.MoveFirst();
    rs.AddNew();
    rs.SetValue("Name", Variant::Text("dropped"));
    rs.CancelUpdate();
    EXPECT_EQ(rs.EditMode(), adEditNone);
    EXPECT_EQ(rs.Value("Name").ToText(), "first");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Items"), "3");

    // A new row on an empty result.
    Recordset empty;
    Open(empty, adOpenStatic, "SELECT * FROM Items WHERE Id < 0");
    empty.AddNew();
    empty.SetValue("Name", Variant::Text("fourth"));
    empty.Update();
    EXPECT_EQ(empty.Value("Id").ToI4(), 20);
    empty.MoveNext();
    EXPECT_TRUE(empty.EndOfFile());
    // A statement numbers on from the recordsets' rows.
    m_conn.Execute("INSERT Items (Name) VALUES ('fifth')");
    EXPECT_EQ(Scalar("SELECT IDENT_CURRENT('Items')"), "10");
}

// An upgrade's step reads a table the open transaction made and widened,
// before anything wrote it: no rows, whatever the cursor, and a row added
// there takes every column the table has by then.
TEST_P(RecordsetTest, ATableOfTheOpenTransactionNotYetWrittenReadsEmptyAndTakesRows) {
    m_conn.Execute(
        "BEGIN TRAN CREATE TABLE Kp (TillNo INT NOT NULL PRIMARY KEY) "
        "ALTER TABLE Kp ADD Layout INT DEFAULT 3 NOT NULL");
    for (int cursor : {adOpenKeyset, adOpenDynamic, adOpenStatic, adOpenForwardOnly}) {
        Recordset rs;
        Open(rs, cursor, "SELECT * FROM Kp ORDER BY TillNo");
        EXPECT_TRUE(rs.EndOfFile() && rs.BOF()) << cursor;
    }
    Recordset rs;
    rs.Open(m_conn, "Kp", adOpenKeyset, adLockOptimistic, true);
    rs.AddNew();
    rs.SetValue("TillNo", Variant::I4(1));
    rs.Update();
    EXPECT_EQ(rs.Value("Layout").ToI4(), 3);
    m_conn.Execute("ALTER TABLE Kp ADD Note VARCHAR(10) DEFAULT 'n' NOT NULL");
    Recordset again;
    again.Open(m_conn, "Kp", adOpenKeyset, adLockOptimistic, true);
    ASSERT_FALSE(again.EndOfFile());
    EXPECT_EQ(again.Value("Note").ToText(), "n");
    m_conn.Execute("COMMIT");
    EXPECT_EQ(xrtest::Rows(m_conn, "SELECT TillNo, Layout, Note FROM Kp"),
              std::vector<std::string>{"1|3|n"});
}

// Recordsets of one statement shape share their statements once closed: each
// still writes its own values, sees schema changes, and IDENTITY_INSERT is
// checked on every write, not only when a statement is made.
TEST_P(RecordsetTest, RecordsetsOfOneShapeShareStatementsSafely) {
    m_conn.Execute(
        "CREATE TABLE Items (Id INT IDENTITY(1,1) PRIMARY KEY, Name VARCHAR(20) NOT NULL)");
    for (int i = 1; i <= 4; ++i) {
        Recordset rs;
        Open(rs, adOpenKeyset, "SELECT * FROM Items WHERE Id = " + std::to_string(i));
        EXPECT_TRUE(rs.EndOfFile());
        rs.AddNew();
        rs.SetValue("Name", Variant::Text("item " + std::to_string(i)));
        rs.Update();
        EXPECT_EQ(rs.Value("Id").ToI4(), i);
        EXPECT_EQ(rs.Value("Name").ToText(), "item " + std::to_string(i));
    }
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Items WHERE Name = 'item ' + CONVERT(VARCHAR, Id)"),
              "4");

    m_conn.Execute("ALTER TABLE Items ADD Qty INT NULL");
    Recordset wider;
    wider.Open(m_conn, "SELECT * FROM Items WHERE Id = 2", adOpenKeyset, adLockOptimistic);
    ASSERT_EQ(wider.FieldCount(), 3u);
    wider.SetValue("Qty", Variant::I4(9));
    wider.Update();
    wider.Close();
    EXPECT_EQ(Scalar("SELECT Qty FROM Items WHERE Id = 2"), "9");

    m_conn.Execute("SET IDENTITY_INSERT Items ON");
    Recordset rs;
    rs.Open(m_conn, "Items", adOpenKeyset, adLockOptimistic, true);
    rs.AddNew();
    Set(rs, {{"Id", Variant::I4(100)}, {"Name", Variant::Text("explicit")}});
    rs.Update();
    m_conn.Execute("SET IDENTITY_INSERT Items OFF");
    rs.AddNew();
    Set(rs, {{"Id", Variant::I4(101)}, {"Name", Variant::Text("refused")}});
    std::string text;
    EXPECT_NE(Code([&] { rs.Update(); }, &text), 0);
    EXPECT_NE(text.find("IDENTITY_INSERT is set to OFF"), std::string::npos) << text;
    rs.CancelUpdate();
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Items WHERE Id >= 100"), "1");
}

TEST_P(RecordsetTest, EditsAndFailedUpdatesOfARow) {
    Fill();
    Recordset rs;
    Open(rs);
    rs.SetValue("Name", Variant::Text("Pub"));
    EXPECT_EQ(rs.EditMode(), adEditInProgress);
    EXPECT_EQ(rs.Status(), adRecModified);
    rs.CancelUpdate();
    EXPECT_EQ(rs.Value("Name").ToText(), "Bar");
    rs.SetValue("Price", Variant::Text("9.25"));
    rs.MoveNext();  // moving off stores the row
    EXPECT_EQ(rs.EditMode(), adEditNone);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Depts WHERE Price = 9.25 AND DptNo = 1"), "1");
    rs.MovePrevious();
    EXPECT_EQ(rs.Value("Price").ToCY(), 92500);
    EXPECT_EQ(rs.Status(), adRecOK);
    // NOT NULL refused by the server: the edit stays pending.
    rs.SetValue("DptNo", Variant::Null());
    EXPECT_NE(Code([&] { rs.Update(); }), 0);
    EXPECT_EQ(rs.EditMode(), adEditInProgress);
    rs.CancelUpdate();
    EXPECT_EQ(Row(rs), 1);
    // A key the server refuses: the new row stays pending, with the server's text.
    rs.AddNew();
    rs.SetValue("DptNo", Variant::I4(2));
    std::string text;
    EXPECT_NE(Code([&] { rs.Update(); }, &text), 0);
    EXPECT_EQ(text.rfind("Violation of PRIMARY KEY constraint", 0), 0u) << text;
    EXPECT_EQ(rs.EditMode(), adEditAdd);
    rs.CancelUpdate();
    EXPECT_EQ(Row(rs), 1);
    EXPECT_EQ(rs.RecordCount(), 3);
}

TEST_P(RecordsetTest, DeletedRowsStayCurrentUntilTheCursorMoves) {
    Fill({"A", "B", "C", "D"});
    Recordset rs;
    Open(rs);
    rs.MoveNext();
    rs.Delete();
    EXPECT_EQ(rs.Status(), adRecDeleted);
    EXPECT_EQ(Code([&] { rs.Value(0); }), xr::adErrNoCurrentRecord);
    EXPECT_EQ(Code([&] { rs.Delete(); }), xr::adErrNoCurrentRecord);
    EXPECT_FALSE(rs.BOF() || rs.EndOfFile());
    rs.MoveNext();
    EXPECT_EQ(Row(rs), 3);
    rs.MovePrevious();
    EXPECT_EQ(Row(rs), 1);
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Depts"), "3");

    // A row deleted behind the cursor's back reads as deleted by the server.
    rs.MoveLast();
    m_conn.Execute("DELETE FROM Depts WHERE DptNo = 3");
    rs.MoveFirst();
    rs.MoveNext();
    EXPECT_EQ(rs.Status(), adRecDBDeleted);
    EXPECT_EQ(Code([&] { rs.Value("Name"); }), xr::adErrNoCurrentRecord);
    rs.MoveNext();
    EXPECT_EQ(Row(rs), 4);

    // Deleting every row: both ends after the next move.
    rs.MoveFirst();
    while (!rs.EndOfFile()) {
        if (rs.Status() == adRecOK) rs.Delete();
        rs.MoveNext();
    }
    EXPECT_TRUE(rs.BOF() && rs.EndOfFile());
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Depts"), "0");
}

TEST_P(RecordsetTest, ReadOnlySourcesRefuseWrites) {
    Fill();
    m_conn.Execute("CREATE TABLE Grps (GrpNo INT, Title VARCHAR(10))");
    m_conn.Execute("INSERT INTO Grps VALUES (1, 'Drinks')");
    const char* sources[] = {
        "SELECT COUNT(*) AS N FROM Depts",
        "SELECT d.Name, g.Title FROM Depts d JOIN Grps g ON g.GrpNo = d.DptNo"};
    for (const char* sql : sources) {
        SCOPED_TRACE(sql);
        Recordset rs;
        rs.Open(m_conn, sql, adOpenStatic, adLockOptimistic);
        EXPECT_EQ(rs.RecordCount(), 1);
        EXPECT_FALSE(rs.Value(0).IsEmptyOrNull());
        std::string text;
        EXPECT_EQ(Code([&] { rs.AddNew(); }, &text), xr::adErrFeatureNotAvailable);
        EXPECT_NE(text.find("does not support updating"), std::string::npos);
        EXPECT_EQ(Code([&] { rs.SetValue(0, Variant::I4(1)); }), xr::adErrFeatureNotAvailable);
        EXPECT_EQ(Code([&] { rs.Delete(); }), xr::adErrFeatureNotAvailable);
        rs.MoveNext();
        EXPECT_TRUE(rs.EndOfFile());
        rs.MoveFirst();
        EXPECT_FALSE(rs.EndOfFile());
    }
    Recordset locked;
    locked.Open(m_conn, "Depts", adOpenKeyset, adLockReadOnly, true);
    EXPECT_EQ(Code([&] { locked.Delete(); }), xr::adErrFeatureNotAvailable);
}

// A recordset standing on a row holds nothing open between calls: another
// process's commit reaches the connection's next statement, the connection
// writes at once, and moving on shows the rows as the cursor type documents:
// a dynamic cursor every change, a keyset cursor its own rows as they are
// now (a deleted one as a hole) and no new ones, a static cursor its copy.
TEST_P(RecordsetTest, CursorsStandingOnARowShowOtherProcessesCommitsByTheirType) {
    const std::string change =
        "UPDATE T..Depts SET Name = 'Meals' WHERE DptNo = 2 "
        "DELETE FROM T..Depts WHERE DptNo = 3 "
        "INSERT INTO T..Depts (DptNo, Name) VALUES (5, 'Cider')";
    const std::pair<int, const char*> cases[] = {
        {adOpenDynamic, "1 Bar,2 Meals,4 Beer,5 Cider,"},
        {adOpenForwardOnly, "1 Bar,2 Meals,4 Beer,5 Cider,"},
        {adOpenKeyset, "1 Bar,2 Meals,<deleted>,4 Beer,"},
        {adOpenStatic, "1 Bar,2 Food,3 Wine,4 Beer,"},
    };
    for (const auto& [cursor, expected] : cases) {
        SCOPED_TRACE(cursor);
        m_conn.Execute("DELETE FROM Depts");
        Fill({"Bar", "Food", "Wine", "Beer"});
        Recordset rs;
        Open(rs, cursor, "SELECT * FROM Depts ORDER BY DptNo");
        ASSERT_EQ(Row(rs), 1);
        ASSERT_EQ(OtherSession(change), 0);
        EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Depts WHERE Name = 'Meals'"), "1");
        EXPECT_EQ(Code([&] { m_conn.Execute("UPDATE Depts SET Price = 9 WHERE DptNo = 4"); }), 0);
        std::string walk;
        for (; !rs.EndOfFile(); rs.MoveNext()) {
            std::string row = "<deleted>";
            Code([&] { row = std::to_string(Row(rs)) + " " + rs.Value("Name").ToText(); });
            walk += row + ",";
        }
        EXPECT_EQ(walk, expected);
    }
}

// A key with NULLs (first going up, last going down), a descending order, a
// key that is not unique and names compared without case: every cursor type
// meets every row once, in order, both ways.
TEST_P(RecordsetTest, MovingByKeyKeepsTheOrderWithNullsTiesAndDescendingKeys) {
    Fill({"bar", "Food", "Wine", "Beer", "Cake", "Soup"});
    m_conn.Execute("UPDATE Depts SET Price = NULL, Name = NULL WHERE DptNo = 5");
    m_conn.Execute("UPDATE Depts SET Price = NULL WHERE DptNo = 2");
    m_conn.Execute("UPDATE Depts SET Price = 7 WHERE DptNo IN (1, 4, 6)");
    const std::pair<const char*, const char*> cases[] = {
        {"SELECT * FROM Depts ORDER BY Price, DptNo DESC", "5,2,3,6,4,1"},
        // Ties go by row in the direction of the first key.
        {"SELECT * FROM Depts ORDER BY Price DESC", "6,4,1,3,5,2"},
        {"SELECT * FROM Depts ORDER BY Name", "5,1,4,2,6,3"},
        {"SELECT * FROM Depts ORDER BY Name DESC", "3,6,2,4,1,5"},
        {"SELECT * FROM Depts WHERE DptNo > 2 OR Price IS NULL", "2,3,4,5,6"},
    };
    for (int cursor : {adOpenDynamic, adOpenKeyset, adOpenStatic, adOpenForwardOnly}) {
        for (const auto& [sql, expected] : cases) {
            SCOPED_TRACE(std::string(sql) + " cursor " + std::to_string(cursor));
            Recordset rs;
            Open(rs, cursor, sql);
            std::string forward, backward;
            for (; !rs.EndOfFile(); rs.MoveNext()) forward += std::to_string(Row(rs)) + ",";
            EXPECT_EQ(forward, std::string(expected) + ",");
            if (cursor == adOpenForwardOnly) continue;
            for (rs.MovePrevious(); !rs.BOF(); rs.MovePrevious())
                backward.insert(0, std::to_string(Row(rs)) + ",");
            EXPECT_EQ(backward, forward);
        }
    }
}

TEST_P(RecordsetTest, ClosedAndOpenStatesAreErrors) {
    Recordset rs;
    std::vector<std::function<void()>> ops = {
        [&] { rs.BOF(); },         [&] { rs.EndOfFile(); },   [&] { rs.MoveFirst(); },
        [&] { rs.MoveLast(); },    [&] { rs.MoveNext(); },    [&] { rs.Move(1); },
        [&] { rs.Find("a = 1"); }, [&] { rs.RecordCount(); }, [&] { rs.Clone(); },
        [&] { rs.AddNew(); },      [&] { rs.Update(); },      [&] { rs.CancelUpdate(); },
        [&] { rs.Delete(); },      [&] { rs.EditMode(); },    [&] { rs.Status(); },
        [&] { rs.Value(0); },      [&] { rs.Value("a"); },    [&] { rs.SetValue(0, Variant()); },
    };
    for (size_t i = 0; i < ops.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(Code(ops[i]), xr::adErrObjectClosed);
    }
    EXPECT_EQ(rs.FieldCount(), 0u);
    EXPECT_EQ(Code([&] { rs.Field(0); }), xr::adErrItemNotFound);
    Open(rs);
    EXPECT_EQ(Code([&] { Open(rs); }), xr::adErrObjectOpen);
    EXPECT_NE(Code([&] { rs.Close(), rs.Open(m_conn, "NoSuchTable", 1, 3, true); }), 0);
    EXPECT_FALSE(rs.IsOpen());
    rs.Close();

    // The connection closing under an open recordset makes it fail, not crash.
    Fill();
    Open(rs);
    m_conn.Close();
    EXPECT_NE(Code([&] { rs.MoveLast(); }), 0);
    EXPECT_NE(Code([&] { rs.Update(), rs.Delete(); }), 0);
}

// Rows written through a recordset meet the foreign keys and checks of their
// tables with the server's texts, and a key turned off by NOCHECK lets them in.
TEST_P(RecordsetTest, WritesMeetKeysAndChecksWithTheServersTextsUntilNocheck) {
    Fill({"Bar", "Food"});
    m_conn.Execute(
        "CREATE TABLE Products (PLU INT NOT NULL, DptNo INT NULL CONSTRAINT "
        "FK_Products_Depts REFERENCES Depts (DptNo), Price MONEY NULL CONSTRAINT "
        "CK_Products_Price CHECK (Price >= 0)) INSERT Products VALUES (10, 1, 2.5)");
    const std::string conflict =
        "The %s statement conflicted with the %s constraint \"%s\". "
        "The conflict occurred in database \"T\", table \"dbo.%s\", "
        "column '%s'.";
    const std::string fk = xr::Format(conflict.c_str(), "INSERT", "FOREIGN KEY",
                                      "FK_Products_Depts", "Depts", "DptNo");
    Recordset depts;
    Open(depts, adOpenKeyset, "SELECT DptNo, Name FROM Depts WHERE DptNo = 1");
    std::string text;
    EXPECT_NE(Code([&] { depts.Delete(); }, &text), 0);
    EXPECT_EQ(text, xr::Format(conflict.c_str(), "DELETE", "REFERENCE", "FK_Products_Depts",
                               "Products", "DptNo"));
    depts.Close();
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Depts"), "2");

    // Each write: a statement before it, the source (a table: a new row; a
    // query: its first row), the values, and the text Update fails with.
    const struct {
        const char* before;
        const char* source;
        std::vector<std::pair<const char*, int>> values;
        std::string error;
    } writes[] = {
        {"", "Products", {{"PLU", 11}, {"DptNo", 7}}, fk},
        {"", "Products", {{"PLU", 12}, {"DptNo", 2}}, ""},
        {"",
         "SELECT PLU, DptNo, Price FROM Products WHERE PLU = 10",
         {{"Price", -1}},
         xr::Format(conflict.c_str(), "UPDATE", "CHECK", "CK_Products_Price", "Products", "Price")},
        {"",
         "SELECT PLU, DptNo, Price FROM Products WHERE PLU = 10",
         {{"DptNo", 9}},
         xr::Format(conflict.c_str(), "UPDATE", "FOREIGN KEY", "FK_Products_Depts", "Depts",
                    "DptNo")},
        // Keys turned off let the records in, until checked again.
        {"ALTER TABLE Products NOCHECK CONSTRAINT ALL",
         "Products",
         {{"PLU", 13}, {"DptNo", 8}, {"Price", -3}},
         ""},
        {"DELETE FROM Depts WHERE DptNo = 1 ALTER TABLE Products CHECK CONSTRAINT ALL",
         "Products",
         {{"PLU", 14}, {"DptNo", 8}},
         fk},
    };
    for (const auto& w : writes) {
        SCOPED_TRACE(w.before + std::string(" ") + w.source);
        if (*w.before) m_conn.Execute(w.before);
        Recordset rs;
        Open(rs, adOpenKeyset, w.source);
        ASSERT_FALSE(rs.EndOfFile() && rs.BOF());
        if (std::string_view(w.source) == "Products") rs.AddNew();
        for (const auto& [name, value] : w.values) rs.SetValue(name, Variant::I4(value));
        text.clear();
        if (Code([&] { rs.Update(); }, &text) != 0) rs.CancelUpdate();
        EXPECT_EQ(text, w.error);
    }
    EXPECT_EQ(xrtest::Rows(m_conn, "SELECT PLU, DptNo, Price FROM Products ORDER BY PLU"),
              (std::vector<std::string>{"10|1|2.5", "12|2|NULL", "13|8|-3"}));
}

// Money written and read through variants keeps all four places: text to
// currency is read digit by digit, not through a double, and the recordset
// hands the stored scaled integer out as it is.
TEST_P(RecordsetTest, MoneyKeepsEveryDigit) {
    Fill({"Bar"});
    Recordset rs;
    Open(rs);
    rs.SetValue("Price", Variant::Text("22337203685477.5807"));
    rs.Update();
    rs.AddNew();
    Set(rs, {{"DptNo", Variant::I4(2)}, {"Price", Variant::Currency(INT64_MAX)}});
    rs.Update();
    rs.Close();
    Open(rs, adOpenForwardOnly, "SELECT Price FROM Depts ORDER BY DptNo");
    EXPECT_EQ(rs.Value("Price").Type(), xr::VT_CY);
    EXPECT_EQ(rs.Value("Price").ToText(), "22337203685477.5807");
    rs.MoveNext();
    EXPECT_EQ(rs.Value("Price").ToText(), "922337203685477.5807");
}

XRTEST_ON_EVERY_ENGINE(RecordsetTest);

}  // namespace
