#include "engine/postgres/pg_functions.h"

#include "engine/postgres/pg_backend.h"

namespace xr::engine::postgres {

namespace {

// Bumped whenever a function below changes: a server whose functions are
// older gets the new ones when a session next opens.
constexpr const char* kVersionFunction = "functions_v3";

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
  IF db = 'TEMPDB' THEN db := 'pg_temp'; END IF;
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
  IF left(t, 1) = '#' THEN RETURN NULL; END IF;
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
        link.Exec(std::string("CREATE OR REPLACE FUNCTION xr.") + kVersionFunction +
                  "() RETURNS int LANGUAGE sql IMMUTABLE AS 'SELECT 1'");
        link.Exec("COMMIT");
    } catch (...) {
        link.TryExec("ROLLBACK");
        throw;
    }
}

}  // namespace xr::engine::postgres
