#include "engine/postgres/pg_catalog.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <set>
#include <unordered_set>

#include "engine/postgres/pg_backend.h"
#include "engine/postgres/pg_constraints.h"
#include "engine/postgres/pg_logins.h"
#include "engine/postgres/pg_renderer.h"
#include "engine/postgres/pg_serialize.h"
#include "engine/postgres/pg_views.h"
#include "engine/system_tables.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::postgres {

namespace {

[[noreturn]] void Fail(const std::string& message) {
    throw ComError(DB_E_ERRORSINCOMMAND, message);
}

// A column's default as its storage value: the constant as written converted
// to the column's type (a DECIMAL default of 15 is stored as 1500 in a
// DECIMAL(5,2)), as the embedded engine stores it.
std::string DefaultSql(const DefaultDef& def, const TypeSpec& type) {
    return InlineValue(Convert(def.value, def.valueType, type));
}

std::string S(std::string_view s) { return std::string(s); }

[[noreturn]] void FailObjectExists(std::string_view name) {
    Fail("There is already an object named '" + S(name) + "' in the database.");
}

std::string CannotFind(std::string_view table) {
    return "Cannot find the object \"" + S(table) +
           "\" because it does not exist or you do not have permissions.";
}

[[noreturn]] void NotYet(const std::string& what) {
    Fail(what + " is not supported by the PostgreSQL engine yet.");
}

std::string Hex8(int32_t v) { return Format("%08X", static_cast<uint32_t>(v)); }

// Now as the OLE day number a DATETIME is stored as.
double OleNow() {
    using namespace std::chrono;
    const double seconds =
        duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count() / 1000.0;
    return 25569.0 + seconds / 86400.0;
}

std::string Join(const std::vector<std::string>& items, char sep) {
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) out += (i ? std::string(1, sep) : "") + items[i];
    return out;
}

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> out;
    if (text.empty()) return out;
    size_t at = 0;
    for (;;) {
        size_t p = text.find(sep, at);
        out.push_back(text.substr(at, p == std::string::npos ? p : p - at));
        if (p == std::string::npos) break;
        at = p + 1;
    }
    return out;
}

// A stored default's value: kind, then its text.
std::string ValueText(const Value& v) {
    switch (v.kind) {
        case Value::Kind::Null:
            return "n";
        case Value::Kind::Int:
            return "i" + std::to_string(v.i);
        case Value::Kind::Real:
            return "r" + Format("%.17g", v.d);
        case Value::Kind::Text:
            return "t" + v.s;
        case Value::Kind::Blob: {
            static const char* hex = "0123456789abcdef";
            std::string out = "b";
            for (unsigned char c : v.s) {
                out += hex[c >> 4];
                out += hex[c & 15];
            }
            return out;
        }
    }
    return "n";
}

Value ValueOf(const std::string& text) {
    if (text.empty()) return Value::Null();
    const std::string rest = text.substr(1);
    switch (text[0]) {
        case 'i':
            return Value::Int(std::stoll(rest));
        case 'r':
            return Value::Real(std::stod(rest));
        case 't':
            return Value::Text(rest);
        case 'b': {
            std::string bytes;
            for (size_t i = 0; i + 1 < rest.size(); i += 2)
                bytes += static_cast<char>(std::stoi(rest.substr(i, 2), nullptr, 16));
            return Value::Blob(bytes);
        }
        default:
            return Value::Null();
    }
}

const char* Bool(bool b) { return b ? "1" : "0"; }

}  // namespace

