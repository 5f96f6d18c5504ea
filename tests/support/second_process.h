// The operator's tool as a real second process on the same files, as a back
// office runs it while tills keep their records open: run to its end with its
// output kept for the test, or started now and waited for later.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

#include "text_has.h"

extern char** environ;

namespace xrtest {

struct ToolResult {
    int status = -1;     // exit status; -1 when it did not exit by itself
    std::string output;  // stdout and stderr together
};

inline std::string ShellWord(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The shell command `command` run to its end: what it wrote to stdout, and
// its exit status (-1 when it did not exit by itself or could not start).
inline ToolResult ShellRun(const std::string& command) {
    ToolResult result;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// Runs `xrdb8 --data <folder> <args...>` to its end (`place` as StartTool's).
inline ToolResult Tool(const std::string& folder, const std::vector<std::string>& args,
                       const char* place = "--data") {
    std::string command = ShellWord(XRDB8_TOOL_PATH) + " " + place + " " + ShellWord(folder);
    for (const std::string& a : args) command += " " + ShellWord(a);
    return ShellRun(command + " 2>&1 </dev/null");
}
// Starts the program `argv[0]` with its output (stdout and stderr) going to
// the file `output`, in this process's environment; its process id, or -1.
inline pid_t StartProcess(std::vector<std::string> argv, const std::string& output) {
    std::vector<char*> args;
    for (std::string& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// Starts `xrdb8 --data <folder> <args...>` with its output going to the file
// `output`; its process id, or -1. `place` "--connect" names a shared
// server's connection string instead of a folder.
inline pid_t StartTool(const std::string& folder, const std::vector<std::string>& args,
                       const std::string& output, const char* place = "--data") {
    std::vector<std::string> all = {XRDB8_TOOL_PATH, place, folder};
    all.insert(all.end(), args.begin(), args.end());
    return StartProcess(all, output);
}

// Waits for a started tool: its exit status and output.
inline ToolResult WaitTool(pid_t pid, const std::string& output) {
    ToolResult result;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (FILE* f = fopen(output.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, f)) > 0) result.output.append(buffer, n);
        fclose(f);
    }
    return result;
}

// The summary lines of `xrdb8 setup` that count statements failed for
// another reason than "already there", when any is not 0.
inline std::string SetupFailures(const std::string& output) {
    std::string found;
    size_t at = 0;
    while ((at = output.find("failed for another reason: ", at)) != std::string::npos) {
        at += 27;
        if (output[at] != '0') found += output.substr(at, output.find('\n', at) - at) + "; ";
    }
    return found;
}

// One statement through the tool; its exit status (`place` as StartTool's).
inline int ToolSql(const std::string& folder, const std::string& sql,
                   const char* place = "--data") {
    return Tool(folder, {"sql", sql}, place).status;
}

}  // namespace xrtest
