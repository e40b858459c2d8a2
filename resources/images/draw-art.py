#!/usr/bin/env python3
"""Draws Tonecraft's toolbar and icon art as PNG files (standard library only).

Every picture is a character grid, one character per pixel:

    K 000000 black      r 800000 dark red    g 008000 dark green  o 808000 olive
    n 000080 navy       p 800080 purple      t 008080 teal        . C0C0C0 silver
    d 808080 gray       R FF0000 red         G 00FF00 green       Y FFFF00 yellow
    B 0000FF blue       M FF00FF magenta     C 00FFFF cyan        W FFFFFF white
    (space)  fully transparent (icons only)

The toolbar strip has a silver background, which the program treats as transparent.

Usage:  python3 draw-art.py [--preview DIR]
Writes the PNG files next to this script and the desktop icons into ../icons/; with --preview,
also writes 8x enlarged copies into DIR (keep DIR outside the source tree).
"""

import os
import struct
import sys
import zlib

PALETTE = {
    "K": (0x00, 0x00, 0x00), "r": (0x80, 0x00, 0x00), "g": (0x00, 0x80, 0x00), "o": (0x80, 0x80, 0x00),
    "n": (0x00, 0x00, 0x80), "p": (0x80, 0x00, 0x80), "t": (0x00, 0x80, 0x80), ".": (0xC0, 0xC0, 0xC0),
    "d": (0x80, 0x80, 0x80), "R": (0xFF, 0x00, 0x00), "G": (0x00, 0xFF, 0x00), "Y": (0xFF, 0xFF, 0x00),
    "B": (0x00, 0x00, 0xFF), "M": (0xFF, 0x00, 0xFF), "C": (0x00, 0xFF, 0xFF), "W": (0xFF, 0xFF, 0xFF),
}
TRANSPARENT = " "

# ---------------------------------------------------------------- toolbar buttons (16 x 15)

NEW = [  # blank page with a folded corner
    "................",
    "...KKKKKKK......",
    "...KWWWWWKK.....",
    "...KWWWWWK.K....",
    "...KWWWWWK..K...",
    "...KWWWWWKKKKK..",
    "...KWWWWWWWWWK..",
    "...KWWWWWWWWWK..",
    "...KWWWWWWWWWK..",
    "...KWWWWWWWWWK..",
    "...KWWWWWWWWWK..",
    "...KWWWWWWWWWK..",
    "...KWWWWWWWWWK..",
    "...KKKKKKKKKKK..",
    "................",
]

OPEN = [  # folder with its front flap swinging open, and an arrow
    "................",
    ".........KKK....",
    "........K...K.K.",
    ".............KK.",
    ".KKK........KKK.",
    "KoooKKKKKKK.....",
    "KoooooooooK.....",
    "KoooooooooK.....",
    "KooooKKKKKKKKKKK",
    "KoooKYYYYYYYYYK.",
    "KooKYYYYYYYYYK..",
    "KoKYYYYYYYYYK...",
    "KKYYYYYYYYYK....",
    "KKKKKKKKKKKK....",
    "................",
]

SAVE = [  # floppy disk: label on top, metal shutter below
    "................",
    ".KKKKKKKKKKKKKK.",
    ".KtKWWWWWWWWKtK.",
    ".KtKWWWWWWWWKtK.",
    ".KtKWddddddWKtK.",
    ".KtKWWWWWWWWKtK.",
    ".KtKKKKKKKKKKtK.",
    ".KttttttttttttK.",
    ".KttttttttttttK.",
    ".KttKKKKKKKKKtK.",
    ".KttK..KK...KtK.",
    ".KttK..KK...KtK.",
    ".KttK..KK...KtK.",
    ".KKKKKKKKKKKKKK.",
    "................",
]

CUT = [  # scissors: blades crossing at the pivot, two finger loops
    "................",
    "....Kd....dK....",
    "....Kd....dK....",
    ".....Kd..dK.....",
    ".....Kd..dK.....",
    "......KddK......",
    ".......KK.......",
    "......K..K......",
    ".....K....K.....",
    "..nnn......nnn..",
    ".n...n....n...n.",
    ".n...n....n...n.",
    ".n...n....n...n.",
    "..nnn......nnn..",
    "................",
]

COPY = [  # two overlapping pages
    "................",
    ".KKKKKKKKK......",
    ".KWWWWWWWK......",
    ".KWdddddWK......",
    ".KWWWWWWWK......",
    ".KWddKKKKKKKKKK.",
    ".KWWWKWWWWWWWWK.",
    ".KWddKWnnnnnnWK.",
    ".KWWWKWWWWWWWWK.",
    ".KWddKWnnnnnnWK.",
    ".KKKKKWWWWWWWWK.",
    ".....KWnnnnnnWK.",
    ".....KWWWWWWWWK.",
    ".....KKKKKKKKKK.",
    "................",
]

