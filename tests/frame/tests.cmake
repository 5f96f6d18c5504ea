# Tests of src/frame.
xrdb8_test(frame_tests
  ${CMAKE_CURRENT_LIST_DIR}/connect_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/report_test.cpp)
