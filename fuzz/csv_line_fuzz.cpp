// The CSV field splitter on any line: every field is a piece of the line (or
// the piece less one pair of matching quotes), the position only moves
// forward, and the walk ends. Run with the seeds in corpus/csv:
//   csv_line_fuzz -max_len=4096 fuzz/corpus/csv
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "interchange/csv_import.h"
#include "xrdb8/xrtable.h"

namespace {

struct Splitter : CXRTable {
    using CXRTable::CSVParse;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The line as the import hands it over: text up to its first NUL.
    const std::string line(reinterpret_cast<const char*>(data), size);
    const char* text = line.c_str();
    const size_t length = std::strlen(text);

    int pos = 0;
    std::string field;
    size_t fields = 0;
    while (Splitter::CSVParse(text, pos, field)) {
        if (field.size() > length) __builtin_trap();
        if (pos <= 0 || static_cast<size_t>(pos) > length + 1) __builtin_trap();
        if (++fields > length + 1) __builtin_trap();  // one field per comma, at most
        (void)xr::interchange::AtoI(field);
        (void)xr::interchange::AtoI64(field);
    }
    // The number form walks the same fields.
    int numberPos = 0, value = 0;
    size_t numbers = 0;
    while (Splitter::CSVParse(text, numberPos, value)) ++numbers;
    if (numbers != fields || numberPos != pos) __builtin_trap();
    return 0;
}
