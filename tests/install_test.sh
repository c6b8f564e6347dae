#!/bin/sh
# Installs the build into a scratch prefix and converts a shipped example from
# an empty folder with the installed program; the run log must name the
# installed map. A copy of the program with a maps folder beside it must use
# that folder.
set -eu
cmake=$1
build=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/usr
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
for f in bin/brolvin share/brolvin/maps/837p.cfg share/man/man1/brolvin.1 share/doc/brolvin/README.md; do
  test -e "$prefix/$f" || { echo "not installed: $f"; exit 1; }
done

mkdir "$scratch/work"
cd "$scratch/work"
"$prefix/bin/brolvin" X12,CSV "$prefix/share/brolvin/examples/837p-5010.x12" claims.csv HO </dev/null >/dev/null
test -s claims.csv
grep -q "Used Map file $prefix/share/brolvin/maps/837p.cfg" parse.log || { echo "installed map not used"; exit 1; }

mkdir "$scratch/copy" "$scratch/copy/maps"
cp "$prefix/bin/brolvin" "$scratch/copy/"
cp "$prefix/share/brolvin/maps/837p.cfg" "$scratch/copy/maps/"
"$scratch/copy/brolvin" X12,XML "$prefix/share/brolvin/examples/837p-5010.x12" claims.xml </dev/null >/dev/null
grep -q "Used Map file $scratch/copy/maps/837p.cfg" parse.log || { echo "maps beside a copied program not used"; exit 1; }
