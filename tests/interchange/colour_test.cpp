// The colour file: the palette written with its comment lines and zero lines
// for missing colours, read back, and files with lines that are no colours.
#include "interchange/colour_file.h"
#include "library.h"

namespace {

using xrtest::ConfigTest;

class ColourTest : public ConfigTest {
protected:
    static void Colour(int index, int32_t value) {
        Exec(
            xr::Format("INSERT SysValues (FieldName, FieldIndex, iValue) VALUES ('Colour', %d, %d)",
                       index, value));
    }
    static std::vector<std::string> Palette() {
        return Rows(
            "SELECT FieldIndex, iValue FROM SysValues WHERE FieldName='Colour' "
            "ORDER BY FieldIndex");
    }
};

// An empty palette leaves the file alone; missing colours are written as
// zero and read back so; lines that are no colours.
TEST_P(ColourTest, MissingColoursAreWrittenAsZeroAndLinesThatAreNoColoursRead) {
    const std::string path = PathOf("colours.txt");
    xrtest::WriteFile(path, "kept\n");
    EXPECT_EQ(DBColoursToFile(path.c_str()), 0);
    EXPECT_EQ(xrtest::ReadFile(path), "kept\n");
    Colour(1, 0x00FF0000);
    Colour(2, 0x0000FF00);
    Colour(5, 0x123456);
    ASSERT_EQ(DBColoursToFile(path.c_str()), 1);
    EXPECT_EQ(xrtest::ReadFile(path), "# 1\n00FF0000\n0000FF00\n00000000\n00000000\n00123456\n");

    Exec("DELETE FROM SysValues WHERE FieldName='Colour'");
    Colour(3, 77);
    ASSERT_EQ(DBColoursFromFile(path.c_str()), 1);
    EXPECT_EQ(Palette(),
              (std::vector<std::string>{"1|16711680", "2|65280", "3|0", "4|0", "5|1193046"}));

    EXPECT_EQ(DBColoursToFile(PathOf("no/such/folder.txt").c_str()), 0);
    EXPECT_EQ(DBColoursToFile(nullptr), 0);
    const std::string longLine(150, 'A');
    xrtest::WriteFile(path, "# comment\nABCDEF\n\nnot hex\r\n 0x1F \n#\n" + longLine + "\n7\n");
    xr::interchange::ColourReport report;
    ASSERT_EQ(xr::interchange::ColoursFromFile(path.c_str(), &report), 1);
    // The 150-character line is read as two lines of 99 and 51 characters,
    // each more than eight digits: kept to 32 bits.
    EXPECT_EQ(Palette(), (std::vector<std::string>{"1|11259375", "2|0", "3|0", "4|31", "5|-1",
                                                   "6|-1", "7|7"}));
    EXPECT_EQ(report.colours, 7);
    EXPECT_EQ(report.comments, 2);
    ASSERT_EQ(report.garbage.size(), 3u);
    EXPECT_EQ(report.garbage[0], "colour 3: \"not hex\" stored as 00000000");

    EXPECT_EQ(DBColoursFromFile(PathOf("missing.txt").c_str()), 0);
    EXPECT_EQ(DBColoursFromFile(nullptr), 0);
    EXPECT_EQ(DBColoursFromFile(Folder().c_str()), 1) << "a folder reads as an empty file";
}

TEST_P(ColourTest, ThePaletteStopsAtSixtyFourColours) {
    for (int i = 1; i <= 64; ++i) Colour(i, i == 64 ? -1 : i);
    Colour(70, 70);
    const std::string path = PathOf("colours.txt");
    ASSERT_EQ(DBColoursToFile(path.c_str()), 1);
    const std::string text = xrtest::ReadFile(path);
    EXPECT_EQ(text.substr(0, 24), "# 1\n00000001\n00000002\n00");
    EXPECT_PRED2(xrtest::Has, text, "00000009\n# 10\n0000000A\n");
    EXPECT_PRED2(xrtest::Has, text, "# 60\n0000003C\n0000003D\n0000003E\n0000003F\nFFFFFFFF\n");
    EXPECT_EQ(text.size() - text.rfind("FFFFFFFF\n"), 9u) << "colour 70 is not written";

    // 64 colour lines and more: the first 64 are read, so -1 comes back.
    Exec("DELETE FROM SysValues WHERE FieldName='Colour'");
    xrtest::WriteFile(path, text + "00000041\n00000042\n");
    xr::interchange::ColourReport report;
    ASSERT_EQ(xr::interchange::ColoursFromFile(path.c_str(), &report), 1);
    EXPECT_EQ(Scalar("SELECT COUNT(*) FROM SysValues WHERE FieldName='Colour'"), "64");
    EXPECT_EQ(Scalar("SELECT iValue FROM SysValues WHERE FieldName='Colour' AND FieldIndex=64"),
              "-1");
    EXPECT_EQ(report.ignored, 2);
    EXPECT_EQ(report.comments, 7);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(ColourTest);
