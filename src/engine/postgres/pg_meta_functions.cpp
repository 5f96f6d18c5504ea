// The catalog's metadata functions on the server engine (COLUMNPROPERTY,
// INDEXPROPERTY, COL_LENGTH, COL_NAME) and the tests of text ISNUMERIC and
// ISDATE, as functions of the schema "xr" that InstallFunctions installs with
// the others. Objects are those of the current database (the session setting
// xr.schema); names of columns and indexes are compared without case.
#include "engine/postgres/pg_functions.h"

namespace xr::engine::postgres {

namespace {

constexpr const char* kMetaFunctions[] = {
    // COLUMNPROPERTY(id, column, property): NULL for no such column or
    // property.
    R"sql(CREATE OR REPLACE FUNCTION xr.columnproperty(oid bigint, col text, prop text)
RETURNS integer LANGUAGE plpgsql STABLE AS $$
DECLARE d text; cid int; xt int; len int; pr int; sc int; nul int; st int; p text;
BEGIN
  IF oid IS NULL OR col IS NULL OR prop IS NULL THEN RETURN NULL; END IF;
  d := coalesce(nullif(current_setting('xr.schema', true), ''), 'main');
  EXECUTE format('SELECT colid, xtype, length, prec, scale, isnullable, status FROM %I.syscolumns '
                 'WHERE id = $1 AND lower(name COLLATE "C") = lower($2 COLLATE "C")', d)
    INTO cid, xt, len, pr, sc, nul, st USING oid, col;
  IF cid IS NULL THEN RETURN NULL; END IF;
  p := lower(prop COLLATE "C");
  CASE p
    WHEN 'allowsnull' THEN RETURN (nul <> 0)::int;
    WHEN 'isidentity' THEN RETURN ((st & 128) <> 0)::int;
    WHEN 'iscomputed', 'isrowguidcol', 'isfulltextindexed', 'isoutparam' THEN RETURN 0;
    WHEN 'columnid' THEN RETURN cid;
    WHEN 'precision' THEN
      RETURN CASE WHEN xt IN (35, 34) THEN 2147483647 WHEN xt = 99 THEN 1073741823
                  WHEN xt IN (239, 231) THEN len / 2
                  WHEN xt IN (175, 167, 173, 165) THEN len
                  WHEN xt = 62 THEN 53 WHEN xt = 59 THEN 24 ELSE pr END;
    WHEN 'scale' THEN
      RETURN CASE WHEN xt IN (48, 52, 56, 127, 60, 122, 106, 108, 104) THEN sc
                  WHEN xt = 61 THEN 3 WHEN xt = 58 THEN 0 END;
    WHEN 'usesansitrim' THEN
      RETURN CASE WHEN xt IN (175, 167, 35, 239, 231, 99, 173, 165, 34) THEN 1 END;
    ELSE RETURN NULL;
  END CASE;
EXCEPTION WHEN invalid_schema_name OR undefined_table THEN RETURN NULL;
END $$)sql",
    // INDEXPROPERTY(id, index, property): the primary key is the clustered
    // index, id 1; the others are numbered from 2 in the order they were
    // made, as sysindexes shows them.
    R"sql(CREATE OR REPLACE FUNCTION xr.indexproperty(oid bigint, idx text, prop text)
RETURNS integer LANGUAGE plpgsql STABLE AS $$
DECLARE d text; uniq bool; pk bool; sq int; n int; p text;
BEGIN
  IF oid IS NULL OR idx IS NULL OR prop IS NULL THEN RETURN NULL; END IF;
  d := coalesce(nullif(current_setting('xr.schema', true), ''), 'main');
  EXECUTE format('SELECT is_unique, is_pk, seq FROM %I.xr_indexes WHERE table_id = $1 AND '
                 'lower(name COLLATE "C") = lower($2 COLLATE "C")', d)
    INTO uniq, pk, sq USING oid, idx;
  IF sq IS NULL THEN RETURN NULL; END IF;
  p := lower(prop COLLATE "C");
  CASE p
    WHEN 'isunique' THEN RETURN (uniq OR pk)::int;
    WHEN 'isclustered' THEN RETURN pk::int;
    WHEN 'indexid' THEN
      IF pk THEN RETURN 1; END IF;
      EXECUTE format('SELECT count(*) FROM %I.xr_indexes WHERE table_id = $1 AND NOT is_pk '
                     'AND seq <= $2', d) INTO n USING oid, sq;
      RETURN n + 1;
    WHEN 'isstatistics', 'isautostatistics', 'isfulltextkey', 'ishypothetical', 'ispadindex',
         'ispagelockdisallowed', 'isrowlockdisallowed', 'indexfillfactor' THEN RETURN 0;
    ELSE RETURN NULL;
  END CASE;
EXCEPTION WHEN invalid_schema_name OR undefined_table THEN RETURN NULL;
END $$)sql",
    // COL_LENGTH('table', 'column'): the column's defined length in bytes;
    // NULL for no such table or column.
    R"sql(CREATE OR REPLACE FUNCTION xr.col_length(object text, col text) RETURNS smallint
LANGUAGE plpgsql STABLE AS $$
DECLARE d text; t text; found smallint;
BEGIN
  IF object IS NULL OR col IS NULL THEN RETURN NULL; END IF;
  SELECT s.db, s.tbl INTO d, t FROM xr.split_object(object) s;
  IF t = '' OR xr.owner_of(object) NOT IN ('', 'dbo') THEN RETURN NULL; END IF;
  EXECUTE format('SELECT c.length FROM %I.sysobjects o JOIN %I.syscolumns c ON c.id = o.id '
                 'WHERE lower(rtrim(o.name, '' '') COLLATE "C") = lower(rtrim($1, '' '') '
                 'COLLATE "C") AND lower(c.name COLLATE "C") = lower($2 COLLATE "C") AND '
                 'o.xtype IN (''U '', ''S '', ''V '')', d, d)
    INTO found USING t, col;
  RETURN found;
EXCEPTION WHEN invalid_schema_name OR undefined_table THEN RETURN NULL;
END $$)sql",
    // COL_NAME(id, column id).
    R"sql(CREATE OR REPLACE FUNCTION xr.col_name(oid bigint, cid bigint) RETURNS text
