# Sources of src/setup: the pass engine, the three passes, the default data
# and the set-up exports.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/pass.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass1_products.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass1_cfgtills.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass1_cfgsys.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass1_config.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass1_conversions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/setup_db1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/pass3.cpp
  ${CMAKE_CURRENT_LIST_DIR}/table_schema.cpp
  ${CMAKE_CURRENT_LIST_DIR}/setup_exports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/default_data.cpp)
