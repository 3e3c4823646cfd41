#!/usr/bin/env python3
"""Draws the extension's pictures and writes them next to this script.

    folder_closed.ico  icon group 4    16, 32 and 48 pixels
    folder_open.ico    icon group 5    16, 32 and 48 pixels
    device.ico         icon group 9    16, 32 and 48 pixels
    document.ico       icon group 100  16 and 32 pixels
    progress.avi       AVI 103         a document travelling from a folder
                                       to the device, 12 frames

Every icon size comes in 16 colours (4 bits per pixel) and 256 colours
(8 bits per pixel), with a transparency mask. The clip is uncompressed
8-bit video ('DIB ') with an index, the kind the animation control plays.

The files are committed; run this script again after changing a picture:

    python3 shellext/art/make_art.py
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# --- colours -------------------------------------------------------------

# The 16-colour palette (the classic VGA colours, in their usual order).
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]

# Logical colours of the drawings. Shaded colours get a ramp of shades in
# the 256-colour palette (index by depth 0..1 into the ramp).
COLOURS = {
    "outline": (40, 40, 48),
    "folder": (246, 206, 84),
    "folder_back": (214, 162, 48),
    "folder_tab": (230, 182, 64),
    "paper": (252, 252, 252),
    "fold": (190, 190, 200),
    "ink": (70, 96, 150),
    "case": (52, 68, 96),
    "case_edge": (96, 118, 150),
    "screen": (120, 210, 230),
    "screen_glint": (220, 246, 252),
    "wheel": (200, 204, 212),
    "wheel_hub": (120, 126, 140),
    "backdrop": (192, 192, 192),
}
SHADED = {"folder", "folder_back", "case", "paper", "screen"}

# The 16-colour version of each logical colour (indices into VGA16).
VGA_CHOICE = {
    "outline": 0, "folder": 11, "folder_back": 3, "folder_tab": 3, "paper": 15, "fold": 7,
    "ink": 4, "case": 4, "case_edge": 12, "screen": 14, "screen_glint": 15, "wheel": 7,
    "wheel_hub": 8, "backdrop": 7,
}
RAMP = 12  # shades per shaded colour


def build_palette256():
    palette = [(0, 0, 0)]  # index 0: black, also what masked pixels hold
    index = {}
    for name, rgb in COLOURS.items():
        if name in SHADED:
            index[name] = len(palette)
            for step in range(RAMP):
                # from 12 % lighter at the top to 18 % darker at the bottom
                factor = 1.12 - 0.30 * step / (RAMP - 1)
                palette.append(tuple(max(0, min(255, round(c * factor))) for c in rgb))
        else:
            index[name] = len(palette)
            palette.append(rgb)
    palette += VGA16  # the system colours too, for anything else
    assert len(palette) <= 256
    palette += [(0, 0, 0)] * (256 - len(palette))
    return palette, index


PALETTE256, INDEX256 = build_palette256()


def index_for(pixel, bits):
    """Palette index of a drawn pixel: (colour name, shade 0..1) or None."""
    if pixel is None:
        return 0
    name, shade = pixel
    if bits == 4:
        return VGA_CHOICE[name]
    if name in SHADED:
        return INDEX256[name] + min(RAMP - 1, int(shade * RAMP))
    return INDEX256[name]


# --- drawings ------------------------------------------------------------
# A drawing maps a point of the unit square (x right, y down) to a colour
# name or None (transparent). Pixels are sampled at their centres; the edge
# of every drawn area gets the outline colour.

def inside_rect(x, y, left, top, right, bottom):
    return left <= x < right and top <= y < bottom


def inside_round_rect(x, y, left, top, right, bottom, radius):
    if not inside_rect(x, y, left, top, right, bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def folder_closed(x, y):
    if inside_rect(x, y, 0.06, 0.18, 0.44, 0.30):
        return "folder_tab"
    if inside_rect(x, y, 0.06, 0.27, 0.94, 0.84):
        return "folder"
    return None


def folder_open(x, y):
    # the front flap leans out to the right: its left edge runs from
    # (0.18, 0.44) down to (0.06, 0.84)
    t = (y - 0.44) / 0.40
    if 0.0 <= t < 1.0:
        left = 0.18 - 0.12 * t
        if left <= x < left + 0.78:
            return "folder"
    if inside_rect(x, y, 0.06, 0.18, 0.44, 0.30):
        return "folder_tab"
    if inside_rect(x, y, 0.06, 0.27, 0.84, 0.84):
        return "folder_back"
    return None


def device(x, y):
    if not inside_round_rect(x, y, 0.22, 0.05, 0.78, 0.95, 0.09):
        return None
    if inside_rect(x, y, 0.31, 0.14, 0.69, 0.46):
        if x + y < 0.62:
            return "screen_glint"
        return "screen"
    r2 = (x - 0.5) ** 2 + (y - 0.69) ** 2
    if r2 <= 0.05 ** 2:
        return "wheel_hub"
    if r2 <= 0.15 ** 2:
        return "wheel"
    if x < 0.27:
        return "case_edge"
    return "case"


def document(x, y):
    if not inside_rect(x, y, 0.20, 0.06, 0.80, 0.94):
        return None
    # folded corner at the top right
    if x - 0.60 > y - 0.06:
        return None
    if x - 0.60 > y - 0.06 - 0.04 and x >= 0.60 and y < 0.26:
        return "fold"
    # text lines that land on whole pixel rows at 16 and 32 pixels
    for line in (0.33, 0.45, 0.57, 0.70):
        if inside_rect(x, y, 0.30, line, 0.70, line + 0.07):
            return "ink"
    return "paper"


def render(drawing, size):
    """size x size pixels, each (name, shade) or None, with outlines."""
    grid = []
    for row in range(size):
        line = []
        for col in range(size):
            name = drawing((col + 0.5) / size, (row + 0.5) / size)
            line.append(name)
        grid.append(line)
    pixels = []
    for row in range(size):
        line = []
        for col in range(size):
            name = grid[row][col]
            if name is None:
                line.append(None)
                continue
            edge = False
            for dr, dc in ((-1, 0), (1, 0), (0, -1), (0, 1)):
                r, c = row + dr, col + dc
                if not (0 <= r < size and 0 <= c < size) or grid[r][c] is None:
                    edge = True
            line.append(("outline", 0.0) if edge else (name, row / max(1, size - 1)))
        pixels.append(line)
    return pixels


# --- icon files ----------------------------------------------------------

def row_bytes(bits, width):
    return ((bits * width + 31) // 32) * 4


def dib_image(pixels, bits):
    """The icon image: header, palette, colour bits, mask (rows bottom-up)."""
    size = len(pixels)
    colours = 1 << bits
    palette = [VGA16[i] for i in range(16)] if bits == 4 else PALETTE256
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    body = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette[:colours])
    xor_stride = row_bytes(bits, size)
    and_stride = row_bytes(1, size)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):
        line = bytearray(xor_stride)
        bits_line = bytearray(and_stride)
        for col, pixel in enumerate(row):
            value = index_for(pixel, bits)
            if bits == 8:
                line[col] = value
            else:
                line[col // 2] |= value << (4 if col % 2 == 0 else 0)
            if pixel is None:
                bits_line[col // 8] |= 0x80 >> (col % 8)
        xor += line
        mask += bits_line
    return header + body + bytes(xor) + bytes(mask)


def write_icon(path, drawing, sizes):
    images = []
    for size in sizes:
        pixels = render(drawing, size)
        for bits in (4, 8):
            images.append((size, bits, dib_image(pixels, bits)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1, bits,
                           len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


# --- the progress clip ---------------------------------------------------

CLIP_WIDTH = 96
CLIP_HEIGHT = 32
CLIP_FRAMES = 12


def clip_frame(frame):
    """One frame as rows of palette indices, top row first."""
    background = INDEX256["backdrop"]
    rows = [[background] * CLIP_WIDTH for _ in range(CLIP_HEIGHT)]

    def stamp(pixels, left, top):
        for r, line in enumerate(pixels):
            for c, pixel in enumerate(line):
                if pixel is not None and 0 <= top + r < CLIP_HEIGHT and 0 <= left + c < CLIP_WIDTH:
                    rows[top + r][left + c] = index_for(pixel, 8)

    stamp(render(folder_open, 28), 2, 2)
    stamp(render(device, 28), CLIP_WIDTH - 30, 2)
    # the document flies in a flat arc from the folder to the device
    t = frame / (CLIP_FRAMES - 1)
    left = round(14 + t * (CLIP_WIDTH - 46))
    top = round(8 - 7 * 4 * t * (1 - t))
    stamp(render(document, 16), left, top)
    return rows


def chunk(fourcc, data):
    pad = b"\0" if len(data) % 2 else b""
    return fourcc + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, fourcc, data):
    return kind + struct.pack("<I", len(data) + 4) + fourcc + data


def write_clip(path):
    stride = row_bytes(8, CLIP_WIDTH)
    frame_size = stride * CLIP_HEIGHT
    frames = []
    for frame in range(CLIP_FRAMES):
        rows = clip_frame(frame)
        data = bytearray()
        for line in reversed(rows):  # bottom-up
            data += bytes(line) + bytes(stride - CLIP_WIDTH)
        frames.append(bytes(data))

    micro_per_frame = 100000  # 10 frames a second
    avih = struct.pack("<IIIIIIIIII4I", micro_per_frame, frame_size * 10, 0, 0x10, CLIP_FRAMES, 0, 1,
                       frame_size, CLIP_WIDTH, CLIP_HEIGHT, 0, 0, 0, 0)
    strh = struct.pack("<4s4sIHHIIIIIIIIhhhh", b"vids", b"DIB ", 0, 0, 0, 0, 1, 10, 0, CLIP_FRAMES,
                       frame_size, 0xFFFFFFFF, 0, 0, 0, CLIP_WIDTH, CLIP_HEIGHT)
    strf = struct.pack("<IiiHHIIiiII", 40, CLIP_WIDTH, CLIP_HEIGHT, 1, 8, 0, frame_size, 0, 0, 256, 0)
    strf += b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE256)
    hdrl = riff_list(b"LIST", b"hdrl", chunk(b"avih", avih) +
                     riff_list(b"LIST", b"strl", chunk(b"strh", strh) + chunk(b"strf", strf)))

    movi_body = b""
    index = b""
    for data in frames:
        offset = 4 + len(movi_body)  # from the 'movi' type code to the chunk header
        movi_body += chunk(b"00db", data)
        index += struct.pack("<4sIII", b"00db", 0x10, offset, len(data))
    movi = riff_list(b"LIST", b"movi", movi_body)
    with open(path, "wb") as f:
        f.write(riff_list(b"RIFF", b"AVI ", hdrl + movi + chunk(b"idx1", index)))


def main():
    write_icon(os.path.join(HERE, "folder_closed.ico"), folder_closed, (16, 32, 48))
    write_icon(os.path.join(HERE, "folder_open.ico"), folder_open, (16, 32, 48))
    write_icon(os.path.join(HERE, "device.ico"), device, (16, 32, 48))
    write_icon(os.path.join(HERE, "document.ico"), document, (16, 32))
    write_clip(os.path.join(HERE, "progress.avi"))


if __name__ == "__main__":
    main()
