#!/usr/bin/env python3
"""Draws the program's artwork: a post lantern beside a letter closed with a wax seal.

One drawing, kept as shapes on a 64 x 64 grid, becomes
  - decrypt/app/app_picture_data.cpp: the program icon (#128, 32 x 32) and the About
    picture (#129, 64 x 64, the same drawing on a night sky) in run-length form, and the
    scalable icon the program registers for the desktop;
  - packaging/quillmar-unsealer.svg, the same scalable icon, installed;
  - packaging/icons/quillmar-unsealer-<size>.png, the same icon as PNG (48, 128, 256).
Run from anywhere, with nothing but the Python standard library:

    python3 decrypt/app/art/make_app_pictures.py

The outputs are committed; rerun this after changing the artwork.
"""
import math
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(ROOT, "deploykit", "art"))
import make_pictures as setup_pictures  # noqa: E402  (the run-length form of the setup pictures)

GRID = 64
INK = 0x5A4A2F        # frame, post, envelope outline
PAPER = 0xF4EFE1
WAX = 0xB23A2B
WAX_EDGE = 0x6E1F16
GLASS = 0xF2C14E
FLAME = 0xFFF2A0
GLOW = 0xFFD870
SKY = (0x0B1A3A, 0x3C6E9E)   # the setup pictures' night sky, top to bottom
STAR = 0xFFF6D0

# Painted in order. Kinds: halo (soft light), circle, ellipse, rrect (rounded rectangle),
# poly (closed, filled) and line (open, stroked with round ends).
SHAPES = [
    ("halo", dict(cx=14, cy=21, r=17, colour=GLOW, alpha=0.55)),
    ("rrect", dict(x=12.5, y=31, w=3, h=27, rx=0.5, fill=INK)),                     # post
    ("rrect", dict(x=9, y=57, w=10, h=4, rx=1, fill=INK)),                          # foot
    ("circle", dict(cx=14, cy=5, r=2, stroke=INK, width=1.5)),                       # ring
    ("poly", dict(points=[(10, 8), (18, 8), (22, 13), (6, 13)], fill=INK)),         # cap
    ("rrect", dict(x=8, y=13, w=12, h=16, rx=1, fill=GLASS, stroke=INK, width=2)),  # glass
    ("ellipse", dict(cx=14, cy=22, rx=2.6, ry=4.2, fill=FLAME)),                     # flame
    ("rrect", dict(x=7, y=28, w=14, h=4, rx=1, fill=INK)),                          # base
    ("rrect", dict(x=23.5, y=27.5, w=37, h=29, rx=3, fill=PAPER, stroke=INK, width=3)),
    ("line", dict(points=[(25.5, 30), (42, 43), (58.5, 30)], stroke=INK, width=3)),  # flap
    ("circle", dict(cx=51, cy=49, r=10, fill=WAX, stroke=WAX_EDGE, width=2)),
    ("rrect", dict(x=47, y=48, w=8, h=6.5, rx=1, fill=PAPER)),                      # lock
    ("line", dict(points=[(48.8, 48)] + [(51 + 2.2 * math.cos(math.pi * k / 8), 45.5 - 2.2 * math.sin(math.pi * k / 8))
                                          for k in range(9)][::-1] + [(53.2, 48)],
                  stroke=PAPER, width=1.6)),                                        # shackle
]


# ---- signed distances on the grid (negative inside) ----

