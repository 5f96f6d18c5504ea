// The DDL of the T-SQL layer over SQLite: CREATE/DROP TABLE, ALTER TABLE's
// ADD, ALTER COLUMN, DROP COLUMN and constraints, CREATE INDEX and sp_rename,
// failing where the server fails with its messages (the set-up passes run every
// statement on every upgrade and rely on exactly which ones fail). What SQLite
// cannot change in place is done by rebuilding the table.
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "engine/sqlite/catalog.h"
#include "engine/sqlite/catalog_impl.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

using detail::Fail;
using detail::Quote;
using detail::Sql;

namespace {

constexpr size_t kMaxName = 128;
constexpr int32_t kFirstUserId = 100;  // ids below belong to the system tables

std::string S(std::string_view text) { return std::string(text); }

std::string Hex8(int32_t id) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%08X", static_cast<uint32_t>(id));
    return buffer;
}

// The database part of a three-part name in messages: the master file is "master".
std::string DatabaseName(const std::string& db) {
    return IEquals(db, detail::kMasterSchema) ? "master" : db;
}

void CheckName(std::string_view name, const char* what) {
    if (Trim(name).empty()) Fail(std::string("A ") + what + " name must not be empty.");
    if (name.size() > kMaxName) {
        Fail("The identifier that starts with '" + S(name.substr(0, kMaxName)) +
             "' is too long. Maximum length is 128.");
    }
}

[[noreturn]] void FailObjectExists(std::string_view name) {
    Fail("There is already an object named '" + S(name) + "' in the database.");
}

[[noreturn]] void FailDuplicateColumn(std::string_view column, std::string_view table) {
    Fail("Column names in each table must be unique. Column name '" + S(column) + "' in table '" +
         S(table) + "' is specified more than once.");
}

std::string CannotFind(std::string_view table) {
    return "Cannot find the object \"" + S(table) +
           "\" because it does not exist or you do not have permissions.";
}

// Does a rendered index condition mention the column? Names are matched as
// whole identifiers, quoted or not, without case.
bool FilterUses(std::string_view filter, std::string_view column) {
    auto isIdent = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '@' ||
               c == '#' || static_cast<unsigned char>(c) >= 0x80;
    };
    if (column.empty() || filter.size() < column.size()) return false;
    for (size_t i = 0; i + column.size() <= filter.size(); ++i) {
        if (!IEquals(filter.substr(i, column.size()), column)) continue;
        bool startOk = i == 0 || !isIdent(filter[i - 1]);
        size_t end = i + column.size();
        bool endOk = end == filter.size() || !isIdent(filter[end]);
        if (startOk && endOk) return true;
    }
    return false;
}

bool IndexUses(const IndexDef& index, std::string_view column) {
    for (const std::string& name : index.columns) {
        if (IEquals(name, column)) return true;
    }
    return FilterUses(index.filterSql, column);
}

// Keeps the database's cached definitions true when a DDL operation ends: an
// operation that changed nothing (it failed its checks) leaves them; one that
// hands over its table's new definition has it cached; any other change,
// made or left to the caller's rollback, makes the next lookup read afresh.
class ForgetOnExit {
public:
    ForgetOnExit(detail::CatalogState& state, const std::string& db)
        : m_state(state), m_db(db), m_changes(sqlite3_total_changes64(state.handle)) {}
    ~ForgetOnExit() {
        if (!m_installed && sqlite3_total_changes64(m_state.handle) != m_changes) {
            m_state.Forget(m_db);
        }
    }
    ForgetOnExit(const ForgetOnExit&) = delete;
    ForgetOnExit& operator=(const ForgetOnExit&) = delete;

    // The operation's last step: `def` is its table as it now stands.
    void Install(TableDef def) {
        m_state.Install(m_db, std::move(def));
        m_installed = true;
    }

private:
    detail::CatalogState& m_state;
    const std::string& m_db;
    int64_t m_changes;  // the handle's row changes when the operation began
    bool m_installed = false;
};

// Helpers shared by the operations, with access to the state.
struct DdlContext {
    detail::CatalogState& state;
    const std::string& db;

    // Brings the cache up to date and makes sure the file has its system tables.
    void Begin() {
        state.Validate(db);
        if (!state.HasCatalog(db)) {
            detail::CreateSystemTables(state, db);
            state.Validate(db);
        }
    }

    // A copy of a user table's definition; `missing` is the failure text when
    // there is no such table.
    TableDef Require(std::string_view table, const std::string& missing) {
        const TableDef* def = state.Find(db, table);
        if (!def) Fail(missing);
        if (def->id == 0) {
            Fail("The table '" + def->name +
                 "' was not created through the server and cannot be changed.");
        }
        if (def->id < kFirstUserId) {
            Fail("The system table '" + def->name + "' cannot be changed.");
        }
        return *def;
    }

    // Marks the start of changes: other connections' caches will see them.
    void Touch() { state.Stamp(db); }

    std::string Table(const TableDef& def) const { return Quote(db) + "." + Quote(def.name); }

    // A new object id and, for an unnamed default, the name the server would give it.
    void NameDefault(std::string_view table, std::string_view column, DefaultDef& def) {
        for (;;) {
            def.id = state.NewObjectId(db);
            if (!def.name.empty()) return;
            std::string name = "DF__" + S(table.substr(0, 9)) + "__" + S(column.substr(0, 5)) +
                               "__" + Hex8(def.id);
            if (state.ObjectNameTaken(db, name)) continue;
            def.name = name;
            def.systemNamed = true;
            return;
        }
    }

