#include "engine/postgres/pg_functions.h"

#include "engine/postgres/pg_backend.h"

namespace xr::engine::postgres {

namespace {

// Bumped whenever a function below changes: a server whose functions are
// older gets the new ones when a session next opens.
constexpr const char* kVersionFunction = "functions_v17";

// The functions rendered statements call, in the schema "xr" of the server
// database. Names of databases are their schemas (pg_session.h); the
// current one is the session setting xr.schema (PgBackend keeps it).
constexpr const char* kFunctions[] = {
    // The schema and table an object name ('t', 'dbo.t', 'db..t',
    // 'db.dbo.t', brackets allowed) names, from the current database.
    R"sql(CREATE OR REPLACE FUNCTION xr.split_object(object text, OUT db text, OUT tbl text)
LANGUAGE plpgsql STABLE AS $$
DECLARE parts text[];
BEGIN
  parts := string_to_array(replace(replace(object, '[', ''), ']', ''), '.');
  tbl := parts[array_length(parts, 1)];
  IF array_length(parts, 1) >= 3 AND parts[1] <> '' THEN
    db := upper(parts[1]);
  ELSE
    db := coalesce(nullif(current_setting('xr.schema', true), ''), 'main');
  END IF;
  IF db = 'MASTER' THEN db := 'main'; END IF;
  -- A ##table of tempdb lies in the schema every session shares.
  IF db = 'TEMPDB' AND left(tbl, 2) = '##' THEN db := 'xr_tempdb';
  ELSIF db = 'TEMPDB' THEN db := 'pg_temp'; END IF;
END $$)sql",
    // The owner part of an object name in lower case ('' when it names none).
    R"sql(CREATE OR REPLACE FUNCTION xr.owner_of(object text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN array_length(p, 1) >= 2 THEN lower(p[array_length(p, 1) - 1] COLLATE "C")
            ELSE '' END
FROM (SELECT string_to_array(replace(replace(object, '[', ''), ']', ''), '.') AS p) q $$)sql",
    // An error of the server raised from within a statement, for a value of
    // any type. (Volatile: the planner would raise it while folding constants.)
    R"sql(CREATE OR REPLACE FUNCTION xr.fail(message text, v anyelement) RETURNS anyelement
LANGUAGE plpgsql VOLATILE AS $$
BEGIN
  RAISE EXCEPTION USING ERRCODE = '22023', MESSAGE = message;
END $$)sql",
    // CHARINDEX: the first place of n in h from s on, without case; 0 when
    // it is not there.
    R"sql(CREATE OR REPLACE FUNCTION xr.charindex(n text, h text, s bigint) RETURNS integer
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN n IS NULL OR h IS NULL OR s IS NULL THEN NULL
            WHEN n = '' OR greatest(s, 1) > length(h) THEN 0
            ELSE (SELECT CASE WHEN p = 0 THEN 0 ELSE p + greatest(s, 1)::int - 1 END
                  FROM (SELECT strpos(lower(substr(h, greatest(s, 1)::int) COLLATE "C"),
                                      lower(n COLLATE "C")) AS p) q) END $$)sql",
    // REPLACE: every place found without case, at most 8000 characters.
    R"sql(CREATE OR REPLACE FUNCTION xr.replace(s text, f text, t text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN s IS NULL OR f IS NULL OR t IS NULL THEN NULL WHEN f = '' THEN s
            ELSE left(regexp_replace(s, regexp_replace(f, '([^[:alnum:]])', '\\\1', 'g'),
                                     replace(t, '\', '\\'), 'gi'), 8000) END $$)sql",
    // LEFT and RIGHT: a negative length is the server's error.
    R"sql(CREATE OR REPLACE FUNCTION xr.left(s text, n bigint) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN n < 0 THEN xr.fail('Invalid length parameter passed to the left function.', s)
            ELSE left(s, least(n, 2147483647)::int) END $$)sql",
    R"sql(CREATE OR REPLACE FUNCTION xr.right(s text, n bigint) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN n < 0 THEN xr.fail('Invalid length parameter passed to the right function.', s)
            ELSE right(s, least(n, 2147483647)::int) END $$)sql",
    // STUFF: NULL for a start outside the text or a negative length; a
    // length past the end deletes to the end.
    R"sql(CREATE OR REPLACE FUNCTION xr.stuff(s text, st bigint, n bigint, ins text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN s IS NULL OR st IS NULL OR n IS NULL OR st < 1 OR st > length(s) OR n < 0
            THEN NULL
            ELSE left(left(s, st::int - 1) || coalesce(ins, '') ||
                      substr(s, (st + least(n, length(s) - st + 1))::int), 8000) END $$)sql",
    // SUBSTRING: the characters from st to st + n - 1 that exist; a
    // negative length is the server's error.
    R"sql(CREATE OR REPLACE FUNCTION xr.substring(s text, st bigint, n bigint) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN n < 0 THEN xr.fail('Invalid length parameter passed to the substring function.', s)
            WHEN st + n <= greatest(st, 1) THEN ''
            ELSE substr(s, greatest(st, 1)::int, least(st + n - greatest(st, 1), 2147483647)::int)
       END $$)sql",
    // REPLICATE and SPACE: NULL for a negative count, at most 8000 characters.
    R"sql(CREATE OR REPLACE FUNCTION xr.replicate(s text, n bigint) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN n < 0 THEN NULL
            ELSE left(repeat(s, least(n, 8001)::int), 8000) END $$)sql",
    // PATINDEX: where the pattern first matches (a leading % lets it start
    // anywhere); 0 when it does not.
    R"sql(CREATE OR REPLACE FUNCTION xr.patindex(p text, s text) RETURNS integer
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE r text; i int;
BEGIN
  IF p IS NULL OR s IS NULL THEN RETURN NULL; END IF;
  IF left(p, 1) <> '%' THEN
    RETURN (lower(s COLLATE "C") ~ xr.like_regex(p, NULL))::int;
  END IF;
  r := xr.like_regex(substr(p, 2), NULL);
  FOR i IN 1 .. length(s) LOOP
    IF lower(substr(s, i) COLLATE "C") ~ r THEN RETURN i; END IF;
  END LOOP;
  RETURN 0;
