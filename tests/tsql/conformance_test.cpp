// Runs the SQL conformance files in tests/tsql/conformance: each file is a
// sequence of records run against a fresh server, once per engine: every
// file on the embedded engine (Sql/Conformance.File/<name>), the files listed
// in conformance/postgres.list on PostgreSQL (Postgres/Conformance.File/<name>,
// skipped when the test command's server is not there).
//
//   statement ok                  the batch below runs without error
//   statement error <text>        the batch fails; its first error contains <text>
//   statement errors <n>          the batch reports exactly n errors (0: none)
//   query                         the batch's first result, one row a line,
//   <sql>                         columns separated by '|', after a line "----"
//   ----
//   <rows>
//   query columns                 as query, but the first expected line is the
//                                 column names and types: "Name:VARCHAR(40)|..."
//   connection <n>                further records run on connection n (opened on
//                                 first use, same folder)
//   messages                      every message the batch reports (PRINT and
//   <sql>                         RAISERROR's informational ones and errors), in
//   ----                          order, one a line, after a line "----"
//   <messages>
//
// A one-line batch is a record of one line, so that a file of short cases
// reads as a table; expected rows or messages are separated by " ; ":
//
//   ok: <sql>                     statement ok
//   error: <sql> => <text>        statement error <text>
//   errors: <sql> => <n>          statement errors <n>
//   query: <sql> => <row> ; <row> query (no row when nothing follows "=>")
//   columns: <sql> => <head> ; <row>   query columns
//   messages: <sql> => <message>  messages
//
// "statement ok", "statement error(s)" and "query" count errors only: an
// informational message does not make a batch fail.
//
// A record's SQL runs to the next blank line (or "----"). Lines starting with
// '#' between records are comments. NULL prints as NULL, byte arrays as 0x..,
// dates as yyyy-mm-dd hh:mm:ss.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "engine/connection.h"
#include "library.h"
#include "platform/systemtime.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;
using xr::Variant;

fs::path ConformanceDir() { return fs::path(XRDB8_TEST_SOURCE) / "tsql" / "conformance"; }

std::vector<std::string> Files() {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(ConformanceDir(), ec)) {
        if (e.path().extension() == ".test") out.push_back(e.path().stem().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string Show(const Variant& v) {
    switch (v.Type()) {
        case xr::VT_EMPTY:
            return "EMPTY";
        case xr::VT_NULL:
            return "NULL";
        case xr::VT_BYTES: {
            static const char* hex = "0123456789ABCDEF";
            std::string s = "0x";
            for (uint8_t b : v.BytesValue()) {
                s += hex[b >> 4];
                s += hex[b & 15];
            }
            return s;
        }
        case xr::VT_DATE: {
            SYSTEMTIME st{};
            if (!xr::VariantTimeToSystemTime(v.RealValue(), &st)) return "BADDATE";
            return xr::Format("%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay,
                              st.wHour, st.wMinute, st.wSecond);
        }
        default:
            return v.ToText();
    }
}

// The files enabled on PostgreSQL, one name a line; the list grows with the
// engine until it holds every file.
std::vector<std::string> PostgresFiles() {
    std::vector<std::string> out;
    std::ifstream in(ConformanceDir() / "postgres.list");
    std::string line;
    while (std::getline(in, line)) {
        std::string name(xr::Trim(line));
        if (!name.empty() && name[0] != '#') out.push_back(name);
    }
    return out;
}

struct Record {
    std::string kind;  // "statement ok", "statement error", "query", ...
    std::string arg;
    std::string sql;
    std::vector<std::string> expected;
    int line = 0;
};

// A record of one line ("query: SELECT 1 => 1"); false for any other line.
bool ReadOneLine(const std::string& line, Record& r) {
    static const std::pair<const char*, const char*> kKinds[] = {
        {"ok: ", "statement ok"}, {"error: ", "statement error"}, {"errors: ", "statement errors"},
        {"query: ", "query"},     {"columns: ", "query columns"}, {"messages: ", "messages"}};
    for (const auto& [head, kind] : kKinds) {
        if (line.rfind(head, 0) != 0) continue;
        r.kind = kind;
        std::string rest = line.substr(strlen(head));
        if (r.kind == "statement ok") {
            r.sql = rest;
            return true;
        }
        size_t arrow = rest.find(" =>");
        if (arrow == std::string::npos) {
            ADD_FAILURE() << "line " << r.line << ": '" << head << "' needs ' => '";
            return true;
        }
        r.sql = rest.substr(0, arrow);
        std::string after = arrow + 3 < rest.size() ? rest.substr(arrow + 4) : "";
        if (r.kind.rfind("statement error", 0) == 0) {
            r.arg = after;
            return true;
        }
        if (arrow + 3 >= rest.size()) return true;  // no row
        for (size_t at = 0;;) {
            size_t next = after.find(" ; ", at);
            r.expected.push_back(after.substr(at, next - at));
            if (next == std::string::npos) return true;
            at = next + 3;
        }
    }
    return false;
}

std::vector<Record> ReadRecords(const fs::path& file) {
    std::ifstream in(file);
    std::vector<Record> out;
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
        ++n;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        Record r;
        r.line = n;
        if (ReadOneLine(line, r)) {
            out.push_back(std::move(r));
            continue;
        }
        if (line.rfind("statement errors ", 0) == 0) {
            r.kind = "statement errors";
            r.arg = std::string(xr::Trim(line.substr(16)));
        } else if (line.rfind("statement error", 0) == 0) {
            r.kind = "statement error";
            r.arg = std::string(xr::Trim(line.substr(15)));
        } else if (line == "statement ok" || line == "query" || line == "query columns" ||
                   line == "messages") {
            r.kind = line;
        } else if (line.rfind("connection", 0) == 0) {
            r.kind = "connection";
            r.arg = std::string(xr::Trim(line.substr(10)));
            out.push_back(r);
            continue;
        } else {
            ADD_FAILURE() << file << ":" << n << ": unknown record '" << line << "'";
            continue;
        }
        bool rows = false;
        while (std::getline(in, line)) {
            ++n;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!rows && line == "----") {
                rows = true;
                continue;
            }
            if (line.empty()) break;
            if (rows)
                r.expected.push_back(line);
            else
                r.sql += (r.sql.empty() ? "" : "\n") + line;
        }
        out.push_back(std::move(r));
    }
    return out;
}

