// Data interchange exports: SQL script files run back against the database,
// the scripter that writes them row by row or table by table, and the colour
// file of the tills' palette.
//
// Results: 1 for success and 0 for failure unless stated; no export throws.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "xrdb8/export.h"

// Runs a script file (the format the script writer produces) on the calling
// thread's connection, batch by batch: lines are joined with nothing between
// them until a line that begins with "--->GO"; other lines beginning with "--"
// are comments; text after the last "--->GO" is not run. A batch that fails is
// reported and logged and the run goes on. 1 when the file was read to its
// end; 0 when there is no connection or the file cannot be opened or read.
XRDB8_EXPORT int DBExecSQLFile(const char* path);

// ---- the scripter ------------------------------------------------------------

class CXRTable;

// The back office's change script: while it is open, single rows (by table
// selector and key values) or whole tables are appended to the script file in
// the script writer's format, with free text lines between them. The script
// is run elsewhere with DBExecSQLFile. One table object per selector is made
// on first use and kept until Stop.
//
// Selectors (table, and the row condition Write builds from a, b, c):
//   1 Products "PLU=a" (a: text, a sign and digits only)   2 CfgTills "TillNo=a"
//   3 CfgSys (every row)          4 Barcodes "Barcode='a'" (a: text)
//   5 Printers "TillNo=a AND Name='b'" (b: text)           6 Promos "PromNo=a"
//   7 PayMeths "PymNo=a"          8 Functions "FuncNo=a"
//   9 TimePlanEntrys "PlanNo=a AND EntryNo=b"              10 TimePlans "PlanNo=a"
//   11 Servers "SrvNo=a"          12 Tables "TblNo=a"      13 Depts "DptNo=a"
//   14 Groups "GrpNo=a"           15 Presets "ScrnNo=a AND PresetNo=b"
//   16 MixMatchPlus "MMNo=a"      17 Forex "ForexNo=a"     18 Loyalty "TillNo=a"
//   19 PLUModifiers "ModNo=a"     20 TableGroupAreas "AreaID=a"
//   21 ScreenModes "ScrnNo=a"     22 ListHdrs "ListNo=a"
//   23 ListItems "ListNo=a" (b 0), "... AND PageNo=b" (c 0), "... AND ItemNo=c"
//   24 Macros "MacNo=a"           25 SysValues "FieldName='a' AND FieldIndex=b" (a: text)
//   26 PresetSrvrs "TillNo=a AND Preset=b"                 27 OfferGroups "OfferGroupID=a"
//   28 OfferGroupEntries "OfferGroupID=a AND OfferGroupType=b AND ID=c"
//      (c: text, a sign and digits only)
//   29 Loyalty5 "SchemeNo=a"      30 TableStatusLevels "SchemeNo=a AND LevelNo=b"
//   31 FlexTextHdrs "[TextName]='a'" (a: text)
//   32 FlexTextLines "[SchemeNo]=a AND [TextName]='b'" (b: text)
//   33 Customers2 "[ID]=a"        34 Rooms "[RoomNo]=a"    35 PromoPackages "[PackageNo]=a"
//   36 TableAreas "[AreaID]=a"    37 Allergies (whole table only: no row condition)
// Numbers are taken as 32-bit values. Text arguments are addresses of
// zero-terminated texts; quotes in quoted text are doubled.
//
// Threads: one scripter belongs to one thread at a time.
class XRDB8_API CScripter {
public:
    static constexpr int kSlots = 40;

    CScripter();
    virtual ~CScripter();  // Stop
    CScripter(const CScripter&) = delete;
    CScripter& operator=(const CScripter&) = delete;

    // Opens `path` for appending: 1 when it opened.
    int Start(const std::string& path);
    // Frees every table object and closes the script; 1.
    int Stop();
    // `text` and a line end: 1, or 0 when no script is open.
    int Print(const std::string& text);
    // The row of `selector` that a, b and c pick, as an INSERT (mode 1), an
    // UPDATE without binary columns (0) or with them (5); mode -1 writes a
    // DELETE of that row, -2 a DELETE of the whole table. 1 when written; 0
    // when no script is open, the selector is unknown or has no condition, a
    // text argument is null or not a number where one is pasted unquoted, or
    // the row is not there.
    int Write(int selector, int mode, intptr_t a, intptr_t b, intptr_t c);
    // The whole table of `selector`: header, DELETE batch, one INSERT per
    // row. 1, also for an empty table; 0 when no script is open or the
    // selector is unknown.
    int CopyAll(int selector);
    // The table name of `selector`: 1, or 0 for an unknown selector.
    int GetTableName(int selector, std::string& name);

    const std::string& Path() const { return m_path; }
    bool IsOpen() const { return m_script != nullptr; }

private:
    // Makes the table object of `selector` (1..37) on first use.
    int Setup(int selector);

    std::string m_path;
    std::FILE* m_script = nullptr;
    std::unique_ptr<CXRTable> m_tables[kSlots];
};

// The flat scripter exports: 0 success, 1 failure, 501 when no scripter is
// active, 555 when ScriptStart finds one active already. One scripter per
// process, not locked: use it from one thread at a time.

// Makes the active scripter and opens `path` for appending: 0, or 1 when the
// file did not open (the scripter stays active until ScriptStop).
XRDB8_EXPORT int ScriptStart(const char* path);
XRDB8_EXPORT int ScriptStop();
XRDB8_EXPORT int ScriptPrint(const char* text);
// a, b and c are numbers or, where the selector takes text, text addresses:
// pointer-sized, so that an address survives on a 64-bit system.
XRDB8_EXPORT int ScriptWrite(int selector, int mode, intptr_t a, intptr_t b, intptr_t c);
XRDB8_EXPORT int ScriptCopyAll(int selector);
// Copies the selector's table name into `buffer`, at most `size` characters
// (a name of `size` characters or more is not terminated).
XRDB8_EXPORT int ScriptGetName(int selector, char* buffer, int size);
// Scripts the whole table `table` of `database`, reached with
// `connectString` on a connection of its own (the calling thread's connection
// is not used), appended to `path`; with `identityInsert` the inserts are
// wrapped in SET IDENTITY_INSERT ON/OFF. 1 success, 0 failure.
XRDB8_EXPORT int ScriptAll(const char* database, const char* connectString, const char* table,
                           const char* path, int identityInsert);

// ---- the colour file ---------------------------------------------------------

// The palette (SysValues rows "Colour", colours 1 to 64) to a text file of
// eight hexadecimal digits per colour, "# n" comments before colour 1 and
// every tenth; missing colours are written as 0. 1 when written; 0 when there
// is no palette or the file cannot be created.
XRDB8_EXPORT int DBColoursToFile(const char* path);
// A colour file into the palette: lines beginning with "#" are skipped, any
// other line is the next colour (text that is no hexadecimal number gives 0);
// at most 64 colours are read. 1 when read; 0 when it cannot be opened.
XRDB8_EXPORT int DBColoursFromFile(const char* path);
