#!/usr/bin/env bash
# Converter benchmark: generates a 5010 837P interchange, runs the real
# `brolvin` binary for X12->CSV, X12->XML (option "ML") and back (CSV->X12,
# XML->X12 of those outputs), and prints MB/s, the ratio to a memchr scan of
# the same file for "~", peak resident memory, and the time ratio between two
# sizes (linearity). "ratio" compares wall times, "cpuratio" processor times
# (steadier on a machine shared with other work).
#
#   bench/run.sh [-n CLAIMS] [-m LARGE_CLAIMS] [-r REPEATS] [-b BUILD_DIR]
#                [-t TSV_OUT] [-k]
#
#   -n  claims of the base size (default 100000, about 60 MB of X12)
#   -m  claims of the second size for the linearity column (default 4 x -n;
#       0 skips it). About 1.6 million claims make a 1 GB source.
#   -r  runs per conversion; the fastest counts (default 3)
#   -b  build folder holding brolvin and the bench programs (default build)
#   -t  also write the figures as tab-separated lines to this file
#   -k  keep the temporary folder
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

CLAIMS=100000
LARGE=""
REPEATS=3
BUILD=build
TSV=""
KEEP=0
while getopts "n:m:r:b:t:k" opt; do
  case $opt in
    n) CLAIMS=$OPTARG ;;
    m) LARGE=$OPTARG ;;
    r) REPEATS=$OPTARG ;;
    b) BUILD=$OPTARG ;;
    t) TSV=$OPTARG ;;
    k) KEEP=1 ;;
    *) sed -n 2,17p "$0"; exit 2 ;;
  esac
done
[ -n "$LARGE" ] || LARGE=$((CLAIMS * 4))

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD" -j2 --target brolvin bench >/dev/null
BIN=$(cd "$BUILD" && pwd)
BROLVIN=$BIN/brolvin
GEN=$BIN/bench/gen837p
SCAN=$BIN/bench/memchr_scan
RUN=$BIN/bench/timed_run
FLOOR=$BIN/bench/write_floor

# The shipped 837P map when it generates X12 back; the benchmark's own map otherwise.
MAP=$ROOT/bench/837p_bench.cfg
if [ -f "$ROOT/maps/837p.cfg" ] && grep -qi '^SEGMENT=' "$ROOT/maps/837p.cfg"; then
  MAP=$ROOT/maps/837p.cfg
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/brolvin-bench.XXXXXX")
cleanup() { [ "$KEEP" = 1 ] && echo "kept $WORK" || rm -rf "$WORK"; }
trap cleanup EXIT

# One conversion, best of REPEATS: prints "wall_seconds cpu_seconds peak_kB".
convert() {
  local type=$1 src=$2 dst=$3 best="" bestcpu="" peak=0 line s kb rc cpu
  for ((i = 0; i < REPEATS; i++)); do
    rm -f "$dst"
    line=$(cd "$WORK" && "$RUN" "$BROLVIN" "$type" "$src" "$dst" "ML,MAP=$MAP" 2>/dev/null | tail -1)
    read -r s kb rc cpu <<<"$line"
    if [ "$rc" != 0 ] || [ ! -s "$dst" ]; then
      echo "conversion $type of $src failed (status $rc)" >&2
      exit 1
    fi
    if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN{exit !(a<b)}'; then best=$s; fi
    if [ -z "$bestcpu" ] || awk -v a="$cpu" -v b="$bestcpu" 'BEGIN{exit !(a<b)}'; then bestcpu=$cpu; fi
    [ "$kb" -gt "$peak" ] && peak=$kb
  done
  echo "$best $bestcpu $peak"
}

declare -A SECS CPU
printf '%-8s %-9s %8s %8s %8s %8s %8s %8s %7s %7s %6s %7s %7s\n' \
  claims conversion srcMB outMB wall_s cpu_s MB/s memchr ratio cpuratio target floor peakMB
[ -n "$TSV" ] && : >"$TSV"
run_size() {
  local n=$1 tag=$2
  "$GEN" "$n" "$WORK/$tag.x12"
  local -a rows=(
    "X12,CSV $tag.x12 $tag.csv X12->CSV 5"
    "X12,XML $tag.x12 $tag.xml X12->XML 6"
    "CSV,X12 $tag.csv $tag.csv.x12 CSV->X12 10"
    "XML,X12 $tag.xml $tag.xml.x12 XML->X12 10"
  )
  local row type src dst name target bytes scan scancpu s cpu kb out
  for row in "${rows[@]}"; do
    read -r type src dst name target <<<"$row"
    bytes=$(stat -c %s "$WORK/$src")
    read -r scan _ _ scancpu <<<"$("$SCAN" "$WORK/$src" 5)"
    read -r s cpu kb <<<"$(convert "$type" "$WORK/$src" "$WORK/$dst")"
    out=$(stat -c %s "$WORK/$dst")
    # The best ratio any converter writing this output could reach: the
    # memchr scan against the time of merely writing the output bytes.
    floor=$("$FLOOR" "$WORK/floor.tmp" "$out" 1048576)
    awk -v n="$n" -v name="$name" -v b="$bytes" -v o="$out" -v s="$s" -v c="$cpu" -v m="$scan" -v mc="$scancpu" \
      -v t="$target" -v kb="$kb" -v f="$floor" 'BEGIN{
        mb = b / 1048576;
        printf "%-8s %-9s %8.1f %8.1f %8.3f %8.3f %8.1f %8.1f %7.3f %7.3f %6s %7.3f %7.1f\n",
          n, name, mb, o / 1048576, s, c, mb / s, mb / m, m / s, mc / c, "1/" t, m / f, kb / 1024 }'
    SECS[$tag,$name]=$s
    CPU[$tag,$name]=$cpu
    [ -n "$TSV" ] && printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$tag" "$name" "$bytes" "$s" "$cpu" \
      "$(awk -v m="$scan" -v s="$s" 'BEGIN{print m/s}')" "$(awk -v m="$scancpu" -v c="$cpu" 'BEGIN{print m/c}')" \
      "$target" "$kb" >>"$TSV"
  done
  rm -f "$WORK/$tag".*
}

run_size "$CLAIMS" small
if [ "$LARGE" != 0 ]; then
  run_size "$LARGE" large
  echo
  echo "linearity: time at $LARGE claims / time at $CLAIMS claims (claims ratio $(awk -v a="$LARGE" -v b="$CLAIMS" 'BEGIN{printf "%.2f", a/b}'))"
  printf '  %-9s %6s %6s\n' conversion wall cpu
  for name in X12-\>CSV X12-\>XML CSV-\>X12 XML-\>X12; do
    g=$(awk -v a="${SECS[large,$name]}" -v b="${SECS[small,$name]}" 'BEGIN{printf "%.2f", a/b}')
    gc=$(awk -v a="${CPU[large,$name]}" -v b="${CPU[small,$name]}" 'BEGIN{printf "%.2f", a/b}')
    printf '  %-9s %6s %6s\n' "$name" "$g" "$gc"
    [ -n "$TSV" ] && printf 'growth\t%s\t%s\t%s\t%s\n' "$name" "$g" "$gc" "$(awk -v a="$LARGE" -v b="$CLAIMS" 'BEGIN{print a/b}')" >>"$TSV"
  done
fi
echo "map: $MAP"
echo "machine: $(nproc) cores, $(uname -m), $(lscpu | sed -n 's/^Model name: *//p' | head -1)"
