#!/usr/bin/env python3
"""Draws the update window's pictures.

    step_pending, step_done,      16 x 16 RGBA PNG (and a 32 x 32 @2x twin):
    step_failed, step_current     the state icons of the list of steps
    button_history, button_start, 24 x 24 RGBA PNG (and a 48 x 48 @2x twin):
    button_close                  the pictures of the window's three buttons
    update_side.jpg               180 x 292: the decoration at the window's left

Every shape is drawn at four times the size and averaged down, so edges are
smooth at any of the sizes. The drawing is vector-like: the icons are
described on a fixed grid (16 or 24 units) and drawn at 1 and 2 pixels per
unit, so the @2x twins are the same pictures with finer edges.

Run it after changing a picture here; the build embeds the files it writes
beside itself (EmbedUpdateArt.cmake). The PNG files need only the standard
library. The JPEG is written as a binary PPM and compressed by `cjpeg`
(Debian package libjpeg-turbo-progs), which only a redraw needs: the
program decodes the JPEG it was built with.
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SUPERSAMPLE = 4

# Palette: one green for the steps that went or go well, a calm red for a
# failed one, neutral greys that read on a light grey button face, and the
# blue of the window's progress gauge for the buttons' accents.
GREEN = (46, 154, 72)
RED = (206, 56, 52)
RED_DARK = (160, 36, 34)
GREY = (136, 136, 136)
GREY_PALE = (222, 222, 222)
INK = (72, 80, 90)
PAPER = (255, 255, 255)
BLUE = (38, 110, 190)
BLUE_DARK = (24, 80, 146)
WHITE = (255, 255, 255)


# --- Coverage masks ---------------------------------------------------------


class Mask:
    """Which supersamples a shape covers, drawn in design units.

    `unit` is the number of output pixels per design unit; a mask has
    SUPERSAMPLE x SUPERSAMPLE samples per output pixel. Shapes are added
    (union) or cut out (drawn with value 0); a mask is then painted onto a
    canvas in one go, so overlapping parts of one shape do not darken each
    other.
    """

    def __init__(self, width, height, unit):
        self.w, self.h = width * SUPERSAMPLE, height * SUPERSAMPLE
        self.k = unit * SUPERSAMPLE
        self.bits = bytearray(self.w * self.h)
        self.x0, self.y0, self.x1, self.y1 = self.w, self.h, 0, 0

    def polygon(self, contours, value=1):
        """Fills contours (lists of design-unit points) by the nonzero rule."""
        edges = []
        for pts in contours:
            pts = [(x * self.k, y * self.k) for x, y in pts]
            for i, (ax, ay) in enumerate(pts):
                bx, by = pts[(i + 1) % len(pts)]
                if ay != by:
                    edges.append((ax, ay, bx, by))
        if not edges:
            return
        top = max(0, int(math.floor(min(min(e[1], e[3]) for e in edges))))
        bottom = min(self.h, int(math.ceil(max(max(e[1], e[3]) for e in edges))) + 1)
        fill = bytes([value]) * self.w
        for row in range(top, bottom):
            yc = row + 0.5
            crossings = []
            for ax, ay, bx, by in edges:
                if (ay <= yc < by) or (by <= yc < ay):
                    x = ax + (yc - ay) * (bx - ax) / (by - ay)
                    crossings.append((x, 1 if by > ay else -1))
            crossings.sort()
            winding, start = 0, 0.0
            for x, d in crossings:
                if winding == 0:
                    start = x
                winding += d
                if winding == 0:
                    a = max(0, math.ceil(start - 0.5))
                    b = min(self.w, math.ceil(x - 0.5))
                    if b > a:
                        base = row * self.w
                        self.bits[base + a:base + b] = fill[:b - a]
                        if value:
                            self.x0, self.x1 = min(self.x0, a), max(self.x1, b)
                            self.y0, self.y1 = min(self.y0, row), max(self.y1, row + 1)


def circle_points(cx, cy, r, start=0.0, end=2 * math.pi, steps=None):
    """Points along an arc (angles in radians, y pointing down)."""
    if steps is None:
        steps = max(24, int(abs(end - start) * r * 3))
    return [(cx + r * math.cos(start + (end - start) * i / steps),
             cy + r * math.sin(start + (end - start) * i / steps)) for i in range(steps + 1)]


def circle(cx, cy, r):
    return circle_points(cx, cy, r)[:-1]


def rounded_rect(x0, y0, x1, y1, r):
    if r <= 0:
        return rect(x0, y0, x1, y1)
    pts = []
    corners = [(x1 - r, y0 + r, -0.5), (x1 - r, y1 - r, 0.0), (x0 + r, y1 - r, 0.5),
               (x0 + r, y0 + r, 1.0)]
    for cx, cy, a in corners:
        pts += circle_points(cx, cy, r, a * math.pi, (a + 0.5) * math.pi, 12)
    return pts


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def segment(ax, ay, bx, by, width):
    """The rectangle a straight stroke of `width` covers (butt ends)."""
    length = math.hypot(bx - ax, by - ay)
    nx, ny = -(by - ay) / length * width / 2, (bx - ax) / length * width / 2
    return [(ax + nx, ay + ny), (bx + nx, by + ny), (bx - nx, by - ny), (ax - nx, ay - ny)]


def stroke(mask, points, width, value=1):
    """A polyline with round caps and joins."""
    for (ax, ay), (bx, by) in zip(points, points[1:]):
        mask.polygon([segment(ax, ay, bx, by, width)], value)
    for x, y in points:
        mask.polygon([circle(x, y, width / 2)], value)


def arc_band(cx, cy, r, width, start, end):
    """A ring segment of `width` centred on radius r, with square ends."""
    outer = circle_points(cx, cy, r + width / 2, start, end)
    inner = circle_points(cx, cy, r - width / 2, end, start)
    return outer + inner


# --- Canvas -----------------------------------------------------------------


class Canvas:
    """Supersampled premultiplied RGBA, painted mask by mask."""

    def __init__(self, width, height, unit=1.0):
        self.width, self.height, self.unit = width, height, unit
        n = width * height * SUPERSAMPLE * SUPERSAMPLE
        self.r, self.g, self.b, self.a = [0.0] * n, [0.0] * n, [0.0] * n, [0.0] * n

    def mask(self):
        return Mask(self.width, self.height, self.unit)

    def paint(self, mask, colour, alpha=1.0):
        """Paints the mask with a colour, or with colour(x, y) -> (r, g, b[, a])
        for x, y in output pixels."""
        w = mask.w
        inv = 1.0 / SUPERSAMPLE
        r, g, b, a = self.r, self.g, self.b, self.a
        bits = mask.bits
        flat = not callable(colour)
        if flat:
            cr, cg, cb = (c / 255.0 * alpha for c in colour[:3])
            ca = alpha
        for row in range(mask.y0, mask.y1):
            base = row * w
            y = (row + 0.5) * inv
            for col in range(mask.x0, mask.x1):
                i = base + col
                if not bits[i]:
                    continue
                if not flat:
                    c = colour((col + 0.5) * inv, y)
                    ca = alpha * (c[3] if len(c) > 3 else 1.0)
                    cr, cg, cb = c[0] / 255.0 * ca, c[1] / 255.0 * ca, c[2] / 255.0 * ca
                keep = 1.0 - ca
                r[i] = cr + r[i] * keep
                g[i] = cg + g[i] * keep
                b[i] = cb + b[i] * keep
                a[i] = ca + a[i] * keep

    def fill(self, colour, alpha=1.0):
        m = self.mask()
        m.polygon([rect(0, 0, self.width / self.unit, self.height / self.unit)])
        self.paint(m, colour, alpha)

    def pixels(self):
        """Averages the supersamples: rows of (r, g, b, a) bytes."""
        s, w = SUPERSAMPLE, self.width * SUPERSAMPLE
        rows = []
        for y in range(self.height):
            row = []
            for x in range(self.width):
                sr = sg = sb = sa = 0.0
                for dy in range(s):
                    base = (y * s + dy) * w + x * s
                    for i in range(base, base + s):
                        sr += self.r[i]
                        sg += self.g[i]
                        sb += self.b[i]
                        sa += self.a[i]
                if sa <= 0.0:
                    row.append((0, 0, 0, 0))
                    continue
                row.append(tuple(min(255, int(round(v))) for v in
                                 (sr / sa * 255, sg / sa * 255, sb / sa * 255, sa / (s * s) * 255)))
            rows.append(row)
        return rows


def mix(c0, c1, t):
    t = min(1.0, max(0.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


# --- Step icons (16 units) --------------------------------------------------

TICK = [(3.4, 8.4), (6.6, 11.5), (12.8, 4.6)]


def step_pending(cv):
    # The tick the step will get, as a grey outline (a wide tick less a
    # narrower one along the same path) around a pale fill, which keeps
    # the thin outline legible at 16 pixels.
    fill = cv.mask()
    stroke(fill, TICK, 3.8)
    cv.paint(fill, GREY_PALE)
    m = cv.mask()
    stroke(m, TICK, 3.8)
    stroke(m, TICK, 1.6, 0)
    cv.paint(m, GREY)


def step_done(cv):
    m = cv.mask()
    stroke(m, TICK, 2.8)
    cv.paint(m, GREEN)


def step_failed(cv):
    disc = cv.mask()
    disc.polygon([circle(8, 8, 7.2)])
    cv.paint(disc, lambda x, y: mix(RED, RED_DARK, (y / cv.unit - 1) / 14))
    cross = cv.mask()
    stroke(cross, [(5.4, 5.4), (10.6, 10.6)], 2.0)
    stroke(cross, [(10.6, 5.4), (5.4, 10.6)], 2.0)
    cv.paint(cross, WHITE)


def step_current(cv):
    m = cv.mask()
    # A shaft and a head with softened corners: the outline is stroked
    # with a round pen around an arrow half a pen smaller, so that the
    # shaft's edges fall on pixel edges.
    arrow = [(2.5, 6.5), (8.0, 6.5), (8.0, 2.9), (13.3, 8.0), (8.0, 13.1), (8.0, 9.5), (2.5, 9.5)]
    m.polygon([arrow])
    stroke(m, arrow + [arrow[0]], 1.0)
    cv.paint(m, GREEN)


# --- Button pictures (24 units) ---------------------------------------------


def button_history(cv):
    # A page of a log with its lines, and a clock over its corner. The
    # straight lines lie on whole pixels at both sizes, so they stay sharp.
    page = [(4.5, 2.5), (13.5, 2.5), (17.5, 6.5), (17.5, 21.5), (4.5, 21.5)]
    m = cv.mask()
    m.polygon([page])
    cv.paint(m, PAPER)
    edge = cv.mask()
    stroke(edge, page + [page[0]], 1.0)
    stroke(edge, [(13.5, 2.5), (13.5, 6.5), (17.5, 6.5)], 1.0)
    cv.paint(edge, INK)
    lines = cv.mask()
    for y, x1 in ((9, 15), (12, 15), (15, 11), (18, 10)):
        lines.polygon([rect(7, y, x1, y + 1)])
    cv.paint(lines, mix(INK, WHITE, 0.3))
    # The clock: a blue face ringed by the button colour so it stands off
    # the page.
    ring = cv.mask()
    ring.polygon([circle(16.5, 16.5, 6.8)])
    cv.paint(ring, (240, 240, 240))
    face = cv.mask()
    face.polygon([circle(16.5, 16.5, 5.8)])
    cv.paint(face, lambda x, y: mix(BLUE, BLUE_DARK, (y / cv.unit - 10.7) / 11.6))
    hands = cv.mask()
    stroke(hands, [(16.5, 13.0), (16.5, 16.7), (19.0, 18.2)], 1.0)
    cv.paint(hands, WHITE)


def button_start(cv):
    # An arrow going down into an open tray.
    tray = cv.mask()
    stroke(tray, [(4.0, 14.5), (4.0, 20.0), (20.0, 20.0), (20.0, 14.5)], 2.0)
    cv.paint(tray, INK)
    arrow = cv.mask()
    shaft = [(10.45, 2.95), (13.55, 2.95), (13.55, 9.6), (17.4, 9.6), (12.0, 16.0), (6.6, 9.6),
             (10.45, 9.6)]
    arrow.polygon([shaft])
    stroke(arrow, shaft + [shaft[0]], 0.9)
    cv.paint(arrow, lambda x, y: mix(BLUE, BLUE_DARK, (y / cv.unit - 2) / 15))


def button_close(cv):
    # A cross in a rounded square.
    box = cv.mask()
    box.polygon([rounded_rect(3.0, 3.0, 21.0, 21.0, 3.2)])
    cv.paint(box, lambda x, y: mix(RED, RED_DARK, (y / cv.unit - 3) / 18))
    cross = cv.mask()
    stroke(cross, [(8.2, 8.2), (15.8, 15.8)], 2.4)
    stroke(cross, [(15.8, 8.2), (8.2, 15.8)], 2.4)
    cv.paint(cross, WHITE)


ICONS = [
    ("step_pending", 16, step_pending),
    ("step_done", 16, step_done),
    ("step_failed", 16, step_failed),
    ("step_current", 16, step_current),
    ("button_history", 24, button_history),
    ("button_start", 24, button_start),
    ("button_close", 24, button_close),
]


# --- The side picture (180 x 292 pixels) ------------------------------------

SIDE_W, SIDE_H = 180, 292
NAVY = (8, 30, 62)
TEAL = (10, 104, 112)


def side_background(x, y):
    # Dark blue at the top to teal at the bottom, with a soft glow behind
    # the emblem.
    t = y / SIDE_H
    base = mix(NAVY, TEAL, t * t * (3 - 2 * t))
    glow = max(0.0, 1.0 - math.hypot(x - 90, (y - 112) * 0.9) / 120)
    return mix(base, (40, 130, 170), 0.35 * glow * glow)


def update_side(cv):
    cv.fill(side_background)

    # A faint grid, as on a measuring screen.
    grid = cv.mask()
    for x in range(6, SIDE_W, 12):
        grid.polygon([[(x - 0.25, 0), (x + 0.25, 0), (x + 0.25, SIDE_H), (x - 0.25, SIDE_H)]])
    for y in range(8, SIDE_H, 12):
        grid.polygon([[(0, y - 0.25), (SIDE_W, y - 0.25), (SIDE_W, y + 0.25), (0, y + 0.25)]])
    cv.paint(grid, lambda x, y: (150, 210, 230, 0.10 * (1 - 0.6 * abs(x - 90) / 90)))

    cx, cy, r = 90.0, 112.0, 52.0

    # The emblem: two arrows chasing each other round a circle (renewal)
    # around a transmitter mast sending waves.
    disc = cv.mask()
    disc.polygon([circle(cx, cy, r - 7)])
    cv.paint(disc, (6, 24, 48), 0.35)

    ring = cv.mask()
    width = 6.0
    for start in (math.radians(-60), math.radians(120)):
        end = start + math.radians(140)
        ring.polygon([arc_band(cx, cy, r, width, start, end)])
        # The head at the end of each arc, pointing along its travel.
        hx, hy = cx + r * math.cos(end), cy + r * math.sin(end)
        tx, ty = -math.sin(end), math.cos(end)  # tangent, clockwise
        nx, ny = math.cos(end), math.sin(end)  # outwards
        size = 9.0
        ring.polygon([[(hx + nx * size, hy + ny * size),
                       (hx + tx * size * 1.5, hy + ty * size * 1.5),
                       (hx - nx * size, hy - ny * size)]])
    cv.paint(ring, lambda x, y: mix((235, 248, 250), (150, 225, 230), (y - cy + r) / (2 * r)))

    # The mast: a slim lattice tower on a base line.
    top, foot, half = cy - 26.0, cy + 30.0, 11.0
    mast = cv.mask()
    stroke(mast, [(cx - half, foot), (cx, top), (cx + half, foot)], 2.4)
    rungs = 4
    for i in range(1, rungs + 1):
        t = i / (rungs + 0.6)
        y = top + (foot - top) * t
        w = half * t
        stroke(mast, [(cx - w, y), (cx + w, y)], 1.3)
    for i in range(rungs):
        t0, t1 = i / (rungs + 0.6), (i + 1) / (rungs + 0.6)
        y0, y1 = top + (foot - top) * t0, top + (foot - top) * t1
        stroke(mast, [(cx - half * t0, y0), (cx + half * t1, y1)], 0.9)
    mast.polygon([circle(cx, top - 2.5, 3.2)])
    cv.paint(mast, (225, 240, 246))

    # Waves from the top of the mast, either side.
    waves = cv.mask()
    for radius in (9.0, 16.0, 23.0):
        for mid in (0.0, math.pi):
            waves.polygon([arc_band(cx, top - 2.5, radius, 2.2, mid - 0.55, mid + 0.55)])
    cv.paint(waves, (120, 220, 232), 0.9)

    # A recorded waveform across the lower part, fading out at the sides.
    wave = cv.mask()
    base_y = 226.0
    for i in range(0, 44):
        x = 9.0 + i * 3.75
        t = i / 43.0
        env = math.sin(math.pi * t) ** 0.8
        amp = 3.0 + 26.0 * env * (0.55 + 0.45 * abs(math.sin(i * 1.7) * math.cos(i * 0.63)))
        wave.polygon([rounded_rect(x, base_y - amp, x + 2.1, base_y + amp * 0.6, 1.0)])
    cv.paint(wave, lambda x, y: mix((120, 222, 226), (70, 170, 190), (y - 196) / 48)
             + (0.30 + 0.45 * math.sin(math.pi * min(1.0, max(0.0, (x - 6) / 168))),))

    # The base line under the waveform.
    line = cv.mask()
    line.polygon([rect(14, base_y - 0.4, 166, base_y + 0.4)])
    cv.paint(line, lambda x, y: (200, 240, 245, 0.5 * math.sin(math.pi * (x - 14) / 152)))


# --- Files ------------------------------------------------------------------


def write_png(path, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def write_jpeg(path, rows):
    height, width = len(rows), len(rows[0])
    ppm = b"P6\n%d %d\n255\n" % (width, height) + bytes(v for row in rows for px in row
                                                       for v in px[:3])
    with tempfile.NamedTemporaryFile(suffix=".ppm") as tmp:
        tmp.write(ppm)
        tmp.flush()
        try:
            subprocess.run(["cjpeg", "-quality", "92", "-optimize", "-outfile", path, tmp.name],
                           check=True)
        except FileNotFoundError:
            sys.exit("cjpeg not found: install libjpeg-turbo-progs")


def main():
    for name, units, draw in ICONS:
        for scale, suffix in ((1, ""), (2, "@2x")):
            size = units * scale
            cv = Canvas(size, size, scale)
            draw(cv)
            write_png(os.path.join(HERE, f"{name}{suffix}.png"), cv.pixels())
            print(f"{name}{suffix}.png: {size} x {size}")
    cv = Canvas(SIDE_W, SIDE_H)
    update_side(cv)
    write_jpeg(os.path.join(HERE, "update_side.jpg"), cv.pixels())
    print(f"update_side.jpg: {SIDE_W} x {SIDE_H}")


if __name__ == "__main__":
    main()
