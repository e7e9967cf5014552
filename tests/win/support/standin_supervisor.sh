#!/usr/bin/env bash
# The ctest fixture around the Windows tests that need stand-in SQL Servers:
#   standin_supervisor.sh start STANDIN_BINARY BUILD_DIR
#       starts `dorvane-standin supervise` in the background; its control port goes to
#       BUILD_DIR/standin-supervisor.port, its pid to BUILD_DIR/standin-supervisor.pid
#   standin_supervisor.sh stop BUILD_DIR
#       stops it by that pid (it stops every stand-in it started)
set -euo pipefail
ACTION="$1"

stop_pid() {  # stops the supervisor named in the pid file, if it is still ours
  local pid_file="$1/standin-supervisor.pid" pid
  [ -f "$pid_file" ] || return 0
  pid="$(cat "$pid_file")"
  if [ -n "$pid" ] && tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q 'dorvane-standin supervise'; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -f "$pid_file" "$1/standin-supervisor.port"
}

case "$ACTION" in
  start)
    BIN="$2"; BUILD="$3"
    if [ ! -x "$BIN" ]; then
      echo "standin fixture: $BIN does not exist: build the native tree and pass it as -DDORVANE_NATIVE_BUILD=..." >&2
      exit 1
    fi
    stop_pid "$BUILD"  # a supervisor left over from an interrupted run
    # All standard streams redirected, so ctest does not wait for this background process.
    "$BIN" supervise --port-file "$BUILD/standin-supervisor.port" </dev/null >"$BUILD/standin-supervisor.log" 2>&1 &
    echo $! >"$BUILD/standin-supervisor.pid"
    for _ in $(seq 1 150); do
      if [ -s "$BUILD/standin-supervisor.port" ]; then
        echo "standin fixture: supervisor $(cat "$BUILD/standin-supervisor.pid") on port $(cat "$BUILD/standin-supervisor.port")"
        exit 0
      fi
      sleep 0.1
    done
    echo "standin fixture: the supervisor did not start; its log:" >&2
    cat "$BUILD/standin-supervisor.log" >&2
    stop_pid "$BUILD"
    exit 1
    ;;
  stop)
    stop_pid "$2"
    ;;
  *)
    echo "usage: standin_supervisor.sh start STANDIN_BINARY BUILD_DIR | stop BUILD_DIR" >&2
    exit 2
    ;;
esac
