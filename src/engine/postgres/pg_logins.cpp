#include "engine/postgres/pg_logins.h"

#include <libpq-fe.h>

#include <utility>
#include <vector>

#include "engine/postgres/pg_backend.h"
#include "engine/postgres/pg_catalog.h"
#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine::postgres {

namespace {

std::string Ident(std::string_view name) {
    std::string out = "\"";
    for (char c : name) {
        out += c;
        if (c == '"') out += '"';
    }
    return out + "\"";
}

// What the engine writes on the roles it makes, so that it takes over only
// its own.
constexpr const char* kLoginMark = "xrdb8 login";

// The SCRAM verifier of a password, as the server stores it: the password
// itself never travels in a statement, where the server's log could keep it.
std::string Verifier(PgLink& link, const std::string& login, std::string_view password) {
    const std::string clear(password);
    char* encrypted =
        PQencryptPasswordConn(link.Handle(), clear.c_str(), login.c_str(), "scram-sha-256");
    if (!encrypted) throw ComError(E_FAIL_, "The password of login '" + login + "' was refused.");
    std::string out(encrypted);
    PQfreemem(encrypted);
    return out;
}

}  // namespace

void CreateLoginRole(PgLink& link, const std::string& login,
                     std::optional<std::string_view> password) {
    const std::string role = Ident(login);
    const std::string secret = password && !password->empty()
                                   ? "PASSWORD " + QuoteText(Verifier(link, login, *password))
                                   : std::string("PASSWORD NULL");
    const std::string look =
        "SELECT r.rolsuper, coalesce(pg_catalog.shobj_description(r.oid, 'pg_authid'), '') "
        "FROM pg_catalog.pg_roles r WHERE r.rolname = $1";
    auto found = link.Select(look, {login});
    if (found.empty()) {
        // A session of another server of the cluster may make the same role
        // at once: its commit turns this one's into a take-over.
        link.Exec("SAVEPOINT xr_role");
        EngineError error;
        if (link.TryExec("CREATE ROLE " + role + " LOGIN " + secret, &error)) {
            link.Exec("COMMENT ON ROLE " + role + " IS " + QuoteText(kLoginMark));
            link.Exec("RELEASE SAVEPOINT xr_role");
            found.push_back({"f", kLoginMark, "made"});
        } else {
            link.Exec("ROLLBACK TO SAVEPOINT xr_role");
            if (error.message.rfind("23505", 0) != 0 && error.message.rfind("42710", 0) != 0)
                link.Raise(error);
            found = link.Select(look, {login});
        }
    }
    if (found.empty() || found[0][0] != "f" || found[0][1] != kLoginMark)
        throw ComError(DB_E_ERRORSINCOMMAND,
                       "The server principal '" + login + "' already exists.");
    if (found[0].size() < 3) link.Exec("ALTER ROLE " + role + " LOGIN " + secret);
    // Every login reads master's catalog and the engine's schema mark.
    link.Exec("GRANT USAGE ON SCHEMA main, xr TO " + role);
    link.Exec("GRANT SELECT ON ALL TABLES IN SCHEMA main TO " + role);
    link.Exec("ALTER DEFAULT PRIVILEGES IN SCHEMA main GRANT SELECT ON TABLES TO " + role);
    link.Exec("GRANT SELECT ON xr.ddl TO " + role);
}

std::string LoginRole(PgLink& link, const std::string& name) {
    auto rows = link.Select(
        "SELECT name FROM main.xr_logins WHERE lower(name COLLATE \"C\") = lower($1 COLLATE "
        "\"C\")",
        {name});
    return rows.empty() ? name : rows[0][0];
}

void GrantSchemaUse(PgLink& link, const std::string& schema, const std::string& login) {
    const std::string role = Ident(login);
    link.Exec("GRANT USAGE ON SCHEMA " + Ident(schema) + " TO " + role);
    // The catalog is readable by every user of the database, its tables not.
    for (const auto& row :
         link.Select("SELECT tablename FROM pg_catalog.pg_tables WHERE schemaname = $1 AND "
                     "(tablename LIKE 'sys%' OR tablename LIKE 'xr\\_%')",
                     {schema}))
        link.Exec("GRANT SELECT ON " + Ident(schema) + "." + Ident(row[0]) + " TO " + role);
}

