// Pass 1, Products: the table as it was introduced, then every column that
// later releases added, each group by a statement of its own.
#include "setup/pass1.h"

namespace xr::setup {

void AddProducts(std::vector<Step>& steps) {
    TableSteps t(steps, "Products");
    t.Sql(
        "CREATE TABLE Products (PLU BIGINT NOT NULL, "
        "Description VARCHAR(40) DEFAULT 'Description' NOT NULL" +
        Numbered(", Price%d MONEY DEFAULT 0 NOT NULL\n", 1, 4) +
        ", Dept INTEGER DEFAULT 1 NOT NULL, VAT CHAR(1) DEFAULT 'A' NOT NULL, "
        "ProdType INTEGER DEFAULT 0 NOT NULL, ProdCat INTEGER DEFAULT 1 NOT NULL, "
        "ListMenu INTEGER DEFAULT 0 NOT NULL, ListQual INTEGER DEFAULT 0 NOT NULL, "
        "ListExtra INTEGER DEFAULT 0 NOT NULL" +
        Numbered(", Dsp%d BIT DEFAULT 0 NOT NULL\n", 1, 9) +
        ", DspPriority INTEGER DEFAULT 0 NOT NULL, Discount INTEGER DEFAULT 1 NOT NULL, "
        "PriceType INTEGER DEFAULT 2 NOT NULL, MMOffer INTEGER DEFAULT 0 NOT NULL, "
        "MMBucket CHAR(1) DEFAULT '' NOT NULL, [FreeText] BIT DEFAULT 0 NOT NULL, "
        "V$SoldOut BIT DEFAULT 0 NOT NULL, V$StkDone BIT DEFAULT 0 NOT NULL, "
        "V$StkDirty BIT DEFAULT 0 NOT NULL, V$StockID INTEGER DEFAULT 0 NOT NULL, "
        "V$ATpos INTEGER DEFAULT 0 NOT NULL)");
    t.Sql("ALTER TABLE Products ADD DiscountStaff BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE Products ADD KPImage IMAGE");
    t.Sql("ALTER TABLE Products ADD KPImagePath VARCHAR(255) DEFAULT '' NOT NULL");
    t.Sql("ALTER TABLE Products ADD AllowModifier BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE Products ADD AllowTracking INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE Products ADD AllowPLUEANOnReceipt BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE Products ADD ShowDescriptionWithFreetext BIT DEFAULT 1 NOT NULL");
    t.Sql("ALTER TABLE Products ADD LinkType INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE Products ADD " + Numbered("TiedPLU%d BIGINT", 1, 30, ", "));
    t.Sql("ALTER TABLE Products ADD AgeVerify INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE Products ADD Learnt INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE Products ADD " + Numbered("Price%d MONEY DEFAULT 0 NOT NULL", 5, 10, ", "));
    t.Sql("ALTER TABLE Products ADD ShortDescription VARCHAR(40)");
    t.Sql("ALTER TABLE Products ADD ExternalProcess INTEGER DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE Products ADD AutoQuantity BIT DEFAULT 0 NOT NULL");
    t.Sql("ALTER TABLE Products ADD KPConsolidateTop BIT DEFAULT 0 NOT NULL");
    for (int n = 1; n <= 6; ++n)
        t.Sql(
            Numbered("ALTER TABLE [Products] ADD AllergyCode%d INTEGER DEFAULT 0 NOT NULL", n, n));
    t.Sql("ALTER TABLE Products ADD ImageFilename VARCHAR(40) DEFAULT '' NOT NULL");
    t.Sql("ALTER TABLE Products ADD CONSTRAINT ProductsPrimary PRIMARY KEY (PLU)");
    t.Sql("CREATE UNIQUE INDEX ProductsIX1 ON Products  (Description, PLU)");
}

}  // namespace xr::setup
