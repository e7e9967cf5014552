#!/usr/bin/env bash
# Builds everything and runs every test: native tests (under AddressSanitizer and UBSan),
# then the Windows tests and end-to-end tests under Wine, one at a time: all of them for
# the x64 program, and for the x86 program all but two reliability suites, under 32-bit Wine.
# Both programs' imports are checked against Windows 7 SP1 (ctest's program_windows7_imports).
# The x64 program is built a second time with Clang (no warning allowed), and the release
# files once more by scripts/dist.sh, twice over and compared, then signed with a throwaway
# certificate, with their winget manifest checked against its schema
# (tests/release/release_test.sh); the signed x64 program and the Clang one then
# go through the program-file suite under Wine. The names of the native and x64 trees'
# own code are checked against the house style (scripts/check-names.sh), and first of all
# the folder READMEs and the README's route of one detach against the code
# (scripts/check-docs.py). The fuzz targets are built with clang and replay their
# committed corpus and regressions once (scripts/fuzz.sh --replay).
# On a machine that does not run 32-bit Linux programs or could not install 32-bit Wine
# (scripts/i386.sh decides; or with DORVANE_NO_I386=1) the x86 program is built and its
# imports checked, and its other suites are reported as not run, with the reason. The last
# lines say what ran in each tree.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"
START=$(date +%s)
# Each phase's heading carries the time since the start.
phase() { echo "== $* (at $(( $(date +%s) - START )) s)"; }
# shellcheck source=i386.sh
source scripts/i386.sh

