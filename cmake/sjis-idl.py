#!/usr/bin/env python3
"""Writes a Shift_JIS copy of a UTF-8 interface description for widl.

widl keeps the bytes of a help string as they are, and the system reads
them in the ANSI code page: Japanese help strings must reach it in
Shift_JIS. Some Shift_JIS trail bytes are 0x5C, the backslash, which widl's
lexer would take for an escape inside a string: each such trail byte is
doubled.

usage: sjis-idl.py <input.idl> <output.idl>
"""
import sys


def main():
    source, target = sys.argv[1], sys.argv[2]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    out = bytearray()
    for ch in text:
        encoded = ch.encode("cp932")
        out += encoded
        if len(encoded) == 2 and encoded[1] == 0x5C:
            out.append(0x5C)
    with open(target, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
