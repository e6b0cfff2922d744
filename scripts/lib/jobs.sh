# Sourced by the scripts that build: sets $jobs, the number of parallel compile and test jobs.
# JOBS when it is set (a whole number from 1 up), else the cores this process may use: those it
# may run on (nproc), fewer when a cgroup CPU quota (a container's --cpus) allows less.
cores() {
  local n quota period file=${cpu_max_file:-/sys/fs/cgroup/cpu.max}
  n=$(nproc)
  if [ -r "$file" ] && read -r quota period < "$file" &&
     [[ "$quota" =~ ^[0-9]+$ && "$period" =~ ^[1-9][0-9]*$ ]]; then
    quota=$(( (quota + period - 1) / period ))
    [ "$quota" -ge 1 ] && [ "$quota" -lt "$n" ] && n=$quota
  fi
  echo "$n"
}
if [ -n "${JOBS:-}" ]; then
  if ! [[ "$JOBS" =~ ^[1-9][0-9]*$ ]]; then
    echo "$(basename "$0"): JOBS must be a whole number from 1 up, not '$JOBS'" >&2
    exit 2
  fi
  jobs=$JOBS
else
  jobs=$(cores)
fi
