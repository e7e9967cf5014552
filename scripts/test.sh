#!/usr/bin/env bash
# Builds everything and runs every test: native tests (under AddressSanitizer and UBSan),
# then the Windows tests and end-to-end tests under Wine, one at a time.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"

bash scripts/setup.sh

echo "== native build (ASan + UBSan)"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DDORVANE_SANITIZE=ON >/dev/null
cmake --build build/native -j "$JOBS"
echo "== native tests"
ctest --test-dir build/native --output-on-failure --timeout 600 -j "$JOBS"

echo "== Windows build (MinGW-w64)"
cmake -S . -B build/win -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
  -DDORVANE_NATIVE_BUILD="$ROOT/build/native" >/dev/null
cmake --build build/win -j "$JOBS"
echo "== Windows tests under Wine"
scripts/with-wine.sh build/win ctest --test-dir build/win --output-on-failure --timeout 600