std::string Quote(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

std::string QuoteText(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

std::string TextKey(const std::string& sql) {
    return "lower(rtrim(" + sql + ",' ') COLLATE \"C\")";
}

std::string StorageType(const TypeSpec& t) {
    switch (t.kind) {
        case TypeKind::Bit:
        case TypeKind::TinyInt:
        case TypeKind::SmallInt:
            return "smallint";
        case TypeKind::Int:
            return "integer";
        case TypeKind::BigInt:
        case TypeKind::Money:
        case TypeKind::SmallMoney:
            return "bigint";
        case TypeKind::Decimal:
            return t.IsScaled() ? "bigint" : "double precision";
        case TypeKind::Real:
        case TypeKind::Float:
        case TypeKind::DateTime:
        case TypeKind::SmallDateTime:
            return "double precision";
        case TypeKind::Char:
        case TypeKind::VarChar:
        case TypeKind::Text:
            return "text COLLATE \"C\"";
        case TypeKind::Binary:
        case TypeKind::VarBinary:
        case TypeKind::Image:
            return "bytea";
        case TypeKind::Unknown:
            break;
    }
    return "text";
}

namespace {
std::string DeferKey(const std::string& db, std::string_view table) {
    return db + '.' + ToUpper(table);
}
}  // namespace

struct Catalog::Impl {
    explicit Impl(PgLink& l) : link(l) {}

    PgLink& link;
    std::map<std::string, std::map<std::string, std::shared_ptr<const TableDef>>> tables;
    std::map<std::string, bool> hasCatalog;
    std::map<std::string, std::vector<std::string>> ownTables;  // seen present, by database
    uint64_t tempVersion = 0;  // moved by every change of the session's tempdb
    std::mt19937 random{std::random_device{}()};
    int64_t ddlSteps = 0;  // catalog changes made by this session
    std::map<std::string, std::unordered_set<int32_t>> usedIds;          // see NewObjectId
    std::map<std::string, std::unordered_set<std::string>> usedStorage;  // NewStorageName
    // Tables whose columns, keys or indexes wait (see DefersTables), by
    // DeferKey; whether each is made yet, where known (a rollback to a
    // savepoint leaves it unknown: PostgreSQL is asked).
    Deferred deferred;
    std::map<std::string, bool> made;
    bool deferOk = false;  // DeferWithin
    // Tables made in the open transaction, by DeferKey: nobody else has
    // seen them. `madeHereIn` is the link's Transactions count then.
    std::set<std::string> madeHere;
    uint64_t madeHereIn = 0;

    // Whether `def`'s table is yet to be made on the server.
    bool Unmade(const TableDef& def) {
        const std::string key = DeferKey(def.db, def.name);
        if (!deferred.count(key)) return false;
        auto it = made.find(key);
        if (it == made.end()) {
            const bool there = Select("SELECT to_regclass($1) IS NOT NULL",
                                      {Quote(def.db) + "." + Quote(def.name)})[0][0] == "t";
            it = made.emplace(key, there).first;
        }
        return !it->second;
    }
    // Makes the tables waiting (those of `only`, when given); FlushDeferred.
    std::vector<std::string> Flush(const std::set<std::string>* only);
    // Whether a change of `def`'s table is the catalog's alone, the table
    // being yet to be made; a table made whose columns wait gets them first.
    bool CatalogOnly(const TableDef& def) {
        if (Unmade(def)) return true;
        const std::set<std::string> one = {DeferKey(def.db, def.name)};
        if (deferred.count(*one.begin())) Flush(&one);
        return false;
    }
    // Whether the statement lets a new table, or its indexes, wait.
    bool MayWait(const std::string& db) { return deferOk && db != "pg_temp" && link.MarkLocked(); }

    // CREATE TABLE as PostgreSQL takes it. The row id comes last, so that a
    // statement writing the columns in their order without naming them
    // leaves it to its counter.
    std::string TableSql(const std::string& db, std::string_view name,
                         const std::vector<ColumnDef>& columns) {
        std::string sql = "CREATE TABLE " + Quote(db) + "." + Quote(name) + " (";
        for (const ColumnDef& c : columns) sql += ColumnSql(c) + ", ";
        return sql + "\"xr_rowid\" bigint GENERATED ALWAYS AS IDENTITY)";
    }
    // Definitions read before another session's change, kept alive until
    // the next change: a caller may still hold one.
    std::map<std::string, std::map<std::string, std::shared_ptr<const TableDef>>> retired;

    std::string T(const std::string& db, const char* table) { return Quote(db) + "." + table; }

    std::vector<std::vector<std::string>> Select(const std::string& sql,
                                                 const std::vector<std::string>& params = {}) {
        return link.Select(sql, params);
    }

    // A DDL step: the database's counter and the server's schema mark move.
    // When the mark moved by more than this step, another session's DDL
    // came first: every definition is read afresh.
    // `changed`, when given, is the one table the step changed, as the
    // catalog now holds it: the database's other definitions stay cached.
    // `stale`, when given, is the one table the step changed or dropped
    // (a column, a default or a key of its own, which no other table's
    // definition holds): only its definition is read again.
    void Touch(const std::string& db, std::shared_ptr<const TableDef> changed = nullptr,
               std::string_view stale = {}) {
        ++ddlSteps;
        if (changed && db != "pg_temp") {
            tables[db][ToUpper(changed->name)] = changed;
        } else if (!stale.empty() && db != "pg_temp") {
            tables[db].erase(ToUpper(stale));
        } else {
            tables.erase(db);
        }
        if (db == "pg_temp") {
            ++tempVersion;
            return;
        }
        if (link.MarkLocked()) {
            // The mark is locked: its next value is known without asking,
            // and the counters go with the step's next round trip, once per
            // transaction (Serialize read others' changes at the start).
            if (link.FirstMove(db)) link.Defer("UPDATE " + T(db, "xr_version") + " SET v = v + 1");
            if (link.FirstMove("")) {
                link.Defer("UPDATE xr.ddl SET v = v + 1");
                link.MoveLockedMark();
            }
            link.SetSchemaMark(link.LockedMark());
            return;
        }
        link.Exec("UPDATE " + T(db, "xr_version") + " SET v = v + 1");
        auto rows = Select("UPDATE xr.ddl SET v = v + 1 RETURNING v");
        const int64_t mark = rows.empty() ? -1 : std::stoll(rows[0][0]);
        if (mark != link.SchemaMark() + 1) {
            tables.clear();
            ForgetIds();
        }
        link.SetSchemaMark(mark);
    }

    // Object ids are drawn at random, as the server's look, from those not
    // in use. The ids in use are read once and then kept: another session
    // adds some only under the schema mark's lock, and moves the mark, which
    // makes them read afresh (ForgetIds); ids this session's rollback freed
    // stay counted, which only leaves them unused.
    int32_t NewObjectId(const std::string& db) {
        auto it = usedIds.find(db);
        if (it == usedIds.end()) {
            std::unordered_set<int32_t> ids;
            for (const auto& row : Select("SELECT id FROM " + T(db, "sysobjects")))
                ids.insert(std::stoi(row[0]));
            it = usedIds.emplace(db, std::move(ids)).first;
        }
        std::uniform_int_distribution<int32_t> dist(0x00100000, INT32_MAX);
        for (;;) {
            const int32_t id = dist(random);
            if (it->second.insert(id).second) return id;
        }
    }
    // An index's storage name, not used by another of the database's
    // (kept as the ids are).
    std::string NewStorageName(const std::string& db) {
        auto it = usedStorage.find(db);
        if (it == usedStorage.end()) {
            std::unordered_set<std::string> names;
            for (const auto& row : Select("SELECT storage FROM " + T(db, "xr_indexes")))
                names.insert(row[0]);
            it = usedStorage.emplace(db, std::move(names)).first;
        }
        for (;;) {
            std::string name = "xr_ix_" + Hex8(static_cast<int32_t>(random() & 0x7fffffff));
            if (it->second.insert(name).second) return name;
        }
    }
    void ForgetIds() {
        usedIds.clear();
        usedStorage.clear();
        objectNames.clear();
    }
    // `def` with `ix` added, as Read finds it again.
    static std::shared_ptr<const TableDef> WithIndex(const TableDef& def, IndexDef ix) {
        auto changed = std::make_shared<TableDef>(def);
        ix.descending.resize(ix.columns.size(), false);
        changed->indexes.push_back(std::move(ix));
        return changed;
    }

    // Object names as the name check compares them (lower case, no
    // trailing blanks); "" for a name with other than ASCII, which only the
    // server compares.
    static std::string NameKey(std::string_view name) {
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        std::string key;
        for (const char c : name) {
            if (static_cast<unsigned char>(c) >= 0x80) return {};
            key += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        }
        return key;
    }
    // The names of each database's objects, read once and kept as the ids
    // are, and read afresh when names may have gone (PgLink::NamesMoved).
    std::map<std::string, std::unordered_set<std::string>> objectNames;
    uint64_t namesSeen = 0;

    bool NameTaken(const std::string& db, std::string_view name) {
        if (namesSeen != link.NamesMoved()) {
            objectNames.clear();
            namesSeen = link.NamesMoved();
        }
        const std::string key = NameKey(name);
        if (!key.empty()) {
            auto it = objectNames.find(db);
            if (it == objectNames.end()) {
                std::unordered_set<std::string> names;
                for (const auto& row : Select("SELECT name FROM " + T(db, "sysobjects")))
                    names.insert(NameKey(row[0]));
                it = objectNames.emplace(db, std::move(names)).first;
            }
            return it->second.count(key) > 0;
        }
        // Index names belong to their table; keys are objects of their own.
        return !Select("SELECT 1 FROM " + T(db, "sysobjects") + " WHERE " + TextKey("name") +
                           " = " + TextKey("$1::text"),
                       {S(name)})
                    .empty();
    }

    // A column as Read finds it again in the catalog's rows.
    static ColumnDef StoredColumn(const ColumnDef& c) {
        ColumnDef col;
        col.name = c.name;
        TypeSpec::Parse(c.type.ToString(), &col.type);
        col.notNull = c.notNull;
        col.identity = c.identity;
        col.identitySeed = c.identitySeed;
        col.identityIncrement = c.identityIncrement;
        if (c.def && !c.def->name.empty()) {
            DefaultDef d;
            d.id = c.def->id;
            d.name = c.def->name;
            d.systemNamed = c.def->systemNamed;
            d.text = c.def->text;
            d.value = ValueOf(ValueText(c.def->value));
            TypeSpec::Parse(c.def->valueType.ToString(), &d.valueType);
            col.def = std::move(d);
        }
        return col;
    }

    std::shared_ptr<const TableDef> Read(const std::string& db, std::string_view name) {
        auto rows = Select("SELECT id, name FROM " + T(db, "sysobjects") +
                               " WHERE rtrim(xtype) IN ('U','S') AND " + TextKey("name") + " = " +
                               TextKey("$1::text"),
                           {S(name)});
        if (rows.empty()) return nullptr;
        auto def = std::make_shared<TableDef>();
        def->db = db;
        def->id = std::stoi(rows[0][0]);
        def->name = rows[0][1];
        const std::string id = rows[0][0];
        for (auto& c : Select("SELECT name, type, not_null, is_identity, seed, incr, def_id, "
                              "def_name, def_system, def_text, def_value, def_type FROM " +
                                  T(db, "xr_columns") + " WHERE table_id = $1 ORDER BY colid",
                              {id})) {
            ColumnDef col;
            col.name = c[0];
            TypeSpec::Parse(c[1], &col.type);
            col.notNull = c[2] == "t";
            col.identity = c[3] == "t";
            col.identitySeed = std::stoll(c[4]);
            col.identityIncrement = std::stoll(c[5]);
            if (!c[7].empty()) {
                DefaultDef d;
                d.id = std::stoi(c[6]);
                d.name = c[7];
                d.systemNamed = c[8] == "t";
                d.text = c[9];
                d.value = ValueOf(c[10]);
                TypeSpec::Parse(c[11], &d.valueType);
                col.def = std::move(d);
            }
            def->columns.push_back(std::move(col));
        }
        for (auto& r : Select("SELECT name, storage, is_unique, is_pk, is_uq, constid, columns, "
                              "descending, filter FROM " +
                                  T(db, "xr_indexes") + " WHERE table_id = $1 ORDER BY seq",
                              {id})) {
            IndexDef ix;
            ix.name = r[0];
            ix.storageName = r[1];
            ix.unique = r[2] == "t";
            ix.primaryKey = r[3] == "t";
            ix.uniqueKey = r[4] == "t";
            ix.id = std::stoi(r[5]);
            ix.columns = Split(r[6], ',');
            for (const std::string& d : Split(r[7], ',')) ix.descending.push_back(d == "1");
            ix.filterSql = r[8];
            def->indexes.push_back(std::move(ix));
        }
        ReadConstraints(link, db, *def);
        return def;
    }

    const TableDef* Find(const std::string& db, std::string_view name) {
        return FindShared(db, name).get();
    }
    std::shared_ptr<const TableDef> FindShared(const std::string& db, std::string_view name) {
        if (!Has(db)) return nullptr;
        auto& cache = tables[db];
        const std::string key = ToUpper(name);
        auto it = cache.find(key);
        if (it != cache.end()) return it->second;
        auto def = Read(db, name);
        if (!def) return nullptr;
        return cache[key] = std::move(def);
    }

    bool Has(const std::string& db) {
        auto it = hasCatalog.find(db);
        if (it != hasCatalog.end() && it->second) return true;
        if (db == "pg_temp") {
            // The session's own tempdb has no version: nobody else changes it.
            const bool temp =
                Select("SELECT pg_catalog.to_regclass('pg_temp.sysobjects') IS NOT NULL")[0][0] ==
                "t";
            if (temp) hasCatalog[db] = true;
            return temp;
        }
        auto rows = Select(
            "SELECT to_regclass($2) IS NOT NULL FROM pg_catalog.pg_tables WHERE schemaname = $1 "
            "AND tablename = 'xr_version'",
            {db, T(db, "xr_constraints")});
        const bool has = !rows.empty();
        // A catalog made before foreign keys and checks were kept gets their table.
        if (has && rows[0][0] != "t") link.Exec(ConstraintTableSql(db));
        if (has) hasCatalog[db] = true;
        return has;
    }

    void InsertColumn(const std::string& db, int32_t tableId, int colid, const ColumnDef& c) {
        std::vector<std::string> p = {std::to_string(tableId),
                                      std::to_string(colid),
                                      c.name,
                                      c.type.ToString(),
                                      Bool(c.notNull),
                                      Bool(c.identity),
                                      std::to_string(c.identitySeed),
                                      std::to_string(c.identityIncrement),
                                      c.def ? std::to_string(c.def->id) : "0",
                                      c.def ? c.def->name : "",
                                      Bool(c.def && c.def->systemNamed),
                                      c.def ? c.def->text : "",
                                      c.def ? ValueText(c.def->value) : "",
                                      c.def ? c.def->valueType.ToString() : ""};
        link.Defer(
            "INSERT INTO " + T(db, "xr_columns") +
                " (table_id, colid, name, type, not_null, is_identity, seed, incr, def_id, "
                "def_name, def_system, def_text, def_value, def_type) VALUES ($1, $2, $3, $4, "
                "$5::int::bool, $6::int::bool, $7, $8, $9, $10, $11::int::bool, $12, $13, $14)",
            p);
        const TypeInfo info = DescribeType(c.type);
        const int64_t status =
            (c.notNull ? 0 : kColumnNullable) | (c.identity ? kColumnIdentity : 0);
        link.Defer(
            "INSERT INTO " + T(db, "syscolumns") +
                " (id, colid, name, xtype, length, prec, scale, isnullable, cdefault, status) "
                "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10)",
            {std::to_string(tableId), std::to_string(colid), c.name, std::to_string(info.xtype),
             std::to_string(info.length), std::to_string(info.prec), std::to_string(info.scale),
             c.notNull ? "0" : "1", c.def ? std::to_string(c.def->id) : "0",
             std::to_string(status)});
    }

    void InsertConstraint(const std::string& db, int32_t id, int32_t tableId, int colid,
                          int64_t status) {
        link.Defer("INSERT INTO " + T(db, "sysconstraints") +
                       " (constid, id, colid, status) VALUES ($1, $2, $3, $4)",
                   {std::to_string(id), std::to_string(tableId), std::to_string(colid),
                    std::to_string(status)});
    }

    void InsertObject(const std::string& db, int32_t id, std::string_view name, const char* xtype,
                      int32_t parent) {
        link.Defer(
            "INSERT INTO " + T(db, "sysobjects") +
                " (id, name, xtype, type, uid, parent_obj, crdate, status) VALUES ($1, $2, $3, "
                "$4, 1, $5, $6, 0)",
            {std::to_string(id), S(name), PadXtype(xtype), ObjectType(xtype),
             std::to_string(parent), Format("%.17g", OleNow())});
        if (auto it = objectNames.find(db); it != objectNames.end())
            it->second.insert(NameKey(name));
    }

    // The names the statement gives its columns' defaults are refused
    // before anything changes: taken already, or given twice.
    void CheckDefaultNames(const std::string& db, const std::vector<ColumnDef>& columns) {
        for (size_t i = 0; i < columns.size(); ++i) {
            if (!columns[i].def || columns[i].def->name.empty()) continue;
            const std::string& name = columns[i].def->name;
            bool twice = NameTaken(db, name);
            for (size_t j = 0; j < i && !twice; ++j)
                twice = columns[j].def && IEquals(columns[j].def->name, name);
            if (twice) FailObjectExists(name);
        }
    }
    // A column's default gets its object id and, when the statement named
    // none, the server's kind of generated name.
    void NameDefault(const std::string& db, std::string_view table, int32_t tableId, int colid,
                     ColumnDef& c) {
        c.def->id = NewObjectId(db);
        if (c.def->name.empty()) {
            c.def->systemNamed = true;
            c.def->name = "DF__" + S(table).substr(0, 9) + "__" + c.name.substr(0, 5) + "__" +
                          Hex8(c.def->id);
        } else if (NameTaken(db, c.def->name)) {
            FailObjectExists(c.def->name);
        }
        InsertObject(db, c.def->id, c.def->name, "D", tableId);
        InsertConstraint(db, c.def->id, tableId, colid,
                         c.def->systemNamed ? kStatusSystemDefault : kStatusNamedDefault);
    }

    // The column as PostgreSQL declares it.
    std::string ColumnSql(const ColumnDef& c) {
        std::string sql = Quote(c.name) + " " + StorageType(c.type);
        if (c.identity) {
            // Any value of the column's type, up or down from the seed.
            const std::string type = StorageType(c.type);
            const char* most = type == "smallint"  ? "32767"
                               : type == "integer" ? "2147483647"
                                                   : "9223372036854775807";
            sql += " GENERATED BY DEFAULT AS IDENTITY (START WITH " +
                   std::to_string(c.identitySeed) + " INCREMENT BY " +
                   std::to_string(c.identityIncrement) + " MINVALUE -" + most + " MAXVALUE " +
                   most + ")";
        }
        if (c.notNull || c.identity) sql += " NOT NULL";
        if (c.def && !c.identity) sql += " DEFAULT " + DefaultSql(*c.def, c.type);
        return sql;
    }

    std::string IndexSql(const std::string& db, const TableDef& def, const IndexDef& ix) {
        std::string list;
        for (size_t i = 0; i < ix.columns.size(); ++i) {
            const ColumnDef* c = def.FindColumn(ix.columns[i]);
            std::string x = Quote(c->name);
            if (c->type.IsText()) x = "(" + TextKey(x) + ")";
            list += (i ? "," : "") + x;
            // NULL first in an ascending order, as on the server and in every
            // ORDER BY rendered here: the index then serves the order.
            const bool desc = i < ix.descending.size() && ix.descending[i];
            list += desc ? " DESC NULLS LAST" : " NULLS FIRST";
        }
        return std::string("CREATE ") + (ix.unique ? "UNIQUE " : "") + "INDEX " +
               Quote(ix.storageName) + " ON " + Quote(db) + "." + Quote(def.name) + " (" + list +
               ")" +
               // A unique key holds one NULL, as on the server.
               (ix.unique ? " NULLS NOT DISTINCT" : "") +
               (ix.filterSql.empty() ? "" : " WHERE " + ix.filterSql);
    }

    void MakeIndex(const std::string& db, const TableDef& def, const IndexDef& ix) {
        // Under a savepoint of its own: the rows that refuse it are looked
        // for in the same transaction.
        const bool guarded = link.InTransaction();
        if (guarded) link.Defer("SAVEPOINT xr_index");
        EngineError error;
        if (link.TryExec(IndexSql(db, def, ix), &error)) {
            if (guarded) link.Defer("RELEASE xr_index");
            return;
        }
        if (guarded) link.TryExec("ROLLBACK TO SAVEPOINT xr_index; RELEASE xr_index");
        if (error.message.rfind("23505", 0) != 0) link.Raise(error);
        // Rows already there with the same key: named as the server names them.
        std::string values, keys;
        for (size_t i = 0; i < ix.columns.size(); ++i) {
            const ColumnDef* c = def.FindColumn(ix.columns[i]);
            const std::string x = Quote(c->name);
            values += (i ? "," : "") + ("min(" + x + ")::text");
            keys += (i ? "," : "") + (c->type.IsText() ? TextKey(x) : x);
        }
        std::string shown;
        auto dup = Select("SELECT " + values + " FROM " + Quote(db) + "." + Quote(def.name) +
                          (ix.filterSql.empty() ? "" : " WHERE " + ix.filterSql) + " GROUP BY " +
                          keys + " HAVING count(*) > 1 LIMIT 1");
        if (!dup.empty()) {
            for (size_t i = 0; i < dup[0].size(); ++i)
                shown += (i ? ", " : "") + (dup[0][i].empty() ? std::string("<NULL>") : dup[0][i]);
        }
        Fail(
            "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for "
            "the object name 'dbo." +
            def.name + "' and the index name '" + ix.name + "'. The duplicate key value is (" +
            shown + ").");
    }

    void InsertIndex(const std::string& db, const TableDef& def, const IndexDef& ix) {
        std::vector<std::string> desc;
        for (bool d : ix.descending) desc.push_back(d ? "1" : "0");
        link.Defer("INSERT INTO " + T(db, "xr_indexes") +
                       " (table_id, seq, name, storage, is_unique, is_pk, is_uq, constid, columns, "
                       "descending, filter) VALUES ($1, (SELECT coalesce(max(seq), 0) + 1 FROM " +
                       T(db, "xr_indexes") +
                       " WHERE table_id = $1::int), $2, $3, $4::int::bool, $5::int::bool, "
                       "$6::int::bool, $7, $8, $9, $10)",
                   {std::to_string(def.id), ix.name, ix.storageName, Bool(ix.unique),
                    Bool(ix.primaryKey), Bool(ix.uniqueKey), std::to_string(ix.id),
                    Join(ix.columns, ','), Join(desc, ','), ix.filterSql});
    }
};

Catalog::Catalog(PgLink& link) : m_impl(std::make_unique<Impl>(link)) {}
Catalog::~Catalog() = default;

bool Catalog::HasCatalog(const std::string& db) { return m_impl->Has(db); }

void Catalog::InitDatabase(const std::string& db) {
    if (m_impl->Has(db)) return;
    const bool temp = db == "pg_temp";
    const std::string s = Quote(db) + ".";
    PgLink& l = m_impl->link;
    if (!temp) l.Exec("CREATE SCHEMA IF NOT EXISTS " + Quote(db));
    l.Exec("CREATE TABLE IF NOT EXISTS " + s +
           "sysobjects (id integer NOT NULL, name text COLLATE \"C\" NOT NULL, xtype text COLLATE "
           "\"C\" NOT NULL, type text COLLATE \"C\" NOT NULL, uid smallint NOT NULL, parent_obj "
           "integer NOT NULL, crdate double precision NOT NULL, status integer NOT NULL, "
           // The object's kind as the server's low bits of sysstat tell it.
           "sysstat smallint GENERATED ALWAYS AS (CASE xtype WHEN 'S ' THEN 1 WHEN 'V ' THEN 2 "
           "WHEN 'U ' THEN 3 WHEN 'P ' THEN 4 WHEN 'D ' THEN 6 WHEN 'R ' THEN 7 WHEN 'TR' THEN 8 "
           "ELSE 9 END) STORED, "
           "\"xr_rowid\" bigint GENERATED ALWAYS AS IDENTITY)");
    l.Exec("CREATE UNIQUE INDEX IF NOT EXISTS xr_sysobjects_id ON " + s + "sysobjects (id)");
    l.Exec("CREATE INDEX IF NOT EXISTS xr_sysobjects_name ON " + s + "sysobjects ((" +
           TextKey("name") + "))");
    l.Exec("CREATE TABLE IF NOT EXISTS " + s +
           "xr_columns (table_id integer NOT NULL, colid integer NOT NULL, name text NOT NULL, "
           "type text NOT NULL, not_null boolean NOT NULL, is_identity boolean NOT NULL, seed "
           "bigint NOT NULL, incr bigint NOT NULL, def_id integer NOT NULL, def_name text NOT "
           "NULL, def_system boolean NOT NULL, def_text text NOT NULL, def_value text NOT NULL, "
           "def_type text NOT NULL, PRIMARY KEY (table_id, colid))");
    l.Exec("CREATE TABLE IF NOT EXISTS " + s +
           "xr_indexes (table_id integer NOT NULL, seq integer NOT NULL, name text NOT NULL, "
           "storage text NOT NULL, is_unique boolean NOT NULL, is_pk boolean NOT NULL, is_uq "
           "boolean NOT NULL, constid integer NOT NULL, columns text NOT NULL, descending text "
           "NOT NULL, filter text NOT NULL, PRIMARY KEY (table_id, seq))");
    if (!temp) {
        l.Exec("CREATE TABLE IF NOT EXISTS " + s + "xr_version (v bigint NOT NULL)");
        l.Exec("INSERT INTO " + s + "xr_version SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM " + s +
               "xr_version)");
    }
    l.Exec("CREATE TABLE IF NOT EXISTS " + s +
           "syscolumns (id integer NOT NULL, colid smallint NOT NULL, name text COLLATE \"C\" "
           "NOT NULL, xtype smallint NOT NULL, length smallint NOT NULL, prec smallint NOT NULL, "
           "scale integer NOT NULL, isnullable integer NOT NULL, cdefault integer NOT NULL, "
           "status smallint NOT NULL, \"xr_rowid\" bigint GENERATED ALWAYS AS IDENTITY)");
    l.Exec("CREATE INDEX IF NOT EXISTS xr_syscolumns_id ON " + s + "syscolumns (id, colid)");
    l.Exec("CREATE TABLE IF NOT EXISTS " + s +
           "sysconstraints (constid integer NOT NULL, id integer NOT NULL, colid smallint NOT "
           "NULL, status integer NOT NULL, \"xr_rowid\" bigint GENERATED ALWAYS AS IDENTITY)");
    l.Exec("CREATE INDEX IF NOT EXISTS xr_sysconstraints_id ON " + s + "sysconstraints (id)");
    l.Exec(ConstraintTableSql(db));
    if (!temp) CreateProcedureTable(l, db);
    // The system tables describe themselves, as the server's do.
    if (m_impl->Select("SELECT 1 FROM " + s + "sysobjects WHERE id = 1").empty()) {
        struct System {
            int32_t id;
            const char* name;
            std::vector<std::pair<const char*, const char*>> columns;
        };
        const System tables[] = {
            {1,
             "sysobjects",
             {{"id", "INT"},
              {"name", "VARCHAR(128)"},
              {"xtype", "CHAR(2)"},
              {"type", "CHAR(2)"},
              {"uid", "SMALLINT"},
              {"parent_obj", "INT"},
              {"crdate", "DATETIME"},
              {"status", "INT"},
              {"sysstat", "SMALLINT"}}},
            {2,
             "syscolumns",
             {{"id", "INT"},
              {"colid", "SMALLINT"},
              {"name", "VARCHAR(128)"},
              {"xtype", "TINYINT"},
              {"length", "SMALLINT"},
              {"prec", "SMALLINT"},
              {"scale", "INT"},
              {"isnullable", "INT"},
              {"cdefault", "INT"},
              {"status", "TINYINT"}}},
            {3,
             "sysconstraints",
             {{"constid", "INT"}, {"id", "INT"}, {"colid", "SMALLINT"}, {"status", "INT"}}},
        };
        for (const System& t : tables) {
            m_impl->InsertObject(db, t.id, t.name, "S", 0);
            int colid = 0;
            for (const auto& [name, type] : t.columns) {
                ColumnDef c;
                c.name = name;
                TypeSpec::Parse(type, &c.type);
                c.notNull = true;
                m_impl->InsertColumn(db, t.id, ++colid, c);
            }
        }
    }
    m_impl->hasCatalog[db] = true;
    if (temp) ++m_impl->tempVersion;
}

void Catalog::Validate(const std::string& db) { m_impl->tables.erase(db); }

void Catalog::InvalidateAll() {
    m_impl->tables.clear();
    m_impl->ForgetIds();
    m_impl->hasCatalog.clear();
    m_impl->ownTables.clear();
}

void Catalog::ForgetTemp() {
    m_impl->tables.erase("pg_temp");
    m_impl->usedIds.erase("pg_temp");
    m_impl->usedStorage.erase("pg_temp");
    m_impl->hasCatalog.erase("pg_temp");
    m_impl->ownTables.erase("pg_temp");
}

bool Catalog::NameTaken(const std::string& db, std::string_view name) {
    return m_impl->NameTaken(db, name);
}
void Catalog::InsertObject(const std::string& db, int32_t id, std::string_view name,
                           const char* xtype) {
    m_impl->InsertObject(db, id, name, xtype, 0);
}
uint64_t Catalog::TempVersion() const { return m_impl->tempVersion; }

bool Catalog::HasOwnTable(const std::string& db, const char* name) {
    std::vector<std::string>& seen = m_impl->ownTables[db];
    if (std::find(seen.begin(), seen.end(), name) != seen.end()) return true;
    const std::string qualified = Quote(db) + "." + name;
    if (m_impl->Select("SELECT pg_catalog.to_regclass($1) IS NOT NULL", {qualified})[0][0] != "t")
        return false;
    seen.push_back(name);
    return true;
}

int64_t Catalog::Version(const std::string& db) {
    if (!m_impl->Has(db)) return -1;
    auto rows = m_impl->Select("SELECT v FROM " + m_impl->T(db, "xr_version"));
    return rows.empty() ? -1 : std::stoll(rows[0][0]);
}

const TableDef* Catalog::FindTable(const std::string& db, std::string_view name) {
    return m_impl->Find(db, name);
}

bool Catalog::ObjectExists(const std::string& db, std::string_view name) {
    return m_impl->Has(db) && m_impl->NameTaken(db, name);
}

const TableDef* Catalog::TableOfIndex(const std::string& db, std::string_view storage,
                                      const IndexDef** index) {
    if (!m_impl->Has(db)) return nullptr;
    auto rows = m_impl->Select("SELECT o.name FROM " + m_impl->T(db, "xr_indexes") + " i JOIN " +
                                   m_impl->T(db, "sysobjects") +
                                   " o ON o.id = i.table_id WHERE i.storage = $1",
                               {S(storage)});
    if (rows.empty()) return nullptr;
    const TableDef* t = m_impl->Find(db, rows[0][0]);
    if (!t) return nullptr;
    for (const IndexDef& ix : t->indexes)
        if (ix.storageName == storage) *index = &ix;
    return t;
}

void Catalog::CreateTable(const std::string& db, std::string_view name,
                          std::vector<ColumnDef> columns) {
    Serialize(db);
    if (name.size() > 63) Fail("The name '" + S(name) + "' is longer than this engine allows.");
    if (m_impl->NameTaken(db, name)) FailObjectExists(name);
    if (IEquals(name.substr(0, std::min<size_t>(3, name.size())), "xr_"))
        Fail("The name '" + S(name) + "' is reserved for the server's own tables.");
    if (columns.empty()) Fail("CREATE TABLE '" + S(name) + "' must define at least one column.");
    int identities = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (IEquals(columns[j].name, columns[i].name))
                Fail("Column names in each table must be unique. Column name '" + columns[i].name +
                     "' in table '" + S(name) + "' is specified more than once.");
        }
        if (columns[i].identity && ++identities > 1)
            Fail("Multiple identity columns specified for table '" + S(name) +
                 "'. Only one identity column per table is allowed.");
    }
    m_impl->CheckDefaultNames(db, columns);
    // Inside the caller's transaction the table is made when something
    // needs it, with the columns, keys and indexes it has then.
    const bool wait = m_impl->MayWait(db);
    if (!wait) m_impl->link.Exec(m_impl->TableSql(db, name, columns));
    if (m_impl->link.InTransaction()) {
        if (m_impl->madeHereIn != m_impl->link.Transactions()) {
            m_impl->madeHere.clear();
            m_impl->madeHereIn = m_impl->link.Transactions();
        }
        m_impl->madeHere.insert(DeferKey(db, name));
    }
    const int32_t tableId = m_impl->NewObjectId(db);
    m_impl->InsertObject(db, tableId, name, "U", 0);
    auto made = std::make_shared<TableDef>();
    made->db = db;
    made->name = S(name);
    made->id = tableId;
    for (size_t i = 0; i < columns.size(); ++i) {
        ColumnDef& c = columns[i];
        if (c.def) m_impl->NameDefault(db, name, tableId, static_cast<int>(i) + 1, c);
        m_impl->InsertColumn(db, tableId, static_cast<int>(i) + 1, c);
        made->columns.push_back(Impl::StoredColumn(c));
    }
    if (wait) {
        const std::string key = DeferKey(db, name);
        m_impl->deferred[key] = made;
        m_impl->made[key] = false;
    }
    m_impl->Touch(db, std::move(made));
}

