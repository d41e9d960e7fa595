#!/usr/bin/python3
"""Nothing lost on the whole path: an Access file made by the project's writer from
data/lossless.json (memos with line breaks, names FoxPro does not take as they are,
calculated fields, Date/Time Extended values, Polish and Greek text, doubles that need 17
digits) is checked against mdb-reader, converted by tablewright-convert in several
locales and with --codepage, and every table is read back by python3-dbf (which decodes
with the code page the header names and applies VFP's null flags) and by dbfread.

    lossless_test.py MDB_WRITE CONVERTER

Exits 77 (skipped) when python3-dbf, dbfread or node is missing.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

from checks import check, finish

try:
    import dbf
    import dbfread
except ImportError as e:
    print("skipping: %s" % e)
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
mdb_write, converter = sys.argv[1:3]
if not shutil.which("node"):
    print("skipping: node is not installed")
    sys.exit(77)



MEMO = "Zażółć gęślą jaźń.\r\n" * 30
SUMMARY = "Anna Kowalska; " * 40
NOTICE = re.compile(r'^tablewright-convert: .*: Table (.+): (\d+) values? held characters that code page (\d+) '
                    r'cannot hold; they were stored with "\?" in their place\.$')


def convert(source, folder, lang, *options):
    env = dict(os.environ, LANG=lang, LC_ALL=lang)
    r = subprocess.run([converter] + list(options) + [source, folder], capture_output=True, text=True, env=env,
                       timeout=300)
    notices = {m.group(1): (int(m.group(2)), int(m.group(3)))
               for m in (NOTICE.match(l) for l in r.stderr.splitlines()) if m}
    return r, notices


def python_dbf_rows(path):
    table = dbf.Table(path)
    table.open(dbf.READ_ONLY)
    try:
        names = list(table.field_names)
        rows = [[rec[n] for n in names] for rec in table]
        return table.codepage.name if hasattr(table.codepage, "name") else str(table.codepage), names, rows
    finally:
        table.close()


def clean(v):
    """A value as compared here: C padding removed, python3-dbf's Null as None."""
    if v is dbf.Null:
        return None
    return v.rstrip(" ") if isinstance(v, str) else v


