#!/bin/sh
# Makes the packages of a build (cpack: .deb and .tar.gz), unpacks the .deb
# into a scratch root with dpkg-deb -x and converts a shipped example with the
# unpacked program, which must take its maps from the unpacked tree.
#   tools/check_package.sh [BUILD_DIR]
set -eu
build=$(cd "${1:-build}" && pwd)
(cd "$build" && cpack >/dev/null)
deb=$(ls "$build"/brolvin_*.deb)
ls "$build"/brolvin-*.tar.gz >/dev/null

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
mkdir "$root/work"
cd "$root/work"
"$root/usr/bin/brolvin" X12,XML "$root/usr/share/brolvin/examples/837p-5010.x12" claims.xml </dev/null >/dev/null
grep -q "<CLAIM>" claims.xml
grep -q "Used Map file $root/usr/share/brolvin/maps/837p.cfg" parse.log || { echo "packaged maps not used" >&2; exit 1; }
echo "package ok: $(basename "$deb")"
