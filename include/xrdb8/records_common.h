// What every record class shares beyond CXRTable.
//
// A record class (CProduct, CDept, CCfgTill, ...) is a CXRTable over one
// configuration table: its constructor names the table, its key columns and
// its sort order; it embeds a packed record structure in the layout the till
// programs share (public member m_def), maps that structure to the row and
// back (StructureTo / StructureFrom), finds a row by key (Equ) and writes a
// structure back by key (AddUpdate). Copies share the recordset, as CXRTable
// copies do. Classes without a structure map nothing: CXRTable's own
// StructureTo and StructureFrom do nothing and return 1, and callers use the
// typed field access.
//
// Threads: as CXRTable; an object belongs to one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "xrdb8/export.h"

namespace xr::records {

struct Column;

// Where the mapped columns of a record class stand in its open recordset.
// Each position is found on first use and checked against the column's name
// on every row, so that walking a table looks no name up again and a new open
// with another column order is noticed. Internal to the record classes.
class XRDB8_API ColumnIndex {
public:
    // One position per entry of `map` (count entries), -1 when not yet known;
    // another map than last time starts afresh.
    int32_t* For(const Column* map, size_t count);

private:
    const Column* m_map = nullptr;
    std::vector<int32_t> m_pos;
};

}  // namespace xr::records
