// The CSV line layouts of the six tables the back office fills from files:
// barcodes, departments, groups, servers (staff), tables (seating) and
// products. Each line adds, changes or deletes one record found by its key;
// the second field "delete" removes the record. Every change goes to the
// table's change log (ImportCSV opens it), so the same edit can be replayed
// at other sites.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "interchange/csv_import.h"
#include "platform/text.h"
#include "xrdb8/records_master.h"
#include "xrdb8/records_payment.h"
#include "xrdb8/records_products.h"
#include "xrdb8/records_tables.h"

using xr::interchange::AtoI;
using xr::interchange::AtoI64;
using xr::interchange::CopyField;
using xr::interchange::CsvLines;
using xr::interchange::KeyRefused;
using xr::interchange::LastErrorText;
using xr::interchange::NumberRefused;
using xr::interchange::ParseField;
using xr::interchange::WholeNumber;

namespace {

bool IsDelete(const std::string& field) { return xr::IEquals(field, "delete"); }

// A number too large for its column (a price beyond 32 bits) fails its line:
// the value cannot be stored as given. A key that is no whole number in range
// skips its line, as a key outside the layout's range does.
bool IsBadNumber(const std::string& why) {
    return why.find(" does not fit its column") != std::string::npos;
}

void SkipOrFail(CsvLines& lines, std::string why) {
    if (IsBadNumber(why))
        lines.Fail(std::move(why));
    else
        lines.Skip(std::move(why));
}

// The reason for a line without its key field.
const char* NoKey(const std::string& line, const char* what) {
    return line.empty() ? "empty line" : what;
}

// Removes the record a "delete" line names; nothing when there is none.
template <typename Table>
void DeleteLine(Table& table, CsvLines& lines, bool found) {
    if (!found) {
        lines.Skip("nothing to delete: no such record");
        return;
    }
    if (table.Delete()) {
        lines.Deleted();
    } else {
        lines.Fail("not deleted: " + LastErrorText());
    }
}

// Writes the record of one line; false when the database refused it (the
// caller then asks ImportCSVError whether to go on).
template <typename Table>
bool WriteLine(Table& table, CsvLines& lines, bool isNew) {
    if (table.Update(0)) {
        isNew ? lines.Added() : lines.Changed();
        return true;
    }
    lines.Fail("not written: " + LastErrorText());
    return false;
}

// The number fields after the key of one line: each must be there and fit
// the column it goes to; `why` tells the first that does not.
struct NumberFields {
    const char* text;
    int& pos;
    std::string why;

