#!/usr/bin/python3
"""Labels, cavity filling and region growing against scipy.ndimage on random masks.

usage: segment_vs_scipy.py <path of test_segment_driver>
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
from scipy import ndimage

STRUCTURE_RANK = {6: 1, 18: 2, 26: 3}


def run(tool, *args):
    out = subprocess.run([tool, *map(str, args)], check=True, capture_output=True, text=True, timeout=60)
    return int(out.stdout.split()[0])


def main():
    tool = sys.argv[1]
    rng = np.random.default_rng(20240611)
    failures = 0
    checks = 0
    shapes = [(9, 11, 13), (40, 1, 1), (1, 1, 40), (1, 17, 20), (24, 24, 24), (5, 30, 7)]  # (nz, ny, nx)
    with tempfile.TemporaryDirectory(prefix="qel-segment-") as tmp:
        mask_path = os.path.join(tmp, "mask.u8")
        seed_path = os.path.join(tmp, "seed.u8")
        out_path = os.path.join(tmp, "out.raw")
        for shape in shapes:
            nz, ny, nx = shape
            for share in (0.15, 0.3, 0.5, 0.7):
                mask = (rng.random(shape) < share).astype(np.uint8)
                mask.tofile(mask_path)
                for conn, rank in STRUCTURE_RANK.items():
                    structure = ndimage.generate_binary_structure(3, rank)
                    expected, n = ndimage.label(mask, structure=structure)
                    got_n = run(tool, "label", conn, nx, ny, nz, mask_path, out_path)
                    got = np.fromfile(out_path, dtype=np.uint32).reshape(shape)
                    checks += 1
                    if got_n != n or not np.array_equal(got, expected):
                        failures += 1
                        print(f"label {shape} share {share} connectivity {conn}: {got_n} vs scipy {n}")

                    # Seeds anywhere (in the mask or not) grow through the mask.
                    seeds = (rng.random(shape) < 0.01).astype(np.uint8)
                    seeds.tofile(seed_path)
                    region = ndimage.binary_propagation(seeds.astype(bool), structure=structure,
                                                        mask=mask.astype(bool))
                    grown = int(np.count_nonzero(region & ~seeds.astype(bool)))
                    got_grown = run(tool, "grow", conn, nx, ny, nz, mask_path, seed_path, out_path)
                    got = np.fromfile(out_path, dtype=np.uint8).reshape(shape)
                    checks += 1
                    if got_grown != grown or not np.array_equal(got, region.astype(np.uint8)):
                        failures += 1
                        print(f"grow {shape} share {share} connectivity {conn}: {got_grown} vs scipy {grown}")

                filled = ndimage.binary_fill_holes(mask.astype(bool)).astype(np.uint8)
                run(tool, "fill", nx, ny, nz, mask_path, out_path)
                got = np.fromfile(out_path, dtype=np.uint8).reshape(shape)
                checks += 1
                if not np.array_equal(got, filled):
                    failures += 1
                    print(f"fill {shape} share {share}: differs from scipy")
    print(f"{checks - failures} of {checks} comparisons with scipy.ndimage agree")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
