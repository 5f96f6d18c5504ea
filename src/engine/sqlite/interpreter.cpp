#include "engine/sqlite/interpreter_impl.h"

namespace xr::engine::sqlite {

// ---- session functions ----------------------------------------------------

namespace {

Interpreter::Impl* ImplOf(sqlite3_context* ctx) {
    return static_cast<Interpreter::Impl*>(sqlite3_user_data(ctx));
}

std::string TextArg(sqlite3_value* v) {
    const unsigned char* t = sqlite3_value_text(v);
    return t ? std::string(reinterpret_cast<const char*>(t),
                           static_cast<size_t>(sqlite3_value_bytes(v)))
             : std::string();
}

// 'db..table', 'db.dbo.table', 'dbo.table', '[table]' -> schema and table.
std::pair<std::string, std::string> SplitObject(Interpreter::Impl* impl, const std::string& text) {
    std::vector<std::string> parts;
    std::string cur;
    bool br = false;
    for (char c : text) {
        if (c == '[')
            br = true;
        else if (c == ']')
            br = false;
        else if (c == '.' && !br) {
            parts.push_back(cur);
            cur.clear();
        } else
            cur += c;
    }
    parts.push_back(cur);
    std::string schema = impl->currentSchema;
    if (parts.size() >= 3 && !parts[0].empty()) schema = impl->Attach(parts[0]);
    return {schema, parts.back()};
}

// A catalog number looked up by an object name given as text ('db..t',
// 'dbo.t', '[t]'); NULL when there is none.
template <class Lookup>
void NumberByName(sqlite3_context* ctx, sqlite3_value* arg, Lookup lookup) {
    auto* impl = ImplOf(ctx);
    if (sqlite3_value_type(arg) == SQLITE_NULL) return sqlite3_result_null(ctx);
    try {
        auto [schema, name] = SplitObject(impl, TextArg(arg));
        if (auto v = lookup(impl->catalog, schema, name)) return sqlite3_result_int64(ctx, *v);
    } catch (const ComError&) {
    }
    sqlite3_result_null(ctx);
}

void IdentCurrentFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    NumberByName(ctx, argv[0], [](Catalog& c, const std::string& schema, const std::string& table) {
        return c.IdentCurrent(schema, table);
    });
}

void ObjectIdFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    NumberByName(ctx, argv[0], [](Catalog& c, const std::string& schema, const std::string& name) {
        auto id = c.ObjectId(schema, name);
        return id ? std::optional<int64_t>(*id) : std::nullopt;
    });
}

void ObjectNameFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    auto* impl = ImplOf(ctx);
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
    try {
        auto v = impl->catalog.ObjectName(impl->currentSchema,
                                          static_cast<int32_t>(sqlite3_value_int64(argv[0])));
        if (v)
            sqlite3_result_text(ctx, v->c_str(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
        else
            sqlite3_result_null(ctx);
    } catch (const ComError&) {
        sqlite3_result_null(ctx);
    }
}

void NonZeroFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    sqlite3_value* v = argv[0];
    int t = sqlite3_value_type(v);
    if ((t == SQLITE_INTEGER && sqlite3_value_int64(v) == 0) ||
        (t == SQLITE_FLOAT && sqlite3_value_double(v) == 0.0)) {
        sqlite3_result_error(ctx, "Divide by zero error encountered.", -1);
        return;
    }
    sqlite3_result_value(ctx, v);
}

void RightFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
        return sqlite3_result_null(ctx);
    }
    std::string s = TextArg(argv[0]);
    int64_t n = sqlite3_value_int64(argv[1]);
    if (n < 0) {
        sqlite3_result_error(ctx, "Invalid length parameter passed to the right function.", -1);
        return;
    }
    if (static_cast<size_t>(n) < s.size()) s = s.substr(s.size() - static_cast<size_t>(n));
    sqlite3_result_text(ctx, s.c_str(), static_cast<int>(s.size()), SQLITE_TRANSIENT);
}

}  // namespace

Interpreter::Interpreter(sqlite3* handle, std::string folder)
    : m_impl(std::make_unique<Impl>(handle, std::move(folder))) {
    Impl* impl = m_impl.get();
    sqlite3_create_function(handle, "xr_ident_current", 1, SQLITE_UTF8, impl, IdentCurrentFn,
                            nullptr, nullptr);
    sqlite3_create_function(handle, "xr_object_id", 1, SQLITE_UTF8, impl, ObjectIdFn, nullptr,
                            nullptr);
    sqlite3_create_function(handle, "xr_object_name", 1, SQLITE_UTF8, impl, ObjectNameFn, nullptr,
                            nullptr);
    sqlite3_create_function(handle, "xr_nonzero", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            NonZeroFn, nullptr, nullptr);
    sqlite3_create_function(handle, "xr_right", 2, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                            RightFn, nullptr, nullptr);
    impl->catalog.InitDatabase("main");
    // Databases already on the server are opened up front: a file cannot be
    // attached inside a transaction.
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(impl->folder, ec)) {
        std::string name = entry.path().filename().string();
        if (name.size() < 4 || name.substr(name.size() - 3) != ".db") continue;
        std::string db = name.substr(0, name.size() - 3);
        if (IEquals(db, "MASTER") || db != ToUpper(db)) continue;
        try {
            impl->Attach(db);
        } catch (const ComError&) {
            // a file that does not open is reported when it is used
        }
        if (impl->attached.size() >= 8) break;
    }
}

Interpreter::~Interpreter() = default;

void Interpreter::Execute(std::string_view batch, std::vector<ErrorRecord>& errors) {
    m_impl->Execute(batch, errors, nullptr);
}

std::unique_ptr<engine::Rows> Interpreter::Query(std::string_view batch,
                                                 std::vector<ErrorRecord>& errors) {
    std::unique_ptr<engine::Rows> rows;
    m_impl->Execute(batch, errors, &rows);
    return rows;
}

std::string Interpreter::CurrentDatabase() const { return m_impl->current; }
void Interpreter::Use(std::string_view database) { m_impl->Use(database); }

void Interpreter::BeginTrans() {
    if (m_impl->tranCount > 0) {
        throw ComError(Hr(0x8004D013), "Only one transaction can be active on this session.");
    }
    m_impl->BeginTran();
}
void Interpreter::CommitTrans() {
    if (m_impl->tranCount == 0) throw ComError(Hr(0x8004D00E), "No transaction is active.");
    m_impl->tranCount = 1;
    m_impl->CommitTran();
}
void Interpreter::RollbackTrans() {
    if (m_impl->tranCount == 0) throw ComError(Hr(0x8004D00E), "No transaction is active.");
    m_impl->RollbackTran();
}

}  // namespace xr::engine::sqlite
