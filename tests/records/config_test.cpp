// CCfgTill and CCfgSys: the till and system configuration rows, the
// extended messages, the flag words, the whole "SysFlags" column and the
// copy of one till's configuration to another.
#include <cstring>

#include "records_fixture.h"

namespace {

using xrtest::RecordsTest;

class CfgTillTest : public RecordsTest {
protected:
    void SetUp() override {
        RecordsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        xrtest::CreateSetupTables({"CfgTills"});
    }
};

TEST_P(CfgTillTest, ANewTillReadsTheDefaultsAndRoundTrips) {
    Exec(
        "INSERT INTO CfgTills (TillNo, RMess1, RMess5, BMess2, prDsp9, ScrlText) VALUES (1, "
        "'Thank you', 'Come again', 'Your bill', 'BAR', 'Welcome to the bar - two for one "
        "today')");
    CCfgTill t;
    ASSERT_EQ(t.Equ(1), 1);
    const cfgtill_def& d = t.m_def;
    EXPECT_STREQ(d.Name, "Name");
    EXPECT_STREQ(d.RMess[0], "Thank you");
    EXPECT_STREQ(d.BMess[1], "Your bill");
    EXPECT_STREQ(d.PrDsp[8], "BAR");
    EXPECT_STREQ(d.ScrlText, "Welcome to the bar - two for one today");
    // Valid, ItmRct, StayDownVoid and ForexAllow default to 1.
    EXPECT_EQ(+d.Options, 0x0002 | 0x0040 | 0x0100 | 0x0400);

    cfgtill_def def = d;
    def.TillNo = 2;
    std::strcpy(def.Name, "Bar till");
    def.AuditFlags = 0x0FFF;
    def.Options = 0x0001 | 0x0200;
    def.QtyMax = 250;
    CCfgTill other;
    ASSERT_EQ(other.AddUpdate(def), 1);
    CCfgTill check;
    ASSERT_EQ(check.Equ(2), 1);
    EXPECT_EQ(std::memcmp(&check.m_def, &def, sizeof def), 0);
    EXPECT_EQ(Scalar("SELECT AuditTrn, LogitAll, ForexAllow FROM CfgTills WHERE TillNo=2"),
              "3|1|0");
    EXPECT_EQ(xrtest::TableErrors("CfgTills"), 0u);
}

TEST_P(CfgTillTest, MessagesOneToSix) {
    Exec(
        "INSERT INTO CfgTills (TillNo, RMess1, RMess2, RMess3, BMess6) VALUES (1, 'a', 'b', "
        "'c', 'sixth bill')");
    Exec("INSERT INTO CfgTills (TillNo, RMess6) VALUES (2, 'sixth receipt')");
    CCfgTill t;
    ASSERT_EQ(t.Equ(1), 1);
    EXPECT_STREQ(t.GetRctMess(0), "a");
    EXPECT_STREQ(t.GetRctMess(5), "");
    EXPECT_STREQ(t.GetRctMess(6), "");
    EXPECT_STREQ(t.GetRctMess(-1), "");
    EXPECT_EQ(t.IsExtendedRctMess(), 0) << "messages 1 to 3 only";
    EXPECT_STREQ(t.GetBillMess(5), "sixth bill");
    EXPECT_EQ(t.IsExtendedBillMess(), 1);
    ASSERT_EQ(t.Equ(2), 1);
    EXPECT_STREQ(t.GetRctMess(5), "sixth receipt");
    EXPECT_EQ(t.IsExtendedRctMess(), 1) << "only the sixth";
    EXPECT_EQ(t.IsExtendedBillMess(), 0);
}

TEST_P(CfgTillTest, SavingNeverTouchesTheSixthMessages) {
    Exec("INSERT INTO CfgTills (TillNo, RMess6, BMess6) VALUES (1, 'keep r', 'keep b')");
    CCfgTill t;
    cfgtill_def def{};
    def.TillNo = 1;
    std::strcpy(def.Name, "Till one");
    std::strcpy(t.m_rctMess6, "overwrite?");
    ASSERT_EQ(t.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT Name, RMess6, BMess6 FROM CfgTills WHERE TillNo=1"),
              "Till one|keep r|keep b");
}

TEST_P(CfgTillTest, FlagWordsTakeTheirBitsAndKeepTheOthers) {
    Exec(
        "INSERT INTO CfgTills (TillNo, AuditTrn, LogitTrn, AuditItm, AuditFnc, AutoRect, "
        "Valid, ItmRct) VALUES (1, 3, 5, 2, 1, 1, 0, 0)");
    CCfgTill t;
    t.m_def.Options = 0xF880;  // bit 7 and bits 11-15 map nothing
    ASSERT_EQ(t.Equ(1), 1);
    EXPECT_EQ(+t.m_def.AuditFlags, 0x0003 | (1 << 2) | (2 << 4) | 0x0100);
    EXPECT_EQ(+t.m_def.Options, 0xF880 | 0x0001 | 0x0100 | 0x0400);
    ASSERT_EQ(t.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT AuditTrn FROM CfgTills"), "3");
    EXPECT_EQ(Scalar("SELECT LogitTrn FROM CfgTills"), "1") << "5 reads as 1";
    EXPECT_EQ(Scalar("SELECT AuditItm FROM CfgTills"), "2");
}

TEST_P(CfgTillTest, DrawersAreStoredAsASixteenBitSignedValue) {
    CCfgTill t;
    cfgtill_def def{};
    def.TillNo = 4;
    def.Drawers = 40000;
    def.KbNo = 40000;
    ASSERT_EQ(t.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT Drawers, KbNo FROM CfgTills WHERE TillNo=4"), "-25536|40000");
    ASSERT_EQ(t.Equ(4), 1);
    EXPECT_EQ(+t.m_def.Drawers, 40000);
}

TEST_P(CfgTillTest, CopyDuplicatesEveryColumnUnderTheNewTillNumber) {
    Exec(
        "INSERT INTO CfgTills (TillNo, Name, RMess6, SSTimer, BannerText, KPCopies3) VALUES "
        "(1, 'Front', 'sixth', 42, 'Happy hour', 3)");
    CCfgTill t;
    ASSERT_EQ(t.Copy(1, 2), 1);
    EXPECT_EQ(RowText("SELECT * FROM CfgTills WHERE TillNo=2"), [&] {
        std::string row = RowText("SELECT * FROM CfgTills WHERE TillNo=1");
        row.replace(0, std::strlen("TillNo=1"), "TillNo=2");
        return row;
    }());
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM CfgTills"), "2");
}

TEST_P(CfgTillTest, CopyOntoAnExistingTillOrFromAMissingOneFails) {
    Exec("INSERT INTO CfgTills (TillNo, Name) VALUES (1, 'One')");
    Exec("INSERT INTO CfgTills (TillNo, Name) VALUES (2, 'Two')");
    const std::string before = RowText("SELECT * FROM CfgTills ORDER BY TillNo");
    CCfgTill t;
    xrtest::ClearLog();
    EXPECT_EQ(t.Copy(1, 2), 0);
    EXPECT_EQ(xrtest::TableErrors("CfgTills"), 1u);
    EXPECT_EQ(RowText("SELECT * FROM CfgTills ORDER BY TillNo"), before);
    EXPECT_EQ(t.Copy(7, 8), 0);
    EXPECT_EQ(RowText("SELECT * FROM CfgTills ORDER BY TillNo"), before);
    // The object is still usable.
    ASSERT_EQ(t.Equ(2), 1);
    EXPECT_STREQ(t.m_def.Name, "Two");
}

class CfgSysTest : public RecordsTest {
protected:
    void SetUp() override {
        RecordsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        xrtest::CreateSetupTables({"CfgSys"});
    }
};

TEST_P(CfgSysTest, AddUpdateOnAnEmptyTableAddsTheRow) {
    CCfgSys s;
    EXPECT_EQ(s.Load(), 0);
    cfgsys_def def{};
    def.Numb = 1;
    std::strcpy(def.Name[0], "The Crown");
    std::strcpy(def.Name[4], "High Street");
    std::strcpy(def.Vatr, "ABC");
    def.Vatv[0] = 17.5f;
    def.Vatv[1] = 5.0f;
    def.Tills = 4;
    def.PluMax = 60000;
    def.Master = -1;
    def.DayCnt = 12;
    def.Loyalty = 2;
    ASSERT_EQ(s.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM CfgSys"), "1");
    EXPECT_EQ(Scalar("SELECT Vatv1, Name5 FROM CfgSys"), "17.5|High Street");
    CCfgSys check;
    ASSERT_EQ(check.Load(), 1);
    EXPECT_EQ(std::memcmp(&check.m_def, &def, sizeof def), 0);
    ASSERT_EQ(check.Equ(1), 1);
    EXPECT_EQ(check.Equ(2), 0);
}

TEST_P(CfgSysTest, TheUpperBitsOfSysFlagsSurvive) {
    Exec("INSERT INTO CfgSys (Numb, Vatr, SysFlags) VALUES (1, 'A', 65539)");  // 0x00010003
    CCfgSys s;
    ASSERT_EQ(s.Load(), 1);
    EXPECT_EQ(+s.m_def.SysFlags, 3);
    EXPECT_EQ(s.m_sysFlags, 0x00010003);
    cfgsys_def def = s.m_def;
    def.SysFlags = 0x00FF;
    def.Numb = 9;  // whatever the caller says, the row Load finds is rewritten
    ASSERT_EQ(s.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT SysFlags FROM CfgSys"), "65539");
    EXPECT_EQ(Scalar("SELECT Numb FROM CfgSys"), "9");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM CfgSys"), "1");
    // The copy constructor takes the whole column along; assignment does not.
    CCfgSys copy(s);
    EXPECT_EQ(copy.m_sysFlags, 0x00010003);
    CCfgSys assigned;
    assigned = s;
    EXPECT_EQ(assigned.m_sysFlags, 0);
    EXPECT_EQ(+assigned.m_def.Numb, 9);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(CfgSysTest);
XRTEST_ON_EVERY_ENGINE(CfgTillTest);