END $$)sql",
    // STR: right-aligned in `len` characters with `places` places, halves
    // rounded away from zero; fewer places when it does not fit, stars when
    // it does not fit without places either.
    R"sql(CREATE OR REPLACE FUNCTION xr.str(x float8, len bigint, places bigint) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE s text; d int;
BEGIN
  IF x IS NULL OR len IS NULL OR places IS NULL OR len < 1 OR len > 8000 OR places < 0 THEN
    RETURN NULL;
  END IF;
  d := least(places, 16);
  LOOP
    s := round(x::numeric, d)::text;
    EXIT WHEN length(s) <= len OR d = 0;
    d := d - 1;
  END LOOP;
  IF length(s) > len THEN RETURN repeat('*', len::int); END IF;
  RETURN lpad(s, len::int);
END $$)sql",
    // A part of a date as DATEPART, DATEADD and DATEDIFF name it, in its
    // long form; any other name is the server's error.
    R"sql(CREATE OR REPLACE FUNCTION xr.date_part_name(part text) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  CASE lower(trim(part) COLLATE "C")
    WHEN 'year', 'yy', 'yyyy' THEN RETURN 'year';
    WHEN 'quarter', 'qq', 'q' THEN RETURN 'quarter';
    WHEN 'month', 'mm', 'm' THEN RETURN 'month';
    WHEN 'dayofyear', 'dy', 'y' THEN RETURN 'dayofyear';
    WHEN 'day', 'dd', 'd' THEN RETURN 'day';
    WHEN 'week', 'wk', 'ww' THEN RETURN 'week';
    WHEN 'weekday', 'dw', 'w' THEN RETURN 'weekday';
    WHEN 'hour', 'hh' THEN RETURN 'hour';
    WHEN 'minute', 'mi', 'n' THEN RETURN 'minute';
    WHEN 'second', 'ss', 's' THEN RETURN 'second';
    WHEN 'millisecond', 'ms' THEN RETURN 'millisecond';
    ELSE RAISE EXCEPTION USING ERRCODE = '22023',
           MESSAGE = '''' || part || ''' is not a recognized datepart option.';
  END CASE;
END $$)sql",
    // A stored date (the OLE day number) as its day (0 = 1899-12-30) and
    // the 300ths of a second into it, as the server's datetime keeps them.
    R"sql(CREATE OR REPLACE FUNCTION xr.date_split(ole float8, OUT serial bigint, OUT ticks bigint)
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  IF ole IS NULL THEN RETURN; END IF;
  IF ole = 'NaN'::float8 OR abs(ole) > 1e7 THEN
    RAISE EXCEPTION USING ERRCODE = '22023',
      MESSAGE = 'Conversion failed when converting date and/or time from character string.';
  END IF;
  serial := trunc(ole)::bigint;
  ticks := round(abs(ole - serial) * 25920000)::bigint;
  IF ticks >= 25920000 THEN
    ticks := 0;
    serial := serial + 1;
  END IF;
END $$)sql",
    R"sql(CREATE OR REPLACE FUNCTION xr.date_join(serial bigint, ticks bigint) RETURNS float8
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN serial >= 0 THEN serial + ticks / 25920000.0::float8
            ELSE serial - ticks / 25920000.0::float8 END $$)sql",
    // DATEPART (and YEAR, MONTH, DAY) of a stored date; Sunday is day 1 of
    // the week.
    R"sql(CREATE OR REPLACE FUNCTION xr.datepart(part text, ole float8) RETURNS integer
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE p text; sr bigint; tk bigint; d date; ms bigint; jan1 date;
BEGIN
  p := xr.date_part_name(part);
  IF ole IS NULL THEN RETURN NULL; END IF;
  SELECT x.serial, x.ticks INTO sr, tk FROM xr.date_split(ole) x;
  d := date '1899-12-30' + sr::int;
  ms := round(tk * 10 / 3.0)::bigint;
  jan1 := make_date(extract(year FROM d)::int, 1, 1);
  CASE p
    WHEN 'year' THEN RETURN extract(year FROM d);
    WHEN 'quarter' THEN RETURN extract(quarter FROM d);
    WHEN 'month' THEN RETURN extract(month FROM d);
    WHEN 'dayofyear' THEN RETURN extract(doy FROM d);
    WHEN 'day' THEN RETURN extract(day FROM d);
    WHEN 'week' THEN
      RETURN (extract(doy FROM d)::int + extract(dow FROM jan1)::int + 1 - 2) / 7 + 1;
    WHEN 'weekday' THEN RETURN extract(dow FROM d)::int + 1;
    WHEN 'hour' THEN RETURN ms / 3600000;
    WHEN 'minute' THEN RETURN ms / 60000 % 60;
    WHEN 'second' THEN RETURN ms / 1000 % 60;
    ELSE RETURN ms % 1000;
  END CASE;
END $$)sql",
    // DATENAME: the month's and the weekday's English names, any other part
    // as its number.
    R"sql(CREATE OR REPLACE FUNCTION xr.datename(part text, ole float8) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE p text;