void Catalog::DropTable(const std::string& db, std::string_view name) {
    Serialize(db);
    const TableDef* t = m_impl->Find(db, name);
    if (!t)
        Fail("Cannot drop the table '" + S(name) +
             "', because it does not exist or you do not have permission.");
    const std::string id = std::to_string(t->id);
    DropTableConstraints(*this, db, *t);
    m_impl->link.Exec("DROP TABLE " + Quote(db) + "." + Quote(t->name));
    m_impl->link.Defer(
        "DELETE FROM " + m_impl->T(db, "sysobjects") + " WHERE id = $1 OR parent_obj = $1", {id});
    m_impl->link.Defer("DELETE FROM " + m_impl->T(db, "xr_columns") + " WHERE table_id = $1", {id});
    m_impl->link.Defer("DELETE FROM " + m_impl->T(db, "syscolumns") + " WHERE id = $1", {id});
    m_impl->link.Defer("DELETE FROM " + m_impl->T(db, "sysconstraints") + " WHERE id = $1", {id});
    m_impl->link.Defer("DELETE FROM " + m_impl->T(db, "xr_indexes") + " WHERE table_id = $1", {id});
    m_impl->Touch(db, nullptr, name);
}

void Catalog::AddColumns(const std::string& db, std::string_view table,
                         std::vector<ColumnDef> columns, bool deferRemake) {
    Serialize(db);
    const TableDef* found = m_impl->Find(db, table);
    if (!found) Fail(CannotFind(table));
    const TableDef def = *found;
    if (columns.empty()) Fail("ALTER TABLE '" + def.name + "' ADD needs at least one column.");
    // Everything is checked before anything changes: the columns of one ADD
    // come into being together or not at all.
    bool identity = def.IdentityColumn() != nullptr;
    for (size_t i = 0; i < columns.size(); ++i) {
        bool twice = def.FindColumn(columns[i].name) != nullptr;
        for (size_t j = 0; j < i; ++j) twice = twice || IEquals(columns[j].name, columns[i].name);
        if (twice)
            Fail("Column names in each table must be unique. Column name '" + columns[i].name +
                 "' in table '" + def.name + "' is specified more than once.");
        if (columns[i].identity) {
            if (identity)
                Fail("Multiple identity columns specified for table '" + def.name +
                     "'. Only one identity column per table is allowed.");
            identity = true;
        }
    }
    m_impl->CheckDefaultNames(db, columns);
    const std::string target = Quote(db) + "." + Quote(def.name);
    const bool unmade = m_impl->Unmade(def);
    bool needsEmpty = false;
    for (const ColumnDef& c : columns)
        needsEmpty = needsEmpty || (c.notNull && !c.identity && !c.def);
    const bool rows =
        needsEmpty && !unmade && !m_impl->Select("SELECT 1 FROM " + target + " LIMIT 1").empty();
    for (const ColumnDef& c : columns) {
        if (rows && c.notNull && !c.identity && !c.def)
            Fail(
                "ALTER TABLE only allows columns to be added that can contain nulls, or have a "
                "DEFAULT definition specified, or the column being added is an identity or "
                "timestamp column, or alternatively if none of the previous conditions are "
                "satisfied the table must be empty to allow addition of this column. Column '" +
                c.name + "' cannot be added to non-empty table '" + def.name +
                "' because it does not satisfy these conditions.");
    }
    // A table's columns wait only when making them later gives the same
    // rows: no identity to number them (the interpreter defers no nullable
    // column with a default, whose rows stay NULL).
    bool defer = deferRemake && m_impl->link.MarkLocked();
    for (const ColumnDef& c : columns) defer = defer && !c.identity;
    defer = defer || unmade;
    const std::string key = DeferKey(db, def.name);
    if (defer) {
        m_impl->made.emplace(key, !unmade);
    } else {
        std::string sql = "ALTER TABLE " + target;
        for (size_t i = 0; i < columns.size(); ++i)
            sql += (i ? ", ADD COLUMN " : " ADD COLUMN ") + m_impl->ColumnSql(columns[i]);
        m_impl->link.Exec(sql);
    }
    int colid = static_cast<int>(def.columns.size());
    auto changed = std::make_shared<TableDef>(def);
    for (ColumnDef& c : columns) {
        ++colid;
        if (c.def) m_impl->NameDefault(db, def.name, def.id, colid, c);
        m_impl->InsertColumn(db, def.id, colid, c);
        changed->columns.push_back(Impl::StoredColumn(c));
    }
    // Upgrades add hundreds of columns to wide tables one statement at a
    // time: the definition is kept rather than read back each time.
    if (defer) m_impl->deferred[key] = changed;
    m_impl->Touch(db, std::move(changed));
}

