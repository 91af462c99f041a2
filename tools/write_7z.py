#!/usr/bin/env python3
"""Writes small .7z archives with the Copy coder and names chosen byte by byte,
including names 7-Zip itself refuses to store: the hostile cases of the
extraction tests.

Usage: write_7z.py OUT.7z ENTRY...
Each ENTRY is "f:NAME=CONTENT" (a file), "d:NAME" (a folder) or "e:NAME" (an
empty file). NAME is Python string-literal text, so "\\u015c" or "\\x01" work.
With the single ENTRY "nonames" the archive holds one file and no name table.
"""
import binascii
import struct
import sys


def number(value):
    """7z's variable-length number: leading 1 bits of the first byte count the
    extra little-endian bytes."""
    for extra in range(8):
        if value < (1 << (7 * (extra + 1))):
            first = (0xFF << (8 - extra)) & 0xFF
            return bytes([first | (value >> (8 * extra))]) + (
                value & ((1 << (8 * extra)) - 1)).to_bytes(extra, "little")
    return b"\xff" + value.to_bytes(8, "little")


def bits(flags):
    out = bytearray((len(flags) + 7) // 8)
    for i, flag in enumerate(flags):
        if flag:
            out[i // 8] |= 0x80 >> (i % 8)
    return bytes(out)


def prop(kind, body):
    return bytes([kind]) + number(len(body)) + body


def build(entries, with_names=True):
    """entries: list of (name, kind, data) with kind "f", "d" or "e"."""
    streams = [data for _, kind, data in entries if kind == "f"]
    header = bytearray([0x01])  # Header
    if streams:
        header += b"\x04"  # MainStreamsInfo
        header += b"\x06" + number(0) + number(len(streams))  # PackInfo
        header += b"\x09" + b"".join(number(len(s)) for s in streams) + b"\x00"
        header += b"\x07\x0b" + number(len(streams)) + b"\x00"  # UnpackInfo, Folder
        header += b"\x01\x01\x00" * len(streams)  # one simple Copy coder each
        header += b"\x0c" + b"".join(number(len(s)) for s in streams)
        header += b"\x0a\x01" + b"".join(
            struct.pack("<I", binascii.crc32(s) & 0xFFFFFFFF) for s in streams)
        header += b"\x00\x00"  # end UnpackInfo, end MainStreamsInfo
    header += b"\x05" + number(len(entries))  # FilesInfo
    empty = [kind != "f" for _, kind, _ in entries]
    if any(empty):
        header += prop(0x0E, bits(empty))
        header += prop(0x0F, bits([kind == "e" for _, kind, _ in entries if kind != "f"]))
    if with_names:
        names = b"".join(name.encode("utf-16-le", "surrogatepass") + b"\x00\x00"
                         for name, _, _ in entries)
        header += prop(0x11, b"\x00" + names)
    header += b"\x00\x00"  # end FilesInfo, end Header

    packed = b"".join(streams)
    start = struct.pack("<QQI", len(packed), len(header),
                        binascii.crc32(bytes(header)) & 0xFFFFFFFF)
    signature = b"7z\xbc\xaf\x27\x1c\x00\x04"
    return (signature + struct.pack("<I", binascii.crc32(start) & 0xFFFFFFFF) + start
            + packed + bytes(header))


def parse(entry):
    kind, rest = entry.split(":", 1)
    name, _, content = rest.partition("=")
    decode = lambda text: text.encode("latin-1", "backslashreplace").decode("unicode_escape")
    return decode(name), kind, decode(content).encode("latin-1")


def main():
    out, entries = sys.argv[1], sys.argv[2:]
    if entries == ["nonames"]:
        data = build([("", "f", b"no name here")], with_names=False)
    else:
        data = build([parse(entry) for entry in entries])
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
