#include "engine/rows.h"

#include "platform/error.h"

namespace xr::engine {

using namespace xr::tsql;

engine::ColumnInfo MakeColumnInfo(const OutColumn& c) {
    engine::ColumnInfo info;
    info.name = c.name;
    info.typeName = c.type.kind == TypeKind::Unknown ? std::string() : c.type.ToString();
    info.adoType =
        c.type.kind == TypeKind::Unknown ? uint16_t{engine::adInteger} : c.type.AdoType();
    info.definedSize = c.type.kind == TypeKind::Unknown ? 4 : c.type.DefinedSize();
    info.precision = c.type.precision;
    info.scale = c.type.scale;
    info.nullable = c.nullable;
    info.baseTable = c.baseTable;
    info.baseColumn = c.baseColumn;
    return info;
}

Variant UntypedVariant(const tsql::Value& v) {
    switch (v.kind) {
        case tsql::Value::Kind::Null:
            return Variant::Null();
        case tsql::Value::Kind::Int:
            return Variant::I4(static_cast<int32_t>(v.i));
        case tsql::Value::Kind::Real:
            return Variant::R8(v.d);
        case tsql::Value::Kind::Text:
            return Variant::Text(v.s);
        case tsql::Value::Kind::Blob:
            return Variant::Bytes(v.s.data(), v.s.size());
    }
    return Variant::Null();
}

MaterializedRows::MaterializedRows(std::vector<engine::ColumnInfo> columns)
    : m_columns(std::move(columns)) {
    for (const auto& c : m_columns) {
        TypeSpec t;
        if (!c.typeName.empty()) TypeSpec::Parse(c.typeName, &t);
        m_types.push_back(t);
    }
}

bool MaterializedRows::Next() {
    if (m_next > m_rows.size()) return false;
    ++m_next;
    return m_next <= m_rows.size();
}

Variant MaterializedRows::Value(size_t i) const {
    if (m_next == 0 || m_next > m_rows.size()) {
        throw ComError(adErrNoCurrentRecord);
    }
    const auto& row = m_rows[m_next - 1];
    if (i >= row.size()) throw ComError(adErrItemNotFound);
    if (m_types[i].kind == TypeKind::Unknown) return UntypedVariant(row[i]);
    return ToVariant(row[i], m_types[i]);
}

}  // namespace xr::engine
