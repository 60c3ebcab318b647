#!/usr/bin/env python3
"""Draws the tool's icon (a document with trace lines and a magnifier-style ring) as a
32x32 and 16x16 32-bit ICO. Run once; the result is committed as app/res/OvClientTracing.ico."""
import struct
import sys


def draw(size):
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]
    s = size / 32.0
    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), int(y1 * s)):
            for x in range(int(x0 * s), int(x1 * s)):
                px[y][x] = c
    rect(5, 2, 25, 30, (40, 40, 40, 255))        # page outline
    rect(6, 3, 24, 29, (250, 250, 245, 255))     # page
    for i, w in enumerate((14, 10, 16, 12, 8)):
        rect(8, 7 + i * 4, 8 + w, 9 + i * 4, (30, 90, 170, 255))  # trace lines
    cx, cy, r = 22 * s, 22 * s, 7 * s
    for y in range(size):
        for x in range(size):
            d = ((x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2) ** 0.5
            if r - 2 * s <= d <= r:
                px[y][x] = (200, 60, 30, 255)
    return px


def bmp(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b''.join(bytes(b for (r, g, bl, a) in px[y] for b in (bl, g, r, a)) for y in reversed(range(size)))
    mask_row = ((size + 31) // 32) * 4
    return header + rows + b'\0' * (mask_row * size)


def main(out):
    images = [bmp(32), bmp(16)]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip((32, 16), images):
        data += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b''.join(images)
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main(sys.argv[1])
