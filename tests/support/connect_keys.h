// Reading and changing the keys of a connection string in tests, and opening one.
#pragma once

#include <string>

#include "engine/connection.h"
#include "engine/connection_string.h"
#include "platform/text.h"

namespace xrtest {

// The value of `key` in a connection string ("" when it has none).
inline std::string ValueOf(const std::string& cs, const std::string& key) {
    auto v = xr::engine::ConnectionString::Parse(cs).Get(key);
    return v ? *v : std::string();
}

// `cs` with `key` set to `value` (added when it is not there).
inline std::string With(const std::string& cs, const std::string& key, const std::string& value) {
    std::string out;
    bool found = false;
    const auto parsed = xr::engine::ConnectionString::Parse(cs);
    for (const auto& [k, v] : parsed.Pairs()) {
        const bool hit = xr::IEquals(k, key);
        found = found || hit;
        out += k + "=" + (hit ? value : v) + ";";
    }
    if (!found) out += key + "=" + value + ";";
    return out;
}

// The error of opening `cs`, "" when it opened.
inline std::string OpenError(const std::string& cs) {
    try {
        xr::engine::Connection().Open(cs);
    } catch (const xr::ComError& e) {
        return e.Description();
    }
    return "";
}

}  // namespace xrtest