BEGIN
  p := xr.date_part_name(part);
  IF ole IS NULL THEN RETURN NULL; END IF;
  IF p = 'month' THEN
    RETURN (ARRAY['January','February','March','April','May','June','July','August',
                  'September','October','November','December'])[xr.datepart('month', ole)];
  END IF;
  IF p = 'weekday' THEN
    RETURN (ARRAY['Sunday','Monday','Tuesday','Wednesday','Thursday','Friday','Saturday'])
           [xr.datepart('weekday', ole)];
  END IF;
  RETURN xr.datepart(p, ole)::text;
END $$)sql",
    // DATEDIFF: the boundaries of the part crossed from a to b.
    R"sql(CREATE OR REPLACE FUNCTION xr.datediff(part text, a float8, b float8) RETURNS integer
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE p text; sa bigint; ta bigint; sb bigint; tb bigint; da date; db date; r bigint;
BEGIN
  p := xr.date_part_name(part);
  IF a IS NULL OR b IS NULL THEN RETURN NULL; END IF;
  SELECT x.serial, x.ticks INTO sa, ta FROM xr.date_split(a) x;
  SELECT x.serial, x.ticks INTO sb, tb FROM xr.date_split(b) x;
  da := date '1899-12-30' + sa::int;
  db := date '1899-12-30' + sb::int;
  CASE p
    WHEN 'year' THEN r := extract(year FROM db) - extract(year FROM da);
    WHEN 'quarter' THEN
      r := (extract(year FROM db) * 4 + extract(quarter FROM db)) -
           (extract(year FROM da) * 4 + extract(quarter FROM da));
    WHEN 'month' THEN
      r := (extract(year FROM db) * 12 + extract(month FROM db)) -
           (extract(year FROM da) * 12 + extract(month FROM da));
    WHEN 'dayofyear', 'day', 'weekday' THEN r := sb - sa;
    WHEN 'week' THEN r := floor((sb - 1) / 7.0) - floor((sa - 1) / 7.0);
    WHEN 'hour' THEN r := (sb * 24 + tb / 1080000) - (sa * 24 + ta / 1080000);
    WHEN 'minute' THEN r := (sb * 1440 + tb / 18000) - (sa * 1440 + ta / 18000);
    WHEN 'second' THEN r := (sb * 86400 + tb / 300) - (sa * 86400 + ta / 300);
    ELSE r := (sb * 86400000 + round(tb * 10 / 3.0)) - (sa * 86400000 + round(ta * 10 / 3.0));
  END CASE;
  IF r < -2147483648 OR r > 2147483647 THEN
    RAISE EXCEPTION USING ERRCODE = '22023', MESSAGE = 'The datediff function resulted in an '
      'overflow. The number of dateparts separating two date/time instances is too large. '
      'Try to use datediff with a less precise datepart.';
  END IF;
  RETURN r;
END $$)sql",
    // DATEADD: months keep their day where the month has it, the last day
    // where it does not; a result outside 1753..9999 is the server's error.
    R"sql(CREATE OR REPLACE FUNCTION xr.dateadd(part text, n bigint, ole float8) RETURNS float8
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE p text; sr bigint; tk bigint; d date; months bigint; idx bigint; y bigint; m int;
        total bigint; unit bigint; ms bigint; days bigint;
        overflow text := 'Adding a value to a ''datetime'' column caused an overflow.';
BEGIN
  p := xr.date_part_name(part);
  IF n IS NULL OR ole IS NULL THEN RETURN NULL; END IF;
  SELECT x.serial, x.ticks INTO sr, tk FROM xr.date_split(ole) x;
  IF n > 4000000000 OR n < -4000000000 THEN
    RAISE EXCEPTION USING ERRCODE = '22023', MESSAGE = overflow;
  END IF;
  d := date '1899-12-30' + sr::int;
  IF p IN ('year', 'quarter', 'month') THEN
    months := CASE p WHEN 'year' THEN n * 12 WHEN 'quarter' THEN n * 3 ELSE n END;
    idx := extract(year FROM d)::bigint * 12 + extract(month FROM d)::bigint - 1 + months;
    y := floor(idx / 12.0);
    IF y < 1753 OR y > 9999 THEN
      RAISE EXCEPTION USING ERRCODE = '22023', MESSAGE = overflow;
    END IF;
    m := (idx - y * 12)::int + 1;
    d := make_date(y::int, m, 1) +
         (least(extract(day FROM d)::int,
                extract(day FROM (make_date(y::int, m, 1) + interval '1 month' -
                                  interval '1 day'))::int) - 1);
    sr := d - date '1899-12-30';
  ELSIF p IN ('dayofyear', 'day', 'weekday') THEN
    sr := sr + n;
  ELSIF p = 'week' THEN
    sr := sr + 7 * n;
  ELSIF p IN ('hour', 'minute', 'second') THEN
    unit := CASE p WHEN 'hour' THEN 1080000 WHEN 'minute' THEN 18000 ELSE 300 END;
    total := tk + n * unit;
    days := floor(total / 25920000.0);
    sr := sr + days;
    tk := total - days * 25920000;
  ELSE
    ms := round(tk * 10 / 3.0)::bigint + n;
    days := floor(ms / 86400000.0);
    ms := ms - days * 86400000;
    sr := sr + days;
    tk := round(ms * 3 / 10.0)::bigint;
    IF tk >= 25920000 THEN
      tk := tk - 25920000;
      sr := sr + 1;
    END IF;
  END IF;
  IF sr < -53688 OR sr > 2958465 THEN
    RAISE EXCEPTION USING ERRCODE = '22023', MESSAGE = overflow;
  END IF;
  RETURN xr.date_join(sr, tk);
END $$)sql",
    // A stored date as text in a style of CONVERT (0 when none is given;
    // add 100 for a four-digit year); a style that does not exist for a
    // date is the server's error.
    R"sql(CREATE OR REPLACE FUNCTION xr.date_text(ole float8, style integer) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE sr bigint; tk bigint; d date; ms bigint; y text; mon text; dd text; mm text;
        h int; hh text; mi text; ss text; mss text; ampm text; h12 text; base int;
