// The CSV line layouts of the six tables the back office fills from files:
// barcodes, departments, groups, servers (staff), tables (seating) and
// products. Each line adds, changes or deletes one record found by its key;
// the second field "delete" removes the record. Every change goes to the
// table's change log (ImportCSV opens it), so the same edit can be replayed
// at other sites.
#include <cstring>
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
using xr::interchange::LastErrorText;

namespace {

bool IsDelete(const std::string& field) { return xr::IEquals(field, "delete"); }

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
    CsvLines lines(file);
    int result = 1;
    if (flags) DeleteAll();
    std::string line, name;
    while (result && lines.Next(line)) {
        int pos = 0;
        int dptNo = 0;
        if (!CSVParse(line.c_str(), pos, dptNo)) {
            lines.Skip(NoKey(line, "no department number"));
            continue;
        }
        if (dptNo < 1 || dptNo > 999) {
            lines.Skip(xr::Format("department number %d is outside 1 to 999", dptNo));
            continue;
        }
        std::memset(&m_def, 0, sizeof m_def);
        const bool found = Equ(dptNo) == 1;
        if (!CSVParse(line.c_str(), pos, name)) {
            lines.Skip("no name");
            continue;
        }
        if (IsDelete(name)) {
            DeleteLine(*this, lines, found);
            continue;
        }
        int grpNo = 0;
        if (!CSVParse(line.c_str(), pos, grpNo)) {
            lines.Skip("no group number");
            continue;
        }
        if (grpNo < 1 || grpNo > 99) {
            lines.Skip(xr::Format("group number %d is outside 1 to 99", grpNo));
            continue;
        }
        if (!found && !AddNew()) {
            lines.Fail("not added: " + LastErrorText());
            result = ImportCSVError(line.c_str());
            continue;
        }
        m_def.DptNo = static_cast<uint16_t>(dptNo);
        CopyField(m_def.Name, sizeof m_def.Name, name);
        m_def.GrpNo = static_cast<uint16_t>(grpNo);
        if (!WriteLine(*this, lines, !found)) result = ImportCSVError(line.c_str());
    }
    return result;
}

// GrpNo (1-99), Name (or "delete").
int CGroup::ImportCSVBody(CStdioFile& file, int flags) {
    CsvLines lines(file);
    int result = 1;
    if (flags) DeleteAll();
    std::string line, name;
    while (result && lines.Next(line)) {
        int pos = 0;
        int grpNo = 0;
        if (!CSVParse(line.c_str(), pos, grpNo)) {
            lines.Skip(NoKey(line, "no group number"));
            continue;
        }
        if (grpNo < 1 || grpNo > 99) {
            lines.Skip(xr::Format("group number %d is outside 1 to 99", grpNo));
            continue;
        }
        std::memset(&m_def, 0, sizeof m_def);
        const bool found = Equ(grpNo) == 1;
        if (!CSVParse(line.c_str(), pos, name)) {
            lines.Skip("no name");
            continue;
        }
        if (IsDelete(name)) {
            DeleteLine(*this, lines, found);
            continue;
        }
        if (!found && !AddNew()) {
            lines.Fail("not added: " + LastErrorText());
            result = ImportCSVError(line.c_str());
            continue;
        }
        m_def.GrpNo = static_cast<uint16_t>(grpNo);
        CopyField(m_def.Name, sizeof m_def.Name, name);
        if (!WriteLine(*this, lines, !found)) result = ImportCSVError(line.c_str());
    }
    return result;
}

// SrvNo, Name (or "delete"), Auth, Password, Drawer.
int CServer::ImportCSVBody(CStdioFile& file, int flags) {
    CsvLines lines(file);
    int result = 1;
    if (flags) DeleteAll();
    std::string line, name;
    while (result && lines.Next(line)) {
        int pos = 0;
        int srvNo = 0;
        if (!CSVParse(line.c_str(), pos, srvNo)) {
            lines.Skip(NoKey(line, "no server number"));
            continue;
        }
        std::memset(&m_def, 0, sizeof m_def);
        const bool found = Equ(srvNo) == 1;
        if (!CSVParse(line.c_str(), pos, name)) {
            lines.Skip("no name");
            continue;
        }
        if (IsDelete(name)) {
            DeleteLine(*this, lines, found);
            continue;
        }
        if (!found && !AddNew()) {
            lines.Fail("not added: " + LastErrorText());
            result = ImportCSVError(line.c_str());
            continue;
        }
        m_def.SrvNo = static_cast<uint16_t>(srvNo);
        CopyField(m_def.Name, sizeof m_def.Name, name);
        int auth = 0, password = 0, drawer = 0;
        const char* missing = !CSVParse(line.c_str(), pos, auth)       ? "no authority level"
                              : !CSVParse(line.c_str(), pos, password) ? "no password"
                              : !CSVParse(line.c_str(), pos, drawer)   ? "no drawer"
                                                                       : nullptr;
        if (missing) {
            if (!found) CancelUpdate();
            lines.Skip(missing);
            continue;
        }
        m_def.Auth = static_cast<int16_t>(auth);
        m_def.Password = static_cast<uint16_t>(password);
        m_def.Drawer = static_cast<uint16_t>(drawer);
        if (!WriteLine(*this, lines, !found)) result = ImportCSVError(line.c_str());
    }
    return result;
}

