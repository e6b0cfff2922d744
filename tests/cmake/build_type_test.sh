#!/usr/bin/env bash
# The build types a configuration ends up with: none given is Release at -O2 without debug
# information; a type given once (scripts/test) stays when a later run names none (scripts/demo),
# so the two never rebuild the library for each other; flags the user gives win.
# Usage: build_type_test.sh <repository>
set -uo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unset CMAKE_BUILD_TYPE CMAKE_CXX_COMPILER_LAUNCHER
failures=0

configure() {  # configure <build dir> [cmake arguments...]
  local dir=$1; shift
  cmake -S "$source_dir" -B "$dir" -G Ninja -DTAVRO_TESTS=OFF -DTAVRO_BENCH=OFF -DTAVRO_DEMO=OFF "$@" \
    >"$scratch/log" 2>&1 || { echo "FAIL configure $*:"; cat "$scratch/log"; exit 1; }
}
type_of() { sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$1/CMakeCache.txt"; }
# The compile command of one library source, from the compilation database.
flags_of() { grep -m1 -o '"command": "[^"]*Uuid.cpp[^"]*"' "$1/compile_commands.json"; }
expect() {  # expect <description> <wanted> <got>
  if [ "$2" != "$3" ]; then echo "FAIL $1: wanted '$2', got '$3'"; failures=$((failures + 1)); fi
}
expect_flags() {  # expect_flags <description> <build dir> <grep -E pattern> <present|absent>
  local found=absent
  flags_of "$2" | grep -Eq -- "$3" && found=present
  expect "$1" "$4" "$found"
}

b="$scratch/plain"
configure "$b"
expect "no type given" Release "$(type_of "$b")"
expect_flags "Release optimises at -O2" "$b" ' -O2 -DNDEBUG ' present
expect_flags "Release has no debug information" "$b" ' -g( |$)' absent
configure "$b"
expect "a second run keeps Release" Release "$(type_of "$b")"

b="$scratch/tested"
configure "$b" -DCMAKE_BUILD_TYPE=RelWithDebInfo
expect_flags "the tests' type keeps debug information" "$b" ' -g ' present
before=$(flags_of "$b")
configure "$b"
expect "a run without a type keeps the tests' type" RelWithDebInfo "$(type_of "$b")"
expect "and the same compile flags" "$before" "$(flags_of "$b")"

b="$scratch/own"
configure "$b" "-DCMAKE_CXX_FLAGS_RELEASE=-O3 -DNDEBUG"
expect_flags "Release flags the user gives win" "$b" ' -O3 -DNDEBUG ' present

[ "$failures" -eq 0 ] && echo "build types: all cases pass"
exit "$failures"