PASTE = [  # clipboard with a page lying on it
    "....KKKK........",
    ".KKKKddKKKK.....",
    ".KoKddddKoK.....",
    ".KooKKKKooK.....",
    ".KooooooooK.....",
    ".KooooooooK.....",
    ".KooooKKKKKKKK..",
    ".KooooKWWWWWWK..",
    ".KooooKWnnnnWK..",
    ".KooooKWWWWWWK..",
    ".KooooKWnnnnWK..",
    ".KooooKWWWWWWK..",
    ".KooooKWnnnWWK..",
    ".KKKKKKWWWWWWK..",
    "......KKKKKKKK..",
]

PRINT = [  # printer with paper in the tray and a printed sheet coming out
    "................",
    "....KKKKKKKK....",
    "....KWWWWWWK....",
    "....KWnnnnWK....",
    "....KWWWWWWK....",
    ".KKKKKKKKKKKKKK.",
    ".KWWWWWWWWWWWWK.",
    ".K..........G.K.",
    ".KddKKKKKKKKddK.",
    ".KddKWWWWWWKddK.",
    ".KKKKWWWWWWKKKK.",
    "....KWnnnnWK....",
    "....KWWWWWWK....",
    "....KKKKKKKK....",
    "................",
]

ABOUT = [  # a white "i" in a blue circle
    "................",
    ".....KKKKKK.....",
    "...KKBBBBBBKK...",
    "..KBBBBWWBBBBK..",
    ".KBBBBBWWBBBBBK.",
    ".KBBBBBBBBBBBBK.",
    ".KBBBBWWWBBBBBK.",
    ".KBBBBBWWBBBBBK.",
    ".KBBBBBWWBBBBBK.",
    ".KBBBBBWWBBBBBK.",
    ".KBBBBBWWBBBBBK.",
    ".KBBBBBWWBBBBBK.",
    "..KBBBWWWWBBBK..",
    "...KKBBBBBBKK...",
    ".....KKKKKK.....",
]

TOOLBAR_BUTTONS = [NEW, OPEN, SAVE, CUT, COPY, PASTE, PRINT, ABOUT]

# ---------------------------------------------------------------- program icon

MAINFRAME_32 = [  # gold picture frame around a gray ramp, with a red tone curve over it
    "                                ",
    "                                ",
    " KKKKKKKKKKKKKKKKKKKKKKKKKKKKK  ",
    " KYYYYYYYYYYYYYYYYYYYYYYYYYooKd ",
    " KYYYYYYYYYYYYYYYYYYYYYYYYYooKd ",
    " KYYKKKKKdKdddd.d....W.WRRRooKd ",
    " KYYKKKKdKdddd.d.d....RRRRRooKd ",
    " KYYKKKKKdKdddd.d....RRRRWWooKd ",
    " KYYKKKKdKdddd.d.d..RRR.WWWooKd ",
    " KYYKKKKKdKdddd.d..RRR.WWWWooKd ",
    " KYYKKKKdKdddd.d.dRRR.W.WWWooKd ",
    " KYYKKKKKdKdddd.dRRR.W.WWWWooKd ",
    " KYYKKKKdKdddd.dRRR...W.WWWooKd ",
    " KYYKKKKKdKdddd.RRR..W.WWWWooKd ",
    " KYYKKKKdKdddd.RRR....W.WWWooKd ",
    " KYYKKKKKdKdddRRR....W.WWWWooKd ",
    " KYYKKKKdKdddRRR.d....W.WWWooKd ",
    " KYYKKKKKdKdRRR.d....W.WWWWooKd ",
    " KYYKKKKdKdRRR.d.d....W.WWWooKd ",
    " KYYKKKKKdKRRRd.d....W.WWWWooKd ",
    " KYYKKKKdKRRRd.d.d....W.WWWooKd ",
    " KYYKKKKKRRRddd.d....W.WWWWooKd ",
    " KYYKKKKRRRddd.d.d....W.WWWooKd ",
    " KYYKKRRRRKdddd.d....W.WWWWooKd ",
    " KYYRRRRRKdddd.d.d....W.WWWooKd ",
    " KYYRRRKKdKdddd.d....W.WWWWooKd ",
    " KoooooooooooooooooooooooooooKd ",
    " KoooooooooooooooooooooooooooKd ",
    " KKKKKKKKKKKKKKKKKKKKKKKKKKKKKd ",
    "  ddddddddddddddddddddddddddddd ",
    "                                ",
    "                                ",
]

