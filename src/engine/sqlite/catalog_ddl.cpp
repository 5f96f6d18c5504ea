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
#include <tuple>

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

void CheckName(std::string_view name, const char* what) { CheckObjectName(name, what); }

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

// Foreign keys and checks of `def` that name `column`.
void ConstraintsUsing(const TableDef& def, std::string_view column, std::vector<std::string>* out) {
    for (const ForeignKeyDef& fk : def.foreignKeys) {
        for (const std::string& name : fk.columns) {
            if (IEquals(name, column)) out->push_back(fk.name);
        }
    }
    for (const CheckDef& check : def.checks) {
        if (IEquals(check.column, column) || FilterUses(check.sql, column))
            out->push_back(check.name);
    }
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
    // but share one namespace with the tables in SQLite).
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
        if (!GuardReferenced(prev)) {
            Remake(prev, next, source);
            return;
        }
        try {
            Remake(prev, next, source);
        } catch (...) {
            sqlite3_exec(state.handle, "PRAGMA defer_foreign_keys = OFF", nullptr, nullptr,
                         nullptr);
            throw;
        }
        state.Exec("PRAGMA defer_foreign_keys = OFF");
    }

    void Remake(const TableDef& prev, const TableDef& next, const std::vector<int>& source) {
        if (!HasRows(prev)) {
            Recreate(prev, next);
            return;
        }
        std::optional<int64_t> counter = state.ReadSequence(db, prev.name);
        const std::string temp = "xr_rebuild";
        state.Exec("DROP TABLE IF EXISTS " + Quote(db) + "." + Quote(temp));
        state.Exec(detail::CreateTableSql(db, temp, next));

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
        // The rows were accepted once: a check turned off since, or added
        // WITH NOCHECK, does not refuse them now.
        state.Exec("PRAGMA ignore_check_constraints = ON");
        try {
            state.Exec("INSERT INTO " + Quote(db) + "." + Quote(temp) + " (" + targets +
                       ") SELECT " + values + " FROM " + Table(prev));
        } catch (...) {
            sqlite3_exec(state.handle, "PRAGMA ignore_check_constraints = OFF", nullptr, nullptr,
                         nullptr);
            throw;
        }
        state.Exec("PRAGMA ignore_check_constraints = OFF");
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
        state.Exec(detail::CreateTableSql(db, next.name, next));
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
        for (const IndexDef& index : table.indexes) MakeIndex(table, index);
    }

    void MakeIndex(const TableDef& table, const IndexDef& index) {
        state.Exec(detail::CreateIndexSql(db, table.name, index));
        std::string nulls = detail::NullKeyIndexSql(db, table, index);
        if (!nulls.empty()) state.Exec(nulls);
    }

    // The foreign keys of the database, from the catalog's rows: child table
    // id, parent table id, whether its delete and its update cascade.
    struct Link {
        int32_t child = 0, parent = 0;
        bool deleteActs = false, updateActs = false;
        std::string name;
        std::string columns;
    };
    std::vector<Link> Links() {
        std::vector<Link> links;
        if (!detail::HasConstraintTable(state, db)) return links;
        Sql q(state, "SELECT table_id, ref_table_id, on_delete, on_update, name, columns FROM " +
                         Quote(db) + ".xr_constraints WHERE kind = 'F'");
        while (q.Step()) {
            Link l;
            l.child = static_cast<int32_t>(q.Int(0));
            l.parent = static_cast<int32_t>(q.Int(1));
            l.deleteActs = q.Int(2) != 0;
            l.updateActs = q.Int(3) != 0;
            l.name = q.Text(4);
            l.columns = q.Text(5);
            links.push_back(std::move(l));
        }
        return links;
    }

    // Remaking a table means dropping it. With the engine's foreign keys on
    // (inside the caller's transaction) that deletes its rows first, which
    // would run the cascades of the keys that reference it: refused then.
    // Otherwise the keys are checked when the remade rows are in (true:
    // the caller turns that off again).
    bool GuardReferenced(const TableDef& table) {
        if (!detail::HasConstraintTable(state, db)) return false;
        {
            Sql q(state, "PRAGMA foreign_keys");
            if (!q.Step() || q.Int(0) == 0) return false;
        }
        for (const Link& l : Links()) {
            if (l.parent == table.id && l.child != table.id && (l.deleteActs || l.updateActs)) {
                Fail("The table '" + table.name +
                     "' is referenced by a cascading FOREIGN KEY constraint and cannot be "
                     "changed inside a transaction.");
            }
        }
        state.Exec("PRAGMA defer_foreign_keys = ON");
        return true;
    }

    // Column i of the rebuilt table comes from column i of the old one.
    static std::vector<int> SameColumns(const TableDef& def) {
        std::vector<int> source(def.columns.size());
        for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<int>(i);
        return source;
    }

    // A new table takes a name an index holds in the engine (index names are
    // per table on the server): the index is made again under another name.
    void MoveIndexAside(std::string_view name) {
        int32_t tableId = 0;
        std::string storage;
        {
            Sql q(state, "SELECT table_id, storage_name FROM " + Quote(db) +
                             ".xr_indexes WHERE storage_name = ?1 COLLATE NOCASE");
            if (!q.Bind(1, name).Step()) return;
            tableId = static_cast<int32_t>(q.Int(0));
            storage = q.Text(1);
        }
        std::string tableName;
        {
            Sql q(state, "SELECT name FROM " + Quote(db) + ".sysobjects WHERE id = ?1");
            if (!q.Bind(1, tableId).Step()) return;
            tableName = q.Text(0);
        }
        const TableDef* found = state.Find(db, tableName);
        if (!found) return;
        const TableDef table = *found;
        for (IndexDef index : table.indexes) {
            if (index.storageName != storage) continue;
            state.Exec("DROP INDEX " + Quote(db) + "." + Quote(storage));
            state.Exec("DROP INDEX IF EXISTS " + Quote(db) + "." + Quote(storage + "$null"));
            std::string base = table.name + "$" + index.name;
            index.storageName = base;
            for (int n = 2;
                 state.IndexNameUsed(db, index.storageName) || IEquals(index.storageName, name);
                 ++n) {
                index.storageName = base + "$" + std::to_string(n);
            }
            MakeIndex(table, index);
            Sql(state, "UPDATE " + Quote(db) +
                           ".xr_indexes SET storage_name = ?1 WHERE table_id = ?2 AND "
                           "storage_name = ?3")
                .Bind(1, index.storageName)
                .Bind(2, tableId)
                .Bind(3, storage)
                .Run();
            state.Forget(db);
            return;
        }
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
    if (m_impl->IndexNameUsed(db, name)) ctx.MoveIndexAside(name);
    m_impl->Exec(detail::CreateTableSql(db, name, columns));
    int32_t tableId = m_impl->NewObjectId(db);
    detail::InsertObject(*m_impl, db, tableId, name, "U", 0);
    for (const ColumnDef& column : columns) {
        if (!column.identity || (column.identitySeed == 1 && column.identityIncrement == 1))
            continue;
        // With a step of 1 the engine counts on from the value before the
        // seed; other identities are counted in the catalog (CountedIdentity).
        if (!column.CountedIdentity()) {
            TableDef made;
            made.name = S(name);
            ctx.RestoreCounter(made, column.identitySeed - 1);
        }
        for (const auto& [key, value] :
             {std::pair<const char*, int64_t>{"seed:", column.identitySeed},
              {"incr:", column.identityIncrement}}) {
            Sql(*m_impl,
                "INSERT OR REPLACE INTO " + Quote(db) + ".xr_meta (name, value) VALUES (?1, ?2)")
                .Bind(1, key + std::to_string(tableId))
                .Bind(2, value)
                .Run();
        }
    }
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
    if (id != 0) {
        for (const auto& link : ctx.Links()) {
            if (link.parent == id && link.child != id) {
                Fail("Could not drop object '" + tableName +
                     "' because it is referenced by a FOREIGN KEY constraint.");
            }
        }
    }
    ctx.Touch();
    m_impl->Exec("DROP TABLE " + Quote(db) + "." + Quote(tableName));
    if (id == 0) return;
    const std::string s = Quote(db) + ".";
    if (detail::HasConstraintTable(*m_impl, db)) {
        Sql(*m_impl, "DELETE FROM " + s + "xr_constraints WHERE table_id = ?1").Bind(1, id).Run();
    }
    Sql(*m_impl, "DELETE FROM " + s + "xr_meta WHERE name IN (?1, ?2, ?3)")
        .Bind(1, "seed:" + std::to_string(id))
        .Bind(2, "incr:" + std::to_string(id))
        .Bind(3, "ident:" + std::to_string(id))
        .Run();
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
    if (column.type.kind != target.type.kind) ConstraintsUsing(def, target.name, &dependents);
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
    ConstraintsUsing(def, target.name, &dependents);
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
        if (!(index.primaryKey || index.uniqueKey) || !IEquals(index.name, name)) continue;
        for (const auto& link : ctx.Links()) {
            if (link.parent != def.id) continue;
            const TableDef* child = m_impl->Find(db, ObjectName(db, link.child).value_or(""));
            if (!child) continue;
            for (const ForeignKeyDef& fk : child->foreignKeys) {
                if (fk.refTableId != def.id || fk.refColumns.size() != index.columns.size())
                    continue;
                bool same = true;
                for (size_t i = 0; i < fk.refColumns.size(); ++i)
                    same &= IEquals(fk.refColumns[i], index.columns[i]);
                if (same) {
                    Fail("The constraint '" + index.name + "' is being referenced by table '" +
                         child->name + "', foreign key constraint '" + fk.name +
                         "'. Could not drop constraint. See previous errors.");
                }
            }
        }
        ctx.Touch();
        m_impl->Exec("DROP INDEX IF EXISTS " + Quote(db) + "." +
                     Quote(index.storageName + "$null"));
        m_impl->Exec("DROP INDEX " + Quote(db) + "." + Quote(index.storageName));
        detail::DeleteObjectRows(*m_impl, db, index.id);
        Sql(*m_impl, "DELETE FROM " + Quote(db) + ".xr_indexes WHERE table_id = ?1 AND name = ?2")
            .Bind(1, def.id)
            .Bind(2, index.name)
            .Run();
        return;
    }
    auto dropRows = [&](int32_t id) {
        detail::DeleteObjectRows(*m_impl, db, id);
        Sql(*m_impl, "DELETE FROM " + Quote(db) + ".xr_constraints WHERE id = ?1")
            .Bind(1, id)
            .Run();
    };
    // A foreign key or a check of that name goes, and the table is remade without it.
    auto dropFrom = [&](auto& list) {
        for (size_t i = 0; i < list.size(); ++i) {
            if (!IEquals(list[i].name, name)) continue;
            ctx.Touch();
            const TableDef prev = def;
            const int32_t id = list[i].id;
            list.erase(list.begin() + static_cast<long>(i));
            ctx.Rebuild(prev, def, DdlContext::SameColumns(def));
            dropRows(id);
            return true;
        }
        return false;
    };
    if (dropFrom(def.foreignKeys) || dropFrom(def.checks)) return;
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
    if (index.uniqueKey) index.unique = true;
    if (index.unique) {
        if (auto duplicate = ctx.DuplicateKey(def, index.columns, index.filterSql)) {
            Fail(
                "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found "
                "for the object name 'dbo." +
                def.name + "' and the index name '" + index.name +
                "'. The duplicate key value is (" + *duplicate + ").");
        }
    }
    if (index.uniqueKey) {
        CheckName(index.name, "constraint");
        if (m_impl->ObjectNameTaken(db, index.name) || m_impl->TableExists(db, index.name)) {
            FailObjectExists(index.name);
        }
    }
    ctx.Touch();
    index.storageName = ctx.StorageIndexName(def.name, index.name);
    ctx.MakeIndex(def, index);
    if (index.uniqueKey) {
        index.id = m_impl->NewObjectId(db);
        detail::InsertObject(*m_impl, db, index.id, index.name, "UQ", def.id);
        Sql q(*m_impl, "INSERT INTO " + Quote(db) +
                           ".sysconstraints (constid, id, colid, status) VALUES (?1, ?2, 0, ?3)");
        q.Bind(1, index.id).Bind(2, def.id).Bind(3, detail::kStatusUniqueKey).Run();
    }
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
    for (const CheckDef& check : def.checks) {
        if (IEquals(check.column, oldName) || FilterUses(check.sql, oldName)) {
            Fail("The column '" + oldName + "' is used by the CHECK constraint '" + check.name +
                 "' and cannot be renamed while it is there.");
        }
    }

    ctx.Touch();
    m_impl->Exec("ALTER TABLE " + ctx.Table(def) + " RENAME COLUMN " + Quote(oldName) + " TO " +
                 Quote(newName));
    Sql(*m_impl, "UPDATE " + Quote(db) + ".syscolumns SET name = ?1 WHERE id = ?2 AND colid = ?3")
        .Bind(1, newName)
        .Bind(2, def.id)
        .Bind(3, index + 1)
        .Run();
    // The engine renamed the column in the foreign keys on both sides; the
    // catalog's rows follow.
    if (detail::HasConstraintTable(*m_impl, db)) {
        auto rename = [&](std::string list) {
            std::vector<std::string> names = detail::SplitNames(list);
            for (std::string& n : names) {
                if (IEquals(n, oldName)) n = S(newName);
            }
            return detail::JoinNames(names);
        };
        std::vector<std::tuple<int32_t, std::string, std::string>> rows;
        {
            Sql q(*m_impl, "SELECT id, columns, ref_columns FROM " + Quote(db) +
                               ".xr_constraints WHERE kind = 'F' AND (table_id = ?1 OR "
                               "ref_table_id = ?1)");
            q.Bind(1, def.id);
            while (q.Step())
                rows.emplace_back(static_cast<int32_t>(q.Int(0)), q.Text(1), q.Text(2));
        }
        for (const auto& [id, columns, refColumns] : rows) {
            Sql q(*m_impl, "SELECT table_id, ref_table_id FROM " + Quote(db) +
                               ".xr_constraints WHERE id = ?1");
            q.Bind(1, id);
            if (!q.Step()) continue;
            const bool mine = q.Int(0) == def.id, theirs = q.Int(1) == def.id;
            Sql(*m_impl, "UPDATE " + Quote(db) +
                             ".xr_constraints SET columns = ?1, ref_columns = ?2 WHERE id = ?3")
                .Bind(1, mine ? rename(columns) : columns)
                .Bind(2, theirs ? rename(refColumns) : refColumns)
                .Bind(3, id)
                .Run();
        }
    }
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
    if (!IEquals(def.name, newName) && m_impl->IndexNameUsed(db, newName))
        ctx.MoveIndexAside(newName);
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

