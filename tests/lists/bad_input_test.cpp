// Files that are damaged, cut short or of another kind: the result codes, and
// what is left in the list tables.
#include <random>

#include "lists_fixture.h"

namespace xrtest {
namespace {

using ListBadInputTest = ListsTest;

struct BadCase {
    const char* what;
    std::string file;
    int result;
    const char* header;  // of list 12; "<no row>" when none is written
    std::string key;     // the one key of list 12; "" when none is written
};

const std::string kHeader = "[FLIST]\nL \"k\" LIST2X4 1 0 0 0 1 1\nP\n";
const char* kStored = "k|2|4|1|0|0|0|1|1|L";

std::vector<BadCase> BadCases() {
    return {
        {"empty file", "", 0, "<no row>", ""},
        {"binary", std::string("\177ELF\0\1\2[FLIS\xff\xfe", 14), 0, "<no row>", ""},
        {"screen file named as a list file", "[FLOFF]\nP\nI 1 1 <a>\n", 78, "<no row>", ""},
        {"no line end at the end", kHeader + "I 1 1 <a>", 0, kStored, "1.1 1 1 <a> 0 3 1 0 0 15B"},
        {"short #SUPP", "#SUPP DBN\n" + kHeader + "I 1 1 <a>\n", 0, kStored,
         "1.1 1 1 <a> 0 3 1 0 0 15B"},
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
        {"page line of words", "[FLIST]\nL \"k\" LIST2X4 1 0 0 0 1 1\nPAGE x\nI 1 1 <a>\n", 0,
         kStored, "1.1 1 1 <a> 0 3 1 0 0 15B"},
        {"page line with extra numbers",
         "[FLIST]\nL \"k\" LIST2X4 1 0 0 0 1 1\nP 1 2 2 7 7\nI 1 1 <a>\n", 0, kStored,
         "1.1 1 1 <a> 1 2 2 0 0 20B"},
        {"header line far too long",
         "[FLIST]\nL \"" + std::string(3000, 'd') + "\" LIST2X4 1 0 0 0 1 1\nP\nI 1 1 <a>\n", 0,
         "dddddddddddddddddddddddddddddddddddddddd|2|4|1|0|0|0|1|1|L", "1.1 1 1 <a> 0 3 1 0 0 15B"},
        {"layout name far too long",
         "[FLIST]\nL \"k\" LIST2X4" + std::string(500, '9') + " 1 0 0 0 1 1\nP\nI 1 1 <a>\n", 0,
         "k|0|0|2|0|0|0|1|1|L", "2.1 1 1 <a> 0 3 1 0 0 "},
        {"header before the section", "L \"k\" LIST2X4 1 0 0 0 1 1\n[FLIST]\nP\nI 1 1 <a>\n", 0,
         "Screen 12.4|0|0|2|0|0|0|1|1|", "2.1 1 1 <a> 0 3 1 0 0 "},
        {"keys before a page line",
         "[FLIST]\nL \"k\" LIST2X4 1 0 0 0 1 1\nI 1 1 <a>\nP\nI 1 2 <b>\n", 0, kStored, ""},
    };
}

TEST_P(ListBadInputTest, DamagedFiles) {
    for (const BadCase& c : BadCases()) {
        Exec("DELETE FROM ListHdrs");
        Exec("DELETE FROM ListItems");
        WriteFile("L00012.LST", c.file);
        EXPECT_EQ(m_db.ListToDB(Folder(), 12), c.result) << c.what;
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
TEST_P(ListBadInputTest, RandomFilesNeverBreakTheImport) {
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
        WriteFile("L00012.LST", file);
        const int result = m_db.ListToDB(Folder(), 12);
        EXPECT_TRUE(result == 0 || result == 78) << result;
        EXPECT_EQ(Count("SELECT COUNT(*) FROM ListItems WHERE ListNo<>12 OR PageNo<1 OR ItemNo<1"),
                  0);
        EXPECT_LE(Count("SELECT COUNT(*) FROM ListHdrs WHERE ListNo=12"), 1);
    }
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(ListBadInputTest);

}  // namespace xrtest
