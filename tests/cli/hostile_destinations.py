#!/usr/bin/python3
"""The converter on copies of a container Visual FoxPro made, forged here (a Path leading out,
through a link, to a FIFO or the .dct; a stale .dct pointer or record count; two tables of one
name; escapes in a name), on an orphan memo file, as a preview, and twice at once into one new
container: the line it prints, nothing outside changed, the old tables whole. Arguments:
converter, sample.mdb, tablewright-mdb-write, the container's folder (absent: exit 77)."""
import json, os, pty, shutil, struct, subprocess, sys, tempfile

conv, sample, mdb_write, corpus = sys.argv[1:5]
if not os.path.isdir(corpus):
    sys.exit(77)
work = tempfile.mkdtemp(prefix="tw-hostile-")
failures = []


def check(what, ok, detail=""):
    print(("ok   " if ok else "FAIL ") + what + ("" if ok else ": " + str(detail)[:600]))
    failures.extend([] if ok else [what])


def files(root):
    paths = (os.path.join(d, n) for d, _, names in os.walk(root) for n in names)
    return {os.path.relpath(p, root): open(p, "rb").read() for p in paths if os.path.isfile(p) and not os.path.islink(p)}


def run(*args, stdout=subprocess.PIPE):
    return subprocess.run([conv, *args], stdout=stdout, stderr=subprocess.PIPE, text=True, timeout=60,
                          stdin=subprocess.DEVNULL)


