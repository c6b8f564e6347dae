#!/usr/bin/env python3
"""Print the field list of map files as markdown, one section per map.

Usage: tools/map_fields.py maps/835.cfg maps/270.cfg ...

Each section names the record and service-line keys of the map and lists its
fields in table order: name, column title, segment, qualifier, element,
component, level and whether the field belongs to a service line.
"""
import os
import sys


def read_lines(path):
    with open(path, "rb") as f:
        text = f.read().decode("latin-1")
    return [line.strip(" \t\r\n") for line in text.replace("\x0b", "").split("\r")]


def positions(value):
    parts = value.split(",")
    if parts and not parts[-1].strip(" "):
        parts.pop()
    return parts


def field_of(value):
    p = positions(value) + [""] * 19
    return {
        "name": p[0], "segment": p[2], "qualifier": p[3], "qualpos": p[4], "element": p[5],
        "component": p[6], "condition": p[7], "occurence": p[8], "level": p[9],
        "line": p[10], "description": p[11], "previous": p[15], "prevqual": p[16], "toggle": p[18],
    }


def context(f):
    notes = []
    if f["condition"].strip():
        notes.append(f["condition"].strip() + " is set")
    if f["previous"].strip():
        notes.append(("after " + f["previous"].strip() + " " + f["prevqual"].strip()).strip())
    toggles = [t.strip() for t in f["toggle"].split(":") if t.strip()]
    if toggles:
        notes.append("until " + " or ".join(toggles) + " is set")
    return "; ".join(notes)


def section(path):
    keys, fields = [], []
    for line in read_lines(path):
        upper = line.upper()
        if upper.startswith("FIELD="):
            fields.append(field_of(line[6:]))
        elif upper.startswith("KEY"):
            keys.append(line)
    out = ["### " + os.path.basename(path), ""]
    if keys:
        out.append("Keys: " + ", ".join("`" + k + "`" for k in keys))
        out.append("")
    out.append("| Field | Column title | Segment | Qualifier | Element | Component | Level | Line | Only when |")
    out.append("|---|---|---|---|---|---|---|---|---|")
    for f in fields:
        qualifier = f["qualifier"] if f["qualifier"] not in (":",) else "any"
        if f["qualifier"] and f["qualpos"] and f["qualpos"] != "2":
            qualifier += " (element %d)" % (int(f["qualpos"]) - 1)
        element = f["element"]
        if f["occurence"] and f["occurence"] not in ("0",):
            element += " (occurrence %s)" % f["occurence"]
        out.append("| %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            f["name"], f["description"], f["segment"], qualifier.replace("|", "\\|"), element,
            f["component"], f["level"] or "0", "yes" if f["line"].strip() else "", context(f)))
    out.append("")
    return "\n".join(out)


def main(paths):
    if not paths:
        sys.stderr.write(__doc__)
        return 2
    print("\n".join(section(p) for p in paths))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
