// A disk that runs out of room when a test says so: a shim over SQLite's
// default file system, made the default while the object lives, so that the
// connections a test opens meanwhile write through it. Once told, it lets a
// number of bytes through and then refuses one write with SQLITE_FULL, as a
// nearly full disk does, and has room again afterwards (another program let
// go of a file).
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <cstring>

namespace xrtest {

class FullDisk {
public:
    FullDisk() {
        m_real = sqlite3_vfs_find(nullptr);
        m_vfs = *m_real;
        m_vfs.szOsFile = static_cast<int>(sizeof(File)) + m_real->szOsFile;
        m_vfs.zName = "xrtest_full_disk";
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
        m_vfs.xRandomness = [](sqlite3_vfs* v, int n, char* out) {
            return Real(v)->xRandomness(Real(v), n, out);
        };
        m_vfs.xSleep = [](sqlite3_vfs* v, int us) { return Real(v)->xSleep(Real(v), us); };
        m_vfs.xCurrentTime = [](sqlite3_vfs* v, double* out) {
            return Real(v)->xCurrentTime(Real(v), out);
        };
        m_vfs.xGetLastError = [](sqlite3_vfs* v, int n, char* out) {
            return Real(v)->xGetLastError(Real(v), n, out);
        };
        m_vfs.xCurrentTimeInt64 = [](sqlite3_vfs* v, sqlite3_int64* out) {
            return Real(v)->xCurrentTimeInt64(Real(v), out);
        };
        m_vfs.iVersion = 2;
        sqlite3_vfs_register(&m_vfs, 1);
    }
    // The connections opened through it must be closed first.
    ~FullDisk() {
        sqlite3_vfs_unregister(&m_vfs);
        sqlite3_vfs_register(m_real, 1);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    // After `bytes` more bytes, one write fails.
    void FailOneWriteAfter(int64_t bytes) {
        m_left = bytes;
        m_armed = true;
    }
    int Refused() const { return m_refused; }

private:
    struct File {
        sqlite3_file base;
        FullDisk* disk;
        sqlite3_file* real;  // follows this struct in the same block
    };

    static sqlite3_vfs* Real(sqlite3_vfs* v) { return static_cast<FullDisk*>(v->pAppData)->m_real; }
    static sqlite3_file* R(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }

    static int Open(sqlite3_vfs* v, const char* name, sqlite3_file* f, int flags, int* outFlags) {
        auto* disk = static_cast<FullDisk*>(v->pAppData);
        File* file = reinterpret_cast<File*>(f);
        std::memset(file, 0, sizeof(File));
        file->disk = disk;
        file->real = reinterpret_cast<sqlite3_file*>(file + 1);
        int rc = disk->m_real->xOpen(disk->m_real, name, file->real, flags, outFlags);
        file->base.pMethods = file->real->pMethods ? &kMethods : nullptr;
        return rc;
    }

    static int Write(sqlite3_file* f, const void* data, int n, sqlite3_int64 at) {
        FullDisk* disk = reinterpret_cast<File*>(f)->disk;
        if (disk->m_armed) {
            if (disk->m_left < n) {
                disk->m_armed = false;
                ++disk->m_refused;
                return SQLITE_FULL;
            }
            disk->m_left -= n;
        }
        return R(f)->pMethods->xWrite(R(f), data, n, at);
    }

    static inline const sqlite3_io_methods kMethods = {
        2,
        [](sqlite3_file* f) { return R(f)->pMethods->xClose(R(f)); },
        [](sqlite3_file* f, void* out, int n, sqlite3_int64 at) {
            return R(f)->pMethods->xRead(R(f), out, n, at);
        },
        &Write,
        [](sqlite3_file* f, sqlite3_int64 size) { return R(f)->pMethods->xTruncate(R(f), size); },
        [](sqlite3_file* f, int flags) { return R(f)->pMethods->xSync(R(f), flags); },
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
    bool m_armed = false;
    int64_t m_left = 0;
    int m_refused = 0;
};

}  // namespace xrtest
