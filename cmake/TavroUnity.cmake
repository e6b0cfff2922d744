# Unity builds merge a target's sources a batch at a time. Names a source keeps to itself (an
# anonymous namespace, a static function) then meet those of the other sources of its batch, and
# two of the same name no longer compile. Such sources are compiled on their own.

# tavro_unity_loners(<out> <source>...): the sources that hold their state in the house idiom, a
# file-local `Box& box()` (with a struct Box beside it), which a neighbour of the same idiom would
# clash with once merged.
function(tavro_unity_loners out)
  set(loners "")
  foreach(source IN LISTS ARGN)
    file(STRINGS ${source} lines REGEX "^[A-Za-z].*[ &]box\\(\\) *\\{")
    if(lines)
      list(APPEND loners ${source})
    endif()
  endforeach()
  set(${out} ${loners} PARENT_SCOPE)
endfunction()
