#!/usr/bin/env python3
"""Draws the pictures of tidewell's resources and writes them as BMP/ICO.

  logo.bmp      the window's logo, 328 x 120 at 4 bits per pixel, 16 colours:
                an emblem (waves with a rising arrow under the sun) on the
                left and the word "Tidewell" at the top right. The band the
                status line, progress bar and button use (from y 48 on,
                right of x 112) stays plain white, the background the status
                text is drawn on.
  tidewell.ico  the program icon, the emblem at 32 x 32 and 16 x 16

Usage: make_tidewell_art.py [output-folder]   (default: tidewell/resources)
The drawing helpers and file writers are Marrowby's (make_marrowby_art.py);
only the standard library is used and the output is deterministic.
"""

import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from make_marrowby_art import (INK, WHITE, any_of, bmp_bytes, canvas,  # noqa: E402
                               ico_bytes, in_polygon, in_rect, mask_of,
                               near_segment, paint)

LOGO_WIDTH, LOGO_HEIGHT = 328, 120
TEXT_BAND_LEFT, TEXT_BAND_TOP = 112, 48
ICON_CLEAR = INK['M']  # magenta never appears in the emblem: it marks transparency


# ---------------------------------------------------------------- shapes

def in_ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def ring(cx, cy, rx, ry, width, gap=None):
    """An elliptical band; gap=(from, to) leaves out those angles (degrees,
    0 pointing right, counting clockwise on the screen)."""
    outer = in_ellipse(cx, cy, rx + width / 2, ry + width / 2)
    inner = in_ellipse(cx, cy, rx - width / 2, ry - width / 2)

    def inside(x, y):
        if not outer(x, y) or inner(x, y):
            return False
        if gap is None:
            return True
        angle = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return not gap[0] <= angle <= gap[1]
    return inside


def polyline(points, radius):
    return any_of(*[near_segment(ax, ay, bx, by, radius)
                    for (ax, ay), (bx, by) in zip(points, points[1:])])


def sea(middle, amplitude, period, phase=0.0):
    """Everything below a wavy surface."""
    return lambda x, y: y >= middle + amplitude * math.sin(x / period * 2 * math.pi + phase)


def wave_band(left, right, middle, amplitude, period, thickness, phase=0.0):
    def inside(x, y):
        if not left <= x <= right:
            return False
        crest = middle + amplitude * math.sin((x - left) / period * 2 * math.pi + phase)
        return crest <= y <= crest + thickness
    return inside


# ---------------------------------------------------------------- the emblem

def emblem(size, background):
    """The sun over three waves with an arrow rising out of them, in a navy
    ring; coordinates on a 100-pixel grid scaled to size."""
    s = size / 100.0
    picture = canvas(size, size, background)
    disc = in_ellipse(50 * s, 50 * s, 47 * s, 47 * s)
    paint(picture, mask_of(size, size, disc), WHITE)
    sun = in_ellipse(66 * s, 30 * s, 13 * s, 13 * s)
    paint(picture, mask_of(size, size, lambda x, y: disc(x, y) and sun(x, y)), INK['Y'], INK['o'])
    for i, (ink, edge) in enumerate((('C', 't'), ('B', 'n'), ('n', 'n'))):
        water = sea((56 + 13 * i) * s, 4.5 * s, 34 * s, phase=i * 1.3)
        paint(picture, mask_of(size, size, lambda x, y, water=water: disc(x, y) and water(x, y)),
              INK[ink], INK[edge] if size >= 32 else None)
    arrow = any_of(in_rect(29 * s, 36 * s, 39 * s, 80 * s),
                   in_polygon([(18 * s, 40 * s), (50 * s, 40 * s), (34 * s, 16 * s)]))
    paint(picture, mask_of(size, size, arrow), INK['G'], INK['g'])
    rim_width = max(2.0, 6 * s)
    paint(picture, mask_of(size, size, ring(50 * s, 50 * s, 46 * s, 46 * s, rim_width)), INK['n'])
    # Outlines drawn round the waves must not stick out beyond the rim.
    outside = mask_of(size, size, lambda x, y: not in_ellipse(50 * s, 50 * s, 46 * s + rim_width / 2,
                                                               46 * s + rim_width / 2)(x, y))
    paint(picture, outside, background)
    return picture


