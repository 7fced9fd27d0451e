#!/usr/bin/python3
"""Unit conversion against numpy and the brick mesher against scikit-image, on the same data in
one run.

usage: /usr/bin/python3 bench/convert_mesh_vs_skimage.py [build/bin] [--side N] [--runs N]

Conversion (side^3 voxels): float32 -> uint8 and uint16 -> uint8 through the clamped linear
map, timed as QEL_ConvertVoxelArray into a block written before, as QEL_ConvertVoxelUnit
(its new block included) and as the per-voxel reference loop the library used to run; numpy
computes the same double-precision expression with clip/astype, and both sides copy the source
bytes once for scale. Outputs are compared byte for byte.

Mesher: the ball of bench/voxelsurfacer.cpp (radius 100 at 256^3, bytes 255 - distance), flat and
gradient shading, against skimage.measure.marching_cubes at the same level. Like the program, which
meshes again on every change of its settings, the driver times runs after its first two (those also
take the process's memory from the system; the first is reported apart).

Times are the best of several runs, ours and theirs alternating so that a busy machine weighs on
both alike. Ratios above 1 mean we are faster, except "x copy" (our time over a plain copy).
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy as np

try:
    from skimage import measure
except ImportError:
    measure = None

APT_LINE = "apt-get install -y python3-skimage"

# (name, numpy source type, unit codes, source window, destination window)
CONVERSIONS = [
    ("float32 -> uint8", np.float32, 6, 0, (-40.0, 300.0), (0.0, 255.0)),
    ("uint16 -> uint8", np.uint16, 2, 0, (1000.0, 50000.0), (0.0, 255.0)),
]
MAP_LINEAR_CLAMP = 3


def timed(fn):
    t0 = time.perf_counter()
    result = fn()
    return time.perf_counter() - t0, result


def driver(path, *args, first=None):
    """Runs the driver; (seconds, result). A third number, the first run's time, is kept in the
    list `first` when given."""
    out = subprocess.run([path, *map(str, args)], check=True, capture_output=True, text=True, timeout=900)
    fields = out.stdout.split()
    if first is not None and len(fields) > 2:
        first.append(float(fields[2]))
    return float(fields[0]), int(fields[1])


def alternate(runs, ours, theirs):
    """Single runs of ours() -> (seconds, result) and theirs() in turn; best time of each and
    the last results."""
    best_ours = best_theirs = float("inf")
    result = expected = None
    for _ in range(runs):
        t, result = ours()
        best_ours = min(best_ours, t)
        t, expected = timed(theirs)
        best_theirs = min(best_theirs, t)
    return best_ours, result, best_theirs, expected


def numpy_linear_clamp(x, src, dst):
    """The clamped linear map in double precision, in the library's operation order."""
    span = np.float64(np.float32(src[1])) - np.float64(np.float32(src[0]))
    d0, d1 = np.float64(np.float32(dst[0])), np.float64(np.float32(dst[1]))
    v = d0 + (d1 - d0) * (x.astype(np.float32).astype(np.float64) - np.float64(np.float32(src[0]))) / span
    return np.clip(v, d0, d1).astype(np.uint8)


def source_values(dtype, count, rng):
    if dtype == np.float32:
        return rng.normal(130.0, 90.0, count).astype(np.float32)
    return rng.integers(0, 65536, count, dtype=np.uint16)


