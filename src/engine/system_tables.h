// The values the server's system tables hold, the same whatever engine
// keeps them: syscolumns' description of a type, the status words of
// sysconstraints and syscolumns, sysobjects' xtype and type of an object.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/types.h"

namespace xr::engine {

// syscolumns' description of a type: the server's type id, length, precision, scale.
struct TypeInfo {
    int xtype = 0;
    int length = 0;
    int prec = 0;
    int scale = 0;
};
TypeInfo DescribeType(const tsql::TypeSpec& type);

// sysconstraints.status of the constraints the catalog keeps.
inline constexpr int64_t kStatusSystemDefault = 133141;  // 5 + 16 + 2048 + 131072
inline constexpr int64_t kStatusNamedDefault = 2069;     // 5 + 16 + 2048
inline constexpr int64_t kStatusPrimaryKey = 2593;       // 1 + 512 + 2048 + 32
inline constexpr int64_t kStatusUniqueKey = 2594;        // 2 + 512 + 2048 + 32
inline constexpr int64_t kStatusForeignKey = 3 + 2048;   // + 16 column-level, + 32 table-level
inline constexpr int64_t kStatusCheck = 4 + 2048;        // + 16 column-level, + 32 table-level
// syscolumns.status bits.
inline constexpr int64_t kColumnNullable = 0x08;
inline constexpr int64_t kColumnIdentity = 0x80;

// sysobjects.xtype as stored (CHAR(2)) and the type that goes with it
// ("K " for a PRIMARY KEY or UNIQUE constraint).
std::string PadXtype(std::string_view xtype);
std::string ObjectType(std::string_view xtype);

// Column lists as the catalogs store them (xr_indexes, xr_constraints,
// xr_views): names joined by a separator no identifier holds.
std::string JoinNames(const std::vector<std::string>& names);
std::vector<std::string> SplitNames(std::string_view text);

// Refuses an empty name or one longer than the server's 128 characters, as
// the server words it for a `what` ("view", "constraint", ...).
void CheckObjectName(std::string_view name, const char* what);

}  // namespace xr::engine
