// Master data around the product: barcodes, departments, groups, modifiers,
// mix-and-match offers, promotions and their packages, offer groups,
// allergies, weighed items and loyalty schemes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "xrdb8/export.h"
#include "xrdb8/records_common.h"
#include "xrdb8/xrtable.h"

#pragma pack(push, 1)
// A barcode (25 bytes).
struct barc_def {
    uint8_t reserved0[2];
    char Barcode[15];  // the key; at most 14 characters come back from a read
    uint64_t PLU;      // the product it stands for
};

// A department (40 bytes).
struct dept_def {
    uint8_t reserved0[2];
    uint16_t DptNo;  // the key
    uint16_t GrpNo;
    uint16_t Tickets;
    uint16_t Flags;  // bit 0 "QtyDP", bit 1 "ValNeg"; other bits are kept
    char Name[22];
    uint8_t reserved1[8];
};

// A group (34 bytes).
struct group_def {
    uint8_t reserved0[2];
    uint16_t GrpNo;  // the key
    char Name[22];
    uint8_t reserved1[8];
};

// A price modifier (34 bytes).
struct plumod2_def {
    int32_t ModNo;  // the key
    char Name[22];
    double Mult;
};

// A mix-and-match offer (46 bytes).
struct mixmatch2_def {
    int32_t MMNo;  // the key
    uint64_t Plu;
    uint16_t Enable;
    uint8_t reserved0[2];
    int32_t DateStart;  // yyyymmdd; the column holds it as eight digits
    int32_t DateEnd;
    int16_t Count[5];  // "Count1".."Count5"
    int32_t MMValue;   // hundredths
    uint8_t reserved1[8];
};

// A promotion (220 bytes).
struct promdet_def {
    int32_t PromNo;      // the key
    uint16_t TypeFlags;  // bits 0-1: the promotion type ("Type"); other bits are kept
    // Type 2: an amount in hundredths ("mdValue"); any other type: a
    // percentage times 100 ("pcValue").
    int32_t Value;
    int32_t Trip;  // hundredths
    int32_t DptNo;
    // Bit 0 "Analysis", bits 1-2 "Gratuity", bit 3 "Vat"; other bits are kept.
    uint16_t Flags;
    uint16_t CatFlags;
    char Description[22];
    // One byte per analysis category 1..100: non-zero when the promotion
    // applies to it (column "AnalysisCats", "3;7;" for categories 3 and 7).
    uint8_t AnalysisCats[100];
    int32_t AnalysisNew;  // 1 once AnalysisCats is the selection in force
    int32_t FilterType;
    int32_t FilterOfferGroup;
    int32_t FlexPromoType;  // read only
    uint8_t reserved0[56];
    int32_t Usage;  // read only
};
#pragma pack(pop)

static_assert(sizeof(barc_def) == 25, "barc_def is 25 bytes");
static_assert(offsetof(barc_def, Barcode) == 2);
static_assert(offsetof(barc_def, PLU) == 17);

static_assert(sizeof(dept_def) == 40, "dept_def is 40 bytes");
static_assert(offsetof(dept_def, DptNo) == 2);
static_assert(offsetof(dept_def, GrpNo) == 4);
static_assert(offsetof(dept_def, Tickets) == 6);
static_assert(offsetof(dept_def, Flags) == 8);
static_assert(offsetof(dept_def, Name) == 10);
static_assert(offsetof(dept_def, reserved1) == 32);

static_assert(sizeof(group_def) == 34, "group_def is 34 bytes");
static_assert(offsetof(group_def, GrpNo) == 2);
static_assert(offsetof(group_def, Name) == 4);
static_assert(offsetof(group_def, reserved1) == 26);

static_assert(sizeof(plumod2_def) == 34, "plumod2_def is 34 bytes");
static_assert(offsetof(plumod2_def, Name) == 4);
static_assert(offsetof(plumod2_def, Mult) == 26);

static_assert(sizeof(mixmatch2_def) == 46, "mixmatch2_def is 46 bytes");
static_assert(offsetof(mixmatch2_def, Plu) == 4);
static_assert(offsetof(mixmatch2_def, Enable) == 12);
static_assert(offsetof(mixmatch2_def, reserved0) == 14);
static_assert(offsetof(mixmatch2_def, DateStart) == 16);
static_assert(offsetof(mixmatch2_def, DateEnd) == 20);
static_assert(offsetof(mixmatch2_def, Count) == 24);
static_assert(offsetof(mixmatch2_def, MMValue) == 34);
static_assert(offsetof(mixmatch2_def, reserved1) == 38);

