#include "engine/postgres/pg_views.h"

#include "engine/postgres/pg_backend.h"
#include "engine/postgres/pg_catalog.h"
#include "engine/system_tables.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::postgres {

namespace {

// The names a view gives its columns, in one text: the separator is no
// character of a name.

[[noreturn]] void Fail(const std::string& message) {
    throw ComError(DB_E_ERRORSINCOMMAND, message);
}

std::string S(std::string_view s) { return std::string(s); }

std::string T(const std::string& db, const char* table) { return Quote(db) + "." + table; }

void CheckName(std::string_view name) { CheckObjectName(name, "view"); }

// A column of the view in syscolumns, as a table's is shown; the view's
// columns have no definition of their own (xr_columns): the query gives it.
void InsertColumn(const ViewCatalog& cat, int32_t id, int colid, const tsql::ColumnDef& c) {
    const TypeInfo info = DescribeType(c.type);
    cat.link.Select(
        "INSERT INTO " + T(cat.db, "syscolumns") +
            " (id, colid, name, xtype, length, prec, scale, isnullable, cdefault, status) "
            "VALUES ($1, $2, $3, $4, $5, $6, $7, $8, 0, $9)",
        {std::to_string(id), std::to_string(colid), c.name, std::to_string(info.xtype),
         std::to_string(info.length), std::to_string(info.prec), std::to_string(info.scale),
         c.notNull ? "0" : "1", std::to_string(c.notNull ? 0 : kColumnNullable)});
}

}  // namespace

std::optional<Catalog::ViewDef> FindView(PgLink& link, const std::string& db,
                                         std::string_view name) {
    // The object first: a name that is no view costs one round trip, and a
    // database that never had a view has no xr_views to read.
    auto object = link.Select("SELECT id, name FROM " + T(db, "sysobjects") +
                                  " WHERE rtrim(xtype) = 'V' AND " + TextKey("name") + " = " +
                                  TextKey("$1::text"),
                              {S(name)});
    if (object.empty()) return std::nullopt;
    auto rows = link.Select(
        "SELECT columns, text, quoted_identifier, definition IS NULL, coalesce(definition, '') "
        "FROM " +
            T(db, "xr_views") + " WHERE id = $1",
        {object[0][0]});
    if (rows.empty()) return std::nullopt;
    Catalog::ViewDef view;
    view.id = std::stoi(object[0][0]);
    view.name = object[0][1];
    view.columns = SplitNames(rows[0][0]);
    view.query = rows[0][1];
    view.quotedIdentifier = rows[0][2] != "0";
    view.encrypted = rows[0][3] == "t";
    if (!view.encrypted) view.definition = rows[0][4];
    return view;
}

void CreateView(const ViewCatalog& cat, std::string_view name, const Catalog::ViewDef& view,
                const std::vector<tsql::ColumnDef>& columns, bool replace) {
    CheckName(name);
    // The counter's row is locked first: DDL of other sessions waits, so
    // that the name checked below is still free when the view is made.
    cat.touch();
    int32_t id = 0;
    std::string stored = S(name);
    if (replace) {
        std::optional<Catalog::ViewDef> old = FindView(cat.link, cat.db, name);
        if (!old) Fail("Invalid object name '" + S(name) + "'.");
        id = old->id;
        stored = old->name;
    } else if (cat.nameTaken(name) || cat.isTable(name)) {
        Fail("There is already an object named '" + S(name) + "' in the database.");
    } else if (name.size() >= 3 && IEquals(name.substr(0, 3), "xr_")) {
        Fail("The name '" + S(name) + "' is reserved for the server's own tables.");
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (IEquals(columns[j].name, columns[i].name))
                Fail("Column names in each view or function must be unique. Column name '" +
                     columns[i].name + "' in view or function '" + S(name) +
                     "' is specified more than once.");
        }
    }
    cat.link.Exec("CREATE TABLE IF NOT EXISTS " + T(cat.db, "xr_views") +
                  " (id integer PRIMARY KEY, columns text NOT NULL, text text NOT NULL, "
                  "definition text, quoted_identifier integer NOT NULL)");
    if (replace) {
        cat.link.Select("DELETE FROM " + T(cat.db, "syscolumns") + " WHERE id = $1",
                        {std::to_string(id)});
        cat.link.Select("DELETE FROM " + T(cat.db, "xr_views") + " WHERE id = $1",
                        {std::to_string(id)});
    } else {
        id = cat.newObjectId();
        cat.insertObject(id, stored);
    }
    for (size_t i = 0; i < columns.size(); ++i) {
        tsql::ColumnDef column = columns[i];
        column.def.reset();
        column.identity = false;
        InsertColumn(cat, id, static_cast<int>(i) + 1, column);
    }
    // An encrypted view's definition is kept by nobody: NULL.
    cat.link.Select(
        "INSERT INTO " + T(cat.db, "xr_views") +
            " (id, columns, text, definition, quoted_identifier) VALUES ($1, $2, $3, "
            "CASE WHEN $4::int = 1 THEN NULL ELSE $5 END, $6)",
        {std::to_string(id), JoinNames(view.columns), view.query, view.encrypted ? "1" : "0",
         view.encrypted ? "" : view.definition, view.quotedIdentifier ? "1" : "0"});
}

void DropView(const ViewCatalog& cat, std::string_view name) {
    cat.touch();
    std::optional<Catalog::ViewDef> view = FindView(cat.link, cat.db, name);
    if (!view && cat.isTable(name))
        Fail("Cannot use DROP VIEW with '" + S(name) + "' because '" + S(name) +
             "' is a table. Use DROP TABLE.");
    if (!view)
        Fail("Cannot drop the view '" + S(name) +
             "', because it does not exist or you do not have permission.");
    const std::vector<std::string> id = {std::to_string(view->id)};
    cat.link.Select("DELETE FROM " + T(cat.db, "sysobjects") + " WHERE id = $1", id);
    cat.link.Select("DELETE FROM " + T(cat.db, "syscolumns") + " WHERE id = $1", id);
    cat.link.Select("DELETE FROM " + T(cat.db, "xr_views") + " WHERE id = $1", id);
}

bool RenameView(const ViewCatalog& cat, std::string_view name, std::string_view newName) {
    // A view is renamed in the catalog alone: its query names no view.
    cat.touch();
    std::optional<Catalog::ViewDef> view = FindView(cat.link, cat.db, name);
    if (!view) return false;
    CheckName(newName);
    if (!IEquals(view->name, newName) && (cat.nameTaken(newName) || cat.isTable(newName)))
        Fail("Error: The new name '" + S(newName) +
             "' is already in use as a object name and would cause a duplicate that is not "
             "permitted.");
    cat.link.Select("UPDATE " + T(cat.db, "sysobjects") + " SET name = $2 WHERE id = $1",
                    {std::to_string(view->id), S(newName)});
    return true;
}

}  // namespace xr::engine::postgres
