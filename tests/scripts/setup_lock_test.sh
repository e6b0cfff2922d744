#!/usr/bin/env bash
# How scripts/setup meets a package manager that another install or update holds: it waits, with
# one line saying so, and goes on once the lock is free; it gives up after SETUP_LOCK_WAIT seconds
# with apt-get's own message, and stops at once on any other failure. dpkg-query, sudo and apt-get
# are faked, so nothing is installed and the answers do not depend on this machine.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/bin"
printf '#!/bin/sh\nexit 1\n' > "$scratch/bin/dpkg-query"                   # nothing is installed
printf '#!/bin/sh\n[ "$1" = -n ] && shift\nexec "$@"\n' > "$scratch/bin/sudo"
# apt-get: refused for the lock while $scratch/busy counts down, then says what $scratch/answer says.
cat > "$scratch/bin/apt-get" <<'FAKE'
#!/bin/sh
echo "$*" >> "$SCRATCH/calls"
left=$(cat "$SCRATCH/busy")
if [ "$left" -gt 0 ]; then
  echo $((left - 1)) > "$SCRATCH/busy"
  echo "E: Could not get lock /var/lib/dpkg/lock-frontend. It is held by process 4242 (unattended-upgr)" >&2
  exit 100
fi
[ "$(cat "$SCRATCH/answer")" = ok ] && exit 0
echo "E: Unable to locate package libnothing-dev" >&2
exit 100
FAKE
chmod +x "$scratch/bin/"*

failures=0
expect() {  # expect <description> <wanted> <got>
  if [ "$2" != "$3" ]; then echo "FAIL $1: wanted '$2', got '$3'"; failures=$((failures + 1)); fi
}
# setup_with <lock refusals> <answer> <wait seconds>: runs setup; $status, $out, $err and $calls.
setup_with() {
  echo "$1" > "$scratch/busy"
  echo "$2" > "$scratch/answer"
  rm -f "$scratch/calls"
  out=$(PATH="$scratch/bin:$PATH" SCRATCH="$scratch" SETUP_LOCK_WAIT="$3" SETUP_LOCK_POLL=0.05 \
        "$root/scripts/setup" 2>"$scratch/err")
  status=$?
  err=$(cat "$scratch/err")
  calls=$(wc -l < "$scratch/calls" 2>/dev/null || echo 0)
}

setup_with 3 ok 60
expect "busy, then free: status" 0 "$status"
expect "busy, then free: one waiting line" 1 "$(grep -c 'package manager is busy' <<<"$out")"
expect "busy, then free: update tried until free, then install" 5 "$calls"

setup_with 1000 ok 0
expect "busy for longer than the wait: status" 1 "$((status != 0))"
expect "busy for longer than the wait: apt-get's reason" 1 "$(grep -c 'Could not get lock' <<<"$err")"

setup_with 0 missing 60
expect "another failure: status" 1 "$((status != 0))"
expect "another failure: no waiting" 0 "$(grep -c 'package manager is busy' <<<"$out")"
expect "another failure: tried once" 1 "$calls"
expect "another failure: apt-get's reason" 1 "$(grep -c 'Unable to locate package' <<<"$err")"

[ "$failures" -eq 0 ] && echo "setup lock: all passed"
exit $((failures > 0))
