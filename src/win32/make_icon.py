#!/usr/bin/env python3
"""Writes VXTVannikorde.ico: a page with a red band on a blue tile, 16x16, 32x32 and 48x48,
32-bit colour with alpha. Run once by hand; the .ico is kept in the repository so that the build
needs no image tools."""
import struct
import sys


def pixel(x, y, n):
    """RGBA of the pixel (x, y) of an n x n icon, y from the top."""
    u, v = (x + 0.5) / n, (y + 0.5) / n
    r = 0.16
    # Rounded blue tile.
    cx = min(max(u, r), 1 - r)
    cy = min(max(v, r), 1 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    colour = (0x1E, 0x5A, 0xA8, 255)
    # White page with a folded corner.
    if 0.25 <= u <= 0.75 and 0.14 <= v <= 0.86 and not (u > 0.6 and v < 0.14 + (u - 0.6)):
        colour = (0xFF, 0xFF, 0xFF, 255)
        if 0.25 <= u <= 0.75 and 0.56 <= v <= 0.72:
            colour = (0xD0, 0x22, 0x22, 255)
        elif 0.33 <= u <= 0.67 and any(abs(v - t) < 0.5 / n + 0.015 for t in (0.30, 0.40, 0.80)):
            colour = (0x80, 0x80, 0x80, 255)
    return colour


def image(n):
    rows = []
    for y in range(n - 1, -1, -1):  # bottom-up DIB
        for x in range(n):
            red, green, blue, alpha = pixel(x, y, n)
            rows.append(bytes((blue, green, red, alpha)))
    xor = b"".join(rows)
    mask_row = ((n + 31) // 32) * 4
    mask = bytes(mask_row * n)  # alpha decides; the AND mask is all zero
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + mask


def main(path):
    sizes = (16, 32, 48)
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "VXTVannikorde.ico")
