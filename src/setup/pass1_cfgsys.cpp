// Pass 1, CfgSys: the single row of system settings. The table has no key;
// `Numb` and `Vatr` have no default, so a row names both.
#include "setup/pass1.h"

namespace xr::setup {

namespace {
// The notice board's default address: the vendor's own page.
constexpr const char* kNoticeBoardURL = "http://www.brantuk.com/noticeboard/";
}  // namespace

void AddCfgSys(std::vector<Step>& steps) {
    TableSteps t(steps, "CfgSys");
    t.Sql("CREATE TABLE CfgSys (Numb INTEGER NOT NULL" +
          Numbered(", Name%d VARCHAR(42) DEFAULT '' NOT NULL", 1, 5) +
          ", Vatr VARCHAR(16) NOT NULL" +
          Numbered(", Vatv%d DECIMAL(5,2) DEFAULT 0 NOT NULL", 1, 6) +
          ", Tills INTEGER DEFAULT 1 NOT NULL, EowDay INTEGER DEFAULT 0 NOT NULL, "
          "PluMax INTEGER DEFAULT 9999 NOT NULL, SrvMax INTEGER DEFAULT 99 NOT NULL, "
          "TblMax INTEGER DEFAULT 9 NOT NULL, Master INTEGER DEFAULT 1 NOT NULL, "
          "WkCnt INTEGER DEFAULT 0 NOT NULL, DayCnt INTEGER DEFAULT 0 NOT NULL, "
          "SysFlags INTEGER DEFAULT 0 NOT NULL, RepFlags INTEGER DEFAULT 0 NOT NULL, "
          "Eft INTEGER DEFAULT 0 NOT NULL, Loyalty INTEGER DEFAULT 0 NOT NULL)");
    t.Sql(
        "ALTER TABLE CfgSys ADD ExpoFixPath VARCHAR(100) DEFAULT '' NOT NULL, "
        "ExpoFixQuote CHAR(3) DEFAULT '\"' NOT NULL, ExpoFixFreeText BIT DEFAULT 0 NOT NULL, "
        "ExpoFixProd BIT DEFAULT 0 NOT NULL, ExpoFixBarc BIT DEFAULT 0 NOT NULL, "
        "ExpoFixDept BIT DEFAULT 0 NOT NULL, ExpoFixGroup BIT DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD ExpoPath VARCHAR(100) DEFAULT '' NOT NULL, "
        "ExpoPathBak VARCHAR(100) DEFAULT '' NOT NULL, ImpoPath VARCHAR(100) DEFAULT '' NOT NULL, "
        "ExpoMulticon BIT DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD PromoMax INTEGER DEFAULT 2 NOT NULL, "
        "DiffDiscMax INTEGER DEFAULT 2 NOT NULL, TranHistExpiry INTEGER DEFAULT 31 NOT NULL, "
        "TillLow INTEGER DEFAULT 1 NOT NULL, Euro INTEGER DEFAULT 0 NOT NULL, "
        "EuroX FLOAT(24) DEFAULT 1 NOT NULL, CurCharD1 INTEGER DEFAULT 156 NOT NULL, "
        "CurCharD1c CHAR(1) DEFAULT 'p' NOT NULL, CurCharP1 INTEGER DEFAULT 156 NOT NULL, "
        "CurCharP1c CHAR(1) DEFAULT 'p' NOT NULL, CurCharD2 INTEGER DEFAULT 238 NOT NULL, "
        "CurCharD2c CHAR(1) DEFAULT 'p' NOT NULL, CurCharP2 INTEGER DEFAULT 124 NOT NULL, "
        "CurCharP2c CHAR(1) DEFAULT 'p' NOT NULL, CurText2 VARCHAR(4) DEFAULT 'EUR' NOT NULL, "
        "GratMax DECIMAL(5,2) DEFAULT 15 NOT NULL, EftGratuity BIT DEFAULT 0 NOT NULL, "
        "EftType INTEGER DEFAULT 0 NOT NULL, EftReq VARCHAR(100) DEFAULT '' NOT NULL, "
        "EftCashBackEnable BIT DEFAULT 0 NOT NULL, EftCashBackMax INTEGER DEFAULT 0 NOT NULL, "
        "EftEOD VARCHAR(100) DEFAULT '' NOT NULL, EftNoChk BIT DEFAULT 0 NOT NULL, "
        "EftAccount INTEGER DEFAULT 1 NOT NULL, InnEnable BIT DEFAULT 0 NOT NULL, "
        "InnTill INTEGER DEFAULT 1 NOT NULL, InnPort INTEGER DEFAULT 1 NOT NULL, "
        "MFEnable BIT DEFAULT 0 NOT NULL, MFTill INTEGER DEFAULT 1 NOT NULL, "
        "MFPort INTEGER DEFAULT 1 NOT NULL, MFID VARCHAR(30) DEFAULT '' NOT NULL, "
        "MFTMO INTEGER DEFAULT 30 NOT NULL, MFGCon INTEGER DEFAULT 0 NOT NULL, "
        "MFTax BIT DEFAULT 0 NOT NULL, HtlReq VARCHAR(100) DEFAULT 'G:\\ROOM' NOT NULL, "
        "HtlRsp VARCHAR(100) DEFAULT 'G:\\POST' NOT NULL, "
        "CashRsp VARCHAR(100) DEFAULT 'G:\\UPAUDIT' NOT NULL, "
        "CashRspVers INTEGER DEFAULT 5 NOT NULL, CashRspSpoolTmr INTEGER DEFAULT 300 NOT NULL, "
        "KScreenEnable BIT DEFAULT 0 NOT NULL, KScreen VARCHAR(100) DEFAULT '' NOT NULL, "
        "KScreenHdr VARCHAR(40) DEFAULT 'Brant KVM %d/%m/%Y %H:%M' NOT NULL, " +
        Numbered("KScreenKP%d INTEGER DEFAULT %d NOT NULL", 1, 9, ", "));
    t.Sql(
        "ALTER TABLE CfgSys ADD HtlEnable BIT DEFAULT 0 NOT NULL, "
        "CashRspEnable BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CashRspEOD BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD KSAnalysis CHAR(10) DEFAULT 'SSSSSSSSSS' NOT NULL");
    t.Sql("ALTER TABLE CfgSys ALTER COLUMN KSAnalysis CHAR(100) NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD LoyLogPath VARCHAR(100) DEFAULT 'C:\\Mirt\\Data\\Log' NOT NULL, "
        "LoyReq VARCHAR(100) DEFAULT 'C:\\Mirt\\Data\\Log' NOT NULL, "
        "LoyType INTEGER DEFAULT 0 NOT NULL, LoyTMO INTEGER DEFAULT 10 NOT NULL, "
        "LoyPMPoints INTEGER DEFAULT 14 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD HtlRspVers INTEGER DEFAULT 4 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD BannerText VARCHAR(200) DEFAULT 'Brant POS' NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD ShortName VARCHAR(20) DEFAULT 'Brant POS' NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD SrvrxReport BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD UseBrantBOS BIT DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD AltCurrencyMode INTEGER DEFAULT 0 NOT NULL, "
        "AltForexNo INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD MasterBackupTill INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD MMDateMode INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD EftAccountAN VARCHAR(10) DEFAULT '001' NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD EftPort INTEGER DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD Mode86 INTEGER DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD PriceBandAtTranStart BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD F86DoOnReverse BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD F86DoOnRefund BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD HtlCardType INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD LoyLogType INTEGER DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD ReportEODSelectedDepts BIT DEFAULT 0 NOT NULL, "
        "ReportPeriodSelectedDepts BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD TableGroupingEnable BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD TableGroupBoundary INTEGER DEFAULT 2 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD MultiLineDesc BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD VatText VARCHAR(3) DEFAULT 'VAT' NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AttendanceEnable BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AttendanceAutoStart BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AttendancePrintAll BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AttendanceKeepFor INTEGER DEFAULT 366 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AttendanceRestricted BIT DEFAULT 0 NOT NULL");
    t.Sql(std::string("ALTER TABLE CfgSys ADD NoticeBoardEnable BIT DEFAULT 0 NOT NULL, "
                      "NoticeBoardURL VARCHAR(300) DEFAULT '") +
          kNoticeBoardURL +
          "' NOT NULL, NoticeBoardMessagePath VARCHAR(300) DEFAULT "
          "'C:\\Mirt\\Data\\NoticeBoardMessages.txt' NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD NoticeBoardAutoShow BIT DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD AutoBackupPath VARCHAR(300) DEFAULT 'C:\\Mirt\\LorimBackup.ZIP' "
        "NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AutoBackupEnable BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AutoBackupMode INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD DataMasterTill INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD EftBillManagerTill INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD EftBillManagerEnable BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD SalesTrackingMode INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD EftBillRefType INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD NoticeBoardMsgsClearSOD BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD LegacyPromos BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD BillLock BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD BookingDepositPLU BIGINT DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD CRTender BIT DEFAULT 1 NOT NULL, CRDrawer BIT DEFAULT 1 NOT NULL, "
        "CRFloat BIT DEFAULT 1 NOT NULL, CRFloat0Skip BIT DEFAULT 0 NOT NULL, "
        "CRGrat BIT DEFAULT 1 NOT NULL, CRGrat0Skip BIT DEFAULT 0 NOT NULL, "
        "CRSurp BIT DEFAULT 1 NOT NULL, CRSurp0Skip BIT DEFAULT 0 NOT NULL, "
        "CRBanked BIT DEFAULT 1 NOT NULL, CRBanked0Skip BIT DEFAULT 1 NOT NULL, "
        "CRPaidInOut BIT DEFAULT 1 NOT NULL, CRPaidInOut0Skip BIT DEFAULT 0 NOT NULL, "
        "CRVAT BIT DEFAULT 1 NOT NULL, CRAdjustments BIT DEFAULT 1 NOT NULL, "
        "CRVariance BIT DEFAULT 1 NOT NULL, CROP BIT DEFAULT 0 NOT NULL, "
        "CRActivity BIT DEFAULT 1 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD CRTopNameOnly BIT DEFAULT 0 NOT NULL, "
        "CRSignature BIT DEFAULT 1 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD SysExportX1 BIT DEFAULT 0 NOT NULL, "
        "SysExportX2 BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD RepPaymentsByGroup BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD SysExportPaymentsByGroup BIT DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD RemoteProtocol INTEGER DEFAULT 0 NOT NULL, "
        "RemoteUrl VARCHAR(40) DEFAULT '' NOT NULL, "
        "RemoteUserName VARCHAR(40) DEFAULT '' NOT NULL, "
        "RemotePassword VARCHAR(40) DEFAULT '' NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD CashRspUseFtp BIT DEFAULT 0 NOT NULL, "
        "ExportUseFtp BIT DEFAULT 0 NOT NULL, ImportUseFtp BIT DEFAULT 0 NOT NULL, "
        "ImportFtpDirectory VARCHAR(40) DEFAULT '' NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD ExportFixedUseFtp BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CashRspFtpDirectory VARCHAR(40) DEFAULT '' NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD LoyUseFtp BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD ReportReasons BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AccountsEnable INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD Period2Enable BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD ReceivedOnAccountAnalysis INT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD ReceivedOnAccountDept INT DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD AggBillType INTEGER DEFAULT 2 NOT NULL, "
        "AggBillConsolidation INTEGER DEFAULT 7 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AggBillSign BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD HotelBrantPOSEnable BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CustomerCreditLimitDefault MONEY DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD RoomCreditLimitDefault MONEY DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD RoomChargeVoucher BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CustomerChargeVoucher BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD MMTimePlanMode INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CustomersEnable BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD PLUEditExport BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD RemoteFtpPort INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD PromoTimeplanMode INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD ExportPriceBandFull BIT DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD ReportCustomerBalances BIT DEFAULT 0 NOT NULL, "
        "ReportRoomBalances BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD BlueRunnerIp VARCHAR(100)");
    t.Sql("ALTER TABLE CfgSys ADD ExpoFixCustomers BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD SysExportReasonsCSV BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AutomaticTillSessions BIT DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD CashRspAltPath VARCHAR(200) DEFAULT '' NOT NULL, "
        "CashRspExtendedFilenames BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD F86UseModifiers BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD BookingDurationDefault INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD RTCustomerExport BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CashRspDescriptions BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AutoLogoff BIT DEFAULT 0 NOT NULL");
    t.Sql(
        "ALTER TABLE CfgSys ADD RTBackupPath VARCHAR(300) DEFAULT 'C:\\Mirt\\DATA' NOT NULL, "
        "RTBUCustomerDeposits BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CustomersMode INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD LoyaltyBenefitsMode INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CRGrandTotals BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD ReportPeriodServerSales BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CRSessionGrandTotals BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CRTillGrandTotals BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD AnalysisDefault INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD CRGratSplit BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD RTBUAccountEvents BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD " +
          Numbered("ImportExFolder%d VARCHAR(200) DEFAULT '' NOT NULL", 1, 3, ", ") +
          ", ImportExEnable BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE CfgSys ADD SmartCardLoyaltyIndirect BIT DEFAULT 0 NOT NULL");
    // Bit 0x40000 marks a row whose flags have been brought up to date, so
    // the conversion runs once per row.
    t.Convert(ConvertSysFlags);
}

}  // namespace xr::setup
