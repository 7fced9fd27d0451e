#!/usr/bin/python3
"""Checks ANALYZE 7.5 file pairs against nibabel's independent reader and writer.

Usage: analyze_nibabel.py DRIVER   (DRIVER: the analyze_pair_driver executable)

1. The driver writes pairs of every written datatype (optionally turned 180 degrees about x,
   as the exporter does); nibabel reads them and the header fields and voxels must match the
   pattern that the driver fills in.
2. nibabel writes pairs (3-D and 4-D, every datatype the importer reads, with and without a
   data offset); the driver reads them and its voxels must match nibabel's array.
"""
import os
import subprocess
import sys
import tempfile
import warnings

import numpy as np
import nibabel as nib

DTYPE = {0: np.uint8, 3: np.int16, 5: np.int32, 6: np.float32}
DATATYPE = {0: 2, 3: 4, 5: 8}
BITPIX = {0: 8, 3: 16, 5: 32}
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def pattern(unit, nx, ny, nz, nc):
    """Voxel values of the driver's pattern, indexed [x, y, z, c]."""
    x, y, z, c = np.indices((nx, ny, nz, nc), dtype=np.int64)
    k = x * 7 + y * 131 + z * 1031 + c * 4099 + 17
    if unit == 0:
        return (k % 256).astype(np.uint8)
    if unit == 3:
        return ((k * 37) % 65536 - 32768).astype(np.int16)
    return ((k * 2654435761) % 2**32).astype(np.uint32).view(np.int32)


def driver_writes(driver, tmp):
    cases = [  # unit, nx, ny, nz, channels, voxel size, turn
        (3, 64, 64, 30, 1, 1.5, 0),
        (0, 13, 7, 5, 3, 0.8, 0),
        (5, 6, 9, 4, 2, 2.25, 0),
        (0, 11, 6, 5, 1, 1.0, 1),
        (3, 5, 8, 3, 2, 0.5, 1),
        (5, 4, 3, 7, 1, 3.0, 1),
    ]
    for unit, nx, ny, nz, nc, voxel, turn in cases:
        name = "driver %d %dx%dx%dx%d turn %d" % (unit, nx, ny, nz, nc, turn)
        base = os.path.join(tmp, "w%d_%d" % (unit, turn))
        rc = subprocess.call([driver, "write", base, str(unit), str(nx), str(ny), str(nz), str(nc), repr(voxel),
                              str(turn)])
        check(rc == 0, name + ": driver failed")
        if rc != 0:
            continue
        check(os.path.getsize(base + ".hdr") == 348, name + ": header size")
        check(os.path.getsize(base + ".img") == nx * ny * nz * nc * np.dtype(DTYPE[unit]).itemsize,
              name + ": data file size")
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            img = nib.AnalyzeImage.from_filename(base + ".hdr")
            hdr = img.header
            data = np.asanyarray(img.dataobj)
        check(hdr.endianness == "<", name + ": byte order")
        check(int(hdr["sizeof_hdr"]) == 348, name + ": sizeof_hdr")
        check(hdr["regular"] == b"r", name + ": regular")
        check(list(hdr["dim"][:5]) == [4, nx, ny, nz, nc], name + ": dim %s" % list(hdr["dim"]))
        check(list(hdr["dim"][5:]) == [0, 0, 0], name + ": dim[5..7]")
        check(int(hdr["datatype"]) == DATATYPE[unit], name + ": datatype")
        check(int(hdr["bitpix"]) == BITPIX[unit], name + ": bitpix")
        check(list(hdr["pixdim"][1:4]) == [np.float32(voxel)] * 3, name + ": pixdim %s" % list(hdr["pixdim"]))
        check(float(hdr["pixdim"][0]) == 0.0, name + ": pixdim[0]")
        check(float(hdr["vox_offset"]) == 0.0, name + ": vox_offset")
        check(int(hdr["glmax"]) == 0 and int(hdr["glmin"]) == 255, name + ": glmax/glmin")
        check(data.dtype == np.dtype(DTYPE[unit]), name + ": dtype %s" % data.dtype)
        want = pattern(unit, nx, ny, nz, nc)
        if turn:
            # File voxel (x, y, z) is the volume's voxel (x, ny - 1 - y, nz - 1 - z).
            want = want[:, ::-1, ::-1, :]
        check(data.shape == want.shape and np.array_equal(data, want), name + ": voxels")


def driver_reads(driver, tmp):
    rng = np.random.default_rng(5)
    cases = [  # unit, shape, data offset
        (0, (9, 8, 7), 0),
        (3, (6, 5, 4, 3), 0),
        (5, (4, 7, 3, 2), 0),
        (6, (5, 4, 3), 0),
        (3, (6, 5, 4), 352),
    ]
    for unit, shape, offset in cases:
        name = "nibabel %d %s offset %d" % (unit, shape, offset)
        dtype = np.dtype(DTYPE[unit])
        if dtype.kind == "f":
            arr = rng.standard_normal(shape).astype(dtype) * 1000
        else:
            info = np.iinfo(dtype)
            arr = rng.integers(info.min, info.max, size=shape, endpoint=True, dtype=dtype)
        img = nib.AnalyzeImage(arr, np.eye(4))
        img.header.set_data_dtype(dtype)
        if offset:
            img.header.set_data_offset(offset)
        base = os.path.join(tmp, "r%d_%d" % (unit, offset))
        img.to_filename(base + ".hdr")
        with open(base + ".hdr", "rb") as f:
            written_offset = np.frombuffer(f.read()[108:112], "<f4")[0]
        check(written_offset == offset, name + ": nibabel wrote vox_offset %r" % written_offset)
        out = subprocess.run([driver, "read", base + ".hdr", base + ".img"], stdout=subprocess.PIPE)
        check(out.returncode == 0, name + ": driver failed")
        if out.returncode != 0:
            continue
        line, _, raw = out.stdout.partition(b"\n")
        dims = [int(v) for v in line.split()]
        full = arr if arr.ndim == 4 else arr[..., np.newaxis]
        check(dims == list(full.shape) + [unit], name + ": dims/unit %s" % dims)
        # Channel blocks in order, x fastest within each.
        want = b"".join(np.ascontiguousarray(full[..., c].transpose(2, 1, 0)).astype(dtype.newbyteorder("<")).tobytes()
                        for c in range(full.shape[3]))
        check(raw == want, name + ": voxels")


def main():
    driver = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="qel_analyze_py_") as tmp:
        driver_writes(driver, tmp)
        driver_reads(driver, tmp)
    if failures:
        print("%d check(s) failed" % len(failures), file=sys.stderr)
        return 1
    print("all ANALYZE checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
