// An install script of the kind SQL Server's tools generate and sites keep:
// the database made through sysaltfiles' folder, options, guarded drops,
// tables with keys, defaults, checks, foreign keys and indexes, a view, a
// procedure with an OUTPUT parameter, and a bulk load under NOCHECK, all
// between GO lines. Run twice: the second run drops and makes everything
// again and ends with the same rows.
#include "interchange/script_runner.h"
#include "library.h"

namespace {

const char* const kScript =
    R"(/****** Object:  Database Shop    Script Date: 03/02/2004 10:12:31 ******/
IF NOT EXISTS (SELECT name FROM master.dbo.sysdatabases WHERE name = N'Shop')
BEGIN
	DECLARE @device_directory NVARCHAR(520)
	SELECT @device_directory = SUBSTRING(filename, 1, CHARINDEX(N'master.mdf', LOWER(filename)) - 1)
	FROM master.dbo.sysaltfiles WHERE dbid = 1 AND fileid = 1

	EXECUTE (N'CREATE DATABASE [Shop]
	  ON PRIMARY (NAME = N''Shop_Data'', FILENAME = N''' + @device_directory + N'shop_data.mdf'', SIZE = 2, FILEGROWTH = 10%)
	  LOG ON (NAME = N''Shop_Log'',  FILENAME = N''' + @device_directory + N'shop_log.ldf'' , SIZE = 1, FILEGROWTH = 10%)
	  COLLATE SQL_Latin1_General_CP1_CI_AS')
END
GO

exec sp_dboption N'Shop', N'autoclose', N'false'
GO

use [Shop]
GO

if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[FK_Products_Departments]') and OBJECTPROPERTY(id, N'IsForeignKey') = 1)
ALTER TABLE [dbo].[Products] DROP CONSTRAINT FK_Products_Departments
GO

if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[FK_Sales_Products]') and OBJECTPROPERTY(id, N'IsForeignKey') = 1)
ALTER TABLE [dbo].[Sales] DROP CONSTRAINT FK_Sales_Products
GO

if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[SalesByDepartment]') and OBJECTPROPERTY(id, N'IsProcedure') = 1)
drop procedure [dbo].[SalesByDepartment]
GO

if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[Product List]') and OBJECTPROPERTY(id, N'IsView') = 1)
drop view [dbo].[Product List]
GO

if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[Departments]') and OBJECTPROPERTY(id, N'IsUserTable') = 1)
drop table [dbo].[Departments]
GO

if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[Products]') and OBJECTPROPERTY(id, N'IsUserTable') = 1)
drop table [dbo].[Products]
GO

if exists (select * from dbo.sysobjects where id = object_id(N'[dbo].[Sales]') and OBJECTPROPERTY(id, N'IsUserTable') = 1)
drop table [dbo].[Sales]
GO

CREATE TABLE [dbo].[Departments] (
	[DeptNo] [smallint] NOT NULL ,
	[Name] [nvarchar] (30) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL ,
	[Region] [nvarchar] (15) COLLATE SQL_Latin1_General_CP1_CI_AS NULL 
) ON [PRIMARY]
GO

CREATE TABLE [dbo].[Products] (
	[ProductID] [int] IDENTITY (1, 1) NOT NULL ,
	[ProductName] [nvarchar] (40) COLLATE SQL_Latin1_General_CP1_CI_AS NOT NULL ,
	[DeptNo] [smallint] NULL ,
	[UnitPrice] [money] NULL ,
	[Discontinued] [bit] NOT NULL 
) ON [PRIMARY]
GO

CREATE TABLE [dbo].[Sales] (
	[SaleID] [int] IDENTITY (1, 1) NOT NULL ,
	[ProductID] [int] NOT NULL ,
	[Quantity] [smallint] NOT NULL ,
	[SoldAt] [datetime] NOT NULL 
) ON [PRIMARY]
GO

ALTER TABLE [dbo].[Departments] WITH NOCHECK ADD 
	CONSTRAINT [PK_Departments] PRIMARY KEY  CLUSTERED 
	(
		[DeptNo]
	)  ON [PRIMARY] 
GO

ALTER TABLE [dbo].[Products] WITH NOCHECK ADD 
	CONSTRAINT [PK_Products] PRIMARY KEY  CLUSTERED 
	(
		[ProductID]
	)  ON [PRIMARY] 
GO

ALTER TABLE [dbo].[Products] ADD 
	CONSTRAINT [DF_Products_UnitPrice] DEFAULT (0) FOR [UnitPrice],
	CONSTRAINT [DF_Products_Discontinued] DEFAULT (0) FOR [Discontinued],
	CONSTRAINT [CK_Products_UnitPrice] CHECK ([UnitPrice] >= 0)
GO

 CREATE  INDEX [DeptNo] ON [dbo].[Products]([DeptNo]) ON [PRIMARY]
GO

ALTER TABLE [dbo].[Products] ADD 
	CONSTRAINT [FK_Products_Departments] FOREIGN KEY 
	(
		[DeptNo]
	) REFERENCES [dbo].[Departments] (
		[DeptNo]
	)
GO

ALTER TABLE [dbo].[Sales] ADD 
	CONSTRAINT [FK_Sales_Products] FOREIGN KEY 
	(
		[ProductID]
	) REFERENCES [dbo].[Products] (
		[ProductID]
	)
GO

SET QUOTED_IDENTIFIER ON 
GO
SET ANSI_NULLS ON 
GO

create view "Product List" AS
SELECT p.ProductID, p.ProductName, d.Name AS Department, p.UnitPrice
FROM (Products p INNER JOIN Departments d ON p.DeptNo = d.DeptNo)
WHERE p.Discontinued = 0

GO

CREATE PROCEDURE SalesByDepartment
	@DeptNo smallint,
	@Total money = NULL OUTPUT
AS
SET NOCOUNT ON
SELECT p.ProductName, SUM(s.Quantity) AS Sold
FROM Sales s INNER JOIN Products p ON s.ProductID = p.ProductID
WHERE p.DeptNo = @DeptNo
GROUP BY p.ProductName
ORDER BY p.ProductName
SELECT @Total = SUM(s.Quantity * p.UnitPrice)
FROM Sales s INNER JOIN Products p ON s.ProductID = p.ProductID
WHERE p.DeptNo = @DeptNo
RETURN @@ROWCOUNT

GO
SET QUOTED_IDENTIFIER OFF 
GO
SET ANSI_NULLS ON 
GO

SET QUOTED_IDENTIFIER ON
GO
ALTER TABLE [Products] NOCHECK CONSTRAINT ALL
GO
ALTER TABLE [Sales] NOCHECK CONSTRAINT ALL
GO
set identity_insert "Products" on
go
INSERT "Products"("ProductID","ProductName","DeptNo","UnitPrice","Discontinued") VALUES(1,'Espresso',1,1.8,0)
INSERT "Products"("ProductID","ProductName","DeptNo","UnitPrice","Discontinued") VALUES(2,'Cappuccino',1,2.4,0)
INSERT "Products"("ProductID","ProductName","DeptNo","UnitPrice","Discontinued") VALUES(3,'Croissant',2,1.5,0)
INSERT "Products"("ProductID","ProductName","DeptNo","UnitPrice","Discontinued") VALUES(4,'Old Muffin',2,1.1,1)
go
set identity_insert "Products" off
go
INSERT "Departments" VALUES(1,'Coffee','North')
INSERT "Departments" VALUES(2,'Bakery','North')
go
set identity_insert "Sales" on
go
INSERT "Sales"("SaleID","ProductID","Quantity","SoldAt") VALUES(1,1,2,'2004-02-03 08:15:00')
INSERT "Sales"("SaleID","ProductID","Quantity","SoldAt") VALUES(2,2,1,'2004-02-03 08:16:00')
INSERT "Sales"("SaleID","ProductID","Quantity","SoldAt") VALUES(3,3,4,'2004-02-03 08:17:00')
INSERT "Sales"("SaleID","ProductID","Quantity","SoldAt") VALUES(4,1,1,'2004-02-03 09:00:00')
go
set identity_insert "Sales" off
go
ALTER TABLE [Products] CHECK CONSTRAINT ALL
GO
ALTER TABLE [Sales] CHECK CONSTRAINT ALL
GO
)";

using InstallScriptTest = xrtest::LibraryTest;

TEST_F(InstallScriptTest, RunsTwiceToTheSameDatabase) {
    const std::string path = PathOf("shop.sql");
    xrtest::WriteFile(path, kScript);
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first run" : "second run");
        xr::RunStats stats;
        ASSERT_EQ(xr::ExecSQLFile(path.c_str(), &stats), 1);
        EXPECT_EQ(stats.format, xr::ScriptFormat::Go);
        EXPECT_EQ(stats.failed, 0) << (stats.firstFailures.empty() ? "" : stats.firstFailures[0]);
        EXPECT_EQ(stats.batches, 37);  // one per GO line
        EXPECT_EQ(Scalar("SELECT UPPER(DB_NAME())"), "SHOP");
        EXPECT_EQ(
            Rows("SELECT ProductID, ProductName, DeptNo, UnitPrice, CAST(Discontinued AS INT) "
                 "FROM Products ORDER BY ProductID"),
            (std::vector<std::string>{"1|Espresso|1|1.8|0", "2|Cappuccino|1|2.4|0",
                                      "3|Croissant|2|1.5|0", "4|Old Muffin|2|1.1|1"}));
        EXPECT_EQ(Scalar("SELECT COUNT(*) FROM Sales"), "4");
        EXPECT_EQ(Rows("SELECT * FROM [Product List] ORDER BY ProductID"),
                  (std::vector<std::string>{"1|Espresso|Coffee|1.8", "2|Cappuccino|Coffee|2.4",
                                            "3|Croissant|Bakery|1.5"}));
        // The procedure's rows (its OUTPUT parameter, its return value and
        // the constraints' hold after the load are the cases of
        // procedures.test and foreign_keys.test); identity goes on from the
        // loaded keys.
        EXPECT_EQ(Rows("EXEC SalesByDepartment 1"),
                  (std::vector<std::string>{"Cappuccino|1", "Espresso|3"}));
        Exec("INSERT Products (ProductName, DeptNo, UnitPrice) VALUES ('Tea', 1, 1.2)");
        EXPECT_EQ(Scalar("SELECT MAX(ProductID) FROM Products"), "5");
        EXPECT_EQ(Rows("SELECT name FROM sysobjects WHERE xtype IN ('U', 'V', 'P', 'F', 'C') "
                       "ORDER BY xtype, name"),
                  (std::vector<std::string>{"CK_Products_UnitPrice", "FK_Products_Departments",
                                            "FK_Sales_Products", "SalesByDepartment", "Departments",
                                            "Products", "Sales", "Product List"}));
    }
}

}  // namespace
