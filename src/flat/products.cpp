// The product families of the flat interface: Prod (products by PLU), Prod2
// (browsing products by description) and Barc (barcodes).
#include <cstring>
#include <string>

#include "flat/family.h"
#include "platform/text.h"
#include "xrdb8/records_master.h"
#include "xrdb8/records_products.h"

namespace xr::flat {
namespace {

struct ProdFamily {
    using Object = CProduct;
    using Def = prod_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.PLU); }
};

struct BarcFamily {
    using Object = CBarc;
    using Def = barc_def;
    // The caller's 15 bytes need not end in a NUL; CBarc doubles any quote.
    static int Equ(Object& o, const Def& d) { return o.Equ(FieldText(d.Barcode).c_str()); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
};

// ---- Prod2: one CProduct of its own, positioned by description ---------------

CProduct* g_prod2 = nullptr;

CProduct& Prod2Object() {
    if (!g_prod2) g_prod2 = new CProduct();
    return *g_prod2;
}

// The structure's description as a quoted SQL text.
std::string QuotedDescription(const prod_def& def) {
    return "'" + QuoteSql(FieldText(def.Description)) + "'";
}

// The first row of the statement `makeSql(*def)` gives, copied out; 102
// when there is none.
template <typename MakeSql>
int Prod2Get(prod_def* def, MakeSql&& makeSql) {
    return xr::Shielded(FLAT_NO_ROW, xr::Quietly{}, [&]() -> int {
        if (!def) return FLAT_NO_ROW;
        CProduct& object = Prod2Object();
        if (!object.OpenGet(makeSql(*def).c_str())) return FLAT_NO_ROW;
        std::memcpy(def, &object.m_def, sizeof *def);
        return FLAT_OK;
    });
}

}  // namespace
}  // namespace xr::flat

using xr::flat::BarcFamily;
using xr::flat::ProdFamily;

// ---- Prod ------------------------------------------------------------------------

XRDB8_EXPORT int ProdClose(int slot) { return xr::flat::Close<ProdFamily>(slot); }
XRDB8_EXPORT int ProdCount(int slot) { return xr::flat::Count<ProdFamily>(slot); }
XRDB8_EXPORT int ProdCmd(int slot, const char* sql) { return xr::flat::Cmd<ProdFamily>(slot, sql); }
XRDB8_EXPORT int ProdEqu(int slot, prod_def* def) { return xr::flat::Equ<ProdFamily>(slot, def); }

XRDB8_EXPORT int ProdGT(int slot, prod_def* def) {
    return xr::flat::Get<ProdFamily>(
        slot, def,
        [&] {
            return xr::Format("SELECT * FROM Products WHERE PLU > %llu ORDER BY PLU",
                              static_cast<unsigned long long>(def->PLU));
        },
        FLAT_NO_ROW);
}

XRDB8_EXPORT int ProdAdd(int slot, prod_def* def, int vOnly) {
    return xr::Shielded(FLAT_NOT_STORED, xr::Quietly{}, [&]() -> int {
        CProduct* object = xr::flat::g_slots<ProdFamily>.Get(slot);
        if (!object || !def) return FLAT_NOT_STORED;
        return object->AddUpdate(*def, vOnly) ? FLAT_OK : FLAT_NOT_STORED;
    });
}

// Writes over the row an earlier call left the slot on: an empty slot has none.
XRDB8_EXPORT int ProdUpd(int slot, prod_def* def, int vOnly) {
    return xr::Shielded(FLAT_NOT_STORED, xr::Quietly{}, [&]() -> int {
        CProduct* object = xr::flat::g_slots<ProdFamily>.Existing(slot);
        if (!object || !def) return FLAT_NOT_STORED;
        return object->UpdateCurrent(*def, vOnly) ? FLAT_OK : FLAT_NOT_STORED;
    });
}

XRDB8_EXPORT int ProdFirst(int slot, prod_def* def) {
    return xr::flat::First<ProdFamily>(slot, def);
}
XRDB8_EXPORT int ProdLast(int slot, prod_def* def) { return xr::flat::Last<ProdFamily>(slot, def); }
XRDB8_EXPORT int ProdNext(int slot, prod_def* def) { return xr::flat::Next<ProdFamily>(slot, def); }
XRDB8_EXPORT int ProdPrev(int slot, prod_def* def) { return xr::flat::Prev<ProdFamily>(slot, def); }
XRDB8_EXPORT int ProdDeleteAll() { return xr::flat::DeleteAll<ProdFamily>(); }

