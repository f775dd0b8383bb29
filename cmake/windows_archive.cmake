# vordex-<version>-win64.zip, or -win32.zip in a 32-bit build: what a Windows
# user needs, made by the target windows_archive of a mingw-w64 build
# (scripts/windows_archives.sh makes both):
#   VORDEX.dll, VORDEX.lib (its import library), VORDEX.def (the exports and
#   their ordinals), vordex.h, VORDEX.bas, read_table_windows.c, LICENSE, README.txt
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(vordex_archive_arch win32)
  set(vordex_archive_def api/vordex_x86.def)
else()
  set(vordex_archive_arch win64)
  set(vordex_archive_def api/vordex.def)
endif()
set(vordex_archive_name vordex-${PROJECT_VERSION}-${vordex_archive_arch})
set(vordex_archive_stage ${PROJECT_BINARY_DIR}/archive/${vordex_archive_name})
file(MAKE_DIRECTORY ${PROJECT_BINARY_DIR}/archive)
add_custom_target(windows_archive
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${vordex_archive_stage} ${PROJECT_BINARY_DIR}/${vordex_archive_name}.zip
  COMMAND ${CMAKE_COMMAND} -E make_directory ${vordex_archive_stage}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:vordex> $<TARGET_LINKER_FILE:vordex>
          ${PROJECT_SOURCE_DIR}/include/vordex.h ${PROJECT_SOURCE_DIR}/examples/vba/VORDEX.bas
          ${PROJECT_SOURCE_DIR}/examples/read_table_windows.c ${PROJECT_SOURCE_DIR}/LICENSE ${vordex_archive_stage}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/${vordex_archive_def} ${vordex_archive_stage}/VORDEX.def
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/doc/README-Windows.txt ${vordex_archive_stage}/README.txt
  COMMAND ${CMAKE_COMMAND} -E tar cf ${PROJECT_BINARY_DIR}/${vordex_archive_name}.zip --format=zip
          ${vordex_archive_name}
  WORKING_DIRECTORY ${PROJECT_BINARY_DIR}/archive
  DEPENDS vordex
  COMMENT "Making ${vordex_archive_name}.zip"
  VERBATIM)
