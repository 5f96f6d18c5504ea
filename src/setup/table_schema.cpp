#include <utility>

#include "setup/pass23.h"

namespace xr::setup {

TableSchema::TableSchema(std::vector<Step>& out, std::string table, std::string prefix)
    : m_out(out), m_table(std::move(table)) {
    m_name = prefix + m_table;
}

TableSchema& TableSchema::Push(std::string sql, std::string tag) {
    Step step;
    step.sql = std::move(sql);
    step.tag = std::move(tag);
    step.label = m_table;
    m_out.push_back(std::move(step));
    return *this;
}

TableSchema& TableSchema::Create(const std::string& columns) {
    return Push("CREATE TABLE " + m_name + " (" + columns + ")", m_table + ".create");
}

TableSchema& TableSchema::Add(const std::string& columns) {
    return Push("ALTER TABLE " + m_name + " ADD " + columns);
}

TableSchema& TableSchema::AlterColumn(const std::string& column) {
    return Push("ALTER TABLE " + m_name + " ALTER COLUMN " + column);
}

TableSchema& TableSchema::PrimaryKey(const std::string& columns) {
    return Push("ALTER TABLE " + m_name + " ADD CONSTRAINT " + m_table + "Primary PRIMARY KEY (" +
                columns + ")");
}

TableSchema& TableSchema::Index(int n, const std::string& columns, const std::string& where) {
    std::string sql = "CREATE INDEX " + m_table + "IX" + std::to_string(n) + " ON " + m_name +
                      " (" + columns + ")";
    if (!where.empty()) sql += " WHERE " + where;
    return Push(std::move(sql));
}

TableSchema& TableSchema::UniqueIndex(int n, const std::string& columns) {
    return Push("CREATE UNIQUE INDEX " + m_table + "IX" + std::to_string(n) + " ON " + m_name +
                " (" + columns + ")");
}

TableSchema& TableSchema::Statement(const std::string& sql) { return Push(sql); }

}  // namespace xr::setup
