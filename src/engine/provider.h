// Engines plug in here. Each registers a provider under the name that a
// connection string gives as Provider=; a connection string without one
// uses the embedded engine.
#pragma once

#include <memory>
#include <string_view>

#include "engine/session.h"

namespace xr::engine {

class ConnectionString;

// Opens a session on the server a connection string designates; throws
// ComError when it cannot.
using SessionFactory = std::unique_ptr<Session> (*)(const ConnectionString& cs);

inline constexpr std::string_view kDefaultProvider = "sqlite";

// Registers `factory` under `name` (compared without case). Engines do so
// while the library loads; a later registration of a name replaces it.
bool RegisterProvider(std::string_view name, SessionFactory factory);
// The factory registered under `name`; null when there is none.
SessionFactory FindProvider(std::string_view name);

}  // namespace xr::engine
