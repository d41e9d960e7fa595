#!/usr/bin/python3
"""Reads a free table with three independent readers (dbfread, python-dbf, pgdbf) and
compares every value with the rows the engine was asked to store.

    check_readers.py [--prefix] TABLE.dbf EXPECTED.json [TABLE.dbf EXPECTED.json ...]

EXPECTED.json holds {"types": ["C", "N", ...], "rows": [[value-or-null, ...], ...]} with
each value as text: C/M the text, N/F/B/Y the number as written in the INSERT, I the
integer, D "YYYY-MM-DD", T "YYYY-MM-DD HH:MM:SS", L "T"/"F". With --prefix the table may
hold any prefix of the rows (the crash test); otherwise exactly the rows.

Nulls are taken from VFP's own _NullFlags layout (one bit per nullable field, in field
order, least significant first), decoded here from the raw bytes dbfread returns. python-dbf
numbers its null bits by field index instead, so its nulls are checked only where the two
layouts agree. pgdbf ignores _NullFlags; null fields are not compared for it.

Prints one "OK <reader> <rows>" line per reader and table, or the mismatches (each
table's mismatches follow a line "== TABLE.dbf"); exits 1 on any.
"""
import datetime
import decimal
import json
import os
import struct
import subprocess
import sys


def header_fields(path):
    with open(path, 'rb') as f:
        head = f.read(32)
        header_len = struct.unpack('<H', head[8:10])[0]
        f.seek(0)
        head = f.read(header_len)
    fields = []
    pos = 32
    while head[pos] != 0x0D:
        d = head[pos:pos + 32]
        name = d[:11].split(b'\0')[0].decode('cp1252')
        fields.append({'name': name, 'type': chr(d[11]), 'width': d[16], 'dec': d[17], 'flags': d[18]})
        pos += 32
    user = [f for f in fields if f['type'] != '0']
    bit = 0
    for f in user:
        if f['flags'] & 0x02:
            f['bit'] = bit
            bit += 1
        else:
            f['bit'] = None
    return user


def julian(d):
    return d.toordinal() + 1721425


class Checker:
    def __init__(self, types, expected, prefix, decimals):
        self.types = types
        self.decimals = decimals
        self.expected = expected
        self.prefix = prefix
        self.problems = []
        self.quiet = False

    def same(self, t, want, got, reader, j):
        if t in 'CM':
            return isinstance(got, str) and got.rstrip(' ') == want.rstrip(' ')
        if t in 'NF':
            if reader == 'pgdbf':
                return decimal.Decimal(got) == decimal.Decimal(want)
            return got is not None and float(got) == float(want)
        if t == 'I':
            return got is not None and int(got) == int(want)
        if t == 'B':
            if reader == 'pgdbf':  # pgdbf prints doubles with the field's decimals
                return got == '%.*f' % (self.decimals[j], float(want))
            return got is not None and float(got) == float(want)
        if t == 'Y':
            return got is not None and decimal.Decimal(str(got)) == decimal.Decimal(want)
        if t == 'D':
            if reader == 'pgdbf':
                return got == want
            return isinstance(got, datetime.date) and got.isoformat() == want
        if t == 'T':
            dt = datetime.datetime.strptime(want, '%Y-%m-%d %H:%M:%S')
            if reader == 'pgdbf':
                return got == 'J%d %s' % (julian(dt.date()), dt.strftime('%H:%M:%S'))
            return isinstance(got, datetime.datetime) and got == dt
        if t == 'L':
            if reader == 'pgdbf':
                return got == ('t' if want == 'T' else 'f')
            return got is (want == 'T')
        raise ValueError('type ' + t)

    def check(self, reader, rows, null_known):
        """rows: list of lists of (value, is_null or None when unknown)."""
        n = len(rows)
        if self.prefix:
            if n > len(self.expected):
                self.problems.append('%s: %d rows, more than the %d inserted' % (reader, n, len(self.expected)))
                return
        elif n != len(self.expected):
            self.problems.append('%s: %d rows, expected %d' % (reader, n, len(self.expected)))
        for i, (row, want_row) in enumerate(zip(rows, self.expected)):
            for j, ((got, is_null), want) in enumerate(zip(row, want_row)):
                t = self.types[j]
                if want is None:
                    if is_null is False or (is_null is None and null_known):
                        self.problems.append('%s row %d field %d: %r, expected null' % (reader, i, j, got))
                    continue
                if is_null is None and got is None:
                    continue  # a reader whose null layout differs said null: not its call
                if is_null:
                    self.problems.append('%s row %d field %d: null, expected %r' % (reader, i, j, want))
                    continue
                try:
                    ok = self.same(t, want, got, reader, j)
                except Exception as e:  # a value the reader could not give
                    ok = False
                    got = '%r (%s)' % (got, e)
                if not ok:
                    self.problems.append('%s row %d field %d (%s): %r, expected %r' % (reader, i, j, t, got, want))
        if not any(p.startswith(reader) for p in self.problems) and not self.quiet:
            print('OK %s %d' % (reader, n))


