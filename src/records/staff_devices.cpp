// Servers (staff), printers, macros, preset keys and the servers on them.
#include <cstring>
#include <string>

#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_payment.h"

using namespace xr::records;

namespace {

constexpr Column kServerMap[] = {
    Col("SrvNo", XR_FIELD(srvr_def, SrvNo), Kind::kU16),
    Col("Name", XR_FIELD(srvr_def, Name), Kind::kText),
    Col("Auth", XR_FIELD(srvr_def, Auth), Kind::kI16),
    Col("Password", XR_FIELD(srvr_def, Password), Kind::kU16),
    Col("Drawer", XR_FIELD(srvr_def, Drawer), Kind::kU16),
    Col("FlipView", XR_FIELD(srvr_def, FlipView), Kind::kU16),
    Col("TrainingMode", XR_FIELD(srvr_def, TrainingMode), Kind::kI16),
};
static_assert(FitsIn(kServerMap, sizeof(srvr_def)));

// "Active" reads as 1 or 0 whatever the column holds: the tills test it
// against 1.
constexpr uint32_t kPrinterActive = 1;

constexpr Column kPrinterMap[] = {
    Custom("Active", kPrinterActive),
    Col("TillNo", XR_FIELD(cfgprt_def, TillNo), Kind::kI32),
    Col("Name", XR_FIELD(cfgprt_def, Name), Kind::kText),
    Col("Port", XR_FIELD(cfgprt_def, Port), Kind::kText),
    Col("Chan", XR_FIELD(cfgprt_def, Chan), Kind::kI8),
    Col("Type", XR_FIELD(cfgprt_def, Type), Kind::kText),
    Col("Link", XR_FIELD(cfgprt_def, Link), Kind::kI16),
    Col("Linpp", XR_FIELD(cfgprt_def, Linpp), Kind::kU16),
    Col("TopMrg", XR_FIELD(cfgprt_def, TopMrg), Kind::kU16),
    Col("FloType", XR_FIELD(cfgprt_def, FloType), Kind::kI32),
};
static_assert(FitsIn(kPrinterMap, sizeof(cfgprt_def)));

constexpr Column kPrinterActiveColumn = Col("Active", XR_FIELD(cfgprt_def, Active), Kind::kI32);

// Blocks: 0 macro text, 1 description, 2 macro number.
constexpr Column kMacroMap[] = {
    Col("MacText", Whole<std::string>(0), Kind::kString),
    Col("Description", Whole<std::string>(1), Kind::kString),
    Col("MacNo", Whole<int32_t>(2), Kind::kI32),
};

constexpr Column kPresetMap[] = {
    Col("ScrnNo", XR_FIELD(preset2_def, ScrnNo), Kind::kI32),
    Col("PresetNo", XR_FIELD(preset2_def, PresetNo), Kind::kI32),
    Col("PLU", XR_FIELD(preset2_def, PLU), Kind::kU64),
};
static_assert(FitsIn(kPresetMap, sizeof(preset2_def)));

// Blocks: 0 till number, 1 preset, 2 server number.
constexpr Column kPresetSrvrMap[] = {
    Col("TillNo", Whole<int32_t>(0), Kind::kI32),
    Col("Preset", Whole<int32_t>(1), Kind::kI32),
    Col("SrvNo", Whole<int32_t>(2), Kind::kI32),
};

}  // namespace

// ---- CServer --------------------------------------------------------------------------

