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

# The pkg-config file names the prefix it is installed under as a plain path,
# so it is written when installing: `cmake --install --prefix P` and the
# packages (/usr) each get their own.
set(VORDEX_INSTALL_PREFIX "@VORDEX_INSTALL_PREFIX@") # kept for the install step
configure_file(cmake/vordex.pc.in ${CMAKE_CURRENT_BINARY_DIR}/vordex.pc.in @ONLY)
install(CODE "set(VORDEX_INSTALL_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
  configure_file(\"${CMAKE_CURRENT_BINARY_DIR}/vordex.pc.in\" \"${CMAKE_CURRENT_BINARY_DIR}/vordex.pc\" @ONLY)"
  COMPONENT development)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/vordex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
  COMPONENT development)

install(TARGETS vordex_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT cli)
list(GET VORDEX_MANUALS_GZ 0 vordex_manual_1)
list(GET VORDEX_MANUALS_GZ 1 vordex_manual_3)
install(FILES ${vordex_manual_1} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT cli)
install(FILES ${vordex_manual_3} DESTINATION ${CMAKE_INSTALL_MANDIR}/man3 COMPONENT development)

# ---- Debian packages --------------------------------------------------------
# Who builds the packages for others sets their own address here.
set(VORDEX_PACKAGE_MAINTAINER "The VORDEX maintainers <maintainers@users.noreply.c-seed-03f96ff2.example>"
    CACHE STRING "Maintainer named in the Debian packages and their changelog")

# /usr/share/doc/PACKAGE of each package: the copyright file and the
# changelog, made from LICENSE and CHANGELOG.md. They go into the packages
# only (EXCLUDE_FROM_ALL keeps them out of a plain `cmake --install`).
set(vordex_debian_docs ${CMAKE_CURRENT_BINARY_DIR}/debian-docs)
add_custom_command(
  OUTPUT ${vordex_debian_docs}/changelog.gz ${vordex_debian_docs}/copyright
  COMMAND Python3::Interpreter -B ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian_docs.py ${CMAKE_CURRENT_SOURCE_DIR}/CHANGELOG.md
          ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE ${PROJECT_VERSION} "${VORDEX_PACKAGE_MAINTAINER}" ${vordex_debian_docs}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/cmake/debian_docs.py ${CMAKE_CURRENT_SOURCE_DIR}/CHANGELOG.md
          ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE
  COMMENT "Making the packages' copyright file and changelog"
  VERBATIM)
add_custom_target(vordex_debian_docs ALL DEPENDS ${vordex_debian_docs}/changelog.gz ${vordex_debian_docs}/copyright)
add_dependencies(vordex_cli vordex_debian_docs)

# Descriptions: a synopsis, then lines of at most 80 characters.
set(vordex_package_summary "ODBC tables row by row as text through 17 C calls")
set(vordex_package_about "VORDEX gives a host program a flat C call surface onto relational data
reached through ODBC: 17 functions with int and text arguments list the
tables of a data source and the columns of a table, read a table row by row
as text, seek a row and write one field of the current row back. It is
tested with psqlODBC and PostgreSQL.")
set(vordex_components runtime development cli)
set(vordex_packages libvordex2 libvordex-dev vordex)
foreach(component package IN ZIP_LISTS vordex_components vordex_packages)
  install(FILES ${vordex_debian_docs}/changelog.gz ${vordex_debian_docs}/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vordex)
set(CPACK_PACKAGE_VENDOR "VORDEX")
set(CPACK_PACKAGE_CONTACT "${VORDEX_PACKAGE_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development cli)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# With the packaging prefix as the install prefix (and the staging
# directory as DESTDIR), the pkg-config file names /usr.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "${vordex_package_summary} (library)
${vordex_package_about}

This package holds the shared library libvordex.so.2.")
# The driver manager it was built against and its installer library:
# unixODBC's two packages, or iODBC's libiodbc2, which holds both.
if(VORDEX_ODBC STREQUAL "iodbc")
  set(vordex_odbc_package "libiodbc2 (>= 3.52.7)")
else()
  set(vordex_odbc_package "libodbc2 (>= 2.3.1), libodbcinst2 (>= 2.3.1)")
endif()
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "${vordex_odbc_package}, libstdc++6 (>= 12), libgcc-s1 (>= 3.0), libc6 (>= 2.34)")
# The shlibs file, and the trigger that refreshes the dynamic linker's cache.
# Both written here: CPack's own shlibs option also adds maintainer scripts
# that call ldconfig, which the trigger replaces.
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian-control/shlibs
  "libvordex ${PROJECT_VERSION_MAJOR} libvordex2 (>= ${PROJECT_VERSION})\n")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/debian-control/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_BINARY_DIR}/debian-control/shlibs
                                                ${CMAKE_CURRENT_BINARY_DIR}/debian-control/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "${vordex_package_summary} (development files)
${vordex_package_about}

This package holds what building a host against the library needs: the
header vordex.h, the link to the library, a pkg-config file, a CMake package
(find_package(vordex)) and the manual page vordex(3).")
# vordex.h includes nothing: the header needs no other package.
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libvordex2 (= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_CLI_PACKAGE_SECTION database)
set(CPACK_DEBIAN_CLI_DESCRIPTION "${vordex_package_summary} (command-line program)
${vordex_package_about}

This package holds the program vordex, which lists tables and columns,
prints rows as tab-separated text or CSV, reads one value and writes one
field through the library; see vordex(1).")
set(CPACK_DEBIAN_CLI_PACKAGE_DEPENDS "libvordex2 (= ${PROJECT_VERSION}), libstdc++6 (>= 12), libgcc-s1 (>= 3.0), libc6 (>= 2.34)")
include(CPack)