def main():
    args = [a for a in sys.argv[1:] if a != '--prefix']
    prefix = '--prefix' in sys.argv
    failed = False
    for k in range(0, len(args), 2):
        failed = not check_table(args[k], json.load(open(args[k + 1])), prefix, len(args) > 2) or failed
    sys.exit(1 if failed else 0)


def check_table(path, table_def, prefix, quiet):
    types = table_def['types']
    fields = header_fields(path)
    checker = Checker(types, table_def['rows'], prefix, [f['dec'] for f in fields])
    checker.quiet = quiet
    memo = os.path.splitext(path)[0] + '.fpt'
    has_memo = any(f['type'] == 'M' for f in fields)

    # dbfread, with VFP's null bits decoded from the raw _NullFlags bytes.
    try:
        import dbfread
        # dbfread wants a memo file for B (double) fields too, which VFP does not make.
        table = dbfread.DBF(path, encoding='cp1252', char_decode_errors='strict',
                            ignore_missing_memofile=not has_memo)
        rows = []
        for rec in table:
            flags = rec.get('_NullFlags', b'')
            flags = int.from_bytes(flags, 'little') if flags else 0
            row = []
            for f in fields:
                is_null = f['bit'] is not None and bool(flags >> f['bit'] & 1)
                row.append((rec[f['name']], is_null))
            rows.append(row)
        checker.check('dbfread', rows, True)
    except Exception as e:
        checker.problems.append('dbfread failed: %r' % e)

    # python-dbf: its null bit for field k is bit k; it agrees with VFP's layout only for
    # fields whose predecessors all accept nulls.
    try:
        import dbf
        table = dbf.Table(path)
        table.open(dbf.READ_ONLY)
        rows = []
        agrees = []
        ok_so_far = True
        for f in fields:
            ok_so_far = ok_so_far and f['bit'] is not None
            agrees.append(ok_so_far)
        for rec in table:
            row = []
            for k, f in enumerate(fields):
                value = rec[k]
                if value is dbf.Null:
                    value = None
                if value is None and not agrees[k]:
                    row.append((value, None))  # its own layout speaks here
                elif agrees[k] or f['bit'] is None:
                    row.append((value, value is None))
                else:
                    row.append((value, None))
            rows.append(row)
        table.close()
        checker.check('python-dbf', rows, False)
    except Exception as e:
        checker.problems.append('python-dbf failed: %r' % e)

    # pgdbf: COPY lines, tab separated, \N for null; nulls unknown to it.
    try:
        cmd = ['pgdbf', '-s', 'cp1252', '-C', '-D', '-T']
        if has_memo:
            cmd += ['-m', memo]
        out = subprocess.run(cmd + [path], capture_output=True, check=True).stdout.decode('utf-8')
        rows = []
        for line in out.split('FROM STDIN\n', 1)[1].split('\n'):
            if line == '\\.':
                break
            cells = line.split('\t')
            rows.append([(None if c == '\\N' else c.replace('\\\\', '\\'), None) for c in cells])
        checker.check('pgdbf', rows, False)
    except Exception as e:
        checker.problems.append('pgdbf failed: %r' % e)

    if checker.problems:
        print('== ' + path)
    for p in checker.problems[:40]:
        print(p)
    return not checker.problems


if __name__ == '__main__':
    main()