bool Catalog::HasDeferred() const { return !m_impl->deferred.empty(); }
bool Catalog::YetToBeMade(const std::string& db, std::string_view table) {
    if (m_impl->deferred.empty()) return false;
    const TableDef* def = m_impl->Find(db, table);
    return def && m_impl->Unmade(*def);
}

std::vector<std::string> Catalog::FlushDeferred() { return m_impl->Flush(nullptr); }

std::vector<std::string> Catalog::FlushDeferredOf(
    const std::vector<std::pair<std::string, std::string>>& tables) {
    std::set<std::string> keys;
    for (const auto& [db, name] : tables) {
        if (m_impl->deferred.count(DeferKey(db, name))) keys.insert(DeferKey(db, name));
    }
    if (keys.empty()) return {};
    return m_impl->Flush(&keys);
}

std::vector<std::string> Catalog::Impl::Flush(const std::set<std::string>* only) {
    std::vector<std::string> databases;
    Impl& impl = *this;
    if (impl.deferred.empty()) return databases;
    // What the server has of each table: which columns, which indexes (a
    // rollback to a savepoint may have undone some of an earlier flush).
    std::vector<std::shared_ptr<const TableDef>> tables;
    std::string names;
    for (const auto& [key, snapshot] : impl.deferred) {
        if (only && !only->count(key)) continue;
        auto def = impl.FindShared(snapshot->db, snapshot->name);
        if (!def) continue;
        tables.push_back(def);
        // A table known not to be made yet has nothing to ask about.
        const auto known = impl.made.find(key);
        if (known == impl.made.end() || known->second)
            names += (names.empty() ? "" : "\x1f") + Quote(def->db) + "." + Quote(def->name);
    }
    std::map<std::string, std::set<std::string>> stored;  // DeferKey -> columns, indexes
    for (const auto& row :
         names.empty()
             ? std::vector<std::vector<std::string>>{}
             : impl.Select(
                   "SELECT n.nspname, c.relname, a.attname FROM pg_catalog.pg_class c JOIN "
                   "pg_catalog.pg_namespace n ON n.oid = c.relnamespace JOIN "
                   "pg_catalog.pg_attribute a "
                   "ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped WHERE c.oid = "
                   "ANY(ARRAY(SELECT pg_catalog.to_regclass(x) FROM "
                   "pg_catalog.unnest(pg_catalog.string_to_array($1, chr(31))) x)) UNION ALL "
                   "SELECT "
                   "n.nspname, t.relname, i.relname FROM pg_catalog.pg_index x JOIN "
                   "pg_catalog.pg_class i ON i.oid = x.indexrelid JOIN pg_catalog.pg_class t ON "
                   "t.oid = "
                   "x.indrelid JOIN pg_catalog.pg_namespace n ON n.oid = t.relnamespace WHERE "
                   "t.oid = "
                   "ANY(ARRAY(SELECT pg_catalog.to_regclass(x) FROM "
                   "pg_catalog.unnest(pg_catalog.string_to_array($1, chr(31))) x))",
                   {names}))
        stored[DeferKey(row[0], row[1])].insert(row[2]);
    // A table made earlier in this transaction that nothing has written,
    // keyed to, viewed or granted since is made again whole: PostgreSQL
    // adds columns with defaults one at a time, each costing as much as
    // making the table, so widening a wide table step by step is slow.
    std::string fresh;
    for (const auto& def : tables) {
        const std::string key = DeferKey(def->db, def->name);
        if (stored.count(key) && impl.madeHere.count(key) &&
            impl.madeHereIn == impl.link.Transactions() && !def->IdentityColumn() &&
            def->checks.empty() && def->foreignKeys.empty())
            fresh += (fresh.empty() ? "" : "\x1f") + Quote(def->db) + "." + Quote(def->name);
    }
    std::set<std::string> remade;
    if (!fresh.empty()) {
        for (const auto& row : impl.Select(
                 "SELECT n.nspname, c.relname FROM pg_catalog.pg_class c JOIN "
                 "pg_catalog.pg_namespace n ON n.oid = c.relnamespace WHERE c.oid = "
                 "ANY(ARRAY(SELECT pg_catalog.to_regclass(x) FROM "
                 "pg_catalog.unnest(pg_catalog.string_to_array($1, chr(31))) x)) AND c.relacl IS "
                 "NULL AND pg_catalog.pg_stat_get_xact_tuples_inserted(c.oid) = 0 AND "
                 "pg_catalog.pg_stat_get_xact_tuples_updated(c.oid) = 0 AND "
                 "pg_catalog.pg_stat_get_xact_tuples_deleted(c.oid) = 0 AND NOT EXISTS (SELECT 1 "
                 "FROM pg_catalog.pg_trigger t WHERE t.tgrelid = c.oid AND NOT t.tgisinternal) "
                 "AND NOT EXISTS (SELECT 1 FROM pg_catalog.pg_depend d WHERE d.refobjid = c.oid "
                 "AND d.classid = 'pg_catalog.pg_rewrite'::pg_catalog.regclass)",
                 {fresh}))
            remade.insert(DeferKey(row[0], row[1]));
    }
    // All tables or none: a failure leaves each as it was, still deferred.
    impl.link.Defer("SAVEPOINT xr_flush");
    try {
        for (const auto& def : tables) {
            auto have = stored.find(DeferKey(def->db, def->name));
            if (have != stored.end() && remade.count(have->first)) {
                impl.link.Defer("DROP TABLE " + Quote(def->db) + "." + Quote(def->name));
                stored.erase(have);
                have = stored.end();
            }
            if (have == stored.end()) {
                impl.link.Exec(impl.TableSql(def->db, def->name, def->columns));
            } else {
                std::string sql;
                for (const ColumnDef& c : def->columns) {
                    if (!have->second.count(c.name))
                        sql += (sql.empty() ? " ADD COLUMN " : ", ADD COLUMN ") + impl.ColumnSql(c);
                }
                if (!sql.empty())
                    impl.link.Exec("ALTER TABLE " + Quote(def->db) + "." + Quote(def->name) + sql);
            }
            for (const IndexDef& ix : def->indexes) {
                if (have != stored.end() && have->second.count(ix.storageName)) continue;
                if (have == stored.end()) {
                    // A table just made has no rows that could refuse it.
                    impl.link.Defer(impl.IndexSql(def->db, *def, ix));
                } else {
                    impl.MakeIndex(def->db, *def, ix);
                }
            }
            if (std::find(databases.begin(), databases.end(), def->db) == databases.end())
                databases.push_back(def->db);
        }
        impl.link.Defer("RELEASE xr_flush");
        if (EngineError e; !impl.link.Flush(&e)) impl.link.Raise(e);
    } catch (...) {
        impl.link.TryExec("ROLLBACK TO xr_flush; RELEASE xr_flush");
        throw;
    }
    if (only) {
        for (const std::string& key : *only) {
            impl.deferred.erase(key);
            impl.made.erase(key);
        }
    } else {
        impl.deferred.clear();
        impl.made.clear();
    }
    return databases;
}