namespace {

struct Rights {
    const char* tables;
    const char* sequences;  // nullptr: none
};

// The rights of a fixed database role on the data; none for the others.
std::optional<Rights> RightsOf(std::string_view fixedRole) {
    if (IEquals(fixedRole, "db_datareader")) return Rights{"SELECT", nullptr};
    if (IEquals(fixedRole, "db_datawriter")) return Rights{"INSERT, UPDATE, DELETE", "USAGE"};
    if (IEquals(fixedRole, "db_owner")) return Rights{"ALL", "ALL"};
    return std::nullopt;
}

// The login roles of the database's members of fixed roles, but `login`:
// (role, fixed role).
std::vector<std::pair<std::string, std::string>> Members(PgLink& link, const std::string& schema,
                                                         const std::string& login) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& row : link.Select("SELECT name, role FROM " + Ident(schema) +
                                       ".xr_role_members WHERE lower(name) <> 'dbo'")) {
        std::string member = LoginRole(link, row[0]);
        if (member != login) out.emplace_back(std::move(member), row[1]);
    }
    return out;
}

}  // namespace

void GrantFixedRole(PgLink& link, const std::string& schema, const std::string& login,
                    std::string_view fixedRole) {
    const std::string role = Ident(login);
    const std::string s = Ident(schema);
    auto revoke = [&](const std::string& what) {
        link.Exec("REVOKE " + what + " ON ALL TABLES IN SCHEMA " + s + " FROM " + role);
        link.Exec("ALTER DEFAULT PRIVILEGES IN SCHEMA " + s + " REVOKE " + what +
                  " ON TABLES FROM " + role);
    };
    if (IEquals(fixedRole, "db_denydatareader")) return revoke("SELECT");
    if (IEquals(fixedRole, "db_denydatawriter")) return revoke("INSERT, UPDATE, DELETE");
    const std::optional<Rights> rights = RightsOf(fixedRole);
    if (!rights) return;
    // Rights on a creator's tables made later, given to a grantee.
    auto later = [&](const std::string& creator, const Rights& r, const std::string& grantee) {
        const std::string head = "ALTER DEFAULT PRIVILEGES" +
                                 (creator.empty() ? std::string() : " FOR ROLE " + creator) +
                                 " IN SCHEMA " + s + " GRANT ";
        link.Exec(head + r.tables + " ON TABLES TO " + grantee);
        if (r.sequences) link.Exec(head + r.sequences + " ON SEQUENCES TO " + grantee);
    };
    if (IEquals(fixedRole, "db_owner")) {
        link.Exec("GRANT USAGE, CREATE ON SCHEMA " + s + " TO " + role);
        // Its DDL moves the server's schema mark.
        link.Exec("GRANT UPDATE ON xr.ddl TO " + role);
    }
    // The tables there now; those the engine's own login makes later; and
    // those the database's owners make, the new owner's for the others too.
    link.Exec("GRANT " + std::string(rights->tables) + " ON ALL TABLES IN SCHEMA " + s + " TO " +
              role);
    if (rights->sequences)
        link.Exec("GRANT " + std::string(rights->sequences) + " ON ALL SEQUENCES IN SCHEMA " + s +
                  " TO " + role);
    later("", *rights, role);
    for (const auto& [member, memberRole] : Members(link, schema, login)) {
        if (IEquals(memberRole, "db_owner")) later(Ident(member), *rights, role);
        if (IEquals(fixedRole, "db_owner")) {
            if (auto r = RightsOf(memberRole)) later(role, *r, Ident(member));
        }
    }
}

std::string PermissionDenied(std::string_view text, std::string_view sql,
                             const std::string& database) {
    std::string object;
    for (const char* kind : {"permission denied for table ", "permission denied for view "}) {
        const std::string k(kind);
        if (text.rfind(k, 0) == 0) object = std::string(text.substr(k.size()));
    }
    if (object.empty()) return {};
    const char* verb = "SELECT";
    if (sql.rfind("INSERT", 0) == 0 || sql.rfind(kKeptInsert, 0) == 0) verb = "INSERT";
    if (sql.rfind("UPDATE", 0) == 0) verb = "UPDATE";
    if (sql.rfind("DELETE", 0) == 0) verb = "DELETE";
    return std::string("The ") + verb + " permission was denied on the object '" + object +
           "', database '" + database + "', schema 'dbo'.";
}

}  // namespace xr::engine::postgres
