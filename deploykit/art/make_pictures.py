#!/usr/bin/env python3
"""Draws the five setup pictures and writes them as run-length data to picture_art_data.cpp.

Each picture is a small 16-colour card (night-sky gradient, a lantern, a caption in a 5x7
pixel font); picture controls stretch it over the whole dialog. Run from anywhere:

    python3 deploykit/art/make_pictures.py

The output is committed; rerun this after changing the artwork.
"""
import os

WIDTH, HEIGHT = 164, 94

# 5x7 glyphs, one string of five '#'/'.' per row.
FONT = {
    'A': [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    'B': ["####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."],
    'C': [".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."],
    'D': ["####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."],
    'E': ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    'F': ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    'G': [".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"],
    'H': ["#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    'I': [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    'K': ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    'L': ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    'M': ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    'N': ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    'O': [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    'P': ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    'Q': [".###.", "#...#", "#...#", "#...#", "#.#.#", "#..#.", ".##.#"],
    'R': ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    'S': [".####", "#....", "#....", ".###.", "....#", "....#", "####."],
    'T': ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    'U': ["#...#", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    'V': ["#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."],
    'W': ["#...#", "#...#", "#...#", "#.#.#", "#.#.#", "#.#.#", ".#.#."],
    'Y': ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    ',': [".....", ".....", ".....", ".....", ".....", "..#..", ".#..."],
    '.': [".....", ".....", ".....", ".....", ".....", ".....", "..#.."],
    ' ': ["....."] * 7,
}

# Colours 0-7: the sky from top to bottom; 8 stars; 9 lantern frame; 10 glass; 11 flame;
# 12 glow; 13 ground; 14 caption; 15 caption shadow.
SKIES = [
    (0x0B1A3A, 0x3C6E9E),   # deep blue
    (0x1B1030, 0x6A4A8C),   # violet
    (0x08262A, 0x2F7F7A),   # teal
    (0x2A1408, 0x9A5A2A),   # dusk
    (0x101820, 0x4A6A80),   # slate
]

PICTURES = [
    # bitmap id, sky, lantern x, caption lines
    (133, 0, 134, ["WELCOME TO", "QUILLMAR POSTLANTERN"]),
    (134, 1, 8, ["YOUR MAIL,", "SEALED AND SAFE"]),
    (135, 2, 134, ["ONLY THE RECIPIENT", "CAN OPEN IT"]),
    (136, 3, 8, ["SIGN AND SEAL", "WITH YOUR OWN ID"]),
    (137, 4, 134, ["SETUP IS", "ALMOST DONE"]),
]


def blend(a, b, t):
    ch = lambda c, s: (c >> s) & 0xFF
    return sum(int(round(ch(a, s) + (ch(b, s) - ch(a, s)) * t)) << s for s in (16, 8, 0))


def palette(sky):
    top, bottom = SKIES[sky]
    colours = [blend(top, bottom, i / 7) for i in range(8)]
    colours += [0xFFF6D0, 0x2A2A2A, 0xF2C14E, 0xFFF2A0, 0x8A6A2A, 0x1A2414, 0xFFFFFF, 0x000000]
    return colours


def draw(sky, lantern_x, lines, seed):
    img = [[min(7, y * 8 // HEIGHT) for _ in range(WIDTH)] for y in range(HEIGHT)]

    # Stars from a small linear congruential sequence, so each picture has its own sky.
    state = seed
    for _ in range(40):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        x, y = state % WIDTH, (state >> 8) % (HEIGHT // 2)
        img[y][x] = 8

    ground = HEIGHT - 12
    for y in range(ground, HEIGHT):
        for x in range(WIDTH):
            img[y][x] = 13

    # The lantern: a post, a frame with a glowing glass and a small flame, a halo around it.
    cx, top = lantern_x + 9, ground - 58
    for y in range(top - 8, top + 28):
        for x in range(cx - 20, cx + 21):
            if 0 <= x < WIDTH and (x - cx) ** 2 + ((y - top - 10) * 1.2) ** 2 <= 19 ** 2 and img[y][x] < 8:
                img[y][x] = 12
    for y in range(top + 24, ground):
        for x in range(cx - 1, cx + 2):
            img[y][x] = 9
    for y in range(top, top + 24):
        for x in range(cx - 8, cx + 9):
            edge = y in (top, top + 23) or x in (cx - 8, cx + 8) or x == cx
            img[y][x] = 9 if edge else 10
    for y in range(top - 4, top):
        half = 8 - (top - y) * 2
        for x in range(cx - half, cx + half + 1):
            img[y][x] = 9
    for y in range(top + 9, top + 17):
        for x in (cx - 4, cx - 3, cx + 3, cx + 4):
            img[y][x] = 11

    # The caption, centred in the half away from the lantern, with a one-pixel shadow.
    text_left, text_right = (4, lantern_x - 8) if lantern_x > WIDTH // 2 else (lantern_x + 34, WIDTH - 4)
    y0 = 26
    for line in lines:
        width = len(line) * 6 - 1
        assert width <= text_right - text_left, line
        x0 = text_left + (text_right - text_left - width) // 2
        for i, chr_ in enumerate(line):
            glyph = FONT[chr_]
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit == '#':
                        x, y = x0 + i * 6 + gx, y0 + gy
                        img[y + 1][x + 1] = 15
                        img[y][x] = 14
        y0 += 11
    return img


def runs(img):
    flat = [c for row in img for c in row]
    out = []
    i = 0
    while i < len(flat):
        j = i
        while j < len(flat) and flat[j] == flat[i] and j - i < 255:
            j += 1
        out += [j - i, flat[i]]
        i = j
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    target = os.path.join(os.path.dirname(here), "picture_art_data.cpp")
    parts = ["// Generated by deploykit/art/make_pictures.py; edit the script, not this file.",
             '#include "deploykit/picture_art.h"', "", "namespace deploykit {", "namespace {"]
    entries = []
    for n, (bitmap, sky, lantern_x, lines) in enumerate(PICTURES):
        data = runs(draw(sky, lantern_x, lines, bitmap))
        pal = palette(sky)
        parts.append(f"const DWORD kPalette{bitmap}[16] = {{")
        parts.append("    " + ", ".join(f"0x{c:06X}" for c in pal) + "};")
        parts.append(f"const BYTE kRuns{bitmap}[{len(data)}] = {{")
        for k in range(0, len(data), 24):
            parts.append("    " + ", ".join(str(b) for b in data[k:k + 24]) + ",")
        parts.append("};")
        entries.append(f"    {{{bitmap}, {WIDTH}, {HEIGHT}, kPalette{bitmap}, kRuns{bitmap}, sizeof kRuns{bitmap}}},")
    parts.append("} // namespace")
    parts.append("")
    parts.append("const PictureArt kPictureArt[kPictureArtCount] = {")
    parts += entries
    parts.append("};")
    parts.append("} // namespace deploykit")
    with open(target, "w", newline="\n") as f:
        f.write("\n".join(parts) + "\n")


if __name__ == "__main__":
    main()
