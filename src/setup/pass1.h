// Pass 1: the statements that create and upgrade the configuration tables of
// the configuration database, table by table in the order the pass handles
// them, and the data conversions run between them.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "setup/pass.h"

namespace xr::setup {

// Appends one table's steps, each labelled with the table's name.
class TableSteps {
public:
    TableSteps(std::vector<Step>& steps, std::string table)
        : m_steps(steps), m_table(std::move(table)) {}

    // A statement; `tag` names it for the steps that test its success.
    TableSteps& Sql(std::string sql, std::string tag = {});
    // A statement run only when the tagged statement succeeded.
    TableSteps& SqlIf(std::string sql, std::string onlyIfSucceeded);
    // A data conversion; with `onlyIfSucceeded`, only when that tagged
    // statement succeeded.
    TableSteps& Convert(std::function<void(PassContext&)> conversion,
                        std::string onlyIfSucceeded = {});

private:
    std::vector<Step>& m_steps;
    std::string m_table;
};

// `format` once per number first..last, each "%d" replaced by the number, the
// pieces joined by `separator`. Texts are never used as printf formats, so a
// '%' elsewhere stays as it is.
std::string Numbered(std::string_view format, int first, int last, std::string_view separator = "");

// The statement that finds the unnamed default of `column` in `table`
// through the catalog, drops it and then runs `tail`.
std::string DropUnnamedDefault(std::string_view table, std::string_view column,
                               std::string_view tail);

// The kitchen-printer batch that turns old constrained KPAggregate<n>
// columns of CfgTills into KPLayout<n>.
extern const char* const kKitchenPrinterBatch;

// The tables, in the order the pass handles them.
void AddProducts(std::vector<Step>& steps);
void AddCfgTills(std::vector<Step>& steps);
void AddCfgSys(std::vector<Step>& steps);
// Barcodes to Allergies.
void AddConfigTables(std::vector<Step>& steps);

// Every step of pass 1, in order.
const std::vector<Step>& Pass1Steps();

// The data conversions (pass1_conversions.cpp).
void ConvertReceiptTypes(PassContext& context);
void ConvertCustOnKP(PassContext& context);
void ConvertSysFlags(PassContext& context);
void ConvertPromoAnalysis(PassContext& context);
void MigrateLoyalty(PassContext& context);
void AddFirstTableArea(PassContext& context);

}  // namespace xr::setup
