# Connections, recordsets and the provider registry engines plug into.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/connection.cpp
  ${CMAKE_CURRENT_LIST_DIR}/connection_string.cpp
  ${CMAKE_CURRENT_LIST_DIR}/provider.cpp
  ${CMAKE_CURRENT_LIST_DIR}/recordset.cpp)
