// The restaurant floor and the terminal screens: tables (the numbered tables
// a bill is opened on), table areas and their groups, table status levels,
// hotel rooms, screen modes (which screen lists a terminal shows in which
// state) and the headers and lines of flexible texts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "xrdb8/export.h"
#include "xrdb8/records_common.h"
#include "xrdb8/xrtable.h"

#pragma pack(push, 1)
// A table (28 bytes).
struct table_def {
    uint8_t reserved0[2];
    uint16_t TblNo;  // the key
    uint16_t Flags;  // TABLE_ACCOUNT; other bits are kept
    char Name[22];
};
#pragma pack(pop)

// Bits of table_def::Flags.
enum : uint16_t {
    TABLE_ACCOUNT = 0x0001,  // "Account": the table is an account
};

static_assert(sizeof(table_def) == 28, "table_def is 28 bytes");
static_assert(offsetof(table_def, TblNo) == 2);
static_assert(offsetof(table_def, Flags) == 4);
static_assert(offsetof(table_def, Name) == 6);

// "Tables", ordered and keyed by "TblNo". The spending limit and its switch
// live outside table_def: AddUpdate of an existing table keeps its stored
// limit, a new table gets the limit the object holds (0 when fresh).
class XRDB8_API CTable : public CXRTable {
public:
    CTable();
    CTable(const CTable& other);
    CTable& operator=(const CTable& other);
    ~CTable() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int tblNo);
    int AddUpdate(table_def& def);

    table_def m_def;
    int32_t m_limit;        // "Limit"
    int32_t m_limitEnable;  // "LimitEnable"

protected:
    // Lines of a CSV file into the table (see CXRTable::ImportCSV).
    int ImportCSVBody(CStdioFile& file, int flags) override;

private:
    xr::records::ColumnIndex m_columns;
};

// "TableAreas", ordered and keyed by "AreaID": a range of table numbers and
// the macro run when one of them is opened.
class XRDB8_API CTableAreas : public CXRTable {
public:
    CTableAreas();
    CTableAreas(const CTableAreas& other);
    CTableAreas& operator=(const CTableAreas& other);
    ~CTableAreas() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int areaId);

    int32_t m_tblnoLo;         // "TblnoLo"
    int32_t m_tblnoHi;         // "TblnoHi"
    int32_t m_areaId;          // "AreaID"
    int32_t m_tableOpenMacro;  // "TableOpenMacro"
    std::string m_areaName;    // "AreaName"

private:
    xr::records::ColumnIndex m_columns;
};

// "TableGroupAreas", ordered and keyed by "AreaID"; no structure.
class XRDB8_API CTableGroupAreas : public CXRTable {
public:
    CTableGroupAreas();
};

// "TableStatusLevels", ordered by "SchemeNo, LevelNo" and keyed by both; no
// structure.
class XRDB8_API CTableStatusLevel : public CXRTable {
public:
    CTableStatusLevel();
    // Level `levelNo` of scheme 0, the only scheme looked up by level.
    int Equ(int levelNo);
};

// "Rooms", ordered and keyed by "RoomNo".
class XRDB8_API CRoom : public CXRTable {
public:
    CRoom();
    CRoom(const CRoom& other);
    CRoom& operator=(const CRoom& other);
    ~CRoom() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int roomNo);
    int getRoomNo() const { return m_roomNo; }

    std::string m_description;  // "Description"
    int32_t m_roomNo;           // "RoomNo"

private:
    xr::records::ColumnIndex m_columns;
};

// "ScreenModes", keyed by "ScrnNo" (no order): the screen lists a terminal
// shows while logged off, trading and paying. A new object holds the lists
// of a new screen mode: top list 2000, function lists 2001 (logged off),
// 2002 (trading) and 2003 (paying), the other two 0.
class XRDB8_API CScreenMode : public CXRTable {
public:
    CScreenMode();
    CScreenMode(const CScreenMode& other);
    CScreenMode& operator=(const CScreenMode& other);
    ~CScreenMode() override;
    int StructureTo() override;
    int StructureFrom() override;
    // Adds a row that starts with the object's own values (a fresh object's
    // standard lists) rather than the new row's empty ones.
    int AddNew() override;

    int Equ(int scrnNo);

    int GetScrnNo() const { return m_scrnNo; }
    int GetListTop() const { return m_listTop; }
    int GetFListTrading() const { return m_fListTrading; }
    int GetListLoggedOff() const { return m_listLoggedOff; }
    int GetFListLoggedOff() const { return m_fListLoggedOff; }
    int GetFListPayment() const { return m_fListPayment; }
    int GetListPayment() const { return m_listTopPayment; }  // the top list while paying
    void SetScrnNo(int value) { m_scrnNo = value; }
    void SetListTop(int value) { m_listTop = value; }
    void SetFListTrading(int value) { m_fListTrading = value; }
    void SetFListLoggedOff(int value) { m_fListLoggedOff = value; }
    void SetFListPayment(int value) { m_fListPayment = value; }
    std::string& GetDescription() { return m_description; }
    void SetDescription(const std::string& text) { m_description = text; }

    std::string m_description;  // "Description"
    int32_t m_scrnNo;           // "ScrnNo"
    int32_t m_listTop;          // "ListTop"
    int32_t m_fListTrading;     // "FListTrading"
    int32_t m_listLoggedOff;    // "ListLoggedOff"
    int32_t m_fListLoggedOff;   // "FListLoggedOff"
    int32_t m_fListPayment;     // "FListPayment"
    int32_t m_listTopPayment;   // "ListTopPayment"

private:
    xr::records::ColumnIndex m_columns;
};

// "FlexTextHdrs", ordered and keyed by "TextName"; no structure.
class XRDB8_API CFlexTextHdrs : public CXRTable {
public:
    CFlexTextHdrs();
};

// "FlexTextLines", ordered by "SchemeNo, TextName" and keyed by both; no
// structure.
class XRDB8_API CFlexTextLines : public CXRTable {
public:
    CFlexTextLines();
};
