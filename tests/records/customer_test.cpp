// Customers: the process-wide mode and the table it chooses, who numbers a
// new customer, the credit limit's rounding, the load switch, and what
// customer_def's comparison looks at.
#include <ctime>
#include <functional>
#include <utility>

#include "records_fixture.h"

namespace {

using xrtest::RecordsTest;

class CustomerTest : public RecordsTest {
protected:
    CustomerTest() : RecordsTest({"Customers", "Customers2"}) {
        CCustomer::SetModeForce(CCustomer::MODE_CUSTOMERS);
    }
    void TearDown() override {
        CCustomer::SetModeForce(CCustomer::MODE_CUSTOMERS);
        RecordsTest::TearDown();
    }

    using U = uint16_t;
    static SYSTEMTIME Time(U y, U mo, U d, U h, U mi, U s) { return {y, mo, 0, d, h, mi, s, 0}; }
};

TEST_P(CustomerTest, TheModeChoosesTableAndIdentityAtConstructionOnceSet) {
    // Each mode's table, and 1 where the database numbers the rows.
    const std::pair<int, const char*> cases[] = {
        {0, "Customers|1"}, {1, "Customers2|0"}, {7, "Customers2|0"}};
    for (const auto& [mode, made] : cases) {
        SCOPED_TRACE(mode);
        EXPECT_EQ(CustomersSetMode(mode), 0);
        EXPECT_EQ(CCustomer::GetMode(), mode);
        CCustomer customer;
        EXPECT_EQ(customer.get_Name() + "|" + std::to_string(customer.m_scriptFlag), made);
    }
    // An object keeps the table it was made for.
    CustomersSetMode(1);
    CCustomer made;
    CustomersSetMode(0);
    EXPECT_EQ(made.get_Name(), "Customers2");
    // Once set, only a forced setting changes the mode.
    CCustomer::SetModeForce(CCustomer::MODE_CUSTOMERS2);
    CCustomer::SetMode(CCustomer::MODE_CUSTOMERS);
    EXPECT_EQ(CCustomer::GetMode(), CCustomer::MODE_CUSTOMERS2);
    CCustomer::SetModeForce(CCustomer::MODE_CUSTOMERS);
    EXPECT_EQ(CCustomer::GetMode(), CCustomer::MODE_CUSTOMERS);
    CCustomer::SetMode(CCustomer::MODE_CUSTOMERS2);
    EXPECT_EQ(CCustomer::GetMode(), CCustomer::MODE_CUSTOMERS);
}

TEST_P(CustomerTest, WhoNumbersANewCustomer) {
    {  // Mode 0: the database; the default customer already has 1.
        CCustomer c;
        ASSERT_EQ(c.OpenRS("SELECT * FROM Customers"), 1);
        ASSERT_EQ(c.AddNew(), 1);
        c.ID = 99;
        c.LastName = "Smith";
        ASSERT_EQ(c.Update(0), 1);
        EXPECT_EQ(Scalar("SELECT ID FROM Customers WHERE LastName='Smith'"), "2");
        EXPECT_EQ(c.GetIdentity(), 2);
    }
    {  // Mode 1: the caller.
        CustomersSetMode(1);
        CCustomer c;
        ASSERT_EQ(c.OpenRS("SELECT * FROM Customers2"), 1);
        ASSERT_EQ(c.AddNew(), 1);
        c.ID = 500;
        c.LastName = "Jones";
        ASSERT_EQ(c.Update(0), 1);
        CCustomer found;
        ASSERT_EQ(found.Equ(500), 1);
        EXPECT_EQ(found.LastName + "|" + std::to_string(found.m_found), "Jones|1");
        EXPECT_EQ(found.Equ(501), 0);
        EXPECT_EQ(found.m_found, 0);
    }
    {  // Any other mode writes no number, and Customers2 cannot number rows.
        CustomersSetMode(2);
        CCustomer c;
        ASSERT_EQ(c.OpenRS("SELECT * FROM Customers2"), 1);
        ASSERT_EQ(c.AddNew(), 1);
        c.ID = 600;
        EXPECT_EQ(c.Update(0), 0);
        EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Customers2"), "1");
    }
}

TEST_P(CustomerTest, EveryFieldRoundTripsAndBitColumnsReadAsTrue) {
    CustomersSetMode(1);
    customer_def given;
    given.ID = 42;
    given.LastName = "O'Neill";
    given.FirstName = "Siobhan";
    given.Title = "Ms";
    given.Address[0] = "1 Harbour Road";
    given.Address[2] = "Cork";
    given.Postcode = "T12 X";
    given.Tel[1] = "+353 21 000";
    given.Email = "s@example.ie";
    given.Info[2] = "Prefers the window table";
    given.CreationTime = Time(2021, 3, 4, 5, 6, 7);
    given.ModifiedTime = Time(2022, 12, 31, 23, 59, 58);
    given.LastUsedTime = Time(2023, 1, 1, 0, 0, 1);
    given.CustomerGroupID = 3;
    given.CreditLimit = 123456;
    given.Temporary = 0;
    given.Active = 1;
    given.Source = 4;
    given.IsVIP = 1;
    CCustomer c;
    ASSERT_EQ(c.OpenRS("SELECT * FROM Customers2"), 1);
    ASSERT_EQ(c.AddNew(), 1);  // loads the new row's defaults over the fields
    c.Assign(given);
    ASSERT_EQ(c.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT CreditLimit FROM Customers2"), "1234.56");

    CCustomer read;
    ASSERT_EQ(read.Equ(42), 1);
    // A set bit column reads as -1, as the tills have always seen it.
    EXPECT_EQ(xr::Format("%d|%d", read.Active, read.IsVIP), "-1|-1");
    read.Active = read.IsVIP = 1;
    EXPECT_TRUE(read == given);
    auto text = [](const SYSTEMTIME& t) {
        return xr::Format("%d-%d-%d %d:%d:%d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                          t.wSecond);
    };
    for (auto time :
         {&customer_def::CreationTime, &customer_def::ModifiedTime, &customer_def::LastUsedTime})
        EXPECT_EQ(text(read.*time), text(given.*time));
    EXPECT_EQ(xrtest::TableErrors("Customers2"), 0u);
}

TEST_P(CustomerTest, CreditLimitsReadToTheHundredthAndTheLoadSwitchOffReadsOnlyTheNumber) {
    const std::pair<const char*, int32_t> cases[] = {
        {"19.99", 1999}, {"0.07", 7}, {"250000", 25000000}};
    for (const auto& [stored, hundredths] : cases) {
        SCOPED_TRACE(stored);
        Exec(std::string("UPDATE Customers SET CreditLimit=") + stored);
        CCustomer customer;
        ASSERT_EQ(customer.Equ(1), 1);
        EXPECT_EQ(customer.CreditLimit, hundredths);
        Exec("UPDATE Customers SET CreditLimit=0");
        ASSERT_EQ(customer.Update(0), 1);
        EXPECT_EQ(Scalar("SELECT CreditLimit * 100 FROM Customers WHERE ID=1"),
                  std::to_string(hundredths));
    }

    Exec("INSERT INTO Customers (LastName) VALUES ('Second')");
    CCustomer c;
    c.LastName = "kept";
    c.CreditLimit = 77;
    c.SetLoad(0);
    ASSERT_EQ(c.MoveFirst(), 1);
    EXPECT_EQ(c.ID, 1);
    ASSERT_EQ(c.MoveNext(), 1);
    EXPECT_EQ(xr::Format("%d|%s|%d|%d", c.ID, c.LastName.c_str(), c.CreditLimit, c.m_found),
              "2|kept|77|0");
    c.SetLoad(1);
    ASSERT_EQ(c.MoveFirst(), 1);
    EXPECT_EQ(c.LastName + "|" + std::to_string(c.m_found), "Default Customer|1");
}

TEST_P(CustomerTest, ANewObjectIsAnActiveCustomerMadeNow) {
    CCustomer c;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    EXPECT_EQ(c.CreationTime.wYear, local.tm_year + 1900);
    EXPECT_EQ(c.CreationTime.wMilliseconds, 0);
    EXPECT_EQ(c.ModifiedTime.wDay, c.CreationTime.wDay);
    EXPECT_EQ(c.LastUsedTime.wHour, c.CreationTime.wHour);
    EXPECT_EQ(c.Active, 1);
}

TEST(CustomerDefTest, ComparesEverythingButTheDates) {
    customer_def base;
    base.ID = 5;
    base.LastName = "Byrne";
    base.Address[1] = "Main Street";
    const std::pair<const char*, std::function<void(customer_def&)>> changes[] = {
        {"ID", [](customer_def& c) { c.ID = 6; }},
        {"LastName case", [](customer_def& c) { c.LastName = "byrne"; }},
        {"FirstName", [](customer_def& c) { c.FirstName = "x"; }},
        {"Title", [](customer_def& c) { c.Title = "Dr"; }},
        {"Address2", [](customer_def& c) { c.Address[1] = "Main St"; }},
        {"Address3", [](customer_def& c) { c.Address[2] = "x"; }},
        {"Postcode", [](customer_def& c) { c.Postcode = "x"; }},
        {"Tel1", [](customer_def& c) { c.Tel[0] = "x"; }},
        {"Tel3", [](customer_def& c) { c.Tel[2] = "x"; }},
        {"Email", [](customer_def& c) { c.Email = "x"; }},
        {"Info1", [](customer_def& c) { c.Info[0] = "x"; }},
        {"Info3", [](customer_def& c) { c.Info[2] = "x"; }},
        {"CustomerGroupID", [](customer_def& c) { c.CustomerGroupID = 2; }},
        {"CreditLimit", [](customer_def& c) { c.CreditLimit = 1; }},
        {"Temporary", [](customer_def& c) { c.Temporary = 1; }},
        {"Active", [](customer_def& c) { c.Active = 1; }},
        {"Source", [](customer_def& c) { c.Source = 1; }},
        {"IsVIP", [](customer_def& c) { c.IsVIP = 1; }},
    };
    for (const auto& [what, change] : changes) {
        SCOPED_TRACE(what);
        customer_def other = base;
        change(other);
        EXPECT_EQ(xr::Format("%d|%d", other == base, other != base), "0|1");
    }
    customer_def touched = base;
    touched.ModifiedTime.wYear = 2030;
    touched.CreationTime.wSecond = 9;
    touched.LastUsedTime.wDay = 3;
    EXPECT_EQ(xr::Format("%d|%d", touched == base, touched != base), "1|0");
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(CustomerTest);
