# Install rules, the pkg-config file, the CMake package and the Debian
# package. Included by the root CMakeLists.txt once the targets exist.
#
#   include/focus.h
#   lib/libfocus.so.1.0.0, libfocus.so.1, libfocus.so   (Windows: bin/focus.dll,
#                                                        lib/focus.lib, lib/focus.def)
#   lib/libfocus.a                                      (FOCUS_BUILD_STATIC)
#   bin/focus-sim (Linux), bin/focusctl                 (FOCUS_BUILD_TOOLS)
#   lib/pkgconfig/focus.pc
#   lib/cmake/focus/focusConfig.cmake, focusConfigVersion.cmake, focusTargets*.cmake
#
# Every file locates the others relative to itself, so an installed tree
# can be moved (dpkg -x into any root, a Windows zip unpacked anywhere).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(focus_library_targets)
if(FOCUS_BUILD_SHARED)
  list(APPEND focus_library_targets focus)
endif()
if(FOCUS_BUILD_STATIC)
  list(APPEND focus_library_targets focus_archive)
endif()
install(TARGETS ${focus_library_targets} EXPORT focusTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/focus.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
if(WIN32 AND FOCUS_BUILD_SHARED)
  install(FILES ${PROJECT_SOURCE_DIR}/src/focus.def DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
if(FOCUS_BUILD_TOOLS)
  foreach(program IN ITEMS focus-sim focusctl)
    if(TARGET ${program})
      install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    endif()
  endforeach()
endif()

# CMake package: find_package(focus 1.0 CONFIG REQUIRED) gives focus::focus.
set(FOCUS_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/focus)
install(EXPORT focusTargets NAMESPACE focus:: DESTINATION ${FOCUS_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/focusConfig.cmake.in
  ${PROJECT_BINARY_DIR}/focusConfig.cmake INSTALL_DESTINATION ${FOCUS_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/focusConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/focusConfig.cmake ${PROJECT_BINARY_DIR}/focusConfigVersion.cmake
  DESTINATION ${FOCUS_CMAKE_DIR})

# pkg-config: the prefix is found from the .pc file's own folder. What a
# static link adds (the C++ runtime) goes to Libs.private, or to Libs when
# the static library is all there is.
file(RELATIVE_PATH focus_pc_up ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" focus_pc_up "${focus_pc_up}")
set(FOCUS_PC_PREFIX "\${pcfiledir}/${focus_pc_up}")
foreach(dir IN ITEMS LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE ${CMAKE_INSTALL_${dir}})
    set(FOCUS_PC_${dir} ${CMAKE_INSTALL_${dir}})
  else()
    set(FOCUS_PC_${dir} "\${prefix}/${CMAKE_INSTALL_${dir}}")
  endif()
endforeach()
set(FOCUS_PC_STATIC_LIBS "")
if(FOCUS_BUILD_STATIC AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  set(FOCUS_PC_STATIC_LIBS "-lstdc++")
endif()
if(FOCUS_BUILD_SHARED)
  set(FOCUS_PC_CFLAGS "")
  set(FOCUS_PC_LIBS "")
  set(FOCUS_PC_LIBS_PRIVATE "${FOCUS_PC_STATIC_LIBS}")
else()
  set(FOCUS_PC_CFLAGS " -DFOCUS_STATIC")
  set(FOCUS_PC_LIBS " ${FOCUS_PC_STATIC_LIBS}")
  set(FOCUS_PC_LIBS_PRIVATE "")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/focus.pc.in ${PROJECT_BINARY_DIR}/focus.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/focus.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The Debian package (make deb): what `cmake --install` puts under /usr.
if(PROJECT_IS_TOP_LEVEL AND NOT WIN32)
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME focus)
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
  set(CPACK_PACKAGE_DESCRIPTION
      "libfocus drives the laser focus device over a serial line. The package holds the shared library, its header, the pkg-config and CMake package files, the device simulator focus-sim and the command-line tool focusctl.")
  set(CPACK_PACKAGE_CONTACT "focus maintainers <focus@localhost>")
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_STRIP_FILES ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
  # dpkg-shlibdeps names the packages of the shared libraries the files
  # need (libc6, libstdc++6, libgcc-s1); the package's own library gets a
  # shlibs entry and an ldconfig trigger.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
  set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
  include(CPack)
endif()
