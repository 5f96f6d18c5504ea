// Screen lists: the key grids the tills show (ListHdrs, one row per list;
// ListItems, one row per key), and their conversion to and from the list
// files (L%05d.LST, one list) and screen-definition files (SCRDEF%02d.DEF,
// the four lists of one screen) that older tills kept.
//
// The converter CListDB is reached by the host through four slots (0 to 3):
// every export but ListClose makes the slot's converter when the slot is
// empty, and the converter keeps its settings until ListClose. A slot outside
// 0 to 3 is refused (kListBadSlot, or nothing done for the exports without a
// result).
//
// Files: a folder and a file name are joined with "/" (a folder may end with
// it; an empty folder is the current one). A file or folder whose name differs
// from the one asked for only in case is taken for it, since list files often
// come from systems that ignore case. Files are written with "\n"; readers
// take "\n" and "\r\n" alike.
//
// Threads: the slots are process-wide and unguarded; a converter, like every
// table object, belongs to one thread at a time. No operation throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "xrdb8/export.h"
#include "xrdb8/records_common.h"
#include "xrdb8/xrtable.h"

#pragma pack(push, 1)
// A list header (88 bytes, the layout the till programs share).
struct plist_def {
    int16_t ListNo;       // the key
    int32_t NPages;       // pages of keys
    int8_t Rows;          // grid of one page: rows by columns; 0 by 0 is no grid
    int8_t Cols;          //
    char LayoutName[21];  // the grid's name in a list file (LIST5X6, FUNC5X3); not stored
    char Description[42];
    int8_t Staydown;  // 0 or 1
    uint8_t reserved0;
    int16_t Link;
    int16_t SelMin;
    int16_t SelMax;
    uint8_t reserved1[2];
    int16_t ScrNo;
    // "L" item list, "F" function-key list, or other letters.
    char Location[5];
};
#pragma pack(pop)

static_assert(sizeof(plist_def) == 88, "plist_def is 88 bytes");
static_assert(offsetof(plist_def, NPages) == 2);
static_assert(offsetof(plist_def, Rows) == 6);
static_assert(offsetof(plist_def, LayoutName) == 8);
static_assert(offsetof(plist_def, Description) == 29);
static_assert(offsetof(plist_def, Staydown) == 71);
static_assert(offsetof(plist_def, Link) == 73);
static_assert(offsetof(plist_def, SelMax) == 77);
static_assert(offsetof(plist_def, ScrNo) == 81);
static_assert(offsetof(plist_def, Location) == 83);

// "ListHdrs", keyed by "ListNo". The V$Dirty column travels in m_dirty
// (DirtyGet, DirtySet): Update(1) writes it alone. ListType, TableNoLo and
// TableNoHi are not mapped; read them by name.
class XRDB8_API CListHdr : public CXRTable {
public:
    CListHdr();  // zeroed structure, location "L"
    CListHdr(const CListHdr& other);
    CListHdr& operator=(const CListHdr& other);
    ~CListHdr() override;
    int StructureTo() override;
    int StructureFrom() override;

    // A new row from `def` (the object must be open on ListHdrs): 1 stored,
    // 0 when the row could not be begun or stored.
    int Add(plist_def& def);

    plist_def m_def;

private:
    xr::records::ColumnIndex m_columns;
};

// "ListItems", keyed by "ListNo", "PageNo", "ItemNo" and ordered by them.
// FontSpecifier and TextDefaultOnly are not mapped; read and write them by
// name.
class XRDB8_API CListItem : public CXRTable {
public:
    CListItem();
    CListItem(const CListItem& other);
    CListItem& operator=(const CListItem& other);
    ~CListItem() override;
    int StructureTo() override;
    int StructureFrom() override;

    // A new row with the key given and the other members as the new row
    // presents them (the object must be open on ListItems).
    int Add(int list, int page, int item);

    int32_t m_listNo;        // "ListNo"
    int32_t m_pageNo;        // "PageNo"
    int32_t m_itemNo;        // "ItemNo"
    uint8_t m_funcType;      // "FuncType"
    uint8_t m_foreground;    // "Foreground"
    uint8_t m_background;    // "Background"
    uint8_t m_size;          // "Size": the size code, 0 to 3
    std::string m_itemText;  // "ItemText"
    int64_t m_funcValue;     // "FuncValue"
    int32_t m_mx;            // "mx"
    int32_t m_my;            // "my"

private:
    xr::records::ColumnIndex m_columns;
};

// The list converter: one list file or screen-definition file at a time to
// and from the list tables, with its settings.
class XRDB8_API CListDB {
public:
    // Called by ListsFromDB after each list with ListFromDB's result, the
    // lists done so far and the lists there are.
    using Progress = std::function<void(int list, int result, int done, int total)>;

    CListDB();
    virtual ~CListDB();  // closes the list file if one is open
    CListDB(const CListDB&) = delete;
    CListDB& operator=(const CListDB&) = delete;

