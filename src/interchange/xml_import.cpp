// XML import: products (one element each, attribute = column) loaded from a
// file into "Products". Every product element is printed back to text and
// loaded on its own by a fresh product object, so a record that fails leaves
// the others untouched; the log names each failure with how far it came.
#include "interchange/xml_import.h"

#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <memory>

#include "frame/app.h"
#include "frame/log.h"
#include "interchange/csv_import.h"
#include "platform/text.h"
#include "table/xrtable.h"
#include "xrdb8/records_products.h"

void xml_CString_writer::write(const void* data, size_t size) {
    m_text.append(static_cast<const char*>(data), size);
}

namespace xr::interchange {

namespace {

constexpr int kXmlWhere = 11000;  // + the progress value, as the log shows it

// The attribute the last record of the thread stopped at (name="value"), for
// its failure reason; empty when none was refused.
thread_local std::string t_refused;
thread_local bool t_notNumber = false;  // refused as no number for a number column

// A value for a number column that is no finite number ("NaN", "inf",
// "12abc", "1e400"): the provider would refuse the whole row only with its
// "Multiple-step operation" text, naming nothing.
bool NotANumberFor(CXRTable& table, const char* name, const std::string& value) {
    if (!table.m_pRS) return false;
    const int index = table.m_pRS->FieldIndex(name);
    if (index < 0) return false;
    switch (table.m_pRS->FieldType(static_cast<size_t>(index))) {
        case adSmallInt:
        case adInteger:
        case adSingle:
        case adDouble:
        case adCurrency:
        case adDecimal:
        case adUnsignedTinyInt:
        case adBigInt:
        case adUnsignedBigInt:
        case adNumeric:
            break;
        default:
            return false;
    }
    const std::string text(Trim(value));
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double d = std::strtod(text.c_str(), &end);
    return end != text.c_str() + text.size() || !std::isfinite(d) || errno == ERANGE;
}

// The key condition's value: the attribute read as a whole 64-bit number, so
// that a PLU beyond 32 bits finds its own row.
std::string KeyValue(const pugi::xml_attribute& attribute) {
    const std::string_view text = Trim(attribute.value());
    if (!text.empty() && text[0] == '-') return Format("%lld", attribute.as_llong());
    return Format("%llu", attribute.as_ullong());
}

// Drops a row begun or changed on the recordset but not written.
void DropPending(CXRTable& table) noexcept {
    try {
        if (table.m_pRS && table.m_pRS->IsOpen() && table.m_pRS->EditMode() != engine::adEditNone)
            table.m_pRS->CancelUpdate();
    } catch (...) {
    }
}

// How deep elements nest in `doc` (1: a top element alone). Walked without
// recursion, so that any depth pugixml parses can be measured.
int ElementDepth(const pugi::xml_document& doc) {
    int level = 1;
    int deepest = 0;
    for (pugi::xml_node node = doc.first_child(); node;) {
        if (node.type() == pugi::node_element && level > deepest) deepest = level;
        if (pugi::xml_node child = node.first_child()) {
            node = child;
            ++level;
            continue;
        }
        while (level > 0 && !node.next_sibling()) {
            node = node.parent();
            --level;
        }
        node = level > 0 ? node.next_sibling() : pugi::xml_node();
    }
    return deepest;
}

}  // namespace

int LoadXmlRecord(CXRTable& table, std::string& xml, bool* added) {
    if (added) *added = false;
    pugi::xml_document doc;
    if (!doc.load_buffer(xml.data(), xml.size())) return 0;
    table.m_xmlCount = kXmlParsed;
    pugi::xml_node element = doc.first_child();
    while (element && element.type() != pugi::node_element) element = element.next_sibling();
    if (!element) return 0;

    try {
        // The table must open; opened as a table (a keyset cursor) it would
        // fix every row's key first, which for each record of a file makes a
        // load take the square of the table's size.
        if (!table.OpenRS(("SELECT * FROM [" + table.m_name + "] WHERE 1 = 0").c_str())) return 0;
        table.m_xmlCount = kXmlTableOpen;

        table.m_xmlCount = kXmlKeys;
        std::string sql = Format("SELECT * FROM [%s]", table.m_name.c_str());
        for (int k = 0; k < 6 && !table.m_keys[k].empty(); ++k) {
            ++table.m_xmlCount;
            const std::string& key = table.m_keys[k];
            sql += k == 0 ? " WHERE " : " AND ";
            const pugi::xml_attribute attribute = element.attribute(key.c_str());
            if (!attribute) return 0;
            sql += "[" + key + "]=" + KeyValue(attribute);
        }

        table.m_xmlCount = kXmlLookedUp;
        if (!table.OpenGet(sql.c_str())) {
            // A row begun on the recordset itself, not through AddNew: the
            // import is no change to script.
            table.m_pRS->AddNew();
            if (added) *added = true;
        }

        bool complete = true;
        t_refused.clear();
        t_notNumber = false;
        for (const pugi::xml_attribute& attribute : element.attributes()) {
            ++table.m_xmlCount;
            const char* name = attribute.name();
            std::string value = attribute.value();
            ++table.m_xmlCount;
            if (table.FieldFilter(name, value) &&
                ((t_notNumber = NotANumberFor(table, name, value)) ||
                 !table.SetField(name, value))) {
                std::string shown = value.substr(0, 40);
                for (char& c : shown)
                    if (static_cast<unsigned char>(c) < 0x20) c = '?';
                t_refused = std::string(name) + "=\"" + shown + "\"";
                complete = false;
                break;
            }
        }

        table.m_xmlCount = kXmlDone;
        if (!complete) {
            DropPending(table);
            return 0;
        }
        table.m_pRS->Update();
        return 1;
    } catch (...) {
        const ComError error = table::CurrentError();
        DropPending(table);
        table::ReportTable(table.m_name, error, kXmlWhere + table.m_xmlCount);
    }
    return 0;
}

std::string XmlFailureReason(const CXRTable& table) {
    const int at = table.m_xmlCount;
    if (at < kXmlParsed) return "the record does not parse";
    // A printed element always holds one: stopping here means the table
    // could not be opened.
    if (at <= kXmlKeys) return "table " + table.m_name + " cannot be opened: " + LastErrorText();
    if (at > kXmlKeys && at <= kXmlKeys + 6)
        return "no " + table.m_keys[at - kXmlKeys - 1] + " attribute";
    if (at == kXmlDone) {
        if (t_refused.empty())
            return "an attribute names no column or its value is refused: " + LastErrorText();
        if (t_notNumber)
            return "attribute " + t_refused +
                   " is not a value its column can hold (not a number, or out of its range)";
        return "attribute " + t_refused + " is refused: " + LastErrorText();
    }
    return "database error: " + LastErrorText();
}

}  // namespace xr::interchange

