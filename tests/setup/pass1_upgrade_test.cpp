// Pass 1 over a configuration database an older release left: the tables are
// built here with the early statements of the pass itself, filled with old
// rows, and the conversions must give the values the upgrade promises.
#include "setup_fixture.h"

namespace xrtest {
namespace {

using xr::setup::Outcome;
using Lines = std::vector<std::string>;

TEST_F(Pass1Test, OldTillsGetReceiptTypesKitchenLayoutsAndCustomerNameSetting) {
    MakeConfigurationDb();
    const Lines tills = StatementsOf("CfgTills");
    ASSERT_NE(tills[16].find("ReceiptType"), std::string::npos);
    ASSERT_NE(tills[41].find("CustNameOnKP"), std::string::npos);
    // A release before receipt types, with kitchen columns that still carry
    // their unnamed defaults, before the customer name setting became CustOnKP.
    RunStatements("CfgTills", 1, 16);
    Exec(tills[18]);
    RunStatements("CfgTills", 22, 42);
    const std::string longName = "A till named with thirty chars";
    Exec(
        "INSERT CfgTills (TillNo, Name, ItmRct, ConsolPrt, CustNameOnKP, KPAggregate3) "
        "VALUES (1, '" +
        longName + "', 0, 3, 1, 7)");
    Exec("INSERT CfgTills (TillNo, ItmRct, ConsolPrt, CustNameOnKP) VALUES (2, 1, 1, 0)");

    ASSERT_EQ(SetupDB1(), 1);
    EXPECT_TRUE(With(Outcome::Failed).empty()) << With(Outcome::Failed)[0].error;
    EXPECT_EQ(Rows("SELECT ReceiptType, ReceiptConsolidation, BillType, BillConsolidation, "
                   "CustOnKP FROM CfgTills ORDER BY TillNo"),
              (Lines{"1|2|3|2|1", "5|2|3|0|0"}));
    // The old kitchen columns became the layouts, with their values; the
    // aggregate columns are new.
    EXPECT_EQ(Rows("SELECT KPLayout3, KPAggregate3, KPLayout1 FROM CfgTills ORDER BY TillNo"),
              (Lines{"7|0|0", "0|0|0"}));
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sysobjects WHERE name LIKE 'CfgTillsKPLayout%'"), "9");
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM sysobjects WHERE name LIKE 'KPAggregate%Dflt'"), "0");
    // Converting the settings leaves the till's other values alone.
    EXPECT_EQ(Scalar("SELECT Name FROM CfgTills WHERE TillNo = 1"), longName);
    EXPECT_EQ(File(m_dir).Query("SELECT COUNT(*) FROM pragma_table_info('CfgTills')"),
              Lines{"271"});
}

TEST_F(Pass1Test, OldPromotionsLoyaltyDepartmentsAndSystemFlagsAreConverted) {
    MakeConfigurationDb();
    RunStatements("CfgTills", 1, 2);
    Exec("INSERT CfgTills (TillNo) VALUES (1)");
    RunStatements("CfgSys", 1, 1);
    const std::string longName(42, 'N');
    Exec("INSERT CfgSys (Numb, Vatr, SysFlags, Name1) VALUES (1, 'A', 4096, '" + longName + "')");
    Exec("INSERT CfgSys (Numb, Vatr, SysFlags) VALUES (2, 'A', 266240), (3, 'A', 0)");
    // Promotions of a release that had the category list but not Reasons.
    RunStatements("Promos", 1, 9);
    Exec("INSERT Promos (PromNo, Analysis, AnalysisNew) VALUES (1, 0, 0), (2, 5, 0)");
    Exec("INSERT Promos (PromNo, Analysis, AnalysisNew, AnalysisCats) VALUES (3, 5, 1, '7;')");
    Exec("INSERT Promos (PromNo, Trip, AnalysisNew, AnalysisCats) VALUES (9, 5.00, 1, '1;')");
    RunStatements("Loyalty", 1, 2);
    Exec(
        "INSERT Loyalty (TillNo, Promotion, CheckDigit, Points, LowerID, UpperID, Format, "
        "IsLocal) VALUES (1, 1, 1, 10, '100', '199', 'F1', 1)");
    Exec("INSERT Loyalty (TillNo, Promotion) VALUES (2, 0)");
    RunStatements("Depts", 1, 3);
    Exec("INSERT Depts (DptNo, Tickets) VALUES (1, 2), (2, 0)");

    ASSERT_EQ(SetupDB1(), 1);
    EXPECT_TRUE(With(Outcome::Failed).empty()) << With(Outcome::Failed)[0].error;
    EXPECT_EQ(Rows("SELECT SysFlags FROM CfgSys ORDER BY Numb"),
              (Lines{"397312", "266240", "262144"}));
    EXPECT_EQ(Scalar("SELECT Name1 FROM CfgSys WHERE Numb = 1"), longName);
    EXPECT_EQ(Rows("SELECT AnalysisCats, AnalysisNew FROM Promos ORDER BY PromNo"),
              (Lines{"1;2;3;4;5;6;7;8;9;10;11;12;13;14;15;16;|1", "1;3;|1", "7;|1", "1;|1"}));
    // Promotion 9 has a trip amount: a loyalty till with a promotion rewards spend.
    EXPECT_EQ(Rows("SELECT SchemeNo, Name, Promotion, PromoType, LowerID, UpperID, CheckDigit, "
                   "Format, Points, IsLocal FROM Loyalty5 ORDER BY SchemeNo"),
              (Lines{"1|AutoGenerate 1|9|2|100|199|1|F1|10|1",
                     "2|AutoGenerate 2|9|0|99999999999999|99999999999999|0||0|0"}));
    EXPECT_EQ(Scalar("SELECT LoySchemeUse1 FROM CfgTills"), "1");
    EXPECT_EQ(Rows("SELECT TicketsMode FROM Depts ORDER BY DptNo"), (Lines{"1", "0"}));
    // The old till row got its receipt types from the defaults of the old columns.
    EXPECT_EQ(Scalar("SELECT ReceiptType, ReceiptConsolidation, BillType, BillConsolidation "
                     "FROM CfgTills"),
              "5|0|3|0");
}

TEST_F(Pass1Test, LoyaltyWithoutAPromotionNineTripGetsTheSimpleSchemeType) {
    MakeConfigurationDb();
    RunStatements("Loyalty", 1, 2);
    Exec("INSERT Loyalty (TillNo, Promotion) VALUES (4, 3)");
    ASSERT_EQ(SetupDB1(), 1);
    EXPECT_EQ(Rows("SELECT SchemeNo, PromoType FROM Loyalty5"), Lines{"4|1"});
    // Only a new Loyalty5 takes the rows over: a second run adds nothing.
    Exec("DELETE FROM Loyalty5");
    ASSERT_EQ(SetupDB1(), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Loyalty5"), "0");
}

TEST_F(Pass1Test, KitchenBatchStopsAtTheFirstColumnWithoutAnUnnamedDefault) {
    MakeConfigurationDb();
    Exec(
        "CREATE TABLE CfgTills (TillNo INTEGER NOT NULL, KPAggregate1 INTEGER DEFAULT 0 NOT NULL, "
        "KPAggregate2 INTEGER DEFAULT 0 NOT NULL, KPAggregate3 INTEGER NOT NULL, "
        "KPAggregate4 INTEGER DEFAULT 0 NOT NULL)");
    Exec("INSERT CfgTills VALUES (1, 11, 12, 13, 14)");
    DBExec(xr::setup::kKitchenPrinterBatch);
    EXPECT_EQ(Rows("SELECT * FROM CfgTills"), Lines{"1|11|12|13|14"});
    EXPECT_EQ(
        File(m_dir).Query("SELECT group_concat(name, ' ') FROM pragma_table_info('CfgTills')"),
        Lines{"TillNo KPLayout1 KPLayout2 KPAggregate3 KPAggregate4"});
}

TEST_F(Pass1Test, AStatementThatFailsForAnotherReasonIsReportedAndThePassGoesOn) {
    MakeConfigurationDb();
    // Two groups with one number: the key cannot be made.
    RunStatements("Groups", 1, 1);
    Exec("INSERT Groups (GrpNo, Name) VALUES (1, 'Food')");
    Exec("INSERT Groups (GrpNo, Name) VALUES (1, 'Drink')");
    ASSERT_EQ(SetupDB1(), 1);
    const std::vector<Seen> failed = With(Outcome::Failed);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].label, "Groups");
    EXPECT_NE(failed[0].sql.find("GroupsPrimary"), std::string::npos);
    EXPECT_FALSE(LinesStarting("Set-up Groups: step failed").empty());
    // Everything after it was still made.
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Allergies"), "0");
}

}  // namespace
}  // namespace xrtest
