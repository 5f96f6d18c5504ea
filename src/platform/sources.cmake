list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/calendar.cpp
  ${CMAKE_CURRENT_LIST_DIR}/error.cpp
  ${CMAKE_CURRENT_LIST_DIR}/variant.cpp
  ${CMAKE_CURRENT_LIST_DIR}/systemtime.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text.cpp)
