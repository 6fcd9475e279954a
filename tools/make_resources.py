#!/usr/bin/env python3
"""Draws the panel's bitmaps and icons and writes them into src/ui/resources/.

Run it from anywhere with `python3 tools/make_resources.py`; it needs
nothing but the Python 3 standard library. The files it writes are committed, so
building the library needs no image tools. The output is the same, byte for
byte, on every run: rerun it only after changing a picture here.

Written files:
  logo.bmp (108), wait.bmp (103), ok.bmp (104), ng.bmp (106): 193 x 66 pixels,
  the logo at 8 bits per pixel, the three state words at 4 bits per pixel.
  open_folder.ico (109), row_idle.ico (111), row_passed.ico (114),
  row_failed.ico (113), row_in_progress.ico (112): 32 x 32 and 16 x 16 images,
  4 bits per pixel with an AND mask.
"""

import colorsys
import math
import os
import struct

# Where the resource script kdll.rc takes them from.
OUTPUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "ui", "resources")

PICTURE_WIDTH = 193
PICTURE_HEIGHT = 66

# The 16-colour palette that Windows uses for 4-bit pictures, in its usual order.
BLACK = (0, 0, 0)
MAROON = (128, 0, 0)
GREEN = (0, 128, 0)
OLIVE = (128, 128, 0)
NAVY = (0, 0, 128)
PURPLE = (128, 0, 128)
TEAL = (0, 128, 128)
SILVER = (192, 192, 192)
GRAY = (128, 128, 128)
RED = (255, 0, 0)
LIME = (0, 255, 0)
YELLOW = (255, 255, 0)
BLUE = (0, 0, 255)
FUCHSIA = (255, 0, 255)
AQUA = (0, 255, 255)
WHITE = (255, 255, 255)
PALETTE_16 = [BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER,
              GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE]

# A 5 x 7 font with just the characters the pictures need.
FONT = {
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
    "!": ["..X..", "..X..", "..X..", "..X..", "..X..", ".....", "..X.."],
    "-": [".....", ".....", ".....", "XXXXX", ".....", ".....", "....."],
    "1": ["..X..", ".XX..", "..X..", "..X..", "..X..", "..X..", ".XXX."],
    "4": ["...X.", "..XX.", ".X.X.", "X..X.", "XXXXX", "...X.", "...X."],
    "7": ["XXXXX", "....X", "...X.", "..X..", ".X...", ".X...", ".X..."],
    "C": [".XXX.", "X...X", "X....", "X....", "X....", "X...X", ".XXX."],
    "D": ["XXXX.", "X...X", "X...X", "X...X", "X...X", "X...X", "XXXX."],
    "E": ["XXXXX", "X....", "X....", "XXXX.", "X....", "X....", "XXXXX"],
    "G": [".XXX.", "X...X", "X....", "X.XXX", "X...X", "X...X", ".XXXX"],
    "I": [".XXX.", "..X..", "..X..", "..X..", "..X..", "..X..", ".XXX."],
    "K": ["X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"],
    "M": ["X...X", "XX.XX", "X.X.X", "X.X.X", "X...X", "X...X", "X...X"],
    "N": ["X...X", "X...X", "XX..X", "X.X.X", "X..XX", "X...X", "X...X"],
    "O": [".XXX.", "X...X", "X...X", "X...X", "X...X", "X...X", ".XXX."],
    "R": ["XXXX.", "X...X", "X...X", "XXXX.", "X.X..", "X..X.", "X...X"],
    "V": ["X...X", "X...X", "X...X", "X...X", "X...X", ".X.X.", "..X.."],
    "W": ["X...X", "X...X", "X...X", "X.X.X", "X.X.X", "X.X.X", ".X.X."],
    "X": ["X...X", "X...X", ".X.X.", "..X..", ".X.X.", "X...X", "X...X"],
    "a": [".....", ".....", ".XXX.", "....X", ".XXXX", "X...X", ".XXXX"],
    "i": ["..X..", ".....", ".XX..", "..X..", "..X..", "..X..", ".XXX."],
    "t": [".X...", ".X...", "XXX..", ".X...", ".X...", ".X..X", "..XX."],
}
GLYPH_COLUMNS = 5
GLYPH_ROWS = 7
GLYPH_ADVANCE = 6  # five columns and one column of space


class Canvas:
    """A picture as rows of RGB tuples; None marks a transparent pixel."""

    def __init__(self, width, height, fill=None):
        self.width = width
        self.height = height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def get(self, x, y):
        return self.pixels[y][x]


def distance_to_segment(px, py, ax, ay, bx, by):
    dx = bx - ax
    dy = by - ay
    length2 = dx * dx + dy * dy
    t = 0.0
    if length2 > 0:
        t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    qx = ax + t * dx - px
    qy = ay + t * dy - py
    return math.sqrt(qx * qx + qy * qy)


