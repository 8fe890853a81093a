#!/usr/bin/env python3
"""Draws the controller's icons and writes them as .ico files into resources/icons.

The state icons are a rounded square (grey, red, green; blue for the program itself) with two
white diagonal arrows; the shield is the fallback for systems without a stock shield icon. Every
size is rendered from the geometry itself rather than scaled from a bigger bitmap, so the small
tray sizes stay sharp. Python standard library only; run it again after changing the drawing and
commit the .ico files it writes.

    python3 scripts/make-icons.py [--preview DIR]
"""

import argparse
import math
import os
import struct
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64)
SAMPLES = 6  # per axis: 36 coverage samples per pixel

# (top colour, bottom colour, border colour) of the rounded square.
SQUARES = {
    "app": ((0x4A, 0x8C, 0xE8), (0x1D, 0x4F, 0xA6), (0x13, 0x37, 0x78)),
    "grey": ((0x9C, 0xA3, 0xAD), (0x5E, 0x66, 0x71), (0x44, 0x4A, 0x53)),
    "red": ((0xEE, 0x5A, 0x4E), (0xB3, 0x22, 0x1A), (0x80, 0x16, 0x10)),
    "green": ((0x4F, 0xC4, 0x5E), (0x1F, 0x80, 0x31), (0x14, 0x5C, 0x22)),
}


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c0, c1, t):
    return tuple(lerp(x, y, t) for x, y in zip(c0, c1))


def inside_rounded_square(x, y, lo, hi, r):
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def inside_triangle(px, py, a, b, c):
    def side(p0, p1):
        return (p1[0] - p0[0]) * (py - p0[1]) - (p1[1] - p0[1]) * (px - p0[0])

    d0, d1, d2 = side(a, b), side(b, c), side(c, a)
    neg = d0 < 0 or d1 < 0 or d2 < 0
    pos = d0 > 0 or d1 > 0 or d2 > 0
    return not (neg and pos)


def inside_bar(px, py, p0, p1, half_width):
    """A straight shaft with square ends from p0 to p1."""
    dx, dy = p1[0] - p0[0], p1[1] - p0[1]
    length = math.hypot(dx, dy)
    ux, uy = dx / length, dy / length
    along = (px - p0[0]) * ux + (py - p0[1]) * uy
    across = -(px - p0[0]) * uy + (py - p0[1]) * ux
    return 0 <= along <= length and abs(across) <= half_width


def arrow_shapes(s):
    """Two arrows on the rising diagonal, pointing away from each other into the corners.

    The heads are two axis-aligned bars meeting at the tip, snapped to whole pixels, so they
    stay crisp at 16 px where a diagonal triangle turns to mush."""
    w = float(max(2, round(s * 0.12)))  # bar thickness
    h = float(max(4, round(s * 0.29)))  # head bar length
    half_shaft = w * 0.6
    corner = float(max(2, round(s * 0.16)))
    tip = (s - corner, corner)
    gap = s * 0.04
    tail = (s / 2 + gap, s / 2 - gap)
    shapes = []
    for mirror in (False, True):
        t, l = tip, tail
        if mirror:  # point reflection through the centre: the lower arrow points down-left
            t, l = (s - tip[0], s - tip[1]), (s - tail[0], s - tail[1])
        sx = -1.0 if not mirror else 1.0  # direction from the tip back along the head bars
        sy = 1.0 if not mirror else -1.0
        # Horizontal head bar and vertical head bar, each w thick, h long, meeting at the tip.
        x0, x1 = sorted((t[0], t[0] + sx * h))
        y0, y1 = sorted((t[1], t[1] + sy * w))
        shapes.append(("rect", x0, y0, x1, y1))
        x0, x1 = sorted((t[0], t[0] + sx * w))
        y0, y1 = sorted((t[1], t[1] + sy * h))
        shapes.append(("rect", x0, y0, x1, y1))
        inner = (t[0] + sx * w * 0.5, t[1] + sy * w * 0.5)
        shapes.append(("bar", l, inner, half_shaft))
    return shapes


def inside_arrows(x, y, shapes):
    for shape in shapes:
        if shape[0] == "bar" and inside_bar(x, y, shape[1], shape[2], shape[3]):
            return True
        if shape[0] == "rect" and shape[1] <= x <= shape[3] and shape[2] <= y <= shape[4]:
            return True
    return False


def over(dst, src_rgb, src_a):
    """Straight-alpha 'source over destination'."""
    dr, dg, db, da = dst
    out_a = src_a + da * (1 - src_a)
    if out_a <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    rgb = [(s * src_a + d * da * (1 - src_a)) / out_a for s, d in zip(src_rgb, (dr, dg, db))]
    return (rgb[0], rgb[1], rgb[2], out_a)


