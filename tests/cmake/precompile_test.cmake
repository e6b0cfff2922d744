# Which precompiled header a source gets (cmake/TavroPrecompile.cmake): the JSON kind when the
# source or a header it reaches through "..." includes reads <nlohmann/json.hpp>, else the lean
# kind. Run with: cmake -DSOURCE_DIR=<repository> -DSCRATCH=<empty dir> -P this file.
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/cmake/TavroPrecompile.cmake)

set(failures 0)
macro(expect what wanted source)
  tavro_reads_json(got ${source} ${d}/src ${d}/examples)
  if(NOT "${wanted}" STREQUAL "${got}")
    message("FAIL ${what}: wanted ${wanted}, got ${got}")
    math(EXPR failures "${failures} + 1")
  endif()
endmacro()

set(d ${SCRATCH})
file(REMOVE_RECURSE ${d})
file(WRITE ${d}/src/lib/Json.h "#pragma once\n#include <string>\n  #  include <nlohmann/json.hpp>\n")
file(WRITE ${d}/src/lib/Fwd.h "#include <nlohmann/json_fwd.hpp>\n")
file(WRITE ${d}/src/lib/Middle.h "#include \"lib/Loop.h\"\n#include \"lib/Json.h\"\n")
file(WRITE ${d}/src/lib/Loop.h "#include \"lib/Middle.h\"\n")
file(WRITE ${d}/src/lib/Plain.h "#include \"lib/Loop2.h\"\n#include \"lib/Gone.h\"\n")
file(WRITE ${d}/src/lib/Loop2.h "#include \"lib/Plain.h\"\n#include \"lib/Fwd.h\"\n")
file(WRITE ${d}/src/lib/Direct.cpp "#include <nlohmann/json.hpp>\n")
file(WRITE ${d}/src/lib/Chain.cpp "#include \"lib/Loop.h\"\n")
file(WRITE ${d}/src/lib/Lean.cpp "#include \"lib/Plain.h\"\n#include <vector>\n")
file(WRITE ${d}/src/lib/Commented.cpp "// #include \"lib/Json.h\"\n")
file(WRITE ${d}/examples/app/Screen.h "#include \"lib/Middle.h\"\n")
file(WRITE ${d}/examples/app/App.cpp "#include \"app/Screen.h\"\n")

expect("a source that includes it" TRUE ${d}/src/lib/Direct.cpp)
expect("through a chain with a cycle" TRUE ${d}/src/lib/Chain.cpp)
expect("the forward declarations alone, a cycle and a missing header" FALSE ${d}/src/lib/Lean.cpp)
expect("a commented include" FALSE ${d}/src/lib/Commented.cpp)
expect("headers found in a second include dir" TRUE ${d}/examples/app/App.cpp)
# Asked again, the answers come from what was read the first time.
file(WRITE ${d}/src/lib/Json.h "")
expect("a second question" TRUE ${d}/src/lib/Chain.cpp)

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} failures")
endif()
message("precompiled header kinds: all cases pass")
