// xrdb8 completion bash: a bash completion script written from the tool's
// commands as they are registered. The script holds a table of what each
// command takes (its commands, its options, which options take a value, its
// arguments and the values they are limited to) and one function that walks
// the words typed so far to find where the word being completed stands.
#include <CLI/CLI.hpp>
#include <cctype>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli_docs.h"
#include "cli_walk.h"

namespace xrdb8tool {

namespace {

// A word as bash reads it back: in single quotes unless it needs none.
std::string Quoted(const std::string& word) {
    bool plain = !word.empty();
    for (char c : word)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ||
                          c == '.' || c == '/' || c == ',' || c == '+' || c == '=');
    if (plain) return word;
    std::string text = "'";
    for (char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

std::string List(const std::vector<std::string>& words) {
    std::string text = "(";
    for (size_t i = 0; i < words.size(); ++i) text += (i ? " " : "") + Quoted(words[i]);
    return text + ")";
}

// The key an option or argument is known by in the script: the option's
// first name, the argument's name with "..." when it takes every word left.
std::string Key(const CLI::Option& opt) {
    if (opt.nonpositional()) return cli::Names(opt).back();
    return opt.get_name(true) + (cli::Repeats(opt) ? "..." : "");
}

// One value line of _xrdb8_values for `opt` of the command `path`.
void Values(const std::string& path, const CLI::Option& opt, std::ostream& values) {
    const std::vector<std::string> choices = cli::Choices(opt);
    const std::string key = Quoted(path + "|" + Key(opt));
    if (!choices.empty())
        values << "    " << key << ") _xrdb8_words=" << List(choices) << " ;;\n";
    else if (cli::TakesPath(opt))
        values << "    " << key << ") _xrdb8_files=1 ;;\n";
}

void Walk(const CLI::App& app, const std::string& path, std::ostream& commands,
          std::ostream& values) {
    std::vector<std::string> names, options, valued, arguments;
    for (const CLI::App* sub : cli::Commands(app)) names.push_back(sub->get_name());
    for (const CLI::Option* opt : cli::Options(app)) {
        for (const std::string& name : cli::Names(*opt)) {
            options.push_back(name);
            if (cli::TakesValue(*opt)) valued.push_back(name);
        }
        if (cli::TakesValue(*opt)) Values(path, *opt, values);
    }
    for (const CLI::Option* opt : cli::Arguments(app)) {
        arguments.push_back(Key(*opt));
        Values(path, *opt, values);
    }
    commands << "    " << (path.empty() ? "''" : Quoted(path)) << ")\n"
             << "        _xrdb8_commands=" << List(names) << "\n"
             << "        _xrdb8_options=" << List(options) << "\n"
             << "        _xrdb8_valued=" << List(valued) << "\n"
             << "        _xrdb8_arguments=" << List(arguments) << " ;;\n";
    for (const CLI::App* sub : cli::Commands(app))
        Walk(*sub, path.empty() ? sub->get_name() : path + " " + sub->get_name(), commands, values);
}

const char* const kHead =
    R"(# bash completion for xrdb8, written by "xrdb8 completion bash" from the
# tool's own commands and options. Load it with
#     source <(xrdb8 completion bash)
# or save it as a file under /etc/bash_completion.d.

# _xrdb8_command PATH: what the command PATH ('' for the tool itself, or
# 'lists import') takes: its commands, its options, those of its options that
# take a value, and its arguments in order (one ending in "..." takes every
# word left).
_xrdb8_command() {
    _xrdb8_commands=() _xrdb8_options=() _xrdb8_valued=() _xrdb8_arguments=()
    case "$1" in
)";

const char* const kMiddle = R"(    esac
}

# _xrdb8_values PATH WHAT: the words the option or argument WHAT of the
# command PATH is limited to, or _xrdb8_files=1 when it names a file.
_xrdb8_values() {
    _xrdb8_words=() _xrdb8_files=0
    case "$1|$2" in
)";

const char* const kTail = R"(    esac
}

_xrdb8_in() {
    local word=$1
    shift
    local each
    for each in "$@"; do [[ $each == "$word" ]] && return 0; done
    return 1
}

_xrdb8() {
    local -a _xrdb8_commands _xrdb8_options _xrdb8_valued _xrdb8_arguments _xrdb8_words
    local _xrdb8_files=0 cur=${COMP_WORDS[COMP_CWORD]} path='' word value='' what=''
    local i argument=0
    _xrdb8_command ''
    # The words before the cursor: commands open their own table, an option
    # that takes a value swallows the next word, the rest are arguments.
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $value ]]; then
            value=''
        elif [[ $word == -* ]]; then
            _xrdb8_in "$word" "${_xrdb8_valued[@]}" && value=$word
        elif ((argument == 0)) && _xrdb8_in "$word" "${_xrdb8_commands[@]}"; then
            path=${path:+$path }$word
            _xrdb8_command "$path"
        else
            argument=$((argument + 1))
        fi
    done
    local -a words=()
    if [[ -n $value ]]; then
        what=$value
    elif [[ $cur == -* ]]; then
        words=("${_xrdb8_options[@]}")
    else
        ((argument == 0)) && words=("${_xrdb8_commands[@]}")
        local count=${#_xrdb8_arguments[@]}
        if ((argument < count)); then
            what=${_xrdb8_arguments[argument]}
        elif ((count > 0)) && [[ ${_xrdb8_arguments[count - 1]} == *... ]]; then
            what=${_xrdb8_arguments[count - 1]}
        fi
    fi
    if [[ -n $what ]]; then
        _xrdb8_values "$path" "$what"
        if ((_xrdb8_files)); then
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return 0
        fi
        words+=("${_xrdb8_words[@]}")
    fi
    mapfile -t COMPREPLY < <(compgen -W "${words[*]}" -- "$cur")
    return 0
}

complete -F _xrdb8 xrdb8
)";

}  // namespace

std::string BashCompletion(const CLI::App& app) {
    std::ostringstream commands, values;
    Walk(app, "", commands, values);
    return kHead + commands.str() + kMiddle + values.str() + kTail;
}

void AddCompletionCommand(CLI::App& app, int& status) {
    auto* sub = app.add_subcommand("completion",
                                   "Print a script that completes this tool's commands, options "
                                   "and file names as they are typed");
    auto shell = std::make_shared<std::string>();
    sub->add_option("shell", *shell, "the shell the script is for")
        ->required()
        ->check(CLI::IsMember({"bash"}));
    // The callback keeps the option's string alive.
    sub->callback([&app, &status, shell] {
        std::cout << BashCompletion(app);
        status = 0;
    });
}

}  // namespace xrdb8tool
