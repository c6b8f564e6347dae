#!/bin/sh
# Keeps docs/maps.md current: everything after its marker line is the output
# of tools/map_fields.py over every shipped map (maps/*.cfg, in name order).
#   tools/maps_doc.sh          rewrite the generated part
#   tools/maps_doc.sh --check  fail when the generated part is out of date
set -eu
cd "$(dirname "$0")/.."
doc=docs/maps.md
marker='<!-- Generated below by tools/maps_doc.sh from maps/*.cfg; do not edit by hand. -->'

grep -qxF "$marker" "$doc" || { echo "$doc: marker line missing" >&2; exit 1; }
new=$(mktemp)
trap 'rm -f "$new"' EXIT
{
  sed -n "1,/^$(printf '%s' "$marker" | sed 's/[][\/.*^$]/\\&/g')\$/p" "$doc"
  echo
  python3 tools/map_fields.py $(ls maps/*.cfg | LC_ALL=C sort)
} >"$new"

if [ "${1:-}" = "--check" ]; then
  if ! cmp -s "$new" "$doc"; then
    echo "$doc is out of date with the maps: run tools/maps_doc.sh" >&2
    diff -u "$doc" "$new" | head -20 >&2
    exit 1
  fi
else
  cp "$new" "$doc"
fi