def segment_distance(px, py, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def distance(kind, s, px, py):
    if kind == "circle":
        return math.hypot(px - s["cx"], py - s["cy"]) - s["r"]
    if kind == "ellipse":
        q = math.hypot((px - s["cx"]) / s["rx"], (py - s["cy"]) / s["ry"])
        return (q - 1) * min(s["rx"], s["ry"])
    if kind == "rrect":
        hw, hh, r = s["w"] / 2, s["h"] / 2, s["rx"]
        qx = abs(px - s["x"] - hw) - hw + r
        qy = abs(py - s["y"] - hh) - hh + r
        return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r
    pts = s["points"]
    edges = list(zip(pts, pts[1:] + pts[:1])) if kind == "poly" else list(zip(pts, pts[1:]))
    d = min(segment_distance(px, py, a, b) for a, b in edges)
    if kind == "poly":
        inside = False
        for (ax, ay), (bx, by) in edges:
            if (ay > py) != (by > py) and px < ax + (py - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return -d if inside else d
    return d


def coverage(d, scale):
    """The part of a pixel (scale pixels a grid unit) inside an edge at distance d."""
    return max(0.0, min(1.0, 0.5 - d * scale))


def rgb(c):
    return ((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF)


def over(dst, colour, a):
    """Paints colour with opacity a over dst = [r, g, b, alpha] (straight alpha)."""
    if a <= 0:
        return
    r, g, b = rgb(colour)
    out_a = a + dst[3] * (1 - a)
    for i, c in enumerate((r, g, b)):
        dst[i] = (c * a + dst[i] * dst[3] * (1 - a)) / out_a
    dst[3] = out_a


def render(size, background=None):
    """The drawing at size x size pixels: rows of [r, g, b, alpha] (0-255, 0-1)."""
    scale = size / GRID
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            px, py = (x + 0.5) / scale, (y + 0.5) / scale
            dst = background(x, y) if background else [0.0, 0.0, 0.0, 0.0]
            for kind, s in SHAPES:
                if kind == "halo":
                    t = max(0.0, 1 - math.hypot(px - s["cx"], py - s["cy"]) / s["r"])
                    over(dst, s["colour"], s["alpha"] * t * t)
                    continue
                d = distance(kind, s, px, py)
                if "fill" in s:
                    over(dst, s["fill"], coverage(d, scale))
                if "stroke" in s:
                    over(dst, s["stroke"], coverage(abs(d) - s["width"] / 2, scale))
            row.append(dst)
        rows.append(row)
    return rows


def night_sky(size, stars):
    top, bottom = (rgb(c) for c in SKY)

    def paint(x, y):
        t = y / (size - 1)
        dst = [a + (b - a) * t for a, b in zip(top, bottom)] + [1.0]
        if (x, y) in stars:
            over(dst, STAR, 1.0)
        return dst
    return paint


def opaque(rows):
    """0x00RRGGBB values; the pictures of the program have no transparency."""
    return [[(round(p[0]) << 16) | (round(p[1]) << 8) | round(p[2]) for p in row] for row in rows]


def palette_runs(pixels):
    """At most 256 colours (channels made coarser until they fit) and (count, index) runs."""
    step = 1
    while True:
        snap = [[tuple(min(255, (c >> s & 0xFF) // step * step + step // 2) for s in (16, 8, 0)) for c in row]
                for row in pixels]
        colours = sorted({c for row in snap for c in row})
        if len(colours) <= 256:
            break
        step *= 2
    index = {c: i for i, c in enumerate(colours)}
    return [(r << 16) | (g << 8) | b for r, g, b in colours], setup_pictures.runs([[index[c] for c in row] for row in snap])


def png(rows):
    """An 8-bit RGBA PNG of the rows."""
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for r, g, b, a in row:
            raw += bytes((round(r), round(g), round(b), round(a * 255)))

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))
    header = struct.pack(">IIBBBBB", len(rows[0]), len(rows), 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")


def svg():
    def colour(c):
        return f"#{c:06x}"

    def paint(s):
        out = f' fill="{colour(s["fill"])}"' if "fill" in s else ' fill="none"'
        if "stroke" in s:
            out += f' stroke="{colour(s["stroke"])}" stroke-width="{s["width"]:g}"'
        return out

    def points(s):
        return " ".join(f"{x:.2f}".rstrip("0").rstrip(".") + "," + f"{y:.2f}".rstrip("0").rstrip(".")
                        for x, y in s["points"])
    lines = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{GRID}" height="{GRID}" viewBox="0 0 {GRID} {GRID}">']
    for n, (kind, s) in enumerate(SHAPES):
        if kind == "halo":
            # In <defs>: SVG Tiny readers (the toolkit's among them) take paint servers only there.
            lines += ['  <defs>',
                      f'    <radialGradient id="halo{n}">',
                      f'      <stop offset="0" stop-color="{colour(s["colour"])}" stop-opacity="{s["alpha"]:g}"/>',
                      f'      <stop offset="0.5" stop-color="{colour(s["colour"])}" stop-opacity="{s["alpha"] / 4:g}"/>',
                      f'      <stop offset="1" stop-color="{colour(s["colour"])}" stop-opacity="0"/>',
                      '    </radialGradient>',
                      '  </defs>',
                      f'  <circle cx="{s["cx"]:g}" cy="{s["cy"]:g}" r="{s["r"]:g}" fill="url(#halo{n})"/>']
        elif kind == "circle":
            lines.append(f'  <circle cx="{s["cx"]:g}" cy="{s["cy"]:g}" r="{s["r"]:g}"{paint(s)}/>')
        elif kind == "ellipse":
            lines.append(f'  <ellipse cx="{s["cx"]:g}" cy="{s["cy"]:g}" rx="{s["rx"]:g}" ry="{s["ry"]:g}"{paint(s)}/>')
        elif kind == "rrect":
            lines.append(f'  <rect x="{s["x"]:g}" y="{s["y"]:g}" width="{s["w"]:g}" height="{s["h"]:g}" '
                         f'rx="{s["rx"]:g}"{paint(s)}/>')
        elif kind == "poly":
            lines.append(f'  <polygon points="{points(s)}"{paint(s)}/>')
        else:
            lines.append(f'  <polyline points="{points(s)}"{paint(s)} stroke-linecap="round" stroke-linejoin="round"/>')
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


def picture_source(pictures, icon_svg):
    parts = ["// Generated by decrypt/app/art/make_app_pictures.py; edit the script, not this file.",
             '#include "decrypt/app/app_pictures.h"', "", "namespace {"]
    entries = []
    for name, ident, size, pixels in pictures:
        pal, data = palette_runs(pixels)
        parts.append(f"const DWORD kPalette{ident}[{len(pal)}] = {{")
        for k in range(0, len(pal), 8):
            parts.append("    " + ", ".join(f"0x{c:06X}" for c in pal[k:k + 8]) + ",")
        parts.append("};")
        parts.append(f"const BYTE kRuns{ident}[{len(data)}] = {{")
        for k in range(0, len(data), 24):
            parts.append("    " + ", ".join(str(b) for b in data[k:k + 24]) + ",")
        parts.append("};")
        entries.append(f'    {{"{name}", {size}, {size}, kPalette{ident}, sizeof kPalette{ident} / sizeof kPalette{ident}[0], '
                       f"kRuns{ident}, sizeof kRuns{ident}}},")
    parts += ["}  // namespace", "", "const AppPicture kAppPictures[kAppPictureCount] = {"] + entries + ["};", ""]
    parts.append("const char kAppIconSvg[] =")
    svg_lines = icon_svg.splitlines(keepends=True)
    for k, line in enumerate(svg_lines):
        text = line.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n")
        parts.append(f'    "{text}"' + (";" if k == len(svg_lines) - 1 else ""))
    return "\n".join(parts) + "\n"


def write(path, data):
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())


def main():
    root = ROOT
    # Stars of the About picture from a small linear congruential sequence, kept off the
    # drawing's right half where the letter lies.
    stars, state = set(), 129
    while len(stars) < 14:
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        x, y = state % 64, (state >> 8) % 26
        if x > 24:
            stars.add((x, y))
    pictures = [
        ("#128", 128, 32, opaque(render(32, night_sky(32, set())))),
        ("#129", 129, 64, opaque(render(64, night_sky(64, stars)))),
    ]
    icon_svg = svg()
    write(os.path.join(root, "decrypt", "app", "app_picture_data.cpp"), picture_source(pictures, icon_svg))
    write(os.path.join(root, "packaging", "quillmar-unsealer.svg"), icon_svg)
    icons = os.path.join(root, "packaging", "icons")
    os.makedirs(icons, exist_ok=True)
    for size in (48, 128, 256):
        write(os.path.join(icons, f"quillmar-unsealer-{size}.png"), png(render(size)))


if __name__ == "__main__":
    main()
