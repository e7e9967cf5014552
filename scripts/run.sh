#!/usr/bin/env bash
# Builds Dorvane, starts the stand-in SQL Server on 127.0.0.1:1433 with the sample
# database db_ZVQ (build/run/DataSource), and opens Dorvane under Wine. Closing the
# window stops the stand-in. Uses your display when DISPLAY is set; otherwise a private
# Xvfb, with a screenshot written to build/run/screenshot.png.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"

bash scripts/setup.sh

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DDORVANE_SANITIZE=ON >/dev/null
cmake --build build/native -j "$JOBS" --target dorvane_standin
cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DDORVANE_NATIVE_BUILD="$ROOT/build/native" >/dev/null
cmake --build build/win -j "$JOBS" --target Dorvane

RUN_DIR="$ROOT/build/run"
mkdir -p "$RUN_DIR/DataSource"
STANDIN="$ROOT/build/native/tools/standin/dorvane-standin"
# A fresh sample every run, so the demo detach works again.
"$STANDIN" make-sample "$RUN_DIR/DataSource" db_ZVQ

"$STANDIN" --listen 127.0.0.1:1433 --data "$RUN_DIR/DataSource" --catalog "$RUN_DIR/catalog.txt" &
STANDIN_PID=$!
cleanup() { kill "$STANDIN_PID" 2>/dev/null || true; wait "$STANDIN_PID" 2>/dev/null || true; }
trap cleanup EXIT
trap 'exit 130' INT TERM
sleep 0.5
kill -0 "$STANDIN_PID" 2>/dev/null || { echo "run: the stand-in did not start (is port 1433 in use?)" >&2; exit 1; }
echo "run: stand-in SQL Server on 127.0.0.1:1433 serving database db_ZVQ"
echo "run: in Dorvane choose $RUN_DIR/DataSource/db_ZVQ_Data.MDF, leave the server empty, press 分离"

if [ -n "${DISPLAY:-}" ]; then export WITH_WINE_DISPLAY="$DISPLAY"; fi
cd "$RUN_DIR"
# Its own Wine prefix (in build/run), so a test run at the same time is not disturbed.
"$ROOT/scripts/with-wine.sh" "$RUN_DIR" bash -c '
  wine "$0" &
  APP=$!
  if [ -z "${WITH_WINE_DISPLAY:-}" ]; then
    sleep 6; import -window root "$1" 2>/dev/null && echo "run: screenshot in $1 (no display: private Xvfb $DISPLAY)"
  fi
  wait "$APP"
' "$ROOT/build/win/Dorvane.exe" "$RUN_DIR/screenshot.png"
