#!/usr/bin/env python3
"""Draws Zeph's artwork and writes it into the source tree.

Outputs (committed, so a build never needs this script):
  src/ui/resources/banner.jpg   124 x 65 baseline JPEG, three colour components
  src/ui/resources/banner@2x.jpg  the same drawing at 248 x 130, for screens of
                                two device pixels to a pixel (or more)
  src/ui/resources/zeph.ico     one 32 x 32 image, 16 colours (4 bpp DIB + AND mask)
  packaging/zeph.png            the same 32 x 32 image as PNG, for the icon theme
  packaging/icons/zeph.svg      the same drawing as a scalable icon
  packaging/icons/zeph-N.png    smooth RGBA renderings at the other theme sizes

Needs (Debian 12): python3, imagemagick, fonts-dejavu-core, fonts-wqy-microhei.
The icon is drawn and encoded here in plain Python; only the banner goes through
ImageMagick, for its anti-aliased text. Re-running it rewrites all three files.

Usage: python3 tools/make-artwork.py [--check]
  --check  draw everything into a temporary folder and only verify the results.
"""

import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# /usr/bin/convert is ImageMagick itself; other convert programs on PATH may be
# something else entirely.
CONVERT = os.environ.get("CONVERT", "/usr/bin/convert")
FONT_LATIN = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
FONT_CJK = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"

BANNER_W, BANNER_H = 124, 65
NAVY = (10, 36, 106)

# ---------------------------------------------------------------- banner


def make_banner(path, scale=1):
    """The banner drawn at scale device pixels to a pixel (1 or 2)."""
    for need in (CONVERT, FONT_LATIN, FONT_CJK):
        if not os.path.exists(need):
            sys.exit(f"make-artwork: {need} is missing (apt-get install imagemagick "
                     "fonts-dejavu-core fonts-wqy-microhei)")

    def n(v):  # a coordinate or length of the 1x drawing, at this scale
        return f"{v * scale:g}"
    bus_y = 57.5
    nodes = [14, 38, 62, 86, 108]  # LAN "bus" with five hosts, inside the visible 115 x 64
    cmd = [CONVERT,
           # Blue gradient, dark on the left like the title bar.
           "-size", f"{n(BANNER_H)}x{n(BANNER_W)}", "gradient:#0a246a-#5f8fd6", "-rotate", "-90",
           # Network motif along the bottom.
           "-stroke", "rgba(255,255,255,0.55)", "-strokewidth", n(1),
           "-draw", f"line {n(8)},{n(bus_y)} {n(110)},{n(bus_y)}", "-stroke", "none",
           "-fill", "rgba(255,255,255,0.9)"]
    for x in nodes:
        cmd += ["-draw", f"circle {n(x)},{n(bus_y)} {n(x + 2.5)},{n(bus_y)}"]
    cmd += [
        # Speech bubble with three dots.
        "-fill", "white",
        "-draw", f"roundrectangle {n(5)},{n(5)} {n(41)},{n(31)} {n(8)},{n(8)}",
        "-draw", f"polygon {n(11)},{n(29)} {n(8)},{n(40)} {n(21)},{n(30)}",
        "-fill", "#0a246a",
        "-draw", f"circle {n(14)},{n(18)} {n(16.2)},{n(18)}",
        "-draw", f"circle {n(23)},{n(18)} {n(25.2)},{n(18)}",
        "-draw", f"circle {n(32)},{n(18)} {n(34.2)},{n(18)}",
        # The name, with a soft shadow, and the Chinese product name below it.
        "-font", FONT_LATIN, "-pointsize", n(21),
        "-fill", "rgba(0,0,40,0.5)", "-annotate", f"+{n(48)}+{n(29)}", "Zeph",
        "-fill", "white", "-annotate", f"+{n(47)}+{n(28)}", "Zeph",
        "-font", FONT_CJK, "-pointsize", n(10),
        "-annotate", f"+{n(44)}+{n(46)}", "局域网即时通信",
        # Baseline (not progressive), full-resolution chroma, no metadata.
        "-strip", "-interlace", "none", "-sampling-factor", "1x1",
        "-quality", "92", "jpeg:" + path,
    ]
    subprocess.run(cmd, check=True)


def jpeg_frame(data):
    """Returns (sof_marker, width, height, components) of the first frame header."""
    if data[:2] != b"\xff\xd8":
        raise ValueError("no SOI marker")
    i = 2
    while i + 4 <= len(data):
        if data[i] != 0xFF:
            raise ValueError(f"marker expected at {i}")
        marker = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if 0xC0 <= marker <= 0xCF and marker not in (0xC4, 0xC8, 0xCC):
            _, h, w, n = struct.unpack(">BHHB", data[i + 4:i + 10])
            return marker, w, h, n
        i += 2 + length
    raise ValueError("no frame header")


