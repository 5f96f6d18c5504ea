# Tests of src/flat.
xrdb8_test(flat_tests
  ${CMAKE_CURRENT_LIST_DIR}/families_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/products_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/config_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/payment_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/threads_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/open_records_test.cpp)