    // A SQLite index name free in the file: the T-SQL name when it is free,
    // else the table's name before it (index names are per table on the server
    // but per file in SQLite).
    std::string StorageIndexName(std::string_view table, std::string_view name) {
        if (!state.IndexNameUsed(db, name) && !detail::IsReservedName(name)) return S(name);
        std::string base = S(table) + "$" + S(name);
        std::string candidate = base;
        for (int n = 2; state.IndexNameUsed(db, candidate); ++n) {
            candidate = base + "$" + std::to_string(n);
        }
        return candidate;
    }

    // The first duplicate key of `columns` (keys equal under the columns'
    // collation; NULLs count as equal, as on the server); none when unique.
    std::optional<std::string> DuplicateKey(const TableDef& def,
                                            const std::vector<std::string>& columns,
                                            const std::string& filter) {
        std::string list;
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i) list += ", ";
            list += Quote(columns[i]);
        }
        std::string sql = "SELECT " + list + " FROM " + Table(def);
        if (!filter.empty()) sql += " WHERE " + filter;
        sql += " GROUP BY " + list + " HAVING count(*) > 1 LIMIT 1";
        Sql q(state, sql, false);
        if (!q.Step()) return std::nullopt;
        std::string text;
        for (size_t i = 0; i < columns.size(); ++i) {
            if (i) text += ", ";
            Value v = q.Get(static_cast<int>(i));
            if (v.IsNull()) {
                text += "<NULL>";
                continue;
            }
            const ColumnDef* column = def.FindColumn(columns[i]);
            try {
                TypeSpec asText;
                asText.kind = TypeKind::VarChar;
                asText.length = 8000;
                Value shown = Convert(v, column ? column->type : NaturalType(v), asText);
                text += TrimRight(shown.s);
            } catch (const ComError&) {
                text += "?";
            }
        }
        return text;
    }

    // Key columns of a new key or index: each must exist once; returns them as
    // the table spells them.
    std::vector<std::string> KeyColumns(const TableDef& def, const std::vector<std::string>& names,
                                        std::string_view indexName) {
        if (names.empty())
            Fail("The index or key '" + S(indexName) + "' needs at least one column.");
        std::vector<std::string> result;
        for (const std::string& name : names) {
            const ColumnDef* column = def.FindColumn(name);
            if (!column) {
                Fail("Column name '" + name + "' does not exist in the target table or view.");
            }
            for (const std::string& seen : result) {
                if (IEquals(seen, name)) {
                    Fail("Column name '" + name + "' appears more than once in the key list.");
                }
            }
            result.push_back(column->name);
        }
        return result;
    }

    // Recreates the table with `next`'s columns, copying every row with its
    // rowid (and identity value), then the indexes and the identity counter.
    // `source[i]` is the column of `prev` that fills column i of `next`, or -1
    // (the default, or the old rowid for a new identity column).
    void Rebuild(const TableDef& prev, const TableDef& next, const std::vector<int>& source) {
        if (!HasRows(prev)) {
            Recreate(prev, next);
            return;
        }
        std::optional<int64_t> counter = state.ReadSequence(db, prev.name);
        const std::string temp = "xr_rebuild";
        state.Exec("DROP TABLE IF EXISTS " + Quote(db) + "." + Quote(temp));
        state.Exec(detail::CreateTableSql(db, temp, next.columns));

        std::string targets, values;
        auto add = [&](const std::string& target, const std::string& value) {
            if (!targets.empty()) {
                targets += ", ";
                values += ", ";
            }
            targets += target;
            values += value;
        };
        const ColumnDef* identity = next.IdentityColumn();
        if (!identity) add("rowid", "rowid");
        for (size_t i = 0; i < next.columns.size(); ++i) {
            const ColumnDef& column = next.columns[i];
            int from = source[i];
            if (from < 0) {
                if (column.identity) add(Quote(column.name), "rowid");
                continue;
            }
            const ColumnDef& old = prev.columns[static_cast<size_t>(from)];
            std::string value = Quote(old.name);
            if (!(old.type == column.type) && !column.identity) {
                value = "xr_store(" + value + ", " + std::to_string(old.type.Code()) + ", " +
                        std::to_string(column.type.Code()) + ")";
            }
            add(Quote(column.name), value);
        }
        state.Exec("INSERT INTO " + Quote(db) + "." + Quote(temp) + " (" + targets + ") SELECT " +
                   values + " FROM " + Table(prev));
        state.Exec("DROP TABLE " + Table(prev));
        state.Exec("ALTER TABLE " + Quote(db) + "." + Quote(temp) + " RENAME TO " +
                   Quote(next.name));

        if (identity) {
            // Identity values are never reused: the counter survives the copy.
            int64_t value = counter.value_or(0);
            {
                Sql q(state, "SELECT max(" + Quote(identity->name) + ") FROM " + Table(next),
                      false);
                if (q.Step() && !q.IsNull(0)) value = std::max(value, q.Int(0));
            }
            RestoreCounter(next, value);
        }
        CreateIndexes(next);
    }

    // Makes an empty table again with `next`'s columns. SQLite's own ADD
    // COLUMN re-reads every table definition of the file, which grows dear
    // when an upgrade adds hundreds of columns to a new database one by one.
    void Recreate(const TableDef& prev, const TableDef& next) {
        std::optional<int64_t> counter = state.ReadSequence(db, prev.name);
        state.Exec("DROP TABLE " + Table(prev));
        state.Exec(detail::CreateTableSql(db, next.name, next.columns));
        if (next.IdentityColumn()) RestoreCounter(next, counter.value_or(0));
        CreateIndexes(next);
    }

    // The identity counter of `table` set to `value` (none kept when 0).
    void RestoreCounter(const TableDef& table, int64_t value) {
        if (value <= 0) return;
        Sql update(state, "UPDATE " + Quote(db) + ".sqlite_sequence SET seq = ?1 WHERE name = ?2");
        update.Bind(1, value).Bind(2, table.name).Run();
        if (sqlite3_changes(state.handle) == 0) {
            Sql insert(state,
                       "INSERT INTO " + Quote(db) + ".sqlite_sequence (name, seq) VALUES (?2, ?1)");
            insert.Bind(1, value).Bind(2, table.name).Run();
        }
    }

    void CreateIndexes(const TableDef& table) {
        for (const IndexDef& index : table.indexes) {
            state.Exec(detail::CreateIndexSql(db, table.name, index));
        }
    }

    // Column i of the rebuilt table comes from column i of the old one.
    static std::vector<int> SameColumns(const TableDef& def) {
        std::vector<int> source(def.columns.size());
        for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<int>(i);
        return source;
    }

    bool HasRows(const TableDef& def) {
        Sql q(state, "SELECT 1 FROM " + Table(def) + " LIMIT 1", false);
        return q.Step();
    }

    // Checks a new column's own definition (identity, type, default).
    void CheckColumn(std::string_view table, ColumnDef& column) {
        CheckName(column.name, "column");
        if (column.type.kind == TypeKind::Unknown) {
            Fail("Column '" + column.name + "' in table '" + S(table) + "' has no data type.");
        }
        if (column.identity) {
            if (column.type.kind != TypeKind::Int) {
                Fail("Identity column '" + column.name + "' must be of data type int.");
            }
            if (column.def) {
                Fail("Defaults cannot be created on columns with an IDENTITY attribute. Table '" +
                     S(table) + "', column '" + column.name + "'.");
            }
            column.notNull = true;
        }
        if (column.def) {
            if (!column.def->name.empty()) CheckName(column.def->name, "constraint");
            // The constant must fit the column; the failure is the conversion's.
            detail::DefaultLiteral(*column.def, column.type);
        }
    }

    // Named defaults of new columns: free in the database and among themselves.
    void CheckDefaultNames(const std::vector<ColumnDef>& columns) {
        std::vector<std::string> names;
        for (const ColumnDef& column : columns) {
            if (!column.def || column.def->name.empty()) continue;
            const std::string& name = column.def->name;
            if (state.ObjectNameTaken(db, name) || state.TableExists(db, name)) {
                FailObjectExists(name);
            }
            for (const std::string& seen : names) {
                if (IEquals(seen, name)) FailObjectExists(name);
            }
            names.push_back(name);
        }
    }

    // The failure of ALTER/DROP COLUMN on a column other objects use.
    [[noreturn]] void FailDependent(const std::vector<std::string>& objects,
                                    std::string_view column, const char* statement) {
        std::string message;
        for (const std::string& object : objects) {
            message += "The object '" + object + "' is dependent on column '" + S(column) + "'. ";
        }
        message += std::string("ALTER TABLE ") + statement + " " + S(column) +
                   " failed because one or more objects access this column.";
        Fail(message);
    }
};

}  // namespace