def check_banner(path, scale=1):
    data = open(path, "rb").read()
    marker, w, h, n = jpeg_frame(data)
    problems = []
    if marker != 0xC0:
        problems.append(f"frame marker 0x{marker:02X}, want baseline 0xC0")
    want_w, want_h = BANNER_W * scale, BANNER_H * scale
    if (w, h, n) != (want_w, want_h, 3):
        problems.append(f"{w}x{h} with {n} components, want {want_w}x{want_h} with 3")
    if not 2000 * scale * scale <= len(data) <= 8000 * scale * scale:
        problems.append(f"{len(data)} bytes, want a few KB")
    return problems

# ---------------------------------------------------------------- icon

ICON = 32
# 16-colour palette: 0 is what transparent pixels hold, 1 the outline, 2-7 the
# bubble's blues from light to dark, 8 white, the rest in-between shades.
PALETTE = [
    (0, 0, 0), NAVY,
    (178, 210, 244), (150, 188, 234), (122, 164, 222), (96, 140, 208), (72, 116, 192),
    (50, 92, 174),
    (255, 255, 255), (214, 230, 248), (40, 64, 130), (128, 128, 128),
    (192, 192, 192), (0, 0, 128), (0, 128, 255), (236, 236, 236),
]
assert len(PALETTE) == 16


def sd_round_box(px, py, cx, cy, hw, hh, r):
    qx = abs(px - cx) - hw + r
    qy = abs(py - cy) - hh + r
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def sd_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - ax - t * dx, py - ay - t * dy)


def sd_triangle(px, py, a, b, c):
    d = min(sd_segment(px, py, *a, *b), sd_segment(px, py, *b, *c),
            sd_segment(px, py, *c, *a))

    def side(p, q):
        return (q[0] - p[0]) * (py - p[1]) - (q[1] - p[1]) * (px - p[0])
    s1, s2, s3 = side(a, b), side(b, c), side(c, a)
    inside = (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)
    return -d if inside else d


def icon_sample(x, y):
    """Colour (r, g, b) at a point of the icon, or None where it is transparent."""
    d = min(sd_round_box(x, y, 16.0, 13.0, 14.5, 10.0, 6.5),
            sd_triangle(x, y, (6.0, 20.0), (3.5, 30.0), (14.5, 21.5)))
    if d > 0:
        return None
    if d > -1.4:
        return NAVY
    for cx in (9.5, 16.0, 22.5):
        if math.hypot(x - cx, y - 13.0) < 2.3:
            return (255, 255, 255)
    t = max(0.0, min(1.0, (y - 4.0) / 24.0))  # light at the top, darker below
    top, bottom = PALETTE[2], PALETTE[7]
    return tuple(top[k] + (bottom[k] - top[k]) * t for k in range(3))


def nearest(rgb):
    return min(range(1, 16), key=lambda i: sum((PALETTE[i][k] - rgb[k]) ** 2 for k in range(3)))


def draw_icon():
    """Returns rows of palette indices, None for transparent, top row first."""
    n = 4  # 4 x 4 samples per pixel
    rows = []
    for y in range(ICON):
        row = []
        for x in range(ICON):
            hits = [icon_sample(x + (i + 0.5) / n, y + (j + 0.5) / n)
                    for j in range(n) for i in range(n)]
            inside = [c for c in hits if c is not None]
            if len(inside) * 2 < len(hits):
                row.append(None)
            else:
                avg = [sum(c[k] for c in inside) / len(inside) for k in range(3)]
                row.append(nearest(avg))
        rows.append(row)
    return rows


def ico_bytes(rows):
    xor = bytearray()
    mask = bytearray()
    for row in reversed(rows):  # DIBs are stored bottom-up
        idx = [0 if p is None else p for p in row]
        xor += bytes((idx[i] << 4) | idx[i + 1] for i in range(0, ICON, 2))
        bits = 0
        for p in row:
            bits = (bits << 1) | (1 if p is None else 0)
        mask += struct.pack(">I", bits)  # 32 pixels = one 32-bit row, MSB first
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
    dib = struct.pack("<IiiHHIIiiII", 40, ICON, ICON * 2, 1, 4, 0, len(xor) + len(mask),
                      0, 0, 16, 0) + palette + bytes(xor) + bytes(mask)
    header = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", ICON, ICON, 16, 0, 1, 4, len(dib), 6 + 16)
    return header + entry + dib


def png_bytes(rows):
    """rows of palette indices (None: transparent) or of (r, g, b, a) tuples."""
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter: none
        for p in row:
            if p is None:
                raw += bytes((0, 0, 0, 0))
            elif isinstance(p, tuple):
                raw += bytes(p)
            else:
                raw += bytes(PALETTE[p] + (255,))
    size = len(rows)

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))
    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# The icon theme's other sizes: the same shapes sampled at the size, with
# coverage as alpha and the colours unquantised.
THEME_SIZES = (16, 22, 24, 48, 64, 128, 256)


