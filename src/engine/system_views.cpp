// The columns of the server's catalog views and what their queries share
// between the engines.
#include "engine/system_views.h"

#include <vector>

#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine {

namespace {

struct ViewColumn {
    const char* name;
    const char* type;
};

struct View {
    const char* name;
    std::vector<ViewColumn> columns;
};

const std::vector<View>& Views() {
    static const std::vector<View> kViews = {
        {"sysobjects", {{"name", "VARCHAR(128)"},    {"id", "INT"},
                        {"xtype", "CHAR(2)"},        {"uid", "SMALLINT"},
                        {"info", "SMALLINT"},        {"status", "INT"},
                        {"base_schema_ver", "INT"},  {"replinfo", "INT"},
                        {"parent_obj", "INT"},       {"crdate", "DATETIME"},
                        {"ftcatid", "SMALLINT"},     {"schema_ver", "INT"},
                        {"stats_schema_ver", "INT"}, {"type", "CHAR(2)"},
                        {"userstat", "SMALLINT"},    {"sysstat", "SMALLINT"},
                        {"indexdel", "SMALLINT"},    {"refdate", "DATETIME"},
                        {"version", "INT"},          {"deltrig", "INT"},
                        {"instrig", "INT"},          {"updtrig", "INT"},
                        {"seltrig", "INT"},          {"category", "INT"},
                        {"cache", "SMALLINT"}}},
        {"syscolumns",
         {{"name", "VARCHAR(128)"},
          {"id", "INT"},
          {"xtype", "TINYINT"},
          {"typestat", "TINYINT"},
          {"xusertype", "SMALLINT"},
          {"length", "SMALLINT"},
          {"xprec", "TINYINT"},
          {"xscale", "TINYINT"},
          {"colid", "SMALLINT"},
          {"xoffset", "SMALLINT"},
          {"bitpos", "TINYINT"},
          {"reserved", "TINYINT"},
          {"colstat", "SMALLINT"},
          {"cdefault", "INT"},
          {"domain", "INT"},
          {"number", "SMALLINT"},
          {"colorder", "SMALLINT"},
          {"autoval", "VARBINARY(255)"},
          {"offset", "SMALLINT"},
          {"collationid", "INT"},
          {"language", "INT"},
          {"status", "TINYINT"},
          {"type", "TINYINT"},
          {"usertype", "SMALLINT"},
          {"printfmt", "VARCHAR(255)"},
          {"prec", "SMALLINT"},
          {"scale", "INT"},
          {"iscomputed", "INT"},
          {"isoutparam", "INT"},
          {"isnullable", "INT"},
          {"collation", "VARCHAR(128)"},
          {"tdscollation", "BINARY(5)"}}},
        {"sysconstraints",
         {{"constid", "INT"},
          {"id", "INT"},
          {"colid", "SMALLINT"},
          {"spare1", "TINYINT"},
          {"status", "INT"},
          {"actions", "INT"},
          {"error", "INT"}}},
        {"INFORMATION_SCHEMA.TABLES",
         {{"TABLE_CATALOG", "VARCHAR(128)"},
          {"TABLE_SCHEMA", "VARCHAR(128)"},
          {"TABLE_NAME", "VARCHAR(128)"},
          {"TABLE_TYPE", "VARCHAR(10)"}}},
        {"INFORMATION_SCHEMA.COLUMNS",
         {{"TABLE_CATALOG", "VARCHAR(128)"},
          {"TABLE_SCHEMA", "VARCHAR(128)"},
          {"TABLE_NAME", "VARCHAR(128)"},
          {"COLUMN_NAME", "VARCHAR(128)"},
          {"ORDINAL_POSITION", "INT"},
          {"COLUMN_DEFAULT", "VARCHAR(4000)"},
          {"IS_NULLABLE", "VARCHAR(3)"},
          {"DATA_TYPE", "VARCHAR(128)"},
          {"CHARACTER_MAXIMUM_LENGTH", "INT"},
          {"CHARACTER_OCTET_LENGTH", "INT"},
          {"NUMERIC_PRECISION", "TINYINT"},
          {"NUMERIC_PRECISION_RADIX", "SMALLINT"},
          {"NUMERIC_SCALE", "INT"},
          {"DATETIME_PRECISION", "SMALLINT"},
          {"CHARACTER_SET_CATALOG", "VARCHAR(128)"},
          {"CHARACTER_SET_SCHEMA", "VARCHAR(128)"},
          {"CHARACTER_SET_NAME", "VARCHAR(128)"},
          {"COLLATION_CATALOG", "VARCHAR(128)"},
          {"COLLATION_SCHEMA", "VARCHAR(128)"},
          {"COLLATION_NAME", "VARCHAR(128)"},
          {"DOMAIN_CATALOG", "VARCHAR(128)"},
          {"DOMAIN_SCHEMA", "VARCHAR(128)"},
          {"DOMAIN_NAME", "VARCHAR(128)"}}},
        {"INFORMATION_SCHEMA.TABLE_CONSTRAINTS",
         {{"CONSTRAINT_CATALOG", "VARCHAR(128)"},
          {"CONSTRAINT_SCHEMA", "VARCHAR(128)"},
          {"CONSTRAINT_NAME", "VARCHAR(128)"},
          {"TABLE_CATALOG", "VARCHAR(128)"},
          {"TABLE_SCHEMA", "VARCHAR(128)"},
          {"TABLE_NAME", "VARCHAR(128)"},
          {"CONSTRAINT_TYPE", "VARCHAR(11)"},
          {"IS_DEFERRABLE", "VARCHAR(2)"},
          {"INITIALLY_DEFERRED", "VARCHAR(2)"}}},
        {"INFORMATION_SCHEMA.KEY_COLUMN_USAGE",
         {{"CONSTRAINT_CATALOG", "VARCHAR(128)"},
          {"CONSTRAINT_SCHEMA", "VARCHAR(128)"},
          {"CONSTRAINT_NAME", "VARCHAR(128)"},
          {"TABLE_CATALOG", "VARCHAR(128)"},
          {"TABLE_SCHEMA", "VARCHAR(128)"},
          {"TABLE_NAME", "VARCHAR(128)"},
          {"COLUMN_NAME", "VARCHAR(128)"},
          {"ORDINAL_POSITION", "INT"}}},
        {"INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS",
         {{"CONSTRAINT_CATALOG", "VARCHAR(128)"},
          {"CONSTRAINT_SCHEMA", "VARCHAR(128)"},
          {"CONSTRAINT_NAME", "VARCHAR(128)"},
          {"UNIQUE_CONSTRAINT_CATALOG", "VARCHAR(128)"},
          {"UNIQUE_CONSTRAINT_SCHEMA", "VARCHAR(128)"},
          {"UNIQUE_CONSTRAINT_NAME", "VARCHAR(128)"},
          {"MATCH_OPTION", "VARCHAR(7)"},
          {"UPDATE_RULE", "VARCHAR(9)"},
          {"DELETE_RULE", "VARCHAR(9)"}}},
        {"INFORMATION_SCHEMA.VIEWS",
         {{"TABLE_CATALOG", "VARCHAR(128)"},
          {"TABLE_SCHEMA", "VARCHAR(128)"},
          {"TABLE_NAME", "VARCHAR(128)"},
          {"VIEW_DEFINITION", "VARCHAR(4000)"},
          {"CHECK_OPTION", "VARCHAR(7)"},
          {"IS_UPDATABLE", "VARCHAR(2)"}}},
        {"syscomments",
         {{"id", "INT"},
          {"number", "SMALLINT"},
          {"colid", "SMALLINT"},
          {"status", "SMALLINT"},
          {"ctext", "VARBINARY(8000)"},
          {"texttype", "SMALLINT"},
          {"language", "SMALLINT"},
          {"encrypted", "BIT"},
          {"compressed", "BIT"},
          {"text", "NVARCHAR(4000)"}}},
        {"INFORMATION_SCHEMA.ROUTINES",
         {{"SPECIFIC_CATALOG", "VARCHAR(128)"},
          {"SPECIFIC_SCHEMA", "VARCHAR(128)"},
          {"SPECIFIC_NAME", "VARCHAR(128)"},
          {"ROUTINE_CATALOG", "VARCHAR(128)"},
          {"ROUTINE_SCHEMA", "VARCHAR(128)"},
          {"ROUTINE_NAME", "VARCHAR(128)"},
          {"ROUTINE_TYPE", "VARCHAR(20)"},
          {"DATA_TYPE", "VARCHAR(128)"},
          {"ROUTINE_BODY", "VARCHAR(30)"},
          {"ROUTINE_DEFINITION", "VARCHAR(4000)"},
          {"IS_DETERMINISTIC", "VARCHAR(10)"},
          {"SQL_DATA_ACCESS", "VARCHAR(30)"},
          {"CREATED", "DATETIME"},
          {"LAST_ALTERED", "DATETIME"}}},
        {"sys.objects",
         {{"name", "VARCHAR(128)"},
          {"object_id", "INT"},
          {"principal_id", "INT"},
          {"schema_id", "INT"},
          {"parent_object_id", "INT"},
          {"type", "CHAR(2)"},
          {"type_desc", "VARCHAR(60)"},
          {"create_date", "DATETIME"},
          {"modify_date", "DATETIME"},
          {"is_ms_shipped", "BIT"},
          {"is_published", "BIT"},
          {"is_schema_published", "BIT"}}},
        {"sys.columns",
         {{"object_id", "INT"},
          {"name", "VARCHAR(128)"},
          {"column_id", "INT"},
          {"system_type_id", "TINYINT"},
          {"user_type_id", "INT"},
          {"max_length", "SMALLINT"},
          {"precision", "TINYINT"},
          {"scale", "TINYINT"},
          {"collation_name", "VARCHAR(128)"},
          {"is_nullable", "BIT"},
          {"is_ansi_padded", "BIT"},
          {"is_rowguidcol", "BIT"},
          {"is_identity", "BIT"},
          {"is_computed", "BIT"},
          {"default_object_id", "INT"}}},
        {"sysindexes",
         {{"id", "INT"},
          {"status", "INT"},
          {"indid", "SMALLINT"},
          {"keycnt", "SMALLINT"},
          {"groupid", "SMALLINT"},
          {"name", "VARCHAR(128)"}}},
        {"systypes",
         {{"name", "VARCHAR(128)"},
          {"xtype", "TINYINT"},
          {"xusertype", "SMALLINT"},
          {"length", "SMALLINT"},
          {"xprec", "TINYINT"},
          {"xscale", "TINYINT"},
          {"usertype", "SMALLINT"},
          {"variable", "BIT"},
          {"allownulls", "BIT"},
          {"type", "TINYINT"},
          {"prec", "SMALLINT"},
          {"scale", "TINYINT"}}},
        {"sysaltfiles",
         {{"fileid", "SMALLINT"},
          {"groupid", "SMALLINT"},
          {"size", "INT"},
          {"maxsize", "INT"},
          {"growth", "INT"},
          {"status", "INT"},
          {"perf", "INT"},
          {"dbid", "SMALLINT"},
          {"name", "NVARCHAR(128)"},
          {"filename", "NVARCHAR(260)"}}},
        {"sys.master_files",
         {{"database_id", "INT"},
          {"file_id", "INT"},
          {"type", "TINYINT"},
          {"type_desc", "NVARCHAR(60)"},
          {"data_space_id", "INT"},
          {"name", "NVARCHAR(128)"},
          {"physical_name", "NVARCHAR(260)"},
          {"state", "TINYINT"},
          {"state_desc", "NVARCHAR(60)"},
          {"size", "INT"},
          {"max_size", "INT"},
          {"growth", "INT"},
          {"is_percent_growth", "BIT"}}},
        {"sysdatabases",
         {{"name", "VARCHAR(128)"},
          {"dbid", "SMALLINT"},
          {"sid", "VARBINARY(85)"},
          {"mode", "SMALLINT"},
          {"status", "INT"},
          {"status2", "INT"},
          {"crdate", "DATETIME"},
          {"reserved", "DATETIME"},
          {"category", "INT"},
          {"cmptlevel", "TINYINT"},
          {"filename", "VARCHAR(260)"},
          {"version", "SMALLINT"}}},
        {"sys.databases",
         {{"name", "VARCHAR(128)"},
          {"database_id", "INT"},
          {"source_database_id", "INT"},
          {"owner_sid", "VARBINARY(85)"},
          {"create_date", "DATETIME"},
          {"compatibility_level", "TINYINT"},
          {"collation_name", "VARCHAR(128)"},
          {"user_access", "TINYINT"},
          {"user_access_desc", "VARCHAR(60)"},
          {"is_read_only", "BIT"},
          {"state", "TINYINT"},
          {"state_desc", "VARCHAR(60)"},
          {"recovery_model", "TINYINT"},
          {"recovery_model_desc", "VARCHAR(60)"}}},
    };
    return kViews;
}

const View* Find(std::string_view name) {
    if (IEquals(name, "sys.tables") || IEquals(name, "sys.views") ||
        IEquals(name, "sys.procedures")) {
        name = "sys.objects";
    }
    for (const View& v : Views()) {
        if (IEquals(v.name, name)) return &v;
    }
    return nullptr;
}

}  // namespace

