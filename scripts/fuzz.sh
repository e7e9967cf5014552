#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/pf-fuzz) and runs each one for a bounded
# time on a copy of its seed corpus:
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]
# Seeds live in fuzz/corpus/<target>/ (committed); what a run adds stays in the build
# folder. A crash leaves its input as build/pf-fuzz/artifacts/<target>/crash-* and makes
# the script exit non-zero after all targets ran.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
SECONDS_PER_TARGET="${1:-120}"
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(connection_string tds_packet login7 sql_batch design)
BUILD="${FUZZ_BUILD_DIR:-build/pf-fuzz}"
JOBS="${JOBS:-2}"

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DDORVANE_FUZZ=ON >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target $(printf '%s_fuzzer ' "${TARGETS[@]}") >/dev/null

failed=()
for t in "${TARGETS[@]}"; do
  corpus="$BUILD/corpus/$t" artifacts="$BUILD/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  cp -n fuzz/corpus/"$t"/* "$corpus"/ 2>/dev/null || true
  log="$BUILD/$t.log"
  echo "== $t: ${SECONDS_PER_TARGET}s"
  set +e
  # -max_total_time bounds the run; timeout is the backstop if the fuzzer itself hangs.
  timeout --kill-after=10 $((SECONDS_PER_TARGET + 60)) "$BUILD/fuzz/${t}_fuzzer" \
    -max_total_time="$SECONDS_PER_TARGET" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" "$corpus" >"$log" 2>&1
  rc=$?
  set -e
  # The last status line (executions, coverage, features, corpus) and the final stats.
  grep -E '^#[0-9]+' "$log" | tail -n1 || true
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log" || true
  if [ $rc -ne 0 ]; then
    echo "!! $t exited with $rc; see $log"
    grep -E 'ERROR:|fuzz property broken|SUMMARY' "$log" | head -n5 || true
    ls "$artifacts" || true
    failed+=("$t")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: failures in ${failed[*]}"
  exit 1
fi
echo "fuzz: no crashes in ${TARGETS[*]}"
