// Opening, navigation, searching, counting and copies of a table object,
// through the CDept record class.
#include "table_fixture.h"

namespace {

using xrtest::CAnyTable;
using xrtest::CDept;
using xrtest::TableTest;

class NavigationTest : public TableTest {};

TEST_P(NavigationTest, WalkingForwardAndBackInTheOrderByOrderKeepsTheStructureOnTheRow) {
    MakeDepts({"Bar", "Food", "Wine"});
    CDept d;
    EXPECT_EQ(xr::Format("%d|%d", d.EndOfFile(), d.BOF()), "1|1") << "closed";
    ASSERT_EQ(d.MoveFirst(), 1);
    EXPECT_EQ(xr::Format("%s|%d", d.m_def.Name, d.m_def.Price), "Bar|150");
    std::vector<int> seen{d.m_def.DptNo};
    while (d.MoveNext()) seen.push_back(d.m_def.DptNo);
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(d.EndOfFile(), -1);
    EXPECT_EQ(d.m_def.DptNo, 3) << "running off the end leaves the structure alone";

    ASSERT_EQ(d.MoveLast(), 1);
    EXPECT_EQ(d.MovePrevious(), 1);
    EXPECT_EQ(d.MovePrevious(), 1);
    EXPECT_EQ(d.m_def.DptNo, 1);
    EXPECT_EQ(d.MovePrevious(), 0);
    EXPECT_EQ(xr::Format("%d|%d", d.BOF(), d.EndOfFile()), "-1|0");
    EXPECT_TRUE(xrtest::LinesStarting("Table").empty()) << "running off an end is no error";
    // The order-by text sorts the whole table.
    Exec("UPDATE Depts SET DptNo = 10 - DptNo");  // 9, 8, 7 in insertion order
    for (const auto& [orderBy, first] : {std::pair{"", 9}, {"DptNo", 7}, {"Name DESC", 7}}) {
        d.m_orderBy = orderBy;
        ASSERT_EQ(d.MoveFirst(), 1);
        EXPECT_EQ(d.m_def.DptNo, first) << orderBy;
    }

    // Moving a closed object is reported with the operation's code.
    EXPECT_EQ(d.CloseRS(), 1);
    EXPECT_EQ(d.CloseRS(), 1);
    EXPECT_EQ(d.MoveNext(), 0);
    EXPECT_EQ(LastErrorCode(), static_cast<int>(xr::adErrObjectClosed));
    EXPECT_EQ(xrtest::LinesStarting("Table [Depts] error 800a0e78").size(), 1u);
    d.m_name = "Deptz";
    EXPECT_EQ(d.MoveFirst(), 0);
    EXPECT_EQ(d.m_isOpen, 0);
    EXPECT_EQ(d.OpenRS(nullptr), 0);
}

TEST_P(NavigationTest, AnEmptyTableLeavesTheStructureAloneAndKeyNamesAnswerForSixSlots) {
    Exec(xrtest::kDeptsTable);
    CDept d;
    d.m_def.DptNo = 42;
    EXPECT_EQ(d.MoveFirst(), 0);
    EXPECT_EQ(d.MoveLast(), 0);
    EXPECT_EQ(d.OpenGet("SELECT * FROM Depts"), 0);
    EXPECT_EQ(xr::Format("%d|%d", d.m_def.DptNo, d.m_toCalls), "42|0");
    d.m_keys[6] = "Seventh";
    EXPECT_STREQ(d.GetKeyName(0), "DptNo");
    for (int slot : {1, 6, -1}) EXPECT_EQ(d.GetKeyName(slot), nullptr) << slot;
}

TEST_P(NavigationTest, MoveAndFindGoFromTheCurrentRowAndCountLeavesTheObjectOpen) {
    MakeDepts({"Bar", "Food", "Wine", "Deli"});
    CDept d;
    EXPECT_EQ(xr::Format("%d|%d", d.Move(1), d.Find("Name = 'Food'", 1)), "0|0") << "not open";
    EXPECT_EQ(d.Count(), 4);
    EXPECT_EQ(xr::Format("%d|%d|%d", d.IsOpen(), d.m_toCalls, d.EndOfFile()), "1|0|0")
        << "open on its first row of the static recordset, not read";
    EXPECT_EQ(d.Count("SELECT * FROM Depts WHERE GrpNo = 1"), 2);
    ASSERT_EQ(d.MoveFirst(), 1);
    ASSERT_EQ(d.MoveNext(), 1);  // row 2
    const int calls = d.m_toCalls;
    EXPECT_EQ(d.Move(0), 1);
    EXPECT_EQ(d.m_toCalls, calls) << "Move(0) does not read the row";
    EXPECT_EQ(d.Move(1), 1);
    EXPECT_EQ(d.Move(-2), 1);
    EXPECT_EQ(d.m_def.DptNo, 1);
    EXPECT_EQ(d.Move(1), 1);
    EXPECT_EQ(d.Move(3), 0) << "from the second of four rows";
    EXPECT_EQ(d.EndOfFile(), -1);
    ASSERT_EQ(d.MoveFirst(), 1);
    EXPECT_EQ(d.Move(-1), 0);
    EXPECT_EQ(d.BOF(), -1);

    ASSERT_EQ(d.MoveFirst(), 1);
    EXPECT_EQ(d.Find("Name = 'Food'", 1), 1);
    EXPECT_EQ(d.m_def.DptNo, 2);  // the criteria themselves are the recordset's
    EXPECT_EQ(d.Find("Name = 'Zzz'", 1), 0);
    ASSERT_EQ(d.MoveFirst(), 1);
    xrtest::ClearLog();
    EXPECT_EQ(d.Find("Name = 'Bar' AND DptNo = 1", 1), 0) << "Find takes one condition";
    EXPECT_EQ(xrtest::LinesStarting("Table [Depts] error").size(), 1u);
    EXPECT_EQ(d.Find(nullptr, 1), 0);
    CAnyTable missing("NoSuchTable");
    xrtest::ClearLog();
    EXPECT_EQ(missing.Count(), -1);
    EXPECT_EQ(xrtest::LinesStarting("Table [NoSuchTable] error").size(), 1u);
    EXPECT_EQ(missing.Count(nullptr), -1);
}

TEST_P(NavigationTest, CopiesShareOneCursor) {
    MakeDepts({"Bar", "Food", "Wine"});
    CDept a;
    ASSERT_EQ(a.MoveFirst(), 1);
    {
        CDept b(a);
        ASSERT_EQ(b.MoveNext(), 1);
        EXPECT_EQ(b.m_def.DptNo, 2);
        CDept c;
        c = a;
        EXPECT_EQ(c.MoveNext(), 1);
        EXPECT_EQ(c.m_def.DptNo, 3);
    }
    // The copies are gone; the cursor they moved is still open, on row 3.
    EXPECT_TRUE(a.IsOpen());
    EXPECT_EQ(a.MoveNext(), 0);
    EXPECT_EQ(a.EndOfFile(), -1);
}

TEST_P(NavigationTest, AValueTheClassCannotConvertEndsThePositioning) {
    Exec("CREATE TABLE Prices (No INTEGER NOT NULL, Price MONEY)");
    Exec("INSERT Prices VALUES (1, 1.25), (2, NULL), (3, 2)");
    struct CPrice : CXRTable {
        CPrice() { m_name = "Prices"; }
        int StructureTo() override {
            GetField("No", no);
            GetFieldAmt("Price", price);
            return 1;
        }
        int32_t no = 0;
        int32_t price = 0;
    } p;
    ASSERT_EQ(p.MoveFirst(), 1);
    EXPECT_EQ(p.price, 125);
    xrtest::ClearLog();
    EXPECT_EQ(p.MoveNext(), 0) << "NULL read as money";
    EXPECT_EQ(p.no, 2) << "the structure is partly updated";
    EXPECT_EQ(xrtest::LinesStarting("Table [Prices] error 80020005").size(), 1u);
    // Read directly, outside a positioning, the same value gives 0.
    int32_t price = 7;
    EXPECT_EQ(p.GetFieldAmt("Price", price), 0);
    EXPECT_EQ(price, 7);
    EXPECT_EQ(p.MoveNext(), 1);
    EXPECT_EQ(p.price, 200);
    EXPECT_EQ(p.OpenGet("SELECT * FROM Prices WHERE No = 2"), 0);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(NavigationTest);
