#!/usr/bin/env python3
"""Draws the pictures of marrowby's resources and writes them as BMP/ICO.

Everything is 16 colours with the standard Windows palette, so the files
load on any display depth:

  toolbar.bmp     six 16 x 15 toolbar images side by side on button-face
                  silver (the toolbar maps silver to the current face colour)
  state_*.bmp     six 16 x 16 list state icons on white (the mask colour)
  marrowby.ico    the program icon, 32 x 32 and 16 x 16

Usage: make_marrowby_art.py [output-folder]   (default: marrowby/resources)
Only the standard library is used; the output is deterministic.
"""

import os
import struct
import sys

PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# One letter per palette entry, for the hand-drawn grids.
INK = {
    'k': 0, 'r': 1, 'g': 2, 'o': 3, 'n': 4, 'p': 5, 't': 6, 's': 7,
    'd': 8, 'R': 9, 'G': 10, 'Y': 11, 'B': 12, 'M': 13, 'C': 14, 'W': 15,
}
SILVER = INK['s']
WHITE = INK['W']


# ---------------------------------------------------------------- drawing

def canvas(width, height, background):
    return [[background] * width for _ in range(height)]


def from_grid(rows, background):
    """A hand-drawn picture; '.' is the background."""
    return [[background if c == '.' else INK[c] for c in row] for row in rows]


def mask_of(width, height, inside):
    """Pixels whose centres satisfy inside(x, y)."""
    return [[inside(x + 0.5, y + 0.5) for x in range(width)] for y in range(height)]


def paint(picture, mask, fill, outline=None):
    """Fills the mask and rings it with a one-pixel outline (8-neighbour)."""
    height, width = len(picture), len(picture[0])
    for y in range(height):
        for x in range(width):
            if mask[y][x]:
                picture[y][x] = fill
            elif outline is not None and touches(mask, x, y):
                picture[y][x] = outline


def touches(mask, x, y):
    height, width = len(mask), len(mask[0])
    for dy in (-1, 0, 1):
        for dx in (-1, 0, 1):
            nx, ny = x + dx, y + dy
            if 0 <= nx < width and 0 <= ny < height and mask[ny][nx]:
                return True
    return False


def in_rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def in_polygon(points):
    """Even-odd rule point-in-polygon test."""
    def inside(x, y):
        hit = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
            j = i
        return hit
    return inside


def near_segment(ax, ay, bx, by, radius):
    def inside(x, y):
        vx, vy = bx - ax, by - ay
        t = ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)
        t = max(0.0, min(1.0, t))
        px, py = ax + t * vx - x, ay + t * vy - y
        return px * px + py * py <= radius * radius
    return inside


def any_of(*shapes):
    return lambda x, y: any(shape(x, y) for shape in shapes)


# ---------------------------------------------------------------- subjects

def bars(width, height, background, top, bottom):
    picture = canvas(width, height, background)
    shape = any_of(in_rect(4, top, 7, bottom), in_rect(9, top, 12, bottom))
    paint(picture, mask_of(width, height, shape), INK['Y'], INK['o'])
    return picture


def triangle(width, height, background, top, bottom):
    picture = canvas(width, height, background)
    middle = (top + bottom) / 2
    shape = in_polygon([(4, top), (4, bottom), (13.5, middle)])
    paint(picture, mask_of(width, height, shape), INK['B'], INK['n'])
    return picture


def cross(width, height, background, cx, cy):
    picture = canvas(width, height, background)
    arm = 4.6
    shape = any_of(near_segment(cx - arm, cy - arm, cx + arm, cy + arm, 1.45),
                   near_segment(cx - arm, cy + arm, cx + arm, cy - arm, 1.45))
    paint(picture, mask_of(width, height, shape), INK['R'], INK['r'])
    return picture


