#!/usr/bin/env python3
"""Runs the worked examples of docs/database.md and compares their output.

Every "## Worked example: NAME" section of the document is run in a new
scratch folder: each ```sh block by bash, in order, and its standard output
compared with the ```text block that follows it (when there is one). The
binary under test is put first on PATH as "brolvin"; $REPO is the source
tree. A section whose tools are missing is skipped; exit status 77 when no
section could run, 1 when one failed.

    doc_examples.py BROLVIN_BINARY SOURCE_TREE [--print]
"""
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile


def sections(doc):
    parts = re.split(r"^## Worked example: (.+)$", doc, flags=re.M)
    for i in range(1, len(parts), 2):
        body = parts[i + 1].split("\n## ")[0]
        blocks = re.findall(r"^```(sh|text)\n(.*?)^```", body, flags=re.M | re.S)
        steps = []
        for kind, text in blocks:
            if kind == "sh":
                steps.append([text, None])
            elif steps and steps[-1][1] is None:
                steps[-1][1] = text
        yield parts[i].strip(), steps


def odbc_drivers():
    try:
        return subprocess.run(["odbcinst", "-q", "-d"], capture_output=True, text=True).stdout
    except OSError:
        return ""


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def main():
    binary, repo = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    show = "--print" in sys.argv
    doc = open(os.path.join(repo, "docs", "database.md"), encoding="utf-8").read()
    drivers = odbc_drivers()
    ran = failed = 0
    for name, steps in sections(doc):
        work = tempfile.mkdtemp(prefix="brolvin-doc-")
        os.chmod(work, 0o755)
        env = dict(os.environ, REPO=repo, LC_ALL="C")
        os.makedirs(os.path.join(work, "bin"))
        os.symlink(binary, os.path.join(work, "bin", "brolvin"))
        # The distribution's python3 carries dbfread; another may come first.
        env["PATH"] = os.path.join(work, "bin") + ":/usr/bin:/bin:" + env.get("PATH", "")
        pg = None
        try:
            if name == "SQLite" and ("[SQLite3]" not in drivers or not shutil.which("sqlite3")):
                print(f"skip {name}: the SQLite3 ODBC driver or the sqlite3 program is missing")
                continue
            if name == "dBASE" and subprocess.run(["/usr/bin/python3", "-c", "import dbfread"]).returncode:
                print(f"skip {name}: python3 with dbfread is missing")
                continue
            if name == "PostgreSQL":
                script = os.path.join(repo, "tests", "dbexport", "pg_test_server.sh")
                port = str(free_port())
                started = subprocess.run(["sh", script, "start", os.path.join(work, "pg"), port],
                                         capture_output=True, text=True)
                if started.returncode != 0 or "[PostgreSQL Unicode]" not in drivers or not shutil.which("psql"):
                    print(f"skip {name}: no local PostgreSQL server, psql or psqlODBC ({started.stderr.strip()})")
                    continue
                pg = (script, os.path.join(work, "pg"))
                env.update(PGPORT=port, PGUSER="brolvin")
            ran += 1
            for number, (command, expected) in enumerate(steps, 1):
                out = subprocess.run(["bash", "-c", command], cwd=work, env=env, capture_output=True, text=True)
                if show:
                    print(f"--- {name} step {number} (status {out.returncode})\n{out.stdout}{out.stderr}")
                    continue
                if expected is not None and out.stdout.rstrip() != expected.rstrip():
                    failed += 1
                    print(f"FAIL {name} step {number}:\n{command}\nexpected:\n{expected}\ngot:\n{out.stdout}{out.stderr}")
                    break
            else:
                print(f"ok {name}")
        finally:
            if pg:
                subprocess.run(["sh", pg[0], "stop", pg[1]], capture_output=True)
            shutil.rmtree(work, ignore_errors=True)
    if failed:
        return 1
    return 0 if ran else 77


if __name__ == "__main__":
    sys.exit(main())
