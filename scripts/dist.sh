#!/usr/bin/env bash
# Builds the two programs a Windows user takes and writes them with their checksums:
#   dist/Dorvane-x64.exe   64-bit Windows 7 SP1 to 11
#   dist/Dorvane-x86.exe   32-bit (and 64-bit) Windows 7 SP1 to 11
#   dist/SHA256SUMS        sha256sum's format: "sha256sum -c SHA256SUMS" checks them
# Release builds in build/dist-x64 and build/dist-x86; each program is checked against
# Windows 7 SP1 (scripts/check-imports.py) before it is written.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"

bash scripts/setup.sh

mkdir -p dist
rm -f dist/Dorvane-x64.exe dist/Dorvane-x86.exe dist/SHA256SUMS
for arch in x64 x86; do
  case "$arch" in
    x64) toolchain=mingw-w64-x86_64.cmake ;;
    x86) toolchain=mingw-w64-i686.cmake ;;
  esac
  dir="build/dist-$arch"
  echo "== Dorvane-$arch.exe"
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain" >/dev/null
  cmake --build "$dir" -j "$JOBS" --target Dorvane
  python3 scripts/check-imports.py --delay-def db/odbc32_delay.def "$dir/Dorvane.exe"
  cp "$dir/Dorvane.exe" "dist/Dorvane-$arch.exe"
done
(cd dist && sha256sum Dorvane-x64.exe Dorvane-x86.exe > SHA256SUMS)
echo "== dist/"
ls -l dist
cat dist/SHA256SUMS
