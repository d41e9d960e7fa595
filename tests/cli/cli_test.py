#!/usr/bin/python3
"""Checks the options, messages and exit status of tablewright-convert.

    cli_test.py CONVERTER SAMPLE.mdb

Exits 77 (skipped) when the sample database has not been built.
"""
import os
import shutil
import subprocess
import sys
import tempfile

import dbfread

converter, sample = sys.argv[1], sys.argv[2]
if not os.path.exists(sample):
    print("sample database %s not built; skipping" % sample)
    sys.exit(77)

failures = []
passed = 0


def check(name, condition, detail=""):
    global passed
    if condition:
        passed += 1
    else:
        failures.append(name)
        print("FAIL %s %s" % (name, detail))


def run(*args, stdin=""):
    env = dict(os.environ, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
    return subprocess.run([converter] + list(args), input=stdin, capture_output=True, text=True,
                          env=env, timeout=300)


def tables(folder):
    return sorted(n[:-4].lower() for n in os.listdir(folder) if n.lower().endswith(".dbf"))


def rows(folder, table):
    for n in os.listdir(folder):
        if n.lower() == table.lower() + ".dbf":
            return len(dbfread.DBF(os.path.join(folder, n), encoding="cp1252", load=True, ignore_missing_memofile=True).records)
    return None


work = tempfile.mkdtemp(prefix="tw-cli-")
try:
    # Usage errors.
    for args in ([], [sample], ["--overwrite=maybe", sample, work], ["--bogus", sample, work],
                 ["--preview=", sample, work], [sample, work, "extra"]):
        r = run(*args)
        check("usage %r" % (args,), r.returncode == 2 and "usage:" in r.stderr, r.stderr)

    # Direct mode into an empty folder.
    out = os.path.join(work, "out")
    os.mkdir(out)
    r = run(sample, out)
    check("direct exit", r.returncode == 0, r.stderr)
    check("done message", r.stderr.rstrip().endswith(": Done."), r.stderr[-300:])
    made = tables(out)
    check("tables made", len(made) >= 4, str(made))
    counts = {t: rows(out, t) for t in made}

    # Again, with the questions answered by the end of input: every answer is No.
    r = run(sample, out, stdin="")
    check("no overwrite exit", r.returncode == 0, r.stderr)
    check("question asked", r.stderr.count("Would you like to overwrite ") == len(made), r.stderr)
    check("nothing doubled", {t: rows(out, t) for t in made} == counts)

    # Yes for every table: the tables are dropped and made again, not appended to.
    r = run("--overwrite=yes", sample, out)
    check("overwrite exit", r.returncode == 0, r.stderr)
    check("rows after overwrite", {t: rows(out, t) for t in made} == counts,
          str({t: rows(out, t) for t in made}) + " vs " + str(counts))

    # A typed answer: y for the first question, then end of input.
    r = run(sample, out, stdin="y\n")
    check("typed answer exit", r.returncode == 0, r.stderr)
    check("typed answer kept rows", {t: rows(out, t) for t in made} == counts)

    # Preview: statements to standard output, nothing executed.
    empty = os.path.join(work, "empty")
    os.mkdir(empty)
    r = run("--preview=-", sample, empty)
    lines = r.stdout.split("\n")
    check("preview exit", r.returncode == 0, r.stderr)
    check("preview executes nothing", tables(empty) == [])
    check("preview one statement per line", lines[-1] == "" and all(
        l.startswith(("CREATE TABLE ", "INSERT INTO ", "DROP TABLE ")) for l in lines[:-1]), lines[:3])
    check("preview statement count", sum(1 for l in lines if l.startswith("INSERT INTO ")) == sum(counts.values()))
    preview_file = os.path.join(work, "preview.sql")
    r = run("--preview=" + preview_file, "--types=" + os.path.join(work, "types.tsv"), sample, empty)
    check("preview file", open(preview_file, encoding="utf-8").read() == "\n".join(lines[:-1]) + "\n")
    types = open(os.path.join(work, "types.tsv"), encoding="utf-8").read().split("\n")
    check("types header", types[0] == "MS Access Table\tMS Access Table Field\tMS Access Field Datatype\tNew FoxPro Datatype",
          types[0])
    check("types rows", len(types) > 10 and all(l.count("\t") == 3 for l in types[:-1]))

    # A missing source file.
    r = run(os.path.join(work, "missing.mdb"), empty)
    check("missing source exit", r.returncode == 1, r.stderr)
    check("missing source message", "Unable to access the database" in r.stderr, r.stderr)

    # A destination that cannot be opened: nothing converted, and the exit status says so.
    for dest in (os.path.join(work, "no-such-folder"), preview_file, os.path.join(work, "x.dbc")):
        r = run(sample, dest)
        check("unusable destination %s" % os.path.basename(dest),
              r.returncode == 1 and "cannot open the FoxPro destination" in r.stderr, r.stderr)

    # An unwritable preview file is a failure.
    r = run("--preview=" + os.path.join(work, "no", "such", "dir.sql"), sample, empty)
    check("unwritable preview", r.returncode == 1, r.stderr)
finally:
    shutil.rmtree(work, ignore_errors=True)

print("%d passed, %d failed" % (passed, len(failures)))
sys.exit(1 if failures else 0)