// ---- Foreign keys and checks ------------------------------------------------------------

namespace {

std::string Conflict(const char* statement, const char* kind, std::string_view name,
                     const std::string& db, std::string_view table, std::string_view column) {
    std::string text = std::string("The ") + statement + " statement conflicted with the " + kind +
                       " constraint \"" + S(name) + "\". The conflict occurred in database \"" +
                       DatabaseName(db) + "\", table \"dbo." + S(table) + "\"";
    if (!column.empty()) text += ", column '" + S(column) + "'";
    return text + ".";
}

bool SameColumnSet(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    if (a.size() != b.size()) return false;
    for (const std::string& x : a) {
        bool found = false;
        for (const std::string& y : b) found |= IEquals(x, y);
        if (!found) return false;
    }
    return true;
}

// The first row of `def` whose key finds no referenced row, as a condition's text.
std::string OrphanQuery(const std::string& db, const TableDef& def, const ForeignKeyDef& fk) {
    std::string sql = "SELECT 1 FROM " + Quote(db) + "." + Quote(def.name) + " AS \"xr_c\" WHERE ";
    std::string match;
    for (size_t i = 0; i < fk.columns.size(); ++i) {
        sql += "\"xr_c\"." + Quote(fk.columns[i]) + " IS NOT NULL AND ";
        match += std::string(i ? " AND " : "") + "\"xr_p\"." + Quote(fk.refColumns[i]) +
                 " = \"xr_c\"." + Quote(fk.columns[i]);
    }
    return sql + "NOT EXISTS (SELECT 1 FROM " + Quote(db) + "." + Quote(fk.refTable) +
           " AS \"xr_p\" WHERE " + match + ") LIMIT 1";
}

}  // namespace

