// The generic reader and writer behind every column map.
//
// Reading takes each value straight from the recordset by its cached
// position and converts it the way CXRTable's typed reads do. Whatever is
// not the plain case (a column that is not there, a row that cannot be read,
// a value that needs a conversion that may fail) goes the named way through
// CXRTable's typed read instead, which converts, reports and, inside a
// positioning operation, ends it, exactly as for a hand-written StructureTo.
#include "records/column_map.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"
#include "platform/variant.h"
#include "table/xrtable.h"

namespace xr::records {

int32_t* ColumnIndex::For(const Column* map, size_t count) {
    if (m_map != map || m_pos.size() != count) {
        m_map = map;
        m_pos.assign(count, -1);
    }
    return m_pos.data();
}

namespace {

template <typename T>
T Load(const void* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <typename T>
void Store(void* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

uint32_t LoadWord(const char* at, uint16_t size) {
    switch (size) {
        case 1:
            return Load<uint8_t>(at);
        case 2:
            return Load<uint16_t>(at);
        default:
            return Load<uint32_t>(at);
    }
}

void StoreWord(char* at, uint16_t size, uint32_t word) {
    switch (size) {
        case 1:
            Store(at, static_cast<uint8_t>(word));
            break;
        case 2:
            Store(at, static_cast<uint16_t>(word));
            break;
        default:
            Store(at, word);
            break;
    }
}

unsigned LowestBit(uint32_t mask) { return static_cast<unsigned>(__builtin_ctz(mask)); }

// The flag word with the column's value put into the bits of `c.mask`.
uint32_t PutBits(const Column& c, uint32_t word, int32_t value) {
    uint32_t bits;
    if (c.kind == Kind::kBitSet)
        bits = value != 0 ? c.mask : 0;
    else
        bits = (static_cast<uint32_t>(value) << LowestBit(c.mask)) & c.mask;
    return (word & ~c.mask) | bits;
}

// The first character as a text buffer of two bytes holds it: a blank is
// trimmed away like any trailing blank.
char FirstChar(std::string_view text) {
    const char first = text.empty() ? '\0' : text[0];
    return first == ' ' ? '\0' : first;
}

int32_t Date8(std::string_view text) {
    char digits[10];
    const size_t n = std::min<size_t>(text.size(), sizeof digits - 1);
    std::memcpy(digits, text.data(), n);
    digits[n] = 0;
    return static_cast<int32_t>(std::atol(digits));
}

// The column's position in the open recordset, -1 when it has none. A cached
// position is kept while the field there still bears the column's name.
int Resolve(CXRTable& t, const Column& c, int32_t& pos) noexcept {
    try {
        const engine::Recordset* rs = t.m_pRS.get();
        if (!rs) return pos = -1;
        const size_t count = rs->FieldCount();
        if (pos >= 0 && static_cast<size_t>(pos) < count) {
            const std::string& have = rs->FieldName(static_cast<size_t>(pos));
            if (have.size() == c.name.size() &&
                (std::memcmp(have.data(), c.name.data(), have.size()) == 0 ||
                 IEquals(have, c.name)))
                return pos;
        }
        pos = count ? rs->FieldIndex(c.name) : -1;
    } catch (...) {
        pos = -1;
    }
    return pos;
}

bool ValueAt(CXRTable& t, int index, Variant& out) noexcept {
    try {
        out = t.m_pRS->Value(static_cast<size_t>(index));
        return true;
    } catch (...) {
        return false;
    }
}

int32_t ToInt32(const Variant& v) { return v.IsNull() ? 0 : v.ToI4(); }

// Converts `v` into the entry's place as the typed read would. False when
// the value is not one of the plain cases; the caller then reads by name.
bool ConvertPlain(const Column& c, const Variant& v, char* at) {
    try {
        switch (c.kind) {
            case Kind::kU16:
                Store(at, static_cast<uint16_t>(ToInt32(v)));
                return true;
            case Kind::kI8:
                Store(at, static_cast<int8_t>(ToInt32(v)));
                return true;
            case Kind::kI16:
                Store(at, static_cast<int16_t>(v.IsNull() ? 0 : v.ToI2()));
                return true;
            case Kind::kI32:
                Store(at, ToInt32(v));
                return true;
            case Kind::kU64:
                switch (v.Type()) {
                    case VT_EMPTY:
                    case VT_NULL:
                        return true;  // an item number that is not there leaves the field
                    case VT_I1:
                    case VT_I2:
                    case VT_I4:
                    case VT_I8:
                    case VT_UI1:
                    case VT_UI2:
                    case VT_UI4:
                        Store(at, static_cast<uint64_t>(v.IntValue()));
                        return true;
                    case VT_UI8:
                        Store(at, v.UIntValue());
                        return true;
                    default:
                        return false;
                }
            case Kind::kText:
                if (v.IsNull()) {
                    at[0] = 0;
                    return true;
                }
                if (v.Type() != VT_BSTR) return false;
                CopyTextTo(at, c.size, v.TextValue());
                return true;
            case Kind::kString: {
                auto* s = reinterpret_cast<std::string*>(at);
                if (v.IsNull())
                    s->clear();
                else if (v.Type() == VT_BSTR)
                    s->assign(v.TextValue());  // keeps the string's room: no allocation per row
                else
                    return false;
                return true;
            }
            case Kind::kBits:
            case Kind::kBitSet:
                StoreWord(at, c.size, PutBits(c, LoadWord(at, c.size), ToInt32(v)));
                return true;
            case Kind::kMoney:
                Store(at, v.Type() == VT_CY ? MoneyToHundredths(v.IntValue())
                                            : RealToHundredths(v.ToR8()));
                return true;
            case Kind::kLetter:
            case Kind::kChar: {
                char first;
                if (v.IsNull())
                    first = 0;
                else if (v.Type() == VT_BSTR)
                    first = FirstChar(v.TextValue());
                else
                    return false;
                if (c.kind == Kind::kChar)
                    Store(at, first);
                else
                    Store(at, static_cast<int16_t>(static_cast<signed char>(first) - 'A'));
                return true;
            }
            case Kind::kDouble:
                Store(at, v.ToR8());
                return true;
            case Kind::kFloatDec:
                Store(at, static_cast<float>(v.ToR8()));
                return true;
            case Kind::kDate8:
                if (v.IsNull()) {
                    Store(at, int32_t{0});
                    return true;
                }
                if (v.Type() != VT_BSTR) return false;
                Store(at, Date8(v.TextValue()));
                return true;
            case Kind::kCustom:
                return true;
        }
    } catch (...) {
        // A conversion that fails is the named read's to report.
    }
    return false;
}

// The same read through CXRTable's typed operation by name: it reports what
// fails and, inside a positioning operation, throws a failed conversion on.
bool ReadNamed(CXRTable& t, const Column& c, char* at) {
    const char* name = c.name.data();
    const bool zeroFirst = (c.flags & kZeroFirst) != 0;
    switch (c.kind) {
        case Kind::kU16: {
            unsigned short x = 0;
            const int ok = t.GetField(name, x);
            if (ok || zeroFirst) Store(at, static_cast<uint16_t>(x));
            return ok;
        }
        case Kind::kI8: {
            char x = 0;
            const int ok = t.GetField(name, x);
            if (ok || zeroFirst) Store(at, static_cast<int8_t>(x));
            return ok;
        }
        case Kind::kI16: {
            short x = 0;
            const int ok = t.GetField(name, x);
            if (ok || zeroFirst) Store(at, static_cast<int16_t>(x));
            return ok;
        }
        case Kind::kI32: {
            int32_t x = 0;
            const int ok = t.GetField(name, x);
            if (ok || zeroFirst) Store(at, x);
            return ok;
        }
        case Kind::kU64: {
            uint64_t x = 0;
            const int ok = t.GetField(name, x);
            if (ok || zeroFirst) Store(at, x);
            return ok;
        }
        case Kind::kText:
            return t.GetField(name, at, c.size);
        case Kind::kString:
            return t.GetField(name, *reinterpret_cast<std::string*>(at));
        case Kind::kBits:
        case Kind::kBitSet: {
            int32_t x = 0;
            if (!t.GetField(name, x)) return false;
            StoreWord(at, c.size, PutBits(c, LoadWord(at, c.size), x));
            return true;
        }
        case Kind::kMoney: {
            int32_t x = 0;
            const int ok = t.GetFieldAmt(name, x);
            Store(at, x);
            return ok;
        }
        case Kind::kLetter:
        case Kind::kChar: {
            char buffer[2] = {0, 0};
            if (!t.GetField(name, buffer, sizeof buffer)) return false;
            if (c.kind == Kind::kChar)
                Store(at, buffer[0]);
            else
                Store(at, static_cast<int16_t>(static_cast<signed char>(buffer[0]) - 'A'));
            return true;
        }
        case Kind::kDouble: {
            double x = 0;
            const int ok = t.GetField(name, x);
            if (ok || zeroFirst) Store(at, x);
            return ok;
        }
        case Kind::kFloatDec: {
            double x = 0;
            const int ok = t.GetField(name, x);
            Store(at, static_cast<float>(x));
            return ok;
        }
        case Kind::kDate8: {
            char digits[10];
            if (!t.GetField(name, digits, sizeof digits)) return false;
            Store(at, Date8(digits));
            return true;
        }
        case Kind::kCustom:
            break;
    }
    return true;
}

// Writes `v` into the entry's column; a failure is reported as the typed
// write reports it (code 10) and the walk goes on.
void Put(CXRTable& t, const Column& c, int32_t& pos, const Variant& v) {
    const int index = Resolve(t, c, pos);
    try {
        if (index >= 0)
            t.m_pRS->SetValue(static_cast<size_t>(index), v);
        else
            t.m_pRS->SetValue(c.name, v);  // says why: no such column, closed, ...
    } catch (...) {
        table::ReportTable(t.m_name, table::CurrentError(), table::kFieldWrite);
    }
}

Variant OneChar(char ch) {
    return Variant::Text(ch ? std::string_view(&ch, 1) : std::string_view());
}

}  // namespace

bool ReadEntry(CXRTable& table, const Column& column, int32_t& pos, void* block) {
    char* at = static_cast<char*>(block) + column.offset;
    const int index = Resolve(table, column, pos);
    if (index >= 0) {
        Variant value;
        if (ValueAt(table, index, value) && ConvertPlain(column, value, at)) return true;
    }
    return ReadNamed(table, column, at);
}

void CopyTextTo(char* buffer, size_t size, std::string_view text) {
    if (!buffer || size == 0) return;
    const size_t n = std::min(size, text.size() + 1);
    std::memcpy(buffer, text.data(), n - 1);
    buffer[n - 1] = 0;
    for (size_t i = n - 1; i > 0 && buffer[i - 1] == ' '; --i) buffer[i - 1] = 0;
}

void WriteEntry(CXRTable& table, const Column& column, int32_t& pos, const void* block) {
    const char* at = static_cast<const char*>(block) + column.offset;
    switch (column.kind) {
        case Kind::kU16:
            if (column.flags & kAsShort)
                Put(table, column, pos, Variant::I2(Load<int16_t>(at)));
            else
                Put(table, column, pos, Variant::I4(Load<uint16_t>(at)));
            break;
        case Kind::kI8:
            Put(table, column, pos, Variant::I4(Load<int8_t>(at)));
            break;
        case Kind::kI16:
            Put(table, column, pos, Variant::I2(Load<int16_t>(at)));
            break;
        case Kind::kI32:
            Put(table, column, pos, Variant::I4(Load<int32_t>(at)));
            break;
        case Kind::kU64:
            Put(table, column, pos, Variant::UI8(Load<uint64_t>(at)));
            break;
        case Kind::kText:
            // A buffer the caller filled to the last byte has no terminator:
            // it ends at its size.
            Put(table, column, pos, Variant::Text(std::string_view(at, strnlen(at, column.size))));
            break;
        case Kind::kString:
            Put(table, column, pos, Variant::Text(*reinterpret_cast<const std::string*>(at)));
            break;
        case Kind::kBits:
        case Kind::kBitSet: {
            const uint32_t word = LoadWord(at, column.size);
            Put(table, column, pos,
                Variant::I4(static_cast<int32_t>((word & column.mask) >> LowestBit(column.mask))));
            break;
        }
        case Kind::kMoney:
            Put(table, column, pos, Variant::Currency(HundredthsToMoney(Load<int32_t>(at))));
            break;
        case Kind::kLetter:
            Put(table, column, pos, OneChar(static_cast<char>((Load<int16_t>(at) & 0xFF) + 'A')));
            break;
        case Kind::kChar:
            Put(table, column, pos, OneChar(Load<char>(at)));
            break;
        case Kind::kDouble:
            Put(table, column, pos, Variant::R8(Load<double>(at)));
            break;
        case Kind::kFloatDec:
            // The decimal conversion can fail; the typed write reports it.
            table.SetFieldDec(column.name.data(), static_cast<double>(Load<float>(at)));
            break;
        case Kind::kDate8:
            Put(table, column, pos, Variant::Text(Format("%08d", Load<int32_t>(at))));
            break;
        case Kind::kCustom:
            break;
    }
}

int StoreRecord(CXRTable& table, bool found, void* embedded, const void* given, size_t size,
                int vOnly) {
    if (!found && !table.AddNew()) return 0;
    std::memmove(embedded, given, size);
    return table.Update(found ? vOnly : 0);
}

}  // namespace xr::records
