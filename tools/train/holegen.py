"""Generated pieces of shot paper, for teaching the shot decision what a hole looks like.

Every piece is drawn at the working scale of the calibrated analysis, where a hole of the
calibre is WORK_D pixels across, after being drawn at another scale and brought there the way
the program brings a picture there (INTER_AREA down, bilinear up), so that small holes in a
phone photo and large ones in a 600-ppi scan both reach the network as they would in use.

The pieces are meant to be as varied as real paper: white, tinted and taped paper under uneven
light; rings, ring bands, bulls, ring numbers, titles, dotted frames, registration dots, logos,
boxes and photographic print; holes dark, grey, light, outlined, ragged, star-cracked, with flaps,
inside dark print, across a bull's edge, in clusters of up to ten shots, in a shooter's group a
calibre or two apart, and pasters over old holes; blur, noise, perspective, a camera's tinted shadows and JPEG. Printed marks of hole size
are drawn as negatives.

Nothing here reads a picture from disk: every piece comes from a seed.
"""
import math

import cv2
import numpy as np

WORK_D = 16.0          # a hole's diameter in working pixels (the C++ side uses the same)
PATCH = 40             # the network's near view: 2.5 hole diameters
CONTEXT = 80           # its wide view (5 diameters), reduced to PATCH

FONTS = [cv2.FONT_HERSHEY_SIMPLEX, cv2.FONT_HERSHEY_DUPLEX, cv2.FONT_HERSHEY_COMPLEX,
         cv2.FONT_HERSHEY_TRIPLEX, cv2.FONT_HERSHEY_PLAIN, cv2.FONT_HERSHEY_SCRIPT_SIMPLEX]
GLYPHS = "0123456789abcdeghopqsABDOPQRS8869@%&#oO0"

# The share of pieces with a photographed surface (grass, cloth, wood) over part of them.
TEXTURE_SHARE = 0.3
LAYER_SHARE = 0.25     # pieces with tape or another sheet's edge across them
VIDEO_SHARE = 0.15     # pieces as a frame of a video or a small phone picture shows them
GROUP_SHARE = 0.2      # pieces with a shooter's group: several shots a calibre or two apart

INKS = [(20, 20, 20), (35, 30, 30), (160, 90, 30), (40, 40, 170), (50, 120, 40), (110, 110, 110),
        (200, 140, 80), (30, 30, 120)]           # BGR: black, blue, red, green, grey, light blue


def _u(rng, a, b):
    return float(rng.uniform(a, b))


# ---------------------------------------------------------------------------------------------
# Proposals: the same rule as src/shots/candidates.cpp.

def _disc_kernel(radius):
    n = int(math.ceil(radius))
    y, x = np.mgrid[-n:n + 1, -n:n + 1]
    k = (x * x + y * y <= radius * radius).astype(np.float32)
    return k / k.sum()


def _ring_kernel(inner, outer):
    n = int(math.ceil(outer))
    y, x = np.mgrid[-n:n + 1, -n:n + 1]
    r2 = x * x + y * y
    k = ((r2 >= inner * inner) & (r2 <= outer * outer)).astype(np.float32)
    return k / k.sum()


# Two sizes of the same test: a hole's disc against the ring around it, and a tighter pair that
# still peaks on a hole pressed against print or inside a cluster.
# Proposals are made at half the working scale (a hole 8 pixels across): a quarter of the
# work, and the network moves every proposal to its shot's centre anyway.
PROPOSAL_D = WORK_D / 2
KERNELS = [(_disc_kernel(0.5 * PROPOSAL_D), _ring_kernel(0.75 * PROPOSAL_D, 1.25 * PROPOSAL_D)),
           (_disc_kernel(0.3 * PROPOSAL_D), _ring_kernel(0.5 * PROPOSAL_D, 0.85 * PROPOSAL_D))]
MIN_RESPONSE = 6.0
SUPPRESS = 0.35 * PROPOSAL_D


def responses(work):
    """Dark and light responses of a BGR 8-bit working picture (float32 maps)."""
    f = work.astype(np.float32)
    grey = f.mean(axis=2)
    hi = f.max(axis=2)
    lo = f.min(axis=2)
    dark = light = None
    for disc, ring in KERNELS:
        def rd(img):
            return (cv2.filter2D(img, -1, ring, borderType=cv2.BORDER_REPLICATE) -
                    cv2.filter2D(img, -1, disc, borderType=cv2.BORDER_REPLICATE))
        g = rd(grey)
        d = np.maximum(g, rd(hi))
        l = np.maximum(-g, -rd(lo))
        dark = d if dark is None else np.maximum(dark, d)
        light = l if light is None else np.maximum(light, l)
    return dark, light