static_assert(sizeof(promdet_def) == 220, "promdet_def is 220 bytes");
static_assert(offsetof(promdet_def, TypeFlags) == 4);
static_assert(offsetof(promdet_def, Value) == 6);
static_assert(offsetof(promdet_def, Trip) == 10);
static_assert(offsetof(promdet_def, DptNo) == 14);
static_assert(offsetof(promdet_def, Flags) == 18);
static_assert(offsetof(promdet_def, CatFlags) == 20);
static_assert(offsetof(promdet_def, Description) == 22);
static_assert(offsetof(promdet_def, AnalysisCats) == 44);
static_assert(offsetof(promdet_def, AnalysisNew) == 144);
static_assert(offsetof(promdet_def, FilterType) == 148);
static_assert(offsetof(promdet_def, FilterOfferGroup) == 152);
static_assert(offsetof(promdet_def, FlexPromoType) == 156);
static_assert(offsetof(promdet_def, reserved0) == 160);
static_assert(offsetof(promdet_def, Usage) == 216);

// "Barcodes", ordered and keyed by "Barcode".
class XRDB8_API CBarc : public CXRTable {
public:
    CBarc();
    CBarc(const CBarc& other);
    CBarc& operator=(const CBarc& other);
    ~CBarc() override;
    int StructureTo() override;
    int StructureFrom() override;

    // The barcode `barcode` (any text: quotes are doubled in the query).
    int Equ(const char* barcode);
    int AddUpdate(barc_def& def);

    barc_def m_def;

protected:
    // Lines of a CSV file into the table (see CXRTable::ImportCSV).
    int ImportCSVBody(CStdioFile& file, int flags) override;

private:
    xr::records::ColumnIndex m_columns;
};

// "Depts", ordered and keyed by "DptNo".
class XRDB8_API CDept : public CXRTable {
public:
    CDept();
    CDept(const CDept& other);
    CDept& operator=(const CDept& other);
    ~CDept() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int dptNo);
    int AddUpdate(dept_def& def);

    dept_def m_def;

protected:
    // Lines of a CSV file into the table (see CXRTable::ImportCSV).
    int ImportCSVBody(CStdioFile& file, int flags) override;

private:
    xr::records::ColumnIndex m_columns;
};

// "Groups", ordered and keyed by "GrpNo".
class XRDB8_API CGroup : public CXRTable {
public:
    CGroup();
    CGroup(const CGroup& other);
    CGroup& operator=(const CGroup& other);
    ~CGroup() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int grpNo);
    int AddUpdate(group_def& def);

    group_def m_def;

protected:
    // Lines of a CSV file into the table (see CXRTable::ImportCSV).
    int ImportCSVBody(CStdioFile& file, int flags) override;

private:
    xr::records::ColumnIndex m_columns;
};

// "PLUModifiers", ordered and keyed by "ModNo".
class XRDB8_API CPLUModifier : public CXRTable {
public:
    CPLUModifier();
    CPLUModifier(const CPLUModifier& other);
    CPLUModifier& operator=(const CPLUModifier& other);
    ~CPLUModifier() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int modNo);
    int AddUpdate(plumod2_def& def);

    plumod2_def m_def;

private:
    xr::records::ColumnIndex m_columns;
};

// "MixMatch", ordered and keyed by "MMNo".
class XRDB8_API CMixMatch : public CXRTable {
public:
    CMixMatch();
    CMixMatch(const CMixMatch& other);
    CMixMatch& operator=(const CMixMatch& other);
    ~CMixMatch() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int mmNo);
    int AddUpdate(mixmatch2_def& def);

    mixmatch2_def m_def;

private:
    xr::records::ColumnIndex m_columns;
};

// "MixMatchPlus", ordered and keyed by "MMNo"; no structure.
class XRDB8_API CMixMatchPlus : public CXRTable {
public:
    CMixMatchPlus();
    int Equ(int mmNo);
};