int CXRTable::XmlLoadNode(std::string& xml) {
    return xr::interchange::LoadXmlRecord(*this, xml, nullptr);
}

int CXRTable::XmlLoadFile(const char* path, const char* recordName) {
    using namespace xr::interchange;
    static const char* kFunction = "CXRTable::XmlLoadFile";
    const char* file = path ? path : "";
    try {
        pugi::xml_document doc;
        const pugi::xml_parse_result parsed = doc.load_file(file);
        if (!parsed) {
            xr::Log("%s doc load %s failed (%s@%d)", kFunction, file, parsed.description(),
                    static_cast<int>(parsed.offset));
            return 0;
        }
        // A record file is a few levels deep. Printing an element indents
        // each level, which costs the square of the depth, so a document
        // nested beyond any record is refused whole before anything is done.
        if (const int depth = ElementDepth(doc); depth > kXmlMaxDepth) {
            xr::Log("%s doc %s nested %d elements deep (at most %d)", kFunction, file, depth,
                    kXmlMaxDepth);
            return 0;
        }
        const pugi::xml_node top = doc.first_child();
        if (!top) {
            xr::Log("%s doc first %s error", kFunction, file);
            return 0;
        }
        pugi::xml_node node = top;
        if (recordName) {
            node = top.first_child();
            if (!node) {
                xr::Log("%s doc root first %s error", kFunction, file);
                return 0;
            }
            if (std::string_view(node.name()) != recordName) {
                xr::Log("%s doc %s root element (%s) bad name (%s)", kFunction, file, recordName,
                        node.name());
                return 0;
            }
        }

        ImportReport* report = CurrentReport();
        for (int count = 0; node; node = node.next_sibling(), ++count) {
            xml_CString_writer writer;
            const auto print = [&] {
                node.print(writer, "\t", pugi::format_indent, pugi::encoding_auto);
            };
            if (report) {
                if (report->ProgressDue()) report->position = node.offset_debug();
                report->Line();
            }
            // The name is looked at first: an element that is passed over is
            // printed only for a report that still keeps lines.
            if (!xr::IEquals(node.name(), "Products")) {
                if (report) {
                    if (report->firstSkipped.size() < report->keep) print();
                    const std::string name = node.name();
                    report->Skip(count + 1,
                                 name.empty() ? "text, not an element"
                                              : "element " + name + " is not a product",
                                 writer.m_text);
                }
                continue;
            }
            print();
            auto product = std::make_unique<CProduct>();
            bool added = false;
            if (LoadXmlRecord(*product, writer.m_text, &added)) {
                if (report) added ? ++report->added : ++report->changed;
            } else {
                xr::Log("%s %s node=%d %s fail at %d", kFunction, file, count, node.name(),
                        product->m_xmlCount);
                if (report) report->Fail(count + 1, XmlFailureReason(*product), writer.m_text);
            }
        }
        return 1;
    } catch (const std::exception& e) {
        xr::Log("%s %s failed (%s)", kFunction, file, e.what());
    } catch (...) {
        xr::Log("%s %s failed", kFunction, file);
    }
    return 0;
}