def capsule_pixels(width, height, segments, radius):
    """Pixels whose centre lies within radius of one of the segments."""
    covered = set()
    for ax, ay, bx, by in segments:
        x0 = max(0, int(math.floor(min(ax, bx) - radius)))
        x1 = min(width - 1, int(math.ceil(max(ax, bx) + radius)))
        y0 = max(0, int(math.floor(min(ay, by) - radius)))
        y1 = min(height - 1, int(math.ceil(max(ay, by) + radius)))
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                if (x, y) in covered:
                    continue
                if distance_to_segment(x + 0.5, y + 0.5, ax, ay, bx, by) <= radius:
                    covered.add((x, y))
    return covered


def text_grid(text):
    """The lit cells of text set in the 5 x 7 font, as (column, row) pairs."""
    cells = set()
    for index, char in enumerate(text):
        for row, line in enumerate(FONT[char]):
            for column, mark in enumerate(line):
                if mark == "X":
                    cells.add((index * GLYPH_ADVANCE + column, row))
    return cells


def text_size(text, step_x, step_y):
    columns = len(text) * GLYPH_ADVANCE - 1
    return columns * step_x, GLYPH_ROWS * step_y


def text_pixels(canvas, text, left, top, step_x, step_y, pen_radius):
    """Sets text as strokes: the font's cells are points of a pen path.

    Neighbouring cells are joined by a stroke; a diagonal neighbour is joined
    only when no straight neighbour already links the two, so that corners do
    not grow blobs. With steps of 1 and a pen radius of 0.5 this is the plain
    pixel font; larger steps give smooth diagonals instead of staircases.
    """
    cells = text_grid(text)

    def centre(cell):
        return left + (cell[0] + 0.5) * step_x, top + (cell[1] + 0.5) * step_y

    segments = []
    for cell in sorted(cells):
        cx, cy = cell
        ax, ay = centre(cell)
        segments.append((ax, ay, ax, ay))
        for nx, ny in ((cx + 1, cy), (cx, cy + 1)):
            if (nx, ny) in cells:
                segments.append((ax, ay) + centre((nx, ny)))
        for nx, ny in ((cx + 1, cy + 1), (cx + 1, cy - 1)):
            if (nx, ny) not in cells:
                continue
            if (nx, cy) in cells or (cx, ny) in cells:
                continue
            segments.append((ax, ay) + centre((nx, ny)))
    return capsule_pixels(canvas.width, canvas.height, segments, pen_radius)


def paint(canvas, pixels, colour):
    for x, y in pixels:
        canvas.put(x, y, colour)


def centred_text(canvas, text, step_x, step_y, pen_radius, colour):
    width, height = text_size(text, step_x, step_y)
    left = (canvas.width - width) / 2.0
    top = (canvas.height - height) / 2.0
    paint(canvas, text_pixels(canvas, text, left, top, step_x, step_y, pen_radius), colour)


# ---------------------------------------------------------------- pictures


def word_picture(text, ink, background, step_x, step_y, pen_radius):
    canvas = Canvas(PICTURE_WIDTH, PICTURE_HEIGHT, background)
    centred_text(canvas, text, step_x, step_y, pen_radius, ink)
    return canvas


def wait_picture():
    return word_picture("Wait !", GREEN, WHITE, 5.1, 7.0, 3.0)


def ok_picture():
    return word_picture("OK!", LIME, BLACK, 8.4, 7.8, 4.5)


def ng_picture():
    return word_picture("NG!", LIME, BLACK, 8.4, 7.8, 4.5)


def quantise(value, steps):
    return round(value * steps) / steps


def logo_background(x, y):
    """Night blue, lighter towards the lower right, in 32 bands."""
    t = quantise((x / (PICTURE_WIDTH - 1)) * 0.7 + (y / (PICTURE_HEIGHT - 1)) * 0.3, 31)
    return (int(10 + 30 * t), int(22 + 58 * t), int(60 + 100 * t))


def disc_colour(x, y, cx, cy):
    """The recorded area of a disc: a pale rainbow that turns with the angle."""
    angle = math.atan2(y + 0.5 - cy, x + 0.5 - cx)
    hue = quantise(((angle / (2 * math.pi)) * 2.0) % 1.0, 24) % 1.0
    radius = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
    value = 0.95 if radius < 18 else 0.85
    r, g, b = colorsys.hsv_to_rgb(hue, 0.28, value)
    return (int(r * 255), int(g * 255), int(b * 255))


