#!/usr/bin/env python3
"""Prints the ratios bench/README.md tracks from a holescan-bench JSON report.

Usage: bench/ratios.py REPORT.json   (written by --benchmark_out=REPORT.json, with repetitions)
Ratios use the fastest repetition of each case (the "min" aggregate): on a shared machine
other work only slows a run down. A target is the largest (or, with ">=", the smallest)
ratio the case may show.
"""
import json
import sys

PAIRS = [
    ("labelling, comb 1000 / 500 stripes (2x pixels)", "~2",
     "BM_LabelComb/stripes:1000", "BM_LabelComb/stripes:500"),
    ("labelling, disc 2000 / 1000 across (4x pixels)", "~4",
     "BM_LabelDisc/diameter:2000", "BM_LabelDisc/diameter:1000"),
    ("vote map 151 x 151, literal / fast", ">= 1000",
     "BM_VoteMapLiteral/iterations:1", "BM_VoteMapFast"),
    ("scan / floor, 6 MP", "<= 2", "BM_Scan/megapixels:6", "BM_ScanFloor/megapixels:6"),
    ("scan / floor, 24 MP", "<= 2", "BM_Scan/megapixels:24", "BM_ScanFloor/megapixels:24"),
    ("Draw / OpenCV pipeline, 6 MP", "<= 1",
     "BM_Draw/megapixels:6", "BM_OpenCvPipeline/megapixels:6"),
    ("Draw / OpenCV pipeline, 24 MP", "<= 1",
     "BM_Draw/megapixels:24", "BM_OpenCvPipeline/megapixels:24"),
    ("Draw / floor, 6 MP (no target)", "",
     "BM_Draw/megapixels:6", "BM_ScanFloor/megapixels:6"),
    ("Draw / floor, 24 MP (no target)", "",
     "BM_Draw/megapixels:24", "BM_ScanFloor/megapixels:24"),
]


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1]) as report:
        runs = json.load(report)["benchmarks"]
    fastest = {r["run_name"]: r for r in runs if r.get("aggregate_name") == "min"}
    if not fastest:
        fastest = {r["run_name"]: r for r in runs if r.get("run_type") == "iteration"}
    print("| ratio | target | CPU time | wall time | fastest times (ms, CPU) |")
    print("|---|---|---|---|---|")
    for title, target, slow, fast in PAIRS:
        if slow not in fastest or fast not in fastest:
            print(f"| {title} | {target} | not run | | |")
            continue
        s, f = fastest[slow], fastest[fast]
        print(f"| {title} | {target} | {s['cpu_time'] / f['cpu_time']:.3g} | "
              f"{s['real_time'] / f['real_time']:.3g} | "
              f"{s['cpu_time']:.3g} / {f['cpu_time']:.3g} |")


if __name__ == "__main__":
    main()
