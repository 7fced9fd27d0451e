#!/usr/bin/python3
"""Linear resize of a 256^3 volume by 2 along every axis, side by side with
scipy.ndimage.zoom(order=1), which samples the same positions i * (old - 1) / (new - 1).

The outputs must agree everywhere except the last slice, which the resize copies from the one
before it. Prints both times and their ratio.

    /usr/bin/python3 bench/resample_vs_scipy.py [--build build] [--size 256] [--repeats 3] [--double]
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

import numpy as np
import scipy
import scipy.ndimage

UNITS = {np.dtype(np.uint8): 0, np.dtype(np.float32): 6}


def run_ours(driver, volume, new_shape, repeats, workdir):
    src = os.path.join(workdir, "in.raw")
    dst = os.path.join(workdir, "out.raw")
    volume.tofile(src)
    nz, ny, nx = volume.shape
    mz, my, mx = new_shape
    out = subprocess.run(
        [driver, src, dst, str(UNITS[volume.dtype]), str(nx), str(ny), str(nz), str(mx), str(my), str(mz),
         "1", str(repeats)],
        check=True, capture_output=True, text=True, timeout=600).stdout
    seconds = float(out.split()[1])
    result = np.fromfile(dst, dtype=volume.dtype).reshape(new_shape)
    os.remove(src)
    os.remove(dst)
    return result, seconds


def run_scipy(volume, new_shape, repeats):
    best, result = None, None
    zoom = [m / n for m, n in zip(new_shape, volume.shape)]
    for _ in range(repeats):
        t0 = time.perf_counter()
        result = scipy.ndimage.zoom(volume, zoom, order=1)
        seconds = time.perf_counter() - t0
        best = seconds if best is None else min(best, seconds)
    assert result.shape == tuple(new_shape), result.shape
    return result, best


def compare(name, volume, new_size, driver, repeats, workdir):
    new_shape = (new_size,) * 3
    ours, t_ours = run_ours(driver, volume, new_shape, repeats, workdir)
    theirs, t_scipy = run_scipy(volume, new_shape, repeats)
    # Last slice excluded: the resize copies slice nz-2 there.
    a = ours[:-1].astype(np.float64)
    b = theirs[:-1].astype(np.float64)
    diff = np.abs(a - b)
    if volume.dtype == np.float32:
        ok = np.all(diff <= 1e-4 * np.maximum(1.0, np.abs(b)))
    else:
        # scipy rounds integer results, the resize truncates them.
        ok = np.all(diff <= 1.0)
    print(f"{name:34s} ours {t_ours * 1e3:9.1f} ms   scipy {t_scipy * 1e3:9.1f} ms   "
          f"scipy/ours {t_scipy / t_ours:6.1f}x   max |diff| {diff.max():.3g}   {'agree' if ok else 'DIFFER'}")
    return ok


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--build", default=os.path.join(root, "build"))
    parser.add_argument("--size", type=int, default=256)
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--double", action="store_true", help="also double every axis (slow in scipy)")
    args = parser.parse_args()
    driver = os.path.join(args.build, "bin", "bench_resample_driver")
    if not os.access(driver, os.X_OK):
        sys.exit(f"{driver} not found: build the target bench_resample_driver first")

    n = args.size
    rng = np.random.default_rng(1)
    real = (rng.random((n, n, n)) * 255.0).astype(np.float32)
    print(f"scipy {scipy.__version__}, numpy {np.__version__}, volume {n}^3, best of {args.repeats}")
    ok = True
    with tempfile.TemporaryDirectory() as workdir:
        ok &= compare(f"float32 {n}^3 -> {n // 2}^3", real, n // 2, driver, args.repeats, workdir)
        ok &= compare(f"uint8   {n}^3 -> {n // 2}^3", real.astype(np.uint8), n // 2, driver, args.repeats, workdir)
        if args.double:
            ok &= compare(f"float32 {n}^3 -> {2 * n - 1}^3", real, 2 * n - 1, driver, 1, workdir)
    sys.exit(0 if ok else 1)


if __name__ == "__main__":
    main()
