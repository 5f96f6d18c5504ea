// Products: prod_def, the product record of the tills, and CProduct over the
// table "Products" with the long description and the ten price bands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "xrdb8/export.h"
#include "xrdb8/records_common.h"
#include "xrdb8/xrtable.h"

#pragma pack(push, 1)
// One product as the tills hold it (160 bytes). Reserved stretches are
// carried unchanged by every read and write.
struct prod_def {
    uint8_t reserved0[2];
    char Description[18];  // at most 17 characters; the full text is CProduct's description
    uint64_t PLU;          // the product's number and key
    int32_t Price[4];      // legacy price places: filled by the CSV import only
    uint16_t Dept;
    int16_t VAT;  // tax class letter as an index: 0 is "A"; an empty column reads as -65
    int8_t ProdType;
    int8_t ProdCat;
    uint16_t ListMenu;
    uint16_t ListQual;
    uint16_t ListExtra;
    uint16_t DspFlags;  // bit n (1..9): column "Dsp<n>"; bits 0 and 10-15 are kept
    uint16_t Discount;
    uint8_t reserved1[64];
    uint16_t DspPriority;
    uint16_t PriceType;
    int16_t MMOffer;  // mix-and-match number
    char MMBucket;
    uint8_t reserved2[1];
    uint16_t Flags;  // PROD_FREETEXT ... PROD_STKDIRTY; other bits are kept
    int32_t VATpos;  // "V$ATpos"
    uint8_t reserved3[8];
    int16_t VStockID;  // "V$StockID"
    uint8_t reserved4[12];
};
#pragma pack(pop)

// Bits of prod_def::Flags.
enum : uint16_t {
    PROD_FREETEXT = 0x0001,       // "FreeText"
    PROD_SOLDOUT = 0x0002,        // "V$SoldOut"
    PROD_DISCOUNTSTAFF = 0x0004,  // "DiscountStaff"
    PROD_STKDONE = 0x4000,        // "V$StkDone"
    PROD_STKDIRTY = 0x8000,       // "V$StkDirty"
};

static_assert(sizeof(prod_def) == 160, "prod_def is 160 bytes");
static_assert(offsetof(prod_def, Description) == 2);
static_assert(offsetof(prod_def, PLU) == 20);
static_assert(offsetof(prod_def, Price) == 28);
static_assert(offsetof(prod_def, Dept) == 44);
static_assert(offsetof(prod_def, VAT) == 46);
static_assert(offsetof(prod_def, ProdType) == 48);
static_assert(offsetof(prod_def, ProdCat) == 49);
static_assert(offsetof(prod_def, ListMenu) == 50);
static_assert(offsetof(prod_def, ListQual) == 52);
static_assert(offsetof(prod_def, ListExtra) == 54);
static_assert(offsetof(prod_def, DspFlags) == 56);
static_assert(offsetof(prod_def, Discount) == 58);
static_assert(offsetof(prod_def, reserved1) == 60);
static_assert(offsetof(prod_def, DspPriority) == 124);
static_assert(offsetof(prod_def, PriceType) == 126);
static_assert(offsetof(prod_def, MMOffer) == 128);
static_assert(offsetof(prod_def, MMBucket) == 130);
static_assert(offsetof(prod_def, reserved2) == 131);
static_assert(offsetof(prod_def, Flags) == 132);
static_assert(offsetof(prod_def, VATpos) == 134);
static_assert(offsetof(prod_def, reserved3) == 138);
static_assert(offsetof(prod_def, VStockID) == 146);
static_assert(offsetof(prod_def, reserved4) == 148);

// The table "Products", ordered and keyed by "PLU".
//
// The description lives twice: the 18-byte prod_def::Description and the
// full-length description string. Reading fills both; writing stores the
// string when it is not empty and the 18-byte field only when it is. So set a
// new description with SetDescription; a structure copied in through AddUpdate
// keeps the stored description of a product the object has read.
//
// The ten price bands live outside prod_def: every write stores all ten from
// the object's bands, which hold the prices of the row read last (0 after
// construction and after AddNew).
//
// The "V$" columns (sold out, stock state, stock id, ATpos) belong to the
// tills: Update(1), AddUpdate(def, 1) of an existing product and
// UpdateCurrent(def, 1) write those five columns alone.
class XRDB8_API CProduct : public CXRTable {
public:
    CProduct();
    CProduct(const CProduct& other);
    CProduct& operator=(const CProduct& other);
    ~CProduct() override;

    int StructureTo() override;
    int StructureFrom() override;

    // The product `plu`: 1 when found (m_def holds it), 0 when not or when
    // the query failed.
    int Equ(uint64_t plu);
    // Writes `def` by its PLU: an existing product with Update(vOnly), a new
    // one with Update(0) (every column). 0 when adding or writing fails.
    int AddUpdate(prod_def& def, int vOnly);
    // Writes `def` over the row the object stands on, with Update(vOnly).
    int UpdateCurrent(prod_def& def, int vOnly);

    // Price band 0..9 (band 0 is column "Price1"); 0 for any other band.
    int32_t getPrice(int band);
    // Sets band 0..9; any other band is ignored.
    void setPrice(int band, int32_t price);
    // The full description written by StructureFrom when not empty.
    void SetDescription(const char* text);
    std::string& GetDescription() { return m_description; }
    // With it set the CSV import reads ten price bands per line, else four.
    void SetAllPriceBands(int on) { m_allBands = on; }
    int GetAllPriceBands() const { return m_allBands; }

    prod_def m_def;

protected:
    // The XML import writes no "V$" column: 0 for a name of three characters
    // or more that begins with "V$" (with case), else 1.
    int FieldFilter(const char* column, std::string& value) override;
    // Lines of a CSV file into the table (see CXRTable::ImportCSV).
    int ImportCSVBody(CStdioFile& file, int flags) override;
    // One supplementary item of the CSV import, "<item>=<value>": item 1 sets
    // PROD_SOLDOUT of `def` to bit 0 of the value and gives 1; anything else
    // gives 0 and changes nothing.
    int xsupp(prod_def& def, const char* text);

private:
    std::string m_description;
    int32_t m_prices[10];
    int m_allBands;
    xr::records::ColumnIndex m_columns;
};
