// xrdb8: the operators' command-line tool over the library. Each subcommand is
// one Add...Command function that registers its options and one Run...
// function that does the work; failures end in one "xrdb8: error:" line.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "backup_command.h"
#include "check_command.h"
#include "cli_docs.h"
#include "data_folder.h"
#include "engine/connection.h"
#include "frame/app.h"
#include "interchange_commands.h"
#include "lists_command.h"
#include "platform/error.h"
#include "platform/text.h"
#include "setup_command.h"
#include "xrdb8/xrdb8.h"

namespace {

using xrdb8tool::LastErrorText;
using xrdb8tool::Masked;
using xrdb8tool::OpenDataFolder;

// What every subcommand shares: the server it works on.
struct GlobalOptions {
    xrdb8tool::Server server;
};

// A failure to report to the operator; the text is the whole message.
class ToolError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string DefaultDataDir() {
    const char* env = std::getenv("XRDB8_DATA");
    return (env && *env) ? env : "./data";
}

// Connects the calling thread to the server in the data folder.
void Connect(const GlobalOptions& options) {
    if (!OpenDataFolder(options.server)) throw ToolError(LastErrorText());
}

// Runs a command body: any failure prints one line on stderr and gives 1.
template <typename Fn>
int Guard(Fn&& fn) {
    try {
        return fn();
    } catch (const xr::ComError& e) {
        std::string text = e.Description().empty() ? e.ErrorMessage() : e.Description();
        std::cerr << "xrdb8: error: " << Masked(text) << "\n";
    } catch (const std::exception& e) {
        std::cerr << "xrdb8: error: " << Masked(e.what()) << "\n";
    }
    return 1;
}

// ---- output --------------------------------------------------------------

std::string CellText(const xr::Variant& value) {
    if (value.IsNull()) return "NULL";
    if (value.Type() == xr::VT_BYTES) {
        static const char* digits = "0123456789ABCDEF";
        std::string text = "0x";
        for (uint8_t b : value.BytesValue()) {
            text += digits[b >> 4];
            text += digits[b & 15];
        }
        return text;
    }
    try {
        return value.ToText();
    } catch (const std::exception&) {
        return "?";
    }
}

bool IsNumeric(uint16_t adoType) {
    switch (adoType) {
        case xr::engine::adSmallInt:
        case xr::engine::adInteger:
        case xr::engine::adSingle:
        case xr::engine::adDouble:
        case xr::engine::adCurrency:
        case xr::engine::adDecimal:
        case xr::engine::adUnsignedTinyInt:
        case xr::engine::adBigInt:
        case xr::engine::adUnsignedBigInt:
        case xr::engine::adNumeric:
            return true;
        default:
            return false;
    }
}

// Header, a separator line, the rows (numbers to the right), then "(N rows)".
void PrintRows(xr::engine::Rows& rows, std::ostream& out) {
    const size_t columns = rows.ColumnCount();
    std::vector<std::vector<std::string>> table;
    std::vector<std::string> header;
    std::vector<size_t> width(columns);
    for (size_t c = 0; c < columns; ++c) {
        header.push_back(rows.Column(c).name);
        width[c] = header[c].size();
    }
    while (rows.Next()) {
        std::vector<std::string> line;
        for (size_t c = 0; c < columns; ++c) {
            line.push_back(CellText(rows.Value(c)));
            width[c] = std::max(width[c], line[c].size());
        }
        table.push_back(std::move(line));
    }
    auto printLine = [&](const std::vector<std::string>& cells, bool isHeader) {
        std::string text;
        for (size_t c = 0; c < columns; ++c) {
            if (c) text += "  ";
            std::string pad(width[c] - cells[c].size(), ' ');
            bool right = !isHeader && IsNumeric(rows.Column(c).adoType) && cells[c] != "NULL";
            text += right ? pad + cells[c] : cells[c] + (c + 1 < columns ? pad : "");
        }
        out << text << "\n";
    };
    printLine(header, true);
    std::string separator;
    for (size_t c = 0; c < columns; ++c) separator += (c ? "  " : "") + std::string(width[c], '-');
    out << separator << "\n";
    for (const auto& line : table) printLine(line, false);
    out << "(" << table.size() << " rows)\n";
}

// ---- sql -----------------------------------------------------------------

int RunSql(const GlobalOptions& options, const std::string& statement) {
    Connect(options);
    xr::CDBConn* conn = xr::TheApp().GetConnection(1, nullptr);
    if (!conn) throw ToolError(LastErrorText());
    std::unique_ptr<xr::engine::Rows> rows = conn->m_pConn->Query(statement);
    if (rows) PrintRows(*rows, std::cout);  // none for a statement without a result set
    return 0;
}

void AddSqlCommand(CLI::App& app, const GlobalOptions& options, int& status) {
    auto* sub = app.add_subcommand("sql", "Run a statement and print the rows it returns");
    auto statement = std::make_shared<std::string>();
    sub->add_option("statement", *statement, "the statement or batch")->required();
    sub->callback([&options, &status, statement] {
        status = Guard([&] { return RunSql(options, *statement); });
    });
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"xrdb8: set up, fill and query the point-of-sale databases"};
    GlobalOptions options;
    options.server.dataDir = DefaultDataDir();
    app.set_version_flag("--version", "xrdb8 " + xr::TheApp().m_vers.m_version);
    auto* data = app.add_option(
        "--data", options.server.dataDir,
        "folder of the embedded engine's databases (default: $XRDB8_DATA, else ./data)");
    app.add_option("--connect", options.server.connect,
                   "connection string of a shared server instead of a data folder, e.g. "
                   "\"Provider=postgresql;Data Source=host;User Id=xrdb8;Password=...;"
                   "Initial Catalog=shop\"")
        ->excludes(data);
    app.require_subcommand(1);

    int status = 0;
    AddSqlCommand(app, options, status);
    xrdb8tool::AddSetupCommand(app, options.server, status);
    xrdb8tool::AddCheckCommand(app, options.server, status);
    xrdb8tool::AddInterchangeCommands(app, options.server, status);
    xrdb8tool::AddListsCommand(app, options.server, status);
    xrdb8tool::AddBackupCommands(app, options.server, status);
    xrdb8tool::AddCompletionCommand(app, status);
    xrdb8tool::AddManCommand(app, status);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "xrdb8: error: " << Masked(e.what()) << " (see --help)\n";
        return 1;
    }
    std::cout.flush();
    return status;
}
