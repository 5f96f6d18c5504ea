// CPromo: promotions, with the value whose column depends on the type and
// the selection of analysis categories kept as text.
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_master.h"

using namespace xr::records;

namespace {

constexpr int kAmountType = 2;  // the value is an amount; any other type: a percentage
constexpr int kCategories = 100;

// Hand-written entries.
constexpr uint32_t kValue = 1;         // "pcValue" or "mdValue" by the type
constexpr uint32_t kAnalysisNew = 2;   // whether "AnalysisCats" is in force
constexpr uint32_t kAnalysisCats = 3;  // the selection as text

constexpr Column kPromoMap[] = {
    Col("PromNo", XR_FIELD(promdet_def, PromNo), Kind::kI32),
    Bits("Type", XR_FIELD(promdet_def, TypeFlags), 0x0003),
    Custom("pcValue", kValue),
    Col("Trip", XR_FIELD(promdet_def, Trip), Kind::kMoney),
    Col("DptNo", XR_FIELD(promdet_def, DptNo), Kind::kI32),
    Bits("Analysis", XR_FIELD(promdet_def, Flags), 0x0001),
    Bits("Gratuity", XR_FIELD(promdet_def, Flags), 0x0006),
    Bits("Vat", XR_FIELD(promdet_def, Flags), 0x0008),
    Col("CatFlags", XR_FIELD(promdet_def, CatFlags), Kind::kU16),
    Col("Description", XR_FIELD(promdet_def, Description), Kind::kText),
    Custom("AnalysisNew", kAnalysisNew),
    Custom("AnalysisCats", kAnalysisCats),
    Col("FilterType", XR_FIELD(promdet_def, FilterType), Kind::kI32),
    Col("FilterOfferGroup", XR_FIELD(promdet_def, FilterOfferGroup), Kind::kI32),
    Col("FlexPromoType", XR_FIELD(promdet_def, FlexPromoType), Kind::kI32, kReadOnly),
    Col("Usage", XR_FIELD(promdet_def, Usage), Kind::kI32, kReadOnly | kZeroFirst),
};
static_assert(FitsIn(kPromoMap, sizeof(promdet_def)));

// The columns the hand-written entries reach; each read goes to a local.
constexpr Column kPercent = Col("pcValue", Whole<double>(0), Kind::kDouble, kZeroFirst);
constexpr Column kAmount = Col("mdValue", Whole<int32_t>(0), Kind::kMoney);
constexpr Column kNewColumn = Col("AnalysisNew", Whole<int32_t>(0), Kind::kI32);
constexpr Column kCatsColumn = Col("AnalysisCats", Whole<std::string>(0), Kind::kString);

// A percentage as whole hundredths of a per cent, truncated; what does not
// fit 32 bits gives INT32_MIN, as the tills have always read it.
int32_t PercentTimes100(double percent) {
    const double scaled = std::trunc(percent * 100.0);
    if (!(scaled >= INT32_MIN && scaled <= INT32_MAX)) return INT32_MIN;
    return static_cast<int32_t>(scaled);
}

// "3;7;" selects categories 3 and 7; the text ends at its first empty piece,
// and numbers outside 1..100 select nothing.
void ParseCategories(const std::string& text, uint8_t (&cats)[kCategories]) {
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(';', start);
        if (end == std::string::npos) end = text.size();
        if (end == start) break;
        const int n = std::atoi(text.substr(start, end - start).c_str());
        if (n >= 1 && n <= kCategories) cats[n - 1] = 1;
        start = end + 1;
    }
}

std::string FormatCategories(const uint8_t (&cats)[kCategories]) {
    std::string text;
    for (int n = 1; n <= kCategories; ++n)
        if (cats[n - 1]) text += std::to_string(n) + ";";
    return text;
}

}  // namespace

CPromo::CPromo() {
    m_name = "Promos";
    m_orderBy = "PromNo";
    m_keys[0] = "PromNo";
    std::memset(&m_def, 0, sizeof m_def);
    // A new promotion applies to every analysis category.
    std::memset(m_def.AnalysisCats, 1, sizeof m_def.AnalysisCats);
    m_def.AnalysisNew = 1;
    m_def.FilterType = 1;
}

CPromo::CPromo(const CPromo& other) = default;
CPromo& CPromo::operator=(const CPromo& other) = default;
CPromo::~CPromo() = default;

int CPromo::StructureTo() {
    ReadRow(*this, kPromoMap, m_columns, {&m_def}, [this](const Column& c, int32_t& pos) {
        switch (c.offset) {
            case kValue:
                if ((m_def.TypeFlags & 3) == kAmountType) {
                    int32_t amount = 0;
                    ReadEntry(*this, kAmount, pos, &amount);
                    m_def.Value = amount;
                } else {
                    double percent = 0;
                    ReadEntry(*this, kPercent, pos, &percent);
                    m_def.Value = PercentTimes100(percent);
                }
                break;
            case kAnalysisNew: {
                int32_t isNew = 0;
                ReadEntry(*this, kNewColumn, pos, &isNew);
                m_def.AnalysisNew = isNew;
                break;
            }
            case kAnalysisCats: {
                // Rows of older releases keep their selection in the 16-bit
                // "Analysis" mask until the set-up converts them ("AnalysisNew"
                // 0): then the structure keeps what it had.
                if (m_def.AnalysisNew == 0) break;
                ReadEntry(*this, kCatsColumn, pos, &m_catsText);
                uint8_t cats[kCategories] = {};
                ParseCategories(m_catsText, cats);
                std::memcpy(m_def.AnalysisCats, cats, sizeof cats);
                m_def.CatFlags = 0;
                break;
            }
        }
    });
    return 1;
}

int CPromo::StructureFrom() {
    WriteRow(*this, kPromoMap, m_columns, {&m_def}, false, [this](const Column& c, int32_t&) {
        switch (c.offset) {
            case kValue:
                if ((m_def.TypeFlags & 3) == kAmountType) {
                    SetFieldDec("pcValue", 0.0);
                    SetFieldAmt("mdValue", m_def.Value);
                } else {
                    SetFieldDec("pcValue", m_def.Value / 100.0);
                    SetFieldAmt("mdValue", 0);
                }
                break;
            case kAnalysisCats: {
                // The selection, then the mark that it is in force.
                uint8_t cats[kCategories];
                std::memcpy(cats, m_def.AnalysisCats, sizeof cats);
                SetField("AnalysisCats", FormatCategories(cats));
                m_def.AnalysisNew = 1;
                SetField("AnalysisNew", int32_t{1});
                break;
            }
        }
    });
    return 1;
}

int CPromo::Equ(int promNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Promos WHERE PromNo=%d", promNo));
}

int CPromo::AddUpdate(promdet_def& def) {
    const promdet_def given = def;
    return StoreRecord(*this, Equ(given.PromNo) == 1, &m_def, &given, sizeof given);
}
