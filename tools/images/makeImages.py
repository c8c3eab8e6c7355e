#!/usr/bin/env python3
"""Draws the suite's images and writes them as BMP and ICO files.

    tools/images/makeImages.py            write every image
    tools/images/makeImages.py --check    exit 1 if a written image differs

Only the standard library is used; the output is the same byte for byte on
every run. Shapes are drawn with 4 x 4 supersampling for smooth edges.

    console/listen/res/tagdesk.ico     icon 130 of the consoles: a tag sending radio waves, 16/32/48 px
    console/listen/res/background.bmp  bitmap 134: 465 x 230, 24 bpp, light panel background
    setup/res/readersetup.ico          the configuration tool's icon: a reader with a gear
    setup/res/eye_open.bmp             bitmap 109, 26 x 17, 24 bpp: password shown (a green eye)
    setup/res/eye_closed.bmp           bitmap 110, 26 x 17, 24 bpp: password hidden (a grey eye)
    rssifilter/res/rssifilter.ico      the signal filter tool's icon: signal bars under a threshold line
    r7a-setup/res/r7a-setup.ico        the legacy settings tool's icon: an older reader on its serial plug
"""

import math
import os
import struct
import sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
SUBSAMPLES = 4


class Canvas:
    """RGBA pixels with components 0..1, not premultiplied; row 0 is the top."""

    def __init__(self, width, height, fill=(0.0, 0.0, 0.0, 0.0)):
        self.width = width
        self.height = height
        self.pixels = [list(fill) for _ in range(width * height)]

    def blend(self, x, y, rgb, alpha):
        """Paints rgb over pixel (x, y) with the given opacity."""
        if alpha <= 0.0:
            return
        p = self.pixels[y * self.width + x]
        out_a = alpha + p[3] * (1.0 - alpha)
        for i in range(3):
            p[i] = (rgb[i] * alpha + p[i] * p[3] * (1.0 - alpha)) / out_a
        p[3] = out_a

    def paint(self, inside, rgb, opacity=1.0, box=None):
        """Fills the shape inside(x, y) -> bool, x and y in pixel units with
        (0, 0) the top-left corner of the top-left pixel."""
        x0, y0, x1, y1 = box if box else (0, 0, self.width, self.height)
        x0, y0 = max(0, int(x0)), max(0, int(y0))
        x1, y1 = min(self.width, int(math.ceil(x1))), min(self.height, int(math.ceil(y1)))
        step = 1.0 / SUBSAMPLES
        for y in range(y0, y1):
            for x in range(x0, x1):
                hits = 0
                for j in range(SUBSAMPLES):
                    for i in range(SUBSAMPLES):
                        if inside(x + (i + 0.5) * step, y + (j + 0.5) * step):
                            hits += 1
                if hits:
                    self.blend(x, y, rgb, opacity * hits / (SUBSAMPLES * SUBSAMPLES))

    def bytes_rgb(self, background):
        """Rows top to bottom of (r, g, b) bytes, flattened over background."""
        rows = []
        for y in range(self.height):
            row = []
            for x in range(self.width):
                p = self.pixels[y * self.width + x]
                row.append(tuple(to_byte(p[i] * p[3] + background[i] * (1.0 - p[3])) for i in range(3)))
            rows.append(row)
        return rows


def to_byte(v):
    return max(0, min(255, int(round(v * 255.0))))


def rgb(hex_text):
    return tuple(int(hex_text[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


# ---- shapes (predicates over a point) ---------------------------------------

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        dx = max(x0 + r - x, 0.0, x - (x1 - r))
        dy = max(y0 + r - y, 0.0, y - (y1 - r))
        return dx * dx + dy * dy <= r * r
    return inside


def ring_arc(cx, cy, r, width, start_deg, end_deg):
    """A band of the given width around radius r, between two angles measured
    counter-clockwise from the x axis with y pointing up; round ends."""
    a0, a1 = math.radians(start_deg), math.radians(end_deg)
    ends = [(cx + r * math.cos(a), cy - r * math.sin(a)) for a in (a0, a1)]
    half = width / 2.0

    def inside(x, y):
        for ex, ey in ends:
            if (x - ex) ** 2 + (y - ey) ** 2 <= half * half:
                return True
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > half:
            return False
        a = math.atan2(cy - y, x - cx)
        return a0 <= a <= a1
    return inside


def segment(ax, ay, bx, by, width):
    half = width / 2.0
    length2 = (bx - ax) ** 2 + (by - ay) ** 2

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * (bx - ax) + (y - ay) * (by - ay)) / length2))
        px, py = ax + t * (bx - ax), ay + t * (by - ay)
        return (x - px) ** 2 + (y - py) ** 2 <= half * half
    return inside


