// One XML record element into "Products" as the XML import loads it: any text
// is written, refused or reported, never a crash, and the session stays
// usable. Each input runs in a transaction that is rolled back. Run with the
// seeds in corpus/xml:
//   xml_record_fuzz -max_len=2048 -timeout=10 fuzz/corpus/xml
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "interchange/xml_import.h"
#include "xrdb8/xrdb8.h"

namespace {

void Connect() {
    static bool done = [] {
        auto dir =
            std::filesystem::temp_directory_path() / ("xrdb8-xmlfuzz-" + std::to_string(getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        DBSetLog(nullptr);
        const std::string cs = "Provider=sqlite;Synchronous=OFF;Data Source=" + dir.string();
        DBOpen(cs.c_str(), "");
        DBExec("CREATE DATABASE F");
        DBSetDefaultDB("F");
        DBExec(
            "CREATE TABLE Products (PLU BIGINT NOT NULL, Description VARCHAR(40) DEFAULT "
            "'Description' NOT NULL, Price1 MONEY DEFAULT 0 NOT NULL, Dept INTEGER DEFAULT 1 "
            "NOT NULL, VAT CHAR(1) DEFAULT 'A' NOT NULL, Dsp1 BIT DEFAULT 0 NOT NULL, "
            "[V$SoldOut] BIT DEFAULT 0 NOT NULL, KPImage IMAGE NULL) "
            "ALTER TABLE Products ADD CONSTRAINT ProductsPrimary PRIMARY KEY (PLU) "
            "INSERT Products (PLU, Description) VALUES (1, 'One')");
        return true;
    }();
    (void)done;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Connect();
    std::string xml(reinterpret_cast<const char*>(data), size);
    if (!DBBeginTrans()) __builtin_trap();
    {
        CProduct product;  // closed before the rollback
        const int result = xr::interchange::LoadXmlRecord(product, xml, nullptr);
        if (result != 0 && result != 1) __builtin_trap();
        if (result == 1 && product.m_xmlCount != xr::interchange::kXmlDone) __builtin_trap();
    }
    DBRollbackTrans();
    return 0;
}
