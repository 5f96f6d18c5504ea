// What every flat family shares, run over each family in turn: the result
// codes on an empty and a filled table, walking in key order, slot lifetime,
// refused slots and structures, and copies that cover every byte.
#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "flat_fixture.h"

namespace xrtest {
namespace {

// One family as the shared tests see it: its functions, and how to make
// the row numbered n (1, 2, 3 ... sort in key order) and read n back.
#define XR_FAMILY_FUNCTIONS(Prefix)                                       \
    static int Add(int slot, Def* d) { return Prefix##Add(slot, d); }     \
    static int Equ(int slot, Def* d) { return Prefix##Equ(slot, d); }     \
    static int First(int slot, Def* d) { return Prefix##First(slot, d); } \
    static int Next(int slot, Def* d) { return Prefix##Next(slot, d); }   \
    static int Close(int slot) { return Prefix##Close(slot); }            \
    static int DeleteAll() { return Prefix##DeleteAll(); }

// A family keyed by one number, with a Name: row n is number n, "<label> n".
#define XR_NAMED_FAMILY(Prefix, DefType, KeyField, Label)            \
    struct Prefix##Case {                                            \
        using Def = DefType;                                         \
        XR_FAMILY_FUNCTIONS(Prefix)                                  \
        static void Make(Def& d, int n) {                            \
            d.KeyField = static_cast<decltype(d.KeyField)>(n);       \
            std::snprintf(d.Name, sizeof d.Name, "%s %d", Label, n); \
        }                                                            \
        static int Key(const Def& d) { return d.KeyField; }          \
    }

struct ProdCase {
    using Def = prod_def;
    static int Add(int slot, Def* d) { return ProdAdd(slot, d, 0); }
    static int Equ(int slot, Def* d) { return ProdEqu(slot, d); }
    static int First(int slot, Def* d) { return ProdFirst(slot, d); }
    static int Next(int slot, Def* d) { return ProdNext(slot, d); }
    static int Close(int slot) { return ProdClose(slot); }
    static int DeleteAll() { return ProdDeleteAll(); }
    static void Make(Def& d, int n) {
        d.PLU = 1000 + n;
        std::snprintf(d.Description, sizeof d.Description, "Item %d", n);
        d.VAT = 0;
    }
    static int Key(const Def& d) { return static_cast<int>(d.PLU) - 1000; }
};

struct BarcCase {
    using Def = barc_def;
    XR_FAMILY_FUNCTIONS(Barc)
    static void Make(Def& d, int n) {
        std::snprintf(d.Barcode, sizeof d.Barcode, "50%05d", n);
        d.PLU = 7000 + n;
    }
    static int Key(const Def& d) { return std::atoi(d.Barcode + 2); }
};

struct PrtCase {
    using Def = cfgprt_def;
    XR_FAMILY_FUNCTIONS(Prt)
    static void Make(Def& d, int n) {
        d.TillNo = 0;  // walked whole: till 0 means every till
        std::snprintf(d.Name, sizeof d.Name, "P%02d", n);
        std::snprintf(d.Port, sizeof d.Port, "COM%d", n);
        std::snprintf(d.Type, sizeof d.Type, "Epson");
    }
    static int Key(const Def& d) { return std::atoi(d.Name + 1); }
};

struct PromCase {
    using Def = promdet_def;
    XR_FAMILY_FUNCTIONS(Prom)
    static void Make(Def& d, int n) {
        d.PromNo = n;
        d.TypeFlags = 1;
        d.Value = 1000;
        std::snprintf(d.Description, sizeof d.Description, "Promo %d", n);
    }
    static int Key(const Def& d) { return d.PromNo; }
};

XR_NAMED_FAMILY(Pym, paymeth_def, PymNo, "Pay");

struct FuncCase {
    using Def = funcctrl2_def;
    XR_FAMILY_FUNCTIONS(Func)
    static void Make(Def& d, int n) {
        d.FuncNo = 900 + n;  // clear of the functions the set-up may provide
        std::snprintf(d.Name, sizeof d.Name, "Fn%d", n);
    }
    static int Key(const Def& d) { return d.FuncNo - 900; }
};

XR_NAMED_FAMILY(Dept, dept_def, DptNo, "Dept");

XR_NAMED_FAMILY(Group, group_def, GrpNo, "Group");

struct ExchCase {
    using Def = forex_def;
    XR_FAMILY_FUNCTIONS(Exch)
    static void Make(Def& d, int n) {
        d.ForexNo = n;
        std::snprintf(d.Description, sizeof d.Description, "Cur %d", n);
        std::snprintf(d.Symbol, sizeof d.Symbol, "C%d", n);
        d.DP = 2;
        d.toPound = 1.25 * n;
    }
    static int Key(const Def& d) { return d.ForexNo; }
};

struct PresetCase {
    using Def = preset2_def;
    XR_FAMILY_FUNCTIONS(Preset)
    static void Make(Def& d, int n) {
        d.ScrnNo = 1;
        d.PresetNo = n;
        d.PLU = 1000 + n;
    }
    static int Key(const Def& d) { return d.PresetNo; }
};

struct TPlanCase {
    using Def = schedule_def;
    XR_FAMILY_FUNCTIONS(TPlan)
    static void Make(Def& d, int n) {
        d.PlanNo = 1;  // First walks plan 1, where every row is
        d.EntryNo = n;
        d.Days = SCHED_MONDAY;
        d.Start = 60 * n;
        d.End = 60 * n + 30;
        d.Name = 0;
        d.Active = 1;
    }
    static int Key(const Def& d) { return d.EntryNo; }
};

XR_NAMED_FAMILY(Srvr, srvr_def, SrvNo, "Server");

XR_NAMED_FAMILY(Table, table_def, TblNo, "Table");

XR_NAMED_FAMILY(PluMod, plumod2_def, ModNo, "Large");

struct MMCase {
    using Def = mixmatch2_def;
    XR_FAMILY_FUNCTIONS(MM)
    static void Make(Def& d, int n) {
        d.MMNo = n;
        d.Plu = 1000 + n;
        d.DateStart = 20240101;
        d.DateEnd = 20241231;
        d.MMValue = 250;
    }
    static int Key(const Def& d) { return d.MMNo; }
};

template <typename C>
class FamilyTest : public FlatTest {
protected:
    using Def = typename C::Def;

    static Def Row(int n) {
        Def d;
        std::memset(&d, 0, sizeof d);
        C::Make(d, n);
        return d;
    }
    // Empties the table and adds rows 3, 1, 2 through `slot`.
    void Fill(int slot = 1) {
        ASSERT_EQ(C::DeleteAll(), 0);
        for (int n : {3, 1, 2}) {
            Def d = Row(n);
            ASSERT_EQ(C::Add(slot, &d), 0) << n;
        }
    }
};

using Families =
    ::testing::Types<ProdCase, BarcCase, PrtCase, PromCase, PymCase, FuncCase, DeptCase, GroupCase,
                     ExchCase, PresetCase, TPlanCase, SrvrCase, TableCase, PluModCase, MMCase>;
TYPED_TEST_SUITE(FamilyTest, Families);

TYPED_TEST(FamilyTest, SlotsWalkEveryRowOnceInKeyOrderIndependentlyUntilClosedOrEmptied) {
    using Def = typename TypeParam::Def;
    ASSERT_NO_FATAL_FAILURE(this->Fill());
    Def d = this->Row(0);
    std::vector<int> seen;
    for (int rc = TypeParam::First(0, &d); rc == 0; rc = TypeParam::Next(0, &d))
        seen.push_back(TypeParam::Key(d));
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));
    const Def last = d;
    EXPECT_EQ(TypeParam::Next(0, &d), 60);
    EXPECT_TRUE(this->SameBytes(d, last)) << "a failed Next leaves the structure";

    // The key a call left in `def`, or minus the code it failed with.
    const auto key = [](int code, const Def& def) { return code ? -code : TypeParam::Key(def); };
    Def a = this->Row(0), b = this->Row(0);
    EXPECT_EQ(key(TypeParam::First(0, &a), a), 1);
    EXPECT_EQ(key(TypeParam::Next(0, &a), a), 2);
    EXPECT_EQ(key(TypeParam::First(1, &b), b), 1);
    EXPECT_EQ(key(TypeParam::Next(0, &a), a), 3);
    EXPECT_EQ(key(TypeParam::Next(1, &b), b), 2);

    // Close empties the slot: Next makes no new object, First fills it again.
    EXPECT_EQ(TypeParam::Close(2), 0) << "closing an empty slot";
    d = this->Row(0);
    ASSERT_EQ(TypeParam::First(2, &d), 0);
    EXPECT_EQ(TypeParam::Close(2), 0);
    EXPECT_EQ(TypeParam::Next(2, &d), 60);
    EXPECT_EQ(TypeParam::Close(2), 0);
    EXPECT_EQ(key(TypeParam::First(2, &d), d), 1);
    // DeleteAll empties the table whatever slot stands on a row.
    EXPECT_EQ(TypeParam::DeleteAll(), 0);
    d = this->Row(0);
    EXPECT_EQ(TypeParam::First(2, &d), 40);
    // An empty table answers its codes and leaves the structure (slot 3 was never filled).
    Def e = this->template Pattern<Def>(0x5A);
    if constexpr (std::is_same_v<Def, cfgprt_def>) e.TillNo = 0;
    if constexpr (std::is_same_v<Def, schedule_def>) e.PlanNo = 0;
    d = e;
    EXPECT_EQ(TypeParam::Next(3, &d), 60);
    EXPECT_EQ(TypeParam::First(3, &d), 40);
    EXPECT_TRUE(this->SameBytes(d, e));
    d = this->Row(1);
    e = d;
    EXPECT_EQ(TypeParam::Equ(3, &d), 22);
    EXPECT_TRUE(this->SameBytes(d, e));
}

TYPED_TEST(FamilyTest, BadSlotsAndNullStructuresAreRefusedAndCopiesCoverEveryByte) {
    using Def = typename TypeParam::Def;
    ASSERT_NO_FATAL_FAILURE(this->Fill());
    for (int slot : {-1, 4, 1000, -2147483647 - 1}) {
        Def d = this->Row(1);
        const Def before = d;
        EXPECT_EQ(TypeParam::Add(slot, &d), 30) << slot;
        EXPECT_EQ(TypeParam::Equ(slot, &d), 22) << slot;
        EXPECT_EQ(TypeParam::First(slot, &d), 40) << slot;
        EXPECT_EQ(TypeParam::Next(slot, &d), 60) << slot;
        EXPECT_EQ(TypeParam::Close(slot), 0) << slot;
        EXPECT_TRUE(this->SameBytes(d, before));
    }
    EXPECT_EQ(TypeParam::Add(0, nullptr), 30);
    EXPECT_EQ(TypeParam::Equ(0, nullptr), 22);
    EXPECT_EQ(TypeParam::First(0, nullptr), 40);
    Def d = this->Row(0);
    ASSERT_EQ(TypeParam::First(0, &d), 0);
    EXPECT_EQ(TypeParam::Next(0, nullptr), 60);

    // Two different fillings come back byte-identical only if every byte was
    // written: row n asked for by `call` on `slot` over a filling of `byte`.
    const auto read = [](unsigned char byte, int n, int (*call)(int, Def*), int slot) {
        Def def = FamilyTest<TypeParam>::template Pattern<Def>(byte);
        TypeParam::Make(def, n);
        EXPECT_EQ(call(slot, &def), 0);
        return def;
    };
    const Def a = read(0x5A, 2, TypeParam::Equ, 3);
    EXPECT_EQ(TypeParam::Key(a), 2);
    EXPECT_TRUE(this->SameBytes(a, read(0xA5, 2, TypeParam::Equ, 3)));
    Def missing = this->Row(99);
    const Def asked = missing;
    EXPECT_EQ(TypeParam::Equ(3, &missing), 22);
    EXPECT_TRUE(this->SameBytes(missing, asked));
    EXPECT_TRUE(
        this->SameBytes(read(0x11, 0, TypeParam::First, 0), read(0xEE, 0, TypeParam::First, 1)));
}

}  // namespace
}  // namespace xrtest
