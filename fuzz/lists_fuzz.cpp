// The list file reader on any file: ListToDB ends with one of its results
// (0, or 77/78 for a section of the wrong kind), writes keys of the file's
// lists only, on pages and places from 1, and what it stored can be written
// out and read back. The first byte chooses the kind of file: odd bytes make
// a classic screen-definition file for lists 1020 to 1023, even ones a list
// file for list 12. Each input runs in a transaction that is rolled back.
// Run with the seeds in corpus/lists:
//   lists_fuzz -max_len=4096 -timeout=10 fuzz/corpus/lists
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/connection.h"
#include "frame/app.h"
#include "xrdb8/xrdb8.h"

namespace {

std::string g_folder;

void Connect() {
    static bool done = [] {
        auto dir = std::filesystem::temp_directory_path() /
                   ("xrdb8-listsfuzz-" + std::to_string(getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "files");
        g_folder = (dir / "files").string();
        DBSetLog(nullptr);
        const std::string cs = "Provider=sqlite;Synchronous=OFF;Data Source=" + dir.string();
        DBOpen(cs.c_str(), "LORIMDB81");
        if (DBSetupDB1() != 1) __builtin_trap();
        DBExec("INSERT Presets (ScrnNo, PresetNo, PLU) VALUES (1, 7, 5012345)");
        return true;
    }();
    (void)done;
}

long Rows(const char* sql) {
    CXRTable table;
    return table.Count(sql);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Connect();
    const bool classic = size > 0 && (data[0] & 1);
    const int list = classic ? 1020 : 12;
    const std::string path = g_folder + (classic ? "/SCRDEF02.DEF" : "/L00012.LST");
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size > 1) std::fwrite(data + 1, 1, size - 1, f);
    std::fclose(f);

    if (!DBBeginTrans()) __builtin_trap();
    CListDB db;
    db.SetClassic(classic ? 1 : 0);
    db.SetItemPause(0);
    const int result = db.ListToDB(g_folder.c_str(), list);
    if (result != 0 && result != 77 && result != 78) __builtin_trap();
    const char* foreign =
        classic ? "SELECT * FROM ListItems WHERE ListNo<1020 OR ListNo>1023 OR PageNo<1 OR ItemNo<1"
                : "SELECT * FROM ListItems WHERE ListNo<>12 OR PageNo<1 OR ItemNo<1";
    if (Rows(foreign) != 0) __builtin_trap();
    if (db.ListFromDB(g_folder.c_str(), list) != 0) __builtin_trap();
    if (db.ListToDB(g_folder.c_str(), list) != 0) __builtin_trap();
    DBRollbackTrans();
    return 0;
}
