// The colour file reader on any file: it stores at most 64 colours, numbered
// 1 up, and never crashes. Each input runs in a transaction that is rolled
// back. Run with the seeds in corpus/colours:
//   colour_file_fuzz -max_len=8192 -timeout=10 fuzz/corpus/colours
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "interchange/colour_file.h"
#include "xrdb8/xrdb8.h"

namespace {

std::string g_file;

void Connect() {
    static bool done = [] {
        auto dir = std::filesystem::temp_directory_path() /
                   ("xrdb8-colourfuzz-" + std::to_string(getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        g_file = (dir / "colours.txt").string();
        DBSetLog(nullptr);
        const std::string cs = "Provider=sqlite;Synchronous=OFF;Data Source=" + dir.string();
        DBOpen(cs.c_str(), "");
        DBExec("CREATE DATABASE F");
        DBSetDefaultDB("F");
        DBExec(
            "CREATE TABLE SysValues (FieldName VARCHAR(40) NOT NULL, FieldIndex INTEGER "
            "DEFAULT 0 NOT NULL, iValue INTEGER DEFAULT 0 NOT NULL, fValue FLOAT(24) DEFAULT 0 "
            "NOT NULL, sValue VARCHAR(150) DEFAULT '' NOT NULL) "
            "ALTER TABLE SysValues ADD CONSTRAINT SysValuesPrimary PRIMARY KEY (FieldName, "
            "FieldIndex)");
        return true;
    }();
    (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Connect();
    std::FILE* f = std::fopen(g_file.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    if (!DBBeginTrans()) __builtin_trap();
    xr::interchange::ColourReport report;
    if (xr::interchange::ColoursFromFile(g_file.c_str(), &report) != 1) __builtin_trap();
    if (report.colours > 64) __builtin_trap();
    DBRollbackTrans();
    return 0;
}
