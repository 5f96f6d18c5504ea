// Till and system configuration: cfgtill_def and CCfgTill over "CfgTills"
// (one row per till), cfgsys_def and CCfgSys over "CfgSys" (one row).
// Both tables have many more columns than the structures carry; reach those
// by name with CXRTable's typed field access.
#pragma once

#include <cstddef>
#include <cstdint>

#include "xrdb8/export.h"
#include "xrdb8/records_common.h"
#include "xrdb8/xrtable.h"

#pragma pack(push, 1)
// One till's configuration (759 bytes).
struct cfgtill_def {
    uint8_t reserved0[2];
    uint16_t TillNo;  // the key
    char Name[22];
    char RMess[5][41];  // receipt messages 1..5 ("RMess1".."RMess5")
    char BMess[5][41];  // bill messages 1..5
    uint16_t Mode;
    char PrRct[12];  // printer names
    char PrSlp[12];
    char PrAud[12];
    char PrRpt[12];
    char PrDsp[9][12];  // kitchen printers 1..9 ("prDsp1".."prDsp9")
    char PrChq[12];
    char PrEft[12];
    char PrBil[12];
    char PrVch[12];
    char PrRsv[12];
    uint16_t TblMin;
    uint16_t TblMax;
    uint16_t PrcVip;
    uint16_t PrcDflt;
    int32_t QtyMax;
    uint16_t LogSize;
    uint16_t LogMode;
    // Bits 0-1 "AuditTrn", 2-3 "LogitTrn", 4-5 "AuditItm", 6-7 "LogitItm",
    // 8 "AuditFnc", 9 "LogitFnc", 10 "AuditAll", 11 "LogitAll".
    uint16_t AuditFlags;
    uint16_t CashDecl;
    uint8_t reserved1[2];
    // Bits 0 "AutoRect", 1 "Valid", 2 "BillProg", 3 "AutoRelease",
    // 4 "StayDown", 5 "VatRct", 6 "ItmRct", 8 "StayDownVoid",
    // 9 "AutoLoyalty", 10 "ForexAllow"; bits 7 and 11-15 are kept.
    uint16_t Options;
    uint16_t KbNo;
    uint16_t Drawers;  // stored as a 16-bit signed value: above 32767 reads back negative
    uint16_t ScanPort;
    uint16_t ScrType;
    uint16_t ScrlTime;
    char ScrlText[45];
    int32_t ConsolPrt;
    int32_t TimePlan;
    uint8_t reserved2[18];
};

// The system's configuration (278 bytes).
struct cfgsys_def {
    char Name[5][42];  // "Name1".."Name5"
    int16_t Numb;
    char Vatr[16];  // tax rate letters
    float Vatv[6];  // tax rates, "Vatv1".."Vatv6"
    uint16_t Tills;
    uint16_t EowDay;
    uint16_t PluMax;
    uint16_t SrvMax;
    uint16_t TblMax;
    int16_t Master;
    int16_t WkCnt;
    int16_t DayCnt;
    uint16_t SysFlags;  // the column's low 16 bits; writing keeps the column's own value
    uint16_t RepFlags;
    uint8_t reserved0[2];
    uint16_t Eft;
    uint16_t Loyalty;
};
#pragma pack(pop)

static_assert(sizeof(cfgtill_def) == 759, "cfgtill_def is 759 bytes");
static_assert(offsetof(cfgtill_def, TillNo) == 2);
static_assert(offsetof(cfgtill_def, Name) == 4);
static_assert(offsetof(cfgtill_def, RMess) == 26);
static_assert(offsetof(cfgtill_def, BMess) == 231);
static_assert(offsetof(cfgtill_def, Mode) == 436);
static_assert(offsetof(cfgtill_def, PrRct) == 438);
static_assert(offsetof(cfgtill_def, PrSlp) == 450);
static_assert(offsetof(cfgtill_def, PrAud) == 462);
static_assert(offsetof(cfgtill_def, PrRpt) == 474);
static_assert(offsetof(cfgtill_def, PrDsp) == 486);
static_assert(offsetof(cfgtill_def, PrChq) == 594);
static_assert(offsetof(cfgtill_def, PrEft) == 606);
static_assert(offsetof(cfgtill_def, PrBil) == 618);
static_assert(offsetof(cfgtill_def, PrVch) == 630);
static_assert(offsetof(cfgtill_def, PrRsv) == 642);
static_assert(offsetof(cfgtill_def, TblMin) == 654);
static_assert(offsetof(cfgtill_def, TblMax) == 656);
static_assert(offsetof(cfgtill_def, PrcVip) == 658);
static_assert(offsetof(cfgtill_def, PrcDflt) == 660);
static_assert(offsetof(cfgtill_def, QtyMax) == 662);
static_assert(offsetof(cfgtill_def, LogSize) == 666);
static_assert(offsetof(cfgtill_def, LogMode) == 668);
static_assert(offsetof(cfgtill_def, AuditFlags) == 670);
static_assert(offsetof(cfgtill_def, CashDecl) == 672);
static_assert(offsetof(cfgtill_def, reserved1) == 674);
static_assert(offsetof(cfgtill_def, Options) == 676);
static_assert(offsetof(cfgtill_def, KbNo) == 678);
static_assert(offsetof(cfgtill_def, Drawers) == 680);
static_assert(offsetof(cfgtill_def, ScanPort) == 682);
static_assert(offsetof(cfgtill_def, ScrType) == 684);
static_assert(offsetof(cfgtill_def, ScrlTime) == 686);
static_assert(offsetof(cfgtill_def, ScrlText) == 688);
static_assert(offsetof(cfgtill_def, ConsolPrt) == 733);
static_assert(offsetof(cfgtill_def, TimePlan) == 737);
static_assert(offsetof(cfgtill_def, reserved2) == 741);

