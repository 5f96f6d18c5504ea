// The system views over the catalog of each database file. Each view is a
// query over sysobjects, syscolumns, sysconstraints and the private xr_
// tables, in SQLite's dialect and in storage representation, with the
// columns and values the server shows.
#include "engine/sqlite/catalog_views.h"

#include <sqlite3.h>

#include <vector>

#include "engine/sqlite/catalog_impl.h"
#include "engine/sqlite/server.h"
#include "engine/system_views.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

namespace {

using detail::Quote;
using detail::QuoteText;

const char* const kCharTypes = kCharTypeIds;
const char* const kBinaryTypes = kBinaryTypeIds;
const char* const kExactTypes = kExactTypeIds;

bool HasTable(sqlite3* handle, const std::string& schema, const char* table) {
    sqlite3_stmt* st = nullptr;
    std::string sql = "SELECT 1 FROM " + Quote(schema) +
                      ".sqlite_schema WHERE type = 'table' AND name = '" + table + "'";
    if (sqlite3_prepare_v2(handle, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
        sqlite3_finalize(st);
        return false;
    }
    bool found = sqlite3_step(st) == SQLITE_ROW;
    sqlite3_finalize(st);
    return found;
}

// The columns of every key constraint that keeps its columns as an index
// (PRIMARY KEY, UNIQUE), one row a column: cid, tid, col (the name as the
// key was written), pos (from 1).
// The key columns of every constraint, one row each with its place: unique
// keys from the index catalog, foreign keys (when the file has any) from the
// constraint catalog.
std::string KeyColumnsSql(const std::string& s, bool foreignKeys) {
    std::string keys = "SELECT x.constid AS cid, x.table_id AS tid, x.columns AS cols FROM " + s +
                       "xr_indexes x WHERE x.constid <> 0";
    if (foreignKeys) {
        keys += " UNION ALL SELECT f.id, f.table_id, f.columns FROM " + s +
                "xr_constraints f WHERE f.kind = 'F'";
    }
    return "WITH RECURSIVE k(cid, tid, rest, col, pos) AS (SELECT cid, tid, cols || char(31), "
           "NULL, 0 FROM (" +
           keys +
           ") UNION ALL SELECT cid, tid, substr(rest, instr(rest, char(31)) + 1), "
           "substr(rest, 1, instr(rest, char(31)) - 1), pos + 1 FROM k WHERE rest <> '') ";
}

// The name tempdb's catalog shows for an object: a local #table's is padded
// with underscores to 116 characters and ends in a 12-digit number, as the
// server tells the #tables of its sessions apart; others as they are.
std::string ShownName(const std::string& schema, const char* alias) {
    const std::string n = std::string(alias) + ".name";
    if (schema != kTempSchema) return n;
    return "(CASE WHEN substr(" + n + ", 1, 1) = '#' AND substr(" + n + ", 2, 1) <> '#' THEN " + n +
           " || substr('" + std::string(116, '_') + "', 1, 116 - length(" + n +
           ")) || printf('%012X', " + alias + ".id) ELSE " + n + " END)";
}

// `global`: tempdb's sysobjects also shows the ##tables of its shared part.
bool StoredTableView(std::string_view name, const std::string& schema, tsql::TableDef* out,
                     bool global) {
    const std::string s = Quote(schema) + ".";
    std::string sql;
    if (IEquals(name, "sysobjects")) {
        AddViewColumns(name, out);
        const std::string select = SysObjectsSelect(ShownName(schema, "o"));
        sql = select + s + "sysobjects o";
        if (global) {
            sql += " UNION ALL " + select + Quote(kGlobalTempSchema) +
                   ".sysobjects o WHERE o.xtype = 'U '";
        }
    } else if (IEquals(name, "syscolumns")) {
        AddViewColumns(name, out);
        const std::string chars = std::string("c.xtype IN ") + kCharTypes;
        // The type codes of the server's older interfaces: a nullable number
        // or date has the type that may hold NULL.
        const std::string oldType =
            "CASE WHEN c.isnullable <> 0 AND c.xtype IN (48, 52, 56, 127) THEN 38 WHEN "
            "c.isnullable <> 0 AND c.xtype IN (60, 122) THEN 110 WHEN c.isnullable <> 0 AND "
            "c.xtype IN (59, 62) THEN 109 WHEN c.isnullable <> 0 AND c.xtype IN (58, 61) THEN 111 "
            "WHEN c.isnullable <> 0 AND c.xtype = 106 THEN 106 WHEN c.isnullable <> 0 AND c.xtype "
            "= 108 THEN 108 ELSE CASE c.xtype WHEN 104 THEN 50 WHEN 106 THEN 55 WHEN 108 THEN 63 "
            "WHEN 127 THEN 63 WHEN 175 THEN 47 WHEN 239 THEN 47 WHEN 167 THEN 39 WHEN 231 THEN 39 "
            "WHEN 99 THEN 35 WHEN 173 THEN 45 WHEN 165 THEN 37 ELSE c.xtype END END";
        sql =
            "SELECT c.name AS name, c.id AS id, c.xtype AS xtype, 0 AS typestat, c.xtype AS "
            "xusertype, c.length AS length, CASE WHEN c.xtype IN " +
            std::string(kExactTypes) +
            " OR c.xtype IN (59, 62, 61, 58, 104) THEN c.prec ELSE 0 END AS xprec, c.scale AS "
            "xscale, c.colid AS colid, 0 AS xoffset, 0 AS bitpos, 0 AS reserved, 0 AS colstat, "
            "c.cdefault AS cdefault, 0 AS domain, 0 AS number, c.colid AS colorder, NULL AS "
            "autoval, 0 AS offset, CASE WHEN " +
            chars + " THEN 872468488 END AS collationid, 0 AS language, c.status AS status, " +
            oldType +
            " AS type, CASE c.xtype WHEN 175 THEN 1 WHEN 167 THEN 2 WHEN 173 THEN 3 WHEN 165 "
            "THEN 4 WHEN 48 THEN 5 WHEN 52 THEN 6 WHEN 56 THEN 7 WHEN 62 THEN 8 WHEN 108 THEN 10 "
            "WHEN 60 THEN 11 WHEN 61 THEN 12 WHEN 104 THEN 16 WHEN 35 THEN 19 WHEN 34 THEN 20 "
            "WHEN 122 THEN 21 WHEN 58 THEN 22 WHEN 59 THEN 23 WHEN 106 THEN 24 ELSE 0 END AS "
            "usertype, NULL AS printfmt, c.prec AS prec, CASE WHEN c.xtype IN " +
            std::string(kExactTypes) +
            " THEN c.scale END AS scale, 0 AS iscomputed, 0 AS isoutparam, c.isnullable AS "
            "isnullable, CASE WHEN " +
            chars +
            " THEN 'SQL_Latin1_General_CP1_CI_AS' END AS collation, NULL AS tdscollation FROM " +
            s + "syscolumns c";
    } else {
        AddViewColumns(name, out);
        sql = SysConstraintsSql(s);
    }
    out->viewSql = std::move(sql);
    return true;
}

}  // namespace

bool IsSystemView(std::string_view name) {
    static const char* const kNames[] = {
        "INFORMATION_SCHEMA.TABLES",
        "INFORMATION_SCHEMA.COLUMNS",
        "INFORMATION_SCHEMA.TABLE_CONSTRAINTS",
        "INFORMATION_SCHEMA.KEY_COLUMN_USAGE",
        "INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS",
        "INFORMATION_SCHEMA.VIEWS",
        "INFORMATION_SCHEMA.ROUTINES",
        "sysindexes",
        "systypes",
        "sysobjects",
        "syscolumns",
        "sysconstraints",
        "syscomments",
        "sysdatabases",
        "sys.databases",
        "sys.objects",
        "sys.tables",
        "sys.views",
        "sys.procedures",
        "sys.columns",
    };
    for (const char* n : kNames) {
        if (IEquals(n, name)) return true;
    }
    return false;
}

bool SystemView(sqlite3* handle, std::string_view name, const std::string& schema,
                const std::string& database, tsql::TableDef* out) {
    if (!IsSystemView(name)) return false;
    if (!HasTable(handle, schema, "sysobjects") || !HasTable(handle, schema, "xr_indexes")) {
        return false;
    }
    // The system tables the catalog stores are shown with all the columns the
    // server has, in its order; those it does not keep hold their fixed values.
    // tempdb shows the ##tables too once the session has opened their part.
    const bool global = schema == kTempSchema && HasTable(handle, kGlobalTempSchema, "sysobjects");
    if (IEquals(name, "sysobjects") || IEquals(name, "syscolumns") ||
        IEquals(name, "sysconstraints")) {
        return StoredTableView(name, schema, out, global);
    }
    const std::string s = Quote(schema) + ".";
    const std::string cat = QuoteText(database);
    const std::string owner = "'dbo'";
    std::string sql;
    if (IEquals(name, "INFORMATION_SCHEMA.TABLES")) {
        AddViewColumns(name, out);
        const std::string select = TablesSelect(cat, ShownName(schema, "o"));
        sql = select + s + "sysobjects o WHERE o.xtype IN ('U ', 'V ')";
        if (global)
            sql += " UNION ALL " + select + Quote(kGlobalTempSchema) +
                   ".sysobjects o WHERE o.xtype = 'U '";
    } else if (IEquals(name, "INFORMATION_SCHEMA.COLUMNS")) {
        AddViewColumns(name, out);
        const std::string chars = std::string("c.xtype IN ") + kCharTypes;
        const std::string binaries = std::string("c.xtype IN ") + kBinaryTypes;
        sql = "SELECT " + cat + " AS TABLE_CATALOG, " + owner + " AS TABLE_SCHEMA, " +
              ShownName(schema, "o") +
              " AS TABLE_NAME, c.name AS COLUMN_NAME, c.colid AS "
              "ORDINAL_POSITION, CASE WHEN d.text IS NULL THEN NULL ELSE '(' || d.text || ')' "
              "END AS COLUMN_DEFAULT, CASE WHEN c.isnullable <> 0 THEN 'YES' ELSE 'NO' END AS "
              "IS_NULLABLE, " +
              TypeNameSql("c.xtype") +
              " AS DATA_TYPE, CASE WHEN c.xtype IN (35, 34) THEN 2147483647 WHEN c.xtype = 99 "
              "THEN 1073741823 WHEN c.xtype IN (239, 231) THEN c.length / 2 WHEN " +
              chars + " OR " + binaries +
              " THEN c.length END AS CHARACTER_MAXIMUM_LENGTH, CASE WHEN c.xtype IN (35, 34) "
              "THEN 2147483647 WHEN c.xtype = 99 THEN 2147483646 WHEN " +
              chars + " OR " + binaries +
              " THEN c.length END AS CHARACTER_OCTET_LENGTH, CASE WHEN c.xtype IN " + kExactTypes +
              " THEN c.prec WHEN c.xtype = 59 THEN 24 WHEN c.xtype = 62 THEN 53 END AS "
              "NUMERIC_PRECISION, CASE WHEN c.xtype IN " +
              kExactTypes +
              " THEN 10 WHEN c.xtype IN (59, 62) THEN 2 END AS NUMERIC_PRECISION_RADIX, "
              "CASE WHEN c.xtype IN " +
              kExactTypes +
              " THEN c.scale END AS NUMERIC_SCALE, CASE WHEN c.xtype = 61 THEN 3 WHEN c.xtype = "
              "58 THEN 0 END AS DATETIME_PRECISION, CASE WHEN " +
              chars +
              " THEN 'master' END AS CHARACTER_SET_CATALOG, NULL AS CHARACTER_SET_SCHEMA, "
              "CASE WHEN c.xtype IN (239, 231, 99) THEN 'UNICODE' WHEN " +
              chars +
              " THEN 'iso_1' END AS CHARACTER_SET_NAME, NULL AS COLLATION_CATALOG, NULL AS "
              "COLLATION_SCHEMA, CASE WHEN " +
              chars +
              " THEN 'SQL_Latin1_General_CP1_CI_AS' END AS COLLATION_NAME, NULL AS "
              "DOMAIN_CATALOG, NULL AS DOMAIN_SCHEMA, NULL AS DOMAIN_NAME FROM " +
              s + "sysobjects o JOIN " + s + "syscolumns c ON c.id = o.id LEFT JOIN " + s +
              "xr_defaults d ON d.id = c.cdefault AND c.cdefault <> 0 WHERE o.xtype IN "
              "('U ', 'V ')";
    } else if (IEquals(name, "INFORMATION_SCHEMA.TABLE_CONSTRAINTS")) {
        AddViewColumns(name, out);
        sql = TableConstraintsSql(s, cat);
    } else if (IEquals(name, "INFORMATION_SCHEMA.KEY_COLUMN_USAGE")) {
        AddViewColumns(name, out);
        const std::string head = "SELECT " + cat + " AS CONSTRAINT_CATALOG, " + owner +
                                 " AS CONSTRAINT_SCHEMA, c.name AS CONSTRAINT_NAME, " + cat +
                                 " AS TABLE_CATALOG, " + owner +
                                 " AS TABLE_SCHEMA, t.name AS TABLE_NAME, ";
        sql = KeyColumnsSql(s, HasTable(handle, schema, "xr_constraints")) + head +
              "sc.name AS COLUMN_NAME, k.pos AS ORDINAL_POSITION FROM k " + "JOIN " + s +
              "sysobjects c ON c.id = k.cid JOIN " + s + "sysobjects t ON t.id = k.tid JOIN " + s +
              "syscolumns sc ON sc.id = k.tid AND sc.name = k.col WHERE k.col IS NOT NULL AND "
              "c.xtype IN ('PK', 'UQ', 'F ')";
    } else if (IEquals(name, "INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS")) {
        AddViewColumns(name, out);
        // The key referred to: the referenced table's key over the referenced
        // columns; the rules as the constraint catalog keeps them.
        std::string unique = "NULL", update = "'NO ACTION'", remove = "'NO ACTION'";
        std::string join;
        if (HasTable(handle, schema, "xr_constraints")) {
            join = " LEFT JOIN " + s + "xr_constraints r ON r.id = c.id";
            unique = "(SELECT p.name FROM " + s + "xr_indexes x JOIN " + s +
                     "sysobjects p ON p.id = x.constid WHERE x.table_id = r.ref_table_id AND "
                     "x.columns = r.ref_columns ORDER BY x.is_pk = 1 DESC LIMIT 1)";
            auto rule = [](const char* column) {
                return std::string("CASE r.") + column +
                       " WHEN 1 THEN 'CASCADE' WHEN 2 THEN 'SET NULL' WHEN 3 THEN 'SET DEFAULT' "
                       "ELSE 'NO ACTION' END";
            };
            update = rule("on_update");
            remove = rule("on_delete");
        }
        sql = "SELECT " + cat + " AS CONSTRAINT_CATALOG, " + owner +
              " AS CONSTRAINT_SCHEMA, c.name AS CONSTRAINT_NAME, " + cat +
              " AS UNIQUE_CONSTRAINT_CATALOG, " + owner + " AS UNIQUE_CONSTRAINT_SCHEMA, " +
              unique + " AS UNIQUE_CONSTRAINT_NAME, 'SIMPLE' AS MATCH_OPTION, " + update +
              " AS UPDATE_RULE, " + remove + " AS DELETE_RULE FROM " + s + "sysobjects c" + join +
              " WHERE c.xtype = 'F '";
    } else if (IEquals(name, "INFORMATION_SCHEMA.VIEWS")) {
        AddViewColumns(name, out);
        // The definition as written, cut at 4000 characters as the server cuts it.
        const bool views = HasTable(handle, schema, "xr_views");
        const std::string definition = views ? "(SELECT substr(v.definition, 1, 4000) FROM " + s +
                                                   "xr_views v WHERE v.id = o.id)"
                                             : "NULL";
        // CASCADE for a view made WITH CHECK OPTION (its definition ends so).
        const std::string check =
            views ? "COALESCE((SELECT CASE WHEN rtrim(v.definition, ' ;' || char(9, 10, 13)) "
                    "LIKE '%WITH CHECK OPTION' THEN 'CASCADE' END FROM " +
                        s + "xr_views v WHERE v.id = o.id), 'NONE')"
                  : "'NONE'";
        sql = "SELECT " + cat + " AS TABLE_CATALOG, " + owner +
              " AS TABLE_SCHEMA, o.name AS TABLE_NAME, " + definition + " AS VIEW_DEFINITION, " +
              check + " AS CHECK_OPTION, 'NO' AS IS_UPDATABLE FROM " + s +
              "sysobjects o WHERE o.xtype = 'V '";
    } else if (IEquals(name, "syscomments")) {
        AddViewColumns(name, out);
        // The definitions of procedures and views, in rows of 4000 characters
        // (colid from 1); an encrypted one shows no text.
        std::string texts;
        if (HasTable(handle, schema, "xr_procedures"))
            texts = "SELECT id, text AS t, encrypted AS enc FROM " + s + "xr_procedures";
        if (HasTable(handle, schema, "xr_views")) {
            texts += std::string(texts.empty() ? "" : " UNION ALL ") +
                     "SELECT id, coalesce(definition, ''), definition IS NULL FROM " + s +
                     "xr_views";
        }
        if (texts.empty()) texts = "SELECT 0 AS id, '' AS t, 0 AS enc WHERE 0";
        sql =
            "WITH RECURSIVE xr_c(id, enc, colid, chunk, rest) AS (SELECT id, enc, 1, substr(t, 1, "
            "4000), substr(t, 4001) FROM (" +
            texts +
            ") UNION ALL SELECT id, enc, colid + 1, substr(rest, 1, 4000), substr(rest, 4001) "
            "FROM xr_c WHERE rest <> '') SELECT id AS id, 0 AS number, colid AS colid, CASE WHEN "
            "enc THEN 1 ELSE 0 END AS status, NULL AS ctext, 2 AS texttype, 0 AS language, enc "
            "AS encrypted, 0 AS compressed, CASE WHEN enc THEN NULL ELSE chunk END AS text FROM "
            "xr_c";
    } else if (IEquals(name, "INFORMATION_SCHEMA.ROUTINES")) {
        AddViewColumns(name, out);
        // The procedure's text as written, cut at 4000 characters as the server cuts it.
        const std::string definition =
            HasTable(handle, schema, "xr_procedures")
                ? "(SELECT CASE WHEN p.encrypted = 0 THEN substr(p.text, 1, 4000) END FROM " + s +
                      "xr_procedures p WHERE p.id = o.id)"
                : "NULL";
        sql = RoutinesSql(s, cat, definition);
    } else if (IEquals(name, "sys.objects") || IEquals(name, "sys.tables") ||
               IEquals(name, "sys.views") || IEquals(name, "sys.procedures")) {
        AddViewColumns(name, out);
        sql = ObjectsViewSql(name, s, ShownName(schema, "o"));
    } else if (IEquals(name, "sys.columns")) {
        AddViewColumns(name, out);
        const std::string chars = std::string("c.xtype IN ") + kCharTypes;
        sql =
            "SELECT c.id AS object_id, c.name AS name, c.colid AS column_id, c.xtype AS "
            "system_type_id, c.xtype AS user_type_id, c.length AS max_length, CASE WHEN "
            "c.xtype IN " +
            std::string(kExactTypes) +
            " OR c.xtype IN (59, 62, 61, 58, 104) THEN c.prec ELSE 0 END AS precision, "
            "coalesce(c.scale, 0) AS scale, CASE WHEN " +
            chars +
            " THEN 'SQL_Latin1_General_CP1_CI_AS' END AS collation_name, CASE WHEN "
            "c.isnullable <> 0 THEN 1 ELSE 0 END AS is_nullable, CASE WHEN " +
            chars + " OR c.xtype IN " + kBinaryTypes +
            " THEN 1 ELSE 0 END AS is_ansi_padded, 0 AS is_rowguidcol, CASE WHEN c.status & "
            "128 <> 0 THEN 1 ELSE 0 END AS is_identity, 0 AS is_computed, c.cdefault AS "
            "default_object_id FROM " +
            s + "syscolumns c JOIN " + s + "sysobjects o ON o.id = c.id WHERE o.xtype <> 'S '";
    } else if (IEquals(name, "sysindexes")) {
        AddViewColumns(name, out);
        // indid 0: a table without a clustered index (the heap), named as the
        // table; 1: the clustered index (the primary key); 2 on: the other
        // indexes in the order they were made; 255: the text and image pages.
        const std::string tables = s + "sysobjects t WHERE t.xtype IN ('U ', 'S ')";
        sql =
            "SELECT t.id AS id, 0 AS status, 0 AS indid, 0 AS keycnt, 1 AS groupid, t.name AS "
            "name FROM " +
            tables + " AND NOT EXISTS (SELECT 1 FROM " + s +
            "xr_indexes p WHERE p.table_id = t.id AND p.is_pk = 1) UNION ALL SELECT "
            "x.table_id, 2066, 1, length(x.columns) - length(replace(x.columns, char(31), '')) "
            "+ 1, 1, x.name FROM " +
            s +
            "xr_indexes x WHERE x.is_pk = 1 UNION ALL SELECT x.table_id, CASE WHEN x.is_unique "
            "<> 0 THEN 2 ELSE 0 END, 1 + row_number() OVER (PARTITION BY x.table_id ORDER BY "
            "x.seq), length(x.columns) - length(replace(x.columns, char(31), '')) + 1, 1, "
            "x.name FROM " +
            s +
            "xr_indexes x WHERE x.is_pk <> 1 UNION ALL SELECT t.id, 0, 255, 0, 1, 't' || "
            "t.name FROM " +
            tables + " AND EXISTS (SELECT 1 FROM " + s +
            "syscolumns c WHERE c.id = t.id AND c.xtype IN (34, 35, 99))";
    } else {  // systypes
        AddViewColumns(name, out);
        sql = SystemTypesSql();
    }
    out->viewSql = std::move(sql);
    return true;
}

// sysaltfiles and sys.master_files: the files of the server's databases, as
// the SQL function xr_database_files() lists them when the statement runs.
bool FilesView(std::string_view name, tsql::TableDef* out) {
    const bool compat = IEquals(name, "sysaltfiles");
    if (!compat && !IEquals(name, "sys.master_files")) return false;
    const std::string rows =
        "SELECT j.value ->> 0 AS dbid, j.value ->> 1 AS fileid, j.value ->> 2 AS name, "
        "j.value ->> 3 AS filename, j.value ->> 4 AS size, j.value ->> 5 AS log FROM "
        "json_each(xr_database_files()) j";
    std::string sql;
    if (compat) {
        AddViewColumns(name, out);
        // Growth by 10 per cent (status 0x100000), without limit.
        sql =
            "SELECT f.fileid AS fileid, CASE WHEN f.log THEN 0 ELSE 1 END AS groupid, f.size "
            "AS size, -1 AS maxsize, 10 AS growth, CASE WHEN f.log THEN 1048642 ELSE 1048578 "
            "END AS status, 0 AS perf, f.dbid AS dbid, f.name AS name, f.filename AS filename "
            "FROM (" +
            rows + ") f";
    } else {
        AddViewColumns(name, out);
        sql =
            "SELECT f.dbid AS database_id, f.fileid AS file_id, f.log AS type, CASE WHEN f.log "
            "THEN 'LOG' ELSE 'ROWS' END AS type_desc, CASE WHEN f.log THEN 0 ELSE 1 END AS "
            "data_space_id, f.name AS name, f.filename AS physical_name, 0 AS state, 'ONLINE' "
            "AS state_desc, f.size AS size, -1 AS max_size, 10 AS growth, 1 AS "
            "is_percent_growth FROM (" +
            rows + ") f";
    }
    out->viewSql = std::move(sql);
    return true;
}

bool DatabasesView(std::string_view name, tsql::TableDef* out) {
    if (FilesView(name, out)) return true;
    const bool compat = IEquals(name, "sysdatabases");
    if (!compat && !IEquals(name, "sys.databases")) return false;
    // The position in the list is the database id: the system databases
    // have the server's 1 to 4, the others follow from 5.
    const std::string rows =
        "SELECT j.value AS name, j.key + 1 AS dbid FROM json_each(xr_databases()) j";
    std::string sql;
    if (compat) {
        AddViewColumns(name, out);
        sql =
            "SELECT d.name AS name, d.dbid AS dbid, x'01' AS sid, 0 AS mode, CASE WHEN d.dbid "
            "= 2 THEN 8 ELSE 16 END AS status, 1090519040 AS status2, 0.0 AS crdate, 0.0 AS "
            "reserved, 0 AS category, 80 AS cmptlevel, upper(d.name) || '.db' AS filename, "
            "539 AS version FROM (" +
            rows + ") d";
    } else {
        AddViewColumns(name, out);
        sql =
            "SELECT d.name AS name, d.dbid AS database_id, NULL AS source_database_id, x'01' "
            "AS owner_sid, 0.0 AS create_date, 80 AS compatibility_level, "
            "'SQL_Latin1_General_CP1_CI_AS' AS collation_name, 0 AS user_access, 'MULTI_USER' "
            "AS user_access_desc, 0 AS is_read_only, 0 AS state, 'ONLINE' AS state_desc, CASE "
            "WHEN d.dbid = 2 THEN 3 ELSE 1 END AS recovery_model, CASE WHEN d.dbid = 2 THEN "
            "'SIMPLE' ELSE 'FULL' END AS recovery_model_desc FROM (" +
            rows + ") d";
    }
    out->viewSql = std::move(sql);
    return true;
}

}  // namespace xr::engine::sqlite
