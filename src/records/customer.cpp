// Customer accounts: customer_def, the customer mode and CCustomer over
// "Customers" or "Customers2".
#include <cstdint>
#include <ctime>

#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_customers.h"

using namespace xr::records;

namespace {

// The mode is chosen once by the till program at start-up, before it makes
// customer objects; like the other process-wide settings it is unguarded.
CCustomer::mode_enum g_mode = CCustomer::MODE_CUSTOMERS;
bool g_modeSet = false;

// Blocks of the maps, one per field of customer_def: its strings are not
// plain bytes, so each field is a block of its own.
enum : uint8_t {
    kId,
    kLastName,
    kFirstName,
    kTitle,
    kAddress,  // std::string[3]
    kPostcode,
    kTel,  // std::string[3]
    kEmail,
    kInfo,  // std::string[3]
    kCustomerGroupID,
    kTemporary,
    kActive,
    kSource,
    kIsVIP,
};

// Entries the map cannot state: "ID" is written only in the mode where the
// caller numbers the customers, dates travel as SYSTEMTIME, and the credit
// limit as a floating-point amount with its own rounding.
enum : uint32_t {
    kCustomId = 1,
    kCreationTime,
    kModifiedTime,
    kLastUsedTime,
    kCreditLimit,
};

constexpr Column kIdColumn = Col("ID", Whole<int32_t>(kId), Kind::kI32);

// A scan that wants customer numbers only.
constexpr Column kIdOnlyMap[] = {kIdColumn};

// Reading and writing alike (a write visits "CreditLimit" before "Source"
// and "IsVIP"; the order of writes into one row does not matter).
constexpr Column kCustomerMap[] = {
    Custom("ID", kCustomId),
    Col("LastName", Whole<std::string>(kLastName), Kind::kString),
    Col("FirstName", Whole<std::string>(kFirstName), Kind::kString),
    Col("Title", Whole<std::string>(kTitle), Kind::kString),
    Col("Address1", Element<std::string>(kAddress, 0), Kind::kString),
    Col("Address2", Element<std::string>(kAddress, 1), Kind::kString),
    Col("Address3", Element<std::string>(kAddress, 2), Kind::kString),
    Col("Postcode", Whole<std::string>(kPostcode), Kind::kString),
    Col("Tel1", Element<std::string>(kTel, 0), Kind::kString),
    Col("Tel2", Element<std::string>(kTel, 1), Kind::kString),
    Col("Tel3", Element<std::string>(kTel, 2), Kind::kString),
    Col("Email", Whole<std::string>(kEmail), Kind::kString),
    Col("Info1", Element<std::string>(kInfo, 0), Kind::kString),
    Col("Info2", Element<std::string>(kInfo, 1), Kind::kString),
    Col("Info3", Element<std::string>(kInfo, 2), Kind::kString),
    Custom("CreationTime", kCreationTime),
    Custom("ModifiedTime", kModifiedTime),
    Custom("LastUsedTime", kLastUsedTime),
    Col("CustomerGroupID", Whole<int32_t>(kCustomerGroupID), Kind::kI32),
    Col("Temporary", Whole<int32_t>(kTemporary), Kind::kI32),
    Col("Active", Whole<int32_t>(kActive), Kind::kI32),
    Col("Source", Whole<int32_t>(kSource), Kind::kI32),
    Col("IsVIP", Whole<int32_t>(kIsVIP), Kind::kI32),
    Custom("CreditLimit", kCreditLimit),
};

SYSTEMTIME LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    SYSTEMTIME st{};
    st.wYear = static_cast<uint16_t>(local.tm_year + 1900);
    st.wMonth = static_cast<uint16_t>(local.tm_mon + 1);
    st.wDayOfWeek = static_cast<uint16_t>(local.tm_wday);
    st.wDay = static_cast<uint16_t>(local.tm_mday);
    st.wHour = static_cast<uint16_t>(local.tm_hour);
    st.wMinute = static_cast<uint16_t>(local.tm_min);
    st.wSecond = static_cast<uint16_t>(local.tm_sec);
    return st;
}

// The stored amount in hundredths. The small addend keeps an amount such as
// 12.34, whose double lies just below it, from reading as 1233.
int32_t CreditHundredths(double amount) {
    const double hundredths = (amount + 0.00000001) * 100.0;
    if (!(hundredths > -2147483649.0 && hundredths < 2147483648.0)) return INT32_MIN;
    return static_cast<int32_t>(hundredths);  // toward zero
}

}  // namespace

// ---- customer_def -------------------------------------------------------------------

customer_def::customer_def()
    : ID(0),
      CreationTime{},
      ModifiedTime{},
      LastUsedTime{},
      CustomerGroupID(0),
      CreditLimit(0),
      Temporary(0),
      Active(0),
      Source(0),
      IsVIP(0) {}