work = tempfile.mkdtemp(prefix="tw-lossless-")
try:
    source = os.path.join(work, "lossless.accdb")
    subprocess.run([mdb_write, os.path.join(HERE, "data", "lossless.json"), source], check=True,
                   capture_output=True)

    # --- The fixture as an independent reader sees it ------------------------------------
    dump = json.loads(subprocess.run(["node", os.path.join(HERE, "mdb_dump.mjs"), source], check=True,
                                     capture_output=True).stdout)
    t = dump["tables"]["Kontakty"]
    src = t["rows"]
    check("mdb-reader rows", len(src) == 3, len(src))
    check("mdb-reader plain values",
          [r[:4] for r in src] == [[1, "anna@example.pl", "A-1", 0.30000000000000004],
                                   [2, None, None, 1e-300], [3, "x@y.z", "B\nC", -2.5]], [r[:4] for r in src])
    check("mdb-reader memo", src[0][5] == MEMO and src[2][5] == "Line one\nline two\rline three\ttab")
    check("mdb-reader text", [r[6] for r in src] == ["Łódź", "Αθήνα", "Kraków"])
    check("mdb-reader extended dates", [r[7] for r in src] == ["2021.06.14 22:45:12.345678900",
                                                               "0001.01.01 00:00:00.000000000",
                                                               "9999.12.31 23:59:59.999999900"], [r[7] for r in src])

    # --- Polish locale: code page 1250 ----------------------------------------------------
    out = os.path.join(work, "pl")
    r, notices = convert(source, out, "pl_PL.UTF-8")
    check("pl exit status", r.returncode == 1, r.stderr)
    check("pl only the code-page line", notices == {"Kontakty": (1, 1250)} and
          re.search(r"0 failed", r.stderr) and "SQLException" not in r.stderr, r.stderr)
    path = os.path.join(out, "kontakty.dbf")
    with open(path, "rb") as f:
        check("pl header mark", f.read(32)[29] == 0xC8)
    codepage, names, rows = python_dbf_rows(path)
    check("pl python3-dbf code page", "1250" in codepage, codepage)
    check("pl names FoxPro accepts", [n.lower() for n in names] ==
          ["id", "e_mail", "order_", "price___", "_1stquar", "notes", "miastołó", "visited", "total", "label",
           "big", "share", "summary"], names)
    check("pl rows", len(rows) == len(src), len(rows))
    rows = [[clean(v) for v in row] for row in rows]
    check("pl memos whole, line breaks kept", [rows[0][5], rows[1][5], rows[2][5]] ==
          [MEMO, "Deliver before noon.\r\nGate code 4411.", "Line one\nline two\rline three\ttab"],
          [len(rows[0][5])])
    check("pl line breaks in a C column", rows[2][2] == "B\nC", repr(rows[2][2]))
    check("pl doubles exact", [rows[0][3], rows[1][3], rows[2][3]] == [0.30000000000000004, 1e-300, -2.5],
          [rows[0][3], rows[1][3]])
    check("pl Polish text", [rows[0][6], rows[2][6]] == ["Łódź", "Kraków"], [rows[0][6], rows[2][6]])
    check("pl Greek text announced as ?", rows[1][6] == "?????", rows[1][6])
    check("pl extended dates", [rows[0][7], rows[1][7], rows[2][7]] ==
          ["06.14.2021 22:45:12.3456789", "01.01.0001 00:00:00.0000000", "12.31.9999 23:59:59.9999999"],
          [rows[0][7], rows[1][7], rows[2][7]])
    check("pl calculated results", [rows[0][8], rows[0][9], rows[0][10], float(rows[0][11]), rows[0][12]] ==
          [1234567.8901234567, "Kowalska, Anna", 1, -1234.5678, SUMMARY.rstrip(" ")], rows[0][8:13])
    check("pl calculated results 2", [rows[2][8], rows[2][9], rows[2][11], rows[2][12]] ==
          [0.1, "Nowak\r\nJan", 0.0001, "short"], rows[2][8:13])
    check("pl nulls", [rows[1][1], rows[1][2], rows[1][4], rows[1][8], rows[1][9], rows[1][11], rows[1][12],
                       rows[2][10]] == [None] * 8, rows[1])
    check("pl calculated false", rows[1][10] == 0, rows[1][10])
    # dbfread picks the code page from the header too, and reads memos the same.
    back = list(dbfread.DBF(path, load=True))
    check("dbfread agrees", [clean(back[0]["NOTES"]), clean(back[0]["MIASTOŁÓ"]), back[0]["PRICE___"],
                             clean(back[2]["LABEL"])] == [MEMO, "Łódź", 0.30000000000000004, "Nowak\r\nJan"],
          back[0])

    # --- --codepage=1253 in the same locale: Greek kept, Polish letters announced --------
    out = os.path.join(work, "el")
    r, notices = convert(source, out, "pl_PL.UTF-8", "--codepage=1253")
    path = os.path.join(out, "kontakty.dbf")
    with open(path, "rb") as f:
        check("1253 header mark", f.read(32)[29] == 0xCB)
    codepage, names, rows = python_dbf_rows(path)
    check("1253 python3-dbf code page", "1253" in codepage, codepage)
    check("1253 name without Polish letters", names[6] == "miasto__", names)
    check("1253 Greek text", clean(rows[1][6]) == "Αθήνα", rows[1][6])
    # Row 1: memo, Łódź, the summary has none; row 3: Kraków. Row 2's memo is plain.
    check("1253 announced", notices == {"Kontakty": (3, 1253)} and r.returncode == 1, r.stderr)

    # --- Japanese and Western locales: their code pages and marks -------------------------
    for lang, mark, cp in (("ja_JP.UTF-8", 0x7B, "932"), ("en_US.UTF-8", 0x03, "1252"), ("ru_RU.UTF-8", 0xC9, "1251")):
        out = os.path.join(work, lang)
        r, notices = convert(source, out, lang)
        path = os.path.join(out, "kontakty.dbf")
        with open(path, "rb") as f:
            check("%s header mark" % lang, f.read(32)[29] == mark)
        codepage, names, rows = python_dbf_rows(path)
        check("%s python3-dbf code page" % lang, cp in codepage, codepage)
        check("%s rows" % lang, len(rows) == 3 and clean(rows[0][5]).startswith("Za"), rows and rows[0][5][:20])
        check("%s announced in its code page" % lang, all(v[1] == int(cp) for v in notices.values()) and notices,
              r.stderr)
finally:
    shutil.rmtree(work, ignore_errors=True)

finish()