MAINFRAME_16 = [
    "                ",
    "KKKKKKKKKKKKKKK ",
    "KYYYYYYYYYYYYoKd",
    "KYKKKddd...RRoKd",
    "KYKKKddd..RRWoKd",
    "KYKKKddd.R.WWoKd",
    "KYKKKdddR..WWoKd",
    "KYKKKddRR..WWoKd",
    "KYKKKdRR...WWoKd",
    "KYKKKdRd...WWoKd",
    "KYKKKRdd...WWoKd",
    "KYKRRddd...WWoKd",
    "KYRRKddd...WWoKd",
    "KoooooooooooooKd",
    "KKKKKKKKKKKKKKKd",
    " ddddddddddddddd",
]

# ---------------------------------------------------------------- document icon

IMAGETYPE_32 = [  # sheet with a folded corner carrying a small gray landscape picture
    "                                ",
    "    KKKKKKKKKKKKKKKK            ",
    "    KWWWWWWWWWWWWWWKK           ",
    "    KWWWWWWWWWWWWWWK.K          ",
    "    KWWddddddddddWWK..K         ",
    "    KWWWWWWWWWWWWWWK...K        ",
    "    KWWddddddddWWWWK....K       ",
    "    KWWWWWWWWWWWWWWK.....K      ",
    "    KWWWWWWWWWWWWWWKKKKKKKK     ",
    "    KWWWWWWWWWWWWWWWWWWWWWKd    ",
    "    KWWWWWWWWWWWWWWWWWWWWWKd    ",
    "    KWWKKKKKKKKKKKKKKKKKWWKd    ",
    "    KWWK...............KWWKd    ",
    "    KWWK...........WW..KWWKd    ",
    "    KWWK....W.....WWWW.KWWKd    ",
    "    KWWK...dWd....WWWW.KWWKd    ",
    "    KWWK..ddddd....WW..KWWKd    ",
    "    KWWK.ddddddd....d..KWWKd    ",
    "    KWWKddddddddd..ddd.KWWKd    ",
    "    KWWKdddddddddddddddKWWKd    ",
    "    KWWKKKdddddddddddKKKWWKd    ",
    "    KWWKKKKKKdddddKKKKKKWWKd    ",
    "    KWWKKKKKKKKKKKKKKKKKWWKd    ",
    "    KWWKKKKKKKKKKKKKKKKKWWKd    ",
    "    KWWWWWWWWWWWWWWWWWWWWWKd    ",
    "    KWWddddddddddddddddWWWKd    ",
    "    KWWWWWWWWWWWWWWWWWWWWWKd    ",
    "    KWWddddddddddddWWWWWWWKd    ",
    "    KWWWWWWWWWWWWWWWWWWWWWKd    ",
    "    KKKKKKKKKKKKKKKKKKKKKKKd    ",
    "     ddddddddddddddddddddddd    ",
    "                                ",
]

IMAGETYPE_16 = [
    " KKKKKKKKK      ",
    " KWWWWWWWKK     ",
    " KWWWWWWWK.K    ",
    " KWddddWWK..K   ",
    " KWWWWWWWKKKKK  ",
    " KWWWWWWWWWWWKd ",
    " KWKKKKKKKKKWKd ",
    " KWK....WW.KWKd ",
    " KWK..d.WW.KWKd ",
    " KWK.ddd..dKWKd ",
    " KWKdddddddKWKd ",
    " KWKKKdddKKKWKd ",
    " KWKKKKKKKKKWKd ",
    " KWWWWWWWWWWWKd ",
    " KKKKKKKKKKKKKd ",
    "  ddddddddddddd ",
]

# ---------------------------------------------------------------- PNG writing


def check_grid(name, grid, width, height, allow_transparent):
    assert len(grid) == height, f"{name}: {len(grid)} rows, expected {height}"
    for y, row in enumerate(grid):
        assert len(row) == width, f"{name}: row {y} has {len(row)} pixels, expected {width}"
        for ch in row:
            assert ch in PALETTE or (allow_transparent and ch == TRANSPARENT), \
                f"{name}: row {y} uses unknown character {ch!r}"