void Catalog::AddForeignKey(const std::string& db, std::string_view table, ForeignKeyDef fk,
                            bool checkExisting) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, CannotFind(table));
    int32_t id = m_impl->NewObjectId(db);
    // The server names an unnamed key by its first column in these messages.
    const std::string shown = !fk.name.empty()     ? fk.name
                              : fk.columns.empty() ? std::string()
                                                   : fk.columns.front();
    if (fk.name.empty()) {
        fk.name = "FK__" + def.name.substr(0, 9) + "__" +
                  (fk.columns.empty() ? std::string() : fk.columns[0].substr(0, 5)) + "__" +
                  Hex8(id);
    } else {
        CheckName(fk.name, "constraint");
        if (m_impl->ObjectNameTaken(db, fk.name) || m_impl->TableExists(db, fk.name))
            FailObjectExists(fk.name);
    }
    for (std::string& column : fk.columns) {
        const ColumnDef* c = def.FindColumn(column);
        if (!c) {
            Fail("Foreign key '" + shown + "' references invalid column '" + column +
                 "' in referencing table '" + def.name + "'.");
        }
        column = c->name;
    }
    const TableDef* parent = IEquals(fk.refTable, def.name) ? &def : m_impl->Find(db, fk.refTable);
    if (!parent || parent->id < kFirstUserId) {
        Fail("Foreign key '" + shown + "' references invalid table '" + fk.refTable + "'.");
    }
    fk.refTable = parent->name;
    fk.refTableId = parent->id;
    if (fk.refColumns.empty()) {
        const IndexDef* key = parent->PrimaryKey();
        if (key) fk.refColumns = key->columns;
    }
    for (std::string& column : fk.refColumns) {
        const ColumnDef* c = parent->FindColumn(column);
        if (!c) {
            Fail("Foreign key '" + shown + "' references invalid column '" + column +
                 "' in referenced table '" + parent->name + "'.");
        }
        column = c->name;
    }
    if (!fk.refColumns.empty() && fk.refColumns.size() != fk.columns.size()) {
        Fail(
            "Number of referencing columns in foreign key differs from number of referenced "
            "columns, table '" +
            def.name + "'.");
    }
    bool keyFound = false;
    for (const IndexDef& index : parent->indexes) {
        if (index.unique && index.filterSql.empty() && SameColumnSet(index.columns, fk.refColumns))
            keyFound = true;
    }
    if (!keyFound) {
        Fail("There are no primary or candidate keys in the referenced table '" + parent->name +
             "' that match the referencing column list in the foreign key '" + fk.name + "'.");
    }
    for (size_t i = 0; i < fk.columns.size(); ++i) {
        const ColumnDef* mine = def.FindColumn(fk.columns[i]);
        const ColumnDef* theirs = parent->FindColumn(fk.refColumns[i]);
        bool same =
            mine->type.kind == theirs->type.kind || (mine->type.IsText() && theirs->type.IsText());
        if (!same) {
            Fail("Column '" + parent->name + "." + theirs->name +
                 "' is not the same data type as referencing column '" + def.name + "." +
                 mine->name + "' in foreign key '" + fk.name + "'.");
        }
        if (fk.onDelete == RefAction::SetNull || fk.onUpdate == RefAction::SetNull) {
            if (mine->notNull) {
                Fail("Cannot create the foreign key \"" + fk.name +
                     "\" with the SET NULL referential action, because one or more referencing "
                     "columns are not nullable.");
            }
        }
    }
    // A table may appear once only among the tables a delete or an update
    // reaches through cascades.
    const bool deleteActs = fk.onDelete != RefAction::NoAction;
    const bool updateActs = fk.onUpdate != RefAction::NoAction;
    if (deleteActs || updateActs) {
        auto links = ctx.Links();
        DdlContext::Link mine;
        mine.child = def.id;
        mine.parent = parent->id;
        mine.deleteActs = deleteActs;
        mine.updateActs = updateActs;
        links.push_back(mine);
        for (int pass = 0; pass < 2; ++pass) {
            const bool del = pass == 0;
            if (del ? !deleteActs : !updateActs) continue;
            bool bad = def.id == parent->id;
            for (const auto& root : links) {
                if (bad) break;
                std::map<int32_t, int> seen;
                std::vector<int32_t> stack{root.parent};
                size_t steps = 0;
                while (!stack.empty() && !bad && ++steps < 100000) {
                    int32_t at = stack.back();
                    stack.pop_back();
                    for (const auto& l : links) {
                        if (l.parent != at || !(del ? l.deleteActs : l.updateActs)) continue;
                        if (++seen[l.child] > 1 || l.child == root.parent) bad = true;
                        stack.push_back(l.child);
                    }
                }
            }
            if (bad) {
                Fail("Introducing FOREIGN KEY constraint '" + fk.name + "' on table '" + def.name +
                     "' may cause cycles or multiple cascade paths. Specify ON DELETE NO ACTION "
                     "or ON UPDATE NO ACTION, or modify other FOREIGN KEY constraints.");
            }
        }
    }
    if (checkExisting) {
        Sql q(*m_impl, OrphanQuery(db, def, fk), false);
        if (q.Step()) {
            Fail(Conflict("ALTER TABLE", "FOREIGN KEY", fk.name, db, parent->name,
                          fk.refColumns.front()));
        }
    }
    ctx.Touch();
    fk.id = id;
    const TableDef prev = def;
    def.foreignKeys.push_back(fk);
    ctx.Rebuild(prev, def, DdlContext::SameColumns(def));
    detail::InsertConstraintRow(*m_impl, db, def.id,
                                fk.columnLevel ? def.ColumnIndex(fk.columns.front()) + 1 : 0, &fk,
                                nullptr);
}

