# The embedded engine: server folders, sessions, the backend the interpreter
# runs on, the catalog kept in each database file, the renderer into SQLite's
# dialect and the SQL functions the rendered statements call.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sqlite_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sqlite_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/catalog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/catalog_ddl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/catalog_views.cpp
  ${CMAKE_CURRENT_LIST_DIR}/catalog_procedures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/catalog_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/renderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/backup.cpp)
