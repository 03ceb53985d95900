#!/usr/bin/env python3
"""Generates the extension's icon artwork and the icons of the test icon library.

Usage: gen_icons.py OUTDIR

Writes into OUTDIR:
  swatch_300.ico ... swatch_332.ico  colour swatches, one 16x16 32-bpp image each
  logo_333.ico                       the logo, ten images (see LOGO_IMAGES)
  testicl_00.ico ... testicl_09.ico  icons of the test library "Main.icl"

The output is byte-for-byte deterministic: no timestamps, no randomness, only
integer arithmetic and IEEE float operations that round the same everywhere.
Standard library only; the .ico container is written here with struct.

Swatches
--------
Identifier = 300 + 3 * family + shade, shade 0 = dark, 1 = light, 2 = base.
  dark  = every channel of the base scaled to 3/4, rounded to nearest
  light = every channel moved 2/5 of the way from the base to 255, rounded
Shading: a faint highlight in the top-left corner. Pixel (x, y), counted from
the top-left, with k = 8 - (x + y) > 0 is moved k/32 of the way towards white
(at most 1/4, at the corner itself). Every pixel with x + y >= 8 (220 of the
256, the centre (8, 8) and the whole lower-right region included) is exactly
the shade's colour. Every pixel is opaque: alpha 255, AND mask all zero.

Test icon library
-----------------
Every test icon has a 16x16 and a 32x32 image drawn from one 16-unit layout
(one unit = size / 16 pixels, so whichever image a loader picks the pattern
lands on the same places). In 16x16 pixel coordinates, (x, y) from the top-left:
  transparent border ring: x == 0, x == 15, y == 0 or y == 15
  transparent notch:       1 <= x <= 4 and 1 <= y <= 4 (top-left only, so a
                           mask applied upside down shows at the bottom-left)
  solid colour:            every other pixel, e.g. (8, 8), (2, 12), (12, 2)
Alpha kinds:
  alpha  32 bpp; opaque pixels alpha 255, transparent pixels all-zero (colour
         and alpha 0); the AND mask is set on the transparent pixels as well
  mask   32 bpp with every alpha byte 0; only the AND mask makes pixels
         transparent; transparent pixels have colour 0
  rgb24  24 bpp; the AND mask makes pixels transparent; transparent pixels
         have colour 0

  index  colour (R, G, B)   kind    menu item using it
  0      220,  20,  60      alpha   High Priority
  1       70, 130, 180      rgb24
  2       34, 139,  34      mask    Low Priority
  3      255, 215,   0      alpha   Planned Work
  4      138,  43, 226      rgb24
  5        0, 128, 128      mask    Done Work
  6      255, 140,   0      alpha   Approved
  7      128,   0,   0      mask
  8       30, 144, 255      alpha   Rejected
  9      199,  21, 133      rgb24
Every colour has red != blue, so a swapped channel order shows.
"""

import os
import struct
import sys

# ---------------------------------------------------------------------------
# Image model and the .ico container
# ---------------------------------------------------------------------------

TRANSPARENT = (0, 0, 0, 0)


class IconImage:
    """One image of an icon: straight (not premultiplied) RGBA pixels, rows
    from the top, plus the AND mask (True = transparent) and a bit depth of
    8, 24 or 32 for the stored colour bitmap."""

    def __init__(self, size, bit_count, pixels, mask):
        assert bit_count in (8, 24, 32)
        assert len(pixels) == size and all(len(row) == size for row in pixels)
        assert len(mask) == size and all(len(row) == size for row in mask)
        self.size = size
        self.bit_count = bit_count
        self.pixels = pixels
        self.mask = mask


