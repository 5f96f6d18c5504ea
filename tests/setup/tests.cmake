# Tests of src/setup: the pass engine, the three passes and the default data,
# each run against real database files.
xrdb8_test(setup_tests
  ${CMAKE_CURRENT_LIST_DIR}/pass_engine_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass1_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass1_upgrade_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass23_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/default_data_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/site_engines_test.cpp)
