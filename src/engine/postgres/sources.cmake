# The server engine: sessions over libpq, the backend the interpreter runs on,
# the catalog kept in each database's schema and the renderer into
# PostgreSQL's dialect.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/pg_session.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_backend.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_catalog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_constraints.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_logins.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_renderer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_serialize.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_views.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_system_views.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_meta_functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_procedures.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_temp.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pg_backup.cpp)