BEGIN
  IF ole IS NULL OR style IS NULL THEN RETURN NULL; END IF;
  IF style NOT IN (0, 100, 1, 101, 2, 102, 3, 103, 4, 104, 5, 105, 6, 106, 7, 107, 8, 108,
                   9, 109, 10, 110, 11, 111, 12, 112, 13, 113, 14, 114, 20, 120, 21, 121,
                   23, 126) THEN
    RAISE EXCEPTION USING ERRCODE = '22023', MESSAGE = style::text ||
      ' is not a valid style number when converting from datetime to a character string.';
  END IF;
  SELECT x.serial, x.ticks INTO sr, tk FROM xr.date_split(ole) x;
  d := date '1899-12-30' + sr::int;
  ms := round(tk * 10 / 3.0)::bigint;
  IF ms >= 86400000 THEN ms := 86399999; END IF;
  y := lpad(extract(year FROM d)::text, 4, '0');
  IF style < 100 AND style NOT IN (0, 9, 13, 14, 20, 21, 23) THEN y := right(y, 2); END IF;
  mon := (ARRAY['Jan','Feb','Mar','Apr','May','Jun','Jul','Aug','Sep','Oct','Nov','Dec'])
         [extract(month FROM d)::int];
  mm := lpad(extract(month FROM d)::text, 2, '0');
  dd := lpad(extract(day FROM d)::text, 2, '0');
  h := (ms / 3600000)::int;
  hh := lpad(h::text, 2, '0');
  mi := lpad((ms / 60000 % 60)::text, 2, '0');
  ss := lpad((ms / 1000 % 60)::text, 2, '0');
  mss := lpad((ms % 1000)::text, 3, '0');
  ampm := CASE WHEN h < 12 THEN 'AM' ELSE 'PM' END;
  h12 := lpad((CASE WHEN h % 12 = 0 THEN 12 ELSE h % 12 END)::text, 2, ' ');
  base := style % 100;
  IF style = 126 THEN
    RETURN y || '-' || mm || '-' || dd || 'T' || hh || ':' || mi || ':' || ss ||
           CASE WHEN ms % 1000 = 0 THEN '' ELSE '.' || mss END;
  END IF;
  RETURN CASE base
    WHEN 0 THEN mon || ' ' || lpad(extract(day FROM d)::text, 2, ' ') || ' ' || y || ' ' ||
                h12 || ':' || mi || ampm
    WHEN 1 THEN mm || '/' || dd || '/' || y
    WHEN 2 THEN y || '.' || mm || '.' || dd
    WHEN 3 THEN dd || '/' || mm || '/' || y
    WHEN 4 THEN dd || '.' || mm || '.' || y
    WHEN 5 THEN dd || '-' || mm || '-' || y
    WHEN 6 THEN dd || ' ' || mon || ' ' || y
    WHEN 7 THEN mon || ' ' || dd || ', ' || y
    WHEN 8 THEN hh || ':' || mi || ':' || ss
    WHEN 9 THEN mon || ' ' || lpad(extract(day FROM d)::text, 2, ' ') || ' ' || y || ' ' ||
                h12 || ':' || mi || ':' || ss || ':' || mss || ampm
    WHEN 10 THEN mm || '-' || dd || '-' || y
    WHEN 11 THEN y || '/' || mm || '/' || dd
    WHEN 12 THEN y || mm || dd
    WHEN 13 THEN dd || ' ' || mon || ' ' || y || ' ' || hh || ':' || mi || ':' || ss || ':' || mss
    WHEN 14 THEN hh || ':' || mi || ':' || ss || ':' || mss
    WHEN 20 THEN y || '-' || mm || '-' || dd || ' ' || hh || ':' || mi || ':' || ss
    WHEN 21 THEN y || '-' || mm || '-' || dd || ' ' || hh || ':' || mi || ':' || ss || '.' || mss
    ELSE y || '-' || mm || '-' || dd END;
END $$)sql",
    // A float in scientific notation with `digits` after the point and the
    // server's three exponent digits ("1.2345600e+002"); `strip` drops the
    // mantissa's trailing zeros.
    R"sql(CREATE OR REPLACE FUNCTION xr.float_sci(x float8, digits integer, strip boolean)
RETURNS text LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE e int := 0; m numeric := 0; s text;
BEGIN
  IF x <> 0 THEN
    e := floor(log(abs(x::numeric)))::int;
    m := round(x::numeric / power(10::numeric, e), digits);
    IF abs(m) >= 10 THEN
      e := e + 1;
      m := round(x::numeric / power(10::numeric, e), digits);
    END IF;
  END IF;
  s := trim_scale(m)::text;
  IF NOT strip THEN s := round(m, digits)::text; END IF;
  RETURN s || 'e' || CASE WHEN e < 0 THEN '-' ELSE '+' END || lpad(abs(e)::text, 3, '0');
END $$)sql",
    // A float as text: six digits at most, scientific where the server
    // writes it so (style 0), or eight (1) or sixteen (2) digits always
    // scientific.
    R"sql(CREATE OR REPLACE FUNCTION xr.float_text(x float8, style integer) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE e int;
BEGIN
  IF x IS NULL THEN RETURN NULL; END IF;
  IF x = 'NaN'::float8 OR x = 'Infinity'::float8 OR x = '-Infinity'::float8 THEN RETURN '0'; END IF;
  IF style = 1 THEN RETURN xr.float_sci(x, 7, false); END IF;
  IF style = 2 THEN RETURN xr.float_sci(x, 15, false); END IF;
  IF x = 0 THEN RETURN '0'; END IF;
  e := floor(log(abs(x::numeric)))::int;
  IF abs(round(x::numeric / power(10::numeric, e), 5)) >= 10 THEN e := e + 1; END IF;
  IF e < -4 OR e >= 6 THEN RETURN xr.float_sci(x, 5, true); END IF;
  RETURN trim_scale(round(x::numeric, 5 - e))::text;
