#include "platform/error.h"

#include <cstdio>

namespace xr {

namespace {

struct CodeText {
    uint32_t code;
    const char* text;
};

// The system's message texts of the codes the library raises or meets, as
// the system gives them (trailing line break removed).
constexpr CodeText kSystemTexts[] = {
    {0x00000000, "The operation completed successfully."},
    {0x80004001, "Not implemented"},
    {0x80004002, "No such interface supported"},
    {0x80004003, "Invalid pointer"},
    {0x80004004, "Operation aborted"},
    {0x80004005, "Unspecified error"},
    {0x8000FFFF, "Catastrophic failure"},
    {0x80020005, "Type mismatch."},
    {0x80020008, "Bad variable type."},
    {0x80020009, "Exception occurred."},
    {0x8002000A, "Out of present range."},
    {0x80040154, "Class not registered"},
    {0x800401F0, "CoInitialize has not been called."},
    {0x80070005, "Access is denied."},
    {0x8007000E, "Not enough memory resources are available to complete this operation."},
    {0x80070057, "The parameter is incorrect."},
};

// The descriptions ADO puts on its own errors, and the provider's fixed text
// for a value it could not take.
constexpr CodeText kAdoTexts[] = {
    {0x800A0BB9,
     "Arguments are of the wrong type, are out of acceptable range, or are in conflict with "
     "one another."},
    {0x800A0BCD,
     "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
     "requires a current record."},
    {0x800A0C93, "Operation is not allowed in this context."},
    {0x800A0CB3, "Object or provider is not able to perform requested operation."},
    {0x800A0CC1,
     "Item cannot be found in the collection corresponding to the requested name or ordinal."},
    {0x800A0D5D, "Application uses a value of the wrong type for the current operation."},
    {0x800A0E78, "Operation is not allowed when the object is closed."},
    {0x800A0E79, "Operation is not allowed when the object is open."},
    {0x800A0E7D,
     "The connection cannot be used to perform this operation. It is either closed or invalid "
     "in this context."},
    {0x80040E21,
     "Multiple-step OLE DB operation generated errors. Check each OLE DB status value, if "
     "available. No work was done."},
};

template <size_t N>
const char* Find(const CodeText (&table)[N], HRESULT code) {
    for (const CodeText& entry : table) {
        if (entry.code == static_cast<uint32_t>(code)) return entry.text;
    }
    return nullptr;
}

}  // namespace

ComError::ComError(HRESULT code) : m_code(code), m_description(StandardDescription(code)) {}

std::string ComError::MessageText(HRESULT code) {
    if (const char* text = Find(kSystemTexts, code)) return text;
    uint32_t u = static_cast<uint32_t>(code);
    char buffer[64];
    // Interface-defined codes without a system text are numbered from 0x200,
    // the way the automation runtime reports dispatch errors.
    if (u > 0x80040200u && u <= 0x8004FFFFu) {
        std::snprintf(buffer, sizeof buffer, "IDispatch error #%d",
                      static_cast<int>(u & 0xFFFF) - 0x200);
    } else {
        std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX", static_cast<unsigned long>(u));
    }
    return buffer;
}

std::string StandardDescription(HRESULT code) {
    if (const char* text = Find(kAdoTexts, code)) return text;
    if (const char* text = Find(kSystemTexts, code)) return text;
    return std::string();
}

}  // namespace xr
