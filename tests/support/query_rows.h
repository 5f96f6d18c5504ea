// The rows a statement gives on the calling thread's connection, each as
// "a|b|c" ("NULL" for a null): what the tests compare stored data by.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "engine/connection.h"
#include "frame/app.h"

namespace xrtest {

inline std::vector<std::string> QueryRows(const std::string& sql) {
    std::vector<std::string> result;
    xr::CDBConn* conn = xr::TheApp().GetConnection(1, nullptr);
    if (!conn) return {"<no connection>"};
    try {
        auto rows = conn->m_pConn->Query(sql);
        while (rows && rows->Next()) {
            std::string line;
            for (size_t c = 0; c < rows->ColumnCount(); ++c) {
                if (c) line += "|";
                xr::Variant v = rows->Value(c);
                line += v.IsNull() ? "NULL" : v.ToText();
            }
            result.push_back(line);
        }
    } catch (const std::exception& e) {
        result.push_back(std::string("<error> ") + e.what());
    }
    return result;
}

// The first row of `sql`, or "<no row>".
inline std::string QueryScalar(const std::string& sql) {
    std::vector<std::string> rows = QueryRows(sql);
    return rows.empty() ? "<no row>" : rows[0];
}

}  // namespace xrtest
