// What is special to the payment, staff, device and floor families: payment
// texts, macros, a till's printers, a screen's presets, a plan's entries,
// tables from a number on, and deleting by key.
#include <cstdio>
#include <string>
#include <vector>

#include "flat_fixture.h"

namespace xrtest {
namespace {

class PaymentTest : public FlatTest {};

TEST_P(PaymentTest, PaymentTextsNeedTheMethodAndFitTheCallersBuffer) {
    ASSERT_EQ(PymDeleteAll(), 0);
    EXPECT_EQ(PymTextAdd(3, "Card payment"), 73) << "no payment method 3";
    paymeth_def d{.PymNo = 3, .Name = "Card"};
    ASSERT_EQ(PymAdd(0, &d), 0);
    ASSERT_EQ(PymTextAdd(3, "Card payment"), 0);

    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(PymTextGet(3, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "Card payment");
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(PymTextGet(3, buffer, 5), 0);
    EXPECT_STREQ(buffer, "Card");
    EXPECT_EQ(buffer[5], 'x') << "nothing past the given size";
    ASSERT_EQ(PymTextGet(3, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(PymTextGet(4, buffer, sizeof buffer), 74);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(PymTextGet(3, buffer, 0), 74);
    EXPECT_EQ(PymTextGet(3, nullptr, 8), 74);
    EXPECT_EQ(PymTextAdd(3, nullptr), 73);
}

TEST_P(PaymentTest, MacrosAreStoredAndCutToTheBuffer) {
    ASSERT_EQ(MacDeleteAll(), 0);
    ASSERT_EQ(MacAdd(0, 12, "ABCDEFG"), 0);
    char buffer[16];
    std::memset(buffer, 'x', sizeof buffer);
    ASSERT_EQ(MacEqu(1, 12, buffer, 5), 0);
    EXPECT_STREQ(buffer, "ABCD");
    ASSERT_EQ(MacEqu(1, 12, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "ABCDEFG");
    ASSERT_EQ(MacAdd(1, 12, "Changed"), 0);
    ASSERT_EQ(MacEqu(2, 12, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "Changed");

    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(MacEqu(1, 13, buffer, sizeof buffer), 22);
    EXPECT_EQ(buffer[0], 'x') << "the buffer is untouched";
    EXPECT_EQ(MacEqu(1, 12, buffer, 0), 22);
    EXPECT_EQ(MacEqu(1, 12, nullptr, 4), 22);
    EXPECT_EQ(MacEqu(4, 12, buffer, 4), 22);
    EXPECT_EQ(MacAdd(0, 14, nullptr), 30);
    EXPECT_EQ(MacAdd(-1, 14, "x"), 30);
    ASSERT_EQ(MacDeleteAll(), 0);
    EXPECT_EQ(MacEqu(1, 12, buffer, sizeof buffer), 22);
    EXPECT_EQ(MacClose(1), 0);
}

// The printers of `till` (0: of every till) as "till:name", walked on `slot`.
std::vector<std::string> Printers(int slot, int till) {
    cfgprt_def d{.TillNo = till};
    std::vector<std::string> seen;
    for (int rc = PrtFirst(slot, &d); rc == 0; rc = PrtNext(slot, &d))
        seen.push_back(std::to_string(d.TillNo) + ":" + d.Name);
    return seen;
}

TEST_P(PaymentTest, ATillWalksFindsAndDeletesItsOwnPrinters) {
    ASSERT_EQ(PrtDeleteAll(), 0);
    for (auto [till, name] : std::vector<std::pair<int, const char*>>{
             {3, "Kitchen"}, {1, "Bar"}, {3, "Bar"}, {2, "Receipt"}, {3, "O'Neill"}}) {
        cfgprt_def d{.TillNo = till};
        std::snprintf(d.Name, sizeof d.Name, "%s", name);
        ASSERT_EQ(PrtAdd(0, &d), 0) << name;
    }
    EXPECT_EQ(Printers(1, 3), (std::vector<std::string>{"3:Bar", "3:Kitchen", "3:O'Neill"}));
    EXPECT_EQ(Printers(1, 0),
              (std::vector<std::string>{"1:Bar", "2:Receipt", "3:Bar", "3:Kitchen", "3:O'Neill"}));
    EXPECT_EQ(Printers(2, 9), std::vector<std::string>{});
    // Equ needs till and name, and takes quotes.
    cfgprt_def d{.TillNo = 3, .Name = "O'Neill"};
    EXPECT_EQ(PrtEqu(0, &d), 0);
    d.TillNo = 1;
    EXPECT_EQ(PrtEqu(0, &d), 22);
    std::memset(d.Name, 'K', sizeof d.Name);  // no terminator
    d.TillNo = 3;
    EXPECT_EQ(PrtEqu(0, &d), 22);

    EXPECT_EQ(PrtDeleteTill(3), 0);
    EXPECT_EQ(Printers(0, 0), (std::vector<std::string>{"1:Bar", "2:Receipt"}));
    EXPECT_EQ(PrtDeleteTill(3), 0) << "nothing left to delete is no failure";
    Exec("DROP TABLE Printers");
    EXPECT_EQ(PrtDeleteTill(1), 80);
    EXPECT_EQ(PrtDeleteAll(), 80);
    EXPECT_EQ(PrtFirst(0, &d), 40) << "a failed query";
}

TEST_P(PaymentTest, DeleteScrnTakesThatScreensPresetsOnly) {
    Exec(
        "INSERT INTO Presets (ScrnNo, PresetNo, PLU) VALUES (1, 1, 101), (1, 2, 102), "
        "(2, 1, 201), (2, 2, 202)");
    ASSERT_EQ(PresetDeleteScrn(1), 0);
    preset2_def d{};
    std::vector<uint64_t> seen;
    for (int rc = PresetFirst(1, &d); rc == 0; rc = PresetNext(1, &d)) seen.push_back(+d.PLU);
    EXPECT_EQ(seen, (std::vector<uint64_t>{201, 202}));
}

// The entries of `plan` (0: of every plan) as "plan.entry", walked on `slot`.
std::vector<std::string> Entries(int slot, int plan) {
    schedule_def d{.PlanNo = plan};
    std::vector<std::string> seen;
    for (int rc = TPlanFirst(slot, &d); rc == 0; rc = TPlanNext(slot, &d))
        seen.push_back(std::to_string(d.PlanNo) + "." + std::to_string(d.EntryNo));
    return seen;
}

TEST_P(PaymentTest, APlanNumberWalksCountsAndDeletesThatPlansEntriesOnly) {
    ASSERT_EQ(TPlanDeleteAll(), 0);
    Exec("DELETE FROM TimePlans");
    for (auto [plan, entry] : std::vector<std::pair<int, int>>{{2, 2}, {1, 1}, {2, 1}, {3, 1}}) {
        schedule_def d{.PlanNo = plan, .EntryNo = entry, .Start = 570, .End = 1035};
        ASSERT_EQ(TPlanAdd(0, &d), 0);
    }
    EXPECT_EQ(Entries(1, 2), (std::vector<std::string>{"2.1", "2.2"}));
    EXPECT_EQ(Entries(1, 0), (std::vector<std::string>{"1.1", "2.1", "2.2", "3.1"}));
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM TimePlans"), "3") << "one header per plan";
    schedule_def d{.PlanNo = 2, .EntryNo = 2};
    ASSERT_EQ(TPlanEqu(2, &d), 0);
    EXPECT_EQ(+d.Start, 570);
    EXPECT_EQ(+d.End, 1035);
    EXPECT_EQ(+d.Name, SCHEDULE_NAMED);
    // Count closes its slot.
    ASSERT_EQ(TPlanFirst(1, &d), 0);
    EXPECT_EQ(TPlanCount(1, 0), 4);
    EXPECT_EQ(TPlanNext(1, &d), 60) << "the slot was emptied";
    EXPECT_EQ(TPlanCount(1, 2), 2);
    EXPECT_EQ(TPlanCount(1, 7), 0);
    EXPECT_EQ(TPlanCount(4, 0), -1);
    ASSERT_EQ(TPlanDeletePlan(2), 0);
    EXPECT_EQ(Entries(0, 0), (std::vector<std::string>{"1.1", "3.1"}));
}

TEST_P(PaymentTest, TableGteFindsTheFirstTableFromANumberOn) {
    ASSERT_EQ(TableDeleteAll(), 0);
    for (int n : {9, 2, 5}) {
        table_def d{};
        d.TblNo = static_cast<uint16_t>(n);
        std::snprintf(d.Name, sizeof d.Name, "Table %d", n);
        ASSERT_EQ(TableAdd(0, &d), 0);
    }
    table_def d{.TblNo = 3};
    ASSERT_EQ(TableGte(1, &d), 0);
    EXPECT_EQ(+d.TblNo, 5);
    ASSERT_EQ(TableGte(1, &d), 0);
    EXPECT_EQ(+d.TblNo, 5) << "from a number on, that number included";
    ASSERT_EQ(TableNext(1, &d), 0);
    EXPECT_EQ(+d.TblNo, 9);
    d.TblNo = 10;
    const table_def before = d;
    EXPECT_EQ(TableGte(1, &d), 22);
    EXPECT_TRUE(SameBytes(d, before));
    EXPECT_EQ(TableGte(1, nullptr), 22);
    EXPECT_EQ(Scalar("SELECT Limit, CAST(LimitEnable AS INTEGER) FROM Tables WHERE TblNo=9"),
              "0|0");
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(PaymentTest);

}  // namespace xrtest
