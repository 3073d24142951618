#!/usr/bin/env python3
"""Prints the file offset and length of an installer's payload (the zlib stream).

Usage: payload_span.py INSTALLER COMPRESSED_SIZE

The package is "PLNSETUP", a 32-bit little-endian manifest length, the manifest and the payload;
the payload's length comes from `plinth-pack inspect`, which reads the resource properly.
"""
import struct
import sys


def main():
    data = open(sys.argv[1], "rb").read()
    length = int(sys.argv[2])
    start = 0
    while True:
        at = data.find(b"PLNSETUP", start)
        if at < 0:
            print("no package found", file=sys.stderr)
            return 1
        (manifest_length,) = struct.unpack_from("<I", data, at + 8)
        payload = at + 12 + manifest_length
        # A zlib header (CMF 0x78, check bits) where the payload should begin.
        if payload + 2 <= len(data) and data[payload] == 0x78 and \
                ((data[payload] << 8) | data[payload + 1]) % 31 == 0:
            print(payload, length)
            return 0
        start = at + 1


if __name__ == "__main__":
    sys.exit(main())
