// The server's metadata functions over the catalog of each database file:
// OBJECT_ID with its type, OBJECTPROPERTY, COLUMNPROPERTY, INDEXPROPERTY,
// COL_LENGTH and COL_NAME. Each gives NULL where the server does: an object,
// column, index or property there is none of, or a name that does not parse.
// They read the system tables with statements of their own, only when a
// statement calls them.
#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/sqlite/catalog_views.h"
#include "engine/sqlite/sqlite_backend.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

namespace {

std::string Q(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string TextArg(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_value_bytes(v)))
             : std::string();
}

// One read of the catalog; no row when the statement fails to prepare (a
// database without the system tables).
class Read {
public:
    Read(sqlite3* db, const std::string& sql) {
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &m_st, nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_st);
            m_st = nullptr;
        }
    }
    ~Read() { sqlite3_finalize(m_st); }
    Read(const Read&) = delete;
    Read& operator=(const Read&) = delete;

    Read& Bind(int i, int64_t v) {
        if (m_st) sqlite3_bind_int64(m_st, i, v);
        return *this;
    }
    Read& Bind(int i, const std::string& v) {
        if (m_st)
            sqlite3_bind_text(m_st, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    bool Step() { return m_st && sqlite3_step(m_st) == SQLITE_ROW; }
    int64_t Int(int c) const { return sqlite3_column_int64(m_st, c); }
    std::string Text(int c) const {
        const unsigned char* t = sqlite3_column_text(m_st, c);
        return t ? reinterpret_cast<const char*>(t) : "";
    }

private:
    sqlite3_stmt* m_st = nullptr;
};

SqliteBackend* BackendOf(sqlite3_context* ctx) {
    return static_cast<SqliteBackend*>(sqlite3_user_data(ctx));
}

sqlite3* Db(sqlite3_context* ctx) { return sqlite3_context_db_handle(ctx); }

// An object name as text: "name", "owner.name", "db.owner.name",
// "db..name", each part bare, [bracketed] or "quoted". The schema it is in
// and its name; none when it does not parse, names another owner than dbo or
// a database there is none of.
std::optional<std::pair<std::string, std::string>> ResolveName(SqliteBackend* backend,
                                                               const std::string& text) {
    std::vector<std::string> parts;
    std::string cur;
    char close = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (close) {
            if (c == close) {
                if (i + 1 < text.size() && text[i + 1] == close) {
                    cur += c;
                    ++i;
                } else {
                    close = 0;
                }
            } else {
                cur += c;
            }
        } else if (c == '[') {
            close = ']';
        } else if (c == '"') {
            close = '"';
        } else if (c == '.') {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (close) return std::nullopt;
    parts.push_back(cur);
    if (parts.size() > 3 || parts.back().empty()) return std::nullopt;
    const std::string owner = parts.size() >= 2 ? parts[parts.size() - 2] : std::string();
    if (!owner.empty() && !IEquals(owner, "dbo")) return std::nullopt;
    std::string schema = backend->Host().CurrentSchema();
    if (parts.size() == 3 && !parts[0].empty()) {
        // A ##table of tempdb lies in its shared part.
        const bool global = parts[2].size() > 1 && parts[2][0] == '#' && parts[2][1] == '#';
        schema = backend->Attach(global && IEquals(parts[0], "tempdb")
                                     ? std::string(tsql::kGlobalTempDatabase)
                                     : parts[0]);
    }
    return std::make_pair(schema, parts.back());
}

std::string Trimmed(const std::string& s) { return std::string(Trim(s)); }

// OBJECT_ID(name [, type]).
void ObjectIdFn(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    try {
        auto name = ResolveName(BackendOf(ctx), TextArg(argv[0]));
        if (!name) return sqlite3_result_null(ctx);
        Read q(Db(ctx), "SELECT id, xtype FROM " + Q(name->first) + ".sysobjects WHERE name = ?1");
        q.Bind(1, name->second);
        if (!q.Step()) return sqlite3_result_null(ctx);
        if (argc > 1) {
            if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
            if (!IEquals(Trimmed(q.Text(1)), Trimmed(TextArg(argv[1])))) {
                return sqlite3_result_null(ctx);
            }
        }
        sqlite3_result_int64(ctx, q.Int(0));
    } catch (const ComError&) {
        sqlite3_result_null(ctx);
    }
}

struct ObjectRow {
    std::string xtype;  // without its padding
    int64_t parent = 0;
    int64_t uid = 0;
};

std::optional<ObjectRow> FindObject(sqlite3* db, const std::string& schema, int64_t id) {
    Read q(db, "SELECT xtype, parent_obj, uid FROM " + Q(schema) + ".sysobjects WHERE id = ?1");
    if (!q.Bind(1, id).Step()) return std::nullopt;
    return ObjectRow{Trimmed(q.Text(0)), q.Int(1), q.Int(2)};
}

// Whether `sql` (with ?1 the object id) finds a row.
bool Any(sqlite3* db, const std::string& sql, int64_t id) {
    return Read(db, sql).Bind(1, id).Step();
}

std::optional<int64_t> ObjectProperty(sqlite3* db, const std::string& schema, int64_t id,
                                      const std::string& property) {
    std::optional<ObjectRow> o = FindObject(db, schema, id);
    if (!o) return std::nullopt;
    const std::string s = Q(schema) + ".";
    const std::string& x = o->xtype;
    const bool table = x == "U" || x == "S";
    auto is = [&](bool b) { return std::optional<int64_t>(b ? 1 : 0); };
    // Properties of any object.
    if (IEquals(property, "OwnerId")) return o->uid;
    if (IEquals(property, "IsMSShipped")) return is(x == "S");
    if (IEquals(property, "IsUserTable")) return is(x == "U");
    if (IEquals(property, "IsSystemTable")) return is(x == "S");
    if (IEquals(property, "IsTable")) return is(table);
    if (IEquals(property, "IsView")) return is(x == "V");
    if (IEquals(property, "IsProcedure")) return is(x == "P");
    if (IEquals(property, "IsTrigger")) return is(x == "TR");
    if (IEquals(property, "IsScalarFunction")) return is(x == "FN");
    if (IEquals(property, "IsTableFunction")) return is(x == "TF" || x == "IF");
    if (IEquals(property, "IsInlineFunction")) return is(x == "IF");
    if (IEquals(property, "IsPrimaryKey")) return is(x == "PK");
    if (IEquals(property, "IsForeignKey")) return is(x == "F");
    if (IEquals(property, "IsCheckCnst")) return is(x == "C");
    if (IEquals(property, "IsDefaultCnst")) return is(x == "D" && o->parent != 0);
    if (IEquals(property, "IsUniqueCnst")) return is(x == "UQ");
    if (IEquals(property, "IsConstraint")) {
        return is(x == "PK" || x == "UQ" || x == "F" || x == "C" || (x == "D" && o->parent != 0));
    }
    if (IEquals(property, "IsDefault")) return is(x == "D" && o->parent == 0);
    if (IEquals(property, "IsRule")) return is(x == "R");
    // Properties of a table (NULL for other objects).
    auto tableOnly = [&](bool b) { return table ? is(b) : std::nullopt; };
    auto hasChild = [&](const char* xtype) {
        return Any(
            db,
            "SELECT 1 FROM " + s + "sysobjects WHERE parent_obj = ?1 AND xtype = '" + xtype + "'",
            id);
    };
    if (IEquals(property, "TableHasPrimaryKey")) return tableOnly(table && hasChild("PK"));
    if (IEquals(property, "TableHasUniqueCnst")) return tableOnly(table && hasChild("UQ"));
    if (IEquals(property, "TableHasForeignKey")) return tableOnly(table && hasChild("F "));
    if (IEquals(property, "TableHasCheckCnst")) return tableOnly(table && hasChild("C "));
    if (IEquals(property, "TableHasDefaultCnst")) return tableOnly(table && hasChild("D "));
    if (IEquals(property, "TableHasIdentity")) {
        return tableOnly(
            table &&
            Any(db, "SELECT 1 FROM " + s + "syscolumns WHERE id = ?1 AND (status & 128) <> 0", id));
    }
    if (IEquals(property, "IsIndexed") || IEquals(property, "TableHasIndex")) {
        return tableOnly(table &&
                         Any(db, "SELECT 1 FROM " + s + "xr_indexes WHERE table_id = ?1", id));
    }
    if (IEquals(property, "TableHasClustIndex")) {
        return tableOnly(
            table &&
            Any(db, "SELECT 1 FROM " + s + "xr_indexes WHERE table_id = ?1 AND is_pk = 1", id));
    }
    if (IEquals(property, "TableHasNonclustIndex")) {
        return tableOnly(
            table &&
            Any(db, "SELECT 1 FROM " + s + "xr_indexes WHERE table_id = ?1 AND is_pk <> 1", id));
    }
    if (IEquals(property, "TableHasTextImage")) {
        return tableOnly(
            table &&
            Any(db, "SELECT 1 FROM " + s + "syscolumns WHERE id = ?1 AND xtype IN (34, 35, 99)",
                id));
    }
    if (IEquals(property, "CnstIsClustKey"))
        return x == "PK" || x == "UQ" ? is(x == "PK") : std::nullopt;
    if (IEquals(property, "CnstIsNonclustKey")) {
        return x == "PK" || x == "UQ" ? is(x == "UQ") : std::nullopt;
    }
    return std::nullopt;
}

void ObjectPropertyFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        return sqlite3_result_null(ctx);
    }
    auto v = ObjectProperty(Db(ctx), BackendOf(ctx)->Host().CurrentSchema(),
                            sqlite3_value_int64(argv[0]), TextArg(argv[1]));
    if (v) return sqlite3_result_int64(ctx, *v);
    sqlite3_result_null(ctx);
}

