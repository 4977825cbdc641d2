#!/usr/bin/env python3
"""Mends two things widl leaves wrong in the binary (MSFT) type library.

1. widl has no attribute for TYPEFLAG_FPREDECLID, which a script host needs to
   expose the application object by its class name: the flag is set on the
   class that widl marked as an application object (TYPEFLAG_FAPPOBJECT).
2. widl 7.0 writes the last byte of the library's own identifier (the first
   entry of the identifier table) wrong for this library, so the system
   would register it under an identifier nothing asks for: the entry is
   written again from the identifier the interface description gives.

usage: fix-typelib.py <library.tlb> <library identifier>
"""
import struct
import sys
import uuid

TKIND_COCLASS = 5
TYPEFLAG_FAPPOBJECT = 0x01
TYPEFLAG_FPREDECLID = 0x08
HEADER_SIZE = 0x54
HELPDLL_FLAG = 0x100
TYPEINFO_SIZE = 0x64
FLAGS_AT = 0x30
SEGMENT_SIZE = 16
GUID_SEGMENT = 5


def main():
    path, library = sys.argv[1], uuid.UUID(sys.argv[2])
    data = bytearray(open(path, "rb").read())
    if data[:4] != b"MSFT":
        sys.exit(f"{path}: not an MSFT type library")
    varflags, = struct.unpack_from("<i", data, 0x14)
    count, = struct.unpack_from("<i", data, 0x20)
    library_guid, = struct.unpack_from("<i", data, 0x08)  # offset in the identifier table
    segments = HEADER_SIZE + (4 if varflags & HELPDLL_FLAG else 0) + 4 * count

    table, length = struct.unpack_from("<ii", data, segments)  # type information
    marked = 0
    for entry in range(table, table + length, TYPEINFO_SIZE):
        kind, = struct.unpack_from("<i", data, entry)
        flags, = struct.unpack_from("<i", data, entry + FLAGS_AT)
        if kind & 0xF == TKIND_COCLASS and flags & TYPEFLAG_FAPPOBJECT:
            struct.pack_into("<i", data, entry + FLAGS_AT, flags | TYPEFLAG_FPREDECLID)
            marked += 1
    if marked != 1:
        sys.exit(f"{path}: expected one application object class, found {marked}")

    guids, = struct.unpack_from("<i", data, segments + GUID_SEGMENT * SEGMENT_SIZE)
    at = guids + library_guid
    if data[at:at + 12] != library.bytes_le[:12]:
        sys.exit(f"{path}: the library's identifier is not where it should be")
    data[at:at + 16] = library.bytes_le
    open(path, "wb").write(data)


if __name__ == "__main__":
    main()
