// CProduct: the product row through prod_def, the description rule, the ten
// price bands, V$-only writes, and the filters of the imports.
#include <cstring>

#include "records_fixture.h"

namespace {

using xrtest::RecordsTest;

// A subclass that reaches the "supp" import filter.
class CProductOpen : public CProduct {
public:
    using CProduct::xsupp;
};

class ProductTest : public RecordsTest {
protected:
    ProductTest() : RecordsTest({"Products"}) {}

    // A product with every mapped column away from its default.
    static void InsertFull(uint64_t plu, const std::string& description) {
        Exec(xr::Format(
            "INSERT INTO Products (PLU, Description, Price1, Price2, Price10, Dept, VAT, ProdType, "
            "ProdCat, ListMenu, ListQual, ListExtra, Dsp2, Dsp9, DspPriority, Discount, "
            "DiscountStaff, PriceType, MMOffer, MMBucket, [FreeText], V$SoldOut, V$StkDone, "
            "V$StkDirty, V$StockID, V$ATpos) VALUES (%llu, '%s', 1.25, 2.5, 99.99, 12, 'C', -3, "
            "7, 100, 200, 300, 1, 1, 4, 5, 1, 3, -9, 'B', 1, 1, 0, 1, -12, 123456)",
            static_cast<unsigned long long>(plu), xr::QuoteSql(description).c_str()));
    }

