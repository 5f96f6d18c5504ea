// The configuration families of the flat interface: a till's configuration
// (CfgTill) and the system's (CfgSys), loaded and saved whole.
#include "flat/family.h"
#include "xrdb8/records_config.h"

namespace xr::flat {
namespace {

struct CfgTillFamily {
    using Object = CCfgTill;
    using Def = cfgtill_def;
};

struct CfgSysFamily {
    using Object = CCfgSys;
    using Def = cfgsys_def;
};

}  // namespace
}  // namespace xr::flat

using xr::flat::CfgSysFamily;
using xr::flat::CfgTillFamily;

XRDB8_EXPORT int CfgTillLoad(int slot, int tillNo, cfgtill_def* def) {
    return xr::flat::Position<CfgTillFamily>(slot, def, FLAT_NO_CONFIG, true,
                                             [&](CCfgTill& object) { return object.Equ(tillNo); });
}

XRDB8_EXPORT int CfgTillSave(int slot, cfgtill_def* def) {
    return xr::Shielded(FLAT_NOT_SAVED, xr::Quietly{}, [&]() -> int {
        CCfgTill* object = xr::flat::g_slots<CfgTillFamily>.Get(slot);
        if (!object || !def) return FLAT_NOT_SAVED;
        return object->AddUpdate(*def) ? FLAT_OK : FLAT_NOT_SAVED;
    });
}

XRDB8_EXPORT int CfgTillClose(int slot) { return xr::flat::Close<CfgTillFamily>(slot); }

XRDB8_EXPORT int CfgSysLoad(int slot, cfgsys_def* def) {
    return xr::flat::Position<CfgSysFamily>(slot, def, FLAT_NO_CONFIG, true,
                                            [](CCfgSys& object) { return object.Load(); });
}

XRDB8_EXPORT int CfgSysSave(int slot, cfgsys_def* def) {
    return xr::Shielded(FLAT_NOT_SAVED, xr::Quietly{}, [&]() -> int {
        CCfgSys* object = xr::flat::g_slots<CfgSysFamily>.Get(slot);
        if (!object || !def) return FLAT_NOT_SAVED;
        return object->AddUpdate(*def) ? FLAT_OK : FLAT_NOT_SAVED;
    });
}

XRDB8_EXPORT int CfgSysClose(int slot) { return xr::flat::Close<CfgSysFamily>(slot); }