// ---- CREATE / DROP TABLE ------------------------------------------------------------

void Catalog::CreateTable(const std::string& db, std::string_view name,
                          std::vector<ColumnDef> columns) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    CheckName(name, "table");
    if (m_impl->ObjectNameTaken(db, name) || m_impl->TableExists(db, name)) FailObjectExists(name);
    if (detail::IsReservedName(name)) {
        Fail("The name '" + S(name) + "' is reserved for the server's own tables.");
    }
    if (columns.empty()) Fail("CREATE TABLE '" + S(name) + "' must define at least one column.");
    int identities = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
        ctx.CheckColumn(name, columns[i]);
        for (size_t j = 0; j < i; ++j) {
            if (IEquals(columns[j].name, columns[i].name))
                FailDuplicateColumn(columns[i].name, name);
        }
        if (columns[i].identity && ++identities > 1) {
            Fail("Multiple identity columns specified for table '" + S(name) +
                 "'. Only one identity column per table is allowed.");
        }
    }
    ctx.CheckDefaultNames(columns);

    ctx.Touch();
    m_impl->Exec(detail::CreateTableSql(db, name, columns));
    int32_t tableId = m_impl->NewObjectId(db);
    detail::InsertObject(*m_impl, db, tableId, name, "U", 0);
    for (size_t i = 0; i < columns.size(); ++i) {
        ColumnDef& column = columns[i];
        if (column.def) ctx.NameDefault(name, column.name, *column.def);
        detail::InsertColumnRow(*m_impl, db, tableId, static_cast<int>(i) + 1, column);
        if (column.def) {
            detail::InsertDefaultRows(*m_impl, db, tableId, static_cast<int>(i) + 1, *column.def);
        }
    }
}

