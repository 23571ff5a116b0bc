#!/usr/bin/env python3
"""Seals the cache tuner's executable for its self-check: appends a trailer of 12 bytes,
"QSEL", the length of the bytes before it and their CRC-32 (IEEE 802.3), both
little-endian. An executable that is already sealed is sealed anew over its own bytes.

    spd-seal.py <spd.exe>
"""
import struct
import sys
import zlib

MAGIC = b"QSEL"


def main(path):
    with open(path, "rb") as f:
        data = f.read()
    if len(data) >= 12 and data[-12:-8] == MAGIC and \
            struct.unpack("<I", data[-8:-4])[0] == len(data) - 12:
        data = data[:-12]
    seal = MAGIC + struct.pack("<II", len(data), zlib.crc32(data) & 0xFFFFFFFF)
    with open(path, "wb") as f:
        f.write(data + seal)
    return 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.stderr.write(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1]))
