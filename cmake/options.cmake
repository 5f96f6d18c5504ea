# Warnings and sanitizers, carried by one interface target every target links.
add_library(xrdb8_options INTERFACE)
target_compile_options(xrdb8_options INTERFACE -Wall -Wextra)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  # GCC 12 reports "std::string + std::string" at -O2 as overlapping memcpy
  # (a known false positive of -Wrestrict).
  target_compile_options(xrdb8_options INTERFACE -Wno-restrict)
endif()
if(XRDB8_WERROR)
  target_compile_options(xrdb8_options INTERFACE -Werror)
endif()
if(XRDB8_SANITIZE)
  target_compile_options(xrdb8_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(xrdb8_options INTERFACE -fsanitize=address,undefined)
endif()
if(XRDB8_BUILD_FUZZ)
  # Coverage for the fuzz targets reaches into the whole library.
  target_compile_options(xrdb8_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined)
  target_link_options(xrdb8_options INTERFACE -fsanitize=address,undefined)
endif()
