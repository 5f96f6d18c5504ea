// What both engines' backups share: how far a backup or a restore has come,
// for a progress display. The embedded engine counts database pages, the
// server engine the tables it has dumped; `done` never passes `total`, and
// `total` may grow while the first units are counted.
#pragma once

#include <cstdint>
#include <functional>

namespace xr::engine {

// Called on the thread doing the work, often (per step of a file); an empty
// function is never called.
using BackupProgress = std::function<void(uint64_t done, uint64_t total)>;

}  // namespace xr::engine
