#include "engine/postgres/pg_serialize.h"

#include <string>
#include <vector>

#include "engine/postgres/pg_backend.h"

namespace xr::engine::postgres {

int64_t LockSchemaMark(PgLink& link) {
    const std::vector<std::vector<std::string>> rows =
        link.Select("SELECT v FROM xr.ddl FOR UPDATE");
    return rows.empty() || rows[0].empty() ? -1 : std::stoll(rows[0][0]);
}

}  // namespace xr::engine::postgres
