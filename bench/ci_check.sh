#!/usr/bin/env bash
# Performance regression check for CI: runs the converter benchmark at a small
# size (well under a minute) and fails when
#   - a conversion's processor-time ratio to the memchr scan falls below half
#     of the figure recorded in bench/baseline.tsv (with --targets: below half
#     of the target ratio: X12->CSV 1/5, X12->XML 1/6, CSV->X12 and XML->X12
#     1/10),
#   - a conversion's ratio to its I/O floor ("io") falls below half of its
#     baseline figure (with --targets: half of the target, where it has one),
#   - the start-up ratio (a one-claim file against /bin/true) or the folder
#     ratio (200 files of 50 claims against one file) is above twice its
#     baseline figure (these are times: lower is better),
#   - the peak resident memory of a conversion exceeds 64 MB,
#   - four times the claims cost more than 8 times the processor time (a
#     quadratic cost would give 16; the margin absorbs a shared machine).
# Processor times are compared because CI machines are shared.
#
#   bench/ci_check.sh [--targets] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

MODE=baseline
if [ "${1:-}" = "--targets" ]; then
  MODE=targets
  shift
fi
BUILD=${1:-build}
RESULTS=$(mktemp)
trap 'rm -f "$RESULTS"' EXIT

bench/run.sh -b "$BUILD" -n 3000 -m 12000 -r 3 -t "$RESULTS"

awk -F'\t' -v mode="$MODE" '
  FNR == NR { if ($1 !~ /^#/ && NF >= 2) baseline[$1] = $2; next }
  $1 == "startup" || $1 == "folder" {
    limit = 2 * baseline[$1]
    if (mode == "targets" && $1 == "startup") limit = 2 * 2.5
    if (limit == 0) { printf "FAIL %s: no baseline figure\n", $1; bad = 1 }
    else if ($2 > limit) { printf "FAIL %s: ratio %.2f above %.2f\n", $1, $2, limit; bad = 1 }
    next
  }
  $1 == "growth" {
    if ($4 > 8.0) { printf "FAIL %s: %sx the claims took %sx the processor time\n", $2, $5, $4; bad = 1 }
    next
  }
  {
    name = $2; cpuratio = $7; target = 1 / $8; kb = $9
    floor = mode == "targets" ? target / 2 : baseline[name] / 2
    if (floor == 0) { printf "FAIL %s: no baseline figure\n", name; bad = 1 }
    else if (cpuratio < floor) {
      printf "FAIL %s (%s claims): ratio %.4f below %.4f\n", name, $1, cpuratio, floor; bad = 1
    }
    if (cpuratio < target) printf "note %s: ratio %.4f is below its target 1/%s\n", name, cpuratio, $8
    io = $10; iotarget = $11
    iofloor = mode == "targets" ? (iotarget == "-" ? 0 : iotarget / 2) : baseline["io " name] / 2
    if (mode != "targets" && iofloor == 0) { printf "FAIL %s: no io baseline figure\n", name; bad = 1 }
    else if (io < iofloor) { printf "FAIL %s (%s claims): io ratio %.4f below %.4f\n", name, $1, io, iofloor; bad = 1 }
    if (kb > 65536) { printf "FAIL %s: peak memory %.1f MB above 64 MB\n", name, kb / 1024; bad = 1 }
  }
  END { if (bad) exit 1; print "performance check passed (" mode ")" }
' bench/baseline.tsv "$RESULTS"
