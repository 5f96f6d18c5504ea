// How a sale is paid and who and what takes part in it: payment methods with
// their printable texts, foreign currencies, function keys, servers (staff),
// printers, macros, preset keys and the servers on them, and time plans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "xrdb8/export.h"
#include "xrdb8/records_common.h"
#include "xrdb8/xrtable.h"

#pragma pack(push, 1)
// A payment method (30 bytes).
struct paymeth_def {
    uint16_t PymNo;  // the key
    // The name without its number marker "${N}", at most 21 characters;
    // CPayMeth::GetName gives it with the number put in.
    char Name[22];
    int32_t Floor;   // hundredths
    uint16_t Flags;  // PYM_TENDER ... PYM_CUSTNP; bit 0 and bits 12-15 are kept
};

// A foreign currency (35 bytes).
struct forex_def {
    int32_t ForexNo;  // the key
    int32_t EntryNoDP;
    char Description[13];
    char Symbol[4];
    int16_t DP;
    double toPound;
};

// A function key (20 bytes).
struct funcctrl2_def {
    int32_t FuncNo;  // the key
    uint8_t reserved0[2];
    char Name[9];
    int16_t Auth;
    uint16_t Flags;  // FUNC_PASSWORD ... FUNC_AUDITABLE; other bits are kept
    uint8_t reserved1[1];
};

// A server: a member of staff who logs on to the tills (36 bytes).
struct srvr_def {
    uint8_t reserved0[2];
    uint16_t SrvNo;  // the key
    char Name[22];
    int16_t Auth;
    uint16_t Password;
    uint16_t Drawer;
    uint16_t FlipView;
    int16_t TrainingMode;
};

// A printer of a till (221 bytes).
struct cfgprt_def {
    int32_t Active;  // 1 when the column is not 0, else 0
    int32_t TillNo;  // first key
    char Name[10];   // second key
    char Port[9];
    int8_t Chan;
    char Type[20];
    uint16_t Linpp;
    uint16_t TopMrg;
    int16_t Link;
    int32_t FloType;
    uint8_t reserved0[163];
};

// A preset key of a screen (18 bytes).
struct preset2_def {
    int32_t ScrnNo;    // first key
    int32_t PresetNo;  // second key
    uint64_t PLU;
    uint8_t reserved0[2];
};

// One entry of a time plan (64 bytes, the layout the till programs share).
//
// The entry's name is not in the structure. The tills' layout has a pointer
// to it in a four-byte place; a pointer does not fit there in a 64-bit
// process, and a pointer means nothing to another process anyway. So the
// place holds a switch: 0 means the entry has no name of its own (a write
// stores "default"), any other value that its name is the text the
// CTimePlan's name pointer (m_pName) designates. A read sets the switch to
// SCHEDULE_NAMED and points m_pName at the object's copy of the stored name.
struct schedule_def {
    int32_t PlanNo;      // first key
    int32_t EntryNo;     // second key
    uint32_t TypeFlags;  // bit 0: "Type" is not 0; other bits are kept
    uint32_t Days;       // bit 0 Sunday .. bit 6 Saturday
    int32_t Start;       // minutes after midnight
    int32_t End;         // minutes after midnight
    int32_t EndLimit;    // End less "EndPeriod", at least 0; read only
    uint8_t reserved0[8];
    int32_t IPam1;
    int32_t IPam2;
    uint8_t reserved1[4];
    uint32_t Name;  // 0: no name ("default"); else see CTimePlan::m_pName
    uint8_t reserved2[8];
    int32_t Active;
};
#pragma pack(pop)

// Bits of paymeth_def::Flags.
enum : uint16_t {
    PYM_TENDER = 0x0002,
    PYM_OVERTENDER = 0x0004,
    PYM_CHANGE = 0x0008,
    PYM_GRATUITY = 0x0010,
    PYM_DRAWER = 0x0020,
    PYM_EFT = 0x0040,          // an EFT payment without cashback ("Eft")
    PYM_EFTCASHBACK = 0x0080,  // an EFT payment with cashback ("Eft" and "Cashback")
    PYM_NONBANK = 0x0100,
    PYM_ALTCUR = 0x0200,
    PYM_RCTPRINT = 0x0400,
    PYM_CUSTNP = 0x0800,
};

// Bits of funcctrl2_def::Flags.
enum : uint16_t {
    FUNC_PASSWORD = 0x0001,
    FUNC_AUDIT = 0x0002,
    FUNC_LOG = 0x0004,
    FUNC_AUDITABLE = 0x0008,
};

// Bits of schedule_def::Days.
enum : uint32_t {
    SCHED_SUNDAY = 0x01,
    SCHED_MONDAY = 0x02,
    SCHED_TUESDAY = 0x04,
    SCHED_WEDNESDAY = 0x08,
    SCHED_THURSDAY = 0x10,
    SCHED_FRIDAY = 0x20,
    SCHED_SATURDAY = 0x40,
};

// schedule_def::Name after a read: the entry's name is the object's.
constexpr uint32_t SCHEDULE_NAMED = 1;