    // ---- settings --------------------------------------------------------
    // Classic mode: lists 1000 to 1999 live in screen-definition files, and
    // item colours read from a file are offset by 32.
    void SetClassic(int classic) { m_classic = classic; }
    int GetClassic() const { return m_classic; }
    // When not empty, files written from the database begin with "#" and
    // this line; a file that begins with "#SUPP DBNO" is not read back.
    void SuppLineSet(const std::string& line) { m_suppLine = line; }
    const std::string& SuppLineGet() const { return m_suppLine; }
    // The pause before each key read from a file, in milliseconds (50 unless
    // set; below 0 counts as 0). Old tills polled the tables while a list was
    // loaded and needed the pause to keep up.
    void SetItemPause(int milliseconds) { m_itemPause = milliseconds < 0 ? 0 : milliseconds; }
    int GetItemPause() const { return m_itemPause; }
    void SetProgress(Progress progress) { m_progress = std::move(progress); }

    // ---- the list tables ---------------------------------------------------
    // Deletes the header, then the keys of `list`: 0 done, 1 the header
    // delete failed, 3 the keys' delete failed.
    int DeleteList(int list);
    // The list's V$Dirty; 0 also when the list does not exist.
    int ListDirtyGet(int list);
    // Sets the list's V$Dirty alone; nothing when the list does not exist.
    void ListDirtySet(int list, int value);

    // ---- conversion --------------------------------------------------------
    // Replaces `list` (in classic mode, for 1000 to 1999, the screen's four
    // lists and its ScreenModes row) with the file in `folder`. Results: 0
    // done, or the file was written from the database and left alone; -1 no
    // such file; -2 a list number that a header cannot hold (below 1 or above
    // 32767); 1 or 3 deleting the old list failed; 4 or 6 the list tables
    // could not be opened; 77 a [FLIST] section in a screen-definition file;
    // 78 another section in a list file (the sections before it stay).
    // What is read: a repeated section is skipped (the first one stands); a
    // line "I 0 0 <||> 0 7 1", the exporter's empty key slot, keeps its place
    // and adds no key; layouts written "XX$5X6" read back with location XX; a
    // description longer than 40 characters or a key text longer than 80 is
    // cut to what its column holds; lines may be of any length.
    int ListToDB(const char* folder, int list);
    // Lines of the last ListToDB's file that were not understood: a line
    // outside any section, a header that could not be read (the section took
    // its defaults), a key whose function type and value are not numbers (it
    // was stored as type 0 with value 0). The first few as "line N: why: text".
    long NotUnderstood() const { return m_notUnderstood; }
    const std::vector<std::string>& FirstNotUnderstood() const { return m_firstNotUnderstood; }
    // Writes `list` (in classic mode, for 1000 to 1999, lists `list` to
    // `list` + 3 as a screen-definition file) into `folder`: 0 done, -2 a list
    // number below 1, -1 the file could not be created.
    int ListFromDB(const char* folder, int list);
    // Writes every list under `base`: screen-definition files (classic mode)
    // into base/DATA, the others into base/DATA/LIST (classic) or
    // base/DATA/LISTV. The folders must exist. Always 0; the progress
    // callback sees each list's result.
    int ListsFromDB(const char* base);
    // Gives every key of older databases that has no font specifier one
    // derived from its size code, list by list until a list's first key has
    // one. Always 1.
    int Convert2005();
    // The font specifier ("12B": points, B for bold) of a key of size code
    // `size` on `header`'s grid; `font` is left alone when there is no grid.
    static void ConvertOldSize(const plist_def& header, int size, std::string& font);

private:
    struct Section {
        const char* marker;  // "[FLIST]", ...
        int defaultPages;    // NPages of a section without a header line
    };

    class Reader;

    // Parses a header line into m_hdr: 0, -2 an unmatched quote, -3 fewer
    // than seven values after the description.
    int PListHdr(const std::string& line);
    // Fills m_hdr for section `k` without a header line.
    void DefaultHeader(int k, int list, int screen, bool screenFile);
    void ImportSection(Reader& reader, int k, int list, int screen, bool screenFile, CListHdr& hdr,
                       CListItem& item);
    void ImportItem(const std::string& line, int listNo, int& page, int& counter, int perPage,
                    const int pageDefaults[3], std::string& font, CListItem& item);
    // Writes section `k` (list `listNo`) if the list exists.
    void ExportSection(std::FILE* out, int k, int listNo, bool screenFile);
    void CloseFile();

    plist_def m_hdr;
    Section m_sections[5];
    std::FILE* m_file = nullptr;
    int m_classic = 0;
    std::string m_suppLine;
    int m_itemPause = 50;
    Progress m_progress;
    long m_notUnderstood = 0;
    std::vector<std::string> m_firstNotUnderstood;
    void NoteNotUnderstood(long number, const char* why, const std::string& line);
};

// Result of a list export given a slot outside 0 to 3.
inline constexpr int kListBadSlot = -10;

// Destroys the slot's converter (closing its file); 0.
XRDB8_EXPORT int ListClose(int slot);
XRDB8_EXPORT void ListDBClassic(int slot, int classic);
// A null line counts as empty.
XRDB8_EXPORT void ListDBSupp(int slot, const char* line);
XRDB8_EXPORT int ListToDB(int slot, const char* folder, int list);
XRDB8_EXPORT int ListFromDB(int slot, const char* folder, int list);
XRDB8_EXPORT int ListsFromDB(int slot, const char* base);
// 0 also for a bad slot.
XRDB8_EXPORT int ListDirtyGet(int slot, int list);
XRDB8_EXPORT void ListDirtySet(int slot, int list, int value);