def plus(width, height, background):
    picture = canvas(width, height, background)
    shape = any_of(in_rect(6, 1, 10, 13), in_rect(2, 5, 14, 9))
    paint(picture, mask_of(width, height, shape), INK['G'], INK['g'])
    return picture


def open_book():
    return from_grid([
        "................",
        "................",
        "..kkk......kkk..",
        ".kWWWkk..kkWWWk.",
        ".kWWWWWkkWWWWWk.",
        ".kWddddkkddddWk.",
        ".kWWWWWkkWWWWWk.",
        ".kWddddkkddddWk.",
        ".kWWWWWkkWWWWWk.",
        ".kWddddkkddddWk.",
        ".kWWWWWkkWWWWWk.",
        ".kWWkkkkkkkkWWk.",
        ".nkkBBBBBBBBkkn.",
        "..nnnnnnnnnnnn..",
        "................",
    ], SILVER)


def page_with_pen():
    picture = from_grid([
        "................",
        ".kkkkkkk........",
        ".kWWWWWkk.......",
        ".kWdddWkWk......",
        ".kWWWWWkkkk.....",
        ".kWddddddWk.....",
        ".kWWWWWWWWk.....",
        ".kWddddddWk.....",
        ".kWWWWWWWWk.....",
        ".kWddddddWk.....",
        ".kWWWWWWWWk.....",
        ".kWddddddWk.....",
        ".kWWWWWWWWk.....",
        ".kkkkkkkkkk.....",
        "................",
    ], SILVER)
    pen = near_segment(13.6, 2.6, 8.6, 8.8, 1.25)
    paint(picture, mask_of(16, 15, pen), INK['Y'], INK['k'])
    # nib at the lower end of the pen, pointing down-left onto the page
    for x, y, c in ((7, 10, 'o'), (6, 11, 'k'), (7, 11, 'k'), (6, 10, 'k')):
        picture[y][x] = INK[c]
    return picture


def tick(width, height, background):
    picture = canvas(width, height, background)
    shape = any_of(near_segment(3.2, 8.6, 6.6, 12.0, 1.4),
                   near_segment(6.6, 12.0, 12.8, 3.6, 1.4))
    paint(picture, mask_of(width, height, shape), INK['G'], INK['g'])
    return picture


def opposite_arrows(width, height, background):
    picture = canvas(width, height, background)
    right = any_of(in_rect(2, 3.6, 9, 5.4), in_polygon([(8.5, 1.2), (8.5, 7.8), (13.5, 4.5)]))
    left = any_of(in_rect(7, 10.6, 14, 12.4), in_polygon([(7.5, 8.2), (7.5, 14.8), (2.5, 11.5)]))
    paint(picture, mask_of(width, height, any_of(right, left)), INK['M'], INK['p'])
    return picture


def download_icon(size):
    """Blue arrow dropping into a grey tray; coordinates on a 32-pixel grid."""
    s = size / 32.0
    picture = canvas(size, size, WHITE)
    tray_outer = in_polygon([(3 * s, 19 * s), (29 * s, 19 * s), (29 * s, 29 * s), (3 * s, 29 * s)])
    tray_inner = in_polygon([(7 * s, 19 * s), (25 * s, 19 * s), (25 * s, 24 * s), (7 * s, 24 * s)])
    tray = lambda x, y: tray_outer(x, y) and not tray_inner(x, y)
    paint(picture, mask_of(size, size, tray), INK['d'], INK['k'])
    slot = in_polygon([(7 * s, 19 * s), (25 * s, 19 * s), (25 * s, 24 * s), (7 * s, 24 * s)])
    paint(picture, mask_of(size, size, slot), INK['s'])
    arrow = any_of(in_polygon([(12 * s, 2 * s), (20 * s, 2 * s), (20 * s, 12 * s), (12 * s, 12 * s)]),
                   in_polygon([(6 * s, 11 * s), (26 * s, 11 * s), (16 * s, 23 * s)]))
    paint(picture, mask_of(size, size, arrow), INK['B'], INK['n'])
    if size >= 32:  # a light stripe along the shaft reads as a highlight
        shine = in_polygon([(13.5 * s, 3.5 * s), (15 * s, 3.5 * s), (15 * s, 13 * s), (13.5 * s, 13 * s)])
        paint(picture, mask_of(size, size, shine), INK['C'])
    return picture


