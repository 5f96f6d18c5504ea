// The column map mechanism, one conversion kind at a time: a record class of
// the tests maps every kind onto a table of its own; each case stores a value
// with SQL, reads it through the class, checks the field, writes the row back
// through the class and checks what the column then holds.
#include "records/column_map.h"

#include <cstring>
#include <functional>

#include "records_fixture.h"

namespace {

using namespace xr::records;
using xrtest::RecordsTest;

#pragma pack(push, 1)
struct kinds_def {
    uint16_t U16;
    int8_t I8;
    int16_t I16;
    int32_t I32;
    uint64_t U64;
    char Text[6];
    uint16_t Flags;  // bit 3 "Bit1", bits 5-6 "Two", bit 9 "NonZero"
    int32_t Money;
    int16_t Letter;
    char Ch;
    double Dbl;
    float Flt;
    int32_t Date;
    uint16_t Short;
    int32_t ReadOnly;
    uint8_t reserved[7];
};
#pragma pack(pop)

constexpr Column kKindsMap[] = {
    Col("U16", XR_FIELD(kinds_def, U16), Kind::kU16),
    Col("I8", XR_FIELD(kinds_def, I8), Kind::kI8),
    Col("I16", XR_FIELD(kinds_def, I16), Kind::kI16),
    Col("I32", XR_FIELD(kinds_def, I32), Kind::kI32, kVColumn),
    Col("U64", XR_FIELD(kinds_def, U64), Kind::kU64),
    Col("Txt", XR_FIELD(kinds_def, Text), Kind::kText),
    Bits("Bit1", XR_FIELD(kinds_def, Flags), 0x0008),
    Bits("Two", XR_FIELD(kinds_def, Flags), 0x0060),
    BitSet("NonZero", XR_FIELD(kinds_def, Flags), 0x0200),
    Col("Money", XR_FIELD(kinds_def, Money), Kind::kMoney),
    Col("Letter", XR_FIELD(kinds_def, Letter), Kind::kLetter),
    Col("Ch", XR_FIELD(kinds_def, Ch), Kind::kChar),
    Col("Dbl", XR_FIELD(kinds_def, Dbl), Kind::kDouble),
    Col("Flt", XR_FIELD(kinds_def, Flt), Kind::kFloatDec),
    Col("Date", XR_FIELD(kinds_def, Date), Kind::kDate8),
    Col("Short", XR_FIELD(kinds_def, Short), Kind::kU16, kAsShort),
    Col("RO", XR_FIELD(kinds_def, ReadOnly), Kind::kI32, kReadOnly | kZeroFirst),
};
static_assert(FitsIn(kKindsMap, sizeof(kinds_def)));

const char* kKindsTable =
    "CREATE TABLE Kinds (Id INTEGER NOT NULL, U16 INTEGER DEFAULT 0 NOT NULL, "
    "I8 INTEGER DEFAULT 0 NOT NULL, I16 INTEGER DEFAULT 0 NOT NULL, I32 INTEGER DEFAULT 0 NOT "
    "NULL, U64 BIGINT, Txt VARCHAR(20), Bit1 BIT DEFAULT 0 NOT NULL, Two INTEGER DEFAULT 0 NOT "
    "NULL, NonZero INTEGER DEFAULT 0 NOT NULL, Money MONEY DEFAULT 0, Letter CHAR(1) DEFAULT "
    "'A' NOT NULL, Ch CHAR(1) DEFAULT '' NOT NULL, Dbl FLOAT DEFAULT 0 NOT NULL, Flt "
    "DECIMAL(5,2) DEFAULT 0 NOT NULL, Date VARCHAR(8) DEFAULT '00000000' NOT NULL, Short "
    "INTEGER DEFAULT 0 NOT NULL, RO INTEGER DEFAULT 7 NOT NULL) "
    "ALTER TABLE Kinds ADD CONSTRAINT KindsPrimary PRIMARY KEY (Id)";

class CKinds : public CXRTable {
public:
    CKinds() {
        m_name = "Kinds";
        m_orderBy = "Id";
        m_keys[0] = "Id";
        std::memset(&m_def, 0, sizeof m_def);
    }
    int StructureTo() override {
        ReadRow(*this, kKindsMap, m_columns, {&m_def});
        return 1;
    }
    int StructureFrom() override {
        WriteRow(*this, kKindsMap, m_columns, {&m_def}, m_vOnly != 0);
        return 1;
    }
    kinds_def m_def;
    ColumnIndex m_columns;
};

struct KindCase {
    const char* column;
    const char* stored;                           // SQL literal
    std::function<void(kinds_def&)> prepare;      // before the read
    std::function<void(const kinds_def&)> check;  // after it
    const char* writtenBack;                      // the column after writing the row back
};

void Nothing(kinds_def&) {}

const KindCase kCases[] = {
    {"U16", "70000", Nothing, [](auto& d) { EXPECT_EQ(+d.U16, 70000 & 0xFFFF); }, "4464"},
    {"I8", "200", Nothing, [](auto& d) { EXPECT_EQ(+d.I8, -56); }, "-56"},
    {"I16", "-32768", Nothing, [](auto& d) { EXPECT_EQ(+d.I16, -32768); }, "-32768"},
    {"I32", "-123456789", Nothing, [](auto& d) { EXPECT_EQ(+d.I32, -123456789); }, "-123456789"},
    // Item numbers beyond 32 bits, and NULL, which leaves the field alone.
    {"U64", "5000000000", Nothing, [](auto& d) { EXPECT_EQ(+d.U64, 5000000000u); }, "5000000000"},
    {"U64", "NULL", [](auto& d) { d.U64 = 77; }, [](auto& d) { EXPECT_EQ(+d.U64, 77u); }, "77"},
    // Fixed buffers: trailing blanks go, long text is cut to the buffer.
    {"Txt", "'ab   '", Nothing, [](auto& d) { EXPECT_STREQ(d.Text, "ab"); }, "ab"},
    {"Txt", "'abcdefgh'", Nothing, [](auto& d) { EXPECT_STREQ(d.Text, "abcde"); }, "abcde"},
    {"Txt", "NULL", [](auto& d) { std::strcpy(d.Text, "old"); },
     [](auto& d) { EXPECT_STREQ(d.Text, ""); }, ""},
    // Flag bits: the column's bits change, the word's other bits stay (the
    // other flag columns of the row hold 0).
    {"Bit1", "1", [](auto& d) { d.Flags = 0x8001; }, [](auto& d) { EXPECT_EQ(+d.Flags, 0x8009); },
     "-1"},
    {"Bit1", "0", [](auto& d) { d.Flags = 0xFD9F; }, [](auto& d) { EXPECT_EQ(+d.Flags, 0xFD97); },
     "0"},
    {"Two", "3", [](auto& d) { d.Flags = 0x0001; }, [](auto& d) { EXPECT_EQ(+d.Flags, 0x0061); },
     "3"},
    {"Two", "5", [](auto& d) { d.Flags = 0x0060; }, [](auto& d) { EXPECT_EQ(+d.Flags, 0x0020); },
     "1"},
    {"NonZero", "4", [](auto& d) { d.Flags = 0; }, [](auto& d) { EXPECT_EQ(+d.Flags, 0x0200); },
     "1"},
    {"NonZero", "0", [](auto& d) { d.Flags = 0x8201; },
     [](auto& d) { EXPECT_EQ(+d.Flags, 0x8001); }, "0"},
    // Money in hundredths, half away from zero on the double product.
    {"Money", "19.99", Nothing, [](auto& d) { EXPECT_EQ(+d.Money, 1999); }, "19.99"},
    {"Money", "-2.5", Nothing, [](auto& d) { EXPECT_EQ(+d.Money, -250); }, "-2.5"},
    {"Money", "0.005", Nothing, [](auto& d) { EXPECT_EQ(+d.Money, 1); }, "0.01"},
    {"Money", "1.005", Nothing, [](auto& d) { EXPECT_EQ(+d.Money, 100); }, "1"},
    // Letter index: "A" is 0; an empty (blank) column is -65 and stays empty.
    {"Letter", "'C'", Nothing, [](auto& d) { EXPECT_EQ(+d.Letter, 2); }, "C"},
    {"Letter", "''", Nothing, [](auto& d) { EXPECT_EQ(+d.Letter, -65); }, " "},
    {"Ch", "'x'", Nothing, [](auto& d) { EXPECT_EQ(+d.Ch, 'x'); }, "x"},
    {"Ch", "''", [](auto& d) { d.Ch = 'q'; }, [](auto& d) { EXPECT_EQ(+d.Ch, 0); }, " "},
    {"Dbl", "2.25", Nothing, [](auto& d) { EXPECT_EQ(+d.Dbl, 2.25); }, "2.25"},
    {"Flt", "12.34", Nothing, [](auto& d) { EXPECT_FLOAT_EQ(+d.Flt, 12.34f); }, "12.34"},
    {"Date", "'00000005'", Nothing, [](auto& d) { EXPECT_EQ(+d.Date, 5); }, "00000005"},
    // Written as a 16-bit signed value.
    {"Short", "40000", Nothing, [](auto& d) { EXPECT_EQ(+d.Short, 40000); }, "-25536"},
    // Read, never written.
    {"RO", "9", [](auto& d) { d.ReadOnly = 1; }, [](auto& d) { EXPECT_EQ(+d.ReadOnly, 9); }, "9"},
};

class ColumnMapTest : public RecordsTest {
protected:
    void SetUp() override {
        RecordsTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        Exec(kKindsTable);
    }
};

TEST_P(ColumnMapTest, EveryKindReadsAndWritesBack) {
    for (const KindCase& c : kCases) {
        SCOPED_TRACE(std::string(c.column) + " = " + c.stored);
        Exec("DELETE FROM Kinds");
        Exec(xr::Format("INSERT INTO Kinds (Id, %s) VALUES (1, %s)", c.column, c.stored));
        CKinds k;
        c.prepare(k.m_def);
        ASSERT_EQ(k.MoveFirst(), 1);
        c.check(k.m_def);
        ASSERT_EQ(k.Update(0), 1);
        EXPECT_EQ(Scalar(xr::Format("SELECT %s FROM Kinds", c.column)), c.writtenBack);
    }
    EXPECT_EQ(xrtest::TableErrors("Kinds"), 0u);
}

TEST_P(ColumnMapTest, WritingBackKeepsReservedBytesAndBuffersAndVOnlyWritesTheFlaggedColumns) {
    Exec("INSERT INTO Kinds (Id, U16, I32) VALUES (1, 3, 4)");
    CKinds k;
    std::memset(k.m_def.reserved, 0xA5, sizeof k.m_def.reserved);
    ASSERT_EQ(k.MoveFirst(), 1);
    k.m_def.U16 = 30;
    k.m_def.I32 = 40;
    ASSERT_EQ(k.Update(1), 1);
    EXPECT_EQ(Scalar("SELECT U16, I32 FROM Kinds"), "3|40");
    std::memcpy(k.m_def.Text, "ABCDEF", 6);  // no terminator: the flags follow
    k.m_def.Flags = 0x4141;
    ASSERT_EQ(k.Update(0), 1);
    EXPECT_EQ(Scalar("SELECT Txt FROM Kinds"), "ABCDEF");
    ASSERT_EQ(k.MoveFirst(), 1);
    for (uint8_t b : k.m_def.reserved) EXPECT_EQ(b, 0xA5);
}

TEST_P(ColumnMapTest, PositionsFollowTheColumnsOfEachOpenAndMissingColumnsAreReported) {
    Exec("INSERT INTO Kinds (Id, U16, I32, Txt) VALUES (1, 11, 22, 'one'), (2, 33, 44, 'two')");
    CKinds k;
    ASSERT_EQ(k.MoveFirst("SELECT * FROM Kinds ORDER BY Id"), 1);
    EXPECT_EQ(+k.m_def.I32, 22);
    // The same columns in another order: each field still gets its own.
    ASSERT_EQ(k.MoveFirst("SELECT Txt, I32, U16, Id FROM Kinds WHERE Id=2"), 1);
    EXPECT_EQ(xr::Format("%d|%d|%s", +k.m_def.U16, +k.m_def.I32, k.m_def.Text), "33|44|two");
    // Columns that are not there are reported, and the rest is still read.
    xrtest::ClearLog();
    k.m_def.U16 = 0;
    k.m_def.Money = 5;
    ASSERT_EQ(k.MoveFirst("SELECT I32, U16 FROM Kinds WHERE Id=1"), 1);
    EXPECT_EQ(xr::Format("%d|%d", +k.m_def.U16, +k.m_def.I32), "11|22");
    EXPECT_STREQ(k.m_def.Text, "two") << "a missing column leaves its field";
    EXPECT_EQ(+k.m_def.Money, 0) << "money that cannot be read is 0";
    EXPECT_GE(xrtest::TableErrors("Kinds"), 14u);
    EXPECT_EQ(LastErrorCode(), xr::adErrItemNotFound);
    ASSERT_EQ(k.MoveFirst(), 1);
    EXPECT_STREQ(k.m_def.Text, "one");
    // A write to a table without some of the columns writes the rest.
    Exec("CREATE TABLE Kinds2 (Id INTEGER NOT NULL, U16 INTEGER, I32 INTEGER)");
    Exec("INSERT INTO Kinds2 VALUES (1, 1, 2)");
    k.m_name = "Kinds2";
    ASSERT_EQ(k.MoveFirst(), 1);
    k.m_def.U16 = 5;
    k.m_def.I32 = 6;
    xrtest::ClearLog();
    EXPECT_EQ(k.Update(0), 1);
    EXPECT_GT(xrtest::TableErrors("Kinds2"), 0u);
    EXPECT_EQ(Scalar("SELECT U16, I32 FROM Kinds2"), "5|6");
}

TEST_P(ColumnMapTest, AValueThatCannotBeConvertedEndsThePositioning) {
    Exec("INSERT INTO Kinds (Id, Money, Txt) VALUES (1, NULL, NULL), (2, 0, 'abc')");
    CKinds k;
    EXPECT_EQ(k.MoveFirst(), 0) << "NULL money cannot be moved onto";
    EXPECT_EQ(xrtest::TableErrors("Kinds"), 1u);
    // A number that is text converts; text that is no number ends the move.
    Exec("CREATE TABLE Loose (Id INTEGER NOT NULL, I32 VARCHAR(10))");
    Exec("INSERT INTO Loose VALUES (1, '42'), (2, 'many')");
    ASSERT_EQ(k.MoveFirst("SELECT * FROM Loose ORDER BY Id"), 1);
    EXPECT_EQ(+k.m_def.I32, 42);
    EXPECT_EQ(k.MoveNext(), 0);
}

}  // namespace

XRTEST_ON_EVERY_ENGINE(ColumnMapTest);
