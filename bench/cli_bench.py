#!/usr/bin/env python3
"""Times holescan-cli on a generated 24-megapixel BMP and measures its peak memory.

Usage: bench/cli_bench.py [BUILD_DIR] [--runs N]     (BUILD_DIR defaults to build)

The picture is the 6000 x 4000 target of the whole-picture benchmarks (300 holes, rings,
text, specks), written once by holescan-make-target to /tmp; the report and JSON go to /tmp
too, never into the repository. Every run is
    /usr/bin/time -v holescan-cli --timings -q --report R --json J PICTURE
which prints how long loading, analysis ("Draw", with the scan rectangle) and writing took.
The fastest run of each phase is shown, since other work on a shared machine only slows a
run down, and the largest peak resident memory of all runs, per picture pixel. A run on a
64 x 64 picture gives what the program costs without a picture (code, libraries, heap).
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

WIDTH, HEIGHT = 6000, 4000
TARGET_OPTIONS = ["--width", str(WIDTH), "--height", str(HEIGHT), "--seed", "2024",
                  "--holes", "290", "--pairs", "5", "--specks", "300"]
TIMINGS = re.compile(r"loading ([0-9.]+) s, analysis ([0-9.]+) s, writing ([0-9.]+) s")
PEAK = re.compile(r"Maximum resident set size \(kbytes\): (\d+)")


def run_cli(cli, picture, workdir):
    command = ["/usr/bin/time", "-v", cli, "--timings", "-q",
               "--report", os.path.join(workdir, "report.txt"),
               "--json", os.path.join(workdir, "holes.json"), picture]
    done = subprocess.run(command, capture_output=True, text=True, check=False)
    if done.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{done.stderr}")
    timings = TIMINGS.search(done.stderr)
    peak = PEAK.search(done.stderr)
    if not peak:
        sys.exit("no peak memory in /usr/bin/time's output (is GNU time installed? bench/setup)")
    phases = tuple(float(t) for t in timings.groups()) if timings else None
    return phases, int(peak.group(1)) * 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    cli = os.path.join(args.build, "src", "cli", "holescan-cli")
    make_target = os.path.join(args.build, "tools", "holescan-make-target")
    for program in (cli, make_target):
        if not os.access(program, os.X_OK):
            sys.exit(f"{program} is missing: build the project in {args.build} first")
    if not os.access("/usr/bin/time", os.X_OK):
        sys.exit("/usr/bin/time is missing: run bench/setup")

    workdir = tempfile.mkdtemp(prefix="holescan-cli-bench-")
    picture = os.path.join(tempfile.gettempdir(), f"holescan-bench-{WIDTH}x{HEIGHT}.bmp")
    if not os.path.exists(picture):
        subprocess.run([make_target, *TARGET_OPTIONS, "--out", picture], check=True)
    tiny = os.path.join(workdir, "tiny.bmp")
    subprocess.run([make_target, "--width", "64", "--height", "64", "--holes", "0", "--pairs",
                    "0", "--specks", "0", "--out", tiny], check=True)

    phases, peaks = [], []
    for _ in range(args.runs):
        timing, peak = run_cli(cli, picture, workdir)
        if timing is None:
            sys.exit("holescan-cli printed no timings: it needs its --timings option")
        phases.append(timing)
        peaks.append(peak)
    _, empty_peak = run_cli(cli, tiny, workdir)
    shutil.rmtree(workdir)

    loading, draw, writing = (min(p[i] for p in phases) for i in range(3))
    pixels = WIDTH * HEIGHT
    print(f"holescan-cli on {picture} ({pixels / 1e6:.0f} megapixels), "
          f"fastest of {args.runs} runs:")
    print()
    print("| phase | seconds |")
    print("|---|---|")
    print(f"| loading | {loading:.3f} |")
    print(f"| Draw | {draw:.3f} |")
    print(f"| writing report and JSON | {writing:.3f} |")
    print(f"| (Draw + writing) / loading | {(draw + writing) / loading:.3f} |")
    print()
    peak = max(peaks)
    print(f"peak resident memory: {peak / 2**20:.1f} MiB = {peak / pixels:.2f} bytes per pixel "
          f"(runs: {', '.join(f'{p / 2**20:.1f}' for p in peaks)} MiB); "
          f"with a 64 x 64 picture: {empty_peak / 2**20:.1f} MiB = "
          f"{empty_peak / pixels:.2f} bytes per pixel of the large picture")


if __name__ == "__main__":
    main()
