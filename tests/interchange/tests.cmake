# Tests of src/interchange.
xrdb8_test(interchange_tests
  ${CMAKE_CURRENT_LIST_DIR}/round_trip_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runner_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/writer_test.cpp)
