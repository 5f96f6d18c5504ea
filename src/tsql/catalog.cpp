#include "tsql/catalog.h"

#include "platform/text.h"

namespace xr::tsql {

int TableDef::ColumnIndex(std::string_view column) const {
    for (size_t i = 0; i < columns.size(); ++i) {
        if (IEquals(columns[i].name, column)) return static_cast<int>(i);
    }
    return -1;
}

const ColumnDef* TableDef::FindColumn(std::string_view column) const {
    int index = ColumnIndex(column);
    return index < 0 ? nullptr : &columns[static_cast<size_t>(index)];
}

const ColumnDef* TableDef::IdentityColumn() const {
    for (const ColumnDef& column : columns) {
        if (column.identity) return &column;
    }
    return nullptr;
}

const IndexDef* TableDef::PrimaryKey() const {
    for (const IndexDef& index : indexes) {
        if (index.primaryKey) return &index;
    }
    return nullptr;
}

}  // namespace xr::tsql
