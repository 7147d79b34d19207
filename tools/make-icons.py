#!/usr/bin/env python3
"""Draws the program's icon (two overlapping sheets, the front one marked with an equals sign:
"the same file twice") and writes res/app.ico (16x16 and 32x32) and res/app_small.ico (16x16),
32 bits per pixel. Run it again after changing the picture; the .ico files are committed."""
import os
import struct

def draw(size):
    s = size / 16.0
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def rect(x0, y0, x1, y1, colour):
        for y in range(int(round(y0 * s)), int(round(y1 * s))):
            for x in range(int(round(x0 * s)), int(round(x1 * s))):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = colour

    border, back, front, mark = (40, 60, 110, 255), (150, 175, 220, 255), (255, 255, 255, 255), (20, 140, 60, 255)
    rect(1, 1, 11, 13, border)        # back sheet
    rect(2, 2, 10, 12, back)
    rect(5, 3, 15, 15, border)        # front sheet
    rect(6, 4, 14, 14, front)
    rect(7.5, 6.5, 12.5, 8, mark)     # equals sign
    rect(7.5, 10, 12.5, 11.5, mark)
    return px

def image(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b''.join(bytes(b for (r, g, bl, a) in px[y] for b in (bl, g, r, a)) for y in reversed(range(size)))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # transparency comes from the alpha channel
    return header + rows + mask

def write_ico(path, sizes):
    images = [image(n) for n in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))

res = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'res')
write_ico(os.path.join(res, 'app.ico'), [16, 32])
write_ico(os.path.join(res, 'app_small.ico'), [16])
