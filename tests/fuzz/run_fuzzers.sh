#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, ASan, UBSan) in build-fuzz and
# runs each one for a bounded time.
#   tests/fuzz/run_fuzzers.sh [seconds per target, default 60] [target ...]
# The seed corpora under tests/fuzz/corpus are read only; what a run learns
# goes to build-fuzz/corpus. A crash leaves its input in build-fuzz/artifacts
# and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
SECONDS_PER_TARGET=${1:-60}
shift || true
TARGETS=("$@")
if [ ${#TARGETS[@]} -eq 0 ]; then
  TARGETS=(map_loader db_map x12_fixed_map x12_fuzzed_map csv_input xml_input field_functions
    job_names dbf_table ntx_index cdx_index)
fi

BUILD="$ROOT/build-fuzz"
# A build folder that exists already (CI builds it with the unit tests, to run
# them under the same sanitizers) is used as it is configured.
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DBROLVIN_FUZZ=ON -DBROLVIN_BUILD_TESTS=OFF -DBROLVIN_WITH_ODBC=OFF >/dev/null
fi
cmake --build "$BUILD" -j2 --target $(printf 'fuzz_%s ' "${TARGETS[@]}") >/dev/null

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$BUILD/artifacts"

# One target: its own learned corpus first (new inputs go there), the seeds second.
fuzz_one() {
  local target=$1 log="$BUILD/fuzz_$1.log"
  mkdir -p "$BUILD/corpus/$target"
  if "$BUILD/tests/fuzz/fuzz_$target" -max_total_time="$SECONDS_PER_TARGET" -timeout=20 \
      -rss_limit_mb=2048 -max_len=8192 -print_final_stats=1 \
      -artifact_prefix="$BUILD/artifacts/${target}-" \
      "$BUILD/corpus/$target" "$ROOT/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    echo "fuzz_$target: ${SECONDS_PER_TARGET}s," \
      "$(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') executions," \
      "$(grep -E '^#[0-9]+' "$log" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [^ ]+')"
  else
    echo "fuzz_$target FAILED; last lines of $log:"
    tail -40 "$log"
    return 1
  fi
}

# FUZZ_JOBS targets at a time (default 2, one per core).
JOBS=${FUZZ_JOBS:-2}
status=0
running=0
for target in "${TARGETS[@]}"; do
  if [ "$running" -ge "$JOBS" ]; then
    wait -n || status=1
    running=$((running - 1))
  fi
  fuzz_one "$target" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || status=1
  running=$((running - 1))
done
exit $status
