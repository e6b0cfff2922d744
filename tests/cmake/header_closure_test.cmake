# The installed headers (cmake/TavroHeaders.cmake): every header a public header includes with
# "...", directly or through others, and nothing else; cycles end; a missing header stops the
# configuration. Run with: cmake -DSOURCE_DIR=<repository> -DSCRATCH=<empty dir> -P this file.
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/cmake/TavroHeaders.cmake)

set(failures 0)
macro(expect what wanted got)
  if(NOT "${wanted}" STREQUAL "${got}")
    message("FAIL ${what}: wanted '${wanted}', got '${got}'")
    math(EXPR failures "${failures} + 1")
  endif()
endmacro()

set(d ${SCRATCH}/src)
file(REMOVE_RECURSE ${d})
file(WRITE ${d}/lib/All.h "#pragma once\n#include \"lib/a/A.h\"\n  #  include   \"lib/b/B.h\" // spaced\n#include <vector>\n")
file(WRITE ${d}/lib/a/A.h "#include \"lib/a/Shared.h\"\n#include \"lib/b/B.h\"\n")
file(WRITE ${d}/lib/a/Shared.h "#include \"lib/a/A.h\"\n")  # a cycle back to A.h
file(WRITE ${d}/lib/b/B.h "#include <nlohmann/json.hpp>\n// #include \"lib/c/Commented.h\" is not read\n")
file(WRITE ${d}/lib/c/Internal.h "#include \"lib/a/A.h\"\n")  # included by no public header
file(WRITE ${d}/lib/c/Commented.h "")

tavro_header_closure(got ${d} lib/All.h)
expect("the closure of All.h" "lib/All.h;lib/a/A.h;lib/a/Shared.h;lib/b/B.h" "${got}")

tavro_header_closure(got ${d} lib/b/B.h lib/c/Internal.h)
expect("two roots" "lib/a/A.h;lib/a/Shared.h;lib/b/B.h;lib/c/Internal.h" "${got}")

# The real umbrella header is installed with what it reads.
tavro_header_closure(got ${SOURCE_DIR}/src tavro/Tavro.h)
list(FIND got tavro/Tavro.h at)
if(at LESS 0)
  message("FAIL Tavro.h is missing from its own closure")
  math(EXPR failures "${failures} + 1")
endif()

# A header that is not there stops the configuration with its name.
file(WRITE ${d}/lib/Broken.h "#include \"lib/missing/Gone.h\"\n")
execute_process(
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${SOURCE_DIR} -DDIR=${d} -P ${SOURCE_DIR}/tests/cmake/header_closure_missing.cmake
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT err MATCHES "lib/missing/Gone.h")
  message("FAIL a missing header: wanted a failure naming lib/missing/Gone.h, got ${rc}: ${err}")
  math(EXPR failures "${failures} + 1")
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} failures")
endif()
message("header closure: all cases pass")