def both(a, b):
    return lambda x, y: a(x, y) and b(x, y)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


# ---- the tag icon -------------------------------------------------------------

TAG_BODY = rgb("1D5C8C")
TAG_EDGE = rgb("0E3657")
TAG_FACE = rgb("3C86BF")
TAG_LED = rgb("7CE05A")
WAVE = rgb("F08A24")


def draw_icon(size):
    """A tag fob at the lower left sending two or three waves to the upper
    right. Coordinates are in a 48-unit design grid scaled to size."""
    c = Canvas(size, size)
    k = size / 48.0

    def s(v):
        return v * k

    # Fob body with a darker rim, a lighter upper face and the lanyard hole.
    body = rounded_rect(s(3), s(21), s(27), s(45), s(6))
    face = rounded_rect(s(6.5), s(24.5), s(23.5), s(41.5), s(3.5))
    hole = circle(s(10), s(28), s(2.4))
    c.paint(minus(body, hole) if size >= 32 else body, TAG_EDGE)
    c.paint(minus(face, hole) if size >= 32 else face, TAG_BODY)
    c.paint(both(face, lambda x, y: y < s(33)), TAG_FACE, opacity=0.45)
    # Status lamp of the active tag.
    c.paint(circle(s(18), s(37), s(3.0 if size >= 32 else 4.0)), TAG_LED)

    # Waves rising from the fob's upper right corner, kept inside the icon.
    cx, cy = s(27), s(21)
    waves = [(7.0, 3.4), (12.5, 3.4), (18.0, 3.4)] if size >= 32 else [(7.5, 4.0), (15.0, 4.0)]
    for radius, width in waves:
        c.paint(ring_arc(cx, cy, s(radius), s(width), 12, 78), WAVE)
    return c


# ---- the serial tools' icons ----------------------------------------------------

READER_EDGE = rgb("2F3B47")
READER_BODY = rgb("52677A")
READER_FACE = rgb("7D93A8")
OLD_BODY = rgb("6B6256")
OLD_FACE = rgb("978B7A")
GEAR = rgb("F2B233")
BAR = rgb("2F7FC1")
BAR_CUT = rgb("B9C6D2")
THRESHOLD = rgb("E0482F")


def reader_box(c, s, body, face, size):
    """A reader housing with its antenna rod and two status lamps; the lower
    part of the grid is left to what each icon adds."""
    c.paint(segment(s(12), s(16), s(12), s(4.5), s(3.2)), READER_EDGE)
    c.paint(circle(s(12), s(4.5), s(2.6)), READER_EDGE)
    c.paint(rounded_rect(s(4), s(14), s(44), s(36), s(5)), READER_EDGE)
    c.paint(rounded_rect(s(6.5), s(16.5), s(41.5), s(33.5), s(3.5)), body)
    c.paint(both(rounded_rect(s(6.5), s(16.5), s(41.5), s(33.5), s(3.5)),
                 lambda x, y: y < s(24)), face, opacity=0.6)
    lamp = 3.0 if size >= 32 else 3.8
    c.paint(circle(s(32), s(25), s(lamp)), TAG_LED)
    c.paint(circle(s(38), s(25), s(lamp)) if size >= 32 else (lambda x, y: False), WAVE)


