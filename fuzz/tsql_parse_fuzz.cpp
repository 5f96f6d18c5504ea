// Any byte sequence given to the T-SQL parser yields a tree or a ComError:
// no crash, no hang, no other exception. Run with the seeds in corpus/tsql:
//   tsql_parse_fuzz -max_len=4096 fuzz/corpus/tsql
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/error.h"
#include "tsql/parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        xr::tsql::Batch batch = xr::tsql::Parse(text);
        for (const xr::tsql::StmtPtr& s : batch.statements) {
            // Every statement lies inside the batch, and so does each literal.
            if (s->pos.offset > s->endOffset || s->endOffset > batch.text.size()) __builtin_trap();
            for (const xr::tsql::Expr* lit : s->literals) {
                if (lit->pos.offset + lit->length > s->endOffset) __builtin_trap();
            }
        }
    } catch (const xr::ComError& e) {
        if (e.Error() != xr::DB_E_ERRORSINCOMMAND || e.Description().empty()) __builtin_trap();
    }
    return 0;
}
