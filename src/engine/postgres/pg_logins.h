// Logins as the server's own roles: sp_addlogin makes a PostgreSQL role that
// can log in, sp_grantdbaccess lets it use a database's schema, and the fixed
// database roles (db_datareader, db_datawriter, db_owner) grant it the rights
// on that schema's tables, those made later included. PostgreSQL then refuses
// what the login may not do, whichever program connects as it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace xr::engine::postgres {

class PgLink;

// Makes the role of a login, or takes over the role of the same name that a
// server of the same PostgreSQL cluster made (roles are the cluster's, as
// logins are a server's); a role the engine did not make is refused as
// existing. The password travels only as its SCRAM verifier, computed here.
void CreateLoginRole(PgLink& link, const std::string& login,
                     std::optional<std::string_view> password);

// The role of a login or of its user in a database, named as sp_addlogin
// spelled it (names compare without case, roles' names with it).
std::string LoginRole(PgLink& link, const std::string& name);

// Lets the login's role use a database (schema `schema`): its catalog, not
// yet its tables.
void GrantSchemaUse(PgLink& link, const std::string& schema, const std::string& login);

// The rights of a fixed database role on the schema's tables and identity
// sequences, present and future; roles without rights on data add none.
void GrantFixedRole(PgLink& link, const std::string& schema, const std::string& login,
                    std::string_view role);

// The server's error 229 for a refusal of the server ("permission denied for
// table x"), the operation taken from the statement; empty when `text` is
// not such a refusal.
std::string PermissionDenied(std::string_view text, std::string_view sql,
                             const std::string& database);

}  // namespace xr::engine::postgres
