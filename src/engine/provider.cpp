#include "engine/provider.h"

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/text.h"

namespace xr::engine {

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<std::pair<std::string, SessionFactory>> providers;
};

// Built on first use: engines register from their static initializers, in
// no particular order relative to this file's.
Registry& Providers() {
    static Registry registry;
    return registry;
}

}  // namespace

bool RegisterProvider(std::string_view name, SessionFactory factory) {
    Registry& registry = Providers();
    std::lock_guard lock(registry.mutex);
    for (auto& [known, fn] : registry.providers) {
        if (IEquals(known, name)) {
            fn = factory;
            return true;
        }
    }
    registry.providers.emplace_back(std::string(name), factory);
    return true;
}

SessionFactory FindProvider(std::string_view name) {
    Registry& registry = Providers();
    std::lock_guard lock(registry.mutex);
    for (const auto& [known, fn] : registry.providers)
        if (IEquals(known, name)) return fn;
    return nullptr;
}

}  // namespace xr::engine
