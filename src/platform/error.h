// The one error type of the library: a COM-style HRESULT with a description.
// Thrown inside the library, caught where an operation reports it; never
// leaves an export or a class operation.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace xr {

using HRESULT = int32_t;

constexpr HRESULT Hr(uint32_t v) { return static_cast<HRESULT>(v); }

// System and automation codes.
inline constexpr HRESULT S_OK_ = 0;
inline constexpr HRESULT E_FAIL_ = Hr(0x80004005);
inline constexpr HRESULT E_NOTIMPL_ = Hr(0x80004001);
inline constexpr HRESULT E_UNEXPECTED_ = Hr(0x8000FFFF);
inline constexpr HRESULT E_INVALIDARG_ = Hr(0x80070057);
inline constexpr HRESULT E_ACCESSDENIED_ = Hr(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY_ = Hr(0x8007000E);
inline constexpr HRESULT DISP_E_TYPEMISMATCH_ = Hr(0x80020005);
inline constexpr HRESULT DISP_E_BADVARTYPE_ = Hr(0x80020008);
inline constexpr HRESULT DISP_E_OVERFLOW_ = Hr(0x8002000A);
// A database file that is there but cannot be used (damaged, not a database,
// unreadable, or its catalog incomplete beyond repair): ERROR_FILE_CORRUPT.
inline constexpr HRESULT E_FILECORRUPT_ = Hr(0x80070570);

// ADO's own errors (facility 0x0A).
inline constexpr HRESULT adErrInvalidArgument = Hr(0x800A0BB9);
inline constexpr HRESULT adErrNoCurrentRecord = Hr(0x800A0BCD);
inline constexpr HRESULT adErrIllegalOperation = Hr(0x800A0C93);
inline constexpr HRESULT adErrFeatureNotAvailable = Hr(0x800A0CB3);
inline constexpr HRESULT adErrItemNotFound = Hr(0x800A0CC1);
inline constexpr HRESULT adErrDataConversion = Hr(0x800A0D5D);
inline constexpr HRESULT adErrObjectClosed = Hr(0x800A0E78);
inline constexpr HRESULT adErrObjectOpen = Hr(0x800A0E79);
inline constexpr HRESULT adErrInvalidConnection = Hr(0x800A0E7D);

// Provider errors (facility 4).
inline constexpr HRESULT DB_E_ERRORSINCOMMAND = Hr(0x80040E14);
inline constexpr HRESULT DB_E_ERRORSOCCURRED = Hr(0x80040E21);
inline constexpr HRESULT DB_E_DELETEDROW = Hr(0x80040E23);
inline constexpr HRESULT DB_E_INTEGRITYVIOLATION = Hr(0x80040E2F);
inline constexpr HRESULT DB_E_NOTABLE = Hr(0x80040E37);
inline constexpr HRESULT DB_SEC_E_AUTH_FAILED = Hr(0x80040E4D);
inline constexpr HRESULT DB_SEC_E_PERMISSIONDENIED = Hr(0x80040E09);

class ComError : public std::exception {
public:
    ComError(HRESULT code, std::string description)
        : m_code(code), m_description(std::move(description)) {}
    explicit ComError(HRESULT code);  // description: the standard text of the code, if any

    HRESULT Error() const noexcept { return m_code; }
    const std::string& Description() const noexcept { return m_description; }
    // The system's message text for the code (see MessageText).
    std::string ErrorMessage() const { return MessageText(m_code); }
    const char* what() const noexcept override { return m_description.c_str(); }

    static std::string MessageText(HRESULT code);

private:
    HRESULT m_code;
    std::string m_description;
};

// The description ADO gives its own errors and the standard texts of the
// system codes; empty when the code has none.
std::string StandardDescription(HRESULT code);

}  // namespace xr
