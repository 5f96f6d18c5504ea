# Tests of src/engine.
xrdb8_test(engine_tests
  ${CMAKE_CURRENT_LIST_DIR}/connection_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recordset_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/session_objects_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/postgres_connection_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/site_tills_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/result_stream_test.cpp)
