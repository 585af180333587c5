#!/usr/bin/env python3
"""Checks the main window's artwork as draw_skin_art.py left it beside itself.

    /usr/bin/python3 assets/skin/check_skin_art.py

The face: its size, the magenta key at the top-left pixel and in the cut
corners, one solid outline (no magenta hole inside, no pink blend at its
edge, which would show as a fringe once the key is cut), and dark wells
under the controls at the layout's rectangles. The layout: the fixed sizes
of the controls, all on the face, none on top of another except where one
replaces another. The images: their sizes and alpha, three distinct states
of each button, and @2x twins that show the same picture at double size.

First the checks run on small made-up faces, so a check that cannot fail
shows up here and not as a quiet pass. Exits 1 on the first failed group,
listing every failure in it.
"""
import json
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
KEY = (255, 0, 255)
BUTTONS = ("config", "display", "minimize", "hide", "close")
FIXED_SIZES = {
    "display": (289, 96), "banner": (235, 17), "gauge": (360, 14), "record": (64, 65),
    "record_caption": (60, 16), "stop_caption": (56, 16), "settings": (266, 217),
    **{f"button_{b}": (34, 32) for b in BUTTONS},
}
READOUTS = ("elapsed", "days", "free", "used")
# An LED read-out holds up to eleven 11-pixel characters and its 2-pixel borders.
READOUT_MIN = (11 * 11 + 4, 17)


# --- PNG --------------------------------------------------------------------


def read_png(path):
    """(width, height, channels, rows of pixel tuples) of an 8-bit RGB/RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG")
    pos, idat, head = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            head = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour_type, _, _, interlace = head
    if depth != 8 or colour_type not in (2, 6) or interlace:
        raise ValueError(f"{path}: depth {depth}, colour type {colour_type}, "
                         f"interlace {interlace}: not 8-bit RGB or RGBA")
    ch = 3 if colour_type == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * ch
    prev = bytearray(stride)
    rows = []
    for y in range(height):
        base = y * (stride + 1)
        kind, line = raw[base], bytearray(raw[base + 1:base + 1 + stride])
        for i in range(stride):
            a = line[i - ch] if i >= ch else 0
            b = prev[i]
            c = prev[i - ch] if i >= ch else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([tuple(line[x * ch:x * ch + ch]) for x in range(width)])
        prev = line
    return width, height, ch, rows


# --- Checks (each returns a list of failures) -------------------------------


def face_outline_faults(rows):
    """The key at the top-left and in the corners, and a solid face: in every
    row and column the face is one run, with no key pixel inside it."""
    faults = []
    h, w = len(rows), len(rows[0])
    if rows[0][0][:3] != KEY:
        faults.append(f"top-left pixel {rows[0][0][:3]} is not the key")
    for x, y in ((w - 1, 0), (0, h - 1), (w - 1, h - 1)):
        if rows[y][x][:3] != KEY:
            faults.append(f"corner ({x}, {y}) is not cut away")
    lines = [("row", y, [p[:3] != KEY for p in rows[y]]) for y in range(h)]
    lines += [("column", x, [rows[y][x][:3] != KEY for y in range(h)]) for x in range(w)]
    for kind, i, on in lines:
        if True in on:
            first, last = on.index(True), len(on) - 1 - on[::-1].index(True)
            if not all(on[first:last + 1]):
                faults.append(f"{kind} {i}: magenta inside the face")
                break
    if sum(p[:3] != KEY for p in rows[h // 2]) < w * 0.95:
        faults.append("the face does not fill the window's width")
    return faults


def fringe_faults(rows):
    """No face pixel may be a blend towards magenta (a pink fringe)."""
    for y, row in enumerate(rows):
        for x, (r, g, b) in enumerate(p[:3] for p in row):
            if (r, g, b) != KEY and r > 150 and b > 150 and g < min(r, b) - 80:
                return [f"pixel ({x}, {y}) {r, g, b} is a blend with the key"]
    return []


def luminance(p):
    return 0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]


def well_faults(rows, rect, scale, name):
    """The face is dark under a control and in the ring just around it: the
    face was drawn around the layout's rectangle, not beside it."""
    x, y, w, h = (v * scale for v in rect)
    ring = [rows[y - 1][i] for i in range(x, x + w)] + [rows[y + h][i] for i in range(x, x + w)]
    ring += [rows[j][x - 1] for j in range(y, y + h)] + [rows[j][x + w] for j in range(y, y + h)]
    inside = [rows[j][i] for j in range(y, y + h) for i in range(x, x + w)]
    faults = []
    if max(luminance(p) for p in inside) > 40:
        faults.append(f"{name}: the face under it is not a dark well")
    if sum(luminance(p) for p in ring) / len(ring) > 30:
        faults.append(f"{name}: no dark well edge around it")
    return faults


