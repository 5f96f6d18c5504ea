// Pass 3: the user database LORIMDAX of the back-office programs: who may log
// on, with which permission profile per category, and a few values of their
// own. Every statement names its table with the database in front, so the
// tables land in LORIMDAX whatever database the connection is in.
#include "platform/text.h"
#include "setup/pass23.h"

namespace xr::setup {

namespace {

// Twelve permissions per profile and category, none granted by default.
std::string Permits() {
    std::string columns;
    for (int n = 1; n <= 12; ++n) columns += Format(", Permit%d BIT DEFAULT 0 NOT NULL", n);
    return columns;
}

}  // namespace

std::vector<Step> Pass3Steps() {
    std::vector<Step> s;
    const std::string db = std::string(kUserDb) + "..";

    TableSchema(s, "UserProfiles", db)
        .Create(
            "ProfileName VARCHAR(40) DEFAULT 'Name' NOT NULL, "
            "Category VARCHAR(40) DEFAULT 'NoCategory' NOT NULL, "
            "Editable BIT DEFAULT 1 NOT NULL" +
            Permits())
        .Add("IParam1 INTEGER DEFAULT 0 NOT NULL")
        .PrimaryKey("ProfileName, Category")
        .Statement("USE LorimDax");

    TableSchema(s, "Users", db)
        .Create(
            "UserName VARCHAR(40) DEFAULT 'Name' NOT NULL, "
            "Password VARCHAR(10) DEFAULT '' NOT NULL, "
            "ProfileName VARCHAR(40) DEFAULT '' NOT NULL, StaySuper BIT DEFAULT 0 NOT NULL")
        .PrimaryKey("UserName");

    TableSchema(s, "Various", db)
        .Create(
            "FieldName VARCHAR(20) DEFAULT 'Name' NOT NULL, FieldIndex INTEGER DEFAULT 0 NOT NULL, "
            "iValue INTEGER DEFAULT 0 NOT NULL, sValue VARCHAR(50) DEFAULT '' NOT NULL")
        .PrimaryKey("FieldName, FieldIndex");

    return s;
}

const std::vector<std::string>& AdministratorCategories() {
    static const std::vector<std::string> categories = {"Currency",
                                                        "Function Control",
                                                        "Groups",
                                                        "Departments",
                                                        "Lists",
                                                        "Loyalty",
                                                        "Macros",
                                                        "Mix&Match",
                                                        "Payment methods",
                                                        "PLU Modifiers",
                                                        "Printers",
                                                        "Products",
                                                        "Promotions",
                                                        "Screen Modes",
                                                        "System Configuration",
                                                        "Servers",
                                                        "Tables",
                                                        "Tills",
                                                        "Time Plans",
                                                        "Users",
                                                        "Data Transfer",
                                                        "Remote Control",
                                                        "Customers",
                                                        "Rooms"};
    return categories;
}

std::vector<Step> InitialAccessSteps() {
    std::vector<Step> s;
    auto add = [&s](std::string sql, const char* label) {
        Step step;
        step.sql = std::move(sql);
        step.label = label;
        s.push_back(std::move(step));
    };
    add("USE LorimDax", kUserDb);
    // An older release wrote the category with a trailing blank.
    add("UPDATE [UserProfiles] SET [Category]='Groups' WHERE [Category]='Groups '", "UserProfiles");
    // The administrator may do everything in every category and cannot be edited away.
    for (const std::string& category : AdministratorCategories())
        add("INSERT UserProfiles ([ProfileName], [Category], [Editable], [Permit1], [Permit2], "
            "[Permit3], [Permit4], [Permit5], [Permit6], [Permit7], [Permit8], [Permit9], "
            "[Permit10], [Permit11], [Permit12]) VALUES ('Administrator', '" +
                QuoteSql(category) + "', 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1)",
            "UserProfiles");
    // A level the site has chosen for the administrator's servers stays as it is.
    add("UPDATE UserProfiles SET IParam1=9 WHERE [ProfileName]='Administrator' AND "
        "[CATEGORY]='Servers' AND [IParam1]=0",
        "UserProfiles");
    add("INSERT Users VALUES ('lm', '', 'Administrator', 1)", "Users");
    return s;
}

}  // namespace xr::setup