void Catalog::AddCheck(const std::string& db, std::string_view table, CheckDef check,
                       bool checkExisting) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, CannotFind(table));
    int32_t id = m_impl->NewObjectId(db);
    if (check.name.empty()) {
        check.name = "CK__" + def.name.substr(0, 9) + "__" +
                     (check.column.empty() ? std::string() : check.column.substr(0, 5) + "__") +
                     Hex8(id);
    } else {
        CheckName(check.name, "constraint");
        if (m_impl->ObjectNameTaken(db, check.name) || m_impl->TableExists(db, check.name))
            FailObjectExists(check.name);
    }
    if (!check.column.empty()) {
        const ColumnDef* c = def.FindColumn(check.column);
        if (!c) Fail("Invalid column name '" + check.column + "'.");
        check.column = c->name;
    }
    if (checkExisting) {
        Sql q(*m_impl, "SELECT 1 FROM " + ctx.Table(def) + " WHERE NOT (" + check.sql + ") LIMIT 1",
              false);
        if (q.Step())
            Fail(Conflict("ALTER TABLE", "CHECK", check.name, db, def.name, check.column));
    }
    ctx.Touch();
    check.id = id;
    const TableDef prev = def;
    def.checks.push_back(check);
    ctx.Rebuild(prev, def, DdlContext::SameColumns(def));
    detail::InsertConstraintRow(*m_impl, db, def.id,
                                check.column.empty() ? 0 : def.ColumnIndex(check.column) + 1,
                                nullptr, &check);
}

