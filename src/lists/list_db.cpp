// The list converter's state and small operations, and the flat exports
// through which a till program drives the four converter slots.
#include <cstring>
#include <memory>

#include "frame/log.h"
#include "frame/shield.h"
#include "platform/text.h"
#include "xrdb8/lists.h"

CListDB::CListDB()
    : m_sections{{"[FLOFF]", 1}, {"[FTRADE]", 5}, {"[FPAY]", 1}, {"[FBASE]", 5}, {"[FLIST]", 2}} {
    std::memset(&m_hdr, 0, sizeof m_hdr);
}

CListDB::~CListDB() { CloseFile(); }

void CListDB::CloseFile() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
}

int CListDB::DeleteList(int list) {
    CListHdr hdr;
    if (!hdr.Exec(xr::Format("DELETE FROM ListHdrs WHERE ListNo=%d", list))) return 1;
    if (!hdr.Exec(xr::Format("DELETE FROM ListItems WHERE ListNo=%d", list))) return 3;
    return 0;
}

int CListDB::ListDirtyGet(int list) {
    CListHdr hdr;
    if (!hdr.MoveFirst(xr::Format("SELECT * FROM ListHdrs WHERE ListNo=%d", list).c_str()))
        return 0;
    return hdr.DirtyGet();
}

void CListDB::ListDirtySet(int list, int value) {
    CListHdr hdr;
    if (!hdr.MoveFirst(xr::Format("SELECT * FROM ListHdrs WHERE ListNo=%d", list).c_str())) return;
    hdr.DirtySet(value);
    hdr.Update(1);
}

// ---- the flat exports ----------------------------------------------------------------

namespace {

// The converters of the four slots; process-wide and unguarded like the other
// slots of the flat interface.
std::unique_ptr<CListDB> g_slots[4];

// The slot's converter, made when the slot is empty; null for a slot outside
// 0 to 3.
CListDB* Slot(int slot) {
    if (slot < 0 || slot > 3) {
        xr::Log("List converter slot %d does not exist (0 to 3)", slot);
        return nullptr;
    }
    if (!g_slots[slot]) g_slots[slot] = std::make_unique<CListDB>();
    return g_slots[slot].get();
}

// An export's failure is logged under its name; nothing escapes to the till
// program.
xr::Logged LoggedAs(const char* name) { return {"%s: %s", "%s failed", name}; }

}  // namespace

int ListClose(int slot) {
    if (slot < 0 || slot > 3) return 0;
    g_slots[slot].reset();
    return 0;
}

void ListDBClassic(int slot, int classic) {
    xr::Shielded(LoggedAs("ListDBClassic"), [&] {
        if (CListDB* db = Slot(slot)) db->SetClassic(classic);
    });
}

void ListDBSupp(int slot, const char* line) {
    xr::Shielded(LoggedAs("ListDBSupp"), [&] {
        if (CListDB* db = Slot(slot)) db->SuppLineSet(std::string(xr::SafeText(line)));
    });
}

int ListToDB(int slot, const char* folder, int list) {
    return xr::Shielded(-1, LoggedAs("ListToDB"), [&] {
        CListDB* db = Slot(slot);
        return db ? db->ListToDB(folder, list) : kListBadSlot;
    });
}

int ListFromDB(int slot, const char* folder, int list) {
    return xr::Shielded(-1, LoggedAs("ListFromDB"), [&] {
        CListDB* db = Slot(slot);
        return db ? db->ListFromDB(folder, list) : kListBadSlot;
    });
}

int ListsFromDB(int slot, const char* base) {
    return xr::Shielded(0, LoggedAs("ListsFromDB"), [&] {
        CListDB* db = Slot(slot);
        return db ? db->ListsFromDB(base) : kListBadSlot;
    });
}

int ListDirtyGet(int slot, int list) {
    return xr::Shielded(0, LoggedAs("ListDirtyGet"), [&] {
        CListDB* db = Slot(slot);
        return db ? db->ListDirtyGet(list) : 0;
    });
}

void ListDirtySet(int slot, int list, int value) {
    xr::Shielded(LoggedAs("ListDirtySet"), [&] {
        if (CListDB* db = Slot(slot)) db->ListDirtySet(list, value);
    });
}
