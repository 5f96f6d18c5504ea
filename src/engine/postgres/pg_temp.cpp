// tempdb on the server engine. A session's #tables and table variables lie
// in PostgreSQL's temporary schema of its connection ("pg_temp"): seen by
// every batch of the session, never by another, gone with the connection
// even when the process dies. The ##tables lie in one ordinary schema of the
// server database (kGlobalTempSchema) with a catalog of its own, so every
// session of the server, in any process, sees them; the session that made
// one drops it when it closes, and a table whose session ended without
// doing so (its process died) is dropped by the next session that opens the
// shared schema.
#include "engine/postgres/pg_backend.h"
#include "engine/postgres/pg_catalog.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::postgres {

namespace {

// Who made a ##table: the server process of its session, known by its id
// and start (ids are reused).
constexpr const char* kOwners = "xr_owners";

}  // namespace

std::string PgBackend::AttachGlobal() {
    const std::string schema = kGlobalTempSchema;
    const bool known = m_databases.count(schema) > 0;
    if (known && m_catalog.HasCatalog(schema)) return schema;
    const std::string owners = Quote(schema) + "." + kOwners;
    if (!m_catalog.HasCatalog(schema)) {
        // One session makes the shared schema; the others wait for it.
        const bool own = !InTransaction();
        if (own) Exec("BEGIN");
        try {
            Exec("SELECT pg_advisory_xact_lock(7478013)");
            m_catalog.InitDatabase(schema);
            Exec("CREATE TABLE IF NOT EXISTS " + owners +
                 " (id integer PRIMARY KEY, pid integer NOT NULL, started timestamptz)");
            if (own) Exec("COMMIT");
        } catch (...) {
            if (own) m_link.TryExec("ROLLBACK");
            m_catalog.InvalidateAll();
            throw;
        }
    }
    if (known) return schema;
    m_databases[schema] = "tempdb";
    if (!InTransaction()) {
        try {
            DropOrphanedGlobalTables();
        } catch (const ComError&) {
            // Left for the next session that opens the schema.
        }
    }
    if (m_host) m_host->Closing(schema);  // tempdb's catalog now shows its ##tables
    return schema;
}

void PgBackend::TableMade(const std::string& schema, const std::string& name) {
    if (schema != kGlobalTempSchema) return;
    auto id = m_catalog.ObjectId(schema, name);
    if (!id) return;
    // Within the statement's transaction: undone with the table.
    m_link.Select("INSERT INTO " + Quote(schema) + "." + kOwners +
                      " (id, pid, started) SELECT $1, pg_backend_pid(), (SELECT backend_start "
                      "FROM pg_catalog.pg_stat_activity WHERE pid = pg_backend_pid())",
                  {std::to_string(*id)});
    m_globalMade.emplace_back(name, *id);
}

// The ##tables the session made go with it, each once no other session's
// transaction reads it (the drop waits a while for their locks; a table
// still held is left to the next session that opens the schema).
void PgBackend::DropGlobalTables() noexcept {
    if (m_globalMade.empty() || !m_link.Alive()) return;
    try {
        if (InTransaction()) m_link.TryExec("ROLLBACK");
        m_catalog.InvalidateAll();
        const std::string schema = kGlobalTempSchema;
        for (const auto& [name, id] : m_globalMade) {
            auto now = m_catalog.ObjectId(schema, name);
            if (!now || *now != id) continue;  // dropped, or another table of that name since
            Exec("BEGIN");
            try {
                Exec("SET LOCAL lock_timeout = '5s'");
                m_catalog.DropTable(schema, name);
                m_link.Select("DELETE FROM " + Quote(schema) + "." + kOwners + " WHERE id = $1",
                              {std::to_string(id)});
                Exec("COMMIT");
            } catch (...) {
                m_link.TryExec("ROLLBACK");
            }
        }
    } catch (...) {
        // Left for the next session that opens the schema.
    }
    m_globalMade.clear();
}

// The ##tables of sessions whose server process is gone.
void PgBackend::DropOrphanedGlobalTables() {
    const std::string schema = kGlobalTempSchema;
    const std::string owners = Quote(schema) + "." + kOwners;
    auto rows = m_link.Select(
        "SELECT o.name, w.id FROM " + owners + " w JOIN " + Quote(schema) +
        ".sysobjects o ON o.id = w.id WHERE NOT EXISTS (SELECT 1 FROM pg_catalog.pg_stat_activity "
        "a WHERE a.pid = w.pid AND (w.started IS NULL OR a.backend_start IS NULL OR "
        "a.backend_start = w.started))");
    for (const auto& row : rows) {
        Exec("BEGIN");
        try {
            Exec("SET LOCAL lock_timeout = '1s'");
            m_catalog.Validate(schema);
            if (m_catalog.ObjectId(schema, row[0])) m_catalog.DropTable(schema, row[0]);
            m_link.Select("DELETE FROM " + owners + " WHERE id = $1", {row[1]});
            Exec("COMMIT");
        } catch (...) {
            m_link.TryExec("ROLLBACK");
        }
    }
    // Owners of tables dropped by name meanwhile.
    m_link.Exec("DELETE FROM " + owners + " w WHERE NOT EXISTS (SELECT 1 FROM " + Quote(schema) +
                ".sysobjects o WHERE o.id = w.id)");
}

void PgBackend::TempRolledBack() {
    if (m_catalog.TempVersion() == 0) return;
    m_catalog.ForgetTemp();
    m_tempUndone = true;
}

// tempdb's sysobjects and INFORMATION_SCHEMA.TABLES show, once the session
// has opened the shared schema, its ##tables as well: the same view over
// the shared schema's catalog, its tables alone.
void PgBackend::AddGlobalTables(const std::string& schema, const std::string& name, TableDef* out) {
    const bool objects = IEquals(name, "sysobjects");
    if (schema != "pg_temp" || (!objects && !IEquals(name, "INFORMATION_SCHEMA.TABLES")) ||
        !m_databases.count(kGlobalTempSchema) || !m_catalog.HasCatalog(kGlobalTempSchema))
        return;
    const std::string own = Quote("pg_temp") + ".", shared = Quote(kGlobalTempSchema) + ".";
    std::string sql = out->viewSql;
    for (size_t at = sql.find(own); at != std::string::npos; at = sql.find(own, at + shared.size()))
        sql.replace(at, own.size(), shared);
    out->viewSql += " UNION ALL SELECT * FROM (" + sql + ") AS xr_shared";
    if (objects) out->viewSql += " WHERE xr_shared.xtype = 'U '";
}

}  // namespace xr::engine::postgres
