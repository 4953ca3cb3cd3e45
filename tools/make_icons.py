#!/usr/bin/env python3
"""Draws defprinter's icon images (a small printer) and writes them as the
Windows resources want them.

  tools/make_icons.py        rewrites resources/icons/

Writes one raw icon image per resource id (30001: 32x32 in 2 colours,
30002: 32x32 in 16 colours, 30003: 16x16 in 16 colours), the icon group
directory that names them (group 1), and defprinter.ico holding all three
for viewing. The output is committed; run this after changing a drawing.
"""

import os
import struct

# The 16 colours of the standard Windows palette, as (red, green, blue).
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
       (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
       (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, SILVER, GREY, LIME, WHITE, NAVY = 0, 7, 8, 10, 15, 4
CLEAR = None


def canvas(size):
    return [[CLEAR] * size for _ in range(size)]


def fill(image, x0, y0, x1, y1, colour):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            image[y][x] = colour


def box(image, x0, y0, x1, y1, inside, edge=BLACK):
    fill(image, x0, y0, x1, y1, edge)
    fill(image, x0 + 1, y0 + 1, x1 - 1, y1 - 1, inside)


def printer32():
    image = canvas(32)
    box(image, 9, 2, 22, 12, WHITE)              # the sheet waiting on top
    for y in (5, 7, 9):
        fill(image, 11, y, 20, y, NAVY)           # lines of text on it
    box(image, 2, 11, 29, 23, SILVER)             # the body
    fill(image, 3, 22, 28, 22, GREY)              # its shadowed lower edge
    fill(image, 6, 15, 25, 15, BLACK)             # the paper slot
    box(image, 24, 18, 26, 20, LIME)              # the power light
    box(image, 7, 23, 24, 29, WHITE)              # the printed page coming out
    for y in (25, 27):
        fill(image, 9, y, 22, y, NAVY)
    return image


def printer16():
    image = canvas(16)
    box(image, 4, 1, 11, 6, WHITE)
    fill(image, 6, 3, 9, 3, NAVY)
    box(image, 1, 6, 14, 11, SILVER)
    fill(image, 3, 8, 12, 8, BLACK)
    image[10][12] = LIME
    box(image, 3, 11, 12, 14, WHITE)
    fill(image, 5, 12, 10, 12, NAVY)
    return image


def monochrome(image):
    """The same drawing in black and white: light colours white, dark black."""
    light = {WHITE, SILVER, LIME}
    return [[CLEAR if c is CLEAR else (1 if c in light else 0) for c in row] for row in image]


def dib(image, bits):
    """A Windows icon image: header, palette, colour bits, transparency mask."""
    size = len(image)
    palette = [(0, 0, 0), (255, 255, 255)] if bits == 1 else VGA
    stride = ((size * bits + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(image):  # bottom-up
        line = 0
        mask_line = 0
        for x, c in enumerate(row):
            line = (line << bits) | (0 if c is CLEAR else c)
            mask_line = (mask_line << 1) | (1 if c is CLEAR else 0)
        colour += (line << (stride * 8 - size * bits)).to_bytes(stride, 'big')
        mask += (mask_line << (mask_stride * 8 - size)).to_bytes(mask_stride, 'big')
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, bits, 0,
                         len(colour) + len(mask), 0, 0, 0, 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    return header + table + bytes(colour) + bytes(mask)


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'resources', 'icons')
    os.makedirs(out, exist_ok=True)
    images = [(30001, 32, 1, dib(monochrome(printer32()), 1)),
              (30002, 32, 4, dib(printer32(), 4)),
              (30003, 16, 4, dib(printer16(), 4))]
    group = struct.pack('<HHH', 0, 1, len(images))
    ico = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for ident, size, bits, data in images:
        with open(os.path.join(out, '%d.bin' % ident), 'wb') as f:
            f.write(data)
        colours = 1 << bits
        group += struct.pack('<BBBBHHIH', size, size, colours, 0, 1, bits, len(data), ident)
        ico += struct.pack('<BBBBHHII', size, size, colours, 0, 1, bits, len(data), offset)
        offset += len(data)
    with open(os.path.join(out, 'group1.bin'), 'wb') as f:
        f.write(group)
    with open(os.path.join(out, 'defprinter.ico'), 'wb') as f:
        f.write(ico + b''.join(data for _, _, _, data in images))


if __name__ == '__main__':
    main()
