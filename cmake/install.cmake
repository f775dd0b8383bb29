# What `cmake --install` puts under the prefix, and the Debian packages CPack
# makes of it: the run-time library (libvordex2), the files to build against
# it (libvordex-dev: header, link, pkg-config file, CMake package, vordex(3))
# and the command-line program (vordex, with vordex(1)).
include(CMakePackageConfigHelpers)

install(TARGETS vordex EXPORT vordexTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT vordexTargets NAMESPACE vordex:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vordex
  COMPONENT development)
configure_package_config_file(cmake/vordexConfig.cmake.in ${CMAKE_CURRENT_BINARY_DIR}/vordexConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vordex)
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/vordexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vordexConfig.cmake ${CMAKE_CURRENT_BINARY_DIR}/vordexConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/vordex COMPONENT development)
file(RELATIVE_PATH VORDEX_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(cmake/vordex.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vordex.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vordex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)

# vordex loads the library with dlopen: the run path finds it next to the
# program's own prefix.
set_target_properties(vordex_cli PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
install(TARGETS vordex_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
list(GET VORDEX_MANUALS 0 vordex_manual_1)
list(GET VORDEX_MANUALS 1 vordex_manual_3)
install(FILES ${vordex_manual_1} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
install(FILES ${vordex_manual_3} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT development)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vordex)
set(CPACK_PACKAGE_VENDOR "VORDEX")
set(CPACK_PACKAGE_CONTACT "VORDEX developers <vordex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tables of an ODBC data source, row by row, as text, through 17 C calls")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development cli)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libvordex2)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libodbc2 (>= 2.3.1), libstdc++6 (>= 12), libc6 (>= 2.34)")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvordex-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libvordex2 (= ${PROJECT_VERSION}), unixodbc-dev")
set(CPACK_DEBIAN_CLI_PACKAGE_NAME vordex)
set(CPACK_DEBIAN_CLI_PACKAGE_SECTION database)
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "libvordex2 (= ${PROJECT_VERSION}), libstdc++6 (>= 12), libc6 (>= 2.34)")
include(CPack)
