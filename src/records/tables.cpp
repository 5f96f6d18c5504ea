// The restaurant floor and the terminal screens: tables, table areas and
// their groups, table status levels, rooms, screen modes and flexible texts.
#include <cstring>
#include <string>

#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_tables.h"

using namespace xr::records;

namespace {

// Blocks: 0 the structure, 1 the limit switch, 2 the limit.
constexpr Column kTableMap[] = {
    Col("TblNo", XR_FIELD(table_def, TblNo), Kind::kU16),
    Col("Name", XR_FIELD(table_def, Name), Kind::kText),
    BitSet("Account", XR_FIELD(table_def, Flags), TABLE_ACCOUNT),
    Col("LimitEnable", Whole<int32_t>(1), Kind::kI32),
    Col("Limit", Whole<int32_t>(2), Kind::kI32),
};
static_assert(FitsIn(kTableMap, sizeof(table_def)));

// Blocks: 0 lowest, 1 highest table number, 2 area, 3 macro, 4 name.
constexpr Column kTableAreasMap[] = {
    Col("AreaID", Whole<int32_t>(2), Kind::kI32),
    Col("AreaName", Whole<std::string>(4), Kind::kString),
    Col("TblnoLo", Whole<int32_t>(0), Kind::kI32),
    Col("TblnoHi", Whole<int32_t>(1), Kind::kI32),
    Col("TableOpenMacro", Whole<int32_t>(3), Kind::kI32),
};

// Blocks: 0 description, 1 room number.
constexpr Column kRoomMap[] = {
    Col("Description", Whole<std::string>(0), Kind::kString),
    Col("RoomNo", Whole<int32_t>(1), Kind::kI32),
};

// Blocks, in the order of CScreenMode's members: 0 description, 1 screen,
// 2 top list, 3 trading functions, 4 logged-off list, 5 logged-off
// functions, 6 payment functions, 7 top list while paying.
constexpr Column kScreenModeMap[] = {
    Col("ScrnNo", Whole<int32_t>(1), Kind::kI32),
    Col("FListLoggedOff", Whole<int32_t>(5), Kind::kI32),
    Col("ListLoggedOff", Whole<int32_t>(4), Kind::kI32),
    Col("FListTrading", Whole<int32_t>(3), Kind::kI32),
    Col("ListTop", Whole<int32_t>(2), Kind::kI32),
    Col("FListPayment", Whole<int32_t>(6), Kind::kI32),
    Col("ListTopPayment", Whole<int32_t>(7), Kind::kI32),
    Col("Description", Whole<std::string>(0), Kind::kString),
};

}  // namespace

// ---- CTable ---------------------------------------------------------------------------

CTable::CTable() : m_limit(0), m_limitEnable(0) {
    m_name = "Tables";
    m_orderBy = "TblNo";
    m_keys[0] = "TblNo";
    std::memset(&m_def, 0, sizeof m_def);
}

CTable::CTable(const CTable& other) = default;
CTable& CTable::operator=(const CTable& other) = default;
CTable::~CTable() = default;

int CTable::StructureTo() {
    ReadRow(*this, kTableMap, m_columns, {&m_def, &m_limitEnable, &m_limit});
    return 1;
}

int CTable::StructureFrom() {
    WriteRow(*this, kTableMap, m_columns, {&m_def, &m_limitEnable, &m_limit});
    return 1;
}

int CTable::Equ(int tblNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Tables WHERE TblNo=%d", tblNo));
}

int CTable::AddUpdate(table_def& def) {
    const table_def given = def;
    if (Equ(given.TblNo) == 1) return StoreRecord(*this, true, &m_def, &given, sizeof given);
    // A new table takes the limit the object holds (a till program sets it
    // before adding, or leaves a fresh object's 0): the new row's empty
    // values must not replace it.
    const int32_t limit = m_limit;
    const int32_t limitEnable = m_limitEnable;
    if (!AddNew()) return 0;
    m_limit = limit;
    m_limitEnable = limitEnable;
    return StoreRecord(*this, true, &m_def, &given, sizeof given);
}

// ---- CTableAreas ----------------------------------------------------------------------

CTableAreas::CTableAreas() : m_tblnoLo(0), m_tblnoHi(0), m_areaId(0), m_tableOpenMacro(0) {
    m_name = "TableAreas";
    m_orderBy = "AreaID";
    m_keys[0] = "AreaID";
}

CTableAreas::CTableAreas(const CTableAreas& other) = default;
CTableAreas& CTableAreas::operator=(const CTableAreas& other) = default;
CTableAreas::~CTableAreas() = default;

