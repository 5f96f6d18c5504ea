// The list tests start in a database holding the list tables, with a folder
// of their own for list files.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "library.h"
#include "platform/text.h"
#include "setup_tables.h"

namespace xrtest {

class ListsTest : public LibraryTest {
protected:
    ListsTest() : LibraryTest(Start::Database, "LORIMDB81") {}

    void SetUp() override {
        LibraryTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        CreateSetupTables({"ListHdrs", "ListItems", "ScreenModes", "Presets"});
        m_db.SetItemPause(0);
    }

    void TearDown() override {
        for (int slot = 0; slot < 4; ++slot) ListClose(slot);
        LibraryTest::TearDown();
    }

    static int Count(const std::string& sql) { return std::stoi(Scalar(sql)); }

    // The keys of `list`, each as "page.item type value <text> fg bg size mx my font".
    static std::vector<std::string> Keys(int list) {
        return Rows(
            "SELECT CAST(PageNo AS VARCHAR(9)) + '.' + CAST(ItemNo AS VARCHAR(9)), "
            "FuncType, FuncValue, '<' + ItemText + '>', Foreground, Background, Size, mx, "
            "my, FontSpecifier FROM ListItems WHERE ListNo=" +
                std::to_string(list) + " ORDER BY PageNo, ItemNo",
            ' ');
    }

    // The header of `list` as "description|rows|cols|pages|staydown|link|
    // selmin|selmax|scrno|location".
    static std::string Header(int list) {
        return Scalar(
            "SELECT Description, Rows, Cols, NPages, Staydown, Link, SelMin, SelMax, "
            "ScrNo, Location FROM ListHdrs WHERE ListNo=" +
            std::to_string(list));
    }

    std::string FilePath(const std::string& name) const { return (m_files.Path() / name).string(); }
    void WriteFile(const std::string& name, const std::string& text) const {
        xrtest::WriteFile(FilePath(name), text);
    }
    std::string ReadFile(const std::string& name) const { return xrtest::ReadFile(FilePath(name)); }
    bool FileExists(const std::string& name) const {
        return std::filesystem::exists(m_files.Path() / name);
    }
    const char* Folder() const { return m_folder.c_str(); }

    // Writes `list` into the folder and gives the file `name` (its list file
    // when none is named); a failed write fails the test.
    std::string Exported(int list = 12, std::string name = "") {
        EXPECT_EQ(m_db.ListFromDB(Folder(), list), 0) << list;
        return ReadFile(name.empty() ? xr::Format("L%05d.LST", list) : name);
    }

    // Writes `file` as `name` (the list's file when none is named) and reads
    // list `list` in: the reader's result.
    int Import(const std::string& file, int list = 12, std::string name = "") {
        WriteFile(name.empty() ? xr::Format("L%05d.LST", list) : name, file);
        return m_db.ListToDB(Folder(), list);
    }

    TempDir m_files;
    const std::string m_folder = m_files.Str();
    CListDB m_db;
};

}  // namespace xrtest