void Catalog::EnableConstraints(const std::string& db, std::string_view table,
                                const std::vector<std::string>& names, bool enable,
                                bool checkExisting) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    TableDef def = ctx.Require(table, CannotFind(table));
    for (const std::string& name : names) {
        bool found = false;
        for (const ForeignKeyDef& fk : def.foreignKeys) found |= IEquals(fk.name, name);
        for (const CheckDef& check : def.checks) found |= IEquals(check.name, name);
        if (!found) Fail("Constraint '" + name + "' does not exist.");
    }
    auto named = [&](const std::string& name) {
        if (names.empty()) return true;
        for (const std::string& n : names) {
            if (IEquals(n, name)) return true;
        }
        return false;
    };
    const TableDef prev = def;
    std::vector<int32_t> changed;
    for (ForeignKeyDef& fk : def.foreignKeys) {
        if (!named(fk.name)) continue;
        if (enable && checkExisting) {
            Sql q(*m_impl, OrphanQuery(db, def, fk), false);
            if (q.Step()) {
                Fail(Conflict("ALTER TABLE", "FOREIGN KEY", fk.name, db, fk.refTable,
                              fk.refColumns.front()));
            }
        }
        if (fk.enabled != enable) changed.push_back(fk.id);
        fk.enabled = enable;
    }
    for (CheckDef& check : def.checks) {
        if (!named(check.name)) continue;
        if (enable && checkExisting) {
            Sql q(*m_impl,
                  "SELECT 1 FROM " + ctx.Table(def) + " WHERE NOT (" + check.sql + ") LIMIT 1",
                  false);
            if (q.Step())
                Fail(Conflict("ALTER TABLE", "CHECK", check.name, db, def.name, check.column));
        }
        if (check.enabled != enable) changed.push_back(check.id);
        check.enabled = enable;
    }
    if (changed.empty()) return;
    ctx.Touch();
    ctx.Rebuild(prev, def, DdlContext::SameColumns(def));
    for (int32_t id : changed) {
        Sql(*m_impl, "UPDATE " + Quote(db) + ".xr_constraints SET enabled = ?1 WHERE id = ?2")
            .Bind(1, enable ? 1 : 0)
            .Bind(2, id)
            .Run();
    }
}

