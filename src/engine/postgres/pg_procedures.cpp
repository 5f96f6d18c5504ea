// Stored procedures in a database's schema, kept as the embedded engine keeps
// them: a sysobjects row of type 'P' (so that OBJECT_ID, OBJECTPROPERTY and
// the catalog views see them as the server's) and the CREATE PROCEDURE
// statement as written in xr_procedures, with the same columns.
#include <algorithm>

#include "engine/postgres/pg_backend.h"
#include "engine/postgres/pg_catalog.h"
#include "engine/system_tables.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::postgres {

namespace {

[[noreturn]] void Fail(const std::string& message) {
    throw ComError(DB_E_ERRORSINCOMMAND, message);
}

}  // namespace

void CreateProcedureTable(PgLink& link, const std::string& db) {
    link.Exec("CREATE TABLE IF NOT EXISTS " + Quote(db) +
              ".xr_procedures (id integer PRIMARY KEY, text text NOT NULL, quoted_identifier "
              "integer NOT NULL, ansi_nulls integer NOT NULL, encrypted integer NOT NULL)");
}

void Catalog::CreateProcedure(const std::string& db, const ProcedureDef& proc, bool replace) {
    if (!HasCatalog(db)) InitDatabase(db);
    Serialize(db);  // names are looked at once other sessions' DDL is done
    const std::string& name = proc.name;
    CheckObjectName(name, "procedure");
    int32_t id = 0;
    if (replace) {
        std::optional<ProcedureDef> old = FindProcedure(db, name);
        if (!old) Fail("Could not find stored procedure '" + name + "'.");
        id = old->id;
    } else if (NameTaken(db, name)) {
        Fail("There is already an object named '" + name + "' in the database.");
    } else if (IEquals(name.substr(0, std::min<size_t>(3, name.size())), "xr_")) {
        Fail("The name '" + name + "' is reserved for the server's own tables.");
    }
    if (!HasOwnTable(db, "xr_procedures")) {
        // (A database made before procedures were kept on this engine.)
        CreateProcedureTable(Link(), db);
    }
    const std::string table = Quote(db) + ".xr_procedures";
    if (replace) {
        Link().Select("DELETE FROM " + table + " WHERE id = $1", {std::to_string(id)});
    } else {
        id = NewObjectId(db);
        InsertObject(db, id, name, "P");
    }
    Link().Select("INSERT INTO " + table +
                      " (id, text, quoted_identifier, ansi_nulls, encrypted) VALUES ($1, $2, $3, "
                      "$4, $5)",
                  {std::to_string(id), proc.text, proc.quotedIdentifier ? "1" : "0",
                   proc.ansiNulls ? "1" : "0", proc.encrypted ? "1" : "0"});
    // Other sessions' statements meet the move and read the text afresh.
    Changed(db);
}

void Catalog::DropProcedure(const std::string& db, std::string_view name) {
    Serialize(db);
    std::optional<ProcedureDef> proc = FindProcedure(db, name);
    if (!proc) {
        Fail("Cannot drop the procedure '" + std::string(name) +
             "', because it does not exist or you do not have permission.");
    }
    const std::vector<std::string> id = {std::to_string(proc->id)};
    Link().Select("DELETE FROM " + Quote(db) + ".sysobjects WHERE id = $1", id);
    Link().Select("DELETE FROM " + Quote(db) + ".xr_procedures WHERE id = $1", id);
    Changed(db);
}

std::optional<Catalog::ProcedureDef> Catalog::FindProcedure(const std::string& db,
                                                            std::string_view name) {
    if (!HasCatalog(db) || !HasOwnTable(db, "xr_procedures")) return std::nullopt;
    auto rows = Link().Select(
        "SELECT o.id, o.name, p.text, p.quoted_identifier, p.ansi_nulls, p.encrypted FROM " +
            Quote(db) + ".sysobjects o JOIN " + Quote(db) +
            ".xr_procedures p ON p.id = o.id WHERE " + TextKey("o.name") + " = " +
            TextKey("$1::text") + " AND o.xtype = 'P '",
        {std::string(name)});
    if (rows.empty()) return std::nullopt;
    const std::vector<std::string>& r = rows[0];
    ProcedureDef proc;
    proc.id = std::stoi(r[0]);
    proc.name = r[1];
    proc.text = r[2];
    proc.quotedIdentifier = r[3] != "0";
    proc.ansiNulls = r[4] != "0";
    proc.encrypted = r[5] != "0";
    return proc;
}

}  // namespace xr::engine::postgres