Catalog::Deferred Catalog::SaveDeferred() const { return m_impl->deferred; }

void Catalog::RestoreDeferred(Deferred saved) {
    m_impl->deferred = std::move(saved);
    m_impl->made.clear();  // the rollback may have undone some making
}

void Catalog::DropDeferred() {
    m_impl->deferred.clear();
    m_impl->made.clear();
}

bool Catalog::DefersTables() const { return true; }
void Catalog::DeferWithin(bool statementDefers) { m_impl->deferOk = statementDefers; }
namespace {

bool IndexUses(const IndexDef& ix, std::string_view column) {
    for (const std::string& c : ix.columns)
        if (IEquals(c, column)) return true;
    return false;
}

[[noreturn]] void FailDependent(const std::vector<std::string>& objects, std::string_view column,
                                const char* statement) {
    std::string message;
    for (const std::string& object : objects)
        message += "The object '" + object + "' is dependent on column '" + S(column) + "'. ";
    Fail(message + "ALTER TABLE " + statement + " " + S(column) +
         " failed because one or more objects access this column.");
}

std::string DatabaseOf(const std::string& db) { return db == "main" ? "master" : db; }

}  // namespace

void Catalog::AlterColumn(const std::string& db, std::string_view table, const ColumnDef& column) {
    Serialize(db);
    const TableDef* found = m_impl->Find(db, table);
    if (!found) Fail(CannotFind(table));
    const TableDef def = *found;
    const bool catalogOnly = m_impl->CatalogOnly(def);
    const int index = def.ColumnIndex(column.name);
    if (index < 0)
        Fail("ALTER TABLE ALTER COLUMN failed because column '" + column.name +
             "' does not exist in table '" + def.name + "'.");
    ColumnDef target = def.columns[static_cast<size_t>(index)];
    if (column.type.kind == TypeKind::Unknown)
        Fail("Column '" + column.name + "' in table '" + def.name + "' has no data type.");
    // Keys and indexes hold the column's values as they are; a default stays
    // only while the kind of value it gives is unchanged.
    std::vector<std::string> dependents;
    const bool widening =
        column.type.kind == target.type.kind &&
        (target.type.kind == TypeKind::VarChar || target.type.kind == TypeKind::VarBinary) &&
        column.type.length >= target.type.length && column.notNull == target.notNull;
    for (const IndexDef& ix : def.indexes)
        if (IndexUses(ix, target.name) && (ix.primaryKey || !widening))
            dependents.push_back(ix.name);
    if (target.def && target.def->valueType.kind != TypeKind::Unknown &&
        column.type.kind != target.type.kind)
        dependents.insert(dependents.begin(), target.def->name);
    if (column.type.kind != target.type.kind) ConstraintsUsing(def, target.name, &dependents);
    if (!dependents.empty()) FailDependent(dependents, target.name, "ALTER COLUMN");
    if (target.identity) {
        if (column.type.kind != TypeKind::Int)
            Fail("Cannot alter column '" + target.name + "' because it is an IDENTITY column.");
        return;
    }
    if (column.type == target.type && column.notNull == target.notNull) return;
    const std::string tableSql = Quote(db) + "." + Quote(def.name);
    const std::string col = Quote(target.name);
    if (column.notNull && !target.notNull && !catalogOnly &&
        !m_impl->Select("SELECT 1 FROM " + tableSql + " WHERE " + col + " IS NULL LIMIT 1").empty())
        Fail("Cannot insert the value NULL into column '" + target.name + "', table '" +
             DatabaseOf(db) + ".dbo." + def.name + "'; column does not allow nulls. UPDATE fails.");
    // The rows' values in the new type: the conversions whose result is the
    // stored value itself or a checked narrowing of it.
    const TypeSpec& from = target.type;
    const TypeSpec& to = column.type;
    std::string check;  // a row that cannot take the new type
    std::string failure;
    if (from.IsText() && to.IsText()) {
        if (to.kind != TypeKind::Text && to.length > 0) {
            check = "length(rtrim(" + col + ",' ')) > " + std::to_string(to.length);
            failure = "String or binary data would be truncated.";
        }
    } else if (from.IsInteger() && to.IsInteger()) {
        const char* range = to.kind == TypeKind::Bit        ? nullptr
                            : to.kind == TypeKind::TinyInt  ? "NOT BETWEEN 0 AND 255"
                            : to.kind == TypeKind::SmallInt ? "NOT BETWEEN -32768 AND 32767"
                            : to.kind == TypeKind::Int ? "NOT BETWEEN -2147483648 AND 2147483647"
                                                       : nullptr;
        if (range) {
            check = col + " " + range;
            failure = std::string("Arithmetic overflow error converting expression to data type ") +
                      (to.kind == TypeKind::Int        ? "int"
                       : to.kind == TypeKind::SmallInt ? "smallint"
                                                       : "tinyint") +
                      ".";
        }
    } else if (!(from.kind == to.kind && from.IsScaled() == to.IsScaled() &&
                 from.scale == to.scale)) {
        NotYet("ALTER COLUMN from " + from.ToString() + " to " + to.ToString());
    }
    if (!check.empty() && !catalogOnly &&
        !m_impl->Select("SELECT 1 FROM " + tableSql + " WHERE " + check + " LIMIT 1").empty())
        Fail(failure);
    std::string using_ = col;
    if (to.kind == TypeKind::Bit && from.kind != TypeKind::Bit)
        using_ = "CASE WHEN " + col + " <> 0 THEN 1 ELSE 0 END";
    if (to.kind == TypeKind::Char && to.length > 0)
        using_ = "rpad(" + col + "," + std::to_string(to.length) + ")";
    std::string sql = "ALTER TABLE " + tableSql + " ALTER COLUMN " + col + " TYPE " +
                      StorageType(to) + " USING (" + using_ +
                      ")::" + (to.IsText() ? std::string("text") : StorageType(to));
    sql += std::string(", ALTER COLUMN ") + col +
           (column.notNull ? " SET NOT NULL" : " DROP NOT NULL");
    if (!catalogOnly) m_impl->link.Exec(sql);
    target.type = column.type;
    target.notNull = column.notNull;
    const TypeInfo info = DescribeType(target.type);
    m_impl->link.Defer(
        "UPDATE " + m_impl->T(db, "xr_columns") +
            " SET type = $3, not_null = $4::int::bool WHERE table_id = $1 AND colid = $2",
        {std::to_string(def.id), std::to_string(index + 1), target.type.ToString(),
         Bool(target.notNull)});
    m_impl->link.Defer(
        "UPDATE " + m_impl->T(db, "syscolumns") +
            " SET xtype = $3, length = $4, prec = $5, scale = $6, isnullable = $7, "
            "status = $8 WHERE id = $1 AND colid = $2",
        {std::to_string(def.id), std::to_string(index + 1), std::to_string(info.xtype),
         std::to_string(info.length), std::to_string(info.prec), std::to_string(info.scale),
         target.notNull ? "0" : "1", target.notNull ? "0" : std::to_string(kColumnNullable)});
    m_impl->Touch(db, nullptr, def.name);
}