customer_def::customer_def(const customer_def& other) = default;
customer_def& customer_def::operator=(const customer_def& other) = default;
customer_def::~customer_def() = default;

int customer_def::operator==(const customer_def& o) const {
    for (int i = 0; i < 3; ++i)
        if (Address[i] != o.Address[i] || Tel[i] != o.Tel[i] || Info[i] != o.Info[i]) return 0;
    return ID == o.ID && LastName == o.LastName && FirstName == o.FirstName && Title == o.Title &&
                   Postcode == o.Postcode && Email == o.Email &&
                   CustomerGroupID == o.CustomerGroupID && CreditLimit == o.CreditLimit &&
                   Temporary == o.Temporary && Active == o.Active && Source == o.Source &&
                   IsVIP == o.IsVIP
               ? 1
               : 0;
}

int customer_def::operator!=(const customer_def& o) const { return *this == o ? 0 : 1; }

// ---- the mode -------------------------------------------------------------------------

CCustomer::mode_enum CCustomer::GetMode() { return g_mode; }

void CCustomer::SetMode(mode_enum mode) {
    if (g_modeSet) return;
    g_mode = mode;
    g_modeSet = true;
}

void CCustomer::SetModeForce(mode_enum mode) {
    g_mode = mode;
    g_modeSet = true;
}

XRDB8_EXPORT int CustomersSetMode(int mode) {
    CCustomer::SetModeForce(static_cast<CCustomer::mode_enum>(mode));
    return 0;
}

// ---- CCustomer ------------------------------------------------------------------------

CCustomer::CCustomer() : m_load(1), m_found(0) {
    const bool identity = g_mode == MODE_CUSTOMERS;
    m_name = identity ? "Customers" : "Customers2";
    m_orderBy = "ID";
    m_keys[0] = "ID";
    // The script writer must let an insert carry the number the database gave.
    m_scriptFlag = identity ? 1 : 0;
    CreationTime = ModifiedTime = LastUsedTime = LocalNow();
    Active = 1;
}

CCustomer::CCustomer(const CCustomer& other) = default;
CCustomer& CCustomer::operator=(const CCustomer& other) = default;
CCustomer::~CCustomer() = default;

int CCustomer::StructureTo() {
    if (!m_load) {
        ReadRow(*this, kIdOnlyMap, m_idColumns, {&ID});
        return 1;
    }
    ReadRow(*this, kCustomerMap, m_columns,
            {&ID, &LastName, &FirstName, &Title, Address, &Postcode, Tel, &Email, Info,
             &CustomerGroupID, &Temporary, &Active, &Source, &IsVIP},
            [this](const Column& c, int32_t& pos) {
                switch (c.offset) {
                    case kCustomId:
                        ReadEntry(*this, kIdColumn, pos, &ID);
                        break;
                    case kCreationTime:
                        GetField("CreationTime", CreationTime);
                        break;
                    case kModifiedTime:
                        GetField("ModifiedTime", ModifiedTime);
                        break;
                    case kLastUsedTime:
                        GetField("LastUsedTime", LastUsedTime);
                        break;
                    case kCreditLimit: {
                        double amount = 0;
                        if (GetField("CreditLimit", amount)) CreditLimit = CreditHundredths(amount);
                        break;
                    }
                }
            });
    m_found = 1;
    return 1;
}

int CCustomer::StructureFrom() {
    WriteRow(*this, kCustomerMap, m_columns,
             {&ID, &LastName, &FirstName, &Title, Address, &Postcode, Tel, &Email, Info,
              &CustomerGroupID, &Temporary, &Active, &Source, &IsVIP},
             false, [this](const Column& c, int32_t& pos) {
                 switch (c.offset) {
                     case kCustomId:
                         // The mode in force now: in mode 0 the database numbers
                         // the row; other modes than 1 leave "ID" to whoever
                         // inserts the row by SQL.
                         if (g_mode == MODE_CUSTOMERS2) WriteEntry(*this, kIdColumn, pos, &ID);
                         break;
                     case kCreationTime:
                         SetField("CreationTime", CreationTime);
                         break;
                     case kModifiedTime:
                         SetField("ModifiedTime", ModifiedTime);
                         break;
                     case kLastUsedTime:
                         SetField("LastUsedTime", LastUsedTime);
                         break;
                     case kCreditLimit:
                         SetField("CreditLimit", CreditLimit / 100.0);
                         break;
                 }
             });
    return 1;
}

int CCustomer::Equ(int id) {
    m_found = OpenKey(*this, xr::Format("SELECT * FROM %s WHERE ID=%d", m_name.c_str(), id));
    return m_found;
}

void CCustomer::Assign(const customer_def& c) { customer_def::operator=(c); }
