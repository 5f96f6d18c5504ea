// The record classes that keep their values as members of their own rather
// than in a till structure: promotion packages, allergies, weighed items and
// the old loyalty scheme; and the classes with no mapping at all.
#include <cstring>

#include "platform/text.h"
#include "records/column_map.h"
#include "xrdb8/records_master.h"

using namespace xr::records;

namespace {

// ---- CPromoPackage --------------------------------------------------------------------

constexpr int kItems = 10;
constexpr uint32_t kPackageItems = 1;

// Blocks: 0 the package number, 1 the description.
constexpr Column kPromoPackageMap[] = {
    Col("PackageNo", Whole<uint16_t>(0), Kind::kU16),
    Col("Description", Whole<std::string>(1), Kind::kString),
    // An item of a package is three nullable columns, all NULL for an
    // empty place: a pattern no plain entry states.
    Custom("Type1", kPackageItems),
};

constexpr const char* kTypeNames[kItems] = {"Type1", "Type2", "Type3", "Type4", "Type5",
                                            "Type6", "Type7", "Type8", "Type9", "Type10"};
constexpr const char* kQtyNames[kItems] = {"Qty1", "Qty2", "Qty3", "Qty4", "Qty5",
                                           "Qty6", "Qty7", "Qty8", "Qty9", "Qty10"};
constexpr const char* kTypeIdNames[kItems] = {"TypeID1", "TypeID2", "TypeID3", "TypeID4",
                                              "TypeID5", "TypeID6", "TypeID7", "TypeID8",
                                              "TypeID9", "TypeID10"};

// ---- CAllergies, CWMPlu -----------------------------------------------------------------

// Blocks: 0 the allergy code, 1 the description.
constexpr Column kAllergiesMap[] = {
    Col("AllergyCode", Whole<int32_t>(0), Kind::kI32),
    Col("Description", Whole<std::string>(1), Kind::kString),
};

// Blocks: 0 the weighed-item number, 1 the product number.
constexpr Column kWMPluMap[] = {
    Col("WMPlu", Whole<int32_t>(0), Kind::kI32),
    Col("Plu", Whole<int32_t>(1), Kind::kI32),
};

// ---- CLoyalty ----------------------------------------------------------------------------

// Blocks, for reading and writing alike: 0 log type, 1 flags, 2 points,
// 3 lower ID, 4 upper ID, 5 format.
constexpr FieldRef kLowerID{0, 20, 3};
constexpr FieldRef kUpperID{0, 20, 4};
constexpr FieldRef kFormat{0, 20, 5};

// Reading and writing visit the columns in different orders.
constexpr Column kLoyaltyReadMap[] = {
    Col("LogType", Whole<uint16_t>(0), Kind::kU16),
    Col("Points", Whole<int32_t>(2), Kind::kI32),
    BitSet("Promotion", Whole<uint16_t>(1), LOY_PROMOTION),
    BitSet("CheckDigit", Whole<uint16_t>(1), LOY_CHECKDIGIT),
    BitSet("IsLocal", Whole<uint16_t>(1), LOY_ISLOCAL),
    Col("LowerID", kLowerID, Kind::kText),
    Col("UpperID", kUpperID, Kind::kText),
    Col("Format", kFormat, Kind::kText),
};

constexpr Column kLoyaltyWriteMap[] = {
    Col("LogType", Whole<uint16_t>(0), Kind::kU16),
    BitSet("Promotion", Whole<uint16_t>(1), LOY_PROMOTION),
    BitSet("CheckDigit", Whole<uint16_t>(1), LOY_CHECKDIGIT),
    Col("Points", Whole<int32_t>(2), Kind::kI32),
    BitSet("IsLocal", Whole<uint16_t>(1), LOY_ISLOCAL),
    Col("LowerID", kLowerID, Kind::kText),
    Col("UpperID", kUpperID, Kind::kText),
    Col("Format", kFormat, Kind::kText),
};

}  // namespace

// ---- CPromoPackage ------------------------------------------------------------------------

CPromoPackage::CPromoPackage() : m_packageNo(0), m_type{}, m_qty{}, m_typeId{}, m_loaded(0) {
    m_name = "PromoPackages";
    m_orderBy = "PackageNo";
    m_keys[0] = "PackageNo";
}

CPromoPackage::CPromoPackage(const CPromoPackage& other) = default;
CPromoPackage& CPromoPackage::operator=(const CPromoPackage& other) = default;
CPromoPackage::~CPromoPackage() = default;

int CPromoPackage::StructureTo() {
    ReadRow(*this, kPromoPackageMap, m_columns, {&m_packageNo, &m_description},
            [this](const Column&, int32_t&) {
                for (int i = 0; i < kItems; ++i) {
                    m_type[i] = 0;
                    // An empty place keeps the quantity and id it had.
                    if (IsNull(kTypeNames[i])) continue;
                    GetField(kTypeNames[i], m_type[i]);
                    GetField(kQtyNames[i], m_qty[i]);
                    GetField(kTypeIdNames[i], m_typeId[i]);
                }
            });
    m_loaded = 1;
    return 1;
}

