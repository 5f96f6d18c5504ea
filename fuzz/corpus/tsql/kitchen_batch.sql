DECLARE @SQL AS VARCHAR(2000), @V1 AS VARCHAR(100) , @KPI AS INTEGER, @KPT AS VARCHAR(10)
SET @KPI = 1
WHILE @KPI < 10 BEGIN
 SET @KPT = CAST(@KPI AS VARCHAR)
 DROP TABLE BLA
 SET @SQL = 'SELECT syscolumns.name, object_name(sysconstraints.constid) AS Constname INTO BLA FROM sysconstraints INNER JOIN syscolumns ON (sysconstraints.id = object_id(''CfgTills'') AND sysconstraints.id = syscolumns.id AND sysconstraints.colid = syscolumns.colid AND sysconstraints.status = 133141) WHERE syscolumns.name=''KPAggregate' + @KPT + ''''
 EXEC (@SQL)
 IF EXISTS (SELECT * FROM BLA) BEGIN
  DEALLOCATE C1
  DECLARE C1 CURSOR SCROLL FOR SELECT ConstName FROM BLA
  OPEN C1 FETCH FIRST FROM C1 INTO @V1
  EXEC ('ALTER TABLE CfgTills DROP CONSTRAINT ' +  @V1)
  SET @SQL = 'ALTER TABLE CfgTills ALTER COLUMN KPAggregate' + @KPT + ' INTEGER NOT NULL' EXEC (@SQL)
  SET @SQL = 'sp_rename ''CfgTills.[KPAggregate' + @KPT + ']'', ''KPLayout' + @KPT + ''', ''COLUMN''' EXEC (@SQL)
  SET @SQL = 'ALTER TABLE CfgTills ADD CONSTRAINT CfgTillsKPLayout' + @KPT + ' DEFAULT 0 FOR KPLayout' + @KPT + '' EXEC (@SQL)
  SET @KPI = @KPI + 1
 END ELSE SET @KPI = 10
END
