// The statements that create the tables of the customer, system value,
// payment, staff, device, time-plan, table, room and screen classes, as the
// set-up pass runs them, table by table and in order; and CreateTables2,
// which runs them through DBExec. Left out: the statement that drops the old
// "Info" column of the customer tables (it fails on a new table), and the
// rows the set-up pass adds through the record classes (TableAreas' area 1).
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "xrdb8/frame.h"

namespace xrtest {

inline const std::vector<std::string> kPrintersSchema = {
    "CREATE TABLE Printers (TillNo INTEGER NOT NULL, "
    "Name VARCHAR(20) DEFAULT 'PrinterName' NOT NULL, Active BIT DEFAULT 0 NOT NULL, "
    "Port VARCHAR(20) DEFAULT 'NUL0' NOT NULL, Chan INTEGER DEFAULT 0 NOT NULL, "
    "Type VARCHAR(20) DEFAULT '--' NOT NULL, LinPP INTEGER DEFAULT 0 NOT NULL, "
    "TopMrg INTEGER DEFAULT 0 NOT NULL, Link INTEGER DEFAULT 0 NOT NULL, "
    "FloType INTEGER DEFAULT 0 NOT NULL)",
    "ALTER TABLE Printers ADD CONSTRAINT PrintersPrimary PRIMARY KEY (TillNo, Name)",
    "ALTER TABLE Printers ADD UseImage INTEGER DEFAULT 2 NOT NULL",
    "ALTER TABLE Printers ADD PrinterAlias VARCHAR(30) DEFAULT '' NOT NULL, "
    "Alternate VARCHAR(20) DEFAULT '' NOT NULL, AlternateEnable BIT DEFAULT 0 NOT NULL",
    "ALTER TABLE Printers ADD AlternateTill INTEGER DEFAULT 0 NOT NULL",
};

inline const std::vector<std::string> kPayMethsSchema = {
    "CREATE TABLE PayMeths (PymNo INTEGER NOT NULL, "
    "Name VARCHAR(40) DEFAULT 'PaymentMethod' NOT NULL, Floor MONEY DEFAULT 0 NOT NULL, "
    "Tender BIT DEFAULT 1 NOT NULL, OverTender BIT DEFAULT 0 NOT NULL, "
    "Change BIT DEFAULT 1 NOT NULL, Gratuity BIT DEFAULT 0 NOT NULL, "
    "Drawer BIT DEFAULT 0 NOT NULL, Eft BIT DEFAULT 0 NOT NULL, "
    "Cashback BIT DEFAULT 0 NOT NULL, NonBank BIT DEFAULT 0 NOT NULL, "
    "AltCur BIT DEFAULT 0 NOT NULL)",
    "ALTER TABLE PayMeths ADD PayText VARCHAR(500) DEFAULT 'no text' NOT NULL",
    "ALTER TABLE PayMeths ADD CONSTRAINT PaymethsPrimary PRIMARY KEY (PymNo)",
    "ALTER TABLE PayMeths ADD RctPrint BIT DEFAULT 1 NOT NULL, CustNP BIT DEFAULT 0 NOT NULL",
    "ALTER TABLE PayMeths ADD FuncNo INTEGER DEFAULT 0 NOT NULL, "
    "PaymentType INTEGER DEFAULT 0 NOT NULL, ForexNo INTEGER DEFAULT 0 NOT NULL, "
    "InDrawer BIT DEFAULT 1 NOT NULL",
    "ALTER TABLE PayMeths ADD ForHH BIT DEFAULT 1 NOT NULL",
    "ALTER TABLE PayMeths ADD WithCashLimitDrawer BIT DEFAULT 0 NOT NULL",
    "UPDATE Paymeths SET WithCashLimitDrawer=1 WHERE [PymNo]=1",
    "ALTER TABLE PayMeths ADD DepositChange INTEGER DEFAULT 0 NOT NULL, "
    "DepositChangeAsVoucherMin INTEGER DEFAULT 0 NOT NULL",
    "ALTER TABLE PayMeths ADD ExternAppParam1 VARCHAR(100) DEFAULT '' NOT NULL",
    "ALTER TABLE PayMeths ADD AccountAllow BIT DEFAULT 1 NOT NULL",
    "ALTER TABLE PayMeths ADD CashDeclaration BIT DEFAULT 1 NOT NULL",
    "ALTER TABLE PayMeths ADD ChangeAsCashback BIT DEFAULT 0 NOT NULL",
};

inline const std::vector<std::string> kFunctionsSchema = {
    "CREATE TABLE Functions (FuncNo INTEGER NOT NULL, "
    "Name VARCHAR(40) DEFAULT 'FunctionName' NOT NULL, Auth INTEGER DEFAULT 9 NOT NULL, "
    "Password BIT DEFAULT '' NOT NULL, Audit BIT DEFAULT 0 NOT NULL, "
    "Log BIT DEFAULT 0 NOT NULL, Auditable BIT DEFAULT 0 NOT NULL)",
    "ALTER TABLE Functions ADD CONSTRAINT FunctionsPrimary PRIMARY KEY (FuncNo)",
};

inline const std::vector<std::string> kTimePlansSchema = {
    "CREATE TABLE TimePlans (PlanNo INTEGER NOT NULL, Name VARCHAR(40) DEFAULT '' NOT NULL)",
    "ALTER TABLE TimePlans ADD CONSTRAINT TimePlansPrimary PRIMARY KEY (PlanNo)",
};

inline const std::vector<std::string> kTimePlanEntrysSchema = {
    "CREATE TABLE TimePlanEntrys (PlanNo INTEGER NOT NULL, EntryNo INTEGER DEFAULT 0 NOT NULL, "
    "Active BIT DEFAULT 0 NOT NULL, Name VARCHAR(40) DEFAULT '' NOT NULL, "
    "Type INTEGER DEFAULT 0 NOT NULL, Sunday BIT DEFAULT 0 NOT NULL, "
    "Monday BIT DEFAULT 0 NOT NULL, Tuesday BIT DEFAULT 0 NOT NULL, "
    "Wednesday BIT DEFAULT 0 NOT NULL, Thursday BIT DEFAULT 0 NOT NULL, "
    "Friday BIT DEFAULT 0 NOT NULL, Saturday BIT DEFAULT 0 NOT NULL, "
    "StartHours INTEGER DEFAULT 0 NOT NULL, StartMins INTEGER DEFAULT 0 NOT NULL, "
    "EndHours INTEGER DEFAULT 0 NOT NULL, EndMins INTEGER DEFAULT 0 NOT NULL, "
    "EndPeriod INTEGER DEFAULT 0 NOT NULL, IPam1 INTEGER DEFAULT 0 NOT NULL, "
    "IPam2 INTEGER DEFAULT 0 NOT NULL, SPam1 VARCHAR(20) DEFAULT '' NOT NULL)",
    "ALTER TABLE TimePlanEntrys ADD DateFrom DATETIME DEFAULT '20000101' NOT NULL, "
    "DateTo DATETIME DEFAULT '90001231' NOT NULL",
    "ALTER TABLE TimePlanEntrys ADD CONSTRAINT TimePlanEntrysPrimary PRIMARY KEY (PlanNo, "
    "EntryNo)",
};

inline const std::vector<std::string> kServersSchema = {
    "CREATE TABLE Servers (SrvNo INTEGER NOT NULL, Name VARCHAR(40) DEFAULT 'ServerName' NOT NULL, "
    "Auth INTEGER DEFAULT 0 NOT NULL, Password INTEGER DEFAULT 0 NOT NULL, "
    "Drawer INTEGER DEFAULT 0 NOT NULL)",
    "ALTER TABLE Servers ADD FlipView BIT DEFAULT 0 NOT NULL",
    "ALTER TABLE Servers ADD TrainingMode BIT DEFAULT 0 NOT NULL",
    "ALTER TABLE Servers ADD LogonMacro INTEGER DEFAULT 0 NOT NULL",
    "ALTER TABLE Servers ADD OpenTableMode INTEGER DEFAULT 1 NOT NULL",
    "ALTER TABLE Servers ADD CONSTRAINT ServersPrimary PRIMARY KEY (SrvNo)",
};

inline const std::vector<std::string> kTablesSchema = {
    "CREATE TABLE Tables (TblNo INTEGER NOT NULL, Name VARCHAR(40) DEFAULT 'TableName' NOT NULL, "
    "Account BIT DEFAULT 0 NOT NULL)",
    "ALTER TABLE Tables ADD StatusAutoEnable BIT DEFAULT 1 NOT NULL, "
    "StatusAutoPaidToUnused BIT DEFAULT 1 NOT NULL",
    "ALTER TABLE Tables ADD LimitEnable BIT DEFAULT 0 NOT NULL, Limit INTEGER DEFAULT 0 NOT NULL",
    "ALTER TABLE Tables ADD CONSTRAINT TablesPrimary PRIMARY KEY (TblNo)",
};

inline const std::vector<std::string> kPresetsSchema = {
    "CREATE TABLE Presets (ScrnNo INTEGER NOT NULL, PresetNo INTEGER DEFAULT 0 NOT NULL, "
    "PLU INTEGER DEFAULT 0 NOT NULL)",
    "ALTER TABLE Presets ADD CONSTRAINT PresetsPrimary PRIMARY KEY (ScrnNo, PresetNo)",
};

inline const std::vector<std::string> kForexSchema = {
    "CREATE TABLE Forex (ForexNo INTEGER NOT NULL, Description VARCHAR(20) DEFAULT 'Forex' NOT "
    "NULL, Symbol CHAR(4) DEFAULT '?' NOT NULL, DP INTEGER DEFAULT 2 NOT NULL, "
    "toPound FLOAT(24) DEFAULT 1 NOT NULL)",
    "ALTER TABLE Forex ADD CONSTRAINT ForexPrimary PRIMARY KEY (ForexNo)",
    "ALTER TABLE Forex ADD EntryNoDP INTEGER DEFAULT 0 NOT NULL",
    "ALTER TABLE Forex ADD fromBase FLOAT(24) DEFAULT 0 NOT NULL",
};

inline const std::vector<std::string> kScreenModesSchema = {
    "CREATE TABLE ScreenModes (ScrnNo INTEGER NOT NULL, Description VARCHAR(40) DEFAULT '' NOT "
    "NULL, ListTop INTEGER DEFAULT 2000 NOT NULL, FListLoggedOff INTEGER DEFAULT 2001 NOT NULL, "
    "FListTrading INTEGER DEFAULT 2002 NOT NULL, FListPayment INTEGER DEFAULT 2003 NOT NULL)",
    "ALTER TABLE ScreenModes ADD CONSTRAINT ScreenModesPrimary PRIMARY KEY (ScrnNo)",
    "ALTER TABLE ScreenModes ADD ListFastBar INTEGER DEFAULT 0 NOT NULL",
    "ALTER TABLE ScreenModes ADD ScreenStyle INTEGER DEFAULT 1 NOT NULL",
    "ALTER TABLE ScreenModes ADD ListTopPayment INTEGER DEFAULT 0 NOT NULL",
    "ALTER TABLE ScreenModes ADD ListLoggedOff INTEGER DEFAULT 0 NOT NULL",
    "ALTER TABLE ScreenModes ADD ScreenStyleLoggedOff INTEGER DEFAULT 1 NOT NULL",
};

inline const std::vector<std::string> kMacrosSchema = {
    "CREATE TABLE Macros (MacNo INTEGER DEFAULT 0 NOT NULL, MacText VARCHAR(100) DEFAULT '' NOT "
    "NULL)",
    "ALTER TABLE Macros ADD CONSTRAINT MacrosPrimary PRIMARY KEY (MacNo)",
    "ALTER TABLE Macros ADD Description VARCHAR(50) DEFAULT '' NOT NULL",
};

inline const std::vector<std::string> kPresetSrvrsSchema = {
    "CREATE TABLE PresetSrvrs (TillNo INTEGER NOT NULL, Preset INTEGER DEFAULT 0 NOT NULL, "
    "SrvNo INTEGER DEFAULT 0 NOT NULL)",
    "ALTER TABLE PresetSrvrs ADD CONSTRAINT PresetSrvrsPrimary PRIMARY KEY (TillNo, Preset)",
};

inline const std::vector<std::string> kSysValuesSchema = {
    "CREATE TABLE SysValues (FieldName VARCHAR(40) NOT NULL, FieldIndex INTEGER DEFAULT 0 NOT "
    "NULL, iValue INTEGER DEFAULT 0 NOT NULL, fValue FLOAT(24) DEFAULT 0 NOT NULL, "
    "sValue VARCHAR(150) DEFAULT '' NOT NULL)",
    "ALTER TABLE SysValues ADD CONSTRAINT SysValuesPrimary PRIMARY KEY (FieldName, FieldIndex)",
    "ALTER TABLE SysValues ALTER COLUMN sValue VARCHAR(150) NOT NULL",
};

inline const std::vector<std::string> kTableGroupAreasSchema = {
    "CREATE TABLE TableGroupAreas (AreaID INTEGER NOT NULL, "
    "AreaName VARCHAR(40) DEFAULT 'Table Group Area' NOT NULL, "
    "AreaEnable BIT DEFAULT 0 NOT NULL, TblnoLo INTEGER DEFAULT 1 NOT NULL, "
    "TblnoHi INTEGER DEFAULT 60 NOT NULL)",
    "ALTER TABLE TableGroupAreas ADD CONSTRAINT TableGroupAreasPrimary PRIMARY KEY (AreaID)",
};

inline const std::vector<std::string> kTableAreasSchema = {
    "CREATE TABLE TableAreas (AreaID INTEGER NOT NULL, "
    "AreaName VARCHAR(40) DEFAULT 'Table Area' NOT NULL, TblnoLo INTEGER DEFAULT 0 NOT NULL, "
    "TblnoHi INTEGER DEFAULT 0 NOT NULL, TableOpenMacro INTEGER DEFAULT 0 NOT NULL)",
    "ALTER TABLE TableAreas ADD CONSTRAINT TableAreasPrimary PRIMARY KEY (AreaID)",
    "ALTER TABLE TableAreas ADD AutoTabsOnly BIT DEFAULT 0 NOT NULL",
    "ALTER TABLE TableAreas ADD KPEnable1 BIT DEFAULT 1 NOT NULL, KPEnable2 BIT DEFAULT 1 NOT "
    "NULL, KPEnable3 BIT DEFAULT 1 NOT NULL, KPEnable4 BIT DEFAULT 1 NOT NULL, "
    "KPEnable5 BIT DEFAULT 1 NOT NULL, KPEnable6 BIT DEFAULT 1 NOT NULL, "
    "KPEnable7 BIT DEFAULT 1 NOT NULL, KPEnable8 BIT DEFAULT 1 NOT NULL, "
    "KPEnable9 BIT DEFAULT 1 NOT NULL",
    "ALTER TABLE TableAreas ADD SuppressCovers BIT DEFAULT 0 NOT NULL",
};

inline const std::vector<std::string> kTableStatusLevelsSchema = {
    "CREATE TABLE TableStatusLevels (SchemeNo INTEGER DEFAULT 0 NOT NULL, LevelNo INTEGER NOT "
    "NULL, Text VARCHAR(40) DEFAULT '' NOT NULL, ColourFore INTEGER DEFAULT 1 NOT NULL, "
    "ColourBack INTEGER DEFAULT 15 NOT NULL, KP1 BIT DEFAULT 0 NOT NULL, "
    "KP2 BIT DEFAULT 0 NOT NULL, KP3 BIT DEFAULT 0 NOT NULL, KP4 BIT DEFAULT 0 NOT NULL, "
    "KP5 BIT DEFAULT 0 NOT NULL, KP6 BIT DEFAULT 0 NOT NULL, KP7 BIT DEFAULT 0 NOT NULL, "
    "KP8 BIT DEFAULT 0 NOT NULL, KP9 BIT DEFAULT 0 NOT NULL, Category INTEGER DEFAULT 1 NOT "
    "NULL)",
    "ALTER TABLE TableStatusLevels ADD TimeOut INTEGER DEFAULT 0 NOT NULL, "
    "TimedOutLevel INTEGER DEFAULT 0 NOT NULL",
    "ALTER TABLE TableStatusLevels ADD CONSTRAINT TableStatusLevelsPrimary PRIMARY KEY "
    "(SchemeNo, LevelNo)",
};

inline const std::vector<std::string> kFlexTextHdrsSchema = {
    "CREATE TABLE FlexTextHdrs (TextName VARCHAR(40) DEFAULT '' NOT NULL, "
    "Description VARCHAR(80) DEFAULT '' NOT NULL, [Default] VARCHAR(40) DEFAULT '' NOT NULL, "
    "Usage INTEGER DEFAULT 0 NOT NULL)",
    "ALTER TABLE FlexTextHdrs ADD CONSTRAINT FlexTextHdrsPrimary PRIMARY KEY (TextName)",
    "ALTER TABLE FlexTextHdrs ALTER COLUMN Description VARCHAR(500) NOT NULL",
    "ALTER TABLE FlexTextHdrs ALTER COLUMN [Default] VARCHAR(100) NOT NULL",
};

inline const std::vector<std::string> kFlexTextLinesSchema = {
    "CREATE TABLE FlexTextLines (SchemeNo INTEGER DEFAULT 0 NOT NULL, "
    "TextName VARCHAR(40) DEFAULT '' NOT NULL, Text VARCHAR(40) DEFAULT '' NOT NULL)",
    "ALTER TABLE FlexTextLines ADD CONSTRAINT FlexTextLinesPrimary PRIMARY KEY (SchemeNo, "
    "TextName)",
};

// The statements of one customer table: Customers numbers its rows itself
// and starts with the default customer; Customers2 takes the numbers given.
inline std::vector<std::string> CustomersSchema(const std::string& table) {
    const bool identity = table == "Customers";
    std::vector<std::string> sql = {
        "CREATE TABLE " + table + " (ID INTEGER " + (identity ? "IDENTITY" : "NOT NULL") +
            ", LastName VARCHAR(50) DEFAULT '' NOT NULL, FirstName VARCHAR(50) DEFAULT '' NOT "
            "NULL, Title VARCHAR(10) DEFAULT '' NOT NULL, Address1 VARCHAR(80) DEFAULT '' NOT "
            "NULL, Address2 VARCHAR(80) DEFAULT '' NOT NULL, Address3 VARCHAR(80) DEFAULT '' NOT "
            "NULL, Postcode VARCHAR(10) DEFAULT '' NOT NULL, Tel1 VARCHAR(25) DEFAULT '' NOT "
            "NULL, Tel2 VARCHAR(25) DEFAULT '' NOT NULL, Tel3 VARCHAR(25) DEFAULT '' NOT NULL, "
            "Email VARCHAR(80) DEFAULT '' NOT NULL, CreationTime DATETIME DEFAULT '20000101' NOT "
            "NULL, ModifiedTime DATETIME DEFAULT '20000101' NOT NULL, LastUsedTime DATETIME "
            "DEFAULT '20000101' NOT NULL, CustomerGroupID INTEGER DEFAULT 1 NOT NULL, "
            "CountryCode INTEGER DEFAULT 826 NOT NULL)",
        "ALTER TABLE " + table +
            " ADD Info1 VARCHAR(100) DEFAULT '' NOT NULL, Info2 VARCHAR(100) DEFAULT '' NOT "
            "NULL, Info3 VARCHAR(100) DEFAULT '' NOT NULL",
        "ALTER TABLE " + table + " ADD CreditLimit MONEY DEFAULT 0 NOT NULL",
        "ALTER TABLE " + table + " ADD Temporary BIT DEFAULT 0 NOT NULL",
        "ALTER TABLE " + table + " ADD Active BIT DEFAULT 1 NOT NULL",
        "ALTER TABLE " + table + " ADD Source INTEGER DEFAULT 0 NOT NULL",
        "ALTER TABLE " + table + " ADD IsVIP BIT DEFAULT 0 NOT NULL",
        "ALTER TABLE " + table + " ADD CONSTRAINT " + table + "Primary PRIMARY KEY (ID)",
        "CREATE UNIQUE INDEX " + table + "IX1 ON " + table + "  (LastName, FirstName, Title, ID)",
        "CREATE INDEX " + table + "IX2 ON " + table + "  (Postcode, Address1, LastName)",
    };
    if (identity) sql.push_back("INSERT " + table + " ([LastName]) VALUES ('Default Customer')");
    return sql;
}

inline const std::vector<std::string> kCustomersSchema = CustomersSchema("Customers");
inline const std::vector<std::string> kCustomers2Schema = CustomersSchema("Customers2");

inline const std::vector<std::string> kRoomsSchema = {
    "CREATE TABLE Rooms (RoomNo INTEGER DEFAULT 0 NOT NULL, Description VARCHAR(100) DEFAULT '' "
    "NOT NULL)",
    "ALTER TABLE Rooms ADD CONSTRAINT RoomsPrimary PRIMARY KEY (RoomNo)",
};

inline const std::map<std::string, const std::vector<std::string>*> kSchemas2 = {
    {"Printers", &kPrintersSchema},
    {"PayMeths", &kPayMethsSchema},
    {"Functions", &kFunctionsSchema},
    {"TimePlans", &kTimePlansSchema},
    {"TimePlanEntrys", &kTimePlanEntrysSchema},
    {"Servers", &kServersSchema},
    {"Tables", &kTablesSchema},
    {"Presets", &kPresetsSchema},
    {"Forex", &kForexSchema},
    {"ScreenModes", &kScreenModesSchema},
    {"Macros", &kMacrosSchema},
    {"PresetSrvrs", &kPresetSrvrsSchema},
    {"SysValues", &kSysValuesSchema},
    {"TableGroupAreas", &kTableGroupAreasSchema},
    {"TableAreas", &kTableAreasSchema},
    {"TableStatusLevels", &kTableStatusLevelsSchema},
    {"FlexTextHdrs", &kFlexTextHdrsSchema},
    {"FlexTextLines", &kFlexTextLinesSchema},
    {"Customers", &kCustomersSchema},
    {"Customers2", &kCustomers2Schema},
    {"Rooms", &kRoomsSchema},
};

// Creates each table with every statement the set-up pass runs for it.
inline void CreateTables2(std::initializer_list<const char*> tables) {
    for (const char* table : tables) {
        auto it = kSchemas2.find(table);
        ASSERT_NE(it, kSchemas2.end()) << table;
        for (const std::string& sql : *it->second) ASSERT_EQ(DBExec(sql.c_str()), 1) << sql;
    }
}

}  // namespace xrtest
