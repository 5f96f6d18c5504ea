// CProduct: the table "Products" through prod_def, the long description and
// the ten price bands.
#include <cinttypes>
#include <cstdlib>
#include <cstring>

#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_products.h"

using namespace xr::records;

namespace {

// Blocks of the map: 0 the structure, 1 the price bands.
constexpr uint8_t kPrices = 1;

// The description goes to two places and comes from one of two: see
// DescriptionTo and DescriptionFrom.
constexpr uint32_t kDescription = 1;

constexpr Column kProductMap[] = {
    Col("PLU", XR_FIELD(prod_def, PLU), Kind::kU64),
    Custom("Description", kDescription),
    Col("Price1", Element<int32_t>(kPrices, 0), Kind::kMoney),
    Col("Price2", Element<int32_t>(kPrices, 1), Kind::kMoney),
    Col("Price3", Element<int32_t>(kPrices, 2), Kind::kMoney),
    Col("Price4", Element<int32_t>(kPrices, 3), Kind::kMoney),
    Col("Price5", Element<int32_t>(kPrices, 4), Kind::kMoney),
    Col("Price6", Element<int32_t>(kPrices, 5), Kind::kMoney),
    Col("Price7", Element<int32_t>(kPrices, 6), Kind::kMoney),
    Col("Price8", Element<int32_t>(kPrices, 7), Kind::kMoney),
    Col("Price9", Element<int32_t>(kPrices, 8), Kind::kMoney),
    Col("Price10", Element<int32_t>(kPrices, 9), Kind::kMoney),
    Col("Dept", XR_FIELD(prod_def, Dept), Kind::kU16),
    Col("VAT", XR_FIELD(prod_def, VAT), Kind::kLetter),
    Col("ProdType", XR_FIELD(prod_def, ProdType), Kind::kI8),
    Col("ProdCat", XR_FIELD(prod_def, ProdCat), Kind::kI8),
    Col("ListMenu", XR_FIELD(prod_def, ListMenu), Kind::kU16),
    Col("ListQual", XR_FIELD(prod_def, ListQual), Kind::kU16),
    Col("ListExtra", XR_FIELD(prod_def, ListExtra), Kind::kU16),
    Bits("Dsp1", XR_FIELD(prod_def, DspFlags), 1u << 1),
    Bits("Dsp2", XR_FIELD(prod_def, DspFlags), 1u << 2),
    Bits("Dsp3", XR_FIELD(prod_def, DspFlags), 1u << 3),
    Bits("Dsp4", XR_FIELD(prod_def, DspFlags), 1u << 4),
    Bits("Dsp5", XR_FIELD(prod_def, DspFlags), 1u << 5),
    Bits("Dsp6", XR_FIELD(prod_def, DspFlags), 1u << 6),
    Bits("Dsp7", XR_FIELD(prod_def, DspFlags), 1u << 7),
    Bits("Dsp8", XR_FIELD(prod_def, DspFlags), 1u << 8),
    Bits("Dsp9", XR_FIELD(prod_def, DspFlags), 1u << 9),
    Col("DspPriority", XR_FIELD(prod_def, DspPriority), Kind::kU16),
    Col("Discount", XR_FIELD(prod_def, Discount), Kind::kU16),
    Bits("DiscountStaff", XR_FIELD(prod_def, Flags), PROD_DISCOUNTSTAFF),
    Col("PriceType", XR_FIELD(prod_def, PriceType), Kind::kU16),
    Col("MMOffer", XR_FIELD(prod_def, MMOffer), Kind::kI16),
    Col("MMBucket", XR_FIELD(prod_def, MMBucket), Kind::kChar),
    Bits("FreeText", XR_FIELD(prod_def, Flags), PROD_FREETEXT),
    // The tills' own columns: the only ones a V$-only write stores.
    Bits("V$SoldOut", XR_FIELD(prod_def, Flags), PROD_SOLDOUT, kVColumn),
    Bits("V$StkDone", XR_FIELD(prod_def, Flags), PROD_STKDONE, kVColumn),
    Bits("V$StkDirty", XR_FIELD(prod_def, Flags), PROD_STKDIRTY, kVColumn),
    Col("V$StockID", XR_FIELD(prod_def, VStockID), Kind::kI16, kVColumn),
    Col("V$ATpos", XR_FIELD(prod_def, VATpos), Kind::kI32, kVColumn),
};
static_assert(FitsIn(kProductMap, sizeof(prod_def)));
static_assert(FitsIn(kProductMap, 10 * sizeof(int32_t), kPrices));

constexpr Column kDescriptionField =
    Col("Description", XR_FIELD(prod_def, Description), Kind::kText);
constexpr Column kDescriptionString = Col("Description", Whole<std::string>(0), Kind::kString);

}  // namespace

