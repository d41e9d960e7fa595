#!/usr/bin/python3
"""Checks the command line, messages, questions and exit status of tablewright-convert,
through the real executable: pipes for scripted use, a pseudo-terminal for what a person
at a terminal sees (the password prompt, the overwrite question, Ctrl-C).

    cli_test.py CONVERTER SAMPLE.mdb MDB_WRITE VERSION MANPAGE

Exits 77 (skipped) when the sample database has not been built.
"""
import json
import os
import pty
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time

import dbfread

from checks import check, finish

converter, sample, mdb_write, version, manpage = sys.argv[1:6]
if not os.path.exists(sample):
    print("sample database %s not built; skipping" % sample)
    sys.exit(77)

ENV = dict(os.environ, LANG="en_US.UTF-8", LC_ALL="en_US.UTF-8")
ENV.pop("TABLEWRIGHT_PASSWORD", None)
PROG = "tablewright-convert: "


# The sample holds Japanese, Polish, Greek and Turkish text and an emoji, which code page
# 1252 lacks: each table with such values gets one line, and the exit status is 1 for that
# alone. run() takes those lines out of standard error into `notices` and, when nothing
# else failed, reports the exit status the run would have had without them; the checks
# of the code page below look at them directly.
NOTICE = re.compile(r'tablewright-convert: (?:.+: )?Table (.+): (\d+) values? held characters that code page '
                    r'(\d+) cannot hold; they were stored with "\?" in their place\.$')


def announced(text):
    """{table: (values, code page)} of the code-page lines in `text` (a terminal's too)."""
    return {m.group(1): (int(m.group(2)), int(m.group(3)))
            for m in (NOTICE.search(l.rstrip("\r")) for l in text.splitlines()) if m}


def raw_run(*args, stdin="", env=None, cwd=None):
    return subprocess.run([converter] + list(args), input=stdin, capture_output=True, text=True,
                          env=env or ENV, cwd=cwd, timeout=300)


def run(*args, stdin="", env=None, cwd=None):
    r = raw_run(*args, stdin=stdin, env=env, cwd=cwd)
    r.notices = announced(r.stderr)
    if r.notices:
        r.stderr = "".join(l for l in r.stderr.splitlines(keepends=True) if not NOTICE.match(l.rstrip("\n")))
        nothing_failed = not re.search(r", [1-9]\d* failed", r.stderr)
        if r.returncode == 1 and nothing_failed:
            r.returncode = 0
    return r


def code_page_mark(path):
    with open(path, "rb") as f:
        return f.read(32)[29]


def dbf_files(folder):
    return {n[:-4].lower(): os.path.join(folder, n) for n in os.listdir(folder) if n.lower().endswith(".dbf")}


def records(path):
    return list(dbfread.DBF(path, encoding="cp1252", load=True, ignore_missing_memofile=True).records)


def row_counts(folder):
    return {t: len(records(p)) for t, p in dbf_files(folder).items()}


def mtimes(folder):
    return {t: os.stat(p).st_mtime_ns for t, p in dbf_files(folder).items()}


SUMMARY = re.compile(r"(\d+) tables? converted, (\d+) skipped, (\d+) failed(, 1 stopped)?; ([\d,]+) rows? (written|listed) in ")


def summary(stderr):
    m = SUMMARY.search(stderr)
    return m and (int(m.group(1)), int(m.group(2)), int(m.group(3)), int(m.group(5).replace(",", "")))


