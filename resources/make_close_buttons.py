#!/usr/bin/env python3
"""Draws the six 18 x 18 close-button pictures (RGBA PNG) of the overlay search edit.

Button_Close_10_*: the flat look of Windows 8 and later (a thin cross, a square tint on hover
and press). Button_Close_7_*: the Windows 7 look (a rounded, glossy plate with a bolder cross).
Every pixel is supersampled 8 x 8 so edges are anti-aliased; only the standard library is used.

    python3 resources/make_close_buttons.py [output-folder]
"""
import math
import os
import struct
import sys
import zlib

SIZE = 18
SS = 8  # samples per axis per pixel


def write_png(path, rows):
    raw = b"".join(b"\x00" + bytes(v for px in row for v in px) for row in rows)

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def over(dst, src):
    """Composites straight-alpha src (r, g, b, a in 0..1) over dst."""
    sr, sg, sb, sa = src
    dr, dg, db, da = dst
    oa = sa + da * (1 - sa)
    if oa <= 0:
        return (0.0, 0.0, 0.0, 0.0)
    return tuple((s * sa + d * da * (1 - sa)) / oa for s, d in ((sr, dr), (sg, dg), (sb, db))) + (oa,)


def seg_dist(px, py, ax, ay, bx, by):
    vx, vy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * vx + (py - ay) * vy) / (vx * vx + vy * vy)))
    return math.hypot(px - (ax + t * vx), py - (ay + t * vy))


def in_round_rect(x, y, l, t, r, b, rad):
    cx = min(max(x, l + rad), r - rad)
    cy = min(max(y, t + rad), b - rad)
    return l <= x <= r and t <= y <= b and math.hypot(x - cx, y - cy) <= rad


def render(layers):
    """layers: functions (x, y) -> straight RGBA tuple in 0..1 or None, painted in order."""
    rows = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    x = px + (sx + 0.5) / SS
                    y = py + (sy + 0.5) / SS
                    c = (0.0, 0.0, 0.0, 0.0)
                    for layer in layers:
                        s = layer(x, y)
                        if s:
                            c = over(c, s)
                    # Average premultiplied, so transparent samples do not darken edges.
                    acc[0] += c[0] * c[3]
                    acc[1] += c[1] * c[3]
                    acc[2] += c[2] * c[3]
                    acc[3] += c[3]
            n = SS * SS
            a = acc[3] / n
            if a > 0:
                rgb = [acc[i] / n / a for i in range(3)]
            else:
                rgb = [0.0, 0.0, 0.0]
            row.append(tuple(int(round(max(0.0, min(1.0, v)) * 255)) for v in rgb + [a]))
        rows.append(row)
    return rows


def rgb(hexcolor, alpha=1.0):
    return ((hexcolor >> 16 & 255) / 255, (hexcolor >> 8 & 255) / 255, (hexcolor & 255) / 255, alpha)


def cross(color, half, width, cx=9.0, cy=9.0):
    def layer(x, y):
        d = min(seg_dist(x, y, cx - half, cy - half, cx + half, cy + half),
                seg_dist(x, y, cx - half, cy + half, cx + half, cy - half))
        return color if d <= width / 2 else None
    return layer


def flat_square(color):
    def layer(x, y):
        return color if 1 <= x <= 17 and 1 <= y <= 17 else None
    return layer


def glossy_plate(top, bottom, border, gloss_alpha):
    def layer(x, y):
        if not in_round_rect(x, y, 1, 1, 17, 17, 3.5):
            return None
        if not in_round_rect(x, y, 2, 2, 16, 16, 2.5):
            return border
        t = (y - 2) / 14
        c = tuple(top[i] * (1 - t) + bottom[i] * t for i in range(3)) + (1.0,)
        if y < 9:  # the glass highlight over the upper half
            c = over(c, (1.0, 1.0, 1.0, gloss_alpha))
        return c
    return layer


def pictures():
    grey = rgb(0x5F5F5F)
    dark = rgb(0x1E1E1E)
    yield "Button_Close_10_Normal", [cross(grey, 3.5, 1.2)]
    yield "Button_Close_10_Over", [flat_square(rgb(0xE5F3FF)), cross(dark, 3.5, 1.2)]
    yield "Button_Close_10_Click", [flat_square(rgb(0xCCE8FF)), cross(dark, 3.5, 1.2)]

    blue = rgb(0x3A5E8C)
    shadow = rgb(0xFFFFFF, 0.8)
    yield "Button_Close_7_Normal", [cross(shadow, 3.5, 2.2, 9.0, 9.6), cross(blue, 3.5, 1.8)]
    yield "Button_Close_7_Over", [
        glossy_plate(rgb(0xEAF6FD), rgb(0xA7D9F5), rgb(0x3C7FB1), 0.45),
        cross(shadow, 3.5, 2.2, 9.0, 9.6), cross(rgb(0x1C4B7A), 3.5, 1.8)]
    yield "Button_Close_7_Click", [
        glossy_plate(rgb(0xC4E5F6), rgb(0x6DB8E3), rgb(0x2C628B), 0.25),
        cross(rgb(0x0F3456), 3.5, 1.8, 9.4, 9.4)]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))
    for name, layers in pictures():
        write_png(os.path.join(out, name + ".png"), render(layers))


if __name__ == "__main__":
    main()
