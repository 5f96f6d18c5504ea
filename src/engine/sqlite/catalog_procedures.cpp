// Stored procedures in a database file: a sysobjects row of type 'P' (so that
// OBJECT_ID, OBJECTPROPERTY and the catalog views see them as the server's)
// and the CREATE PROCEDURE statement as written in xr_procedures.
#include <sqlite3.h>

#include "engine/sqlite/catalog.h"
#include "engine/sqlite/catalog_impl.h"
#include "engine/system_tables.h"
#include "platform/text.h"

namespace xr::engine::sqlite {

using detail::Fail;
using detail::Quote;
using detail::Sql;

namespace {

void EnsureProcedureTable(detail::CatalogState& state, const std::string& db) {
    state.Exec("CREATE TABLE IF NOT EXISTS " + Quote(db) +
               ".xr_procedures (id INTEGER PRIMARY KEY, text TEXT NOT NULL, "
               "quoted_identifier INTEGER NOT NULL, ansi_nulls INTEGER NOT NULL, encrypted "
               "INTEGER NOT NULL)");
}

// The cache up to date and the file's system tables there.
void Begin(detail::CatalogState& state, const std::string& db) {
    state.Validate(db);
    if (!state.HasCatalog(db)) {
        detail::CreateSystemTables(state, db);
        state.Validate(db);
    }
}

}  // namespace

void Catalog::CreateProcedure(const std::string& db, const ProcedureDef& proc, bool replace) {
    Begin(*m_impl, db);
    const std::string& name = proc.name;
    CheckObjectName(name, "procedure");
    int32_t id = 0;
    if (replace) {
        std::optional<ProcedureDef> old = FindProcedure(db, name);
        if (!old) Fail("Could not find stored procedure '" + name + "'.");
        id = old->id;
    } else if (m_impl->ObjectNameTaken(db, name) || m_impl->TableExists(db, name)) {
        Fail("There is already an object named '" + name + "' in the database.");
    } else if (detail::IsReservedName(name)) {
        Fail("The name '" + name + "' is reserved for the server's own tables.");
    }
    EnsureProcedureTable(*m_impl, db);
    const std::string s = Quote(db) + ".";
    if (replace) {
        Sql(*m_impl, "DELETE FROM " + s + "xr_procedures WHERE id = ?1").Bind(1, id).Run();
    } else {
        id = m_impl->NewObjectId(db);
        detail::InsertObject(*m_impl, db, id, name, "P", 0);
    }
    Sql q(*m_impl, "INSERT INTO " + s +
                       "xr_procedures (id, text, quoted_identifier, ansi_nulls, encrypted) VALUES "
                       "(?1, ?2, ?3, ?4, ?5)");
    q.Bind(1, id).Bind(2, proc.text);
    q.Bind(3, proc.quotedIdentifier ? 1 : 0).Bind(4, proc.ansiNulls ? 1 : 0);
    q.Bind(5, proc.encrypted ? 1 : 0);
    q.Run();
}

void Catalog::DropProcedure(const std::string& db, std::string_view name) {
    Begin(*m_impl, db);
    std::optional<ProcedureDef> proc = FindProcedure(db, name);
    if (!proc) {
        Fail("Cannot drop the procedure '" + std::string(name) +
             "', because it does not exist or you do not have permission.");
    }
    const std::string s = Quote(db) + ".";
    Sql(*m_impl, "DELETE FROM " + s + "sysobjects WHERE id = ?1").Bind(1, proc->id).Run();
    Sql(*m_impl, "DELETE FROM " + s + "xr_procedures WHERE id = ?1").Bind(1, proc->id).Run();
}

std::optional<Catalog::ProcedureDef> Catalog::FindProcedure(const std::string& db,
                                                            std::string_view name) {
    if (!m_impl->HasCatalog(db) || !m_impl->TableExists(db, "xr_procedures")) return std::nullopt;
    Sql q(*m_impl,
          "SELECT o.id, o.name, p.text, p.quoted_identifier, p.ansi_nulls, p.encrypted "
          "FROM " +
              Quote(db) + ".sysobjects o JOIN " + Quote(db) +
              ".xr_procedures p ON p.id = o.id WHERE o.name = ?1 AND o.xtype = 'P '");
    if (!q.Bind(1, name).Step()) return std::nullopt;
    ProcedureDef proc;
    proc.id = static_cast<int32_t>(q.Int(0));
    proc.name = q.Text(1);
    proc.text = q.Text(2);
    proc.quotedIdentifier = q.Int(3) != 0;
    proc.ansiNulls = q.Int(4) != 0;
    proc.encrypted = q.Int(5) != 0;
    return proc;
}

}  // namespace xr::engine::sqlite
