// The data conversions of pass 1: settings that older releases stored
// differently, brought to the newest shape through the record classes at the
// point of the pass where their columns have just come into being. Each walks
// its table on the calling thread's connection; a table that cannot be opened
// ends that conversion quietly (the record classes have reported why).
#include <cstring>
#include <string>

#include "platform/text.h"
#include "setup/pass1.h"
#include "xrdb8/records_config.h"
#include "xrdb8/records_master.h"

namespace xr::setup {

namespace {

// CfgTills and CfgSys through their record classes, storing only the columns
// a conversion sets. Their structures hold shorter texts than the columns (a
// till name of 21 characters, a scroll text of 44, system names of 41), so
// writing the structure back would cut a site's longer texts during an
// upgrade that never meant to touch them.
class TillColumns : public CCfgTill {
public:
    int StructureFrom() override { return 1; }
};

class SystemColumns : public CCfgSys {
public:
    int StructureFrom() override { return 1; }
};

// TableAreas, whose record class comes with the table and room records: the
// few members the first area needs.
class TableAreaRow : public CXRTable {
public:
    TableAreaRow() {
        m_name = "TableAreas";
        m_keys[0] = "AreaID";
        m_orderBy = "AreaID";
    }
};

// Walks the rows `table` is positioned on, running `convert` on each.
template <typename Table, typename Fn>
void ForEachRow(Table& table, Fn&& convert) {
    while (table.EndOfFile() == 0) {
        convert(table);
        if (!table.MoveNext()) break;
    }
}

}  // namespace

void ConvertReceiptTypes(PassContext& /*context*/) {
    TillColumns till;
    if (!till.MoveFirst()) return;
    ForEachRow(till, [](TillColumns& row) {
        int32_t itemised = 1;  // a row that cannot say keeps itemised receipts
        int32_t consolidate = 0;
        row.GetField("ItmRct", itemised);
        row.GetField("ConsolPrt", consolidate);
        row.SetField("ReceiptType", itemised ? 5 : 1);
        row.SetField("ReceiptConsolidation", itemised ? 2 * (consolidate & 1) : 2);
        row.SetField("BillType", 3);
        row.SetField("BillConsolidation", consolidate & 2);
        row.Update();
    });
}

void ConvertCustOnKP(PassContext& /*context*/) {
    TillColumns till;
    if (!till.MoveFirst("SELECT * FROM [CfgTills] WHERE [CustOnKP]=-1")) return;
    ForEachRow(till, [](TillColumns& row) {
        int32_t nameOnKP = 0;
        row.GetField("CustNameOnKP", nameOnKP);
        row.SetField("CustOnKP", nameOnKP ? 1 : 0);
        row.Update();
    });
}

void ConvertSysFlags(PassContext& /*context*/) {
    constexpr int32_t kConverted = 0x40000;
    SystemColumns system;
    if (!system.MoveFirst()) return;
    ForEachRow(system, [](SystemColumns& row) {
        int32_t flags = 0;
        if (!row.GetField("SysFlags", flags) || (flags & kConverted)) return;
        flags |= kConverted;
        if (flags & 0x1000) flags |= 0x20000;
        row.SetField("SysFlags", flags);
        row.Update();
    });
}

void ConvertPromoAnalysis(PassContext& /*context*/) {
    CPromo promo;
    if (!promo.MoveFirst()) return;
    ForEachRow(promo, [](CPromo& row) {
        if (row.m_def.AnalysisNew != 0) return;
        int32_t mask = 0;
        row.GetField("Analysis", mask);
        mask &= 0xFFFF;
        std::memset(row.m_def.AnalysisCats, 0, sizeof row.m_def.AnalysisCats);
        // Entry i stands for old analysis bit i; a promotion that named none
        // applied to all sixteen.
        for (int i = 0; i < 16; ++i)
            if (mask == 0 || (mask & (1 << i))) row.m_def.AnalysisCats[i] = 1;
        row.m_def.AnalysisNew = 1;
        row.Update();
    });
}

void MigrateLoyalty(PassContext& /*context*/) {
    // Promotion 9 was the loyalty promotion: with a trip amount it rewarded
    // a spend, without one every purchase.
    int32_t trip = 0;
    {
        CPromo promo;
        if (promo.Equ(9)) trip = promo.m_def.Trip;
    }
    CLoyalty5 schemes;
    if (!schemes.OpenRSAll()) return;
    CLoyalty loyalty;
    if (!loyalty.MoveFirst()) return;
    ForEachRow(loyalty, [&](CLoyalty& row) {
        if (!schemes.AddNew()) return;
        int32_t tillNo = 0;
        if (!row.GetField("TillNo", tillNo) || !schemes.SetField("SchemeNo", tillNo)) {
            schemes.CancelUpdate();
            return;
        }
        int32_t promotion = 0;
        row.GetField("Promotion", promotion);
        schemes.SetField("Name", Format("AutoGenerate %d", tillNo));
        schemes.SetField("Promotion", 9);
        schemes.SetField("PromoType", promotion == 0 ? 0 : trip != 0 ? 2 : 1);
        for (const char* column : {"LowerID", "UpperID", "Format"}) {
            std::string text;
            if (row.GetField(column, text)) schemes.SetField(column, text);
        }
        for (const char* column : {"CheckDigit", "Points", "IsLocal"}) {
            int32_t value = 0;
            if (row.GetField(column, value)) schemes.SetField(column, value);
        }
        schemes.Update();
        TillColumns till;
        if (till.Equ(tillNo)) {
            till.SetField("LoySchemeUse1", tillNo);
            till.Update();
        }
    });
}

void AddFirstTableArea(PassContext& /*context*/) {
    TableAreaRow areas;
    if (!areas.OpenRS(("SELECT * FROM " + areas.m_name).c_str())) return;
    if (!areas.AddNew()) return;
    areas.SetField("AreaID", 1);
    areas.Update();
}

}  // namespace xr::setup
