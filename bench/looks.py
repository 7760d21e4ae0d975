#!/usr/bin/env python3
"""Recall, precision and centre error of the calibrated analysis, look by look, on generated
targets with the looks of real pictures.

Usage: bench/looks.py [BUILD_DIR] [--per-look N] [--looks a,b,...] [--jobs J] [--keep DIR]

For every look of holescan-make-scan (and the classic scans as a baseline) N targets (4 by
default) are drawn on fixed seeds (70000 + 100 x the look's place + i, which no test uses) at
100, 150 and 300 ppi in turn, 90 x 90 mm, 4.5 mm, 10 shots each, into a scratch folder
(removed afterwards unless --keep names one). Then one run of
    holescan-eval --by-look --json eval.json FOLDER
measures them all, and the table below is printed from its JSON: per picture look the
pictures, the shots, found (TP), false (FP), missed (FN), recall, precision and the mean
centre error in calibres; then recall by the shots' own look. Nothing is timed.
"""
import argparse
import json
import math
import os
import shutil
import subprocess
import sys
import tempfile

LOOKS = ["classic", "letters", "digits", "logos", "dots", "ring-numbers", "ring-bands", "photo",
         "ragged", "star", "flap", "tape", "tinted", "dark-on-dark", "edge-white", "edge-grey",
         "edge-black", "cluster", "paster", "outlined", "mixed"]
RESOLUTIONS = [100, 150, 300]


def fmt(value, places=2):
    if value is None or (isinstance(value, float) and math.isnan(value)):
        return "n/a"
    return "%.*f" % (places, value)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--per-look", type=int, default=4)
    parser.add_argument("--looks", default=",".join(LOOKS))
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    parser.add_argument("--keep", help="generate into this folder and keep it")
    args = parser.parse_args()
    make = os.path.join(args.build, "tools", "holescan-make-scan")
    evaluate = os.path.join(args.build, "src", "eval", "holescan-eval")
    for program in (make, evaluate):
        if not os.access(program, os.X_OK):
            sys.exit(f"{program} is missing: build it first")
    looks = [look for look in args.looks.split(",") if look]
    folder = args.keep or tempfile.mkdtemp(prefix="holescan-looks-")
    os.makedirs(folder, exist_ok=True)
    try:
        for place, look in enumerate(looks):
            index = LOOKS.index(look) if look in LOOKS else place
            for i in range(args.per_look):
                seed = 70000 + 100 * index + i
                dpi = RESOLUTIONS[i % len(RESOLUTIONS)]
                command = [make, "--look", look, "--seed", str(seed), "--dpi", str(dpi),
                           "--out", os.path.join(folder, f"{look}-{seed}.bmp")]
                done = subprocess.run(command, capture_output=True, text=True, check=False)
                if done.returncode != 0:
                    sys.exit(f"{' '.join(command)} failed: {done.stderr.strip()}")
        report = os.path.join(folder, "eval.json")
        done = subprocess.run([evaluate, "--by-look", "--jobs", str(args.jobs), "--json", report,
                               folder], capture_output=True, text=True, check=False)
        if done.returncode != 0:
            sys.exit(f"holescan-eval failed ({done.returncode}): {done.stderr.strip()}")
        with open(report) as f:
            results = json.load(f)
    finally:
        if not args.keep:
            shutil.rmtree(folder, ignore_errors=True)

    pictures = {}
    for picture in results["pictures"]:
        pictures[picture.get("look", "?")] = pictures.get(picture.get("look", "?"), 0) + 1
    print(f"{args.per_look} targets a look at {', '.join(map(str, RESOLUTIONS))} ppi in turn, "
          "90 x 90 mm, 4.5 mm, 10 shots each")
    print()
    print("| picture look | pictures | shots | TP | FP | FN | recall | precision | error (calibres) |")
    print("|---|---|---|---|---|---|---|---|---|")
    by_picture = results["by_picture_look"]
    for look in looks:
        s = by_picture.get(look)
        if s is None:
            continue
        print(f"| {look} | {pictures.get(look, 0)} | {s['truth']} | {s['TP']} | {s['FP']} | "
              f"{s['FN']} | {fmt(s['recall'])} | {fmt(s['precision'])} | {fmt(s['mean_err_D'], 3)} |")
    t = results["total"]
    print(f"| all | {len(results['pictures'])} | {t['truth']} | {t['TP']} | {t['FP']} | {t['FN']} | "
          f"{fmt(t['recall'])} | {fmt(t['precision'])} | {fmt(t['mean_err_D'], 3)} |")
    print()
    print("| shot look | shots | found | recall | error (calibres) |")
    print("|---|---|---|---|---|")
    for look, s in sorted(results["by_hole_look"].items()):
        print(f"| {look} | {s['truth']} | {s['TP']} | {fmt(s['recall'])} | {fmt(s['mean_err_D'], 3)} |")


if __name__ == "__main__":
    main()
