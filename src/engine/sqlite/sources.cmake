list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sqlite_session.cpp)
