// The recursive lock that guards the connection map. It tracks its owner and
// nesting depth so that an unlock from the wrong thread is logged and refused
// instead of corrupting the map.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace xr {

class CDBLock {
public:
    explicit CDBLock(int id);
    CDBLock(const CDBLock&) = delete;
    CDBLock& operator=(const CDBLock&) = delete;

    void Lock();
    // 1 on success; 0 (and a log line) when the calling thread does not hold it.
    int Unlock();

    static constexpr uint32_t kNoOwner = 0xFFFFFFFF;

private:
    std::recursive_mutex m_section;
    int m_id;
    std::atomic<int> m_count{0};
    std::atomic<uint32_t> m_owner{kNoOwner};
};

// Holds a CDBLock for one scope.
class CDBLockGuard {
public:
    explicit CDBLockGuard(CDBLock& lock) : m_lock(lock) { m_lock.Lock(); }
    ~CDBLockGuard() { m_lock.Unlock(); }
    CDBLockGuard(const CDBLockGuard&) = delete;
    CDBLockGuard& operator=(const CDBLockGuard&) = delete;

private:
    CDBLock& m_lock;
};

}  // namespace xr
