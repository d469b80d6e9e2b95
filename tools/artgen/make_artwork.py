#!/usr/bin/python3
"""Draws the gauge's eight artwork images and its icon.

Writes into the assets folder (or the folder given as the first argument):
  face.png, needle.png, counter_back.png, off_flag_dot.png,
  off_flag_ring.png, digit_drum.png, ten_thousands_drum.png, ias_tape.png,
  altimeter.ico (48, 32 and 16 px, made from the drawn artwork).

Every PNG is colour type 6 (RGBA), 8 bits, not interlaced, straight alpha.
Cairo draws the shapes; the alpha that has to be exact (the window
overlays, the lamp's halo, the drum strips' last row) is computed here per
pixel, and the PNG and ICO files are written here with zlib, so cairo's
premultiplied pixels never round an alpha value. Same version of this
script, cairo and zlib: byte-identical files.

Geometry: pixel (x, y) covers [x, x+1) x [y, y+1) in cairo's coordinates;
ranges such as "rows 98-101" include both ends.

Dependencies: /usr/bin/python3 with python3-cairo, fonts-dejavu-core.
"""
import math
import os
import struct
import sys
import zlib

import cairo

VERSION = 1

FACE_BG = (24, 19, 15)          # corners around the round instrument
DRUM_BG = (74, 60, 51)          # drum strips, counter plate, airspeed tape
CREAM = (185, 167, 125)         # dial marks and numerals
LETTERING = (176, 160, 122)     # ALT, MB, IN HG, IAS, KNOTS
RULE = (200, 190, 160)          # the rule between dial and airspeed section
INDEX = (236, 226, 196)         # the fixed airspeed index
WHITE = (255, 255, 255)
SHAFT = (243, 228, 180)
HUB = (205, 193, 162)
RED = (255, 0, 0)
GREY = (204, 204, 204)

DIAL_CENTRE = (210.0, 138.0)    # centre of the graduation ring
CASE_CENTRE = (209.5, 210.0)    # centre of the round case
CASE_RADIUS = 196.0
DIAL_RADIUS = 188.0             # inside of the bezel

# The drum strips: 13 cells, 26 px apart, reading 1 0 9 8 7 6 5 4 3 2 1 0 9.
CELL_PITCH = 26
CELL_DIGITS = [1, 0, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 9]
HATCH_CELL = 11

# Airspeed tape: mark for v knots centred on x = 104 + 4.368 (v - 60).
TAPE_X60 = 104.0
TAPE_PX_PER_KT = 4.368


# ---------------------------------------------------------------------------
# Straight RGBA images and their files

class Image:
    """Straight (not premultiplied) RGBA8 pixels, rows top first."""

    def __init__(self, width, height, fill=(0, 0, 0, 0)):
        self.width = width
        self.height = height
        self.px = bytearray(bytes(fill) * (width * height))

    def get(self, x, y):
        i = (y * self.width + x) * 4
        return tuple(self.px[i:i + 4])

    def put(self, x, y, rgba):
        i = (y * self.width + x) * 4
        self.px[i:i + 4] = bytes(rgba)