void Catalog::DropTable(const std::string& db, std::string_view name) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    const TableDef* def = m_impl->Find(db, name);
    if (!def || (def->id > 0 && def->id < kFirstUserId)) {
        Fail("Cannot drop the table '" + S(name) +
             "', because it does not exist or you do not have permission.");
    }
    const std::string tableName = def->name;
    const int32_t id = def->id;
    ctx.Touch();
    m_impl->Exec("DROP TABLE " + Quote(db) + "." + Quote(tableName));
    if (id == 0) return;
    const std::string s = Quote(db) + ".";
    Sql(*m_impl, "DELETE FROM " + s + "xr_defaults WHERE id IN (SELECT id FROM " + s +
                     "sysobjects WHERE parent_obj = ?1)")
        .Bind(1, id)
        .Run();
    Sql(*m_impl, "DELETE FROM " + s + "sysobjects WHERE id = ?1 OR parent_obj = ?1")
        .Bind(1, id)
        .Run();
    Sql(*m_impl, "DELETE FROM " + s + "syscolumns WHERE id = ?1").Bind(1, id).Run();
    Sql(*m_impl, "DELETE FROM " + s + "sysconstraints WHERE id = ?1").Bind(1, id).Run();
    Sql(*m_impl, "DELETE FROM " + s + "xr_indexes WHERE table_id = ?1").Bind(1, id).Run();
}

// ---- Columns --------------------------------------------------------------------------

void Catalog::AddColumns(const std::string& db, std::string_view table,
                         std::vector<ColumnDef> columns, bool deferRemake) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, CannotFind(table));
    if (columns.empty()) Fail("ALTER TABLE '" + def.name + "' ADD needs at least one column.");
    // Everything is checked before anything changes: the columns of one ADD
    // come into being together or not at all.
    for (size_t i = 0; i < columns.size(); ++i) {
        CheckName(columns[i].name, "column");
        if (def.FindColumn(columns[i].name)) FailDuplicateColumn(columns[i].name, def.name);
        for (size_t j = 0; j < i; ++j) {
            if (IEquals(columns[j].name, columns[i].name)) {
                FailDuplicateColumn(columns[i].name, def.name);
            }
        }
    }
    bool identity = def.IdentityColumn() != nullptr;
    for (const ColumnDef& column : columns) {
        if (!column.identity) continue;
        if (identity) {
            Fail("Multiple identity columns specified for table '" + def.name +
                 "'. Only one identity column per table is allowed.");
        }
        identity = true;
    }
    ctx.CheckDefaultNames(columns);
    const bool rows = ctx.HasRows(def);
    bool rebuild = false;
    for (ColumnDef& column : columns) {
        ctx.CheckColumn(def.name, column);
        if (column.identity) {
            rebuild = true;  // SQLite adds no primary key in place
            continue;
        }
        bool hasDefault = column.def && !detail::DefaultLiteral(*column.def, column.type).empty();
        if (column.notNull && !hasDefault) {
            if (rows) {
                Fail(
                    "ALTER TABLE only allows columns to be added that can contain nulls, or have a "
                    "DEFAULT definition specified, or the column being added is an identity or "
                    "timestamp column, or alternatively if none of the previous conditions are "
                    "satisfied the table must be empty to allow addition of this column. Column '" +
                    column.name + "' cannot be added to non-empty table '" + def.name +
                    "' because it does not satisfy these conditions.");
            }
            rebuild = true;  // SQLite adds a NOT NULL column in place only with a default
        }
    }

    ctx.Touch();
    const TableDef prev = def;
    for (ColumnDef& column : columns) {
        if (column.def) ctx.NameDefault(def.name, column.name, *column.def);
        def.columns.push_back(column);
    }
    const std::string deferKey = detail::CatalogState::DeferKey(db, def.name);
    const bool wasDeferred = m_impl->deferred.count(deferKey) > 0;
    const bool defer = deferRemake && !rows;
    if (defer) {
        // The file's table is made once, when something else needs it.
    } else if (rebuild || !rows || wasDeferred) {
        // Existing rows take the defaults; a new identity numbers them in
        // rowid order. A deferred table's rows hold only what the file has.
        TableDef from = prev;
        if (wasDeferred) {
            from.columns.clear();
            m_impl->ReadStoredColumns(from);
        }
        std::vector<int> source(def.columns.size(), -1);
        for (size_t i = 0; i < source.size(); ++i)
            source[i] = from.ColumnIndex(def.columns[i].name);
        ctx.Rebuild(from, def, source);
        m_impl->deferred.erase(deferKey);  // made now, whatever it lagged
    } else {
        for (const ColumnDef& column : columns) {
            m_impl->Exec("ALTER TABLE " + ctx.Table(def) + " ADD COLUMN " +
                         detail::ColumnDeclaration(column));
        }
    }
    for (size_t i = prev.columns.size(); i < def.columns.size(); ++i) {
        const ColumnDef& column = def.columns[i];
        detail::InsertColumnRow(*m_impl, db, def.id, static_cast<int>(i) + 1, column);
        if (column.def) {
            detail::InsertDefaultRows(*m_impl, db, def.id, static_cast<int>(i) + 1, *column.def);
        }
    }
    if (defer) m_impl->deferred[deferKey] = std::make_shared<const TableDef>(def);
    // Upgrades add hundreds of columns to wide tables one statement at a time:
    // the definition is kept rather than read back each time.
    forget.Install(std::move(def));
}

bool Catalog::HasDeferred() const { return !m_impl->deferred.empty(); }

