#!/usr/bin/env bash
# Opens Dorvane.exe under a private Xvfb and writes a screenshot of its window:
#   scripts/screenshot.sh [OUT.png] [DPI]
# BUILD_DIR names the Windows build folder (default build/win). With a DPI other than
# 96 the prefix's LogPixels is set for the run and restored afterwards.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
OUT="$(realpath -m "${1:-$ROOT/build/win/dorvane.png}")"
DPI="${2:-96}"
BUILD_DIR="$(realpath -m "${BUILD_DIR:-$ROOT/build/win}")"
[ -f "$BUILD_DIR/Dorvane.exe" ] || { echo "screenshot: build Dorvane first ($BUILD_DIR/Dorvane.exe)" >&2; exit 1; }
"$ROOT/scripts/with-wine.sh" "$BUILD_DIR" bash -c '
  set -e
  dpi=$2
  if [ "$dpi" != 96 ]; then
    wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1
    "$WINESERVER" -w
  fi
  cd "$(dirname "$0")"
  wine "$0" & APP=$!
  win=""
  for _ in $(seq 1 100); do
    win=$(xdotool search --name "^Dorvane$" 2>/dev/null | head -n1 || true)
    [ -n "$win" ] && break; sleep 0.1
  done
  sleep 2
  if [ -n "$win" ]; then import -window "$win" "$1"; else import -window root "$1"; fi
  kill $APP 2>/dev/null || true; wait $APP 2>/dev/null || true
  if [ "$dpi" != 96 ]; then
    wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
  fi
' "$BUILD_DIR/Dorvane.exe" "$OUT" "$DPI"
echo "screenshot: $OUT"
