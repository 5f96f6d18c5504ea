#include "engine/postgres/pg_constraints.h"

#include <map>

#include "engine/postgres/pg_backend.h"
#include "engine/postgres/pg_catalog.h"
#include "engine/system_tables.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::postgres {

namespace {

using tsql::CheckDef;
using tsql::ColumnDef;
using tsql::ForeignKeyDef;
using tsql::IndexDef;
using tsql::RefAction;
using tsql::TableDef;

constexpr int32_t kFirstUserId = 100;  // ids below belong to the system tables

[[noreturn]] void Fail(const std::string& message) {
    throw ComError(DB_E_ERRORSINCOMMAND, message);
}

std::string S(std::string_view s) { return std::string(s); }

std::string Hex8(int32_t v) { return Format("%08X", static_cast<uint32_t>(v)); }

std::string CannotFind(std::string_view table) {
    return "Cannot find the object \"" + S(table) +
           "\" because it does not exist or you do not have permissions.";
}

std::string DatabaseOf(const std::string& db) { return db == "main" ? "master" : db; }

void CheckName(std::string_view name) { CheckObjectName(name, "constraint"); }

std::string Table(const std::string& db, std::string_view name) {
    return Quote(db) + "." + Quote(name);
}

std::string T(const std::string& db, const char* table) { return Quote(db) + "." + table; }

std::string Conflict(const std::string& statement, const char* kind, std::string_view name,
                     const std::string& database, std::string_view table, std::string_view column) {
    std::string text = "The " + statement + " statement conflicted with the " + kind +
                       " constraint \"" + S(name) + "\". The conflict occurred in database \"" +
                       database + "\", table \"dbo." + S(table) + "\"";
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

// The storage names of a key's triggers and functions, and of a check.
std::string FkName(int32_t id) { return "xr_fk_" + Hex8(id); }
std::string CheckStorage(int32_t id) { return "xr_ck_" + Hex8(id); }

struct FkLink {
    int32_t id = 0, child = 0, parent = 0;
    bool deleteActs = false, updateActs = false;
    std::string name, childName, refColumns;
};

std::vector<FkLink> Links(PgLink& link, const std::string& db) {
    std::vector<FkLink> links;
    for (auto& r : link.Select("SELECT c.id, c.table_id, c.ref_table_id, c.on_delete, c.on_update, "
                               "c.name, o.name, c.ref_columns FROM " +
                               T(db, "xr_constraints") + " c JOIN " + T(db, "sysobjects") +
                               " o ON o.id = c.table_id WHERE c.kind = 'F' ORDER BY c.xr_rowid")) {
        FkLink l;
        l.id = std::stoi(r[0]);
        l.child = std::stoi(r[1]);
        l.parent = std::stoi(r[2]);
        l.deleteActs = r[3] != "0";
        l.updateActs = r[4] != "0";
        l.name = r[5];
        l.childName = r[6];
        l.refColumns = r[7];
        links.push_back(std::move(l));
    }
    return links;
}

// The first row of `def` whose key finds no referenced row.
std::string OrphanQuery(const std::string& db, const TableDef& def, const TableDef& parent,
                        const ForeignKeyDef& fk) {
    std::string sql = "SELECT 1 FROM " + Table(db, def.name) + " AS xr_c WHERE ";
    std::string match;
    for (size_t i = 0; i < fk.columns.size(); ++i) {
        const ColumnDef* c = def.FindColumn(fk.columns[i]);
        const ColumnDef* p = parent.FindColumn(fk.refColumns[i]);
        const bool text = c->type.IsText();
        const std::string mine = "xr_c." + Quote(c->name), theirs = "xr_p." + Quote(p->name);
        sql += mine + " IS NOT NULL AND ";
        match += std::string(i ? " AND " : "") + (text ? TextKey(theirs) : theirs) + " = " +
                 (text ? TextKey(mine) : mine);
    }
    return sql + "NOT EXISTS (SELECT 1 FROM " + Table(db, parent.name) + " AS xr_p WHERE " + match +
           ") LIMIT 1";
}

std::string Raise(const std::string& constraint, const char* kind) {
    return "RAISE EXCEPTION USING ERRCODE = '23503', MESSAGE = 'The ' || TG_OP || ' statement "
           "conflicted with the " +
           std::string(kind) + " constraint.', CONSTRAINT = '" + constraint +
           "', SCHEMA = TG_TABLE_SCHEMA, TABLE = TG_TABLE_NAME;";
}

// The functions of a key's two triggers, over the tables as they are named now.
void MakeFunctions(PgLink& link, const std::string& db, const TableDef& child,
                   const TableDef& parent, const ForeignKeyDef& fk) {
    // The referenced row found is locked against deletion and key changes
    // until the transaction ends, as PostgreSQL's own foreign keys lock it:
    // a session removing it meanwhile waits, then finds the new reference.
    const std::string base = FkName(fk.id);
    const std::string childT = Table(db, child.name), parentT = Table(db, parent.name);
    std::string notNull, findParent, findChildren, sameKey, oldNull, stillThere, setNew, setNull,
        setDefault;
    for (size_t i = 0; i < fk.columns.size(); ++i) {
        const ColumnDef* c = child.FindColumn(fk.columns[i]);
        const ColumnDef* p = parent.FindColumn(fk.refColumns[i]);
        if (!c || !p) return;
        const bool text = c->type.IsText();
        auto key = [&](const std::string& x) { return text ? TextKey(x) : x; };
        const std::string cn = Quote(c->name), pn = Quote(p->name);
        const char* andSep = i ? " AND " : "";
        const char* comma = i ? ", " : "";
        notNull += "NEW." + cn + " IS NOT NULL AND ";
        findParent += andSep + key("xr_p." + pn) + " = " + key("NEW." + cn);
        findChildren += andSep + key("xr_c." + cn) + " = " + key("OLD." + pn);
        sameKey += andSep + key("NEW." + pn) + " IS NOT DISTINCT FROM " + key("OLD." + pn);
        oldNull += std::string(i ? " OR " : "") + "OLD." + pn + " IS NULL";
        stillThere += andSep + key("xr_q." + pn) + " = " + key("OLD." + pn);
        setNew += comma + cn + " = NEW." + pn;
        setNull += comma + cn + " = NULL";
        setDefault += comma + cn + " = DEFAULT";
    }
    link.Exec("CREATE OR REPLACE FUNCTION " + Quote(db) + "." + Quote(base + "_c") +
              "() RETURNS trigger LANGUAGE plpgsql AS $xr$ BEGIN IF " + notNull +
              "TRUE THEN PERFORM 1 FROM " + parentT + " AS xr_p WHERE " + findParent +
              " FOR KEY SHARE OF xr_p; IF NOT FOUND THEN " + Raise(base + "_c", "FOREIGN KEY") +
              " END IF; END IF; RETURN NULL; END $xr$");
    auto action = [&](RefAction a, bool del) -> std::string {
        const std::string where = " AS xr_c WHERE " + findChildren + ";";
        switch (a) {
            case RefAction::Cascade:
                return del ? "DELETE FROM " + childT + where
                           : "UPDATE " + childT + " AS xr_c SET " + setNew + " WHERE " +
                                 findChildren + ";";
            case RefAction::SetNull:
                return "UPDATE " + childT + " AS xr_c SET " + setNull + " WHERE " + findChildren +
                       ";";
            case RefAction::SetDefault:
                return "UPDATE " + childT + " AS xr_c SET " + setDefault + " WHERE " +
                       findChildren + ";";
            case RefAction::NoAction:
                break;
        }
        // Refused while rows still refer to the key, unless another row
        // of the statement's took it over.
        return "IF NOT EXISTS (SELECT 1 FROM " + parentT + " AS xr_q WHERE " + stillThere +
               ") AND EXISTS (SELECT 1 FROM " + childT + where.substr(0, where.size() - 1) +
               ") THEN " + Raise(base + "_p", "REFERENCE") + " END IF;";
    };
    link.Exec("CREATE OR REPLACE FUNCTION " + Quote(db) + "." + Quote(base + "_p") +
              "() RETURNS trigger LANGUAGE plpgsql AS $xr$ BEGIN IF TG_OP = 'UPDATE' AND " +
              sameKey + " THEN RETURN NULL; END IF; IF " + oldNull +
              " THEN RETURN NULL; END IF; IF TG_OP = 'DELETE' THEN " + action(fk.onDelete, true) +
              " ELSE " + action(fk.onUpdate, false) + " END IF; RETURN NULL; END $xr$");
}

std::string ColumnList(const TableDef& def, const std::vector<std::string>& columns) {
    std::string out;
    for (size_t i = 0; i < columns.size(); ++i) {
        const ColumnDef* c = def.FindColumn(columns[i]);
        out += (i ? ", " : "") + Quote(c ? c->name : columns[i]);
    }
    return out;
}

void EnableTriggers(PgLink& link, const std::string& db, const TableDef& child,
                    const TableDef& parent, const ForeignKeyDef& fk, bool enable) {
    const char* verb = enable ? " ENABLE TRIGGER " : " DISABLE TRIGGER ";
    link.Exec("ALTER TABLE " + Table(db, child.name) + verb + Quote(FkName(fk.id) + "_c"));
    link.Exec("ALTER TABLE " + Table(db, parent.name) + verb + Quote(FkName(fk.id) + "_p"));
}

void MakeTriggers(PgLink& link, const std::string& db, const TableDef& child,
                  const TableDef& parent, const ForeignKeyDef& fk) {
    MakeFunctions(link, db, child, parent, fk);
    const std::string base = FkName(fk.id);
    link.Exec("CREATE TRIGGER " + Quote(base + "_c") + " AFTER INSERT OR UPDATE OF " +
              ColumnList(child, fk.columns) + " ON " + Table(db, child.name) +
              " FOR EACH ROW EXECUTE FUNCTION " + Quote(db) + "." + Quote(base + "_c") + "()");
    link.Exec("CREATE TRIGGER " + Quote(base + "_p") + " AFTER DELETE OR UPDATE OF " +
              ColumnList(parent, fk.refColumns) + " ON " + Table(db, parent.name) +
              " FOR EACH ROW EXECUTE FUNCTION " + Quote(db) + "." + Quote(base + "_p") + "()");
    if (!fk.enabled) EnableTriggers(link, db, child, parent, fk, false);
}

// Dropping the functions takes their triggers along.
void DropTriggers(PgLink& link, const std::string& db, int32_t id) {
    for (const char* side : {"_c", "_p"})
        link.Exec("DROP FUNCTION IF EXISTS " + Quote(db) + "." + Quote(FkName(id) + side) +
                  "() CASCADE");
}

void InsertConstraintRow(Catalog& catalog, const std::string& db, const TableDef& def,
                         const ForeignKeyDef* fk, const CheckDef* check) {
    PgLink& link = catalog.Link();
    if (fk) {
        link.Defer("INSERT INTO " + T(db, "xr_constraints") +
                       " (id, table_id, kind, name, columns, ref_table_id, ref_columns, "
                       "on_delete, on_update, enabled, column_level, text, sql) VALUES ($1, $2, "
                       "'F', $3, $4, $5, $6, $7, $8, $9, $10, '', '')",
                   {std::to_string(fk->id), std::to_string(def.id), fk->name,
                    JoinNames(fk->columns), std::to_string(fk->refTableId),
                    JoinNames(fk->refColumns), std::to_string(static_cast<int>(fk->onDelete)),
                    std::to_string(static_cast<int>(fk->onUpdate)), fk->enabled ? "1" : "0",
                    fk->columnLevel ? "1" : "0"});
    } else {
        link.Defer("INSERT INTO " + T(db, "xr_constraints") +
                       " (id, table_id, kind, name, columns, ref_table_id, ref_columns, "
                       "on_delete, on_update, enabled, column_level, text, sql) VALUES ($1, $2, "
                       "'C', $3, $4, 0, '', 0, 0, $5, $6, $7, $8)",
                   {std::to_string(check->id), std::to_string(def.id), check->name, check->column,
                    check->enabled ? "1" : "0", check->column.empty() ? "0" : "1", check->text,
                    check->sql});
    }
    const bool columnLevel = fk ? fk->columnLevel : !check->column.empty();
    const std::string& first = fk ? fk->columns.front() : check->column;
    const int colid = columnLevel ? def.ColumnIndex(first) + 1 : 0;
    catalog.InsertObjectRows(db, fk ? fk->id : check->id, fk ? fk->name : check->name,
                             fk ? "F" : "C", def.id, colid,
                             (fk ? kStatusForeignKey : kStatusCheck) + (columnLevel ? 16 : 32));
}

void DeleteConstraintRows(PgLink& link, const std::string& db, int32_t id) {
    const std::vector<std::string> p = {std::to_string(id)};
    link.Select("DELETE FROM " + T(db, "xr_constraints") + " WHERE id = $1", p);
    link.Select("DELETE FROM " + T(db, "sysobjects") + " WHERE id = $1", p);
    link.Select("DELETE FROM " + T(db, "sysconstraints") + " WHERE constid = $1", p);
}

bool HasViolation(PgLink& link, const std::string& sql) { return !link.Select(sql).empty(); }

std::string CheckViolation(const std::string& db, const TableDef& def, const CheckDef& check) {
    return "SELECT 1 FROM " + Table(db, def.name) + " WHERE NOT (" + check.sql + ") LIMIT 1";
}

void AddCheckConstraint(PgLink& link, const std::string& db, const TableDef& def,
                        const CheckDef& check) {
    link.Exec("ALTER TABLE " + Table(db, def.name) + " ADD CONSTRAINT " +
              Quote(CheckStorage(check.id)) + " CHECK (" + check.sql + ") NOT VALID");
}

}  // namespace

std::string ConstraintTableSql(const std::string& db) {
    return "CREATE TABLE IF NOT EXISTS " + T(db, "xr_constraints") +
           " (id integer NOT NULL, table_id integer NOT NULL, kind text NOT NULL, name text NOT "
           "NULL, columns text NOT NULL, ref_table_id integer NOT NULL, ref_columns text NOT "
           "NULL, on_delete integer NOT NULL, on_update integer NOT NULL, enabled integer NOT "
           "NULL, column_level integer NOT NULL, text text NOT NULL, sql text NOT NULL, "
           "\"xr_rowid\" bigint GENERATED ALWAYS AS IDENTITY); CREATE INDEX IF NOT EXISTS "
           "xr_constraints_table ON " +
           T(db, "xr_constraints") + " (table_id)";
}

void ReadConstraints(PgLink& link, const std::string& db, TableDef& def) {
    for (auto& r : link.Select(
             "SELECT c.id, c.kind, c.name, c.columns, c.ref_table_id, o.name, c.ref_columns, "
             "c.on_delete, c.on_update, c.enabled, c.column_level, c.text, c.sql FROM " +
                 T(db, "xr_constraints") + " c LEFT JOIN " + T(db, "sysobjects") +
                 " o ON o.id = c.ref_table_id AND c.kind = 'F' WHERE c.table_id = $1 ORDER BY "
                 "c.xr_rowid",
             {std::to_string(def.id)})) {
        if (r[1] == "F") {
            ForeignKeyDef fk;
            fk.id = std::stoi(r[0]);
            fk.name = r[2];
            fk.columns = SplitNames(r[3]);
            fk.refTableId = std::stoi(r[4]);
            fk.refTable = r[5].empty() ? def.name : r[5];
            fk.refColumns = SplitNames(r[6]);
            fk.onDelete = static_cast<RefAction>(std::stoi(r[7]));
            fk.onUpdate = static_cast<RefAction>(std::stoi(r[8]));
            fk.enabled = r[9] != "0";
            fk.columnLevel = r[10] != "0";
            def.foreignKeys.push_back(std::move(fk));
        } else {
            CheckDef check;
            check.id = std::stoi(r[0]);
            check.name = r[2];
            check.column = r[3];
            check.enabled = r[9] != "0";
            check.text = r[11];
            check.sql = r[12];
            def.checks.push_back(std::move(check));
        }
    }
}

void ConstraintsUsing(const TableDef& def, std::string_view column, std::vector<std::string>* out) {
    for (const ForeignKeyDef& fk : def.foreignKeys) {
        for (const std::string& name : fk.columns)
            if (IEquals(name, column)) out->push_back(fk.name);
    }
    for (const CheckDef& check : def.checks) {
        if (IEquals(check.column, column) || check.sql.find(Quote(column)) != std::string::npos)
            out->push_back(check.name);
    }
}

void Catalog::AddForeignKey(const std::string& db, std::string_view table, ForeignKeyDef fk,
                            bool checkExisting) {
    Serialize(db);
    const TableDef* found = FindTable(db, table);
    if (!found) Fail(CannotFind(table));
    const TableDef def = *found;
    PgLink& link = Link();
    const int32_t id = NewObjectId(db);
    // The server names an unnamed key by its first column in these messages.
    const std::string shown = !fk.name.empty()     ? fk.name
                              : fk.columns.empty() ? std::string()
                                                   : fk.columns.front();
    if (fk.name.empty()) {
        fk.name = "FK__" + def.name.substr(0, 9) + "__" +
                  (fk.columns.empty() ? std::string() : fk.columns[0].substr(0, 5)) + "__" +
                  Hex8(id);
    } else {
        CheckName(fk.name);
        if (ObjectExists(db, fk.name))
            Fail("There is already an object named '" + fk.name + "' in the database.");
    }
    for (std::string& column : fk.columns) {
        const ColumnDef* c = def.FindColumn(column);
        if (!c)
            Fail("Foreign key '" + shown + "' references invalid column '" + column +
                 "' in referencing table '" + def.name + "'.");
        column = c->name;
    }
    const TableDef* parentFound =
        IEquals(fk.refTable, def.name) ? &def : FindTable(db, fk.refTable);
    if (!parentFound || parentFound->id < kFirstUserId || !parentFound->viewSql.empty())
        Fail("Foreign key '" + shown + "' references invalid table '" + fk.refTable + "'.");
    const TableDef parent = *parentFound;
    fk.refTable = parent.name;
    fk.refTableId = parent.id;
    if (fk.refColumns.empty()) {
        if (const IndexDef* key = parent.PrimaryKey()) fk.refColumns = key->columns;
    }
    for (std::string& column : fk.refColumns) {
        const ColumnDef* c = parent.FindColumn(column);
        if (!c)
            Fail("Foreign key '" + shown + "' references invalid column '" + column +
                 "' in referenced table '" + parent.name + "'.");
        column = c->name;
    }
    if (!fk.refColumns.empty() && fk.refColumns.size() != fk.columns.size())
        Fail(
            "Number of referencing columns in foreign key differs from number of referenced "
            "columns, table '" +
            def.name + "'.");
    bool keyFound = false;
    for (const IndexDef& index : parent.indexes) {
        if (index.unique && index.filterSql.empty() && SameColumnSet(index.columns, fk.refColumns))
            keyFound = true;
    }
    if (!keyFound)
        Fail("There are no primary or candidate keys in the referenced table '" + parent.name +
             "' that match the referencing column list in the foreign key '" + fk.name + "'.");
    for (size_t i = 0; i < fk.columns.size(); ++i) {
        const ColumnDef* mine = def.FindColumn(fk.columns[i]);
        const ColumnDef* theirs = parent.FindColumn(fk.refColumns[i]);
        const bool same =
            mine->type.kind == theirs->type.kind || (mine->type.IsText() && theirs->type.IsText());
        if (!same)
            Fail("Column '" + parent.name + "." + theirs->name +
                 "' is not the same data type as referencing column '" + def.name + "." +
                 mine->name + "' in foreign key '" + fk.name + "'.");
        if ((fk.onDelete == RefAction::SetNull || fk.onUpdate == RefAction::SetNull) &&
            mine->notNull)
            Fail("Cannot create the foreign key \"" + fk.name +
                 "\" with the SET NULL referential action, because one or more referencing "
                 "columns are not nullable.");
    }
    // A table may appear once only among the tables a delete or an update
    // reaches through cascades.
    const bool deleteActs = fk.onDelete != RefAction::NoAction;
    const bool updateActs = fk.onUpdate != RefAction::NoAction;
    if (deleteActs || updateActs) {
        std::vector<struct FkLink> links = Links(link, db);
        struct FkLink mine;
        mine.child = def.id;
        mine.parent = parent.id;
        mine.deleteActs = deleteActs;
        mine.updateActs = updateActs;
        links.push_back(mine);
        for (int pass = 0; pass < 2; ++pass) {
            const bool del = pass == 0;
            if (del ? !deleteActs : !updateActs) continue;
            bool bad = def.id == parent.id;
            for (const auto& root : links) {
                if (bad) break;
                std::map<int32_t, int> seen;
                std::vector<int32_t> stack{root.parent};
                size_t steps = 0;
                while (!stack.empty() && !bad && ++steps < 100000) {
                    const int32_t at = stack.back();
                    stack.pop_back();
                    for (const auto& l : links) {
                        if (l.parent != at || !(del ? l.deleteActs : l.updateActs)) continue;
                        if (++seen[l.child] > 1 || l.child == root.parent) bad = true;
                        stack.push_back(l.child);
                    }
                }
            }
            if (bad)
                Fail("Introducing FOREIGN KEY constraint '" + fk.name + "' on table '" + def.name +
                     "' may cause cycles or multiple cascade paths. Specify ON DELETE NO ACTION "
                     "or ON UPDATE NO ACTION, or modify other FOREIGN KEY constraints.");
        }
    }
    if (checkExisting && HasViolation(link, OrphanQuery(db, def, parent, fk)))
        Fail(Conflict("ALTER TABLE", "FOREIGN KEY", fk.name, DatabaseOf(db), parent.name,
                      fk.refColumns.front()));
    fk.id = id;
    MakeTriggers(link, db, def, parent, fk);
    InsertConstraintRow(*this, db, def, &fk, nullptr);
    Changed(db);
}

void Catalog::AddCheck(const std::string& db, std::string_view table, CheckDef check,
                       bool checkExisting) {
    Serialize(db);
    const TableDef* found = FindTable(db, table);
    if (!found) Fail(CannotFind(table));
    const TableDef def = *found;
    PgLink& link = Link();
    const int32_t id = NewObjectId(db);
    if (check.name.empty()) {
        check.name = "CK__" + def.name.substr(0, 9) + "__" +
                     (check.column.empty() ? std::string() : check.column.substr(0, 5) + "__") +
                     Hex8(id);
    } else {
        CheckName(check.name);
        if (ObjectExists(db, check.name))
            Fail("There is already an object named '" + check.name + "' in the database.");
    }
    if (!check.column.empty()) {
        const ColumnDef* c = def.FindColumn(check.column);
        if (!c) Fail("Invalid column name '" + check.column + "'.");
        check.column = c->name;
    }
    if (checkExisting && HasViolation(link, CheckViolation(db, def, check)))
        Fail(Conflict("ALTER TABLE", "CHECK", check.name, DatabaseOf(db), def.name, check.column));
    check.id = id;
    AddCheckConstraint(link, db, def, check);
    InsertConstraintRow(*this, db, def, nullptr, &check);
    Changed(db);
}

void Catalog::EnableConstraints(const std::string& db, std::string_view table,
                                const std::vector<std::string>& names, bool enable,
                                bool checkExisting) {
    const TableDef* found = FindTable(db, table);
    if (!found) Fail(CannotFind(table));
    const TableDef def = *found;
    PgLink& link = Link();
    for (const std::string& name : names) {
        bool known = false;
        for (const ForeignKeyDef& fk : def.foreignKeys) known |= IEquals(fk.name, name);
        for (const CheckDef& check : def.checks) known |= IEquals(check.name, name);
        if (!known) Fail("Constraint '" + name + "' does not exist.");
    }
    auto named = [&](const std::string& name) {
        if (names.empty()) return true;
        for (const std::string& n : names)
            if (IEquals(n, name)) return true;
        return false;
    };
    // Every constraint is judged before any changes.
    for (const ForeignKeyDef& fk : def.foreignKeys) {
        if (!named(fk.name) || !enable || !checkExisting) continue;
        const TableDef* parent = IEquals(fk.refTable, def.name) ? &def : FindTable(db, fk.refTable);
        if (parent && HasViolation(link, OrphanQuery(db, def, *parent, fk)))
            Fail(Conflict("ALTER TABLE", "FOREIGN KEY", fk.name, DatabaseOf(db), fk.refTable,
                          fk.refColumns.front()));
    }
    for (const CheckDef& check : def.checks) {
        if (!named(check.name) || !enable || !checkExisting) continue;
        if (HasViolation(link, CheckViolation(db, def, check)))
            Fail(Conflict("ALTER TABLE", "CHECK", check.name, DatabaseOf(db), def.name,
                          check.column));
    }
    std::vector<int32_t> changed;
    for (const ForeignKeyDef& fk : def.foreignKeys) {
        if (!named(fk.name) || fk.enabled == enable) continue;
        const TableDef* found2 = IEquals(fk.refTable, def.name) ? &def : FindTable(db, fk.refTable);
        if (!found2) continue;
        const TableDef parent = *found2;
        EnableTriggers(link, db, def, parent, fk, enable);
        changed.push_back(fk.id);
    }
    for (const CheckDef& check : def.checks) {
        if (!named(check.name) || check.enabled == enable) continue;
        if (enable)
            AddCheckConstraint(link, db, def, check);
        else
            link.Exec("ALTER TABLE " + Table(db, def.name) + " DROP CONSTRAINT IF EXISTS " +
                      Quote(CheckStorage(check.id)));
        changed.push_back(check.id);
    }
    if (changed.empty()) return;
    for (int32_t id : changed)
        link.Select("UPDATE " + T(db, "xr_constraints") + " SET enabled = $1 WHERE id = $2",
                    {enable ? "1" : "0", std::to_string(id)});
    Changed(db);
}

void Catalog::DropIndex(const std::string& db, std::string_view table, std::string_view name) {
    Serialize(db);
    const std::string missing = "Cannot drop the index '" + S(table) + "." + S(name) +
                                "', because it does not exist or you do not have permission.";
    const TableDef* found = FindTable(db, table);
    if (!found) Fail(missing);
    const TableDef def = *found;
    for (const IndexDef& index : def.indexes) {
        if (!IEquals(index.name, name)) continue;
        if (index.primaryKey || index.uniqueKey)
            Fail("An explicit DROP INDEX is not allowed on index '" + def.name + "." + index.name +
                 "'. It is being used for " + (index.primaryKey ? "PRIMARY KEY" : "UNIQUE KEY") +
                 " constraint enforcement.");
        Link().Exec("DROP INDEX " + Quote(db) + "." + Quote(index.storageName));
        Link().Select("DELETE FROM " + T(db, "xr_indexes") + " WHERE storage = $1",
                      {index.storageName});
        Changed(db);
        return;
    }
    Fail(missing);
}

bool Catalog::HasForeignKeys(const std::string& db) {
    if (!HasCatalog(db)) return false;
    return !Link().Select("SELECT 1 FROM " + T(db, "xr_constraints") + " LIMIT 1").empty();
}

std::string Catalog::ConflictMessage(const std::string& db, std::string_view constraint,
                                     const std::string& statement, const std::string& database) {
    // xr_fk_<id>_c, xr_fk_<id>_p or xr_ck_<id>
    if (constraint.size() < 14 || constraint.substr(0, 3) != "xr_") return {};
    const bool check = constraint.substr(3, 3) == "ck_";
    if (!check && constraint.substr(3, 3) != "fk_") return {};
    int32_t id = 0;
    try {
        id = static_cast<int32_t>(std::stoul(S(constraint.substr(6, 8)), nullptr, 16));
    } catch (const std::exception&) {
        return {};
    }
    if (!HasCatalog(db)) return {};
    auto rows = Link().Select("SELECT o.name FROM " + T(db, "xr_constraints") + " c JOIN " +
                                  T(db, "sysobjects") + " o ON o.id = c.table_id WHERE c.id = $1",
                              {std::to_string(id)});
    if (rows.empty()) return {};
    const TableDef* def = FindTable(db, rows[0][0]);
    if (!def) return {};
    if (check) {
        for (const CheckDef& c : def->checks)
            if (c.id == id)
                return Conflict(statement, "CHECK", c.name, database, def->name, c.column);
        return {};
    }
    for (const ForeignKeyDef& fk : def->foreignKeys) {
        if (fk.id != id || fk.columns.empty() || fk.refColumns.empty()) continue;
        if (constraint.substr(14) == "_p")
            return Conflict(statement, "REFERENCE", fk.name, database, def->name,
                            fk.columns.front());
        return Conflict(statement, "FOREIGN KEY", fk.name, database, fk.refTable,
                        fk.refColumns.front());
    }
    return {};
}

void DropTableConstraints(Catalog& catalog, const std::string& db, const TableDef& def) {
    PgLink& link = catalog.Link();
    const std::vector<struct FkLink> links = Links(link, db);
    for (const auto& l : links) {
        if (l.parent == def.id && l.child != def.id)
            Fail("Could not drop object '" + def.name +
                 "' because it is referenced by a FOREIGN KEY constraint.");
    }
    bool any = false;
    for (const auto& l : links) {
        if (l.child != def.id) continue;
        DropTriggers(link, db, l.id);
        any = true;
    }
    if (any || !def.checks.empty())
        link.Select("DELETE FROM " + T(db, "xr_constraints") + " WHERE table_id = $1",
                    {std::to_string(def.id)});
}

void RefuseTruncate(Catalog& catalog, const std::string& db, const TableDef& def) {
    if (def.id < kFirstUserId) return;
    for (const auto& l : Links(catalog.Link(), db)) {
        if (l.parent == def.id && l.child != def.id)
            Fail("Cannot truncate table '" + def.name +
                 "' because it is being referenced by a FOREIGN KEY constraint.");
    }
}

void RefuseReferencedKey(Catalog& catalog, const std::string& db, const TableDef& def,
                         const IndexDef& key) {
    for (const auto& l : Links(catalog.Link(), db)) {
        if (l.parent != def.id) continue;
        const std::vector<std::string> refColumns = SplitNames(l.refColumns);
        if (refColumns.size() != key.columns.size()) continue;
        bool same = true;
        for (size_t i = 0; i < refColumns.size(); ++i)
            same &= IEquals(refColumns[i], key.columns[i]);
        if (same)
            Fail("The constraint '" + key.name + "' is being referenced by table '" + l.childName +
                 "', foreign key constraint '" + l.name +
                 "'. Could not drop constraint. See previous errors.");
    }
}

bool DropForeignKeyOrCheck(Catalog& catalog, const std::string& db, const TableDef& def,
                           std::string_view name) {
    PgLink& link = catalog.Link();
    for (const ForeignKeyDef& fk : def.foreignKeys) {
        if (!IEquals(fk.name, name)) continue;
        DropTriggers(link, db, fk.id);
        DeleteConstraintRows(link, db, fk.id);
        catalog.Changed(db);
        return true;
    }
    for (const CheckDef& check : def.checks) {
        if (!IEquals(check.name, name)) continue;
        link.Exec("ALTER TABLE " + Table(db, def.name) + " DROP CONSTRAINT IF EXISTS " +
                  Quote(CheckStorage(check.id)));
        DeleteConstraintRows(link, db, check.id);
        catalog.Changed(db);
        return true;
    }
    return false;
}

void RenameConstraintColumn(Catalog& catalog, const std::string& db, const TableDef& def,
                            const std::string& oldName, const std::string& newName) {
    PgLink& link = catalog.Link();
    auto rename = [&](const std::string& joined) {
        std::vector<std::string> names = SplitNames(joined);
        for (std::string& n : names)
            if (IEquals(n, oldName)) n = newName;
        return JoinNames(names);
    };
    const std::string id = std::to_string(def.id);
    for (auto& r :
         link.Select("SELECT id, table_id, ref_table_id, kind, columns, ref_columns, sql "
                     "FROM " +
                         T(db, "xr_constraints") + " WHERE table_id = $1 OR ref_table_id = $1",
                     {id})) {
        std::string columns = r[4], refColumns = r[5], sql = r[6];
        if (r[1] == id) {
            columns = rename(columns);
            // The check's condition as PostgreSQL keeps it follows the
            // column by itself; the kept text is the one CHECK CONSTRAINT
            // puts back.
            const std::string from = Quote(oldName), to = Quote(newName);
            for (size_t at = 0; (at = sql.find(from, at)) != std::string::npos; at += to.size())
                sql.replace(at, from.size(), to);
        }
        if (r[2] == id && r[3] == "F") refColumns = rename(refColumns);
        link.Select("UPDATE " + T(db, "xr_constraints") +
                        " SET columns = $2, ref_columns = $3, sql = $4 WHERE id = $1",
                    {r[0], columns, refColumns, sql});
    }
}

void RefreshForeignKeys(Catalog& catalog, const std::string& db, int32_t tableId) {
    PgLink& link = catalog.Link();
    for (const auto& l : Links(link, db)) {
        if (l.child != tableId && l.parent != tableId) continue;
        const TableDef* childFound = catalog.FindTable(db, l.childName);
        if (!childFound) continue;
        const TableDef child = *childFound;
        for (const ForeignKeyDef& fk : child.foreignKeys) {
            if (fk.id != l.id) continue;
            const TableDef* parentFound =
                fk.refTableId == child.id ? &child : catalog.FindTable(db, fk.refTable);
            if (!parentFound) continue;
            const TableDef parent = *parentFound;
            MakeFunctions(link, db, child, parent, fk);
        }
    }
}

}  // namespace xr::engine::postgres
