# Tests of src/tsql.
xrdb8_test(tsql_types_tests
  ${CMAKE_CURRENT_LIST_DIR}/types_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/functions_test.cpp)
xrdb8_test(tsql_catalog_tests ${CMAKE_CURRENT_LIST_DIR}/catalog_test.cpp)
xrdb8_test(tsql_parser_tests ${CMAKE_CURRENT_LIST_DIR}/parser_test.cpp)
xrdb8_test(tsql_conformance_tests ${CMAKE_CURRENT_LIST_DIR}/conformance_test.cpp)
