// walk_products: the way a till program reads its products through the flat
// interface. It builds a configuration database in a folder (the one given,
// or a new one under the system's temporary folder), adds a few products,
// walks them in PLU order with ProdFirst/ProdNext, then browses them by
// description with Prod2First/Prod2GT.
//
//   walk_products [folder]
//
// A folder made here is removed at the end; a folder given is kept.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "xrdb8/xrdb8.h"

namespace {

void PrintLog(const char* format, ...) {
    // The library's log lines would drown the listing; keep them out.
    (void)format;
}

struct Item {
    uint64_t plu;
    const char* description;
    uint16_t dept;
    char vat;  // tax class letter
    bool soldOut;
};

const Item kItems[] = {
    {1001, "Lager pint", 1, 'A', false},     {1002, "Cider half", 1, 'A', true},
    {2001, "Fish and chips", 2, 'B', false}, {2002, "Chocolate fudge cake", 3, 'B', false},
    {3001, "Coffee", 4, 'C', false},
};

void Print(const prod_def& d) {
    std::printf("  %6llu  %-17s  dept %2u  VAT %c%s\n", static_cast<unsigned long long>(d.PLU),
                d.Description, d.Dept, static_cast<char>('A' + d.VAT),
                (d.Flags & PROD_SOLDOUT) ? "  sold out" : "");
}

}  // namespace

int main(int argc, char** argv) {
    std::string folder;
    bool ownFolder = false;  // made here, so removed at the end
    if (argc > 1) {
        folder = argv[1];
    } else {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "walk-products-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("walk_products: cannot make a folder");
            return 1;
        }
        folder = pattern;
        ownFolder = true;
    }
    DBSetLog(&PrintLog);

    const std::string connect = "Provider=sqlite;Data Source=" + folder + ";Synchronous=OFF";
    if (DBOpen(connect.c_str(), "LORIMDB81") != 1 || DBSetupDB1() != 1) {
        int code = 0;
        std::string text;
        DBGetError(code, text);
        std::fprintf(stderr, "walk_products: cannot set up the database in %s: %s\n",
                     folder.c_str(), text.c_str());
        return 1;
    }
    std::printf("Database LORIMDB81 in %s\n", folder.c_str());

    // Slot 0 is this program's own; another part of a till would take another.
    const int slot = 0;
    for (const Item& item : kItems) {
        prod_def d{};
        d.PLU = item.plu;
        std::snprintf(d.Description, sizeof d.Description, "%s", item.description);
        d.Dept = item.dept;
        d.VAT = static_cast<int16_t>(item.vat - 'A');
        if (item.soldOut) d.Flags |= PROD_SOLDOUT;
        if (ProdAdd(slot, &d, 0) != FLAT_OK) {
            std::fprintf(stderr, "walk_products: product %llu was not stored\n",
                         static_cast<unsigned long long>(item.plu));
            return 1;
        }
    }

    std::printf("Products by PLU (%d):\n", ProdCount(slot));
    prod_def d{};
    for (int rc = ProdFirst(slot, &d); rc == FLAT_OK; rc = ProdNext(slot, &d)) Print(d);

    std::printf("Products by description:\n");
    prod_def browse{};
    for (int rc = Prod2First(&browse); rc == FLAT_OK; rc = Prod2GT(&browse)) Print(browse);

    ProdClose(slot);
    Prod2Close();
    DBClose();
    if (ownFolder) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    return 0;
}
