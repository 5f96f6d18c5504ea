#include "frame/lock.h"

#include "frame/log.h"

namespace xr {

CDBLock::CDBLock(int id) : m_id(id) {}

void CDBLock::Lock() {
    m_section.lock();
    m_owner.store(ThreadId());
    m_count.fetch_add(1);
}

int CDBLock::Unlock() {
    const uint32_t me = ThreadId();
    if (m_owner.load() != me) {
        // Leaving a section this thread does not hold would break the map for
        // every thread, so the unlock is refused.
        LogFormatted("Illegal unlock 1 %d %08x %08x %d", m_id, me, m_owner.load(), m_count.load());
        return 0;
    }
    int count = m_count.fetch_sub(1) - 1;
    if (count < 1) {
        m_owner.store(kNoOwner);
        m_count.store(0);
        if (count < 0) {
            LogFormatted("Illegal unlock 2 %d %08x %08x %d", m_id, me, me, count);
            return 1;  // the section is not held: leaving it again would corrupt it
        }
    }
    m_section.unlock();
    return 1;
}

}  // namespace xr