std::vector<std::string> Catalog::FlushDeferred() {
    std::vector<std::string> databases;
    detail::CatalogState& state = *m_impl;
    if (state.deferred.empty()) return databases;
    // All tables or none: a failure leaves each as it was, still deferred.
    state.Exec("SAVEPOINT xr_flush");
    try {
        for (const auto& [key, def] : state.deferred) {
            DdlContext ctx{state, def->db};
            // The table was empty when its columns were deferred; should rows
            // have come since, they are copied across (by column name), not lost.
            TableDef stored;
            stored.db = def->db;
            stored.name = def->name;
            state.ReadStoredColumns(stored);
            std::vector<int> source(def->columns.size(), -1);
            for (size_t i = 0; i < source.size(); ++i)
                source[i] = stored.ColumnIndex(def->columns[i].name);
            ctx.Rebuild(stored, *def, source);
            if (std::find(databases.begin(), databases.end(), def->db) == databases.end())
                databases.push_back(def->db);
        }
    } catch (...) {
        sqlite3_exec(state.handle, "ROLLBACK TO xr_flush; RELEASE xr_flush", nullptr, nullptr,
                     nullptr);
        throw;
    }
    state.Exec("RELEASE xr_flush");
    state.deferred.clear();
    // The definitions cached were already these tables' own.
    for (const std::string& db : databases) state.KeepCache(db);
    return databases;
}

Catalog::Deferred Catalog::SaveDeferred() const { return m_impl->deferred; }

void Catalog::RestoreDeferred(Deferred saved) { m_impl->deferred = std::move(saved); }

void Catalog::DropDeferred() { m_impl->deferred.clear(); }

void Catalog::AlterColumn(const std::string& db, std::string_view table, const ColumnDef& column) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, CannotFind(table));
    int index = def.ColumnIndex(column.name);
    if (index < 0) {
        Fail("ALTER TABLE ALTER COLUMN failed because column '" + column.name +
             "' does not exist in table '" + def.name + "'.");
    }
    ColumnDef& target = def.columns[static_cast<size_t>(index)];
    if (column.type.kind == TypeKind::Unknown) {
        Fail("Column '" + column.name + "' in table '" + def.name + "' has no data type.");
    }
    // Keys and indexes hold the column's values as they are; a default stays
    // only while the kind of value it gives is unchanged.
    std::vector<std::string> dependents;
    // The server lets a VARCHAR or VARBINARY column of an index (not a key)
    // grow as long as its kind and nullability stay.
    bool widening =
        column.type.kind == target.type.kind &&
        (target.type.kind == TypeKind::VarChar || target.type.kind == TypeKind::VarBinary) &&
        column.type.length >= target.type.length && column.notNull == target.notNull;
    for (const IndexDef& idx : def.indexes) {
        if (IndexUses(idx, target.name) && (idx.primaryKey || !widening))
            dependents.push_back(idx.name);
    }
    if (target.def && target.def->valueType.kind != TypeKind::Unknown &&
        column.type.kind != target.type.kind) {
        dependents.insert(dependents.begin(), target.def->name);
    }
    if (!dependents.empty()) ctx.FailDependent(dependents, target.name, "ALTER COLUMN");
    if (target.identity) {
        if (column.type.kind != TypeKind::Int) {
            Fail("Cannot alter column '" + target.name + "' because it is an IDENTITY column.");
        }
        return;
    }
    if (column.type == target.type && column.notNull == target.notNull) return;
    if (column.notNull && !target.notNull) {
        Sql q(
            *m_impl,
            "SELECT 1 FROM " + ctx.Table(def) + " WHERE " + Quote(target.name) + " IS NULL LIMIT 1",
            false);
        if (q.Step()) {
            Fail("Cannot insert the value NULL into column '" + target.name + "', table '" +
                 DatabaseName(db) + ".dbo." + def.name +
                 "'; column does not allow nulls. UPDATE fails.");
        }
    }
    const TableDef prev = def;
    target.type = column.type;
    target.notNull = column.notNull;
    if (target.def) detail::DefaultLiteral(*target.def, target.type);  // fails before any change

    ctx.Touch();
    ctx.Rebuild(prev, def, DdlContext::SameColumns(def));
    detail::TypeInfo info = detail::DescribeType(target.type);
    Sql q(*m_impl, "UPDATE " + Quote(db) +
                       ".syscolumns SET xtype = ?1, length = ?2, prec = ?3, scale = ?4, "
                       "isnullable = ?5, status = ?6 WHERE id = ?7 AND colid = ?8");
    q.Bind(1, info.xtype).Bind(2, info.length).Bind(3, info.prec).Bind(4, info.scale);
    q.Bind(5, target.notNull ? 0 : 1).Bind(6, target.notNull ? 0 : detail::kColumnNullable);
    q.Bind(7, def.id).Bind(8, index + 1).Run();
}

