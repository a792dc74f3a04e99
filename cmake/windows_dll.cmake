# focus.dll: the shared library as Windows hosts load it. Included by the
# root CMakeLists.txt on Windows targets, once the `focus` target exists.
#
# - Output focus.dll (no "lib" prefix) with the import library focus.lib.
# - The exports are the 24 names of src/focus.def, undecorated on both
#   architectures; nothing else is exported.
# - libgcc, libstdc++ and libwinpthread are linked in (-static), so that the
#   DLL imports only system DLLs (KERNEL32 and the C runtime msvcrt).
# - A version resource: file and product version, product name, description.
enable_language(RC)

set(FOCUS_DEF_FILE ${CMAKE_CURRENT_LIST_DIR}/../src/focus.def)
configure_file(${CMAKE_CURRENT_LIST_DIR}/focus_version.rc.in ${CMAKE_CURRENT_BINARY_DIR}/focus_version.rc @ONLY)

target_sources(focus PRIVATE ${FOCUS_DEF_FILE} ${CMAKE_CURRENT_BINARY_DIR}/focus_version.rc)
set_target_properties(focus PROPERTIES
  PREFIX ""
  OUTPUT_NAME focus
  IMPORT_PREFIX ""
  IMPORT_SUFFIX ".lib"
  LINK_DEPENDS ${FOCUS_DEF_FILE})
target_link_options(focus PRIVATE -static -Wl,--no-undefined)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  # 32-bit x86: the exports are __cdecl, whose names carry no decoration;
  # --kill-at drops any "@N" suffix all the same, so that only the plain
  # names of the .def file can appear in the export table.
  target_link_options(focus PRIVATE -Wl,--kill-at)
endif()