bool IsServerView(std::string_view name) {
    return IEquals(name, "sysdatabases") || IEquals(name, "sys.databases") ||
           IEquals(name, "sysaltfiles") || IEquals(name, "sys.master_files");
}

bool IsCatalogView(std::string_view name) { return !IsServerView(name) && Find(name); }

bool AddViewColumns(std::string_view name, tsql::TableDef* out) {
    const View* v = Find(name);
    if (!v) return false;
    for (const ViewColumn& c : v->columns) {
        tsql::ColumnDef column;
        column.name = c.name;
        if (!tsql::TypeSpec::Parse(c.type, &column.type))
            throw ComError(DB_E_ERRORSINCOMMAND, "Unknown view type.");
        out->columns.push_back(std::move(column));
    }
    return true;
}

std::string TypeNameSql(const std::string& xtype) {
    return "(CASE " + xtype +
           " WHEN 104 THEN 'bit' WHEN 48 THEN 'tinyint' WHEN 52 THEN 'smallint' "
           "WHEN 56 THEN 'int' WHEN 127 THEN 'bigint' WHEN 60 THEN 'money' "
           "WHEN 122 THEN 'smallmoney' WHEN 106 THEN 'decimal' WHEN 108 THEN 'numeric' "
           "WHEN 59 THEN 'real' WHEN 62 THEN 'float' WHEN 61 THEN 'datetime' "
           "WHEN 58 THEN 'smalldatetime' WHEN 175 THEN 'char' WHEN 167 THEN 'varchar' "
           "WHEN 35 THEN 'text' WHEN 239 THEN 'nchar' WHEN 231 THEN 'nvarchar' "
           "WHEN 99 THEN 'ntext' WHEN 173 THEN 'binary' WHEN 165 THEN 'varbinary' "
           "WHEN 34 THEN 'image' END)";
}

