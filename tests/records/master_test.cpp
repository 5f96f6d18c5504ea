// The master data classes: what each family does beyond the plain mapping
// (quoted barcode keys, dates as digits, promotion values and analysis
// categories, package items, loyalty's till 0).
#include <cstring>

#include "records_fixture.h"

namespace {

using xrtest::RecordsTest;

class MasterTest : public RecordsTest {};

TEST_P(MasterTest, BarcodeKeysAreQuotedAndCut) {
    xrtest::CreateSetupTables({"Barcodes"});
    CBarc b;
    barc_def def{.Barcode = "O'Neill's", .PLU = 5000000001ull};
    ASSERT_EQ(b.AddUpdate(def), 1);
    CBarc found;
    ASSERT_EQ(found.Equ("O'Neill's"), 1);
    EXPECT_EQ(+found.m_def.PLU, 5000000001ull);
    // Text that tries to widen the query is only a barcode that is not there.
    EXPECT_EQ(found.Equ("x' OR '1'='1"), 0);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Barcodes"), "1");
    // A barcode that fills all 15 bytes is written whole and read back as 14.
    std::memcpy(def.Barcode, "123456789012345", 15);
    def.PLU = 7;
    ASSERT_EQ(b.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT PLU FROM Barcodes WHERE Barcode='123456789012345'"), "7");
    ASSERT_EQ(found.Equ("123456789012345"), 1);
    EXPECT_STREQ(found.m_def.Barcode, "12345678901234");
    // Updating by key changes the row in place.
    def.PLU = 8;
    ASSERT_EQ(b.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Barcodes"), "2");
}

TEST_P(MasterTest, DepartmentsGroupsModifiersAndMixAndMatchRoundTrip) {
    xrtest::CreateSetupTables({"Depts", "Groups", "PLUModifiers", "MixMatch"});
    // Flags: ValNeg, and a bit that maps nothing.
    dept_def dept{.DptNo = 5, .GrpNo = 2, .Tickets = 3, .Flags = 0x8002, .Name = "Spirits"};
    std::memset(dept.reserved1, 0x5A, sizeof dept.reserved1);
    CDept d;
    ASSERT_EQ(d.AddUpdate(dept), 1);
    EXPECT_EQ(Scalar("SELECT QtyDP, ValNeg FROM Depts"), "0|-1");
    CDept again;
    ASSERT_EQ(again.Equ(5), 1);
    EXPECT_EQ(
        xr::Format("%x|%s|%d", +again.m_def.Flags, again.m_def.Name, +again.m_def.reserved1[0]),
        "2|Spirits|0");
    EXPECT_EQ(again.Equ(6), 0);

    group_def group{.GrpNo = 2, .Name = "Drinks"};
    CGroup g;
    ASSERT_EQ(g.AddUpdate(group), 1);
    std::strcpy(group.Name, "Bar");
    ASSERT_EQ(g.AddUpdate(group), 1);
    EXPECT_EQ(Scalar("SELECT Name FROM Groups WHERE GrpNo=2"), "Bar");

    plumod2_def mod{.ModNo = 1, .Name = "Large", .Mult = 1.5};
    ASSERT_EQ(CPLUModifier().AddUpdate(mod), 1);
    CPLUModifier read;
    ASSERT_EQ(read.Equ(1), 1);
    EXPECT_EQ(xr::Format("%g|%s", +read.m_def.Mult, read.m_def.Name), "1.5|Large");

    // Mix and match dates are stored as eight digits.
    mixmatch2_def mm{.MMNo = 3,
                     .Plu = 6000000000ull,
                     .Enable = 1,
                     .DateStart = 20240131,
                     .DateEnd = 5,
                     .Count = {2, 0, 0, 0, -1},
                     .MMValue = 350};
    ASSERT_EQ(CMixMatch().AddUpdate(mm), 1);
    EXPECT_EQ(Scalar("SELECT DateStart, DateEnd, MMValue FROM MixMatch"), "20240131|00000005|3.5");
    CMixMatch mmRead;
    ASSERT_EQ(mmRead.Equ(3), 1);
    EXPECT_EQ(xrtest::ByteDiff(mmRead.m_def, mm), "");
}

class PromoTest : public RecordsTest {
protected:
    PromoTest() : RecordsTest({"Promos"}) {}
};

TEST_P(PromoTest, ThePercentageOrTheAmountByTypeAndTypeAndFlagBitsKeepTheRest) {
    Exec(
        "INSERT INTO Promos (PromNo, Type, pcValue, Flexpromotype, Usage) VALUES (1, 1, 12.5, "
        "4, 9)");
    Exec("INSERT INTO Promos (PromNo, Type, pcValue, mdValue) VALUES (2, 2, 7, 1.50)");
    CPromo p;
    ASSERT_EQ(p.Equ(1), 1);
    EXPECT_EQ(xr::Format("%d|%d|%d", +p.m_def.Value, +p.m_def.FlexPromoType, +p.m_def.Usage),
              "1250|4|9");
    p.m_def.FlexPromoType = 0;
    p.m_def.Usage = 0;
    ASSERT_EQ(p.Update(0), 1);
    // FlexPromoType and Usage are read only.
    EXPECT_EQ(Scalar("SELECT pcValue, mdValue, FlexPromoType, Usage FROM Promos WHERE PromNo=1"),
              "12.5|0|4|9");
    ASSERT_EQ(p.Equ(2), 1);
    EXPECT_EQ(+p.m_def.Value, 150);
    ASSERT_EQ(p.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT pcValue, mdValue FROM Promos WHERE PromNo=2"), "0|1.5");

    Exec(
        "INSERT INTO Promos (PromNo, Type, Analysis, Gratuity, Vat, Trip, Description) VALUES "
        "(3, 3, 1, 2, 1, 12.34, 'Happy hour')");
    p.m_def.TypeFlags = 0xFF00;
    p.m_def.Flags = 0x0030;
    ASSERT_EQ(p.Equ(3), 1);
    EXPECT_EQ(xr::Format("%x|%x|%d|%s", +p.m_def.TypeFlags, +p.m_def.Flags, +p.m_def.Trip,
                         p.m_def.Description),
              xr::Format("ff03|%x|1234|Happy hour", 0x0030 | 0x0001 | (2 << 1) | 0x0008));
    p.m_def.Flags = 0x0002;  // gratuity 1 alone
    ASSERT_EQ(p.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT Gratuity, Analysis, Type FROM Promos WHERE PromNo=3"), "1|0|3");
}

TEST_P(PromoTest, AnalysisCategoriesAndANewPromotionSelectingThemAll) {
    Exec(
        "INSERT INTO Promos (PromNo, AnalysisCats, AnalysisNew, CatFlags) VALUES "
        "(1, '3;7;101;', 1, 5), (2, '4;', 0, 6)");
    CPromo p;
    ASSERT_EQ(p.Equ(1), 1);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(+p.m_def.AnalysisCats[i], (i == 2 || i == 6) ? 1 : 0) << i;
    EXPECT_EQ(+p.m_def.CatFlags, 0);
    ASSERT_EQ(p.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT AnalysisCats FROM Promos WHERE PromNo=1"), "3;7;");

    // A row of an older release: the structure keeps what it had.
    ASSERT_EQ(p.Equ(2), 1);
    EXPECT_EQ(xr::Format("%d|%d|%d|%d", +p.m_def.AnalysisNew, +p.m_def.AnalysisCats[2],
                         +p.m_def.AnalysisCats[3], +p.m_def.CatFlags),
              "0|1|0|6");
    ASSERT_EQ(p.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT AnalysisNew, AnalysisCats FROM Promos WHERE PromNo=2"), "1|3;7;");

    // A new promotion selects every category.
    Exec("DELETE FROM Promos");
    CPromo fresh;
    promdet_def def = fresh.m_def;
    def.PromNo = 4;
    ASSERT_EQ(fresh.AddUpdate(def), 1);
    std::string all;
    for (int n = 1; n <= 100; ++n) all += std::to_string(n) + ";";
    EXPECT_EQ(Scalar("SELECT AnalysisCats FROM Promos"), all);
    EXPECT_EQ(Scalar("SELECT AnalysisNew, FilterType FROM Promos"), "1|1");
    // Nothing selected is an empty text.
    std::memset(def.AnalysisCats, 0, sizeof def.AnalysisCats);
    ASSERT_EQ(fresh.AddUpdate(def), 1);
    EXPECT_EQ(Scalar("SELECT AnalysisCats FROM Promos"), "");
}

TEST_P(MasterTest, ClassesWithoutAStructureWorkThroughTheirMembersOrFields) {
    xrtest::CreateSetupTables(
        {"Allergies", "Loyalty5", "MixMatchPlus", "OfferGroupEntries", "PromoPackages", "Loyalty"});
    // The weighing-machine table is not the set-up's: the scales' software makes it.
    Exec("CREATE TABLE WMPlu (WMPlu INTEGER NOT NULL, Plu INTEGER DEFAULT 0 NOT NULL)");
    Exec("ALTER TABLE WMPlu ADD CONSTRAINT WMPluPrimary PRIMARY KEY (WMPlu)");
    Exec("INSERT INTO Allergies VALUES (4, 'Celery')");
    CAllergies a;
    ASSERT_EQ(a.Equ(4), 1);
    EXPECT_EQ(a.m_description, "Celery");
    a.m_description = "Celery and celeriac";
    ASSERT_EQ(a.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT Description FROM Allergies"), "Celery and celeriac");

    Exec("INSERT INTO WMPlu VALUES (21, 9001)");
    CWMPlu w;
    ASSERT_EQ(w.Equ(21), 1);
    EXPECT_EQ(w.m_plu, 9001);
    CWMPlu byPlu;
    ASSERT_EQ(byPlu.Equ(9001L), 1);
    EXPECT_EQ(byPlu.m_wmPlu, 21);
    EXPECT_EQ(byPlu.Equ(9002L), 0);

    Exec("INSERT INTO Loyalty5 (SchemeNo, Name) VALUES (2, 'Staff')");
    CLoyalty5 l;
    ASSERT_EQ(l.Equ(2), 1);
    std::string name;
    ASSERT_EQ(l.GetField("Name", name), 1);
    EXPECT_EQ(name, "Staff");
    EXPECT_EQ(l.Equ(3), 0);
    Exec("INSERT INTO MixMatchPlus (MMNo, Description) VALUES (8, 'Three for two')");
    ASSERT_EQ(CMixMatchPlus().Equ(8), 1);
    Exec("INSERT INTO OfferGroupEntries VALUES (1, 2, 30), (1, 1, 40)");
    COfferGroupEntry e;
    ASSERT_EQ(e.MoveFirst(), 1);
    uint64_t id = 0;
    ASSERT_EQ(e.GetField("ID", id), 1);
    EXPECT_EQ(id, 40u) << "ordered by group, type, id";

    // Package items, with empty places.
    Exec(
        "INSERT INTO PromoPackages (PackageNo, Description, Type1, Qty1, TypeID1, Type2, Qty2, "
        "TypeID2) VALUES (3, 'Meal deal, a description of forty chars!', 1, 2, 7000000000, "
        "2, 1, 55)");
    CPromoPackage p;
    EXPECT_EQ(p.m_loaded, 0);
    p.m_qty[3] = 9;
    ASSERT_EQ(p.Equ(3), 1);
    EXPECT_EQ(std::to_string(p.m_loaded) + "|" + p.m_description,
              "1|Meal deal, a description of forty chars!");
    // An empty place keeps what it had (quantity 9).
    EXPECT_EQ(xr::Format("%d|%llu|%d|%d|%d", p.m_type[0], (unsigned long long)p.m_typeId[0],
                         p.m_type[1], p.m_type[3], p.m_qty[3]),
              "1|7000000000|2|0|9");
    p.m_type[1] = 0;
    p.m_type[3] = 4;
    p.m_qty[3] = 1;
    p.m_typeId[3] = 12;
    ASSERT_EQ(p.Update(0), 1) << LastError().second;
    EXPECT_EQ(Scalar("SELECT Type2, Qty2, TypeID2, Type4, Qty4, TypeID4 FROM PromoPackages"),
              "NULL|NULL|NULL|4|1|12");

    // Loyalty is always written as till 0.
    Exec(
        "INSERT INTO Loyalty (TillNo, LogType, Promotion, CheckDigit, Points, IsLocal, "
        "LowerID) VALUES (3, 2, 5, 0, 10, -1, '1000')");
    CLoyalty loyalty;
    loyalty.m_flags = 0x0100;
    ASSERT_EQ(loyalty.Equ(3), 1);
    EXPECT_EQ(xr::Format("%d|%d|%x", loyalty.m_logType, loyalty.m_points, loyalty.m_flags),
              xr::Format("2|10|%x", 0x0100 | LOY_PROMOTION | LOY_ISLOCAL));
    EXPECT_EQ(xr::Format("%s|%s", loyalty.m_lowerID, loyalty.m_upperID), "1000|99999999999999");
    ASSERT_EQ(loyalty.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT TillNo, Promotion, CheckDigit, IsLocal FROM Loyalty"), "0|1|0|1");
    CLoyalty again;
    EXPECT_EQ(again.Equ(3), 0);
    ASSERT_EQ(again.Equ(0), 1);
    EXPECT_EQ(again.m_points, 10);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(MasterTest);
XRTEST_ON_EVERY_ENGINE(PromoTest);
