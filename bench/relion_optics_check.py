#!/usr/bin/env python3
"""Samples RELION's own CTF (relion_ctf_toolbox --simulate, Debian package relion) for a table of
cases with amplitude contrast, phase shift and astigmatic defocus U/V at an angle, and writes them to
tests/core/data/relion_optics.txt, which test_optics compares the program's phase with. Run by hand
where RELION is installed; the output is committed so that the tests need no RELION.

Each case is a line "case kV Cs(mm) Q pixel(Å) box defU(Å) defV(Å) angle(deg) phase(deg)" followed
by lines "row column value": the image's row (y) and column (x) counted from its first stored row,
the zero frequency at (box/2, box/2). The MRC file is read here with its fixed 1024-byte header, so
that nothing beyond the standard library is needed."""
import os
import random
import struct
import subprocess
import sys
import tempfile

CASES = [
    # kV, Cs, Q, pixel, box, defU, defV, angle, phase
    (300, 2.7, 0.1, 1.0, 64, 15000, 14000, 30, 0),
    (300, 2.7, 0.07, 1.2, 64, 8000, 7000, 120, 90),
    (200, 2.0, 0.15, 1.5, 64, 20000, 20000, 0, 45),
    (120, 1.2, 0.0, 2.0, 48, 10000, 6000, 75, 30),
    (300, 0.01, 0.1, 0.8, 64, 500, 300, 10, 60),
    (300, 2.7, 0.3, 1.0, 64, 25000, 22000, 170, 135),
]


def read_mrc(path):
    with open(path, "rb") as f:
        data = f.read()
    nx, ny, nz, mode = struct.unpack_from("<4i", data, 0)
    extended = struct.unpack_from("<i", data, 92)[0]
    if mode != 2:
        raise SystemExit("%s: MRC mode %d, not 32-bit floats" % (path, mode))
    values = struct.unpack_from("<%df" % (nx * ny), data, 1024 + extended)
    return [values[row * nx:(row + 1) * nx] for row in range(ny)]


def main(out):
    rng = random.Random(22)
    lines = []
    with tempfile.TemporaryDirectory() as tmp:
        for number, (kv, cs, q, pixel, box, u, v, angle, phase) in enumerate(CASES):
            path = os.path.join(tmp, "ctf%d.mrc" % number)
            subprocess.run(["relion_ctf_toolbox", "--simulate", path, "--angpix", str(pixel), "--box", str(box),
                            "--kV", str(kv), "--Q0", str(q), "--Cs", str(cs), "--defU", str(u), "--defV", str(v),
                            "--defAng", str(angle), "--phase_shift", str(phase)],
                           check=True, stdout=subprocess.DEVNULL)
            data = read_mrc(path)
            lines.append("case %g %g %g %g %d %g %g %g %g" % (kv, cs, q, pixel, box, u, v, angle, phase))
            for _ in range(40):
                row, column = rng.randrange(box), rng.randrange(box)
                lines.append("%d %d %.7f" % (row, column, float(data[row][column])))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "tests", "core", "data", "relion_optics.txt"))
