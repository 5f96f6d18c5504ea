// Running the xrdb8 tool as the operator does on a terminal (a
// pseudo-terminal whose screen the test reads); second_process.h runs it
// with its output on a file.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "second_process.h"
#include "temp_dir.h"

namespace xrtest {

struct ToolRun {
    int status = -1;  // the exit status; -1 when it did not exit
    std::string out;  // everything the screen got
};

namespace detail {

inline std::string ReadAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text.append(buffer, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // the end, or EIO once the terminal's last user closed it
        }
    }
    return text;
}

[[noreturn]] inline void Exec(const std::vector<std::string>& args,
                              const std::vector<std::string>& env) {
    for (const std::string& setting : env) {
        const size_t eq = setting.find('=');
        if (eq == std::string::npos)
            unsetenv(setting.c_str());
        else
            setenv(setting.substr(0, eq).c_str(), setting.c_str() + eq + 1, 1);
    }
    std::vector<char*> argv;
    std::string tool = XRDB8_TOOL_PATH;
    argv.push_back(tool.data());
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
}

inline int Wait(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace detail

// The tool on a terminal `columns` wide: stdout and stderr both go to its
// screen, byte for byte (no line-end translation), into `out`.
inline ToolRun RunOnTerminal(const std::vector<std::string>& args,
                             const std::vector<std::string>& env = {"TERM=xterm"},
                             unsigned short columns = 100) {
    ToolRun run;
    termios mode{};
    cfmakeraw(&mode);
    cfsetispeed(&mode, B38400);
    cfsetospeed(&mode, B38400);
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    int terminal = -1;
    const pid_t pid = forkpty(&terminal, nullptr, &mode, &size);
    if (pid < 0) return run;
    if (pid == 0) detail::Exec(args, env);
    run.out = detail::ReadAll(terminal);
    close(terminal);
    run.status = detail::Wait(pid);
    return run;
}

// The tool on a file, not a terminal, with a data folder of its own: its
// output, stdout and stderr together.
inline ToolResult RunTool(const std::vector<std::string>& args) {
    static TempDir folder;
    return Tool(folder.Str(), args);
}

// The commands and the options `xrdb8 [COMMAND] --help` lists.
struct Help {
    std::vector<std::string> commands;
    std::vector<std::string> options;
};

inline Help HelpOf(const std::vector<std::string>& command) {
    std::vector<std::string> args = command;
    args.push_back("--help");
    std::istringstream text(RunTool(args).output);
    Help help;
    std::string line, section;
    while (std::getline(text, line)) {
        if (!line.empty() && line[0] != ' ') {
            section = line;
            continue;
        }
        std::istringstream words(line);
        std::string first;
        words >> first;
        if (section.rfind("Subcommands:", 0) == 0 && !first.empty()) {
            help.commands.push_back(first);
        } else if (section.rfind("Options:", 0) == 0 && first.size() > 1 && first[0] == '-' &&
                   !std::isdigit(static_cast<unsigned char>(first[1]))) {
            // (a line of a description may begin with a value such as "-1")
            // "-h,--help" or "--only TEXT:{...}": each name of the option
            std::istringstream names(first);
            std::string name;
            while (std::getline(names, name, ','))
                if (name.rfind("-", 0) == 0) help.options.push_back(name);
        }
    }
    return help;
}

}  // namespace xrtest
