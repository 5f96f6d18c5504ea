# Tests of src/engine.
xrdb8_test(engine_tests
  ${CMAKE_CURRENT_LIST_DIR}/connection_string_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/connection_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/lost_transaction_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/messages_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recordset_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/money_exact_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/session_objects_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/postgres_connection_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/postgres_logins_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/site_tills_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine_constraints_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sessions_test.cpp)
# Result sets streamed to a sink; errors in the server's terms.
target_sources(engine_tests PRIVATE ${CMAKE_CURRENT_LIST_DIR}/result_stream_test.cpp)
