# Tests of src/interchange.
xrdb8_test(interchange_tests
  ${CMAKE_CURRENT_LIST_DIR}/round_trip_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/runner_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/writer_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/line_break_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/colour_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/command_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/csv_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scripter_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/install_script_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/backup_test.cpp
  ${PROJECT_SOURCE_DIR}/tools/xrdb8/interchange_commands.cpp
  ${PROJECT_SOURCE_DIR}/tools/xrdb8/data_folder.cpp)
# The command tests call the tool's command bodies, and run the tool once.
target_include_directories(interchange_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/xrdb8)
# The command bodies draw their progress through the tool's progress line.
target_sources(interchange_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/xrdb8/progress.cpp)

# The tool as the operator meets it: the progress line on a terminal (a
# pseudo-terminal, hence libutil's forkpty), the completion script and the
# manual page the build writes.
xrdb8_test(tool_tests
  ${CMAKE_CURRENT_LIST_DIR}/progress_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/completion_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/man_page_test.cpp
  ${PROJECT_SOURCE_DIR}/tools/xrdb8/progress.cpp)
target_include_directories(tool_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/xrdb8)
target_link_libraries(tool_tests PRIVATE util)
add_dependencies(tool_tests xrdb8_man)
target_compile_definitions(tool_tests PRIVATE
  XRDB8_MAN_PAGE="${PROJECT_BINARY_DIR}/tools/xrdb8/xrdb8.1")
# xrdb8 sql through pipes and a pseudo-terminal (forkpty, from libutil).
target_sources(interchange_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/sql_shell_test.cpp)
target_link_libraries(interchange_tests PRIVATE util)