void Catalog::DropColumn(const std::string& db, std::string_view table, std::string_view column) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, CannotFind(table));
    int index = def.ColumnIndex(column);
    if (index < 0) {
        Fail("ALTER TABLE DROP COLUMN failed because column '" + S(column) +
             "' does not exist in table '" + def.name + "'.");
    }
    const ColumnDef& target = def.columns[static_cast<size_t>(index)];
    std::vector<std::string> dependents;
    if (target.def) dependents.push_back(target.def->name);
    for (const IndexDef& idx : def.indexes) {
        if (IndexUses(idx, target.name)) dependents.push_back(idx.name);
    }
    if (!dependents.empty()) ctx.FailDependent(dependents, target.name, "DROP COLUMN");
    if (def.columns.size() == 1) {
        Fail("ALTER TABLE DROP COLUMN failed because '" + target.name +
             "' is the only data column in table '" + def.name +
             "'. A table must have at least one data column.");
    }

    ctx.Touch();
    const TableDef prev = def;
    std::vector<int> source;
    for (size_t i = 0; i < prev.columns.size(); ++i) {
        if (static_cast<int>(i) != index) source.push_back(static_cast<int>(i));
    }
    def.columns.erase(def.columns.begin() + index);
    ctx.Rebuild(prev, def, source);
    const std::string s = Quote(db) + ".";
    const int colid = index + 1;
    Sql(*m_impl, "DELETE FROM " + s + "syscolumns WHERE id = ?1 AND colid = ?2")
        .Bind(1, def.id)
        .Bind(2, colid)
        .Run();
    Sql(*m_impl, "UPDATE " + s + "syscolumns SET colid = colid - 1 WHERE id = ?1 AND colid > ?2")
        .Bind(1, def.id)
        .Bind(2, colid)
        .Run();
    Sql(*m_impl,
        "UPDATE " + s + "sysconstraints SET colid = colid - 1 WHERE id = ?1 AND colid > ?2")
        .Bind(1, def.id)
        .Bind(2, colid)
        .Run();
}

// ---- Constraints and indexes ---------------------------------------------------------------

void Catalog::AddPrimaryKey(const std::string& db, std::string_view table, std::string_view name,
                            const std::vector<std::string>& columns) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, CannotFind(table));
    if (def.PrimaryKey()) {
        Fail("Table '" + def.name + "' already has a primary key defined on it.");
    }
    if (!name.empty()) {
        CheckName(name, "constraint");
        if (m_impl->ObjectNameTaken(db, name) || m_impl->TableExists(db, name)) {
            FailObjectExists(name);
        }
    }
    for (const IndexDef& existing : def.indexes) {
        if (!name.empty() && IEquals(existing.name, name)) {
            Fail("The operation failed because an index or statistics with name '" + S(name) +
                 "' already exists on table '" + def.name + "'.");
        }
    }
    IndexDef key;
    key.unique = true;
    key.primaryKey = true;
    key.columns = ctx.KeyColumns(def, columns, name);
    for (const std::string& column : key.columns) {
        if (!def.FindColumn(column)->notNull) {
            Fail("Cannot define PRIMARY KEY constraint on nullable column in table '" + def.name +
                 "'.");
        }
    }
    key.id = m_impl->NewObjectId(db);
    key.name = name.empty() ? "PK__" + def.name.substr(0, 9) + "__" + Hex8(key.id) : S(name);
    if (auto duplicate = ctx.DuplicateKey(def, key.columns, "")) {
        Fail(
            "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found for "
            "the object name 'dbo." +
            def.name + "' and the index name '" + key.name + "'. The duplicate key value is (" +
            *duplicate + ").");
    }
    ctx.Touch();
    key.storageName = ctx.StorageIndexName(def.name, key.name);
    m_impl->Exec(detail::CreateIndexSql(db, def.name, key));
    detail::InsertObject(*m_impl, db, key.id, key.name, "PK", def.id);
    Sql q(*m_impl, "INSERT INTO " + Quote(db) +
                       ".sysconstraints (constid, id, colid, status) VALUES (?1, ?2, 0, ?3)");
    q.Bind(1, key.id).Bind(2, def.id).Bind(3, detail::kStatusPrimaryKey).Run();
    detail::InsertIndexRow(*m_impl, db, def.id, key);
}

void Catalog::AddDefault(const std::string& db, std::string_view table, std::string_view column,
                         DefaultDef dflt) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, CannotFind(table));
    int index = def.ColumnIndex(column);
    if (index < 0) {
        Fail("Column '" + S(column) + "' in table '" + def.name +
             "' is invalid for creating a default constraint.");
    }
    ColumnDef& target = def.columns[static_cast<size_t>(index)];
    if (target.identity) {
        Fail("Defaults cannot be created on columns with an IDENTITY attribute. Table '" +
             def.name + "', column '" + target.name + "'.");
    }
    if (target.def) Fail("Column already has a DEFAULT bound to it.");
    if (!dflt.name.empty()) {
        CheckName(dflt.name, "constraint");
        if (m_impl->ObjectNameTaken(db, dflt.name) || m_impl->TableExists(db, dflt.name)) {
            FailObjectExists(dflt.name);
        }
        dflt.systemNamed = false;
    }
    detail::DefaultLiteral(dflt, target.type);  // a constant that does not fit fails here

    ctx.Touch();
    const TableDef prev = def;
    ctx.NameDefault(def.name, target.name, dflt);
    target.def = dflt;
    ctx.Rebuild(prev, def, DdlContext::SameColumns(def));
    detail::InsertDefaultRows(*m_impl, db, def.id, index + 1, dflt);
}

void Catalog::DropConstraint(const std::string& db, std::string_view table, std::string_view name) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, CannotFind(table));
    for (ColumnDef& column : def.columns) {
        if (!column.def || !IEquals(column.def->name, name)) continue;
        ctx.Touch();
        const TableDef prev = def;
        int32_t id = column.def->id;
        column.def.reset();
        ctx.Rebuild(prev, def, DdlContext::SameColumns(def));
        detail::DeleteObjectRows(*m_impl, db, id);
        return;
    }
    for (const IndexDef& index : def.indexes) {
        if (!index.primaryKey || !IEquals(index.name, name)) continue;
        ctx.Touch();
        m_impl->Exec("DROP INDEX " + Quote(db) + "." + Quote(index.storageName));
        detail::DeleteObjectRows(*m_impl, db, index.id);
        Sql(*m_impl, "DELETE FROM " + Quote(db) + ".xr_indexes WHERE table_id = ?1 AND name = ?2")
            .Bind(1, def.id)
            .Bind(2, index.name)
            .Run();
        return;
    }
    Fail("'" + S(name) + "' is not a constraint.");
}

