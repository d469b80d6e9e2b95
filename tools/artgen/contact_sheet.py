#!/usr/bin/python3
"""Contact sheet of the gauge artwork, for looking at it.

  contact_sheet.py ASSET_DIR OUT.png

Top row: the gauge composed from the eight images as the program draws it
(drums and tape under the face, face and needle shadows, the lamp while
disconnected) for a few sample readings. Below: each image at 1:1 on a
checkerboard, so its transparency shows, with its name and size, and the
needle and lamp enlarged 3x.

Dependencies: /usr/bin/python3 with python3-cairo.
"""
import math
import os
import sys

import cairo

NAMES = ["face", "needle", "counter_back", "off_flag_dot", "off_flag_ring",
         "digit_drum", "ten_thousands_drum", "ias_tape"]


def load(asset_dir):
    return {n: cairo.ImageSurface.create_from_png(os.path.join(asset_dir, n + ".png")) for n in NAMES}


def round_even(v):
    return int(round(v))   # Python rounds ties to even


def quantities(altitude, baro_raw, ias_raw):
    """The program's display arithmetic, enough for a preview."""
    thousands = int(altitude / 1000.0) & 0xFFFF
    remainder = altitude - 1000 * thousands
    q = {"needle": remainder * 0.36, "hundreds": round_even(remainder * 0.26 - 201)}
    text = ("%02d" % int(altitude / 1000.0))[:2]
    q["thousands"] = 26 * int(text[-1]) - 201
    q["tenThousands"] = 26 * int(text[0]) - 201
    hpa = ("%04d" % int(baro_raw / 16.0))[:4]
    inhg = ("%04d" % int(baro_raw / 5.417278))[:4]
    q["hpa"] = [26 * int(c) - 66 for c in hpa]
    q["inhg"] = [26 * int(c) - 66 for c in inhg]
    q["tape"] = 107 if ias_raw // 128 <= 60 else round_even(-(ias_raw / 128.0 - 60.0) * 4.3666 + 107)
    return q


def compose(art, altitude, baro_raw, ias_raw, connected):
    q = quantities(altitude, baro_raw, ias_raw)
    surface = cairo.ImageSurface(cairo.FORMAT_ARGB32, 420, 420)
    ctx = cairo.Context(surface)
    ctx.set_source_rgb(0, 0, 0)
    ctx.paint()

    def draw(name, x, y, angle=0.0):
        ctx.save()
        img = art[name]
        ctx.translate(x + img.get_width() / 2.0, y + img.get_height() / 2.0)
        ctx.rotate(math.radians(angle))
        ctx.translate(-img.get_width() / 2.0, -img.get_height() / 2.0)
        ctx.set_source_surface(img, 0, 0)
        ctx.get_source().set_filter(cairo.FILTER_BILINEAR)
        ctx.paint()
        ctx.restore()

    def shadow(name, x, y, angle=0.0):
        ctx.save()
        img = art[name]
        ctx.translate(x + img.get_width() / 2.0, y + img.get_height() / 2.0)
        ctx.rotate(math.radians(angle))
        ctx.translate(-img.get_width() / 2.0, -img.get_height() / 2.0)
        ctx.set_source_rgba(0, 0, 0, 100 / 255.0)
        ctx.mask_surface(img, 0, 0)
        ctx.restore()

    draw("counter_back", 119, 61)
    draw("digit_drum", 240, -201)
    draw("digit_drum", 216, -201)
    draw("digit_drum", 193, q["hundreds"])
    draw("digit_drum", 169, q["thousands"])
    draw("ten_thousands_drum", 141, q["tenThousands"])
    for x, i in ((100, 3), (78, 2), (55, 1), (32, 0)):
        draw("digit_drum", x, q["hpa"][i])
    for x, i in ((364, 3), (342, 2), (319, 1), (296, 0)):
        draw("digit_drum", x, q["inhg"][i])
    draw("ias_tape", q["tape"], 279)
    shadow("face", 5, 5)
    draw("face", 0, 0)
    shadow("needle", 116, 51, q["needle"])
    draw("needle", 112, 47, q["needle"])
    if not connected:
        draw("off_flag_dot", 70, 70)
        draw("off_flag_ring", 70, 70)
    return surface


