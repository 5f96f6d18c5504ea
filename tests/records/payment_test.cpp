// Payment methods (names with their number marker, EFT and cashback, texts),
// the plain structure classes of staff and devices, printers by till and
// name, macros, preset servers, and time plans with their headers and names.
#include <cstring>

#include "records_fixture.h"

namespace {

using xrtest::RecordsTest;

class PaymentTest : public RecordsTest {
protected:
    PaymentTest() : RecordsTest({"PayMeths"}) {}
};

TEST_P(PaymentTest, NamesKeepTheirMarkerOutsideTheStructure) {
    Exec("INSERT INTO PayMeths (PymNo, Name) VALUES (1, 'Voucher ${N}')");
    Exec("INSERT INTO PayMeths (PymNo, Name) VALUES (2, '50% off ${N} of ${N}')");
    Exec("INSERT INTO PayMeths (PymNo, Name) VALUES (3, 'A name of thirty characters!!')");
    CPayMeth p;
    ASSERT_EQ(p.Equ(1), 1);
    EXPECT_EQ(p.m_fullName + "|" + p.m_def.Name, "Voucher ${N}|Voucher ");
    EXPECT_STREQ(p.GetName(3), "Voucher 3");
    EXPECT_STREQ(p.GetName(0), "Voucher ");
    ASSERT_EQ(p.Equ(2), 1);
    EXPECT_STREQ(p.GetName(12), "50% off 12 of 12");
    EXPECT_STREQ(p.m_def.Name, "50% off  of ");
    ASSERT_EQ(p.Equ(3), 1);
    EXPECT_STREQ(p.m_def.Name, "A name of thirty char");
    // Writing back stores the name the structure holds.
    ASSERT_EQ(p.Equ(1), 1);
    ASSERT_EQ(p.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT Name FROM PayMeths WHERE PymNo=1"), "Voucher ");
}

TEST_P(PaymentTest, EftAndCashbackAreOneTwoBitState) {
    const struct {
        int eft, cashback;
        uint16_t bits;
        const char* written;  // Eft, Cashback as stored afterwards
    } cases[] = {
        {0, 0, 0, "0|0"}, {1, 0, PYM_EFT, "1|0"}, {1, 1, PYM_EFTCASHBACK, "1|1"}, {0, 1, 0, "0|0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.eft << "," << c.cashback);
        Exec("DELETE FROM PayMeths");
        Exec(xr::Format("INSERT INTO PayMeths (PymNo, Eft, Cashback) VALUES (5, %d, %d)", c.eft,
                        c.cashback));
        CPayMeth p;
        p.m_def.Flags = PYM_EFT | PYM_EFTCASHBACK;  // cleared by the read
        ASSERT_EQ(p.Equ(5), 1);
        EXPECT_EQ(p.m_def.Flags & (PYM_EFT | PYM_EFTCASHBACK), c.bits);
        ASSERT_EQ(p.Update(0), 1);
        EXPECT_EQ(Scalar("SELECT CAST(ABS(CAST(Eft AS INTEGER)) AS VARCHAR) + '|' + "
                         "CAST(ABS(CAST(Cashback AS INTEGER)) AS VARCHAR) FROM PayMeths"),
                  c.written);
    }
}

TEST_P(PaymentTest, FlagsMoneyAndTextRoundTrip) {
    paymeth_def def{
        .PymNo = 7,
        .Name = "Card",
        .Floor = 1999,
        .Flags = 0x8001 | PYM_TENDER | PYM_DRAWER | PYM_EFTCASHBACK | PYM_RCTPRINT | PYM_CUSTNP};
    ASSERT_EQ(CPayMeth().AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT Floor FROM PayMeths"), "19.99");
    CPayMeth read;
    read.m_def.Flags = 0x8001;  // bit 0 and bits 12-15 map nothing: kept
    ASSERT_EQ(read.Equ(7), 1);
    EXPECT_EQ(std::memcmp(&read.m_def, &def, sizeof def), 0);

    std::string text;
    EXPECT_EQ(read.TextGet(8, text), 0);
    EXPECT_EQ(read.TextAdd(8, "none"), 0) << "no such payment method";
    const std::string longText = "Don't forget: " + std::string(400, '*');
    ASSERT_EQ(read.TextAdd(7, longText), 1);
    ASSERT_EQ(CPayMeth().TextGet(7, text), 1);
    EXPECT_EQ(text, longText);
    EXPECT_EQ(Scalar("SELECT Floor FROM PayMeths"), "19.99") << "the whole row was written back";
}

// Writes `def` through AddUpdate, reads it back by `key` with a fresh object
// and compares the whole structure.
template <typename Record, typename Def, typename... Key>
void ExpectRoundTrip(const Def& def, Key... key) {
    Record writer;
    Def given = def;
    ASSERT_EQ(writer.AddUpdate(given), 1);
    Record reader;
    ASSERT_EQ(reader.Equ(key...), 1);
    EXPECT_EQ(std::memcmp(&reader.m_def, &def, sizeof def), 0);
    // A second AddUpdate of the same key changes the row in place.
    ASSERT_EQ(writer.AddUpdate(given), 1);
    EXPECT_EQ(reader.Count(), 1);
}

TEST_P(PaymentTest, StructureClassesRoundTripAndServerSwitchesAreBitColumns) {
    xrtest::CreateSetupTables({"Forex", "Functions", "Servers", "Presets"});
    ExpectRoundTrip<CForex>(forex_def{.ForexNo = 2,
                                      .EntryNoDP = 1,
                                      .Description = "Euro notes",
                                      .Symbol = "EUR",
                                      .DP = 2,
                                      .toPound = 1.125},
                            2);
    ExpectRoundTrip<CFunction>(
        funcctrl2_def{
            .FuncNo = 30, .Name = "No sale", .Auth = 5, .Flags = FUNC_PASSWORD | FUNC_LOG},
        30);
    ExpectRoundTrip<CServer>(
        srvr_def{.SrvNo = 12, .Name = "Maria", .Auth = 3, .Password = 4321, .Drawer = 2}, 12);
    ExpectRoundTrip<CPreset>(preset2_def{.ScrnNo = 4, .PresetNo = 17, .PLU = 123456}, 4, 17);
    EXPECT_EQ(CPreset().Equ(17, 4), 0);

    Exec("INSERT INTO Servers (SrvNo, FlipView, TrainingMode) VALUES (1, 1, 1)");
    CServer s;
    ASSERT_EQ(s.Equ(1), 1);
    // A set bit reads as all ones, as the tills have always seen it, and
    // stays set when written back.
    EXPECT_EQ(xr::Format("%x|%d|%s", +s.m_def.FlipView, +s.m_def.TrainingMode, s.m_def.Name),
              "ffff|-1|ServerName");
    ASSERT_EQ(s.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Servers WHERE SrvNo = 1 AND (FlipView = 0 OR "
                     "TrainingMode = 0)"),
              "0");
}

TEST_P(PaymentTest, PrintersBelongToATill) {
    xrtest::CreateSetupTables({"Printers"});
    cfgprt_def def{
        .Active = 5, .TillNo = 3, .Port = "COM1", .Chan = -2, .Type = "EPSON", .Link = -1};
    std::memcpy(def.Name, "Bar's till", 10);  // all ten bytes, no terminator
    CPrinter p;
    ASSERT_EQ(p.AddUpdate(def), 1);
    def.TillNo = 4;
    ASSERT_EQ(p.AddUpdate(def), 1);
    Exec("INSERT INTO Printers (TillNo, Name) VALUES (3, 'KITCHEN')");

    CPrinter read;
    ASSERT_EQ(read.Equ(3, "Bar's till"), 1);
    // Any set Active reads as 1; the name keeps nine characters and the terminator.
    const cfgprt_def& d = read.m_def;
    EXPECT_EQ(xr::Format("%d|%d|%s|%s|%d|%d|%s", +d.TillNo, +d.Active, d.Name, d.Port, +d.Chan,
                         +d.Link, d.Type),
              "3|1|Bar's til|COM1|-2|-1|EPSON");
    ASSERT_EQ(read.Equ(3, "KITCHEN"), 1);
    EXPECT_EQ(xr::Format("%d|%s", +read.m_def.Active, read.m_def.Type), "0|--");
    EXPECT_EQ(read.Equ(5, "KITCHEN"), 0) << "till 5 has no such printer";
    EXPECT_EQ(read.Equ(3, "x' OR '1'='1"), 0);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Printers"), "3");
}

TEST_P(PaymentTest, MacrosAndPresetServersAddOrUpdateByKey) {
    xrtest::CreateSetupTables({"Macros", "PresetSrvrs"});
    Exec("INSERT INTO Macros VALUES (4, 'OLD', 'Happy hour')");
    CMacro m;
    ASSERT_EQ(m.AddUpdate(4, "PLU 12 * 2"), 1);
    ASSERT_EQ(m.AddUpdate(5, "it's new"), 1);
    CMacro read;
    ASSERT_EQ(read.Equ(4), 1);
    EXPECT_EQ(read.m_macText, "PLU 12 * 2");
    EXPECT_EQ(read.m_description, "Happy hour") << "kept";
    ASSERT_EQ(read.Equ(5), 1);
    EXPECT_EQ(read.m_macText, "it's new");
    EXPECT_EQ(read.Equ(6), 0);

    CPresetSrvr ps;
    ASSERT_EQ(ps.AddUpdate(1, 3, 40), 1);
    ASSERT_EQ(ps.AddUpdate(1, 3, 41), 1);
    ASSERT_EQ(ps.AddUpdate(2, 3, 42), 1);
    CPresetSrvr psRead;
    ASSERT_EQ(psRead.Equ(1, 3), 1);
    EXPECT_EQ(psRead.m_srvNo, 41);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM PresetSrvrs"), "2");
}

class TimePlanTest : public RecordsTest {
protected:
    TimePlanTest() : RecordsTest({"TimePlans", "TimePlanEntrys"}) {}
};

TEST_P(TimePlanTest, TimesAreMinutesAfterMidnightAndAddingAnEntryMakesItsPlanAHeader) {
    Exec(
        "INSERT INTO TimePlanEntrys (PlanNo, EntryNo, Active, Name, Type, Monday, Friday, "
        "StartHours, StartMins, EndHours, EndMins, EndPeriod, IPam1, IPam2, SPam1) VALUES "
        "(2, 1, 1, 'Lunch', 3, 1, 1, 9, 30, 17, 15, 10, 11, 22, 'x')");
    CTimePlan t;
    t.m_def.TypeFlags = 0x100;  // other bits are kept
    t.m_def.Days = 0x80;        // the mask starts from nothing
    ASSERT_EQ(t.Equ(2, 1), 1);
    EXPECT_EQ(xr::Format("%d|%d|%d|%x|%x|%d|%d", +t.m_def.Start, +t.m_def.End, +t.m_def.EndLimit,
                         +t.m_def.Days, +t.m_def.TypeFlags, +t.m_def.IPam2, +t.m_def.Active),
              xr::Format("570|1035|1025|%x|101|22|-1", SCHED_MONDAY | SCHED_FRIDAY));
    EXPECT_EQ(+t.m_def.Name, SCHEDULE_NAMED);
    EXPECT_EQ(t.m_pName, t.m_entryName);
    EXPECT_STREQ(t.GetName(), "Lunch");

    ASSERT_EQ(t.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT StartHours, StartMins, EndHours, EndMins, EndPeriod, SPam1, Name, "
                     "Type FROM TimePlanEntrys"),
              "9|30|17|15|5||Lunch|1");

    // An end within the closing margin of midnight gives a limit of 0.
    Exec("UPDATE TimePlanEntrys SET EndHours=0, EndMins=3, EndPeriod=5");
    ASSERT_EQ(t.Equ(2, 1), 1);
    EXPECT_EQ(+t.m_def.EndLimit, 0);
    // Hours far out of range give a nonsense time, not an overflow.
    Exec("UPDATE TimePlanEntrys SET StartHours=2000000000, EndHours=-2000000000, EndPeriod=-5");
    ASSERT_EQ(t.Equ(2, 1), 1);
    EXPECT_GE(+t.m_def.EndLimit, 0);

    // Adding an entry makes its plan a header.
    Exec("INSERT INTO TimePlans VALUES (8, 'Weekend')");
    schedule_def def{.PlanNo = 7,
                     .EntryNo = 1,
                     .Days = SCHED_SATURDAY | SCHED_SUNDAY,
                     .Start = 600,
                     .End = 1439};
    ASSERT_EQ(t.AddUpdate(def), 1);
    def.PlanNo = 8;
    ASSERT_EQ(t.AddUpdate(def), 1);
    EXPECT_EQ(Rows("SELECT PlanNo, Name FROM TimePlans ORDER BY PlanNo"),
              (std::vector<std::string>{"7|Auto entry for 7", "8|Weekend"}));
    EXPECT_EQ(CTimePlanHdr().Count(), 2);
    CTimePlan read;
    ASSERT_EQ(read.Equ(7, 1), 1);
    EXPECT_EQ(+read.m_def.Days, SCHED_SATURDAY | SCHED_SUNDAY);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM TimePlanEntrys WHERE PlanNo > 2"), "2");
}

TEST_P(TimePlanTest, TheNameComesFromThePointerOrIsDefault) {
    Exec("INSERT INTO TimePlanEntrys (PlanNo, EntryNo, Name) VALUES (1, 1, ''), (1, 2, 'Evening')");
    auto storedName = [](int entry) {
        return Scalar(xr::Format("SELECT Name FROM TimePlanEntrys WHERE EntryNo=%d", entry));
    };
    CTimePlan t;
    ASSERT_EQ(t.Equ(1, 1), 1);
    ASSERT_EQ(t.Update(0), 1);
    EXPECT_EQ(storedName(1), "") << "the pointer designates the empty stored name";
    t.m_def.Name = 0;
    ASSERT_EQ(t.Update(0), 1);
    EXPECT_EQ(storedName(1), "default");

    // A structure from an earlier read keeps each entry's stored name.
    ASSERT_EQ(t.Equ(1, 2), 1);
    schedule_def def = t.m_def;
    def.EntryNo = 3;
    ASSERT_EQ(t.AddUpdate(def), 1);
    EXPECT_EQ(storedName(3), "") << "a new entry: the name the new row starts with";
    def.EntryNo = 2;
    def.IPam1 = 99;
    ASSERT_EQ(t.AddUpdate(def), 1);
    EXPECT_EQ(storedName(2), "Evening");
    // A name of the caller's own, and none at all.
    ASSERT_EQ(t.AddUpdate(def, "Late bar"), 1);
    EXPECT_EQ(storedName(2), "Late bar");
    t.m_pName = "Brunch";
    ASSERT_EQ(t.AddUpdate(def), 1);
    EXPECT_EQ(storedName(2), "Brunch");
    def.Name = 0;
    ASSERT_EQ(t.AddUpdate(def), 1);
    EXPECT_EQ(storedName(2), "default");

    // A copy's pointer designates the copy's own name.
    ASSERT_EQ(t.Equ(1, 2), 1);
    CTimePlan copy(t);
    EXPECT_EQ(copy.m_pName, copy.m_entryName);
    EXPECT_STREQ(copy.GetName(), "default");
    CTimePlan assigned;
    assigned = t;
    EXPECT_EQ(assigned.m_pName, assigned.m_entryName);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(PaymentTest);
XRTEST_ON_EVERY_ENGINE(TimePlanTest);
