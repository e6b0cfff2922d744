# tavro_header_closure(<out> <include dir> <header>...): the headers, relative to <include dir>,
# that the given headers include, directly or through one another, with "..." includes (the
# library's own; system and package headers use <...>). The installed package holds these and no
# others: what a host's #include "tavro/Tavro.h" reads, not the library's internal headers.
function(tavro_header_closure out dir)
  set(todo ${ARGN})
  set(seen "")
  while(todo)
    list(POP_FRONT todo header)
    if(header IN_LIST seen)
      continue()
    endif()
    if(NOT EXISTS "${dir}/${header}")
      message(FATAL_ERROR "tavro_header_closure: ${header} is included but not under ${dir}")
    endif()
    list(APPEND seen ${header})
    # Reading the file also makes CMake re-run when its includes change.
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${dir}/${header}")
    file(STRINGS "${dir}/${header}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" included "${line}")
      list(APPEND todo ${included})
    endforeach()
  endwhile()
  list(SORT seen)
  set(${out} ${seen} PARENT_SCOPE)
endfunction()