void Catalog::DropColumn(const std::string& db, std::string_view table, std::string_view column) {
    Serialize(db);
    const TableDef* found = m_impl->Find(db, table);
    if (!found) Fail(CannotFind(table));
    const TableDef def = *found;
    const int index = def.ColumnIndex(column);
    if (index < 0)
        Fail("ALTER TABLE DROP COLUMN failed because column '" + S(column) +
             "' does not exist in table '" + def.name + "'.");
    const ColumnDef& target = def.columns[static_cast<size_t>(index)];
    std::vector<std::string> dependents;
    if (target.def) dependents.push_back(target.def->name);
    for (const IndexDef& ix : def.indexes)
        if (IndexUses(ix, target.name)) dependents.push_back(ix.name);
    ConstraintsUsing(def, target.name, &dependents);
    if (!dependents.empty()) FailDependent(dependents, target.name, "DROP COLUMN");
    if (def.columns.size() == 1)
        Fail("ALTER TABLE DROP COLUMN failed because '" + target.name +
             "' is the only data column in table '" + def.name +
             "'. A table must have at least one data column.");
    // A table yet to be made is made without the column.
    if (!m_impl->CatalogOnly(def))
        m_impl->link.Exec("ALTER TABLE " + Quote(db) + "." + Quote(def.name) + " DROP COLUMN " +
                          Quote(target.name));
    const std::vector<std::string> at = {std::to_string(def.id), std::to_string(index + 1)};
    m_impl->link.Defer(
        "DELETE FROM " + m_impl->T(db, "xr_columns") + " WHERE table_id = $1 AND colid = $2", at);
    m_impl->link.Defer("UPDATE " + m_impl->T(db, "xr_columns") +
                           " SET colid = colid - 1 WHERE table_id = $1 AND colid > $2",
                       at);
    m_impl->link.Defer(
        "DELETE FROM " + m_impl->T(db, "syscolumns") + " WHERE id = $1 AND colid = $2", at);
    m_impl->link.Defer("UPDATE " + m_impl->T(db, "syscolumns") +
                           " SET colid = colid - 1 WHERE id = $1 AND colid > $2",
                       at);
    m_impl->link.Defer("UPDATE " + m_impl->T(db, "sysconstraints") +
                           " SET colid = colid - 1 WHERE id = $1 AND colid > $2",
                       at);
    m_impl->Touch(db, nullptr, def.name);
}

void Catalog::AddPrimaryKey(const std::string& db, std::string_view table, std::string_view name,
                            const std::vector<std::string>& columns) {
    Serialize(db);
    const TableDef* found = m_impl->Find(db, table);
    if (!found) Fail(CannotFind(table));
    const TableDef def = *found;
    if (def.PrimaryKey()) Fail("Table '" + def.name + "' already has a primary key defined on it.");
    if (!name.empty() && m_impl->NameTaken(db, name)) FailObjectExists(name);
    IndexDef key;
    key.unique = true;
    key.primaryKey = true;
    for (const std::string& c : columns) {
        const ColumnDef* col = def.FindColumn(c);
        if (!col) Fail("Column name '" + c + "' does not exist in the target table or view.");
        if (!col->notNull)
            Fail("Cannot define PRIMARY KEY constraint on nullable column in table '" + def.name +
                 "'.");
        key.columns.push_back(col->name);
    }
    key.descending.assign(key.columns.size(), false);
    key.id = m_impl->NewObjectId(db);
    key.name = name.empty() ? "PK__" + def.name.substr(0, 9) + "__" + Hex8(key.id) : S(name);
    key.storageName = "xr_ix_" + Hex8(key.id);
    if (!m_impl->Unmade(def)) m_impl->MakeIndex(db, def, key);
    m_impl->InsertObject(db, key.id, key.name, "PK", def.id);
    m_impl->InsertConstraint(db, key.id, def.id, 0, kStatusPrimaryKey);
    m_impl->InsertIndex(db, def, key);
    m_impl->Touch(db, m_impl->WithIndex(def, key));
}

