// The system views on the server engine. Each view is a query over the
// catalog tables of a database schema (sysobjects, syscolumns,
// sysconstraints, xr_columns, xr_indexes and, once the database has them,
// xr_constraints, xr_views and xr_procedures), wrapped in a select that gives
// every column the storage type of the type the server shows, so that the
// statements reading a view compare and convert its values as a table's.
#include "engine/postgres/pg_system_views.h"

#include <vector>

#include "engine/postgres/pg_backend.h"
#include "engine/postgres/pg_catalog.h"
#include "engine/system_views.h"
#include "platform/text.h"

namespace xr::engine::postgres {

namespace {

// The catalog tables a schema has, found in one round trip when a view is
// first read after a change of the schema.
struct Tables {
    bool catalog = false;      // sysobjects and xr_indexes
    bool constraints = false;  // xr_constraints
    bool views = false;        // xr_views
    bool procedures = false;   // xr_procedures
};

Tables FindTables(PgLink& link, const std::string& schema) {
    Tables t;
    auto has = [&](const char* table) {
        return "(to_regclass(" + QuoteText(Quote(schema) + "." + table) + ") IS NOT NULL)::int";
    };
    auto rows =
        link.Select("SELECT " + has("sysobjects") + " * " + has("xr_indexes") + ", " +
                    has("xr_constraints") + ", " + has("xr_views") + ", " + has("xr_procedures"));
    if (rows.empty() || rows[0].size() < 4) return t;
    t.catalog = rows[0][0] == "1";
    t.constraints = rows[0][1] == "1";
    t.views = rows[0][2] == "1";
    t.procedures = rows[0][3] == "1";
    return t;
}

// The query as the view's rows: each column in the storage type of its
// declared type and named as the server names it.
void Finish(tsql::TableDef* out, const std::string& query) {
    std::string names, select;
    for (size_t i = 0; i < out->columns.size(); ++i) {
        const tsql::ColumnDef& c = out->columns[i];
        const std::string n = "c" + std::to_string(i);
        names += (i ? "," : "") + n;
        select += std::string(i ? ", " : "") + "q." + n + "::" + StorageType(c.type) + " AS " +
                  Quote(c.name);
    }
    out->viewSql = "SELECT " + select + " FROM (" + query + ") AS q(" + names + ")";
}

// The pattern key column lists are split by: the catalog keeps a list
// separated by commas, or by the unit separator.
const char* const kListSeparators = "'[,' || chr(31) || ']'";

// A key's columns one row each: cid, tid, col (the name as the key was
// written), pos (from 1). Unique keys from the index catalog, foreign keys
// (when the database has any) from the constraint catalog.
std::string KeyColumnsSql(const std::string& s, bool foreignKeys) {
    std::string keys = "SELECT x.constid AS cid, x.table_id AS tid, x.columns AS cols FROM " + s +
                       "xr_indexes x WHERE x.constid <> 0";
    if (foreignKeys) {
        keys += " UNION ALL SELECT f.id, f.table_id, f.columns FROM " + s +
                "xr_constraints f WHERE rtrim(f.kind) = 'F'";
    }
    return "WITH k AS (SELECT y.cid, y.tid, z.col, z.pos FROM (" + keys +
           ") y CROSS JOIN LATERAL unnest(regexp_split_to_array(y.cols, " + kListSeparators +
           ")) WITH ORDINALITY AS z(col, pos) WHERE y.cols <> '') ";
}

// The name tempdb's catalog shows for an object: a local #table's is padded
// with underscores to 116 characters and ends in a 12-digit number, as the
// server tells the #tables of its sessions apart; others as they are.
std::string ShownName(const std::string& schema, const char* alias) {
    const std::string n = std::string(alias) + ".name";
    if (schema != "pg_temp") return n;
    return "(CASE WHEN left(" + n + ", 1) = '#' AND substr(" + n + ", 2, 1) <> '#' THEN " + n +
           " || repeat('_', 116 - length(" + n + ")) || lpad(upper(to_hex(" + alias +
           ".id)), 12, '0') ELSE " + n + " END)";
}

// Whether `a` and `b` (SQL) name the same column: names are compared
// without case.
std::string SameName(const std::string& a, const std::string& b) {
    return "lower(" + a + " COLLATE \"C\") = lower(" + b + " COLLATE \"C\")";
}

std::string StoredTableView(std::string_view name, const std::string& schema) {
    const std::string s = Quote(schema) + ".";
    if (IEquals(name, "sysobjects"))
        return SysObjectsSelect(ShownName(schema, "o")) + s + "sysobjects o";
    if (IEquals(name, "syscolumns")) {
        const std::string chars = std::string("c.xtype IN ") + kCharTypeIds;
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
        return "SELECT c.name, c.id, c.xtype, 0, c.xtype, c.length, CASE WHEN c.xtype IN " +
               std::string(kExactTypeIds) +
               " OR c.xtype IN (59, 62, 61, 58, 104) THEN c.prec ELSE 0 END, c.scale, c.colid, 0, "
               "0, 0, 0, c.cdefault, 0, 0, c.colid, NULL::bytea, 0, CASE WHEN " +
               chars + " THEN 872468488 END, 0, c.status, " + oldType +
               ", CASE c.xtype WHEN 175 THEN 1 WHEN 167 THEN 2 WHEN 173 THEN 3 WHEN 165 THEN 4 "
               "WHEN 48 THEN 5 WHEN 52 THEN 6 WHEN 56 THEN 7 WHEN 62 THEN 8 WHEN 108 THEN 10 WHEN "
               "60 THEN 11 WHEN 61 THEN 12 WHEN 104 THEN 16 WHEN 35 THEN 19 WHEN 34 THEN 20 WHEN "
               "122 THEN 21 WHEN 58 THEN 22 WHEN 59 THEN 23 WHEN 106 THEN 24 ELSE 0 END, "
               "NULL::text, c.prec, CASE WHEN c.xtype IN " +
               std::string(kExactTypeIds) + " THEN c.scale END, 0, 0, c.isnullable, CASE WHEN " +
               chars + " THEN 'SQL_Latin1_General_CP1_CI_AS' END, NULL::bytea FROM " + s +
               "syscolumns c";
    }
    return SysConstraintsSql(s);
}

std::string CatalogViewSql(std::string_view name, const std::string& schema,
                           const std::string& database, const Tables& has) {
    if (IEquals(name, "sysobjects") || IEquals(name, "syscolumns") ||
        IEquals(name, "sysconstraints")) {
        return StoredTableView(name, schema);
    }
    const std::string s = Quote(schema) + ".";
    const std::string cat = QuoteText(database);
    const std::string owner = "'dbo'";
    const std::string chars = std::string("c.xtype IN ") + kCharTypeIds;
    const std::string binaries = std::string("c.xtype IN ") + kBinaryTypeIds;
    if (IEquals(name, "INFORMATION_SCHEMA.TABLES")) {
        return TablesSelect(cat, ShownName(schema, "o")) + s +
               "sysobjects o WHERE o.xtype IN ('U ', 'V ')";
    }
    if (IEquals(name, "INFORMATION_SCHEMA.COLUMNS")) {
        // A column's default as the server keeps its text: in parentheses.
        return "SELECT " + cat + ", " + owner + ", " + ShownName(schema, "o") +
               ", c.name, c.colid, CASE WHEN d.def_id IS NULL THEN NULL ELSE '(' || d.def_text "
               "|| ')' END, CASE WHEN c.isnullable <> 0 THEN 'YES' ELSE 'NO' END, " +
               TypeNameSql("c.xtype") +
               ", CASE WHEN c.xtype IN (35, 34) THEN 2147483647 WHEN c.xtype = 99 THEN 1073741823 "
               "WHEN c.xtype IN (239, 231) THEN c.length / 2 WHEN " +
               chars + " OR " + binaries +
               " THEN c.length END, CASE WHEN c.xtype IN (35, 34) THEN 2147483647 WHEN c.xtype = "
               "99 THEN 2147483646 WHEN " +
               chars + " OR " + binaries + " THEN c.length END, CASE WHEN c.xtype IN " +
               kExactTypeIds +
               " THEN c.prec WHEN c.xtype = 59 THEN 24 WHEN c.xtype = 62 THEN 53 END, CASE WHEN "
               "c.xtype IN " +
               kExactTypeIds +
               " THEN 10 WHEN c.xtype IN (59, 62) THEN 2 END, CASE WHEN c.xtype IN " +
               kExactTypeIds +
               " THEN c.scale END, CASE WHEN c.xtype = 61 THEN 3 WHEN c.xtype = 58 THEN 0 END, "
               "CASE WHEN " +
               chars +
               " THEN 'master' END, NULL, CASE WHEN c.xtype IN (239, 231, 99) THEN "
               "'UNICODE' WHEN " +
               chars + " THEN 'iso_1' END, NULL, NULL, CASE WHEN " + chars +
               " THEN 'SQL_Latin1_General_CP1_CI_AS' END, NULL, NULL, NULL FROM " + s +
               "sysobjects o JOIN " + s + "syscolumns c ON c.id = o.id LEFT JOIN " + s +
               "xr_columns d ON d.table_id = c.id AND d.colid = c.colid AND d.def_id <> 0 AND "
               "c.cdefault <> 0 WHERE o.xtype IN ('U ', 'V ')";
    }
    if (IEquals(name, "INFORMATION_SCHEMA.TABLE_CONSTRAINTS")) {
        return TableConstraintsSql(s, cat);
    }
    if (IEquals(name, "INFORMATION_SCHEMA.KEY_COLUMN_USAGE")) {
        return KeyColumnsSql(s, has.constraints) + "SELECT " + cat + ", " + owner + ", c.name, " +
               cat + ", " + owner + ", t.name, sc.name, k.pos FROM k JOIN " + s +
               "sysobjects c ON c.id = k.cid JOIN " + s + "sysobjects t ON t.id = k.tid JOIN " + s +
               "syscolumns sc ON sc.id = k.tid AND " + SameName("sc.name", "k.col") +
               " WHERE c.xtype IN ('PK', 'UQ', 'F ')";
    }
    if (IEquals(name, "INFORMATION_SCHEMA.REFERENTIAL_CONSTRAINTS")) {
        // The key referred to: the referenced table's key over the referenced
        // columns; the rules as the constraint catalog keeps them.
        std::string unique = "NULL", update = "'NO ACTION'", remove = "'NO ACTION'";
        std::string join;
        if (has.constraints) {
            join = " LEFT JOIN " + s + "xr_constraints r ON r.id = c.id";
            unique = "(SELECT p.name FROM " + s + "xr_indexes x JOIN " + s +
                     "sysobjects p ON p.id = x.constid WHERE x.constid <> 0 AND x.table_id = "
                     "r.ref_table_id AND lower(translate(x.columns, chr(31), ',') COLLATE \"C\") = "
                     "lower(translate(r.ref_columns, chr(31), ',') COLLATE \"C\") ORDER BY "
                     "x.is_pk DESC LIMIT 1)";
            auto rule = [](const char* column) {
                return std::string("CASE r.") + column +
                       " WHEN 1 THEN 'CASCADE' WHEN 2 THEN 'SET NULL' WHEN 3 THEN 'SET DEFAULT' "
                       "ELSE 'NO ACTION' END";
            };
            update = rule("on_update");
            remove = rule("on_delete");
        }
        return "SELECT " + cat + ", " + owner + ", c.name, " + cat + ", " + owner + ", " + unique +
               ", 'SIMPLE', " + update + ", " + remove + " FROM " + s + "sysobjects c" + join +
               " WHERE c.xtype = 'F '";
    }
    if (IEquals(name, "INFORMATION_SCHEMA.VIEWS")) {
        // The definition as written, cut at 4000 characters as the server
        // cuts it; CASCADE for a view made WITH CHECK OPTION.
        std::string definition = "NULL", check = "'NONE'";
        if (has.views) {
            definition =
                "(SELECT substr(v.definition, 1, 4000) FROM " + s + "xr_views v WHERE v.id = o.id)";
            check =
                "coalesce((SELECT CASE WHEN rtrim(v.definition, ' ;' || chr(9) || chr(10) || "
                "chr(13)) ILIKE '%WITH CHECK OPTION' THEN 'CASCADE' END FROM " +
                s + "xr_views v WHERE v.id = o.id), 'NONE')";
        }
        return "SELECT " + cat + ", " + owner + ", o.name, " + definition + ", " + check +
               ", 'NO' FROM " + s + "sysobjects o WHERE o.xtype = 'V '";
    }
    if (IEquals(name, "syscomments")) {
        // The definitions of procedures and views, in rows of 4000
        // characters (colid from 1); an encrypted one shows no text.
        std::string texts;
        if (has.procedures) {
            texts = "SELECT id, text AS t, (encrypted)::int AS enc FROM " + s + "xr_procedures";
        }
        if (has.views) {
            texts += std::string(texts.empty() ? "" : " UNION ALL ") +
                     "SELECT id, coalesce(definition, ''), (definition IS NULL)::int FROM " + s +
                     "xr_views";
        }
        if (texts.empty()) texts = "SELECT 0 AS id, ''::text AS t, 0 AS enc WHERE false";
        return "SELECT x.id, 0, g.colid, CASE WHEN x.enc <> 0 THEN 1 ELSE 0 END, NULL::bytea, 2, "
               "0, x.enc, 0, CASE WHEN x.enc <> 0 THEN NULL ELSE substr(x.t, (g.colid - 1) * "
               "4000 + 1, 4000) END FROM (" +
               texts +
               ") x CROSS JOIN LATERAL generate_series(1, greatest(1, (length(x.t) + 3999) / "
               "4000)) AS g(colid)";
    }
    if (IEquals(name, "INFORMATION_SCHEMA.ROUTINES")) {
        // The procedure's text as written, cut at 4000 characters.
        const std::string definition =
            has.procedures ? "(SELECT CASE WHEN (p.encrypted)::int = 0 THEN substr(p.text, 1, "
                             "4000) END FROM " +
                                 s + "xr_procedures p WHERE p.id = o.id)"
                           : "NULL";
        return RoutinesSql(s, cat, definition);
    }
    if (IEquals(name, "sys.objects") || IEquals(name, "sys.tables") || IEquals(name, "sys.views") ||
        IEquals(name, "sys.procedures")) {
        return ObjectsViewSql(name, s, ShownName(schema, "o"));
    }
    if (IEquals(name, "sys.columns")) {
        return "SELECT c.id, c.name, c.colid, c.xtype, c.xtype, c.length, CASE WHEN c.xtype IN " +
               std::string(kExactTypeIds) +
               " OR c.xtype IN (59, 62, 61, 58, 104) THEN c.prec ELSE 0 END, coalesce(c.scale, "
               "0), CASE WHEN " +
               chars +
               " THEN 'SQL_Latin1_General_CP1_CI_AS' END, CASE WHEN c.isnullable <> 0 THEN 1 "
               "ELSE 0 END, CASE WHEN " +
               chars + " OR " + binaries +
               " THEN 1 ELSE 0 END, 0, CASE WHEN (c.status & 128) <> 0 THEN 1 ELSE 0 END, 0, "
               "c.cdefault FROM " +
               s + "syscolumns c JOIN " + s + "sysobjects o ON o.id = c.id WHERE o.xtype <> 'S '";
    }
    if (IEquals(name, "sysindexes")) {
        // indid 0: a table without a clustered index (the heap), named as
        // the table; 1: the clustered index (the primary key); 2 on: the
        // other indexes in the order they were made; 255: the text and image
        // pages.
        const std::string tables = s + "sysobjects t WHERE t.xtype IN ('U ', 'S ')";
        const std::string keys = "coalesce(array_length(regexp_split_to_array(x.columns, " +
                                 std::string(kListSeparators) + "), 1), 0)";
        return "SELECT t.id, 0, 0, 0, 1, t.name FROM " + tables +
               " AND NOT EXISTS (SELECT 1 FROM " + s +
               "xr_indexes p WHERE p.table_id = t.id AND p.is_pk) UNION ALL SELECT x.table_id, "
               "2066, 1, " +
               keys + ", 1, x.name FROM " + s +
               "xr_indexes x WHERE x.is_pk UNION ALL SELECT x.table_id, CASE WHEN x.is_unique "
               "THEN 2 ELSE 0 END, 1 + row_number() OVER (PARTITION BY x.table_id ORDER BY "
               "x.seq), " +
               keys + ", 1, x.name FROM " + s +
               "xr_indexes x WHERE NOT x.is_pk UNION ALL SELECT t.id, 0, 255, 0, 1, 't' || t.name "
               "FROM " +
               tables + " AND EXISTS (SELECT 1 FROM " + s +
               "syscolumns c WHERE c.id = t.id AND c.xtype IN (34, 35, 99))";
    }
    return SystemTypesSql();  // systypes
}

// The server's databases as xr.databases() lists them when the statement
// runs, and their files: a data file and a log each, in a folder named after
// the server database. The system databases show the server's own file names
// (scripts find the folder by looking for "master.mdf").
std::string ServerViewSql(std::string_view name) {
    const std::string databases = "SELECT d.name, d.dbid FROM xr.databases() d";
    if (IEquals(name, "sysdatabases")) {
        return "SELECT d.name, d.dbid, '\\x01'::bytea, 0, CASE WHEN d.dbid = 2 THEN 8 ELSE 16 "
               "END, 1090519040, 0.0, 0.0, 0, 80, upper(d.name), 539 FROM (" +
               databases + ") d";
    }
    if (IEquals(name, "sys.databases")) {
        return "SELECT d.name, d.dbid, NULL, '\\x01'::bytea, 0.0, 80, "
               "'SQL_Latin1_General_CP1_CI_AS', 0, 'MULTI_USER', 0, 0, 'ONLINE', CASE WHEN "
               "d.dbid = 2 THEN 3 ELSE 1 END, CASE WHEN d.dbid = 2 THEN 'SIMPLE' ELSE 'FULL' END "
               "FROM (" +
               databases + ") d";
    }
    // dbid, fileid, logical name, path, size in 8-KB pages, 1 for a log.
    const std::string folder = "('/' || current_database() || '/')";
    const std::string files =
        "SELECT d.dbid, f.fileid, CASE WHEN d.dbid <= 4 THEN f.sysname WHEN f.fileid = 1 THEN "
        "d.name ELSE d.name || '_log' END AS name, " +
        folder +
        " || CASE WHEN d.dbid <= 4 THEN f.sysfile WHEN f.fileid = 1 THEN d.name || '.mdf' ELSE "
        "d.name || '_log.ldf' END AS filename, CASE WHEN d.dbid = 1 AND f.fileid = 1 THEN "
        "(pg_database_size(current_database()) + 8191) / 8192 ELSE 1 END AS size, f.fileid - 1 "
        "AS log FROM xr.databases() d JOIN (VALUES (1, 1, 'master', 'master.mdf'), (1, 2, "
        "'mastlog', 'mastlog.ldf'), (2, 1, 'tempdev', 'tempdb.mdf'), (2, 2, 'templog', "
        "'templog.ldf'), (3, 1, 'modeldev', 'model.mdf'), (3, 2, 'modellog', 'modellog.ldf'), "
        "(4, 1, 'MSDBData', 'MSDBData.mdf'), (4, 2, 'MSDBLog', 'MSDBLog.ldf'), (0, 1, NULL, "
        "NULL), (0, 2, NULL, NULL)) AS f(dbid, fileid, sysname, sysfile) ON f.dbid = CASE WHEN "
        "d.dbid <= 4 THEN d.dbid ELSE 0 END";
    if (IEquals(name, "sysaltfiles")) {
        // Growth by 10 per cent (status 0x100000), without limit.
        return "SELECT f.fileid, 1 - f.log, f.size, -1, 10, CASE WHEN f.log = 1 THEN 1048642 ELSE "
               "1048578 END, 0, f.dbid, f.name, f.filename FROM (" +
               files + ") f";
    }
    return "SELECT f.dbid, f.fileid, f.log, CASE WHEN f.log = 1 THEN 'LOG' ELSE 'ROWS' END, 1 - "
           "f.log, f.name, f.filename, 0, 'ONLINE', f.size, -1, 10, 1 FROM (" +
           files + ") f";
}

}  // namespace

bool SystemView(PgLink& link, std::string_view name, const std::string& schema,
                const std::string& database, tsql::TableDef* out) {
    if (IsServerView(name)) {
        out->columns.clear();
        if (!AddViewColumns(name, out)) return false;
        Finish(out, ServerViewSql(name));
        return true;
    }
    if (!IsCatalogView(name)) return false;
    const Tables has = FindTables(link, schema);
    if (!has.catalog) return false;
    out->columns.clear();
    AddViewColumns(name, out);
    Finish(out, CatalogViewSql(name, schema, database, has));
    return true;
}

}  // namespace xr::engine::postgres
