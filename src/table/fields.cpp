// Typed field access of CXRTable: every read and write goes through the
// generic pair (GetField/SetField of a variant); the typed operations only
// convert. Record classes read every column of every row through here while
// a till walks a table, so the read path allocates nothing for numbers.
#include <algorithm>
#include <cstring>

#include "platform/systemtime.h"
#include "platform/text.h"
#include "table/xrtable.h"

using xr::ComError;
using xr::Variant;
using xr::table::CurrentError;
using xr::table::kDateRead;
using xr::table::kDateWrite;
using xr::table::kFieldRead;
using xr::table::kFieldWrite;
using xr::table::ReportTable;

namespace {

int32_t ToInt32(const Variant& v) { return v.IsNull() ? 0 : v.ToI4(); }

// Item numbers are numeric columns; whatever arrives is taken as a number
// and brought to 64 bits.
uint64_t ToItemNumber(const Variant& v) {
    switch (v.Type()) {
        case xr::VT_I1:
        case xr::VT_I2:
        case xr::VT_I4:
        case xr::VT_I8:
        case xr::VT_UI1:
        case xr::VT_UI2:
        case xr::VT_UI4:
            return static_cast<uint64_t>(v.IntValue());
        case xr::VT_UI8:
            return v.UIntValue();
        default:
            return Variant::Dec(v.ToDecimal()).ToUI8();
    }
}

}  // namespace

// ---- the generic pair ---------------------------------------------------------

Variant CXRTable::ReadValue(const char* column) const {
    const int index = m_pRS->FieldIndex(column);
    // An unknown name goes to the recordset by name, which raises the error
    // that says why (no such column, closed object).
    return index >= 0 ? m_pRS->Value(static_cast<size_t>(index))
                      : m_pRS->Value(xr::SafeText(column));
}

int CXRTable::ReadRaw(const char* column, Variant& value) {
    try {
        value = ReadValue(column);
        return 1;
    } catch (...) {
        ReportTable(m_name, CurrentError(), kFieldRead);
    }
    return 0;
}

int CXRTable::GetField(const char* column, Variant& value) { return ReadRaw(column, value); }

int CXRTable::SetField(const char* column, const Variant& value) {
    try {
        const int index = m_pRS->FieldIndex(column);
        if (index >= 0)
            m_pRS->SetValue(static_cast<size_t>(index), value);
        else
            m_pRS->SetValue(xr::SafeText(column), value);
        return 1;
    } catch (...) {
        ReportTable(m_name, CurrentError(), kFieldWrite);
    }
    return 0;
}

int CXRTable::ConversionFailed(int where) {
    if (m_strict > 0) throw;
    ReportTable(m_name, CurrentError(), where);
    return 0;
}

// The typed reads' path: the value is taken straight from the recordset and
// converted in place, without a copy between.
template <typename Fn>
int CXRTable::ReadAs(const char* column, Fn&& convert) {
    bool read = false;
    try {
        const Variant value = ReadValue(column);
        read = true;
        convert(value);
        return 1;
    } catch (...) {
        if (read) return ConversionFailed(kFieldRead);
        ReportTable(m_name, CurrentError(), kFieldRead);
    }
    return 0;
}

// ---- numbers ----------------------------------------------------------------------

int CXRTable::GetField(const char* column, short& value) {
    return ReadAs(column, [&](const Variant& v) { value = v.IsNull() ? 0 : v.ToI2(); });
}

int CXRTable::GetField(const char* column, int32_t& value) {
    return ReadAs(column, [&](const Variant& v) { value = ToInt32(v); });
}

int CXRTable::GetField(const char* column, long& value) {
    return ReadAs(column, [&](const Variant& v) { value = v.IsNull() ? 0 : v.ToI8(); });
}

int CXRTable::GetField(const char* column, uint32_t& value) {
    return ReadAs(column, [&](const Variant& v) { value = static_cast<uint32_t>(ToInt32(v)); });
}

