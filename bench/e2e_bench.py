#!/usr/bin/env python3
"""Whole holescan-cli runs on 8 and 24 MP BMP, PNG, JPEG and TIFF against a composite limit.

Usage: bench/e2e_bench.py [BUILD_DIR] [--baseline OTHER_BUILD_DIR] [--runs N]

The limit of a run is measured in the same run of this script, part by part: process start
(`holescan-cli --version`), reading the file from the page cache, the fastest decoder into
warm memory (TurboJPEG for JPEG; libdeflate's inflate of the PNG data plus one pass for its
rows; for BMP and uncompressed TIFF one expand pass, taken as a copy of the 4-byte picture),
and one memory pass over the 4-byte picture. Decoders and passes run in this process through
ctypes, into buffers written once before. Every time is the fastest of N runs (other work
on a shared machine only slows a run down). Then `--result x.png` against `--result x.bmp`
on 8 MP. With --baseline, the same runs of another build's holescan-cli, side by side.

Pictures: the target of holescan-make-target (300 holes, rings, text, specks), written once
to /tmp as BMP and converted here: PNG (zlib level 6, no filter), JPEG (TurboJPEG quality 90,
4:2:0), TIFF (uncompressed RGB strips).
"""
import argparse
import ctypes
import os
import struct
import subprocess
import sys
import tempfile
import time
import zlib

SIZES = {"8MP": (3464, 2309), "24MP": (6000, 4000)}
FORMATS = ["bmp", "png", "jpg", "tif"]


def fastest(runs, action):
    best = float("inf")
    for _ in range(runs):
        start = time.perf_counter()
        action()
        best = min(best, time.perf_counter() - start)
    return best


def read_bmp(path):
    data = open(path, "rb").read()
    offset, = struct.unpack_from("<I", data, 10)
    width, height = struct.unpack_from("<ii", data, 18)
    row = (width * 3 + 3) // 4 * 4
    rows = [data[offset + (height - 1 - y) * row: offset + (height - 1 - y) * row + width * 3]
            for y in range(height)]
    return width, height, rows  # rows top down, BGR


def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def write_png(path, width, height, rows):
    raw = bytearray()
    for r in rows:
        rgb = bytearray(r)
        rgb[0::3], rgb[2::3] = r[2::3], r[0::3]
        raw += b"\0" + rgb
    idat = zlib.compress(bytes(raw), 6)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2,
                                                                     0, 0, 0)))
        for at in range(0, len(idat), 1 << 16):
            f.write(chunk(b"IDAT", idat[at:at + (1 << 16)]))
        f.write(chunk(b"IEND", b""))