def _peaks(resp):
    r = int(SUPPRESS)
    kernel = cv2.getStructuringElement(cv2.MORPH_ELLIPSE, (2 * r + 1, 2 * r + 1))
    dil = cv2.dilate(resp, kernel)
    ys, xs = np.nonzero((resp >= dil) & (resp >= MIN_RESPONSE))
    vals = resp[ys, xs]
    order = np.argsort(-vals, kind="stable")
    kept = []
    grid = {}
    cell = SUPPRESS
    for i in order:
        x, y = float(xs[i]), float(ys[i])
        gx, gy = int(x // cell), int(y // cell)
        clash = False
        for dx in (-1, 0, 1):
            for dy in (-1, 0, 1):
                for (px, py) in grid.get((gx + dx, gy + dy), ()):
                    if (px - x) ** 2 + (py - y) ** 2 < SUPPRESS * SUPPRESS:
                        clash = True
                        break
        if not clash:
            grid.setdefault((gx, gy), []).append((x, y))
            kept.append((x, y, float(vals[i])))
    return kept


def proposals(work):
    """Places that could be a hole: (x, y in working pixels, response, 0 dark / 1 light)."""
    h, w = work.shape[:2]
    half = cv2.resize(work, ((w + 1) // 2, (h + 1) // 2), interpolation=cv2.INTER_AREA)
    kx, ky = w / half.shape[1], h / half.shape[0]
    dark, light = responses(half)
    return [((x + 0.5) * kx - 0.5, (y + 0.5) * ky - 0.5, v, polarity)
            for polarity, resp in ((0, dark), (1, light)) for x, y, v in _peaks(resp)]


def patch(work, x, y):
    """The network's input at (x, y): 6 x PATCH x PATCH uint8 (near view BGR, wide view BGR)."""
    near = cv2.getRectSubPix(work, (PATCH, PATCH), (x, y))
    wide = cv2.getRectSubPix(work, (CONTEXT, CONTEXT), (x, y))
    wide = cv2.resize(wide, (PATCH, PATCH), interpolation=cv2.INTER_AREA)
    return np.concatenate([near, wide], axis=2).transpose(2, 0, 1).copy()


def normalise(patches):
    """uint8 N x 6 x P x P -> float32, each patch to zero mean and unit spread (floor 8)."""
    p = patches.astype(np.float32)
    m = p.mean(axis=(1, 2, 3), keepdims=True)
    s = p.std(axis=(1, 2, 3), keepdims=True)
    return (p - m) / np.maximum(s, 8.0)


# ---------------------------------------------------------------------------------------------
# Paper and print.

def _paper(rng, h, w):
    kind = rng.random()
    if kind < 0.45:
        base = np.array([_u(rng, 215, 252)] * 3)
    elif kind < 0.7:   # tinted card: buff, green, blue, pink, grey
        hue = rng.integers(5)
        base = [np.array([170, 200, 215]), np.array([120, 175, 120]), np.array([215, 190, 165]),
                np.array([190, 180, 225]), np.array([165, 165, 165])][hue].astype(float)
        base = base + rng.normal(0, 15, 3)
    elif kind < 0.85:  # tape or dark-ish paper
        base = np.array([_u(rng, 110, 190)] * 3) + rng.normal(0, 8, 3)
    else:
        base = np.array([_u(rng, 180, 235)] * 3) + rng.normal(0, 10, 3)
    img = np.ones((h, w, 3), np.float32) * np.clip(base, 30, 255).astype(np.float32)
    grain = rng.normal(0, _u(rng, 0.5, 4), (h, w, 1)).astype(np.float32)
    if rng.random() < 0.5:
        grain = cv2.GaussianBlur(grain, (0, 0), _u(rng, 0.6, 2))[..., None] * 2
    return img + grain


def _ink(rng):
    c = np.array(INKS[rng.integers(len(INKS))], float) + rng.normal(0, 12, 3)
    return tuple(float(v) for v in np.clip(c, 0, 255))


def _print(rng, img, D, marks):
    """Draws print on img (float BGR); marks collects hole-sized printed things (negatives)."""
    h, w = img.shape[:2]
    lt = cv2.LINE_AA
    n = rng.integers(0, 9)
    for _ in range(n):
        k = rng.random()
        col = _ink(rng)
        cx, cy = _u(rng, -0.2 * w, 1.2 * w), _u(rng, -0.2 * h, 1.2 * h)
        if k < 0.18:    # rings
            for _ in range(rng.integers(1, 6)):
                r = _u(rng, 0.5 * D, 6 * D)
                cv2.circle(img, (int(cx * 16), int(cy * 16)), int(r * 16), col,
                           max(1, int(_u(rng, 0.03, 0.25) * D)), lt, shift=4)
        elif k < 0.28:  # a bull or a ring band
            r = _u(rng, 1.5 * D, 8 * D)
            if rng.random() < 0.5:
                cv2.circle(img, (int(cx * 16), int(cy * 16)), int(r * 16), col, -1, lt, shift=4)
                if rng.random() < 0.6:  # white rings inside the black
                    for _ in range(rng.integers(1, 4)):
                        rr = _u(rng, 0.3 * D, r)
                        cv2.circle(img, (int(cx * 16), int(cy * 16)), int(rr * 16),
                                   (235, 235, 235), max(1, int(0.06 * D)), lt, shift=4)
            else:
                cv2.circle(img, (int(cx * 16), int(cy * 16)), int(r * 16), col,
                           max(2, int(_u(rng, 0.4, 1.6) * D)), lt, shift=4)
        elif k < 0.5:   # letters, digits, ring numbers, titles
            font = FONTS[rng.integers(len(FONTS))]
            size = _u(rng, 0.4, 2.0) * D
            scale = size / 22.0
            th = max(1, int(round(_u(rng, 0.05, 0.2) * size)))
            txt = "".join(GLYPHS[rng.integers(len(GLYPHS))] for _ in range(rng.integers(1, 7)))
            x, y = int(_u(rng, 0, w)), int(_u(rng, 0, h))
            cv2.putText(img, txt, (x, y), font, scale, col, th, lt)
            (tw, tht), _ = cv2.getTextSize(txt, font, scale, th)
            for i in range(len(txt)):
                marks.append((x + (i + 0.5) * tw / len(txt), y - tht / 2))
        elif k < 0.6:   # dots: registration dots, dotted frames, bullets
            r = _u(rng, 0.2, 0.7) * D
            frame = rng.random() < 0.4   # a dotted frame: a long row of small squares
            count = rng.integers(8, 30) if frame else rng.integers(1, 12)
            dx, dy = _u(rng, -1, 1), _u(rng, -1, 1)
            if frame and rng.random() < 0.7:   # frames mostly run along the page
                dx, dy = (1.0, 0.0) if rng.random() < 0.5 else (0.0, 1.0)
            norm = math.hypot(dx, dy) + 1e-6
            step = _u(rng, 1.5, 4) * r
            for i in range(count):
                x, y = cx + i * step * dx / norm, cy + i * step * dy / norm
                if not frame and rng.random() < 0.7:
                    cv2.circle(img, (int(x * 16), int(y * 16)), int(r * 16), col, -1, lt, shift=4)
                else:
                    s = r
                    cv2.rectangle(img, (int(x - s), int(y - s)), (int(x + s), int(y + s)), col, -1)
                marks.append((x, y))
        elif k < 0.7:   # lines and boxes
            th = max(1, int(_u(rng, 0.04, 0.3) * D))
            if rng.random() < 0.5:
                cv2.rectangle(img, (int(cx), int(cy)), (int(cx + _u(rng, 2, 12) * D),
                              int(cy + _u(rng, 2, 12) * D)), col, th, lt)
            else:
                cv2.line(img, (int(cx), int(cy)), (int(_u(rng, 0, w)), int(_u(rng, 0, h))), col,
                         th, lt)
        elif k < 0.8:   # logos and blobs: ellipses and polygons
            axes = (int(_u(rng, 0.3, 3) * D), int(_u(rng, 0.3, 3) * D))
            cv2.ellipse(img, (int(cx), int(cy)), axes, _u(rng, 0, 180), 0, 360, col,
                        -1 if rng.random() < 0.6 else max(1, int(0.1 * D)), lt)
            if max(axes) < 0.9 * D:
                marks.append((cx, cy))
        elif k < 0.9:   # photographic print: a dark, textured figure (a silhouette's sweater)
            pts = np.array([[_u(rng, -0.2, 1.2) * w, _u(rng, -0.2, 1.2) * h] for _ in range(5)],
                           np.int32)
            layer = np.zeros(img.shape[:2], np.float32)
            cv2.fillPoly(layer, [cv2.convexHull(pts)], 1.0, lt)
            tex = cv2.GaussianBlur(rng.normal(0, 1, img.shape[:2]).astype(np.float32), (0, 0),
                                   _u(rng, 0.7, 3))
            base = _u(rng, 25, 110)
            fig = base + tex * _u(rng, 5, 30)
            tint = rng.normal(0, 10, 3)
            for c in range(3):
                img[..., c] = img[..., c] * (1 - layer) + np.clip(fig + tint[c], 0, 255) * layer
        else:           # shaded bands, folds
            th = int(_u(rng, 0.5, 4) * D)
            cv2.line(img, (int(cx), -10), (int(cx + _u(rng, -w, w)), h + 10), col, th, lt)


# ---------------------------------------------------------------------------------------------
# Holes.

def _outline(rng, r, ragged, star):
    n = 48
    t = np.linspace(0, 2 * math.pi, n, endpoint=False)
    noise = rng.normal(0, ragged, n)
    noise = np.convolve(np.concatenate([noise, noise[:3]]), np.ones(3) / 3, "same")[:n]
    rad = r * (1 + noise)
    if star > 0:
        spikes = rng.integers(3, 8)
        for _ in range(spikes):
            k = rng.integers(n)
            rad[k] *= 1 + star * _u(rng, 0.3, 1.0)
    stretch = _u(rng, 0.9, 1.1)
    ang = _u(rng, 0, math.pi)
    x = rad * np.cos(t) * stretch
    y = rad * np.sin(t) / stretch
    c, s = math.cos(ang), math.sin(ang)
    return np.stack([x * c - y * s, x * s + y * c], 1)


def _hole(rng, img, x, y, D, style, under):
    """Draws one hole (or the union of a cluster's shapes when called for each)."""
    lt = cv2.LINE_AA
    r = 0.5 * D * (_u(rng, 0.85, 1.1) if rng.random() < 0.7 else _u(rng, 0.55, 0.85))
    shape = _outline(rng, r, _u(rng, 0.0, 0.09), _u(rng, 0, 0.5) if style["star"] else 0)
    pts = ((shape + [x, y]) * 16).astype(np.int32)
    mask = np.zeros(img.shape[:2], np.float32)
    cv2.fillPoly(mask, [pts], 1.0, lt, shift=4)
    fill = style["fill"]
    rim = style["rim"]
    if rim is not None:   # torn fibres: a ring of their own tone just outside the hole
        # (the outline pushed out by the rim's width; drawn in 8 bits, where the edge is
        # smoothed: a line along the outline on the float mask falls on the hole's own
        # pixels and leaves no rim at all)
        width = max(0.75, style["rimw"] * D)
        outer = ((shape * (1 + width / r) + [x, y]) * 16).astype(np.int32)
        rmask = np.zeros(img.shape[:2], np.uint8)
        cv2.fillPoly(rmask, [outer], 255, lt, shift=4)
        rmask = np.clip(rmask.astype(np.float32) / 255 - mask, 0, 1) * style["rimalpha"]
        img[:] = img * (1 - rmask[..., None]) + np.array(rim, np.float32) * rmask[..., None]
    if fill is None:      # white backing on white paper: only the rim shows
        return mask
    f = np.array(fill, np.float32)
    if style["shade"]:   # a darker core, a lighter edge (light falling into the hole)
        d = cv2.GaussianBlur(mask, (0, 0), max(0.5, 0.15 * D))
        f = f[None, None, :] * (0.7 + 0.3 * (1 - d[..., None])) + 0 * d[..., None]
    if style["mottle"] > 0:   # a crumpled backing or a scanner's lid in the shadow of the
        # hole: light and dark specks of about a tenth of the hole across
        n = cv2.GaussianBlur(rng.normal(0, 1, img.shape[:2]).astype(np.float32), (0, 0),
                             max(0.5, _u(rng, 0.05, 0.15) * D))
        n /= n.std() + 1e-6
        f = f + (n * style["mottle"])[..., None]
    img[:] = img * (1 - mask[..., None]) + f * mask[..., None]
    if style.get("glint"):   # a torn edge of tape or card catching the light
        a = _u(rng, 0, 2 * math.pi)
        gx, gy = x + 1.1 * r * math.cos(a), y + 1.1 * r * math.sin(a)
        lum = float(np.mean(under))
        cv2.ellipse(img, (int(gx * 16), int(gy * 16)),
                    (int(_u(rng, 0.08, 0.3) * D * 16), int(_u(rng, 0.05, 0.12) * D * 16)),
                    math.degrees(a) + 90, 0, 360, (min(255.0, lum + _u(rng, 30, 90)),) * 3, -1,
                    lt, shift=4)
    if style["star"] and rng.random() < 0.7:   # light cracks across a dark core
        for _ in range(rng.integers(2, 6)):
            a = _u(rng, 0, 2 * math.pi)
            L = _u(rng, 0.3, 0.8) * D
            cv2.line(img, (int(x * 16), int(y * 16)),
                     (int((x + L * math.cos(a)) * 16), int((y + L * math.sin(a)) * 16)),
                     tuple(float(v) for v in np.minimum(under + 20, 255)), 1, lt, shift=4)
    if style["flap"]:     # a torn flap of paper folded over part of the hole
        a = _u(rng, 0, 2 * math.pi)
        p0 = (x + r * math.cos(a - 0.8), y + r * math.sin(a - 0.8))
        p1 = (x + r * math.cos(a + 0.8), y + r * math.sin(a + 0.8))
        tip = (x + _u(rng, -0.3, 0.6) * r * math.cos(a + math.pi),
               y + _u(rng, -0.3, 0.6) * r * math.sin(a + math.pi))
        tri = (np.array([p0, p1, tip]) * 16).astype(np.int32)
        shade = np.minimum(under * _u(rng, 0.75, 1.05), 255)
        cv2.fillPoly(img, [tri], tuple(float(v) for v in shade), lt, shift=4)
    return mask


def _style(rng, under):
    """How a hole shows over paper or print whose colour is `under` (BGR)."""
    lum = float(np.mean(under))
    backing = rng.random()
    st = dict(star=rng.random() < 0.25, flap=rng.random() < 0.15, shade=rng.random() < 0.5,
              rim=None, rimw=0.08, rimalpha=1.0,
              mottle=_u(rng, 15, 60) if rng.random() < 0.2 else 0.0)
    if lum > 120:   # on paper or light print
        # The torn edge of a hole through tape or card can catch the light.
        st["glint"] = backing < 0.8 and rng.random() < 0.15
        if backing < 0.55:   # dark backing, black or tinted (blue-black, brown)
            tint = rng.normal(0, 15 if rng.random() < 0.5 else 6, 3)
            st["fill"] = tuple(np.clip(_u(rng, 5, 80) + tint, 0, 255))
        elif backing < 0.8:  # grey: tape, tinted backing, a shadow inside
            v = _u(rng, 0.35, 0.75) * lum
            st["fill"] = tuple(np.clip(v + rng.normal(0, 6, 3), 0, 255))
        elif backing < 0.9:  # white backing seen through: only the torn rim
            st["fill"] = None
            st["rim"] = tuple(np.clip(_u(rng, 20, 110) + rng.normal(0, 5, 3), 0, 255))
            st["rimw"] = _u(rng, 0.06, 0.16)
            st["star"] = False
        else:                # lighter backing or light through thin paper: a light disc on
            # tinted card, with a dark torn rim or none (a clean cut)
            st["fill"] = tuple(np.clip(np.minimum(lum + _u(rng, 15, 60), 255) +
                                       rng.normal(0, 3, 3), 0, 255))
            if lum > 230 or rng.random() < 0.5:
                st["rim"] = tuple(np.clip(lum * _u(rng, 0.3, 0.7) + rng.normal(0, 5, 3), 0, 255))
                st["rimw"] = _u(rng, 0.05, 0.15)
                st["rimalpha"] = _u(rng, 0.3, 1.0)
    else:           # inside dark print
        if backing < 0.5:    # light backing: a light hole
            st["fill"] = tuple(np.clip(_u(rng, 150, 250) + rng.normal(0, 8, 3), 0, 255))
        elif backing < 0.8:  # dark backing: darker than the print, with light fibres
            st["fill"] = tuple(np.clip(lum * _u(rng, 0.2, 0.7) + rng.normal(0, 4, 3), 0, 255))
            st["rim"] = tuple(np.clip(lum + _u(rng, 40, 140) + rng.normal(0, 6, 3), 0, 255))
            st["rimw"] = _u(rng, 0.05, 0.14)
            st["rimalpha"] = _u(rng, 0.4, 1.0)
        else:                # grey backing
            st["fill"] = tuple(np.clip(_u(rng, 90, 170) + rng.normal(0, 5, 3), 0, 255))
    return st


def _clustered(rng, n, D):
    pts = [(0.0, 0.0)]
    while len(pts) < n:
        bx, by = pts[rng.integers(len(pts))]
        a = _u(rng, 0, 2 * math.pi)
        d = _u(rng, 0.35, 1.0) * D
        p = (bx + d * math.cos(a), by + d * math.sin(a))
        if all(math.hypot(p[0] - q[0], p[1] - q[1]) > 0.3 * D for q in pts):
            pts.append(p)
    return pts


def _group(rng, img, D):
    """A shooter's group: 3 to 12 shots scattered about one aim, most of them a calibre or two
    from their neighbours, some touching. Each is a shot of its own, not print in a pattern:
    without these, a hole among close neighbours of its own look was taught as a dot of a
    printed row or frame."""
    h, w = img.shape[:2]
    gx, gy = _u(rng, 0.15 * w, 0.85 * w), _u(rng, 0.15 * h, 0.85 * h)
    spread = _u(rng, 0.6, 1.8) * D
    count = int(rng.integers(3, 13))
    pts = []
    for _ in range(8 * count):
        if len(pts) == count:
            break
        p = (gx + rng.normal(0, spread), gy + rng.normal(0, spread))
        if all(math.hypot(p[0] - q[0], p[1] - q[1]) > 0.3 * D for q in pts):
            pts.append(p)
    under = img[int(gy), int(gx)].copy()
    st = _style(rng, under)
    for x, y in pts:
        _hole(rng, img, x, y, D, st, under)
    return pts


def _smear(rng, img, length):
    """img averaged along a line of about `length` pixels at a random angle (grain, motion)."""
    k = max(3, int(length)) | 1
    kernel = np.zeros((k, k), np.float32)
    kernel[k // 2, :] = 1.0 / k
    rot = cv2.getRotationMatrix2D((k / 2 - 0.5, k / 2 - 0.5), _u(rng, 0, 180), 1)
    kernel = cv2.warpAffine(kernel, rot, (k, k))
    return cv2.filter2D(img, -1, kernel / max(kernel.sum(), 1e-6))


def _texture(rng, img, D):
    """A photographed surface over part of the piece: grass, cloth, wood, a backboard, a crowd
    of specks; noise of several sizes, coloured, with edges that are not holes."""
    h, w = img.shape[:2]
    field = np.zeros((h, w), np.float32)
    for octave in range(4):
        s = _u(rng, 0.15, 1.5) * D * (0.5 ** octave) * 2
        n = rng.normal(0, 1, (h, w)).astype(np.float32)
        field += cv2.GaussianBlur(n, (0, 0), max(0.5, s)) * (s ** 0.5)
    field = (field - field.mean()) / (field.std() + 1e-6)
    if rng.random() < 0.3:   # knitted or woven cloth: rows of ribs a hole's size apart
        yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
        a = _u(rng, 0, math.pi)
        period = _u(rng, 0.3, 1.2) * D
        u = xx * math.cos(a) + yy * math.sin(a)
        v = -xx * math.sin(a) + yy * math.cos(a)
        rib = np.sin(2 * math.pi * u / period)
        if rng.random() < 0.6:   # stitches: the ribs broken into loops along their length
            rib = rib * (0.6 + 0.4 * np.sin(2 * math.pi * v / (period * _u(rng, 0.6, 1.5))))
        field = 0.4 * field + rib.astype(np.float32)
        field = (field - field.mean()) / (field.std() + 1e-6)
    elif rng.random() < 0.4:   # streaks: wood grain, fibres
        field = _smear(rng, field, _u(rng, 1, 4) * D)
        field = (field - field.mean()) / (field.std() + 1e-6)
    base = np.array([_u(rng, 20, 230) for _ in range(3)], np.float32)
    tex = base[None, None, :] + field[..., None] * _u(rng, 8, 50) * (1 + rng.normal(0, 0.2, 3))
    mask = np.zeros((h, w), np.float32)
    if rng.random() < 0.5:
        pts = np.array([[_u(rng, -0.3, 1.3) * w, _u(rng, -0.3, 1.3) * h] for _ in range(4)],
                       np.int32)
        cv2.fillPoly(mask, [cv2.convexHull(pts)], 1.0, cv2.LINE_AA)
    else:
        mask[:] = 1.0
    img[:] = img * (1 - mask[..., None]) + np.clip(tex, 0, 255) * mask[..., None]


def _flaps(rng, img, D, marks):
    """Torn paper that is not a shot: a lifted flap or a half torn-off paster, a ragged piece
    of paper a few calibres across with the shadow it casts, and creases in tape."""
    h, w = img.shape[:2]
    for _ in range(rng.integers(1, 4)):
        x, y = _u(rng, 0, w), _u(rng, 0, h)
        s = _u(rng, 0.8, 3.0) * D
        n = rng.integers(4, 8)
        ang = np.sort(rng.uniform(0, 2 * math.pi, n))
        rad = s * rng.uniform(0.4, 1.0, n)
        pts = np.stack([x + rad * np.cos(ang), y + rad * np.sin(ang)], 1)
        shift = np.array([_u(rng, -0.3, 0.3), _u(rng, -0.3, 0.3)]) * s
        under = img[int(np.clip(y, 0, h - 1)), int(np.clip(x, 0, w - 1))]
        shadow = tuple(float(v) for v in np.clip(under * _u(rng, 0.25, 0.7), 0, 255))
        cv2.fillPoly(img, [((pts + shift) * 16).astype(np.int32)], shadow, cv2.LINE_AA, shift=4)
        paper = tuple(float(v) for v in np.clip(_u(rng, 150, 250) + rng.normal(0, 10, 3), 0, 255))
        if rng.random() < 0.7:
            cv2.fillPoly(img, [(pts * 16).astype(np.int32)], paper, cv2.LINE_AA, shift=4)
        if s < 1.5 * D:
            marks.append((x, y))
    if rng.random() < 0.4:   # creases: thin light and dark lines side by side
        x0, y0 = _u(rng, 0, w), _u(rng, 0, h)
        a = _u(rng, 0, math.pi)
        L = _u(rng, 2, 8) * D
        x1, y1 = x0 + L * math.cos(a), y0 + L * math.sin(a)
        light = float(np.clip(img.mean() + _u(rng, 30, 80), 0, 255))
        dark = float(np.clip(img.mean() - _u(rng, 20, 60), 0, 255))
        cv2.line(img, (int(x0), int(y0)), (int(x1), int(y1)), (light,) * 3, max(1, int(0.1 * D)))
        cv2.line(img, (int(x0 + 2), int(y0 + 2)), (int(x1 + 2), int(y1 + 2)), (dark,) * 3,
                 max(1, int(0.08 * D)))


def _beyond_edge(rng, img, D):
    """The scene beyond the paper's edge in a photograph: a dark, cluttered background (a
    wall, a backstop, a floor) on one side of a straight edge."""
    h, w = img.shape[:2]
    back = img.copy()
    _texture(rng, back, D)
    back *= _u(rng, 0.2, 0.7)
    for _ in range(rng.integers(0, 6)):   # things lying there: edges and corners, not holes
        p = (int(_u(rng, 0, w)), int(_u(rng, 0, h)))
        q = (p[0] + int(_u(rng, -3, 3) * D), p[1] + int(_u(rng, -3, 3) * D))
        col = tuple(float(v) for v in rng.uniform(0, 200, 3))
        cv2.rectangle(back, p, q, col, -1 if rng.random() < 0.5 else max(1, int(0.2 * D)))
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
    a = _u(rng, 0, 2 * math.pi)
    side = (xx - _u(rng, 0, w)) * math.cos(a) + (yy - _u(rng, 0, h)) * math.sin(a)
    mask = np.clip(side / max(1.0, 0.3 * D) + 0.5, 0, 1)[..., None]
    img[:] = img * (1 - mask) + back * mask


def _layers(rng, img, D):
    """Layers of a target stand: a strip of tape across the paper, or the edge of another
    sheet lying over it, each with the thin shadow or light line of its edge. Shots go
    through both layers alike, so a hole often sits across such an edge, half on each
    surface. Returns the edges as (x, y, dx, dy) lines through the piece."""
    h, w = img.shape[:2]
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
    edges = []
    for _ in range(rng.integers(1, 3)):
        a = _u(rng, 0, math.pi)
        dx, dy = math.cos(a), math.sin(a)
        x0, y0 = _u(rng, 0.1, 0.9) * w, _u(rng, 0.1, 0.9) * h
        across = (xx - x0) * -dy + (yy - y0) * dx   # signed distance from the line
        soft = max(0.4, _u(rng, 0.02, 0.1) * D)
        lum = float(img.mean())
        if rng.random() < 0.6:   # tape: a band, grey or tinted, a little glossy
            width = _u(rng, 2, 10) * D
            col = np.clip(_u(rng, 0.45, 0.95) * lum + rng.normal(0, 12, 3), 0, 255)
            mask = np.clip(np.minimum(across, width - across) / soft + 0.5, 0, 1)
            along = (xx - x0) * dx + (yy - y0) * dy
            sheen = 1 + _u(rng, 0, 0.15) * np.sin(along / (_u(rng, 3, 12) * D) + _u(rng, 0, 6))
            tape = col[None, None, :].astype(np.float32) * sheen[..., None].astype(np.float32)
            img[:] = img * (1 - mask[..., None]) + tape * mask[..., None]
            edges.append((x0, y0, dx, dy))
            edges.append((x0 - dy * width, y0 + dx * width, dx, dy))
        else:                    # another sheet over this one: lighter or darker beyond
            col = np.clip(lum * _u(rng, 0.8, 1.15) + rng.normal(0, 10, 3), 0, 255)
            mask = np.clip(across / soft + 0.5, 0, 1)
            img[:] = img * (1 - mask[..., None]) + col[None, None, :].astype(np.float32) * \
                mask[..., None]
            edges.append((x0, y0, dx, dy))
        # the edge's line: the shadow it casts, or the light its cut catches
        line = np.exp(-(across / max(0.5, _u(rng, 0.05, 0.15) * D)) ** 2)
        k = _u(rng, -0.45, 0.25)
        img[:] = img * (1 + k * line[..., None])
    return edges


def _scene(rng, D, size):
    """One piece of shot paper of size x size pixels with holes of diameter D.

    Returns the BGR float picture, the true hole centres and the hole-sized printed marks."""
    h = w = size
    img = _paper(rng, h, w)
    marks = []
    if rng.random() < TEXTURE_SHARE:
        _texture(rng, img, D)
    _print(rng, img, D, marks)
    edges = _layers(rng, img, D) if rng.random() < LAYER_SHARE else []
    if rng.random() < 0.2:
        _flaps(rng, img, D, marks)
    holes = []
    if rng.random() < 0.2:   # a bull with shots across its edge: the backing shows through
        # on both sides (white backing: a bite out of the black, nothing on the paper; black:
        # a dark hole on the paper, only torn fibres on the black)
        br = _u(rng, 1.5, 8) * D
        bx, by = _u(rng, 0, w), _u(rng, 0, h)
        ink = tuple(float(v) for v in np.clip(_u(rng, 10, 70) + rng.normal(0, 5, 3), 0, 255))
        cv2.circle(img, (int(bx * 16), int(by * 16)), int(br * 16), ink, -1, cv2.LINE_AA, shift=4)
        backing = float(rng.choice([_u(rng, 200, 250), _u(rng, 90, 170), _u(rng, 5, 50)]))
        for _ in range(rng.integers(1, 4)):
            a = _u(rng, 0, 2 * math.pi)
            d = br + _u(rng, -0.35, 0.35) * D
            x, y = bx + d * math.cos(a), by + d * math.sin(a)
            st = dict(star=False, flap=rng.random() < 0.1, shade=rng.random() < 0.3,
                      fill=tuple(np.clip(backing + rng.normal(0, 5, 3), 0, 255)),
                      rim=tuple(np.clip(_u(rng, 120, 220) + rng.normal(0, 5, 3), 0, 255))
                      if backing < 120 else None,
                      rimw=_u(rng, 0.05, 0.12), rimalpha=_u(rng, 0.4, 1.0), mottle=0.0)
            _hole(rng, img, x, y, D, st, np.array(ink, np.float32))
            holes.append((x, y))
    if rng.random() < GROUP_SHARE:
        holes += _group(rng, img, D)
    n = rng.integers(0, 7)
    for _ in range(n):
        x, y = _u(rng, -0.2 * D, w + 0.2 * D), _u(rng, -0.2 * D, h + 0.2 * D)
        if edges and rng.random() < 0.6:   # across the edge of a layer
            ex, ey, dx, dy = edges[rng.integers(len(edges))]
            t = (_u(rng, 0, w) - ex) * dx + (_u(rng, 0, h) - ey) * dy
            off = _u(rng, -0.45, 0.45) * D
            x, y = ex + t * dx - off * dy, ey + t * dy + off * dx
        count = 1 if rng.random() < 0.85 else int(rng.integers(2, 11))
        centres = _clustered(rng, count, D) if count > 1 else [(0.0, 0.0)]
        xi, yi = int(np.clip(x, 0, w - 1)), int(np.clip(y, 0, h - 1))
        under = img[yi, xi].copy()
        st = _style(rng, under)
        if rng.random() < 0.15:   # a paster over an older hole: paper-coloured patch, no hole
            s = _u(rng, 0.7, 1.3) * D
            col = tuple(float(v) for v in np.clip(under + rng.normal(0, 8, 3), 0, 255))
            square = rng.random() < 0.5
            if square:
                cv2.rectangle(img, (int(x - s), int(y - s)), (int(x + s), int(y + s)), col, -1)
            else:
                cv2.circle(img, (int(x), int(y)), int(s), col, -1, cv2.LINE_AA)
            if rng.random() < 0.6:
                cv2.rectangle(img, (int(x - s), int(y - s)), (int(x + s), int(y + s)),
                              tuple(float(v) * 0.8 for v in col), 1)
            marks.append((x, y))
            # A shot pasted over is gone from the paper: taught as a shot, the faint round
            # edge of a paster on blank paper would be one.
            holes = [(u, v) for u, v in holes
                     if not (max(abs(u - x), abs(v - y)) <= s if square
                             else math.hypot(u - x, v - y) <= s)]
            continue
        for cx, cy in centres:
            _hole(rng, img, x + cx, y + cy, D, st, under)
            holes.append((x + cx, y + cy))
    if rng.random() < 0.12:   # holes under the background are not on the paper: drop them
        before = img.copy()
        _beyond_edge(rng, img, D)
        changed = np.abs(img - before).sum(axis=2) > 1
        holes = [(x, y) for x, y in holes
                 if not changed[int(np.clip(y, 0, h - 1)), int(np.clip(x, 0, w - 1))]]
    return img, holes, marks


def _photograph(rng, img, holes, marks):
    """Light, perspective, blur, noise: what a phone or a scanner does to the paper."""
    h, w = img.shape[:2]
    if rng.random() < 0.6:   # uneven light, vignetting, a shadow
        yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
        g = 1 + _u(rng, -0.25, 0.25) * (xx / w - 0.5) + _u(rng, -0.25, 0.25) * (yy / h - 0.5)
        if rng.random() < 0.4:
            cx, cy = _u(rng, 0, w), _u(rng, 0, h)
            g *= 1 - _u(rng, 0, 0.35) * ((xx - cx) ** 2 + (yy - cy) ** 2) / (w * w)
        if rng.random() < 0.25:
            edge = _u(rng, 0, w)
            g *= np.where(xx + _u(rng, -0.5, 0.5) * yy > edge, _u(rng, 0.55, 0.9), 1.0)
            g = cv2.GaussianBlur(g, (0, 0), _u(rng, 1, 6))
        img *= g[..., None]
    if rng.random() < 0.4:   # perspective up to about 25 degrees
        m = 0.12 * w
        src = np.float32([[0, 0], [w, 0], [w, h], [0, h]])
        dst = src + rng.uniform(-m, m, (4, 2)).astype(np.float32)
        H = cv2.getPerspectiveTransform(src, dst)
        img = cv2.warpPerspective(img, H, (w, h), flags=cv2.INTER_LINEAR,
                                  borderMode=cv2.BORDER_REFLECT)
        def move(pts):
            if not pts:
                return pts
            p = cv2.perspectiveTransform(np.float32(pts).reshape(-1, 1, 2), H).reshape(-1, 2)
            return [tuple(q) for q in p]
        holes, marks = move(holes), move(marks)
    if rng.random() < 0.25:  # colour cast
        img *= (1 + rng.normal(0, 0.06, 3)).astype(np.float32)
    if rng.random() < 0.6:   # a camera's tone: the shadows and the dark holes take a tint of
        # their own (blue-black under daylight, brown under lamps) that the paper does not
        lum = img.mean(axis=2, keepdims=True) / 255.0
        tint = rng.normal(0, 1, 3)
        tint = tint / (np.linalg.norm(tint) + 1e-6) * _u(rng, 10, 50)
        img += (np.clip(1 - lum, 0, 1) * tint).astype(np.float32)
    return img, holes, marks


def piece(rng, size=160):
    """One training piece at the working scale: (BGR uint8 picture, hole centres, marks)."""
    # The scale the hole was drawn at, relative to the working scale: above 1 the program
    # reduces the picture (a high-resolution scan), below 1 it enlarges it (a small photo).
    zoom = float(np.exp(rng.uniform(math.log(0.55), math.log(2.5))))
    # A frame of a video or a small phone picture: the paper far away, the holes a few pixels
    # across, softened by the lens and the encoder, their dark core narrower than the calibre.
    video = rng.random() < VIDEO_SHARE
    if video:
        zoom = float(np.exp(rng.uniform(math.log(0.5), math.log(0.8))))
    D = WORK_D * zoom * (_u(rng, 0.75, 1.0) if video else _u(rng, 0.9, 1.1))
    big = int(round(size * zoom))
    img, holes, marks = _scene(rng, D, big)
    img, holes, marks = _photograph(rng, img, holes, marks)
    if video:
        img = cv2.GaussianBlur(img, (0, 0), _u(rng, 0.08, 0.2) * D)
    elif rng.random() < 0.5:
        img = cv2.GaussianBlur(img, (0, 0), _u(rng, 0.3, 1.4) * max(1.0, zoom))
    if rng.random() < 0.15:  # a hand-held camera or a video frame: motion blur
        img = _smear(rng, img, _u(rng, 0.15, 0.4) * D)
    img += rng.normal(0, _u(rng, 0, 5), img.shape).astype(np.float32)
    img = np.clip(img, 0, 255).astype(np.uint8)
    if video or rng.random() < 0.5:   # JPEG at the picture's own resolution
        quality = int(rng.integers(35, 76)) if video else int(rng.integers(55, 96))
        ok, buf = cv2.imencode(".jpg", img, [cv2.IMWRITE_JPEG_QUALITY, quality])
        img = cv2.imdecode(buf, cv2.IMREAD_COLOR)
    interp = cv2.INTER_AREA if zoom > 1 else cv2.INTER_LINEAR
    out = cv2.resize(img, (size, size), interpolation=interp)
    k = size / big
    def scale(pts):
        return [((x + 0.5) * k - 0.5, (y + 0.5) * k - 0.5) for x, y in pts]
    return out, scale(holes), scale(marks)