# ---------------------------------------------------------------- the word

def glyphs(scale):
    """Stroke shapes of the letters of "Tidewell" on a grid where the capital
    height runs from y 0 to 26 and the x-height from 8; each entry is
    (advance, shape factory taking the left edge x0 and the top y0)."""
    r = 2.1 * scale

    def T(x0, y0):
        return any_of(near_segment(x0, y0, x0 + 16 * scale, y0, r),
                      near_segment(x0 + 8 * scale, y0, x0 + 8 * scale, y0 + 26 * scale, r))

    def i(x0, y0):
        return any_of(in_ellipse(x0 + 2 * scale, y0 + 2 * scale, 2.6 * scale, 2.6 * scale),
                      near_segment(x0 + 2 * scale, y0 + 9 * scale, x0 + 2 * scale, y0 + 26 * scale, r))

    def d(x0, y0):
        cx, cy = x0 + 8 * scale, y0 + 17.5 * scale
        return any_of(ring(cx, cy, 7 * scale, 8.5 * scale, 2 * r),
                      near_segment(x0 + 15 * scale, y0, x0 + 15 * scale, y0 + 26 * scale, r))

    def e(x0, y0):
        cx, cy = x0 + 8 * scale, y0 + 17.5 * scale
        return any_of(ring(cx, cy, 7.5 * scale, 8.5 * scale, 2 * r, gap=(12, 55)),
                      near_segment(x0 + 1 * scale, cy, x0 + 15 * scale, cy, r * 0.9))

    def w(x0, y0):
        top, bottom = y0 + 9 * scale, y0 + 26 * scale
        return polyline([(x0, top), (x0 + 5 * scale, bottom), (x0 + 10 * scale, y0 + 13 * scale),
                         (x0 + 15 * scale, bottom), (x0 + 20 * scale, top)], r)

    def l(x0, y0):
        return near_segment(x0 + 2 * scale, y0, x0 + 2 * scale, y0 + 26 * scale, r)

    return [(16, T), (4, i), (17, d), (16, e), (20, w), (16, e), (4, l), (4, l)]


def word(picture, left, top, scale, ink):
    x = left
    shapes = []
    for advance, make in glyphs(scale):
        shapes.append(make(x, top))
        x += (advance + 6) * scale
    height, width = len(picture), len(picture[0])
    paint(picture, mask_of(width, height, any_of(*shapes)), INK[ink])
    return x


def logo():
    picture = canvas(LOGO_WIDTH, LOGO_HEIGHT, WHITE)
    mark = emblem(100, WHITE)
    for y in range(100):
        for x in range(100):
            picture[y + 10][x + 6] = mark[y][x]
    end = word(picture, 122, 9, 1.25, 'n')
    swell = wave_band(122, end - 6, 43, 1.6, 26, 2.2)
    paint(picture, mask_of(LOGO_WIDTH, LOGO_HEIGHT, swell), INK['t'])
    # Nothing may reach into the band of the status line and the controls.
    for y in range(TEXT_BAND_TOP, LOGO_HEIGHT):
        for x in range(TEXT_BAND_LEFT, LOGO_WIDTH):
            picture[y][x] = WHITE
    return picture


def artwork():
    return {
        'logo.bmp': bmp_bytes(logo()),
        'tidewell.ico': ico_bytes([emblem(32, ICON_CLEAR), emblem(16, ICON_CLEAR)], ICON_CLEAR),
    }


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'tidewell', 'resources')
    for name, data in sorted(artwork().items()):
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)
        print(name, len(data))
    return 0


if __name__ == '__main__':
    sys.exit(main())
