#!/usr/bin/env bash
# How the building scripts pick their number of parallel jobs (scripts/lib/jobs.sh): JOBS when it
# is a whole number from 1 up, a clear failure for anything else, else the cores, capped by a
# cgroup CPU quota. nproc is faked so that the answers do not depend on this machine.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
printf '#!/bin/sh\necho 8\n' > "$scratch/bin/nproc"
chmod +x "$scratch/bin/nproc"

failures=0
# jobs_with <JOBS or "unset"> <cpu.max contents or "none">: prints $jobs, or "exit N: message".
jobs_with() {
  local file="$scratch/cpu.max"
  rm -f "$file"
  [ "$2" != none ] && printf '%s\n' "$2" > "$file"
  (
    export PATH="$scratch/bin:$PATH"
    if [ "$1" = unset ]; then unset JOBS; else export JOBS="$1"; fi
    cpu_max_file=$file
    out=$( . "$root/scripts/lib/jobs.sh" 2>"$scratch/err"; echo "$jobs" ) && echo "$out" ||
      echo "exit $?: $(cat "$scratch/err")"
  )
}
expect() {  # expect <description> <wanted> <got>
  if [ "$2" != "$3" ]; then echo "FAIL $1: wanted '$2', got '$3'"; failures=$((failures + 1)); fi
}
expect_failure() {  # expect_failure <description> <got>
  case "$2" in "exit 2: "*"JOBS must be a whole number"*) ;;
    *) echo "FAIL $1: wanted exit 2 naming JOBS, got '$2'"; failures=$((failures + 1)) ;; esac
}

expect "JOBS is used as given" 3 "$(jobs_with 3 none)"
expect "JOBS may exceed the cores" 16 "$(jobs_with 16 none)"
expect "JOBS wins over a quota" 6 "$(jobs_with 6 "200000 100000")"
expect "no JOBS: the cores" 8 "$(jobs_with unset none)"
expect "an empty JOBS counts as unset" 8 "$(jobs_with "" none)"
expect "no quota ('max')" 8 "$(jobs_with unset "max 100000")"
expect "a quota of two CPUs" 2 "$(jobs_with unset "200000 100000")"
expect "a part CPU rounds up" 2 "$(jobs_with unset "150000 100000")"
expect "under one CPU is still one job" 1 "$(jobs_with unset "20000 100000")"
expect "a quota above the cores keeps the cores" 8 "$(jobs_with unset "1600000 100000")"
expect "an unreadable quota is ignored" 8 "$(jobs_with unset "garbage")"
expect "a zero period is ignored" 8 "$(jobs_with unset "100000 0")"
for bad in 0 -2 x 2x " 4" 1.5 "4;rm"; do
  expect_failure "JOBS='$bad' is refused" "$(jobs_with "$bad" none)"
done

[ "$failures" -eq 0 ] && echo "jobs: all cases pass"
exit "$failures"
