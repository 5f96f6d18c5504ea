// What the completion script and the manual page read off the command line
// definition: the visible commands, their options and arguments, the values
// an argument is limited to.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

namespace xrdb8tool::cli {

// Hidden commands and options are those in no group.
inline std::vector<const CLI::App*> Commands(const CLI::App& app) {
    return app.get_subcommands(
        [](const CLI::App* sub) { return !sub->get_name().empty() && !sub->get_group().empty(); });
}

// The named options (flags included), in the order they were added.
inline std::vector<const CLI::Option*> Options(const CLI::App& app) {
    return app.get_options(
        [](const CLI::Option* opt) { return opt->nonpositional() && !opt->get_group().empty(); });
}

// The arguments given by position, in order.
inline std::vector<const CLI::Option*> Arguments(const CLI::App& app) {
    return app.get_options([](const CLI::Option* opt) {
        return !opt->nonpositional() && opt->get_positional() && !opt->get_group().empty();
    });
}

inline bool TakesValue(const CLI::Option& opt) { return opt.get_items_expected_max() > 0; }

// An argument that takes every word left ("tables...").
inline bool Repeats(const CLI::Option& opt) { return opt.get_items_expected_max() > 1; }

// "-h", "--help": every name of a named option.
inline std::vector<std::string> Names(const CLI::Option& opt) {
    std::vector<std::string> names;
    for (const std::string& s : opt.get_snames()) names.push_back("-" + s);
    for (const std::string& l : opt.get_lnames()) names.push_back("--" + l);
    return names;
}

// The kind of value, as --help shows it: "TEXT", "INT".
inline std::string ValueKind(const CLI::Option& opt) {
    const std::string type = opt.get_type_name();
    return type.substr(0, type.find(':'));
}

// The values a check limits the option to (CLI::IsMember shows them as
// "{a,b,c}" in the option's type); empty when any value goes.
inline std::vector<std::string> Choices(const CLI::Option& opt) {
    const std::string type = opt.get_type_name();
    const size_t open = type.find(":{");
    std::vector<std::string> choices;
    if (open == std::string::npos) return choices;
    const size_t close = type.find('}', open);
    if (close == std::string::npos) return choices;
    std::string item;
    for (size_t at = open + 2; at <= close; ++at) {
        if (at == close || type[at] == ',') {
            if (!item.empty()) choices.push_back(item);
            item.clear();
        } else {
            item += type[at];
        }
    }
    return choices;
}

// Whether the value names a file or folder, so that completion offers the
// names in the folder: text that no check limits and whose description says
// it is a file or a folder ("the CSV file", "the till's base folder"), not a
// string that merely mentions one (--connect).
inline bool TakesPath(const CLI::Option& opt) {
    if (ValueKind(opt) != "TEXT" || !Choices(opt).empty()) return false;
    const std::string& what = opt.get_description();
    return (what.find("file") != std::string::npos || what.find("folder") != std::string::npos) &&
           what.find("string") == std::string::npos;
}

}  // namespace xrdb8tool::cli
