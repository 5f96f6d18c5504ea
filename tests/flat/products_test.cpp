// What is special to the product families: Prod's counting, statements,
// backward walks, GT and updates in place; Prod2's browse by description;
// Barc's text keys.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "flat_fixture.h"

namespace xrtest {
namespace {

class ProdTest : public FlatTest {
protected:
    void SetUp() override {
        FlatTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_EQ(ProdDeleteAll(), 0);
    }

    static prod_def Product(uint64_t plu, const char* description = "Item") {
        prod_def d{};
        d.PLU = plu;
        // Cut to the field, as a terminal program fills it.
        size_t n = std::min(std::strlen(description), sizeof d.Description - 1);
        std::memcpy(d.Description, description, n);
        d.Description[n] = '\0';
        return d;
    }
    // Adds products 1001 .. 1000 + count.
    static void AddProducts(int count) {
        for (int i = 1; i <= count; ++i) {
            prod_def d = Product(1000 + i);
            ASSERT_EQ(ProdAdd(1, &d, 0), 0);
        }
    }
};

TEST_P(ProdTest, CountCmdBackwardWalksAndGT) {
    ASSERT_NO_FATAL_FAILURE(AddProducts(3));
    EXPECT_EQ(ProdCount(0), 3);
    EXPECT_EQ(ProdCount(-1), -1);
    prod_def d = Product(1);
    ASSERT_EQ(ProdCmd(2, "SELECT * FROM Products WHERE PLU > 1001 ORDER BY PLU"), 0);
    EXPECT_EQ(+d.PLU, 1u) << "Cmd copies nothing";
    ASSERT_EQ(ProdNext(2, &d), 0);
    EXPECT_EQ(+d.PLU, 1003u);
    EXPECT_EQ(ProdCmd(2, "SELECT * FROM NoSuchTable"), 10);
    EXPECT_EQ(ProdCmd(2, nullptr), 10);
    EXPECT_EQ(ProdCmd(7, "SELECT * FROM Products"), 10);

    EXPECT_EQ(ProdPrev(3, &d), 70) << "an empty slot has nothing to go back from";
    std::vector<uint64_t> seen;
    for (int rc = ProdLast(3, &d); rc == 0; rc = ProdPrev(3, &d)) seen.push_back(+d.PLU);
    EXPECT_EQ(seen, (std::vector<uint64_t>{1003, 1002, 1001}));

    d = Product(0);
    seen.clear();
    while (ProdGT(0, &d) == 0) seen.push_back(+d.PLU);
    EXPECT_EQ(seen, (std::vector<uint64_t>{1001, 1002, 1003}));
    EXPECT_EQ(+d.PLU, 1003u) << "a failed GT leaves the structure";
    EXPECT_EQ(ProdGT(0, nullptr), 102);

    ASSERT_EQ(ProdDeleteAll(), 0);
    const prod_def before = d;
    EXPECT_EQ(ProdLast(3, &d), 50);
    EXPECT_TRUE(SameBytes(d, before));
}

TEST_P(ProdTest, UpdWritesOverTheCurrentRowAndVOnlyWritesTheTillColumnsAlone) {
    ASSERT_NO_FATAL_FAILURE(AddProducts(3));
    prod_def d = Product(1002);
    EXPECT_EQ(ProdUpd(2, &d, 0), 30) << "an empty slot stands on no row";
    ASSERT_EQ(ProdEqu(2, &d), 0);
    d.Dept = 7;
    ASSERT_EQ(ProdUpd(2, &d, 0), 0);
    EXPECT_EQ(Scalar("SELECT Dept FROM Products WHERE PLU=1002"), "7");
    d.Dept = 9;
    d.Flags |= PROD_SOLDOUT;
    ASSERT_EQ(ProdUpd(2, &d, 1), 0);
    EXPECT_EQ(Scalar("SELECT Dept, CAST(V$SoldOut AS INTEGER) FROM Products WHERE PLU=1002"),
              "7|1");
    EXPECT_EQ(ProdUpd(2, nullptr, 0), 30);
    // Add with V-only changes an existing product's till columns alone.
    d = Product(1001, "Renamed");
    d.Dept = 12;
    d.VStockID = 44;
    ASSERT_EQ(ProdAdd(0, &d, 1), 0);
    EXPECT_EQ(Scalar("SELECT Description, V$StockID FROM Products WHERE PLU=1001"), "Item|44");
}

TEST_P(ProdTest, ReservedBytesAreTheSlotObjectsAndComeBackWhole) {
    ASSERT_NO_FATAL_FAILURE(AddProducts(1));
    prod_def given = Pattern<prod_def>(0x77);
    given.PLU = 1002;
    std::snprintf(given.Description, sizeof given.Description, "Patterned");
    given.VAT = 1;
    given.MMBucket = 'A';
    ASSERT_EQ(ProdAdd(2, &given, 0), 0);

    // The slot that wrote it holds the caller's reserved stretches ...
    prod_def d = Pattern<prod_def>(0x00);
    d.PLU = 1002;
    ASSERT_EQ(ProdEqu(2, &d), 0);
    EXPECT_EQ(std::memcmp(d.reserved1, given.reserved1, sizeof d.reserved1), 0);
    EXPECT_EQ(std::memcmp(d.reserved4, given.reserved4, sizeof d.reserved4), 0);
    EXPECT_EQ(std::memcmp(d.Price, given.Price, sizeof d.Price), 0) << "legacy prices are carried";
    // ... a fresh one has zeros there, whatever the caller's structure held.
    prod_def fresh = Pattern<prod_def>(0x33);
    fresh.PLU = 1002;
    ASSERT_EQ(ProdEqu(3, &fresh), 0);
    const uint8_t zeros[64] = {};
    EXPECT_EQ(std::memcmp(fresh.reserved0, zeros, sizeof fresh.reserved0), 0);
    EXPECT_EQ(std::memcmp(fresh.reserved1, zeros, sizeof fresh.reserved1), 0);
    EXPECT_EQ(std::memcmp(fresh.reserved2, zeros, sizeof fresh.reserved2), 0);
    EXPECT_EQ(std::memcmp(fresh.reserved3, zeros, sizeof fresh.reserved3), 0);
    EXPECT_EQ(std::memcmp(fresh.reserved4, zeros, sizeof fresh.reserved4), 0);
    EXPECT_STREQ(fresh.Description, "Patterned");
}

TEST_P(ProdTest, AWriteBackKeepsTheFullDescriptionAndThePrices) {
    const std::string longText = "Chocolate fudge cake with ice cream";
    ASSERT_NO_FATAL_FAILURE(Exec("INSERT INTO Products (PLU, Description, Price1) VALUES (5, '" +
                                 longText + "', 3.5)"));
    prod_def d = Product(5);
    ASSERT_EQ(ProdEqu(1, &d), 0);
    EXPECT_STREQ(d.Description, "Chocolate fudge c");
    d.Dept = 3;
    ASSERT_EQ(ProdAdd(1, &d, 0), 0);
    EXPECT_EQ(Scalar("SELECT Description FROM Products WHERE PLU=5"), longText);
    EXPECT_EQ(Scalar("SELECT CAST(Price1 * 100 AS INTEGER) FROM Products WHERE PLU=5"), "350");
    // A new product takes the new row's prices, not those the slot read last.
    prod_def other = Product(6, "Other");
    ASSERT_EQ(ProdAdd(1, &other, 0), 0);
    EXPECT_EQ(Scalar("SELECT CAST(Price1 * 100 AS INTEGER), Description FROM Products WHERE PLU=6"),
              "0|Other");
}

// Prod2 browses by description on an object of its own: the Prod slots stay
// where they were.
TEST_P(ProdTest, Prod2BrowsesByDescriptionBesideTheProdSlots) {
    Exec(
        "INSERT INTO Products (PLU, Description) VALUES (1, 'Cherry'), (2, ''), (3, 'Apple'), "
        "(4, 'Banana'), (10, 'Chocolate cake with cream'), (11, 'Chocolate gateau'), "
        "(12, 'Doughnut'), (20, 'O''Brien''s pie'), (21, 'Pasty'), (22, 'Nachos')");
    prod_def walk{};
    ASSERT_EQ(ProdFirst(0, &walk), 0);

    // Empty descriptions are skipped, and GT steps past a product whose
    // description is longer than the structure, not to the same one again.
    prod_def d = Product(0, "");
    std::vector<std::string> seen;
    int rc = Prod2First(&d);
    for (; rc == 0 && seen.size() < 20; rc = Prod2GT(&d)) seen.push_back(d.Description);
    EXPECT_EQ(rc, 102);
    EXPECT_EQ(seen, (std::vector<std::string>{"Apple", "Banana", "Cherry", "Chocolate cake wi",
                                              "Chocolate gateau", "Doughnut", "Nachos",
                                              "O'Brien's pie", "Pasty"}));
    EXPECT_STREQ(d.Description, "Pasty") << "the failed GT left the structure";
    d = Product(0, "Cherry");
    ASSERT_EQ(Prod2LT(&d), 0);
    EXPECT_EQ(+d.PLU, 4u);
    d = Product(1, "");
    ASSERT_EQ(Prod2EQ(&d), 0);
    EXPECT_STREQ(d.Description, "Cherry");
    d = Product(99, "");
    EXPECT_EQ(Prod2EQ(&d), 102);
    // All 18 bytes used, no terminator: the search reads no further.
    std::memset(d.Description, 'B', sizeof d.Description);
    ASSERT_EQ(Prod2GTE(&d), 0);
    EXPECT_EQ(+d.PLU, 1u);

    d = Product(0, "O'Brien's pie");
    ASSERT_EQ(Prod2GTE(&d), 0);
    EXPECT_EQ(+d.PLU, 20u);
    ASSERT_EQ(Prod2GT(&d), 0);
    EXPECT_EQ(+d.PLU, 21u);
    d = Product(0, "O'Brien's pie");
    ASSERT_EQ(Prod2LT(&d), 0);
    EXPECT_EQ(+d.PLU, 22u);
    d = Product(0, "'; DELETE FROM Products; --");
    EXPECT_EQ(Prod2GTE(&d), 0);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Products"), "10");

    EXPECT_EQ(Prod2First(nullptr), 102);
    EXPECT_EQ(Prod2Close(), 0);
    EXPECT_EQ(Prod2Close(), 0);
    ASSERT_EQ(ProdNext(0, &walk), 0);
    EXPECT_EQ(+walk.PLU, 2u);
}

class BarcTest : public FlatTest {};

TEST_P(BarcTest, TextKeysWalkBothWaysAndAreSafeWithQuotesOrWithoutTerminator) {
    ASSERT_EQ(BarcDeleteAll(), 0);
    for (const char* code : {"111", "12'34", "222"}) {
        barc_def d{.PLU = 5};
        std::snprintf(d.Barcode, sizeof d.Barcode, "%s", code);
        ASSERT_EQ(BarcAdd(0, &d), 0);
    }
    barc_def d{.Barcode = "12'34"};
    ASSERT_EQ(BarcEqu(1, &d), 0);
    EXPECT_EQ(+d.PLU, 5u);
    barc_def full{};
    std::memset(full.Barcode, '9', sizeof full.Barcode);  // 15 digits, no NUL
    EXPECT_EQ(BarcEqu(1, &full), 22);
    EXPECT_EQ(BarcCount(1), 3);
    std::vector<std::string> seen;
    for (int rc = BarcLast(1, &d); rc == 0; rc = BarcPrev(1, &d)) seen.push_back(d.Barcode);
    EXPECT_EQ(seen, (std::vector<std::string>{"222", "12'34", "111"}));
    EXPECT_EQ(BarcCmd(2, "SELEC nonsense"), 10);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(BarcTest);
XRTEST_ON_EVERY_ENGINE(ProdTest);

}  // namespace xrtest