def draw_smooth_icon(size):
    n = 4 if size <= 64 else 2  # samples per pixel along each axis
    scale = ICON / size
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            hits = [icon_sample((x + (i + 0.5) / n) * scale, (y + (j + 0.5) / n) * scale)
                    for j in range(n) for i in range(n)]
            inside = [c for c in hits if c is not None]
            if not inside:
                row.append(None)
                continue
            rgb = [round(sum(c[k] for c in inside) / len(inside)) for k in range(3)]
            row.append(tuple(rgb) + (round(255 * len(inside) / len(hits)),))
        rows.append(row)
    return rows


def hex_colour(rgb):
    return "#%02x%02x%02x" % tuple(round(c) for c in rgb)


def inset_triangle(a, b, c, by):
    """The triangle whose edges lie by inside those of a, b, c."""
    pts = (a, b, c)
    cx, cy = sum(p[0] for p in pts) / 3, sum(p[1] for p in pts) / 3
    lines = []  # each edge as (point, direction), moved towards the centre
    for p, q in ((a, b), (b, c), (c, a)):
        dx, dy = q[0] - p[0], q[1] - p[1]
        length = math.hypot(dx, dy)
        nx, ny = -dy / length, dx / length
        if (cx - p[0]) * nx + (cy - p[1]) * ny < 0:
            nx, ny = -nx, -ny
        lines.append(((p[0] + nx * by, p[1] + ny * by), (dx, dy)))

    def meet(l1, l2):
        (px, py), (dx, dy) = l1
        (qx, qy), (ex, ey) = l2
        t = ((qx - px) * ey - (qy - py) * ex) / (dx * ey - dy * ex)
        return px + t * dx, py + t * dy
    return [meet(lines[2], lines[0]), meet(lines[0], lines[1]), meet(lines[1], lines[2])]


def svg_text():
    """The drawing of icon_sample() in SVG, in the same 32-unit square: the
    outline is the bubble less the bubble's parts moved 1.4 units inwards."""
    tail = ((6.0, 20.0), (3.5, 30.0), (14.5, 21.5))
    inner_tail = inset_triangle(*tail, 1.4)

    def points(pts):
        return " ".join(f"{x:.3f},{y:.3f}" for x, y in pts)
    navy = hex_colour(NAVY)
    dots = "".join(f'<circle cx="{cx}" cy="13" r="2.3" fill="#ffffff"/>'
                   for cx in (9.5, 16, 22.5))
    return (
        '<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 32 32">\n'
        '<defs><linearGradient id="fill" gradientUnits="userSpaceOnUse" x1="0" y1="4" x2="0" '
        f'y2="28"><stop offset="0" stop-color="{hex_colour(PALETTE[2])}"/>'
        f'<stop offset="1" stop-color="{hex_colour(PALETTE[7])}"/></linearGradient></defs>\n'
        f'<rect x="1.5" y="3" width="29" height="20" rx="6.5" fill="{navy}"/>\n'
        f'<polygon points="{points(tail)}" fill="{navy}"/>\n'
        '<rect x="2.9" y="4.4" width="26.2" height="17.2" rx="5.1" fill="url(#fill)"/>\n'
        f'<polygon points="{points(inner_tail)}" fill="url(#fill)"/>\n'
        f'{dots}\n'
        '</svg>\n')

# ---------------------------------------------------------------- main


def main():
    check_only = "--check" in sys.argv[1:]
    out = tempfile.mkdtemp(prefix="zeph-art-")
    try:
        banner = os.path.join(out, "banner.jpg")
        make_banner(banner)
        banner2x = os.path.join(out, "banner@2x.jpg")
        make_banner(banner2x, 2)
        problems = check_banner(banner) + check_banner(banner2x, 2)
        rows = draw_icon()
        ico = ico_bytes(rows)
        if len(ico) != 766:
            problems.append(f"icon is {len(ico)} bytes, want 766")
        if problems:
            sys.exit("make-artwork: " + "; ".join(problems))
        if check_only:
            print("make-artwork: banner and icon check out")
            return
        targets = {
            os.path.join(ROOT, "src/ui/resources/banner.jpg"): open(banner, "rb").read(),
            os.path.join(ROOT, "src/ui/resources/banner@2x.jpg"): open(banner2x, "rb").read(),
            os.path.join(ROOT, "src/ui/resources/zeph.ico"): ico,
            os.path.join(ROOT, "packaging/zeph.png"): png_bytes(rows),
            os.path.join(ROOT, "packaging/icons/zeph.svg"): svg_text().encode(),
        }
        for size in THEME_SIZES:
            targets[os.path.join(ROOT, f"packaging/icons/zeph-{size}.png")] = \
                png_bytes(draw_smooth_icon(size))
        for path, data in targets.items():
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as f:
                f.write(data)
            print(f"wrote {os.path.relpath(path, ROOT)} ({len(data)} bytes)")
    finally:
        shutil.rmtree(out, ignore_errors=True)


if __name__ == "__main__":
    main()
