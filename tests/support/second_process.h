// A real second process on the same files: the operator's tool, as a back
// office would run it while tills keep their records open.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

extern char** environ;

namespace xrtest {

// Runs `xrdb8 --data <folder> <args...>` to its end; its exit status, or -1
// when it could not be started. Its output goes to /dev/null.
inline int RunTool(const std::string& folder, const std::vector<std::string>& args) {
    std::vector<std::string> all = {XRDB8_TOOL_PATH, "--data", folder};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// One statement through the tool.
inline int ToolSql(const std::string& folder, const std::string& sql) {
    return RunTool(folder, {"sql", sql});
}

}  // namespace xrtest
