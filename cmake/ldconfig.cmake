# An install by root into a directory the dynamic linker searches (the
# prefixes /usr and /usr/local on Debian) refreshes its cache, so that
# programs find libvordex.so.2 at once. Staged installs (DESTDIR, as CPack's
# packages are made; their trigger runs ldconfig) and other prefixes are left
# alone.
string(CONFIGURE [[
  set(vordex_libdir "@CMAKE_INSTALL_LIBDIR@")
  cmake_path(ABSOLUTE_PATH vordex_libdir BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}")
  find_program(vordex_ldconfig ldconfig PATHS /sbin /usr/sbin)
  execute_process(COMMAND id -u OUTPUT_VARIABLE vordex_uid OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if("$ENV{DESTDIR}" STREQUAL "" AND vordex_ldconfig AND IS_DIRECTORY "${vordex_libdir}")
    # The directories ldconfig reads, as it lists them (changing nothing).
    execute_process(COMMAND "${vordex_ldconfig}" -v -N -X OUTPUT_VARIABLE vordex_listing ERROR_QUIET)
    string(REPLACE "\n" ";" vordex_lines "${vordex_listing}")
    file(REAL_PATH "${vordex_libdir}" vordex_libdir_real)
    set(vordex_searched FALSE)
    foreach(vordex_line IN LISTS vordex_lines)
      if(vordex_line MATCHES "^(/[^:]*):")
        file(REAL_PATH "${CMAKE_MATCH_1}" vordex_dir)
        if(vordex_dir STREQUAL vordex_libdir_real)
          set(vordex_searched TRUE)
        endif()
      endif()
    endforeach()
    if(vordex_searched AND vordex_uid STREQUAL "0")
      message(STATUS "Refreshing the dynamic linker's cache: ldconfig")
      execute_process(COMMAND "${vordex_ldconfig}" RESULT_VARIABLE vordex_status)
      if(NOT vordex_status EQUAL 0)
        message(WARNING "ldconfig failed (${vordex_status}): run it as root before using the library")
      endif()
    elseif(vordex_searched)
      message(STATUS "Run ldconfig as root so that programs find the library in ${vordex_libdir}")
    endif()
  endif()
]] vordex_ldconfig_code @ONLY)
install(CODE "${vordex_ldconfig_code}" COMPONENT runtime)
