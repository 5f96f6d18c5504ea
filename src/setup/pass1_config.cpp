// Pass 1, the configuration tables after CfgSys, in the order the pass
// handles them: one block per table, its CREATE TABLE first, then each later
// group of columns, its key and indexes where they stand in its history.
#include <string>

#include "setup/pass1.h"

namespace xr::setup {

namespace {

void AddCustomers(std::vector<Step>& steps, const std::string& table) {
    // Customers numbers its rows itself; Customers2 holds copies whose ID is
    // given.
    const bool identity = table == "Customers";
    const std::string created = table + ".create";
    TableSteps t(steps, table);
    t.Sql(
        "CREATE TABLE " + table + " (ID INTEGER " + (identity ? "IDENTITY" : "NOT NULL") +
            ", LastName VARCHAR(50) DEFAULT '' NOT NULL, "
            "FirstName VARCHAR(50) DEFAULT '' NOT NULL, "
            "Title VARCHAR(10) DEFAULT '' NOT NULL, " +
            Numbered("Address%d VARCHAR(80) DEFAULT '' NOT NULL", 1, 3, ", ") +
            ", Postcode VARCHAR(10) DEFAULT '' NOT NULL, " +
            Numbered("Tel%d VARCHAR(25) DEFAULT '' NOT NULL", 1, 3, ", ") +
            ", Email VARCHAR(80) DEFAULT '' NOT NULL, "
            "CreationTime DATETIME DEFAULT '20000101' NOT NULL, "
            "ModifiedTime DATETIME DEFAULT '20000101' NOT NULL, "
            "LastUsedTime DATETIME DEFAULT '20000101' NOT NULL, "
            "CustomerGroupID INTEGER DEFAULT 1 NOT NULL, CountryCode INTEGER DEFAULT 826 NOT NULL)",
        created);
    t.Sql("ALTER TABLE " + table + " DROP Info");
    t.Sql("ALTER TABLE " + table + " ADD " +
          Numbered("Info%d VARCHAR(100) DEFAULT '' NOT NULL", 1, 3, ", "));
    t.Sql("ALTER TABLE " + table + " ADD CreditLimit MONEY DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE " + table + " ADD Temporary BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE " + table + " ADD Active BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE " + table + " ADD Source INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE " + table + " ADD IsVIP BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE " + table + " ADD CONSTRAINT " + table + "Primary PRIMARY KEY (ID)");
    t.Sql("CREATE UNIQUE INDEX " + table + "IX1 ON " + table + " (LastName, FirstName, Title, ID)");
    t.Sql("CREATE INDEX " + table + "IX2 ON " + table + " (Postcode, Address1, LastName)");
    // A new customer table starts with the customer the tills charge to when
    // none is chosen.
    if (identity) t.SqlIf("INSERT " + table + " ([LastName]) VALUES ('Default Customer')", created);
}

}  // namespace

void AddConfigTables(std::vector<Step>& steps) {
    TableSteps(steps, "Barcodes")
        .Sql(
            "CREATE TABLE Barcodes (PLU BIGINT NOT NULL, "
            "Barcode VARCHAR(15) DEFAULT '000000000000000' NOT NULL)")
        .Sql("ALTER TABLE Barcodes ADD CONSTRAINT BarcodesPrimary PRIMARY KEY (Barcode)")
        .Sql("CREATE UNIQUE INDEX BarcodesIX1 ON Barcodes (PLU, Barcode)");

    TableSteps(steps, "Printers")
        .Sql(
            "CREATE TABLE Printers (TillNo INTEGER NOT NULL, "
            "Name VARCHAR(20) DEFAULT 'PrinterName' NOT NULL, Active BIT DEFAULT 0 NOT NULL, "
            "Port VARCHAR(20) DEFAULT 'NUL0' NOT NULL, Chan INTEGER DEFAULT 0 NOT NULL, "
            "Type VARCHAR(20) DEFAULT '--' NOT NULL, LinPP INTEGER DEFAULT 0 NOT NULL, "
            "TopMrg INTEGER DEFAULT 0 NOT NULL, Link INTEGER DEFAULT 0 NOT NULL, "
            "FloType INTEGER DEFAULT 0 NOT NULL)")
        .Sql("ALTER TABLE Printers ADD CONSTRAINT PrintersPrimary PRIMARY KEY (TillNo, Name)")
        .Sql("ALTER TABLE Printers ADD UseImage INTEGER DEFAULT 2 NOT NULL")
        .Sql(
            "ALTER TABLE Printers ADD PrinterAlias VARCHAR(30) DEFAULT '' NOT NULL, "
            "Alternate VARCHAR(20) DEFAULT '' NOT NULL, AlternateEnable BIT DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Printers ADD AlternateTill INTEGER DEFAULT 0 NOT NULL");

    TableSteps(steps, "Promos")
        .Sql(
            "CREATE TABLE Promos (PromNo INTEGER NOT NULL, Type INTEGER DEFAULT 0 NOT NULL, "
            "pcValue DECIMAL(5,2) DEFAULT 0 NOT NULL, mdValue MONEY DEFAULT 0 NOT NULL, "
            "Trip MONEY DEFAULT 0 NOT NULL, DptNo INTEGER DEFAULT 0 NOT NULL, "
            "Analysis INTEGER DEFAULT 0 NOT NULL, Gratuity INTEGER DEFAULT 0 NOT NULL, "
            "Vat INTEGER DEFAULT 0 NOT NULL, CatFlags INTEGER DEFAULT 0 NOT NULL, "
            "Description VARCHAR(20) DEFAULT '' NOT NULL)")
        .Sql("ALTER TABLE Promos ADD CONSTRAINT PromosPrimary PRIMARY KEY (PromNo)")
        .Sql("ALTER TABLE Promos ADD Usage INTEGER DEFAULT 3 NOT NULL")
        .Sql("ALTER TABLE Promos ADD SubtotalType INTEGER DEFAULT 0 NOT NULL")
        .Sql(
            "ALTER TABLE Promos ADD AllowMyPromoOnPromo BIT DEFAULT 0 NOT NULL, "
            "AllowPromoOnMyPromo BIT DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Promos ADD TimeplanMode INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Promos ADD UseGate INTEGER DEFAULT 0 NOT NULL")
        .Sql(
            "ALTER TABLE Promos ADD FilterType INTEGER DEFAULT 1 NOT NULL, "
            "FilterOfferGroup INTEGER DEFAULT 0 NOT NULL")
        .Sql(
            "ALTER TABLE Promos ADD AnalysisCats VARCHAR(300) DEFAULT '' NOT NULL, "
            "AnalysisNew INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Promos ADD Reasons BIT DEFAULT 0 NOT NULL")
        // The 16 analysis bits of old promotions become the category list.
        .Convert(ConvertPromoAnalysis)
        .Sql("ALTER TABLE Promos ADD FlexPromoType INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Promos ADD " + Numbered("FlexBoundByVal%d MONEY DEFAULT 0 NOT NULL, "
                                                  "FlexBoundByCov%d INTEGER DEFAULT 0 NOT NULL, "
                                                  "FlexpcValue%d DECIMAL(5,2) DEFAULT 0 NOT NULL",
                                                  1, 4, ", "))
        .Sql("ALTER TABLE Promos ADD FlexpcValue5 DECIMAL(5,2) DEFAULT 0 NOT NULL");

    TableSteps(steps, "PayMeths")
        .Sql(
            "CREATE TABLE PayMeths (PymNo INTEGER NOT NULL, "
            "Name VARCHAR(40) DEFAULT 'PaymentMethod' NOT NULL, Floor MONEY DEFAULT 0 NOT NULL, "
            "Tender BIT DEFAULT 1 NOT NULL, OverTender BIT DEFAULT 0 NOT NULL, "
            "Change BIT DEFAULT 1 NOT NULL, Gratuity BIT DEFAULT 0 NOT NULL, "
            "Drawer BIT DEFAULT 0 NOT NULL, Eft BIT DEFAULT 0 NOT NULL, "
            "Cashback BIT DEFAULT 0 NOT NULL, NonBank BIT DEFAULT 0 NOT NULL, "
            "AltCur BIT DEFAULT 0 NOT NULL)")
        .Sql("ALTER TABLE PayMeths ADD PayText VARCHAR(500) DEFAULT 'no text' NOT NULL")
        .Sql("ALTER TABLE PayMeths ADD CONSTRAINT PaymethsPrimary PRIMARY KEY (PymNo)")
        .Sql(
            "ALTER TABLE PayMeths ADD RctPrint BIT DEFAULT 1 NOT NULL, "
            "CustNP BIT DEFAULT 0 NOT NULL")
        .Sql(
            "ALTER TABLE PayMeths ADD FuncNo INTEGER DEFAULT 0 NOT NULL, "
            "PaymentType INTEGER DEFAULT 0 NOT NULL, ForexNo INTEGER DEFAULT 0 NOT NULL, "
            "InDrawer BIT DEFAULT 1 NOT NULL")
        .Sql("ALTER TABLE PayMeths ADD ForHH BIT DEFAULT 1 NOT NULL")
        .Sql("ALTER TABLE PayMeths ADD WithCashLimitDrawer BIT DEFAULT 0 NOT NULL")
        .Sql("UPDATE Paymeths SET WithCashLimitDrawer=1 WHERE [PymNo]=1")
        .Sql(
            "ALTER TABLE PayMeths ADD DepositChange INTEGER DEFAULT 0 NOT NULL, "
            "DepositChangeAsVoucherMin INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE PayMeths ADD ExternAppParam1 VARCHAR(100) DEFAULT '' NOT NULL")
        .Sql("ALTER TABLE PayMeths ADD AccountAllow BIT DEFAULT 1 NOT NULL")
        .Sql("ALTER TABLE PayMeths ADD CashDeclaration BIT DEFAULT 1 NOT NULL")
        .Sql("ALTER TABLE PayMeths ADD ChangeAsCashback BIT DEFAULT 0 NOT NULL");

    TableSteps(steps, "Functions")
        .Sql(
            "CREATE TABLE Functions (FuncNo INTEGER NOT NULL, "
            "Name VARCHAR(40) DEFAULT 'FunctionName' NOT NULL, Auth INTEGER DEFAULT 9 NOT NULL, "
            "Password BIT DEFAULT '' NOT NULL, Audit BIT DEFAULT 0 NOT NULL, "
            "Log BIT DEFAULT 0 NOT NULL, Auditable BIT DEFAULT 0 NOT NULL)")
        .Sql("ALTER TABLE Functions ADD CONSTRAINT FunctionsPrimary PRIMARY KEY (FuncNo)");

    TableSteps(steps, "TimePlans")
        .Sql(
            "CREATE TABLE TimePlans (PlanNo INTEGER NOT NULL, "
            "Name VARCHAR(40) DEFAULT '' NOT NULL)")
        .Sql("ALTER TABLE TimePlans ADD CONSTRAINT TimePlansPrimary PRIMARY KEY (PlanNo)");

    TableSteps(steps, "TimePlanEntrys")
        .Sql(
            "CREATE TABLE TimePlanEntrys (PlanNo INTEGER NOT NULL, "
            "EntryNo INTEGER DEFAULT 0 NOT NULL, "
            "Active BIT DEFAULT 0 NOT NULL, Name VARCHAR(40) DEFAULT '' NOT NULL, "
            "Type INTEGER DEFAULT 0 NOT NULL, Sunday BIT DEFAULT 0 NOT NULL, "
            "Monday BIT DEFAULT 0 NOT NULL, Tuesday BIT DEFAULT 0 NOT NULL, "
            "Wednesday BIT DEFAULT 0 NOT NULL, Thursday BIT DEFAULT 0 NOT NULL, "
            "Friday BIT DEFAULT 0 NOT NULL, Saturday BIT DEFAULT 0 NOT NULL, "
            "StartHours INTEGER DEFAULT 0 NOT NULL, StartMins INTEGER DEFAULT 0 NOT NULL, "
            "EndHours INTEGER DEFAULT 0 NOT NULL, EndMins INTEGER DEFAULT 0 NOT NULL, "
            "EndPeriod INTEGER DEFAULT 0 NOT NULL, IPam1 INTEGER DEFAULT 0 NOT NULL, "
            "IPam2 INTEGER DEFAULT 0 NOT NULL, SPam1 VARCHAR(20) DEFAULT '' NOT NULL)")
        .Sql(
            "ALTER TABLE TimePlanEntrys ADD DateFrom DATETIME DEFAULT '20000101' NOT NULL, "
            "DateTo DATETIME DEFAULT '90001231' NOT NULL")
        .Sql(
            "ALTER TABLE TimePlanEntrys ADD CONSTRAINT TimePlanEntrysPrimary "
            "PRIMARY KEY (PlanNo, EntryNo)");

    TableSteps(steps, "Servers")
        .Sql(
            "CREATE TABLE Servers (SrvNo INTEGER NOT NULL, "
            "Name VARCHAR(40) DEFAULT 'ServerName' NOT NULL, Auth INTEGER DEFAULT 0 NOT NULL, "
            "Password INTEGER DEFAULT 0 NOT NULL, Drawer INTEGER DEFAULT 0 NOT NULL)")
        .Sql("ALTER TABLE Servers ADD FlipView BIT DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Servers ADD TrainingMode BIT DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Servers ADD LogonMacro INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Servers ADD OpenTableMode INTEGER DEFAULT 1 NOT NULL")
        .Sql("ALTER TABLE Servers ADD CONSTRAINT ServersPrimary PRIMARY KEY (SrvNo)");

    TableSteps(steps, "Tables")
        .Sql(
            "CREATE TABLE Tables (TblNo INTEGER NOT NULL, "
            "Name VARCHAR(40) DEFAULT 'TableName' NOT NULL, Account BIT DEFAULT 0 NOT NULL)")
        .Sql(
            "ALTER TABLE Tables ADD StatusAutoEnable BIT DEFAULT 1 NOT NULL, "
            "StatusAutoPaidToUnused BIT DEFAULT 1 NOT NULL")
        .Sql(
            "ALTER TABLE Tables ADD LimitEnable BIT DEFAULT 0 NOT NULL, "
            "Limit INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Tables ADD CONSTRAINT TablesPrimary PRIMARY KEY (TblNo)");

    TableSteps(steps, "Depts")
        .Sql(
            "CREATE TABLE Depts (DptNo INTEGER NOT NULL, GrpNo INTEGER DEFAULT 1 NOT NULL, "
            "Name VARCHAR(40) DEFAULT 'DeptName' NOT NULL)")
        .Sql("ALTER TABLE Depts ADD CONSTRAINT DeptsPrimary PRIMARY KEY (DptNo)")
        .Sql(
            "ALTER TABLE Depts ADD Tickets INTEGER DEFAULT 0 NOT NULL, "
            "QtyDP BIT DEFAULT 0 NOT NULL, ValNeg BIT DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Depts ADD NonTurnover INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Depts ADD SpecimenLearnPLU BIGINT DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Depts ADD TicketsMode INTEGER DEFAULT -1 NOT NULL")
        .Sql("ALTER TABLE [Depts] ADD ImageFilename VARCHAR(40) DEFAULT '' NOT NULL")
        // Departments that printed tickets before the mode existed keep
        // printing them.
        .Sql("UPDATE [Depts] SET [TicketsMode]=1 WHERE [TicketsMode]=-1 AND [Tickets]<>0")
        .Sql("UPDATE [Depts] SET [TicketsMode]=0 WHERE [TicketsMode]=-1");

    TableSteps(steps, "Groups")
        .Sql(
            "CREATE TABLE Groups (GrpNo INTEGER NOT NULL, "
            "Name VARCHAR(40) DEFAULT 'GroupName' NOT NULL)")
        .Sql("ALTER TABLE Groups ADD CONSTRAINT GroupsPrimary PRIMARY KEY (GrpNo)");

    TableSteps(steps, "Presets")
        .Sql(
            "CREATE TABLE Presets (ScrnNo INTEGER NOT NULL, PresetNo INTEGER DEFAULT 0 NOT NULL, "
            "PLU INTEGER DEFAULT 0 NOT NULL)")
        .Sql("ALTER TABLE Presets ADD CONSTRAINT PresetsPrimary PRIMARY KEY (ScrnNo, PresetNo)");

    TableSteps(steps, "Forex")
        .Sql(
            "CREATE TABLE Forex (ForexNo INTEGER NOT NULL, "
            "Description VARCHAR(20) DEFAULT 'Forex' NOT NULL, "
            "Symbol CHAR(4) DEFAULT '?' NOT NULL, "
            "DP INTEGER DEFAULT 2 NOT NULL, toPound FLOAT(24) DEFAULT 1 NOT NULL)")
        .Sql("ALTER TABLE Forex ADD CONSTRAINT ForexPrimary PRIMARY KEY (ForexNo)")
        .Sql("ALTER TABLE Forex ADD EntryNoDP INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Forex ADD fromBase FLOAT(24) DEFAULT 0 NOT NULL");

    TableSteps(steps, "Loyalty")
        .Sql(
            "CREATE TABLE Loyalty (TillNo INTEGER NOT NULL, LogType INTEGER DEFAULT 0 NOT NULL, "
            "Promotion INTEGER DEFAULT 0 NOT NULL, CheckDigit INTEGER DEFAULT 0 NOT NULL, "
            "Points INTEGER DEFAULT 0 NOT NULL, "
            "LowerID VARCHAR(20) DEFAULT '99999999999999' NOT NULL, "
            "UpperID VARCHAR(20) DEFAULT '99999999999999' NOT NULL, "
            "Format VARCHAR(20) DEFAULT '' NOT NULL, IsLocal INTEGER DEFAULT 0 NOT NULL)")
        .Sql("ALTER TABLE Loyalty ADD CONSTRAINT LoyaltyPrimary PRIMARY KEY (TillNo)");

    TableSteps(steps, "Loyalty5")
        .Sql(
            "CREATE TABLE Loyalty5 (SchemeNo INTEGER NOT NULL, Active BIT DEFAULT 1 NOT NULL, "
            "Name VARCHAR(40) DEFAULT '' NOT NULL, Promotion INTEGER DEFAULT 0 NOT NULL, "
            "PromoType INTEGER DEFAULT 0 NOT NULL, CheckDigit INTEGER DEFAULT 0 NOT NULL, "
            "Points INTEGER DEFAULT 0 NOT NULL, "
            "LowerID VARCHAR(20) DEFAULT '99999999999999' NOT NULL, "
            "UpperID VARCHAR(20) DEFAULT '99999999999999' NOT NULL, "
            "Format VARCHAR(40) DEFAULT '' NOT NULL, IsLocal INTEGER DEFAULT 0 NOT NULL, "
            "StaffCard INTEGER DEFAULT 0 NOT NULL)",
            "Loyalty5.create")
        .Sql("ALTER TABLE Loyalty5 ADD CONSTRAINT Loyalty5Primary PRIMARY KEY (SchemeNo)")
        // A new scheme table takes over the per-till loyalty rows.
        .Convert(MigrateLoyalty, "Loyalty5.create")
        .Sql(DropUnnamedDefault("Loyalty5", "LogType",
                                "EXEC ('ALTER TABLE Loyalty5 DROP Constraint ' +  @V1) "
                                "ALTER TABLE Loyalty5 DROP COLUMN LogType"))
        .Sql("ALTER TABLE Loyalty5 ALTER COLUMN Format VARCHAR(40) NOT NULL")
        .Sql("ALTER TABLE Loyalty5 ADD LoyMacro INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Loyalty5 ADD LimitDay MONEY DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Loyalty5 ADD LimitWeek MONEY DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Loyalty5 ADD " +
             Numbered(" LimitMonth%d MONEY DEFAULT 0 NOT NULL", 1, 12, ","))
        .Sql("ALTER TABLE Loyalty5 ADD StaffCreditEnable BIT DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE Loyalty5 ADD " +
             Numbered(" Promotion%d INTEGER DEFAULT 0 NOT NULL", 2, 5, ","))
        .Sql("ALTER TABLE Loyalty5 ADD PaymentPermissions VARCHAR(1000)")
        .Sql("ALTER TABLE Loyalty5 ADD PaymentPermissionsMode INTEGER DEFAULT 1 NOT NULL");

    TableSteps(steps, "PLUModifiers")
        .Sql(
            "CREATE TABLE PLUModifiers (ModNo INTEGER NOT NULL, Mult FLOAT(24) DEFAULT 1 NOT NULL, "
            "Name VARCHAR(40) DEFAULT 'Modifier' NOT NULL)")
        .Sql("ALTER TABLE PLUModifiers ADD CONSTRAINT PLUModifiersPrimary PRIMARY KEY (ModNo)");

    TableSteps(steps, "MixMatch")
        .Sql(
            "CREATE TABLE MixMatch (MMNo INTEGER NOT NULL, Plu BIGINT DEFAULT 0 NOT NULL, "
            "Enable INTEGER DEFAULT 0 NOT NULL, DateStart VARCHAR(8) DEFAULT '00000000' NOT NULL, "
            "DateEnd VARCHAR(8) DEFAULT '00000000' NOT NULL, " +
            Numbered("Count%d INTEGER DEFAULT 0 NOT NULL", 1, 5, ", ") +
            ", MMValue MONEY DEFAULT 0 NOT NULL)")
        .Sql("ALTER TABLE MixMatch ADD CONSTRAINT MixMatchPrimary PRIMARY KEY (MMNo)");

    TableSteps(steps, "ListHdrs")
        .Sql(
            "CREATE TABLE ListHdrs (ListNo INTEGER NOT NULL, "
            "Description VARCHAR(40) DEFAULT '***' NOT NULL, Rows INTEGER DEFAULT 0 NOT NULL, "
            "Cols INTEGER DEFAULT 0 NOT NULL, NPages INTEGER DEFAULT 0 NOT NULL, "
            "Staydown INTEGER DEFAULT 0 NOT NULL, Link INTEGER DEFAULT 0 NOT NULL, "
            "SelMin INTEGER DEFAULT 0 NOT NULL, SelMax INTEGER DEFAULT 0 NOT NULL, "
            "ScrNo INTEGER DEFAULT 1 NOT NULL)")
        .Sql("ALTER TABLE ListHdrs ADD CONSTRAINT ListHdrsPrimary PRIMARY KEY (ListNo)")
        .Sql("ALTER TABLE ListHdrs ADD Location VARCHAR(5) DEFAULT 'L' NOT NULL")
        .Sql("ALTER TABLE ListHdrs ADD V$Dirty BIT DEFAULT 0 NOT NULL")
        .Sql(
            "ALTER TABLE ListHdrs ADD Foreground86 INTEGER DEFAULT 0 NOT NULL, "
            "Background86 INTEGER DEFAULT -1 NOT NULL, Border86 INTEGER DEFAULT 1 NOT NULL, "
            "FontSpecifier86 VARCHAR(12) DEFAULT '' NOT NULL, Width86 INTEGER DEFAULT 40 NOT NULL, "
            "Height86 INTEGER DEFAULT 25 NOT NULL")
        .Sql("ALTER TABLE ListHdrs ADD ListType INTEGER DEFAULT 0 NOT NULL")
        .Sql(
            "ALTER TABLE ListHdrs ADD TableNoLo INTEGER DEFAULT 0 NOT NULL, "
            "TableNoHi INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE ListHdrs ADD Priority INTEGER DEFAULT 1 NOT NULL")
        .Sql("ALTER TABLE ListHdrs ADD StackMode INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE ListHdrs ADD TableArea INTEGER DEFAULT 0 NOT NULL");

    TableSteps(steps, "ListItems")
        .Sql(
            "CREATE TABLE ListItems (ListNo INTEGER NOT NULL, PageNo INTEGER DEFAULT 0 NOT NULL, "
            "ItemNo INTEGER DEFAULT 0 NOT NULL, FuncType INTEGER DEFAULT 0 NOT NULL, "
            "FuncValue BIGINT DEFAULT 0 NOT NULL, ItemText VARCHAR(40) DEFAULT '' NOT NULL, "
            "Foreground INTEGER DEFAULT 0 NOT NULL, Background INTEGER DEFAULT 0 NOT NULL, "
            "Size INTEGER DEFAULT 0 NOT NULL)")
        .Sql(
            "ALTER TABLE ListItems ADD CONSTRAINT ListItemsPrimary "
            "PRIMARY KEY (ListNo, PageNo, ItemNo)")
        .Sql(
            "ALTER TABLE ListItems ADD mx INTEGER DEFAULT 0 NOT NULL, "
            "my INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE ListItems ALTER COLUMN ItemText VARCHAR(80) NOT NULL")
        .Sql("ALTER TABLE ListItems ADD FontSpecifier VARCHAR(12) DEFAULT '' NOT NULL")
        .Sql(
            "ALTER TABLE ListItems ADD AlignmentH INTEGER DEFAULT 1 NOT NULL, "
            "AlignmentV INTEGER DEFAULT 1 NOT NULL")
        .Sql("ALTER TABLE ListItems ADD Image VARCHAR(40) DEFAULT '' NOT NULL")
        .Sql("ALTER TABLE ListItems ADD ImageScale INTEGER DEFAULT 90 NOT NULL")
        .Sql("ALTER TABLE ListItems ADD HideText BIT DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE ListItems ADD TextDefaultOnly BIT DEFAULT 0 NOT NULL");

    TableSteps(steps, "ScreenModes")
        .Sql(
            "CREATE TABLE ScreenModes (ScrnNo INTEGER NOT NULL, "
            "Description VARCHAR(40) DEFAULT '' NOT NULL, ListTop INTEGER DEFAULT 2000 NOT NULL, "
            "FListLoggedOff INTEGER DEFAULT 2001 NOT NULL, "
            "FListTrading INTEGER DEFAULT 2002 NOT NULL, "
            "FListPayment INTEGER DEFAULT 2003 NOT NULL)")
        .Sql("ALTER TABLE ScreenModes ADD CONSTRAINT ScreenModesPrimary PRIMARY KEY (ScrnNo)")
        .Sql("ALTER TABLE ScreenModes ADD ListFastBar INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE ScreenModes ADD ScreenStyle INTEGER DEFAULT 1 NOT NULL")
        .Sql("ALTER TABLE ScreenModes ADD ListTopPayment INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE ScreenModes ADD ListLoggedOff INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE ScreenModes ADD ScreenStyleLoggedOff INTEGER DEFAULT 1 NOT NULL");

    TableSteps(steps, "Macros")
        .Sql(
            "CREATE TABLE Macros (MacNo INTEGER DEFAULT 0 NOT NULL, "
            "MacText VARCHAR(100) DEFAULT '' NOT NULL)")
        .Sql("ALTER TABLE Macros ADD CONSTRAINT MacrosPrimary PRIMARY KEY (MacNo)")
        .Sql("ALTER TABLE Macros ADD Description VARCHAR(50) DEFAULT '' NOT NULL");

    TableSteps(steps, "PresetSrvrs")
        .Sql(
            "CREATE TABLE PresetSrvrs (TillNo INTEGER NOT NULL, Preset INTEGER DEFAULT 0 NOT NULL, "
            "SrvNo INTEGER DEFAULT 0 NOT NULL)")
        .Sql(
            "ALTER TABLE PresetSrvrs ADD CONSTRAINT PresetSrvrsPrimary PRIMARY KEY (TillNo, "
            "Preset)");

    TableSteps(steps, "SysValues")
        .Sql(
            "CREATE TABLE SysValues (FieldName VARCHAR(40) NOT NULL, "
            "FieldIndex INTEGER DEFAULT 0 NOT NULL, iValue INTEGER DEFAULT 0 NOT NULL, "
            "fValue FLOAT(24) DEFAULT 0 NOT NULL, sValue VARCHAR(150) DEFAULT '' NOT NULL)")
        .Sql(
            "ALTER TABLE SysValues ADD CONSTRAINT SysValuesPrimary "
            "PRIMARY KEY (FieldName, FieldIndex)")
        .Sql("ALTER TABLE SysValues ALTER COLUMN sValue VARCHAR(150) NOT NULL");

    TableSteps(steps, "CLCKeys")
        .Sql(
            "CREATE TABLE CLCKeys (KeyValue BINARY(8) DEFAULT 0xFFFFFFFFFFFFFFFF NOT NULL, "
            "SrvNo INTEGER DEFAULT 0 NOT NULL)")
        .Sql("ALTER TABLE CLCKeys ADD CONSTRAINT CLCKeysPrimary PRIMARY KEY (KeyValue)")
        .Sql("CREATE INDEX CLCKeysIX1 ON CLCKeys (SrvNo)");

    TableSteps(steps, "OfferGroups")
        .Sql(
            "CREATE TABLE OfferGroups (OfferGroupID INTEGER DEFAULT 0 NOT NULL, "
            "OfferGroupName VARCHAR(30) DEFAULT '' NOT NULL)")
        .Sql(
            "ALTER TABLE OfferGroups ADD CONSTRAINT OfferGroupsPrimary PRIMARY KEY (OfferGroupID)");

    TableSteps(steps, "OfferGroupEntries")
        .Sql(
            "CREATE TABLE OfferGroupEntries (OfferGroupID INTEGER DEFAULT 0 NOT NULL, "
            "OfferGroupType INTEGER DEFAULT 0 NOT NULL, ID BIGINT DEFAULT 0 NOT NULL)")
        .Sql(
            "ALTER TABLE OfferGroupEntries ADD CONSTRAINT OfferGroupEntriesPrimary "
            "PRIMARY KEY (OfferGroupID, OfferGroupType, ID)");

    TableSteps(steps, "MixMatchPlus")
        .Sql(
            "CREATE TABLE MixMatchPlus (MMNo INTEGER NOT NULL, Enable BIT DEFAULT 0 NOT NULL, "
            "UseTP BIT DEFAULT 0 NOT NULL, DateStart VARCHAR(8) DEFAULT '00000000' NOT NULL, "
            "DateEnd VARCHAR(8) DEFAULT '00000000' NOT NULL, MMAction INTEGER DEFAULT 0 NOT NULL, "
            "MMParam1 BIGINT DEFAULT 0 NOT NULL, " +
            Numbered("OfferGroupID%d INTEGER DEFAULT 0 NOT NULL", 1, 5, ", ") + ", " +
            Numbered("Count%d INTEGER DEFAULT 0 NOT NULL", 1, 5, ", ") +
            ", MMValue MONEY DEFAULT 0 NOT NULL)")
        .Sql("ALTER TABLE MixMatchPlus ADD Description VARCHAR(50) DEFAULT '' NOT NULL")
        .Sql("ALTER TABLE MixMatchPlus ADD ApplyMode INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE MixMatchPlus ADD OrderMode INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE MixMatchPlus ADD MMParam2 BIGINT DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE MixMatchPlus ADD UseGate INTEGER DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE MixMatchPlus ADD CONSTRAINT MixMatchPlusPrimary PRIMARY KEY (MMNo)")
        // UseTP was a switch and became a time-plan number.
        .Sql(DropUnnamedDefault(
            "MixMatchPlus", "UseTP",
            "EXEC ('ALTER TABLE MixMatchPlus DROP CONSTRAINT ' +  @V1) ALTER TABLE MixMatchPlus "
            "ALTER COLUMN UseTp INTEGER NOT NULL ALTER TABLE MixMatchPlus ADD CONSTRAINT "
            "MixMatchPlusUseTP DEFAULT 0 FOR UseTp "));

    TableSteps(steps, "TableGroupAreas")
        .Sql(
            "CREATE TABLE TableGroupAreas (AreaID INTEGER NOT NULL, "
            "AreaName VARCHAR(40) DEFAULT 'Table Group Area' NOT NULL, "
            "AreaEnable BIT DEFAULT 0 NOT NULL, TblnoLo INTEGER DEFAULT 1 NOT NULL, "
            "TblnoHi INTEGER DEFAULT 60 NOT NULL)")
        .Sql(
            "ALTER TABLE TableGroupAreas ADD CONSTRAINT TableGroupAreasPrimary "
            "PRIMARY KEY (AreaID)");

    TableSteps(steps, "TableAreas")
        .Sql(
            "CREATE TABLE TableAreas (AreaID INTEGER NOT NULL, "
            "AreaName VARCHAR(40) DEFAULT 'Table Area' NOT NULL, "
            "TblnoLo INTEGER DEFAULT 0 NOT NULL, "
            "TblnoHi INTEGER DEFAULT 0 NOT NULL, TableOpenMacro INTEGER DEFAULT 0 NOT NULL)",
            "TableAreas.create")
        .Sql("ALTER TABLE TableAreas ADD CONSTRAINT TableAreasPrimary PRIMARY KEY (AreaID)")
        // Every till needs one area to open tables in.
        .Convert(AddFirstTableArea, "TableAreas.create")
        .Sql("ALTER TABLE TableAreas ADD AutoTabsOnly BIT DEFAULT 0 NOT NULL")
        .Sql("ALTER TABLE TableAreas ADD " +
             Numbered(" KPEnable%d BIT DEFAULT 1 NOT NULL", 1, 9, ","))
        .Sql("ALTER TABLE TableAreas ADD SuppressCovers BIT DEFAULT 0 NOT NULL");

    TableSteps(steps, "TableStatusLevels")
        .Sql(
            "CREATE TABLE TableStatusLevels (SchemeNo INTEGER DEFAULT 0 NOT NULL, "
            "LevelNo INTEGER NOT NULL, Text VARCHAR(40) DEFAULT '' NOT NULL, "
            "ColourFore INTEGER DEFAULT 1 NOT NULL, ColourBack INTEGER DEFAULT 15 NOT NULL, " +
            Numbered("KP%d BIT DEFAULT 0 NOT NULL", 1, 9, ", ") +
            ", Category INTEGER DEFAULT 1 NOT NULL)")
        .Sql(
            "ALTER TABLE TableStatusLevels ADD TimeOut INTEGER DEFAULT 0 NOT NULL, "
            "TimedOutLevel INTEGER DEFAULT 0 NOT NULL")
        .Sql(
            "ALTER TABLE TableStatusLevels ADD CONSTRAINT TableStatusLevelsPrimary "
            "PRIMARY KEY (SchemeNo, LevelNo)");

    TableSteps(steps, "Biometrics")
        .Sql(
            "CREATE TABLE Biometrics (BioType INTEGER DEFAULT 1 NOT NULL, "
            "RecordType INTEGER DEFAULT 0 NOT NULL, Role INTEGER DEFAULT 0 NOT NULL, "
            "ID INTEGER DEFAULT 0 NOT NULL, Digit INTEGER DEFAULT 0 NOT NULL, "
            "SubIndex INTEGER DEFAULT 0 NOT NULL, Extract IMAGE)")
        .Sql(
            "ALTER TABLE Biometrics ADD CONSTRAINT BiometricsPrimary "
            "PRIMARY KEY (BioType, RecordType, Role, ID, Digit, SubIndex)");

    TableSteps(steps, "FlexTextHdrs")
        .Sql(
            "CREATE TABLE FlexTextHdrs (TextName VARCHAR(40) DEFAULT '' NOT NULL, "
            "Description VARCHAR(80) DEFAULT '' NOT NULL, "
            "[Default] VARCHAR(40) DEFAULT '' NOT NULL, "
            "Usage INTEGER DEFAULT 0 NOT NULL)")
        .Sql("ALTER TABLE FlexTextHdrs ADD CONSTRAINT FlexTextHdrsPrimary PRIMARY KEY (TextName)")
        .Sql("ALTER TABLE FlexTextHdrs ALTER COLUMN Description VARCHAR(500) NOT NULL")
        .Sql("ALTER TABLE FlexTextHdrs ALTER COLUMN [Default] VARCHAR(100) NOT NULL");

    TableSteps(steps, "FlexTextLines")
        .Sql(
            "CREATE TABLE FlexTextLines (SchemeNo INTEGER DEFAULT 0 NOT NULL, "
            "TextName VARCHAR(40) DEFAULT '' NOT NULL, Text VARCHAR(40) DEFAULT '' NOT NULL)")
        .Sql(
            "ALTER TABLE FlexTextLines ADD CONSTRAINT FlexTextLinesPrimary "
            "PRIMARY KEY (SchemeNo, TextName)");

    AddCustomers(steps, "Customers");
    AddCustomers(steps, "Customers2");

    TableSteps(steps, "Rooms")
        .Sql(
            "CREATE TABLE Rooms (RoomNo INTEGER DEFAULT 0 NOT NULL, "
            "Description VARCHAR(100) DEFAULT '' NOT NULL)")
        .Sql("ALTER TABLE Rooms ADD CONSTRAINT RoomsPrimary PRIMARY KEY (RoomNo)");

    TableSteps(steps, "PromoPackages")
        .Sql(
            "CREATE TABLE PromoPackages (PackageNo SMALLINT NOT NULL, "
            "Description VARCHAR(40) DEFAULT '' NOT NULL" +
            Numbered(", Type%d INTEGER, Qty%d INTEGER, TypeID%d BIGINT", 1, 10) + ")")
        .Sql(
            "ALTER TABLE PromoPackages ADD CONSTRAINT PromoPackagesPrimary PRIMARY KEY "
            "(PackageNo)");

    TableSteps(steps, "Allergies")
        .Sql(
            "CREATE TABLE Allergies (AllergyCode INTEGER DEFAULT 0 NOT NULL, "
            "Description VARCHAR(40) DEFAULT '' NOT NULL)")
        .Sql("ALTER TABLE Allergies ADD CONSTRAINT AllergiesPrimary PRIMARY KEY (AllergyCode)");
}

}  // namespace xr::setup