END $$)sql",
    // A number written as text into `n` characters: a whole number that
    // does not fit is a star, anything else the server's overflow.
    R"sql(CREATE OR REPLACE FUNCTION xr.fit_number(s text, n integer, message text) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  IF s IS NULL OR length(s) <= n OR rtrim(substr(s, n + 1), ' ') = '' THEN RETURN left(s, n); END IF;
  IF message IS NULL THEN RETURN '*'; END IF;
  RAISE EXCEPTION USING ERRCODE = '22003', MESSAGE = message;
END $$)sql",
    // Text read as a date (the OLE day number): yyyymmdd, y-m-d with an
    // optional time (or a T before it), or d, m and y in the order of the
    // style (day first for 3, 4, 5 and 103 to 105, else month first); a
    // two-digit year lies in 1950..2049. A SMALLDATETIME rounds to the
    // minute. Anything else is the server's error.
    R"sql(CREATE OR REPLACE FUNCTION xr.text_date(s text, style integer, small boolean)
RETURNS float8 LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE t text; dp text; tp text; m text[]; y int; mo int; d int; h int := 0; mi int := 0;
        sec int := 0; ms int := 0; sr bigint; tk bigint;
        bad text := 'Conversion failed when converting date and/or time from character string.';
BEGIN
  IF s IS NULL OR style IS NULL THEN RETURN NULL; END IF;
  t := upper(trim(s));
  IF t ~ '^[0-9]{4}-[0-9]{1,2}-[0-9]{1,2}T' THEN t := regexp_replace(t, 'T', ' '); END IF;
  dp := split_part(t, ' ', 1);
  tp := trim(substr(t, length(dp) + 1));
  IF dp ~ '^[0-9]{8}$' THEN
    y := substr(dp, 1, 4)::int; mo := substr(dp, 5, 2)::int; d := substr(dp, 7, 2)::int;
  ELSIF dp ~ '^[0-9]{4}[-/.][0-9]{1,2}[-/.][0-9]{1,2}$' THEN
    m := regexp_match(dp, '^([0-9]{4})[-/.]([0-9]{1,2})[-/.]([0-9]{1,2})$');
    y := m[1]::int; mo := m[2]::int; d := m[3]::int;
  ELSIF dp ~ '^[0-9]{1,2}[-/.][0-9]{1,2}[-/.]([0-9]{2}|[0-9]{4})$' THEN
    m := regexp_match(dp, '^([0-9]{1,2})[-/.]([0-9]{1,2})[-/.]([0-9]+)$');
    IF style IN (3, 4, 5, 103, 104, 105) THEN
      d := m[1]::int; mo := m[2]::int;
    ELSE
      mo := m[1]::int; d := m[2]::int;
    END IF;
    y := m[3]::int;
    IF length(m[3]) = 2 THEN y := CASE WHEN y < 50 THEN 2000 + y ELSE 1900 + y END; END IF;
  ELSE
    RAISE EXCEPTION USING ERRCODE = '22007', MESSAGE = bad;
  END IF;
  IF tp <> '' THEN
    m := regexp_match(tp,
      '^([0-9]{1,2}):([0-9]{1,2})(:([0-9]{1,2})(([.:])([0-9]{1,3}))?)? *(AM|PM)?$');
    IF m IS NULL THEN RAISE EXCEPTION USING ERRCODE = '22007', MESSAGE = bad; END IF;
    h := m[1]::int; mi := m[2]::int; sec := coalesce(m[4], '0')::int;
    IF m[7] IS NOT NULL THEN
      ms := CASE WHEN m[6] = '.' THEN rpad(m[7], 3, '0')::int ELSE m[7]::int END;
    END IF;
    IF m[8] IS NOT NULL THEN
      IF h < 1 OR h > 12 THEN RAISE EXCEPTION USING ERRCODE = '22007', MESSAGE = bad; END IF;
      h := h % 12 + CASE WHEN m[8] = 'PM' THEN 12 ELSE 0 END;
    END IF;
  END IF;
  IF y < 1753 OR y > 9999 OR mo < 1 OR mo > 12 OR d < 1 OR h > 23 OR mi > 59 OR sec > 59 OR
     d > extract(day FROM make_date(y, mo, 1) + interval '1 month' - interval '1 day') THEN
    RAISE EXCEPTION USING ERRCODE = '22007', MESSAGE = bad;
  END IF;
  sr := make_date(y, mo, d) - date '1899-12-30';
  tk := round((h * 3600000 + mi * 60000 + sec * 1000 + ms) * 0.3)::bigint;
  IF small THEN tk := round(tk / 18000.0)::bigint * 18000; END IF;
  IF tk >= 25920000 THEN
    tk := tk - 25920000;
    sr := sr + 1;
  END IF;
  RETURN xr.date_join(sr, tk);
END $$)sql",
    // The row count of TOP n, which may be neither NULL nor negative.
    R"sql(CREATE OR REPLACE FUNCTION xr.top(n bigint) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  IF n IS NULL THEN
    RAISE EXCEPTION USING ERRCODE = '22023', MESSAGE = 'The number of rows provided for a TOP '
      'or FETCH clauses row count parameter must be an integer.';
  END IF;
  IF n < 0 THEN
    RAISE EXCEPTION USING ERRCODE = '22023',
      MESSAGE = 'A TOP N or FETCH rows count value may not be negative.';
  END IF;
  RETURN n;
