// A shim over SQLite's default file system, made the default while the object
// lives, so that the connections a test opens meanwhile go through it. Every
// call passes to the real file system; a test's shim replaces the write or
// the sync of a file to inject its fault.
#pragma once

#include <sqlite3.h>

#include <cstring>

namespace xrtest {

class VfsShim {
public:
    explicit VfsShim(const char* name) {
        m_real = sqlite3_vfs_find(nullptr);
        m_vfs = *m_real;
        m_vfs.szOsFile = static_cast<int>(sizeof(File)) + m_real->szOsFile;
        m_vfs.zName = name;
        m_vfs.pAppData = this;
        m_vfs.pNext = nullptr;
        m_vfs.xOpen = &Open;
        m_vfs.xDelete = [](sqlite3_vfs* v, const char* path, int sync) {
            return Real(v)->xDelete(Real(v), path, sync);
        };
        m_vfs.xAccess = [](sqlite3_vfs* v, const char* path, int flags, int* out) {
            return Real(v)->xAccess(Real(v), path, flags, out);
        };
        m_vfs.xFullPathname = [](sqlite3_vfs* v, const char* path, int n, char* out) {
            return Real(v)->xFullPathname(Real(v), path, n, out);
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
    virtual ~VfsShim() {
        sqlite3_vfs_unregister(&m_vfs);
        sqlite3_vfs_register(m_real, 1);
    }
    VfsShim(const VfsShim&) = delete;
    VfsShim& operator=(const VfsShim&) = delete;

protected:
    virtual int Write(sqlite3_file* real, const void* data, int n, sqlite3_int64 at) {
        return real->pMethods->xWrite(real, data, n, at);
    }
    virtual int Sync(sqlite3_file* real, int flags) { return real->pMethods->xSync(real, flags); }

private:
    struct File {
        sqlite3_file base;
        VfsShim* shim;
        sqlite3_file* real;  // follows this struct in the same block
    };

    static sqlite3_vfs* Real(sqlite3_vfs* v) { return static_cast<VfsShim*>(v->pAppData)->m_real; }
    static sqlite3_file* R(sqlite3_file* f) { return reinterpret_cast<File*>(f)->real; }
    static VfsShim* Shim(sqlite3_file* f) { return reinterpret_cast<File*>(f)->shim; }

    static int Open(sqlite3_vfs* v, const char* name, sqlite3_file* f, int flags, int* outFlags) {
        auto* shim = static_cast<VfsShim*>(v->pAppData);
        File* file = reinterpret_cast<File*>(f);
        std::memset(file, 0, sizeof(File));
        file->shim = shim;
        file->real = reinterpret_cast<sqlite3_file*>(file + 1);
        int rc = shim->m_real->xOpen(shim->m_real, name, file->real, flags, outFlags);
        file->base.pMethods = file->real->pMethods ? &kMethods : nullptr;
        return rc;
    }

    // In function bodies, where the class is complete, so that the calls
    // reach the test's overrides (a lambda in the table below would bind
    // them to this class's own).
    static int WriteThrough(sqlite3_file* f, const void* data, int n, sqlite3_int64 at) {
        return Shim(f)->Write(R(f), data, n, at);
    }
    static int SyncThrough(sqlite3_file* f, int flags) { return Shim(f)->Sync(R(f), flags); }

    static inline const sqlite3_io_methods kMethods = {
        2,
        [](sqlite3_file* f) { return R(f)->pMethods->xClose(R(f)); },
        [](sqlite3_file* f, void* out, int n, sqlite3_int64 at) {
            return R(f)->pMethods->xRead(R(f), out, n, at);
        },
        &WriteThrough,
        [](sqlite3_file* f, sqlite3_int64 size) { return R(f)->pMethods->xTruncate(R(f), size); },
        &SyncThrough,
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
};

}  // namespace xrtest
