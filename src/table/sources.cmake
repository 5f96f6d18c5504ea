# Sources of src/table.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/fields.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stdio_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/writing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xrtable.cpp)