def overlap(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


def inside(inner, outer):
    return (outer[0] <= inner[0] and outer[1] <= inner[1]
            and inner[0] + inner[2] <= outer[0] + outer[2]
            and inner[1] + inner[3] <= outer[1] + outer[3])


def layout_faults(rects, size):
    faults = []
    for name, (w, h) in FIXED_SIZES.items():
        if name not in rects:
            faults.append(f"{name}: missing")
        elif tuple(rects[name][2:]) != (w, h):
            faults.append(f"{name}: {rects[name][2]} x {rects[name][3]}, not {w} x {h}")
    for name in READOUTS:
        for key in (name, f"{name}_caption"):
            if key not in rects:
                faults.append(f"{key}: missing")
        if name in rects and (rects[name][2] < READOUT_MIN[0] or rects[name][3] != READOUT_MIN[1]):
            faults.append(f"{name}: {rects[name][2:]} holds no 11-character read-out")
    for name in ("title", "maker", "maker_plate", "bay"):
        if name not in rects:
            faults.append(f"{name}: missing")
    if faults:
        return faults
    for name, r in rects.items():
        if r[0] < 0 or r[1] < 0 or r[0] + r[2] > size[0] or r[1] + r[3] > size[1]:
            faults.append(f"{name}: {r} leaves the face")
    # Controls shown together must not cover each other. The settings panel
    # replaces the displays, the stop caption the record caption, and the
    # bay and the plate are backgrounds, so those are left out.
    shown = [n for n in rects if n not in ("settings", "stop_caption", "bay", "maker_plate")]
    for i, a in enumerate(shown):
        for b in shown[i + 1:]:
            if overlap(rects[a], rects[b]):
                faults.append(f"{a} and {b} overlap")
    for name in ("banner", "display", *READOUTS, *(f"{n}_caption" for n in READOUTS),
                 "settings"):
        if not inside(rects[name], rects["bay"]):
            faults.append(f"{name}: not inside the bay it swaps in")
    for name in ("display", *READOUTS):
        if not overlap(rects["settings"], rects[name]):
            faults.append(f"settings: does not cover {name}")
    if not inside(rects["maker"], rects["maker_plate"]):
        faults.append("maker: not on its plate")
    if not inside(rects["stop_caption"], rects["record_caption"]):
        faults.append("stop_caption: not in the record caption's place")
    return faults


def on_face_faults(rows, rects, scale):
    faults = []
    for name, r in rects.items():
        x, y, w, h = (v * scale for v in r)
        if any(rows[j][i][:3] == KEY for j in range(y, y + h) for i in range(x, x + w)):
            faults.append(f"{name}: part of it is cut away by the key")
    return faults


def half(rows):
    """Averages 2 x 2 blocks (alpha-weighted for RGBA)."""
    out = []
    for y in range(0, len(rows), 2):
        row = []
        for x in range(0, len(rows[0]), 2):
            block = [rows[y][x], rows[y][x + 1], rows[y + 1][x], rows[y + 1][x + 1]]
            row.append(tuple(sum(p[c] for p in block) / 4 for c in range(len(block[0]))))
        out.append(row)
    return out


def twin_faults(one, two, name):
    """The @2x twin is exactly twice the size, shows the same picture
    (its 2 x 2 averages are close to the 1x pixels), and was drawn rather
    than scaled (it is not the 1x picture with each pixel doubled)."""
    if (len(two), len(two[0])) != (2 * len(one), 2 * len(one[0])):
        return [f"{name}@2x: {len(two[0])} x {len(two)}, not twice {len(one[0])} x {len(one)}"]
    small = half(two)
    n = len(one) * len(one[0]) * len(one[0][0])
    diff = sum(abs(a - b) for ra, rb in zip(one, small) for pa, pb in zip(ra, rb)
               for a, b in zip(pa, pb)) / n
    faults = []
    if diff > 12:
        faults.append(f"{name}@2x: differs from the 1x picture (mean {diff:.1f} per channel)")
    doubled = all(two[y][x] == one[y // 2][x // 2]
                  for y in range(len(two)) for x in range(len(two[0])))
    if doubled:
        faults.append(f"{name}@2x: the 1x picture scaled up, not drawn")
    return faults


def image_faults(rows, size, name, round_corners=True):
    faults = []
    if (len(rows[0]), len(rows)) != size:
        faults.append(f"{name}: {len(rows[0])} x {len(rows)}, not {size[0]} x {size[1]}")
        return faults
    if len(rows[0][0]) != 4:
        faults.append(f"{name}: no alpha channel")
        return faults
    if round_corners and rows[0][0][3] != 0:
        faults.append(f"{name}: its corner is not transparent")
    if rows[len(rows) // 2][len(rows[0]) // 2][3] != 255:
        faults.append(f"{name}: its centre is not opaque")
    return faults


# --- Made-up faces the checks must reject -----------------------------------


def fixture_face(w=12, h=10):
    rows = [[(40, 42, 46)] * w for _ in range(h)]
    for x, y in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
        rows[y][x] = KEY
    return rows


def self_test():
    def hole(r):
        r[4][5] = KEY

    def corner(r):
        r[0][0] = (40, 42, 46)

    def pink(r):
        r[1][0] = (180, 30, 190)

    cases = [  # (what, change, check, must fail)
        ("clean face", None, face_outline_faults, False),
        ("hole in the face", hole, face_outline_faults, True),
        ("key at the top-left missing", corner, face_outline_faults, True),
        ("clean edge", None, fringe_faults, False),
        ("pink blend at the edge", pink, fringe_faults, True),
    ]
    faults = []
    for what, change, check, must_fail in cases:
        rows = fixture_face()
        if change:
            change(rows)
        if bool(check(rows)) != must_fail:
            faults.append(f"self-test: {what}: {'passed' if must_fail else 'failed'}")
    # A notch in the left edge leaves every row one run, but not that column.
    rows = fixture_face()
    rows[4][0] = KEY
    if not any("column" in f for f in face_outline_faults(rows)):
        faults.append("self-test: a hole in a column passed")
    rects = {n: [0, 0, w, h] for n, (w, h) in FIXED_SIZES.items()}
    if not any("overlap" in f or "missing" in f for f in layout_faults(rects, (399, 363))):
        faults.append("self-test: a layout of piled-up controls passed")
    picture = [[(x * 20, y * 20, 0, 255) for x in range(4)] for y in range(4)]
    doubled = [[picture[y // 2][x // 2] for x in range(8)] for y in range(8)]
    if not twin_faults(picture, doubled, "fixture"):
        faults.append("self-test: a scaled-up twin passed")
    return faults


# --- Main -------------------------------------------------------------------


def main():
    groups = []
    groups.append(("the checks themselves", self_test()))

    with open(os.path.join(HERE, "skin_layout.json")) as f:
        doc = json.load(f)
    size = tuple(doc["size"])
    rects = doc["rects"]
    groups.append(("layout", (["size is not 399 x 363"] if size != (399, 363) else [])
                   + layout_faults(rects, size)))

    skins = {}
    for scale, suffix in ((1, ""), (2, "@2x")):
        w, h, ch, rows = read_png(os.path.join(HERE, f"skin{suffix}.png"))
        skins[scale] = rows
        faults = []
        if (w, h) != (size[0] * scale, size[1] * scale):
            faults.append(f"{w} x {h}, not {size[0] * scale} x {size[1] * scale}")
        if ch != 3:
            faults.append("not 24-bit RGB")
        if not faults:
            faults += face_outline_faults(rows) + fringe_faults(rows)
            faults += on_face_faults(rows, rects, scale)
            for name in ("banner", "display", "gauge", *READOUTS):
                faults += well_faults(rows, rects[name], scale, name)
        groups.append((f"skin{suffix}.png", faults))
    key_mask = [[p == KEY for p in row] for row in skins[1]]
    key_mask2 = [[p == KEY for p in row] for row in skins[2]]
    disagree = sum(key_mask[y // 2][x // 2] != key_mask2[y][x]
                   for y in range(len(key_mask2)) for x in range(len(key_mask2[0])))
    groups.append(("skin@2x outline", [f"{disagree} pixels cut differently from the 1x outline"]
                   if disagree > 4 * 40 else []))

    faults = []
    pictures = {}
    names = [(n, (64, 65)) for n in ("record", "record_pressed", "stop", "stop_pressed")]
    names += [(f"{b}{s}", (34, 32)) for b in BUTTONS for s in ("", "_pressed", "_hover")]
    for name, (w, h) in names:
        for scale, suffix in ((1, ""), (2, "@2x")):
            _, _, _, rows = read_png(os.path.join(HERE, f"{name}{suffix}.png"))
            pictures[name + suffix] = rows
            faults += image_faults(rows, (w * scale, h * scale), name + suffix)
        faults += twin_faults(pictures[name], pictures[name + "@2x"], name)
    state_sets = [("record", "record_pressed"), ("stop", "stop_pressed"), ("record", "stop")]
    state_sets += [(b, f"{b}_pressed", f"{b}_hover") for b in BUTTONS]
    for states in state_sets:
        for i, a in enumerate(states):
            for b in states[i + 1:]:
                if pictures[a] == pictures[b]:
                    faults.append(f"{a} and {b} are the same picture")
    icons = [pictures[b] for b in BUTTONS]
    if any(icons[i] == icons[j] for i in range(5) for j in range(i + 1, 5)):
        faults.append("two buttons show the same picture")
    groups.append(("images", faults))

    failed = False
    for name, faults in groups:
        print(f"{'FAIL' if faults else 'ok  '} {name}")
        for fault in faults:
            print(f"     {fault}")
        failed = failed or bool(faults)
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