std::string SystemTypesSql() {
    // name, xtype, length, xprec, xscale, usertype, variable, type
    static const struct {
        const char* name;
        int xtype, length, xprec, xscale, usertype, variable, type;
    } kTypes[] = {
        {"image", 34, 16, 0, 0, 20, 0, 34},        {"text", 35, 16, 0, 0, 19, 0, 35},
        {"tinyint", 48, 1, 3, 0, 5, 0, 48},        {"smallint", 52, 2, 5, 0, 6, 0, 52},
        {"int", 56, 4, 10, 0, 7, 0, 56},           {"smalldatetime", 58, 4, 16, 0, 22, 0, 58},
        {"real", 59, 4, 24, 0, 23, 0, 59},         {"money", 60, 8, 19, 4, 11, 0, 60},
        {"datetime", 61, 8, 23, 3, 12, 0, 61},     {"float", 62, 8, 53, 0, 8, 0, 62},
        {"ntext", 99, 16, 0, 0, 0, 0, 35},         {"bit", 104, 1, 1, 0, 16, 0, 50},
        {"decimal", 106, 17, 38, 38, 24, 0, 55},   {"numeric", 108, 17, 38, 38, 10, 0, 63},
        {"smallmoney", 122, 4, 10, 4, 21, 0, 122}, {"bigint", 127, 8, 19, 0, 0, 0, 63},
        {"varbinary", 165, 8000, 0, 0, 4, 1, 37},  {"varchar", 167, 8000, 0, 0, 2, 1, 39},
        {"binary", 173, 8000, 0, 0, 3, 0, 45},     {"char", 175, 8000, 0, 0, 1, 0, 47},
        {"nvarchar", 231, 8000, 0, 0, 0, 1, 39},   {"nchar", 239, 8000, 0, 0, 0, 0, 47},
        {"sysname", 231, 256, 0, 0, 18, 1, 39},
    };
    std::string sql;
    bool first = true;
    for (const auto& t : kTypes) {
        sql += first ? "SELECT " : " UNION ALL SELECT ";
        const int xusertype = IEquals(t.name, "sysname") ? 256 : t.xtype;
        const int prec = t.xtype == 231 || t.xtype == 239 ? t.length / 2
                         : t.xprec                        ? t.xprec
                                                          : t.length;
        sql += std::string("'") + t.name + "'" + (first ? " AS name, " : ", ") +
               std::to_string(t.xtype) + (first ? " AS xtype, " : ", ") +
               std::to_string(xusertype) + (first ? " AS xusertype, " : ", ") +
               std::to_string(t.length) + (first ? " AS length, " : ", ") +
               std::to_string(t.xprec) + (first ? " AS xprec, " : ", ") + std::to_string(t.xscale) +
               (first ? " AS xscale, " : ", ") + std::to_string(t.usertype) +
               (first ? " AS usertype, " : ", ") + std::to_string(t.variable) +
               (first ? " AS variable, " : ", ") + "1" + (first ? " AS allownulls, " : ", ") +
               std::to_string(t.type) + (first ? " AS type, " : ", ") + std::to_string(prec) +
               (first ? " AS prec, " : ", ") + std::to_string(t.xscale) +
               (first ? " AS scale" : "");
        first = false;
    }
    return sql;
}

