// Two threads on different slots of one family: each walks on its own
// connection and sees its own rows, however the calls interleave.
#include <functional>
#include <thread>

#include "flat_fixture.h"

namespace xrtest {
namespace {

class FlatThreadsTest : public FlatTest {};

constexpr int kProducts = 200;
constexpr int kRounds = 5;

TEST_P(FlatThreadsTest, TwoThreadsWalkTheirOwnSlotsOfOneFamily) {
    Exec(
        xr::Format("DECLARE @i INT SET @i = 1 WHILE @i <= %d BEGIN INSERT INTO Products (PLU, "
                   "Description) VALUES (@i, 'Item ' + CAST(@i AS VARCHAR)) SET @i = @i + 1 END",
                   kProducts));

    // Slot 1 walks forwards, slot 2 backwards; each thread checks its order.
    auto walk = [](int slot, bool forwards, int& faults) {
        for (int round = 0; round < kRounds; ++round) {
            prod_def d{};
            uint64_t expect = forwards ? 1 : kProducts;
            int rc = forwards ? ProdFirst(slot, &d) : ProdLast(slot, &d);
            int seen = 0;
            while (rc == 0) {
                if (d.PLU != expect) ++faults;
                ++seen;
                expect = forwards ? expect + 1 : expect - 1;
                rc = forwards ? ProdNext(slot, &d) : ProdPrev(slot, &d);
            }
            if (seen != kProducts) ++faults;
        }
        ProdClose(slot);
        DBRemoveMyConnection();
    };
    int faultsA = 0, faultsB = 0;
    std::thread a(walk, 1, true, std::ref(faultsA));
    std::thread b(walk, 2, false, std::ref(faultsB));
    a.join();
    b.join();
    EXPECT_EQ(faultsA, 0);
    EXPECT_EQ(faultsB, 0);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(FlatThreadsTest);

}  // namespace xrtest
