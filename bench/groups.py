#!/usr/bin/env python3
"""How well the calibrated analysis counts and places the shots of ragged groups.

Usage: bench/groups.py [BUILD_DIR] [--groups N] [--jobs J] [--keep DIR] [--seed-base S]
                       [--cases 10@300,5@75,sizes]

Draws generated groups with holescan-make-scan --look group (one group in the middle of a
40 mm square, 4.5 mm, dark and light groups in turn) on fixed seeds (90000 and up, which no
test uses; --seed-base moves them, so that the stage can be worked on with other groups than
the ones it is measured on), runs holescan-cli --calibre 4.5mm --json on each, with and without --shots, and
matches found shots to true centres (nearest pairs first). It prints:
  - groups of 10 at 300 ppi, every shot keeping a fifth of its rim: with --shots 10 the share
    of groups with 10 shots each within 0.25 calibre of its true centre (target 95 %); without
    it the share with the count right (target 80 %) and with every shot within 0.25 calibre;
  - groups of 5 at 75 ppi: the share with every shot within 0.3 calibre (target 90 %), without
    and with --shots 5;
  - groups of 2 to 15 at 75 to 600 ppi: the count right without --shots, per size.
Nothing is timed here: the time of resolving a group is in holescan-bench (clusters_bench.cpp).
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

SEED = 90000


def make(build, folder, name, seed, dpi, shots, light, min_rim):
    out = os.path.join(folder, name + ".bmp")
    command = [os.path.join(build, "tools", "holescan-make-scan"), "--look", "group",
               "--holes", str(shots), "--dpi", str(dpi), "--width", "40", "--seed", str(seed),
               "--min-rim", str(min_rim), "--out", out]
    if light:
        command.append("--light")
    subprocess.run(command, check=True)
    with open(os.path.join(folder, name + ".json")) as f:
        truth = json.load(f)
    return out, truth


def analyse(build, picture, expected):
    out = picture + (".n%d" % expected if expected else "") + ".out.json"
    command = [os.path.join(build, "src", "cli", "holescan-cli"), "--calibre", "4.5mm", "-q",
               "--jobs", "1", "--json", out, picture]
    if expected:
        command[3:3] = ["--shots", str(expected)]
    subprocess.run(command, check=True)
    with open(out) as f:
        return json.load(f)


def errors(truth, report):
    """The true shots' distances to their found shots in calibres (nearest pairs first, None for
    a true shot without one), and the number found."""
    d = truth["hole_diameter_px"]
    holes = [(h["x"], h["y"]) for h in truth["holes"]]
    found = [(s["x"], s["y"]) for s in report["shots"]]
    pairs = sorted((math.hypot(h[0] - f[0], h[1] - f[1]) / d, i, j)
                   for i, h in enumerate(holes) for j, f in enumerate(found))
    taken_h, taken_f = {}, set()
    for dist, i, j in pairs:
        if i in taken_h or j in taken_f:
            continue
        taken_h[i] = dist
        taken_f.add(j)
    return [taken_h.get(i) for i in range(len(holes))], len(found)


def all_within(errs, found, count, limit):
    return found == count and all(e is not None and e <= limit for e in errs)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--groups", type=int, default=40, help="groups per case (default 40)")
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--keep", help="keep the pictures and reports in this folder")
    parser.add_argument("--seed-base", type=int, default=SEED,
                        help="first seed (default %d, the measuring set; work on others)" % SEED)
    parser.add_argument("--cases", default="10@300,5@75,sizes",
                        help="the cases to run, comma-separated (default all)")
    parser.add_argument("--misses", action="store_true",
                        help="name the groups of 10 missed with --shots 10, with their worst error")
    args = parser.parse_args()
    folder = args.keep or tempfile.mkdtemp(prefix="holescan-groups-")
    os.makedirs(folder, exist_ok=True)

    base = args.seed_base
    cases = []  # (case, name, seed, dpi, shots, light, min_rim)
    for i in range(args.groups):
        cases.append(("10@300", "g10-300-%d" % i, base + i, 300, 10, i % 2 == 1, 0.2))
        cases.append(("5@75", "g5-75-%d" % i, base + 1000 + i, 75, 5, i % 2 == 1, 0.2))
    sizes = [2, 3, 5, 8, 12, 15]
    dpis = [75, 150, 300, 600]
    for i in range(args.groups):
        n = sizes[i % len(sizes)]
        cases.append(("sizes", "gs-%d" % i, base + 2000 + i, dpis[(i // len(sizes)) % len(dpis)], n,
                      i % 2 == 1, 0.2))

    wanted = set(args.cases.split(","))
    cases = [c for c in cases if c[0] in wanted]

    def run(case):
        kind, name, seed, dpi, shots, light, min_rim = case
        picture, truth = make(args.build, folder, name, seed, dpi, shots, light, min_rim)
        plain = errors(truth, analyse(args.build, picture, None))
        given = errors(truth, analyse(args.build, picture, shots))
        return case, plain, given

    with ThreadPoolExecutor(max_workers=args.jobs) as pool:
        results = list(pool.map(run, cases))

    def share(rows, test):
        return sum(1 for r in rows if test(r)) / len(rows) if rows else float("nan")

    ten = [r for r in results if r[0][0] == "10@300"]
    five = [r for r in results if r[0][0] == "5@75"]
    if args.misses:
        for r in ten:
            if not all_within(*r[2], 10, 0.25):
                errs = [e if e is not None else float("inf") for e in r[2][0]]
                print("  missed %s (seed %d): %d shots, worst %.2f calibre"
                      % (r[0][1], r[0][2], r[2][1], max(errs)))
    print("groups of 10 at 300 ppi (%d, a fifth of each rim showing):" % len(ten))
    print("  --shots 10: all 10 within 0.25 calibre  %5.1f %%  (target 95 %%)"
          % (100 * share(ten, lambda r: all_within(*r[2], 10, 0.25))))
    print("  without:    count right                 %5.1f %%  (target 80 %%)"
          % (100 * share(ten, lambda r: r[1][1] == 10)))
    print("              and all within 0.25 calibre %5.1f %%"
          % (100 * share(ten, lambda r: all_within(*r[1], 10, 0.25))))
    print("groups of 5 at 75 ppi (%d):" % len(five))
    print("  without:    every shot within 0.3 calibre %5.1f %%  (target 90 %%)"
          % (100 * share(five, lambda r: all_within(*r[1], 5, 0.3))))
    print("  --shots 5:  every shot within 0.3 calibre %5.1f %%"
          % (100 * share(five, lambda r: all_within(*r[2], 5, 0.3))))
    print("groups of 2 to 15 at 75 to 600 ppi, count right without --shots:")
    for n in sizes:
        rows = [r for r in results if r[0][0] == "sizes" and r[0][4] == n]
        print("  %2d shots: %5.1f %% of %d   (with --shots: all within 0.25 calibre %5.1f %%)"
              % (n, 100 * share(rows, lambda r: r[1][1] == n), len(rows),
                 100 * share(rows, lambda r, n=n: all_within(*r[2], n, 0.25))))
    if not args.keep:
        shutil.rmtree(folder)


if __name__ == "__main__":
    sys.exit(main())
