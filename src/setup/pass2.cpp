// Pass 2: the trading database LORIMDB82, where the tills keep their totals,
// variables, states and transaction history. Each table is created with the
// columns it was introduced with; later columns follow, one statement per
// release, so an old database gains exactly what it lacks.
#include "platform/text.h"
#include "setup/pass23.h"

namespace xr::setup {

namespace {

// The totals shared by every totals table: no default, a till always writes them.
constexpr const char* kTotals = "TotValue MONEY NOT NULL, TotQty DECIMAL(10,3) NOT NULL";

// Bookings can carry eight deals, each a type and the id of what it refers to.
std::string BookingDeals() {
    std::string columns;
    for (int n = 1; n <= 8; ++n) {
        if (n > 1) columns += ",";
        columns += Format(" DealType%d INTEGER, DealID%d BIGINT", n, n);
    }
    return columns;
}

}  // namespace

std::vector<Step> Pass2Steps() {
    std::vector<Step> s;
    const std::string totals = kTotals;

    TableSchema(s, "TillTotals")
        .Create(
            "TotType INTEGER NOT NULL, TillNo INTEGER NOT NULL, Drawer INTEGER NOT NULL, "
            "FieldName CHAR(20) NOT NULL, FieldIndex INTEGER NOT NULL, " +
            totals)
        .PrimaryKey("TotType, TillNo, Drawer, FieldName, FieldIndex");

    // The key column FieldName was widened: the key has to go while the column
    // changes, and comes back straight after.
    TableSchema(s, "TillVars")
        .Create("FieldName CHAR(40) NOT NULL, FieldIndex INTEGER NOT NULL, Value INTEGER NOT NULL")
        .Add("SValue VARCHAR(50) DEFAULT '' NOT NULL")
        .Statement("ALTER TABLE Tillvars DROP CONSTRAINT TillVarsPrimary")
        .AlterColumn("FieldName CHAR(40) NOT NULL")
        .AlterColumn("SValue VARCHAR(200) NOT NULL")
        .PrimaryKey("FieldName, FieldIndex");

    TableSchema(s, "TillStates")
        .Create(
            "TillNo INTEGER DEFAULT 0 NOT NULL, State INTEGER DEFAULT 0 NOT NULL, "
            "DTOpen CHAR(20) DEFAULT '00.00.00 00:00:00' NOT NULL, "
            "DTClose CHAR(20) DEFAULT '00.00.00 00:00:00' NOT NULL")
        .Add("DTSOD CHAR(20) DEFAULT '00.00.00 00:00:00' NOT NULL")
        .Add("DTSOD2 VARCHAR(60) DEFAULT '' NOT NULL")
        .Add("SessionID INTEGER DEFAULT 0 NOT NULL")
        .PrimaryKey("TillNo");

    // Till 0 totals are the server's own running figures: they start afresh
    // on every set-up.
    TableSchema(s, "ProdSales")
        .Create(
            "TotType INTEGER NOT NULL, TillNo INTEGER DEFAULT 0 NOT NULL, Day INTEGER NOT NULL, "
            "Plu BIGINT NOT NULL, PriceBand INTEGER NOT NULL, " +
            totals)
        .PrimaryKey("TotType, TillNo, Day, Plu, PriceBand")
        .Statement("DELETE FROM ProdSales WHERE TillNo=0");

    TableSchema(s, "DeptSales")
        .Create(
            "TotType INTEGER NOT NULL, TillNo INTEGER DEFAULT 0 NOT NULL, Day INTEGER NOT NULL, "
            "DptNo INTEGER NOT NULL, " +
            totals)
        .PrimaryKey("TotType, TillNo, Day, DptNo")
        .Statement("DELETE FROM DeptSales WHERE TillNo=0");

    TableSchema(s, "GrpSales")
        .Create(
            "TotType INTEGER NOT NULL, TillNo INTEGER DEFAULT 0 NOT NULL, Day INTEGER NOT NULL, "
            "GrpNo INTEGER NOT NULL, " +
            totals)
        .PrimaryKey("TotType, TillNo, Day, GrpNo")
        .Statement("DELETE FROM GrpSales WHERE TillNo=0");

    TableSchema(s, "SrvrSales")
        .Create(
            "TotType INTEGER NOT NULL, SrvrNo INTEGER NOT NULL, "
            "TillNo INTEGER DEFAULT 0 NOT NULL, FieldName CHAR(20) NOT NULL, "
            "FieldIndex INTEGER NOT NULL, " +
            totals)
        .PrimaryKey("TotType, TillNo, SrvrNo, FieldName, FieldIndex")
        .Statement("DELETE FROM SrvrSales WHERE TillNo=0");

    TableSchema(s, "SrvrSalesPlus")
        .Create(
            "TotType INTEGER NOT NULL, SrvrNo INTEGER NOT NULL, "
            "TillNo INTEGER DEFAULT 0 NOT NULL, Drawer INTEGER DEFAULT 0 NOT NULL, "
            "FieldName CHAR(20) NOT NULL, FieldIndex INTEGER NOT NULL, " +
            totals)
        .PrimaryKey("TotType, TillNo, Drawer, SrvrNo, FieldName, FieldIndex");

    TableSchema(s, "MoreTotals")
        .Create(
            "TotType INTEGER NOT NULL, Day INTEGER NOT NULL, FieldName CHAR(20) NOT NULL, "
            "FieldIndex INTEGER NOT NULL, TillNo INTEGER DEFAULT 0 NOT NULL, " +
            totals)
        .PrimaryKey("TotType, TillNo, Day, FieldName, FieldIndex")
        .Statement("DELETE FROM MoreTotals WHERE TillNo=0");

    // DateTime is text of the form '00000000 000000' (date, blank, time) and
    // TradingDate a date '20050101', as the tills write them.
    TableSchema(s, "TranHistory")
        .Create(
            "DateTime VARCHAR(16) DEFAULT '00000000 000000' NOT NULL, "
            "TrnIndex INTEGER DEFAULT 0 NOT NULL, TotValue MONEY DEFAULT 0 NOT NULL, "
            "TrnNo INTEGER DEFAULT 0 NOT NULL, TblNo INTEGER DEFAULT 0 NOT NULL, "
            "Split INTEGER DEFAULT 0 NOT NULL, SrvNo INTEGER DEFAULT 0 NOT NULL, "
            "PymNo INTEGER DEFAULT 0 NOT NULL, Vip BIT DEFAULT 0 NOT NULL, "
            "Refund BIT DEFAULT 0 NOT NULL")
        .PrimaryKey("DateTime, TrnNo, TrnIndex")
        .Index(1, "TrnNo")
        .Add("TradingDate VARCHAR(8) DEFAULT '20050101' NOT NULL")
        .Add("AccountTran INTEGER DEFAULT 0 NOT NULL")
        .Add("BookingId BIGINT DEFAULT 0 NOT NULL")
        .Add("VoidTran INTEGER DEFAULT 0 NOT NULL")
        .Add("Wastage INTEGER DEFAULT 0 NOT NULL")
        // Only the few transactions of a booking are looked up by it.
        .Index(2, "BookingId", "BookingId <> 0");

    TableSchema(s, "TableStates")
        .Create(
            "TblNo INTEGER DEFAULT 0 NOT NULL, Split INTEGER DEFAULT 0 NOT NULL, "
            "Status INTEGER DEFAULT 0 NOT NULL, Covers INTEGER DEFAULT 0 NOT NULL, "
            "SrvNo INTEGER DEFAULT 0 NOT NULL, OpenTime INTEGER DEFAULT 0 NOT NULL, "
            "AccessTime INTEGER DEFAULT 0 NOT NULL")
        .Add("UpdateID INTEGER DEFAULT 0 NOT NULL")
        .Add("CustNo INTEGER DEFAULT 0 NOT NULL")
        .Add("LastChangeTime DATETIME DEFAULT '20100101' NOT NULL")
        .PrimaryKey("TblNo, Split");

    TableSchema(s, "ClosedTrans")
        .Create(
            "TrnNo INTEGER DEFAULT 0 NOT NULL, Status INTEGER DEFAULT 0 NOT NULL, "
            "DateTime DATETIME DEFAULT 0 NOT NULL")
        .PrimaryKey("TrnNo");

    TableSchema(s, "Products86")
        .Create(
            "PluNo BIGINT DEFAULT 0 NOT NULL, Stock INTEGER DEFAULT 0 NOT NULL, "
            "UpdateID INTEGER DEFAULT 0 NOT NULL")
        .Add("fStock FLOAT(24) DEFAULT 0 NOT NULL")
        .PrimaryKey("PluNo");

    TableSchema(s, "OpenTransactions")
        .Create(
            "WhenType INTEGER NOT NULL, TrnNo INTEGER DEFAULT 0 NOT NULL, "
            "EntryType INTEGER NOT NULL, EntryID INTEGER NOT NULL, " +
            totals)
        .PrimaryKey("WhenType, TrnNo, EntryType, EntryID");

    TableSchema(s, "AttendanceEvents")
        .Create(
            "SrvNo INTEGER NOT NULL, OpType INTEGER DEFAULT 0 NOT NULL, "
            "TillNo INTEGER DEFAULT 0 NOT NULL, EventTime DATETIME DEFAULT '20000101' NOT NULL, "
            "ManagedCount INTEGER DEFAULT 0 NOT NULL, ManagedBy INTEGER, "
            "ManagedWhen DATETIME, ID INTEGER IDENTITY")
        .Add("EventTimeOriginal DATETIME")
        .PrimaryKey("ID")
        .UniqueIndex(1, "SrvNo, EventTime, ID");

    TableSchema(s, "CustomerDeposits")
        .Create(
            "ID INTEGER IDENTITY, CustomerName VARCHAR(40) DEFAULT 'Name' NOT NULL, "
            "Description VARCHAR(200) DEFAULT '' NOT NULL, "
            "CreationTime DATETIME DEFAULT '20000101' NOT NULL, "
            "ParentTrnno INTEGER DEFAULT 0 NOT NULL, Value MONEY DEFAULT 0 NOT NULL, "
            "ValueUsed MONEY DEFAULT 0 NOT NULL, Status INTEGER DEFAULT 0 NOT NULL, "
            "UseTime DATETIME, SrvNo INTEGER DEFAULT 0 NOT NULL")
        .PrimaryKey("ID")
        .Add("CustomerID INTEGER")
        .Add("IssueType INTEGER DEFAULT 0 NOT NULL")
        .Add("BookID INTEGER")
        .Add(
            "Plu BIGINT DEFAULT 0 NOT NULL, VatRate FLOAT(24) DEFAULT 0 NOT NULL, "
            "VatBand INTEGER DEFAULT -1 NOT NULL")
        .UniqueIndex(1, "CustomerID, ID")
        .UniqueIndex(2, "BookID, ID");

    TableSchema(s, "Bookings")
        .Create(
            "BookID INTEGER IDENTITY, CustomerID INTEGER DEFAULT 0 NOT NULL, "
            "TimePoint DATETIME DEFAULT '20000101' NOT NULL, Covers INTEGER DEFAULT 0 NOT NULL, "
            "Location VARCHAR(60) DEFAULT '' NOT NULL, Info VARCHAR(200) DEFAULT '' NOT NULL, "
            "TimeMade DATETIME DEFAULT '20000101' NOT NULL, MadeBy INTEGER DEFAULT 0 NOT NULL, "
            "Status INTEGER DEFAULT 0 NOT NULL, DepositID INTEGER")
        .Add("Duration INTEGER DEFAULT 0 NOT NULL, DepositRequired MONEY DEFAULT 0 NOT NULL")
        .Add("TrnnoUse INTEGER DEFAULT 0 NOT NULL")
        .Add("ExternRef INTEGER")
        .Add(BookingDeals())
        .PrimaryKey("BookID")
        .UniqueIndex(1, "TimePoint, BookID")
        .UniqueIndex(2, "CustomerID, BookID")
        .UniqueIndex(3, "DepositID, BookID");

    TableSchema(s, "WastageSales")
        .Create(
            "TotType INTEGER NOT NULL, TillNo INTEGER DEFAULT 0 NOT NULL, Day INTEGER NOT NULL, "
            "Plu BIGINT NOT NULL, SrvNo INTEGER NOT NULL, " +
            totals)
        .PrimaryKey("TotType, TillNo, Day, Plu, SrvNo");

    TableSchema(s, "LoyUsage")
        .Create(
            "ID VARCHAR(20) DEFAULT '' NOT NULL, UsageType INTEGER NOT NULL, "
            "StartDate DATETIME NOT NULL, Usage MONEY NOT NULL")
        .PrimaryKey("ID, UsageType, StartDate")
        .Add("CreditInitial MONEY DEFAULT 0 NOT NULL");

    TableSchema(s, "AccountEvents")
        .Create(
            "ID INTEGER IDENTITY, AccountType INTEGER DEFAULT 0 NOT NULL, "
            "AccountID INTEGER DEFAULT 0 NOT NULL, EventType INTEGER DEFAULT 0 NOT NULL, "
            "EventTime DATETIME, BalanceBefore MONEY DEFAULT 0 NOT NULL, "
            "BalanceAfter MONEY DEFAULT 0 NOT NULL, Trnno INTEGER DEFAULT 0 NOT NULL")
        .Add("TrnTill INTEGER DEFAULT 0 NOT NULL")
        .Add("AmountOpen INTEGER DEFAULT 0 NOT NULL")
        .Add("XInfo1 INTEGER DEFAULT 0 NOT NULL")
        .Add("Status INTEGER DEFAULT 0 NOT NULL")
        .PrimaryKey("ID")
        .UniqueIndex(1, "AccountType, AccountID, EventTime, ID")
        .UniqueIndex(3, "Trnno, ID");

    // No primary key: the two unique indexes keep ids and data texts apart.
    TableSchema(s, "ResourceGeneral")
        .Create(
            "ID INTEGER IDENTITY, Type INTEGER DEFAULT 0 NOT NULL, "
            "State INTEGER DEFAULT 0 NOT NULL, CreationTime DATETIME, "
            "Data VARCHAR(60) DEFAULT '' NOT NULL")
        .Add("UsedInTrnno INTEGER DEFAULT 0 NOT NULL")
        .UniqueIndex(1, "ID")
        .UniqueIndex(2, "Data");

    TableSchema(s, "NetSalesTotals")
        .Create(
            "Date DATETIME DEFAULT '20000101' NOT NULL, SeqNo INTEGER DEFAULT 0 NOT NULL, "
            "SalesValue INTEGER DEFAULT 0 NOT NULL, SalesCnt INTEGER DEFAULT 0 NOT NULL")
        .Add("EODcnt INTEGER DEFAULT 0 NOT NULL")
        .Add("Printed INTEGER DEFAULT 0 NOT NULL")
        .PrimaryKey("Date, SeqNo");

    return s;
}

}  // namespace xr::setup