def draw_setup_icon(size):
    """The configuration tool: a reader with a gear at its lower left."""
    c = Canvas(size, size)
    k = size / 48.0

    def s(v):
        return v * k

    reader_box(c, s, READER_BODY, READER_FACE, size)
    cx, cy = s(16), s(35)
    teeth = 8

    def gear(x, y):
        d = math.hypot(x - cx, y - cy)
        if d <= s(8.0):
            return True
        if d > s(11.5):
            return False
        a = math.atan2(y - cy, x - cx) * teeth / (2.0 * math.pi)
        return abs(a - round(a)) < 0.22

    c.paint(gear, READER_EDGE)
    c.paint(minus(lambda x, y: gear(x, y) and math.hypot(x - cx, y - cy) <= s(10.2),
                  circle(cx, cy, s(3.4))), GEAR)
    return c


def draw_filter_icon(size):
    """The signal filter tool: five signal bars rising to the right, a red
    threshold line across them; the parts of the bars below it are pale."""
    c = Canvas(size, size)
    k = size / 48.0

    def s(v):
        return v * k

    line_y = 27.0
    bars = 5 if size >= 32 else 4
    width = 40.0 / bars
    for i in range(bars):
        x0 = 4.0 + i * width + 1.0
        x1 = 4.0 + (i + 1) * width - 1.0
        top = 40.0 - (i + 1) * (34.0 / bars)
        bar = rounded_rect(s(x0), s(top), s(x1), s(44), s(1.2))
        c.paint(both(bar, lambda x, y: y <= s(line_y)), BAR)
        c.paint(both(bar, lambda x, y: y > s(line_y)), BAR_CUT)
    c.paint(segment(s(2.5), s(line_y), s(45.5), s(line_y), s(3.4 if size >= 32 else 4.0)), THRESHOLD)
    return c


def draw_legacy_icon(size):
    """The legacy settings tool: an older, brown-grey reader standing on a
    serial plug with its pins."""
    c = Canvas(size, size)
    k = size / 48.0

    def s(v):
        return v * k

    reader_box(c, s, OLD_BODY, OLD_FACE, size)
    # The plug: a trapezoid shell below the housing, with a row of pins.
    def plug(x, y):
        if y < s(36) or y > s(46):
            return False
        inset = (y - s(36)) / s(10) * s(3)
        return s(12) + inset <= x <= s(36) - inset
    c.paint(plug, READER_EDGE)
    pins = 4 if size >= 32 else 3
    for i in range(pins):
        px = s(17 + i * (14.0 / (pins - 1)))
        c.paint(circle(px, s(40.5), s(1.4 if size >= 32 else 1.9)), GEAR)
    return c


