#!/usr/bin/python3
"""Tight groups: shots a calibre or so apart, separate or just touching, drawn for
holescan-eval.

Usage: bench/tight_groups.py OUT_DIR [--pictures N]
then:  build/src/eval/holescan-eval OUT_DIR

Each picture (fixed seeds 5000 + i, which no test or training run uses) is blank paper, half of
them with printed rings about the middle, holding three groups of eight dark holes at 12, 16 or
24 pixels a calibre. A group's shots scatter about its aim with a spread of one calibre, no two
closer than 0.9 of a calibre; each hole is a ragged disc of 0.6 to 1.0 calibre (paper closes on
a bullet's path), lightly blurred, with grain. The holes are drawn here with OpenCV, not with the
generator that teaches the decision (tools/train/holegen.py). Truth files are in the format
holescan-eval reads. Needs python3-opencv and python3-numpy.
"""
import argparse
import json
import math
import os

import cv2
import numpy as np


def ragged_disc(img, rng, x, y, diameter, tone):
    angles = np.linspace(0, 2 * math.pi, 40, endpoint=False)
    radius = 0.5 * diameter * (1 + rng.normal(0, 0.05, angles.size))
    pts = np.stack([x + radius * np.cos(angles), y + radius * np.sin(angles)], 1)
    cv2.fillPoly(img, [(pts * 16).astype(np.int32)], tone, cv2.LINE_AA, shift=4)


def picture(seed):
    rng = np.random.default_rng(seed)
    d = float(rng.choice([12.0, 16.0, 24.0]))
    size = int(30 * d)
    paper = float(rng.uniform(205, 245))
    img = np.full((size, size, 3), paper, np.float32)
    if rng.random() < 0.5:
        for k in range(1, 6):
            cv2.circle(img, (size // 2, size // 2), int(k * 2.5 * d), (40, 40, 40),
                       max(1, int(0.06 * d)), cv2.LINE_AA)
    holes = []
    for _ in range(3):
        aim = rng.uniform(0.2, 0.8, 2) * size
        tone = tuple(float(v) for v in np.clip(rng.uniform(10, 70) + rng.normal(0, 6, 3), 0, 255))
        group = []
        for _ in range(300):
            if len(group) == 8:
                break
            p = aim + rng.normal(0, d, 2)
            if all(math.dist(p, q) > 0.9 * d for q in group + holes):
                group.append(p)
        for x, y in group:
            ragged_disc(img, rng, x, y, d * rng.uniform(0.6, 1.0), tone)
        holes += group
    img = cv2.GaussianBlur(img, (0, 0), 0.7) + rng.normal(0, 2, img.shape)
    truth = [dict(x=float(x), y=float(y), r=d / 2, uncertain=False, look="dark") for x, y in holes]
    return np.clip(img, 0, 255).astype(np.uint8), d, truth


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out")
    parser.add_argument("--pictures", type=int, default=12)
    args = parser.parse_args()
    os.makedirs(args.out, exist_ok=True)
    for i in range(args.pictures):
        img, d, holes = picture(5000 + i)
        name = f"tight-group-{i:02d}"
        cv2.imwrite(os.path.join(args.out, name + ".png"), img)
        with open(os.path.join(args.out, name + ".json"), "w") as f:
            json.dump(dict(name=name, hole_diameter_px=d, ignore_regions=[], holes=holes), f)
    print(f"wrote {args.pictures} pictures to {args.out}")


if __name__ == "__main__":
    main()
