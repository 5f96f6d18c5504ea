// Writing lists from the list tables into files, the font conversion of
// older databases, and lists written, read back and written again.
#include <filesystem>

#include "lists_fixture.h"

namespace xrtest {
namespace {

using ListExportTest = ListsTest;

void AddHeader(int list, const char* description, int rows, int cols, const char* location,
               int pages = 1) {
    DBExec(xr::Format("INSERT ListHdrs (ListNo, Description, Rows, Cols, NPages, Staydown, Link, "
                      "SelMin, SelMax, ScrNo, Location, ListType, TableNoLo, TableNoHi) VALUES "
                      "(%d, '%s', %d, %d, %d, 1, 3, 2, 9, 4, '%s', 5, 6, 7)",
                      list, description, rows, cols, pages, location)
               .c_str());
}

void AddKey(int list, int page, int item, const char* text, const char* font = "15B", int type = 1,
            long long value = 1) {
    DBExec(xr::Format("INSERT ListItems (ListNo, PageNo, ItemNo, FuncType, FuncValue, ItemText, "
                      "Foreground, Background, Size, FontSpecifier) VALUES "
                      "(%d, %d, %d, %d, %lld, '%s', 4, 5, 3, '%s')",
                      list, page, item, type, value, text, font)
               .c_str());
}

TEST_P(ListExportTest, ListFileLineByLine) {
    AddHeader(12, "Drinks", 2, 4, "L", 3);
    AddKey(12, 2, 1, "Cola", "15B", 21, 5012345);
    AddKey(12, 2, 2, "Tea", "8B");
    AddKey(12, 2, 5, "Big", "20B", 3, -7);
    Exec("UPDATE ListItems SET mx=10, my=0 WHERE ItemNo=5");
    EXPECT_EQ(Exported(),
              "[FLIST]\n"
              "L \"Drinks\" LIST2X4 3 1 3 2 9 4 5 6 7\n"
              "P 1 2 0\n"
              "P 1 2 0\n"
              "I 21 5012345 <Cola> 4 5 1 1 1 15.00\n"
              "I 1 1 <Tea> 4 5 0 1 1 8.00\n"
              "I 0 0 <||> 0 7 1\n"
              "I 0 0 <||> 0 7 1\n"
              "I 3 -7 <Big> 4 5 2 10 1 20.00\n");
}

TEST_P(ListExportTest, LayoutNameFollowsTheLocation) {
    const std::pair<const char*, const char*> cases[] = {
        {"L", "LIST5X6"}, {"F", "FUNC5X6"}, {"TB", "TB$5X6"}, {"", "$5X6"}};
    for (const auto& [location, layout] : cases) {
        Exec("DELETE FROM ListHdrs");
        AddHeader(12, "x", 5, 6, location);
        EXPECT_EQ(Exported(), std::string("[FLIST]\nL \"x\" ") + layout + " 1 1 3 2 9 4 5 6 7\n");
    }
}

TEST_P(ListExportTest, KeyTextsAndTheSizeCodeOfEachFont) {
    AddHeader(12, "x", 2, 4, "L");
    AddKey(12, 1, 1, "Two lines");
    AddKey(12, 1, 2, "abc");
    CListItem item;
    ASSERT_EQ(item.MoveFirst("SELECT * FROM ListItems WHERE ListNo=12 ORDER BY ItemNo"), 1);
    item.m_itemText = "Two\r\nlines";
    ASSERT_EQ(item.Update(0), 1);
    ASSERT_EQ(item.MoveNext(), 1);
    item.m_itemText = "a\rb\nc";
    ASSERT_EQ(item.Update(0), 1);
    AddKey(12, 1, 3, "Beer", "15B", 21, 77);
    AddKey(12, 1, 4, "Wine", "15B", 21, 78);
    AddKey(12, 1, 5, "Own text", "15B", 1, 79);
    Exec("UPDATE ListItems SET TextDefaultOnly=1 WHERE ItemNo IN (3, 5)");
    const char* fonts[] = {"", "9.99B", "10", "17B", "18B", "abc"};
    for (int i = 0; i < 6; ++i) AddKey(12, 1, i + 6, "k", fonts[i]);
    // Only a product key shows the product's own text.
    EXPECT_EQ(Exported(),
              "[FLIST]\nL \"x\" LIST2X4 1 1 3 2 9 4 5 6 7\nP 1 2 0\n"
              "I 1 1 <Two|lines> 4 5 1 1 1 15.00\n"
              "I 1 1 <a|b|c> 4 5 1 1 1 15.00\n"
              "I 21 77 <${PLUTEXT}> 4 5 1 1 1 15.00\n"
              "I 21 78 <Wine> 4 5 1 1 1 15.00\n"
              "I 1 79 <Own text> 4 5 1 1 1 15.00\n"
              "I 1 1 <k> 4 5 0 1 1 0.00\n"
              "I 1 1 <k> 4 5 0 1 1 9.99\n"
              "I 1 1 <k> 4 5 1 1 1 10.00\n"
              "I 1 1 <k> 4 5 1 1 1 17.00\n"
              "I 1 1 <k> 4 5 2 1 1 18.00\n"
              "I 1 1 <k> 4 5 0 1 1 0.00\n");
}

TEST_P(ListExportTest, DatabaseWithoutFontsWritesTheSizeCode) {
    AddHeader(12, "x", 2, 4, "L");
    // ListItems as releases before fonts made it.
    Exec("DROP TABLE ListItems");
    Exec(
        "CREATE TABLE ListItems (ListNo INTEGER NOT NULL, PageNo INTEGER DEFAULT 0 NOT NULL, "
        "ItemNo INTEGER DEFAULT 0 NOT NULL, FuncType INTEGER DEFAULT 0 NOT NULL, "
        "FuncValue BIGINT DEFAULT 0 NOT NULL, ItemText VARCHAR(80) DEFAULT '' NOT NULL, "
        "Foreground INTEGER DEFAULT 0 NOT NULL, Background INTEGER DEFAULT 0 NOT NULL, "
        "Size INTEGER DEFAULT 0 NOT NULL, mx INTEGER DEFAULT 0 NOT NULL, "
        "my INTEGER DEFAULT 0 NOT NULL)");
    Exec(
        "INSERT ListItems (ListNo, PageNo, ItemNo, FuncType, FuncValue, ItemText, Foreground, "
        "Background, Size) VALUES (12, 1, 1, 1, 1, 'k', 4, 5, 3)");
    EXPECT_EQ(Exported(),
              "[FLIST]\nL \"x\" LIST2X4 1 1 3 2 9 4 5 6 7\nP 1 2 0\n"
              "I 1 1 <k> 4 5 3 1 1 0.00\n");
}

TEST_P(ListExportTest, TheSuppLineAloneForAMissingListNothingForABadNumberOrFolder) {
    m_db.SuppLineSet("SUPP DBNO 2");
    EXPECT_EQ(Exported(), "#SUPP DBNO 2\n");
    AddHeader(12, "x", 2, 4, "L");  // a header without keys
    EXPECT_EQ(Exported(), "#SUPP DBNO 2\n[FLIST]\nL \"x\" LIST2X4 1 1 3 2 9 4 5 6 7\n");
    EXPECT_EQ(m_db.ListFromDB(Folder(), 0), -2);
    EXPECT_EQ(m_db.ListFromDB((m_files.Str() + "/nowhere").c_str(), 12), -1);
    std::filesystem::remove(FilePath("L00012.LST"));
    std::filesystem::create_directory(m_files.Path() / "L00012.LST");
    EXPECT_EQ(m_db.ListFromDB(Folder(), 12), -1);
    // An existing file of another case is overwritten.
    std::filesystem::remove(FilePath("L00012.LST"));
    WriteFile("l00012.lst", "old");
    EXPECT_EQ(Exported(12, "l00012.lst"),
              "#SUPP DBNO 2\n[FLIST]\nL \"x\" LIST2X4 1 1 3 2 9 4 5 6 7\n");
    EXPECT_FALSE(FileExists("L00012.LST"));
}

TEST_P(ListExportTest, ScreenFileHoldsTheFourListsWithoutHeaderLines) {
    m_db.SetClassic(1);
    AddHeader(1020, "off", 5, 3, "F");
    AddHeader(1022, "pay", 5, 3, "F");
    AddHeader(1023, "base", 5, 6, "L");
    AddKey(1020, 1, 1, "a");
    AddKey(1023, 1, 2, "b");
    EXPECT_EQ(Exported(1020, "SCRDEF02.DEF"),
              "[FLOFF]\nP 1 2 0\nI 1 1 <a> 4 5 1 1 1 15.00\n"
              "[FPAY]\n"
              "[FBASE]\nP 1 2 0\nI 0 0 <||> 0 7 1\nI 1 1 <b> 4 5 1 1 1 15.00\n");
}

TEST_P(ListExportTest, AllListsGoToTheirFolders) {
    AddHeader(5, "five", 2, 4, "L");
    AddHeader(1000, "thousand", 2, 4, "L");
    AddHeader(1010, "screen 1", 5, 3, "F");
    AddHeader(1011, "screen 1 trading", 5, 3, "F");
    AddHeader(1015, "not the first of a screen", 5, 3, "F");
    AddHeader(2000, "top", 5, 6, "L");
    std::filesystem::create_directories(m_files.Path() / "new" / "DATA" / "LISTV");
    std::filesystem::create_directories(m_files.Path() / "old" / "data" / "list");

    std::vector<int> seen;
    m_db.SetProgress([&](int list, int result, int done, int total) {
        seen.push_back(list);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(done, static_cast<int>(seen.size()));
        EXPECT_GT(total, 0);
    });
    EXPECT_EQ(m_db.ListsFromDB((m_files.Str() + "/new").c_str()), 0);
    EXPECT_EQ(seen, (std::vector<int>{5, 1000, 1010, 1011, 1015, 2000}));
    for (const char* name : {"L00005.LST", "L01000.LST", "L01010.LST", "L01015.LST", "L02000.LST"})
        EXPECT_TRUE(FileExists(std::string("new/DATA/LISTV/") + name)) << name;

    // Classic mode, in folders named by a system that ignores case.
    seen.clear();
    m_db.SetClassic(1);
    EXPECT_EQ(m_db.ListsFromDB((m_files.Str() + "/old").c_str()), 0);
    // A screen's lists are written once, as its screen-definition file.
    EXPECT_EQ(seen, (std::vector<int>{5, 1000, 1010, 2000}));
    for (const char* name :
         {"SCRDEF01.DEF", "list/L00005.LST", "list/SCRDEF00.DEF", "list/L02000.LST"})
        EXPECT_TRUE(FileExists(std::string("old/data/") + name)) << name;
}

TEST_P(ListExportTest, Convert2005GivesOldKeysTheirFonts) {
    AddHeader(5, "five", 2, 4, "L");
    AddHeader(6, "six", 5, 3, "F");
    AddHeader(7, "seven", 0, 0, "L");
    for (int list : {5, 6, 7}) {
        AddKey(list, 1, 1, "a", "");
        AddKey(list, 1, 2, "b", "");
    }
    Exec("UPDATE ListItems SET Size=1 WHERE ItemNo=1");
    Exec("UPDATE ListItems SET FontSpecifier='7B' WHERE ListNo=6 AND ItemNo=1");
    EXPECT_EQ(m_db.Convert2005(), 1);
    // List 6 was converted before: its first key has a font.
    EXPECT_EQ(Rows("SELECT ListNo, ItemNo, FontSpecifier FROM ListItems ORDER BY ListNo, ItemNo"),
              (std::vector<std::string>{"5|1|15B", "5|2|20B", "6|1|7B", "6|2|", "7|1|", "7|2|"}));
}

// ---- round trips: the same file, for every layout form, with missing pages and keys ----

struct TripList {
    int list;
    const char* header;             // the values after ListNo
    std::vector<const char*> keys;  // the values after ListNo
};

// Fonts are the ones the grid's size codes give back (15B and 20B on a 2 by 4
// item list, 10B on function lists and 1 by 10 grids, 11 elsewhere), as after
// any import; a list's type and table range are not in the file and are 0.
const TripList kLists[] = {
    {12,
     "'Drinks', 2, 4, 3, 1, 3, 2, 9, 4, 'L'",
     {
         "1, 1, 21, 5012345, 'Cola', 4, 5, 1, 0, 0, '15B', 0",
         "1, 2, 1, 7, 'Two|lines', 250, 0, 2, 3, 4, '20B', 0",
         "1, 5, 21, 77, 'shown as the product', 1, 2, 1, 1, 1, '15B', 1",  // page 1 misses 3, 4
         "3, 2, 3, -42, 'neg', 9, 9, 1, 0, 7, '15B', 0",                   // page 2 missing
     }},
    {13,
     "'Functions', 5, 3, 1, 0, 0, 0, 1, 1, 'F'",
     {
         "1, 3, 17, 0, 'Server', 0, 3, 1, 1, 1, '10B', 0",
         "1, 15, 9, 1, 'Last key', 0, 3, 1, 2, 2, '10B', 0",
     }},
    {14,
     "'Tables', 1, 10, 2, 0, 0, 0, 1, 1, 'TB'",
     {"2, 10, 33, 101, 'T1', 0, 3, 1, 1, 1, '10B', 0"}},
    {15,
     "'Four letters', 3, 3, 1, 0, 0, 0, 1, 1, 'KEYS'",
     {"1, 1, 1, 1, 'k', 0, 3, 1, 1, 1, '11', 0"}},
    {16, "'No location', 3, 5, 1, 0, 0, 0, 1, 1, ''", {"1, 2, 1, 1, 'k', 0, 3, 1, 1, 1, '11', 0"}},
    {17, "'Empty', 5, 6, 4, 0, 5, 0, 1, 1, 'L'", {}},
};

TEST_P(ListExportTest, ExportImportExportGivesTheSameFile) {
    for (const TripList& l : kLists) {
        Exec(
            "INSERT ListHdrs (ListNo, Description, Rows, Cols, NPages, Staydown, Link, SelMin, "
            "SelMax, ScrNo, Location) VALUES (" +
            std::to_string(l.list) + ", " + l.header + ")");
        for (const char* key : l.keys)
            Exec(
                "INSERT ListItems (ListNo, PageNo, ItemNo, FuncType, FuncValue, ItemText, "
                "Foreground, Background, Size, mx, my, FontSpecifier, TextDefaultOnly) VALUES (" +
                std::to_string(l.list) + ", " + key + ")");
    }
    for (const TripList& l : kLists) {
        const std::string first = Exported(l.list);
        const auto keysBefore = Keys(l.list);
        ASSERT_EQ(m_db.ListToDB(Folder(), l.list), 0) << first;
        EXPECT_EQ(Exported(l.list), first);
        if (l.list != 12) {
            EXPECT_EQ(Keys(l.list), keysBefore) << first;
        }
    }
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(ListExportTest);

}  // namespace xrtest
