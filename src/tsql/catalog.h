// Table definitions as the T-SQL layer sees them: columns with their types,
// defaults as written, keys and indexes. An engine's catalog keeps them.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tsql/types.h"

namespace xr::tsql {

struct DefaultDef {
    std::string name;          // constraint name; generated when the statement named none
    bool systemNamed = false;  // the name was generated
    std::string text;          // the default as written, e.g. "0", "'A'", "0x00FF00", "-1"
    Value value;               // the constant, evaluated
    TypeSpec valueType;        // the constant's own type
    int32_t id = 0;            // object id; assigned by the catalog (0 in a new definition)

    bool operator==(const DefaultDef&) const = default;
};

struct ColumnDef {
    std::string name;
    TypeSpec type;
    bool notNull = false;
    bool identity = false;  // seed 1, increment 1
    std::optional<DefaultDef> def;

    bool operator==(const ColumnDef&) const = default;
};

struct IndexDef {
    std::string name;
    bool unique = false;
    bool primaryKey = false;  // the PRIMARY KEY constraint, kept as a unique index of that name
    std::vector<std::string> columns;
    std::vector<bool> descending;
    std::string filterSql;    // rendered SQLite condition of a filtered index, empty when none
    int32_t id = 0;           // object id of a PRIMARY KEY constraint; 0 for a plain index
    std::string storageName;  // the SQLite index name (unique in the file); set by the catalog

    bool operator==(const IndexDef&) const = default;
};

struct TableDef {
    std::string db;
    std::string name;  // as created
    int32_t id = 0;    // object id
    std::vector<ColumnDef> columns;
    std::vector<IndexDef> indexes;
    // A system view (INFORMATION_SCHEMA.COLUMNS, sysindexes, ...): the query,
    // in the engine's dialect, its rows come from; empty for a table. Read
    // only: nothing is ever written through it.
    std::string viewSql;

    int ColumnIndex(std::string_view column) const;  // -1 when absent; without case
    const ColumnDef* FindColumn(std::string_view column) const;
    const ColumnDef* IdentityColumn() const;
    const IndexDef* PrimaryKey() const;

    bool operator==(const TableDef&) const = default;
};

}  // namespace xr::tsql
