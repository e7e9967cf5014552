#!/usr/bin/env bash
# Builds everything and runs every test: native tests (under AddressSanitizer and UBSan),
# then the Windows tests and end-to-end tests under Wine, one at a time: all of them for
# the x64 program, and for the x86 program all but two reliability suites, under 32-bit Wine.
# Both programs' imports are checked against Windows 7 SP1 (ctest's program_windows7_imports).
# On a machine that does not run 32-bit Linux programs (scripts/i386.sh decides; or with
# DORVANE_NO_I386=1) the x86 program is built and its imports checked, and its other suites
# are reported as not run, with the reason. The last lines say what ran in each tree.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"
START=$(date +%s)
# Each phase's heading carries the time since the start.
phase() { echo "== $* (at $(( $(date +%s) - START )) s)"; }
# shellcheck source=i386.sh
source scripts/i386.sh

# One line per tree for the summary, and the x86 build's process group while it runs.
SUMMARY=()
X86_BUILD=""
finish() {
  local rc=$?
  if [ -n "$X86_BUILD" ]; then kill -- -"$X86_BUILD" 2>/dev/null || true; fi
  echo "== summary"
  local line
  for line in "${SUMMARY[@]}"; do echo "   $line"; done
  if [ "$rc" = 0 ]; then
    echo "== all tests passed in $(( $(date +%s) - START )) s"
  else
    echo "== the test run FAILED (exit status $rc) after $(( $(date +%s) - START )) s" >&2
  fi
}
trap finish EXIT

# suites LABEL DIR NOT_RUN_REASON COMMAND...: runs ctest through COMMAND, with its output
# kept in build/ctest-LABEL.log, and adds LABEL's line to the summary: the suites passed
# out of those run, the ones that failed, and DIR's suites that were not run, with
# NOT_RUN_REASON. Fails as ctest does.
suites() {
  local label="$1" dir="$2" why="$3"; shift 3
  local log="$ROOT/build/ctest-$label.log" rc=0
  "$@" 2>&1 | tee "$log" || rc=$?
  local counts total failed ran all not_run line
  counts="$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\).*/\1 \2/p' "$log" | tail -n1)"
  ran="$(sed -n 's/.*Test *#[0-9]*: \([^ ]*\) .*/\1/p' "$log" | sort -u)"
  all="$(ctest --test-dir "$dir" -N 2>/dev/null | sed -n 's/^ *Test *#[0-9]*: \([^ ]*\).*/\1/p' | sort -u)"
  not_run="$(comm -23 <(echo "$all") <(echo "$ran") | grep . | tr '\n' ' ' || true)"
  if [ -n "$counts" ]; then
    read -r failed total <<<"$counts"
    line="$label ($dir): $((total - failed)) of $total suites passed"
    if [ "$failed" != 0 ]; then
      line+="; FAILED: $(sed -n '/tests FAILED:/,$ s/^[[:space:]]*[0-9]* - \([^ ]*\) .*/\1/p' "$log" | tr '\n' ' ')"
    fi
  else
    line="$label ($dir): ctest did not finish (exit status $rc), see $log"
  fi
  if [ -n "$not_run" ]; then line+="; $(wc -w <<<"$not_run") not run: ${not_run% } ($why)"; fi
  SUMMARY+=("$line")
  return "$rc"
}

bash scripts/setup.sh

phase "native build (ASan + UBSan)"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=Debug -DDORVANE_SANITIZE=ON >/dev/null
cmake --build build/native -j "$JOBS"
phase "native tests"
suites native build/native "" ctest --test-dir build/native --output-on-failure --timeout 600 -j "$JOBS"

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

# The x86 suites: all but two reliability ones (hostile names and server faults test the
# server side and the naming rule, which the architecture does not change); the detach's
# wait runs on both, since it is where the worker thread's failures come back. ctest adds the
# stand-in supervisor they need (its fixture) by itself. program_windows7_imports is a
# script run on Dorvane.exe, not a target of its own.
X86_TESTS=(hooks_test host_container_test xpbutton_model_test render_tests db_no_server_win_test
  db_server_win_test form_tests program_windows7_imports input_tests workflow_tests e2e_workflow_tests
  reliability_wait_test)
X86_BY_DESIGN="these run for x64 only: they test the stand-in, the server side and the naming rule, which the architecture does not change"
if [ "$DORVANE_I386" = yes ]; then
  X86_TARGETS=(Dorvane $(printf '%s\n' "${X86_TESTS[@]}" | grep -vx program_windows7_imports))
else
  # Nothing built here could run but the program itself, whose imports are still checked.
  X86_TARGETS=(Dorvane)
fi

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

phase "Windows x64 tests under Wine"
suites x64 build/win "" scripts/with-wine.sh build/win ctest --test-dir build/win --output-on-failure --timeout 600

phase "Windows x86 build: waiting for it"
x86_built=0
wait "$X86_BUILD" || x86_built=$?
X86_BUILD=""
if [ "$x86_built" != 0 ]; then
  cat "$X86_LOG"
  echo "== the x86 build failed" >&2
  SUMMARY+=("x86 (build/win32): not run, the build failed (see above)")
  exit 1
fi
if [ "$DORVANE_I386" = yes ]; then
  phase "Windows x86 tests under 32-bit Wine"
  regex="^($(IFS='|'; echo "${X86_TESTS[*]}"))\$"
  suites x86 build/win32 "$X86_BY_DESIGN" \
    scripts/with-wine.sh build/win32 ctest --test-dir build/win32 --output-on-failure --timeout 600 -R "$regex"
else
  phase "Windows x86: the import check only ($DORVANE_I386_WHY)"
  suites x86 build/win32 "$DORVANE_I386_WHY; the reliability suites would run for x64 only in any case" \
    ctest --test-dir build/win32 --output-on-failure --timeout 600 -R '^program_windows7_imports$'
fi
