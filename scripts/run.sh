#!/usr/bin/env bash
# Builds Dorvane, starts the stand-in SQL Server with the sample database db_ZVQ
# (build/run/DataSource) and opens Dorvane under Wine. It stays until Dorvane's window
# is closed (or Ctrl+C here); then it stops the stand-in, Wine and any X display it
# started.
#
#   scripts/run.sh [--port N] [--screenshot-only]
#
#   --port N            the stand-in's port. Without it: 1433 (the server field can stay
#                       empty), or a free port when 1433 is taken; either way the script
#                       prints what to type into the server field.
#   --screenshot-only   open Dorvane on a private X display, save a screenshot to
#                       build/run/screenshot.png, and end.
#
# With DISPLAY set the window opens on your display. Without one it runs on a private
# Xvfb display, whose number is printed, with a screenshot in build/run/screenshot.png.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"

usage() { sed -n '7,13p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; }
PORT=""
SHOT_ONLY=0
while [ $# -gt 0 ]; do
  case "$1" in
    --port) PORT="${2:-}"; shift 2 || { usage >&2; exit 2; } ;;
    --port=*) PORT="${1#--port=}"; shift ;;
    --screenshot-only) SHOT_ONLY=1; shift ;;
    -h|--help) usage; exit 0 ;;
    *) echo "run: unknown argument $1" >&2; usage >&2; exit 2 ;;
  esac
done
if [ -n "$PORT" ] && ! { [[ "$PORT" =~ ^[0-9]+$ ]] && [ "$PORT" -ge 1 ] && [ "$PORT" -le 65535 ]; }; then
  echo "run: --port needs a port number from 1 to 65535, not '$PORT'" >&2
  exit 2
fi

bash scripts/setup.sh

if [ -f build/win/Dorvane.exe ] && [ -f build/native/tools/standin/dorvane-standin ]; then
  echo "run: building the stand-in and Dorvane (what changed)"
else
  echo "run: building the stand-in and Dorvane (several minutes, this first time)"
fi
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DDORVANE_SANITIZE=ON >/dev/null
cmake --build build/native -j "$JOBS" --target dorvane_standin >/dev/null
cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DDORVANE_NATIVE_BUILD="$ROOT/build/native" >/dev/null
cmake --build build/win -j "$JOBS" --target Dorvane >/dev/null

RUN_DIR="$ROOT/build/run"
mkdir -p "$RUN_DIR/DataSource"
STANDIN="$ROOT/build/native/tools/standin/dorvane-standin"
PORT_FILE="$RUN_DIR/standin.port"
# A fresh sample every run, so the demo detach works again.
"$STANDIN" make-sample "$RUN_DIR/DataSource" db_ZVQ

STANDIN_PID=""
cleanup() {
  if [ -n "$STANDIN_PID" ]; then kill "$STANDIN_PID" 2>/dev/null || true; wait "$STANDIN_PID" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Starts the stand-in on 127.0.0.1:$1 (0: a free port); true once it listens.
start_standin() {
  rm -f "$PORT_FILE"
  "$STANDIN" --listen "127.0.0.1:$1" --port-file "$PORT_FILE" --data "$RUN_DIR/DataSource" \
    --catalog "$RUN_DIR/catalog.txt" &
  STANDIN_PID=$!
  for _ in $(seq 1 100); do
    [ -s "$PORT_FILE" ] && return 0
    if ! kill -0 "$STANDIN_PID" 2>/dev/null; then
      wait "$STANDIN_PID" 2>/dev/null || true
      STANDIN_PID=""
      return 1
    fi
    sleep 0.05
  done
  return 1
}
if [ -n "$PORT" ]; then
  start_standin "$PORT" || { echo "run: the stand-in cannot listen on 127.0.0.1:$PORT; choose another port with --port N" >&2; exit 1; }
elif ! start_standin 1433 2>/dev/null; then
  echo "run: port 1433 is taken; the stand-in takes a free port instead (or choose one with --port N)"
  start_standin 0 || { echo "run: the stand-in did not start" >&2; exit 1; }
fi
PORT="$(cat "$PORT_FILE")"

echo "run: stand-in SQL Server on 127.0.0.1:$PORT serving the database db_ZVQ"
# What to do in the window, only where there is a window to use.
if [ "$SHOT_ONLY" = 0 ]; then
  echo "run: in Dorvane press 打开数据库文件 and double-click db_ZVQ_Data.MDF (the dialog opens in DataSource)"
  if [ "$PORT" = 1433 ]; then
    echo "run: leave the server field empty (the local machine, port 1433) and press 分离"
  else
    echo "run: type this into the server field, then press 分离:  127.0.0.1,$PORT"
  fi
  echo "run: Dorvane stays until you close its window (or press Ctrl+C here); the stand-in stops with it"
fi

# Your display, unless there is none or only a screenshot is wanted: then with-wine.sh
# starts a private Xvfb and says its number.
if [ -n "${DISPLAY:-}" ] && [ "$SHOT_ONLY" = 0 ]; then export WITH_WINE_DISPLAY="$DISPLAY"; else unset WITH_WINE_DISPLAY; fi
export RUN_SHOT_ONLY="$SHOT_ONLY"
# Dorvane's open dialog starts in the DataSource folder beside the program: a copy of the
# program goes there, as a user keeps it next to the data.
cp "$ROOT/build/win/Dorvane.exe" "$RUN_DIR/Dorvane.exe"
cd "$RUN_DIR"
# Its own Wine prefix (in build/run), so a test run at the same time is not disturbed.
"$ROOT/scripts/with-wine.sh" "$RUN_DIR" bash -c '
  exe=$1 shot=$2
  if [ -z "${WITH_WINE_DISPLAY:-}" ] && [ "$RUN_SHOT_ONLY" = 0 ]; then
    echo "run: no display of yours: Dorvane runs on the private X display $DISPLAY."
    echo "run:   a picture of it at any time:  DISPLAY=$DISPLAY import -window root shot.png"
    echo "run:   or use it through a VNC viewer:  x11vnc -display $DISPLAY  (Debian package x11vnc)"
  fi
  # Lines Wine prints that are no fault: the file dialog asking for volume labels of
  # the drives of this prefix. Everything else Wine says still shows.
  noise="^wine: Read access denied for device "
  wine "$exe" 2> >(grep --line-buffered -v -E "$noise" >&2) &
  app=$!
  if [ -z "${WITH_WINE_DISPLAY:-}" ]; then
    win=""
    for _ in $(seq 1 300); do
      win=$(xdotool search --name "^Dorvane$" 2>/dev/null | head -n1 || true)
      [ -n "$win" ] && break
      kill -0 "$app" 2>/dev/null || break
      sleep 0.1
    done
    if [ -n "$win" ]; then
      sleep 1  # the first paint
      import -window root "$shot" && echo "run: screenshot in $shot"
    else
      echo "run: Dorvane'"'"'s window did not appear" >&2
    fi
    if [ "$RUN_SHOT_ONLY" = 1 ]; then
      kill "$app" 2>/dev/null || true
      wait "$app" 2>/dev/null || true
      exit 0
    fi
  fi
  wait "$app"
' run "$RUN_DIR/Dorvane.exe" "$RUN_DIR/screenshot.png"
