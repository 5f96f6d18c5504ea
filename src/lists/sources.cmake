# Sources of src/lists: the screen list records, the list converter and its
# files.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/list_records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_db.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_files.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_import.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_export.cpp)