void Catalog::DropIndex(const std::string& db, std::string_view table, std::string_view name) {
    DdlContext ctx{*m_impl, db};
    ForgetOnExit forget(*m_impl, db);
    ctx.Begin();
    const std::string missing = "Cannot drop the index '" + S(table) + "." + S(name) +
                                "', because it does not exist or you do not have permission.";
    TableDef def = ctx.Require(table, missing);
    for (const IndexDef& index : def.indexes) {
        if (!IEquals(index.name, name)) continue;
        if (index.primaryKey || index.uniqueKey) {
            Fail("An explicit DROP INDEX is not allowed on index '" + def.name + "." + index.name +
                 "'. It is being used for " + (index.primaryKey ? "PRIMARY KEY" : "UNIQUE KEY") +
                 " constraint enforcement.");
        }
        ctx.Touch();
        m_impl->Exec("DROP INDEX " + Quote(db) + "." + Quote(index.storageName));
        m_impl->Exec("DROP INDEX IF EXISTS " + Quote(db) + "." +
                     Quote(index.storageName + "$null"));
        Sql(*m_impl, "DELETE FROM " + Quote(db) + ".xr_indexes WHERE table_id = ?1 AND name = ?2")
            .Bind(1, def.id)
            .Bind(2, index.name)
            .Run();
        return;
    }
    Fail(missing);
}

