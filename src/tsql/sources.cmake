# The T-SQL front end: lexer, parser, syntax tree, types, table definitions
# and the binder that types statements against them. No engine here.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/lexer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/parser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/types.cpp
  ${CMAKE_CURRENT_LIST_DIR}/numbers.cpp
  ${CMAKE_CURRENT_LIST_DIR}/datetime.cpp
  ${CMAKE_CURRENT_LIST_DIR}/convert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/arithmetic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binder.cpp
  ${CMAKE_CURRENT_LIST_DIR}/catalog.cpp)
