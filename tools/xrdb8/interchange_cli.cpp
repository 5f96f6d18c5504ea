// The options of xrdb8 script, exec, import-csv, import-xml and colours; the
// work is done in interchange_commands.cpp.
#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "interchange_commands.h"

namespace xrdb8tool {

namespace {

// Runs a command body; anything it throws is one error line and status 1.
template <typename Fn>
int Guard(Fn&& fn) {
    try {
        return fn();
    } catch (const std::exception& e) {
        std::cerr << "xrdb8: error: " << Masked(e.what()) << "\n";
    }
    return 1;
}

}  // namespace

void AddInterchangeCommands(CLI::App& app, const Server& server, int& status) {
    {
        struct Options {
            std::vector<std::string> tables;
            std::string out;
            bool append = false;
            bool identity = false;
        };
        auto o = std::make_shared<Options>();
        auto* sub = app.add_subcommand("script", "Write whole tables as a script for exec");
        sub->add_option("tables", o->tables, "the tables, e.g. Products Depts")->required();
        sub->add_option("--out", o->out, "the script file (replaced unless --append)")->required();
        sub->add_flag("--append", o->append, "add to the end of an existing script");
        sub->add_flag(
            "--identity-insert", o->identity,
            "wrap the rows in SET IDENTITY_INSERT ON/OFF (tables with an identity column)");
        sub->callback([&server, &status, o] {
            status = Guard([&] {
                return RunScript(server, o->tables, o->out, o->append, o->identity, std::cout,
                                 std::cerr);
            });
        });
    }
    {
        auto path = std::make_shared<std::string>();
        auto* sub = app.add_subcommand(
            "exec", "Run a script file batch by batch (--->GO or GO separators, told apart)");
        sub->add_option("file", *path, "the script file")->required();
        sub->callback([&server, &status, path] {
            status = Guard([&] { return RunExec(server, *path, std::cout, std::cerr); });
        });
    }
    {
        struct Options {
            std::string kind;
            std::string file;
            bool replace = false;
            std::string script;
            bool allBands = false;
        };
        auto o = std::make_shared<Options>();
        auto* sub = app.add_subcommand("import-csv", "Add, change or delete rows from a CSV file");
        sub->add_option("kind", o->kind, "products, barcodes, depts, groups, servers or tables")
            ->required()
            ->check(CLI::IsMember(CsvKinds()));
        sub->add_option("file", o->file, "the CSV file")->required();
        sub->add_flag("--replace", o->replace,
                      "empty the table first (the emptying and the new rows commit together)");
        sub->add_option("--script", o->script, "append every change to this script file");
        sub->add_flag("--all-bands", o->allBands, "product lines carry ten prices, not four");
        sub->callback([&server, &status, o] {
            status = Guard([&] {
                return RunImportCsv(server, o->kind, o->file, o->replace, o->script, o->allBands,
                                    std::cout, std::cerr);
            });
        });
    }
    {
        struct Options {
            std::string file;
            std::string record;
        };
        auto o = std::make_shared<Options>();
        auto* sub = app.add_subcommand("import-xml", "Load products from an XML file");
        sub->add_option("file", o->file, "the XML file")->required();
        auto* record = sub->add_option("--record", o->record,
                                       "name the top element's first child must carry (with case)");
        sub->callback([&server, &status, o, record] {
            status = Guard([&] {
                return RunImportXml(server, o->file, o->record, record->count() > 0, std::cout,
                                    std::cerr);
            });
        });
    }
    {
        struct Options {
            std::string direction;
            std::string file;
        };
        auto o = std::make_shared<Options>();
        auto* sub = app.add_subcommand("colours", "Copy the tills' palette to or from a file");
        sub->add_option("direction", o->direction, "export or import")
            ->required()
            ->check(CLI::IsMember({"export", "import"}));
        sub->add_option("file", o->file, "the colour file")->required();
        sub->callback([&server, &status, o] {
            status = Guard(
                [&] { return RunColours(server, o->direction, o->file, std::cout, std::cerr); });
        });
    }
}

}  // namespace xrdb8tool
