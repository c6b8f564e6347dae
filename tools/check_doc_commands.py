#!/usr/bin/env python3
"""Runs the commands of the documentation as written.

Usage: tools/check_doc_commands.py [BUILD_DIR] [FILE.md ...]

Fenced blocks are marked by their info string:
  ```sh check   run with bash -euo pipefail from the top of a scratch copy of
                the source tree, with BUILD_DIR (default build) first on PATH
                so that `brolvin` is the built program; the blocks of one file
                run in order in the same copy, each from its top
  ```sh fresh   run the same way, but in the source tree itself: it builds
                BUILD_DIR with the line CI has already built it with
  ```sh ci      each line must be a line of .ci/run, alone or followed by
                " || exit 1", so that CI runs exactly that command
Other blocks are not run. Files default to README.md and docs/*.md.
"""
import glob
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TIMEOUT_SECONDS = 300


def blocks(path):
    """(tag, text, line number) of every fenced block tagged for checking."""
    found, tag, body, start, fenced = [], None, [], 0, False
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            stripped = line.strip()
            if fenced and stripped == "```":  # a closing fence carries no info string
                if tag:
                    found.append((tag, "".join(body), start))
                fenced, tag, body = False, None, []
            elif not fenced and stripped.startswith("```"):
                fenced = True
                info = stripped[3:].split()
                if len(info) == 2 and info[0] == "sh" and info[1] in ("check", "fresh", "ci"):
                    tag, start = info[1], number
            elif tag:
                body.append(line)
    return found


def copy_tree(target):
    def ignore(folder, names):
        if os.path.abspath(folder) != ROOT:
            return []
        return [n for n in names if n == ".git" or n.startswith("build")]
    shutil.copytree(ROOT, target, ignore=ignore, symlinks=True)


def run(text, where, env, label):
    result = subprocess.run(["bash", "-euo", "pipefail", "-c", text], cwd=where, env=env,
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, timeout=TIMEOUT_SECONDS)
    if result.returncode != 0:
        sys.stdout.write("%s: failed with status %d\n--- commands\n%s--- output\n%s\n" % (
            label, result.returncode, text, result.stdout.decode("latin-1")[-4000:]))
        return False
    return True


def check_file(path, build, ci_lines):
    tagged = blocks(path)
    if not tagged:
        return True
    name = os.path.relpath(path, ROOT)
    env = dict(os.environ, PATH=build + os.pathsep + os.environ.get("PATH", ""))
    ok = True
    with tempfile.TemporaryDirectory(prefix="brolvin-doc-") as scratch:
        copy = os.path.join(scratch, "src")
        copy_tree(copy)
        for tag, text, start in tagged:
            label = "%s:%d" % (name, start)
            if tag == "ci":
                for line in text.splitlines():
                    if line.strip() and line not in ci_lines and line + " || exit 1" not in ci_lines:
                        sys.stdout.write("%s: not run by .ci/run as written: %s\n" % (label, line))
                        ok = False
            else:
                ok = run(text, ROOT if tag == "fresh" else copy, env, label) and ok
    sys.stdout.write("%s: %d block(s) %s\n" % (name, len(tagged), "ok" if ok else "FAILED"))
    return ok


def main(args):
    build = os.path.abspath(args[0] if args else os.path.join(ROOT, "build"))
    files = args[1:] or [os.path.join(ROOT, "README.md")] + sorted(
        glob.glob(os.path.join(ROOT, "docs", "*.md")))
    with open(os.path.join(ROOT, ".ci", "run"), encoding="utf-8") as f:
        ci_lines = set(f.read().splitlines())
    ok = True
    for path in files:
        ok = check_file(os.path.abspath(path), build, ci_lines) and ok
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
