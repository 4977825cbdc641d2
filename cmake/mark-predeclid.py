#!/usr/bin/env python3
"""Marks the application object class of a type library as predeclared.

widl has no attribute for TYPEFLAG_FPREDECLID, which a script host needs to
expose the application object by its class name. This sets the flag on every
class that widl marked as an application object (TYPEFLAG_FAPPOBJECT), in the
type information table of the binary (MSFT) library.

usage: mark-predeclid.py <library.tlb>
"""
import struct
import sys

TKIND_COCLASS = 5
TYPEFLAG_FAPPOBJECT = 0x01
TYPEFLAG_FPREDECLID = 0x08
HEADER_SIZE = 0x54
HELPDLL_FLAG = 0x100
TYPEINFO_SIZE = 0x64
FLAGS_AT = 0x30


def main():
    path = sys.argv[1]
    data = bytearray(open(path, "rb").read())
    if data[:4] != b"MSFT":
        sys.exit(f"{path}: not an MSFT type library")
    varflags, = struct.unpack_from("<i", data, 0x14)
    count, = struct.unpack_from("<i", data, 0x20)
    at = HEADER_SIZE + (4 if varflags & HELPDLL_FLAG else 0) + 4 * count
    table, length = struct.unpack_from("<ii", data, at)  # first segment: type information
    marked = 0
    for entry in range(table, table + length, TYPEINFO_SIZE):
        kind, = struct.unpack_from("<i", data, entry)
        flags, = struct.unpack_from("<i", data, entry + FLAGS_AT)
        if kind & 0xF == TKIND_COCLASS and flags & TYPEFLAG_FAPPOBJECT:
            struct.pack_into("<i", data, entry + FLAGS_AT, flags | TYPEFLAG_FPREDECLID)
            marked += 1
    if marked != 1:
        sys.exit(f"{path}: expected one application object class, found {marked}")
    open(path, "wb").write(data)


if __name__ == "__main__":
    main()
