// The payment, staff and device families of the flat interface: payment
// methods and their texts, currencies, function keys, servers, printers,
// preset keys, macros and time plans.
#include <cstring>
#include <string>

#include "flat/family.h"
#include "platform/text.h"
#include "xrdb8/records_payment.h"

namespace xr::flat {
namespace {

struct PymFamily {
    using Object = CPayMeth;
    using Def = paymeth_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.PymNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
};

struct ExchFamily {
    using Object = CForex;
    using Def = forex_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.ForexNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
};

struct FuncFamily {
    using Object = CFunction;
    using Def = funcctrl2_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.FuncNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
    // The till programs read function keys field by field.
    static void CopyOut(const Object& o, Def* d) {
        XR_FLAT_COPY_FIELD(*d, o.m_def, FuncNo);
        XR_FLAT_COPY_FIELD(*d, o.m_def, reserved0);
        XR_FLAT_COPY_FIELD(*d, o.m_def, Name);
        XR_FLAT_COPY_FIELD(*d, o.m_def, Auth);
        XR_FLAT_COPY_FIELD(*d, o.m_def, Flags);
        XR_FLAT_COPY_FIELD(*d, o.m_def, reserved1);
    }
};
static_assert(sizeof(funcctrl2_def) == 4 + 2 + 9 + 2 + 2 + 1,
              "every byte of funcctrl2_def is copied");

struct SrvrFamily {
    using Object = CServer;
    using Def = srvr_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.SrvNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
};

struct PrtFamily {
    using Object = CPrinter;
    using Def = cfgprt_def;
    // The caller's 10-byte name need not end in a NUL; CPrinter doubles any quote.
    static int Equ(Object& o, const Def& d) { return o.Equ(d.TillNo, FieldText(d.Name).c_str()); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
    // A till walks its own printers by name; till 0 walks them all.
    static std::string FirstQuery(const Def& d) {
        if (d.TillNo == 0) return {};
        return Format("SELECT * FROM Printers WHERE TillNo=%d ORDER BY TillNo, Name", d.TillNo);
    }
};

struct PresetFamily {
    using Object = CPreset;
    using Def = preset2_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.ScrnNo, d.PresetNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
    static void CopyOut(const Object& o, Def* d) {
        XR_FLAT_COPY_FIELD(*d, o.m_def, ScrnNo);
        XR_FLAT_COPY_FIELD(*d, o.m_def, PresetNo);
        XR_FLAT_COPY_FIELD(*d, o.m_def, PLU);
        XR_FLAT_COPY_FIELD(*d, o.m_def, reserved0);
    }
};
static_assert(sizeof(preset2_def) == 4 + 4 + 8 + 2, "every byte of preset2_def is copied");

struct TPlanFamily {
    using Object = CTimePlan;
    using Def = schedule_def;
    static int Equ(Object& o, const Def& d) { return o.Equ(d.PlanNo, d.EntryNo); }
    static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
    // A plan number walks that plan's entries only.
    static std::string FirstQuery(const Def& d) {
        if (d.PlanNo == 0) return {};
        return Format("SELECT * FROM TIMEPLANENTRYS WHERE PlanNo=%d ORDER BY PlanNo, EntryNo",
                      d.PlanNo);
    }
    // The entry's name stays with the slot object: the caller gets the
    // switch that says the entry has one (see schedule_def).
    static void CopyOut(const Object& o, Def* d) {
        XR_FLAT_COPY_FIELD(*d, o.m_def, PlanNo);
        XR_FLAT_COPY_FIELD(*d, o.m_def, EntryNo);
        XR_FLAT_COPY_FIELD(*d, o.m_def, TypeFlags);
        XR_FLAT_COPY_FIELD(*d, o.m_def, Days);
        XR_FLAT_COPY_FIELD(*d, o.m_def, Start);
        XR_FLAT_COPY_FIELD(*d, o.m_def, End);
        XR_FLAT_COPY_FIELD(*d, o.m_def, EndLimit);
        XR_FLAT_COPY_FIELD(*d, o.m_def, reserved0);
        XR_FLAT_COPY_FIELD(*d, o.m_def, IPam1);
        XR_FLAT_COPY_FIELD(*d, o.m_def, IPam2);
        XR_FLAT_COPY_FIELD(*d, o.m_def, reserved1);
        XR_FLAT_COPY_FIELD(*d, o.m_def, Name);
        XR_FLAT_COPY_FIELD(*d, o.m_def, reserved2);
        XR_FLAT_COPY_FIELD(*d, o.m_def, Active);
    }
};
static_assert(sizeof(schedule_def) == 7 * 4 + 8 + 2 * 4 + 4 + 4 + 8 + 4,
              "every byte of schedule_def is copied");

// Macros carry no structure: the slot is still the family's own.
struct MacFamily {
    using Object = CMacro;
};

}  // namespace
}  // namespace xr::flat

using xr::flat::MacFamily;
using xr::flat::PrtFamily;
using xr::flat::PymFamily;
using xr::flat::TPlanFamily;

XR_FLAT_BASIC_FAMILY(Pym, xr::flat::PymFamily)
XR_FLAT_BASIC_FAMILY(Exch, xr::flat::ExchFamily)
XR_FLAT_BASIC_FAMILY(Func, xr::flat::FuncFamily)
XR_FLAT_BASIC_FAMILY(Srvr, xr::flat::SrvrFamily)
XR_FLAT_BASIC_FAMILY(Prt, xr::flat::PrtFamily)
XR_FLAT_BASIC_FAMILY(Preset, xr::flat::PresetFamily)
XR_FLAT_BASIC_FAMILY(TPlan, xr::flat::TPlanFamily)

// ---- payment texts: a CPayMeth of the call's own, no slot ----------------------

XRDB8_EXPORT int PymTextAdd(int pymNo, const char* text) {
    return xr::Shielded(FLAT_TEXT_NOT_STORED, xr::Quietly{}, [&]() -> int {
        if (!text) return FLAT_TEXT_NOT_STORED;
        CPayMeth object;
        return object.TextAdd(pymNo, text) ? FLAT_OK : FLAT_TEXT_NOT_STORED;
    });
}

XRDB8_EXPORT int PymTextGet(int pymNo, char* buffer, unsigned size) {
    return xr::Shielded(FLAT_NO_TEXT, xr::Quietly{}, [&]() -> int {
        if (!buffer || size == 0) return FLAT_NO_TEXT;
        CPayMeth object;
        std::string text;
        if (!object.TextGet(pymNo, text)) return FLAT_NO_TEXT;
        xr::flat::CopyText(text, buffer, size);
        return FLAT_OK;
    });
}

// ---- printers, presets, time plans: deleting by key through slot 0 --------------

XRDB8_EXPORT int PrtDeleteTill(int tillNo) {
    return xr::flat::ExecSlot0<PrtFamily>(
        [&] { return xr::Format("DELETE FROM Printers WHERE TillNo=%d", tillNo); });
}

XRDB8_EXPORT int PresetDeleteScrn(int scrnNo) {
    return xr::flat::ExecSlot0<xr::flat::PresetFamily>(
        [&] { return xr::Format("DELETE FROM Presets WHERE ScrnNo=%d", scrnNo); });
}

XRDB8_EXPORT int TPlanDeletePlan(int planNo) {
    return xr::flat::ExecSlot0<TPlanFamily>(
        [&] { return xr::Format("DELETE FROM TimePlanEntrys WHERE PlanNo=%d", planNo); });
}

// Counting leaves the slot's object on a static recordset, so the count
// closes the slot as TPlanClose does: the next call starts afresh.
XRDB8_EXPORT int TPlanCount(int slot, int planNo) {
    return xr::Shielded(-1, xr::Quietly{}, [&]() -> int {
        CTimePlan* object = xr::flat::g_slots<TPlanFamily>.Get(slot);
        if (!object) return -1;
        const long count =
            planNo != 0
                ? object->Count(
                      xr::Format("SELECT * FROM TimePlanEntrys WHERE PlanNo=%d", planNo).c_str())
                : object->Count();
        xr::flat::g_slots<TPlanFamily>.Close(slot);
        return static_cast<int>(count);
    });
}

// ---- macros: number and text, no structure ---------------------------------------

XRDB8_EXPORT int MacClose(int slot) { return xr::flat::Close<MacFamily>(slot); }

XRDB8_EXPORT int MacAdd(int slot, int macNo, const char* text) {
    return xr::Shielded(FLAT_NOT_STORED, xr::Quietly{}, [&]() -> int {
        CMacro* object = xr::flat::g_slots<MacFamily>.Get(slot);
        if (!object || !text) return FLAT_NOT_STORED;
        return object->AddUpdate(macNo, text) > 0 ? FLAT_OK : FLAT_NOT_STORED;
    });
}

XRDB8_EXPORT int MacEqu(int slot, int macNo, char* buffer, unsigned size) {
    return xr::Shielded(FLAT_NO_KEY, xr::Quietly{}, [&]() -> int {
        CMacro* object = xr::flat::g_slots<MacFamily>.Get(slot);
        if (!object || !buffer || size == 0) return FLAT_NO_KEY;
        if (!object->Equ(macNo)) return FLAT_NO_KEY;
        xr::flat::CopyText(object->m_macText, buffer, size);
        return FLAT_OK;
    });
}

XRDB8_EXPORT int MacDeleteAll() { return xr::flat::DeleteAll<MacFamily>(); }
