#!/usr/bin/env python3
"""Draws the TARVEX WOL icon and side banner and writes res/app.ico and res/banner.bmp.

Standard library only, and fully deterministic: the same script always writes the same bytes, so the
generated files can sit in version control next to it.  Run from anywhere:

    python3 tools/make_art.py

Shapes are signed distance functions (negative inside).  Each pixel's coverage is the fraction of a
regular grid of sub-samples that falls inside the shape, which gives antialiased edges without any
imaging library.
"""

import math
import os
import struct
import sys

# ---------------------------------------------------------------------------------------------------------------
# Colours and painting
# ---------------------------------------------------------------------------------------------------------------


def Hex(text):
    """Returns an (r, g, b) tuple of floats for "#rrggbb"."""
    text = text.lstrip("#")
    return tuple(float(int(text[i:i + 2], 16)) for i in (0, 2, 4))


def MixColor(a, b, t):
    t = min(1.0, max(0.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def Solid(color):
    return lambda x, y: color


def VerticalGradient(y0, y1, top, bottom):
    return lambda x, y: MixColor(top, bottom, (y - y0) / (y1 - y0))


def MultiStopGradient(y0, y1, stops):
    """stops: list of (position 0..1, colour), sorted by position."""
    def Paint(x, y):
        t = min(1.0, max(0.0, (y - y0) / (y1 - y0)))
        for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
            if t <= p1:
                return MixColor(c0, c1, (t - p0) / (p1 - p0) if p1 > p0 else 0.0)
        return stops[-1][1]
    return Paint


# ---------------------------------------------------------------------------------------------------------------
# Shapes: a distance function plus the box (x0, y0, x1, y1) outside of which it is certainly empty
# ---------------------------------------------------------------------------------------------------------------


class Shape:
    def __init__(self, sdf, box):
        self.sdf = sdf
        self.box = box

    def __or__(self, other):
        a, b = self.sdf, other.sdf
        return Shape(lambda x, y: min(a(x, y), b(x, y)), UnionBox(self.box, other.box))

    def __and__(self, other):
        a, b = self.sdf, other.sdf
        return Shape(lambda x, y: max(a(x, y), b(x, y)), IntersectBox(self.box, other.box))

    def __sub__(self, other):
        a, b = self.sdf, other.sdf
        return Shape(lambda x, y: max(a(x, y), -b(x, y)), self.box)


def UnionBox(a, b):
    return (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3]))


def IntersectBox(a, b):
    return (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3]))


def Circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r, (cx - r, cy - r, cx + r, cy + r))


