// The shape every flat family shares: four process-wide slots of record
// objects, and the operations (Close, Count, Cmd, Equ, Add, First, Last, Next,
// Prev, DeleteAll) written once over a family description.
//
// A family description is a small struct:
//
//   struct DeptFamily {
//       using Object = CDept;                 // the record class in the slots
//       using Def = dept_def;                 // the structure copied in and out
//       static int Equ(Object& o, const Def& d) { return o.Equ(d.DptNo); }
//       static int Add(Object& o, Def& d) { return o.AddUpdate(d); }
//   };
//
// and may add, where the family differs:
//   static std::string FirstQuery(const Def& d);  // First opens this when not empty
//   static void CopyOut(const Object& o, Def* d);  // instead of the block copy
//
// Every export catches everything: a till program must never see an
// exception, only the function's failure code.
#pragma once

#include <array>
#include <cstring>
#include <string>
#include <type_traits>

#include "frame/shield.h"
#include "xrdb8/flat.h"

namespace xr::flat {

constexpr int kSlotCount = 4;

// The slots of one family. Process-wide and unguarded: a till keeps each slot
// to one thread, and different slots are different array elements. The
// objects are never freed at exit: their rows belong to connections that the
// library does not close behind the caller's back either.
template <typename T>
class Slots {
public:
    static bool InRange(int slot) { return slot >= 0 && slot < kSlotCount; }

