// Writing lists from ListHdrs and ListItems into list files and
// screen-definition files (ListFromDB, ListsFromDB), and giving the keys of
// older databases their font specifiers (Convert2005).
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "lists/list_files.h"
#include "platform/text.h"
#include "xrdb8/lists.h"

using xr::lists::FindPath;

namespace {

std::string ItemsQuery(int list) {
    return xr::Format("SELECT * FROM ListItems WHERE ListNo=%d ORDER BY ListNo, PageNo, ItemNo",
                      list);
}

std::string HeaderQuery(int list) {
    return xr::Format("SELECT * FROM ListHdrs WHERE ListNo=%d", list);
}

std::string FixedText(const char* buffer, size_t size) {
    return std::string(buffer, strnlen(buffer, size));
}

// A line break inside a key's text is written as "|": a file line holds one
// key. A lone line feed is one too, or it would end the key's line.
std::string KeyText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
            out += '|';
        } else if (c == '\n') {
            out += '|';
        } else {
            out += c;
        }
    }
    return out;
}

// Every list number of ListHdrs in order. The number is read whole: the
// header structure holds 16 bits of it.
std::vector<int> AllLists() {
    std::vector<int> lists;
    CListHdr hdr;
    if (!hdr.MoveFirst("SELECT * FROM ListHdrs ORDER BY ListNo")) return lists;
    do {
        int32_t list = 0;
        if (hdr.GetField("ListNo", list)) lists.push_back(list);
    } while (hdr.MoveNext());
    return lists;
}

}  // namespace

void CListDB::ExportSection(std::FILE* out, int k, int listNo, bool screenFile) {
    CListHdr hdr;
    if (!hdr.MoveFirst(HeaderQuery(listNo).c_str())) return;
    std::fprintf(out, "%s\n", m_sections[k].marker);
    if (!screenFile) {
        const plist_def& d = hdr.m_def;
        const std::string location = FixedText(d.Location, sizeof d.Location);
        std::fprintf(out, "L \"%s\" ", FixedText(d.Description, sizeof d.Description).c_str());
        if (location == "L")
            std::fprintf(out, "LIST%dX%d", d.Rows, d.Cols);
        else if (location == "F")
            std::fprintf(out, "FUNC%dX%d", d.Rows, d.Cols);
        else
            std::fprintf(out, "%s$%dX%d", location.c_str(), d.Rows, d.Cols);
        std::fprintf(out, " %d %d %d %d %d %d", d.NPages, d.Staydown, d.Link, d.SelMin, d.SelMax,
                     d.ScrNo);
        int32_t listType = 0;
        int32_t tableLo = 0;
        int32_t tableHi = 0;
        hdr.GetField("ListType", listType);
        hdr.GetField("TableNoLo", tableLo);
        hdr.GetField("TableNoHi", tableHi);
        std::fprintf(out, " %d %d %d\n", listType, tableLo, tableHi);
    }

    CListItem item;
    if (!item.MoveFirst(ItemsQuery(listNo).c_str())) return;
    // Pages and key numbers run from 1; missing ones are written as empty
    // pages and empty key slots so that every key keeps its place.
    long long page = 0;
    long long next = 1;
    do {
        if (item.m_pageNo > page) {
            while (page < item.m_pageNo) {
                std::fputs("P 1 2 0\n", out);
                ++page;
            }
            next = 1;
        }
        for (; next < item.m_itemNo; ++next) std::fputs("I 0 0 <||> 0 7 1\n", out);
        next = static_cast<long long>(item.m_itemNo) + 1;

        int32_t textDefaultOnly = 0;
        item.GetField("TextDefaultOnly", textDefaultOnly);
        const std::string text = item.m_funcType == 21 && textDefaultOnly != 0
                                     ? std::string("${PLUTEXT}")
                                     : KeyText(item.m_itemText);
        // The size code follows the font where the item has one: tills of
        // this release size keys by font, older ones by the code.
        int size = item.m_size;
        double points = 0;
        std::string font;
        if (item.GetField("FontSpecifier", font)) {
            points = std::atof(font.c_str());
            size = points < 10 ? 0 : points < 18 ? 1 : 2;
        }
        std::fprintf(out, "I %d %lld <%s> %d %d", item.m_funcType,
                     static_cast<long long>(item.m_funcValue), text.c_str(), item.m_foreground,
                     item.m_background);
        std::fprintf(out, " %d", size);
        std::fprintf(out, " %d %d", item.m_mx == 0 ? 1 : item.m_mx, item.m_my == 0 ? 1 : item.m_my);
        std::fprintf(out, " %.2f\n", points);
    } while (item.MoveNext());
}

int CListDB::ListFromDB(const char* folder, int list) {
    if (list < 1) return -2;
    const bool screenFile = m_classic && list >= 1000 && list <= 1999;
    const std::string name = screenFile ? xr::Format("SCRDEF%02d.DEF", (list - 1000) / 10)
                                        : xr::Format("L%05d.LST", list);
    CloseFile();
    m_file = std::fopen(FindPath(xr::SafeText(folder), name).c_str(), "w");
    if (!m_file) return -1;
    if (!m_suppLine.empty()) std::fprintf(m_file, "#%s\n", m_suppLine.c_str());
    if (screenFile) {
        for (int k = 0; k < 4; ++k) ExportSection(m_file, k, list + k, true);
    } else {
        ExportSection(m_file, 4, list, false);
    }
    CloseFile();
    return 0;
}

int CListDB::ListsFromDB(const char* base) {
    const std::string data = FindPath(xr::SafeText(base), "DATA");
    const std::string listFolder = FindPath(data, m_classic ? "LIST" : "LISTV");
    // In classic mode a screen's four lists go into one screen-definition
    // file, written for the first list of the screen.
    std::vector<std::pair<int, const std::string*>> plan;
    for (int list : AllLists()) {
        if (m_classic && list >= 1001 && list <= 1999) {
            if (list % 10 == 0) plan.emplace_back(list, &data);
        } else {
            plan.emplace_back(list, &listFolder);
        }
    }
    int done = 0;
    for (const auto& [list, folder] : plan) {
        const int result = ListFromDB(folder->c_str(), list);
        ++done;
        if (m_progress) m_progress(list, result, done, static_cast<int>(plan.size()));
    }
    return 0;
}

int CListDB::Convert2005() {
    for (int list : AllLists()) {
        CListHdr hdr;
        if (!hdr.MoveFirst(HeaderQuery(list).c_str())) continue;
        CListItem item;
        if (!item.MoveFirst(ItemsQuery(list).c_str())) continue;
        do {
            std::string font;
            // A key that has a font (or a database without the column) means
            // the list was converted before.
            if (!item.GetField("FontSpecifier", font) || !font.empty()) break;
            ConvertOldSize(hdr.m_def, item.m_size, font);
            item.SetField("FontSpecifier", font);
            item.Update(0);
        } while (item.MoveNext());
    }
    return 1;
}
