// A process killed at a chosen moment: work run in a forked child whose
// SQLite file system counts the syncs (each commit makes at least one) and
// kills the child outright at the Nth, before it happens, as `kill -9` would
// stop a set-up halfway.
#pragma once

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <functional>

namespace xrtest {

class SyncCounter {
public:
    // Kills the process at sync number `killAt` (1-based); 0 never kills.
    explicit SyncCounter(long killAt) : m_killAt(killAt) {
        m_real = sqlite3_vfs_find(nullptr);
        m_vfs = *m_real;
        m_vfs.szOsFile = static_cast<int>(sizeof(File)) + m_real->szOsFile;
        m_vfs.zName = "xrtest_sync_counter";
        m_vfs.pAppData = this;
        m_vfs.pNext = nullptr;
        m_vfs.xOpen = &Open;
        m_vfs.xDelete = [](sqlite3_vfs* v, const char* name, int sync) {
            return Real(v)->xDelete(Real(v), name, sync);
        };
        m_vfs.xAccess = [](sqlite3_vfs* v, const char* name, int flags, int* out) {
            return Real(v)->xAccess(Real(v), name, flags, out);
        };
        m_vfs.xFullPathname = [](sqlite3_vfs* v, const char* name, int n, char* out) {
            return Real(v)->xFullPathname(Real(v), name, n, out);
        };
        m_vfs.xDlOpen = nullptr;
        m_vfs.xDlError = nullptr;
        m_vfs.xDlSym = nullptr;
        m_vfs.xDlClose = nullptr;
        m_vfs.iVersion = 2;
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~SyncCounter() {
        sqlite3_vfs_unregister(&m_vfs);
        sqlite3_vfs_register(m_real, 1);
    }
    SyncCounter(const SyncCounter&) = delete;
    SyncCounter& operator=(const SyncCounter&) = delete;

    long Syncs() const { return m_syncs; }

private:
    struct File {
        sqlite3_file base;
        SyncCounter* owner;
        sqlite3_file* real;
    };

    static sqlite3_vfs* Real(sqlite3_vfs* v) {
        return static_cast<SyncCounter*>(v->pAppData)->m_real;
    }
    static sqlite3_file* R(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

    static int Open(sqlite3_vfs* v, const char* name, sqlite3_file* f, int flags, int* outFlags) {
        auto* owner = static_cast<SyncCounter*>(v->pAppData);
        File* file = reinterpret_cast<File*>(f);
        std::memset(file, 0, sizeof(File));
        file->owner = owner;
        file->real = reinterpret_cast<sqlite3_file*>(file + 1);
        int rc = owner->m_real->xOpen(owner->m_real, name, file->real, flags, outFlags);
        file->base.pMethods = file->real->pMethods ? &kMethods : nullptr;
        return rc;
    }

    static int Sync(sqlite3_file* f, int flags) {
        SyncCounter* owner = reinterpret_cast<File*>(f)->owner;
        if (++owner->m_syncs == owner->m_killAt) kill(getpid(), SIGKILL);
        // A killed process loses nothing the system already holds: the data
        // need not reach the disk for the test, which keeps it quick.
        (void)flags;
        return SQLITE_OK;
    }

    static inline const sqlite3_io_methods kMethods = {
        2,
        [](sqlite3_file* f) { return R(f)->pMethods->xClose(R(f)); },
        [](sqlite3_file* f, void* out, int n, sqlite3_int64 at) {
            return R(f)->pMethods->xRead(R(f), out, n, at);
        },
        [](sqlite3_file* f, const void* data, int n, sqlite3_int64 at) {
            return R(f)->pMethods->xWrite(R(f), data, n, at);
        },
        [](sqlite3_file* f, sqlite3_int64 size) { return R(f)->pMethods->xTruncate(R(f), size); },
        &Sync,
        [](sqlite3_file* f, sqlite3_int64* size) { return R(f)->pMethods->xFileSize(R(f), size); },
        [](sqlite3_file* f, int lock) { return R(f)->pMethods->xLock(R(f), lock); },
        [](sqlite3_file* f, int lock) { return R(f)->pMethods->xUnlock(R(f), lock); },
        [](sqlite3_file* f, int* out) { return R(f)->pMethods->xCheckReservedLock(R(f), out); },
        [](sqlite3_file* f, int op, void* arg) {
            return R(f)->pMethods->xFileControl(R(f), op, arg);
        },
        [](sqlite3_file* f) { return R(f)->pMethods->xSectorSize(R(f)); },
        [](sqlite3_file* f) { return R(f)->pMethods->xDeviceCharacteristics(R(f)); },
        [](sqlite3_file* f, int page, int size, int extend, void volatile** out) {
            return R(f)->pMethods->xShmMap(R(f), page, size, extend, out);
        },
        [](sqlite3_file* f, int offset, int n, int flags) {
            return R(f)->pMethods->xShmLock(R(f), offset, n, flags);
        },
        [](sqlite3_file* f) { R(f)->pMethods->xShmBarrier(R(f)); },
        [](sqlite3_file* f, int deleteFlag) { return R(f)->pMethods->xShmUnmap(R(f), deleteFlag); },
        nullptr,
        nullptr,
    };

    sqlite3_vfs* m_real;
    sqlite3_vfs m_vfs;
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