END $$)sql",
    // The rows TOP p PERCENT takes of `total`, a part of a row counting as a
    // whole one.
    R"sql(CREATE OR REPLACE FUNCTION xr.top_percent(p float8, total bigint) RETURNS bigint
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  IF p IS NULL THEN RETURN NULL; END IF;
  IF p < 0 OR p > 100 THEN
    RAISE EXCEPTION USING ERRCODE = '22023', MESSAGE = 'Percent values must be between 0 and 100.';
  END IF;
  RETURN ceil(total * p / 100.0);
END $$)sql",
    // The server's databases and their ids: the system ones first, then
    // each database schema in the order it was made.
    R"sql(CREATE OR REPLACE FUNCTION xr.databases() RETURNS TABLE(name text, dbid integer)
LANGUAGE sql STABLE AS $$
SELECT * FROM (VALUES ('master', 1), ('tempdb', 2), ('model', 3), ('msdb', 4)) v
UNION ALL
SELECT n.nspname::text, (4 + row_number() OVER (ORDER BY n.oid))::int
FROM pg_catalog.pg_namespace n
WHERE n.nspname NOT IN ('main', 'xr', 'MODEL', 'MSDB', 'xr_tempdb') AND n.nspname NOT LIKE 'pg\_%'
  AND EXISTS (SELECT 1 FROM pg_catalog.pg_class c WHERE c.relnamespace = n.oid
              AND c.relname = 'xr_version') $$)sql",
    // OBJECTPROPERTY(id, property) of an object of the current database;
    // NULL for no object, or a property it has none of.
    R"sql(CREATE OR REPLACE FUNCTION xr.objectproperty(oid bigint, prop text) RETURNS integer
LANGUAGE plpgsql STABLE AS $$
DECLARE d text; x text; par integer; owner integer; p text; tbl bool; found bool;
BEGIN
  IF oid IS NULL OR prop IS NULL THEN RETURN NULL; END IF;
  d := coalesce(nullif(current_setting('xr.schema', true), ''), 'main');
  EXECUTE format('SELECT rtrim(xtype), parent_obj, uid FROM %I.sysobjects WHERE id = $1', d)
    INTO x, par, owner USING oid;
  IF x IS NULL THEN RETURN NULL; END IF;
  p := lower(prop COLLATE "C");
  tbl := x IN ('U', 'S');
  CASE p
    WHEN 'ownerid' THEN RETURN owner;
    WHEN 'ismsshipped', 'issystemtable' THEN RETURN (x = 'S')::int;
    WHEN 'isusertable' THEN RETURN (x = 'U')::int;
    WHEN 'istable' THEN RETURN tbl::int;
    WHEN 'isview' THEN RETURN (x = 'V')::int;
    WHEN 'isprocedure' THEN RETURN (x = 'P')::int;
    WHEN 'istrigger' THEN RETURN (x = 'TR')::int;
    WHEN 'isscalarfunction' THEN RETURN (x = 'FN')::int;
    WHEN 'istablefunction' THEN RETURN (x IN ('TF', 'IF'))::int;
    WHEN 'isinlinefunction' THEN RETURN (x = 'IF')::int;
    WHEN 'isprimarykey' THEN RETURN (x = 'PK')::int;
    WHEN 'isforeignkey' THEN RETURN (x = 'F')::int;
    WHEN 'ischeckcnst' THEN RETURN (x = 'C')::int;
    WHEN 'isdefaultcnst' THEN RETURN (x = 'D' AND par <> 0)::int;
    WHEN 'isuniquecnst' THEN RETURN (x = 'UQ')::int;
    WHEN 'isconstraint' THEN
      RETURN (x IN ('PK', 'UQ', 'F', 'C') OR (x = 'D' AND par <> 0))::int;
    WHEN 'isdefault' THEN RETURN (x = 'D' AND par = 0)::int;
    WHEN 'isrule' THEN RETURN (x = 'R')::int;
    WHEN 'cnstisclustkey' THEN
      RETURN CASE WHEN x IN ('PK', 'UQ') THEN (x = 'PK')::int END;
    WHEN 'cnstisnonclustkey' THEN
      RETURN CASE WHEN x IN ('PK', 'UQ') THEN (x = 'UQ')::int END;
    ELSE NULL;
  END CASE;
  IF NOT tbl THEN RETURN NULL; END IF;
  CASE p
    WHEN 'tablehasprimarykey' THEN
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.sysobjects WHERE parent_obj = $1 '
                     'AND rtrim(xtype) = ''PK'')', d) INTO found USING oid;
    WHEN 'tablehasuniquecnst' THEN
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.sysobjects WHERE parent_obj = $1 '
                     'AND rtrim(xtype) = ''UQ'')', d) INTO found USING oid;
    WHEN 'tablehasforeignkey' THEN
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.sysobjects WHERE parent_obj = $1 '
                     'AND rtrim(xtype) = ''F'')', d) INTO found USING oid;
    WHEN 'tablehascheckcnst' THEN
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.sysobjects WHERE parent_obj = $1 '
                     'AND rtrim(xtype) = ''C'')', d) INTO found USING oid;
    WHEN 'tablehasdefaultcnst' THEN
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.sysobjects WHERE parent_obj = $1 '
                     'AND rtrim(xtype) = ''D'')', d) INTO found USING oid;
    WHEN 'tablehasidentity' THEN
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.syscolumns WHERE id = $1 '
                     'AND (status & 128) <> 0)', d) INTO found USING oid;
    WHEN 'isindexed', 'tablehasindex' THEN
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.xr_indexes WHERE table_id = $1)', d)
        INTO found USING oid;
    WHEN 'tablehasclustindex' THEN
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.xr_indexes WHERE table_id = $1 '
                     'AND is_pk)', d) INTO found USING oid;
    WHEN 'tablehasnonclustindex' THEN
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.xr_indexes WHERE table_id = $1 '
                     'AND NOT is_pk)', d) INTO found USING oid;
    WHEN 'tablehastextimage' THEN
      EXECUTE format('SELECT EXISTS (SELECT 1 FROM %I.syscolumns WHERE id = $1 '
                     'AND xtype IN (34, 35, 99))', d) INTO found USING oid;
    ELSE RETURN NULL;
  END CASE;
  RETURN found::int;
