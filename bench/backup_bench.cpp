// `xrdb8 backup` against the stock sqlite3 shell's .backup of the same files
// in the same run: a data folder set up as a site's (the configuration,
// trading and user databases, and master) with 100,000 products. Both run
// as processes of their own, as an operator runs them; the tool also locks
// every file for its one instant, writes its list of files with their
// checksums and syncs what it wrote. Reports tool / shell ("ratio"), the
// fastest of seven runs of each; the target is 2.
#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "temp_dir.h"
#include "xrdb8/xrdb8.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kProducts = 100000;

void SilentLog(const char*, ...) {}

std::string Word(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct Site {
    xrtest::TempDir dir;
    std::string data;
    Site() : data(dir.Str() + "/data") {
        DBSetLog(&SilentLog);
        const std::string cs = "Provider=sqlite;Data Source=" + data + ";Synchronous=OFF";
        DBOpen(cs.c_str(), "LORIMDB81");
        DBSetupDB();
        DBSetupDB3();
        DBSetDefaultDB("LORIMDB81");
        DBBeginTrans();
        for (int i = 1; i <= kProducts; ++i) {
            const std::string sql = "INSERT Products (PLU, Description, Price1, Price2) VALUES (" +
                                    std::to_string(i) + ", 'Product " + std::to_string(i) +
                                    "', 1.25, 2.5)";
            DBExec(sql.c_str());
        }
        DBCommitTrans();
        DBClose();
    }
};

Site& TheSite() {
    static Site site;
    return site;
}

double Run(const std::string& command) {
    const Clock::time_point start = Clock::now();
    const int status = std::system((command + " >/dev/null 2>&1").c_str());
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// The shell copies each database file of the folder with .backup, all in
// one process.
double ShellBackup(const std::string& dest) {
    fs::create_directories(dest);
    std::string script;
    for (const auto& entry : fs::directory_iterator(TheSite().data)) {
        const std::string name = entry.path().filename().string();
        if (name.size() < 4 || name.substr(name.size() - 3) != ".db") continue;
        script +=
            ".open " + Word(entry.path().string()) + "\n.backup " + Word(dest + "/" + name) + "\n";
    }
    const std::string file = dest + ".script";
    if (FILE* f = std::fopen(file.c_str(), "w")) {
        std::fputs(script.c_str(), f);
        std::fclose(f);
    }
    return Run("sqlite3 < " + Word(file));
}

double ToolBackup(const std::string& dest) {
    return Run(Word(XRDB8_TOOL_PATH) + " --data " + Word(TheSite().data) + " backup " + Word(dest));
}

void BM_BackupSite(benchmark::State& state) {
    TheSite();
    double tool = 0, shell = 0;
    int run = 0;
    for (auto _ : state) {
        const std::string base = TheSite().dir.Str() + "/run" + std::to_string(++run);
        const double t = ToolBackup(base + "-tool");
        const double s = ShellBackup(base + "-shell");
        if (t < 0 || s < 0) {
            state.SkipWithError(t < 0 ? "xrdb8 backup failed" : "the sqlite3 shell failed");
            break;
        }
        state.SetIterationTime(t);
        tool = tool == 0 || t < tool ? t : tool;
        shell = shell == 0 || s < shell ? s : shell;
        std::error_code ec;
        fs::remove_all(base + "-tool", ec);
        fs::remove_all(base + "-shell", ec);
    }
    state.counters["tool_ms"] = 1000 * tool;
    state.counters["shell_ms"] = 1000 * shell;
    state.counters["ratio"] = shell > 0 ? tool / shell : 0;
    double bytes = 0;
    for (const auto& entry : fs::directory_iterator(TheSite().data))
        if (entry.is_regular_file()) bytes += static_cast<double>(entry.file_size());
    state.counters["folder_mb"] = bytes / (1 << 20);
}
BENCHMARK(BM_BackupSite)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(7);

}  // namespace

BENCHMARK_MAIN();
