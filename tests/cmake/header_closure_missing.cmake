# Helper of header_closure_test.cmake: the closure of a header that includes a missing one.
cmake_minimum_required(VERSION 3.25)
include(${SOURCE_DIR}/cmake/TavroHeaders.cmake)
tavro_header_closure(got ${DIR} lib/Broken.h)