def render_state_icon(s, colours):
    top, bottom, border = colours
    # Whole-pixel margin and border keep the square's edges crisp at the small sizes.
    margin = float(s // 20)
    lo, hi = margin, s - margin
    radius = s * 0.2
    edge = float(max(1, round(s / 24)))
    arrows = arrow_shapes(s)
    pixels = []
    step = 1.0 / SAMPLES
    for py in range(s):
        row = []
        for px in range(s):
            outer = inner = white = 0
            for sy in range(SAMPLES):
                y = py + (sy + 0.5) * step
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) * step
                    if not inside_rounded_square(x, y, lo, hi, radius):
                        continue
                    outer += 1
                    if inside_rounded_square(x, y, lo + edge, hi - edge, max(0.5, radius - edge)):
                        inner += 1
                    if inside_arrows(x, y, arrows):
                        white += 1
            total = SAMPLES * SAMPLES
            pixel = (0.0, 0.0, 0.0, 0.0)
            if outer:
                pixel = over(pixel, border, outer / total)
            if inner:
                fill = mix(top, bottom, (py + 0.5) / s)
                # The top third carries a faint sheen so the square reads as a button.
                if py < s / 3:
                    fill = mix(fill, (255, 255, 255), 0.12 * (1 - py / (s / 3)))
                pixel = over(pixel, fill, inner / total)
            if white:
                pixel = over(pixel, (255, 255, 255), white / total)
            row.append(pixel)
        pixels.append(row)
    return pixels


def render_shield(s):
    """Our own shield: a gold rim around a two-tone blue field with a white keyhole."""
    pixels = []
    step = 1.0 / SAMPLES
    cx = s / 2.0
    top, shoulder, bottom = s * 0.06, s * 0.55, s * 0.96
    half = s * 0.42
    rim = max(1.0, s / 16.0)

    def inside(x, y, inset):
        if y < top + inset or y > bottom - inset:
            return False
        w = half - inset
        if y <= shoulder:
            return abs(x - cx) <= w
        t = (y - shoulder) / (bottom - inset - shoulder)
        return abs(x - cx) <= w * math.sqrt(max(0.0, 1 - t * t))

    def keyhole(x, y):
        r = s * 0.1
        if (x - cx) ** 2 + (y - s * 0.4) ** 2 <= r * r:
            return True
        return inside_triangle(x, y, (cx, s * 0.42), (cx - s * 0.09, s * 0.7), (cx + s * 0.09, s * 0.7))

    for py in range(s):
        row = []
        for px in range(s):
            outer = left = right = white = 0
            for sy in range(SAMPLES):
                y = py + (sy + 0.5) * step
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) * step
                    if not inside(x, y, 0):
                        continue
                    outer += 1
                    if inside(x, y, rim):
                        if keyhole(x, y):
                            white += 1
                        elif x < cx:
                            left += 1
                        else:
                            right += 1
            total = SAMPLES * SAMPLES
            pixel = (0.0, 0.0, 0.0, 0.0)
            if outer:
                pixel = over(pixel, (0xC8, 0x96, 0x1E), outer / total)
            if left:
                pixel = over(pixel, (0x3D, 0x7E, 0xDB), left / total)
            if right:
                pixel = over(pixel, (0x1A, 0x48, 0x9C), right / total)
            if white:
                pixel = over(pixel, (255, 255, 255), white / total)
            row.append(pixel)
        pixels.append(row)
    return pixels


def to_bytes(pixels):
    return [
        [tuple(int(round(min(255.0, max(0.0, v * (255.0 if i == 3 else 1.0))))) for i, v in
               enumerate(p)) for p in row]
        for row in pixels
    ]


def ico_image(rgba):
    """One 32-bit icon image: BITMAPINFOHEADER, bottom-up BGRA rows, then the AND mask."""
    s = len(rgba)
    xor = bytearray()
    for row in reversed(rgba):
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((s + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rgba):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, s, s * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def write_ico(path, images):
    count = len(images)
    directory = struct.pack("<HHH", 0, 1, count)
    offset = 6 + 16 * count
    body = b""
    for rgba in images:
        data = ico_image(rgba)
        s = len(rgba)
        directory += struct.pack("<BBBBHHII", s % 256, s % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        body += data
    with open(path, "wb") as f:
        f.write(directory + body)


def write_png(path, rgba, scale):
    """An enlarged preview on a checkerboard, for looking at the drawing."""
    s = len(rgba)
    raw = bytearray()
    for y in range(s * scale):
        raw.append(0)
        for x in range(s * scale):
            r, g, b, a = rgba[y // scale][x // scale]
            bg = 235 if ((x // 8) + (y // 8)) % 2 else 200
            a /= 255.0
            raw += bytes(int(round(c * a + bg * (1 - a))) for c in (r, g, b))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

    ihdr = struct.pack(">IIBBBBB", s * scale, s * scale, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw)))
                + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--preview", help="also write enlarged PNG previews into this folder")
    args = parser.parse_args()
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "icons")
    os.makedirs(out, exist_ok=True)
    drawings = {name: (lambda s, c=colours: render_state_icon(s, c)) for name, colours in
                SQUARES.items()}
    drawings["shield"] = render_shield
    for name, draw in drawings.items():
        images = [to_bytes(draw(s)) for s in SIZES]
        write_ico(os.path.join(out, name + ".ico"), images)
        if args.preview:
            os.makedirs(args.preview, exist_ok=True)
            for rgba in images:
                write_png(os.path.join(args.preview, "%s-%d.png" % (name, len(rgba))), rgba,
                          max(1, 256 // len(rgba)))


if __name__ == "__main__":
    main()
