# The ODBC driver manager the library links: ODBC::ODBC for the calls and
# VORDEX_ODBC_INSTALLER, the installer library that reads a data source's own
# settings (SQLGetPrivateProfileString). Whoever links ODBC::ODBC for the
# library links the installer library too.
#   -DVORDEX_ODBC=unixodbc  unixODBC: libodbc and libodbcinst (the default)
#   -DVORDEX_ODBC=iodbc     iODBC: libiodbc and libiodbcinst
# Windows has one driver manager of its own, odbc32 with odbccp32.
set(VORDEX_ODBC unixodbc CACHE STRING "The ODBC driver manager to build against: unixodbc or iodbc")
set_property(CACHE VORDEX_ODBC PROPERTY STRINGS unixodbc iodbc)

if(WIN32)
  if(NOT VORDEX_ODBC STREQUAL "unixodbc")
    message(FATAL_ERROR "VORDEX_ODBC=${VORDEX_ODBC}: Windows builds use Windows' own driver manager")
  endif()
  find_package(ODBC REQUIRED)
  set(VORDEX_ODBC_INSTALLER odbccp32)
elseif(VORDEX_ODBC STREQUAL "unixodbc")
  find_package(ODBC REQUIRED)
  find_library(VORDEX_ODBC_INSTALLER NAMES odbcinst REQUIRED)
elseif(VORDEX_ODBC STREQUAL "iodbc")
  # iODBC's headers have a directory of their own (/usr/include/iodbc on
  # Debian), which iodbc-config names; unixODBC's sql.h may sit in the
  # default include directory beside it. iodbcext.h is iODBC's alone.
  find_program(VORDEX_IODBC_CONFIG iodbc-config)
  set(vordex_iodbc_hints)
  if(VORDEX_IODBC_CONFIG)
    execute_process(COMMAND ${VORDEX_IODBC_CONFIG} --cflags --libs OUTPUT_VARIABLE vordex_iodbc_flags
                    OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(vordex_iodbc_flags UNIX_COMMAND "${vordex_iodbc_flags}")
    foreach(flag IN LISTS vordex_iodbc_flags)
      if(flag MATCHES "^-[IL](.+)$")
        list(APPEND vordex_iodbc_hints ${CMAKE_MATCH_1})
      endif()
    endforeach()
  endif()
  find_path(VORDEX_IODBC_INCLUDE_DIR NAMES iodbcext.h HINTS ${vordex_iodbc_hints} PATH_SUFFIXES iodbc)
  find_library(VORDEX_IODBC_LIBRARY NAMES iodbc HINTS ${vordex_iodbc_hints})
  find_library(VORDEX_IODBC_INSTALLER NAMES iodbcinst HINTS ${vordex_iodbc_hints})
  if(NOT VORDEX_IODBC_INCLUDE_DIR OR NOT VORDEX_IODBC_LIBRARY OR NOT VORDEX_IODBC_INSTALLER)
    message(FATAL_ERROR "VORDEX_ODBC=iodbc: iODBC's headers (iodbcext.h), libiodbc or libiodbcinst not found"
                        " (on Debian: apt-get install libiodbc2-dev)")
  endif()
  # FindODBC takes what is set already and searches no further.
  set(ODBC_INCLUDE_DIR ${VORDEX_IODBC_INCLUDE_DIR})
  set(ODBC_LIBRARY ${VORDEX_IODBC_LIBRARY})
  find_package(ODBC REQUIRED)
  set(VORDEX_ODBC_INSTALLER ${VORDEX_IODBC_INSTALLER})
else()
  message(FATAL_ERROR "VORDEX_ODBC=${VORDEX_ODBC}: unixodbc or iodbc")
endif()
message(STATUS "ODBC driver manager: ${ODBC_LIBRARIES}, installer ${VORDEX_ODBC_INSTALLER}")
