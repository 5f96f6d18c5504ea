// Writing lists from the list tables into files, and the font conversion of
// older databases.
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
    EXPECT_EQ(m_db.ListFromDB(Folder(), 12), 0);
    EXPECT_EQ(ReadFile("L00012.LST"),
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
        EXPECT_EQ(m_db.ListFromDB(Folder(), 12), 0);
        EXPECT_EQ(ReadFile("L00012.LST"),
                  std::string("[FLIST]\nL \"x\" ") + layout + " 1 1 3 2 9 4 5 6 7\n");
    }
}

TEST_P(ListExportTest, KeyTexts) {
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
    EXPECT_EQ(m_db.ListFromDB(Folder(), 12), 0);
    // Only a product key shows the product's own text.
    EXPECT_EQ(ReadFile("L00012.LST"),
              "[FLIST]\nL \"x\" LIST2X4 1 1 3 2 9 4 5 6 7\nP 1 2 0\n"
              "I 1 1 <Two|lines> 4 5 1 1 1 15.00\n"
              "I 1 1 <a|b|c> 4 5 1 1 1 15.00\n"
              "I 21 77 <${PLUTEXT}> 4 5 1 1 1 15.00\n"
              "I 21 78 <Wine> 4 5 1 1 1 15.00\n"
              "I 1 79 <Own text> 4 5 1 1 1 15.00\n");
}

TEST_P(ListExportTest, SizeCodeFollowsTheFont) {
    AddHeader(12, "x", 2, 4, "L");
    const char* fonts[] = {"", "9.99B", "10", "17B", "18B", "abc"};
    for (int i = 0; i < 6; ++i) AddKey(12, 1, i + 1, "k", fonts[i]);
    EXPECT_EQ(m_db.ListFromDB(Folder(), 12), 0);
    EXPECT_EQ(ReadFile("L00012.LST"),
              "[FLIST]\nL \"x\" LIST2X4 1 1 3 2 9 4 5 6 7\nP 1 2 0\n"
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
    EXPECT_EQ(m_db.ListFromDB(Folder(), 12), 0);
    EXPECT_EQ(ReadFile("L00012.LST"),
              "[FLIST]\nL \"x\" LIST2X4 1 1 3 2 9 4 5 6 7\nP 1 2 0\n"
              "I 1 1 <k> 4 5 3 1 1 0.00\n");
}

TEST_P(ListExportTest, MissingListWritesOnlyTheSuppLine) {
    m_db.SuppLineSet("SUPP DBNO 2");
    EXPECT_EQ(m_db.ListFromDB(Folder(), 12), 0);
    EXPECT_EQ(ReadFile("L00012.LST"), "#SUPP DBNO 2\n");
    AddHeader(12, "x", 2, 4, "L");  // a header without keys
    EXPECT_EQ(m_db.ListFromDB(Folder(), 12), 0);
    EXPECT_EQ(ReadFile("L00012.LST"), "#SUPP DBNO 2\n[FLIST]\nL \"x\" LIST2X4 1 1 3 2 9 4 5 6 7\n");
}

TEST_P(ListExportTest, ScreenFileHoldsTheFourListsWithoutHeaderLines) {
    m_db.SetClassic(1);
    AddHeader(1020, "off", 5, 3, "F");
    AddHeader(1022, "pay", 5, 3, "F");
    AddHeader(1023, "base", 5, 6, "L");
    AddKey(1020, 1, 1, "a");
    AddKey(1023, 1, 2, "b");
    EXPECT_EQ(m_db.ListFromDB(Folder(), 1020), 0);
    EXPECT_EQ(ReadFile("SCRDEF02.DEF"),
              "[FLOFF]\nP 1 2 0\nI 1 1 <a> 4 5 1 1 1 15.00\n"
              "[FPAY]\n"
              "[FBASE]\nP 1 2 0\nI 0 0 <||> 0 7 1\nI 1 1 <b> 4 5 1 1 1 15.00\n");
}

TEST_P(ListExportTest, BadListNumberOrFolder) {
    AddHeader(12, "x", 2, 4, "L");
    EXPECT_EQ(m_db.ListFromDB(Folder(), 0), -2);
    EXPECT_EQ(m_db.ListFromDB((m_files.Str() + "/nowhere").c_str(), 12), -1);
    std::filesystem::create_directory(m_files.Path() / "L00012.LST");
    EXPECT_EQ(m_db.ListFromDB(Folder(), 12), -1);
}

TEST_P(ListExportTest, ExistingFileOfOtherCaseIsOverwritten) {
    AddHeader(12, "x", 2, 4, "L");
    WriteFile("l00012.lst", "old");
    EXPECT_EQ(m_db.ListFromDB(Folder(), 12), 0);
    EXPECT_FALSE(FileExists("L00012.LST"));
    EXPECT_EQ(ReadFile("l00012.lst"), "[FLIST]\nL \"x\" LIST2X4 1 1 3 2 9 4 5 6 7\n");
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

}  // namespace

XRTEST_ON_EVERY_ENGINE(ListExportTest);

}  // namespace xrtest
