# Sources of src/interchange.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/script_runner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_writer.cpp)