int CXRTable::GetField(const char* column, unsigned short& value) {
    return ReadAs(column,
                  [&](const Variant& v) { value = static_cast<unsigned short>(ToInt32(v)); });
}

int CXRTable::GetField(const char* column, char& value) {
    return ReadAs(column, [&](const Variant& v) { value = static_cast<char>(ToInt32(v)); });
}

int CXRTable::GetField(const char* column, unsigned char& value) {
    return ReadAs(column,
                  [&](const Variant& v) { value = static_cast<unsigned char>(ToInt32(v)); });
}

int CXRTable::GetFieldAmt(const char* column, int32_t& hundredths) {
    return ReadAs(column, [&](const Variant& v) {
        hundredths = v.Type() == xr::VT_CY ? xr::MoneyToHundredths(v.IntValue())
                                           : xr::RealToHundredths(v.ToR8());
    });
}

int CXRTable::GetFieldAmt(const char* column, long& hundredths) {
    int32_t amount = 0;
    if (!GetFieldAmt(column, amount)) return 0;
    hundredths = amount;
    return 1;
}

int CXRTable::GetField(const char* column, double& value) {
    return ReadAs(column, [&](const Variant& v) { value = v.ToR8(); });
}

int CXRTable::GetFieldDec(const char* column, double& value) { return GetField(column, value); }

int CXRTable::GetField(const char* column, uint64_t& value) {
    Variant v;
    if (!ReadRaw(column, v) || v.IsEmptyOrNull()) return 0;
    try {
        value = ToItemNumber(v);
        return 1;
    } catch (...) {
        return ConversionFailed(kFieldRead);
    }
}

int CXRTable::GetField(const char* column, SYSTEMTIME& value) {
    Variant v;
    if (!ReadRaw(column, v)) return 0;
    try {
        SYSTEMTIME st{};
        if (!xr::VariantTimeToSystemTime(v.ToR8(), &st))
            throw ComError(xr::E_INVALIDARG_, "The date lies outside 1 Jan 100 .. 31 Dec 9999.");
        value = st;
        return 1;
    } catch (...) {
        xr::table::ReportLibrary(CurrentError(), kDateRead);
    }
    return 0;
}

// ---- text and bytes ----------------------------------------------------------------

int CXRTable::GetField(const char* column, char* buffer, int size) {
    if (!buffer || size < 1) {
        ReportTable(
            m_name,
            ComError(xr::E_INVALIDARG_, xr::Format("No room for the text of column %s.",
                                                   std::string(xr::SafeText(column)).c_str())),
            kFieldRead);
        return 0;
    }
    return ReadAs(column, [&](const Variant& v) {
        if (v.IsNull()) {
            buffer[0] = 0;
            return;
        }
        std::string converted;
        const std::string* text = &v.TextValue();
        if (v.Type() != xr::VT_BSTR) {
            converted = v.ToText();
            text = &converted;
        }
        const size_t n = std::min(static_cast<size_t>(size), text->size() + 1);
        std::memcpy(buffer, text->data(), n - 1);
        buffer[n - 1] = 0;
        // Fixed-length columns arrive blank-padded; the till's buffers do not.
        for (size_t i = n - 1; i > 0 && buffer[i - 1] == ' '; --i) buffer[i - 1] = 0;
    });
}

int CXRTable::GetField(const char* column, std::string& value) {
    return ReadAs(column, [&](const Variant& v) {
        if (v.IsNull())
            value.clear();
        else if (v.Type() == xr::VT_BSTR)
            value = v.TextValue();
        else
            value = v.ToText();
    });
}

int CXRTable::GetField(const char* column, void* buffer, int& length) {
    Variant v;
    if (!ReadRaw(column, v) || v.Type() != xr::VT_BYTES) return 0;
    if (length < 0 || (!buffer && length > 0)) {
        ReportTable(m_name, ComError(xr::E_INVALIDARG_, "No room for the bytes of the column."),
                    kFieldRead);
        return 0;
    }
    const auto& bytes = v.BytesValue();
    const size_t n = std::min(bytes.size(), static_cast<size_t>(length));
    if (n) std::memcpy(buffer, bytes.data(), n);
    length = static_cast<int>(n);
    return 1;
}

