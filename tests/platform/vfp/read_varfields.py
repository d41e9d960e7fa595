#!/usr/bin/python3
"""Reads a Visual FoxPro table from the published file layout alone (the VFP 9 help's
"Table File Structure" and "Memo File Structure"), for the field types the other readers
here do not know: V (Varchar), Q (Varbinary) and W (Blob), with I, C and the null flags.

    read_varfields.py TABLE.dbf

Prints JSON: {"version": n, "fields": [{"name", "type", "width", "flags", "next", "step"}],
"rows": [[value, ...], ...]} with null as null, V and C as text (cp1252, C without its
trailing blanks), Q and W as lower-case hex, I as a number, any other type as "?".
Deleted records are left out.

_NullFlags: one bit per V or Q field (set when the value is shorter than the field: its
length is then the field's last byte), then, for a field that accepts nulls, its null bit;
in field order, least significant bit first.
"""
import json
import os
import struct
import sys


def main(path):
    data = open(path, 'rb').read()
    count, header_len, record_len = struct.unpack('<IHH', data[4:12])
    fields, pos, offset, bit = [], 32, 1, 0
    while data[pos] != 0x0D:
        d = data[pos:pos + 32]
        f = {'name': d[:11].split(b'\0')[0].decode('ascii'), 'type': chr(d[11]), 'width': d[16], 'flags': d[18],
             'next': struct.unpack('<i', d[19:23])[0], 'step': d[23], 'offset': offset}
        offset += f['width']
        if f['type'] in 'VQ':
            f['varbit'], bit = bit, bit + 1
        if f['flags'] & 0x02:
            f['nullbit'], bit = bit, bit + 1
        fields.append(f)
        pos += 32
    flags_field = next((f for f in fields if f['type'] == '0'), None)
    user = [f for f in fields if f['type'] != '0']
    memo = None
    if any(f['type'] in 'MWG' for f in user):
        memo = open(os.path.splitext(path)[0] + '.fpt', 'rb').read()
    rows = []
    for k in range(count):
        rec = data[header_len + k * record_len:header_len + (k + 1) * record_len]
        if rec[0:1] == b'*':
            continue
        flags = 0
        if flags_field:
            flags = int.from_bytes(rec[flags_field['offset']:flags_field['offset'] + flags_field['width']], 'little')
        rows.append([value(f, rec, flags, memo) for f in user])
    for f in fields:
        f.pop('offset')
    print(json.dumps({'version': data[0], 'fields': fields, 'rows': rows}))


def value(f, rec, flags, memo):
    if 'nullbit' in f and flags >> f['nullbit'] & 1:
        return None
    raw = rec[f['offset']:f['offset'] + f['width']]
    if f['type'] in 'VQ':
        if flags >> f['varbit'] & 1:
            raw = raw[:raw[-1]]
        return raw.decode('cp1252') if f['type'] == 'V' else raw.hex()
    if f['type'] == 'C':
        return raw.decode('cp1252').rstrip(' ')
    if f['type'] == 'I':
        return struct.unpack('<i', raw)[0]
    if f['type'] == 'W':
        block = struct.unpack('<I', raw)[0]
        if block == 0:
            return ''
        size = struct.unpack('>H', memo[6:8])[0]
        length = struct.unpack('>I', memo[block * size + 4:block * size + 8])[0]
        return memo[block * size + 8:block * size + 8 + length].hex()
    return '?'  # a type this reader does not decode


if __name__ == '__main__':
    main(sys.argv[1])
