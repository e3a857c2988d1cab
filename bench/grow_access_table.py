#!/usr/bin/env python3
"""Grows a Jet 4 file's largest table by copies of its data pages.

Usage: bench/grow_access_table.py IN.mdb OUT.mdb MEGABYTES

The data pages of the table that owns the most of them are appended again and
again until the file has about MEGABYTES, and each copy is marked in the
table's usage map (a map by reference: one bitmap page per 32,736 pages), so
the table holds its rows that many times. For the memory figures of the Access
reader (bench/memory_figures.sh reads such a file).
"""
import struct
import sys

PAGE = 4096
src, dst, megabytes = sys.argv[1], sys.argv[2], int(sys.argv[3])
data = bytearray(open(src, "rb").read())
pages = len(data) // PAGE
owners = {}
for p in range(1, pages):
    if data[p * PAGE] == 1:
        owner = struct.unpack_from("<I", data, p * PAGE + 4)[0]
        owners.setdefault(owner, []).append(p)
table = max(owners, key=lambda o: len(owners[o]))
copies = owners[table]
tdef = table * PAGE
map_row = struct.unpack_from("<I", data, tdef + 55)[0]
map_page, row = map_row >> 8, map_row & 0xFF
start = struct.unpack_from("<H", data, map_page * PAGE + 14 + 2 * row)[0] & 0x1FFF
end = PAGE if row == 0 else struct.unpack_from("<H", data, map_page * PAGE + 14 + 2 * row - 2)[0] & 0x1FFF
usage = map_page * PAGE + start
if data[usage] != 1:
    sys.exit("the table's usage map is inline; this tool needs one by reference")
per_bitmap = (PAGE - 4) * 8
target = megabytes * 1024 * 1024 // PAGE
while len(data) // PAGE + len(copies) <= target:
    for p in copies:
        new = len(data) // PAGE
        data += data[p * PAGE:(p + 1) * PAGE]
        entry = new // per_bitmap
        if 1 + 4 * entry + 4 > end - start:
            sys.exit("the usage map has no entry for page %d" % new)
        bitmap = struct.unpack_from("<I", data, usage + 1 + 4 * entry)[0]
        if bitmap == 0:
            sys.exit("the usage map has no bitmap page for page %d" % new)
        bit = new % per_bitmap
        data[bitmap * PAGE + 4 + bit // 8] |= 1 << (bit % 8)
open(dst, "wb").write(data)
print("%s: %d pages, table at page %d grown by %d-page copies" % (dst, len(data) // PAGE, table, len(copies)))