def join_horizontally(grids):
    return ["".join(grid[y] for grid in grids) for y in range(len(grids[0]))]


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def encode_png(grid, with_alpha):
    """RGB (colour type 2) or RGBA (colour type 6), 8 bits per sample, filter 0 on every row."""
    width, height = len(grid[0]), len(grid)
    raw = bytearray()
    for row in grid:
        raw.append(0)
        for ch in row:
            if ch == TRANSPARENT:
                raw += bytes((0, 0, 0, 0))
            else:
                raw += bytes(PALETTE[ch])
                if with_alpha:
                    raw.append(255)
    ihdr = struct.pack(">IIBBBBB", width, height, 8, 6 if with_alpha else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9))
            + chunk(b"IEND", b""))


def decode_png(data):
    """Reads back what encode_png writes; returns (width, height, list of pixel tuples)."""
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]
        assert struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0] == zlib.crc32(kind + body) & 0xFFFFFFFF
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, colour_type = header[:4]
    assert depth == 8 and colour_type in (2, 6)
    channels = 4 if colour_type == 6 else 3
    raw = zlib.decompress(idat)
    stride = 1 + width * channels
    assert len(raw) == stride * height
    pixels = []
    for y in range(height):
        assert raw[y * stride] == 0
        line = raw[y * stride + 1:(y + 1) * stride]
        pixels += [tuple(line[i:i + channels]) for i in range(0, len(line), channels)]
    return width, height, pixels


def verify_png(path, width, height, with_alpha):
    with open(path, "rb") as f:
        w, h, pixels = decode_png(f.read())
    assert (w, h) == (width, height), f"{path}: {w}x{h}, expected {width}x{height}"
    classic = set(PALETTE.values())
    colours = set()
    for p in pixels:
        if with_alpha:
            assert p[3] in (0, 255), f"{path}: partial alpha"
            if p[3] == 0:
                continue
        colours.add(p[:3])
    assert colours <= classic, f"{path}: colours outside the 16-colour set: {colours - classic}"
    assert len(colours) <= 16, f"{path}: {len(colours)} colours"
    return len(colours)


def enlarge(grid, factor):
    """Each pixel becomes a factor x factor block, so the larger icons keep the pixel art's edges."""
    return ["".join(ch * factor for ch in row) for row in grid for _ in range(factor)]


def write_preview(path, grid, scale=8):
    """Enlarged copy for eyeballing; transparent pixels shown as a light checkerboard."""
    big = []
    for y, row in enumerate(grid):
        line = ""
        for x, ch in enumerate(row):
            line += ch * scale
        for sy in range(scale):
            big.append(line)
    out = []
    for y, row in enumerate(big):
        chars = []
        for x, ch in enumerate(row):
            if ch == TRANSPARENT:
                ch = "W" if ((x // 4) + (y // 4)) % 2 else "."
            chars.append(ch)
        out.append("".join(chars))
    with open(path, "wb") as f:
        f.write(encode_png(out, with_alpha=False))


def main(argv):
    preview_dir = None
    if len(argv) == 3 and argv[1] == "--preview":
        preview_dir = argv[2]
    elif len(argv) != 1:
        sys.exit(__doc__)
    here = os.path.dirname(os.path.abspath(__file__))

    for i, button in enumerate(TOOLBAR_BUTTONS):
        check_grid(f"toolbar button {i}", button, 16, 15, allow_transparent=False)
    images = [
        ("toolbar.png", join_horizontally(TOOLBAR_BUTTONS), 128, 15, False),
        ("mainframe-32.png", MAINFRAME_32, 32, 32, True),
        ("mainframe-16.png", MAINFRAME_16, 16, 16, True),
        ("imagetype-32.png", IMAGETYPE_32, 32, 32, True),
        ("imagetype-16.png", IMAGETYPE_16, 16, 16, True),
    ]
    # The program's icon in the desktop's icon theme, at the sizes desktops ask for, each an
    # enlargement of the nearest drawing that divides it.
    for size, base in ((16, MAINFRAME_16), (32, MAINFRAME_32), (48, MAINFRAME_16), (64, MAINFRAME_32),
                       (128, MAINFRAME_32), (256, MAINFRAME_32)):
        images.append((f"../icons/tonecraft-{size}.png", enlarge(base, size // len(base)), size, size, True))
    for name, grid, width, height, with_alpha in images:
        check_grid(name, grid, width, height, allow_transparent=with_alpha)
        path = os.path.join(here, name)
        with open(path, "wb") as f:
            f.write(encode_png(grid, with_alpha))
        count = verify_png(path, width, height, with_alpha)
        print(f"{name}: {width}x{height}, {count} colours")
        if preview_dir:
            os.makedirs(preview_dir, exist_ok=True)
            preview = os.path.basename(name).replace(".png", "-preview.png")
            write_preview(os.path.join(preview_dir, preview), grid)


if __name__ == "__main__":
    main(sys.argv)