def logo_picture():
    canvas = Canvas(PICTURE_WIDTH, PICTURE_HEIGHT)
    for y in range(PICTURE_HEIGHT):
        for x in range(PICTURE_WIDTH):
            canvas.put(x, y, logo_background(x, y))
    for x in range(PICTURE_WIDTH):
        canvas.put(x, 0, (120, 150, 200))
        canvas.put(x, PICTURE_HEIGHT - 1, (5, 10, 30))
    for y in range(PICTURE_HEIGHT):
        canvas.put(0, y, (120, 150, 200))
        canvas.put(PICTURE_WIDTH - 1, y, (5, 10, 30))

    # A disc on the left: rim, recorded area, clear ring, hub hole.
    cx, cy = 34.0, 33.0
    for y in range(PICTURE_HEIGHT):
        for x in range(64):
            radius = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
            if radius > 27.0 or radius <= 4.5:
                continue
            if radius > 25.8:
                canvas.put(x, y, (90, 96, 110))
            elif radius > 10.5:
                canvas.put(x, y, disc_colour(x, y, cx, cy))
            elif radius > 6.0:
                canvas.put(x, y, (214, 218, 226))
            else:
                canvas.put(x, y, (150, 156, 170))

    # The model name with a drop shadow, an accent line and a subtitle.
    name = "RVX-4417K"
    step_x, step_y, pen = 2.15, 3.0, 1.25
    width, height = text_size(name, step_x, step_y)
    left = 70 + (117 - width) / 2.0
    top = 8
    paint(canvas, text_pixels(canvas, name, left + 1.5, top + 1.5, step_x, step_y, pen), (0, 8, 24))
    paint(canvas, text_pixels(canvas, name, left, top, step_x, step_y, pen), WHITE)
    for y in (36, 37):
        for x in range(72, 186):
            canvas.put(x, y, (250, 160, 40) if y == 36 else (190, 100, 20))
    subtitle = "CD-ROM DRIVE"
    width, height = text_size(subtitle, 1.5, 1.5)
    left = 70 + (117 - width) / 2.0
    paint(canvas, text_pixels(canvas, subtitle, left, 44, 1.5, 1.5, 0.8), (190, 215, 245))
    return canvas


# ---------------------------------------------------------------- icons


def polygon_pixels(size, points):
    """Pixels whose centre lies inside the polygon (even-odd rule)."""
    covered = set()
    count = len(points)
    for y in range(size):
        py = y + 0.5
        for x in range(size):
            px = x + 0.5
            inside = False
            for i in range(count):
                ax, ay = points[i]
                bx, by = points[(i + 1) % count]
                if (ay > py) != (by > py):
                    cross_x = ax + (py - ay) * (bx - ax) / (by - ay)
                    if px < cross_x:
                        inside = not inside
            if inside:
                covered.add((x, y))
    return covered


def scaled(points, size):
    return [(px * size, py * size) for px, py in points]


def edge_of(shape):
    """The pixels of a shape that touch a pixel outside it (4-neighbourhood)."""
    edge = set()
    for x, y in shape:
        for nx, ny in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
            if (nx, ny) not in shape:
                edge.add((x, y))
                break
    return edge


def layer(canvas, shape, fill, outline):
    paint(canvas, shape, fill)
    if outline is not None:
        paint(canvas, edge_of(shape), outline)


def draw_open_folder(size):
    canvas = Canvas(size, size)
    back = polygon_pixels(size, scaled([(0.06, 0.16), (0.38, 0.16), (0.44, 0.25), (0.82, 0.25),
                                        (0.82, 0.86), (0.06, 0.86)], size))
    layer(canvas, back, OLIVE, BLACK)
    sheet = polygon_pixels(size, scaled([(0.20, 0.31), (0.74, 0.31), (0.74, 0.62),
                                         (0.20, 0.62)], size))
    layer(canvas, sheet, WHITE, GRAY)
    front = polygon_pixels(size, scaled([(0.26, 0.44), (0.98, 0.44), (0.82, 0.88),
                                         (0.06, 0.88)], size))
    layer(canvas, front, YELLOW, BLACK)
    return canvas


def open_folder_icon(size):
    """The open-file button's image.

    The button is 15 x 15 dialog units, about 22 pixels with "MS Sans Serif" 8, and
    gets the icon at the system size of 32 x 32, drawn centred and cut at the button's
    edges. So the 32 x 32 image carries the 16-pixel folder in its middle, where the
    button's face shows it whole.
    """
    if size <= 16:
        return draw_open_folder(size)
    small = draw_open_folder(16)
    canvas = Canvas(size, size)
    margin = (size - 16) // 2
    for y in range(16):
        for x in range(16):
            canvas.put(margin + x, margin + y, small.get(x, y))
    return canvas


def empty_icon(size):
    return Canvas(size, size)


def stroke_icon(size, paths, fill, outline):
    # A 16-pixel stroke needs a little more weight, or its outline eats the fill.
    width = 0.19 if size >= 32 else 0.22
    segments = []
    for path in paths:
        for (ax, ay), (bx, by) in zip(path, path[1:]):
            segments.append((ax * size, ay * size, bx * size, by * size))
    shape = capsule_pixels(size, size, segments, width * size / 2.0)
    canvas = Canvas(size, size)
    layer(canvas, shape, fill, outline)
    return canvas