def straight_from_surface(surface):
    """Unpremultiplies a cairo ARGB32 surface into an Image."""
    surface.flush()
    w, h, stride = surface.get_width(), surface.get_height(), surface.get_stride()
    data = bytes(surface.get_data())
    img = Image(w, h)
    little = sys.byteorder == "little"
    for y in range(h):
        row = data[y * stride:y * stride + w * 4]
        for x in range(w):
            if little:
                b, g, r, a = row[x * 4:x * 4 + 4]
            else:
                a, r, g, b = row[x * 4:x * 4 + 4]
            if a == 0:
                rgba = (0, 0, 0, 0)
            elif a == 255:
                rgba = (r, g, b, 255)
            else:
                rgba = tuple(min(255, (c * 255 + a // 2) // a) for c in (r, g, b)) + (a,)
            img.put(x, y, rgba)
    return img


def surface_from_straight(img):
    """A premultiplied cairo surface holding an Image (for composing)."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, img.width, img.height)
    stride = surface.get_stride()
    buf = bytearray(stride * img.height)
    little = sys.byteorder == "little"
    for y in range(img.height):
        for x in range(img.width):
            r, g, b, a = img.get(x, y)
            r, g, b = ((c * a + 127) // 255 for c in (r, g, b))
            px = (b, g, r, a) if little else (a, r, g, b)
            buf[y * stride + x * 4:y * stride + x * 4 + 4] = bytes(px)
    surface.get_data()[:] = buf
    surface.mark_dirty()
    return surface


def png_bytes(img):
    """PNG file, colour type 6, 8 bits, not interlaced, adaptive filters."""
    w, h, bpp = img.width, img.height, 4
    stride = w * bpp
    raw = bytearray()
    prev = bytearray(stride)
    for y in range(h):
        line = img.px[y * stride:(y + 1) * stride]
        best = None
        for ftype in range(5):
            out = bytearray(stride)
            for i in range(stride):
                a = line[i - bpp] if i >= bpp else 0
                b = prev[i]
                c = prev[i - bpp] if i >= bpp else 0
                if ftype == 0:
                    pred = 0
                elif ftype == 1:
                    pred = a
                elif ftype == 2:
                    pred = b
                elif ftype == 3:
                    pred = (a + b) >> 1
                else:
                    p = a + b - c
                    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                    pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                out[i] = (line[i] - pred) & 0xFF
            cost = sum(v if v < 128 else 256 - v for v in out)
            if best is None or cost < best[0]:
                best = (cost, ftype, out)
        raw.append(best[1])
        raw += best[2]
        prev = line

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def ico_bytes(images):
    """ICO file of 32-bit DIB entries (BGRA plus an AND mask)."""
    entries = []
    for img in images:
        w, h = img.width, img.height
        header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, 0, 0, 0, 0, 0)
        xor = bytearray()
        mask_stride = ((w + 31) // 32) * 4
        mask = bytearray()
        for y in reversed(range(h)):
            mrow = bytearray(mask_stride)
            for x in range(w):
                r, g, b, a = img.get(x, y)
                xor += bytes((b, g, r, a))
                if a == 0:
                    mrow[x // 8] |= 0x80 >> (x % 8)
            mask += mrow
        entries.append((w, h, header + xor + mask))
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for w, h, data in entries:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, _, data in entries:
        out += data
    return out


# ---------------------------------------------------------------------------
# Drawing helpers

def rgb(c, alpha=None):
    if alpha is None:
        return tuple(v / 255.0 for v in c)
    return tuple(v / 255.0 for v in c) + (alpha,)


def new_context(surface):
    ctx = cairo.Context(surface)
    ctx.set_antialias(cairo.ANTIALIAS_GRAY)
    options = cairo.FontOptions()
    options.set_antialias(cairo.ANTIALIAS_GRAY)
    options.set_hint_style(cairo.HINT_STYLE_NONE)
    options.set_hint_metrics(cairo.HINT_METRICS_OFF)
    ctx.set_font_options(options)
    return ctx


def set_font(ctx, height, width_scale=1.0, bold=True, flat_height_glyph="7"):
    """Selects DejaVu Sans so that a flat-topped glyph is `height` px tall."""
    ctx.select_font_face("DejaVu Sans", cairo.FONT_SLANT_NORMAL,
                         cairo.FONT_WEIGHT_BOLD if bold else cairo.FONT_WEIGHT_NORMAL)
    ctx.set_font_size(100)
    h100 = ctx.text_extents(flat_height_glyph).height
    size = 100.0 * height / h100
    ctx.set_font_matrix(cairo.Matrix(xx=size * width_scale, yy=size))


def text_ink(ctx, text):
    xb, yb, w, h, _, _ = ctx.text_extents(text)
    return xb, yb, w, h


def draw_text_centred(ctx, text, cx, baseline, colour):
    """Ink box centred on cx, sitting on `baseline`."""
    xb, _, w, _ = text_ink(ctx, text)
    ctx.move_to(cx - xb - w / 2.0, baseline)
    ctx.text_path(text)
    ctx.set_source_rgb(*rgb(colour))
    ctx.fill()


def rounded_rect(ctx, x0, y0, x1, y1, r):
    ctx.new_sub_path()
    ctx.arc(x1 - r, y0 + r, r, -math.pi / 2, 0)
    ctx.arc(x1 - r, y1 - r, r, 0, math.pi / 2)
    ctx.arc(x0 + r, y1 - r, r, math.pi / 2, math.pi)
    ctx.arc(x0 + r, y0 + r, r, math.pi, 1.5 * math.pi)
    ctx.close_path()


# ---------------------------------------------------------------------------
# Face

# Each window: the rectangles that are not opaque (x0, x1, y0, y1, both ends
# included) and its fully transparent clear band.
WINDOWS = {
    "counter": {"open": [(138, 263, 85, 113), (171, 195, 81, 118)],
                "band": (146, 257, 98, 101)},
    "mb": {"open": [(31, 124, 216, 254)], "band": (34, 123, 233, 236)},
    "inhg": {"open": [(296, 386, 216, 254)], "band": (297, 385, 232, 235)},
    "ias": {"open": [(114, 307, 288, 349)], "band": (170, 274, 302, 345)},
}


RIM_EASE = (214, 225, 234, 241, 246, 249)


def rim_ramp(distance):
    """Overlay alpha of a row `distance` rows away from a clear band: about 6
    next to the band and 15 more per row, like the shading of a drum seen
    through its window, easing off towards 250 at the deepest rims."""
    if distance <= 14:
        return 6 + 15 * (distance - 1)
    return RIM_EASE[min(distance - 15, len(RIM_EASE) - 1)]


def window_alpha(name, x, y):
    """Alpha of the black overlay at (x, y), a pixel of window `name`."""
    bx0, bx1, by0, by1 = WINDOWS[name]["band"]
    if name == "ias":
        if y < by0:
            av = 6 + 15 * (by0 - 1 - y)               # rows 288-301
        elif y > by1:
            av = (30, 80, 140, 200)[y - by1 - 1]      # the thin bottom rim
        else:
            av = 0
        if x < bx0:
            ah = 255.0 * (bx0 - x) / 57.0              # opaque at 114, clear at 170
        elif x > bx1:
            ah = 255.0 * (x - bx1) / 34.0              # clear at 275, opaque at 307
        else:
            ah = 0
    else:
        av = rim_ramp(by0 - y) if y < by0 else rim_ramp(y - by1) if y > by1 else 0
        d = bx0 - x if x < bx0 else x - bx1 if x > bx1 else 0
        # The sides darken faster than the rows: the drums are flat across.
        ah = 0 if d == 0 else min(245, 20 + 45 * (d - 1))
    a = 255.0 * (1.0 - (1.0 - av / 255.0) * (1.0 - ah / 255.0))
    return min(250, int(a + 0.5))


def window_at(x, y):
    for name, win in WINDOWS.items():
        for x0, x1, y0, y1 in win["open"]:
            if x0 <= x <= x1 and y0 <= y <= y1:
                return name
    return None


def window_outline(ctx, name, grow):
    """Path around the open area of a window, `grow` px outside it."""
    for x0, x1, y0, y1 in WINDOWS[name]["open"]:
        rounded_rect(ctx, x0 - grow, y0 - grow, x1 + 1 + grow, y1 + 1 + grow, 1.5 + grow)


def draw_window_frame(ctx, name):
    """A recessed opening: a dark lip with a lit lower edge, like a mask
    cut into the dial plate."""
    ctx.save()
    ctx.set_fill_rule(cairo.FILL_RULE_WINDING)
    window_outline(ctx, name, 3.0)
    ctx.set_source_rgb(*rgb((12, 11, 10)))
    ctx.fill()
    # Light catches the lower right edge of the opening, the upper left is in shade.
    boxes = WINDOWS[name]["open"]
    x0 = min(b[0] for b in boxes) - 3
    x1 = max(b[1] for b in boxes) + 4
    y0 = min(b[2] for b in boxes) - 3
    y1 = max(b[3] for b in boxes) + 4
    grad = cairo.LinearGradient(x0, y0, x1, y1)
    grad.add_color_stop_rgb(0.0, *rgb((20, 18, 16)))
    grad.add_color_stop_rgb(0.55, *rgb((44, 41, 37)))
    grad.add_color_stop_rgb(1.0, *rgb((104, 98, 88)))
    window_outline(ctx, name, 3.0)
    window_outline(ctx, name, 1.5)
    ctx.set_fill_rule(cairo.FILL_RULE_EVEN_ODD)
    ctx.set_source(grad)
    ctx.fill()
    ctx.restore()


def draw_bezel(ctx):
    cx, cy = CASE_CENTRE
    # Outer case ring: dark anodised metal, lit from the upper left.
    grad = cairo.LinearGradient(cx - CASE_RADIUS, cy - CASE_RADIUS, cx + CASE_RADIUS, cy + CASE_RADIUS)
    grad.add_color_stop_rgb(0.0, *rgb((92, 88, 82)))
    grad.add_color_stop_rgb(0.45, *rgb((46, 44, 41)))
    grad.add_color_stop_rgb(1.0, *rgb((16, 15, 14)))
    ctx.arc(cx, cy, CASE_RADIUS, 0, 2 * math.pi)
    ctx.set_source(grad)
    ctx.fill()
    # A dark groove, then the inner lip lit the other way round: a step down
    # to the dial.
    ctx.arc(cx, cy, CASE_RADIUS - 3.5, 0, 2 * math.pi)
    ctx.set_source_rgb(*rgb((20, 19, 18)))
    ctx.fill()
    grad = cairo.LinearGradient(cx - DIAL_RADIUS, cy - DIAL_RADIUS, cx + DIAL_RADIUS, cy + DIAL_RADIUS)
    grad.add_color_stop_rgb(0.0, *rgb((18, 17, 16)))
    grad.add_color_stop_rgb(0.6, *rgb((40, 38, 35)))
    grad.add_color_stop_rgb(1.0, *rgb((86, 82, 76)))
    ctx.arc(cx, cy, CASE_RADIUS - 4.5, 0, 2 * math.pi)
    ctx.set_source(grad)
    ctx.fill()
    # The dial plate: matte black, a touch lighter towards the middle.
    grad = cairo.RadialGradient(cx - 20, cy - 40, 10, cx, cy, DIAL_RADIUS)
    grad.add_color_stop_rgb(0.0, *rgb((36, 35, 33)))
    grad.add_color_stop_rgb(1.0, *rgb((22, 21, 20)))
    ctx.arc(cx, cy, DIAL_RADIUS, 0, 2 * math.pi)
    ctx.set_source(grad)
    ctx.fill()


def draw_graduation(ctx):
    cx, cy = DIAL_CENTRE
    ctx.set_source_rgb(*rgb(CREAM))
    ctx.set_line_cap(cairo.LINE_CAP_BUTT)
    for i in range(50):
        angle = math.radians(i * 7.2)
        s, c = math.sin(angle), math.cos(angle)
        if i % 5 == 0:
            r0, r1, width = 89.0, 110.5, 3.4
        else:
            r0, r1, width = 95.5, 110.0, 1.7
        ctx.set_line_width(width)
        ctx.move_to(cx + r0 * s, cy - r0 * c)
        ctx.line_to(cx + r1 * s, cy - r1 * c)
        ctx.stroke()


def draw_numerals(ctx):
    cx, cy = DIAL_CENTRE
    set_font(ctx, 15.0, 0.86)
    for n in range(10):
        angle = math.radians(n * 36)
        r = 78.0
        # The numerals beside the counter window sit a little further out
        # to keep clear of its frame.
        if n in (1, 9):
            r = 80.0
        if n in (2, 8):
            r = 82.0
        x = cx + r * math.sin(angle)
        y = cy - r * math.cos(angle)
        _, yb, _, h = text_ink(ctx, str(n))
        draw_text_centred(ctx, str(n), x, y + h / 2.0, CREAM)


def draw_lettering(ctx):
    set_font(ctx, 10.0, 1.0, flat_height_glyph="T")
    draw_text_centred(ctx, "ALT", 210.5, 196.0, LETTERING)
    set_font(ctx, 9.0, 1.0, flat_height_glyph="T")
    draw_text_centred(ctx, "MB", 78.0, 208.0, LETTERING)
    draw_text_centred(ctx, "IN HG", 341.0, 208.0, LETTERING)
    set_font(ctx, 9.0, 1.0, flat_height_glyph="T")
    draw_text_centred(ctx, "IAS", 178.0, 376.0, LETTERING)
    draw_text_centred(ctx, "KNOTS", 248.0, 376.0, LETTERING)


def draw_rule_and_index(ctx):
    grad = cairo.LinearGradient(0, 279, 0, 283)
    grad.add_color_stop_rgb(0.0, *rgb((228, 218, 190)))
    grad.add_color_stop_rgb(1.0, *rgb((150, 140, 115)))
    ctx.rectangle(66, 279, 384 - 66 + 1, 4)
    ctx.set_source(grad)
    ctx.fill()
    # The fixed index: a slim triangle pointing up at the tape, axis x = 211.
    ctx.move_to(211.0, 353.0)
    ctx.line_to(216.0, 383.0)
    ctx.line_to(206.0, 383.0)
    ctx.close_path()
    ctx.set_source_rgb(*rgb(INDEX))
    ctx.fill()


def make_face():
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 420, 420)
    ctx = new_context(surface)
    ctx.set_source_rgb(*rgb(FACE_BG))
    ctx.paint()
    draw_bezel(ctx)
    draw_graduation(ctx)
    draw_numerals(ctx)
    for name in WINDOWS:
        draw_window_frame(ctx, name)
    draw_lettering(ctx)
    draw_rule_and_index(ctx)
    img = straight_from_surface(surface)
    for y in range(420):
        for x in range(420):
            name = window_at(x, y)
            if name is None:
                r, g, b, _ = img.get(x, y)
                img.put(x, y, (r, g, b, 255))
            else:
                img.put(x, y, (0, 0, 0, window_alpha(name, x, y)))
    return img


# ---------------------------------------------------------------------------
# Needle, lamp, plate

def with_bled_colour(draw, width, height, bleed):
    """Draws a transparent sprite whose transparent and rim pixels carry the
    colour of the nearest shape, so that bilinear sampling of the turned
    sprite never pulls in black. `draw(ctx, extra)` draws the shapes grown by
    `extra` px."""
    shape = cairo.ImageSurface(cairo.FORMAT_ARGB32, width, height)
    draw(new_context(shape), 0.0)
    colour = cairo.ImageSurface(cairo.FORMAT_ARGB32, width, height)
    ctx = new_context(colour)
    draw(ctx, bleed)
    ctx.set_source_surface(shape)
    ctx.paint()
    coverage = straight_from_surface(shape)
    tint = straight_from_surface(colour)
    img = Image(width, height)
    for y in range(height):
        for x in range(width):
            a = coverage.get(x, y)[3]
            r, g, b, ta = tint.get(x, y)
            if ta == 0:
                r, g, b = SHAFT
            img.put(x, y, (r, g, b, a))
    return img


def draw_needle(ctx, extra):
    ctx.set_line_join(cairo.LINE_JOIN_MITER)
    # Pointer: arrowhead over rows 1-9, shaft x 97-101 over rows 10-82.
    ctx.move_to(99.5, 1.0)
    ctx.line_to(105.0, 10.0)
    ctx.line_to(102.0, 10.0)
    ctx.line_to(102.0, 90.0)
    ctx.line_to(97.0, 90.0)
    ctx.line_to(97.0, 10.0)
    ctx.line_to(94.0, 10.0)
    ctx.close_path()
    ctx.set_source_rgb(*rgb(SHAFT))
    if extra:
        ctx.set_line_width(2 * extra)
        ctx.stroke_preserve()
    ctx.fill()
    # Hub: a disc 32 px across centred on pixel (99, 98.5), lit from the top left.
    hx, hy = 99.5, 99.0
    grad = cairo.RadialGradient(hx - 5, hy - 6, 2, hx, hy, 16 + extra)
    grad.add_color_stop_rgb(0.0, *rgb((226, 214, 182)))
    grad.add_color_stop_rgb(0.7, *rgb(HUB))
    grad.add_color_stop_rgb(1.0, *rgb((172, 160, 132)))
    ctx.arc(hx, hy, 16.0 + extra, 0, 2 * math.pi)
    ctx.set_source(grad)
    ctx.fill()
    if extra:
        return
    # The screw that holds the pointer: dark, 12 px across, with its slot.
    grad = cairo.RadialGradient(hx + 1.5, hy + 1.5, 1, hx, hy, 6)
    grad.add_color_stop_rgb(0.0, *rgb((70, 64, 56)))
    grad.add_color_stop_rgb(1.0, *rgb((30, 27, 24)))
    ctx.arc(hx, hy, 6.0, 0, 2 * math.pi)
    ctx.set_source(grad)
    ctx.fill()
    ctx.save()
    ctx.translate(hx, hy)
    ctx.rotate(math.radians(-30))
    ctx.rectangle(-4.5, -0.8, 9.0, 1.6)
    ctx.set_source_rgb(*rgb((12, 11, 10)))
    ctx.fill()
    ctx.restore()


def make_needle():
    return with_bled_colour(draw_needle, 198, 198, 2.0)


def make_counter_back():
    return Image(142, 52, DRUM_BG + (255,))


def make_off_flag_dot():
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 30, 30)
    ctx = new_context(surface)
    ctx.arc(15.0, 15.0, 5.0, 0, 2 * math.pi)
    ctx.set_source_rgb(1, 1, 1)
    ctx.fill()
    coverage = straight_from_surface(surface)
    img = Image(30, 30)
    for y in range(30):
        for x in range(30):
            a = coverage.get(x, y)[3]
            img.put(x, y, (RED + (a,)) if a else (0, 0, 0, 0))
    # The glint of the lamp's glass: a small cross, upper right.
    for x, y in ((16, 13), (15, 13), (17, 13), (16, 12), (16, 14)):
        img.put(x, y, GREY + (255,))
    return img


def make_off_flag_ring():
    img = Image(30, 30)
    for y in range(30):
        for x in range(30):
            d = math.hypot(x + 0.5 - 15.0, y + 0.5 - 15.0)
            if d < 4.0:
                a = 0                                   # the hole the dot fills
            else:
                a = int(round(max(0.0, min(176.0, 176.0 * (15.0 - d) / 10.5))))
            img.put(x, y, RED + (a,))
    return img


# ---------------------------------------------------------------------------
# Drum strips and tape

# Flat digits span y 3.5 to 25.5 of their cell and round ones a little more,
# so every glyph lies on rows 3 to 25, centred on row 14.
DIGIT_HEIGHT = 22.0
DIGIT_WIDTH = 15.0


def drum_font(ctx):
    ctx.select_font_face("DejaVu Sans", cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_BOLD)
    ctx.set_font_size(100)
    h = ctx.text_extents("7").height
    w = max(ctx.text_extents(str(d)).width for d in range(10))
    ctx.set_font_matrix(cairo.Matrix(xx=100.0 * DIGIT_WIDTH / w, yy=100.0 * DIGIT_HEIGHT / h))


def make_digit_strip(hatched):
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 24, 400)
    ctx = new_context(surface)
    ctx.set_source_rgb(*rgb(DRUM_BG))
    ctx.paint()
    drum_font(ctx)
    for k, digit in enumerate(CELL_DIGITS):
        if hatched and k == HATCH_CELL:
            continue
        baseline = CELL_PITCH * k + 3.5 + DIGIT_HEIGHT
        draw_text_centred(ctx, str(digit), 12.0, baseline, WHITE)
    img = straight_from_surface(surface)
    if hatched:
        # Below 10,000 ft the ten-thousands drum shows a hatched flag: 1 px
        # white diagonals rising to the right, 5 px apart.
        for y in range(290, 312):
            for x in range(4, 21):
                if (x + y) % 5 == 0:
                    img.put(x, y, WHITE + (255,))
    for x in range(24):
        img.put(x, 399, DRUM_BG + (127,))
    return img


def tape_x(knots):
    return TAPE_X60 + TAPE_PX_PER_KT * (knots - 60)


def make_ias_tape():
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 1900, 80)
    ctx = new_context(surface)
    ctx.set_source_rgb(*rgb(DRUM_BG))
    ctx.paint()
    ctx.set_source_rgb(*rgb(WHITE))
    for v in range(60, 451):
        x = tape_x(v)
        if v % 10 == 0:
            ctx.rectangle(x - 1.0, 34.0, 2.0, 28.0)     # rows 34-61
        elif v % 5 == 0:
            ctx.rectangle(x - 0.9, 43.0, 1.8, 19.0)     # rows 43-61
        else:
            ctx.rectangle(x - 0.75, 59.0, 1.5, 3.0)     # rows 59-61
        ctx.fill()
    set_font(ctx, 15.0, 0.80)
    for v in range(60, 451, 10):
        draw_text_centred(ctx, str(v), tape_x(v), 32.0, WHITE)   # rows 17-31
    return straight_from_surface(surface)


# ---------------------------------------------------------------------------
# Icon: the dial with its needle turned a little

def compose_gauge(art, needle_degrees):
    """The face over its drums and tape, the needle on top (no shadows)."""
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 420, 420)
    ctx = new_context(surface)
    ctx.set_source_rgb(0, 0, 0)
    ctx.paint()

    def blit(name, x, y):
        ctx.set_source_surface(surface_from_straight(art[name]), x, y)
        ctx.paint()

    blit("counter_back", 119, 61)
    for x in (240, 216, 193, 169):
        blit("digit_drum", x, -201)
    blit("ten_thousands_drum", 141, -201)
    for x, d in ((100, 3), (78, 1), (55, 0), (32, 1), (364, 2), (342, 9), (319, 9), (296, 2)):
        blit("digit_drum", x, 26 * d - 66)
    blit("ias_tape", 107, 279)
    blit("face", 0, 0)
    ctx.save()
    ctx.translate(112 + 99.0, 47 + 99.0)
    ctx.rotate(math.radians(needle_degrees))
    ctx.translate(-99.0, -99.0)
    ctx.set_source_surface(surface_from_straight(art["needle"]), 0, 0)
    ctx.get_source().set_filter(cairo.FILTER_BILINEAR)
    ctx.paint()
    ctx.restore()
    return surface


def make_icon_images(art):
    """The dial ring and needle, cut round, with a thin case edge: the whole
    face would be mush at 16 px."""
    gauge = compose_gauge(art, 55.0)
    images = []
    cx, cy, radius = DIAL_CENTRE[0], DIAL_CENTRE[1] + 2.0, 121.0
    for size in (48, 32, 16):
        surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, size, size)
        ctx = new_context(surface)
        half = size / 2.0
        ctx.arc(half, half, half, 0, 2 * math.pi)
        ctx.set_source_rgb(*rgb((96, 92, 86)))
        ctx.fill()
        ctx.save()
        ctx.arc(half, half, half - max(1.0, size / 32.0), 0, 2 * math.pi)
        ctx.clip()
        ctx.translate(half, half)
        ctx.scale(half / radius, half / radius)
        ctx.translate(-cx, -cy)
        ctx.set_source_surface(gauge, 0, 0)
        ctx.get_source().set_filter(cairo.FILTER_BEST)
        ctx.paint()
        ctx.restore()
        images.append(straight_from_surface(surface))
    return images


# ---------------------------------------------------------------------------

ARTWORK = [
    ("face", make_face),
    ("needle", make_needle),
    ("counter_back", make_counter_back),
    ("off_flag_dot", make_off_flag_dot),
    ("off_flag_ring", make_off_flag_ring),
    ("digit_drum", lambda: make_digit_strip(False)),
    ("ten_thousands_drum", lambda: make_digit_strip(True)),
    ("ias_tape", make_ias_tape),
]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "assets")
    os.makedirs(out_dir, exist_ok=True)
    art = {}
    for name, make in ARTWORK:
        art[name] = make()
        with open(os.path.join(out_dir, name + ".png"), "wb") as f:
            f.write(png_bytes(art[name]))
    with open(os.path.join(out_dir, "altimeter.ico"), "wb") as f:
        f.write(ico_bytes(make_icon_images(art)))


if __name__ == "__main__":
    main()
