# Tests of src/records.
xrdb8_test(records_tests
  ${CMAKE_CURRENT_LIST_DIR}/column_map_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/master_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/product_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/customer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/payment_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tables_test.cpp)