std::string SysObjectsSelect(const std::string& shown) {
    return "SELECT " + shown +
           " AS name, o.id AS id, o.xtype AS xtype, o.uid AS uid, 0 AS info, "
           "o.status AS status, 0 AS base_schema_ver, 0 AS replinfo, o.parent_obj AS "
           "parent_obj, o.crdate AS crdate, 0 AS ftcatid, 0 AS schema_ver, 0 AS "
           "stats_schema_ver, o.type AS type, CASE WHEN o.xtype = 'U ' THEN 1 ELSE 0 END AS "
           "userstat, CASE o.xtype WHEN 'S ' THEN 1 WHEN 'V ' THEN 2 WHEN 'U ' THEN 3 WHEN 'P ' "
           "THEN 4 WHEN 'D ' THEN 6 WHEN 'R ' THEN 7 WHEN 'TR' THEN 8 ELSE 9 END AS sysstat, 0 "
           "AS indexdel, o.crdate AS refdate, 0 AS version, 0 AS deltrig, 0 AS instrig, 0 AS "
           "updtrig, 0 AS seltrig, CASE WHEN o.xtype = 'S ' THEN 2 ELSE 0 END AS category, 0 "
           "AS cache FROM ";
}

std::string SysConstraintsSql(const std::string& s) {
    return "SELECT k.constid AS constid, k.id AS id, k.colid AS colid, 0 AS spare1, k.status "
           "AS status, 0 AS actions, 0 AS error FROM " +
           s + "sysconstraints k";
}

