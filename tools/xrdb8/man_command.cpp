// xrdb8 man: the manual page in troff's man format, written from the same
// descriptions --help shows: the tool's options, then every command with its
// arguments and options. The build writes it to xrdb8.1 beside the tool.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_docs.h"
#include "cli_walk.h"
#include "frame/app.h"

namespace xrdb8tool {

namespace {

// Text as troff prints it: backslashes escaped, minus signs kept from
// turning into hyphens, and no line taken for a request.
std::string Roff(const std::string& text) {
    std::string out;
    bool lineStart = true;
    for (char c : text) {
        if (lineStart && (c == '.' || c == '\'')) out += "\\&";
        lineStart = c == '\n';
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

std::string Bold(const std::string& text) { return "\\fB" + Roff(text) + "\\fR"; }
std::string Italic(const std::string& text) { return "\\fI" + Roff(text) + "\\fR"; }

// "\fB--only\fR \fITEXT\fR" or "\fB-h\fR, \fB--help\fR".
std::string OptionUse(const CLI::Option& opt) {
    std::string text;
    for (const std::string& name : cli::Names(opt)) text += (text.empty() ? "" : ", ") + Bold(name);
    if (cli::TakesValue(opt)) text += " " + Italic(cli::ValueKind(opt));
    return text;
}

std::string ArgumentUse(const CLI::Option& opt) {
    std::string text = Italic(opt.get_name(true)) + (cli::Repeats(opt) ? " ..." : "");
    return opt.get_required() ? text : "[" + text + "]";
}

// A description, with the values a check limits it to.
std::string Described(const CLI::Option& opt) {
    std::string text = Roff(opt.get_description());
    const std::vector<std::string> choices = cli::Choices(opt);
    // Spelled out unless the description names them all already.
    bool named = true;
    for (const std::string& c : choices)
        named = named && opt.get_description().find(c) != std::string::npos;
    if (!choices.empty() && !named) {
        std::string list;
        for (size_t i = 0; i < choices.size(); ++i)
            list += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + Bold(choices[i]);
        text += (text.empty() ? "One of " : ". One of ") + list + ".";
    }
    return text;
}

void Item(const std::string& head, const std::string& body, std::ostream& out) {
    out << ".TP\n" << head << "\n" << body << "\n";
}

bool IsHelp(const CLI::Option& opt) {
    const auto& names = opt.get_lnames();
    return std::find(names.begin(), names.end(), "help") != names.end();
}

// One command: how it is called, what it does, its arguments and options;
// then the commands under it.
void Command(const CLI::App& app, const std::string& path, std::ostream& out) {
    std::string use = Bold("xrdb8") + " " + Bold(path);
    const auto options = cli::Options(app);
    const auto arguments = cli::Arguments(app);
    const auto commands = cli::Commands(app);
    for (const CLI::Option* opt : options)
        if (!IsHelp(*opt))
            use += opt->get_required() ? " " + OptionUse(*opt) : " [" + OptionUse(*opt) + "]";
    if (!commands.empty()) use += " " + Italic("command");
    for (const CLI::Option* opt : arguments) use += " " + ArgumentUse(*opt);
    out << ".SS " << Roff(path) << "\n" << use << "\n.PP\n" << Roff(app.get_description()) << "\n";
    if (!commands.empty()) {
        std::string list;
        for (const CLI::App* sub : commands)
            list += (list.empty() ? "" : ", ") + Bold(path + " " + sub->get_name());
        out << ".PP\nThe " << Italic("command") << " is one of " << list << ".\n";
    }
    if (!arguments.empty() || options.size() > 1) out << ".RS\n";
    for (const CLI::Option* opt : arguments)
        Item(Italic(opt->get_name(true)), Described(*opt), out);
    for (const CLI::Option* opt : options)
        if (!IsHelp(*opt)) Item(OptionUse(*opt), Described(*opt), out);
    if (!arguments.empty() || options.size() > 1) out << ".RE\n";
    for (const CLI::App* sub : commands) Command(*sub, path + " " + sub->get_name(), out);
}

}  // namespace

std::string ManPage(const CLI::App& app) {
    std::ostringstream out;
    std::string summary = app.get_description();
    if (summary.rfind("xrdb8: ", 0) == 0) summary = summary.substr(7);
    out << ".TH XRDB8 1 \"\" \"xrdb8 " << Roff(xr::TheApp().m_vers.m_version)
        << "\" \"User Commands\"\n"
        // Option names and file names read best unbroken and ragged right.
        << ".nh\n.ad l\n"
        << ".SH NAME\n"
        << "xrdb8 \\- " << Roff(summary) << "\n"
        << ".SH SYNOPSIS\n"
        << Bold("xrdb8") << " [" << Italic("options") << "] " << Italic("command") << " ["
        << Italic("arguments") << "]\n"
        << ".SH DESCRIPTION\n"
        << Bold("xrdb8") << " is the operators' tool over the point-of-sale databases: it "
        << "creates and upgrades a site's databases, loads and writes their data, and runs "
        << "statements and scripts. It works on the embedded engine's data folder ("
        << Bold("--data") << ") or on a shared PostgreSQL server (" << Bold("--connect") << ").\n"
        << ".PP\n"
        << "Each command prints a summary of what it did on standard output. While a long "
        << "command runs (" << Bold("setup") << ", " << Bold("import-csv") << ", "
        << Bold("import-xml") << ", " << Bold("exec") << ", " << Bold("script") << ", "
        << Bold("lists export-all")
        << "), one line on standard error shows how far it has got, how fast it goes and how "
        << "long it has left; the line is cleared when the command ends, and is not written "
        << "at all when standard error is not a terminal.\n"
        << ".SH OPTIONS\n";
    for (const CLI::Option* opt : cli::Options(app)) Item(OptionUse(*opt), Described(*opt), out);
    out << ".SH COMMANDS\n";
    for (const CLI::App* sub : cli::Commands(app)) Command(*sub, sub->get_name(), out);
    out << ".SH ENVIRONMENT\n";
    Item(Bold("XRDB8_DATA"),
         "The data folder of the embedded engine when " + Bold("--data") +
             " is not given; without it, " + Bold("./data") + ".",
         out);
    Item(Bold("TERM"),
         "The progress line is drawn only on a terminal whose type is set and is not " +
             Bold("dumb") + ".",
         out);
    out << ".SH EXIT STATUS\n";
    Item(Bold("0"), "The command did all it was asked to.", out);
    Item(Bold("1"),
         "The command failed, or some of its lines or statements did; a failure that stops "
         "it prints one line beginning " +
             Bold("xrdb8: error:") +
             " on standard error, and its summary lists the lines "
             "or statements that failed.",
         out);
    return out.str();
}

void AddManCommand(CLI::App& app, int& status) {
    auto* sub = app.add_subcommand("man", "Print this tool's manual page (man format)");
    sub->callback([&app, &status] {
        std::cout << ManPage(app);
        status = 0;
    });
}

}  // namespace xrdb8tool
