// Reading list files and screen-definition files into the list tables, and
// files that are damaged, cut short or of another kind.
#include <cstring>
#include <filesystem>
#include <random>

#include "lists_fixture.h"

namespace xrtest {
namespace {

using ListImportTest = ListsTest;

// A header that cannot be read gives the section's defaults: no grid, two
// pages, "Screen <list>.<section>", screen 1.
constexpr const char* kDefaults = "Screen 12.4|0|0|2|0|0|0|1|1|";

// Each header line and what it stores (see Header).
const std::pair<const char*, const char*> kHeaderCases[] = {
    {"L \"Main drinks\" LIST5X6 3 1 2 0 1 4 0 0 0", "Main drinks|5|6|3|1|2|0|1|4|L"},
    {"L 'Bar \"A\"' FUNC5X3 1 0 0 0 1 1", "Bar \"A\"|5|3|1|0|0|0|1|1|F"},
    {"L Snacks LIST56 2 0 99 1 5 3", "Snacks|5|6|2|0|0|1|5|3|L"},  // old form; link 99 is none
    {"L \"x\" LIST2X2 1 0 0 0 1 1", "x|2|3|1|0|0|0|1|1|L"},        // old grid sizes...
    {"L \"x\" LIST1X7 1 0 0 0 1 1", "x|2|4|1|0|0|0|1|1|L"},
    {"L \"x\" FUNC10X15 1 0 0 0 1 1", "x|11|10|1|0|0|0|1|1|F"},
    {"L \"x\" list9x14 1 0 0 0 1 1", "x|5|7|1|0|0|0|1|1|L"},
    {"L \"x\" LIST6X6 1 7 0 0 1 1", "x|4|6|1|1|0|0|1|1|L"},  // ...and any stay-down is 1
    {"L \"t\" TB$1X10 1 0 0 0 1 1", "t|1|10|1|0|0|0|1|1|TB"},
    {"L \"t\" KEYS$5X4 1 0 0 0 1 1", "t|5|4|1|0|0|0|1|1|KEYS"},
    {"L \"g\" GRID5X6 1 0 0 0 1 1", "g|0|0|1|0|0|0|1|1|GR"},
    {"L \"g\" LIST200X3 4 0 0 0 1 1", "g|0|0|4|0|0|0|1|1|L"},      // no grid a header can hold
    {"L \"d\" LIST5X6 1 0 0 0 1 1 2 3 4", "d|5|6|1|0|0|0|1|1|L"},  // the writer's extras
    {"L \"0123456789012345678901234567890123456789ABCDEF\" LIST5X6 1 0 0 0 1 1",
     "0123456789012345678901234567890123456789|5|6|1|0|0|0|1|1|L"},
    {"L \"broken LIST5X6 1 0 0 0 1 1", kDefaults},
    {"L \"few\" LIST5X6 1 0 0", kDefaults},
    {"L \"big\" LIST5X6 1 0 70000 0 1 1", kDefaults},
    {"L \"word\" LIST5X6 1 0 zero 0 1 1", kDefaults},
    {"L", kDefaults},
};

TEST_P(ListImportTest, HeaderLines) {
    for (const auto& [line, stored] : kHeaderCases) {
        EXPECT_EQ(Import(std::string("[FLIST]\n") + line + "\nP\n"), 0) << line;
        EXPECT_EQ(Header(12), stored) << line;
    }
}

// A list file and the header and keys of list 12 after its import.
struct ImportCase {
    const char* file;
    const char* header;  // nullptr: not the case's concern
    std::vector<std::string> keys;
    const char* name = "L00012.LST";
};

TEST_P(ListImportTest, KeysTakeTheirNumbersPagesAndFonts) {
    Exec("INSERT Presets (ScrnNo, PresetNo, PLU) VALUES (4, 7, 5012345), (1, 8, 99)");
    const ImportCase cases[] = {
        // No header line: no grid, and a page per key.
        {"[FLIST]\nP\nI 1 1 <a>\nI 1 2 <b>\nI 1 3 <c>\n",
         "Screen 12.4|0|0|4|0|0|0|1|1|",
         {"2.1 1 1 <a> 0 3 1 0 0 ", "3.1 1 2 <b> 0 3 1 0 0 ", "4.1 1 3 <c> 0 3 1 0 0 "}},
        // On a 2 by 4 item list size 1 is "15B" and any other "20B"; a key
        // without text keeps "??" and the font of the key before it.
        {"[FLIST]\nL \"k\" LIST2X4 1 0 0 0 1 1\nP\nI 21 1234 <Cola> 4 5 2 10 20 20.00\n"
         "I 1 7 <Tea>\nI 1 8 <Two|lines> -1 -2 1\nI 5 6\nI 3 -42 <a>b> 4 5 0\nP 9 8 2\n"
         "I 2 2 <P2>\nI 2 3\n",
         nullptr,
         {"1.1 21 1234 <Cola> 4 5 2 10 20 20B", "1.2 1 7 <Tea> 0 3 1 0 0 15B",
          "1.3 1 8 <Two|lines> 0 3 1 0 0 15B", "1.4 5 6 <?\?> 0 3 1 0 0 15B",
          "1.5 3 -42 <a>b> 4 5 0 0 0 20B", "2.1 2 2 <P2> 9 8 2 0 0 20B",
          "2.2 2 3 <?\?> 9 8 2 0 0 20B"}},
        // Keys beyond the grid go on the next page.
        {"[FLIST]\nL \"k\" LIST1X5 1 0 0 0 1 1\nP\nI 1 1 <1>\nI 1 2 <2>\nI 1 3 <3>\nI 1 4 <4>\n"
         "I 1 5 <5>\nI 1 6 <6>\nI 1 7 <7>\n",
         "k|1|5|2|0|0|0|1|1|L",
         {"1.1 1 1 <1> 0 3 1 0 0 12B", "1.2 1 2 <2> 0 3 1 0 0 12B", "1.3 1 3 <3> 0 3 1 0 0 12B",
          "1.4 1 4 <4> 0 3 1 0 0 12B", "1.5 1 5 <5> 0 3 1 0 0 12B", "2.1 1 6 <6> 0 3 1 0 0 12B",
          "2.2 1 7 <7> 0 3 1 0 0 12B"}},
        // Empty key slots keep their place without a key; a key written in
        // full with the empty slot's text is a key.
        {"[FLIST]\nL \"k\" LIST2X4 1 0 0 0 1 1\nP\nI 1 1 <a>\nI 0 0 <||> 0 7 1\n"
         "I 0 0 <||> 0 7 1  \nI 1 4 <d>\nI 0 0 <||> 0 7 1 1 1 12.00\n",
         nullptr,
         {"1.1 1 1 <a> 0 3 1 0 0 15B", "1.4 1 4 <d> 0 3 1 0 0 15B", "1.5 0 0 <||> 0 7 1 1 1 15B"}},
        // Preset keys become their products; preset 8 belongs to another screen.
        {"[FLIST]\nL \"k\" LIST2X4 1 0 0 0 1 4\nP\nI 10 7 <P7>\nI 10 8 <P8>\nI 11 7 <x>\n",
         nullptr,
         {"1.1 21 5012345 <P7> 0 3 1 0 0 15B", "1.2 10 8 <P8> 0 3 1 0 0 15B",
          "1.3 11 7 <x> 0 3 1 0 0 15B"}},
        // Comments, blank lines, Windows line ends, and a name in lower case.
        {"# made by hand\r\njunk before the first section\r\n[flist]\r\n\r\n# the header\r\n"
         "L \"k\" LIST2X4 2 0 0 0 1 1\r\nP\r\n# first key\r\nI 1 1 <a>\r\n\r\nI 1 2 <b>\r\n"
         "end of keys\r\nI 1 3 <ignored: outside a page>\r\n",
         "k|2|4|2|0|0|0|1|1|L",
         {"1.1 1 1 <a> 0 3 1 0 0 15B", "1.2 1 2 <b> 0 3 1 0 0 15B"},
         "l00012.lst"},
        // A second section for the same list is skipped.
        {"[FLIST]\nL \"first\" LIST2X4 1 0 0 0 1 1\nP\nI 1 1 <a>\n"
         "[FLIST]\nL \"second\" LIST5X6 1 0 0 0 1 1\nP\nI 2 2 <b>\nI 2 3 <c>\n",
         "first|2|4|1|0|0|0|1|1|L",
         {"1.1 1 1 <a> 0 3 1 0 0 15B"}},
    };
    for (const ImportCase& c : cases) {
        SCOPED_TRACE(c.file);
        ClearLog();
        EXPECT_EQ(Import(c.file, 12, c.name), 0);
        if (c.header) {
            EXPECT_EQ(Header(12), c.header);
        }
        EXPECT_EQ(Keys(12), c.keys);
        std::filesystem::remove(FilePath(c.name));
    }
    EXPECT_FALSE(LinesWith("[FLIST]").empty()) << "the skipped section is reported";
}

TEST_P(ListImportTest, AnImportReplacesTheWholeListUnlessItsFileIsFromTheDatabaseOrMissing) {
    Exec("INSERT ListHdrs (ListNo, Description) VALUES (12, 'old')");
    Exec("INSERT ListItems (ListNo, PageNo, ItemNo, ItemText) VALUES (12, 9, 9, 'old key')");
    Exec("INSERT ListItems (ListNo, PageNo, ItemNo, ItemText) VALUES (13, 1, 1, 'other list')");
    WriteFile("L00012.LST", "[FLIST]\nL \"new\" LIST2X4 1 0 0 0 1 1\nP\nI 1 1 <a>\n");
    EXPECT_EQ(m_db.ListToDB((m_files.Str() + "/").c_str(), 12), 0);
    EXPECT_EQ(Header(12), "new|2|4|1|0|0|0|1|1|L");
    EXPECT_EQ(Keys(12).size(), 1u);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ListItems WHERE ListNo=13"), 1);
    // A file written from the database is not read back.
    EXPECT_EQ(Import("#supp dbno 3\n[FLIST]\nL \"other\" LIST5X6 1 0 0 0 1 1\n"), 0);
    // A missing file or a bad list number changes nothing.
    std::filesystem::remove(FilePath("L00012.LST"));
    EXPECT_EQ(m_db.ListToDB(Folder(), 12), -1);
    std::filesystem::create_directory(m_files.Path() / "L00012.LST");
    EXPECT_EQ(m_db.ListToDB(Folder(), 12), -1);
    EXPECT_EQ(m_db.ListToDB((m_files.Str() + "/nowhere").c_str(), 12), -1);
    EXPECT_EQ(m_db.ListToDB(nullptr, 12), -1);
    EXPECT_EQ(m_db.ListToDB(Folder(), 0), -2);
    EXPECT_EQ(m_db.ListToDB(Folder(), 40000), -2);
    EXPECT_EQ(Header(12), "new|2|4|1|0|0|0|1|1|L");
    EXPECT_EQ(Keys(12).size(), 1u);
}

TEST_P(ListImportTest, InClassicModeColoursAreOffsetAndAScreenFileReplacesFourListsAndItsMode) {
    // Outside classic mode a list of 1000 on is a list file like any other.
    EXPECT_EQ(Import("[FLIST]\nL \"k\" LIST2X4 1 0 0 0 1 1\n", 1020), 0);
    EXPECT_EQ(Header(1020), "k|2|4|1|0|0|0|1|1|L");
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ScreenModes"), 0);
    m_db.SetClassic(1);
    // The colours a list file gives are offset.
    EXPECT_EQ(Import("[FLIST]\nL \"k\" FUNC5X3 1 0 0 0 1 1\nP\nI 1 1 <x> 4 5\nI 1 2 <y> -1 6\n"
                     "P 1 2 0\nI 1 3 <z>\n"),
              0);
    EXPECT_EQ(Keys(12), (std::vector<std::string>{"1.1 1 1 <x> 36 37 1 0 0 10B",
                                                  "1.2 1 2 <y> 32 38 1 0 0 10B",
                                                  "2.1 1 3 <z> 1 2 0 0 0 12B"}));
    Exec("INSERT ListHdrs (ListNo, Description) VALUES (1023, 'old'), (1024, 'not on the screen')");
    Exec("INSERT ListItems (ListNo, PageNo, ItemNo) VALUES (1021, 1, 1)");
    Exec("INSERT ScreenModes (ScrnNo, Description, ListTop) VALUES (2, 'old', 7)");
    EXPECT_EQ(Import("[FLOFF]\nP\nI 1 1 <off>\n"
                     "[FPAY]\nP 1 2 0\nI 1 2 <pay> 3 4\n"
                     "[FBASE]\nP\nI 1 3 <base>\n",
                     1020, "scrdef02.def"),
              0);
    EXPECT_EQ(Header(1020), "Screen 1020.0|5|3|1|0|0|0|1|2|F");
    EXPECT_EQ(Header(1021), "<no row>");  // no [FTRADE] section
    EXPECT_EQ(Header(1022), "Screen 1020.2|5|3|1|0|0|0|1|2|F");
    EXPECT_EQ(Header(1023), "Screen 1020.3|5|6|5|0|0|0|1|2|L");
    EXPECT_EQ(Keys(1020), std::vector<std::string>{"1.1 1 1 <off> 32 35 1 0 0 10B"});
    EXPECT_EQ(Keys(1021), std::vector<std::string>{});
    EXPECT_EQ(Keys(1022), std::vector<std::string>{"1.1 1 2 <pay> 35 36 0 0 0 12B"});
    EXPECT_EQ(Keys(1023), std::vector<std::string>{"1.1 1 3 <base> 32 35 1 0 0 8B"});
    EXPECT_EQ(Header(1024), "not on the screen|0|0|0|0|0|0|0|1|L");
    EXPECT_EQ(Rows("SELECT ScrnNo, Description, FListLoggedOff, FListTrading, FListPayment, "
                   "ListTop, ListLoggedOff, ListTopPayment FROM ScreenModes"),
              std::vector<std::string>{"2|Auto generated|1020|1021|1022|1023|0|0"});
}

TEST_P(ListImportTest, AWrongSectionOrTableGivesItsCodeKeepingWhatWasWritten) {
    EXPECT_EQ(Import("[FLIST]\nL \"k\" LIST2X4 1 0 0 0 1 1\nP\nI 1 1 <a>\n[FBASE]\nP\nI 1 2 <b>\n"),
              78);
    EXPECT_EQ(Header(12), "k|2|4|1|0|0|0|1|1|L");
    EXPECT_EQ(Keys(12).size(), 1u);

    m_db.SetClassic(1);
    EXPECT_EQ(Import("[FLOFF]\nP\nI 1 1 <a>\n[FLIST]\nP\nI 1 2 <b>\n", 1020, "SCRDEF02.DEF"), 77);
    EXPECT_EQ(Keys(1020).size(), 1u);
    EXPECT_EQ(Count("SELECT COUNT(*) FROM ScreenModes"), 0);
    // Tables that cannot be opened.
    WriteFile("L00012.LST", "[FLIST]\n");
    Exec("DROP TABLE ListItems");
    EXPECT_EQ(m_db.ListToDB(Folder(), 12), 3);
    Exec("CREATE TABLE ListItems (ListNo INTEGER NOT NULL)");
    Exec("DROP TABLE ListHdrs");
    EXPECT_EQ(m_db.ListToDB(Folder(), 12), 1);
}

struct FontCase {
    const char* location;
    int rows, cols, size;
    const char* font;
};

const FontCase kFontCases[] = {
    {"L", 1, 5, 1, "12B"}, {"L", 5, 4, 0, "15B"},   {"L", 3, 3, 1, "15B"},   {"L", 4, 4, 2, "20B"},
    {"L", 5, 6, 1, "8B"},  {"L", 12, 10, 3, "10B"}, {"L", 5, 3, 1, "11"},    {"F", 5, 3, 1, "10B"},
    {"F", 5, 3, 0, "12B"}, {"F", 5, 6, 1, "11"},    {"TB", 1, 10, 1, "10B"}, {"", 15, 12, 2, "10B"},
    {"X", 5, 6, 1, "10B"}, {"X", 2, 4, 1, "11"},    {"L", 0, 0, 1, "kept"},
};

TEST(ListFontTest, SizeCodeGivesTheFontOfTheGrid) {
    for (const FontCase& c : kFontCases) {
        plist_def hdr;
        std::memset(&hdr, 0, sizeof hdr);
        std::strcpy(hdr.Location, c.location);
        hdr.Rows = static_cast<int8_t>(c.rows);
        hdr.Cols = static_cast<int8_t>(c.cols);
        std::string font = "kept";
        CListDB::ConvertOldSize(hdr, c.size, font);
        EXPECT_EQ(font, c.font) << c.location << " " << c.rows << "x" << c.cols << " size "
                                << c.size;
    }
}

// ---- damaged files: the result codes, and what is left in the list tables ----

struct BadCase {
    const char* what;
    std::string file;
    int result;
    const char* header;  // of list 12; "<no row>" when none is written
    std::string key;     // the one key of list 12; "" when none is written
};

const std::string kList = "[FLIST]\nL \"k\" LIST2X4 1 0 0 0 1 1\n";
const std::string kHeader = kList + "P\n";
const char* kStored = "k|2|4|1|0|0|0|1|1|L";
const char* kKeyA = "1.1 1 1 <a> 0 3 1 0 0 15B";  // "I 1 1 <a>" read

std::vector<BadCase> BadCases() {
    return {
        {"empty file", "", 0, "<no row>", ""},
        {"binary", std::string("\177ELF\0\1\2[FLIS\xff\xfe", 14), 0, "<no row>", ""},
        {"screen file named as a list file", "[FLOFF]\nP\nI 1 1 <a>\n", 78, "<no row>", ""},
        {"no line end at the end", kHeader + "I 1 1 <a>", 0, kStored, kKeyA},
        {"short #SUPP", "#SUPP DBN\n" + kHeader + "I 1 1 <a>\n", 0, kStored, kKeyA},
        {"item without anything", kHeader + "I\n", 0, kStored, "1.1 0 0 <?\?> 0 3 1 0 0 "},
        {"item of words", kHeader + "ITEM one two <x> y z\n", 0, kStored,
         "1.1 0 0 <x> 0 3 1 0 0 15B"},
        {"unmatched <", kHeader + "I 1 2 <abc 4 5 1\n", 0, kStored, "1.1 1 2 <?\?> 0 3 1 0 0 "},
        {"> before <", kHeader + "I 1 2 >abc< 4 5 1\n", 0, kStored, "1.1 1 2 <?\?> 0 3 1 0 0 "},
        {"function type out of range", kHeader + "I 99999999999 5 <x>\n", 0, kStored,
         "1.1 0 0 <x> 0 3 1 0 0 15B"},
        {"function value out of range", kHeader + "I 3 99999999999999999999 <x>\n", 0, kStored,
         "1.1 3 0 <x> 0 3 1 0 0 15B"},
        {"largest function value", kHeader + "I 3 -9223372036854775808 <x>\n", 0, kStored,
         "1.1 3 -9223372036854775808 <x> 0 3 1 0 0 15B"},
        {"colours and size beyond a byte", kHeader + "I 1 1 <x> 300 -7 6 1 1\n", 0, kStored,
         "1.1 1 1 <x> 44 249 2 1 1 20B"},
        {"colour out of range stops the numbers", kHeader + "I 1 1 <x> 9 99999999999 2\n", 0,
         kStored, "1.1 1 1 <x> 9 3 1 0 0 15B"},
        {"text longer than the column", kHeader + "I 1 1 <" + std::string(5000, 'x') + "> 4 5 2\n",
         0, kStored, "1.1 1 1 <" + std::string(80, 'x') + "> 4 5 2 0 0 20B"},
        {"text with a NUL", kHeader + std::string("I 1 1 <a\0b> 4 5\n", 16), 0, kStored,
         "1.1 1 1 <?\?> 0 3 1 0 0 "},
        {"page line of words", kList + "PAGE x\nI 1 1 <a>\n", 0, kStored, kKeyA},
        {"page line with extra numbers", kList + "P 1 2 2 7 7\nI 1 1 <a>\n", 0, kStored,
         "1.1 1 1 <a> 1 2 2 0 0 20B"},
        {"header line far too long",
         "[FLIST]\nL \"" + std::string(3000, 'd') + "\" LIST2X4 1 0 0 0 1 1\nP\nI 1 1 <a>\n", 0,
         "dddddddddddddddddddddddddddddddddddddddd|2|4|1|0|0|0|1|1|L", kKeyA},
        {"layout name far too long",
         "[FLIST]\nL \"k\" LIST2X4" + std::string(500, '9') + " 1 0 0 0 1 1\nP\nI 1 1 <a>\n", 0,
         "k|0|0|2|0|0|0|1|1|L", "2.1 1 1 <a> 0 3 1 0 0 "},
        {"header before the section", "L \"k\" LIST2X4 1 0 0 0 1 1\n[FLIST]\nP\nI 1 1 <a>\n", 0,
         "Screen 12.4|0|0|2|0|0|0|1|1|", "2.1 1 1 <a> 0 3 1 0 0 "},
        {"keys before a page line", kList + "I 1 1 <a>\nP\nI 1 2 <b>\n", 0, kStored, ""},
    };
}

TEST_P(ListImportTest, DamagedFiles) {
    for (const BadCase& c : BadCases()) {
        Exec("DELETE FROM ListHdrs");
        Exec("DELETE FROM ListItems");
        EXPECT_EQ(Import(c.file), c.result) << c.what;
        EXPECT_EQ(Header(12), c.header) << c.what;
        EXPECT_EQ(Keys(12),
                  c.key.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.key})
            << c.what;
        EXPECT_EQ(Count("SELECT COUNT(*) FROM ListItems WHERE ListNo<>12"), 0) << c.what;
    }
}

// Files put together from pieces of the format, cut and mixed at random:
// whatever they hold, the import ends with one of its results and leaves
// only keys of the list it read, on pages from 1.
TEST_P(ListImportTest, RandomFilesNeverBreakTheImport) {
    const std::string nl = "\n", crlf = "\r\n", big = "99999999999999999999", nul(1, '\0'),
                      zs(400, 'z');
    const std::vector<std::string> pieces = {
        "[FLIST]", "[FLOFF]", "[FBASE]", "L ", "\"d\"", "'",     "LIST", "FUNC", "5X6", "2X4", "$",
        "P",       "I",       " ",       nl,   crlf,    "<",     ">",    "|",    "-1",  "10",  "99",
        "7",       "0",       "-",       "#",  "x",     "70000", big,    nul,    zs};
    std::mt19937 random(12345);
    for (int round = 0; round < 150; ++round) {
        std::string file = round % 3 == 0 ? "[FLIST]\n" : "";
        const int count = static_cast<int>(random() % 60);
        for (int i = 0; i < count; ++i) file += pieces[random() % pieces.size()];
        const int result = Import(file);
        EXPECT_TRUE(result == 0 || result == 78) << result;
        EXPECT_EQ(Count("SELECT COUNT(*) FROM ListItems WHERE ListNo<>12 OR PageNo<1 OR ItemNo<1"),
                  0);
        EXPECT_LE(Count("SELECT COUNT(*) FROM ListHdrs WHERE ListNo=12"), 1);
    }
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(ListImportTest);

}  // namespace xrtest