static_assert(sizeof(cfgsys_def) == 278, "cfgsys_def is 278 bytes");
static_assert(offsetof(cfgsys_def, Numb) == 210);
static_assert(offsetof(cfgsys_def, Vatr) == 212);
static_assert(offsetof(cfgsys_def, Vatv) == 228);
static_assert(offsetof(cfgsys_def, Tills) == 252);
static_assert(offsetof(cfgsys_def, EowDay) == 254);
static_assert(offsetof(cfgsys_def, PluMax) == 256);
static_assert(offsetof(cfgsys_def, SrvMax) == 258);
static_assert(offsetof(cfgsys_def, TblMax) == 260);
static_assert(offsetof(cfgsys_def, Master) == 262);
static_assert(offsetof(cfgsys_def, WkCnt) == 264);
static_assert(offsetof(cfgsys_def, DayCnt) == 266);
static_assert(offsetof(cfgsys_def, SysFlags) == 268);
static_assert(offsetof(cfgsys_def, RepFlags) == 270);
static_assert(offsetof(cfgsys_def, reserved0) == 272);
static_assert(offsetof(cfgsys_def, Eft) == 274);
static_assert(offsetof(cfgsys_def, Loyalty) == 276);

// The table "CfgTills", ordered and keyed by "TillNo". Beside cfgtill_def the
// object holds the sixth receipt and bill messages ("RMess6", "BMess6"),
// which it reads on every positioning and never writes.
class XRDB8_API CCfgTill : public CXRTable {
public:
    CCfgTill();
    CCfgTill(const CCfgTill& other);
    CCfgTill& operator=(const CCfgTill& other);
    ~CCfgTill() override;

    int StructureTo() override;
    int StructureFrom() override;

    // Till `tillNo`: 1 when found, 0 when not or when the query failed.
    int Equ(int tillNo);
    // Writes `def` by its TillNo: the existing row or a new one.
    int AddUpdate(cfgtill_def& def);

    // Receipt message n + 1: n 0..4 from m_def, 5 the sixth; "" otherwise.
    const char* GetRctMess(int n);
    const char* GetBillMess(int n);
    // 1 when receipt (bill) message 4, 5 or 6 is not empty.
    int IsExtendedRctMess();
    int IsExtendedBillMess();

    // Duplicates the row of till `fromTill` as till `toTill`, every column
    // included. 0 when `fromTill` is missing, when `toTill` exists already
    // or when a step fails (the new row is then dropped).
    int Copy(int fromTill, int toTill);

    cfgtill_def m_def;
    char m_rctMess6[41];
    char m_billMess6[41];

private:
    xr::records::ColumnIndex m_columns;
};

// The table "CfgSys": one row, no key and no order. Beside cfgsys_def the
// object holds the column "SysFlags" whole (m_sysFlags): the structure sees
// its low 16 bits, and a write stores m_sysFlags, so the upper bits survive
// and a change to m_def.SysFlags alone is not stored.
class XRDB8_API CCfgSys : public CXRTable {
public:
    CCfgSys();
    // Copies the base, the structure and m_sysFlags.
    CCfgSys(const CCfgSys& other);
    // Copies the base and the structure; m_sysFlags stays as it was.
    CCfgSys& operator=(const CCfgSys& other);
    ~CCfgSys() override;

    int StructureTo() override;
    int StructureFrom() override;

    // The first row of the table: 1 when there is one.
    int Load();
    // The row whose "Numb" is `numb`.
    int Equ(int numb);
    // Rewrites the row Load finds (whatever def.Numb holds), or adds one to an
    // empty table.
    int AddUpdate(cfgsys_def& def);

    cfgsys_def m_def;
    int32_t m_sysFlags;

private:
    xr::records::ColumnIndex m_columns;
};