class Container:
    """The .dbc and .dct of a copy, forged in place: a Table record's name, its Path (a new
    property memo at the .dct's end), the record count, the .dct's next free block."""
    def __init__(self, folder):
        self.dbc, self.dct = (os.path.join(folder, "FOXPRO-DB-TEST." + e) for e in ("DBC", "DCT"))
        self.d, self.m = bytearray(open(self.dbc, "rb").read()), bytearray(open(self.dct, "rb").read())
        self.count, self.head, self.size = struct.unpack("<IHH", self.d[4:12])

    def table(self, name):
        return next(r for r in range(self.head, self.head + self.count * self.size, self.size)
                    if self.d[r + 9:r + 19].rstrip() == b"Table" and self.d[r + 19:r + 147].rstrip() == name)

    def rename(self, old, new):
        r = self.table(old)
        self.d[r + 19:r + 147] = new.ljust(128, b" ")

    def path(self, table, path):
        r, block = self.table(table), struct.unpack(">I", self.m[0:4])[0]
        prop = b"".join(struct.pack("<IHB", 7 + len(v), 1, k) + v for k, v in ((2, b"\x01"), (1, path + b"\0")))
        memo = struct.pack(">II", 1, len(prop)) + prop
        self.m[block * 64:] = memo + bytes(-len(memo) % 64)
        self.m[0:4] = struct.pack(">I", block + len(memo) // 64 + 1)
        self.d[r + 147:r + 151] = struct.pack("<I", block)

    def save(self):
        open(self.dbc, "wb").write(self.d)
        open(self.dct, "wb").write(self.m)


def scene(name, forge):
    """A copy of the container in <case>/dest beside <case>/victim, forged; and the snapshots."""
    root = os.path.join(work, name)
    dest, victim = os.path.join(root, "dest"), os.path.join(root, "victim")
    shutil.copytree(corpus, dest)
    os.makedirs(victim)
    for ext in ("dbf", "fpt", "cdx"):
        open(os.path.join(victim, "inventory." + ext), "wb").write(b"victim " + ext.encode())
    c = Container(dest)
    forge(c, dest, victim)
    c.save()
    return os.path.join(dest, "FOXPRO-DB-TEST.DBC"), files(dest), files(victim), victim


PREFIX = "tablewright-convert: " + sample + ": "
OUTSIDE = 'Table "customers" of the database container points outside its folder: "%s".'
forged_paths = [
    ("relative", lambda c, d, v: c.path(b"customers", b"../victim/inventory.dbf"), OUTSIDE % "../victim/inventory.dbf"),
    ("absolute", lambda c, d, v: c.path(b"customers", v.encode() + b"/inventory.dbf"), None),
    ("linked folder", lambda c, d, v: (os.symlink(v, os.path.join(d, "data")),
                                       c.path(b"customers", b"data\\inventory.dbf")), OUTSIDE % "data\\inventory.dbf"),
    ("fifo", lambda c, d, v: (os.mkfifo(os.path.join(d, "pipe.dbf")), c.path(b"customers", b"pipe.dbf")),
     'Table "customers" of the database container names what is not a regular file: "pipe.dbf".'),
    ("the .dct", lambda c, d, v: c.path(b"customers", b"foxpro-db-test.dct"),
     'Table "customers" of the database container names a file of the database container itself: '
     '"foxpro-db-test.dct".'),
]
for name, forge, said in forged_paths:
    dbc, dest_before, victim_before, victim = scene(
        name, lambda c, d, v: (c.rename(b"contacts", b"customers"), forge(c, d, v)))
    said = said or OUTSIDE % (victim + "/inventory.dbf")
    r = run("--overwrite=yes", sample, dbc)
    after = files(os.path.dirname(dbc))
    check("forged Path, %s: refused by name when listed and dropped, nothing outside changed, old tables whole"
          % name, r.returncode == 1 and files(victim) == victim_before and r.stderr.splitlines()[:2] ==
          [PREFIX + said, PREFIX + "SQLException: " + said + ' (table "Customers")'] and
          all(after[f] == dest_before[f] for f in dest_before if not f.startswith("FOXPRO-DB-TEST")), r.stderr)

damaged = [
    ("stale .dct pointer", lambda c, d, v: c.m.__setitem__(slice(0, 4), struct.pack(">I", 150)),
     "it has become corrupted: its memo file \"%s/FOXPRO-DB-TEST.DCT\" gives block 150 as the next free one, but its "
     "memos use blocks up to 166."),
    ("stale record count", lambda c, d, v: c.d.__setitem__(slice(4, 8), struct.pack("<I", c.count - 1)),
     "it has become corrupted: its header counts 57 records but the file holds 58."),
    ("bytes after the last record",
     lambda c, d, v: c.d.__setitem__(slice(c.head + c.count * c.size, None), b"\x00" * 40),
     "it has become corrupted: its header counts 58 records but the file holds 40 more bytes after them."),
    ("two tables of one name", lambda c, d, v: c.rename(b"setup", b"types"),
     'it has become corrupted: it has two tables called "types".'),
]
for name, forge, said in damaged:
    dbc, dest_before, victim_before, victim = scene(name, forge)
    r = run("--overwrite=yes", sample, dbc)
    expected = "tablewright-convert: %s: Cannot open the database container \"%s\": %s" % (
        dbc, dbc, said.replace("%s", os.path.dirname(dbc)))
    check("damaged container, %s: refused, nothing written" % name,
          r.returncode == 1 and r.stderr.splitlines() == [expected] and files(os.path.dirname(dbc)) == dest_before,
          r.stderr)

# Escape sequences in a name from the container: shown escaped, the failure on one line.
ESCAPED = b"set\x1b]0;owned\x07\nup"
dbc, _, _, _ = scene("escapes", lambda c, d, v: (c.rename(b"setup", ESCAPED), c.path(ESCAPED, b"gone.dbf")))
r = run("--overwrite=no", sample, dbc)
line = [l for l in r.stderr.splitlines() if "gone.dbf" in l]
check("escape sequences in names are shown escaped on one line", len(line) == 1 and "\x1b" not in r.stderr and
      'Table "set\\e]0;owned\\x07\\nup" cannot be opened' in line[0], r.stderr)

# Escape sequences in names from the source: --types=FILE keeps the bytes, a terminal does not.
source = os.path.join(work, "escapes.mdb")
description = os.path.join(work, "escapes.json")
json.dump({"tables": [{"name": "Bad\x7f\u009b2JName", "fields": [{"name": "f\u0085", "type": "long"}],
                        "rows": [[1]]}]}, open(description, "w"))
subprocess.run([mdb_write, description, source], check=True)
kept = os.path.join(work, "types.txt")
r = run("--preview=/dev/null", "--types=" + kept, source, os.path.join(work, "nowhere"))
check("--types=FILE keeps the bytes", "Bad\x7f\u009b2JName\tf\u0085\t" in open(kept, encoding="utf-8").read(),
      r.stderr)
master, slave = pty.openpty()
r = run("--preview=/dev/null", "--types=-", source, os.path.join(work, "nowhere"), stdout=slave)
os.close(slave)
shown = os.read(master, 65536).decode("utf-8")
check("--types to a terminal is escaped", "Bad\\x7f\\u009b2JName\tf\\u0085\t" in shown and "\x9b" not in shown, shown)
check("a preview creates nothing", not os.path.exists(os.path.join(work, "nowhere")), os.listdir(work))

# An orphan memo file the user did not agree to replace is kept, and named.
folder = os.path.join(work, "orphan")
os.makedirs(folder)
open(os.path.join(folder, "customers.fpt"), "wb").write(b"\0\0\0\x09" + bytes(508) + b"notes of a lost table".ljust(64))
before = files(folder)["customers.fpt"]
r = run("--overwrite=no", sample, folder)
said = PREFIX + 'SQLException: File already exists. "%s/customers.fpt" belongs to no table. (table "Customers")' % folder
check("an orphan .fpt is kept", files(folder)["customers.fpt"] == before and said in r.stderr.splitlines(), r.stderr)

# Two converters creating one new container at once: one makes it, both convert into it.
for round in range(5):
    dbc = os.path.join(work, "race%d" % round, "new.dbc")
    os.makedirs(os.path.dirname(dbc))
    racers = [subprocess.Popen([conv, "--overwrite=no", sample, dbc], stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True) for _ in range(2)]
    said = [p.communicate(timeout=120)[1] for p in racers]
    r = run("--overwrite=no", sample, dbc)
    made = sum("created the empty database container" in s for s in said)
    check("two creators, round %d: one makes the container, it opens whole" % round,
          made == 1 and not any("Cannot create the database container" in s for s in said) and
          r.returncode == 0 and "0 failed" in r.stderr and os.path.exists(dbc[:-2] + "ct"), [r.stderr] + said)

shutil.rmtree(work)
sys.exit(1 if failures else 0)