EXCEPTION WHEN invalid_schema_name OR undefined_table THEN RETURN NULL;
END $$)sql",
    // IDENT_CURRENT: the last identity value given in the table, its seed
    // while none was; NULL for a table without identity or no table.
    R"sql(CREATE OR REPLACE FUNCTION xr.ident_current(object text) RETURNS bigint
LANGUAGE plpgsql STABLE AS $$
DECLARE d text; t text; tid int; col text; seed bigint; seq text; lv bigint; called bool;
BEGIN
  IF object IS NULL THEN RETURN NULL; END IF;
  SELECT s.db, s.tbl INTO d, t FROM xr.split_object(object) s;
  EXECUTE format('SELECT id, name FROM %I.sysobjects WHERE rtrim(xtype) = ''U'' AND '
                 'lower(rtrim(name, '' '') COLLATE "C") = lower(rtrim($1, '' '') COLLATE "C")', d)
    INTO tid, t USING t;
  IF tid IS NULL THEN RETURN NULL; END IF;
  EXECUTE format('SELECT name, seed FROM %I.xr_columns WHERE table_id = $1 AND is_identity', d)
    INTO col, seed USING tid;
  IF col IS NULL THEN RETURN NULL; END IF;
  seq := pg_get_serial_sequence(format('%I.%I', d, t), col);
  EXECUTE format('SELECT last_value, is_called FROM %s', seq) INTO lv, called;
  IF called THEN RETURN lv; END IF;
  RETURN seed;
EXCEPTION WHEN invalid_schema_name OR undefined_table THEN RETURN NULL;
END $$)sql",
    // The server's overflow error for a value that leaves its type.
    // (Volatile: the planner would raise it while folding constants.)
    R"sql(CREATE OR REPLACE FUNCTION xr.overflow(message text) RETURNS bigint
LANGUAGE plpgsql VOLATILE AS $$
BEGIN
  RAISE EXCEPTION USING ERRCODE = '22003', MESSAGE = message;
END $$)sql",
    // A value as REAL holds it: rounded to its precision, or the overflow.
    R"sql(CREATE OR REPLACE FUNCTION xr.to_real(v float8) RETURNS float8
LANGUAGE plpgsql STABLE AS $$
BEGIN
  IF abs(v) > 3.40282346638528859812e+38 AND v <> 'Infinity' AND v <> '-Infinity' THEN
    PERFORM xr.overflow('Arithmetic overflow error converting expression to data type real.');
  END IF;
  RETURN v::float4::float8;
END $$)sql",
    // A MONEY or DECIMAL result worked out exactly, as the scaled integer it
    // is stored as, or the overflow of its type (`t`: the server's message).
    R"sql(CREATE OR REPLACE FUNCTION xr.scaled(v numeric, lo numeric, hi numeric, t text)
RETURNS bigint LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN v IS NULL THEN NULL WHEN v BETWEEN lo AND hi THEN v::bigint
            ELSE xr.overflow(t) END $$)sql",
    // OBJECT_ID(name [, type]): the object's id in its database, NULL when
    // there is none (of that type).
    R"sql(CREATE OR REPLACE FUNCTION xr.object_id(object text, kind text) RETURNS integer
LANGUAGE plpgsql STABLE AS $$
DECLARE d text; t text; found integer;
BEGIN
  IF object IS NULL THEN RETURN NULL; END IF;
  SELECT s.db, s.tbl INTO d, t FROM xr.split_object(object) s;
  IF (left(t, 1) = '#' AND d NOT IN ('pg_temp', 'xr_tempdb')) OR t = '' OR
     xr.owner_of(object) NOT IN ('', 'dbo') THEN RETURN NULL; END IF;
  EXECUTE format('SELECT id FROM %I.sysobjects WHERE lower(rtrim(name, '' '') COLLATE "C") = '
                 'lower(rtrim($1, '' '') COLLATE "C") AND ($2 IS NULL OR rtrim(xtype) = '
                 'upper(rtrim($2)))', d)
    INTO found USING t, kind;
  RETURN found;
EXCEPTION WHEN invalid_schema_name OR undefined_table THEN RETURN NULL;
END $$)sql",
    // OBJECT_NAME(id): the name of an object of the current database.
    R"sql(CREATE OR REPLACE FUNCTION xr.object_name(id bigint) RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE found text;
BEGIN
  IF id IS NULL THEN RETURN NULL; END IF;
  EXECUTE format('SELECT name FROM %I.sysobjects WHERE id = $1',
                 coalesce(nullif(current_setting('xr.schema', true), ''), 'main'))
    INTO found USING id;
  RETURN found;
EXCEPTION WHEN invalid_schema_name OR undefined_table THEN RETURN NULL;
END $$)sql",
    // OBJECT_NAME(id, database id): the name of an object of that database;
    // tempdb shows a #table by its padded name and holds the ##tables too.
    R"sql(CREATE OR REPLACE FUNCTION xr.object_name(oid bigint, db bigint) RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE d text; found text;
