# CLI11 and nlohmann-json for the tools and the tests, both header-only
# (Debian: libcli11-dev, nlohmann-json3-dev), as the targets focus_cli11 and
# focus_json.
#
# A native build takes their CMake packages. A cross build (MinGW) must not
# search /usr/include, where the host's C library lives too: the two header
# folders are found on the build machine and copied into the build tree,
# which is all the cross compiler sees of them.
add_library(focus_cli11 INTERFACE)
add_library(focus_json INTERFACE)

if(NOT CMAKE_CROSSCOMPILING)
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3 CONFIG REQUIRED)
  target_link_libraries(focus_cli11 INTERFACE CLI11::CLI11)
  target_link_libraries(focus_json INTERFACE nlohmann_json::nlohmann_json)
  return()
endif()

set(FOCUS_HEADER_ONLY_DIR ${CMAKE_BINARY_DIR}/header_only)
foreach(library IN ITEMS CLI nlohmann)
  if(library STREQUAL "CLI")
    set(probe CLI/CLI.hpp)
  else()
    set(probe nlohmann/json.hpp)
  endif()
  find_path(FOCUS_${library}_HEADERS ${probe} HINTS /usr/include /usr/local/include NO_CMAKE_FIND_ROOT_PATH
            NO_DEFAULT_PATH)
  if(NOT FOCUS_${library}_HEADERS)
    message(FATAL_ERROR "${probe} not found: install libcli11-dev and nlohmann-json3-dev (scripts/install-deps.sh)")
  endif()
  file(COPY ${FOCUS_${library}_HEADERS}/${library} DESTINATION ${FOCUS_HEADER_ONLY_DIR})
endforeach()
target_include_directories(focus_cli11 SYSTEM INTERFACE ${FOCUS_HEADER_ONLY_DIR})
target_include_directories(focus_json SYSTEM INTERFACE ${FOCUS_HEADER_ONLY_DIR})
