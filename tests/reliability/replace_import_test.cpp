// import-csv --replace empties the table and fills it in one commit: a run
// killed at any moment leaves the old rows, and other connections never see
// the table half filled.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "interchange_commands.h"
#include "kill_at_sync.h"
#include "second_process.h"
#include "site_dump.h"
#include "temp_dir.h"

namespace {

std::string ProductLines(int first, int count, const std::string& name) {
    std::string text;
    for (int plu = first; plu < first + count; ++plu) {
        text += std::to_string(plu) + "," + name + std::to_string(plu) +
                ",100,200,300,400,1,A,0,1,0,0,0,1,1,1,1,1,1,1,1,1,0,0,0,0,A\n";
    }
    return text;
}

// "rows|first name|last name" of Products.
std::string Products(const std::string& folder) {
    const std::vector<std::string> rows = xrtest::FileLines(
        folder + "/LORIMDB81.db",
        "SELECT count(*), min(Description COLLATE BINARY), max(Description COLLATE BINARY) "
        "FROM Products");
    return rows.empty() ? "<none>" : rows[0];
}

TEST(ReplaceImportTest, AKilledReplaceLeavesTheOldRows) {
    xrtest::TempDir dir;
    const std::string site = dir.Str() + "/site";
    ASSERT_EQ(xrtest::Tool(site, {"setup", "--only", "databases"}).status, 0);
    const std::string oldCsv = dir.Str() + "/old.csv", newCsv = dir.Str() + "/new.csv";
    std::ofstream(oldCsv) << ProductLines(1000, 30, "Old");
    std::ofstream(newCsv) << ProductLines(5000, 120, "New");
    ASSERT_EQ(xrtest::Tool(site, {"import-csv", "products", oldCsv}).status, 0);
    const std::string before = Products(site);
    ASSERT_EQ(before, "30|Old1000|Old1029");

    auto import = [&](const std::string& folder) {
        std::ostringstream out, err;
        xrdb8tool::RunImportCsv(folder, "products", newCsv, true, "", false, out, err);
    };
    const std::string whole = dir.Str() + "/whole";
    std::filesystem::copy(site, whole);
    xrtest::ChildRun run = xrtest::RunKilledAt(0, [&] { import(whole); });
    ASSERT_FALSE(run.killed);
    const std::string after = Products(whole);
    ASSERT_EQ(after, "120|New5000|New5119");

    std::vector<long> points;
    for (long at = 1; at <= std::min<long>(run.syncs, 6); ++at) points.push_back(at);
    if (run.syncs > 6) points.push_back(run.syncs / 2);
    for (long at : points) {
        SCOPED_TRACE("killed at sync " + std::to_string(at) + " of " + std::to_string(run.syncs));
        const std::string copy = dir.Str() + "/killed" + std::to_string(at);
        std::filesystem::copy(site, copy);
        ASSERT_TRUE(xrtest::RunKilledAt(at, [&] { import(copy); }).killed);
        const std::string seen = Products(copy);
        EXPECT_TRUE(seen == before || seen == after) << seen;
    }
}

}  // namespace
