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
    bool identity = false;
    int64_t identitySeed = 1;       // IDENTITY(seed, increment): the first value given
    int64_t identityIncrement = 1;  // and the step to the next
    // An identity the engine's own counter cannot give (a seed below 1 or a
    // step other than 1): its values are counted in the catalog.
    bool CountedIdentity() const {
        return identity && (identitySeed < 1 || identityIncrement != 1);
    }
    std::optional<DefaultDef> def;

    bool operator==(const ColumnDef&) const = default;
};

struct IndexDef {
    std::string name;
    bool unique = false;
    bool primaryKey = false;  // the PRIMARY KEY constraint, kept as a unique index of that name
    bool uniqueKey = false;   // a UNIQUE constraint (not a plain unique index)
    std::vector<std::string> columns;
    std::vector<bool> descending;
    std::string filterSql;    // rendered SQLite condition of a filtered index, empty when none
    int32_t id = 0;           // object id of a PRIMARY KEY or UNIQUE constraint; 0 for an index
    std::string storageName;  // the SQLite index name (unique in the file); set by the catalog

    bool operator==(const IndexDef&) const = default;
};

// What a FOREIGN KEY does to the referencing rows when the referenced key
// goes or changes.
enum class RefAction : uint8_t { NoAction, Cascade, SetNull, SetDefault };

struct ForeignKeyDef {
    std::string name;
    int32_t id = 0;  // object id; assigned by the catalog
    std::vector<std::string> columns;
    std::string refTable;    // the referenced table, as it is named now
    int32_t refTableId = 0;  // its object id (the catalog keeps the link by id)
    std::vector<std::string> refColumns;
    RefAction onDelete = RefAction::NoAction;
    RefAction onUpdate = RefAction::NoAction;
    bool enabled = true;       // ALTER TABLE ... NOCHECK CONSTRAINT turns enforcement off
    bool columnLevel = false;  // declared with its column (REFERENCES after the type)

    bool operator==(const ForeignKeyDef&) const = default;
};

struct CheckDef {
    std::string name;
    int32_t id = 0;      // object id; assigned by the catalog
    std::string column;  // the column of a column-level check; empty for a table-level one
    std::string text;    // the condition as written
    std::string sql;     // the condition rendered for the engine
    bool enabled = true;

    bool operator==(const CheckDef&) const = default;
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
    // A view of the database is written through to the one table it reads
    // (INSERT, UPDATE and DELETE name the view): the number of the server's
    // refusal when it cannot be ("4403" aggregates, "4405" several tables,
    // "4426" UNION; "550" is none: made WITH CHECK OPTION, it takes only
    // rows of its own), else the table (or view) it
    // reads, the column of that table each of its columns shows ("" for an
    // expression), and its query with that table's row id first, as
    // "xr_rowid", that UPDATE and DELETE find their rows by.
    std::string viewRefusal;
    std::string viewBaseSchema;
    std::string viewBaseName;
    std::vector<std::string> viewBaseColumns;
    std::string viewRowIdSql;
    std::vector<ForeignKeyDef> foreignKeys;
    std::vector<CheckDef> checks;

    int ColumnIndex(std::string_view column) const;  // -1 when absent; without case
    const ColumnDef* FindColumn(std::string_view column) const;
    const ColumnDef* IdentityColumn() const;
    const IndexDef* PrimaryKey() const;

    bool operator==(const TableDef&) const = default;
};

}  // namespace xr::tsql
