# Tests of src/platform.
xrdb8_test(platform_tests
  ${CMAKE_CURRENT_LIST_DIR}/variant_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/date_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/calendar_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/error_text_test.cpp)
