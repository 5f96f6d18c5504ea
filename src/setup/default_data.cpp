// The default rows of the configuration database. Inserts of rows that are
// there already fail and are skipped, so a site keeps what it made of them;
// the UPDATE and DELETE statements correct or remove rows of older releases
// and run every time.
#include "setup/default_data.h"

#include <string>
#include <utility>

#include "frame/shield.h"
#include "platform/text.h"
#include "setup/pass23.h"
#include "xrdb8/setup.h"

namespace xr::setup {

namespace {

const char* const kByPosition = ".byPosition";

// Appends statements to a list, each labelled with what it writes.
class StatementList {
public:
    explicit StatementList(std::vector<Step>& out) : m_out(out) {}

    void operator()(const std::string& label, std::string sql, std::string tag = "") {
        Step step;
        step.sql = std::move(sql);
        step.tag = std::move(tag);
        step.label = label;
        m_out.push_back(std::move(step));
    }

    // A SysValues row: field, index, iValue, then the fValue and sValue texts
    // as each family writes them.
    void SysValue(const std::string& field, int index, int iValue, const char* fValue,
                  const std::string& sValue) {
        (*this)("SysValues",
                Format("INSERT SysValues VALUES ('%s', %d, %d, %s, '%s')", QuoteSql(field).c_str(),
                       index, iValue, fValue, QuoteSql(sValue).c_str()));
    }