std::string TablesSelect(const std::string& cat, const std::string& shown) {
    return "SELECT " + cat + " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, " + shown +
           " AS TABLE_NAME, CASE WHEN o.xtype = 'V ' THEN 'VIEW' ELSE 'BASE TABLE' END AS "
           "TABLE_TYPE FROM ";
}

std::string TableConstraintsSql(const std::string& s, const std::string& cat) {
    return "SELECT " + cat + " AS CONSTRAINT_CATALOG, 'dbo' AS CONSTRAINT_SCHEMA, c.name AS " +
           "CONSTRAINT_NAME, " + cat +
           " AS TABLE_CATALOG, 'dbo' AS TABLE_SCHEMA, t.name AS TABLE_NAME, CASE c.xtype WHEN "
           "'PK' THEN 'PRIMARY KEY' WHEN 'UQ' THEN 'UNIQUE' WHEN 'F ' THEN 'FOREIGN KEY' ELSE "
           "'CHECK' END AS CONSTRAINT_TYPE, 'NO' AS IS_DEFERRABLE, 'NO' AS INITIALLY_DEFERRED "
           "FROM " +
           s + "sysobjects c JOIN " + s +
           "sysobjects t ON t.id = c.parent_obj WHERE c.xtype IN ('PK', 'UQ', 'F ', 'C ')";
}