    bool Next(const char* what, const char* missing, int64_t low, int64_t high, int& value) {
        std::string field;
        if (!ParseField(text, pos, field)) {
            why = missing;
            return false;
        }
        why = NumberRefused(what, field, low, high);
        if (!why.empty()) return false;
        value = AtoI(field);
        return true;
    }
};

// The layout of the numbered tables: Number, Name (or "delete"), then the
// table's own fields. `refuse` gives why a number is refused ("" when it is
// not); `fill` puts number, name and the rest of the line from `pos` into the
// record and names the first field the line lacks (null when none);
// `error` is the class's ImportCSVError.
template <typename Table, typename Refuse, typename Fill, typename Error>
int ImportNumbered(Table& table, CStdioFile& file, int flags, const char* noNumber, Refuse refuse,
                   Fill fill, Error error) {
    CsvLines lines(file);
    int result = 1;
    if (flags) table.DeleteAll();
    std::string line, name;
    while (result && lines.Next(line)) {
        const char* text = line.c_str();
        int pos = 0;
        std::string key;
        if (!ParseField(text, pos, key)) {
            lines.Skip(NoKey(line, noNumber));
            continue;
        }
        // A key that is not a whole number in the column's range would be
        // read as another record's ("1e3" as 1).
        const std::optional<int64_t> whole = WholeNumber(key);
        if (!whole) {
            lines.Skip(KeyRefused(noNumber + 3, key, 0, UINT16_MAX));
            continue;
        }
        const int number = AtoI(key);
        if (std::string why = refuse(number); !why.empty()) {
            lines.Skip(std::move(why));
            continue;
        }
        if (std::string why = KeyRefused(noNumber + 3, key, 0, UINT16_MAX); !why.empty()) {
            lines.Skip(std::move(why));
            continue;
        }
        std::memset(&table.m_def, 0, sizeof table.m_def);
        const bool found = table.Equ(number) == 1;
        if (!ParseField(text, pos, name)) {
            lines.Skip("no name");
            continue;
        }
        if (IsDelete(name)) {
            DeleteLine(table, lines, found);
            continue;
        }
        if (!found && !table.AddNew()) {
            lines.Fail("not added: " + LastErrorText());
            result = error(text);
            continue;
        }
        CopyField(table.m_def.Name, sizeof table.m_def.Name, name);
        if (const char* missing = fill(number, text, pos)) {
            if (!found) table.CancelUpdate();
            SkipOrFail(lines, missing);
            continue;
        }
        if (!WriteLine(table, lines, !found)) result = error(text);
    }
    return result;
}

// Numbers outside `low` to `high` are refused, named as `what`.
auto Within(const char* what, int low, int high) {
    return [=](int n) {
        return n < low || n > high ? xr::Format("%s %d is outside %d to %d", what, n, low, high)
                                   : std::string();
    };
}

std::string AnyNumber(int) { return {}; }

// ProdType of an import line: an index into the product types the tills know.
constexpr int8_t kProductTypes[] = {0, 1, 20, 40, 41, 42, 90, 30, 31, 32, 33, 43};

}  // namespace

// Barcode, PLU (or "delete").
int CBarc::ImportCSVBody(CStdioFile& file, int flags) {
    CsvLines lines(file);
    if (flags) DeleteAll();
    std::string line, key, second;
    while (lines.Next(line)) {
        int pos = 0;
        if (!CSVParse(line.c_str(), pos, key) || key.empty()) {
            lines.Skip(NoKey(line, "no barcode"));
            continue;
        }
        const std::string barcode = key.substr(0, sizeof m_def.Barcode);
        std::memset(&m_def, 0, sizeof m_def);
        const bool found = Equ(barcode.c_str()) == 1;
        if (!CSVParse(line.c_str(), pos, second)) {
            lines.Skip("no PLU");
            continue;
        }
        if (IsDelete(second)) {
            DeleteLine(*this, lines, found);
            continue;
        }
        if (!found && !AddNew()) {
            lines.Fail("not added: " + LastErrorText());
            ImportCSVError(line.c_str());
            continue;
        }
        CopyField(m_def.Barcode, sizeof m_def.Barcode, barcode);
        m_def.PLU = static_cast<uint64_t>(AtoI64(second));
        if (!WriteLine(*this, lines, !found)) ImportCSVError(line.c_str());
    }
    return 1;  // a barcode file always counts as imported
}

// DptNo (1-999), Name (or "delete"), GrpNo (1-99).
int CDept::ImportCSVBody(CStdioFile& file, int flags) {
    std::string refused;  // a group number outside its range
    return ImportNumbered(
        *this, file, flags, "no department number", Within("department number", 1, 999),
        [&](int dptNo, const char* text, int& pos) -> const char* {
            std::string field;
            if (!ParseField(text, pos, field)) return "no group number";
            refused = KeyRefused("group number", field, 1, 99);
            if (!refused.empty()) return refused.c_str();
            const int grpNo = static_cast<int>(*WholeNumber(field));
            m_def.DptNo = static_cast<uint16_t>(dptNo);
            m_def.GrpNo = static_cast<uint16_t>(grpNo);
            return nullptr;
        },
        [this](const char* line) { return ImportCSVError(line); });
}