LANGUAGE plpgsql STABLE AS $$
DECLARE found text;
BEGIN
  IF oid IS NULL OR cid IS NULL THEN RETURN NULL; END IF;
  EXECUTE format('SELECT name FROM %I.syscolumns WHERE id = $1 AND colid = $2',
                 coalesce(nullif(current_setting('xr.schema', true), ''), 'main'))
    INTO found USING oid, cid;
  RETURN found;
EXCEPTION WHEN invalid_schema_name OR undefined_table THEN RETURN NULL;
END $$)sql",
    // ISNUMERIC of text: 1 for a number as the server reads one (signs,
    // a currency symbol, thousands separators, an exponent), and for a lone
    // sign, currency symbol or point; 0 otherwise and for NULL.
    R"sql(CREATE OR REPLACE FUNCTION xr.isnumeric(s text) RETURNS integer
LANGUAGE sql IMMUTABLE AS $$
SELECT CASE
  WHEN t IS NULL OR t = '' THEN 0
  WHEN t ~ '^[+-]?\$?[+-]?([0-9][0-9,]*\.?[0-9]*|\.[0-9]+)$' THEN 1
  WHEN t ~ '^[+-]?([0-9]+\.?[0-9]*|\.[0-9]+)[eE][+-]?[0-9]+$' THEN 1
  WHEN t ~ '^[-+$.]+$' AND length(t) - length(translate(t, '+-', '')) <= 1
       AND length(t) - length(replace(t, '$', '')) <= 1
       AND length(t) - length(replace(t, '.', '')) <= 1 THEN 1
  ELSE 0 END
FROM (SELECT btrim(s, E' \t\r\n') AS t) q $$)sql",
    // ISDATE of text: 1 for a DATETIME the text converts to, month first.
    R"sql(CREATE OR REPLACE FUNCTION xr.isdate(s text) RETURNS integer
LANGUAGE plpgsql IMMUTABLE AS $$
BEGIN
  IF s IS NULL THEN RETURN 0; END IF;
  PERFORM xr.text_date(s, 0, false);
  RETURN 1;
EXCEPTION WHEN OTHERS THEN RETURN 0;
END $$)sql",
};

}  // namespace

std::vector<const char*> MetaFunctions() {
    return {std::begin(kMetaFunctions), std::end(kMetaFunctions)};
}

}  // namespace xr::engine::postgres
