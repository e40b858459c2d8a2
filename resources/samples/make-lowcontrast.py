#!/usr/bin/env python3
"""Writes lowcontrast.bmp: a 321 x 241, 256-colour gray picture whose levels all lie in
96..159, so equalising or stretching it shows a clear difference. Deterministic."""
import math
import struct
import sys

W, H = 321, 241
stride = (W * 8 + 31) // 32 * 4
rows = bytearray()
for y in range(H):  # bottom-up: the first row is the bottom of the picture
    py = H - 1 - y
    for x in range(W):
        r = math.hypot(x - W * 0.62, py - H * 0.40)
        ripple = 0.5 + 0.5 * math.cos(r / 9.0)
        ramp = x / (W - 1)
        disc = 1.0 if math.hypot(x - W * 0.25, py - H * 0.30) < 45 else 0.0
        v = 0.45 * ramp + 0.35 * ripple + 0.20 * disc
        rows.append(96 + min(63, int(v * 64)))
    rows.extend(b"\0" * (stride - W))

table = b"".join(bytes((g, g, g, 0)) for g in range(256))
info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, len(rows), 2835, 2835, 256, 0)
off = 14 + len(info) + len(table)
header = struct.pack("<2sIHHI", b"BM", off + len(rows), 0, 0, off)
out = sys.argv[1] if len(sys.argv) > 1 else "lowcontrast.bmp"
with open(out, "wb") as f:
    f.write(header + info + table + rows)
