#!/usr/bin/env python3
"""Draws the programs' icons (resource 128): a printer glyph, and for the
uninstaller the same printer with a red cross. Writes resources/Installer.ico
and resources/Uninstaller.ico, each with a 32x32 and a 16x16 image in 16
colours (4 bits per pixel with an AND mask), which every Windows version from
2000 on can show.

Usage: python3 tools/make-icon.py [output directory]   (default: resources/)
"""

import os
import struct
import sys

# The palette; index 0 is also what transparent pixels carry in the XOR image.
PALETTE = [
    (0x00, 0x00, 0x00),  # 0 black / transparent
    (0x40, 0x40, 0x48),  # 1 outline
    (0x78, 0x7c, 0x84),  # 2 body shadow
    (0xa8, 0xac, 0xb4),  # 3 body
    (0xd4, 0xd6, 0xdc),  # 4 body light
    (0xff, 0xff, 0xff),  # 5 paper
    (0x90, 0x98, 0xb0),  # 6 paper text
    (0x20, 0xb0, 0x40),  # 7 LED green
    (0xc8, 0x20, 0x20),  # 8 cross red
    (0x80, 0x10, 0x10),  # 9 cross red dark edge
    (0x28, 0x2c, 0x30),  # 10 output slot
]
TRANSPARENT = None
OUTLINE, SHADOW, BODY, LIGHT, PAPER, TEXT, LED, RED, RED_EDGE, SLOT = range(1, 11)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.px = [[TRANSPARENT] * size for _ in range(size)]

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the inclusive rectangle given in 32-unit coordinates."""
        s = self.size / 32.0
        for y in range(self.size):
            for x in range(self.size):
                cx, cy = (x + 0.5) / s, (y + 0.5) / s
                if x0 <= cx < x1 + 1 and y0 <= cy < y1 + 1:
                    self.px[y][x] = colour

    def outline(self, colour, inside):
        """Draws a one-pixel border around every pixel whose colour is in inside."""
        n = self.size
        marks = []
        for y in range(n):
            for x in range(n):
                if self.px[y][x] not in inside:
                    continue
                for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)):
                    nx, ny = x + dx, y + dy
                    if not (0 <= nx < n and 0 <= ny < n) or self.px[ny][nx] not in inside:
                        marks.append((x, y))
                        break
        for x, y in marks:
            self.px[y][x] = colour

    def disc(self, cx, cy, r, colour):
        s = self.size / 32.0
        for y in range(self.size):
            for x in range(self.size):
                px, py = (x + 0.5) / s, (y + 0.5) / s
                if (px - cx) ** 2 + (py - cy) ** 2 <= r * r:
                    self.px[y][x] = colour

    def cross(self, cx, cy, half, width, colour):
        s = self.size / 32.0
        for y in range(self.size):
            for x in range(self.size):
                px, py = (x + 0.5) / s - cx, (y + 0.5) / s - cy
                if abs(px) <= half and abs(py) <= half and (
                        abs(px - py) <= width or abs(px + py) <= width):
                    self.px[y][x] = colour


def draw_printer(c):
    # Sheet fed in at the top, with a few lines of text.
    c.rect(9, 2, 22, 12, PAPER)
    c.outline(OUTLINE, {PAPER})
    # The body: light top face, main block, shadowed base.
    c.rect(2, 12, 29, 14, LIGHT)
    c.rect(2, 15, 29, 22, BODY)
    c.rect(2, 23, 29, 25, SHADOW)
    c.outline(OUTLINE, {LIGHT, BODY, SHADOW})
    c.rect(24, 16, 26, 17, LED)
    # Output slot and the printed sheet coming out of it.
    c.rect(7, 20, 24, 20, SLOT)
    c.rect(8, 21, 23, 29, PAPER)
    c.outline(OUTLINE, {PAPER})
    # Lines of text last, so that the outlines above do not trace them.
    if c.size >= 32:
        for y, end in ((5, 20), (7, 20), (9, 17), (23, 19), (25, 19)):
            c.rect(11 if y < 20 else 10, y, end, y, TEXT)


def draw_cross(c):
    # Centred on a pixel centre so that the diagonals of the X are exact.
    s = c.size / 32.0
    centre = (int(24 * s) + 0.5) / s
    c.disc(centre, centre, 7.5, RED_EDGE)
    c.disc(centre, centre, 6.5, RED)
    c.cross(centre, centre, 3.6 if c.size >= 32 else 4.0, 1.0, PAPER)


def ico_image(c):
    """One icon image: BITMAPINFOHEADER, palette, XOR bits (4 bpp), AND mask."""
    n = c.size
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for r, g, b in
                       PALETTE + [(0, 0, 0)] * (16 - len(PALETTE)))
    xor_rows, and_rows = [], []
    for y in reversed(range(n)):  # bottom-up
        row = c.px[y]
        nibbles = [0 if p is TRANSPARENT else p for p in row]
        xb = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, n, 2))
        xor_rows.append(xb + b"\0" * (-len(xb) % 4))
        bits = 0
        ab = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is TRANSPARENT else 0)
            if i % 8 == 7:
                ab.append(bits)
                bits = 0
        and_rows.append(bytes(ab) + b"\0" * (-len(ab) % 4))
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def write_ico(path, canvases):
    images = [ico_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.size, c.size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


def main():
    outdir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "resources")
    for name, extra in (("Installer.ico", None), ("Uninstaller.ico", draw_cross)):
        canvases = []
        for size in (32, 16):
            c = Canvas(size)
            draw_printer(c)
            if extra:
                extra(c)
            canvases.append(c)
        write_ico(os.path.join(outdir, name), canvases)


if __name__ == "__main__":
    main()
