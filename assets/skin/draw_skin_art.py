#!/usr/bin/env python3
"""Draws the main window's face and its image controls.

    skin.png                      399 x 363 RGB: the whole face of the window on a
                                  magenta (0xFF00FF) background; magenta is the key
                                  colour that cuts the window's outline
    record, record_pressed,       64 x 65 RGBA: the record and stop controls
    stop, stop_pressed
    config, display, minimize,    34 x 32 RGBA: the image buttons, each also as
    hide, close                   <name>_pressed and <name>_hover
    skin_layout.json              where every control sits on the face

Every PNG has an @2x twin at double size for 200 % screens, drawn from the
same shapes at two pixels per unit rather than scaled. This script is the
one source of the layout: the window places its controls at the rectangles
of skin_layout.json, which are the rectangles the face was drawn around.

The title and the maker's label are not painted into the face: they stay
text labels of the window (translated like any other caption), placed at
their layout rectangles on plain strips of the face.

Shapes are drawn from signed distances (in design units, one unit is one
pixel of the 1x picture), with one pixel of anti-aliasing. The outline of the
face alone is drawn without anti-aliasing, so no pixel is a blend of the face
and magenta (which would show as a pink fringe once the key is cut out).

    /usr/bin/python3 assets/skin/draw_skin_art.py [--preview DIR]

--preview also writes preview.png and preview@2x.png (the face with the
buttons in place and the displays mocked up) and preview_settings.png (with
the settings panel's area) into DIR, for looking at the result.
"""
import json
import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

SKIN_W, SKIN_H = 399, 363
KEY = (255, 0, 255)
RECORD_W, RECORD_H = 64, 65
BUTTON_W, BUTTON_H = 34, 32

# --- Layout (design units = pixels of the 1x face) ------------------------

# The recessed bay that holds the status displays, and in their place, when
# opened, the settings panel: everything that swaps sits inside it.
BAY = (6, 30, 301, 226)


