#!/usr/bin/env python3
"""Draws the LED read-outs' three font bitmaps from glyphs.txt.

Each bitmap holds two rows of 63 cells: codes 32..94 in the first row,
95..157 in the second, which starts two pixels below the first row's cells.
White pixels are lit dots, silver pixels unlit dots, black the background.

    FONT_11X13.png       11 x 13 cells: 1-pixel dots on a 2-pixel pitch
    FONT_16X20.png       16 x 20 cells: 2 x 2 dots on a 3-pixel pitch
    FONT_11X13_BOLD.png  11 x 13 cells: as FONT_11X13, a lit dot also lights
                         the pixel to its right, so strokes are twice as wide

Run it after editing glyphs.txt; the build embeds the PNG files it writes
beside itself. Only the standard library is needed.
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
FIRST_CODE, CELLS_PER_ROW = 32, 63
DOT_COLS, DOT_ROWS = 5, 7
WHITE, SILVER, BLACK = (255, 255, 255), (192, 192, 192), (0, 0, 0)

# name, cell width, cell height, dot size, dot pitch, left margin, bold
FONTS = [
    ("FONT_11X13", 11, 13, 1, 2, 1, False),
    ("FONT_16X20", 16, 20, 2, 3, 1, False),
    ("FONT_11X13_BOLD", 11, 13, 1, 2, 1, True),
]


def read_glyphs(path):
    glyphs, aliases, code, rows = {}, {}, None, []

    def finish():
        if code is not None and code not in aliases:
            if len(rows) != DOT_ROWS or any(len(r) != DOT_COLS for r in rows):
                sys.exit(f"glyph {code}: want {DOT_ROWS} rows of {DOT_COLS} dots")
            glyphs[code] = rows

    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("#") and not set(line) <= {"#", "."}:
                continue  # a comment (a row of dots is never only text)
            if line.startswith("=="):
                finish()
                parts = line[2:].split()
                code, rows = int(parts[0]), []
                if len(parts) >= 3 and parts[1] == "=":
                    aliases[code] = int(parts[2])
            elif line.strip():
                rows.append(line.strip())
        finish()
    for code, other in aliases.items():
        glyphs[code] = glyphs[other]
    return glyphs


def draw(glyphs, cell_w, cell_h, dot, pitch, margin, bold):
    width, height = cell_w * CELLS_PER_ROW, cell_h * 2 + 2
    pixels = [[BLACK] * width for _ in range(height)]
    blank = ["." * DOT_COLS] * DOT_ROWS
    for index in range(CELLS_PER_ROW * 2):
        code = FIRST_CODE + index
        rows = glyphs.get(code, blank)
        x0 = (index % CELLS_PER_ROW) * cell_w
        y0 = (index // CELLS_PER_ROW) * (cell_h + 2)
        for r, row in enumerate(rows):
            for c, mark in enumerate(row):
                colour = WHITE if mark == "#" else SILVER
                reach = dot + (1 if bold and mark == "#" else 0)
                for dy in range(dot):
                    for dx in range(reach):
                        x = x0 + margin + c * pitch + dx
                        if x < x0 + cell_w:
                            pixels[y0 + r * pitch + dy][x] = colour
    return width, height, pixels


def write_png(path, width, height, pixels):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in pixels)
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def main():
    glyphs = read_glyphs(os.path.join(HERE, "glyphs.txt"))
    for name, cell_w, cell_h, dot, pitch, margin, bold in FONTS:
        assert margin + (DOT_COLS - 1) * pitch + dot + (1 if bold else 0) <= cell_w
        assert (DOT_ROWS - 1) * pitch + dot <= cell_h
        width, height, pixels = draw(glyphs, cell_w, cell_h, dot, pitch, margin, bold)
        write_png(os.path.join(HERE, name + ".png"), width, height, pixels)
        print(f"{name}.png: {width} x {height}")


if __name__ == "__main__":
    main()