std::string RoutinesSql(const std::string& s, const std::string& cat,
                        const std::string& definition) {
    return "SELECT " + cat + " AS SPECIFIC_CATALOG, 'dbo' AS SPECIFIC_SCHEMA, o.name AS " +
           "SPECIFIC_NAME, " + cat +
           " AS ROUTINE_CATALOG, 'dbo' AS ROUTINE_SCHEMA, o.name AS ROUTINE_NAME, 'PROCEDURE' AS "
           "ROUTINE_TYPE, NULL AS DATA_TYPE, 'SQL' AS ROUTINE_BODY, " +
           definition +
           " AS ROUTINE_DEFINITION, 'NO' AS IS_DETERMINISTIC, 'MODIFIES' AS SQL_DATA_ACCESS, "
           "o.crdate AS CREATED, o.crdate AS LAST_ALTERED FROM " +
           s + "sysobjects o WHERE o.xtype = 'P '";
}

std::string ObjectsViewSql(std::string_view name, const std::string& s, const std::string& shown) {
    // The catalog's own tables are system objects: the server's sys schema,
    // not dbo, and not among sys.tables.
    const char* filter = IEquals(name, "sys.tables")       ? "o.xtype = 'U '"
                         : IEquals(name, "sys.views")      ? "o.xtype = 'V '"
                         : IEquals(name, "sys.procedures") ? "o.xtype = 'P '"
                                                           : "o.xtype <> 'S '";
    return "SELECT " + shown +
           " AS name, o.id AS object_id, NULL AS principal_id, 1 AS schema_id, "
           "o.parent_obj AS parent_object_id, o.xtype AS type, CASE o.xtype WHEN 'U ' THEN "
           "'USER_TABLE' WHEN 'V ' THEN 'VIEW' WHEN 'PK' THEN 'PRIMARY_KEY_CONSTRAINT' WHEN "
           "'UQ' THEN 'UNIQUE_CONSTRAINT' WHEN 'D ' THEN 'DEFAULT_CONSTRAINT' WHEN 'F ' THEN "
           "'FOREIGN_KEY_CONSTRAINT' WHEN 'C ' THEN 'CHECK_CONSTRAINT' WHEN 'P ' THEN "
           "'SQL_STORED_PROCEDURE' WHEN 'TR' THEN 'SQL_TRIGGER' ELSE 'SYSTEM_TABLE' END AS "
           "type_desc, o.crdate AS create_date, o.crdate AS modify_date, 0 AS is_ms_shipped, "
           "0 AS is_published, 0 AS is_schema_published FROM " +
           s + "sysobjects o WHERE " + filter;
}

}  // namespace xr::engine
