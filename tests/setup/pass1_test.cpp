// Pass 1 on a new server and run again on its own result: the tables, their
// columns, keys and indexes, the rows it adds, which statements fail, and
// the database-level steps of DBSetupDB1.
#include <algorithm>

#include "setup_fixture.h"

namespace xrtest {
namespace {

using xr::setup::Outcome;

// Each configuration table a new server holds after pass 1, with its indexes
// (U for unique): the shape the tills' own statements rely on.
const std::vector<std::string> kTables = {
    "Allergies: AllergiesPrimary U (AllergyCode)",
    "Barcodes: BarcodesIX1 U (PLU,Barcode); BarcodesPrimary U (Barcode)",
    "Biometrics: BiometricsPrimary U (BioType,RecordType,Role,ID,Digit,SubIndex)",
    "CLCKeys: CLCKeysIX1 (SrvNo); CLCKeysPrimary U (KeyValue)",
    "CfgSys: ",
    "CfgTills: CfgTillsPrimary U (TillNo)",
    "Customers: CustomersIX1 U (LastName,FirstName,Title,ID); CustomersIX2 "
    "(Postcode,Address1,LastName); CustomersPrimary U (ID)",
    "Customers2: Customers2IX1 U (LastName,FirstName,Title,ID); Customers2IX2 "
    "(Postcode,Address1,LastName); Customers2Primary U (ID)",
    "Depts: DeptsPrimary U (DptNo)",
    "FlexTextHdrs: FlexTextHdrsPrimary U (TextName)",
    "FlexTextLines: FlexTextLinesPrimary U (SchemeNo,TextName)",
    "Forex: ForexPrimary U (ForexNo)",
    "Functions: FunctionsPrimary U (FuncNo)",
    "Groups: GroupsPrimary U (GrpNo)",
    "ListHdrs: ListHdrsPrimary U (ListNo)",
    "ListItems: ListItemsPrimary U (ListNo,PageNo,ItemNo)",
    "Loyalty: LoyaltyPrimary U (TillNo)",
    "Loyalty5: Loyalty5Primary U (SchemeNo)",
    "Macros: MacrosPrimary U (MacNo)",
    "MixMatch: MixMatchPrimary U (MMNo)",
    "MixMatchPlus: MixMatchPlusPrimary U (MMNo)",
    "OfferGroupEntries: OfferGroupEntriesPrimary U (OfferGroupID,OfferGroupType,ID)",
    "OfferGroups: OfferGroupsPrimary U (OfferGroupID)",
    "PLUModifiers: PLUModifiersPrimary U (ModNo)",
    "PayMeths: PaymethsPrimary U (PymNo)",
    "PresetSrvrs: PresetSrvrsPrimary U (TillNo,Preset)",
    "Presets: PresetsPrimary U (ScrnNo,PresetNo)",
    "Printers: PrintersPrimary U (TillNo,Name)",
    "Products: ProductsIX1 U (Description,PLU); ProductsPrimary U (PLU)",
    "PromoPackages: PromoPackagesPrimary U (PackageNo)",
    "Promos: PromosPrimary U (PromNo)",
    "Rooms: RoomsPrimary U (RoomNo)",
    "ScreenModes: ScreenModesPrimary U (ScrnNo)",
    "Servers: ServersPrimary U (SrvNo)",
    "SysValues: SysValuesPrimary U (FieldName,FieldIndex)",
    "TableAreas: TableAreasPrimary U (AreaID)",
    "TableGroupAreas: TableGroupAreasPrimary U (AreaID)",
    "TableStatusLevels: TableStatusLevelsPrimary U (SchemeNo,LevelNo)",
    "Tables: TablesPrimary U (TblNo)",
    "TimePlanEntrys: TimePlanEntrysPrimary U (PlanNo,EntryNo)",
    "TimePlans: TimePlansPrimary U (PlanNo)",
};

// Every column that may be NULL, and every NOT NULL column without a
// default; all other columns are NOT NULL with a default.
std::vector<std::string> Nullable() {
    std::vector<std::string> s = {"Biometrics.Extract", "CfgSys.BlueRunnerIp",
                                  "Loyalty5.PaymentPermissions", "Products.KPImage",
                                  "Products.ShortDescription"};
    for (int n = 1; n <= 30; ++n) s.push_back("Products.TiedPLU" + std::to_string(n));
    for (int n = 1; n <= 10; ++n)
        for (const char* c : {"Type", "Qty", "TypeID"})
            s.push_back("PromoPackages." + std::string(c) + std::to_string(n));
    std::sort(s.begin(), s.end());
    return s;
}
const char kWithoutDefault[] =
    " Barcodes.PLU CfgSys.Numb CfgSys.Vatr CfgTills.TillNo Customers.ID Customers2.ID Depts.DptNo"
    " Forex.ForexNo Functions.FuncNo Groups.GrpNo ListHdrs.ListNo ListItems.ListNo Loyalty.TillNo"
    " Loyalty5.SchemeNo MixMatch.MMNo MixMatchPlus.MMNo PLUModifiers.ModNo PayMeths.PymNo"
    " PresetSrvrs.TillNo Presets.ScrnNo Printers.TillNo Products.PLU PromoPackages.PackageNo"
    " Promos.PromNo ScreenModes.ScrnNo Servers.SrvNo SysValues.FieldName TableAreas.AreaID"
    " TableGroupAreas.AreaID TableStatusLevels.LevelNo Tables.TblNo TimePlanEntrys.PlanNo"
    " TimePlans.PlanNo";

// The user tables of the file (not the catalog's, nor pass 1's scratch BLA).
const char kUserTables[] =
    " t.type = 'table' AND t.name NOT LIKE 'xr\\_%' ESCAPE '\\' "
    "AND t.name NOT LIKE 'sqlite\\_%' ESCAPE '\\' AND t.name NOT IN ('sysobjects', "
    "'syscolumns', 'sysconstraints', 'BLA')";

TEST_F(Pass1Test, NewServerHoldsEveryTableItsFirstRowsAndFailsOnlyWhereOlderReleasesLeftSomething) {
    ASSERT_EQ(SetupDB1(), 1);
    EXPECT_EQ(DBIsNew(), 1);
    File file(m_dir);
    const std::string indexes =
        "SELECT t.name || ': ' || coalesce((SELECT group_concat(i, '; ') FROM (SELECT il.name || "
        "iif(il.\"unique\", ' U', '') || ' (' || (SELECT group_concat(ii.name, ',') FROM "
        "pragma_index_info(il.name) ii) || ')' AS i FROM pragma_index_list(t.name) il WHERE "
        "il.name NOT LIKE 'sqlite_autoindex%' ORDER BY il.name)), '') FROM sqlite_master t WHERE";
    EXPECT_EQ(file.Query(indexes + kUserTables + " ORDER BY t.name"), kTables);
    const std::string columns =
        " FROM (SELECT t.name || '.' || c.name AS n, c.\"notnull\" AS nn, c.dflt_value AS d "
        "FROM sqlite_master t, pragma_table_info(t.name) c WHERE" +
        std::string(kUserTables) + ") ";
    // The engine keeps an identity column as SQLite's own row number.
    EXPECT_EQ(file.Query("SELECT n" + columns + "WHERE NOT nn AND n <> 'Customers.ID' ORDER BY n"),
              Nullable());
    std::string withoutDefault;
    for (const std::string& n : file.Query("SELECT n" + columns +
                                           "WHERE nn AND d IS NULL OR "
                                           "n = 'Customers.ID' ORDER BY n"))
        withoutDefault += " " + n;
    EXPECT_EQ(withoutDefault, kWithoutDefault);
    // Only what a new server cannot have fails.
    EXPECT_TRUE(With(Outcome::Failed).empty())
        << With(Outcome::Failed)[0].label << ": " << With(Outcome::Failed)[0].error;
    // The named defaults of the new KPAggregate columns find the unnamed ones.
    std::vector<Seen> there = With(Outcome::AlreadyThere);
    ASSERT_EQ(there.size(), 1u);
    EXPECT_NE(there[0].sql.find("KPAggregate1Dflt"), std::string::npos);
    // The kitchen-printer batch, the Loyalty5 LogType batch and both DROP Info.
    std::vector<std::string> gone;
    for (const Seen& s : With(Outcome::NothingToRemove)) gone.push_back(s.label);
    EXPECT_EQ(gone, (std::vector<std::string>{"CfgTills", "Loyalty5", "Customers", "Customers2"}));
    // Every conversion ran; none was skipped on a new server.
    EXPECT_TRUE(With(Outcome::Skipped).empty());
    // The only failure lines the pass adds itself are for unexpected ones.
    EXPECT_EQ(LinesWith("step failed"), std::vector<std::string>{});

    EXPECT_EQ(Rows("SELECT AreaID, AreaName, TblnoHi, KPEnable1, KPEnable9 FROM TableAreas"),
              std::vector<std::string>{"1|Table Area|0|-1|-1"});
    EXPECT_EQ(Rows("SELECT ID, LastName, CountryCode FROM Customers"),
              std::vector<std::string>{"1|Default Customer|826"});
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Customers2"), "0");
    // Customers numbers its rows itself; Customers2 must be given the ID.
    Exec("INSERT Customers ([LastName]) VALUES ('Second')");
    EXPECT_EQ(Scalar("SELECT ID FROM Customers WHERE LastName = 'Second'"), "2");
    EXPECT_EQ(DBExec("INSERT Customers2 ([LastName]) VALUES ('Second')"), 0);

    // Widening a CHAR pads its default too.
    EXPECT_EQ(file.Column("CfgSys", "KSAnalysis"),
              "CHAR(100) ='SSSSSSSSSS" + std::string(90, ' ') + "'");
    EXPECT_EQ(file.Column("ListItems", "ItemText"), "VARCHAR(80) =''");
    EXPECT_EQ(file.Column("FlexTextHdrs", "Description"), "VARCHAR(500) =''");
    EXPECT_EQ(file.Column("FlexTextHdrs", "Default"), "VARCHAR(100) =''");
    EXPECT_EQ(file.Column("Loyalty5", "LogType"), "<missing>");
    EXPECT_EQ(file.Column("PromoPackages", "PackageNo"), "SMALLINT =");
    EXPECT_EQ(file.Column("CLCKeys", "KeyValue").substr(0, 9), "BINARY(8)");
    // UseTP is an integer whose default is the named one.
    EXPECT_EQ(file.Column("MixMatchPlus", "UseTP").substr(0, 7), "INTEGER");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sysobjects WHERE name = 'MixMatchPlusUseTP'"), "1");
    Exec("INSERT MixMatchPlus (MMNo) VALUES (1)");
    EXPECT_EQ(Scalar("SELECT UseTP FROM MixMatchPlus"), "0");

    // New rows take the defaults.
    Exec("INSERT Products (PLU) VALUES (1)");
    EXPECT_EQ(Scalar("SELECT Description, Dept, VAT, ProdCat, Discount, PriceType, Price1, "
                     "Price10, AllowModifier, AllowPLUEANOnReceipt, ShowDescriptionWithFreetext, "
                     "MMBucket, TiedPLU1, TiedPLU30, ShortDescription, KPImage FROM Products"),
              "Description|1|A|1|1|2|0|0|-1|-1|-1| |NULL|NULL|NULL|NULL");
    Exec("INSERT CfgTills (TillNo) VALUES (1)");
    EXPECT_EQ(Scalar("SELECT Name, Mode, PrRct, prDsp1, prDsp9, PrRsv, QtyMax, LogSize, SSTimer, "
                     "BannerColour, BeepPitch, DrawerWarnTime, DrawerWaitCloseTime, GratMax, "
                     "EftType, CustOnKP, KPCopies1, KPCopies9, ReceiptType, "
                     "ReceiptConsolidation, BillType, BillConsolidation, ScrlText FROM CfgTills"),
              "Name|2|FFRECEIPT|FFKITCHEN1|FFKITCHEN9|FFRESERVE|99|16|600|65280|2000|10|20|15|-1|"
              "-1|1|1|5|2|3|2|BRANT TFT Colour POS  -  Pentium Power POS...");
    // CfgSys needs Numb and Vatr; its texts keep their backslashes and '%'.
    EXPECT_EQ(DBExec("INSERT CfgSys (Numb) VALUES (1)"), 0);
    Exec("INSERT CfgSys (Numb, Vatr) VALUES (1, 'ABC')");
    EXPECT_EQ(Scalar("SELECT HtlReq, KScreenHdr, KScreenKP9, ExpoFixQuote, LEN(KSAnalysis), "
                     "EuroX FROM CfgSys"),
              "G:\\ROOM|Brant KVM %d/%m/%Y %H:%M|9|\"  |10|1");
    Exec("INSERT CLCKeys (SrvNo) VALUES (4)");
    EXPECT_EQ(file.Query("SELECT hex(KeyValue) FROM CLCKeys"),
              std::vector<std::string>{"FFFFFFFFFFFFFFFF"});
    // Barcodes are unique; two products may share a description.
    Exec("INSERT Products (PLU) VALUES (2)");
    Exec("INSERT Barcodes (PLU, Barcode) VALUES (1, '5000')");
    EXPECT_EQ(DBExec("INSERT Barcodes (PLU, Barcode) VALUES (2, '5000')"), 0);
}

// The rows a second run leaves as they were, and that it fails nowhere:
// SiteOnEveryEngine.ANewServerGetsTheWholeSiteAndASecondRunChangesNothing.
TEST_F(Pass1Test, SecondRunFindsEverythingThereAndChangesNothing) {
    ASSERT_EQ(SetupDB1(), 1);
    Exec("INSERT PayMeths (PymNo, Name) VALUES (1, 'Cash')");
    Exec("UPDATE PayMeths SET WithCashLimitDrawer = 0");
    // Every table and index as SQLite declares it.
    const std::string schema =
        "SELECT name, sql FROM sqlite_master WHERE name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
        "ORDER BY name";
    const auto before = File(m_dir).Query(schema);
    xr::TheApp().m_isNew = 0;

    ASSERT_EQ(SetupDB1(), 1);
    EXPECT_EQ(DBIsNew(), 0);
    EXPECT_EQ(File(m_dir).Query(schema), before);
    // The statements that run always set the cash payment's drawer limit again.
    EXPECT_EQ(Scalar("SELECT WithCashLimitDrawer FROM PayMeths"), "-1");
    for (const Seen& s : m_seen) {
        if (s.conversion) continue;
        const bool creates = s.sql.rfind("CREATE ", 0) == 0;
        const bool adds = s.sql.find(" ADD ") != std::string::npos &&
                          s.sql.find("KPAggregate1Dflt") == std::string::npos &&
                          s.sql.find("BLA") == std::string::npos;
        if (creates || adds) {
            EXPECT_EQ(s.outcome, Outcome::AlreadyThere) << s.sql;
        }
    }
}

// A database name the server can neither create nor enter, then a server
// that cannot be reached.
TEST_F(Pass1Test, StopsWithAMessageWhenTheDatabaseOrTheServerCannotBeReached) {
    xr::TheApp().GetConnection(0, nullptr)->m_database = "NO SUCH";
    const int version = xr::TheApp().m_serverVersion.load();
    EXPECT_EQ(SetupDB1(), 0);
    EXPECT_TRUE(m_seen.empty());
    EXPECT_EQ(DBIsNew(), 0);
    EXPECT_NE(
        std::find(g_log.begin(), g_log.end(), xr::Format("Error 1: USE NO SUCH V=%d N=0", version)),
        g_log.end());

    ClearLog();
    DBClose();
    EXPECT_EQ(DBOpen("Provider=nothing", "LORIMDB81"), 0);
    EXPECT_EQ(SetupDB1(), 0);
    EXPECT_TRUE(m_seen.empty());
    EXPECT_NE(std::find(g_log.begin(), g_log.end(), "Could not do use MASTER"), g_log.end());
}

}  // namespace
}  // namespace xrtest
