#!/usr/bin/env bash
# Database export benchmark: generated 837P claims with their service lines
# ("ML", one row per line) loaded by the real `brolvin` binary into SQLite
# and into a throw-away local PostgreSQL server, against the same file
# converted to CSV. Prints wall and processor seconds (best of REPEATS) and
# rows per second; with --check fails unless SQLite takes at most 10 times
# the CSV conversion (wall and processor time) and PostgreSQL takes at least
# 5,000 rows/s (--check=half: half of both figures, for a shared machine).
#
#   bench/db_bench.sh [-n CLAIMS] [-r REPEATS] [-b BUILD_DIR] [--check[=half]]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)

CLAIMS=10000
REPEATS=3
BUILD=build
CHECK=""
while [ $# -gt 0 ]; do
  case $1 in
    -n) CLAIMS=$2; shift 2 ;;
    -r) REPEATS=$2; shift 2 ;;
    -b) BUILD=$2; shift 2 ;;
    --check) CHECK=full; shift ;;
    --check=half) CHECK=half; shift ;;
    *) sed -n 2,11p "$0"; exit 2 ;;
  esac
done

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$BUILD" -j2 --target brolvin gen837p timed_run >/dev/null
BIN=$(cd "$BUILD" && pwd)
BROLVIN=$BIN/brolvin
MAP=$ROOT/maps/837p.cfg

WORK=$(mktemp -d "${TMPDIR:-/tmp}/brolvin-dbbench.XXXXXX")
chmod 755 "$WORK"
PGDIR=""
cleanup() {
  [ -n "$PGDIR" ] && sh "$ROOT/tests/dbexport/pg_test_server.sh" stop "$PGDIR" || true
  rm -rf "$WORK"
}
trap cleanup EXIT
cd "$WORK"
"$BIN/bench/gen837p" "$CLAIMS" claims.x12 >/dev/null

COLUMNS='FIELD=CLAIMID\r\nFIELD=LINENUMBER1\r\nFIELD=PROCCODE1\r\nFIELD=LINECHARGE1\r\nFIELD=SERVICEDATE1\r\nFIELD=SUBLAST\r\nFIELD=TOTALCHARGE\r\n'

# Best of REPEATS runs of one job: "wall_seconds cpu_seconds"; PREPARE runs
# before each (a fresh table).
best() {
  local prepare=$1; shift
  local bw="" bc="" line s kb rc cpu
  for ((i = 0; i < REPEATS; i++)); do
    eval "$prepare"
    line=$("$BIN/bench/timed_run" "$BROLVIN" "$@" 2>/dev/null | tail -1)
    read -r s kb rc cpu <<<"$line"
    if [ "$rc" != 0 ]; then
      echo "brolvin $* failed (status $rc):" >&2
      grep -a -m5 -e Error -e Unable parse.log >&2 || true
      exit 1
    fi
    if [ -z "$bw" ] || awk -v a="$s" -v b="$bw" 'BEGIN{exit !(a<b)}'; then bw=$s; fi
    if [ -z "$bc" ] || awk -v a="$cpu" -v b="$bc" 'BEGIN{exit !(a<b)}'; then bc=$cpu; fi
  done
  echo "$bw $bc"
}

read -r csv_s csv_c <<<"$(best 'rm -f claims.csv' X12,CSV claims.x12 claims.csv "ML,MAP=$MAP")"
ROWS=$(wc -l <claims.csv)
printf '%-10s %8s %8s %9s %10s\n' target wall_s cpu_s rows rows/s
report() { awk -v t="$1" -v s="$2" -v c="$3" -v r="$ROWS" 'BEGIN{printf "%-10s %8.3f %8.3f %9d %10.0f\n", t, s, c, r, r / s}'; }
report CSV "$csv_s" "$csv_c"
fail=0
factor=1
[ "$CHECK" = half ] && factor=2

if odbcinst -q -d 2>/dev/null | grep -q '^\[SQLite3\]'; then
  printf "TABLE=LINES\r\nDRIVER=SQLite3\r\nDSN=claims.db\r\n${COLUMNS}OPTIONS=CREATE\r\n" >sqlite.map
  read -r sq_s sq_c <<<"$(best 'rm -f claims.db' X12,ODBC claims.x12 "" "ML,MAP=$MAP,DBMAP=sqlite.map")"
  report SQLite "$sq_s" "$sq_c"
  stored=$(grep -a -c 'Added Record Key=' parse.log || true)
  [ "$stored" = "$ROWS" ] || { echo "FAIL SQLite: $stored rows stored, $ROWS expected"; fail=1; }
  awk -v a="$sq_s" -v b="$csv_s" -v c="$sq_c" -v d="$csv_c" -v f="$factor" 'BEGIN{
    printf "SQLite / CSV: wall %.1fx, processor %.1fx (limit %dx)\n", a / b, c / d, 10 * f
    exit !(a <= 10 * f * b && c <= 10 * f * d) }' || { [ -n "$CHECK" ] && fail=1; }
else
  echo "skip SQLite: the SQLite3 ODBC driver is not registered"
fi

PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
if odbcinst -q -d 2>/dev/null | grep -q '^\[PostgreSQL Unicode\]' &&
  sh "$ROOT/tests/dbexport/pg_test_server.sh" start "$WORK/pg" "$PORT" 2>/dev/null; then
  PGDIR=$WORK/pg
  printf "TABLE=lines\r\nDRIVER=PostgreSQL Unicode\r\nSERVER=127.0.0.1:$PORT\r\nDSN=postgres\r\nUSER=brolvin\r\n${COLUMNS}OPTIONS=CREATE\r\n" >pg.map
  drop="psql -q -h 127.0.0.1 -p $PORT -U brolvin postgres -c 'DROP TABLE IF EXISTS lines' 2>/dev/null"
  read -r pg_s pg_c <<<"$(best "$drop" X12,ODBC claims.x12 "" "ML,MAP=$MAP,DBMAP=pg.map")"
  report PostgreSQL "$pg_s" "$pg_c"
  awk -v r="$ROWS" -v s="$pg_s" -v f="$factor" 'BEGIN{
    printf "PostgreSQL: %.0f rows/s (at least %d)\n", r / s, 5000 / f; exit !(r / s >= 5000 / f) }' ||
    { [ -n "$CHECK" ] && fail=1; }
else
  echo "skip PostgreSQL: no local server or no psqlODBC"
fi
echo "claims: $CLAIMS, rows: $ROWS, machine: $(nproc) cores, $(uname -m)"
exit $fail