// GrpNo (1-99), Name (or "delete").
int CGroup::ImportCSVBody(CStdioFile& file, int flags) {
    return ImportNumbered(
        *this, file, flags, "no group number", Within("group number", 1, 99),
        [this](int grpNo, const char*, int&) -> const char* {
            m_def.GrpNo = static_cast<uint16_t>(grpNo);
            return nullptr;
        },
        [this](const char* line) { return ImportCSVError(line); });
}

// SrvNo, Name (or "delete"), Auth, Password, Drawer.
int CServer::ImportCSVBody(CStdioFile& file, int flags) {
    std::string refused;
    return ImportNumbered(
        *this, file, flags, "no server number", AnyNumber,
        [&](int srvNo, const char* text, int& pos) -> const char* {
            int auth = 0, password = 0, drawer = 0;
            NumberFields f{text, pos, {}};
            if (!f.Next("authority level", "no authority level", INT16_MIN, INT16_MAX, auth) ||
                !f.Next("password", "no password", 0, UINT16_MAX, password) ||
                !f.Next("drawer", "no drawer", 0, UINT16_MAX, drawer)) {
                refused = f.why;
                return refused.c_str();
            }
            m_def.SrvNo = static_cast<uint16_t>(srvNo);
            m_def.Auth = static_cast<int16_t>(auth);
            m_def.Password = static_cast<uint16_t>(password);
            m_def.Drawer = static_cast<uint16_t>(drawer);
            return nullptr;
        },
        [this](const char* line) { return ImportCSVError(line); });
}

// TblNo, Name (or "delete"), Account.
int CTable::ImportCSVBody(CStdioFile& file, int flags) {
    return ImportNumbered(
        *this, file, flags, "no table number", AnyNumber,
        [this](int tblNo, const char* text, int& pos) -> const char* {
            int account = 0;
            if (!ParseField(text, pos, account)) return "no account flag";
            m_def.TblNo = static_cast<uint16_t>(tblNo);
            m_def.Flags = static_cast<uint16_t>(account ? (m_def.Flags | TABLE_ACCOUNT)
                                                        : (m_def.Flags & ~TABLE_ACCOUNT));
            return nullptr;
        },
        [this](const char* line) { return ImportCSVError(line); });
}

