// The configuration families: a till's configuration loaded and saved by
// till number, the system's single row loaded and saved whole.

#include "flat_fixture.h"

namespace xrtest {
namespace {

// CfgTills and CfgSys are empty on the server the set-up pass leaves.
class CfgTest : public FlatTest {};

TEST_P(CfgTest, TillConfigurationIsSavedAndLoadedByTillNumberThroughGoodSlots) {
    cfgtill_def d = Pattern<cfgtill_def>(0x5A);
    const cfgtill_def untouched = d;
    EXPECT_EQ(CfgTillLoad(0, 4, &d), 32);
    EXPECT_TRUE(SameBytes(d, untouched));

    // The columns themselves are the record class's (records CfgTillTest).
    cfgtill_def till{.TillNo = 4, .Name = "Bar till"};
    till.QtyMax = 99;  // a field far along the structure
    ASSERT_EQ(CfgTillSave(1, &till), 0);

    cfgtill_def a = Pattern<cfgtill_def>(0x11), b = Pattern<cfgtill_def>(0xEE);
    ASSERT_EQ(CfgTillLoad(2, 4, &a), 0);
    ASSERT_EQ(CfgTillLoad(3, 4, &b), 0);
    EXPECT_TRUE(SameBytes(a, b)) << "every byte comes from the slot object";
    EXPECT_EQ(xr::Format("%s|%d", a.Name, +a.QtyMax), "Bar till|99");
    EXPECT_EQ(CfgTillSave(4, &till), 33);
    EXPECT_EQ(CfgTillSave(0, nullptr), 33);
    EXPECT_EQ(CfgTillLoad(-1, 4, &d), 32);
    EXPECT_EQ(CfgTillLoad(0, 4, nullptr), 32);
    for (int slot : {0, 0, 9}) EXPECT_EQ(CfgTillClose(slot), 0) << slot;
}

TEST_P(CfgTest, SystemConfigurationIsAddedThenRewritten) {
    cfgsys_def d = Pattern<cfgsys_def>(0x5A);
    const cfgsys_def untouched = d;
    EXPECT_EQ(CfgSysLoad(0, &d), 32) << "an empty CfgSys";
    EXPECT_TRUE(SameBytes(d, untouched));

    cfgsys_def sys{.Name = {"The Crown"}, .Numb = 1, .Vatv = {20.0f}, .Tills = 6};
    ASSERT_EQ(CfgSysSave(1, &sys), 0);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM CfgSys"), "1");

    cfgsys_def a = Pattern<cfgsys_def>(0x11), b = Pattern<cfgsys_def>(0xEE);
    ASSERT_EQ(CfgSysLoad(2, &a), 0);
    ASSERT_EQ(CfgSysLoad(3, &b), 0);
    EXPECT_TRUE(SameBytes(a, b));
    EXPECT_EQ(xr::Format("%s|%d|%g", a.Name[0], +a.Tills, +a.Vatv[0]), "The Crown|6|20");

    a.Tills = 8;
    ASSERT_EQ(CfgSysSave(2, &a), 0);
    EXPECT_EQ(Scalar("SELECT COUNT(*), MIN(Tills) FROM CfgSys"), "1|8");
    EXPECT_EQ(CfgSysSave(0, nullptr), 33);
    EXPECT_EQ(CfgSysLoad(5, &a), 32);
    EXPECT_EQ(CfgSysClose(1), 0);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(CfgTest);

}  // namespace xrtest
