# The project's version is written once, in include/focus.h
# (FOCUS_VERSION_MAJOR, _MINOR, _PATCH); included before project(), this
# reads it into FOCUS_HEADER_VERSION ("1.0.0").
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../include/focus.h focus_version_lines
     REGEX "^#define FOCUS_VERSION_(MAJOR|MINOR|PATCH) +[0-9]+$")
foreach(focus_part IN ITEMS MAJOR MINOR PATCH)
  set(focus_version_${focus_part} "")
  foreach(focus_line IN LISTS focus_version_lines)
    if(focus_line MATCHES "^#define FOCUS_VERSION_${focus_part} +([0-9]+)$")
      set(focus_version_${focus_part} ${CMAKE_MATCH_1})
    endif()
  endforeach()
  if(focus_version_${focus_part} STREQUAL "")
    message(FATAL_ERROR "include/focus.h defines no FOCUS_VERSION_${focus_part}")
  endif()
endforeach()
set(FOCUS_HEADER_VERSION ${focus_version_MAJOR}.${focus_version_MINOR}.${focus_version_PATCH})
unset(focus_version_lines)
