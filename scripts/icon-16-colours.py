#!/usr/bin/env python3
"""Snaps an RGBA PNG to the 16 colours of the classic Windows palette, each pixel
either opaque or fully transparent, so that icotool can store it as a 4-bit icon
image. Usage: icon-16-colours.py IN.png OUT.png (8-bit RGBA, not interlaced)."""
import struct
import sys
import zlib

# The standard VGA colours every 16-colour Windows icon is drawn in.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def chunks(data):
    pos = 8
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        yield kind, data[pos + 8:pos + 8 + length]
        pos += 12 + length


def read_rgba(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"error: {path} is not a PNG")
    header, idat = None, b""
    for kind, body in chunks(data):
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour != 6 or interlace != 0:
        sys.exit(f"error: {path} is not 8-bit RGBA without interlacing")
    raw = zlib.decompress(idat)
    stride = width * 4
    rows, previous = [], bytearray(stride)
    for y in range(height):
        line = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        kind, row = line[0], bytearray(line[1:])
        for x in range(stride):
            left = row[x - 4] if x >= 4 else 0
            up = previous[x]
            corner = previous[x - 4] if x >= 4 else 0
            if kind == 1:
                row[x] = (row[x] + left) & 0xFF
            elif kind == 2:
                row[x] = (row[x] + up) & 0xFF
            elif kind == 3:
                row[x] = (row[x] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                pred = left if pa <= pb and pa <= pc else up if pb <= pc else corner
                row[x] = (row[x] + pred) & 0xFF
        rows.append(row)
        previous = row
    return width, height, rows


def nearest(rgb):
    return min(PALETTE, key=lambda c: sum((a - b) ** 2 for a, b in zip(c, rgb)))


def write_rgba(path, width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(
            ">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
    raw = b"".join(b"\x00" + bytes(row) for row in rows)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n")
        out.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)))
        out.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        out.write(chunk(b"IEND", b""))


def main():
    width, height, rows = read_rgba(sys.argv[1])
    for row in rows:
        for x in range(0, len(row), 4):
            if row[x + 3] < 128:
                row[x:x + 4] = bytes(4)
            else:
                row[x:x + 3] = bytes(nearest(tuple(row[x:x + 3])))
                row[x + 3] = 255
    write_rgba(sys.argv[2], width, height, rows)


if __name__ == "__main__":
    main()
