#!/usr/bin/env python3
"""Gives the type library widl wrote (MSFT format) what widl cannot write.

    typelib_names.py IN.tlb OUT.tlb

- The detail methods' names: widl reads only ASCII identifiers, so the IDL
  names them Detail and WebDetail, stand-ins of exactly the byte length of
  their code page 932 names. Each name entry is rewritten in place (name
  bytes, hash) and moved to the hash bucket of its new hash, so no offset in
  the library changes.
- The event dispinterface __ctlMessage: non-extensible, version 26.0 (widl
  takes neither on a dispinterface).

Names are stored as bytes in the system's ANSI code page, each with the
16-bit hash LHashValOfNameSysA(syskind, lcid, name) for the library's lcid,
the hash clients use to bind a name (ITypeComp::Bind). The hashes below are
those of oleaut32 for lcid 0x409, the lcid widl writes; the type library
test compares every stored hash with the system's LHashValOfNameSysA.
Fails (exit 1) on a library it does not recognise.
"""
import struct
import sys

LCID = 0x409
RENAMES = {
    # stand-in: (code page 932 bytes, hash for LCID)
    b"Detail": ("明細型".encode("cp932"), 0x1A59),
    b"WebDetail": ("WEB明細型".encode("cp932"), 0x3BE3),
}
EVENTS = b"__ctlMessage"
TYPEFLAG_FNONEXTENSIBLE = 0x80
VERSION = 26 | (0 << 16)  # major | minor << 16

HEADER = 0x54            # the fixed header's size
HELPDLL_FLAG = 0x100     # varflags: a help DLL's name follows the header
SEGMENTS = 15
TYPEINFO_SEG, NAMEHASH_SEG, NAME_SEG = 0, 6, 7
NAME_INTRO = 12          # hreftype, next_hash, namelen (length | flags << 8 | hash << 16)
TI_FLAGS, TI_NAME, TI_VERSION = 12 * 4, 13 * 4, 14 * 4  # fields of a type info's base


def fail(message):
    sys.exit("typelib_names.py: " + message)


def u32(data, at):
    return struct.unpack_from("<i", data, at)[0]


def put(data, at, value):
    struct.pack_into("<i", data, at, value)


def layout(data):
    """The type infos' base offsets and the segment directory as (offset, length)."""
    if data[:4] != b"MSFT":
        fail("not an MSFT type library")
    if u32(data, 3 * 4) != LCID:
        fail("lcid 0x%x: the hashes here are for 0x%x" % (u32(data, 3 * 4), LCID))
    count = u32(data, 8 * 4)
    at = HEADER + (4 if u32(data, 5 * 4) & HELPDLL_FLAG else 0)
    infos = [u32(data, at + 4 * i) for i in range(count)]
    at += 4 * count
    segments = [struct.unpack_from("<2i", data, at + 16 * i) for i in range(SEGMENTS)]
    return infos, segments


def names(data, segments):
    """Every name entry as (offset in the name segment, bytes)."""
    base, length = segments[NAME_SEG]
    at, found = 0, []
    while at < length:
        size = u32(data, base + at + 8) & 0xFF
        found.append((at, bytes(data[base + at + NAME_INTRO:base + at + NAME_INTRO + size])))
        at += NAME_INTRO + ((size + 3) & ~3)
    return found


def unlink(data, segments, entry, bucket):
    """Takes the name entry at offset entry out of its hash bucket's chain."""
    table, names_base = segments[NAMEHASH_SEG][0], segments[NAME_SEG][0]
    following = u32(data, names_base + entry + 4)
    at = u32(data, table + 4 * bucket)
    if at == entry:
        put(data, table + 4 * bucket, following)
        return
    while at != -1:
        after = u32(data, names_base + at + 4)
        if after == entry:
            put(data, names_base + at + 4, following)
            return
        at = after
    fail("name entry 0x%x is not in its hash bucket %d" % (entry, bucket))


def rename(data, segments, entry, old, new, hash_value):
    if (len(new) + 3) & ~3 != (len(old) + 3) & ~3:
        fail("%r and its stand-in %r take different room" % (new, old))
    base = segments[NAME_SEG][0] + entry
    intro = u32(data, base + 8) & 0xFFFFFFFF
    unlink(data, segments, entry, (intro >> 16) & 0x7F)
    padded = new + b"\x57" * (((len(new) + 3) & ~3) - len(new))
    data[base + NAME_INTRO:base + NAME_INTRO + len(padded)] = padded
    intro = len(new) | (intro & 0xFF00) | (hash_value << 16)
    struct.pack_into("<I", data, base + 8, intro)
    bucket = segments[NAMEHASH_SEG][0] + 4 * (hash_value & 0x7F)
    put(data, base + 4, u32(data, bucket))
    put(data, bucket, entry)


def main(source, target):
    data = bytearray(open(source, "rb").read())
    infos, segments = layout(data)
    entries = names(data, segments)
    for old, (new, hash_value) in RENAMES.items():
        at = [entry for entry, name in entries if name == old]
        if len(at) != 1:
            fail("the stand-in %r is not in the library once" % old)
        rename(data, segments, at[0], old, new, hash_value)
    events = [entry for entry, name in entries if name == EVENTS]
    info = [i for i in infos
            if events and u32(data, segments[TYPEINFO_SEG][0] + i + TI_NAME) == events[0]]
    if len(info) != 1:
        fail("no type info %r" % EVENTS)
    at = segments[TYPEINFO_SEG][0] + info[0]
    put(data, at + TI_FLAGS, u32(data, at + TI_FLAGS) | TYPEFLAG_FNONEXTENSIBLE)
    put(data, at + TI_VERSION, VERSION)
    open(target, "wb").write(data)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