def RoundBox(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    hx, hy = (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def Sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return Shape(Sdf, (x0, y0, x1, y1))


def SegmentDistance(x, y, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
    return math.hypot(x - ax - t * dx, y - ay - t * dy)


def Stroke(points, width):
    """A polyline drawn with a round pen of the given width."""
    r = width / 2
    segments = list(zip(points, points[1:])) or [(points[0], points[0])]

    def Sdf(x, y):
        return min(SegmentDistance(x, y, a[0], a[1], b[0], b[1]) for a, b in segments) - r
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(Sdf, (min(xs) - r, min(ys) - r, max(xs) + r, max(ys) + r))


def Polygon(points):
    n = len(points)

    def Sdf(x, y):
        inside = False
        best = float("inf")
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            best = min(best, SegmentDistance(x, y, ax, ay, bx, by))
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
        return -best if inside else best
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(Sdf, (min(xs), min(ys), max(xs), max(ys)))


def HalfPlane(ax, ay, bx, by, box):
    """Everything to the left of the directed line a -> b (y grows downwards), clipped to box."""
    nx, ny = ay - by, bx - ax
    length = math.hypot(nx, ny)
    return Shape(lambda x, y: ((x - ax) * nx + (y - ay) * ny) / length, box)


def Arc(cx, cy, radius, width, gap_center_deg, gap_half_deg):
    """A ring of the given radius and pen width with a gap around one direction; the ends are round.
    Angles are in degrees, 0 pointing right and -90 pointing up (screen coordinates)."""
    r = width / 2
    gap_center = math.radians(gap_center_deg)
    gap_half = math.radians(gap_half_deg)
    ends = [(cx + radius * math.cos(gap_center + s * gap_half), cy + radius * math.sin(gap_center + s * gap_half))
            for s in (-1, 1)]

    def Sdf(x, y):
        angle = math.atan2(y - cy, x - cx)
        off = (angle - gap_center + math.pi) % (2 * math.pi) - math.pi
        if abs(off) >= gap_half:
            return abs(math.hypot(x - cx, y - cy) - radius) - r
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - r
    extent = radius + r
    return Shape(Sdf, (cx - extent, cy - extent, cx + extent, cy + extent))


def PowerSymbol(cx, cy, radius, width, gap_half_deg=38.0, bar_top=None, bar_bottom=None):
    """The IEC 60417 standby symbol: a broken ring with a bar through the gap."""
    if bar_top is None:
        bar_top = cy - radius - width * 0.9
    if bar_bottom is None:
        bar_bottom = cy - radius * 0.05
    return Arc(cx, cy, radius, width, -90.0, gap_half_deg) | Stroke([(cx, bar_top), (cx, bar_bottom)], width)


# ---------------------------------------------------------------------------------------------------------------
# Canvas with straight (non-premultiplied) RGBA in floats, 0..255 for colour and 0..1 for alpha
# ---------------------------------------------------------------------------------------------------------------


class Canvas:
    def __init__(self, width, height, samples):
        self.width = width
        self.height = height
        self.samples = samples
        self.rgb = [[(0.0, 0.0, 0.0)] * width for _ in range(height)]
        self.alpha = [[0.0] * width for _ in range(height)]
        step = 1.0 / samples
        self.offsets = [(i + 0.5) * step for i in range(samples)]

    def PixelRange(self, box, margin=0.0):
        x0 = max(0, int(math.floor(box[0] - margin)))
        y0 = max(0, int(math.floor(box[1] - margin)))
        x1 = min(self.width, int(math.ceil(box[2] + margin)))
        y1 = min(self.height, int(math.ceil(box[3] + margin)))
        return x0, y0, x1, y1

    def Blend(self, px, py, color, a):
        if a <= 0.0:
            return
        da = self.alpha[py][px]
        out_a = a + da * (1.0 - a)
        dc = self.rgb[py][px]
        self.rgb[py][px] = tuple((color[i] * a + dc[i] * da * (1.0 - a)) / out_a for i in range(3))
        self.alpha[py][px] = out_a

    def Fill(self, shape, paint, opacity=1.0):
        """Composites paint over the canvas wherever shape covers it, weighted by sub-sample coverage."""
        x0, y0, x1, y1 = self.PixelRange(shape.box, 1.0)
        total = float(self.samples * self.samples)
        sdf = shape.sdf
        for py in range(y0, y1):
            for px in range(x0, x1):
                # Cheap reject: a pixel whose centre is more than a pixel diagonal away is fully out or in.
                centre = sdf(px + 0.5, py + 0.5)
                if centre > 0.75:
                    continue
                if centre < -0.75:
                    coverage = 1.0
                else:
                    hits = 0
                    for oy in self.offsets:
                        for ox in self.offsets:
                            if sdf(px + ox, py + oy) <= 0.0:
                                hits += 1
                    coverage = hits / total
                self.Blend(px, py, paint(px + 0.5, py + 0.5), coverage * opacity)

    def Glow(self, shape, color, radius, strength):
        """A soft halo around shape that fades out over radius pixels."""
        x0, y0, x1, y1 = self.PixelRange(shape.box, radius + 1.0)
        sdf = shape.sdf
        for py in range(y0, y1):
            for px in range(x0, x1):
                d = sdf(px + 0.5, py + 0.5)
                if d >= radius:
                    continue
                falloff = 1.0 if d <= 0 else (1.0 - d / radius) ** 2
                self.Blend(px, py, color, strength * falloff)


# ---------------------------------------------------------------------------------------------------------------
# The icon: a monitor with a glowing standby symbol on its screen
# ---------------------------------------------------------------------------------------------------------------

OUTLINE = Hex("#151b24")
BEZEL_TOP = Hex("#55606e")
BEZEL_BOTTOM = Hex("#2a313b")
SCREEN_TOP = Hex("#49b3ff")
SCREEN_BOTTOM = Hex("#0a3f92")
SYMBOL = Hex("#ffffff")
SYMBOL_GLOW = Hex("#b9f3ff")
LED = Hex("#5ef06a")
STAND_TOP = Hex("#c3ccd6")
STAND_BOTTOM = Hex("#76818e")


def DrawLargeIcon(size):
    """The 48 and 32 pixel artwork, laid out on a 48 unit grid and scaled.  Box edges snap to whole pixels
    so the outlines stay sharp; the round parts are left where they fall."""
    s = size / 48.0
    canvas = Canvas(size, size, 8)

    def P(v):
        return v * s

    def Q(v):
        return float(math.floor(v * s + 0.5))

    line = 1.0  # outlines stay one device pixel wide at every size

    # Stand: neck and foot, drawn first so the monitor overlaps the top of the neck.
    neck = Polygon([(Q(19.5), Q(34)), (Q(28.5), Q(34)), (Q(30.5), Q(42)), (Q(17.5), Q(42))])
    canvas.Fill(neck, Solid(OUTLINE))
    neck_in = Polygon([(Q(19.5) + line, Q(34)), (Q(28.5) - line, Q(34)),
                       (Q(30.5) - line, Q(42)), (Q(17.5) + line, Q(42))])
    canvas.Fill(neck_in, VerticalGradient(Q(34), Q(42), STAND_BOTTOM, STAND_TOP))
    fx0, fy0, fx1, fy1 = Q(10.5), Q(40.5), Q(37.5), Q(46)
    canvas.Fill(RoundBox(fx0, fy0, fx1, fy1, P(2.2)), Solid(OUTLINE))
    canvas.Fill(RoundBox(fx0 + line, fy0 + line, fx1 - line, fy1 - line, max(0.3, P(2.2) - line)),
                VerticalGradient(fy0, fy1, STAND_TOP, STAND_BOTTOM))

    # Monitor case.
    x0, y0, x1, y1 = Q(1.5), Q(3.5), Q(46.5), Q(36.5)
    corner = P(4)
    inner = RoundBox(x0 + line, y0 + line, x1 - line, y1 - line, corner - line * 0.6)
    canvas.Fill(RoundBox(x0, y0, x1, y1, corner), Solid(OUTLINE))
    canvas.Fill(inner, VerticalGradient(y0, y1, BEZEL_TOP, BEZEL_BOTTOM))
    # A one pixel highlight along the upper edge of the case.
    rim = inner - RoundBox(x0 + line, y0 + 2 * line, x1 - line, y1 - line, corner - line * 0.6)
    canvas.Fill(rim, Solid(Hex("#8a96a6")), 0.8)

    # Screen with a recessed dark edge and a diagonal gloss.
    sx0, sy0, sx1, sy1 = Q(5.5), Q(7.5), Q(42.5), Q(31)
    canvas.Fill(RoundBox(sx0 - line, sy0 - line, sx1 + line, sy1 + line, P(1.5) + line * 0.5), Solid(OUTLINE))
    screen = RoundBox(sx0, sy0, sx1, sy1, P(1.5))
    canvas.Fill(screen, VerticalGradient(sy0, sy1, SCREEN_TOP, SCREEN_BOTTOM))
    gloss = screen & HalfPlane(P(34), sy0, sx0, P(24), screen.box)
    canvas.Fill(gloss, Solid(Hex("#ffffff")), 0.13)

    # Standby symbol with a soft glow, the "wake" cue.
    cx, cy = (sx0 + sx1) / 2, P(20.2)
    radius, pen = P(7.0), max(1.6, P(3.0))
    symbol = PowerSymbol(cx, cy, radius, pen, 40.0, bar_top=cy - radius - P(2.2), bar_bottom=cy - P(0.5))
    canvas.Glow(symbol, SYMBOL_GLOW, P(4.0), 0.55)
    canvas.Fill(symbol, Solid(SYMBOL))

    # Power LED on the bottom bezel.
    led = Circle(P(40.3), (sy1 + y1) / 2, max(0.9, P(1.2)))
    canvas.Glow(led, LED, P(1.8), 0.5)
    canvas.Fill(led, Solid(LED))
    return canvas


def DrawSmallIcon():
    """The 16 pixel artwork, laid out on the pixel grid so its edges stay crisp; no glow, which would only
    blur the symbol at this size."""
    canvas = Canvas(16, 16, 8)
    # Stand: a one row neck and a two row foot.
    canvas.Fill(RoundBox(5, 12, 11, 14, 0), Solid(OUTLINE))
    canvas.Fill(RoundBox(6, 12, 10, 14, 0), Solid(STAND_BOTTOM))
    canvas.Fill(RoundBox(2, 14, 14, 16, 0.7), Solid(OUTLINE))
    canvas.Fill(RoundBox(3, 14, 13, 15, 0), Solid(STAND_TOP))
    # Case.
    canvas.Fill(RoundBox(0, 0, 16, 13, 1.4), Solid(OUTLINE))
    canvas.Fill(RoundBox(1, 1, 15, 12, 0.6), VerticalGradient(1, 12, BEZEL_TOP, BEZEL_BOTTOM))
    # Screen.
    screen = RoundBox(2, 2, 14, 11, 0)
    canvas.Fill(screen, VerticalGradient(2, 11, SCREEN_TOP, SCREEN_BOTTOM))
    # Standby symbol, thick enough to read at this size.  The bar is two whole pixels wide so it cannot
    # smear across three columns.
    canvas.Fill(Arc(8, 6.6, 2.9, 1.5, -90.0, 46.0), Solid(SYMBOL))
    canvas.Fill(RoundBox(7, 2.6, 9, 6.8, 0), Solid(SYMBOL))
    return canvas


# ---------------------------------------------------------------------------------------------------------------
# Stroke font for the product name: each glyph is a list of polylines in a unit box (y down) and a width factor
# ---------------------------------------------------------------------------------------------------------------


def ArcPoints(cx, cy, rx, ry, start_deg, end_deg, steps):
    return [(cx + rx * math.cos(math.radians(start_deg + (end_deg - start_deg) * i / steps)),
             cy + ry * math.sin(math.radians(start_deg + (end_deg - start_deg) * i / steps)))
            for i in range(steps + 1)]


def RoundRectPoints(x0, y0, x1, y1, rx, ry, steps=8):
    points = []
    points += ArcPoints(x1 - rx, y0 + ry, rx, ry, -90, 0, steps)
    points += ArcPoints(x1 - rx, y1 - ry, rx, ry, 0, 90, steps)
    points += ArcPoints(x0 + rx, y1 - ry, rx, ry, 90, 180, steps)
    points += ArcPoints(x0 + rx, y0 + ry, rx, ry, 180, 270, steps)
    return points + [points[0]]


GLYPHS = {
    "T": (0.80, [[(0, 0), (1, 0)], [(0.5, 0), (0.5, 1)]]),
    "A": (0.86, [[(0, 1), (0.5, 0), (1, 1)], [(0.19, 0.64), (0.81, 0.64)]]),
    "R": (0.78, [[(0, 1), (0, 0), (0.6, 0)] + ArcPoints(0.6, 0.26, 0.4, 0.26, -90, 90, 12)[1:] + [(0, 0.52)],
                 [(0.5, 0.52), (1, 1)]]),
    "V": (0.86, [[(0, 0), (0.5, 1), (1, 0)]]),
    "E": (0.68, [[(1, 0), (0, 0), (0, 1), (1, 1)], [(0, 0.5), (0.82, 0.5)]]),
    "X": (0.84, [[(0, 0), (1, 1)], [(1, 0), (0, 1)]]),
    "W": (1.22, [[(0, 0), (0.24, 1), (0.5, 0.28), (0.76, 1), (1, 0)]]),
    "O": (0.92, [RoundRectPoints(0, 0, 1, 1, 0.5, 0.42)]),
    "L": (0.64, [[(0, 0), (0, 1), (1, 1)]]),
}


def TextShapes(text, left, top, height, pen, tracking):
    """Shapes for text set on one line; glyph boxes are height * width factor wide."""
    shapes = []
    x = left
    r = pen / 2
    for ch in text:
        factor, strokes = GLYPHS[ch]
        width = height * factor
        for stroke in strokes:
            points = [(x + r + px * (width - pen), top + r + py * (height - pen)) for px, py in stroke]
            shapes.append(Stroke(points, pen))
        x += width + tracking
    return shapes


def TextWidth(text, height, tracking):
    return sum(height * GLYPHS[ch][0] for ch in text) + tracking * (len(text) - 1)


# ---------------------------------------------------------------------------------------------------------------
# The banner: a blue panel with a glowing standby symbol, the product name and a small LAN drawing
# ---------------------------------------------------------------------------------------------------------------

BANNER_WIDTH = 82
BANNER_HEIGHT = 185


def DrawBanner():
    w, h = BANNER_WIDTH, BANNER_HEIGHT
    canvas = Canvas(w, h, 4)
    full = RoundBox(0, 0, w, h, 0)
    canvas.Fill(full, MultiStopGradient(0, h, [(0.0, Hex("#2f86d6")), (0.45, Hex("#13509c")),
                                             (1.0, Hex("#0a2a57"))]))

    white = Hex("#ffffff")
    cx, cy = w / 2, 44.0
    # Soft light behind the symbol and faint "wake" rings spreading from it.
    canvas.Glow(Circle(cx, cy, 4), Hex("#8fd8ff"), 34, 0.35)
    for radius, opacity in ((23.5, 0.22), (29.5, 0.14), (35.5, 0.08)):
        canvas.Fill(Arc(cx, cy, radius, 1.4, -90.0, 30.0), Solid(white), opacity)
    symbol = PowerSymbol(cx, cy, 14.0, 4.6, 40.0, bar_top=cy - 21.0, bar_bottom=cy - 1.0)
    canvas.Glow(symbol, SYMBOL_GLOW, 6.0, 0.45)
    canvas.Fill(symbol, Solid(white))

    # Product name: "TARVEX" across the panel, "WOL" larger beneath it in the accent colour.
    name_height, name_pen, name_tracking = 13.0, 2.1, 2.4
    name_left = (w - TextWidth("TARVEX", name_height, name_tracking)) / 2
    for shape in TextShapes("TARVEX", name_left, 92, name_height, name_pen, name_tracking):
        canvas.Fill(shape, Solid(white))
    rule_y = 112.5
    canvas.Fill(Stroke([(12, rule_y), (w - 12, rule_y)], 1.0), Solid(white), 0.35)
    wol_height, wol_pen, wol_tracking = 21.0, 3.4, 3.6
    wol_left = (w - TextWidth("WOL", wol_height, wol_tracking)) / 2
    accent = Hex("#8ff08f")
    for shape in TextShapes("WOL", wol_left, 119, wol_height, wol_pen, wol_tracking):
        canvas.Glow(shape, accent, 3.0, 0.18)
        canvas.Fill(shape, Solid(accent))

    # A LAN: one cable with three hosts; the packet dots run towards the middle host, which is awake.
    bus_y = 171.0
    faint = 0.42
    canvas.Fill(Stroke([(6, bus_y), (w - 6, bus_y)], 1.2), Solid(white), faint)
    hosts = (17.0, 41.0, 65.0)
    for i, hx in enumerate(hosts):
        awake = i == 1
        colour = accent if awake else white
        opacity = 0.95 if awake else faint
        canvas.Fill(Stroke([(hx, 163.5), (hx, bus_y)], 1.2), Solid(colour), opacity)
        case = RoundBox(hx - 7, 150, hx + 7, 160, 1.2)
        canvas.Fill(case - RoundBox(hx - 5.6, 151.4, hx + 5.6, 158.6, 0.4), Solid(colour), opacity)
        canvas.Fill(RoundBox(hx - 3, 160, hx + 3, 163.5, 0.6), Solid(colour), opacity)
        if awake:
            canvas.Glow(case, accent, 4.0, 0.25)
            canvas.Fill(RoundBox(hx - 5.6, 151.4, hx + 5.6, 158.6, 0.4), Solid(Hex("#49b3ff")), 0.9)
    # The magic packet on its way along the cable, brighter towards the host it wakes.
    for step, opacity in ((0, 0.35), (1, 0.6), (2, 0.95)):
        canvas.Fill(Circle(hosts[0] + 6.0 * (step + 1), bus_y, 1.3), Solid(accent), opacity)

    # A hairline frame: light on the top and left, dark on the right and bottom, like a raised panel.
    canvas.Fill(RoundBox(0, 0, w, 1, 0), Solid(white), 0.28)
    canvas.Fill(RoundBox(0, 0, 1, h, 0), Solid(white), 0.18)
    canvas.Fill(RoundBox(w - 1, 0, w, h, 0), Solid(Hex("#000000")), 0.35)
    canvas.Fill(RoundBox(0, h - 1, w, h, 0), Solid(Hex("#000000")), 0.35)
    return canvas


# ---------------------------------------------------------------------------------------------------------------
# Converting the float canvas to device pixels
# ---------------------------------------------------------------------------------------------------------------

# Icons carry only a one bit mask, so a partly covered edge pixel is either dropped or made opaque.  The kept
# ones are blended with a neutral grey that sits between the light dialog face and darker desktops.
EDGE_BACKDROP = Hex("#9aa0a6")
MASK_THRESHOLD = 0.5


def ToPixels(canvas, backdrop=EDGE_BACKDROP):
    """Returns rows (top first) of (r, g, b) byte tuples and rows of booleans, True where transparent."""
    rows, mask = [], []
    for y in range(canvas.height):
        row, mrow = [], []
        for x in range(canvas.width):
            a = canvas.alpha[y][x]
            if a < MASK_THRESHOLD:
                row.append((0, 0, 0))
                mrow.append(True)
                continue
            c = MixColor(backdrop, canvas.rgb[y][x], a)
            row.append(tuple(int(round(min(255.0, max(0.0, v)))) for v in c))
            mrow.append(False)
        rows.append(row)
        mask.append(mrow)
    return rows, mask


def BuildPalette(rows, mask, size=256):
    """A median-cut palette for the opaque pixels.  Entry 0 stays black: transparent pixels use it, because
    Windows XORs the colour bits onto the screen wherever the mask is set."""
    colours = {}
    for row, mrow in zip(rows, mask):
        for c, clear in zip(row, mrow):
            if not clear:
                colours[c] = colours.get(c, 0) + 1
    entries = [(0, 0, 0)]
    if len(colours) <= size - 1:
        entries += sorted(colours)
    else:
        boxes = [sorted(colours.items())]
        while len(boxes) < size - 1:
            # Split the box whose widest channel, weighted by pixel count, is the largest.
            best, best_score, best_channel = None, -1, 0
            for i, box in enumerate(boxes):
                if len(box) < 2:
                    continue
                weight = sum(n for _, n in box)
                for ch in range(3):
                    values = [c[ch] for c, _ in box]
                    score = (max(values) - min(values)) * weight
                    if score > best_score:
                        best, best_score, best_channel = i, score, ch
            if best is None:
                break
            box = sorted(boxes.pop(best), key=lambda item: (item[0][best_channel], item[0]))
            total = sum(n for _, n in box)
            running, cut = 0, 1
            for j, (_, n) in enumerate(box):
                running += n
                if running * 2 >= total:
                    cut = max(1, min(len(box) - 1, j + 1))
                    break
            boxes[best:best] = [box[:cut], box[cut:]]
        for box in boxes:
            weight = sum(n for _, n in box)
            entries.append(tuple(int(round(sum(c[ch] * n for c, n in box) / weight)) for ch in range(3)))
    while len(entries) < size:
        entries.append((0, 0, 0))
    return entries


def NearestIndex(palette, colour, cache):
    if colour not in cache:
        # Index 0 is reserved for transparent pixels; opaque black maps to another entry if there is one.
        best = min(range(1, len(palette)),
                   key=lambda i: (sum((palette[i][ch] - colour[ch]) ** 2 for ch in range(3)), i))
        cache[colour] = best
    return cache[colour]


# ---------------------------------------------------------------------------------------------------------------
# File formats
# ---------------------------------------------------------------------------------------------------------------


def PackInfoHeader(width, height, bits, image_size, colours_used=0):
    # BITMAPINFOHEADER: size, width, height, planes, bit count, BI_RGB, image size, 72 dpi, colours.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 2835, 2835, colours_used, 0)


def RowStride(width, bits):
    return ((width * bits + 31) // 32) * 4


def PackMask(mask):
    size = len(mask[0])
    stride = RowStride(size, 1)
    out = bytearray()
    for mrow in reversed(mask):
        line = bytearray(stride)
        for x, clear in enumerate(mrow):
            if clear:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def PackIconImage24(rows, mask):
    size = len(rows)
    stride = RowStride(size, 24)
    xor = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        xor += line + bytes(stride - len(line))
    and_bits = PackMask(mask)
    return PackInfoHeader(size, size * 2, 24, len(xor) + len(and_bits)) + bytes(xor) + and_bits


def PackIconImage8(rows, mask):
    size = len(rows)
    palette = BuildPalette(rows, mask)
    stride = RowStride(size, 8)
    cache = {}
    xor = bytearray()
    for row, mrow in zip(reversed(rows), reversed(mask)):
        line = bytearray(0 if clear else NearestIndex(palette, c, cache) for c, clear in zip(row, mrow))
        xor += line + bytes(stride - len(line))
    and_bits = PackMask(mask)
    quad = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return PackInfoHeader(size, size * 2, 8, len(xor) + len(and_bits)) + quad + bytes(xor) + and_bits


def PackIcon(images):
    """images: list of (size, bits, packed image).  Returns the .ico file bytes."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = len(header) + 16 * len(images)
    entries, data = b"", b""
    for size, bits, blob in images:
        # Width and height of 256 are stored as 0, and so is a colour count of 256 or more.
        colour_count = (1 << bits) if bits < 8 else 0
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, colour_count, 0, 1, bits, len(blob), offset)
        offset += len(blob)
        data += blob
    return header + entries + data


def PackBitmap24(rows):
    height, width = len(rows), len(rows[0])
    stride = RowStride(width, 24)
    pixels = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        pixels += line + bytes(stride - len(line))
    info = PackInfoHeader(width, height, 24, len(pixels))
    offset = 14 + len(info)
    return struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + info + bytes(pixels)


# ---------------------------------------------------------------------------------------------------------------
# Read-back checks, so a broken writer fails here rather than in the resource compiler
# ---------------------------------------------------------------------------------------------------------------


def CheckIcon(data, expected):
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    assert (reserved, kind, count) == (0, 1, len(expected)), (reserved, kind, count)
    for i, (size, bits) in enumerate(expected):
        w, h, colours, res, planes, bitcount, length, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        assert (w, h, res, planes, bitcount) == (size, size, 0, 1, bits), (i, w, h, res, planes, bitcount)
        assert offset + length <= len(data)
        header = struct.unpack_from("<IiiHHIIiiII", data, offset)
        assert header[0] == 40 and header[1] == size and header[2] == 2 * size, header
        assert header[3] == 1 and header[4] == bits and header[5] == 0, header
        palette = 4 * (1 << bits) if bits <= 8 else 0
        expect = 40 + palette + RowStride(size, bits) * size + RowStride(size, 1) * size
        assert length == expect, (i, length, expect)
        assert data[offset:offset + 8] != b"\x89PNG\r\n\x1a\n"


def CheckBitmap(data, width, height):
    magic, file_size, _, _, offset = struct.unpack_from("<2sIHHI", data, 0)
    assert magic == b"BM" and file_size == len(data) and offset == 54
    header = struct.unpack_from("<IiiHHIIiiII", data, 14)
    assert header[:6] == (40, width, height, 1, 24, 0), header
    assert len(data) == offset + RowStride(width, 24) * height


# ---------------------------------------------------------------------------------------------------------------


def Main():
    root = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    res = os.path.join(root, "res")
    os.makedirs(res, exist_ok=True)

    large_rows, large_mask = ToPixels(DrawLargeIcon(48))
    medium_rows, medium_mask = ToPixels(DrawLargeIcon(32))
    small_rows, small_mask = ToPixels(DrawSmallIcon())
    layout = [(48, 24), (32, 8), (16, 8)]
    icon = PackIcon([
        (48, 24, PackIconImage24(large_rows, large_mask)),
        (32, 8, PackIconImage8(medium_rows, medium_mask)),
        (16, 8, PackIconImage8(small_rows, small_mask)),
    ])
    CheckIcon(icon, layout)

    banner_rows, _ = ToPixels(DrawBanner())
    banner = PackBitmap24(banner_rows)
    CheckBitmap(banner, BANNER_WIDTH, BANNER_HEIGHT)

    for name, blob in (("app.ico", icon), ("banner.bmp", banner)):
        with open(os.path.join(res, name), "wb") as f:
            f.write(blob)
        print("wrote %s (%d bytes)" % (os.path.join("res", name), len(blob)))
    return 0


if __name__ == "__main__":
    sys.exit(Main())
