#!/usr/bin/python3
"""Rank filters side by side with scipy.ndimage on 256^3 volumes.

For units 0 (uint8), 2 (uint16) and 6 (float32) and radii 1 and 2, runs the threaded
median, minimum and maximum (2 threads, mirrored borders = scipy mode 'reflect') and the
single-threaded ones (replicated borders = scipy mode 'nearest') through bench_rank_driver,
runs scipy's median_filter / minimum_filter / maximum_filter with the same spherical
footprint, checks that the outputs are identical bit for bit and prints the speed ratio.

    /usr/bin/python3 bench/rank_vs_scipy.py [BUILD_BIN_DIR] [--side N] [--repeats N]

Exits 1 when any output differs.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
from scipy import ndimage

UNITS = {0: np.uint8, 2: np.uint16, 6: np.float32}
# The programs' targets with two threads: median 50x (radius 1) and 20x (radius 2),
# minimum and maximum 10x.
TARGETS = {("median", 1): 50.0, ("median", 2): 20.0}


def spherical_footprint(radius):
    """The spherical kernel's points: |x|,|y|,|z| <= trunc(r) + 1 and x^2+y^2+z^2 <= r*r
    (r*r rounded to single precision)."""
    h = int(radius) + 1
    r2 = np.float32(radius) * np.float32(radius)
    z, y, x = np.mgrid[-h:h + 1, -h:h + 1, -h:h + 1]
    return (x * x + y * y + z * z).astype(np.float64) <= float(r2)


def make_volume(dtype, side, seed):
    rng = np.random.default_rng(seed)
    ramp = np.add.outer(np.add.outer(np.arange(side), np.arange(side)), np.arange(side)) % 97
    if dtype == np.float32:
        vol = ramp + rng.normal(0.0, 20.0, (side, side, side))
    else:
        top = np.iinfo(dtype).max
        vol = ramp * (top // 400) + rng.integers(0, top // 4, (side, side, side))
        vol = np.clip(vol, 0, top)
    return np.ascontiguousarray(vol.astype(dtype))


def scipy_filter(name, vol, footprint, mode):
    fn = {"median": ndimage.median_filter, "minimum": ndimage.minimum_filter,
          "maximum": ndimage.maximum_filter}[name]
    t0 = time.perf_counter()
    out = fn(vol, footprint=footprint, mode=mode)
    return out, time.perf_counter() - t0


def run_driver(driver, build, name, unit, side, radius, threads, src, dst, repeats):
    cmd = [driver, build, name, str(unit), str(side), str(side), str(side), str(radius), str(threads),
           src, dst, str(repeats)]
    res = subprocess.run(cmd, capture_output=True, text=True, timeout=600)
    if res.returncode != 0:
        raise RuntimeError("driver failed: %s\n%s" % (" ".join(cmd), res.stderr))
    return float(res.stdout.strip())


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    ap = argparse.ArgumentParser()
    ap.add_argument("bin_dir", nargs="?", default=os.path.join(here, "..", "build", "bin"))
    ap.add_argument("--side", type=int, default=256)
    ap.add_argument("--repeats", type=int, default=5)
    args = ap.parse_args()
    driver = os.path.join(args.bin_dir, "bench_rank_driver")
    if not os.path.exists(driver):
        sys.exit("bench_rank_driver not found in %s (configure with -DQEL_BENCH=ON)" % args.bin_dir)

    print("machine: %d cores, %s" % (os.cpu_count(), platform_cpu()))
    print("volumes %d^3; ours: best of %d runs (2 threads for the threaded build); scipy: one run"
          % (args.side, args.repeats))
    header = "%-5s %-6s %-7s %-8s %10s %10s %8s %9s  %s" % (
        "unit", "radius", "build", "filter", "ours ms", "scipy ms", "ratio", "target", "output")
    print(header)
    print("-" * len(header))
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        for unit, dtype in UNITS.items():
            vol = make_volume(dtype, args.side, 17 + unit)
            src = os.path.join(tmp, "in.raw")
            dst = os.path.join(tmp, "out.raw")
            vol.tofile(src)
            for radius in (1, 2):
                footprint = spherical_footprint(radius)
                for build, mode, threads in (("threaded", "reflect", 2), ("single", "nearest", 1)):
                    for name in ("median", "minimum", "maximum"):
                        ours = run_driver(driver, build, name, unit, args.side, radius, threads, src, dst,
                                          args.repeats)
                        got = np.fromfile(dst, dtype=dtype).reshape(vol.shape)
                        want, theirs = scipy_filter(name, vol, footprint, mode)
                        same = np.array_equal(got.view(np.uint8), want.view(np.uint8))
                        failures += not same
                        ratio = theirs / ours
                        target = TARGETS.get((name, radius), 10.0) if build == "threaded" else None
                        verdict = "" if target is None else ("%.0fx %s" % (target, "met" if ratio >= target else "MISSED"))
                        print("%-5d %-6d %-7s %-8s %10.1f %10.1f %7.1fx %9s  %s" % (
                            unit, radius, build, name, ours * 1e3, theirs * 1e3, ratio, verdict,
                            "identical" if same else "DIFFERENT"), flush=True)
    print("outputs: %d identical, %d different" % (36 - failures, failures))
    return 1 if failures else 0


def platform_cpu():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


if __name__ == "__main__":
    sys.exit(main())