static_assert(sizeof(paymeth_def) == 30, "paymeth_def is 30 bytes");
static_assert(offsetof(paymeth_def, Name) == 2);
static_assert(offsetof(paymeth_def, Floor) == 24);
static_assert(offsetof(paymeth_def, Flags) == 28);

static_assert(sizeof(forex_def) == 35, "forex_def is 35 bytes");
static_assert(offsetof(forex_def, EntryNoDP) == 4);
static_assert(offsetof(forex_def, Description) == 8);
static_assert(offsetof(forex_def, Symbol) == 21);
static_assert(offsetof(forex_def, DP) == 25);
static_assert(offsetof(forex_def, toPound) == 27);

static_assert(sizeof(funcctrl2_def) == 20, "funcctrl2_def is 20 bytes");
static_assert(offsetof(funcctrl2_def, reserved0) == 4);
static_assert(offsetof(funcctrl2_def, Name) == 6);
static_assert(offsetof(funcctrl2_def, Auth) == 15);
static_assert(offsetof(funcctrl2_def, Flags) == 17);
static_assert(offsetof(funcctrl2_def, reserved1) == 19);

static_assert(sizeof(srvr_def) == 36, "srvr_def is 36 bytes");
static_assert(offsetof(srvr_def, SrvNo) == 2);
static_assert(offsetof(srvr_def, Name) == 4);
static_assert(offsetof(srvr_def, Auth) == 26);
static_assert(offsetof(srvr_def, Password) == 28);
static_assert(offsetof(srvr_def, Drawer) == 30);
static_assert(offsetof(srvr_def, FlipView) == 32);
static_assert(offsetof(srvr_def, TrainingMode) == 34);

static_assert(sizeof(cfgprt_def) == 221, "cfgprt_def is 221 bytes");
static_assert(offsetof(cfgprt_def, TillNo) == 4);
static_assert(offsetof(cfgprt_def, Name) == 8);
static_assert(offsetof(cfgprt_def, Port) == 18);
static_assert(offsetof(cfgprt_def, Chan) == 27);
static_assert(offsetof(cfgprt_def, Type) == 28);
static_assert(offsetof(cfgprt_def, Linpp) == 48);
static_assert(offsetof(cfgprt_def, TopMrg) == 50);
static_assert(offsetof(cfgprt_def, Link) == 52);
static_assert(offsetof(cfgprt_def, FloType) == 54);
static_assert(offsetof(cfgprt_def, reserved0) == 58);

static_assert(sizeof(preset2_def) == 18, "preset2_def is 18 bytes");
static_assert(offsetof(preset2_def, PresetNo) == 4);
static_assert(offsetof(preset2_def, PLU) == 8);
static_assert(offsetof(preset2_def, reserved0) == 16);

static_assert(sizeof(schedule_def) == 64, "schedule_def is 64 bytes");
static_assert(offsetof(schedule_def, EntryNo) == 4);
static_assert(offsetof(schedule_def, TypeFlags) == 8);
static_assert(offsetof(schedule_def, Days) == 12);
static_assert(offsetof(schedule_def, Start) == 16);
static_assert(offsetof(schedule_def, End) == 20);
static_assert(offsetof(schedule_def, EndLimit) == 24);
static_assert(offsetof(schedule_def, reserved0) == 28);
static_assert(offsetof(schedule_def, IPam1) == 36);
static_assert(offsetof(schedule_def, IPam2) == 40);
static_assert(offsetof(schedule_def, reserved1) == 44);
static_assert(offsetof(schedule_def, Name) == 48);
static_assert(offsetof(schedule_def, reserved2) == 52);
static_assert(offsetof(schedule_def, Active) == 60);

// "PayMeths", ordered and keyed by "PymNo".
//
// A name may hold the marker "${N}" where the till puts a number in
// ("Voucher ${N}"): a read keeps the whole name in m_fullName and the name
// without the marker in m_def.Name; a write stores m_def.Name, so writing a
// payment method back stores its name without the marker. The printable
// payment text ("PayText") lives outside the structure, in m_payText.
class XRDB8_API CPayMeth : public CXRTable {
public:
    CPayMeth();
    CPayMeth(const CPayMeth& other);
    CPayMeth& operator=(const CPayMeth& other);
    ~CPayMeth() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int pymNo);
    int AddUpdate(paymeth_def& def);

    // n = 0: m_def.Name; otherwise the full name with every "${N}" replaced
    // by n, valid until the next call.
    const char* GetName(int n);
    // Stores `text` as the payment text of `pymNo`: 0 when there is no such
    // payment method or the write failed.
    int TextAdd(int pymNo, const std::string& text);
    // The payment text of `pymNo` into `text`: 0 when there is no such
    // payment method.
    int TextGet(int pymNo, std::string& text);

    paymeth_def m_def;
    std::string m_payText;       // "PayText"
    std::string m_fullName;      // "Name" as stored, marker and all
    std::string m_numberedName;  // GetName's result

private:
    xr::records::ColumnIndex m_columns;
};

