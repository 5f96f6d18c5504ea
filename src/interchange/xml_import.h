// XML import internals: the writer that prints one element to text, and the
// loading of one record element into a table object.
#pragma once

#include <cstddef>
#include <pugixml.hpp>
#include <string>

class CXRTable;

// Collects what pugixml prints into a text: each record element is printed
// on its own and parsed again, so that one bad record cannot spoil the rest.
class xml_CString_writer : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override;

    std::string m_text;
};

namespace xr::interchange {

// Progress values of a record load, kept in the table object's m_xmlCount
// and shown in the log when a record fails.
enum XmlProgress {
    kXmlParsed = 5,
    kXmlTableOpen = 10,
    kXmlKeys = 20,      // + k while the k-th key column is matched
    kXmlLookedUp = 30,  // + 2 per attribute taken
    kXmlDone = 500,
};

// The deepest element nesting a file may have (1: a top element alone); a
// record file has a few levels.
inline constexpr int kXmlMaxDepth = 64;

// One record element given as text into `table` by its key columns: the row
// is found (or begun) and every attribute the table's FieldFilter lets
// through is written by column name. 1 when the row was written. `added`, when
// given, tells whether the row was new.
int LoadXmlRecord(CXRTable& table, std::string& xml, bool* added);

// Why a record stopped where it did, for the operator's summary.
std::string XmlFailureReason(const CXRTable& table);

}  // namespace xr::interchange