    // The object in `slot`, created when the slot is empty; null for a slot
    // outside 0 to 3.
    T* Get(int slot) {
        if (!InRange(slot)) return nullptr;
        if (!m_objects[slot]) m_objects[slot] = new T();
        return m_objects[slot];
    }
    // The object in `slot` without creating one.
    T* Existing(int slot) const { return InRange(slot) ? m_objects[slot] : nullptr; }
    void Close(int slot) {
        if (!InRange(slot)) return;
        delete m_objects[slot];
        m_objects[slot] = nullptr;
    }

private:
    std::array<T*, kSlotCount> m_objects{};
};

template <typename F>
inline Slots<typename F::Object> g_slots{};

// A fixed char field of a record structure as text: up to its first NUL, and
// never past its end (a caller's field need not be terminated).
template <size_t N>
std::string FieldText(const char (&field)[N]) {
    return std::string(field, strnlen(field, N));
}

template <typename F>
void CopyOut(const typename F::Object& object, typename F::Def* def) {
    if constexpr (requires { F::CopyOut(object, def); }) {
        F::CopyOut(object, def);
    } else {
        static_assert(std::is_trivially_copyable_v<typename F::Def>);
        std::memcpy(def, &object.m_def, sizeof(typename F::Def));
    }
}

// Copies one field of `from` into `to`: the field-by-field copies use it.
#define XR_FLAT_COPY_FIELD(to, from, field) \
    std::memcpy(&(to).field, &(from).field, sizeof((to).field))

// ---- the common shape --------------------------------------------------------

template <typename F>
int Close(int slot) {
    return Shielded(FLAT_OK, Quietly{}, [&]() -> int {
        g_slots<F>.Close(slot);
        return FLAT_OK;
    });
}

template <typename F>
int Count(int slot) {
    return Shielded(-1, Quietly{}, [&]() -> int {
        auto* object = g_slots<F>.Get(slot);
        return object ? static_cast<int>(object->Count()) : -1;
    });
}

template <typename F>
int Cmd(int slot, const char* sql) {
    return Shielded(FLAT_NOT_OPENED, Quietly{}, [&]() -> int {
        auto* object = g_slots<F>.Get(slot);
        if (!object || !sql) return FLAT_NOT_OPENED;
        return object->OpenRS(sql) ? FLAT_OK : FLAT_NOT_OPENED;
    });
}

template <typename F>
int Equ(int slot, typename F::Def* def) {
    return Shielded(FLAT_NO_KEY, Quietly{}, [&]() -> int {
        auto* object = g_slots<F>.Get(slot);
        if (!object || !def) return FLAT_NO_KEY;
        if (!F::Equ(*object, *def)) return FLAT_NO_KEY;
        CopyOut<F>(*object, def);
        return FLAT_OK;
    });
}

template <typename F>
int Add(int slot, typename F::Def* def) {
    return Shielded(FLAT_NOT_STORED, Quietly{}, [&]() -> int {
        auto* object = g_slots<F>.Get(slot);
        if (!object || !def) return FLAT_NOT_STORED;
        return F::Add(*object, *def) ? FLAT_OK : FLAT_NOT_STORED;
    });
}

// Positions the slot's object with `move` and copies the row out; `failure`
// when the slot, the structure or the move fails. `create` is false for the
// moves that continue a walk an earlier call started.
template <typename F, typename Move>
int Position(int slot, typename F::Def* def, int failure, bool create, Move&& move) {
    return Shielded(failure, Quietly{}, [&]() -> int {
        auto* object = create ? g_slots<F>.Get(slot) : g_slots<F>.Existing(slot);
        if (!object || !def) return failure;
        if (!move(*object)) return failure;
        CopyOut<F>(*object, def);
        return FLAT_OK;
    });
}

// MoveFirst over the whole table in key order, or over the family's own query
// when it has one for this structure (a till's printers, a plan's entries).
template <typename F>
int First(int slot, typename F::Def* def) {
    return Position<F>(slot, def, FLAT_NO_FIRST, true, [&](typename F::Object& object) {
        if constexpr (requires { F::FirstQuery(*def); }) {
            const std::string sql = F::FirstQuery(*def);
            if (!sql.empty()) return object.MoveFirst(sql.c_str());
        }
        return object.MoveFirst();
    });
}

template <typename F>
int Last(int slot, typename F::Def* def) {
    return Position<F>(slot, def, FLAT_NO_LAST, true,
                       [](auto& object) { return object.MoveLast(); });
}

template <typename F>
int Next(int slot, typename F::Def* def) {
    return Position<F>(slot, def, FLAT_NO_NEXT, false,
                       [](auto& object) { return object.MoveNext(); });
}

template <typename F>
int Prev(int slot, typename F::Def* def) {
    return Position<F>(slot, def, FLAT_NO_PREV, false,
                       [](auto& object) { return object.MovePrevious(); });
}

// The first row of the statement `makeSql()` gives (OpenGet), copied out;
// `failure` when there is none. The statement is built inside the guard.
template <typename F, typename MakeSql>
int Get(int slot, typename F::Def* def, MakeSql&& makeSql, int failure) {
    return Position<F>(slot, def, failure, true,
                       [&](auto& object) { return object.OpenGet(makeSql().c_str()); });
}

// Runs the statement `makeSql()` gives through slot 0's object, created when
// needed: the delete-by-key functions.
template <typename F, typename MakeSql>
int ExecSlot0(MakeSql&& makeSql) {
    return Shielded(FLAT_NOT_DELETED, Quietly{}, [&]() -> int {
        auto* object = g_slots<F>.Get(0);
        return object && object->Exec(makeSql()) ? FLAT_OK : FLAT_NOT_DELETED;
    });
}

template <typename F>
int DeleteAll() {
    return Shielded(FLAT_NOT_DELETED, Quietly{}, [&]() -> int {
        auto* object = g_slots<F>.Get(0);
        return object && object->DeleteAll() ? FLAT_OK : FLAT_NOT_DELETED;
    });
}

// Copies `text` into a caller's buffer of `size` bytes: at most size - 1
// bytes and a NUL (MacEqu, PymTextGet).
inline void CopyText(const std::string& text, char* buffer, unsigned size) {
    const size_t n = text.size() < size ? text.size() : size - 1;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
}

}  // namespace xr::flat

// The six functions most families have, each forwarding to the shape above.
#define XR_FLAT_BASIC_FAMILY(Prefix, Family)                                             \
    XRDB8_EXPORT int Prefix##Close(int slot) { return ::xr::flat::Close<Family>(slot); } \
    XRDB8_EXPORT int Prefix##Add(int slot, Family::Def* def) {                           \
        return ::xr::flat::Add<Family>(slot, def);                                       \
    }                                                                                    \
    XRDB8_EXPORT int Prefix##Equ(int slot, Family::Def* def) {                           \
        return ::xr::flat::Equ<Family>(slot, def);                                       \
    }                                                                                    \
    XRDB8_EXPORT int Prefix##First(int slot, Family::Def* def) {                         \
        return ::xr::flat::First<Family>(slot, def);                                     \
    }                                                                                    \
    XRDB8_EXPORT int Prefix##Next(int slot, Family::Def* def) {                          \
        return ::xr::flat::Next<Family>(slot, def);                                      \
    }                                                                                    \
    XRDB8_EXPORT int Prefix##DeleteAll() { return ::xr::flat::DeleteAll<Family>(); }