// The type ids whose precision is their length in characters.
bool IsCharacterType(int64_t xtype) {
    return xtype == 175 || xtype == 167 || xtype == 35 || xtype == 239 || xtype == 231 ||
           xtype == 99 || xtype == 173 || xtype == 165 || xtype == 34;
}

bool IsNumericType(int64_t xtype) {
    return xtype == 48 || xtype == 52 || xtype == 56 || xtype == 127 || xtype == 60 ||
           xtype == 122 || xtype == 106 || xtype == 108 || xtype == 59 || xtype == 62 ||
           xtype == 104;
}

void ColumnPropertyFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    for (int i = 0; i < 3; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    }
    const std::string schema = BackendOf(ctx)->Host().CurrentSchema();
    Read q(Db(ctx),
           "SELECT c.colid, c.xtype, c.length, c.prec, c.scale, c.isnullable, c.status "
           "FROM " +
               Q(schema) + ".syscolumns c WHERE c.id = ?1 AND c.name = ?2");
    q.Bind(1, sqlite3_value_int64(argv[0])).Bind(2, TextArg(argv[1]));
    if (!q.Step()) return sqlite3_result_null(ctx);
    const std::string property = TextArg(argv[2]);
    const int64_t xtype = q.Int(1);
    std::optional<int64_t> v;
    if (IEquals(property, "AllowsNull")) {
        v = q.Int(5) != 0 ? 1 : 0;
    } else if (IEquals(property, "IsIdentity")) {
        v = (q.Int(6) & 128) != 0 ? 1 : 0;
    } else if (IEquals(property, "IsComputed") || IEquals(property, "IsRowGuidCol") ||
               IEquals(property, "IsFulltextIndexed") || IEquals(property, "IsOutParam")) {
        v = 0;
    } else if (IEquals(property, "ColumnId")) {
        v = q.Int(0);
    } else if (IEquals(property, "Precision")) {
        if (xtype == 35 || xtype == 34) {
            v = 2147483647;
        } else if (xtype == 99) {
            v = 1073741823;
        } else if (xtype == 239 || xtype == 231) {
            v = q.Int(2) / 2;
        } else if (IsCharacterType(xtype)) {
            v = q.Int(2);
        } else if (xtype == 62) {
            v = 53;
        } else if (xtype == 59) {
            v = 24;
        } else {
            v = q.Int(3);
        }
    } else if (IEquals(property, "Scale")) {
        if (IsNumericType(xtype) && xtype != 59 && xtype != 62) v = q.Int(4);
        if (xtype == 61) v = 3;
        if (xtype == 58) v = 0;
    } else if (IEquals(property, "UsesAnsiTrim")) {
        v = IsCharacterType(xtype) ? std::optional<int64_t>(1) : std::nullopt;
    }
    if (v) return sqlite3_result_int64(ctx, *v);
    sqlite3_result_null(ctx);
}

void IndexPropertyFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    for (int i = 0; i < 3; ++i) {
        if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    }
    const std::string schema = BackendOf(ctx)->Host().CurrentSchema();
    const int64_t table = sqlite3_value_int64(argv[0]);
    Read q(Db(ctx), "SELECT is_unique, is_pk, seq FROM " + Q(schema) +
                        ".xr_indexes WHERE table_id = ?1 AND name = ?2");
    q.Bind(1, table).Bind(2, TextArg(argv[1]));
    if (!q.Step()) return sqlite3_result_null(ctx);
    const std::string property = TextArg(argv[2]);
    const bool pk = q.Int(1) == 1;
    std::optional<int64_t> v;
    if (IEquals(property, "IsUnique")) {
        v = q.Int(0) != 0 || pk ? 1 : 0;
    } else if (IEquals(property, "IsClustered")) {
        v = pk ? 1 : 0;
    } else if (IEquals(property, "IndexID")) {
        if (pk) {
            v = 1;
        } else {
            // Numbered from 2 in the order the indexes were made, as sysindexes shows them.
            Read n(Db(ctx), "SELECT count(*) FROM " + Q(schema) +
                                ".xr_indexes WHERE table_id = ?1 AND is_pk <> 1 AND seq <= ?2");
            n.Bind(1, table).Bind(2, q.Int(2));
            v = n.Step() ? n.Int(0) + 1 : 2;
        }
    } else if (IEquals(property, "IsStatistics") || IEquals(property, "IsAutoStatistics") ||
               IEquals(property, "IsFulltextKey") || IEquals(property, "IsHypothetical") ||
               IEquals(property, "IsPadIndex") || IEquals(property, "IsPageLockDisallowed") ||
               IEquals(property, "IsRowLockDisallowed") || IEquals(property, "IndexFillFactor")) {
        v = 0;
    }
    if (v) return sqlite3_result_int64(ctx, *v);
    sqlite3_result_null(ctx);
}

void ColLengthFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        return sqlite3_result_null(ctx);
    }
    try {
        auto name = ResolveName(BackendOf(ctx), TextArg(argv[0]));
        if (!name) return sqlite3_result_null(ctx);
        const std::string s = Q(name->first) + ".";
        Read q(Db(ctx), "SELECT c.length FROM " + s + "sysobjects o JOIN " + s +
                            "syscolumns c ON c.id = o.id WHERE o.name = ?1 AND c.name = ?2 AND "
                            "o.xtype IN ('U ', 'S ', 'V ')");
        q.Bind(1, name->second).Bind(2, TextArg(argv[1]));
        if (q.Step()) return sqlite3_result_int64(ctx, q.Int(0));
    } catch (const ComError&) {
    }
    sqlite3_result_null(ctx);
}

void ColNameFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        return sqlite3_result_null(ctx);
    }
    const std::string schema = BackendOf(ctx)->Host().CurrentSchema();
    Read q(Db(ctx), "SELECT name FROM " + Q(schema) + ".syscolumns WHERE id = ?1 AND colid = ?2");
    q.Bind(1, sqlite3_value_int64(argv[0])).Bind(2, sqlite3_value_int64(argv[1]));
    if (!q.Step()) return sqlite3_result_null(ctx);
    std::string name = q.Text(0);
    sqlite3_result_text(ctx, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
}

}  // namespace

void RegisterCatalogFunctions(sqlite3* db, SqliteBackend* backend) {
    sqlite3_create_function(db, "xr_object_id", 1, SQLITE_UTF8, backend, ObjectIdFn, nullptr,
                            nullptr);
    sqlite3_create_function(db, "xr_object_id", 2, SQLITE_UTF8, backend, ObjectIdFn, nullptr,
                            nullptr);
    sqlite3_create_function(db, "xr_objectproperty", 2, SQLITE_UTF8, backend, ObjectPropertyFn,
                            nullptr, nullptr);
    sqlite3_create_function(db, "xr_columnproperty", 3, SQLITE_UTF8, backend, ColumnPropertyFn,
                            nullptr, nullptr);
    sqlite3_create_function(db, "xr_indexproperty", 3, SQLITE_UTF8, backend, IndexPropertyFn,
                            nullptr, nullptr);
    sqlite3_create_function(db, "xr_col_length", 2, SQLITE_UTF8, backend, ColLengthFn, nullptr,
                            nullptr);
    sqlite3_create_function(db, "xr_col_name", 2, SQLITE_UTF8, backend, ColNameFn, nullptr,
                            nullptr);
}

}  // namespace xr::engine::sqlite