// "Promos", ordered and keyed by "PromNo". A new object selects every
// analysis category (AnalysisCats all 1, AnalysisNew 1) and FilterType 1.
// Reading a row whose "AnalysisNew" is 0 (a row of an older release) leaves
// AnalysisCats and CatFlags as they were; every write stores the selection
// and "AnalysisNew" 1.
class XRDB8_API CPromo : public CXRTable {
public:
    CPromo();
    CPromo(const CPromo& other);
    CPromo& operator=(const CPromo& other);
    ~CPromo() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int promNo);
    int AddUpdate(promdet_def& def);

    promdet_def m_def;

private:
    xr::records::ColumnIndex m_columns;
    std::string m_catsText;  // "AnalysisCats" as last read, kept for its room
};

// "PromoPackages", ordered and keyed by "PackageNo". A package holds up to
// ten items; an item whose type is 0 is an empty place, stored as NULLs.
class XRDB8_API CPromoPackage : public CXRTable {
public:
    CPromoPackage();
    CPromoPackage(const CPromoPackage& other);
    CPromoPackage& operator=(const CPromoPackage& other);
    ~CPromoPackage() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int packageNo);

    uint16_t m_packageNo;
    std::string m_description;
    int32_t m_type[10];     // "Type1".."Type10"
    int32_t m_qty[10];      // "Qty1".."Qty10"
    uint64_t m_typeId[10];  // "TypeID1".."TypeID10"
    int m_loaded;           // 1 once a row has been read

private:
    xr::records::ColumnIndex m_columns;
};

// "OfferGroups", ordered and keyed by "OfferGroupID"; no structure.
class XRDB8_API COfferGroup : public CXRTable {
public:
    COfferGroup();
};

// "OfferGroupEntries", keyed by "OfferGroupID", "OfferGroupType", "ID";
// no structure.
class XRDB8_API COfferGroupEntry : public CXRTable {
public:
    COfferGroupEntry();
};

// "Allergies", ordered and keyed by "AllergyCode".
class XRDB8_API CAllergies : public CXRTable {
public:
    CAllergies();
    CAllergies(const CAllergies& other);
    CAllergies& operator=(const CAllergies& other);
    ~CAllergies() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int allergyCode);

    int32_t m_allergyCode;
    std::string m_description;

private:
    xr::records::ColumnIndex m_columns;
};

// Weighed items: the whole table is "WMPlus", the key queries go to "WMPlu"
// (the table comes from outside the library).
class XRDB8_API CWMPlu : public CXRTable {
public:
    CWMPlu();
    CWMPlu(const CWMPlu& other);
    CWMPlu& operator=(const CWMPlu& other);
    ~CWMPlu() override;
    int StructureTo() override;
    int StructureFrom() override;

    // By weighed-item number.
    int Equ(int wmPlu);
    // By product number.
    int Equ(long plu);

    int32_t m_wmPlu;
    int32_t m_plu;

private:
    xr::records::ColumnIndex m_columns;
};

// Bits of CLoyalty::m_flags, each set when its column is not 0.
enum : uint16_t {
    LOY_PROMOTION = 0x0001,
    LOY_CHECKDIGIT = 0x0002,
    LOY_ISLOCAL = 0x0004,
};

// "Loyalty", the old single loyalty scheme: no order and no key. A write
// always stores till number 0, so Equ(0) finds what this class wrote.
class XRDB8_API CLoyalty : public CXRTable {
public:
    CLoyalty();
    CLoyalty(const CLoyalty& other);
    CLoyalty& operator=(const CLoyalty& other);
    ~CLoyalty() override;
    int StructureTo() override;
    int StructureFrom() override;

    int Equ(int tillNo);

    uint16_t m_logType;
    uint16_t m_flags;  // LOY_PROMOTION, LOY_CHECKDIGIT, LOY_ISLOCAL
    int32_t m_points;
    char m_lowerID[20];
    char m_upperID[20];
    char m_format[20];

private:
    xr::records::ColumnIndex m_readColumns;
    xr::records::ColumnIndex m_writeColumns;
};

// "Loyalty5", the loyalty schemes, ordered and keyed by "SchemeNo"; no structure.
class XRDB8_API CLoyalty5 : public CXRTable {
public:
    CLoyalty5();
    int Equ(int schemeNo);
};

// "CLCKeys", ordered and keyed by "KeyValue"; no structure.
class XRDB8_API CCLCKey : public CXRTable {
public:
    CCLCKey();
};
