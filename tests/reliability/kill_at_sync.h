// A process killed at a chosen moment: work run in a forked child whose
// SQLite file system counts the syncs (each commit makes at least one) and
// kills the child outright at the Nth, before it happens, as `kill -9` would
// stop a set-up halfway.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "vfs_shim.h"

namespace xrtest {

class SyncCounter : public VfsShim {
public:
    // Kills the process at sync number `killAt` (1-based); 0 never kills.
    explicit SyncCounter(long killAt) : VfsShim("xrtest_sync_counter"), m_killAt(killAt) {}

    long Syncs() const { return m_syncs; }

protected:
    int Sync(sqlite3_file*, int) override {
        if (++m_syncs == m_killAt) kill(getpid(), SIGKILL);
        // A killed process loses nothing the system already holds: the data
        // need not reach the disk for the test, which keeps it quick.
        return SQLITE_OK;
    }

private:
    long m_killAt;
    long m_syncs = 0;
};

struct ChildRun {
    bool killed = false;  // it died at the chosen sync
    long syncs = 0;       // syncs it made, when it ran to its end
};

// Runs `work` in a child process killed at sync `killAt` (0: never).
inline ChildRun RunKilledAt(long killAt, const std::function<void()>& work) {
    int fds[2];
    if (pipe(fds) != 0) return {};
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        long syncs = 0;
        {
            SyncCounter counter(killAt);
            work();
            syncs = counter.Syncs();
        }
        if (write(fds[1], &syncs, sizeof syncs) != sizeof syncs) _exit(2);
        _exit(0);
    }
    close(fds[1]);
    ChildRun run;
    int status = 0;
    long syncs = 0;
    if (read(fds[0], &syncs, sizeof syncs) == sizeof syncs) run.syncs = syncs;
    close(fds[0]);
    waitpid(pid, &status, 0);
    run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    return run;
}

}  // namespace xrtest