BEGIN
  IF oid IS NULL OR db IS NULL THEN RETURN NULL; END IF;
  SELECT CASE v.name WHEN 'master' THEN 'main' WHEN 'tempdb' THEN 'pg_temp' ELSE v.name END
    INTO d FROM xr.databases() v WHERE v.dbid = db;
  IF d IS NULL THEN RETURN NULL; END IF;
  BEGIN
    EXECUTE format('SELECT CASE WHEN $2 AND left(name, 1) = ''#'' AND substr(name, 2, 1) <> ''#'' '
                   'THEN name || repeat(''_'', 116 - length(name)) || '
                   'lpad(upper(to_hex(id)), 12, ''0'') ELSE name END FROM %I.sysobjects '
                   'WHERE id = $1', d)
      INTO found USING oid, d = 'pg_temp';
  EXCEPTION WHEN invalid_schema_name OR undefined_table THEN found := NULL;
  END;
  IF found IS NULL AND d = 'pg_temp' THEN
    BEGIN
      SELECT name INTO found FROM xr_tempdb.sysobjects WHERE id = oid;
    EXCEPTION WHEN invalid_schema_name OR undefined_table THEN found := NULL;
    END;
  END IF;
  RETURN found;
END $$)sql",
    // A value written into an identity column (IDENTITY_INSERT): the
    // counter goes on from it when it lies beyond the last one given.
    R"sql(CREATE OR REPLACE FUNCTION xr.keep_identity(d text, t text, col text, v bigint)
RETURNS bigint LANGUAGE plpgsql AS $$
DECLARE seq text; lv bigint; called bool; inc bigint;
BEGIN
  IF v IS NULL THEN RETURN v; END IF;
  seq := pg_get_serial_sequence(format('%I.%I', d, t), col);
  EXECUTE format('SELECT last_value, is_called FROM %s', seq) INTO lv, called;
  SELECT seqincrement INTO inc FROM pg_catalog.pg_sequence WHERE seqrelid = seq::regclass;
  IF (inc > 0 AND (v > lv OR (NOT called AND v = lv))) OR
     (inc < 0 AND (v < lv OR (NOT called AND v = lv))) THEN
    PERFORM setval(seq, v, true);
  END IF;
  RETURN v;
END $$)sql",
    // A character as a regular expression matches it: a letter or digit as
    // it is (a backslash would make an escape of it), anything else quoted.
    R"sql(CREATE OR REPLACE FUNCTION xr.regex_char(c text) RETURNS text
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE WHEN c ~ '^[[:alnum:]]$' THEN c ELSE '\' || c END $$)sql",
    // The pattern of a LIKE as a regular expression over the value in
    // lower case: % any run, _ any character, [a-c] and [^a-c] sets, the
    // escape character before a character taken as it is, the value's
    // trailing blanks ignored.
    R"sql(CREATE OR REPLACE FUNCTION xr.like_regex(p text, esc text) RETURNS text
LANGUAGE plpgsql IMMUTABLE AS $$
DECLARE out text := '^'; i int := 1; n int; c text; close int; body text; k int; e text;
BEGIN
  IF p IS NULL THEN RETURN NULL; END IF;
  p := lower(p COLLATE "C");
  e := lower(esc COLLATE "C");
  n := length(p);
  WHILE i <= n LOOP
    c := substr(p, i, 1);
    IF e IS NOT NULL AND c = e AND i < n THEN
      out := out || xr.regex_char(substr(p, i + 1, 1));
      i := i + 2;
      CONTINUE;
    END IF;
    IF c = '%' THEN
      out := out || '.*';
    ELSIF c = '_' THEN
      out := out || '.';
    ELSIF c = '[' AND position(']' IN substr(p, i + 2)) > 0 THEN
      close := i + 1 + position(']' IN substr(p, i + 2));
      body := substr(p, i + 1, close - i - 1);
      out := out || '[';
      k := 1;
      IF substr(body, 1, 1) = '^' AND length(body) > 1 THEN
        out := out || '^';
        k := 2;
      END IF;
      WHILE k <= length(body) LOOP
        IF k + 2 <= length(body) AND substr(body, k + 1, 1) = '-' THEN
          out := out || xr.regex_char(substr(body, k, 1)) || '-' ||
                 xr.regex_char(substr(body, k + 2, 1));
          k := k + 3;
        ELSE
          out := out || xr.regex_char(substr(body, k, 1));
          k := k + 1;
        END IF;
      END LOOP;
      out := out || ']';
      i := close;
    ELSE
      out := out || xr.regex_char(c);
    END IF;
    i := i + 1;
  END LOOP;
  RETURN out || ' *$';
END $$)sql",
};

}  // namespace

void InstallFunctions(PgLink& link) {
    if (!link.Select("SELECT 1 FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON "
                     "n.oid = p.pronamespace WHERE n.nspname = 'xr' AND p.proname = $1",
                     {kVersionFunction})
             .empty())
        return;
    // One session installs them; the others wait for its commit.
    link.Exec("BEGIN");
    try {
        link.Exec("SELECT pg_advisory_xact_lock(7478011)");
        link.Exec("CREATE SCHEMA IF NOT EXISTS xr");
        for (const char* sql : kFunctions) link.Exec(sql);
        for (const char* sql : MetaFunctions()) link.Exec(sql);
        // The server's schema mark: every DDL moves it, every statement
        // checks it (PgBackend).
        link.Exec("CREATE TABLE IF NOT EXISTS xr.ddl (v bigint NOT NULL)");
        link.Exec("INSERT INTO xr.ddl SELECT 0 WHERE NOT EXISTS (SELECT 1 FROM xr.ddl)");
        link.Exec(std::string("CREATE OR REPLACE FUNCTION xr.") + kVersionFunction +
                  "() RETURNS int LANGUAGE sql IMMUTABLE AS 'SELECT 1'");
        link.Exec("COMMIT");
    } catch (...) {
        link.TryExec("ROLLBACK");
        throw;
    }
}

}  // namespace xr::engine::postgres
