#include "setup/pass1.h"

#include <utility>

namespace xr::setup {

TableSteps& TableSteps::Sql(std::string sql, std::string tag) {
    Step step;
    step.sql = std::move(sql);
    step.tag = std::move(tag);
    step.label = m_table;
    m_steps.push_back(std::move(step));
    return *this;
}

TableSteps& TableSteps::SqlIf(std::string sql, std::string onlyIfSucceeded) {
    Step step;
    step.sql = std::move(sql);
    step.onlyIfSucceeded = std::move(onlyIfSucceeded);
    step.label = m_table;
    m_steps.push_back(std::move(step));
    return *this;
}

TableSteps& TableSteps::Convert(std::function<void(PassContext&)> conversion,
                                std::string onlyIfSucceeded) {
    Step step;
    step.conversion = std::move(conversion);
    step.onlyIfSucceeded = std::move(onlyIfSucceeded);
    step.label = m_table;
    m_steps.push_back(std::move(step));
    return *this;
}

std::string Numbered(std::string_view format, int first, int last, std::string_view separator) {
    std::string out;
    for (int n = first; n <= last; ++n) {
        if (n != first) out += separator;
        const std::string number = std::to_string(n);
        for (size_t i = 0; i < format.size(); ++i) {
            if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 'd') {
                out += number;
                ++i;
            } else {
                out += format[i];
            }
        }
    }
    return out;
}

std::string DropUnnamedDefault(std::string_view table, std::string_view column,
                               std::string_view tail) {
    std::string sql =
        "DROP TABLE BLA SELECT syscolumns.name, object_name(sysconstraints.constid) AS Constname "
        "INTO BLA FROM sysconstraints INNER JOIN syscolumns  ON (sysconstraints.id = object_id('";
    sql += table;
    sql +=
        "') AND sysconstraints.id = syscolumns.id AND sysconstraints.colid = syscolumns.colid AND "
        "sysconstraints.status = 133141) WHERE syscolumns.name='";
    sql += column;
    sql +=
        "' DECLARE @V1 AS VARCHAR(100) DEALLOCATE C1 DECLARE C1 CURSOR SCROLL FOR SELECT "
        "ConstName FROM BLA OPEN C1 FETCH FIRST FROM c1 INTO @V1 ";
    sql += tail;
    return sql;
}

// The loop stops at the first n whose KPAggregate<n> has no unnamed default,
// so a database that never had the old columns is left as it is.
const char* const kKitchenPrinterBatch =
    "DECLARE @SQL AS VARCHAR(2000), @V1 AS VARCHAR(100) , @KPI AS INTEGER, @KPT AS VARCHAR(10)\n"
    "SET @KPI = 1\n"
    "WHILE @KPI < 10 BEGIN\n"
    " SET @KPT = CAST(@KPI AS VARCHAR)\n"
    " DROP TABLE BLA\n"
    " SET @SQL = 'SELECT syscolumns.name, object_name(sysconstraints.constid) AS Constname INTO "
    "BLA FROM sysconstraints INNER JOIN syscolumns ON (sysconstraints.id = "
    "object_id(''CfgTills'') AND sysconstraints.id = syscolumns.id AND sysconstraints.colid = "
    "syscolumns.colid AND sysconstraints.status = 133141) WHERE "
    "syscolumns.name=''KPAggregate' + @KPT + ''''\n"
    " EXEC (@SQL)\n"
    " IF EXISTS (SELECT * FROM BLA) BEGIN\n"
    "  DEALLOCATE C1\n"
    "  DECLARE C1 CURSOR SCROLL FOR SELECT ConstName FROM BLA\n"
    "  OPEN C1 FETCH FIRST FROM C1 INTO @V1\n"
    "  EXEC ('ALTER TABLE CfgTills DROP CONSTRAINT ' +  @V1)\n"
    "  SET @SQL = 'ALTER TABLE CfgTills ALTER COLUMN KPAggregate' + @KPT + ' INTEGER NOT NULL' "
    "EXEC (@SQL)\n"
    "  SET @SQL = 'sp_rename ''CfgTills.[KPAggregate' + @KPT + ']'', ''KPLayout' + @KPT + ''', "
    "''COLUMN''' EXEC (@SQL)\n"
    "  SET @SQL = 'ALTER TABLE CfgTills ADD CONSTRAINT CfgTillsKPLayout' + @KPT + ' DEFAULT 0 "
    "FOR KPLayout' + @KPT + '' EXEC (@SQL)\n"
    "  SET @KPI = @KPI + 1\n"
    " END ELSE SET @KPI = 10\n"
    "END";

const std::vector<Step>& Pass1Steps() {
    static const std::vector<Step> steps = [] {
        std::vector<Step> list;
        list.reserve(420);
        AddProducts(list);
        AddCfgTills(list);
        AddCfgSys(list);
        AddConfigTables(list);
        return list;
    }();
    return steps;
}

}  // namespace xr::setup
