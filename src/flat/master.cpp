// The master-data families of the flat interface: departments, groups,
// price modifiers, mix-and-match offers and promotions. Each has the six
// basic functions and nothing more.
#include "flat/family.h"
#include "xrdb8/records_master.h"

namespace xr::flat {
namespace {

struct DeptFamily {
    using Object = CDept;
    using Def = dept_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.DptNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
};

struct GroupFamily {
    using Object = CGroup;
    using Def = group_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.GrpNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
};

struct PluModFamily {
    using Object = CPLUModifier;
    using Def = plumod2_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.ModNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
};

struct MMFamily {
    using Object = CMixMatch;
    using Def = mixmatch2_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.MMNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
};

struct PromFamily {
    using Object = CPromo;
    using Def = promdet_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.PromNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
};

}  // namespace
}  // namespace xr::flat

XR_FLAT_BASIC_FAMILY(Dept, xr::flat::DeptFamily)
XR_FLAT_BASIC_FAMILY(Group, xr::flat::GroupFamily)
XR_FLAT_BASIC_FAMILY(PluMod, xr::flat::PluModFamily)
XR_FLAT_BASIC_FAMILY(MM, xr::flat::MMFamily)
XR_FLAT_BASIC_FAMILY(Prom, xr::flat::PromFamily)
