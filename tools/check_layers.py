#!/usr/bin/env python3
"""Fails when a source folder includes a folder above it or beside it.

The folders stand in layers, lowest first; a folder may include its own
headers and those of the layers below it, never one above it nor a sibling
on its own layer. A test folder named after a source folder may include what
that folder may, and the test support headers.

    tools/check_layers.py [SOURCE_ROOT]
"""
import os
import re
import sys

# Lowest first; folders on one line form one layer and may not include each other.
LAYERS = [
    ["util"],
    ["core"],
    ["dbexport"],
    ["map"],
    ["x12build", "x12parse"],
    ["engine"],
    ["app"],
]
RANK = {folder: rank for rank, layer in enumerate(LAYERS) for folder in layer}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([A-Za-z0-9_]+)/[^"]+"', re.M)


def allowed(folder, target):
    return target == folder or RANK[target] < RANK[folder]


def check(root):
    faults = []
    for folder in RANK:
        for tree, where in ((folder, folder), (os.path.join("tests", folder), folder)):
            path = os.path.join(root, tree)
            if not os.path.isdir(path):
                continue
            for dirpath, _, files in os.walk(path):
                for name in files:
                    if not name.endswith((".h", ".cpp")):
                        continue
                    file = os.path.join(dirpath, name)
                    with open(file, encoding="utf-8", errors="replace") as f:
                        text = f.read()
                    for target in INCLUDE.findall(text):
                        if target in RANK and not allowed(where, target):
                            faults.append(f"{os.path.relpath(file, root)}: includes {target}/, "
                                          f"which is not below {where}/")
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    faults = check(root)
    for fault in faults:
        print(fault)
    if faults:
        print(f"{len(faults)} include(s) against the layers: " +
              " < ".join("/".join(layer) for layer in LAYERS))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
