# Tests of src/platform.
xrdb8_test(platform_tests
  ${CMAKE_CURRENT_LIST_DIR}/variant_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calendar_test.cpp)
