#!/usr/bin/env bash
# Converter benchmark: generates a 5010 837P interchange, runs the real
# `brolvin` binary for X12->CSV, X12->XML (option "ML") and back (CSV->X12,
# XML->X12 of those outputs), and prints MB/s, the ratio to a memchr scan of
# the same file for "~", peak resident memory, and the time ratio between two
# sizes (linearity). "ratio" compares wall times, "cpuratio" processor times
# (steadier on a machine shared with other work); "io" is the conversion's
# wall time against its I/O floor (reading the source and writing the
# output's bytes in 1 MB pieces). Two more lines follow: start-up (the
# program on a one-claim file against /bin/true) and folder (a folder job over
# 200 files of 50 claims against one file holding the same claims).
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

# Wall seconds of a command, best of $1 runs (the command must succeed).
best_wall() {
  local n=$1 best="" line s kb rc cpu
  shift
  for ((i = 0; i < n; i++)); do
    line=$(cd "$WORK" && "$RUN" "$@" 2>/dev/null | tail -1)
    read -r s kb rc cpu <<<"$line"
    if [ "$rc" != 0 ]; then
      echo "$* failed (status $rc)" >&2
      exit 1
    fi
    if [ -z "$best" ] || awk -v a="$s" -v b="$best" 'BEGIN{exit !(a<b)}'; then best=$s; fi
  done
  echo "$best"
}

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
printf '%-8s %-9s %8s %8s %8s %8s %8s %8s %7s %7s %6s %7s %7s %6s %6s\n' \
  claims conversion srcMB outMB wall_s cpu_s MB/s memchr ratio cpuratio target floor peakMB io iotgt
[ -n "$TSV" ] && : >"$TSV"
run_size() {
  local n=$1 tag=$2
  "$GEN" "$n" "$WORK/$tag.x12"
  local -a rows=(
    "X12,CSV $tag.x12 $tag.csv X12->CSV 5 0.15"
    "X12,XML $tag.x12 $tag.xml X12->XML 6 0.8"
    "CSV,X12 $tag.csv $tag.csv.x12 CSV->X12 10 -"
    "XML,X12 $tag.xml $tag.xml.x12 XML->X12 10 -"
  )
  local row type src dst name target iotarget bytes scan scancpu s cpu kb out floor write w
  for row in "${rows[@]}"; do
    read -r type src dst name target iotarget <<<"$row"
    bytes=$(stat -c %s "$WORK/$src")
    read -r scan _ _ scancpu <<<"$("$SCAN" "$WORK/$src" 5)"
    read -r s cpu kb <<<"$(convert "$type" "$WORK/$src" "$WORK/$dst")"
    out=$(stat -c %s "$WORK/$dst")
    # The best ratio any converter writing this output could reach: the
    # memchr scan against the time of merely writing the output bytes.
    # Writing the output's bytes alone, best of three (page-cache writes swing).
    floor=""
    for ((i = 0; i < 3; i++)); do
      w=$("$FLOOR" "$WORK/floor.tmp" "$out" 1048576)
      if [ -z "$floor" ] || awk -v a="$w" -v b="$floor" 'BEGIN{exit !(a<b)}'; then floor=$w; fi
    done
    # I/O floor: reading the source (the memchr scan) plus writing the output.
    io=$(awk -v m="$scan" -v f="$floor" -v s="$s" 'BEGIN{print (m + f) / s}')
    awk -v n="$n" -v name="$name" -v b="$bytes" -v o="$out" -v s="$s" -v c="$cpu" -v m="$scan" -v mc="$scancpu" \
      -v t="$target" -v kb="$kb" -v f="$floor" -v io="$io" -v it="$iotarget" 'BEGIN{
        mb = b / 1048576;
        printf "%-8s %-9s %8.1f %8.1f %8.3f %8.3f %8.1f %8.1f %7.3f %7.3f %6s %7.3f %7.1f %6.3f %6s\n",
          n, name, mb, o / 1048576, s, c, mb / s, mb / m, m / s, mc / c, "1/" t, m / f, kb / 1024, io, it }'
    SECS[$tag,$name]=$s
    CPU[$tag,$name]=$cpu
    [ -n "$TSV" ] && printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$tag" "$name" "$bytes" "$s" "$cpu" \
      "$(awk -v m="$scan" -v s="$s" 'BEGIN{print m/s}')" "$(awk -v m="$scancpu" -v c="$cpu" 'BEGIN{print m/c}')" \
      "$target" "$kb" "$io" "$iotarget" >>"$TSV"
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

# Start-up: the program converting a one-claim file against /bin/true, best
# of 20 runs each.
"$GEN" 1 "$WORK/tiny.x12"
TRUE_S=$(best_wall 20 /bin/true)
TINY_S=$(best_wall 20 "$BROLVIN" X12,CSV "$WORK/tiny.x12" "$WORK/tiny.csv" "ML,OW,MAP=$MAP")
echo
awk -v p="$TINY_S" -v t="$TRUE_S" 'BEGIN{printf "start-up: %.4f s on a one-claim file, /bin/true %.4f s, ratio %.2f (target 2.5)\n", p, t, p / t}'
[ -n "$TSV" ] && printf 'startup\t%s\t%s\t%s\n' "$(awk -v p="$TINY_S" -v t="$TRUE_S" 'BEGIN{print p/t}')" "$TINY_S" "$TRUE_S" >>"$TSV"

# Folder: one folder job over 200 files of 50 claims (JOBS left at its
# default, one per core) against one file holding the same 200 interchanges.
mkdir -p "$WORK/folder" "$WORK/folder.out"
"$GEN" 50 "$WORK/f50.x12"
for ((i = 1; i <= 200; i++)); do cp "$WORK/f50.x12" "$(printf '%s/folder/f%03d.x12' "$WORK" "$i")"; done
cat "$WORK"/folder/*.x12 >"$WORK/one.x12"
rm -f "$WORK/one.csv"
ONE_S=$(best_wall "$REPEATS" "$BROLVIN" X12,CSV "$WORK/one.x12" "$WORK/one.csv" "ML,OW,MAP=$MAP")
FOLDER_HOW="one folder job, $(nproc) cores"
FOLDER_S=$(best_wall "$REPEATS" "$BROLVIN" X12,CSV "$WORK/folder" "$WORK/folder.out" "ML,OW,MAP=$MAP")
if [ "$(find "$WORK/folder.out" -type f | wc -l)" != 200 ]; then
  echo "the folder job did not write 200 outputs" >&2
  exit 1
fi
awk -v f="$FOLDER_S" -v o="$ONE_S" -v how="$FOLDER_HOW" \
  'BEGIN{printf "folder: 200 files of 50 claims %.3f s (%s), one file of the same claims %.3f s, ratio %.2f\n", f, how, o, f / o}'
[ -n "$TSV" ] && printf 'folder\t%s\t%s\t%s\t%s\n' "$(awk -v f="$FOLDER_S" -v o="$ONE_S" 'BEGIN{print f/o}')" "$FOLDER_S" "$ONE_S" "$FOLDER_HOW" >>"$TSV"
echo "map: $MAP"
echo "machine: $(nproc) cores, $(uname -m), $(lscpu | sed -n 's/^Model name: *//p' | head -1)"
