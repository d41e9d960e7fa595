#!/usr/bin/python3
"""The headless converter into database containers, read back by independent readers.

    container_end_to_end.py CONVERTER SAMPLE.mdb DCX_CHECK READ_CONTAINER.rb [VFP_DBC_FOLDER]

Converts SAMPLE into a new container (which the converter creates), and, when a folder
holding a container Visual FoxPro made is given, into a copy of that container. Each time:
the .dcx passes dcx_check_tool; ruby-dbf (read_container.rb) lists exactly the container's
tables and reads every one of them with its long column names; every value it reads equals
what dbfread reads from the same .dbf; and the tables Visual FoxPro made are left as they
were. Exits 77 (skipped) when the sample or ruby-dbf is missing.
"""
import datetime
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile

import dbfread

from checks import check, copy_vfp_container, digest, finish

converter, sample, dcx_check, reader = sys.argv[1:5]
vfp_folder = sys.argv[5] if len(sys.argv) > 5 else ""
if not os.path.exists(sample):
    print("sample database %s not built; skipping" % sample)
    sys.exit(77)
if shutil.which("ruby") is None:
    print("ruby (ruby-dbf) not installed; skipping")
    sys.exit(77)



BLANK_DATETIME = "-4712-01-01 00:00:00"  # how ruby-dbf reads a blank VFP date-time


def same(a, b):
    """ruby-dbf's value against dbfread's: blanks and nulls alike, numbers to 9 digits,
    date-times to the second (ruby-dbf drops the milliseconds)."""
    if a in (None, "", BLANK_DATETIME) and b in (None, ""):
        return True
    if isinstance(b, datetime.datetime):
        return a == b.strftime("%Y-%m-%d %H:%M:%S")
    if isinstance(b, datetime.date):
        return a == b.strftime("%Y-%m-%d")
    if isinstance(a, (int, float)) and isinstance(b, (int, float)):
        return math.isclose(float(a), float(b), rel_tol=1e-9, abs_tol=1e-9)
    return str(a) == str(b)


def fits(long_name, short):
    """A .dbf name is the long name's first 10 characters, or their start and a number."""
    long_name = long_name.lower()
    if long_name[:10] == short:
        return True
    stem = short.rstrip("0123456789")
    return stem != short and long_name.startswith(stem)


def dbf_path(folder, table):
    for n in os.listdir(folder):
        if n.lower() == table.lower() + ".dbf":
            return os.path.join(folder, n)
    return None


def check_container(label, dbc, expect_tables, untouched):
    folder = os.path.dirname(dbc)
    r = subprocess.run([dcx_check, dbc], capture_output=True, text=True)
    check("%s: .dcx check" % label, r.returncode == 0, r.stdout + r.stderr)
    print("     dcx_check_tool: " + r.stdout.strip())
    r = subprocess.run(["ruby", reader, dbc], capture_output=True, text=True)
    check("%s: ruby-dbf reads the container" % label, r.returncode == 0, r.stderr)
    if r.returncode != 0:
        return
    tables = json.loads(r.stdout)
    check("%s: ruby-dbf lists the tables" % label, sorted(tables) == sorted(expect_tables),
          "%s vs %s" % (sorted(tables), sorted(expect_tables)))
    for name, t in sorted(tables.items()):
        path = dbf_path(folder, name)
        table = dbfread.DBF(path, encoding="cp1252", load=True, ignore_missing_memofile=True,
                            char_decode_errors="replace")
        names = [f.name.lower() for f in table.fields if f.name != "_NullFlags"]
        rows = [[row[f] for f in row if f != "_NullFlags"] for row in table.records]
        short_ok = all(fits(long_name, short) for long_name, short in zip(t["columns"], names))
        check("%s: %s columns" % (label, name), len(t["columns"]) == len(names) and short_ok, (t["columns"], names))
        bad = [(i, a, b) for i, (ra, rb) in enumerate(zip(t["rows"], rows)) for a, b in zip(ra, rb) if not same(a, b)]
        check("%s: %s values" % (label, name), len(t["rows"]) == len(rows) and not bad, bad[:3])
        print("     %-20s %4d rows, %2d columns (%s)" % (name, len(t["rows"]), len(t["columns"]), t["reader"]))
    for path, before in untouched.items():
        check("%s: %s untouched" % (label, os.path.basename(path)), os.path.exists(path) and digest(path) == before)


def converted(r):
    """Exit 0, or 1 when the only thing said is that values were changed for the code page
    (the sample holds Japanese, Greek and Polish text that code page 1252 lacks)."""
    notice = re.compile(r"^tablewright-convert: .*: Table .*: \d+ values? held characters that code page \d+ ")
    failed = [l for l in r.stderr.splitlines() if " failed" in l and ", 0 failed;" not in l]
    return r.returncode == 0 or (r.returncode == 1 and not failed and any(notice.match(l) for l in r.stderr.splitlines()))


work = tempfile.mkdtemp(prefix="tw-dbc-e2e-")
try:
    env = dict(os.environ, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
    new = os.path.join(work, "new", "sample.dbc")
    os.mkdir(os.path.dirname(new))
    r = subprocess.run([converter, sample, new], capture_output=True, text=True, env=env, timeout=600)
    check("new container: conversion", converted(r) and "created the empty database container" in r.stderr, r.stderr)
    made = sorted(n[:-4] for n in os.listdir(os.path.dirname(new)) if n.endswith(".dbf"))
    check("new container: tables made", len(made) >= 5, made)
    check_container("new container", new, made, {})

    if vfp_folder and os.path.isdir(vfp_folder):
        dbc, untouched = copy_vfp_container(vfp_folder, work)
        copy = os.path.dirname(dbc)
        theirs = sorted(n[:-4] for n in os.listdir(copy) if n.lower().endswith(".dbf"))
        r = subprocess.run([converter, sample, dbc], capture_output=True, text=True, env=env, timeout=600)
        check("VFP-made container: conversion", converted(r) and "created" not in r.stderr, r.stderr)
        check_container("VFP-made container", dbc, theirs + made, untouched)
    else:
        print("skip VFP-made container (no corpus)")
finally:
    shutil.rmtree(work, ignore_errors=True)

finish()
