#!/usr/bin/env bash
# Writes the PNG strip of XPButton2's five looks at the main window's three button sizes:
#   scripts/button-strip.sh [OUT.png] [--high-contrast-black | --high-contrast-white]
# Builds the Windows tree if needed (BUILD_DIR, default build/win), runs buttonstrip.exe
# under Wine through scripts/with-wine.sh, and writes OUT.png (default
# BUILD_DIR/xpbutton-looks.png).
set -euo pipefail
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(cd "$HERE/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build/win}"
mkdir -p "$BUILD_DIR"
BUILD_DIR="$(cd "$BUILD_DIR" && pwd)"
OUT="${1:-$BUILD_DIR/xpbutton-looks.png}"
mkdir -p "$(dirname "$OUT")"
OUT="$(cd "$(dirname "$OUT")" && pwd)/$(basename "$OUT")"

if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake"
fi
cmake --build "$BUILD_DIR" -j2 --target buttonstrip

# Wine's drive Z: is the Unix root.
WIN_OUT="Z:${OUT//\//\\}"
rm -f "$OUT"
"$HERE/with-wine.sh" "$BUILD_DIR" timeout 300 wine "$BUILD_DIR/tools/buttonstrip/buttonstrip.exe" "$WIN_OUT" ${2:+"$2"}
[ -s "$OUT" ] || { echo "button-strip: $OUT was not written" >&2; exit 1; }
echo "button-strip: $OUT"