// PLU, Description (or "delete", or "$$supp<item>=<value>"), N prices (4, or
// 10 with all price bands), Dept, VAT, ProdType, ProdCat, ListMenu, ListQual,
// ListExtra, Dsp1..Dsp9, Discount, DspPriority, PriceType, MMOffer, MMBucket
// and, optionally, FreeText.
int CProduct::ImportCSVBody(CStdioFile& file, int flags) {
    CsvLines lines(file);
    int result = 1;
    if (flags) DeleteAll();
    const int bands = m_allBands ? 10 : 4;
    std::string line, description, field;
    while (result && lines.Next(line)) {
        const char* text = line.c_str();
        int pos = 0;
        if (!CSVParse(text, pos, field)) {
            lines.Skip(NoKey(line, "no PLU"));
            continue;
        }
        if (std::string why = KeyRefused("PLU", field, 0, INT64_MAX); !why.empty()) {
            lines.Skip(std::move(why));
            continue;
        }
        const auto plu = static_cast<uint64_t>(*WholeNumber(field));
        std::memset(&m_def, 0, sizeof m_def);
        const bool found = Equ(plu) == 1;
        if (!CSVParse(text, pos, description)) {
            lines.Skip("no description");
            continue;
        }
        if (IsDelete(description)) {
            DeleteLine(*this, lines, found);
            continue;
        }
        if (description.size() >= 6 && xr::IEquals(description.substr(0, 6), "$$supp")) {
            // A till-side item of an existing product; only its V$ columns change.
            if (!found) {
                lines.Skip("supplementary item for a product that does not exist");
            } else if (!xsupp(m_def, description.c_str() + 6)) {
                lines.Skip("unknown supplementary item");
            } else if (Update(1)) {
                lines.Changed();
            } else {
                lines.Fail("not written: " + LastErrorText());
                result = ImportCSVError(text);
            }
            continue;
        }
        if (!found && !AddNew()) {
            lines.Fail("not added: " + LastErrorText());
            result = ImportCSVError(text);
            continue;
        }
        m_def.PLU = plu;
        SetDescription(description.c_str());
        CopyField(m_def.Description, sizeof m_def.Description - 1, description);
        m_def.Description[sizeof m_def.Description - 1] = 0;

        // The fields up to MMBucket are required; `missing` names the first
        // one the line lacks.
        std::string missing;
        std::string refused;  // a number too large for its column
        int value = 0;
        // `low` to `high`: the column's range; a field whose values outside it
        // have a meaning of their own takes the whole 32 bits.
        auto number = [&](const char* name, int64_t low = INT32_MIN, int64_t high = INT32_MAX) {
            if (!missing.empty() || !refused.empty()) return false;
            if (!CSVParse(text, pos, field)) {
                missing = name;
                return false;
            }
            refused = NumberRefused(name, field, low, high);
            if (!refused.empty()) return false;
            value = AtoI(field);
            return true;
        };
        auto textField = [&](const char* name) {
            if (!missing.empty() || !refused.empty()) return false;
            if (CSVParse(text, pos, field)) return true;
            missing = name;
            return false;
        };
        for (int band = 0; band < bands && missing.empty() && refused.empty(); ++band) {
            const std::string name = xr::Format("Price%d", band + 1);
            if (!number(name.c_str())) break;
            setPrice(band, value);
            if (band < 4) m_def.Price[band] = value;
        }
        if (number("Dept", 0, UINT16_MAX)) m_def.Dept = static_cast<uint16_t>(value);
        if (textField("VAT"))
            m_def.VAT = static_cast<int16_t>(static_cast<signed char>(field.c_str()[0]) - 'A');
        if (number("ProdType"))
            m_def.ProdType = (value >= 0 && value < 12) ? kProductTypes[value] : 0;
        if (number("ProdCat") && value >= 0 && value <= 100)
            m_def.ProdCat = static_cast<int8_t>(static_cast<uint8_t>(value - 1));
        if (number("ListMenu", 0, UINT16_MAX)) m_def.ListMenu = static_cast<uint16_t>(value);
        if (number("ListQual", 0, UINT16_MAX)) m_def.ListQual = static_cast<uint16_t>(value);
        if (number("ListExtra", 0, UINT16_MAX)) m_def.ListExtra = static_cast<uint16_t>(value);
        for (int n = 1; n <= 9; ++n) {
            const std::string name = xr::Format("Dsp%d", n);
            if (!number(name.c_str())) break;
            const auto bit = static_cast<uint16_t>(1u << n);
            m_def.DspFlags =
                static_cast<uint16_t>(value ? (m_def.DspFlags | bit) : (m_def.DspFlags & ~bit));
        }
        if (number("Discount", 0, UINT16_MAX)) m_def.Discount = static_cast<uint16_t>(value);
        if (number("DspPriority", 0, UINT16_MAX)) m_def.DspPriority = static_cast<uint16_t>(value);
        if (number("PriceType", 0, UINT16_MAX)) m_def.PriceType = static_cast<uint16_t>(value);
        if (number("MMOffer", INT16_MIN, INT16_MAX)) m_def.MMOffer = static_cast<int16_t>(value);
        if (textField("MMBucket") && !field.empty()) {
            const char first = field[0];
            const bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
            m_def.MMBucket = letter ? first : static_cast<char>(AtoI(field) & 0xFF);
        }
        if (!missing.empty() || !refused.empty()) {
            if (!found) CancelUpdate();
            if (refused.empty())
                lines.Skip("no " + missing);
            else
                lines.Fail(refused);
            continue;
        }
        if (CSVParse(text, pos, value)) {
            m_def.Flags = static_cast<uint16_t>((value & 1) ? (m_def.Flags | PROD_FREETEXT)
                                                            : (m_def.Flags & ~PROD_FREETEXT));
        }
        if (!WriteLine(*this, lines, !found)) result = ImportCSVError(line.c_str());
    }
    return result;
}
