// A list written to a file, read back and written again gives the same file:
// for every layout form, with missing pages and missing keys.
#include "lists_fixture.h"

namespace xrtest {
namespace {

using ListRoundTripTest = ListsTest;

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

TEST_P(ListRoundTripTest, ExportImportExportGivesTheSameFile) {
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
        const std::string name = xr::Format("L%05d.LST", l.list);
        ASSERT_EQ(m_db.ListFromDB(Folder(), l.list), 0);
        const std::string first = ReadFile(name);
        const auto keysBefore = Keys(l.list);
        ASSERT_EQ(m_db.ListToDB(Folder(), l.list), 0) << first;
        ASSERT_EQ(m_db.ListFromDB(Folder(), l.list), 0);
        EXPECT_EQ(ReadFile(name), first);
        if (l.list != 12) {
            EXPECT_EQ(Keys(l.list), keysBefore) << first;
        }
    }
}

TEST_P(ListRoundTripTest, FileReadAndWrittenKeepsItsKeysInPlace) {
    const std::string file =
        "[FLIST]\n"
        "L \"Bar\" LIST3X4 3 1 0 0 1 1 0 0 0\n"
        "P 1 2 0\n"
        "P 1 2 0\n"
        "I 1 1 <a> 0 3 1 1 1 15.00\n"
        "I 0 0 <||> 0 7 1\n"
        "I 1 2 <b> 0 3 2 2 3 20.00\n"
        "P 1 2 0\n"
        "I 0 0 <||> 0 7 1\n"
        "I 0 0 <||> 0 7 1\n"
        "I 1 3 <c|d> 4 5 1 1 1 15.00\n";
    WriteFile("L00021.LST", file);
    ASSERT_EQ(m_db.ListToDB(Folder(), 21), 0);
    EXPECT_EQ(Keys(21),
              (std::vector<std::string>{"2.1 1 1 <a> 0 3 1 1 1 15B", "2.3 1 2 <b> 0 3 2 2 3 20B",
                                        "3.3 1 3 <c|d> 4 5 1 1 1 15B"}));
    ASSERT_EQ(m_db.ListFromDB(Folder(), 21), 0);
    EXPECT_EQ(ReadFile("L00021.LST"), file);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(ListRoundTripTest);

}  // namespace xrtest
