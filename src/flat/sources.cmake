# Sources of src/flat: the flat record interface of the till programs, one
# source per group of families.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/config.cpp
  ${CMAKE_CURRENT_LIST_DIR}/master.cpp
  ${CMAKE_CURRENT_LIST_DIR}/payment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/products.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tables.cpp)