# One line per tree for the summary, and the background builds' process group while they run.
SUMMARY=()
BACKGROUND=""
finish() {
  local rc=$?
  if [ -n "$BACKGROUND" ]; then kill -- -"$BACKGROUND" 2>/dev/null || true; fi
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
# Asked again now that set-up has run: 32-bit Wine it could not install leaves x86 unrun. The
# scripts this one starts (the release files' dist) need no set-up of their own.
dorvane_i386_probe
dorvane_i386_wine
export DORVANE_I386 DORVANE_I386_WHY DORVANE_SET_UP=1

phase "docs: the folder READMEs and the route of one detach against the code"
docs_rc=0
mkdir -p build
python3 scripts/check-docs.py | tee build/docs-check.log || docs_rc=$?
SUMMARY+=("docs (folder READMEs, the route): $(tail -n 1 build/docs-check.log | sed 's/^check-docs: //')")
[ "$docs_rc" = 0 ] || exit "$docs_rc"

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

# clang_x64_build: the x64 program (not its tests) with Clang, warnings as errors. From clean
# every time, so that every run sees every warning; a warning of the compiler driver or of
# the linker, which -Werror does not turn into an error, fails it too.
clang_x64_build() {
  local out rc=0
  cmake -S . -B build/clang-x64 -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/clang-mingw-w64-x86_64.cmake" >/dev/null
  out="$(cmake --build build/clang-x64 -j "$JOBS" --clean-first --target Dorvane 2>&1)" || rc=$?
  echo "$out"
  [ "$rc" = 0 ] || return "$rc"
  if grep -q 'warning:' <<<"$out"; then
    echo "== the Clang build gave warnings (above)"
    return 1
  fi
}

# These run while the Wine tests run, which mostly wait on Wine and the display: the x86
# tree's build, the naming check of the native and x64 trees (scripts/check-names.sh), the
# x64 program with Clang, the release files (tests/release/release_test.sh:
# scripts/dist.sh builds both programs twice and compares them, then signs them with a
# throwaway certificate), and the fuzz targets' replay (build/pf-fuzz, kept between runs,
# so only what changed is built again). One after another, at a lower priority, so the
# tests keep the processor they need, and in a process group of their own, so that a
# failing run stops them with everything they started. Each leaves its log and then
# build/NAME.status.
X86_LOG="$ROOT/build/win32-build.log" CLANG_LOG="$ROOT/build/clang-x64-build.log"
RELEASE_LOG="$ROOT/build/release-test.log" RELEASE_DIR="$ROOT/build/release"
NAMES_LOG="$ROOT/build/names-check.log" FUZZ_LOG="$ROOT/build/fuzz-replay.log"
rm -f build/x86.status build/names.status build/clang.status build/release.status build/fuzz.status
in_background() {
  local name="$1" log="$2" rc=0; shift 2
  "$@" >"$log" 2>&1 || rc=$?
  echo "$rc" >"$ROOT/build/$name.status"
}
phase "in the background: Windows x86 build (MinGW-w64, i686), naming check, Clang x64 build, release files, fuzz targets"
set -m
( renice -n 10 -p "$BASHPID" >/dev/null
  in_background x86 "$X86_LOG" windows_build build/win32 mingw-w64-i686.cmake "${X86_TARGETS[@]}"
  in_background names "$NAMES_LOG" bash scripts/check-names.sh build/native build/win
  in_background clang "$CLANG_LOG" clang_x64_build
  in_background release "$RELEASE_LOG" bash tests/release/release_test.sh "$RELEASE_DIR"
  in_background fuzz "$FUZZ_LOG" bash scripts/fuzz.sh --replay ) &
BACKGROUND=$!
set +m
# background_status NAME: waits until the background step NAME has ended; prints its status.
background_status() {
  while [ ! -f "build/$1.status" ] && kill -0 "$BACKGROUND" 2>/dev/null; do sleep 2; done
  cat "build/$1.status" 2>/dev/null || echo "did not run"
}

phase "Windows x64 tests under Wine"
suites x64 build/win "" scripts/with-wine.sh build/win ctest --test-dir build/win --output-on-failure --timeout 600

phase "Windows x86 build: waiting for it"
x86_built="$(background_status x86)"
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
  suites x86 build/win32 "$DORVANE_I386_WHY; reliability_fault_test, reliability_injection_test and standin_control_test would run for x64 only in any case" \
    ctest --test-dir build/win32 --output-on-failure --timeout 600 -R '^program_windows7_imports$'
fi

phase "naming check, Clang x64 build, release files and fuzz targets: waiting for them"
failed=0
programs=()
# background_result NAME LABEL LOG [PASSED]: adds LABEL's summary line for the background step
# NAME: PASSED (or else the last line of its LOG, without the name of the script that wrote
# it) when it passed; otherwise its LOG is shown and the run will fail. Returns whether it
# passed.
background_result() {
  local name="$1" label="$2" log="$3" passed="${4:-}"
  if [ "$(background_status "$name")" != 0 ]; then
    cat "$log"
    SUMMARY+=("$label: FAILED (see above, or $log)")
    failed=1
    return 1
  fi
  SUMMARY+=("$label: ${passed:-$(tail -n 1 "$log" | sed 's/^[[:alnum:]_-]*: //')}")
}
background_result names "names (build/native, build/win)" "$NAMES_LOG" || true
if background_result clang "clang x64 (build/clang-x64)" "$CLANG_LOG" "Dorvane built with Clang, no warning"; then
  programs+=("the Clang build=$ROOT/build/clang-x64/Dorvane.exe")
fi
if background_result release "release ($RELEASE_DIR)" "$RELEASE_LOG" \
  "two builds byte-identical; signed, verified, unsigned again without the signature; winget manifest valid"; then
  tail -n 1 "$RELEASE_LOG"
  programs+=("the signed Dorvane-x64.exe=$RELEASE_DIR/Dorvane-x64.exe")
fi
background_result fuzz "fuzz (build/pf-fuzz)" "$FUZZ_LOG" || true
wait "$BACKGROUND" 2>/dev/null || true
BACKGROUND=""

# The x64 tree's program-file suite on each program built another way: it starts and shows
# Form1, imports nothing but system DLLs, loads nothing of COM at start, loads ODBC and the
# accessibility library from the system folder on first use, and carries its version record
# and icon.
if [ ${#programs[@]} -gt 0 ]; then
  phase "under Wine: ProgramFile on ${#programs[@]} more x64 program(s)"
  for entry in "${programs[@]}"; do
    label="${entry%%=*}" exe="${entry#*=}" log="$ROOT/build/program-file-$(basename "$(dirname "$exe")").log" rc=0
    DORVANE_PROGRAM="Z:$exe" scripts/with-wine.sh build/win scripts/wine-exec.sh \
      build/win/tests/win/form/form_tests.exe --gtest_filter='ProgramFile.*' --gtest_brief=1 >"$log" 2>&1 || rc=$?
    if [ "$rc" = 0 ] && grep -q '^\[  PASSED  \]' "$log"; then
      SUMMARY+=("under Wine, $label: $(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\{0,1\}.*/\1/p' "$log") ProgramFile tests passed")
    else
      cat "$log"
      SUMMARY+=("under Wine, $label: ProgramFile FAILED (see above, or $log)")
      failed=1
    fi
  done
fi
exit "$failed"