int CPromoPackage::StructureFrom() {
    WriteRow(*this, kPromoPackageMap, m_columns, {&m_packageNo, &m_description}, false,
             [this](const Column&, int32_t&) {
                 for (int i = 0; i < kItems; ++i) {
                     if (m_type[i] == 0) {
                         SetFieldNull(kTypeNames[i]);
                         SetFieldNull(kQtyNames[i]);
                         SetFieldNull(kTypeIdNames[i]);
                     } else {
                         SetField(kTypeNames[i], m_type[i]);
                         SetField(kQtyNames[i], m_qty[i]);
                         SetField(kTypeIdNames[i], m_typeId[i]);
                     }
                 }
             });
    return 1;
}

int CPromoPackage::Equ(int packageNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM PromoPackages WHERE PackageNo=%d", packageNo));
}

// ---- CAllergies ---------------------------------------------------------------------------

CAllergies::CAllergies() : m_allergyCode(0) {
    m_name = "Allergies";
    m_orderBy = "AllergyCode";
    m_keys[0] = "AllergyCode";
}

CAllergies::CAllergies(const CAllergies& other) = default;
CAllergies& CAllergies::operator=(const CAllergies& other) = default;
CAllergies::~CAllergies() = default;

int CAllergies::StructureTo() {
    ReadRow(*this, kAllergiesMap, m_columns, {&m_allergyCode, &m_description});
    return 1;
}

int CAllergies::StructureFrom() {
    WriteRow(*this, kAllergiesMap, m_columns, {&m_allergyCode, &m_description});
    return 1;
}

int CAllergies::Equ(int allergyCode) {
    return OpenKey(*this,
                   xr::Format("SELECT * FROM [Allergies] WHERE [AllergyCode]=%d", allergyCode));
}

// ---- CWMPlu -------------------------------------------------------------------------------

CWMPlu::CWMPlu() : m_wmPlu(0), m_plu(0) {
    m_name = "WMPlus";
    m_orderBy = "WMPlu";
    m_keys[0] = "WMPlu";
}

CWMPlu::CWMPlu(const CWMPlu& other) = default;
CWMPlu& CWMPlu::operator=(const CWMPlu& other) = default;
CWMPlu::~CWMPlu() = default;

int CWMPlu::StructureTo() {
    ReadRow(*this, kWMPluMap, m_columns, {&m_wmPlu, &m_plu});
    return 1;
}

int CWMPlu::StructureFrom() {
    WriteRow(*this, kWMPluMap, m_columns, {&m_wmPlu, &m_plu});
    return 1;
}

int CWMPlu::Equ(int wmPlu) {
    return OpenKey(*this, xr::Format("SELECT * FROM WMPlu WHERE WMPlu=%d", wmPlu));
}

int CWMPlu::Equ(long plu) {
    return OpenKey(*this, xr::Format("SELECT * FROM WMPlu WHERE Plu=%ld", plu));
}

// ---- CLoyalty -----------------------------------------------------------------------------

CLoyalty::CLoyalty() : m_logType(0), m_flags(0), m_points(0), m_lowerID{}, m_upperID{}, m_format{} {
    m_name = "Loyalty";
}

CLoyalty::CLoyalty(const CLoyalty& other) = default;
CLoyalty& CLoyalty::operator=(const CLoyalty& other) = default;
CLoyalty::~CLoyalty() = default;

int CLoyalty::StructureTo() {
    ReadRow(*this, kLoyaltyReadMap, m_readColumns,
            {&m_logType, &m_flags, &m_points, m_lowerID, m_upperID, m_format});
    return 1;
}

int CLoyalty::StructureFrom() {
    // The one scheme of the old loyalty belongs to till 0.
    SetField("TillNo", int32_t{0});
    WriteRow(*this, kLoyaltyWriteMap, m_writeColumns,
             {&m_logType, &m_flags, &m_points, m_lowerID, m_upperID, m_format});
    return 1;
}

int CLoyalty::Equ(int tillNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Loyalty WHERE Tillno=%d", tillNo));
}

// ---- classes without a mapping ------------------------------------------------------------

CLoyalty5::CLoyalty5() {
    m_name = "Loyalty5";
    m_orderBy = "SchemeNo";
    m_keys[0] = "SchemeNo";
}

int CLoyalty5::Equ(int schemeNo) {
    return OpenKey(*this, xr::Format("SELECT * FROM Loyalty5 WHERE SchemeNo=%d", schemeNo));
}

COfferGroup::COfferGroup() {
    m_name = "OfferGroups";
    m_orderBy = "OfferGroupID";
    m_keys[0] = "OfferGroupID";
}

COfferGroupEntry::COfferGroupEntry() {
    m_name = "OfferGroupEntries";
    m_orderBy = "OfferGroupID, OfferGroupType, ID";
    m_keys[0] = "OfferGroupID";
    m_keys[1] = "OfferGroupType";
    m_keys[2] = "ID";
}

CCLCKey::CCLCKey() {
    m_name = "CLCKeys";
    m_orderBy = "KeyValue";
    m_keys[0] = "KeyValue";
}