CServer::CServer() {
    m_name = "Servers";
    m_orderBy = "SrvNo";
    m_keys[0] = "SrvNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CServer::CServer(const CServer& other) = default;
CServer& CServer::operator=(const CServer& other) = default;
CServer::~CServer() = default;

int CServer::StructureTo() {
    ReadRow(*this, kServerMap, m_columns, {&m_def});
    return 1;
}

int CServer::StructureFrom() {
    WriteRow(*this, kServerMap, m_columns, {&m_def});
    return 1;
}

int CServer::Equ(int srvNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Servers WHERE SrvNo=%d", srvNo));
}

int CServer::AddUpdate(srvr_def& def) {
    const srvr_def given = def;
    return StoreRecord(*this, Equ(given.SrvNo) == 1, &m_def, &given, sizeof given);
}

// ---- CPrinter -------------------------------------------------------------------------

CPrinter::CPrinter() {
    m_name = "Printers";
    m_orderBy = "TillNo, Name";
    m_keys[0] = "TillNo";
    m_keys[1] = "Name";
    std::memset(&m_def, 0, sizeof m_def);
}

CPrinter::CPrinter(const CPrinter& other) = default;
CPrinter& CPrinter::operator=(const CPrinter& other) = default;
CPrinter::~CPrinter() = default;

int CPrinter::StructureTo() {
    ReadRow(*this, kPrinterMap, m_columns, {&m_def}, [this](const Column&, int32_t& pos) {
        int32_t active = 0;
        ReadEntry(*this, kPrinterActiveColumn, pos, &active);
        m_def.Active = active != 0 ? 1 : 0;
    });
    return 1;
}

int CPrinter::StructureFrom() {
    WriteRow(*this, kPrinterMap, m_columns, {&m_def}, false, [this](const Column&, int32_t& pos) {
        WriteEntry(*this, kPrinterActiveColumn, pos, &m_def);
    });
    return 1;
}

int CPrinter::Equ(int tillNo, const char* name) {
    // Printer names are typed in at the till; a quote in one stays a quote.
    return OpenKey(*this, xr::Format("SELECT * FROM Printers WHERE TillNo=%d AND Name='", tillNo) +
                              xr::QuoteSql(xr::SafeText(name)) + "'");
}

int CPrinter::AddUpdate(cfgprt_def& def) {
    const cfgprt_def given = def;
    // A name that fills all ten bytes has no terminator.
    const std::string name(given.Name, strnlen(given.Name, sizeof given.Name));
    return StoreRecord(*this, Equ(given.TillNo, name.c_str()) == 1, &m_def, &given, sizeof given);
}

// ---- CMacro ---------------------------------------------------------------------------

CMacro::CMacro() : m_macNo(0) {
    m_name = "Macros";
    m_orderBy = "MacNo";
    m_keys[0] = "MacNo";
}

CMacro::CMacro(const CMacro& other) = default;
CMacro& CMacro::operator=(const CMacro& other) = default;
CMacro::~CMacro() = default;

int CMacro::StructureTo() {
    ReadRow(*this, kMacroMap, m_columns, {&m_macText, &m_description, &m_macNo});
    return 1;
}

int CMacro::StructureFrom() {
    WriteRow(*this, kMacroMap, m_columns, {&m_macText, &m_description, &m_macNo});
    return 1;
}

int CMacro::Equ(int macNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Macros WHERE MacNo=%d", macNo));
}

int CMacro::AddUpdate(int macNo, const std::string& text) {
    if (!Equ(macNo) && !AddNew()) return 0;
    m_macText = text;
    m_macNo = macNo;
    return Update(0);
}

// ---- CPreset --------------------------------------------------------------------------

CPreset::CPreset() {
    m_name = "Presets";
    m_orderBy = "ScrnNo, PresetNo";
    m_keys[0] = "ScrnNo";
    m_keys[1] = "PresetNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CPreset::CPreset(const CPreset& other) = default;
CPreset& CPreset::operator=(const CPreset& other) = default;
CPreset::~CPreset() = default;

int CPreset::StructureTo() {
    ReadRow(*this, kPresetMap, m_columns, {&m_def});
    return 1;
}

int CPreset::StructureFrom() {
    WriteRow(*this, kPresetMap, m_columns, {&m_def});
    return 1;
}

int CPreset::Equ(int scrnNo, int presetNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Presets WHERE ScrnNo=%d AND PresetNo=%d",
                                     scrnNo, presetNo));
}

int CPreset::AddUpdate(preset2_def& def) {
    const preset2_def given = def;
    return StoreRecord(*this, Equ(given.ScrnNo, given.PresetNo) == 1, &m_def, &given, sizeof given);
}

// ---- CPresetSrvr ----------------------------------------------------------------------

CPresetSrvr::CPresetSrvr() : m_srvNo(0), m_preset(0), m_tillNo(0) {
    m_name = "PresetSrvrs";
    m_orderBy = "TillNo, Preset";
    m_keys[0] = "TillNo";
    m_keys[1] = "Preset";
}

CPresetSrvr::CPresetSrvr(const CPresetSrvr& other) = default;
CPresetSrvr& CPresetSrvr::operator=(const CPresetSrvr& other) = default;
CPresetSrvr::~CPresetSrvr() = default;

int CPresetSrvr::StructureTo() {
    ReadRow(*this, kPresetSrvrMap, m_columns, {&m_tillNo, &m_preset, &m_srvNo});
    return 1;
}

int CPresetSrvr::StructureFrom() {
    WriteRow(*this, kPresetSrvrMap, m_columns, {&m_tillNo, &m_preset, &m_srvNo});
    return 1;
}

int CPresetSrvr::Equ(int tillNo, int preset) {
    return OpenKey(*this, xr::Format("SELECT * FROM PresetSrvrs WHERE TillNo=%d AND Preset=%d",
                                     tillNo, preset));
}

int CPresetSrvr::AddUpdate(int tillNo, int preset, int srvNo) {
    if (!Equ(tillNo, preset) && !AddNew()) return 0;
    m_tillNo = tillNo;
    m_preset = preset;
    m_srvNo = srvNo;
    return Update(0);
}