def tick_icon(size):
    return stroke_icon(size, [[(0.14, 0.54), (0.40, 0.80), (0.86, 0.20)]], BLUE, NAVY)


def cross_icon(size):
    return stroke_icon(size, [[(0.20, 0.20), (0.80, 0.80)], [(0.80, 0.20), (0.20, 0.80)]], RED,
                       MAROON)


def arrow_icon(size):
    canvas = Canvas(size, size)
    shape = polygon_pixels(size, scaled([(0.08, 0.37), (0.50, 0.37), (0.50, 0.12), (0.94, 0.50),
                                         (0.50, 0.88), (0.50, 0.63), (0.08, 0.63)], size))
    layer(canvas, shape, LIME, GREEN)
    return canvas


# ---------------------------------------------------------------- file formats


def info_header(width, height, bits, image_size, colours_used):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 0, 0,
                       colours_used, 0)


def palette_bytes(palette):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)


def pack_rows(indices, width, bits):
    """Index rows, top row first, packed bottom-up and padded to 4 bytes."""
    data = bytearray()
    for row in reversed(indices):
        packed = bytearray()
        if bits == 8:
            packed.extend(row)
        elif bits == 4:
            for x in range(0, width, 2):
                high = row[x]
                low = row[x + 1] if x + 1 < width else 0
                packed.append((high << 4) | low)
        else:
            for x in range(0, width, 8):
                value = 0
                for bit in range(8):
                    if x + bit < width and row[x + bit]:
                        value |= 0x80 >> bit
                packed.append(value)
        while len(packed) % 4:
            packed.append(0)
        data.extend(packed)
    return bytes(data)


def index_rows(canvas, palette):
    lookup = {colour: index for index, colour in enumerate(palette)}
    return [[lookup[canvas.get(x, y)] for x in range(canvas.width)]
            for y in range(canvas.height)]


def bmp_bytes(canvas, bits):
    if bits == 4:
        palette = list(PALETTE_16)
    else:
        palette = []
        for row in canvas.pixels:
            for colour in row:
                if colour not in palette:
                    palette.append(colour)
        if len(palette) > 256:
            raise ValueError("the picture uses %d colours, more than 256" % len(palette))
        palette += [BLACK] * (256 - len(palette))
    pixels = pack_rows(index_rows(canvas, palette), canvas.width, bits)
    header = info_header(canvas.width, canvas.height, bits, len(pixels), len(palette))
    offset = 14 + len(header) + len(palette) * 4
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return file_header + header + palette_bytes(palette) + pixels


def icon_image_bytes(canvas):
    """One icon image: header with doubled height, palette, colour bits, AND mask."""
    lookup = {colour: index for index, colour in enumerate(PALETTE_16)}
    colour_rows = []
    mask_rows = []
    for y in range(canvas.height):
        colour_row = []
        mask_row = []
        for x in range(canvas.width):
            colour = canvas.get(x, y)
            colour_row.append(0 if colour is None else lookup[colour])
            mask_row.append(1 if colour is None else 0)
        colour_rows.append(colour_row)
        mask_rows.append(mask_row)
    colour_bits = pack_rows(colour_rows, canvas.width, 4)
    mask_bits = pack_rows(mask_rows, canvas.width, 1)
    header = info_header(canvas.width, canvas.height * 2, 4, len(colour_bits) + len(mask_bits), 16)
    return header + palette_bytes(PALETTE_16) + colour_bits + mask_bits


def ico_bytes(canvases):
    images = [icon_image_bytes(canvas) for canvas in canvases]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for canvas, image in zip(canvases, images):
        entries += struct.pack("<BBBBHHII", canvas.width, canvas.height, 16, 0, 1, 4, len(image),
                               offset)
        offset += len(image)
    return directory + entries + b"".join(images)


def write(name, data):
    with open(os.path.join(OUTPUT, name), "wb") as out:
        out.write(data)


def main():
    write("logo.bmp", bmp_bytes(logo_picture(), 8))
    write("wait.bmp", bmp_bytes(wait_picture(), 4))
    write("ok.bmp", bmp_bytes(ok_picture(), 4))
    write("ng.bmp", bmp_bytes(ng_picture(), 4))
    icons = {
        "open_folder.ico": open_folder_icon,
        "row_idle.ico": empty_icon,
        "row_passed.ico": tick_icon,
        "row_failed.ico": cross_icon,
        "row_in_progress.ico": arrow_icon,
    }
    for name, draw in icons.items():
        write(name, ico_bytes([draw(32), draw(16)]))


if __name__ == "__main__":
    main()