class Terminal:
    """The converter on a pseudo-terminal, as a person at a terminal runs it."""

    def __init__(self, *args, env=None):
        self.pid, self.fd = pty.fork()
        if self.pid == 0:
            try:
                os.execve(converter, [converter] + list(args), env or ENV)
            finally:
                os._exit(127)
        self.out = b""
        self.status = None

    def pump(self, seconds):
        end = time.time() + seconds
        while time.time() < end:
            ready, _, _ = select.select([self.fd], [], [], max(0.0, min(0.05, end - time.time())))
            if ready:
                try:
                    chunk = os.read(self.fd, 65536)
                except OSError:
                    return
                if not chunk:
                    return
                self.out += chunk

    def expect(self, text, seconds=30):
        end = time.time() + seconds
        while text.encode() not in self.out and time.time() < end and self.status is None:
            self.pump(0.05)
            self.poll()
        return text.encode() in self.out

    def send(self, text):
        os.write(self.fd, text.encode())

    def poll(self):
        if self.status is None:
            pid, status = os.waitpid(self.pid, os.WNOHANG)
            if pid:
                self.status = os.waitstatus_to_exitcode(status)
        return self.status

    def wait(self, seconds=120):
        end = time.time() + seconds
        while self.poll() is None and time.time() < end:
            self.pump(0.05)
        self.pump(0.2)
        if self.status is None:
            os.kill(self.pid, signal.SIGKILL)
            self.poll()
        os.close(self.fd)
        return self.status

    def text(self):
        return self.out.decode("utf-8", "replace")


