# Sources of src/records: the record classes over the configuration tables
# and the column maps they are built on.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/column_map.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cfg_sys.cpp
  ${CMAKE_CURRENT_LIST_DIR}/cfg_till.cpp
  ${CMAKE_CURRENT_LIST_DIR}/master.cpp
  ${CMAKE_CURRENT_LIST_DIR}/member_records.cpp
  ${CMAKE_CURRENT_LIST_DIR}/product.cpp
  ${CMAKE_CURRENT_LIST_DIR}/promo.cpp)
# Customers, system values, payment, staff, devices, time plans, tables,
# rooms and screens.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/customer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sys_value.cpp
  ${CMAKE_CURRENT_LIST_DIR}/payment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/staff_devices.cpp
  ${CMAKE_CURRENT_LIST_DIR}/time_plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tables.cpp)
