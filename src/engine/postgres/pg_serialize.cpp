#include "engine/postgres/pg_serialize.h"

#include <string>
#include <vector>

#include "engine/postgres/pg_backend.h"

namespace xr::engine::postgres {

int64_t LockSchemaMark(PgLink& link) {
    // Taken once per transaction: nobody else moves the mark meanwhile.
    if (link.MarkLocked()) return link.LockedMark();
    const std::vector<std::vector<std::string>> rows =
        link.Select("SELECT v FROM xr.ddl FOR UPDATE");
    const int64_t mark = rows.empty() || rows[0].empty() ? -1 : std::stoll(rows[0][0]);
    if (mark >= 0) link.MarkLockTaken(mark);
    return mark;
}

}  // namespace xr::engine::postgres