int CTableAreas::StructureTo() {
    ReadRow(*this, kTableAreasMap, m_columns,
            {&m_tblnoLo, &m_tblnoHi, &m_areaId, &m_tableOpenMacro, &m_areaName});
    return 1;
}

int CTableAreas::StructureFrom() {
    WriteRow(*this, kTableAreasMap, m_columns,
             {&m_tblnoLo, &m_tblnoHi, &m_areaId, &m_tableOpenMacro, &m_areaName});
    return 1;
}

int CTableAreas::Equ(int areaId) {
    return OpenKey(*this, xr::Format("SELECT * FROM [TableAreas] WHERE [AreaID]=%d", areaId));
}

// ---- classes without a mapping --------------------------------------------------------

CTableGroupAreas::CTableGroupAreas() {
    m_name = "TableGroupAreas";
    m_orderBy = "AreaID";
    m_keys[0] = "AreaID";
}

CTableStatusLevel::CTableStatusLevel() {
    m_name = "TableStatusLevels";
    m_orderBy = "SchemeNo, LevelNo";
    m_keys[0] = "SchemeNo";
    m_keys[1] = "LevelNo";
}

int CTableStatusLevel::Equ(int levelNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM TableStatusLevels WHERE SchemeNo=0 AND "
                                     "LevelNo=%d",
                                     levelNo));
}

CFlexTextHdrs::CFlexTextHdrs() {
    m_name = "FlexTextHdrs";
    m_orderBy = "TextName";
    m_keys[0] = "TextName";
}

CFlexTextLines::CFlexTextLines() {
    m_name = "FlexTextLines";
    m_orderBy = "SchemeNo, TextName";
    m_keys[0] = "SchemeNo";
    m_keys[1] = "TextName";
}

// ---- CRoom ----------------------------------------------------------------------------

CRoom::CRoom() : m_roomNo(0) {
    m_name = "Rooms";
    m_orderBy = "RoomNo";
    m_keys[0] = "RoomNo";
}

CRoom::CRoom(const CRoom& other) = default;
CRoom& CRoom::operator=(const CRoom& other) = default;
CRoom::~CRoom() = default;

int CRoom::StructureTo() {
    ReadRow(*this, kRoomMap, m_columns, {&m_description, &m_roomNo});
    return 1;
}

int CRoom::StructureFrom() {
    WriteRow(*this, kRoomMap, m_columns, {&m_description, &m_roomNo});
    return 1;
}

int CRoom::Equ(int roomNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Rooms WHERE [RoomNo]=%d", roomNo));
}

// ---- CScreenMode ----------------------------------------------------------------------

CScreenMode::CScreenMode()
    : m_scrnNo(0),
      m_listTop(2000),
      m_fListTrading(2002),
      m_listLoggedOff(0),
      m_fListLoggedOff(2001),
      m_fListPayment(2003),
      m_listTopPayment(0) {
    m_name = "ScreenModes";
    m_keys[0] = "ScrnNo";
}

CScreenMode::CScreenMode(const CScreenMode& other) = default;
CScreenMode& CScreenMode::operator=(const CScreenMode& other) = default;
CScreenMode::~CScreenMode() = default;

int CScreenMode::StructureTo() {
    ReadRow(*this, kScreenModeMap, m_columns,
            {&m_description, &m_scrnNo, &m_listTop, &m_fListTrading, &m_listLoggedOff,
             &m_fListLoggedOff, &m_fListPayment, &m_listTopPayment});
    return 1;
}

int CScreenMode::StructureFrom() {
    WriteRow(*this, kScreenModeMap, m_columns,
             {&m_description, &m_scrnNo, &m_listTop, &m_fListTrading, &m_listLoggedOff,
              &m_fListLoggedOff, &m_fListPayment, &m_listTopPayment});
    return 1;
}

int CScreenMode::AddNew() {
    // A new screen mode starts from the lists the object holds, a fresh
    // object's being the standard ones: the new row's empty values would make
    // every list 0, a screen with nothing on it.
    std::string description = m_description;
    const int32_t lists[] = {m_scrnNo,         m_listTop,      m_fListTrading,  m_listLoggedOff,
                             m_fListLoggedOff, m_fListPayment, m_listTopPayment};
    if (!CXRTable::AddNew()) return 0;
    m_description = std::move(description);
    m_scrnNo = lists[0];
    m_listTop = lists[1];
    m_fListTrading = lists[2];
    m_listLoggedOff = lists[3];
    m_fListLoggedOff = lists[4];
    m_fListPayment = lists[5];
    m_listTopPayment = lists[6];
    return 1;
}

int CScreenMode::Equ(int scrnNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM ScreenModes WHERE ScrnNo=%d", scrnNo));
}
