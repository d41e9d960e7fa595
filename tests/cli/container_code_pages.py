#!/usr/bin/python3
"""Database containers in the locale's code page, read back by independent readers.

    container_code_pages.py MDB_WRITE CONVERTER DCX_CHECK READ_CONTAINER.rb [VFP_DBC_FOLDER]

The tables of data/container_names.json (Polish and Japanese table names, column names and
values) are written into an Access file and converted by tablewright-convert:
  - under pl_PL into a new container, which must be marked with code page 1250;
  - under ja_JP into a new container, which must be marked with code page 932;
  - under pl_PL into a copy of a container Visual FoxPro made in code page 1252, which
    keeps its mark: its names take only the letters 1252 holds, its new tables are
    written in 1250.
Each time: the .dcx passes dcx_check_tool; no name the container stores holds a "?", and
its Table and Field records (decoded in the container's code page) are the expected
names; every new .dbf carries the locale's mark and python3-dbf and dbfread read every
value intact; ruby-dbf (read_container.rb) lists the tables with their long names and the
same values. Exits 77 (skipped) when python3-dbf, dbfread or ruby-dbf is missing.
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from checks import check, copy_vfp_container, digest, finish

try:
    import dbf
    import dbfread
except ImportError as e:
    print("skipping: %s" % e)
    sys.exit(77)

HERE = os.path.dirname(os.path.abspath(__file__))
mdb_write, converter, dcx_check, reader = sys.argv[1:5]
vfp_folder = sys.argv[5] if len(sys.argv) > 5 else ""
if shutil.which("ruby") is None:
    print("ruby (ruby-dbf) not installed; skipping")
    sys.exit(77)

# The code-page marks of a .dbf/.dbc header these runs meet, and their Python codecs.
CODECS = {0x03: "cp1252", 0xC8: "cp1250", 0x7B: "cp932"}



def clean(v):
    """A value as compared here: C padding removed, python3-dbf's Null as None."""
    if v is dbf.Null:
        return None
    return v.rstrip(" ") if isinstance(v, str) else v


def python_dbf(path):
    """The code page python3-dbf reads from the header, and the table's rows."""
    table = dbf.Table(path)
    table.open(dbf.READ_ONLY)
    try:
        names = list(table.field_names)

        def value(rec, i, name):
            # python3-dbf takes a field called "__" for a special method by name.
            if name.startswith("__"):
                return rec._retrieve_field_value(rec._meta.fields.index(name), name)
            return rec[name]

        rows = [[clean(value(rec, i, n)) for i, n in enumerate(names)] for rec in table]
        return str(table.codepage), rows
    finally:
        table.close()


def container_records(dbc):
    """The header's mark and the live records (type, parent id, name bytes) of a .dbc."""
    with open(dbc, "rb") as f:
        mark = f.read(32)[29]
    number = lambda b: struct.unpack("<i", b)[0]  # an I field's bytes
    records = [(r["OBJECTTYPE"].rstrip(b" ").decode("ascii"), number(r["PARENTID"]), r["OBJECTNAME"].rstrip(b" "),
                number(r["OBJECTID"]))
               for r in dbfread.DBF(dbc, raw=True, ignore_missing_memofile=True)]
    return mark, records


def file_in(folder, name):
    for n in os.listdir(folder):
        if n.lower() == name.lower():
            return os.path.join(folder, n)
    return None


with open(os.path.join(HERE, "data", "container_names.json"), encoding="utf-8") as f:
    FIXTURE = json.load(f)
SOURCE_ROWS = {t["name"]: t["rows"] for t in FIXTURE["tables"]}


def access_file(work, label, tables):
    """An Access file holding only `tables` of the fixture."""
    desc = dict(FIXTURE, tables=[t for t in FIXTURE["tables"] if t["name"] in tables])
    described = os.path.join(work, "names-%s.json" % label)
    with open(described, "w", encoding="utf-8") as f:
        json.dump(desc, f, ensure_ascii=False)
    source = os.path.join(work, "names-%s.accdb" % label)
    subprocess.run([mdb_write, described, source], check=True, capture_output=True)
    return source