// "Forex", ordered and keyed by "ForexNo".
class XRDB8_API CForex : public CXRTable {
public:
    CForex();
    CForex(const CForex& other);
    CForex& operator=(const CForex& other);
    ~CForex() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int forexNo);
    int AddUpdate(forex_def& def);

    forex_def m_def;

private:
    xr::records::ColumnIndex m_columns;
};

// "Functions", ordered and keyed by "FuncNo".
class XRDB8_API CFunction : public CXRTable {
public:
    CFunction();
    CFunction(const CFunction& other);
    CFunction& operator=(const CFunction& other);
    ~CFunction() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int funcNo);
    int AddUpdate(funcctrl2_def& def);

    funcctrl2_def m_def;

private:
    xr::records::ColumnIndex m_columns;
};

// "Servers", ordered and keyed by "SrvNo".
class XRDB8_API CServer : public CXRTable {
public:
    CServer();
    CServer(const CServer& other);
    CServer& operator=(const CServer& other);
    ~CServer() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int srvNo);
    int AddUpdate(srvr_def& def);

    srvr_def m_def;

protected:
    // Lines of a CSV file into the table (see CXRTable::ImportCSV).
    int ImportCSVBody(CStdioFile& file, int flags) override;

private:
    xr::records::ColumnIndex m_columns;
};

// "Printers", ordered by "TillNo, Name" and keyed by both: a printer name is
// a till's own.
class XRDB8_API CPrinter : public CXRTable {
public:
    CPrinter();
    CPrinter(const CPrinter& other);
    CPrinter& operator=(const CPrinter& other);
    ~CPrinter() override;
    int StructureTo() override;
    int StructureFrom() override;

    // The printer `name` of till `tillNo` (any text: quotes are doubled).
    int Equ(int tillNo, const char* name);
    int AddUpdate(cfgprt_def& def);

    cfgprt_def m_def;

private:
    xr::records::ColumnIndex m_columns;
};

// "Macros", ordered and keyed by "MacNo"; no structure.
class XRDB8_API CMacro : public CXRTable {
public:
    CMacro();
    CMacro(const CMacro& other);
    CMacro& operator=(const CMacro& other);
    ~CMacro() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int macNo);
    // Finds macro `macNo` or adds it, and stores `text` as its macro text.
    int AddUpdate(int macNo, const std::string& text);

    std::string m_macText;      // "MacText"
    std::string m_description;  // "Description"
    int32_t m_macNo;            // "MacNo"

private:
    xr::records::ColumnIndex m_columns;
};

// "Presets", ordered by "ScrnNo, PresetNo" and keyed by both.
class XRDB8_API CPreset : public CXRTable {
public:
    CPreset();
    CPreset(const CPreset& other);
    CPreset& operator=(const CPreset& other);
    ~CPreset() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int scrnNo, int presetNo);
    int AddUpdate(preset2_def& def);

    preset2_def m_def;

private:
    xr::records::ColumnIndex m_columns;
};

// "PresetSrvrs": which server a till's preset key stands for; ordered by
// "TillNo, Preset" and keyed by both. No structure.
class XRDB8_API CPresetSrvr : public CXRTable {
public:
    CPresetSrvr();
    CPresetSrvr(const CPresetSrvr& other);
    CPresetSrvr& operator=(const CPresetSrvr& other);
    ~CPresetSrvr() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int tillNo, int preset);
    int AddUpdate(int tillNo, int preset, int srvNo);

    int32_t m_srvNo;   // "SrvNo"
    int32_t m_preset;  // "Preset"
    int32_t m_tillNo;  // "TillNo"

private:
    xr::records::ColumnIndex m_columns;
};

// "TimePlanEntrys": the entries of the time plans, ordered by "PlanNo,
// EntryNo" and keyed by both. Times are minutes after midnight in the
// structure and hours and minutes in the table; a write always stores
// "EndPeriod" 5 and an empty "SPam1".
class XRDB8_API CTimePlan : public CXRTable {
public:
    CTimePlan();
    CTimePlan(const CTimePlan& other);
    CTimePlan& operator=(const CTimePlan& other);
    ~CTimePlan() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int planNo, int entryNo);
    // Makes sure plan def.PlanNo has a header row in "TimePlans" (a new plan
    // gets "Auto entry for <n>"; an existing header is left alone), then
    // finds the entry or adds it and writes `def` over it. The name written
    // is the one m_pName designates when def.Name is not 0, else "default".
    int AddUpdate(schedule_def& def);
    // The same, writing `name` (null: "default") whatever def.Name holds.
    int AddUpdate(schedule_def& def, const char* name);

    // The stored name of the entry read last (at most 39 characters).
    const char* GetName() const { return m_entryName; }

    schedule_def m_def;
    // The entry's name (see schedule_def): points at m_entryName after a
    // read; a caller may point it at a text of its own before a write.
    const char* m_pName;
    char m_entryName[40];

private:
    xr::records::ColumnIndex m_columns;
};

// "TimePlans": the headers of the time plans, keyed by "PlanNo"; no order
// and no structure.
class XRDB8_API CTimePlanHdr : public CXRTable {
public:
    CTimePlanHdr();
};
