# Tests of src/tsql: the front end, types, catalog, and the SQL conformance
# files run against real databases.
xrdb8_test(tsql_tests
  ${CMAKE_CURRENT_LIST_DIR}/parser_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binder_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/types_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/functions_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/catalog_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/conformance_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system_procs_test.cpp)
