// Column maps: how a record class's fields and its table's columns meet.
//
// A record class describes its mapping once, as a constexpr array of Column
// entries in the order the columns are read and written:
//
//   constexpr Column kDeptMap[] = {
//       Col("DptNo", XR_FIELD(dept_def, DptNo), Kind::kU16),
//       Col("Name", XR_FIELD(dept_def, Name), Kind::kText),
//       Bits("QtyDP", XR_FIELD(dept_def, Flags), 0x0001),
//   };
//   static_assert(FitsIn(kDeptMap, sizeof(dept_def)));
//
//   int CDept::StructureTo() {
//       ReadRow(*this, kDeptMap, m_columns, {&m_def});
//       return 1;
//   }
//   int CDept::StructureFrom() {
//       WriteRow(*this, kDeptMap, m_columns, {&m_def});
//       return 1;
//   }
//
// Each entry names a column, a place (a block and an offset in it), a
// conversion kind and, for some kinds, a size or bit mask. Block 0 is
// usually the record structure; members outside it (price bands, extended
// messages, strings) are further blocks, passed in the same order to ReadRow
// and WriteRow. XR_FIELD takes the offset and width of a structure field and
// Col checks at compile time that the width suits the kind; FitsIn checks
// that every entry of block 0 lies inside the structure.
//
// Reading follows the typed reads of CXRTable exactly (NULL gives 0 or "",
// money rounds half away from zero, text is cut and blank-trimmed, ...), and
// so do their failures: a column that is missing is reported with code 9 and
// the walk goes on; a value that cannot be converted ends the positioning
// operation that called StructureTo. Writing uses the typed writes (code 10
// on failure, the walk goes on).
//
// Speed: a till walks whole tables through these maps, so a row is read
// without looking any name up: each entry's column position is kept in the
// class's ColumnIndex, found once after an open and only checked (by name)
// on later rows. Numbers are read without allocating; only text longer than
// a short string costs an allocation inside the recordset.
//
// What a map cannot say is written by hand: a Kind::kCustom entry calls the
// class's own code at that point of the walk (with the entry's cached
// position, so the code can read through ReadEntry too). Keep such entries
// few and say in a comment why each one exists. A class whose reading and
// writing visit the columns in different orders keeps two maps, and one
// ColumnIndex for each (see CLoyalty).
//
// Names are string literals: the typed operations the walk falls back on
// take them as NUL-terminated text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "xrdb8/records_common.h"
#include "xrdb8/xrtable.h"

