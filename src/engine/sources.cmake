list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/connection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/connection_string.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recordset.cpp)
