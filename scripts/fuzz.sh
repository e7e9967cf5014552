#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/pf-fuzz) and runs each one for a bounded
# time on a copy of its seed corpus and its regressions:
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# or, as the test command does, builds every target and replays each one's committed corpus
# and regressions once, without fuzzing, so that a target that no longer builds or an input
# that now crashes fails:
#   scripts/fuzz.sh --replay
# The targets are the ones fuzz/CMakeLists.txt declares. Seeds live in fuzz/corpus/<target>/
# and the inputs of crashes once found in fuzz/regressions/<target>/ (both committed); what
# a run adds stays in the build folder. A crash leaves its input as
# build/pf-fuzz/artifacts/<target>/crash-* and makes the script exit non-zero after all
# targets ran.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
REPLAY=no SECONDS_PER_TARGET=120
if [ "${1:-}" = --replay ]; then
  REPLAY=yes
  shift
elif [ $# -gt 0 ]; then
  SECONDS_PER_TARGET="$1"
  shift
fi
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || mapfile -t TARGETS < <(sed -n 's/^dorvane_fuzzer(\([a-z0-9_]*\) .*/\1/p' fuzz/CMakeLists.txt)
BUILD="${FUZZ_BUILD_DIR:-build/pf-fuzz}"
JOBS="${JOBS:-2}"

# The tree is kept between runs: only what changed is built again.
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DDORVANE_FUZZ=ON >/dev/null
# The seed writer too, so that it cannot break unseen either.
cmake --build "$BUILD" -j "$JOBS" --target $(printf '%s_fuzzer ' "${TARGETS[@]}") fuzz_seeds >/dev/null

# inputs TARGET: the committed folders of TARGET's inputs.
inputs() {
  echo "fuzz/corpus/$1"
  if [ -d "fuzz/regressions/$1" ]; then echo "fuzz/regressions/$1"; fi
}

failed=() count=0
# failure TARGET LOG WHAT: says that TARGET failed and where its LOG tells why.
failure() {
  echo "!! $1 $3; see $2"
  grep -E 'ERROR:|fuzz property broken|SUMMARY|Test unit written' "$2" | tail -n5 || true
  failed+=("$1")
}

# replay TARGET: every committed input once (-runs=0: no fuzzing, nothing is written into
# the folders).
replay() {
  local t="$1" artifacts="$BUILD/artifacts/$1" log="$BUILD/$1.replay.log" rc=0 folders
  if [ ! -d "fuzz/corpus/$t" ]; then
    echo "!! $t has no seed corpus in fuzz/corpus/$t"
    failed+=("$t")
    return
  fi
  mapfile -t folders < <(inputs "$t")
  mkdir -p "$artifacts"
  "$BUILD/fuzz/${t}_fuzzer" -runs=0 -timeout=30 -artifact_prefix="$artifacts/" "${folders[@]}" >"$log" 2>&1 || rc=$?
  count=$((count + $(find "${folders[@]}" -type f | wc -l)))
  [ $rc -eq 0 ] || failure "$t" "$log" "failed on its committed inputs"
}

# fuzz TARGET: fuzzes for SECONDS_PER_TARGET on a copy of its committed inputs.
fuzz() {
  local t="$1" corpus="$BUILD/corpus/$1" artifacts="$BUILD/artifacts/$1" log="$BUILD/$1.log" rc=0
  mkdir -p "$corpus" "$artifacts"
  while read -r folder; do cp -n "$folder"/* "$corpus"/ 2>/dev/null || true; done < <(inputs "$t")
  echo "== $t: ${SECONDS_PER_TARGET}s"
  # -max_total_time bounds the run; timeout is the backstop if the fuzzer itself hangs.
  timeout --kill-after=10 $((SECONDS_PER_TARGET + 60)) "$BUILD/fuzz/${t}_fuzzer" \
    -max_total_time="$SECONDS_PER_TARGET" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1 || rc=$?
  # The first and the last status lines (executions, coverage, features, corpus), and the
  # final stats.
  grep -E '^#[0-9]+[[:space:]]+INITED' "$log" | head -n1 || true
  grep -E '^#[0-9]+' "$log" | tail -n1 || true
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' "$log" || true
  [ $rc -eq 0 ] || failure "$t" "$log" "exited with $rc"
}

for t in "${TARGETS[@]}"; do
  if [ "$REPLAY" = yes ]; then replay "$t"; else fuzz "$t"; fi
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failures in ${failed[*]}"
  exit 1
fi
if [ "$REPLAY" = yes ]; then
  echo "fuzz: ${#TARGETS[@]} targets built, corpus and regressions replayed ($count inputs)"
else
  echo "fuzz: no crashes in ${TARGETS[*]}"
fi