void Catalog::AddDefault(const std::string& db, std::string_view table, std::string_view column,
                         DefaultDef dflt) {
    Serialize(db);
    const TableDef* found = m_impl->Find(db, table);
    if (!found) Fail(CannotFind(table));
    const TableDef def = *found;
    const int index = def.ColumnIndex(column);
    if (index < 0)
        Fail("Column '" + S(column) + "' in table '" + def.name +
             "' is invalid for creating a default constraint.");
    ColumnDef target = def.columns[static_cast<size_t>(index)];
    if (target.identity)
        Fail("Defaults cannot be created on columns with an IDENTITY attribute. Table '" +
             def.name + "', column '" + target.name + "'.");
    if (target.def) Fail("Column already has a DEFAULT bound to it.");
    if (!dflt.name.empty()) dflt.systemNamed = false;
    target.def = std::move(dflt);
    m_impl->NameDefault(db, def.name, def.id, index + 1, target);
    // A table yet to be made takes the default when it is made.
    if (!m_impl->CatalogOnly(def))
        m_impl->link.Exec("ALTER TABLE " + Quote(db) + "." + Quote(def.name) + " ALTER COLUMN " +
                          Quote(target.name) + " SET DEFAULT " +
                          DefaultSql(*target.def, target.type));
    m_impl->Select(
        "UPDATE " + m_impl->T(db, "xr_columns") +
            " SET def_id = $1, def_name = $2, def_system = $3::int::bool, def_text = "
            "$4, def_value = $5, def_type = $6 WHERE table_id = $7 AND colid = $8",
        {std::to_string(target.def->id), target.def->name, Bool(target.def->systemNamed),
         target.def->text, ValueText(target.def->value), target.def->valueType.ToString(),
         std::to_string(def.id), std::to_string(index + 1)});
    m_impl->Select(
        "UPDATE " + m_impl->T(db, "syscolumns") + " SET cdefault = $1 WHERE id = $2 AND colid = $3",
        {std::to_string(target.def->id), std::to_string(def.id), std::to_string(index + 1)});
    m_impl->Touch(db, nullptr, def.name);
}

void Catalog::DropConstraint(const std::string& db, std::string_view table, std::string_view name) {
    Serialize(db);
    const TableDef* found = m_impl->Find(db, table);
    if (!found) Fail(CannotFind(table));
    const TableDef def = *found;
    const bool catalogOnly = m_impl->CatalogOnly(def);
    for (size_t i = 0; i < def.columns.size(); ++i) {
        const ColumnDef& c = def.columns[i];
        if (!c.def || !IEquals(c.def->name, name)) continue;
        const std::string id = std::to_string(c.def->id);
        if (!catalogOnly)
            m_impl->link.Exec("ALTER TABLE " + Quote(db) + "." + Quote(def.name) +
                              " ALTER COLUMN " + Quote(c.name) + " DROP DEFAULT");
        m_impl->link.Defer("DELETE FROM " + m_impl->T(db, "sysobjects") + " WHERE id = $1", {id});
        m_impl->link.Defer("DELETE FROM " + m_impl->T(db, "sysconstraints") + " WHERE constid = $1",
                           {id});
        m_impl->link.Defer(
            "UPDATE " + m_impl->T(db, "syscolumns") + " SET cdefault = 0 WHERE cdefault = $1",
            {id});
        m_impl->link.Defer("UPDATE " + m_impl->T(db, "xr_columns") +
                               " SET def_id = 0, def_name = '', def_system = false, def_text = '', "
                               "def_value = '', def_type = '' WHERE table_id = $1 AND colid = $2",
                           {std::to_string(def.id), std::to_string(i + 1)});
        m_impl->Touch(db, nullptr, def.name);
        return;
    }
    for (const IndexDef& index : def.indexes) {
        if (!(index.primaryKey || index.uniqueKey) || !IEquals(index.name, name)) continue;
        RefuseReferencedKey(*this, db, def, index);
        const std::string id = std::to_string(index.id);
        if (!catalogOnly)
            m_impl->link.Exec("DROP INDEX " + Quote(db) + "." + Quote(index.storageName));
        m_impl->Select("DELETE FROM " + m_impl->T(db, "sysobjects") + " WHERE id = $1", {id});
        m_impl->Select("DELETE FROM " + m_impl->T(db, "sysconstraints") + " WHERE constid = $1",
                       {id});
        m_impl->Select("DELETE FROM " + m_impl->T(db, "xr_indexes") + " WHERE storage = $1",
                       {index.storageName});
        m_impl->Touch(db, nullptr, def.name);
        return;
    }
    if (DropForeignKeyOrCheck(*this, db, def, name)) return;
    Fail("'" + S(name) + "' is not a constraint.");
}

void Catalog::CreateIndex(const std::string& db, std::string_view table, IndexDef index) {
    Serialize(db);
    const TableDef* found = m_impl->Find(db, table);
    if (!found) Fail(CannotFind(table));
    const TableDef def = *found;
    for (const IndexDef& existing : def.indexes) {
        if (IEquals(existing.name, index.name))
            Fail("The operation failed because an index or statistics with name '" + index.name +
                 "' already exists on table '" + def.name + "'.");
    }
    for (std::string& c : index.columns) {
        const ColumnDef* col = def.FindColumn(c);
        if (!col) Fail("Column name '" + c + "' does not exist in the target table or view.");
        c = col->name;
    }
    index.descending.resize(index.columns.size(), false);
    if (index.uniqueKey) {
        if (m_impl->NameTaken(db, index.name)) FailObjectExists(index.name);
        index.id = m_impl->NewObjectId(db);
    }
    index.storageName = m_impl->NewStorageName(db);
    if (!m_impl->Unmade(def)) m_impl->MakeIndex(db, def, index);
    if (index.uniqueKey) {
        m_impl->InsertObject(db, index.id, index.name, "UQ", def.id);
        m_impl->InsertConstraint(db, index.id, def.id, 0, kStatusUniqueKey);
    }
    m_impl->InsertIndex(db, def, index);
    m_impl->Touch(db, m_impl->WithIndex(def, index));
}

PgLink& Catalog::Link() { return m_impl->link; }
int64_t Catalog::DdlSteps() const { return m_impl->ddlSteps; }
int32_t Catalog::NewObjectId(const std::string& db) { return m_impl->NewObjectId(db); }
void Catalog::Changed(const std::string& db) { m_impl->Touch(db); }

void Catalog::Serialize(const std::string& db) {
    if (db == "pg_temp") return;  // a session's own tables
    const int64_t mark = LockSchemaMark(m_impl->link);
    m_impl->retired.clear();
    if (mark == m_impl->link.SchemaMark()) return;
    m_impl->retired.swap(m_impl->tables);
    m_impl->ForgetIds();
}
void Catalog::InsertObjectRows(const std::string& db, int32_t id, std::string_view name,
                               const char* xtype, int32_t parent, int colid, int64_t status) {
    m_impl->InsertObject(db, id, name, xtype, parent);
    m_impl->InsertConstraint(db, id, parent, colid, status);
}
void Catalog::Truncate(const std::string& db, std::string_view table) {
    const TableDef* t = m_impl->Find(db, table);
    if (!t) Fail(CannotFind(table));
    RefuseTruncate(*this, db, *t);
    m_impl->link.Exec("TRUNCATE TABLE " + Quote(db) + "." + Quote(t->name) + " RESTART IDENTITY");
}
void Catalog::KeepIdentity(const std::string&, std::string_view, int64_t) {
    // Sequences never give a value back: a rolled-back insert's stays used.
}
void Catalog::Reseed(const std::string& db, std::string_view table, std::optional<int64_t> value) {
    const TableDef* def = m_impl->Find(db, table);
    if (!def)
        Fail("Cannot find a table or object with the name \"" + S(table) +
             "\". Check the system catalog.");
    const ColumnDef* identity = def->IdentityColumn();
    if (!identity) Fail("'" + def->name + "' does not contain an identity column.");
    const std::string target = Quote(db) + "." + Quote(def->name);
    auto seq = m_impl->Select("SELECT pg_get_serial_sequence($1, $2)", {target, identity->name});
    if (seq.empty() || seq[0][0].empty()) return;
    auto state = m_impl->Select("SELECT last_value, is_called FROM " + seq[0][0]);
    const bool called = !state.empty() && state[0][1] == "t";
    const int64_t step = identity->identityIncrement;
    if (value) {
        // Nothing generated since the table was made or emptied: the next
        // row takes the value; else the value after it.
        m_impl->Select("SELECT setval($1, $2, $3::bool)",
                       {seq[0][0], std::to_string(*value), called ? "true" : "false"});
        return;
    }
    // The counter moves up to the greatest value in the column (down to the
    // least for a negative step) when it is behind it.
    auto edge = m_impl->Select(std::string("SELECT ") + (step > 0 ? "max(" : "min(") +
                               Quote(identity->name) + ") FROM " + target);
    if (edge.empty() || edge[0][0].empty()) return;
    const int64_t e = std::stoll(edge[0][0]);
    const int64_t now = std::stoll(state[0][0]);
    if (called && (step > 0 ? now >= e : now <= e)) return;
    m_impl->Select("SELECT setval($1, $2, true)", {seq[0][0], std::to_string(e)});
}
void Catalog::RenameColumn(const std::string& db, std::string_view table, std::string_view column,
                           std::string_view newName) {
    Serialize(db);
    const std::string ambiguous =
        "Either the parameter @objname is ambiguous or the claimed @objtype (COLUMN) is wrong.";
    const TableDef* found = m_impl->Find(db, table);
    if (!found) Fail(ambiguous);
    const TableDef def = *found;
    const int index = def.ColumnIndex(column);
    if (index < 0) Fail(ambiguous);
    const int other = def.ColumnIndex(newName);
    if (other >= 0 && other != index)
        Fail("Error: The new name '" + S(newName) +
             "' is already in use as a COLUMN name and would cause a duplicate that is not "
             "permitted.");
    const std::string oldName = def.columns[static_cast<size_t>(index)].name;
    if (oldName == newName) return;
    if (newName.size() > 63)
        Fail("The name '" + S(newName) + "' is longer than this engine allows.");
    // Keys and indexes name their columns: they follow the new name.
    m_impl->link.Exec("ALTER TABLE " + Quote(db) + "." + Quote(def.name) + " RENAME COLUMN " +
                      Quote(oldName) + " TO " + Quote(newName));
    const std::vector<std::string> where = {std::to_string(def.id), std::to_string(index + 1),
                                            S(newName)};
    m_impl->Select("UPDATE " + m_impl->T(db, "xr_columns") +
                       " SET name = $3 WHERE table_id = $1 AND colid = $2",
                   where);
    m_impl->Select(
        "UPDATE " + m_impl->T(db, "syscolumns") + " SET name = $3 WHERE id = $1 AND colid = $2",
        where);
    for (const IndexDef& ix : def.indexes) {
        std::vector<std::string> columns = ix.columns;
        for (std::string& c : columns)
            if (IEquals(c, oldName)) c = S(newName);
        m_impl->Select(
            "UPDATE " + m_impl->T(db, "xr_indexes") + " SET columns = $2 WHERE storage = $1",
            {ix.storageName, Join(columns, ',')});
    }
    RenameConstraintColumn(*this, db, def, oldName, S(newName));
    m_impl->Touch(db);
    RefreshForeignKeys(*this, db, def.id);
}

