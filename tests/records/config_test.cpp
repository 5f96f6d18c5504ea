// CCfgTill and CCfgSys: the till and system configuration rows, the
// extended messages, the flag words, the whole "SysFlags" column and the
// copy of one till's configuration to another; system values: what each
// AddUpdate overload keeps, quoted field names, and the till programs' exports.
#include <functional>

#include "records_fixture.h"

namespace {

using xrtest::RecordsTest;

class CfgTillTest : public RecordsTest {
protected:
    CfgTillTest() : RecordsTest({"CfgTills"}) {}
};

TEST_P(CfgTillTest, ANewTillReadsTheDefaultsAndRoundTrips) {
    Exec(
        "INSERT INTO CfgTills (TillNo, RMess1, RMess5, BMess2, prDsp9, ScrlText) VALUES (1, "
        "'Thank you', 'Come again', 'Your bill', 'BAR', 'Welcome to the bar - two for one "
        "today')");
    CCfgTill t;
    ASSERT_EQ(t.Equ(1), 1);
    const cfgtill_def& d = t.m_def;
    EXPECT_EQ(xr::Format("%s|%s|%s|%s|%s", d.Name, d.RMess[0], d.BMess[1], d.PrDsp[8], d.ScrlText),
              "Name|Thank you|Your bill|BAR|Welcome to the bar - two for one today");
    // Valid, ItmRct, StayDownVoid and ForexAllow default to 1.
    EXPECT_EQ(+d.Options, 0x0002 | 0x0040 | 0x0100 | 0x0400);

    cfgtill_def def = d;
    def.TillNo = 2;
    std::strcpy(def.Name, "Bar till");
    def.AuditFlags = 0x0FFF;
    def.Options = 0x0001 | 0x0200;
    def.QtyMax = 250;
    def.Drawers = 40000;  // stored as a 16-bit signed value
    def.KbNo = 40000;
    ASSERT_EQ(CCfgTill().AddUpdate(def), 1);
    CCfgTill check;
    ASSERT_EQ(check.Equ(2), 1);
    EXPECT_EQ(xrtest::ByteDiff(check.m_def, def), "");
    EXPECT_EQ(Scalar("SELECT AuditTrn, LogitAll, ForexAllow, Drawers, KbNo FROM CfgTills "
                     "WHERE TillNo=2"),
              "3|1|0|-25536|40000");
    EXPECT_EQ(xrtest::TableErrors("CfgTills"), 0u);
}

TEST_P(CfgTillTest, FlagWordsTakeTheirBitsMessagesGoToSixAndSavingNeverTouchesTheSixth) {
    Exec(
        "INSERT INTO CfgTills (TillNo, RMess1, RMess2, RMess3, BMess6, AuditTrn, LogitTrn, "
        "AuditItm, AuditFnc, AutoRect, Valid, ItmRct) VALUES (1, 'a', 'b', 'c', 'sixth bill', 3, "
        "5, 2, 1, 1, 0, 0)");
    Exec("INSERT INTO CfgTills (TillNo, RMess6) VALUES (2, 'sixth receipt')");
    CCfgTill t;
    t.m_def.Options = 0xF880;  // bit 7 and bits 11-15 map nothing
    ASSERT_EQ(t.Equ(1), 1);
    EXPECT_EQ(+t.m_def.AuditFlags, 0x0003 | (1 << 2) | (2 << 4) | 0x0100);
    EXPECT_EQ(+t.m_def.Options, 0xF880 | 0x0001 | 0x0100 | 0x0400);
    EXPECT_STREQ(t.GetRctMess(0), "a");
    for (int bad : {5, 6, -1}) EXPECT_STREQ(t.GetRctMess(bad), "") << bad;
    EXPECT_STREQ(t.GetBillMess(5), "sixth bill");
    EXPECT_EQ(xr::Format("%d|%d", t.IsExtendedRctMess(), t.IsExtendedBillMess()), "0|1")
        << "receipt messages 1 to 3 only";
    ASSERT_EQ(t.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT AuditTrn, LogitTrn, AuditItm FROM CfgTills WHERE TillNo=1"), "3|1|2")
        << "LogitTrn 5 reads as 1";
    ASSERT_EQ(t.Equ(2), 1);
    EXPECT_STREQ(t.GetRctMess(5), "sixth receipt");
    EXPECT_EQ(xr::Format("%d|%d", t.IsExtendedRctMess(), t.IsExtendedBillMess()), "1|0")
        << "only the sixth receipt message";

    cfgtill_def def{.TillNo = 1, .Name = "Till one"};
    std::strcpy(t.m_rctMess6, "overwrite?");
    ASSERT_EQ(t.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT Name, RMess6, BMess6 FROM CfgTills WHERE TillNo=1"),
              "Till one||sixth bill");
}

TEST_P(CfgTillTest, CopyDuplicatesEveryColumnAndRefusesATakenOrMissingTill) {
    Exec(
        "INSERT INTO CfgTills (TillNo, Name, RMess6, SSTimer, BannerText, KPCopies3) VALUES "
        "(1, 'Front', 'sixth', 42, 'Happy hour', 3)");
    CCfgTill t;
    ASSERT_EQ(t.Copy(1, 2), 1);
    auto row = [](int till) {
        std::string r = Scalar(xr::Format("SELECT * FROM CfgTills WHERE TillNo=%d", till));
        return r.substr(r.find('|'));  // all but the till number
    };
    EXPECT_EQ(row(2), row(1));
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM CfgTills"), "2");
    Exec("UPDATE CfgTills SET Name='Two' WHERE TillNo=2");
    const auto before = Rows("SELECT * FROM CfgTills ORDER BY TillNo");
    xrtest::ClearLog();
    EXPECT_EQ(t.Copy(1, 2), 0);
    EXPECT_EQ(xrtest::TableErrors("CfgTills"), 1u);
    EXPECT_EQ(t.Copy(7, 8), 0);
    EXPECT_EQ(Rows("SELECT * FROM CfgTills ORDER BY TillNo"), before);
    // The object is still usable.
    ASSERT_EQ(t.Equ(2), 1);
    EXPECT_STREQ(t.m_def.Name, "Two");
}

class CfgSysTest : public RecordsTest {
protected:
    CfgSysTest() : RecordsTest({"CfgSys"}) {}
};

TEST_P(CfgSysTest, AddUpdateAddsTheRowThenRewritesItKeepingTheUpperSysFlags) {
    CCfgSys s;
    EXPECT_EQ(s.Load(), 0);
    cfgsys_def def{.Name = {"The Crown", "", "", "", "High Street"},
                   .Numb = 1,
                   .Vatr = "ABC",
                   .Vatv = {17.5f, 5.0f},
                   .Tills = 4,
                   .PluMax = 60000,
                   .Master = -1,
                   .DayCnt = 12,
                   .Loyalty = 2};
    ASSERT_EQ(s.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*), MIN(Vatv1), MIN(Name5) FROM CfgSys"), "1|17.5|High Street");
    CCfgSys check;
    ASSERT_EQ(check.Load(), 1);
    EXPECT_EQ(xrtest::ByteDiff(check.m_def, def), "");
    ASSERT_EQ(check.Equ(1), 1);
    EXPECT_EQ(check.Equ(2), 0);

    Exec("UPDATE CfgSys SET SysFlags=65539");  // 0x00010003
    ASSERT_EQ(s.Load(), 1);
    EXPECT_EQ(xr::Format("%x|%x", +s.m_def.SysFlags, s.m_sysFlags), "3|10003");
    def = s.m_def;
    def.SysFlags = 0x00FF;
    def.Numb = 9;  // whatever the caller says, the row Load finds is rewritten
    ASSERT_EQ(s.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*), MIN(SysFlags), MIN(Numb) FROM CfgSys"), "1|65539|9");
    // The copy constructor takes the whole column along; assignment does not.
    EXPECT_EQ(CCfgSys(s).m_sysFlags, 0x00010003);
    CCfgSys assigned;
    assigned = s;
    EXPECT_EQ(xr::Format("%x|%d", assigned.m_sysFlags, +assigned.m_def.Numb), "0|9");
}

class SysValueTest : public RecordsTest {
protected:
    SysValueTest() : RecordsTest({"SysValues"}) {}
    void TearDown() override {
        for (int slot = 0; slot < 4; ++slot) SysValueClose(slot);
        RecordsTest::TearDown();
    }
};

TEST_P(SysValueTest, EachOverloadChangesOnlyItsOwnValuesOfItsOwnIndexAndNamesMayHoldQuotes) {
    const struct {
        const char* what;
        std::function<int(CSysValue&)> write;
        const char* row;  // iValue, fValue, sValue afterwards
    } cases[] = {
        {"int", [](CSysValue& v) { return v.AddUpdate("Till", 1, 5); }, "5|1.5|kept"},
        {"double", [](CSysValue& v) { return v.AddUpdate("Till", 1, 2.25); }, "7|2.25|kept"},
        {"text", [](CSysValue& v) { return v.AddUpdate("Till", 1, "new"); }, "7|1.5|new"},
        {"all", [](CSysValue& v) { return v.AddUpdate("Till", 1, "all", 9, 0.5); }, "9|0.5|all"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Exec("DELETE FROM SysValues");
        Exec("INSERT INTO SysValues VALUES ('Till', 1, 7, 1.5, 'kept')");
        CSysValue value;
        ASSERT_EQ(c.write(value), 1);
        EXPECT_EQ(Rows("SELECT iValue, fValue, sValue FROM SysValues"),
                  std::vector<std::string>{c.row});
    }
    // A new value takes what the object holds.
    ASSERT_EQ(CSysValue().AddUpdate("Rate", 0, 2.5), 1);
    EXPECT_EQ(Scalar("SELECT iValue, fValue, sValue FROM SysValues WHERE FieldName='Rate'"),
              "0|2.5|");
    // An object that read another value carries that value's other fields.
    Exec("INSERT INTO SysValues VALUES ('Colour', 3, 255, 0.75, 'red')");
    CSysValue used;
    ASSERT_EQ(used.Equ("Colour", 3), 1);
    ASSERT_EQ(used.AddUpdate("Colour", 4, 128), 1);
    EXPECT_EQ(Scalar("SELECT iValue, fValue, sValue FROM SysValues WHERE FieldIndex=4"),
              "128|0.75|red");
    EXPECT_EQ(used.m_fieldName + "|" + std::to_string(used.m_fieldIndex), "Colour|4");
    // Indexes of one name are independent, and names may hold quotes.
    CSysValue quoted;
    ASSERT_EQ(quoted.AddUpdate("O'Brien's", 1, "first"), 1);
    ASSERT_EQ(quoted.AddUpdate("O'Brien's", 2, "second"), 1);
    ASSERT_EQ(quoted.AddUpdate("O'Brien's", 1, 10), 1);
    ASSERT_EQ(used.Equ("O'Brien's", 2), 1);
    EXPECT_EQ(used.m_sValue + "|" + std::to_string(used.m_iValue), "second|0");
    ASSERT_EQ(used.Equ("O'Brien's", 1), 1);
    EXPECT_EQ(used.m_sValue + "|" + std::to_string(used.m_iValue), "first|10");
    EXPECT_EQ(used.Equ("x' OR '1'='1", 1), 0);
    EXPECT_EQ(used.Equ(nullptr, 1), 0);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM SysValues WHERE FieldName LIKE 'O%'"), "2");
}

TEST_P(SysValueTest, TheExportsAddAndGetThroughSlots) {
    EXPECT_EQ(SysValueAdd(0, "Paid out", 2, "Window cleaner", 12, 3.5), 0);
    EXPECT_EQ(SysValueAdd(3, "Paid out", 2, "Milk", 13, 4.5), 0) << "an update";
    EXPECT_EQ(Scalar("SELECT sValue FROM SysValues"), "Milk");
    char buffer[160];
    std::memset(buffer, 'x', sizeof buffer);
    char* text = buffer;
    int i = 0;
    double f = 0;
    ASSERT_EQ(SysValueGet(1, "Paid out", 2, &text, &i, &f), 0);
    EXPECT_EQ(xr::Format("%s|%d|%g", buffer, i, f), "Milk|13|4.5");
    // Outputs left null (or a null buffer) receive nothing.
    EXPECT_EQ(SysValueGet(1, "Paid out", 2, nullptr, nullptr, nullptr), 0);
    char* noBuffer = nullptr;
    EXPECT_EQ(SysValueGet(1, "Paid out", 2, &noBuffer, nullptr, nullptr), 0);
    // A missing value leaves the outputs alone.
    std::strcpy(buffer, "unchanged");
    i = -1;
    EXPECT_EQ(SysValueGet(1, "Paid out", 3, &text, &i, &f), 1);
    EXPECT_EQ(SysValueGet(1, "Paid out", 3, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(xr::Format("%s|%d", buffer, i), "unchanged|-1");
    // Slots outside 0 to 3 fail without touching anything.
    EXPECT_EQ(SysValueAdd(4, "x", 0, "", 0, 0), 1);
    EXPECT_EQ(SysValueGet(-1, "Paid out", 2, &text, &i, &f), 1);
    for (int slot : {9, 2, 1}) EXPECT_EQ(SysValueClose(slot), 0) << slot;  // 2: an empty slot
    EXPECT_EQ(SysValueGet(1, "Paid out", 2, nullptr, &i, nullptr), 0) << "made anew";
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(CfgSysTest);
XRTEST_ON_EVERY_ENGINE(CfgTillTest);
XRTEST_ON_EVERY_ENGINE(SysValueTest);