// Lines as one text, so that a mismatch shows both lists whole.
std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

struct Case {
    xrtest::Engine engine;
    std::string file;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << xrtest::EngineName(c.engine) << ":" << c.file;
}

class Conformance : public ::testing::TestWithParam<Case> {};

TEST_P(Conformance, File) {
    const Case& param = GetParam();
    xrtest::TestServer server(param.engine);
    if (!server.Available()) GTEST_SKIP() << xrtest::kNoPostgres;
    std::map<std::string, std::unique_ptr<xr::engine::Connection>> conns;
    auto open = [&](const std::string& name) -> xr::engine::Connection& {
        auto& c = conns[name];
        if (!c) {
            c = std::make_unique<xr::engine::Connection>();
            c->Open(server.ConnectString());
        }
        return *c;
    };
    xr::engine::Connection* conn = &open("1");
    fs::path file = ConformanceDir() / (param.file + ".test");
    for (const Record& r : ReadRecords(file)) {
        std::string where = param.file + ".test:" + std::to_string(r.line);
        if (r.kind == "connection") {
            conn = &open(r.arg);
            continue;
        }
        std::vector<std::string> errors;
        std::unique_ptr<xr::engine::Rows> rows;
        try {
            if (r.kind.rfind("query", 0) == 0)
                rows = conn->Query(r.sql);
            else
                conn->Execute(r.sql);
        } catch (const xr::ComError&) {
        }
        std::vector<std::string> messages;
        for (const auto& e : conn->Errors()) {
            messages.push_back(e.description);
            if (!e.informational) errors.push_back(e.description);
        }
        if (r.kind == "messages") {
            EXPECT_EQ(Joined(messages), Joined(r.expected)) << where;
            continue;
        }
        if (r.kind == "statement ok" || r.kind.rfind("query", 0) == 0) {
            EXPECT_TRUE(errors.empty()) << where << ": " << (errors.empty() ? "" : errors[0]);
        } else if (r.kind == "statement error") {
            if (errors.empty()) {
                ADD_FAILURE() << where << ": expected an error containing '" << r.arg << "'";
            } else {
                EXPECT_NE(errors[0].find(r.arg), std::string::npos)
                    << where << ": error was: " << errors[0];
            }
        } else if (r.kind == "statement errors") {
            EXPECT_EQ(std::to_string(errors.size()), r.arg) << where << ":\n" << Joined(errors);
        }
        if (r.kind.rfind("query", 0) != 0) continue;
        std::vector<std::string> got;
        if (rows) {
            if (r.kind == "query columns") {
                std::string head;
                for (size_t i = 0; i < rows->ColumnCount(); ++i) {
                    head += (i ? "|" : "") + rows->Column(i).name + ":" + rows->Column(i).typeName;
                }
                got.push_back(head);
            }
            try {
                while (rows->Next()) {
                    std::string line;
                    for (size_t i = 0; i < rows->ColumnCount(); ++i) {
                        line += (i ? "|" : "") + Show(rows->Value(i));
                    }
                    got.push_back(line);
                }
            } catch (const xr::ComError& e) {
                got.push_back("ERROR: " + e.Description());
            }
        }
        EXPECT_EQ(Joined(got), Joined(r.expected)) << where;
    }
}

std::vector<Case> Cases(xrtest::Engine engine, const std::vector<std::string>& files) {
    std::vector<Case> out;
    for (const std::string& f : files) out.push_back({engine, f});
    return out;
}

INSTANTIATE_TEST_SUITE_P(Sql, Conformance,
                         ::testing::ValuesIn(Cases(xrtest::Engine::Sqlite, Files())),
                         [](const auto& info) { return info.param.file; });
INSTANTIATE_TEST_SUITE_P(Postgres, Conformance,
                         ::testing::ValuesIn(Cases(xrtest::Engine::Postgres, PostgresFiles())),
                         [](const auto& info) { return info.param.file; });

}  // namespace
