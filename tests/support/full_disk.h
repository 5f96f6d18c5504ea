// A disk that runs out of room when a test says so. Once told, it lets a
// number of bytes through and then refuses one write with SQLITE_FULL, as a
// nearly full disk does, and has room again afterwards (another program let
// go of a file).
#pragma once

#include <cstdint>

#include "vfs_shim.h"

namespace xrtest {

class FullDisk : public VfsShim {
public:
    FullDisk() : VfsShim("xrtest_full_disk") {}

    // After `bytes` more bytes, one write fails.
    void FailOneWriteAfter(int64_t bytes) {
        m_left = bytes;
        m_armed = true;
    }
    int Refused() const { return m_refused; }

protected:
    int Write(sqlite3_file* real, const void* data, int n, sqlite3_int64 at) override {
        if (m_armed) {
            if (m_left < n) {
                m_armed = false;
                ++m_refused;
                return SQLITE_FULL;
            }
            m_left -= n;
        }
        return VfsShim::Write(real, data, n, at);
    }

private:
    bool m_armed = false;
    int64_t m_left = 0;
    int m_refused = 0;
};

}  // namespace xrtest
