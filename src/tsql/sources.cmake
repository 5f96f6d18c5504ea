list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/lexer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/types.cpp
  ${CMAKE_CURRENT_LIST_DIR}/functions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/catalog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/catalog_ddl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/interpreter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/record_source.cpp
  ${CMAKE_CURRENT_LIST_DIR}/render_sqlite.cpp
  ${CMAKE_CURRENT_LIST_DIR}/rows.cpp)