def _pad_row(row_bytes):
    """DIB rows are padded to a multiple of 4 bytes."""
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def _mask_bits(image):
    """The 1-bpp AND mask, bottom-up, leftmost pixel in the high bit."""
    data = bytearray()
    for mask_row in reversed(image.mask):
        row = bytearray((image.size + 7) // 8)
        for x, transparent in enumerate(mask_row):
            if transparent:
                row[x // 8] |= 0x80 >> (x % 8)
        data += _pad_row(bytes(row))
    return bytes(data)


def _build_palette(image):
    """Index 0 is black (what a transparent pixel must hold so that the XOR
    step leaves the background alone); the opaque colours follow, sorted."""
    colours = sorted({pixel[:3] for pixel_row, mask_row in zip(image.pixels, image.mask)
                      for pixel, transparent in zip(pixel_row, mask_row) if not transparent}
                     - {(0, 0, 0)})
    palette = [(0, 0, 0)] + colours
    if len(palette) > 256:
        raise ValueError("an 8-bpp image holds at most 256 colours")
    return palette


def _colour_bits(image):
    """The colour (XOR) bitmap, bottom-up, and the colour table."""
    data = bytearray()
    palette = []
    if image.bit_count == 8:
        palette = _build_palette(image)
        index_of = {colour: index for index, colour in enumerate(palette)}
        for pixel_row, mask_row in zip(reversed(image.pixels), reversed(image.mask)):
            data += _pad_row(bytes(0 if transparent else index_of[pixel[:3]]
                                   for pixel, transparent in zip(pixel_row, mask_row)))
        palette += [(0, 0, 0)] * (256 - len(palette))
    else:
        for pixel_row in reversed(image.pixels):
            row = bytearray()
            for r, g, b, a in pixel_row:
                row += bytes((b, g, r, a)) if image.bit_count == 32 else bytes((b, g, r))
            data += _pad_row(bytes(row))
    colour_table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return colour_table, bytes(data)


def encode_image(image):
    """BITMAPINFOHEADER (height doubled: colour bitmap plus mask), colour
    table, colour bitmap, AND mask."""
    colour_table, colour = _colour_bits(image)
    mask = _mask_bits(image)
    header = struct.pack("<IiiHHIIiiII",
                         40, image.size, 2 * image.size, 1, image.bit_count,
                         0,                        # BI_RGB
                         len(colour) + len(mask),  # biSizeImage
                         0, 0,                     # pixels per metre
                         0, 0)                     # biClrUsed 0: full table
    return header + colour_table + colour + mask


def encode_icon(images):
    """ICONDIR, one ICONDIRENTRY per image, then the images in that order."""
    blobs = [encode_image(image) for image in images]
    offset = 6 + 16 * len(images)
    entries = b""
    for image, blob in zip(images, blobs):
        entries += struct.pack("<BBBBHHII",
                               image.size % 256, image.size % 256,
                               0,  # colour count: 0 for 8 bpp and more
                               0, 1, image.bit_count, len(blob), offset)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + entries + b"".join(blobs)


def _opaque_mask(size):
    return [[False] * size for _ in range(size)]


# ---------------------------------------------------------------------------
# Colour swatches, resources 300..332
# ---------------------------------------------------------------------------

SWATCH_FIRST_ID = 300
SWATCH_SIZE = 16
SHADE_DARK, SHADE_LIGHT, SHADE_BASE = 0, 1, 2

# Family index = position in this list.
SWATCH_FAMILIES = [
    ("blue", (64, 128, 255)),
    ("brown", (191, 121, 68)),
    ("gray", (163, 163, 163)),
    ("green", (5, 238, 28)),
    ("lime", (180, 241, 0)),
    ("orange", (255, 143, 31)),
    ("magenta", (234, 0, 234)),
    ("violet", (166, 78, 255)),
    ("red", (254, 48, 34)),
    ("sky", (33, 192, 255)),
    ("yellow", (254, 209, 30)),
]


def _towards_white(channel, numerator, denominator):
    """channel + (255 - channel) * numerator / denominator, rounded half up."""
    return channel + ((255 - channel) * numerator * 2 + denominator) // (2 * denominator)


def shade_colour(base, shade):
    if shade == SHADE_DARK:
        return tuple((channel * 3 + 2) // 4 for channel in base)
    if shade == SHADE_LIGHT:
        return tuple(_towards_white(channel, 2, 5) for channel in base)
    return tuple(base)


def swatch_id(family, shade):
    return SWATCH_FIRST_ID + 3 * family + shade


def swatch_pixel(colour, x, y):
    highlight = 8 - (x + y)
    if highlight <= 0:
        return colour + (255,)
    return tuple(_towards_white(channel, highlight, 32) for channel in colour) + (255,)


def swatch_icon(family, shade):
    colour = shade_colour(SWATCH_FAMILIES[family][1], shade)
    pixels = [[swatch_pixel(colour, x, y) for x in range(SWATCH_SIZE)]
              for y in range(SWATCH_SIZE)]
    return [IconImage(SWATCH_SIZE, 32, pixels, _opaque_mask(SWATCH_SIZE))]


# ---------------------------------------------------------------------------
# Logo, resource 333: a rounded blue badge carrying a white ring
# ---------------------------------------------------------------------------

LOGO_ID = 333
# (size, bit count), in the order in which the images are stored.
LOGO_IMAGES = [(16, 8)] + [(size, 32) for size in (48, 44, 40, 36, 32, 28, 24, 20, 16)]

SUPERSAMPLING = 4                 # 4 x 4 samples per pixel
BADGE_MARGIN = 1.0 / 32           # of the icon size, on each side
BADGE_CORNER_RADIUS = 0.25
RING_OUTER_RADIUS = 0.34
RING_INNER_RADIUS = 0.20
BADGE_TOP_COLOUR = (58, 110, 220)
BADGE_BOTTOM_COLOUR = (26, 60, 150)
RING_COLOUR = (255, 255, 255)


def _inside_badge(u, v):
    """Rounded square; u and v are in [0, 1] across the icon."""
    straight_half = 0.5 - BADGE_MARGIN - BADGE_CORNER_RADIUS
    dx = max(abs(u - 0.5) - straight_half, 0.0)
    dy = max(abs(v - 0.5) - straight_half, 0.0)
    return dx * dx + dy * dy <= BADGE_CORNER_RADIUS * BADGE_CORNER_RADIUS


def _inside_ring(u, v):
    distance_squared = (u - 0.5) ** 2 + (v - 0.5) ** 2
    return RING_INNER_RADIUS ** 2 <= distance_squared <= RING_OUTER_RADIUS ** 2


def _badge_colour(y, size):
    """Vertical gradient, taken at the pixel row's centre."""
    return tuple(top + (bottom - top) * (2 * y + 1) // (2 * size)
                 for top, bottom in zip(BADGE_TOP_COLOUR, BADGE_BOTTOM_COLOUR))


def logo_pixel(x, y, size):
    """Coverage-weighted average of the samples that hit the badge; alpha is
    the covered fraction. Returns straight RGBA."""
    badge = _badge_colour(y, size)
    sums = [0, 0, 0]
    covered = 0
    for j in range(SUPERSAMPLING):
        for i in range(SUPERSAMPLING):
            u = (x + (i + 0.5) / SUPERSAMPLING) / size
            v = (y + (j + 0.5) / SUPERSAMPLING) / size
            if not _inside_badge(u, v):
                continue
            colour = RING_COLOUR if _inside_ring(u, v) else badge
            sums = [total + channel for total, channel in zip(sums, colour)]
            covered += 1
    if covered == 0:
        return TRANSPARENT
    samples = SUPERSAMPLING * SUPERSAMPLING
    alpha = (covered * 255 * 2 + samples) // (2 * samples)
    return tuple((total * 2 + covered) // (2 * covered) for total in sums) + (alpha,)


def logo_image(size, bit_count):
    pixels = [[logo_pixel(x, y, size) for x in range(size)] for y in range(size)]
    if bit_count == 32:
        mask = [[pixel[3] == 0 for pixel in row] for row in pixels]
        return IconImage(size, 32, pixels, mask)
    # Palette image: no alpha, so a pixel is either drawn or masked out.
    mask = [[pixel[3] < 128 for pixel in row] for row in pixels]
    pixels = [[TRANSPARENT if transparent else pixel[:3] + (255,)
               for pixel, transparent in zip(pixel_row, mask_row)]
              for pixel_row, mask_row in zip(pixels, mask)]
    return IconImage(size, 8, pixels, mask)


def logo_icon():
    return [logo_image(size, bit_count) for size, bit_count in LOGO_IMAGES]


# ---------------------------------------------------------------------------
# Icons of the test icon library "Main.icl"
# ---------------------------------------------------------------------------

KIND_ALPHA, KIND_MASK, KIND_RGB24 = "alpha", "mask", "rgb24"

# Index in the library = position in this list; see the table at the top.
TEST_ICL_ICONS = [
    ((220, 20, 60), KIND_ALPHA),
    ((70, 130, 180), KIND_RGB24),
    ((34, 139, 34), KIND_MASK),
    ((255, 215, 0), KIND_ALPHA),
    ((138, 43, 226), KIND_RGB24),
    ((0, 128, 128), KIND_MASK),
    ((255, 140, 0), KIND_ALPHA),
    ((128, 0, 0), KIND_MASK),
    ((30, 144, 255), KIND_ALPHA),
    ((199, 21, 133), KIND_RGB24),
]
TEST_ICL_SIZES = (16, 32)


def test_icl_transparent(x16, y16):
    """Transparency in 16x16 layout units: the border ring and the notch."""
    on_border = x16 in (0, 15) or y16 in (0, 15)
    in_notch = 1 <= x16 <= 4 and 1 <= y16 <= 4
    return on_border or in_notch


def test_icl_image(colour, kind, size):
    unit = size // 16
    mask = [[test_icl_transparent(x // unit, y // unit) for x in range(size)]
            for y in range(size)]
    opaque_alpha = 0 if kind == KIND_MASK else 255
    pixels = [[TRANSPARENT if transparent else colour + (opaque_alpha,)
               for transparent in mask_row] for mask_row in mask]
    return IconImage(size, 24 if kind == KIND_RGB24 else 32, pixels, mask)


def test_icl_icon(index):
    colour, kind = TEST_ICL_ICONS[index]
    return [test_icl_image(colour, kind, size) for size in TEST_ICL_SIZES]


# ---------------------------------------------------------------------------
# Output
# ---------------------------------------------------------------------------

def all_icons():
    """(file name, list of images) for every file this script writes."""
    for family in range(len(SWATCH_FAMILIES)):
        for shade in (SHADE_DARK, SHADE_LIGHT, SHADE_BASE):
            yield "swatch_%d.ico" % swatch_id(family, shade), swatch_icon(family, shade)
    yield "logo_%d.ico" % LOGO_ID, logo_icon()
    for index in range(len(TEST_ICL_ICONS)):
        yield "testicl_%02d.ico" % index, test_icl_icon(index)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: %s OUTDIR\n" % os.path.basename(argv[0]))
        return 2
    out_dir = argv[1]
    os.makedirs(out_dir, exist_ok=True)
    for file_name, images in all_icons():
        with open(os.path.join(out_dir, file_name), "wb") as output:
            output.write(encode_icon(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
