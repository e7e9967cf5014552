#!/usr/bin/env bash
# Builds everything and runs every test: native tests (under AddressSanitizer and UBSan),
# then the Windows tests and end-to-end tests under Wine, one at a time: all of them for
# the x64 program, and for the x86 program all but the reliability suites, under 32-bit Wine.
# Both programs' imports are checked against Windows 7 SP1 (ctest's program_windows7_imports).
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"
START=$(date +%s)
# Each phase's heading carries the time since the start.
phase() { echo "== $* (at $(( $(date +%s) - START )) s)"; }

bash scripts/setup.sh

phase "native build (ASan + UBSan)"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DDORVANE_SANITIZE=ON >/dev/null
cmake --build build/native -j "$JOBS"
phase "native tests"
ctest --test-dir build/native --output-on-failure --timeout 600 -j "$JOBS"

# windows_build DIR TOOLCHAIN [TARGETS...]: configures and builds one Windows tree.
windows_build() {
  local dir="$1" toolchain="$2"; shift 2
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain" \
    -DDORVANE_NATIVE_BUILD="$ROOT/build/native" >/dev/null
  if [ $# -gt 0 ]; then
    cmake --build "$dir" -j "$JOBS" --target "$@"
  else
    cmake --build "$dir" -j "$JOBS"
  fi
}

# The x86 suites: all but the reliability ones (hostile names and server faults test the
# server side and the naming rule, which the architecture does not change). ctest adds the
# stand-in supervisor they need (its fixture) by itself. program_windows7_imports is a
# script run on Dorvane.exe, not a target of its own.
X86_TESTS=(hooks_test host_container_test xpbutton_model_test render_tests db_no_server_win_test
  db_server_win_test form_tests program_windows7_imports input_tests workflow_tests e2e_workflow_tests)
X86_TARGETS=(Dorvane $(printf '%s\n' "${X86_TESTS[@]}" | grep -vx program_windows7_imports))

phase "Windows x64 build (MinGW-w64, x86_64)"
windows_build build/win mingw-w64-x86_64.cmake

# The x86 tree builds while the x64 tests run: those mostly wait on Wine and the display.
# It builds at a lower priority, so the tests keep the processor they need, and in a
# process group of its own, so that a failing run stops it with everything it started.
phase "Windows x86 build (MinGW-w64, i686), in the background"
X86_LOG="$ROOT/build/win32-build.log"
set -m
( renice -n 10 -p "$BASHPID" >/dev/null
  windows_build build/win32 mingw-w64-i686.cmake "${X86_TARGETS[@]}" ) >"$X86_LOG" 2>&1 &
X86_BUILD=$!
set +m
trap 'kill -- -"$X86_BUILD" 2>/dev/null || true' EXIT

phase "Windows x64 tests under Wine"
scripts/with-wine.sh build/win ctest --test-dir build/win --output-on-failure --timeout 600

phase "Windows x86 build: waiting for it"
if ! wait "$X86_BUILD"; then
  cat "$X86_LOG"
  echo "== the x86 build failed" >&2
  exit 1
fi
trap - EXIT
phase "Windows x86 tests under 32-bit Wine"
regex="^($(IFS='|'; echo "${X86_TESTS[*]}"))\$"
scripts/with-wine.sh build/win32 ctest --test-dir build/win32 --output-on-failure --timeout 600 -R "$regex"

echo "== all tests passed in $(( $(date +%s) - START )) s"