void Catalog::CreateIndex(const std::string& db, std::string_view table, IndexDef index) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, CannotFind(table));
    CheckName(index.name, "index");
    for (const IndexDef& existing : def.indexes) {
        if (IEquals(existing.name, index.name)) {
            Fail("The operation failed because an index or statistics with name '" + index.name +
                 "' already exists on table '" + def.name + "'.");
        }
    }
    index.columns = ctx.KeyColumns(def, index.columns, index.name);
    index.descending.resize(index.columns.size(), false);
    index.primaryKey = false;
    index.id = 0;
    if (index.unique) {
        if (auto duplicate = ctx.DuplicateKey(def, index.columns, index.filterSql)) {
            Fail(
                "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found "
                "for the object name 'dbo." +
                def.name + "' and the index name '" + index.name +
                "'. The duplicate key value is (" + *duplicate + ").");
        }
    }
    ctx.Touch();
    index.storageName = ctx.StorageIndexName(def.name, index.name);
    m_impl->Exec(detail::CreateIndexSql(db, def.name, index));
    detail::InsertIndexRow(*m_impl, db, def.id, index);
}

// ---- sp_rename ------------------------------------------------------------------------------

void Catalog::RenameColumn(const std::string& db, std::string_view table, std::string_view column,
                           std::string_view newName) {
    const std::string ambiguous =
        "Either the parameter @objname is ambiguous or the claimed @objtype (COLUMN) is wrong.";
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, ambiguous);
    int index = def.ColumnIndex(column);
    if (index < 0) Fail(ambiguous);
    CheckName(newName, "column");
    int other = def.ColumnIndex(newName);
    if (other >= 0 && other != index) {
        Fail("Error: The new name '" + S(newName) +
             "' is already in use as a COLUMN name and would cause a duplicate that is not "
             "permitted.");
    }
    const std::string oldName = def.columns[static_cast<size_t>(index)].name;
    if (oldName == newName) return;

    ctx.Touch();
    m_impl->Exec("ALTER TABLE " + ctx.Table(def) + " RENAME COLUMN " + Quote(oldName) + " TO " +
                 Quote(newName));
    Sql(*m_impl, "UPDATE " + Quote(db) + ".syscolumns SET name = ?1 WHERE id = ?2 AND colid = ?3")
        .Bind(1, newName)
        .Bind(2, def.id)
        .Bind(3, index + 1)
        .Run();
    // Keys and indexes follow the column; SQLite has already rewritten the
    // conditions of filtered indexes, so those are read back from its schema.
    for (IndexDef& idx : def.indexes) {
        if (!IndexUses(idx, oldName)) continue;
        for (std::string& name : idx.columns) {
            if (IEquals(name, oldName)) name = S(newName);
        }
        if (!idx.filterSql.empty()) {
            Sql q(*m_impl, "SELECT sql FROM " + Quote(db) +
                               ".sqlite_schema WHERE type = 'index' AND name = ?1");
            if (q.Bind(1, idx.storageName).Step()) {
                std::string sql = q.Text(0);
                size_t where = sql.find(") WHERE ");
                if (where != std::string::npos) idx.filterSql = sql.substr(where + 8);
            }
        }
        Sql(*m_impl, "UPDATE " + Quote(db) +
                         ".xr_indexes SET columns = ?1, filter = ?2 WHERE table_id = ?3 AND "
                         "storage_name = ?4")
            .Bind(1, detail::JoinNames(idx.columns))
            .Bind(2, idx.filterSql)
            .Bind(3, def.id)
            .Bind(4, idx.storageName)
            .Run();
    }
}

void Catalog::RenameTable(const std::string& db, std::string_view table, std::string_view newName) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    if (!m_impl->Find(db, table)) {
        // A view is renamed in the catalog alone: its query names no view.
        if (std::optional<ViewDef> view = FindView(db, table)) {
            CheckName(newName, "view");
            if (!IEquals(view->name, newName) &&
                (m_impl->ObjectNameTaken(db, newName) || m_impl->TableExists(db, newName))) {
                Fail("Error: The new name '" + S(newName) +
                     "' is already in use as a object name and would cause a duplicate that is "
                     "not permitted.");
            }
            ctx.Touch();
            Sql(*m_impl, "UPDATE " + Quote(db) + ".sysobjects SET name = ?2 WHERE id = ?1")
                .Bind(1, view->id)
                .Bind(2, newName)
                .Run();
            return;
        }
    }
    TableDef def = ctx.Require(table, "Invalid object name '" + S(table) + "'.");
    CheckName(newName, "table");
    if (def.name == newName) return;
    if (!IEquals(def.name, newName)) {
        if (m_impl->ObjectNameTaken(db, newName) || m_impl->TableExists(db, newName)) {
            Fail("Error: The new name '" + S(newName) +
                 "' is already in use as a object name and would cause a duplicate that is not "
                 "permitted.");
        }
        if (detail::IsReservedName(newName)) {
            Fail("The name '" + S(newName) + "' is reserved for the server's own tables.");
        }
    }
    ctx.Touch();
    if (IEquals(def.name, newName)) {
        // Only the case changes: SQLite sees the same name, so go through another.
        m_impl->Exec("ALTER TABLE " + ctx.Table(def) + " RENAME TO \"xr_rename\"");
        m_impl->Exec("ALTER TABLE " + Quote(db) + ".\"xr_rename\" RENAME TO " + Quote(newName));
    } else {
        m_impl->Exec("ALTER TABLE " + ctx.Table(def) + " RENAME TO " + Quote(newName));
    }
    Sql(*m_impl, "UPDATE " + Quote(db) + ".sysobjects SET name = ?1 WHERE id = ?2")
        .Bind(1, newName)
        .Bind(2, def.id)
        .Run();
}

}  // namespace xr::engine::sqlite