def compare_conversions(args, tmp):
    rng = np.random.default_rng(18)
    count = args.side ** 3
    in_path, out_path = os.path.join(tmp, "in.raw"), os.path.join(tmp, "out.raw")
    bad = 0
    print(f"conversion, {args.side}^3 voxels, clamped linear map (times in ms)")
    print(f"{'':18s} {'ours':>7s} {'channel':>8s} {'per-voxel':>9s} {'numpy':>7s} {'our copy':>8s} "
          f"{'np copy':>7s}   {'vs per-voxel':>12s} {'vs numpy':>8s} {'x copy':>6s}  output")
    for name, dtype, su, du, src, dst in CONVERSIONS:
        x = source_values(dtype, count, rng)
        x.tofile(in_path)
        common = [su, du, MAP_LINEAR_CLAMP, *src, *dst, count, in_path, out_path]
        ours, _, theirs, expected = alternate(
            args.runs, lambda: driver(args.driver, "convert", *common, 1), lambda: numpy_linear_clamp(x, src, dst))
        same = np.array_equal(np.fromfile(out_path, dtype=np.uint8), expected)
        channel, _ = driver(args.driver, "unit", *common, args.runs)
        same = same and np.array_equal(np.fromfile(out_path, dtype=np.uint8), expected)
        reference, _ = driver(args.driver, "reference", *common, max(1, args.runs // 2))
        same = same and np.array_equal(np.fromfile(out_path, dtype=np.uint8), expected)
        copy, _, np_copy, _ = alternate(args.runs, lambda: driver(args.driver, "copy", x.nbytes, in_path, 1), x.copy)
        bad += not same
        print(f"{name:18s} {ours * 1e3:7.1f} {channel * 1e3:8.1f} {reference * 1e3:9.1f} {theirs * 1e3:7.1f} "
              f"{copy * 1e3:8.1f} {np_copy * 1e3:7.1f}   {reference / ours:11.1f}x {theirs / ours:7.1f}x "
              f"{ours / copy:5.2f}x  {'identical' if same else 'DIFFERENT'}", flush=True)
    return bad


def ball(side):
    """The ball of bench/voxelsurfacer.cpp: 255 - distance from the centre inside radius 100."""
    c = (side - 1) / 2.0
    z, y, x = np.ogrid[0:side, 0:side, 0:side]
    d = np.sqrt((x - c) ** 2 + (y - c) ** 2 + (z - c) ** 2)
    return np.where(d < 100, 255 - d, 0).astype(np.uint8)


def compare_mesher(args, tmp):
    if measure is None:
        print("mesher: skimage is missing; install it with:")
        print(f"    {APT_LINE}")
        return 0
    side = args.side
    vol = ball(side)
    path = os.path.join(tmp, "ball.u8")
    vol.tofile(path)
    level = 100.0
    print(f"mesher, ball at {side}^3, level {level:g} (times in ms; ours: runs after the process's first two, "
          f"which take their memory from the system; the first is shown as 'first run')")
    rows = {}
    for label, gradient in (("flat", 0), ("gradient", 1)):
        firsts = []
        ours, bricks, theirs, (verts, faces, _, _) = alternate(
            args.runs, lambda: driver(args.driver, "mesh", gradient, side, side, side, path, level, 1, first=firsts),
            lambda: measure.marching_cubes(vol, level))
        rows[label] = (ours, theirs)
        print(f"{label:9s} ours {ours * 1e3:7.1f} ({bricks} bricks, first run {min(firsts) * 1e3:.1f})   "
              f"marching_cubes {theirs * 1e3:7.1f} ({len(faces)} triangles)   ours / marching_cubes "
              f"{ours / theirs:5.2f}", flush=True)
    mc = min(t for _, t in rows.values())
    print(f"goals (ours / best marching_cubes): flat below 1: {rows['flat'][0] / mc:.2f}   "
          f"gradient below 2: {rows['gradient'][0] / mc:.2f}")
    return 0


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser()
    parser.add_argument("bin_dir", nargs="?", default=os.path.join(here, "..", "build", "bin"))
    parser.add_argument("--side", type=int, default=256)
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    args.driver = os.path.join(args.bin_dir, "bench_convert_mesh_driver")
    if not os.path.exists(args.driver):
        sys.exit(f"bench_convert_mesh_driver not found in {args.bin_dir} (configure with -DQEL_BENCH=ON)")
    print("load average at start: %.2f %.2f %.2f" % os.getloadavg())
    with tempfile.TemporaryDirectory(prefix="qel-bench-convert-mesh-") as tmp:
        bad = compare_conversions(args, tmp)
        compare_mesher(args, tmp)
    print("load average at end: %.2f %.2f %.2f" % os.getloadavg())
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
