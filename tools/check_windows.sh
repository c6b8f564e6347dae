#!/bin/sh
# Cross-builds the Windows program with MinGW-w64, checks that it needs only
# system DLLs, makes the ZIP, runs the unit tests under Wine, and converts
# every shipped example with the unpacked brolvin.exe under Wine and with the
# Linux build: outputs must be byte for byte the same, run logs the same
# after their header (times, dates, the current folder and drive, and the
# maps folder set aside).
#   tools/check_windows.sh [LINUX_BUILD_DIR] [WINDOWS_BUILD_DIR]
set -eu
src=$(pwd)
linux=$(cd "${1:-build}" && pwd)
win=$src/${2:-build-win}
toolchain=$src/cmake/mingw-w64-x86_64.cmake
export WINEDEBUG=-all WINEPREFIX="$win/wineprefix"

# GoogleTest for Windows, from the sources libgtest-dev ships.
gtest=$win-gtest
if [ ! -f "$gtest/install/lib/cmake/GTest/GTestConfig.cmake" ]; then
  cmake -S /usr/src/googletest -B "$gtest" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_GMOCK=OFF -DINSTALL_GTEST=ON -DCMAKE_INSTALL_PREFIX="$gtest/install" >/dev/null
  cmake --build "$gtest" -j2 >/dev/null
  cmake --install "$gtest" >/dev/null
fi

cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=Release \
  -DBROLVIN_WARNINGS_AS_ERRORS=ON -DGTest_DIR="$gtest/install/lib/cmake/GTest" >/dev/null
wineboot -i >/dev/null 2>&1 || true
cmake --build "$win" -j2

# Only the system's own DLLs.
dlls=$(x86_64-w64-mingw32-objdump -p "$win/brolvin.exe" | sed -n 's/.*DLL Name: //p' | tr 'A-Z' 'a-z')
for dll in $dlls; do
  case $dll in
    kernel32.dll|msvcrt.dll|shell32.dll|odbc32.dll|user32.dll|advapi32.dll|ws2_32.dll|api-ms-win-*) ;;
    *) echo "brolvin.exe needs a DLL that Windows does not have: $dll" >&2; exit 1 ;;
  esac
done

# Left to Linux: two tests of tens of thousands of small reads and writes,
# which Wine turns into many times as many system calls, and one whose ODBC
# case reaches Linux's unixODBC through Wine's odbc32, which at times hangs.
# Two Wine processes at a time now and then stall one of them: a test that
# times out runs once more.
ctest --test-dir "$win" --output-on-failure --no-tests=error -j2 --timeout 120 --repeat until-pass:2 \
  -E 'BoundsTest.GeneratedInterchangeStaysWellFormedWhateverTheValues|TableFileTest.WriterKeepsTableAndIndexesConsistent|DatabaseJobTest.AFailedTableWriteIsExitOneAndKeepsTheSource'

(cd "$win" && cpack >/dev/null)
zip=$(ls "$win"/brolvin-*-win64.zip)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cmake -E tar xf "$zip")
program=$(ls "$scratch"/brolvin-*-win64/brolvin.exe)
# The maps folder beside the program, as the program names it.
winmaps=$(winepath -w "$(dirname "$program")/maps" 2>/dev/null | tr -d '\r')
echo "package ok: $(basename "$zip")"

# The run log without its header and without what names the machine or the moment.
strip_log() {
  python3 - "$1" "$2" <<'PY'
import re, sys
log, maps = sys.argv[1], sys.argv[2]
text = open(log, 'rb').read().decode('latin-1')
lines = text.split('\r\n')[11:]
out = []
for line in lines:
    line = re.sub(r'^\d\d:\d\d:\d\d', '', line)
    if re.match(r'\s*(Current Directory|Current Drive) :', line) or line.startswith('Parse Ended'):
        continue
    out.append(line.replace(maps, 'MAPS'))
sys.stdout.write('\r\n'.join(out))
PY
}

# Both programs convert in folders of their own; "$1" runs the program.
convert() {
  dir=$1; shift
  (cd "$dir" && "$@" >console.txt 2>&1; echo $? >status)
}

failures=0
compare() {
  name=$1 out=$2
  for f in "$out" status; do
    if ! cmp -s "$scratch/l/$f" "$scratch/w/$f"; then
      echo "differs under Windows: $name $f" >&2
      failures=$((failures + 1))
    fi
  done
  strip_log "$scratch/l/parse.log" "$src/maps/" >"$scratch/l.log"
  strip_log "$scratch/w/parse.log" "$winmaps\\" >"$scratch/w.log"
  if ! cmp -s "$scratch/l.log" "$scratch/w.log"; then
    echo "run log differs under Windows: $name" >&2
    diff "$scratch/l.log" "$scratch/w.log" | head -10 >&2 || true
    failures=$((failures + 1))
  fi
}

count=0
for example in examples/*.x12; do
  base=$(basename "$example" .x12)
  for type in X12,XML X12,CSV; do
    ext=$(echo "$type" | cut -c5- | tr 'A-Z' 'a-z')
    rm -rf "$scratch/l" "$scratch/w"
    mkdir "$scratch/l" "$scratch/w"
    cp "$example" "$scratch/l/in.x12"
    cp "$example" "$scratch/w/in.x12"
    convert "$scratch/l" "$linux/brolvin" "$type" in.x12 "out.$ext" HO
    convert "$scratch/w" wine "$program" "$type" in.x12 "out.$ext" HO
    compare "$base $type" "out.$ext"
    count=$((count + 1))
  done
done
[ "$failures" -eq 0 ] || { echo "$failures differences between the Windows and the Linux program" >&2; exit 1; }
echo "examples ok: $count conversions under Wine as on Linux"
