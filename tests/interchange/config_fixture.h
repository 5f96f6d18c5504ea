// Tests over a real configuration database: the set-up pass builds LORIMDB81
// once per test binary in a folder of its own, and every test starts from a
// copy of those files in a fresh folder, so tests see the tables the tills
// use and cannot disturb each other.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "frame/app.h"
#include "frame/log.h"
#include "log_capture.h"
#include "platform/text.h"
#include "platform/variant.h"
#include "query_rows.h"
#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace xrtest {

inline std::vector<std::string> LogLinesWith(const std::string& part) {
    std::vector<std::string> found;
    for (const auto& line : g_log)
        if (line.find(part) != std::string::npos) found.push_back(line);
    return found;
}

inline std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

inline std::string ConnectStringFor(const std::string& folder) {
    return "Provider=sqlite;Data Source=" + folder + ";Synchronous=OFF";
}

// The folder holding the freshly set-up configuration database.
inline const std::string& TemplateFolder() {
    static TempDir* folder = [] {
        auto* dir = new TempDir();  // kept until the process ends
        DBSetLog(nullptr);
        if (DBOpen(ConnectStringFor(dir->Str()).c_str(), "LORIMDB81") != 1 || DBSetupDB1() != 1)
            ADD_FAILURE() << "the configuration database could not be set up";
        DBClose();
        return dir;
    }();
    static const std::string path = folder->Str();
    return path;
}

class ConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string& from = TemplateFolder();
        for (const auto& entry : std::filesystem::directory_iterator(from))
            std::filesystem::copy(entry.path(), m_dir.Path() / entry.path().filename(),
                                  std::filesystem::copy_options::recursive);
        g_log.clear();
        DBSetLog(&CaptureLog);
        ASSERT_EQ(DBOpen(ConnectString().c_str(), "LORIMDB81"), 1);
    }
    void TearDown() override {
        DBClose();
        DBSetLog(&xr::FileSink);
    }

    std::string ConnectString() const { return ConnectStringFor(m_dir.Str()); }
    std::string Folder() const { return m_dir.Str(); }
    std::string PathOf(const std::string& name) const { return (m_dir.Path() / name).string(); }

    static void Exec(const std::string& sql) { ASSERT_EQ(DBExec(sql.c_str()), 1) << sql; }

    static std::vector<std::string> Rows(const std::string& sql) { return QueryRows(sql); }
    static std::string Scalar(const std::string& sql) { return QueryScalar(sql); }

    TempDir m_dir;
};

}  // namespace xrtest
