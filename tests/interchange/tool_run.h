// Running the xrdb8 tool as the operator does: with its output going to a
// pipe, or to a terminal (a pseudo-terminal whose screen the test reads).
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

namespace xrtest {

struct ToolRun {
    int status = -1;  // the exit status; -1 when it did not exit
    std::string out;  // stdout (on a terminal: everything the screen got)
    std::string err;  // stderr, when it went to a pipe
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

// The tool with stdout and stderr on pipes of their own. `env`: "NAME=value"
// to set, "NAME" to remove.
inline ToolRun RunTool(const std::vector<std::string>& args,
                       const std::vector<std::string>& env = {}) {
    ToolRun run;
    int out[2], err[2];
    if (pipe(out) != 0) return run;
    if (pipe(err) != 0) {
        close(out[0]);
        close(out[1]);
        return run;
    }
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        close(err[0]);
        close(err[1]);
        detail::Exec(args, env);
    }
    close(out[1]);
    close(err[1]);
    // The tool's error output is a few lines: it fits the pipe while stdout
    // is read to its end.
    run.out = detail::ReadAll(out[0]);
    run.err = detail::ReadAll(err[0]);
    close(out[0]);
    close(err[0]);
    if (pid > 0) run.status = detail::Wait(pid);
    return run;
}

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

}  // namespace xrtest
