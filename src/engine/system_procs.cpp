#include "engine/system_procs.h"

#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine {

namespace {

std::string Lit(const std::string& text) { return "'" + QuoteSql(text) + "'"; }

[[noreturn]] void Fail(const std::string& message) {
    throw ComError(DB_E_ERRORSINCOMMAND, message);
}

const std::optional<std::string>& Param(const ProcParams& params, size_t i) {
    static const std::optional<std::string> kNone;
    return i < params.size() ? params[i] : kNone;
}

// The first parameter, @table_name, which the procedure cannot do without.
const std::string& TableNameParam(const ProcParams& params, const char* procedure) {
    const auto& table = Param(params, 0);
    if (!table) {
        Fail(std::string("Procedure or function '") + procedure +
             "' expects parameter '@table_name', which was not supplied.");
    }
    return *table;
}

// The qualifier names the current database or nothing.
void CheckQualifier(const ProcParams& params, size_t i, const std::string& database) {
    const auto& q = Param(params, i);
    if (q && !IEquals(*q, database)) {
        Fail(
            "The database name component of the object qualifier must be the name of the current "
            "database.");
    }
}

// The owner is dbo or not given: every object here is dbo's.
std::string OwnerCondition(const ProcParams& params, size_t i) {
    const auto& owner = Param(params, i);
    return owner ? " AND 'dbo' LIKE " + Lit(*owner) : "";
}

// The last part of "owner.name" or "[owner].[name]".
std::string BareName(std::string name) {
    size_t dot = name.rfind('.');
    if (dot != std::string::npos) name = name.substr(dot + 1);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    return name;
}

const char* const kObjectType =
    "CASE o.xtype WHEN 'U' THEN 'user table' WHEN 'S' THEN 'system table' WHEN 'V' THEN "
    "'view' WHEN 'P' THEN 'stored procedure' WHEN 'PK' THEN 'primary key cns' WHEN 'UQ' THEN "
    "'unique key cns' WHEN 'F' THEN 'foreign key cns' WHEN 'C' THEN 'check cns' WHEN 'D' THEN "
    "'default (maybe cns)' WHEN 'TR' THEN 'trigger' ELSE 'object' END";

SystemProcCall Help(const ProcParams& params) {
    const auto& name = Param(params, 0);
    if (!name) {
        return {std::string("SELECT o.name AS Name, 'dbo' AS Owner, ") + kObjectType +
                    " AS Object_type FROM sysobjects o ORDER BY Object_type, Name",
                ""};
    }
    const std::string bare = BareName(*name);
    // tempdb's catalog shows a #table by its padded name: found by its id.
    const std::string which = bare.size() > 1 && bare[0] == '#' && bare[1] != '#'
                                  ? "o.id = OBJECT_ID(" + Lit(bare) + ")"
                                  : "o.name = " + Lit(bare);
    return {std::string("SELECT o.name AS Name, 'dbo' AS Owner, ") + kObjectType +
                " AS Type, o.crdate AS Created_datetime FROM sysobjects o WHERE " + which,
            bare};
}

SystemProcCall Columns(const ProcParams& params, const std::string& database) {
    // @table_name, @table_owner, @table_qualifier, @column_name, @ODBCVer
    CheckQualifier(params, 2, database);
    const std::string& table = TableNameParam(params, "sp_columns");
    std::string where = "c.TABLE_NAME LIKE " + Lit(table) + OwnerCondition(params, 1);
    if (const auto& column = Param(params, 3)) where += " AND c.COLUMN_NAME LIKE " + Lit(*column);
    const std::string d = "c.DATA_TYPE";
    auto pick = [&](const char* cases, const char* otherwise) {
        return std::string("CASE ") + d + " " + cases + " ELSE " + otherwise + " END";
    };
    const std::string odbc = pick(
        "WHEN 'bit' THEN -7 WHEN 'tinyint' THEN -6 WHEN 'smallint' THEN 5 WHEN 'int' THEN 4 "
        "WHEN 'bigint' THEN -5 WHEN 'money' THEN 3 WHEN 'smallmoney' THEN 3 WHEN 'decimal' "
        "THEN 3 WHEN 'numeric' THEN 2 WHEN 'real' THEN 7 WHEN 'float' THEN 6 WHEN 'datetime' "
        "THEN 11 WHEN 'smalldatetime' THEN 11 WHEN 'char' THEN 1 WHEN 'varchar' THEN 12 WHEN "
        "'text' THEN -1 WHEN 'nchar' THEN -8 WHEN 'nvarchar' THEN -9 WHEN 'ntext' THEN -10 WHEN "
        "'binary' THEN -2 WHEN 'varbinary' THEN -3 WHEN 'image' THEN -4",
        "NULL");
    const std::string precision = pick(
        "WHEN 'bit' THEN 1 WHEN 'real' THEN 7 WHEN 'float' THEN 15 WHEN 'datetime' THEN 23 WHEN "
        "'smalldatetime' THEN 16",
        "ISNULL(c.NUMERIC_PRECISION, c.CHARACTER_MAXIMUM_LENGTH)");
    const std::string length = pick(
        "WHEN 'bit' THEN 1 WHEN 'tinyint' THEN 1 WHEN 'smallint' THEN 2 WHEN 'int' THEN 4 WHEN "
        "'bigint' THEN 8 WHEN 'money' THEN 21 WHEN 'smallmoney' THEN 12 WHEN 'decimal' THEN "
        "c.NUMERIC_PRECISION + 2 WHEN 'numeric' THEN c.NUMERIC_PRECISION + 2 WHEN 'real' THEN 4 "
        "WHEN 'float' THEN 8 WHEN 'datetime' THEN 16 WHEN 'smalldatetime' THEN 16",
        "c.CHARACTER_OCTET_LENGTH");
    const std::string scale = pick(
        "WHEN 'bit' THEN 0 WHEN 'datetime' THEN 3 WHEN 'smalldatetime' THEN 0 WHEN 'real' THEN "
        "NULL WHEN 'float' THEN NULL",
        "c.NUMERIC_SCALE");
    const std::string radix = pick("WHEN 'bit' THEN NULL WHEN 'real' THEN 10 WHEN 'float' THEN 10",
                                   "CASE WHEN c.NUMERIC_PRECISION IS NULL THEN NULL ELSE 10 END");
    // The server's own type code; a nullable column has the type that may
    // hold NULL (INTN, MONEYN, FLTN, DATETIMN, DECIMALN, NUMERICN).
    const std::string ssNullable = pick(
        "WHEN 'tinyint' THEN 38 WHEN 'smallint' THEN 38 WHEN 'int' THEN 38 WHEN 'bigint' THEN 38 "
        "WHEN 'money' THEN 110 WHEN 'smallmoney' THEN 110 WHEN 'real' THEN 109 WHEN 'float' THEN "
        "109 WHEN 'datetime' THEN 111 WHEN 'smalldatetime' THEN 111 WHEN 'decimal' THEN 106 WHEN "
        "'numeric' THEN 108",
        "NULL");
    const std::string ssType = pick(
        "WHEN 'bit' THEN 50 WHEN 'tinyint' THEN 48 WHEN 'smallint' THEN 52 WHEN 'int' THEN 56 "
        "WHEN 'bigint' THEN 127 WHEN 'money' THEN 60 WHEN 'smallmoney' THEN 122 WHEN 'decimal' "
        "THEN 55 WHEN 'numeric' THEN 63 WHEN 'real' THEN 59 WHEN 'float' THEN 62 WHEN "
        "'datetime' THEN 61 WHEN 'smalldatetime' THEN 58 WHEN 'char' THEN 47 WHEN 'varchar' THEN "
        "39 WHEN 'text' THEN 35 WHEN 'binary' THEN 45 WHEN 'varbinary' THEN 37 WHEN 'image' THEN "
        "34",
        "NULL");
    const std::string identity =
        "COLUMNPROPERTY(OBJECT_ID(c.TABLE_NAME), c.COLUMN_NAME, 'IsIdentity')";
    std::string sql =
        "SELECT c.TABLE_CATALOG AS [TABLE_QUALIFIER], c.TABLE_SCHEMA AS [TABLE_OWNER], "
        "c.TABLE_NAME AS [TABLE_NAME], c.COLUMN_NAME AS [COLUMN_NAME], CAST(" +
        odbc + " AS SMALLINT) AS [DATA_TYPE], CAST(CASE WHEN " + identity + " = 1 THEN " + d +
        " + ' identity' ELSE " + d + " END AS VARCHAR(128)) AS [TYPE_NAME], CAST(" + precision +
        " AS INT) AS [PRECISION], CAST(" + length + " AS INT) AS [LENGTH], CAST(" + scale +
        " AS SMALLINT) AS [SCALE], CAST(" + radix +
        " AS SMALLINT) AS [RADIX], CAST(CASE WHEN c.IS_NULLABLE = 'YES' THEN 1 ELSE 0 END AS "
        "SMALLINT) AS [NULLABLE], CAST(NULL AS VARCHAR(254)) AS [REMARKS], c.COLUMN_DEFAULT AS "
        "COLUMN_DEF, CAST(CASE WHEN " +
        d + " IN ('datetime', 'smalldatetime') THEN 9 ELSE " + odbc +
        " END AS SMALLINT) AS [SQL_DATA_TYPE], CAST(CASE WHEN " + d +
        " IN ('datetime', 'smalldatetime') THEN 3 ELSE NULL END AS SMALLINT) AS "
        "SQL_DATETIME_SUB, c.CHARACTER_OCTET_LENGTH AS [CHAR_OCTET_LENGTH], c.ORDINAL_POSITION AS "
        "ORDINAL_POSITION, CAST(c.IS_NULLABLE AS VARCHAR(254)) AS [IS_NULLABLE], CAST(" +
        "CASE WHEN c.IS_NULLABLE = 'YES' THEN ISNULL(" + ssNullable + ", " + ssType + ") ELSE " +
        ssType + " END AS TINYINT) AS [SS_DATA_TYPE] FROM INFORMATION_SCHEMA.COLUMNS c WHERE " +
        where + " ORDER BY c.TABLE_NAME, c.ORDINAL_POSITION";
    return {sql, ""};
}

SystemProcCall Tables(const ProcParams& params, const std::string& database) {
    // @table_name, @table_owner, @table_qualifier, @table_type
    CheckQualifier(params, 2, database);
    const std::string type =
        "CAST(CASE o.xtype WHEN 'S' THEN 'SYSTEM TABLE' WHEN 'V' THEN 'VIEW' ELSE 'TABLE' END AS "
        "VARCHAR(32))";
    std::string where = "o.xtype IN ('U', 'S', 'V')" + OwnerCondition(params, 1);
    if (const auto& table = Param(params, 0)) where += " AND o.name LIKE " + Lit(*table);
    if (const auto& types = Param(params, 3)) {
        // A list of quoted types: "'TABLE','VIEW'".
        std::string in;
        for (const char* t : {"TABLE", "SYSTEM TABLE", "VIEW"}) {
            if (ToUpper(*types).find("'" + std::string(t) + "'") == std::string::npos) continue;
            in += std::string(in.empty() ? "" : ", ") + "'" + t + "'";
        }
        where += in.empty() ? " AND 1 = 0" : " AND " + type + " IN (" + in + ")";
    }
    std::string sql =
        "SELECT DB_NAME() AS [TABLE_QUALIFIER], CAST('dbo' AS VARCHAR(128)) AS "
        "TABLE_OWNER, o.name AS [TABLE_NAME], " +
        type +
        " AS [TABLE_TYPE], CAST(NULL AS VARCHAR(254)) AS [REMARKS] FROM "
        "sysobjects o WHERE " +
        where + " ORDER BY 4, 1, 2, 3";
    return {sql, ""};
}

SystemProcCall PKeys(const ProcParams& params, const std::string& database) {
    // @table_name, @table_owner, @table_qualifier
    CheckQualifier(params, 2, database);
    const std::string& table = TableNameParam(params, "sp_pkeys");
    std::string sql =
        "SELECT k.TABLE_CATALOG AS [TABLE_QUALIFIER], k.TABLE_SCHEMA AS [TABLE_OWNER], "
        "k.TABLE_NAME "
        "AS TABLE_NAME, k.COLUMN_NAME AS [COLUMN_NAME], CAST(k.ORDINAL_POSITION AS SMALLINT) AS "
        "KEY_SEQ, k.CONSTRAINT_NAME AS [PK_NAME] FROM INFORMATION_SCHEMA.KEY_COLUMN_USAGE k JOIN "
        "INFORMATION_SCHEMA.TABLE_CONSTRAINTS c ON c.CONSTRAINT_NAME = k.CONSTRAINT_NAME WHERE "
        "c.CONSTRAINT_TYPE = 'PRIMARY KEY' AND k.TABLE_NAME = " +
        Lit(table) + OwnerCondition(params, 1) + " ORDER BY k.TABLE_NAME, k.ORDINAL_POSITION";
    return {sql, ""};
}

// The database options of the server's sp_dboption, with their settings in
// a new database. Scripts set them before they create their tables; the
// embedded engine has no use for them, so a setting is accepted and not kept.
const struct {
    const char* name;
    bool on;
} kDbOptions[] = {
    {"ANSI null default", false},
    {"ANSI nulls", false},
    {"ANSI warnings", false},
    {"auto create statistics", true},
    {"auto update statistics", true},
    {"autoclose", false},
    {"autoshrink", false},
    {"concat null yields null", false},
    {"cursor close on commit", false},
    {"dbo use only", false},
    {"default to local cursor", false},
    {"merge publish", false},
    {"offline", false},
    {"published", false},
    {"quoted identifier", false},
    {"read only", false},
    {"recursive triggers", false},
    {"select into/bulkcopy", false},
    {"single user", false},
    {"subscribed", true},
    {"torn page detection", true},
    {"trunc. log on chkpt.", true},
};

// Rows of a name and, when given, a setting; the first row names the columns.
std::string OptionRows(const std::vector<std::pair<std::string, std::string>>& rows,
                       const char* name, const char* setting = nullptr) {
    std::string sql;
    for (const auto& [a, b] : rows) {
        const bool first = sql.empty();
        sql += first ? "SELECT " : " UNION ALL SELECT ";
        sql += "CAST(" + Lit(a) + " AS NVARCHAR(35))" + (first ? std::string(" AS ") + name : "");
        if (setting)
            sql +=
                ", CAST(" + Lit(b) + " AS CHAR(3))" + (first ? std::string(" AS ") + setting : "");
    }
    return sql;
}

SystemProcCall DbOption(const ProcParams& params) {
    // @dbname, @optname, @optvalue
    const auto& db = Param(params, 0);
    const auto& option = Param(params, 1);
    const auto& value = Param(params, 2);
    if (!db) {
        std::vector<std::pair<std::string, std::string>> all;
        for (const auto& o : kDbOptions) all.emplace_back(o.name, "");
        return {OptionRows(all, "[Settable database options]"), ""};
    }
    if (!option) {
        std::vector<std::pair<std::string, std::string>> on;
        for (const auto& o : kDbOptions)
            if (o.on) on.emplace_back(o.name, "");
        return {OptionRows(on, "[The following options are set:]"), "", *db};
    }
    // Any part of a name that is in no other names it.
    const std::string part = ToLower(*option);
    const char* found = nullptr;
    for (const auto& o : kDbOptions) {
        const std::string name = ToLower(o.name);
        if (name.find(part) == std::string::npos) continue;
        if (name == part) {
            found = o.name;
            break;
        }
        if (found) Fail("Database option '" + *option + "' is not unique.");
        found = o.name;
    }
    if (!found)
        Fail("Database option '" + *option + "' does not exist. Specify a valid option name.");
    bool on = false;
    for (const auto& o : kDbOptions) on = on || (o.name == found && o.on);
    if (!value)
        return {OptionRows({{found, on ? "ON" : "OFF"}}, "OptionName", "CurrentSetting"), "", *db};
    const std::string v = ToLower(*value);
    if (v != "true" && v != "false" && v != "on" && v != "off")
        Fail("Usage: sp_dboption [dbname [,optname [,'true' | 'false']]]");
    return {"", "", *db};
}

}  // namespace

std::vector<const char*> SystemProcParams(const std::string& proc) {
    if (proc == "sp_help") return {"@objname"};
    if (proc == "sp_columns") {
        return {"@table_name", "@table_owner", "@table_qualifier", "@column_name", "@ODBCVer"};
    }
    if (proc == "sp_tables") {
        return {"@table_name", "@table_owner", "@table_qualifier", "@table_type"};
    }
    if (proc == "sp_pkeys") return {"@table_name", "@table_owner", "@table_qualifier"};
    if (proc == "sp_dboption") return {"@dbname", "@optname", "@optvalue"};
    return {};
}

SystemProcCall SystemProcQuery(const std::string& proc, const ProcParams& params,
                               const std::string& database) {
    if (proc == "sp_help") return Help(params);
    if (proc == "sp_columns") return Columns(params, database);
    if (proc == "sp_tables") return Tables(params, database);
    if (proc == "sp_dboption") return DbOption(params);
    return PKeys(params, database);
}

}  // namespace xr::engine