def ico_bytes(canvases):
    """An icon file with one 32-bit BGRA image (and its AND mask) per canvas."""
    images = []
    for c in canvases:
        w, h = c.width, c.height
        header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        color = bytearray()
        mask = bytearray()
        mask_stride = ((w + 31) // 32) * 4
        for y in range(h - 1, -1, -1):
            row_mask = bytearray(mask_stride)
            for x in range(w):
                p = c.pixels[y * w + x]
                a = to_byte(p[3])
                color += bytes((to_byte(p[2]), to_byte(p[1]), to_byte(p[0]), a)) if a else b"\0\0\0\0"
                if a == 0:
                    row_mask[x // 8] |= 0x80 >> (x % 8)
            mask += row_mask
        images.append(header + bytes(color) + bytes(mask))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.width % 256, c.height % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


# ---- 24-bit bitmaps -------------------------------------------------------------

def bmp_bytes(rows):
    """A bottom-up 24 bpp BMP from rows (top first) of (r, g, b) byte tuples."""
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        pixels += line
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return head + info + bytes(pixels)


def background_rows(width=465, height=230):
    """A pale blue-grey wash, lighter towards the lower right, with faint
    concentric rings rising from the lower right corner. Every pixel stays
    above 90 % luminance, so black text reads anywhere on it."""
    top = (232, 239, 246)
    bottom = (246, 249, 252)
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            t = min(1.0, 0.75 * y / (height - 1) + 0.25 * x / (width - 1))
            d = math.hypot(width - x, (height - y) * 1.15)
            # Soft rings, 26 px apart, fading out towards the upper left.
            ring = 0.5 + 0.5 * math.cos(d * 2.0 * math.pi / 26.0)
            fade = max(0.0, 1.0 - d / 420.0)
            lift = 5.0 * ring * fade
            row.append(tuple(
                max(0, min(255, int(round(top[i] + (bottom[i] - top[i]) * t + lift * (0.6 if i < 2 else 0.3)))))
                for i in range(3)))
        rows.append(row)
    return rows


BUTTON_FACE = (240 / 255.0, 240 / 255.0, 240 / 255.0)
EYE_LINE = rgb("2E3A46")
EYE_WHITE = rgb("FFFFFF")
EYE_IRIS = rgb("3F6E96")      # the hidden password's eye, dimmed to grey
EYE_IRIS_SHOWN = rgb("2E9B4E")  # the shown password's eye: green
EYE_PUPIL = rgb("101820")


def draw_eye(struck):
    """An almond eye with iris and pupil on the button face colour: a green
    iris for the shown password; struck through and dimmed to grey for the
    hidden one."""
    c = Canvas(26, 17, fill=BUTTON_FACE + (1.0,))
    # Two circles through the eye corners (2, 8.5) and (24, 8.5): the upper lid
    # peaks at y = 2, the lower at y = 15.
    half_chord, sag = 11.0, 6.5
    radius = (half_chord ** 2 + sag ** 2) / (2.0 * sag)
    upper_c, lower_c = 2.0 + radius, 15.0 - radius
    lid = 1.5

    def in_upper(x, y, grow=0.0):
        return math.hypot(x - 13.0, y - upper_c) <= radius + grow

    def in_lower(x, y, grow=0.0):
        return math.hypot(x - 13.0, y - lower_c) <= radius + grow

    def lens(x, y):
        return in_upper(x, y) and in_lower(x, y)

    def outline(x, y):
        grown = in_upper(x, y, lid / 2.0) and in_lower(x, y, lid / 2.0)
        return grown and not (in_upper(x, y, -lid / 2.0) and in_lower(x, y, -lid / 2.0))

    dim = 0.55 if struck else 1.0
    c.paint(lens, EYE_WHITE, dim)
    c.paint(both(lens, circle(13.0, 8.5, 4.3)), EYE_IRIS if struck else EYE_IRIS_SHOWN, dim)
    c.paint(both(lens, circle(13.0, 8.5, 2.0)), EYE_PUPIL, dim)
    c.paint(circle(14.4, 7.1, 0.9), EYE_WHITE, dim)
    c.paint(outline, EYE_LINE, dim)
    if struck:
        # A gap in the face colour keeps the stroke apart from the eye.
        c.paint(segment(4.5, 15.0, 21.5, 2.0, 3.6), BUTTON_FACE)
        c.paint(segment(4.5, 15.0, 21.5, 2.0, 1.7), EYE_LINE)
    return c


def images():
    """Every output file (path relative to the repository) with its bytes."""
    return [
        ("console/listen/res/tagdesk.ico", ico_bytes([draw_icon(n) for n in (16, 32, 48)])),
        ("console/listen/res/background.bmp", bmp_bytes(background_rows())),
        ("setup/res/readersetup.ico", ico_bytes([draw_setup_icon(n) for n in (16, 32, 48)])),
        ("setup/res/eye_open.bmp", bmp_bytes(draw_eye(False).bytes_rgb(BUTTON_FACE))),
        ("setup/res/eye_closed.bmp", bmp_bytes(draw_eye(True).bytes_rgb(BUTTON_FACE))),
        ("rssifilter/res/rssifilter.ico", ico_bytes([draw_filter_icon(n) for n in (16, 32, 48)])),
        ("r7a-setup/res/r7a-setup.ico", ico_bytes([draw_legacy_icon(n) for n in (16, 32, 48)])),
    ]


def main(argv):
    check = argv[1:] == ["--check"]
    if argv[1:] and not check:
        sys.stderr.write(__doc__)
        return 2
    stale = []
    for relative, data in images():
        path = os.path.join(ROOT, relative)
        if check:
            try:
                with open(path, "rb") as f:
                    same = f.read() == data
            except OSError:
                same = False
            if not same:
                stale.append(relative)
            continue
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        print("wrote %s (%d bytes)" % (relative, len(data)))
    for relative in stale:
        print("out of date: %s (run tools/images/makeImages.py)" % relative)
    return 1 if stale else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
