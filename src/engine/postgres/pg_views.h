// The views of a database schema on the server engine: each is a sysobjects
// row of type 'V', its result columns in syscolumns, and its query as
// written in xr_views (the embedded engine's table and columns), which each
// session binds afresh when it reads the view.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/catalog.h"

namespace xr::engine::postgres {

class PgLink;

// What the views need of the rest of the catalog of a database.
struct ViewCatalog {
    PgLink& link;
    std::string db;
    // Whether an object (or a key's index) of the database has the name.
    std::function<bool(std::string_view)> nameTaken;
    std::function<bool(std::string_view)> isTable;
    std::function<int32_t()> newObjectId;
    std::function<void(int32_t id, std::string_view name)> insertObject;
    // The DDL counter moves and cached definitions go.
    std::function<void()> touch;
};

void CreateView(const ViewCatalog& cat, std::string_view name, const Catalog::ViewDef& view,
                const std::vector<tsql::ColumnDef>& columns, bool replace);
void DropView(const ViewCatalog& cat, std::string_view name);
// None when the database has no view of that name (or no catalog).
std::optional<Catalog::ViewDef> FindView(PgLink& link, const std::string& db,
                                         std::string_view name);
// sp_rename of a view: false when `name` is no view.
bool RenameView(const ViewCatalog& cat, std::string_view name, std::string_view newName);

}  // namespace xr::engine::postgres