work = tempfile.mkdtemp(prefix="tw-cli-")
try:
    # --- The command line --------------------------------------------------------------
    out = os.path.join(work, "out")
    for args, problem in (([], "missing SOURCE and DESTINATION"), ([sample], "missing DESTINATION"),
                          ([sample, out, "extra"], "unexpected argument 'extra'"),
                          (["--overwrite=maybe", sample, out], "--overwrite takes ask, yes or no"),
                          (["--bogus", sample, out], "unrecognized option '--bogus'"),
                          (["-x", sample, out], "invalid option -- 'x'"),
                          (["--pass=x", sample, out], "option '--pass' is ambiguous"),
                          (["--quiet=1", sample, out], "option '--quiet' doesn't allow an argument"),
                          ([sample, out, "--types"], "option '--types' requires an argument"),
                          ([sample, out, "-o"], "option requires an argument -- 'o'"),
                          (["--preview=", sample, out], "--preview needs a file name"),
                          (["--preview=-", "--types=-", sample, out], "--preview and --types cannot both write to standard output")):
        r = run(*args)
        lines = r.stderr.splitlines()
        check("usage %r" % (args,), r.returncode == 2 and len(lines) == 2 and lines[0].startswith(PROG + problem)
              and lines[1] == "Try 'tablewright-convert --help' for more information." and r.stdout == "", r.stderr)
    check("usage errors touch nothing", not os.path.exists(out))

    r = run("--help")
    check("help on stdout", r.returncode == 0 and r.stderr == "" and r.stdout.startswith("Usage: tablewright-convert "))
    for part in ("Exit status:", "Examples:", "TABLEWRIGHT_PASSWORD", "process list", " 130 "):
        check("help mentions %s" % part, part in r.stdout)
    # Every option --help lists is in the manual page, and the other way round.
    help_options = set(re.findall(r"--[a-z][a-z-]+", r.stdout))
    man_options = set(re.findall(r"--[a-z][a-z-]+", open(manpage, encoding="utf-8").read().replace("\\-", "-")))
    check("help and manual page list the same options", help_options == man_options, help_options ^ man_options)
    r = run("-h", "--bogus")
    check("-h wins over what follows", r.returncode == 0 and r.stdout.startswith("Usage:"))
    r = run("--version")
    check("version", r.returncode == 0 and r.stdout == "tablewright-convert (Tablewright) %s\n" % version, r.stdout)
    check("-V", run("-V").stdout == r.stdout)

    # --- A first conversion, and the summary that ends it --------------------------------
    r = run(sample, out)
    check("direct exit", r.returncode == 0, r.stderr)
    counts = row_counts(out)
    check("tables made", len(counts) == 9, counts)
    check("created the folder", r.stderr.startswith(PROG + "created the folder " + out + "\n"), r.stderr)
    check("summary counts", summary(r.stderr) == (len(counts), 0, 0, sum(counts.values())), r.stderr)
    check("summary says done", (PROG + "Done: ") in r.stderr, r.stderr)
    check("the left-out column said, nothing else",
          r.stderr.splitlines()[1:] == [PROG + sample + ": Table Employees: column Photo (OLE Object) was left out.",
                                        r.stderr.splitlines()[-1]], r.stderr)

    # Without a terminal the questions are answered No, after one line that says so.
    before = mtimes(out)
    r = run(sample, out, stdin="y\n")
    check("no terminal exit", r.returncode == 0, r.stderr)
    check("no terminal said once", r.stderr.count("not a terminal") == 1 and "Would you like" not in r.stderr, r.stderr)
    check("no terminal keeps every table", mtimes(out) == before and row_counts(out) == counts)
    check("no terminal summary", summary(r.stderr) == (0, 9, 0, 0), r.stderr)

    # Option values as separate arguments; --quiet says nothing at all.
    r = run("-q", "--overwrite", "yes", sample, out)
    check("quiet overwrite", r.returncode == 0 and r.stderr == "" and row_counts(out) == counts, r.stderr)
    check("overwrite replaced every table", all(mtimes(out)[t] != before[t] for t in before))
    r = run("-v", "-o", "no", sample, out)
    check("verbose one line per table", r.returncode == 0 and r.stderr.count(": skipped\n") == 9, r.stderr)

    # "--" ends the options: a source whose name starts with "-".
    shutil.copy(sample, os.path.join(work, "-s.mdb"))
    r = run("--", "-s.mdb", "dashes", cwd=work)
    check("-- ends options", r.returncode == 0 and len(dbf_files(os.path.join(work, "dashes"))) == 9, r.stderr)
    r = run("-s.mdb", "dashes", cwd=work)
    check("without --", r.returncode == 2 and "invalid option -- 's'" in r.stderr, r.stderr)

    # --- Code pages: from the locale or --codepage, stamped in every header --------------
    folder = os.path.join(work, "cp-en")
    r = raw_run(sample, folder)
    check("code-page lines", announced(r.stderr) == {"Customers": (15, 1252), "Employees": (1, 1252)}, r.stderr)
    check("code-page lines come before the summary", r.stderr.rfind("Table Customers:") < r.stderr.find("Done: "),
          r.stderr)
    check("code-page exit", r.returncode == 1, r.returncode)
    r = raw_run("-q", "--overwrite=yes", sample, folder)
    check("code-page lines with --quiet", r.returncode == 1 and set(announced(r.stderr)) == {"Customers", "Employees"}
          and len(r.stderr.splitlines()) == 2, r.stderr)
    # Every code page a locale can choose; 1257 has no Visual FoxPro mark, so its tables carry none.
    for lang, mark, cp in (("pl_PL.UTF-8", 0xC8, 1250), ("ru_RU.UTF-8", 0xC9, 1251), ("el_GR.UTF-8", 0xCB, 1253),
                           ("tr_TR.UTF-8", 0xCA, 1254), ("he_IL.UTF-8", 0x7D, 1255), ("ar_EG.UTF-8", 0x7E, 1256),
                           ("lt_LT.UTF-8", 0x00, 1257), ("th_TH.UTF-8", 0x7C, 874), ("ja_JP.UTF-8", 0x7B, 932),
                           ("zh_CN.UTF-8", 0x7A, 936), ("ko_KR.UTF-8", 0x79, 949), ("zh_TW.UTF-8", 0x78, 950),
                           ("de_DE.UTF-8", 0x03, 1252)):
        folder = os.path.join(work, "cp-" + lang)
        r = raw_run(sample, folder, env=dict(ENV, LANG=lang, LC_ALL=lang))
        files = dbf_files(folder)
        check("%s marks every table" % lang, len(files) == 9 and
              all(code_page_mark(p) == mark for p in files.values()), r.stderr)
        check("%s names its code page" % lang, all(v[1] == cp for v in announced(r.stderr).values()), r.stderr)
    # Japanese: the customer written in Japanese arrives whole.
    japanese = dbfread.DBF(dbf_files(os.path.join(work, "cp-ja_JP.UTF-8"))["customers"], encoding="cp932", load=True)
    check("ja_JP keeps Japanese", any(v == "Sakura Trading 株式会社" for rec in japanese.records for v in rec.values()))
    folder = os.path.join(work, "cp-1253")
    r = raw_run("--codepage", "1253", sample, folder, env=dict(ENV, LANG="pl_PL.UTF-8", LC_ALL="pl_PL.UTF-8"))
    check("--codepage wins over the locale", code_page_mark(dbf_files(folder)["customers"]) == 0xCB and
          announced(r.stderr)["Customers"][1] == 1253, r.stderr)
    greek = dbfread.DBF(dbf_files(folder)["customers"], encoding="cp1253", load=True)
    check("--codepage text reads back", any("Αθηνά Εισαγωγές" in str(v) for rec in greek.records for v in rec.values()))
    for bad in ("--codepage=", "--codepage=65001", "--codepage=12x", "--codepage=437", "--codepage=-1252"):
        r = raw_run(bad, sample, folder)
        check("usage %s" % bad, r.returncode == 2 and "--codepage takes one of 874, 932" in r.stderr, r.stderr)

    # --- Output files: standard output, and checked before anything is converted --------
    fresh = os.path.join(work, "fresh")
    r = run("--types=-", sample, fresh)
    types = r.stdout.split("\n")
    check("types to stdout", r.returncode == 0 and types[0] == "MS Access Table\tMS Access Table Field\t"
          "MS Access Field Datatype\tNew FoxPro Datatype" and types[-1] == "" and
          len(types) > 20 and all(t.count("\t") == 3 for t in types[:-1]), r.stdout[:300])
    check("no file named -", not os.path.exists("-") and not os.path.exists(os.path.join(fresh, "-")))
    unconverted = os.path.join(work, "unconverted")
    for option in ("--types=", "--preview="):
        bad = os.path.join(work, "no", "such", "dir.txt")
        r = run(option + bad, sample, unconverted)
        check("bad %s path" % option, r.returncode == 1 and r.stderr.startswith(PROG + bad + ": No such file")
              and not os.path.exists(unconverted), r.stderr)
    previewed = os.path.join(work, "previewed")
    r = run("--preview=-", sample, previewed)
    lines = r.stdout.split("\n")
    check("preview statements", r.returncode == 0 and lines[-1] == "" and
          sum(l.startswith("INSERT INTO ") for l in lines) == sum(counts.values()), r.stderr)
    check("preview creates nothing", not os.path.exists(previewed))
    check("preview summary", summary(r.stderr) == (9, 0, 0, sum(counts.values())) and "rows listed" in r.stderr,
          r.stderr)
    # Of --native and --classic the last one counts; native statements continue the AutoNumbers.
    for order, native in ((("--native", "--classic"), False), (("--classic", "--native"), True)):
        r = run("--preview=-", *order, sample, previewed)
        creates = [l for l in r.stdout.split("\n") if l.startswith('CREATE TABLE "Orders"')]
        check("%s %s" % order, r.returncode == 0 and len(creates) == 1 and
              ("[OrderID] I AUTOINC," in creates[0]) == native and ("[ORDERID] INT," in creates[0].upper()) != native
              and ('ALTER TABLE "Orders" ALTER COLUMN OrderID I AUTOINC NEXTVALUE' in r.stdout) == native
              and ('\nSET AUTOINCERROR OFF\n' in r.stdout) == native,
              creates)

    # --- Sources and destinations that cannot be used: one line, exit 1 -----------------
    junk = os.path.join(work, "junk.mdb")
    open(junk, "wb").write(b"not an Access database" * 200)
    for source, why in ((os.path.join(work, "missing.mdb"), "no such file or directory"),
                        (work, "is a folder, not an Access database"), (junk, "")):
        r = run(source, os.path.join(work, "unused"))
        lines = r.stderr.splitlines()
        check("bad source %s" % os.path.basename(source), r.returncode == 1 and len(lines) == 1 and
              lines[0].startswith(PROG + source + ": " + why) and not os.path.exists(os.path.join(work, "unused")),
              r.stderr)
    nested = os.path.join(work, "new", "nested")
    r = run(sample, nested)
    check("missing destination created", r.returncode == 0 and len(dbf_files(nested)) == 9 and
          (PROG + "created the folder " + nested) in r.stderr, r.stderr)
    # A database container that does not exist yet is made empty, said so, and filled; the
    # second run finds the tables there. A container in a folder that does not exist is not.
    dbc = os.path.join(work, "box", "Sales.dbc")
    os.mkdir(os.path.dirname(dbc))
    r = run(sample, dbc)
    check("new container", r.returncode == 0 and r.stderr.startswith(PROG + "created the empty database container "
                                                                       + dbc + "\n"), r.stderr)
    check("new container files", sorted(os.listdir(os.path.dirname(dbc)))[:3] == ["Sales.dbc", "Sales.dct", "Sales.dcx"])
    check("new container tables", row_counts(os.path.dirname(dbc)) == counts, row_counts(os.path.dirname(dbc)))
    r = run(sample, dbc)
    check("existing container kept", r.returncode == 0 and "created" not in r.stderr and
          summary(r.stderr) == (0, 9, 0, 0), r.stderr)
    lost = os.path.join(work, "no-such-folder", "x.dbc")
    r = run(sample, lost)
    check("container in a missing folder", r.returncode == 1 and r.stderr.startswith(PROG + lost + ": cannot use the folder")
          and not os.path.exists(os.path.dirname(lost)), r.stderr)
    a_file = os.path.join(work, "a-file")
    open(a_file, "w").close()
    r = run(sample, a_file)
    check("destination a file", r.returncode == 1 and r.stderr == PROG + a_file + ": is not a folder\n", r.stderr)
    if os.geteuid() != 0:  # root writes everywhere
        locked = os.path.join(work, "locked")
        os.mkdir(locked, 0o555)
        r = run(sample, locked)
        check("unwritable destination", r.returncode == 1 and "is not writable" in r.stderr, r.stderr)

    # --- The password --------------------------------------------------------------------
    secret = "Sesame-42"
    locked_db = os.path.join(work, "locked.mdb")
    with open(os.path.join(work, "locked.json"), "w") as f:
        f.write('{"password": "%s", "tables": [{"name": "Vault", "fields": [{"name": "ID", "type": "long"},'
                ' {"name": "Item", "type": "text", "size": 20}], "rows": [[1, "gold"], [2, "silver"]]}]}' % secret)
    subprocess.run([mdb_write, os.path.join(work, "locked.json"), locked_db], check=True)
    pw_file = os.path.join(work, "pw.txt")
    open(pw_file, "w").write(secret + "\r\nsecond line\n")

    def vault(folder):
        path = dbf_files(folder).get("vault")
        return path and [(r["ID"], r["ITEM"]) for r in records(path)]

    r = run(locked_db, os.path.join(work, "pw0"))
    check("no password", r.returncode == 1 and r.stderr == PROG + locked_db + ": Not a valid password.\n", r.stderr)
    r = run("--password-file=" + pw_file, locked_db, os.path.join(work, "pw1"))
    check("password file", r.returncode == 0 and vault(os.path.join(work, "pw1")) == [(1, "gold"), (2, "silver")],
          r.stderr)
    r = run("--password-file", "-", locked_db, os.path.join(work, "pw2"), stdin=secret + "\n")
    check("password from stdin", r.returncode == 0 and vault(os.path.join(work, "pw2")), r.stderr)
    r = run(locked_db, os.path.join(work, "pw3"), env=dict(ENV, TABLEWRIGHT_PASSWORD=secret))
    check("password from environment", r.returncode == 0 and vault(os.path.join(work, "pw3")), r.stderr)
    r = run("--password-file=" + os.path.join(work, "nope"), locked_db, os.path.join(work, "pw4"))
    check("missing password file", r.returncode == 1 and "nope: no such file" in r.stderr, r.stderr)

    t = Terminal(locked_db, os.path.join(work, "pw5"))
    check("prompt", t.expect("Password for " + locked_db + ": "), t.text())
    t.send(secret + "\n")
    check("prompted password works", t.wait() == 0 and vault(os.path.join(work, "pw5")), t.text())
    check("password not echoed", secret not in t.text(), t.text())
    t = Terminal(locked_db, os.path.join(work, "pw6"))
    t.expect("Password for ")
    t.send("wrong\n")
    check("wrong prompted password", t.wait() == 1 and "Not a valid password." in t.text(), t.text())
    t = Terminal(locked_db, os.path.join(work, "pw7"), env=dict(ENV, TABLEWRIGHT_PASSWORD="wrong"))
    check("no prompt when the environment gives one", t.wait() == 1 and "Password for" not in t.text(), t.text())

    # --- ";", "=" and quotes in paths and passwords reach the providers whole ------------
    # Cut at its ";", each value would name another file or folder, and those exist here.
    semi_source = os.path.join(work, "db;v2.mdb")
    shutil.copy(sample, semi_source)
    open(os.path.join(work, "db"), "w").write("not a database")
    semi_out = os.path.join(work, "out;2024")
    os.mkdir(semi_out)
    before = mtimes(out)
    r = run("-o", "yes", semi_source, semi_out)
    check("semicolon paths", r.returncode == 0 and row_counts(semi_out) == counts, r.stderr)
    check("folder before the semicolon untouched", mtimes(out) == before)
    semi_secret = "o;pen=\"x'"
    with open(os.path.join(work, "semi.json"), "w") as f:
        f.write('{"password": "%s", "tables": [{"name": "Vault", "fields": [{"name": "ID", "type": "long"},'
                ' {"name": "Item", "type": "text", "size": 20}], "rows": [[1, "gold"]]}]}' % semi_secret.replace('"', '\\"'))
    semi_db = os.path.join(work, "semi.mdb")
    subprocess.run([mdb_write, os.path.join(work, "semi.json"), semi_db], check=True)
    r = run(semi_db, os.path.join(work, "pw8"), env=dict(ENV, TABLEWRIGHT_PASSWORD=semi_secret))
    check("password with a semicolon", r.returncode == 0 and vault(os.path.join(work, "pw8")) == [(1, "gold")], r.stderr)

    # --- A source cut short names the damage and fails -----------------------------------
    cut = os.path.join(work, "cut.mdb")
    with open(sample, "rb") as whole, open(cut, "wb") as part:
        data = whole.read()
        part.write(data[:len(data) * 99 // 100])
    r = run(cut, os.path.join(work, "cut-out"))
    check("cut source", r.returncode == 1 and "cut.mdb' is damaged" in r.stderr, r.stderr)

    # --- The overwrite question at a terminal: y, n, a, q --------------------------------
    # Tables come last list entry first: Time Sheets, Shelf Labels, Products, Orders, ...
    before = mtimes(out)
    t = Terminal(sample, out)
    check("first question", t.expect("Would you like to overwrite Time Sheets? [y/n/a/q] "), t.text())
    t.send("n\n")
    check("second question", t.expect("overwrite Shelf Labels? [y/n/a/q] "), t.text())
    t.send("maybe\n")
    check("asked again", t.expect("Please answer y (yes), n (no), a (yes to all) or q (stop here)."), t.text())
    t.send("y\n")
    t.expect("overwrite Products? [y/n/a/q] ")
    t.send("a\n")
    status = t.wait()
    after = mtimes(out)
    check("y/n/a exit", status == 1 and set(announced(t.text())) == {"Customers", "Employees"}, t.text())
    check("a asks no more", t.text().count("[y/n/a/q]") == 4, t.text())
    check("n kept, y and a replaced", after["time sheets"] == before["time sheets"] and
          all(after[k] != before[k] for k in before if k != "time sheets"), (before, after))
    check("y/n/a rows", row_counts(out) == counts)
    check("y/n/a summary", summary(t.text()) == (8, 1, 0, sum(counts.values()) - counts["time sheets"]), t.text())

    before = mtimes(out)
    t = Terminal(sample, out)
    t.expect("Time Sheets? [y/n/a/q] ")
    t.send("y\n")
    t.expect("Shelf Labels? [y/n/a/q] ")
    t.send("q\n")
    status = t.wait()
    after = mtimes(out)
    check("q exit", status == 0 and t.text().count("[y/n/a/q]") == 2, t.text())
    check("q summary", summary(t.text()) == (1, 0, 0, counts["time sheets"]), t.text())
    check("q stops the run", after["time sheets"] != before["time sheets"] and
          all(after[k] == before[k] for k in before if k != "time sheets"))

    # --- Interrupts: the table being written stays readable, with the rows written ------
    big = os.path.join(work, "big.mdb")
    subprocess.run([mdb_write, "--generate", "300000", big], check=True, capture_output=True)
    for how, code in (("ctrl-c", 130), ("sigterm", 143)):
        dest = os.path.join(work, "big-" + how)
        t = Terminal(big, dest)
        dbf = os.path.join(dest, "measurements.dbf")
        end = time.time() + 60
        while time.time() < end and t.poll() is None and not (os.path.exists(dbf) and os.path.getsize(dbf) > 1 << 20):
            t.pump(0.005)
        if how == "ctrl-c":
            t.send("\x03")
        else:
            os.kill(t.pid, signal.SIGTERM)
        status = t.wait()
        screen = t.text()
        m = re.search(r"stopped in table Measurements, which keeps the ([\d,]+) rows? written so far", screen)
        check("%s exit status" % how, status == code, screen[-500:])
        check("%s says where it stopped" % how, m is not None, screen[-500:])
        if m:
            kept = records(dbf)
            n = int(m.group(1).replace(",", ""))
            check("%s table read back" % how, 0 < n < 300000 and len(kept) == n and
                  [r["ID"] for r in kept] == list(range(1, n + 1)) and kept[-1]["CODE"] == "ST-%07d" % (n - 1),
                  (n, len(kept)))
        # The progress bar was drawn, then cleared before the closing lines.
        tail = screen[screen.rfind("\r\x1b[K"):]
        check("%s progress line cleared" % how, re.search(r"\[[#-]{30}\] +\d+% Please wait", screen) and "%" not in tail and "stopped in table" in tail,
              repr(screen[-400:]))
        check("%s summary" % how, re.search(r"0 tables converted, 0 skipped, 0 failed, 1 stopped; ", screen), screen[-300:])

    # --- A full disk: the summary and the table lines count the rows the tables keep ------
    # A small file system of its own, which only root can mount.
    disk = os.path.join(work, "disk")
    os.mkdir(disk)
    if os.geteuid() == 0 and subprocess.run(["mount", "-t", "tmpfs", "-o", "size=8m", "tmpfs", disk]).returncode == 0:
        try:
            # Full in the middle of the table: its first batch is kept, the next one lost.
            r = run(big, disk)
            kept = records(os.path.join(disk, "measurements.dbf"))
            check("full disk fails", r.returncode == 1 and "No space left on device." in r.stderr, r.stderr)
            check("full disk keeps a prefix", 0 < len(kept) < 300000 and
                  [k["ID"] for k in kept] == list(range(1, len(kept) + 1)), len(kept))
            check("full disk summary", summary(r.stderr) == (0, 0, 1, len(kept)), (len(kept), r.stderr))
            # Full at the next table's statement, which writes the earlier table's last batch.
            subprocess.run(["umount", disk], check=True)
            subprocess.run(["mount", "-t", "tmpfs", "-o", "size=256k", "tmpfs", disk], check=True)
            two = os.path.join(work, "two.mdb")
            with open(os.path.join(work, "two.json"), "w") as f:
                json.dump({"tables": [
                    {"name": name, "fields": [{"name": "ID", "type": "long"}, {"name": "Note", "type": "text", "size": 200}],
                     "rows": [[i, "n" * 190 + str(i)] for i in range(1, n + 1)]}
                    for name, n in (("Alpha", 2), ("Zulu", 2000))]}, f)
            subprocess.run([mdb_write, os.path.join(work, "two.json"), two], check=True, capture_output=True)
            r = run("--verbose", two, disk)
            held = row_counts(disk)
            lines = re.findall(r"^%s(Zulu|Alpha): ([\d,]+) rows?" % re.escape(PROG + two + ": "), r.stderr, re.M)
            said = {t: int(n.replace(",", "")) for t, n in lines}  # the last line of each table
            check("earlier table's batch lost", r.returncode == 1 and "The last 2000 rows inserted into" in r.stderr, r.stderr)
            check("earlier table's rows", said.get("Zulu") == held.get("zulu", 0) and
                  summary(r.stderr) == (0, 0, 2, sum(held.values())), (held, r.stderr))
        finally:
            subprocess.run(["umount", disk])
    else:
        print("no tmpfs could be mounted; the full disk is tested through the engine's file-system seam")
finally:
    shutil.rmtree(work, ignore_errors=True)

finish()