int CXRTable::GetFieldSize(const char* column, int& size) {
    Variant v;
    if (!ReadRaw(column, v) || v.Type() != xr::VT_BYTES) return 0;
    size = static_cast<int>(v.BytesValue().size());
    return 1;
}

// ---- flags and states ------------------------------------------------------------

int CXRTable::GetFieldBit(const char* column, int mask, int& flags) {
    return ReadAs(column, [&](const Variant& v) {
        if (ToInt32(v) != 0) flags |= mask;
    });
}

int CXRTable::IsSet(const char* column) {
    int32_t value = 0;
    GetField(column, value);
    return value;
}

int CXRTable::IsNull(const char* column) {
    Variant v;
    if (!ReadRaw(column, v)) return 1;
    return v.IsEmptyOrNull() ? 1 : 0;
}

int CXRTable::GetFieldType(const char* column) {
    Variant v;
    if (!ReadRaw(column, v)) return -1;
    return v.Type();
}

// ---- writes --------------------------------------------------------------------------

int CXRTable::SetField(const char* column, short value) {
    return SetField(column, Variant::I2(value));
}

int CXRTable::SetField(const char* column, int32_t value) {
    return SetField(column, Variant::I4(value));
}

int CXRTable::SetField(const char* column, long value) {
    // A value beyond 32 bits goes as it is, so the column's own range check
    // refuses it instead of a silent cut.
    if (value >= INT32_MIN && value <= INT32_MAX)
        return SetField(column, Variant::I4(static_cast<int32_t>(value)));
    return SetField(column, Variant::I8(value));
}

int CXRTable::SetField(const char* column, uint32_t value) {
    return SetField(column, Variant::I4(static_cast<int32_t>(value)));
}

int CXRTable::SetField(const char* column, const char* value) {
    return SetField(column, Variant::Text(xr::SafeText(value)));
}

int CXRTable::SetField(const char* column, char* value) {
    return SetField(column, static_cast<const char*>(value));
}

int CXRTable::SetField(const char* column, const std::string& value) {
    return SetField(column, Variant::Text(value));
}

int CXRTable::SetField(const char* column, double value) {
    return SetField(column, Variant::R8(value));
}

int CXRTable::SetFieldDec(const char* column, double value) {
    Variant dec;
    try {
        dec = Variant::R8(value).ChangeType(xr::VT_DECIMAL);
    } catch (...) {
        return ConversionFailed(kFieldWrite);
    }
    return SetField(column, dec);
}

int CXRTable::SetFieldAmt(const char* column, int32_t hundredths) {
    return SetField(column, Variant::Currency(xr::HundredthsToMoney(hundredths)));
}

int CXRTable::SetField(const char* column, uint64_t value) {
    return SetField(column, Variant::UI8(value));
}

int CXRTable::SetField(const char* column, const SYSTEMTIME& value) {
    double date = 0;
    if (!xr::SystemTimeToVariantTime(value, &date)) {
        xr::table::ReportLibrary(ComError(xr::E_INVALIDARG_, "The time is not a valid date."),
                                 kDateWrite);
        return 0;
    }
    return SetField(column, Variant::R8(date));
}

int CXRTable::SetField(const char* column, const void* data, int length) {
    if (length < 0 || (!data && length > 0)) {
        ReportTable(m_name, ComError(xr::E_INVALIDARG_, "The byte count is not valid."),
                    kFieldWrite);
        return 0;
    }
    return SetField(column, Variant::Bytes(data, static_cast<size_t>(length)));
}

int CXRTable::SetFieldNull(const char* column) { return SetField(column, Variant::Null()); }