CProduct::CProduct() : m_prices{}, m_allBands(0) {
    m_name = "Products";
    m_orderBy = "PLU";
    m_keys[0] = "PLU";
    std::memset(&m_def, 0, sizeof m_def);
}

CProduct::CProduct(const CProduct& other)
    : CXRTable(other),
      m_def(other.m_def),
      m_description(other.m_description),
      m_allBands(other.m_allBands),
      m_columns(other.m_columns) {
    std::memcpy(m_prices, other.m_prices, sizeof m_prices);
}

CProduct& CProduct::operator=(const CProduct& other) {
    if (this == &other) return *this;
    CXRTable::operator=(other);
    m_def = other.m_def;
    m_description = other.m_description;
    std::memcpy(m_prices, other.m_prices, sizeof m_prices);
    m_allBands = other.m_allBands;
    m_columns = other.m_columns;
    return *this;
}

CProduct::~CProduct() = default;

int CProduct::StructureTo() {
    ReadRow(*this, kProductMap, m_columns, {&m_def, m_prices}, [this](const Column&, int32_t& pos) {
        // Both from the one column, read once: the string keeps the whole
        // text, the structure 17 characters of it.
        if (ReadEntry(*this, kDescriptionString, pos, &m_description))
            CopyTextTo(m_def.Description, sizeof m_def.Description, m_description);
    });
    return 1;
}

int CProduct::StructureFrom() {
    WriteRow(*this, kProductMap, m_columns, {&m_def, m_prices}, m_vOnly != 0,
             [this](const Column&, int32_t& pos) {
                 // The string when there is one: a structure that came in
                 // through the flat interface cannot shorten a product's
                 // description to its 17 characters.
                 if (!m_description.empty())
                     WriteEntry(*this, kDescriptionString, pos, &m_description);
                 else
                     WriteEntry(*this, kDescriptionField, pos, &m_def);
             });
    return 1;
}

int CProduct::Equ(uint64_t plu) {
    return OpenKey(*this, xr::Format("SELECT * FROM Products WHERE PLU=%" PRIu64, plu));
}

int CProduct::AddUpdate(prod_def& def, int vOnly) {
    const prod_def given = def;
    return StoreRecord(*this, Equ(given.PLU) == 1, &m_def, &given, sizeof given, vOnly);
}

int CProduct::UpdateCurrent(prod_def& def, int vOnly) {
    std::memmove(&m_def, &def, sizeof m_def);
    return Update(vOnly);
}

int32_t CProduct::getPrice(int band) { return band >= 0 && band < 10 ? m_prices[band] : 0; }

void CProduct::setPrice(int band, int32_t price) {
    if (band >= 0 && band < 10) m_prices[band] = price;
}

void CProduct::SetDescription(const char* text) { m_description = xr::SafeText(text); }

int CProduct::FieldFilter(const char* column, std::string& /*value*/) {
    if (!column) return 1;
    return std::strlen(column) >= 3 && column[0] == 'V' && column[1] == '$' ? 0 : 1;
}

int CProduct::xsupp(prod_def& def, const char* text) {
    if (!text) return 0;
    const int item = std::atoi(text);
    const char* p = text;
    while (*p >= '0' && *p <= '9') ++p;
    if (*p != '=' || item != 1) return 0;
    // Item 1: the sold-out flag.
    if (std::atoi(p + 1) & 1)
        def.Flags = static_cast<uint16_t>(def.Flags | PROD_SOLDOUT);
    else
        def.Flags = static_cast<uint16_t>(def.Flags & ~PROD_SOLDOUT);
    return 1;
}