def checker(ctx, x, y, w, h):
    ctx.save()
    ctx.rectangle(x, y, w, h)
    ctx.clip()
    for j in range(0, h, 8):
        for i in range(0, w, 8):
            ctx.set_source_rgb(*((0.42,) * 3 if (i // 8 + j // 8) % 2 else (0.58,) * 3))
            ctx.rectangle(x + i, y + j, 8, 8)
            ctx.fill()
    ctx.restore()


def label(ctx, text, x, y):
    ctx.set_source_rgb(0.9, 0.9, 0.9)
    ctx.select_font_face("DejaVu Sans", cairo.FONT_SLANT_NORMAL, cairo.FONT_WEIGHT_NORMAL)
    ctx.set_font_size(12)
    ctx.move_to(x, y)
    ctx.show_text(text)


def main():
    asset_dir, out = sys.argv[1], sys.argv[2]
    os.makedirs(os.path.dirname(os.path.abspath(out)), exist_ok=True)
    art = load(asset_dir)
    samples = [
        (12345, 16212, 32000, False, "12,345 ft  1013 hPa  250 kt  disconnected"),
        (999, 16208, 7680, True, "999 ft  1013 hPa  60 kt"),
        (37250, 16330, 57600, True, "37,250 ft  1020 hPa  450 kt"),
    ]
    width = max(20 + 440 * len(samples), 1340)
    sheet = cairo.ImageSurface(cairo.FORMAT_RGB24, width, 1130)
    ctx = cairo.Context(sheet)
    ctx.set_source_rgb(0.16, 0.16, 0.17)
    ctx.paint()
    for i, (alt, baro, ias, connected, text) in enumerate(samples):
        x = 20 + 440 * i
        ctx.set_source_surface(compose(art, alt, baro, ias, connected), x, 30)
        ctx.paint()
        label(ctx, text, x, 20)

    def show(name, x, y, scale=1, crop=None, text=None):
        img = art[name]
        cx, cy, cw, ch = crop or (0, 0, img.get_width(), img.get_height())
        checker(ctx, x, y, cw * scale, ch * scale)
        ctx.save()
        ctx.rectangle(x, y, cw * scale, ch * scale)
        ctx.clip()
        ctx.translate(x, y)
        ctx.scale(scale, scale)
        ctx.set_source_surface(img, -cx, -cy)
        ctx.get_source().set_filter(cairo.FILTER_NEAREST)
        ctx.paint()
        ctx.restore()
        label(ctx, text or "%s %dx%d" % (name, img.get_width(), img.get_height()), x, y - 6)

    show("face", 20, 480)
    show("needle", 460, 480)
    show("counter_back", 680, 480)
    show("off_flag_dot", 680, 570, text="dot")
    show("off_flag_ring", 740, 570, text="ring")
    show("off_flag_dot", 680, 630, 3, text="dot x3")
    show("off_flag_ring", 780, 630, 3, text="ring x3")
    show("needle", 460, 700, 3, (84, 0, 30, 30), "needle tip x3")
    show("digit_drum", 900, 480, text="digit_drum")
    show("ten_thousands_drum", 990, 480, text="ten_thousands")
    show("digit_drum", 1100, 480, 3, (0, 260, 24, 78), "cells 10-12 x3")
    show("ten_thousands_drum", 1200, 480, 3, (0, 260, 24, 78), "hatched x3")
    show("ias_tape", 20, 920, 1, (0, 0, width - 40, 80), "ias_tape 1900x80, left part")
    show("ias_tape", 20, 1030, 1, (1900 - (width - 40), 0, width - 40, 80), "ias_tape, right part")
    sheet.write_to_png(out)


if __name__ == "__main__":
    main()
