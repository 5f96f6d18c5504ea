# Tests of src/table.
xrdb8_test(table_tests
  ${CMAKE_CURRENT_LIST_DIR}/fields_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/navigation_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/writing_test.cpp)
