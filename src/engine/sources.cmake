# Connections, recordsets and the provider registry engines plug into; the
# T-SQL interpreter over an engine's backend (backend.h) and the record
# sources behind recordsets.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/connection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/connection_string.cpp
  ${CMAKE_CURRENT_LIST_DIR}/plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/provider.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recordset.cpp
  ${CMAKE_CURRENT_LIST_DIR}/interpreter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/procedures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_source.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rows.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sql_writer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_tables.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_views.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_procs.cpp)
