# Sources of src/interchange.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/script_runner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_writer.cpp)
# The scripter, CSV and XML import and the colour file.
list(APPEND XRDB8_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/colour_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/csv_bodies.cpp
  ${CMAKE_CURRENT_LIST_DIR}/csv_import.cpp
  ${CMAKE_CURRENT_LIST_DIR}/scripter.cpp
  ${CMAKE_CURRENT_LIST_DIR}/xml_import.cpp)