# ---------------------------------------------------------------- file formats

def palette_bytes():
    return b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)


def pixel_rows_4bpp(picture):
    """Bottom-up rows, two pixels a byte, each row padded to 4 bytes."""
    out = bytearray()
    width = len(picture[0])
    stride = ((width + 7) // 8) * 4
    for row in reversed(picture):
        line = bytearray()
        for x in range(0, width, 2):
            right = row[x + 1] if x + 1 < width else 0
            line.append((row[x] << 4) | right)
        out += line + bytes(stride - len(line))
    return bytes(out)


def mask_rows_1bpp(transparent):
    out = bytearray()
    width = len(transparent[0])
    stride = ((width + 31) // 32) * 4
    for row in reversed(transparent):
        line = bytearray(stride)
        for x, clear in enumerate(row):
            if clear:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def info_header(width, height, image_size):
    return struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, image_size, 0, 0, 16, 16)


def bmp_bytes(picture):
    width, height = len(picture[0]), len(picture)
    pixels = pixel_rows_4bpp(picture)
    header = info_header(width, height, len(pixels)) + palette_bytes()
    offset = 14 + len(header)
    return struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset) + header + pixels


def ico_bytes(pictures, transparent_index):
    images = []
    for picture in pictures:
        width, height = len(picture[0]), len(picture)
        clear = [[c == transparent_index for c in row] for row in picture]
        xor = pixel_rows_4bpp([[0 if c == transparent_index else c for c in row] for row in picture])
        mask = mask_rows_1bpp(clear)
        # An icon image's header counts the colour and mask rows together.
        images.append(info_header(width, height * 2, len(xor) + len(mask)) + palette_bytes() + xor + mask)
    out = struct.pack('<HHH', 0, 1, len(pictures))
    offset = 6 + 16 * len(pictures)
    for picture, image in zip(pictures, images):
        width, height = len(picture[0]), len(picture)
        out += struct.pack('<BBBBHHII', width % 256, height % 256, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b''.join(images)


def side_by_side(pictures):
    return [sum((p[y] for p in pictures), []) for y in range(len(pictures[0]))]


# ---------------------------------------------------------------- output

def artwork():
    toolbar = [
        open_book(),                       # 0 open a list
        page_with_pen(),                   # 1 save the list
        plus(16, 15, SILVER),              # 2 new download
        cross(16, 15, SILVER, 8.0, 7.5),   # 3 delete
        bars(16, 15, SILVER, 2, 12),       # 4 pause
        triangle(16, 15, SILVER, 1.5, 13.5),  # 5 start
    ]
    files = {'toolbar.bmp': bmp_bytes(side_by_side(toolbar))}
    states = {
        'state_waiting.bmp': canvas(16, 16, WHITE),
        'state_completed.bmp': tick(16, 16, WHITE),
        'state_paused.bmp': bars(16, 16, WHITE, 2, 13),
        'state_started.bmp': opposite_arrows(16, 16, WHITE),
        'state_receiving.bmp': triangle(16, 16, WHITE, 2, 14),
        'state_failed.bmp': cross(16, 16, WHITE, 8.0, 8.0),
    }
    for name, picture in states.items():
        files[name] = bmp_bytes(picture)
    files['marrowby.ico'] = ico_bytes([download_icon(32), download_icon(16)], WHITE)
    return files


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'marrowby', 'resources')
    for name, data in sorted(artwork().items()):
        with open(os.path.join(folder, name), 'wb') as f:
            f.write(data)
        print(name, len(data))
    return 0


if __name__ == '__main__':
    sys.exit(main())