def _layout():
    bx, by, bw, bh = BAY
    centre = bx + bw / 2
    lay = {}
    lay["title"] = (26, 7, 190, 17)
    lay["banner"] = (int(centre - 235 / 2), 37, 235, 17)
    lay["display"] = (bx + 6, 62, 289, 96)
    # Read-outs: two columns of two, each a caption above its LED well. The
    # LEDs size themselves to their text and are placed at the left of their
    # rectangle, which holds eleven 11 x 13 characters.
    # Their wells line up with the display's edges.
    led_w = (289 - 17) // 2
    names = (("elapsed", 0, 0), ("days", 1, 0), ("free", 0, 1), ("used", 1, 1))
    for name, col, row in names:
        x = bx + 6 + col * (289 - led_w)
        y = 169 + row * 43
        lay[f"{name}_caption"] = (x, y, led_w, 15)
        lay[name] = (x, y + 18, led_w, 17)
    # The settings panel is centred in the bay; the bay itself is listed so
    # the window can cover the wells around the panel while it is open.
    lay["bay"] = BAY
    lay["settings"] = (int(centre - 266 / 2), by + 5, 266, 217)
    lay["gauge"] = ((SKIN_W - 360) // 2, 268, 360, 14)
    # The record/stop control sits in a cup to the right of the displays.
    lay["record"] = (319, 62, RECORD_W, RECORD_H)
    lay["record_caption"] = (321, 132, 60, 16)
    lay["stop_caption"] = (323, 132, 56, 16)
    gap = 8
    x = SKIN_W - 26 - 5 * BUTTON_W - 4 * gap
    for name in BUTTONS:
        lay[f"button_{name}"] = (x, 300, BUTTON_W, BUTTON_H)
        x += BUTTON_W + gap
    return lay


# --- Signed distances (negative inside) ------------------------------------


def sd_box(px, py, x0, y0, x1, y1, r=0.0):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r
    qx, qy = abs(px - cx) - hx, abs(py - cy) - hy
    out = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return out + min(max(qx, qy), 0.0) - r


def sd_circle(px, py, cx, cy, r):
    return math.hypot(px - cx, py - cy) - r


def sd_segment(px, py, ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = min(1.0, max(0.0, t))
    return math.hypot(px - ax - t * dx, py - ay - t * dy) - width / 2


def sd_convex(px, py, pts):
    """Distance to a convex polygon given clockwise (y down); exact inside
    and near the edges, which is all the anti-aliasing needs."""
    d = -1e9
    n = len(pts)
    for i in range(n):
        ax, ay = pts[i]
        bx, by = pts[(i + 1) % n]
        ex, ey = bx - ax, by - ay
        length = math.hypot(ex, ey)
        d = max(d, ((px - ax) * ey - (py - ay) * ex) / length)
    return d


def box(x0, y0, x1, y1, r=0.0):
    return (lambda px, py: sd_box(px, py, x0, y0, x1, y1, r)), (x0, y0, x1, y1)


def disc(cx, cy, r):
    return (lambda px, py: sd_circle(px, py, cx, cy, r)), (cx - r, cy - r, cx + r, cy + r)


def line(ax, ay, bx, by, width):
    h = width / 2
    return ((lambda px, py: sd_segment(px, py, ax, ay, bx, by, width)),
            (min(ax, bx) - h, min(ay, by) - h, max(ax, bx) + h, max(ay, by) + h))


def union(*shapes):
    fns = [s[0] for s in shapes]
    bb = (min(s[1][0] for s in shapes), min(s[1][1] for s in shapes),
          max(s[1][2] for s in shapes), max(s[1][3] for s in shapes))
    return (lambda px, py: min(f(px, py) for f in fns)), bb


def convex(pts):
    return ((lambda px, py: sd_convex(px, py, pts)),
            (min(p[0] for p in pts), min(p[1] for p in pts), max(p[0] for p in pts),
             max(p[1] for p in pts)))


def mix(c0, c1, t):
    t = min(1.0, max(0.0, t))
    return tuple(a + (b - a) * t for a, b in zip(c0, c1))


# --- Canvas -----------------------------------------------------------------


class Canvas:
    """Premultiplied RGBA floats, one sample per pixel, drawn in design units
    at `scale` pixels per unit."""

    def __init__(self, width, height, scale):
        self.w, self.h, self.s = width * scale, height * scale, scale
        n = self.w * self.h
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(n)]

    def _pixels(self, bb):
        s = self.s
        x0 = max(0, int(math.floor(bb[0] * s)) - 1)
        y0 = max(0, int(math.floor(bb[1] * s)) - 1)
        x1 = min(self.w, int(math.ceil(bb[2] * s)) + 1)
        y1 = min(self.h, int(math.ceil(bb[3] * s)) + 1)
        for y in range(y0, y1):
            uy = (y + 0.5) / s
            for x in range(x0, x1):
                yield x, y, (x + 0.5) / s, uy

    def paint(self, shape, colour, alpha=1.0, hard=False):
        """Paints a shape with a colour or colour(u, v) -> (r, g, b[, a])."""
        fn, bb = shape
        flat = not callable(colour)
        for x, y, u, v in self._pixels(bb):
            d = fn(u, v) * self.s
            if hard:
                cov = 1.0 if d < 0 else 0.0
            else:
                cov = min(1.0, max(0.0, 0.5 - d))
            if cov <= 0.0:
                continue
            c = colour if flat else colour(u, v)
            a = alpha * cov * (c[3] if len(c) > 3 else 1.0)
            p = self.px[y * self.w + x]
            keep = 1.0 - a
            p[0] = c[0] / 255.0 * a + p[0] * keep
            p[1] = c[1] / 255.0 * a + p[1] * keep
            p[2] = c[2] / 255.0 * a + p[2] * keep
            p[3] = a + p[3] * keep

    def bevel(self, shape, width, strength, raised=True, light=(-0.6, -0.8)):
        """Lights the rim of a shape, `width` units wide, as if lit from the
        top left: a raised rim is bright at its top left and dark at its
        bottom right, a recessed one the other way round."""
        fn, bb = shape
        lx, ly = light
        e = 0.25
        for x, y, u, v in self._pixels(bb):
            d = fn(u, v)
            if d >= 0.5 / self.s or d < -width:
                continue
            cov = min(1.0, max(0.0, 0.5 - d * self.s))
            nx = fn(u + e, v) - fn(u - e, v)
            ny = fn(u, v + e) - fn(u, v - e)
            n = math.hypot(nx, ny) or 1.0
            k = (nx * lx + ny * ly) / n
            if not raised:
                k = -k
            fall = 1.0 - min(1.0, -d / width) if d < 0 else 1.0
            a = abs(k) * strength * fall * cov
            if a <= 0.0:
                continue
            c = 1.0 if k > 0 else 0.0
            p = self.px[y * self.w + x]
            keep = 1.0 - a
            for i in range(3):
                p[i] = c * a * p[3] + p[i] * keep if k > 0 else p[i] * keep

    def rgba(self):
        rows = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a <= 1e-6:
                    row.append((0, 0, 0, 0))
                    continue
                row.append(tuple(min(255, max(0, int(round(v)))) for v in
                                 (r / a * 255, g / a * 255, b / a * 255, a * 255)))
            rows.append(row)
        return rows

    def rgb_on_key(self):
        """Opaque face on magenta; the face's outline was drawn hard."""
        rows = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a < 0.5:
                    row.append(KEY)
                    continue
                px = tuple(min(255, max(0, int(round(v / a * 255)))) for v in (r, g, b))
                if px == KEY:  # never on the dark face, but the key must stay unique
                    px = (254, 0, 255)
                row.append(px)
            rows.append(row)
        return rows


# --- The face ---------------------------------------------------------------

FACE_TOP = (62, 65, 71)
FACE_BOTTOM = (40, 42, 47)
BAY_FLOOR = (28, 30, 33)
GLASS = (8, 9, 10)
SLOT = (14, 15, 17)


def face_colour(u, v):
    # Anodised aluminium: a soft vertical fall-off with a faint brushed grain
    # along the rows (smooth sines, so it stays calm at both sizes).
    base = mix(FACE_TOP, FACE_BOTTOM, v / SKIN_H)
    grain = (0.9 * math.sin(v * 2.7) + 0.6 * math.sin(v * 0.83 + 1.3) +
             0.5 * math.sin(v * 5.9 + u * 0.004))
    return tuple(c + grain for c in base)


def well(cv, x, y, w, h, margin=2, r=3.0, colour=GLASS, depth=0.55):
    """A recessed dark window around a rectangle a control fills."""
    shape = box(x - margin, y - margin, x + w + margin, y + h + margin, r)
    cv.paint(shape, colour)
    cv.bevel(shape, 1.6, depth, raised=False)
    # The lit lower lip of the cut, just outside the well.
    lip = box(x - margin - 1, y - margin - 1, x + w + margin + 1, y + h + margin + 1, r + 1)
    cv.bevel(lip, 1.0, 0.12, raised=False)


def screw(cv, cx, cy):
    cv.paint(disc(cx, cy, 5.2), (20, 21, 23))
    head = disc(cx, cy, 4.4)
    cv.paint(head, lambda u, v: mix((170, 173, 178), (80, 83, 88),
                                    ((u - cx) + (v - cy) + 6) / 12))
    cv.bevel(head, 1.2, 0.35)
    a = math.radians(30)
    dx, dy = 3.2 * math.cos(a), 3.2 * math.sin(a)
    cv.paint(line(cx - dx, cy - dy, cx + dx, cy + dy, 1.3), (38, 40, 44))
    cv.paint(line(cx + dy, cy - dx, cx - dy, cy + dx, 1.3), (38, 40, 44))


def draw_skin(cv, lay):
    outline = box(0, 0, SKIN_W, SKIN_H, 14)
    cv.paint(outline, face_colour, hard=True)
    cv.bevel(box(0, 0, SKIN_W, SKIN_H, 14), 2.5, 0.35)
    # A fine groove around the front plate, as on a milled panel.
    groove = box(4.5, 4.5, SKIN_W - 4.5, SKIN_H - 4.5, 10)
    cv.bevel(groove, 1.2, 0.28, raised=False)

    for cx, cy in ((14, 15), (SKIN_W - 14, 15), (14, SKIN_H - 15), (SKIN_W - 14, SKIN_H - 15)):
        screw(cv, cx, cy)

    # The bay of the displays and the settings.
    bx, by, bw, bh = BAY
    bay = box(bx, by, bx + bw, by + bh, 6)
    cv.paint(bay, BAY_FLOOR)
    cv.bevel(bay, 2.5, 0.6, raised=False)
    cv.bevel(box(bx - 1, by - 1, bx + bw + 1, by + bh + 1, 7), 1.0, 0.15, raised=False)

    for name in ("banner", "display", "elapsed", "days", "free", "used"):
        x, y, w, h = lay[name]
        well(cv, x, y, w, h)
    # Thin accent rules under the captions, like silk-screened scale marks.
    for name in ("elapsed", "days", "free", "used"):
        x, y, w, h = lay[f"{name}_caption"]
        cv.paint(box(x + 1, y + h + 0.6, x + w - 1, y + h + 1.4), (70, 74, 80))

    # The record cup.
    rx, ry, rw, rh = lay["record"]
    cup = box(rx - 6, ry - 6, rx + rw + 6, lay["record_caption"][1] + 20, 8)
    cv.paint(cup, lambda u, v: mix((34, 36, 40), (28, 30, 33), (v - ry) / 100))
    cv.bevel(cup, 2.2, 0.55, raised=False)
    cv.bevel(box(rx - 7, ry - 7, rx + rw + 7, lay["record_caption"][1] + 21, 9), 1.0, 0.15,
             raised=False)

    # Vent slots below the cup: the case breathes where the electronics sit.
    top = lay["record_caption"][1] + 36
    for i in range(7):
        y = top + i * 10
        slot = box(rx + 2, y, rx + rw - 2, y + 4, 2)
        cv.paint(slot, SLOT)
        cv.bevel(slot, 1.2, 0.5, raised=False)

    # The gauge's slot.
    gx, gy, gw, gh = lay["gauge"]
    well(cv, gx, gy, gw, gh, margin=3, r=3)

    # The button strip: one recessed rail under the five buttons.
    xs = [lay[f"button_{n}"][0] for n in BUTTONS]
    y = lay[f"button_{BUTTONS[0]}"][1]
    rail = box(xs[0] - 5, y - 5, xs[-1] + BUTTON_W + 5, y + BUTTON_H + 5, 7)
    cv.paint(rail, (30, 32, 35))
    cv.bevel(rail, 2.0, 0.55, raised=False)

    # The strip under the title: a line engraved under the text.
    tx, ty, tw, th = lay["title"]
    cv.bevel(box(tx - 2, ty + th + 2, SKIN_W - 26, ty + th + 3.2, 0.6), 0.8, 0.5,
             raised=False)
    # The maker's label plate at the bottom left.
    mx, my, mw, mh = lay["maker_plate"]
    plate = box(mx, my, mx + mw, my + mh, 4)
    # A brushed silver plate, so the label's dark text reads on it.
    cv.paint(plate, lambda u, v: mix((156, 160, 166), (116, 120, 126), (v - my) / mh))
    cv.bevel(plate, 1.5, 0.45)


# --- Record and stop --------------------------------------------------------


def bezel(cv, shape_at):
    """The fixed ring around either control: brushed metal with a dark gap."""
    outer = shape_at(0.0)
    cv.paint(outer, lambda u, v: mix((150, 153, 158), (62, 65, 70), (u + v - 10) / 100))
    cv.bevel(outer, 1.5, 0.4)
    gap = shape_at(3.5)
    cv.paint(gap, (14, 15, 17))
    cv.bevel(gap, 1.5, 0.5, raised=False)


def draw_record(cv, pressed):
    cx, cy = 32.0, 32.5
    bezel(cv, lambda inset: disc(cx, cy, 31 - inset))
    off = 1.0 if pressed else 0.0
    ccx, ccy = cx + off * 0.6, cy + off * 0.6
    cap = disc(ccx, ccy, 24.5)
    hi, lo = ((178, 30, 28), (104, 14, 14)) if pressed else ((232, 52, 44), (150, 20, 20))
    lx, ly = ccx - 8, ccy - 10

    def red(u, v):
        t = math.hypot(u - lx, v - ly) / 36
        return mix(hi, lo, t)

    cv.paint(cap, red)
    if pressed:
        cv.bevel(cap, 3.0, 0.45, raised=False)
    else:
        cv.bevel(cap, 2.5, 0.4)
        # The glossy reflection of a domed cap.
        gx, gy = ccx - 2, ccy - 12

        def gloss(u, v):
            e = ((u - gx) / 15) ** 2 + ((v - gy) / 9) ** 2
            return (255, 255, 255, 0.32 * max(0.0, 1 - e) ** 1.5)

        cv.paint(disc(gx, gy, 15), gloss)
    # A ring pressed into the cap, so it reads as a button and not a lamp.
    ring = disc(ccx, ccy, 17)
    cv.bevel(ring, 1.2, 0.25 if not pressed else 0.15, raised=False)


def draw_stop(cv, pressed):
    cx, cy = 32.0, 32.5

    def sq(inset):
        return box(2 + inset, 2.5 + inset, 62 - inset, 62.5 - inset, 9 - inset * 0.8)

    bezel(cv, sq)
    off = 0.6 if pressed else 0.0
    cap = box(7.5 + off, 8 + off, 56.5 + off, 57 + off, 5)
    hi, lo = ((128, 132, 139), (82, 86, 92)) if pressed else ((176, 180, 187), (108, 112, 119))
    cv.paint(cap, lambda u, v: mix(hi, lo, (v - 8) / 49))
    if pressed:
        cv.bevel(cap, 3.0, 0.45, raised=False)
    else:
        cv.bevel(cap, 2.5, 0.45)
    sym = box(cx - 9 + off, cy - 9 + off, cx + 9 + off, cy + 9 + off, 1.5)
    cv.paint(sym, (36, 38, 42) if not pressed else (30, 31, 34))
    cv.bevel(sym, 1.0, 0.35, raised=False)


# --- Image buttons ----------------------------------------------------------

ICON = (196, 201, 209)
ICON_LIT = (255, 186, 72)
ICON_PRESSED = (226, 156, 52)


def icon_config(off):
    shapes = []
    for x, knob in ((11, 19), (17, 12), (23, 16)):
        shapes.append(line(x + off, 8.5 + off, x + off, 23.5 + off, 1.6))
        shapes.append(box(x - 3 + off, knob - 2 + off, x + 3 + off, knob + 2 + off, 1))
    return shapes


def icon_display(off):
    shapes = []
    for i, hgt in enumerate((7, 12, 9, 14, 5)):
        x = 8.5 + i * 3.7 + off
        shapes.append(box(x, 23.5 - hgt + off, x + 2.6, 23.5 + off, 0.5))
    return shapes


def icon_minimize(off):
    return [box(10 + off, 20 + off, 24 + off, 22.6 + off, 0.8)]


def icon_hide(off):
    return [line(17 + off, 7 + off, 17 + off, 15.5 + off, 2.2),
            convex([(12 + off, 13.5 + off), (22 + off, 13.5 + off), (17 + off, 19 + off)]),
            line(9.5 + off, 17.5 + off, 9.5 + off, 24 + off, 2.0),
            line(9.5 + off, 24 + off, 24.5 + off, 24 + off, 2.0),
            line(24.5 + off, 17.5 + off, 24.5 + off, 24 + off, 2.0)]


def icon_close(off):
    return [line(11.5 + off, 10.5 + off, 22.5 + off, 21.5 + off, 2.4),
            line(22.5 + off, 10.5 + off, 11.5 + off, 21.5 + off, 2.4)]


BUTTON_ICONS = {"config": icon_config, "display": icon_display, "minimize": icon_minimize,
                "hide": icon_hide, "close": icon_close}
BUTTONS = tuple(BUTTON_ICONS)


def draw_button(cv, icon, state):
    pressed = state == "pressed"
    hover = state == "hover"
    cap = box(1, 1, 33, 31, 5)
    if pressed:
        colour = lambda u, v: mix((30, 32, 35), (44, 47, 52), (v - 1) / 30)
    elif hover:
        colour = lambda u, v: mix((84, 88, 95), (56, 59, 65), (v - 1) / 30)
    else:
        colour = lambda u, v: mix((72, 76, 82), (46, 49, 54), (v - 1) / 30)
    cv.paint(cap, colour)
    cv.bevel(cap, 1.8, 0.5 if pressed else 0.4, raised=not pressed)
    off = 1.0 if pressed else 0.0
    shapes = union(*icon(off))
    if hover or pressed:
        # A lit legend, with a soft glow around it.
        fn, bb = shapes
        halo = ((lambda u, v: fn(u, v) - 2.0), (bb[0] - 2, bb[1] - 2, bb[2] + 2, bb[3] + 2))
        cv.paint(halo, ICON_LIT, alpha=0.16)
        cv.paint(shapes, ICON_LIT if hover else ICON_PRESSED)
    else:
        # Engraved legend: a dark shadow line beneath the light fill.
        fn, bb = shapes
        shadow = ((lambda u, v: fn(u, v - 0.8)), (bb[0], bb[1], bb[2], bb[3] + 1))
        cv.paint(shadow, (16, 17, 19), alpha=0.8)
        cv.paint(shapes, ICON)


# --- Files ------------------------------------------------------------------


def write_png(path, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    height, width = len(rows), len(rows[0])
    channels = len(rows[0][0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)
    colour_type = 6 if channels == 4 else 2
    png = (b"\x89PNG\r\n\x1a\n"
           + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(raw, 9))
           + chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def layout():
    lay = _layout()
    # The plate the maker's label sits on, at the bottom left beside the
    # button rail; the label fills it less a margin.
    first = lay[f"button_{BUTTONS[0]}"]
    plate = (26, first[1] - 3, first[0] - 26 - 22, BUTTON_H + 6)
    lay["maker_plate"] = plate
    lay["maker"] = (plate[0] + 8, plate[1] + (plate[3] - 15) // 2, plate[2] - 16, 15)
    return lay


def draw_all(out_dir, scale):
    suffix = "" if scale == 1 else f"@{scale}x"
    lay = layout()
    cv = Canvas(SKIN_W, SKIN_H, scale)
    draw_skin(cv, lay)
    skin = cv.rgb_on_key()
    write_png(os.path.join(out_dir, f"skin{suffix}.png"), skin)
    images = {}
    for name, draw in (("record", draw_record), ("stop", draw_stop)):
        for pressed in (False, True):
            cv = Canvas(RECORD_W, RECORD_H, scale)
            draw(cv, pressed)
            full = name + ("_pressed" if pressed else "")
            images[full] = cv.rgba()
            write_png(os.path.join(out_dir, f"{full}{suffix}.png"), images[full])
    for name, icon in BUTTON_ICONS.items():
        for state in ("normal", "pressed", "hover"):
            cv = Canvas(BUTTON_W, BUTTON_H, scale)
            draw_button(cv, icon, state)
            full = name if state == "normal" else f"{name}_{state}"
            images[full] = cv.rgba()
            write_png(os.path.join(out_dir, f"{full}{suffix}.png"), images[full])
    return skin, images


def write_layout(path):
    lay = layout()
    doc = {
        "size": [SKIN_W, SKIN_H],
        "key": "#FF00FF",
        "note": "Rectangles [x, y, width, height] on the 1x face; double them for @2x. "
                "Written by draw_skin_art.py.",
        # Colours the window's own painting matches: the floor of the bay
        # (under the settings panel), text on the face and in the bay, and
        # text on the maker's plate.
        "colours": {"bay": "#%02X%02X%02X" % BAY_FLOOR, "text": "#C8CCD2",
                    "plate_text": "#1E2024"},
        "rects": {k: list(v) for k, v in sorted(lay.items())},
    }
    # One rectangle a line, so a change to the layout reads well in a diff.
    head = {k: v for k, v in doc.items() if k != "rects"}
    lines = [f" {json.dumps(k)}: {json.dumps(v)}," for k, v in head.items()]
    rects = [f"  {json.dumps(k)}: {json.dumps(v)}" for k, v in doc["rects"].items()]
    text = "{\n" + "\n".join(lines) + '\n "rects": {\n' + ",\n".join(rects) + "\n }\n}\n"
    assert json.loads(text) == doc
    with open(path, "w") as f:
        f.write(text)


def preview(out_dir, skin, images, scale, settings=False):
    """The face with the buttons in place and mock displays."""
    lay = layout()
    s = scale
    rows = [[px for px in row] for row in skin]

    def blit(img, x, y):
        for j, row in enumerate(img):
            for i, (r, g, b, a) in enumerate(row):
                if a == 0:
                    continue
                t = a / 255
                o = rows[y + j][x + i]
                rows[y + j][x + i] = tuple(int(round(c * t + oc * (1 - t)))
                                           for c, oc in zip((r, g, b), o))

    def fill(rect, colour):
        x, y, w, h = (v * s for v in rect)
        for j in range(y, y + h):
            for i in range(x, x + w):
                rows[j][i] = colour

    if settings:
        fill(lay["settings"], (212, 212, 212))
    else:
        fill(lay["banner"], (0, 0, 0))
        fill(lay["display"], (0, 0, 0))
        dx, dy, dw, dh = lay["display"]
        for k in range(24):
            hgt = int(20 + 60 * abs(math.sin(k * 0.7)))
            fill((dx + 8 + k * 11, dy + dh - 6 - hgt, 8, hgt), (0, 170, 0))
        for name, w in (("elapsed", 92), ("days", 26), ("free", 92), ("used", 103)):
            x, y, _, h = lay[name]
            fill((x, y, w, h), (0, 0, 0))
            fill((x + 3, y + 4, w - 6, h - 8), (0, 120, 0))
            cx, cy, cw, ch = lay[f"{name}_caption"]
            fill((cx, cy + 3, 40, ch - 6), (200, 200, 200))
        gx, gy, gw, gh = lay["gauge"]
        fill((gx, gy, gw, gh), (0, 0, 0))
        fill((gx, gy, gw * 72 // 100, gh), (230, 0, 0))
    rx, ry, _, _ = lay["record"]
    blit(images["record"], rx * s, ry * s)
    cx, cy, cw, ch = lay["record_caption"]
    fill((cx + 12, cy + 3, cw - 24, ch - 6), (235, 235, 235))
    for name in BUTTONS:
        x, y, _, _ = lay[f"button_{name}"]
        blit(images["close_hover" if name == "close" else name], x * s, y * s)
    for name in ("title", "maker"):
        x, y, w, h = lay[name]
        fill((x, y + 4, min(w, 120), h - 8), (225, 225, 225))
    suffix = "" if scale == 1 else f"@{scale}x"
    name = "preview_settings" if settings else "preview"
    write_png(os.path.join(out_dir, f"{name}{suffix}.png"), rows)


def main(argv):
    preview_dir = None
    if len(argv) == 3 and argv[1] == "--preview":
        preview_dir = argv[2]
    elif len(argv) != 1:
        sys.exit(__doc__)
    write_layout(os.path.join(HERE, "skin_layout.json"))
    for scale in (1, 2):
        skin, images = draw_all(HERE, scale)
        if preview_dir:
            os.makedirs(preview_dir, exist_ok=True)
            preview(preview_dir, skin, images, scale)
            if scale == 1:
                preview(preview_dir, skin, images, scale, settings=True)
    print("skin art written to", HERE)


if __name__ == "__main__":
    main(sys.argv)
