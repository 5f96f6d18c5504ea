// Result sets of the T-SQL layer.
#pragma once

#include <vector>

#include "engine/plan.h"
#include "engine/session.h"
#include "tsql/types.h"

namespace xr::engine {

engine::ColumnInfo MakeColumnInfo(const OutColumn& c);

// A value of an expression without a T-SQL type (a bare NULL, a parameter
// nothing typed) as a field: by the form the engine gave it.
Variant UntypedVariant(const tsql::Value& v);

// A result set held in memory (the first result of a multi-statement batch).
class MaterializedRows final : public engine::Rows {
public:
    explicit MaterializedRows(std::vector<engine::ColumnInfo> columns);
    void Add(std::vector<tsql::Value> row) { m_rows.push_back(std::move(row)); }

    size_t ColumnCount() const override { return m_columns.size(); }
    const engine::ColumnInfo& Column(size_t i) const override { return m_columns.at(i); }
    bool Next() override;
    Variant Value(size_t i) const override;

private:
    std::vector<engine::ColumnInfo> m_columns;
    std::vector<tsql::TypeSpec> m_types;
    std::vector<std::vector<tsql::Value>> m_rows;
    size_t m_next = 0;  // 1-based position of the current row after Next()
};

}  // namespace xr::engine