def write_tiff(path, width, height, rows):
    pixels = bytearray()
    for r in rows:
        rgb = bytearray(r)
        rgb[0::3], rgb[2::3] = r[2::3], r[0::3]
        pixels += rgb
    rows_per_strip = max(1, 65536 // (width * 3))
    strips = (height + rows_per_strip - 1) // rows_per_strip
    data_at = 8
    offsets = [data_at + s * rows_per_strip * width * 3 for s in range(strips)]
    counts = [min(rows_per_strip, height - s * rows_per_strip) * width * 3 for s in range(strips)]
    extra_at = data_at + len(pixels)
    bits_at, offsets_at, counts_at = extra_at, extra_at + 6, extra_at + 6 + 4 * strips
    ifd_at = counts_at + 4 * strips
    entries = [(256, 4, 1, width), (257, 4, 1, height), (258, 3, 3, bits_at), (259, 3, 1, 1),
               (262, 3, 1, 2), (273, 4, strips, offsets_at), (277, 3, 1, 3),
               (278, 4, 1, rows_per_strip), (279, 4, strips, counts_at), (284, 3, 1, 1)]
    with open(path, "wb") as f:
        f.write(b"II*\0" + struct.pack("<I", ifd_at) + pixels)
        f.write(struct.pack("<HHH", 8, 8, 8) + struct.pack(f"<{strips}I", *offsets)
                + struct.pack(f"<{strips}I", *counts))
        f.write(struct.pack("<H", len(entries)))
        for tag, kind, count, value in entries:
            f.write(struct.pack("<HHI", tag, kind, count) +
                    (struct.pack("<HH", value, 0) if kind == 3 and count == 1
                     else struct.pack("<I", value)))
        f.write(struct.pack("<I", 0))


turbo = ctypes.CDLL("libturbojpeg.so.0")
deflate = ctypes.CDLL("libdeflate.so.0")
turbo.tjInitCompress.restype = ctypes.c_void_p
turbo.tjInitDecompress.restype = ctypes.c_void_p
deflate.libdeflate_alloc_decompressor.restype = ctypes.c_void_p
TJPF_BGR, TJPF_BGRA, TJSAMP_420 = 1, 8, 2


def write_jpeg(path, width, height, rows):
    handle = ctypes.c_void_p(turbo.tjInitCompress())
    pixels = b"".join(rows)
    out = ctypes.POINTER(ctypes.c_ubyte)()
    size = ctypes.c_ulong(0)
    if turbo.tjCompress2(handle, pixels, width, width * 3, height, TJPF_BGR, ctypes.byref(out),
                         ctypes.byref(size), TJSAMP_420, 90, 0) != 0:
        sys.exit("tjCompress2 failed")
    with open(path, "wb") as f:
        f.write(ctypes.string_at(out, size.value))
    turbo.tjFree(out)


def png_idat(path):
    data = open(path, "rb").read()
    at, idat = 8, bytearray()
    while at < len(data):
        length, = struct.unpack_from(">I", data, at)
        if data[at + 4:at + 8] == b"IDAT":
            idat += data[at + 8:at + 8 + length]
        at += 12 + length
    return bytes(idat)


def decoder_floor(kind, path, width, height, warm, runs):
    pixels = width * height * 4
    other = ctypes.create_string_buffer(pixels)
    ctypes.memmove(other, warm, pixels)
    one_pass = fastest(runs, lambda: ctypes.memmove(other, warm, pixels))
    if kind in ("bmp", "tif"):
        return one_pass, one_pass
    if kind == "jpg":
        data = open(path, "rb").read()
        handle = ctypes.c_void_p(turbo.tjInitDecompress())
        return fastest(runs, lambda: turbo.tjDecompress2(
            handle, data, ctypes.c_ulong(len(data)), warm, width, width * 4, height, TJPF_BGRA,
            0)), one_pass
    idat = png_idat(path)
    handle = ctypes.c_void_p(deflate.libdeflate_alloc_decompressor())
    inflated = (width * 3 + 1) * height
    return fastest(runs, lambda: deflate.libdeflate_zlib_decompress(
        handle, idat, ctypes.c_size_t(len(idat)), warm, ctypes.c_size_t(inflated),
        None)) + one_pass, one_pass


def run(cli, *args):
    done = subprocess.run([cli, *args], capture_output=True, check=False)
    if done.returncode != 0:
        sys.exit(f"{cli} {' '.join(args)} failed: {done.stderr.decode()}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build", nargs="?", default="build")
    parser.add_argument("--baseline")
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    builds = [("this", args.build)] + ([("baseline", args.baseline)] if args.baseline else [])
    clis = {name: os.path.join(folder, "src", "cli", "holescan-cli") for name, folder in builds}
    make_target = os.path.join(args.build, "tools", "holescan-make-target")
    workdir = tempfile.mkdtemp(prefix="holescan-e2e-bench-")
    print("| picture | limit (s): start + read + decode + pass | " +
          " | ".join(f"{name} (s) | {name} / limit" for name, _ in builds) + " |")
    print("|---|---|" + "---|---|" * len(builds))
    start = fastest(args.runs, lambda: run(clis["this"], "--version"))
    for label, (width, height) in SIZES.items():
        base = os.path.join(tempfile.gettempdir(), f"holescan-e2e-{width}x{height}")
        bmp = base + ".bmp"
        if not os.path.exists(bmp):
            subprocess.run([make_target, "--width", str(width), "--height", str(height), "--seed",
                            "2024", "--holes", "290", "--pairs", "5", "--specks", "300", "--out",
                            bmp], check=True)
        rows = None
        for kind, writer in (("png", write_png), ("jpg", write_jpeg), ("tif", write_tiff)):
            if not os.path.exists(f"{base}.{kind}"):
                if rows is None:
                    rows = read_bmp(bmp)[2]
                writer(f"{base}.{kind}", width, height, rows)
        warm = ctypes.create_string_buffer(width * height * 4)
        for kind in FORMATS:
            path = f"{base}.{kind}"

            def read_file():
                with open(path, "rb", buffering=0) as f:
                    while f.read(1 << 20):
                        pass
            read = fastest(args.runs, read_file)
            decode, one_pass = decoder_floor(kind, path, width, height, warm, args.runs)
            limit = start + read + decode + one_pass
            cells = []
            for name, _ in builds:
                t = fastest(args.runs, lambda: run(clis[name], "--quiet", "--json", os.devnull,
                                                   path))
                cells.append(f"{t:.3f} | {t / limit:.2f}")
            print(f"| {label} {kind.upper()} | {limit:.3f} ({start:.3f} + {read:.3f} + "
                  f"{decode:.3f} + {one_pass:.3f}) | " + " | ".join(cells) + " |")
    bmp8 = os.path.join(tempfile.gettempdir(), "holescan-e2e-3464x2309.bmp")
    print()
    # Writing alone: the run with --result less the run without.
    print("| 8 MP | without --result (s) | png (s) | bmp (s) | writing png / writing bmp |")
    print("|---|---|---|---|---|")
    for name, _ in builds:
        def timed(*more):
            return fastest(args.runs, lambda: run(clis[name], "--quiet", "--json", os.devnull,
                                                  *more, bmp8))
        none = timed()
        png, bmp = (timed("--result", os.path.join(workdir, "r." + k)) for k in ("png", "bmp"))
        print(f"| {name} | {none:.3f} | {png:.3f} | {bmp:.3f} | "
              f"{(png - none) / max(bmp - none, 1e-3):.2f} |")


if __name__ == "__main__":
    main()
