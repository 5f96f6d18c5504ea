# Faults of the real world against real files: damaged files, processes
# killed halfway, several processes at once, bad input to the tool.
xrdb8_test(reliability_tests
  ${CMAKE_CURRENT_LIST_DIR}/damaged_database_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/interrupted_setup_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/concurrent_writers_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/replace_import_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bad_input_test.cpp
  ${PROJECT_SOURCE_DIR}/tools/xrdb8/interchange_commands.cpp
  ${PROJECT_SOURCE_DIR}/tools/xrdb8/data_folder.cpp)
# The import and set-up bodies of the tool run in the test's own processes.
target_include_directories(reliability_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/xrdb8)
# The command bodies draw their progress through the tool's progress line.
target_sources(reliability_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/xrdb8/progress.cpp)
