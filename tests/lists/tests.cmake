# Tests of src/lists: the list records, the converter and its files, each
# against a configuration database made by the set-up pass.
xrdb8_test(lists_tests
  ${CMAKE_CURRENT_LIST_DIR}/list_records_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_import_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/list_export_test.cpp)
