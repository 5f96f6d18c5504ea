// Interim: statements go to SQLite as they are, until the T-SQL front end is
// wired in.
#include "tsql/interpreter.h"

#include <sqlite3.h>

#include <filesystem>

#include "engine/sqlite/server.h"
#include "platform/text.h"

namespace xr::tsql {

namespace {

class PlainRows final : public engine::Rows {
public:
    explicit PlainRows(sqlite3_stmt* st) : m_st(st) {
        int n = sqlite3_column_count(st);
        for (int i = 0; i < n; ++i) {
            engine::ColumnInfo c;
            c.name = sqlite3_column_name(st, i);
            const char* d = sqlite3_column_decltype(st, i);
            c.typeName = d ? d : "";
            m_cols.push_back(c);
        }
    }
    ~PlainRows() override { sqlite3_finalize(m_st); }
    size_t ColumnCount() const override { return m_cols.size(); }
    const engine::ColumnInfo& Column(size_t i) const override { return m_cols.at(i); }
    bool Next() override {
        int rc = sqlite3_step(m_st);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        throw ComError(DB_E_ERRORSINCOMMAND, sqlite3_errmsg(sqlite3_db_handle(m_st)));
    }
    Variant Value(size_t i) const override {
        int c = static_cast<int>(i);
        switch (sqlite3_column_type(m_st, c)) {
            case SQLITE_INTEGER: {
                int64_t v = sqlite3_column_int64(m_st, c);
                if (v >= INT32_MIN && v <= INT32_MAX) return Variant::I4(static_cast<int32_t>(v));
                return Variant::I8(v);
            }
            case SQLITE_FLOAT: return Variant::R8(sqlite3_column_double(m_st, c));
            case SQLITE_TEXT:
                return Variant::Text(reinterpret_cast<const char*>(sqlite3_column_text(m_st, c)));
            case SQLITE_BLOB:
                return Variant::Bytes(sqlite3_column_blob(m_st, c), sqlite3_column_bytes(m_st, c));
            default: return Variant::Null();
        }
    }

private:
    sqlite3_stmt* m_st;
    std::vector<engine::ColumnInfo> m_cols;
};

}  // namespace

struct Interpreter::Impl {
    sqlite3* db;
    std::string folder;
    std::string current = "master";
};

Interpreter::Interpreter(sqlite3* handle, std::string folder)
    : m_impl(std::make_unique<Impl>(Impl{handle, std::move(folder)})) {}
Interpreter::~Interpreter() = default;

void Interpreter::Execute(std::string_view batch, std::vector<engine::ErrorRecord>& errors) {
    std::string text(batch);
    char* msg = nullptr;
    if (sqlite3_exec(m_impl->db, text.c_str(), nullptr, nullptr, &msg) != SQLITE_OK) {
        errors.push_back({DB_E_ERRORSINCOMMAND, msg ? msg : sqlite3_errmsg(m_impl->db)});
        sqlite3_free(msg);
    }
}

std::unique_ptr<engine::Rows> Interpreter::Query(std::string_view batch,
                                                 std::vector<engine::ErrorRecord>& errors) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(m_impl->db, batch.data(), static_cast<int>(batch.size()), &st,
                           nullptr) != SQLITE_OK) {
        errors.push_back({DB_E_ERRORSINCOMMAND, sqlite3_errmsg(m_impl->db)});
        return nullptr;
    }
    if (!st) return nullptr;
    return std::make_unique<PlainRows>(st);
}

std::string Interpreter::CurrentDatabase() const { return m_impl->current; }

void Interpreter::Use(std::string_view database) {
    using namespace engine::sqlite;
    if (IEquals(database, "master")) {
        m_impl->current = "master";
        return;
    }
    std::string file = DatabaseFile(m_impl->folder, database);
    if (!std::filesystem::exists(file)) {
        throw ComError(DB_E_ERRORSINCOMMAND,
                       "Database '" + std::string(database) +
                           "' does not exist. Make sure that the name is entered correctly.");
    }
    m_impl->current = ToUpper(database);
}

static void Run(Interpreter& in, const char* sql) {
    std::vector<engine::ErrorRecord> e;
    in.Execute(sql, e);
    if (!e.empty()) throw ComError(e[0].number, e[0].description);
}

void Interpreter::BeginTrans() { Run(*this, "BEGIN IMMEDIATE"); }
void Interpreter::CommitTrans() { Run(*this, "COMMIT"); }
void Interpreter::RollbackTrans() { Run(*this, "ROLLBACK"); }

}  // namespace xr::tsql
