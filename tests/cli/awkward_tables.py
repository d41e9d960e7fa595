#!/usr/bin/python3
"""Tables FoxPro cannot take as Access has them, end to end: a table name with characters
no file name holds, a device name, a 255-character text, an OLE Object column and a
Decimal(28,10) with 18 integer digits, into free tables and into a new database container,
read back by dbfread. Every row arrives; what was cut, rounded, renamed or left out is said
on standard error, and only the cut and the rounding set exit status 1. (dbfread takes a B
column for a memo field, hence ignore_missing_memofile.)

    awkward_tables.py MDB_WRITE CONVERTER

Exits 77 (skipped) when dbfread is missing.
"""
import os
import shutil
import subprocess
import sys
import tempfile

from checks import check, finish

try:
    import dbfread
except ImportError as e:
    print("skipping: %s" % e)
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
mdb_write, converter = sys.argv[1:3]

EXPECTED_NOTES = {
    "Table Sales/Returns: Q1?: written as Sales_Returns_ Q1_1, a name FoxPro can store as a file.",
    "Table Sales/Returns: Q1?: column Photo (OLE Object) was left out.",
    "Table Sales/Returns: Q1?: 1 value was longer than 254 characters and was cut.",
    "Table Sales/Returns: Q1?: 1 decimal value has more digits than a FoxPro double holds and was rounded.",
    "Table CON: written as _CON, a name FoxPro can store as a file.",
}


def rows(path):
    table = dbfread.DBF(path, load=True, char_decode_errors="strict", ignore_missing_memofile=True)
    return [[v for k, v in r.items() if k != "_NullFlags"] for r in table]


work = tempfile.mkdtemp(prefix="tw-awkward-")
try:
    source = os.path.join(work, "awkward.accdb")
    subprocess.run([mdb_write, os.path.join(HERE, "data", "awkward.json"), source], check=True, capture_output=True)
    os.mkdir(os.path.join(work, "db"))
    for kind, destination, folder in (("folder", os.path.join(work, "free"), os.path.join(work, "free")),
                                      ("container", os.path.join(work, "db", "sales.dbc"), os.path.join(work, "db"))):
        r = subprocess.run([converter, source, destination], capture_output=True, text=True, timeout=120,
                           env=dict(os.environ, LC_ALL="C.UTF-8"))
        notes = {l.split(": ", 2)[2] for l in r.stderr.splitlines() if l.count(": ") >= 2 and "Table " in l}
        check(kind + " exit status 1 for the cut", r.returncode == 1, r.stderr)
        check(kind + " notices", notes == EXPECTED_NOTES, r.stderr)
        check(kind + " summary", "3 tables converted, 0 skipped, 0 failed" in r.stderr, r.stderr)
        got = rows(os.path.join(folder, "sales_returns_ q1_1.dbf"))
        check(kind + " rows kept", [r[0] for r in got] == [1, 2], got)
        check(kind + " text cut at 254", got[0][1] == ("abcde" * 51)[:254] and got[1][1] == "short", got[0][1])
        check(kind + " no column for the OLE object", all(len(r) == 3 for r in got), got)
        check(kind + " wide decimal as a double", got[0][2] == 123456789012345678.9012345678 and got[1][2] == -0.5,
              [r[2] for r in got])
        check(kind + " device name", rows(os.path.join(folder, "_con.dbf")) == [[7]])
        check(kind + " name kept as it was", rows(os.path.join(folder, "sales_returns_ q1_.dbf")) == [[8]])
        if kind == "container":
            tables = {r["OBJECTNAME"].strip() for r in dbfread.DBF(destination, ignore_missing_memofile=True)
                      if r["OBJECTTYPE"].strip() == "Table"}
            check("the container knows CON by its name", tables == {"con", "sales_returns_ q1_", "sales_returns_ q1_1"},
                  tables)
finally:
    shutil.rmtree(work, ignore_errors=True)
finish()