namespace xr::records {

enum class Kind : uint8_t {
    kU16,       // unsigned 16-bit: read as a 32-bit int's low bits; written as int
    kI8,        // signed 8-bit: read as a 32-bit int's low byte; written as int
    kI16,       // signed 16-bit: read and written as short
    kI32,       // signed 32-bit: read and written as int
    kU64,       // item number: read as a 64-bit decimal (NULL leaves the field); written as UI8
    kText,      // char[size]: cut to size - 1 characters, trailing blanks dropped; written as text
    kString,    // std::string (block points at it): read untrimmed; written as text
    kBits,      // the bits `mask` of a flag word of `size` bytes take the value's lowest bits
    kBitSet,    // the bits `mask` are set when the value is not 0, else cleared
    kMoney,     // int32 hundredths: GetFieldAmt (an unreadable column gives 0) / SetFieldAmt
    kLetter,    // int16 letter index: first character minus 'A' ("" gives -65) / one letter
    kChar,      // one character: first character (NUL when empty) / one-character text
    kDouble,    // double: GetField(double&) / SetField(double)
    kFloatDec,  // float: read as double (an unreadable column gives 0) / SetFieldDec
    kDate8,     // int32 yyyymmdd held as text: atol of the first 9 characters / "%08d"
    kCustom,    // the class's own code; `offset` is the class's number for the entry
};

// Entry flags.
enum : uint8_t {
    kReadOnly = 0x01,   // read, never written
    kVColumn = 0x02,    // a till-side "V$" column: written also by a V$-only write
    kZeroFirst = 0x04,  // an unreadable column gives 0 (kMoney and kFloatDec always do)
    kAsShort = 0x08,    // kU16 written as short: values above 32767 are stored negative
};

struct Column {
    std::string_view name;  // a string literal: the typed operations take it as char*
    uint32_t offset;
    Kind kind;
    uint8_t block;
    uint8_t flags;
    uint16_t size;  // kText: the buffer's bytes; kBits, kBitSet: the word's bytes
    uint32_t mask;  // kBits, kBitSet: the word's bits the column fills
};

// A place: block, offset in it and width in bytes.
struct FieldRef {
    uint32_t offset;
    uint32_t width;
    uint8_t block = 0;
};

// The place of a structure field (block 0); `member` may index an array,
// e.g. XR_FIELD(cfgtill_def, RMess[2]).
#define XR_FIELD(Struct, member) \
    ::xr::records::FieldRef { offsetof(Struct, member), sizeof(Struct::member), 0 }

// The place of element `index` of an array of T in block `block`.
template <typename T>
constexpr FieldRef Element(uint8_t block, uint32_t index) {
    return FieldRef{static_cast<uint32_t>(index * sizeof(T)), sizeof(T), block};
}

// A whole object of type T that is block `block`.
template <typename T>
constexpr FieldRef Whole(uint8_t block) {
    return FieldRef{0, sizeof(T), block};
}

namespace detail {
// Width a kind needs, 0 when any width will do.
constexpr uint32_t WidthOf(Kind kind) {
    switch (kind) {
        case Kind::kU16:
        case Kind::kI16:
        case Kind::kLetter:
            return 2;
        case Kind::kI8:
        case Kind::kChar:
            return 1;
        case Kind::kI32:
        case Kind::kMoney:
        case Kind::kDate8:
        case Kind::kFloatDec:
            return 4;
        case Kind::kU64:
        case Kind::kDouble:
            return 8;
        default:
            return 0;
    }
}
}  // namespace detail

// A plain entry.
consteval Column Col(std::string_view name, FieldRef at, Kind kind, uint8_t flags = 0) {
    // A throw here stops the compilation at the faulty entry.
    if (kind == Kind::kBits || kind == Kind::kBitSet || kind == Kind::kCustom)
        throw "column map: use Bits, BitSet or Custom for this kind";
    const uint32_t width = detail::WidthOf(kind);
    if (width != 0 && width != at.width)
        throw "column map: the field's width does not suit the kind";
    if (kind == Kind::kText && (at.width < 1 || at.width > 0xFFFF))
        throw "column map: a text buffer needs 1 to 65535 bytes";
    return Column{name, at.offset, kind, at.block, flags, static_cast<uint16_t>(at.width), 0};
}

// Bits `mask` of the flag word at `at` (1, 2 or 4 bytes) take the column's
// lowest bits: a one-bit mask takes bit 0, a mask of two bits the value & 3.
consteval Column Bits(std::string_view name, FieldRef at, uint32_t mask, uint8_t flags = 0) {
    if (at.width != 1 && at.width != 2 && at.width != 4)
        throw "column map: a flag word has 1, 2 or 4 bytes";
    if (mask == 0 || (at.width < 4 && mask >> (8 * at.width) != 0))
        throw "column map: the mask does not fit the flag word";
    return Column{name, at.offset, Kind::kBits, at.block, flags, static_cast<uint16_t>(at.width),
                  mask};
}

// Bits `mask` of the flag word at `at` are set when the column is not 0.
consteval Column BitSet(std::string_view name, FieldRef at, uint32_t mask, uint8_t flags = 0) {
    Column c = Bits(name, at, mask, flags);
    c.kind = Kind::kBitSet;
    return c;
}

// The class's own code at this point of the walk; `id` tells the entries apart.
consteval Column Custom(std::string_view name, uint32_t id, uint8_t flags = 0) {
    return Column{name, id, Kind::kCustom, 0, flags, 0, 0};
}

// Every entry of block `block` lies within `size` bytes.
template <size_t N>
consteval bool FitsIn(const Column (&map)[N], size_t size, uint8_t block = 0) {
    for (const Column& c : map) {
        if (c.block != block || c.kind == Kind::kCustom || c.kind == Kind::kString) continue;
        uint32_t width = detail::WidthOf(c.kind);
        if (width == 0) width = c.size;
        if (c.offset + width > size) return false;
    }
    return true;
}

// ---- walking ------------------------------------------------------------------

// Reads one entry from the current row into `block`; `pos` is the entry's
// cached column position. False when the column could not be read (it was
// reported; the place keeps its value unless the entry reads 0 then).
bool ReadEntry(CXRTable& table, const Column& column, int32_t& pos, void* block);
// Writes one entry from `block` into the current row.
void WriteEntry(CXRTable& table, const Column& column, int32_t& pos, const void* block);

// Text into a buffer of `size` bytes as a text read fills it: cut to
// size - 1 characters, trailing blanks dropped, always terminated.
void CopyTextTo(char* buffer, size_t size, std::string_view text);

struct NoCustom {
    void operator()(const Column&, int32_t&) const {}
};

// Reads every entry of `map`, in order, into `blocks`; kCustom entries call
// `custom(entry, position)`.
template <typename Custom = NoCustom>
void ReadRow(CXRTable& table, std::span<const Column> map, ColumnIndex& index,
             std::initializer_list<void*> blocks, Custom&& custom = {}) {
    int32_t* pos = index.For(map.data(), map.size());
    void* const* base = blocks.begin();
    for (size_t i = 0; i < map.size(); ++i) {
        const Column& c = map[i];
        if (c.kind == Kind::kCustom)
            custom(c, pos[i]);
        else if (c.block < blocks.size())
            ReadEntry(table, c, pos[i], base[c.block]);
    }
}

// Writes the entries of `map` that are not read-only, in order, from
// `blocks`; with `vOnly` only the kVColumn entries.
template <typename Custom = NoCustom>
void WriteRow(CXRTable& table, std::span<const Column> map, ColumnIndex& index,
              std::initializer_list<void*> blocks, bool vOnly = false, Custom&& custom = {}) {
    int32_t* pos = index.For(map.data(), map.size());
    void* const* base = blocks.begin();
    for (size_t i = 0; i < map.size(); ++i) {
        const Column& c = map[i];
        if ((c.flags & kReadOnly) || (vOnly && !(c.flags & kVColumn))) continue;
        if (c.kind == Kind::kCustom)
            custom(c, pos[i]);
        else if (c.block < blocks.size())
            WriteEntry(table, c, pos[i], base[c.block]);
    }
}

// ---- the record class pattern ------------------------------------------------------

// The key query: closes what is open and positions on the first row of
// `sql` (StructureTo has run). 1 when a row was found, 0 when none was or
// the query failed.
inline int OpenKey(CXRTable& table, const std::string& sql) { return table.OpenGet(sql.c_str()); }

// AddUpdate's second half: `found` tells whether the key query found the
// row. A new row is begun with AddNew (0 when that fails); then `given`
// goes over `embedded` (size bytes) and the row is stored with
// Update(found ? vOnly : 0). Callers copy the caller's structure before the
// key query, since it may be the object's own structure, which the query
// overwrites.
int StoreRecord(CXRTable& table, bool found, void* embedded, const void* given, size_t size,
                int vOnly = 0);

}  // namespace xr::records
