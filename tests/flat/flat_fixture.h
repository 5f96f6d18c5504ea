// Shared pieces of the flat interface tests: a fresh server folder per test
// with the configuration database built by the set-up pass, every family's
// slots emptied afterwards (they are process-wide and must not outlive the
// connection their rows belong to), and plain-SQL looks at the stored rows.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "frame/app.h"
#include "frame/log.h"
#include "log_capture.h"
#include "platform/variant.h"
#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace xrtest {

// Empties every slot of every family and the Prod2 object.
inline void CloseAllSlots() {
    for (int slot = 0; slot < 4; ++slot) {
        for (auto close : {ProdClose, BarcClose, PrtClose, PromClose, PymClose, FuncClose,
                           CfgTillClose, CfgSysClose, DeptClose, GroupClose, ExchClose, PresetClose,
                           MacClose, TPlanClose, SrvrClose, TableClose, PluModClose, MMClose}) {
            close(slot);
        }
    }
    Prod2Close();
}

inline std::string ConnectString(const std::filesystem::path& dir) {
    return "Provider=sqlite;Data Source=" + dir.string() + ";Synchronous=OFF";
}
inline std::string ConnectString(const TempDir& dir) { return ConnectString(dir.Path()); }

// Where this test binary keeps the server folder the set-up pass built, so
// that the test processes CTest starts one by one build it once between them:
// beside the binary, named after its modification time, so that a rebuilt
// library (whose set-up pass may differ) builds a new one.
inline std::filesystem::path TemplateCache() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    const auto stamp = std::filesystem::last_write_time(exe, ec);
    if (ec) return {};
    return exe.parent_path() /
           ("flat-template-" + std::to_string(stamp.time_since_epoch().count()));
}

// Publishes a built folder as the cache: copied under a name of this
// process's own, then renamed in one step, so that no process ever copies a
// half-written cache; the caches of earlier builds go.
inline void Publish(const std::filesystem::path& built, const std::filesystem::path& cache) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path staging = cache;
    staging += "." + std::to_string(getpid());
    fs::copy(built, staging, fs::copy_options::recursive, ec);
    if (!ec) fs::rename(staging, cache, ec);
    if (ec) fs::remove_all(staging, ec);
    for (const auto& entry : fs::directory_iterator(cache.parent_path(), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("flat-template-", 0) == 0 && entry.path() != cache &&
            name.find('.') == std::string::npos) {
            fs::remove_all(entry.path(), ec);
        }
    }
}

// A server folder whose configuration database the set-up pass built: each
// test starts from a copy of its files, which is far quicker than running
// the pass's statements again. Null when the pass failed.
inline const std::filesystem::path* SetUpTemplate() {
    static TempDir scratch;  // removed when the process ends
    static const std::filesystem::path source = [] {
        namespace fs = std::filesystem;
        const fs::path cache = TemplateCache();
        std::error_code ec;
        if (!cache.empty() && fs::is_directory(cache, ec)) return cache;
        const fs::path built = scratch.Path() / "server";
        fs::create_directory(built, ec);
        setenv("XRDB8_DATA", built.c_str(), 1);
        const bool ok = DBOpen(ConnectString(built).c_str(), "LORIMDB81") == 1 && DBSetupDB1() == 1;
        DBClose();
        if (!ok) return fs::path();
        if (!cache.empty()) Publish(built, cache);
        return built;
    }();
    return source.empty() ? nullptr : &source;
}

class FlatTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_log.clear();
        DBSetLog(&CaptureLog);
        const std::filesystem::path* source = SetUpTemplate();
        ASSERT_NE(source, nullptr) << "the set-up pass failed";
        std::filesystem::copy(*source, m_dir.Path(),
                              std::filesystem::copy_options::recursive |
                                  std::filesystem::copy_options::overwrite_existing);
        setenv("XRDB8_DATA", m_dir.Str().c_str(), 1);
        ASSERT_EQ(DBOpen(ConnectString(m_dir).c_str(), "LORIMDB81"), 1);
    }

    void TearDown() override {
        CloseAllSlots();
        DBClose();
        DBSetLog(&xr::FileSink);
    }

    static void Exec(const std::string& sql) { ASSERT_EQ(DBExec(sql.c_str()), 1) << sql; }

    // The single value `sql` gives, as text ("<null>" for NULL).
    static std::string Scalar(const std::string& sql) {
        xr::CDBConn* conn = xr::TheApp().GetConnection(1, nullptr);
        if (!conn) return "<no connection>";
        auto rows = conn->m_pConn->Query(sql);
        if (!rows || !rows->Next()) return "<no row>";
        xr::Variant v = rows->Value(0);
        return v.IsNull() ? "<null>" : v.ToText();
    }

    // A structure filled with one byte throughout: shows which bytes a call wrote.
    template <typename T>
    static T Pattern(unsigned char byte) {
        T def;
        std::memset(&def, byte, sizeof def);
        return def;
    }

    template <typename T>
    static bool SameBytes(const T& a, const T& b) {
        return std::memcmp(&a, &b, sizeof a) == 0;
    }

    TempDir m_dir;
};

}  // namespace xrtest
