// Customer accounts: customer_def, the value type a customer travels in, and
// CCustomer over "Customers" or "Customers2", chosen process-wide by the
// customer mode.
//
// The mode says which of the two customer tables the site keeps its accounts
// in: mode 0 is "Customers", whose "ID" the database numbers by itself; mode 1
// (and any other value) is "Customers2", whose "ID" the caller gives. A
// customer object takes its table when it is constructed, so choose the mode
// (CustomersSetMode, CCustomer::SetMode) before making customer objects. The
// mode is process-wide and unguarded: set it before other threads start.
#pragma once

#include <cstdint>
#include <string>

#include "xrdb8/export.h"
#include "xrdb8/records_common.h"
#include "xrdb8/types.h"
#include "xrdb8/xrtable.h"

// One customer account. Strings hold the columns' whole texts.
class XRDB8_API customer_def {
public:
    customer_def();
    customer_def(const customer_def& other);
    customer_def& operator=(const customer_def& other);
    ~customer_def();

    // 1 when the number, the fourteen texts (case-sensitive) and the six
    // numbers after the dates are equal; the dates are not compared, so an
    // account that was only touched compares equal to its earlier self.
    int operator==(const customer_def& other) const;
    int operator!=(const customer_def& other) const;

    int32_t ID;
    std::string LastName;
    std::string FirstName;
    std::string Title;
    std::string Address[3];  // "Address1".."Address3"
    std::string Postcode;
    std::string Tel[3];  // "Tel1".."Tel3"
    std::string Email;
    std::string Info[3];  // "Info1".."Info3"
    SYSTEMTIME CreationTime;
    SYSTEMTIME ModifiedTime;
    SYSTEMTIME LastUsedTime;
    int32_t CustomerGroupID;
    int32_t CreditLimit;  // hundredths
    int32_t Temporary;
    int32_t Active;
    int32_t Source;
    int32_t IsVIP;
};

// A customer account of the table the mode chose, ordered and keyed by "ID".
// The object is its own customer_def: read the fields after a positioning,
// set them (or Assign a customer_def) before Update.
class XRDB8_API CCustomer : public CXRTable, public customer_def {
public:
    // 0: "Customers" (the database numbers "ID"); 1: "Customers2" with the
    // caller's "ID"; any other value: "Customers2" and "ID" is never written.
    enum mode_enum : int {
        MODE_CUSTOMERS = 0,
        MODE_CUSTOMERS2 = 1,
    };

    static mode_enum GetMode();
    // Sets the mode only when none has been set yet: the first call wins.
    static void SetMode(mode_enum mode);
    // Sets the mode whatever was set before.
    static void SetModeForce(mode_enum mode);

    // The table of the current mode; the three dates are now (local time,
    // milliseconds 0), Active 1, every other number 0, the texts empty.
    CCustomer();
    CCustomer(const CCustomer& other);
    CCustomer& operator=(const CCustomer& other);
    ~CCustomer() override;

    int StructureTo() override;
    int StructureFrom() override;

    // The customer `id` of the object's table: 1 found, 0 not (also kept as
    // the found switch).
    int Equ(int id);
    // With 0, positioning reads "ID" alone and leaves the other fields as
    // they are: a quick walk over the customer numbers.
    void SetLoad(int on) { m_load = on; }
    // Copies every field of `c` into the object's customer_def part.
    void Assign(const customer_def& c);

    int m_load;   // 1: read every column; 0: "ID" only
    int m_found;  // 1 once a row was read in full or found by Equ

private:
    xr::records::ColumnIndex m_columns;
    xr::records::ColumnIndex m_idColumns;
};

// Forces the customer mode (CCustomer::SetModeForce); returns 0.
XRDB8_EXPORT int CustomersSetMode(int mode);
