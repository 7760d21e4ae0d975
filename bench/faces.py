#!/usr/bin/env python3
"""How well the calibrated analysis finds the shots of generated target faces, face by face and
backing by backing.

Usage: bench/faces.py [BUILD_DIR] [--seeds N] [--faces a,b,...] [--jobs J] [--keep DIR]

For every face of holescan-make-face, every backing (light: a white sheet behind the card; dark;
grey: a mid-grey sheet, lighter than the black and darker than the card) and every condition
(clean; scan: grain, a ramp of light, blur and JPEG; photo: the same at 25 degrees of tilt),
N cards (2 by default) are drawn on fixed seeds (80000 and up, which no test uses) with the
face's calibre, four shots across the black's edge and eight anywhere on the face. Each is
analysed with `holescan-cli --calibre C --face F --json` (the resolution from the file), and its
shots matched to the true ones within half a calibre (nearest pairs first). Printed per face,
per backing and per condition: the shots, found, false, missed, recall, the mean and largest
centre error of those found in millimetres, and the cards complete (every shot found within
0.1 mm on a scan, 0.25 mm on a photo, and none false). Nothing is timed.
"""
import argparse
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

SEED = 80000
# The face, its calibre (mm) and the resolution it is drawn at (a 25 m or 300 m face is large).
FACES = [("issf-air-rifle", 4.5, 300), ("issf-air-pistol", 4.5, 300),
         ("issf-50m-rifle", 5.6, 300), ("issf-25m-precision-pistol", 5.6, 100),
         ("issf-25m-rapid-fire-pistol", 5.6, 100), ("issf-300m-rifle", 7.62, 75),
         ("nra-a17", 5.6, 300)]
BACKINGS = {"light": [], "dark": ["--dark"], "grey": ["--backing-grey", "128"]}
CONDITIONS = {
    "clean": [],
    "scan": ["--noise", "4", "--ramp", "0.25", "--blur", "1", "--jpeg", "75"],
    "photo": ["--noise", "4", "--ramp", "0.25", "--blur", "1", "--jpeg", "75", "--tilt", "25"],
}
# A shot is found right within this many millimetres.
RIGHT_MM = {"clean": 0.1, "scan": 0.1, "photo": 0.25}


def run_card(build, folder, face, calibre, dpi, backing, condition, seed):
    name = f"{face}-{backing}-{condition}-{seed}"
    picture = os.path.join(folder, name + ".png")
    truth = os.path.join(folder, name + ".csv")
    out = os.path.join(folder, name + ".json")
    subprocess.run([os.path.join(build, "tools", "holescan-make-face"), "--face", face,
                    "--dpi", str(dpi), "--seed", str(seed), "--calibre", str(calibre),
                    "--edge-shots", "4", "--shots", "8", "--out", picture, "--truth", truth]
                   + BACKINGS[backing] + CONDITIONS[condition], check=True)
    run = subprocess.run([os.path.join(build, "src", "cli", "holescan-cli"), "-q", "--calibre",
                          f"{calibre}mm", "--face", face, "--json", out, picture],
                         capture_output=True, text=True)
    found = json.load(open(out))["shots"] if run.returncode == 0 and os.path.exists(out) else []
    true = []
    with open(truth) as lines:
        next(lines)
        for line in lines:
            what, x, y = line.strip().split(",")[:3]
            if what == "shot":
                true.append((float(x), float(y)))
    diameter = calibre * dpi / 25.4
    pairs = sorted((math.hypot(t[0] - f["x"], t[1] - f["y"]), i, j)
                   for i, t in enumerate(true) for j, f in enumerate(found))
    used_t, used_f, errors = set(), set(), []
    for d, i, j in pairs:
        if d > 0.5 * diameter or i in used_t or j in used_f:
            continue
        used_t.add(i)
        used_f.add(j)
        errors.append(d * 25.4 / dpi)
    return {"face": face, "backing": backing, "condition": condition, "true": len(true),
            "found": len(errors), "false": len(found) - len(errors), "errors": errors,
            "complete": len(errors) == len(true) and len(found) == len(errors)
            and all(e <= RIGHT_MM[condition] for e in errors),
            "failed": run.returncode != 0}


def table(title, key, cards):
    print(f"\n| {title} | cards | shots | found | false | missed | recall | mean mm | max mm "
          "| complete |")
    print("|---|---|---|---|---|---|---|---|---|---|")
    groups = {}
    for card in cards:
        groups.setdefault(card[key] if key else "all", []).append(card)
    for name, group in groups.items():
        true = sum(c["true"] for c in group)
        found = sum(c["found"] for c in group)
        errors = [e for c in group for e in c["errors"]]
        mean = sum(errors) / len(errors) if errors else float("nan")
        print(f"| {name} | {len(group)} | {true} | {found} | {sum(c['false'] for c in group)} "
              f"| {true - found} | {found / true if true else 0:.2f} | {mean:.3f} "
              f"| {max(errors, default=float('nan')):.3f} "
              f"| {sum(c['complete'] for c in group)} |")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--seeds", type=int, default=2)
    parser.add_argument("--faces", default=",".join(f[0] for f in FACES))
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--keep", help="generate into this folder and keep it")
    args = parser.parse_args()
    for program in ("tools/holescan-make-face", "src/cli/holescan-cli"):
        if not os.access(os.path.join(args.build, program), os.X_OK):
            sys.exit(f"{os.path.join(args.build, program)} is missing: build it first")
    wanted = [f for f in FACES if f[0] in args.faces.split(",")]
    folder = args.keep or tempfile.mkdtemp(prefix="holescan-faces-")
    os.makedirs(folder, exist_ok=True)
    jobs = [(args.build, folder, face, calibre, dpi, backing, condition, SEED + seed)
            for face, calibre, dpi in wanted for backing in BACKINGS for condition in CONDITIONS
            for seed in range(args.seeds)]
    try:
        with ThreadPoolExecutor(args.jobs) as pool:
            cards = list(pool.map(lambda job: run_card(*job), jobs))
    finally:
        if not args.keep:
            shutil.rmtree(folder, ignore_errors=True)
    failed = sum(c["failed"] for c in cards)
    if failed:
        print(f"{failed} cards could not be analysed (counted as nothing found)")
    table("face", "face", cards)
    table("backing", "backing", cards)
    table("condition", "condition", cards)
    table("all", None, cards)


if __name__ == "__main__":
    main()