    static std::string Column(uint64_t plu, const char* column) {
        return Scalar(xr::Format("SELECT %s FROM Products WHERE PLU=%llu", column,
                                 static_cast<unsigned long long>(plu)));
    }
};

constexpr uint64_t kBigPlu = 9876543210123ull;  // beyond 32 bits

TEST_P(ProductTest, ReadsEveryMappedColumnAndAFullStructureRoundTripsThroughANewRow) {
    InsertFull(kBigPlu, "Pale ale, half pint, draught");
    CProduct p;
    ASSERT_EQ(p.Equ(kBigPlu), 1);
    const prod_def want{.Description = "Pale ale, half pi",
                        .PLU = kBigPlu,
                        .Dept = 12,
                        .VAT = 2,
                        .ProdType = -3,
                        .ProdCat = 7,
                        .ListMenu = 100,
                        .ListQual = 200,
                        .ListExtra = 300,
                        .DspFlags = (1 << 2) | (1 << 9),
                        .Discount = 5,
                        .DspPriority = 4,
                        .PriceType = 3,
                        .MMOffer = -9,
                        .MMBucket = 'B',
                        .Flags = PROD_FREETEXT | PROD_SOLDOUT | PROD_DISCOUNTSTAFF | PROD_STKDIRTY,
                        .VATpos = 123456,
                        .VStockID = -12};
    EXPECT_EQ(xrtest::ByteDiff(p.m_def, want), "");
    EXPECT_EQ(p.GetDescription(), "Pale ale, half pint, draught");
    EXPECT_EQ(xr::Format("%d %d %d %d", p.getPrice(0), p.getPrice(1), p.getPrice(2), p.getPrice(9)),
              "125 250 0 9999");
    EXPECT_EQ(xrtest::TableErrors("Products"), 0u);
    // A missing product leaves the structure and the description.
    const prod_def before = p.m_def;
    EXPECT_EQ(p.Equ(0), 0);
    EXPECT_EQ(xrtest::ByteDiff(p.m_def, before), "");
    EXPECT_EQ(p.GetDescription(), "Pale ale, half pint, draught");
    // Display bits that map nothing are kept.
    CProduct q;
    q.m_def.DspFlags = 0xFC01;  // bits 0 and 10-15 map nothing
    ASSERT_EQ(q.Equ(kBigPlu), 1);
    EXPECT_EQ(+q.m_def.DspFlags, 0xFC01 | (1 << 2) | (1 << 9));

    prod_def def{.Description = "Cola",
                 .PLU = kBigPlu + 1,
                 .Dept = 3,
                 .VAT = 1,
                 .ProdType = 2,
                 .ProdCat = -1,
                 .ListMenu = 9,
                 .DspFlags = 0x03FE,
                 .Discount = 1,
                 .DspPriority = 2,
                 .PriceType = 1,
                 .MMOffer = 4,
                 .MMBucket = 'Z',
                 .Flags = PROD_FREETEXT | PROD_STKDONE,
                 .VATpos = -5,
                 .VStockID = 77};
    ASSERT_EQ(CProduct().AddUpdate(def, 0), 1);
    EXPECT_EQ(Column(kBigPlu + 1, "Description, VAT, Dsp9, V$StkDone, V$SoldOut, MMBucket"),
              "Cola|B|-1|-1|0|Z");
    CProduct r;
    ASSERT_EQ(r.Equ(kBigPlu + 1), 1);
    EXPECT_EQ(xrtest::ByteDiff(r.m_def, def), "");
}

TEST_P(ProductTest, TheDescriptionRule) {
    const std::string long40 = "Fortycharacters of a product description";
    ASSERT_EQ(long40.size(), 40u);
    InsertFull(1, long40);
    CProduct p;
    ASSERT_EQ(p.Equ(1), 1);
    prod_def def = p.m_def;
    EXPECT_EQ(std::strlen(def.Description), 17u);
    // The structure holds 17 characters, yet the stored 40 survive.
    ASSERT_EQ(p.AddUpdate(def, 0), 1);
    EXPECT_EQ(Column(1, "Description"), long40);
    // Changing the 18-byte field alone does not change a described product...
    std::strcpy(def.Description, "Short");
    ASSERT_EQ(p.AddUpdate(def, 0), 1);
    EXPECT_EQ(Column(1, "Description"), long40);
    // ...SetDescription does.
    p.SetDescription("Renamed");
    ASSERT_EQ(p.UpdateCurrent(def, 0), 1);
    EXPECT_EQ(Column(1, "Description"), "Renamed");
    // A fresh object has no description string: the field is written.
    prod_def other{.Description = "From the field", .PLU = 2};
    ASSERT_EQ(CProduct().AddUpdate(other, 0), 1);
    EXPECT_EQ(Column(2, "Description"), "From the field");
}

TEST_P(ProductTest, PriceBandsLiveOutsideTheStructure) {
    InsertFull(5, "Wine");
    CProduct p;
    for (int band : {10, -1}) EXPECT_EQ(p.getPrice(band), 0) << band;
    ASSERT_EQ(p.Equ(5), 1);
    for (int band : {10, -1}) p.setPrice(band, 111);  // ignored
    for (int band = 0; band < 10; ++band) p.setPrice(band, 100 * (band + 1) + 1);
    prod_def def = p.m_def;
    def.Price[0] = 4242;  // the legacy places are never read or written
    ASSERT_EQ(p.UpdateCurrent(def, 0), 1);
    EXPECT_EQ(Column(5,
                     "Price1, Price2, Price3, Price4, Price5, Price6, Price7, Price8, Price9, "
                     "Price10"),
              "1.01|2.01|3.01|4.01|5.01|6.01|7.01|8.01|9.01|10.01");
    CProduct q;
    q.m_def.Price[0] = 17;
    ASSERT_EQ(q.Equ(5), 1);
    EXPECT_EQ(xr::Format("%d|%d", +q.m_def.Price[0], q.getPrice(9)), "17|1001");
}

TEST_P(ProductTest, AVOnlyWriteChangesTheTillColumnsAloneOfAnExistingProduct) {
    InsertFull(7, "Crisps");
    const std::string before = Scalar("SELECT * FROM Products WHERE PLU=7");
    CProduct p;
    // Sold out, staff discount, free text and stock dirty off.
    prod_def def{.Description = "Changed",
                 .PLU = 7,
                 .Dept = 99,
                 .VAT = 3,
                 .Flags = PROD_STKDONE,
                 .VATpos = 6,
                 .VStockID = 5};
    p.SetDescription("Changed too");
    p.setPrice(0, 1);
    ASSERT_EQ(p.AddUpdate(def, 1), 1);
    CProduct q;
    ASSERT_EQ(q.Equ(7), 1);
    EXPECT_EQ(+q.m_def.Flags, PROD_FREETEXT | PROD_DISCOUNTSTAFF | PROD_STKDONE);
    EXPECT_EQ(+q.m_def.VStockID, 5);
    EXPECT_EQ(+q.m_def.VATpos, 6);
    // Every other column as it was: with the till columns put back, the whole row is.
    Exec(
        "UPDATE Products SET V$SoldOut=1, V$StkDone=0, V$StkDirty=1, V$StockID=-12, "
        "V$ATpos=123456 WHERE PLU=7");
    EXPECT_EQ(Scalar("SELECT * FROM Products WHERE PLU=7"), before);
    // A new product is written whole even when V-only is asked.
    prod_def nuts{.Description = "Nuts", .PLU = 8, .Dept = 6, .Flags = PROD_SOLDOUT};
    ASSERT_EQ(CProduct().AddUpdate(nuts, 1), 1);
    EXPECT_EQ(Column(8, "Description, Dept, V$SoldOut"), "Nuts|6|-1");
}

TEST_P(ProductTest, WalkingTheTableInKeyOrder) {
    for (uint64_t plu : {30u, 10u, 20u})
        InsertFull(plu, xr::Format("P%llu", (unsigned long long)plu));
    CProduct p;
    std::string seen;
    for (int ok = p.MoveFirst(); ok; ok = p.MoveNext())
        seen +=
            xr::Format("%llu:%s ", (unsigned long long)+p.m_def.PLU, p.GetDescription().c_str());
    EXPECT_EQ(seen, "10:P10 20:P20 30:P30 ");
    // Copies share the cursor and carry the extra members.
    ASSERT_EQ(p.MoveFirst(), 1);
    CProduct copy(p);
    EXPECT_EQ(copy.GetDescription() + "|" + std::to_string(copy.getPrice(9)), "P10|9999");
    ASSERT_EQ(copy.MoveNext(), 1);
    ASSERT_EQ(p.MoveNext(), 1);
    EXPECT_EQ(+p.m_def.PLU, 30u);
    CProduct assigned;
    assigned = copy;
    EXPECT_EQ(std::to_string(+assigned.m_def.PLU) + "|" + assigned.GetDescription(), "20|P20");
}

TEST(ProductSuppTest, TheSuppFilterSetsTheSoldOutFlags) {
    CProductOpen p;
    const std::tuple<const char*, uint16_t, int, uint16_t> supps[] = {
        {"1=1", 0x0001, 1, 0x0003}, {"1=0", 0x0003, 1, 0x0001}, {"1=3", 0, 1, PROD_SOLDOUT},
        {"2=1", 0, 0, 0},           {"1:1", 0, 0, 0},           {"", 0, 0, 0},
        {nullptr, 0, 0, 0},
    };
    for (const auto& [text, flagsBefore, result, flagsAfter] : supps) {
        prod_def def{};
        def.Flags = flagsBefore;
        EXPECT_EQ(p.xsupp(def, text), result) << (text ? text : "null");
        EXPECT_EQ(+def.Flags, flagsAfter) << (text ? text : "null");
    }
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(ProductTest);
