include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS xrdb8 xrdb8_options EXPORT xrdb8Targets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS xrdb8_tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/xrdb8 DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT xrdb8Targets NAMESPACE xrdb8:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/xrdb8)
configure_package_config_file(cmake/xrdb8Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/xrdb8Config.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/xrdb8)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/xrdb8ConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/xrdb8Config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/xrdb8ConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/xrdb8)