// ---- Views ----------------------------------------------------------------------------

namespace xr::engine::sqlite {

namespace {

void EnsureViewTable(detail::CatalogState& state, const std::string& db) {
    state.Exec("CREATE TABLE IF NOT EXISTS " + Quote(db) +
               ".xr_views (id INTEGER PRIMARY KEY, columns TEXT NOT NULL, text TEXT NOT NULL, "
               "definition TEXT, quoted_identifier INTEGER NOT NULL)");
}

}  // namespace

void Catalog::CreateView(const std::string& db, std::string_view name, const ViewDef& view,
                         const std::vector<ColumnDef>& columns, bool replace) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    CheckName(name, "view");
    int32_t id = 0;
    std::string stored = S(name);
    if (replace) {
        std::optional<ViewDef> old = FindView(db, name);
        if (!old) Fail("Invalid object name '" + S(name) + "'.");
        id = old->id;
        stored = old->name;
    } else if (m_impl->ObjectNameTaken(db, name) || m_impl->TableExists(db, name)) {
        FailObjectExists(name);
    } else if (detail::IsReservedName(name)) {
        Fail("The name '" + S(name) + "' is reserved for the server's own tables.");
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (IEquals(columns[j].name, columns[i].name)) {
                Fail("Column names in each view or function must be unique. Column name '" +
                     columns[i].name + "' in view or function '" + S(name) +
                     "' is specified more than once.");
            }
        }
    }
    ctx.Touch();
    EnsureViewTable(*m_impl, db);
    const std::string s = Quote(db) + ".";
    if (replace) {
        Sql(*m_impl, "DELETE FROM " + s + "syscolumns WHERE id = ?1").Bind(1, id).Run();
        Sql(*m_impl, "DELETE FROM " + s + "xr_views WHERE id = ?1").Bind(1, id).Run();
    } else {
        id = m_impl->NewObjectId(db);
        detail::InsertObject(*m_impl, db, id, stored, "V", 0);
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        ColumnDef column = columns[i];
        column.def.reset();
        column.identity = false;
        detail::InsertColumnRow(*m_impl, db, id, static_cast<int>(i) + 1, column);
    }
    Sql q(*m_impl,
          "INSERT INTO " + s +
              "xr_views (id, columns, text, definition, quoted_identifier) VALUES (?1, ?2, ?3, "
              "?4, ?5)");
    q.Bind(1, id).Bind(2, detail::JoinNames(view.columns)).Bind(3, view.query);
    q.Bind(5, view.quotedIdentifier ? 1 : 0);
    if (view.encrypted) {
        q.Bind(4, Value());
    } else {
        q.Bind(4, view.definition);
    }
    q.Run();
}

void Catalog::DropView(const std::string& db, std::string_view name) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    std::optional<ViewDef> view = FindView(db, name);
    if (!view && m_impl->Find(db, name)) {
        Fail("Cannot use DROP VIEW with '" + S(name) + "' because '" + S(name) +
             "' is a table. Use DROP TABLE.");
    }
    if (!view) {
        Fail("Cannot drop the view '" + S(name) +
             "', because it does not exist or you do not have permission.");
    }
    ctx.Touch();
    const std::string s = Quote(db) + ".";
    Sql(*m_impl, "DELETE FROM " + s + "sysobjects WHERE id = ?1").Bind(1, view->id).Run();
    Sql(*m_impl, "DELETE FROM " + s + "syscolumns WHERE id = ?1").Bind(1, view->id).Run();
    Sql(*m_impl, "DELETE FROM " + s + "xr_views WHERE id = ?1").Bind(1, view->id).Run();
}

std::optional<Catalog::ViewDef> Catalog::FindView(const std::string& db, std::string_view name) {
    if (!m_impl->HasCatalog(db) || !m_impl->TableExists(db, "xr_views")) return std::nullopt;
    Sql q(*m_impl, "SELECT o.id, o.name, v.columns, v.text, v.quoted_identifier FROM " + Quote(db) +
                       ".sysobjects o JOIN " + Quote(db) +
                       ".xr_views v ON v.id = o.id WHERE o.name = ?1 AND o.xtype = 'V '");
    if (!q.Bind(1, name).Step()) return std::nullopt;
    ViewDef view;
    view.id = static_cast<int32_t>(q.Int(0));
    view.name = q.Text(1);
    view.columns = detail::SplitNames(q.Text(2));
    view.query = q.Text(3);
    view.quotedIdentifier = q.Int(4) != 0;
    return view;
}

}  // namespace xr::engine::sqlite
