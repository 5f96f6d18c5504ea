// The restaurant-floor family of the flat interface: tables.
#include "flat/family.h"
#include "platform/text.h"
#include "xrdb8/records_tables.h"

namespace xr::flat {
namespace {

struct TableFamily {
    using Object = CTable;
    using Def = table_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.TblNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
    // The till programs read tables field by field.
    static void CopyOut(const Object& o, Def* d) {
        XR_FLAT_COPY_FIELD(*d, o.m_def, reserved0);
        XR_FLAT_COPY_FIELD(*d, o.m_def, TblNo);
        XR_FLAT_COPY_FIELD(*d, o.m_def, Flags);
        XR_FLAT_COPY_FIELD(*d, o.m_def, Name);
    }
};
static_assert(sizeof(table_def) == 2 + 2 + 2 + 22, "every byte of table_def is copied");

}  // namespace
}  // namespace xr::flat

XR_FLAT_BASIC_FAMILY(Table, xr::flat::TableFamily)

// The first table numbered def->TblNo or higher: a till looking for a free
// table number starts here.
XRDB8_EXPORT int TableGte(int slot, table_def* def) {
    return xr::flat::Get<xr::flat::TableFamily>(
        slot, def,
        [&] {
            return xr::Format("SELECT * FROM Tables WHERE TblNo >= %d ORDER BY TblNo", def->TblNo);
        },
        FLAT_NO_KEY);
}
