// Running the xrdb8 tool as the operator does on a terminal (a
// pseudo-terminal whose screen the test reads); second_process.h runs it
// with its output on a file.
#pragma once

#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
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

// The tool on a pseudo-terminal `columns` wide whose screen the test reads
// (stdout and stderr both go to it); `raw`: byte for byte, without line-end
// translation. `env`: "NAME=value" to set, "NAME" to remove.
class Terminal {
public:
    Terminal(const std::vector<std::string>& args, const std::vector<std::string>& env,
             unsigned short columns = 100, bool raw = false) {
        termios mode{};
        cfmakeraw(&mode);
        cfsetispeed(&mode, B38400);
        cfsetospeed(&mode, B38400);
        winsize size{};
        size.ws_row = 40;
        size.ws_col = columns;
        m_pid = forkpty(&m_master, nullptr, raw ? &mode : nullptr, &size);
        if (m_pid != 0) return;
        for (const std::string& setting : env) {
            const size_t eq = setting.find('=');
            if (eq == std::string::npos)
                unsetenv(setting.c_str());
            else
                setenv(setting.substr(0, eq).c_str(), setting.c_str() + eq + 1, 1);
        }
        std::vector<char*> argv = {const_cast<char*>(XRDB8_TOOL_PATH)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    Terminal(const Terminal&) = delete;
    Terminal& operator=(const Terminal&) = delete;
    ~Terminal() {
        if (m_master >= 0) close(m_master);
        if (m_pid > 0 && Wait() < -1) kill(m_pid, SIGKILL);
    }

    bool Started() const { return m_pid > 0; }
    void Type(const std::string& text) {
        ASSERT_EQ(write(m_master, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // Reads until `text` has appeared after what earlier calls consumed;
    // false when the tool stops writing first (20 seconds without output).
    bool Expect(const std::string& text) {
        for (;;) {
            const size_t at = m_seen.find(text, m_from);
            if (at != std::string::npos) {
                m_from = at + text.size();
                return true;
            }
            if (!Read(20000)) return false;
        }
    }
    // Everything the screen gets until the tool's end (or two minutes of
    // silence).
    const std::string& ReadToEnd() {
        while (Read(120000)) {
        }
        return m_seen;
    }
    const std::string& Seen() const { return m_seen; }
    void Hangup() {
        close(m_master);
        m_master = -1;
    }
    // The exit status, -1 for a signal, -2 when still running after a minute.
    int Wait() {
        for (int i = 0; i < 600; ++i) {
            int status = 0;
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            usleep(100000);
        }
        return -2;
    }

private:
    // False at the end (EIO once the tool closed the terminal) or after
    // `ms` milliseconds without output.
    bool Read(int ms) {
        for (;;) {
            pollfd p{m_master, POLLIN, 0};
            const int ready = poll(&p, 1, ms);
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) return false;
            char buffer[4096];
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            m_seen.append(buffer, static_cast<size_t>(n));
            return true;
        }
    }

    pid_t m_pid = -1;
    int m_master = -1;
    std::string m_seen;
    size_t m_from = 0;
};

// The tool on a terminal to its end, byte for byte.
inline ToolRun RunOnTerminal(const std::vector<std::string>& args,
                             const std::vector<std::string>& env = {"TERM=xterm"},
                             unsigned short columns = 100) {
    Terminal terminal(args, env, columns, true);
    ToolRun run;
    if (!terminal.Started()) return run;
    run.out = terminal.ReadToEnd();
    run.status = terminal.Wait();
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
