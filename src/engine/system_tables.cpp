#include "engine/system_tables.h"

#include "platform/error.h"
#include "platform/text.h"

namespace xr::engine {

using tsql::TypeKind;

TypeInfo DescribeType(const tsql::TypeSpec& type) {
    switch (type.kind) {
        case TypeKind::Bit:
            return {104, 1, 1, 0};
        case TypeKind::TinyInt:
            return {48, 1, 3, 0};
        case TypeKind::SmallInt:
            return {52, 2, 5, 0};
        case TypeKind::Int:
            return {56, 4, 10, 0};
        case TypeKind::BigInt:
            return {127, 8, 19, 0};
        case TypeKind::Money:
            return {60, 8, 19, 4};
        case TypeKind::SmallMoney:
            return {122, 4, 10, 4};
        case TypeKind::Decimal: {
            int p = type.precision ? type.precision : 18;
            int length = p <= 9 ? 5 : p <= 19 ? 9 : p <= 28 ? 13 : 17;
            return {106, length, p, type.scale};
        }
        case TypeKind::Real:
            return {59, 4, 7, 0};
        case TypeKind::Float:
            return {62, 8, 15, 0};
        case TypeKind::DateTime:
            return {61, 8, 23, 3};
        case TypeKind::SmallDateTime:
            return {58, 4, 16, 0};
        // The Unicode types take two bytes a character.
        case TypeKind::Char:
            if (type.national) return {239, type.length * 2, type.length, 0};
            return {175, type.length, type.length, 0};
        case TypeKind::VarChar:
            if (type.national) return {231, type.length * 2, type.length, 0};
            return {167, type.length, type.length, 0};
        case TypeKind::Text:
            return {type.national ? 99 : 35, 16, 0, 0};
        case TypeKind::Binary:
            return {173, type.length, type.length, 0};
        case TypeKind::VarBinary:
            return {165, type.length, type.length, 0};
        case TypeKind::Image:
            return {34, 16, 0, 0};
        case TypeKind::Unknown:
            break;
    }
    return {};
}

std::string PadXtype(std::string_view xtype) {
    std::string text(xtype);
    text.resize(2, ' ');
    return text;
}

std::string ObjectType(std::string_view xtype) {
    return xtype == "PK" || xtype == "UQ" ? "K " : PadXtype(xtype);
}

namespace {
constexpr char kNameSeparator = '\x1f';
constexpr size_t kMaxName = 128;
}  // namespace

std::string JoinNames(const std::vector<std::string>& names) {
    std::string text;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i) text += kNameSeparator;
        text += names[i];
    }
    return text;
}

std::vector<std::string> SplitNames(std::string_view text) {
    std::vector<std::string> names;
    if (text.empty()) return names;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(kNameSeparator, start);
        names.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return names;
}

void CheckObjectName(std::string_view name, const char* what) {
    if (Trim(name).empty())
        throw ComError(DB_E_ERRORSINCOMMAND, std::string("A ") + what + " name must not be empty.");
    if (name.size() > kMaxName) {
        throw ComError(DB_E_ERRORSINCOMMAND, "The identifier that starts with '" +
                                                 std::string(name.substr(0, kMaxName)) +
                                                 "' is too long. Maximum length is 128.");
    }
}

}  // namespace xr::engine
