#!/usr/bin/env python3
"""Writes relion_ctf.txt: RELION's own CTF (relion_ctf_toolbox --simulate, Debian package relion) at
sampled pixels of a few simulated images, for test_ctffit to compare the fit's model with. Run by
hand where RELION is installed; the output is committed so that the tests need no RELION.

Each case is a line "case kV Cs(mm) Q pixel(Å) box defU(Å) defV(Å) angle(deg) phase(deg)" followed
by lines "row column value": the image's row (y) and column (x) counted from its first stored row,
the zero frequency at (box/2, box/2)."""
import os
import random
import subprocess
import sys
import tempfile

import mrcfile

CASES = [
    # kV, Cs, Q, pixel, box, defU, defV, angle, phase
    (300, 2.7, 0.1, 2.0, 64, 20000, 15000, 30, 0),
    (200, 2.7, 0.07, 1.5, 64, 12000, 11000, 125, 0),
    (300, 2.7, 0.07, 2.0, 64, 8000, 6000, 80, 90),
    (120, 2.0, 0.1, 2.5, 48, 15000, 14000, 160, 45),
]


def main(out):
    rng = random.Random(7)
    lines = []
    with tempfile.TemporaryDirectory() as tmp:
        for number, (kv, cs, q, pixel, box, u, v, angle, phase) in enumerate(CASES):
            path = os.path.join(tmp, "ctf%d.mrc" % number)
            subprocess.run(["relion_ctf_toolbox", "--simulate", path, "--angpix", str(pixel), "--box", str(box),
                            "--kV", str(kv), "--Q0", str(q), "--Cs", str(cs), "--defU", str(u), "--defV", str(v),
                            "--defAng", str(angle), "--phase_shift", str(phase)],
                           check=True, stdout=subprocess.DEVNULL)
            data = mrcfile.open(path).data
            lines.append("case %g %g %g %g %d %g %g %g %g" % (kv, cs, q, pixel, box, u, v, angle, phase))
            for _ in range(40):
                row, column = rng.randrange(box), rng.randrange(box)
                lines.append("%d %d %.7f" % (row, column, float(data[row, column])))
    with open(out, "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "data", "relion_ctf.txt"))
