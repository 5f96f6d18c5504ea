// Reading list files and screen-definition files into ListHdrs and
// ListItems: ListToDB, the header line, the keys, and the font a key's size
// code stands for on its grid.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "frame/log.h"
#include "lists/list_files.h"
#include "platform/text.h"
#include "xrdb8/lists.h"
#include "xrdb8/records_payment.h"
#include "xrdb8/records_tables.h"

using xr::lists::FindPath;
using xr::lists::OpenForReading;
using xr::lists::ReadLine;

namespace {

// The widths of the columns the text goes to: a longer value would make the
// server refuse the whole row, losing the key or the list's header.
constexpr size_t kDescriptionWidth = 40;  // ListHdrs.Description
constexpr size_t kItemTextWidth = 80;     // ListItems.ItemText

// What the exporter writes for a key slot that holds no key. Read back, it
// keeps its place on the page and adds no key, so that a list goes through a
// file and back unchanged.
constexpr std::string_view kEmptySlot = "I 0 0 <||> 0 7 1";

bool IsComment(const std::string& line) { return line.empty() || line[0] == '#'; }

bool StartsWithNoCase(std::string_view text, std::string_view word) {
    return text.size() >= word.size() && xr::IEquals(text.substr(0, word.size()), word);
}

// A whole number as scanf's %d reads it (blanks, a sign, digits) within
// [low, high]; `p` moves past it. False, with `p` left alone, when there is
// none or it is out of range.
bool ScanNumber(const char*& p, long long low, long long high, long long& value) {
    const char* q = p;
    while (*q && std::isspace(static_cast<unsigned char>(*q))) ++q;
    const char* start = q;
    if (*q == '+' || *q == '-') ++q;
    if (!std::isdigit(static_cast<unsigned char>(*q))) return false;
    bool overflow = false;
    unsigned long long magnitude = 0;
    for (; std::isdigit(static_cast<unsigned char>(*q)); ++q) {
        const unsigned digit = static_cast<unsigned>(*q - '0');
        if (magnitude > (ULLONG_MAX - digit) / 10)
            overflow = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    if (overflow || magnitude > static_cast<unsigned long long>(LLONG_MAX) + 1) return false;
    long long v;
    if (*start == '-')
        v = magnitude == static_cast<unsigned long long>(LLONG_MAX) + 1
                ? LLONG_MIN
                : -static_cast<long long>(magnitude);
    else if (magnitude > static_cast<unsigned long long>(LLONG_MAX))
        return false;
    else
        v = static_cast<long long>(magnitude);
    if (v < low || v > high) return false;
    value = v;
    p = q;
    return true;
}

// Up to `count` numbers of int range in a row, as "%d%d..." reads them: the
// first that is missing ends the scan. How many were read.
int ScanInts(const char*& p, int* values, int count) {
    int n = 0;
    long long v;
    while (n < count && ScanNumber(p, INT_MIN, INT_MAX, v)) values[n++] = static_cast<int>(v);
    return n;
}

// "5X6" (or "5x6"): rows and columns of a grid a header can hold.
bool ParseGrid(std::string_view text, int& rows, int& cols) {
    size_t i = 0;
    auto number = [&](int& out) {
        const size_t start = i;
        int v = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && v <= 127)
            v = v * 10 + (text[i++] - '0');
        out = v;
        return i > start && v <= 127;
    };
    if (!number(rows)) return false;
    if (i >= text.size() || (text[i] != 'X' && text[i] != 'x')) return false;
    ++i;
    return number(cols) && i == text.size();
}

// Grid sizes of older tills and the ones that replaced them.
struct GridChange {
    int rows, cols, newRows, newCols;
};
constexpr GridChange kGridChanges[] = {
    {1, 2, 1, 5}, {1, 3, 1, 5}, {1, 4, 1, 5}, {1, 6, 2, 3},  {2, 2, 2, 3},
    {3, 2, 2, 3}, {1, 7, 2, 4}, {4, 3, 3, 4}, {5, 5, 5, 6},  {6, 9, 5, 6},
    {7, 7, 5, 6}, {9, 6, 5, 6}, {6, 6, 4, 6}, {9, 14, 5, 7}, {10, 15, 11, 10},
};

void CopyText(char* buffer, size_t size, std::string_view text) {
    const size_t n = std::min(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

// Rows, columns and location from a layout name, and the name as kept:
//   LIST5X6 / FUNC5X3     location L / F, the grid after the word;
//   LIST56 / FUNC53       the older form: rows and columns one digit each;
//   TB$1X10               what the exporter writes for other locations
//                         (up to four letters before "$"): read back the same;
//   anything else         the first two characters are the location, and
//                         there is no grid.
void ApplyLayout(plist_def& hdr, std::string_view name) {
    int rows = 0;
    int cols = 0;
    const size_t dollar = name.find('$');
    if (dollar != std::string_view::npos && dollar <= 4 &&
        ParseGrid(name.substr(dollar + 1), rows, cols)) {
        CopyText(hdr.Location, sizeof hdr.Location, name.substr(0, dollar));
        CopyText(hdr.LayoutName, sizeof hdr.LayoutName, name);
    } else if (StartsWithNoCase(name, "LIST") || StartsWithNoCase(name, "FUNC")) {
        const std::string_view grid = name.substr(4);
        if (!ParseGrid(grid, rows, cols)) {
            rows = cols = 0;
            if (grid.size() == 2 && std::isdigit(static_cast<unsigned char>(grid[0])) &&
                std::isdigit(static_cast<unsigned char>(grid[1]))) {
                rows = grid[0] - '0';
                cols = grid[1] - '0';
            }
        }
        CopyText(hdr.Location, sizeof hdr.Location, StartsWithNoCase(name, "LIST") ? "L" : "F");
        CopyText(hdr.LayoutName, sizeof hdr.LayoutName, name);
    } else {
        const std::string_view two = name.substr(0, std::min<size_t>(2, name.size()));
        CopyText(hdr.Location, sizeof hdr.Location, two);
        CopyText(hdr.LayoutName, sizeof hdr.LayoutName, two);
    }
    for (const GridChange& change : kGridChanges) {
        if (change.rows == rows && change.cols == cols) {
            rows = change.newRows;
            cols = change.newCols;
            break;
        }
    }
    hdr.Rows = static_cast<int8_t>(rows);
    hdr.Cols = static_cast<int8_t>(cols);
}

// Pairs of font specifiers (small, large) by location and grid.
struct FontChoice {
    char location;  // 'L', 'F', or 0 for any other
    int rows, cols;
    const char* small;
    const char* large;
};
constexpr FontChoice kFonts[] = {
    {'L', 1, 5, "12B", "15B"}, {'L', 2, 3, "12B", "15B"}, {'L', 4, 5, "12B", "15B"},
    {'L', 4, 6, "12B", "15B"}, {'L', 5, 4, "12B", "15B"}, {'L', 2, 4, "15B", "20B"},
    {'L', 3, 3, "15B", "20B"}, {'L', 3, 4, "15B", "20B"}, {'L', 4, 4, "15B", "20B"},
    {'L', 5, 6, "8B", "10B"},  {'L', 5, 7, "8B", "10B"},  {'L', 12, 10, "8B", "10B"},
    {'F', 5, 3, "10B", "12B"}, {0, 1, 10, "10B", "12B"},  {0, 5, 6, "10B", "12B"},
    {0, 12, 10, "8B", "10B"},  {0, 15, 12, "8B", "10B"},
};

}  // namespace

// Lines of the open file, with one line that can be put back for the next
// reader to see.
class CListDB::Reader {
public:
    explicit Reader(std::FILE* file) : m_file(file) {}

    bool Next(std::string& line) {
        if (m_held) {
            m_held = false;
            line.swap(m_heldLine);
            std::swap(m_number, m_heldNumber);
            return true;
        }
        if (!ReadLine(m_file, line)) return false;
        ++m_read;
        m_number = m_read;
        return true;
    }
    // The number of the line Next gave last.
    long Number() const { return m_number; }

    bool NextNonComment(std::string& line) {
        while (Next(line))
            if (!IsComment(line)) return true;
        return false;
    }

    void PutBack(std::string& line) {
        m_heldLine.swap(line);
        m_heldNumber = m_number;
        m_held = true;
    }

private:
    std::FILE* m_file;
    long m_read = 0;
    long m_number = 0;
    long m_heldNumber = 0;
    std::string m_heldLine;
    bool m_held = false;
};

void CListDB::NoteNotUnderstood(long number, const char* why, const std::string& line) {
    ++m_notUnderstood;
    if (m_firstNotUnderstood.size() >= 10) return;
    std::string text;
    for (char c : line.substr(0, 60)) {
        const auto u = static_cast<unsigned char>(c);
        text += (u < 0x20 || u == 0x7F) ? '?' : c;
    }
    if (line.size() > 60) text += "...";
    m_firstNotUnderstood.push_back("line " + std::to_string(number) + ": " + why + ": " + text);
}

void CListDB::ConvertOldSize(const plist_def& header, int size, std::string& font) {
    if (header.Rows == 0 && header.Cols == 0) return;
    const std::string_view location(header.Location,
                                    strnlen(header.Location, sizeof header.Location));
    const char kind = location == "L" ? 'L' : location == "F" ? 'F' : 0;
    const char* small = "11";
    const char* large = "11";
    for (const FontChoice& choice : kFonts) {
        if (choice.location == kind && choice.rows == header.Rows && choice.cols == header.Cols) {
            small = choice.small;
            large = choice.large;
            break;
        }
    }
    font = size == 1 ? small : large;
}

int CListDB::PListHdr(const std::string& line) {
    const char* p = line.c_str();
    // The first word (L), then the description.
    while (*p && !std::isspace(static_cast<unsigned char>(*p))) ++p;
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    std::string_view description;
    if (*p == '"' || *p == '\'') {
        const char* end = std::strchr(p + 1, *p);
        if (!end) return -2;
        description = std::string_view(p + 1, static_cast<size_t>(end - p - 1));
        p = end + 1;
    } else {
        const char* start = p;
        while (*p && !std::isspace(static_cast<unsigned char>(*p))) ++p;
        description = std::string_view(start, static_cast<size_t>(p - start));
    }
    CopyText(m_hdr.Description, std::min(sizeof m_hdr.Description, kDescriptionWidth + 1),
             description);

    // The layout name and six numbers: NPages, Staydown, Link, SelMin,
    // SelMax, ScrNo. The writer's ListType, TableNoLo and TableNoHi follow
    // and are not read.
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    const char* nameStart = p;
    while (*p && !std::isspace(static_cast<unsigned char>(*p))) ++p;
    const std::string_view layout(nameStart, static_cast<size_t>(p - nameStart));
    if (layout.empty()) return -3;
    long long pages = 0;
    long long numbers[5] = {};
    if (!ScanNumber(p, INT_MIN, INT_MAX, pages)) return -3;
    for (long long& n : numbers)
        if (!ScanNumber(p, SHRT_MIN, SHRT_MAX, n)) return -3;

    m_hdr.NPages = static_cast<int32_t>(pages);
    m_hdr.Staydown = numbers[0] != 0 ? 1 : 0;
    m_hdr.Link = static_cast<int16_t>(numbers[1] == 99 ? 0 : numbers[1]);
    m_hdr.SelMin = static_cast<int16_t>(numbers[2]);
    m_hdr.SelMax = static_cast<int16_t>(numbers[3]);
    m_hdr.ScrNo = static_cast<int16_t>(numbers[4]);
    ApplyLayout(m_hdr, layout);
    return 0;
}

void CListDB::DefaultHeader(int k, int list, int screen, bool screenFile) {
    std::memset(&m_hdr, 0, sizeof m_hdr);
    // A list file's section has no screen of its own: it takes the column's
    // default, as a list made by other means would.
    m_hdr.ScrNo = static_cast<int16_t>(screenFile ? screen : 1);
    m_hdr.SelMax = 1;
    if (k <= 2)
        ApplyLayout(m_hdr, "FUNC5X3");
    else if (k == 3)
        ApplyLayout(m_hdr, "LIST5X6");
    else
        ApplyLayout(m_hdr, "");
    m_hdr.NPages = m_sections[k].defaultPages;
    CopyText(m_hdr.Description, sizeof m_hdr.Description, xr::Format("Screen %d.%d", list, k));
}

void CListDB::ImportItem(const std::string& line, int listNo, int& page, int& counter, int perPage,
                         const int pageDefaults[3], std::string& font, CListItem& item) {
    const bool emptySlot = xr::TrimRight(line) == kEmptySlot;
    if (!emptySlot && m_itemPause > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(m_itemPause));
    if (counter > perPage) {
        ++page;
        counter = 1;
        if (page > m_hdr.NPages) ++m_hdr.NPages;
    }
    if (emptySlot) {
        ++counter;
        return;
    }

    // I, the function type and value, then <text> and up to five numbers:
    // foreground, background, size code, mx, my.
    const char* p = line.c_str() + 1;
    long long type = 0;
    long long value = 0;
    if (ScanNumber(p, INT_MIN, INT_MAX, type)) ScanNumber(p, LLONG_MIN, LLONG_MAX, value);
    std::string text = "??";
    int numbers[5] = {};
    int given = 0;
    const char* open = std::strchr(p, '<');
    const char* close = open ? std::strrchr(open + 1, '>') : nullptr;
    if (close) {
        text.assign(open + 1, close);
        const char* q = close + 1;
        given = ScanInts(q, numbers, 5);
    }
    // -1 and -2 stand for the page's colour.
    const bool hasForeground = given >= 1 && numbers[0] != -1 && numbers[0] != -2;
    const bool hasBackground = given >= 2 && numbers[1] != -1 && numbers[1] != -2;
    int foreground = hasForeground ? numbers[0] : pageDefaults[0];
    int background = hasBackground ? numbers[1] : pageDefaults[1];
    if (m_classic) {
        if (hasForeground) foreground += 32;
        if (hasBackground) background += 32;
    }
    const int size = (given >= 3 ? numbers[2] : pageDefaults[2]) & 3;
    if (close) ConvertOldSize(m_hdr, size, font);

    // A preset key of the header's screen becomes the product it stands for.
    if (type == 10 && value >= INT_MIN && value <= INT_MAX) {
        CPreset preset;
        if (preset.Equ(m_hdr.ScrNo, static_cast<int>(value))) {
            type = 21;
            value = static_cast<long long>(preset.m_def.PLU);
        }
    }

    if (item.AddNew()) {
        item.m_listNo = listNo;
        item.m_pageNo = page;
        item.m_itemNo = counter;
        item.m_funcType = static_cast<uint8_t>(type);
        item.m_funcValue = value;
        item.m_foreground = static_cast<uint8_t>(foreground);
        item.m_background = static_cast<uint8_t>(background);
        item.m_size = static_cast<uint8_t>(size);
        item.m_mx = given >= 4 ? numbers[3] : 0;
        item.m_my = given >= 5 ? numbers[4] : 0;
        item.m_itemText = text.substr(0, kItemTextWidth);
        item.SetField("FontSpecifier", font);
        item.Update(0);
    }
    ++counter;
}

void CListDB::ImportSection(Reader& reader, int k, int list, int screen, bool screenFile,
                            CListHdr& hdr, CListItem& item) {
    std::string line;
    bool haveHeader = false;
    if (reader.NextNonComment(line)) {
        if (line[0] == 'L') {
            std::memset(&m_hdr, 0, sizeof m_hdr);
            haveHeader = PListHdr(line) == 0;  // a header that cannot be read is dropped
            if (!haveHeader)
                NoteNotUnderstood(reader.Number(), "a header that cannot be read", line);
        } else {
            reader.PutBack(line);
        }
    }
    if (!haveHeader) DefaultHeader(k, list, screen, screenFile);
    const int listNo = list + (k < 4 ? k : 0);
    m_hdr.ListNo = static_cast<int16_t>(listNo);
    const int perPage = m_hdr.Rows * m_hdr.Cols;

    int page = 1;
    while (reader.NextNonComment(line)) {
        if (line[0] != 'P') {
            reader.PutBack(line);
            break;
        }
        // Foreground, background, size code.
        int defaults[3] = {m_classic ? 32 : 0, m_classic ? 35 : 3, 1};
        const char* p = line.c_str() + 1;
        int given[3];
        const int n = ScanInts(p, given, 3);
        for (int i = 0; i < n; ++i) defaults[i] = given[i];

        int counter = 1;
        std::string font;  // a key without text takes the font of the key before it
        bool ended = false;
        while (reader.NextNonComment(line)) {
            if (line[0] != 'I') {
                reader.PutBack(line);
                ended = true;
                break;
            }
            {
                const char* p = line.c_str() + 1;
                long long type = 0;
                long long value = 0;
                if (!ScanNumber(p, INT_MIN, INT_MAX, type) ||
                    !ScanNumber(p, LLONG_MIN, LLONG_MAX, value)) {
                    if (xr::TrimRight(line) != kEmptySlot)
                        NoteNotUnderstood(reader.Number(),
                                          "a key whose function type and value are not numbers",
                                          line);
                }
            }
            ImportItem(line, listNo, page, counter, perPage, defaults, font, item);
        }
        ++page;
        if (!ended) break;  // the end of the file
    }
    hdr.Add(m_hdr);
}

int CListDB::ListToDB(const char* folder, int list) {
    if (list < 1 || list > SHRT_MAX) return -2;
    const bool screenFile = m_classic && list >= 1000 && list <= 1999;
    const int screen = (list - 1000) / 10;
    const std::string name =
        screenFile ? xr::Format("SCRDEF%02d.DEF", screen) : xr::Format("L%05d.LST", list);
    CloseFile();
    m_file = OpenForReading(FindPath(xr::SafeText(folder), name));
    if (!m_file) return -1;
    struct Closer {
        CListDB& db;
        ~Closer() { db.CloseFile(); }
    } closer{*this};

    // A file the database wrote for the tills is not read back.
    std::string line;
    if (ReadLine(m_file, line) && StartsWithNoCase(line, "#SUPP DBNO")) return 0;
    std::rewind(m_file);

    if (const int deleted = DeleteList(list)) return deleted;
    if (screenFile)
        for (int i = 1; i <= 3; ++i) DeleteList(list + i);
    CListHdr hdr;
    if (!hdr.OpenRS("SELECT * FROM ListHdrs")) return 4;
    CListItem item;
    if (!item.OpenRS("SELECT * FROM ListItems")) return 6;

    Reader reader(m_file);
    m_notUnderstood = 0;
    m_firstNotUnderstood.clear();
    bool seen[5] = {};
    while (reader.Next(line)) {
        int k = -1;
        for (int i = 0; i < 5 && k < 0; ++i)
            if (StartsWithNoCase(line, m_sections[i].marker)) k = i;
        if (k < 0) {  // outside a section
            if (!IsComment(line) && !xr::Trim(line).empty())
                NoteNotUnderstood(reader.Number(), "not in a section", line);
            continue;
        }
        if (screenFile && k == 4) return 77;
        if (!screenFile && k != 4) return 78;
        if (seen[k]) {
            // Each section makes one list: a second one for the same list
            // would mix its keys into the first, so the first one stands.
            xr::Log("%s: %s section repeated; the first one is kept", name.c_str(),
                    m_sections[k].marker);
            continue;
        }
        seen[k] = true;
        ImportSection(reader, k, list, screen, screenFile, hdr, item);
    }

    if (screenFile) {
        CScreenMode mode;
        mode.Exec(xr::Format("DELETE FROM ScreenModes WHERE ScrnNo=%d", screen));
        if (mode.OpenRS("SELECT * FROM ScreenModes") && mode.AddNew()) {
            mode.SetScrnNo(screen);
            mode.SetDescription("Auto generated");
            mode.SetFListLoggedOff(1000 + 10 * screen);
            mode.SetFListTrading(1001 + 10 * screen);
            mode.SetFListPayment(1002 + 10 * screen);
            mode.SetListTop(1003 + 10 * screen);
            mode.Update(0);
        }
    }
    return 0;
}
