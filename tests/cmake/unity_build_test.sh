#!/usr/bin/env bash
# What the unity-build options configure: TESTS merges the test programs' sources and leaves the
# libraries' alone, ALL merges both but compiles the sources of the box() idiom on their own, OFF
# merges nothing, anything else is refused; TAVRO_TESTS_THREADED_ONLY builds only the test programs
# listed as starting threads.
# Usage: unity_build_test.sh <repository>
set -uo pipefail
source_dir=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
unset CMAKE_CXX_COMPILER_LAUNCHER
failures=0

configure() {  # configure <build dir> [cmake arguments...]
  local dir=$1; shift
  cmake -S "$source_dir" -B "$dir" -G Ninja -DTAVRO_BENCH=OFF -DTAVRO_DEMO=OFF "$@" >"$scratch/log" 2>&1
}
# The objects the compilation database writes for one target (a regular expression), one a line.
compiled() { grep -oE -- " -o [^ ]*$2\\.dir/[^ ]*" "$1/compile_commands.json"; }
expect() {  # expect <description> <wanted> <got>
  if [ "$2" != "$3" ]; then echo "FAIL $1: wanted '$2', got '$3'"; failures=$((failures + 1)); fi
}
merged() { compiled "$1" "$2" | grep -q '/Unity/unity_' && echo merged || echo separate; }
alone() { compiled "$1" "$2" | grep -q "/$3\\.o$" && echo alone || echo "not alone"; }

b="$scratch/off"
configure "$b" -DTAVRO_UNITY=OFF || { echo "FAIL configure OFF:"; cat "$scratch/log"; exit 1; }
expect "OFF: a test program" separate "$(merged "$b" test_platform_net)"
expect "OFF: the library" separate "$(merged "$b" tavro_platform)"

b="$scratch/tests"
configure "$b" -DTAVRO_UNITY=TESTS || { echo "FAIL configure TESTS:"; cat "$scratch/log"; exit 1; }
expect "TESTS: a test program" merged "$(merged "$b" test_platform_net)"
expect "TESTS: the library" separate "$(merged "$b" tavro_platform)"
expect "TESTS: every test program is built" present \
  "$(grep -q 'build tests/test_platform_crypto:' "$b/build.ninja" && echo present || echo absent)"

b="$scratch/all"
configure "$b" -DTAVRO_UNITY=ALL -DTAVRO_TESTS_THREADED_ONLY=ON ||
  { echo "FAIL configure ALL:"; cat "$scratch/log"; exit 1; }
expect "ALL: a test program" merged "$(merged "$b" test_platform_net)"
expect "ALL: the library" merged "$(merged "$b" tavro_platform)"
expect "ALL: a source of the box() idiom" alone \
  "$(alone "$b" 'tavro_platform[_a-z]*' src/platform/foundation/ProcessInfo.cpp)"
expect "threaded only: a program that starts threads" present \
  "$(grep -q 'build tests/test_platform_net:' "$b/build.ninja" && echo present || echo absent)"
expect "threaded only: a program that starts none" absent \
  "$(grep -q 'build tests/test_platform_crypto:' "$b/build.ninja" && echo present || echo absent)"

if configure "$scratch/bad" -DTAVRO_UNITY=YES; then
  echo "FAIL TAVRO_UNITY=YES was accepted"; failures=$((failures + 1))
elif ! grep -q "TAVRO_UNITY is OFF, TESTS or ALL" "$scratch/log"; then
  echo "FAIL TAVRO_UNITY=YES refused without saying why:"; cat "$scratch/log"; failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] && echo "unity builds: all cases pass"
exit "$failures"