// TblNo, Name (or "delete"), Account.
int CTable::ImportCSVBody(CStdioFile& file, int flags) {
    CsvLines lines(file);
    int result = 1;
    if (flags) DeleteAll();
    std::string line, name;
    while (result && lines.Next(line)) {
        int pos = 0;
        int tblNo = 0;
        if (!CSVParse(line.c_str(), pos, tblNo)) {
            lines.Skip(NoKey(line, "no table number"));
            continue;
        }
        std::memset(&m_def, 0, sizeof m_def);
        const bool found = Equ(tblNo) == 1;
        if (!CSVParse(line.c_str(), pos, name)) {
            lines.Skip("no name");
            continue;
        }
        if (IsDelete(name)) {
            DeleteLine(*this, lines, found);
            continue;
        }
        if (!found && !AddNew()) {
            lines.Fail("not added: " + LastErrorText());
            result = ImportCSVError(line.c_str());
            continue;
        }
        m_def.TblNo = static_cast<uint16_t>(tblNo);
        CopyField(m_def.Name, sizeof m_def.Name, name);
        int account = 0;
        if (!CSVParse(line.c_str(), pos, account)) {
            if (!found) CancelUpdate();
            lines.Skip("no account flag");
            continue;
        }
        if (account)
            m_def.Flags = static_cast<uint16_t>(m_def.Flags | TABLE_ACCOUNT);
        else
            m_def.Flags = static_cast<uint16_t>(m_def.Flags & ~TABLE_ACCOUNT);
        if (!WriteLine(*this, lines, !found)) result = ImportCSVError(line.c_str());
    }
    return result;
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
        const auto plu = static_cast<uint64_t>(AtoI64(field));
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
        int value = 0;
        auto number = [&](const char* name) {
            if (!missing.empty()) return false;
            if (CSVParse(text, pos, value)) return true;
            missing = name;
            return false;
        };
        auto textField = [&](const char* name) {
            if (!missing.empty()) return false;
            if (CSVParse(text, pos, field)) return true;
            missing = name;
            return false;
        };
        for (int band = 0; band < bands && missing.empty(); ++band) {
            if (!CSVParse(text, pos, value)) {
                missing = xr::Format("Price%d", band + 1);
                break;
            }
            setPrice(band, value);
            if (band < 4) m_def.Price[band] = value;
        }
        if (number("Dept")) m_def.Dept = static_cast<uint16_t>(value);
        if (textField("VAT"))
            m_def.VAT = static_cast<int16_t>(static_cast<signed char>(field.c_str()[0]) - 'A');
        if (number("ProdType"))
            m_def.ProdType = (value >= 0 && value < 12) ? kProductTypes[value] : 0;
        if (number("ProdCat") && value >= 0 && value <= 100)
            m_def.ProdCat = static_cast<int8_t>(static_cast<uint8_t>(value - 1));
        if (number("ListMenu")) m_def.ListMenu = static_cast<uint16_t>(value);
        if (number("ListQual")) m_def.ListQual = static_cast<uint16_t>(value);
        if (number("ListExtra")) m_def.ListExtra = static_cast<uint16_t>(value);
        for (int n = 1; n <= 9; ++n) {
            const std::string name = xr::Format("Dsp%d", n);
            if (!number(name.c_str())) break;
            const auto bit = static_cast<uint16_t>(1u << n);
            m_def.DspFlags =
                static_cast<uint16_t>(value ? (m_def.DspFlags | bit) : (m_def.DspFlags & ~bit));
        }
        if (number("Discount")) m_def.Discount = static_cast<uint16_t>(value);
        if (number("DspPriority")) m_def.DspPriority = static_cast<uint16_t>(value);
        if (number("PriceType")) m_def.PriceType = static_cast<uint16_t>(value);
        if (number("MMOffer")) m_def.MMOffer = static_cast<int16_t>(value);
        if (textField("MMBucket") && !field.empty()) {
            const char first = field[0];
            const bool letter = (first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z');
            m_def.MMBucket = letter ? first : static_cast<char>(AtoI(field) & 0xFF);
        }
        if (!missing.empty()) {
            if (!found) CancelUpdate();
            lines.Skip("no " + missing);
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
