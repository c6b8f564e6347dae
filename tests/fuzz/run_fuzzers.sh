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
  TARGETS=(map_loader db_map x12_fixed_map x12_fuzzed_map csv_input xml_input field_functions)
fi

BUILD="$ROOT/build-fuzz"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DBROLVIN_FUZZ=ON -DBROLVIN_BUILD_TESTS=OFF -DBROLVIN_WITH_ODBC=OFF >/dev/null
cmake --build "$BUILD" -j2 --target $(printf 'fuzz_%s ' "${TARGETS[@]}") >/dev/null

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
mkdir -p "$BUILD/artifacts"
status=0
for target in "${TARGETS[@]}"; do
  mkdir -p "$BUILD/corpus/$target"
  log="$BUILD/fuzz_$target.log"
  echo "== fuzz_$target: ${SECONDS_PER_TARGET}s"
  if "$BUILD/tests/fuzz/fuzz_$target" -max_total_time="$SECONDS_PER_TARGET" -timeout=20 \
      -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
      -artifact_prefix="$BUILD/artifacts/${target}-" \
      "$BUILD/corpus/$target" "$ROOT/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$log" | tr '\n' ' '
    grep -E '^#[0-9]+.*(DONE|cov:)' "$log" | tail -1
  else
    status=1
    echo "fuzz_$target FAILED; last lines of $log:"
    tail -40 "$log"
  fi
done
exit $status