// ---- Prod2 -------------------------------------------------------------------------

XRDB8_EXPORT int Prod2First(prod_def* def) {
    return xr::flat::Prod2Get(def, [](const prod_def&) {
        return std::string("SELECT * FROM Products WHERE Description > '' ORDER BY Description");
    });
}

// The structure holds at most 17 characters of a description, so the product
// passed in may sort after its own cut description: when the query finds that
// same product first, step past every row whose cut description is the one
// given, and answer with the first that differs.
XRDB8_EXPORT int Prod2GT(prod_def* def) {
    return xr::Shielded(FLAT_NO_ROW, xr::Quietly{}, [&]() -> int {
        if (!def) return FLAT_NO_ROW;
        const prod_def given = *def;
        CProduct& object = xr::flat::Prod2Object();
        const std::string sql = "SELECT * FROM Products WHERE Description > " +
                                xr::flat::QuotedDescription(given) + " ORDER BY Description";
        if (!object.OpenGet(sql.c_str())) return FLAT_NO_ROW;
        if (object.m_def.PLU == given.PLU) {
            while (std::strncmp(object.m_def.Description, given.Description,
                                sizeof given.Description) == 0) {
                if (!object.MoveNext()) return FLAT_NO_ROW;
            }
        }
        std::memcpy(def, &object.m_def, sizeof *def);
        return FLAT_OK;
    });
}

XRDB8_EXPORT int Prod2GTE(prod_def* def) {
    return xr::flat::Prod2Get(def, [](const prod_def& given) {
        return "SELECT * FROM Products WHERE Description >= " + xr::flat::QuotedDescription(given) +
               " ORDER BY Description";
    });
}

XRDB8_EXPORT int Prod2LT(prod_def* def) {
    return xr::flat::Prod2Get(def, [](const prod_def& given) {
        return "SELECT * FROM Products WHERE Description < " + xr::flat::QuotedDescription(given) +
               " ORDER BY Description DESC";
    });
}

XRDB8_EXPORT int Prod2EQ(prod_def* def) {
    return xr::flat::Prod2Get(def, [](const prod_def& given) {
        return xr::Format("SELECT * FROM Products WHERE PLU=%lld",
                          static_cast<long long>(given.PLU));
    });
}

XRDB8_EXPORT int Prod2Close() {
    return xr::Shielded(FLAT_OK, xr::Quietly{}, []() -> int {
        delete xr::flat::g_prod2;
        xr::flat::g_prod2 = nullptr;
        return FLAT_OK;
    });
}

// ---- Barc --------------------------------------------------------------------------

XRDB8_EXPORT int BarcClose(int slot) { return xr::flat::Close<BarcFamily>(slot); }
XRDB8_EXPORT int BarcCount(int slot) { return xr::flat::Count<BarcFamily>(slot); }
XRDB8_EXPORT int BarcCmd(int slot, const char* sql) { return xr::flat::Cmd<BarcFamily>(slot, sql); }
XRDB8_EXPORT int BarcEqu(int slot, barc_def* def) { return xr::flat::Equ<BarcFamily>(slot, def); }
XRDB8_EXPORT int BarcAdd(int slot, barc_def* def) { return xr::flat::Add<BarcFamily>(slot, def); }
XRDB8_EXPORT int BarcFirst(int slot, barc_def* def) {
    return xr::flat::First<BarcFamily>(slot, def);
}
XRDB8_EXPORT int BarcLast(int slot, barc_def* def) { return xr::flat::Last<BarcFamily>(slot, def); }
XRDB8_EXPORT int BarcNext(int slot, barc_def* def) { return xr::flat::Next<BarcFamily>(slot, def); }
XRDB8_EXPORT int BarcPrev(int slot, barc_def* def) { return xr::flat::Prev<BarcFamily>(slot, def); }
XRDB8_EXPORT int BarcDeleteAll() { return xr::flat::DeleteAll<BarcFamily>(); }