void Catalog::RenameTable(const std::string& db, std::string_view table, std::string_view newName) {
    Serialize(db);
    const TableDef* found = m_impl->Find(db, table);
    if (!found && m_impl->Has(db) && RenameView(Views(db), table, newName)) return;
    if (!found) Fail("Invalid object name '" + S(table) + "'.");
    const TableDef def = *found;
    if (def.name == newName) return;
    if (!IEquals(def.name, newName) && m_impl->NameTaken(db, newName))
        Fail("Error: The new name '" + S(newName) +
             "' is already in use as a object name and would cause a duplicate that is not "
             "permitted.");
    if (newName.size() > 63)
        Fail("The name '" + S(newName) + "' is longer than this engine allows.");
    m_impl->link.Exec("ALTER TABLE " + Quote(db) + "." + Quote(def.name) + " RENAME TO " +
                      Quote(newName));
    m_impl->Select("UPDATE " + m_impl->T(db, "sysobjects") + " SET name = $2 WHERE id = $1",
                   {std::to_string(def.id), S(newName)});
    m_impl->Touch(db);
    RefreshForeignKeys(*this, db, def.id);
}

std::optional<int32_t> Catalog::ObjectId(const std::string& db, std::string_view name) {
    if (!m_impl->Has(db)) return std::nullopt;
    auto rows = m_impl->Select("SELECT id FROM " + m_impl->T(db, "sysobjects") + " WHERE " +
                                   TextKey("name") + " = " + TextKey("$1::text"),
                               {S(name)});
    if (rows.empty()) return std::nullopt;
    return std::stoi(rows[0][0]);
}

std::optional<std::string> Catalog::ObjectName(const std::string& db, int32_t id) {
    if (!m_impl->Has(db)) return std::nullopt;
    auto rows = m_impl->Select("SELECT name FROM " + m_impl->T(db, "sysobjects") + " WHERE id = $1",
                               {std::to_string(id)});
    if (rows.empty()) return std::nullopt;
    return rows[0][0];
}

std::optional<int64_t> Catalog::IdentCurrent(const std::string& db, std::string_view table) {
    const TableDef* def = m_impl->Find(db, table);
    if (!def) return std::nullopt;
    const ColumnDef* id = def->IdentityColumn();
    if (!id) return std::nullopt;
    auto seq = m_impl->Select("SELECT pg_get_serial_sequence($1, $2)",
                              {Quote(db) + "." + Quote(def->name), id->name});
    if (seq.empty() || seq[0][0].empty()) return id->identitySeed;
    auto rows = m_impl->Select("SELECT last_value, is_called FROM " + seq[0][0]);
    if (rows.empty() || rows[0][1] != "t") return id->identitySeed;
    return std::stoll(rows[0][0]);
}

namespace {

const char* const kFixedRoles[] = {
    "db_owner",      "db_accessadmin",    "db_securityadmin",
    "db_ddladmin",   "db_backupoperator", "db_datareader",
    "db_datawriter", "db_denydatareader", "db_denydatawriter",
};

void CheckPrincipalName(std::string_view name, const char* what) {
    if (Trim(name).empty()) Fail(std::string("A ") + what + " name must not be empty.");
    if (name.size() > 128)
        Fail("The identifier that starts with '" + std::string(name.substr(0, 128)) +
             "' is too long. Maximum length is 128.");
}

// Names of logins, users and roles compare as the server's names do.
const char* const kSameName = "lower(name COLLATE \"C\") = lower($1 COLLATE \"C\")";

}  // namespace

// Logins live in master, users and their roles in each database; only
// whether a login was given a password is kept, never the password.
void Catalog::AddLogin(std::string_view name, std::optional<std::string_view> password,
                       std::string_view defaultDb) {
    CheckPrincipalName(name, "login");
    const std::string logins = m_impl->T("main", "xr_logins");
    m_impl->link.Exec("CREATE TABLE IF NOT EXISTS " + logins +
                      " (name text NOT NULL, has_password integer NOT NULL, default_db text NOT "
                      "NULL)");
    const std::string n(name);
    if (!m_impl->Select("SELECT 1 FROM " + logins + " WHERE " + kSameName, {n}).empty())
        Fail("The server principal '" + n + "' already exists.");
    m_impl->Select(
        "INSERT INTO " + logins + " (name, has_password, default_db) VALUES ($1, $2, $3)",
        {n, password && !password->empty() ? "1" : "0", std::string(defaultDb)});
    CreateLoginRole(m_impl->link, n, password);
}

void Catalog::GrantDbAccess(const std::string& db, std::string_view login) {
    CheckPrincipalName(login, "login");
    const std::string n(login);
    const bool known =
        !m_impl
             ->Select(
                 "SELECT 1 FROM pg_catalog.pg_tables WHERE schemaname = 'main' AND "
                 "tablename = 'xr_logins'")
             .empty() &&
        !m_impl
             ->Select("SELECT 1 FROM " + m_impl->T("main", "xr_logins") + " WHERE " + kSameName,
                      {n})
             .empty();
    if (!known) Fail("'" + n + "' is not a valid login or you do not have permission.");
    const std::string users = m_impl->T(db, "xr_users");
    m_impl->link.Exec("CREATE TABLE IF NOT EXISTS " + users +
                      " (name text NOT NULL, login text NOT NULL)");
    if (!m_impl->Select("SELECT 1 FROM " + users + " WHERE " + kSameName, {n}).empty())
        Fail("User, group, or role '" + n + "' already exists in the current database.");
    m_impl->Select("INSERT INTO " + users + " (name, login) VALUES ($1, $1)", {n});
    GrantSchemaUse(m_impl->link, db, LoginRole(m_impl->link, n));
}

void Catalog::AddRoleMember(const std::string& db, std::string_view role, std::string_view member) {
    const char* fixedRole = nullptr;
    for (const char* candidate : kFixedRoles)
        if (IEquals(candidate, Trim(role))) fixedRole = candidate;
    if (!fixedRole)
        Fail("Cannot alter the role '" + std::string(role) +
             "', because it does not exist or you do not have permission.");
    CheckPrincipalName(member, "user");
    const std::string m(member);
    const std::string users = m_impl->T(db, "xr_users");
    const std::string members = m_impl->T(db, "xr_role_members");
    m_impl->link.Exec("CREATE TABLE IF NOT EXISTS " + users +
                      " (name text NOT NULL, login text NOT NULL)");
    m_impl->link.Exec("CREATE TABLE IF NOT EXISTS " + members +
                      " (role text NOT NULL, name text NOT NULL)");
    const bool isUser =
        IEquals(member, "dbo") ||
        !m_impl->Select("SELECT 1 FROM " + users + " WHERE " + kSameName, {m}).empty();
    if (!isUser)
        Fail("Cannot add the principal '" + m +
             "', because it does not exist or you do not have permission.");
    if (!m_impl
             ->Select("SELECT 1 FROM " + members + " WHERE role = $2 AND " + kSameName,
                      {m, fixedRole})
             .empty())
        Fail("User or role '" + m + "' is already a member of role '" + fixedRole + "'.");
    m_impl->Select("INSERT INTO " + members + " (role, name) VALUES ($2, $1)", {m, fixedRole});
    if (!IEquals(member, "dbo"))
        GrantFixedRole(m_impl->link, db, LoginRole(m_impl->link, m), fixedRole);
}

// Views (pg_views.cpp) through the catalog's own helpers.
ViewCatalog Catalog::Views(const std::string& db) {
    Impl& impl = *m_impl;
    return ViewCatalog{
        impl.link,
        db,
        [&impl, db](std::string_view n) { return impl.NameTaken(db, n); },
        [&impl, db](std::string_view n) { return impl.Find(db, n) != nullptr; },
        [&impl, db] { return impl.NewObjectId(db); },
        [&impl, db](int32_t id, std::string_view n) { impl.InsertObject(db, id, n, "V", 0); },
        [&impl, db] { impl.Touch(db); }};
}

void Catalog::CreateView(const std::string& db, std::string_view name, const ViewDef& view,
                         const std::vector<ColumnDef>& columns, bool replace) {
    Serialize(db);
    postgres::CreateView(Views(db), name, view, columns, replace);
}
void Catalog::DropView(const std::string& db, std::string_view name) {
    Serialize(db);
    postgres::DropView(Views(db), name);
}
std::optional<Catalog::ViewDef> Catalog::FindView(const std::string& db, std::string_view name) {
    if (!m_impl->Has(db)) return std::nullopt;
    return postgres::FindView(m_impl->link, db, name);
}

}  // namespace xr::engine::postgres