void Catalog::Truncate(const std::string& db, std::string_view table) {
    DdlContext ctx{*m_impl, db};
    ctx.Begin();
    const TableDef* def = m_impl->Find(db, table);
    if (!def) Fail(CannotFind(table));
    const std::string name = def->name;
    const int32_t id = def->id;
    const ColumnDef* identity = def->IdentityColumn();
    const int64_t seed = identity ? identity->identitySeed : 1;
    for (const auto& link : ctx.Links()) {
        if (link.parent == id && link.child != id) {
            Fail("Cannot truncate table '" + name +
                 "' because it is being referenced by a FOREIGN KEY constraint.");
        }
    }
    const bool counted = identity && identity->CountedIdentity();
    m_impl->Exec("DELETE FROM " + Quote(db) + "." + Quote(name));
    if (counted) {
        Sql(*m_impl, "DELETE FROM " + Quote(db) + ".xr_meta WHERE name = ?1")
            .Bind(1, "ident:" + std::to_string(id))
            .Run();
        return;
    }
    if (!identity || !m_impl->TableExists(db, "sqlite_sequence")) return;
    // The identity starts again at its seed.
    Sql(*m_impl, "DELETE FROM " + Quote(db) + ".sqlite_sequence WHERE name = ?1")
        .Bind(1, name)
        .Run();
    if (seed != 1) {
        TableDef t;
        t.name = name;
        ctx.RestoreCounter(t, seed - 1);
    }
}

bool Catalog::HasForeignKeys(const std::string& db) {
    return detail::HasConstraintTable(*m_impl, db);
}

void Catalog::KeepIdentity(const std::string& db, std::string_view table, int64_t value) {
    const TableDef* def = m_impl->Find(db, table);
    if (!def || !def->IdentityColumn()) return;
    if (def->IdentityColumn()->CountedIdentity()) {
        const int64_t step = def->IdentityColumn()->identityIncrement;
        const std::string key = "ident:" + std::to_string(def->id);
        {
            Sql q(*m_impl, "SELECT value FROM " + Quote(db) + ".xr_meta WHERE name = ?1");
            if (q.Bind(1, key).Step() && (step > 0 ? q.Int(0) >= value : q.Int(0) <= value)) return;
        }
        detail::WriteMeta(*m_impl, db, key, value);
        return;
    }
    std::optional<int64_t> current = m_impl->ReadSequence(db, def->name);
    if (current && *current >= value) return;
    DdlContext ctx{*m_impl, db};
    ctx.RestoreCounter(*def, value);
}

void Catalog::Reseed(const std::string& db, std::string_view table, std::optional<int64_t> value) {
    DdlContext ctx{*m_impl, db};
    ctx.Begin();
    const TableDef* def = m_impl->Find(db, table);
    if (!def) {
        Fail("Cannot find a table or object with the name \"" + S(table) +
             "\". Check the system catalog.");
    }
    const ColumnDef* identity = def->IdentityColumn();
    if (!identity) Fail("'" + def->name + "' does not contain an identity column.");
    const std::string name = def->name;
    const std::string column = identity->name;
    const int64_t seed = identity->identitySeed;
    if (identity->CountedIdentity()) {
        const int64_t step = identity->identityIncrement;
        const std::string key = "ident:" + std::to_string(def->id);
        std::optional<int64_t> now;
        {
            Sql q(*m_impl, "SELECT value FROM " + Quote(db) + ".xr_meta WHERE name = ?1");
            if (q.Bind(1, key).Step()) now = q.Int(0);
        }
        int64_t target = 0;
        if (value) {
            // Nothing generated since the table was made or emptied: the next row takes the value.
            target = now ? *value : *value - step;
        } else {
            Sql q(*m_impl,
                  std::string("SELECT ") + (step > 0 ? "max(" : "min(") + Quote(column) +
                      ") FROM " + Quote(db) + "." + Quote(name),
                  false);
            if (!q.Step() || q.IsNull(0)) return;
            const int64_t edge = q.Int(0);
            if (now && (step > 0 ? *now >= edge : *now <= edge)) return;
            target = edge;
        }
        detail::WriteMeta(*m_impl, db, key, target);
        return;
    }
    std::optional<int64_t> current = m_impl->ReadSequence(db, name);
    int64_t target = 0;
    if (value) {
        // Nothing generated since the table was made or emptied: the next row takes the value.
        target = !current || *current < seed ? *value - 1 : *value;
    } else {
        Sql q(*m_impl, "SELECT max(" + Quote(column) + ") FROM " + Quote(db) + "." + Quote(name),
              false);
        int64_t max = q.Step() && !q.IsNull(0) ? q.Int(0) : 0;
        if (current && *current >= max) return;
        target = max;
    }
    Sql(*m_impl, "DELETE FROM " + Quote(db) + ".sqlite_sequence WHERE name = ?1")
        .Bind(1, name)
        .Run();
    Sql(*m_impl, "INSERT INTO " + Quote(db) + ".sqlite_sequence (name, seq) VALUES (?1, ?2)")
        .Bind(1, name)
        .Bind(2, target)
        .Run();
}

