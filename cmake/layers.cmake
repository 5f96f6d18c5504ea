# The layers of the library, lowest first: a name, its folder under src/ and
# the layers it uses. A layer may include the headers of the layers it uses
# and of theirs, never of a layer above or beside it. Only the embedded
# engine's folder includes sqlite3.h, only the server engine's libpq-fe.h.
set(XRDB8_LAYER_TABLE
  "platform      platform"
  "tsql          tsql          platform"
  "engine        engine        platform tsql"
  "engine_sqlite engine/sqlite engine tsql"
  "engine_postgres engine/postgres engine tsql"
  "frame         frame         engine"
  "table         table         frame"
  "records       records       table"
  "flat          flat          records"
  "lists         lists         records"
  "interchange   interchange   records"
  "setup         setup         frame")
set(XRDB8_SQLITE_FOLDER engine/sqlite)
set(XRDB8_POSTGRES_FOLDER engine/postgres)

# Splits one row of the table into XRDB8_ROW_NAME, XRDB8_ROW_DIR, XRDB8_ROW_USES.
macro(xrdb8_layer_row row)
  string(REGEX REPLACE " +" ";" _fields "${row}")
  list(POP_FRONT _fields XRDB8_ROW_NAME XRDB8_ROW_DIR)
  set(XRDB8_ROW_USES ${_fields})
endmacro()