    // A row that older releases inserted by position. The positional insert
    // still goes first, so a database of such a release gets the row as it
    // always did; a newer one refuses it (too few values) and gets the row
    // from the insert that names the columns, the rest at their defaults.
    // `written` is the table's name as the statements write it.
    void RowByPosition(const std::string& table, const std::string& written,
                       const std::string& columns, const std::string& values) {
        (*this)(table, "INSERT " + written + " VALUES (" + values + ")", table + kByPosition);
        (*this)(table, "INSERT " + written + " (" + columns + ") VALUES (" + values + ")");
    }

private:
    std::vector<Step>& m_out;
};

// ---- list A ------------------------------------------------------------------

struct FlexText {
    const char* name;
    const char* description;
    const char* text;
};

// The texts a site may change per text scheme; the defaults are what the till
// shows until it does. "${D}" in a text stands for the drawer, "%d" in the
// age prompt for the age.
const FlexText kFlexTextsBefore[] = {
    {"BARinTradingScreen",
     "Text for BAR (i.e. when no table is assigned)\nat top of main trading screen", "BAR"},
    {"BARinGeneral", "Text for BAR in messages etc", "BAR"},
    {"BILL_Header1", "First heading line on bill", "CUSTOMER BILL"},
    {"BILL_Header2", "Second heading line on bill", "CUSTOMER BILL"},
    {"BILL_Number1", "Word for Transaction number on bill", "NUMBER"},
    {"BILL_Terminal", "Word for POS on bill", "TERM"},
    {"BILL_Server", "Word for Server on bill", "SERVER"},
    {"LoyaltyOnReceipt", "Word for Loyalty pounts on receipt", "Loyalty"},
    {"LoyaltyCardNo", "Word for Loyalty card number", "Loyalty card"},
    {"LoyaltyCardPrompt", "Prompt to use a Loyalty card", "Use Loyalty card?"},
    {"LoyShowTitleCardNumber", "Title of the card number in the Loyalty display", "Card number"},
    {"LoyShowTitlePoints", "Title of the points in the Loyalty display", "Points"},
    {"LoyShowTitleValue", "Title of the value in the Loyalty display", "Value"},
    {"LoyInsufficientPoints", "Warning when the card has too few Loyalty points",
     "Insufficient points!"},
    {"DaySeqNoKP", "Text before the day sequence number on kitchen printers", ""},
    {"DaySeqNoBill", "Text before the day sequence number on bill", ""},
    {"DaySeqNoReceipt", "Text before the day sequence number on receipt", ""},
};

const FlexText kFlexTextsAfter[] = {
    {"CashLimitWarning", "Warning when the drawer holds more cash than its limit",
     "Cash limit warning!"},
    {"ItemCountText", "Text before the number of items on receipt", "Items: "},
    {"AgeVerifyPrompt", "Prompt for Age query", "Is the customer %d or more?"},
    {"UtilitiesButton", "Text of the Utilities button", "Utilities..."},
    {"UtilitiesTitle", "Title of the Utilities menu", "UTILITY MENU"},
    {"EmptyDrawer", "Text for Empty Drawer", "Empty Drawer"},
    {"ReceivedOnAccount", "Text for money received on account", "Received on A/C"},
    {"VatAText", "Text for VAT rate A", "A"},
    {"VatBText", "Text for VAT rate B", "B"},
    {"VatCText", "Text for VAT rate C", "C"},
    {"VatDText", "Text for VAT rate D", "D"},
    {"VatEText", "Text for VAT rate E", "E"},
    {"VatFText", "Text for VAT rate F", "F"},
    {"Vat_Deposit", "Text for VAT credited from a deposit", "VAT Credit from Deposit"},
    {"VatShift", "Text for VAT Shift", "VAT Shift"},
    {"VATNotaVATReceipt", "Line on a receipt that is not a VAT receipt",
     "*** This is NOT a VAT receipt ***"},
    {"DifferDiscountsRB", "Text for discounts that differ on receipt and bill", "Differ discounts"},
    {"ReportCashInChange", "Report text for cash given in change", "Cash given in change"},
    {"LoyaltyRedemptionValue", "Text for the Loyalty redemption value", "Redemption value"},
    {"HotelVoucherHeading", "Heading of the hotel account voucher", "ACCOUNT VOUCHER"},
    {"HotelVoucherAcc", "Account line of the hotel account voucher", " ACC  :"},
    {"HotelVoucherBookingRef", "Booking line of the hotel account voucher", "BOOKING # :"},
    {"GratuityText", "Text for Gratuity", "GRATUITY"},
    {"CR_VoidsBefore", "Cash report \"Voids before\" text (${D} is drawer)", "Voids before${D}"},
    {"CR_VoidsAfter", "Cash report \"Voids after\" text (${D} is drawer)", "Voids after${D}"},
    {"DEFPR_Added", "Warning when a deferred promo has already been used",
     "This deferred promo has already been added"},
    {"PostCodeLoyalty", "Word for Postcode in Loyalty", "Postcode"},
};

void FlexTexts(StatementList& add, const FlexText* first, const FlexText* last) {
    for (const FlexText* t = first; t != last; ++t)
        add("FlexTextHdrs", "INSERT FlexTextHdrs VALUES ('" + QuoteSql(t->name) + "', '" +
                                QuoteSql(t->description) + "', '" + QuoteSql(t->text) + "', 0)");
}

}  // namespace

std::vector<Step> FixedDataSteps() {
    std::vector<Step> s;
    StatementList add(s);

    // Product types.
    auto pluType = [&](int index, const char* text) {
        add.SysValue("PluType", index, 0, "0", text);
    };
    pluType(0, "General");
    pluType(1, "Extras");
    pluType(20, "Condiment");
    pluType(30, "Deposit");
    pluType(31, "Information");
    pluType(32, "Ext.Process Top-up");
    add("SysValues",
        "UPDATE [SysValues] SET [sValue]='Ext.Process Top-up' WHERE [FieldName]='PluType' AND "
        "FieldIndex=32");
    pluType(33, "Loyalty Top-Up");
    pluType(40, "Dummy");
    pluType(41, "Qualifier");
    pluType(42, "Other");
    pluType(43, "External");
    pluType(90, "System");
    add("SysValues",
        "UPDATE SysValues SET sValue='Condiment' WHERE FieldName='PluType' AND FieldIndex=20");

    // Price types.
    add.SysValue("PriceType", 0, 0, "0", "Non-priced");
    add.SysValue("PriceType", 1, 0, "0", "Price check");
    add.SysValue("PriceType", 2, 0, "0", "Preset price");

    for (int n = 1; n <= 10; ++n)
        add("SysValues",
            Format("INSERT [SysValues] VALUES ('PriceBand', %d, 0, 0, 'Price band %d')", n, n));

    // The list every screen button without a list of its own points at.
    add.RowByPosition("ListHdrs", "ListHdrs",
                      "[ListNo], [Description], [Rows], [Cols], [NPages], [Staydown], [Link], "
                      "[SelMin], [SelMax], [ScrNo], [Location], [V$Dirty]",
                      "0, '-- No List --', 0, 0, 0, 0, 0, 0, 0, 0, 'L', 0");

    add("CfgTills", "UPDATE CfgTills SET PrcDflt=1 WHERE PrcDflt=0");

    // The read-only login the suite's reporting tools use. The engine keeps
    // the login but never its password.
    add("BrantUK", "EXEC sp_addlogin 'BrantUK', 'marigold','LorimDB81'");
    add("BrantUK", "EXEC sp_grantdbaccess BrantUK");
    add("BrantUK", "EXEC sp_addrolemember 'db_datareader',BrantUK");

    add("Functions", "INSERT Functions VALUES (106, 'Table Grouping', 0, 0, 0, 0, 1)");

    for (int n = 1; n <= 6; ++n)
        add("TableGroupAreas",
            Format("INSERT TableGroupAreas VALUES (%d, 'Area %d', 0, 0, 0)", n, n));

    // Function names of older releases.
    const std::pair<int, const char*> renamed[] = {
        {41, "HOTEL ROOM MANUAL ENTRY"}, {42, "List paging"},      {44, "Loyalty Manual Entry"},
        {45, "Open Acc Table"},          {46, "Time&Att Manager"}, {47, "EFT Manager"}};
    for (const auto& [number, name] : renamed)
        add("Functions", Format("UPDATE Functions SET Name='%s' WHERE FuncNo=%d",
                                QuoteSql(name).c_str(), number));

    // Table status levels of scheme 0: the four a table passes through in
    // service have names, the rest are free for the site.
    for (int n = 0; n <= 30; ++n) {
        std::string text = n == 0   ? "Unused"
                           : n == 1 ? "Ordered"
                           : n == 5 ? "Bill printed"
                           : n == 7 ? "Paid"
                                    : Format("Status %d", n);
        add("TableStatusLevels",
            Format("INSERT TableStatusLevels (SchemeNo, LevelNo, Text) VALUES (0, %d, '%s')", n,
                   QuoteSql(text).c_str()));
    }

    for (int n = 0; n <= 5; ++n)
        add.SysValue("TextScheme", n, 0, "0.0",
                     n == 0 ? std::string("Default") : Format("Scheme %d", n));

    // Texts of older releases that are no longer used.
    add("FlexTextHdrs", "DELETE FROM FlexTextHdrs WHERE [TextName] LIKE 'TestText%'");
    add("FlexTextLines", "DELETE FROM FlexTextLines WHERE [TextName] LIKE 'TestText%'");
    add("FlexTextHdrs", "DELETE FROM FlexTextHdrs WHERE [TextName]='DrawerExport'");
    add("FlexTextLines", "DELETE FROM FlexTextLines WHERE [TextName]='DrawerExport'");

    FlexTexts(add, std::begin(kFlexTextsBefore), std::end(kFlexTextsBefore));
    add("FlexTextHdrs",
        "UPDATE FlexTextHdrs SET [Description]='Word for Transaction number on bill' WHERE "
        "[TextName]='BILL_Number1'");
    add("FlexTextHdrs",
        "UPDATE FlexTextHdrs SET [Description]='Word for POS on bill' WHERE "
        "[TextName]='BILL_Terminal'");
    add("FlexTextHdrs",
        "UPDATE FlexTextHdrs SET [Description]='Word for Server on bill' WHERE "
        "[TextName]='BILL_Server'");
    FlexTexts(add, std::begin(kFlexTextsAfter), std::end(kFlexTextsAfter));
    return s;
}

// ---- list B ------------------------------------------------------------------

namespace {

// The function table: the till keys (1..99), manager-menu actions
// (200..215), reports (300..313), utilities (400..442) and two user
// functions. Auth is the authorisation level a server needs; 0 when not given.
void FunctionRows(StatementList& add) {
    auto fn = [&](int number, const std::string& name, int auth = 0) {
        add("Functions", Format("INSERT Functions VALUES (%d, '%s', %d, 0, 0, 0, 1)", number,
                                QuoteSql(name).c_str(), auth));
    };
    auto sql = [&](const char* text) { add("Functions", text); };

    const char* const firstKeys[] = {"SRVNO",    "TBLNO",   "PLU", "QUANTITY",
                                     "SUBTOTAL", "RECEIPT", "BILL"};
    for (int i = 0; i < 7; ++i) fn(i + 1, firstKeys[i], 1);
    fn(8, "Table Release");
    sql("UPDATE Functions SET [Name]='Table Release' WHERE [FuncNo]=8");
    fn(9, "CLEAR");
    const char* const editKeys[] = {"REDISP",   "VOID ITM", "VOID TRN", "CORRECT",
                                    "NO SALES", "SCREEN",   "SPARE",    "Preset server"};
    for (int i = 0; i < 8; ++i) fn(10 + i, editKeys[i], 1);
    sql("UPDATE Functions SET [Name]='Preset Server' WHERE [FuncNo]=17");
    for (int n = 1; n <= 16; ++n) fn(17 + n, Format("PAYM%d", n), 1);
    fn(34, "AUTO_RCT", 1);
    fn(35, "LIST", 1);
    fn(36, "VIP", 1);
    sql("DELETE FROM Functions WHERE [FuncNo]=37");
    fn(38, "SPLIT");
    fn(39, "REFUND");
    fn(40, "MANAGER", 1);
    fn(41, "HOTEL ROOM MANUAL ENTRY", 1);
    const char* const keys42[] = {"List paging",
                                  "SYSTEM",
                                  "Loyalty Manual Entry",
                                  "Open Acc Table",
                                  "Time&Att Manager",
                                  "EFT Manager",
                                  "SYSTEM",
                                  "OPENTABL",
                                  "OPENACC",
                                  "CURRENCY",
                                  "EAN",
                                  "PR_ENQ",
                                  "PR_OVER",
                                  "ITM_PROM",
                                  "PROM_OVR",
                                  "SUB_PROM",
                                  "SET_COVR",
                                  "LOYALTY"};
    for (int i = 0; i < 18; ++i) fn(42 + i, keys42[i]);
    for (int n = 1; n <= 9; ++n) fn(59 + n, Format("MOD%d", n));
    const char* const keys70[] = {"KPhold",
                                  "KPgo",
                                  "Bank",
                                  "DiffST",
                                  "DiffDisc",
                                  "SoldOut",
                                  "PluShift",
                                  "TReports",
                                  "LoyCheck",
                                  "Force",
                                  "EFT",
                                  "Reverse",
                                  "ActiveTa",
                                  "StkDispl",
                                  "Extended",
                                  "Authoris",
                                  "Shift",
                                  "SellAgain",
                                  "Flip",
                                  "Floor View",
                                  "Force Server off",
                                  "Price band override",
                                  "Price band override 1-shot",
                                  "View Messages",
                                  "Compose Messages",
                                  "External device export",
                                  "Transaction History",
                                  "Void after",
                                  "Wastage",
                                  "86 Set Stock",
                                  "86 Authorized Oversell",
                                  "Product Information"};
    for (int i = 0; i < 32; ++i) fn(70 + i, keys70[i]);
    fn(102, "Tables Finalize", 5);
    const char* const keys103[] = {
        "Table Transfer",        "Sell one more",     "Sell one less", "Table Grouping",
        "Receipt mode override", "Time & Attendance", "Noticeboard",   "Deposit Info",
        "Table Limit Show",      "Table Limit Change"};
    for (int i = 0; i < 10; ++i) fn(103 + i, keys103[i]);
    fn(113, "Server switch", 9);
    fn(114, "Table switch", 9);
    const char* const keys115[] = {"Table Status",
                                   "Prepay with Deposit",
                                   "Execute user program",
                                   "MM Control Global",
                                   "MM Control Single",
                                   "Biometric Enrolment",
                                   "Biometric Flat file export",
                                   "Booking Manager",
                                   "Analysis Shift",
                                   "Quantity down",
                                   "New Balance (NBAL)",
                                   "Order by Seat",
                                   "Item time",
                                   "Table merge",
                                   "Age Verify",
                                   "Set Price Band",
                                   "Customers",
                                   "Received on Account",
                                   "Account View"};
    for (int i = 0; i < 19; ++i) fn(115 + i, keys115[i]);
    // Function 135 was 'Set Room' for a while; the room key is 134 now.
    sql("USE LORIMDB81 IF (SELECT [Name] FROM Functions WHERE FuncNo=135) = 'Set Room' BEGIN "
        "DELETE FROM Functions WHERE [FuncNo]=135 END");
    sql("UPDATE Functions SET [Name]='Room' WHERE [FuncNo]=134");
    fn(134, "Room");
    const char* const keys136[] = {"View/Pay Room Account",
                                   "PLU Edit",
                                   "Paid in/out",
                                   "VAT Shift",
                                   "Operate Gate",
                                   "Set Global Price Band",
                                   "Apply promo package",
                                   "Void surcharge",
                                   "Set Authorization",
                                   "Wastage item void",
                                   "Preselect printer till",
                                   "Allergy override",
                                   "Expand items",
                                   "External booking access",
                                   "Move item",
                                   "Transfer Room"};
    for (int i = 0; i < 16; ++i) fn(136 + i, keys136[i]);

    const char* const menu[] = {
        "Start of Day", "End of Day",      "Open Session", "Close Session",
        "Trading",      "Paid In",         "Paid Out",     "Reports",
        "Training Off", "Training On",     "Set DateTime", "Set Preset Server",
        "Utilities",    "System Shutdown", "Secure",       "Time & Attendance"};
    for (int i = 0; i < 16; ++i) fn(200 + i, menu[i]);

    const char* const reports[] = {"CCD Report",
                                   "Operator Report",
                                   "Daily Sales Report",
                                   "Period Sales Report",
                                   "Account Tables Report",
                                   "Open Tables Report",
                                   "Promotion Usage Report",
                                   "Promotions Period Report",
                                   "Covers Report",
                                   "Period Covers Report",
                                   "Current Sales Report",
                                   "Period Cash Report",
                                   "Reasons Report",
                                   "House Cash Report"};
    for (int i = 0; i < 14; ++i) fn(300 + i, reports[i]);

    const char* const utilities[] = {"Delete Spool Files",
                                     "Set EFT System",
                                     "Set EFT Manual",
                                     "Set Price Band",
                                     "Redirect Dispense Printers",
                                     "Update Database from Master",
                                     "Transaction History"};
    for (int i = 0; i < 7; ++i) fn(400 + i, utilities[i]);
    sql("DELETE FROM Functions WHERE FuncNo=407");
    // Function 47 was a second 'SYSTEM' key; while it still is, it needs the
    // manager's level.
    sql("USE LORIMDB81 IF (SELECT [Name] FROM Functions WHERE FuncNo=47) = 'SYSTEM' BEGIN UPDATE "
        "Functions SET [Auth]=(SELECT [Auth] FROM Functions WHERE FuncNo=40) WHERE FuncNo=47 END");
    fn(408, "Export fixed data", 1);
    fn(409, "Clear Sales Data", 1);
    fn(411, "Transaction Restore", 1);
    fn(412, "Manage Clerk Keys", 1);
    const std::pair<int, const char*> later[] = {
        {413, "Lorim Net Test"},   {414, "Clear NoticeBoard"},      {415, "Assign Drawers"},
        {416, "Customers"},        {417, "Customers - New"},        {418, "Customers - Edit"},
        {419, "Customers - View"}, {420, "Customers - Set Credit"}, {421, "Customers - Delete"},
        {424, "Bookings - New"},   {425, "Bookings - Edit"},        {426, "Bookings - View"},
        {427, "Empty Drawer"},     {430, "Perform End of Period 2"}};
    for (const auto& [number, name] : later) fn(number, name);
    fn(431, "Open Drawers", 8);
    fn(432, "Exit to OS");
    fn(433, "Cancel Booking");
    fn(440, "PLU Edit Dept.");
    fn(441, "Diagnostics");
    fn(442, "Grand Totals Reset");
    fn(9000, "User Function 1");
    fn(9001, "User Function 2");
}

// The colour palette (Windows COLORREF numbers, 0x00BBGGRR) of screen
// indices 1..32; the same values seed 'ColourInitial' and 'Colour'.
const int kPalette[32] = {0,        11010048, 65280,    255,      5570559,  11053056, 16777044,
                          168,      14548991, 7410441,  0,        0,        0,        3815994,
                          15461355, 16777215, 14540253, 7410441,  10066329, 7829367,  9004895,
                          13217163, 13289984, 13421772, 16777088, 14540253, 14548991, 12303291,
                          8947848,  9004895,  15658734, 13421772};

// Indices 33..48: the sixteen colours of the PC text-mode palette.
const int kTextModePalette[16] = {0,        0xA80000, 0x00A800, 0xA8A800, 0x0000A8, 0xA800A8,
                                  0x0054A8, 0xA8A8A8, 0x545454, 0xFF5454, 0x54FF54, 0xFFFF54,
                                  0x5454FF, 0xFF54FF, 0x54FFFF, 0xFFFFFF};

}  // namespace

std::vector<Step> MustHaveDataSteps() {
    std::vector<Step> s;
    StatementList add(s);

    FunctionRows(add);

    // Reasons for money paid into and out of the drawer.
    for (int n = 1; n <= 20; ++n) {
        add.SysValue("PAIDIO.IN", n, 0, "0", "");
        add.SysValue("PAIDIO.OUT", n, 0, "0", "");
    }

    for (const char* field : {"ColourInitial", "Colour"})
        for (int i = 1; i <= 32; ++i) add.SysValue(field, i, kPalette[i - 1], "0.000000", "");
    for (int i = 33; i <= 48; ++i) add.SysValue("Colour", i, kTextModePalette[i - 33], "0.0", "");

    // Product categories.
    add.SysValue("Category", 0, 3, "0", "Follow on");
    for (int n = 1; n <= 98; ++n) add.SysValue("Category", n, 3, "0.0", "");
    add.SysValue("Category", 99, 3, "0", "");
    add.SysValue("Category", 100, 3, "0", "System default");
    add("SysValues",
        "UPDATE SysValues SET [sValue]='System default' WHERE [FieldName]='Category' AND "
        "[FieldIndex]=100");

    // Cash: the one payment method every till needs.
    add.RowByPosition(
        "PayMeths", "PayMeths",
        "[PymNo], [Name], [Floor], [Tender], [OverTender], [Change], [Gratuity], "
        "[Drawer], [Eft], [Cashback], [NonBank], [AltCur], [PayText], [RctPrint], "
        "[CustNP], [FuncNo], [PaymentType], [ForexNo], [InDrawer], [ForHH], "
        "[WithCashLimitDrawer]",
        "1, 'Cash', 0, 0, 1, 1, 0, 1, 0, 0, 0, 0, 'Check cash', 1, 0, 18, 0, 0, 1, 1, 1");

    // Table states set by the tills on their own.
    const int autoLevels[] = {0, -1, 1, 5, 7};
    for (int i = 0; i < 5; ++i) add.SysValue("TableStatusAuto", i, autoLevels[i], "0.0", "");
    for (int n = 1; n <= 99; ++n) add.SysValue("TableStatusAutoAnalysis", n, -1, "0.0", "");
    add.SysValue("TableStatusAutoAnalysisAllowDown", 0, -1, "0.0", "");

    // Age limits: the first three are the law's and are put back every time.
    const std::pair<int, int> ages[] = {{1, 16}, {2, 18}, {3, 21}};
    for (const auto& [index, age] : ages)
        add("SysValues",
            Format("UPDATE SysValues SET [iValue]=%d WHERE [FieldName]='AgeVerify' AND "
                   "[FieldIndex]=%d",
                   age, index));
    const std::pair<int, int> ageRows[] = {{1, 16}, {2, 18}, {3, 21}, {4, 25}};
    for (const auto& [index, age] : ageRows) add.SysValue("AgeVerify", index, age, "0", "");

    add.SysValue("AnalysisGroup", 1, 0, "0.0", "FOOD");
    add.SysValue("AnalysisGroup", 2, 0, "0.0", "DRINK");
    add.SysValue("AnalysisGroup", 3, 0, "0.0", "OTHER");

    add("PromoPackages", "INSERT PromoPackages (PackageNo, Description) VALUES (1, 'Package #1')");

    // Department and group 0 take the products that have none.
    add.RowByPosition("Depts", "[Depts]",
                      "[DptNo], [GrpNo], [Name], [Tickets], [QtyDP], [ValNeg], [NonTurnover], "
                      "[SpecimenLearnPLU], [TicketsMode]",
                      "0, 0, 'Unassigned', 0, 0, 0, 0, 0, 0");
    add("Depts", "UPDATE [Depts] SET [Name]='Unassigned', [Grpno]=0 WHERE [Dptno]=0");
    add("Groups", "INSERT [Groups] VALUES (0, 'Unassigned')");
    add("Groups", "UPDATE [Groups] SET [Name]='Unassigned' WHERE [Grpno]=0");

    add("Allergies", "INSERT [Allergies] VALUES (1, 'Default 1')");
    return s;
}

bool IsKeptForOlderSchemas(const Step& step) {
    const std::string& tag = step.tag;
    const size_t n = std::char_traits<char>::length(kByPosition);
    return tag.size() > n && tag.compare(tag.size() - n, n, kByPosition) == 0;
}

}  // namespace xr::setup

using namespace xr::setup;

// Every statement reports its own failure; nothing reaches the caller.
void DBSetFixedData() {
    xr::Shielded(xr::Quietly{}, [] { RunSteps(FixedDataSteps(), PassObserver()); });
}

void DBSetMustHaveData() {
    xr::Shielded(xr::Quietly{}, [] { RunSteps(MustHaveDataSteps(), PassObserver()); });
}