// ---- Conflicts of data changes ---------------------------------------------------------

namespace {

// A quoted name at `at` ("a""b" -> a"b); advances past it.
std::string TakeQuoted(std::string_view sql, size_t& at) {
    std::string name;
    if (at >= sql.size() || sql[at] != '"') return name;
    for (++at; at < sql.size(); ++at) {
        if (sql[at] == '"') {
            if (at + 1 < sql.size() && sql[at + 1] == '"') {
                name += '"';
                ++at;
                continue;
            }
            ++at;
            break;
        }
        name += sql[at];
    }
    return name;
}

}  // namespace

std::string Catalog::ConflictMessage(bool check, const std::string& engineMessage,
                                     std::string_view sql) {
    const char* statement = nullptr;
    size_t at = 0;
    for (const char* head : {"INSERT INTO ", "UPDATE ", "DELETE FROM "}) {
        std::string_view h(head);
        if (sql.substr(0, h.size()) == h) {
            statement = head[0] == 'I' ? "INSERT" : head[0] == 'U' ? "UPDATE" : "DELETE";
            at = h.size();
        }
    }
    std::string generic = check ? "The statement conflicted with a CHECK constraint."
                                : "The statement conflicted with a FOREIGN KEY constraint.";
    if (!statement) return generic;
    std::string db = TakeQuoted(sql, at);
    if (at >= sql.size() || sql[at] != '.') return generic;
    ++at;
    std::string table = TakeQuoted(sql, at);
    try {
        const TableDef* def = m_impl->Find(db, table);
        if (!def) return generic;
        if (check) {
            size_t colon = engineMessage.find(": ");
            std::string name = colon == std::string::npos ? "" : engineMessage.substr(colon + 2);
            for (const CheckDef& c : def->checks) {
                if (IEquals(c.name, name))
                    return Conflict(statement, "CHECK", c.name, db, def->name, c.column);
            }
            return generic;
        }
        // The target's own keys fail an INSERT, and an UPDATE of their columns.
        std::string_view sets = sql.substr(at);
        size_t where = sets.find(" WHERE ");
        if (where != std::string_view::npos) sets = sets.substr(0, where);
        for (const ForeignKeyDef& fk : def->foreignKeys) {
            if (!fk.enabled || fk.refColumns.empty()) continue;
            bool touched = statement[0] == 'I';
            for (const std::string& column : fk.columns)
                touched |= sets.find(Quote(column) + "=") != std::string_view::npos;
            if (touched)
                return Conflict(statement, "FOREIGN KEY", fk.name, db, fk.refTable,
                                fk.refColumns.front());
        }
        // Else the rows of another table still refer to the target's rows.
        DdlContext ctx{*m_impl, db};
        for (const auto& link : ctx.Links()) {
            if (link.parent != def->id) continue;
            auto childName = ObjectName(db, link.child);
            const TableDef* child = childName ? m_impl->Find(db, *childName) : nullptr;
            if (!child) continue;
            for (const ForeignKeyDef& fk : child->foreignKeys) {
                if (fk.refTableId != def->id || !fk.enabled || fk.columns.empty()) continue;
                RefAction action = statement[0] == 'D' ? fk.onDelete : fk.onUpdate;
                if (action != RefAction::NoAction) continue;
                return Conflict(statement, "REFERENCE", fk.name, db, child->name,
                                fk.columns.front());
            }
        }
    } catch (const ComError&) {
    }
    return generic;
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
    Sql q(*m_impl,
          "SELECT o.id, o.name, v.columns, v.text, v.quoted_identifier, v.definition FROM " +
              Quote(db) + ".sysobjects o JOIN " + Quote(db) +
              ".xr_views v ON v.id = o.id WHERE o.name = ?1 AND o.xtype = 'V '");
    if (!q.Bind(1, name).Step()) return std::nullopt;
    ViewDef view;
    view.id = static_cast<int32_t>(q.Int(0));
    view.name = q.Text(1);
    view.columns = detail::SplitNames(q.Text(2));
    view.query = q.Text(3);
    view.quotedIdentifier = q.Int(4) != 0;
    view.encrypted = q.IsNull(5);
    if (!view.encrypted) view.definition = q.Text(5);
    return view;
}

}  // namespace xr::engine::sqlite
