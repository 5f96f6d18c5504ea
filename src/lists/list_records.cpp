// CListHdr and CListItem: the rows of ListHdrs and ListItems.
#include <cstring>

#include "records/column_map.h"
#include "xrdb8/lists.h"

using namespace xr::records;

namespace {

// Entries the map cannot state: the stay-down flag is stored as 0 or 1
// whatever non-zero value a caller put in the structure; the dirty flag is a
// BIT, which the server hands back as -1 when set, and the tills test it
// against 1; a key's function value is a signed 64-bit number (a negative
// value is a valid one).
enum : uint32_t {
    kStaydown = 1,
    kDirty,
    kFuncValue,
};

constexpr Column kListHdrMap[] = {
    Col("ListNo", XR_FIELD(plist_def, ListNo), Kind::kI16),
    Col("Rows", XR_FIELD(plist_def, Rows), Kind::kI8),
    Col("Cols", XR_FIELD(plist_def, Cols), Kind::kI8),
    Col("Description", XR_FIELD(plist_def, Description), Kind::kText),
    Col("NPages", XR_FIELD(plist_def, NPages), Kind::kI32),
    Custom("Staydown", kStaydown),
    Col("Link", XR_FIELD(plist_def, Link), Kind::kI16),
    Col("SelMin", XR_FIELD(plist_def, SelMin), Kind::kI16),
    Col("SelMax", XR_FIELD(plist_def, SelMax), Kind::kI16),
    Col("ScrNo", XR_FIELD(plist_def, ScrNo), Kind::kI16),
    Col("Location", XR_FIELD(plist_def, Location), Kind::kText),
    Custom("V$Dirty", kDirty, kVColumn),
};
static_assert(FitsIn(kListHdrMap, sizeof(plist_def)));

// Blocks of the item map, one per member.
enum : uint8_t {
    kListNo,
    kPageNo,
    kItemNo,
    kFuncType,
    kForeground,
    kBackground,
    kSize,
    kItemText,
    kMx,
    kMy,
};

// The colours and the function type are unsigned bytes: a whole-byte mask
// reads the value's low 8 bits and writes them back as 0 to 255. The size
// code is the low two bits.
constexpr Column kListItemMap[] = {
    Col("ListNo", Whole<int32_t>(kListNo), Kind::kI32),
    Col("PageNo", Whole<int32_t>(kPageNo), Kind::kI32),
    Col("ItemNo", Whole<int32_t>(kItemNo), Kind::kI32),
    Bits("FuncType", Whole<uint8_t>(kFuncType), 0xFF),
    Bits("Foreground", Whole<uint8_t>(kForeground), 0xFF),
    Bits("Background", Whole<uint8_t>(kBackground), 0xFF),
    Bits("Size", Whole<uint8_t>(kSize), 0x03),
    Col("ItemText", Whole<std::string>(kItemText), Kind::kString),
    Custom("FuncValue", kFuncValue),
    Col("mx", Whole<int32_t>(kMx), Kind::kI32),
    Col("my", Whole<int32_t>(kMy), Kind::kI32),
};

}  // namespace

// ---- CListHdr ----------------------------------------------------------------------

CListHdr::CListHdr() {
    m_name = "ListHdrs";
    m_orderBy = "ListNo";
    m_keys[0] = "ListNo";
    std::memset(&m_def, 0, sizeof m_def);
    m_def.Location[0] = 'L';
}

CListHdr::CListHdr(const CListHdr& other) = default;
CListHdr& CListHdr::operator=(const CListHdr& other) = default;
CListHdr::~CListHdr() = default;

int CListHdr::StructureTo() {
    ReadRow(*this, kListHdrMap, m_columns, {&m_def}, [this](const Column& c, int32_t&) {
        int32_t value = 0;
        if (!GetField(c.name.data(), value)) return;
        if (c.offset == kStaydown)
            m_def.Staydown = value != 0 ? 1 : 0;
        else
            m_dirty = value != 0 ? 1 : 0;
    });
    return 1;
}

int CListHdr::StructureFrom() {
    WriteRow(*this, kListHdrMap, m_columns, {&m_def}, m_vOnly != 0,
             [this](const Column& c, int32_t&) {
                 if (c.offset == kStaydown)
                     SetField("Staydown", static_cast<int32_t>(m_def.Staydown != 0 ? 1 : 0));
                 else
                     SetField("V$Dirty", static_cast<int32_t>(m_dirty != 0 ? 1 : 0));
             });
    return 1;
}

int CListHdr::Add(plist_def& def) {
    const plist_def given = def;  // `def` may be this object's own structure
    if (!AddNew()) return 0;
    m_def = given;
    return Update(0);
}

// ---- CListItem ---------------------------------------------------------------------

CListItem::CListItem()
    : m_listNo(0),
      m_pageNo(0),
      m_itemNo(0),
      m_funcType(0),
      m_foreground(0),
      m_background(0),
      m_size(0),
      m_funcValue(0),
      m_mx(0),
      m_my(0) {
    m_name = "ListItems";
    m_orderBy = "ListNo, PageNo, ItemNo";
    m_keys[0] = "ListNo";
    m_keys[1] = "PageNo";
    m_keys[2] = "ItemNo";
}

CListItem::CListItem(const CListItem& other) = default;
CListItem& CListItem::operator=(const CListItem& other) = default;
CListItem::~CListItem() = default;

int CListItem::StructureTo() {
    ReadRow(*this, kListItemMap, m_columns,
            {&m_listNo, &m_pageNo, &m_itemNo, &m_funcType, &m_foreground, &m_background, &m_size,
             &m_itemText, &m_mx, &m_my},
            [this](const Column&, int32_t&) {
                long value = 0;
                if (GetField("FuncValue", value)) m_funcValue = value;
            });
    return 1;
}

int CListItem::StructureFrom() {
    WriteRow(*this, kListItemMap, m_columns,
             {&m_listNo, &m_pageNo, &m_itemNo, &m_funcType, &m_foreground, &m_background, &m_size,
              &m_itemText, &m_mx, &m_my},
             false, [this](const Column&, int32_t&) {
                 SetField("FuncValue", static_cast<long>(m_funcValue));
             });
    return 1;
}

int CListItem::Add(int list, int page, int item) {
    if (!AddNew()) return 0;
    m_listNo = list;
    m_pageNo = page;
    m_itemNo = item;
    return Update(0);
}