def run_case(label, lang, source, dbc, dbc_mark, table_mark, long_names, others=(), untouched=None):
    """Converts `source` into `dbc` under `lang` and checks what the readers see.
    `long_names`: table name -> its column names, as the container must keep them;
    `others`: the tables the container held before."""
    folder = os.path.dirname(dbc)
    existed = os.path.exists(dbc)
    env = dict(os.environ, LANG=lang, LC_ALL=lang)
    r = subprocess.run([converter, source, dbc], capture_output=True, text=True, env=env, timeout=300)
    check("%s: conversion" % label, r.returncode == 0 and "0 failed" in r.stderr and
          ("created the empty database container" in r.stderr) != existed, r.stderr)

    r = subprocess.run([dcx_check, dbc], capture_output=True, text=True)
    check("%s: .dcx check" % label, r.returncode == 0, r.stdout + r.stderr)

    mark, records = container_records(dbc)
    check("%s: container mark" % label, mark == dbc_mark, hex(mark))
    codec = CODECS[mark]
    questioned = [n for _, _, n, _ in records if b"?" in n]
    check("%s: no \"?\" in any name" % label, not questioned, questioned)
    tables = {n.decode(codec): oid for t, _, n, oid in records if t == "Table"}
    check("%s: the container's tables" % label, sorted(tables) == sorted(list(long_names) + list(others)),
          sorted(tables))
    for name, columns in long_names.items():
        fields = [n.decode(codec) for t, parent, n, _ in records if t == "Field" and parent == tables.get(name)]
        check("%s: %s Field records" % (label, name), fields == columns, fields)

    ruby = subprocess.run(["ruby", reader, dbc], capture_output=True, text=True)
    check("%s: ruby-dbf reads the container" % label, ruby.returncode == 0, ruby.stderr)
    ruby = json.loads(ruby.stdout) if ruby.returncode == 0 else {}
    check("%s: ruby-dbf lists the tables" % label, sorted(ruby) == sorted(list(long_names) + list(others)),
          sorted(ruby))

    for name, columns in long_names.items():
        source_rows = next(rows for t, rows in SOURCE_ROWS.items() if t.lower() == name)
        path = file_in(folder, name + ".dbf")
        check("%s: %s.dbf exists" % (label, name), path is not None, os.listdir(folder))
        if path is None:
            continue
        with open(path, "rb") as f:
            check("%s: %s.dbf mark" % (label, name), f.read(32)[29] == table_mark)
        codepage, rows = python_dbf(path)
        check("%s: %s python3-dbf code page" % (label, name), CODECS[table_mark][2:] in codepage, codepage)
        check("%s: %s python3-dbf values" % (label, name), rows == source_rows, rows)
        back = [[clean(v) for k, v in rec.items() if k != "_NullFlags"] for rec in dbfread.DBF(path, load=True)]
        check("%s: %s dbfread values" % (label, name), back == source_rows, back)
        t = ruby.get(name, {})
        check("%s: %s ruby-dbf long names" % (label, name), t.get("columns") == columns, t.get("columns"))
        check("%s: %s ruby-dbf values" % (label, name), [[clean(v) for v in row] for row in t.get("rows", [])] ==
              source_rows, t.get("rows"))

    for path, before in (untouched or {}).items():
        check("%s: %s untouched" % (label, os.path.basename(path)), os.path.exists(path) and digest(path) == before)


work = tempfile.mkdtemp(prefix="tw-dbc-cp-")
try:
    polish = access_file(work, "pl", ["Zamówienia", "Kontakty"])
    japanese = access_file(work, "ja", ["顧客一覧", "Kontakty"])

    os.mkdir(os.path.join(work, "pl"))
    run_case("pl_PL new container", "pl_PL.UTF-8", polish, os.path.join(work, "pl", "firma.dbc"), 0xC8, 0xC8,
             {"zamówienia": ["nr", "imię", "miastołó", "wojewódz", "uwagi"], "kontakty": ["imię", "__", "größe"]})

    os.mkdir(os.path.join(work, "ja"))
    run_case("ja_JP new container", "ja_JP.UTF-8", japanese, os.path.join(work, "ja", "firma.dbc"), 0x7B, 0x7B,
             {"顧客一覧": ["番号", "名前", "住所", "電話番号", "メモ"], "kontakty": ["imi_", "名前", "gr__e"]})

    if vfp_folder and os.path.isdir(vfp_folder):
        dbc, untouched = copy_vfp_container(vfp_folder, work)
        theirs = [name for t, _, name, _ in container_records(dbc)[1] if t == "Table"]
        # Code page 1252 lacks "ł", "ę" and "ź": those letters become "_" in the long names.
        run_case("pl_PL into a VFP-made 1252 container", "pl_PL.UTF-8", polish, dbc, 0x03, 0xC8,
                 {"zamówienia": ["nr", "imi_", "miasto_ó", "wojewódz", "uwagi"], "kontakty": ["imi_", "__", "größe"]},
                 [n.decode("cp1252") for n in theirs], untouched)
    else:
        print("skip the VFP-made container (no corpus)")
finally:
    shutil.rmtree(work, ignore_errors=True)

finish()
