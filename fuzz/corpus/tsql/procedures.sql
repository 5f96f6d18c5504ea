EXEC ('CREATE PROCEDURE FuzzProc @a INT, @b VARCHAR(10) = ''x'', @c INT OUTPUT AS SET ROWCOUNT 1 SELECT @c = @a + 1 IF @a > 3 RETURN 7 EXEC FuzzProc @a = @c, @c = @c OUTPUT')
DECLARE @r INT, @o INT
EXEC @r = FuzzProc 1, DEFAULT, @o OUTPUT
SELECT @r, @o, @@NESTLEVEL
EXEC sp_helptext 'FuzzProc'
DROP PROCEDURE FuzzProc
