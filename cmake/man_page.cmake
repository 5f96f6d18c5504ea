# Writes the manual page the tool prints: cmake -DTOOL=xrdb8 -DOUT=xrdb8.1 -P man_page.cmake
# (A sanitizer build's leak report at exit is the tests' business, not the
# page's: the tool's own tests run it with leak checks on.)
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND ${TOOL} man OUTPUT_FILE ${OUT}.new RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUT}.new)
  message(FATAL_ERROR "${TOOL} man failed: ${status}")
endif()
file(RENAME ${OUT}.new ${OUT})
