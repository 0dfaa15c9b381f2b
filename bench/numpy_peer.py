#!/usr/bin/env python3
"""The three computations of bench_peer written with numpy (float64, whole arrays at a time), as an
independent yardstick for their speed. Reads the parameters as JSON on stdin and the program's own
outputs from the file named there; prints one line per computation:
    <name> <median wall ms> <median cpu ms> <check>
where check says how far the numpy result lies from the program's (largest difference of the curve,
count of differing grey levels of the grids)."""
import json
import statistics
import sys
import time

import numpy as np

p = json.load(sys.stdin)
LAM, FS, CS, ALPHA = p["wavelength"], p["focalSpread"], p["cs"], p["alpha"]
CHI_CS, CHI_DF = p["chiCsFactor"], p["chiDefocusFactor"]
TEMPORAL = -0.5 * ((np.pi * LAM * FS) * (np.pi * LAM * FS))
SPATIAL = -(np.pi * np.pi) * (ALPHA * ALPHA)
CS_LAMBDA2 = CS * LAM * LAM
E = 2.71828182845904523536


def grey(c):
    return np.clip(np.rint(255.0 * np.exp(c * c) / E), 94, 255).astype(np.uint8)


def curve(q):
    n, count, defocus = q["n"], q["count"], q["defocus"]
    k = np.arange(count) * q["upTo"] / n
    t = np.tan(q["direction"])
    kx = k * (1 / np.sqrt(t * t + 1))
    ky = t * kx
    k2 = kx * kx + ky * ky
    chi = (CHI_CS * k2 * k2 + CHI_DF * defocus * k2 + (ky * ky - kx * kx) * q["a2"] * LAM / 2
           + LAM * LAM * q["a3"] * ky * (ky * ky - 3 * kx * kx) / 3)
    ctf = np.sin(chi)
    et = np.exp(TEMPORAL * (k * k * k * k))
    u = CS_LAMBDA2 * k * k + defocus
    es = np.exp(SPATIAL * (k * k) * (u * u))
    e = et * es
    series = [ctf * et * es, et, es, e, -et, -es, -e]
    info = np.flatnonzero(e < 0.08)
    point = np.flatnonzero((ctf > 0) & (k != 0))
    rise = np.diff(ctf, prepend=0.0) > 10.0 * q["upTo"] / n
    fast = np.flatnonzero(rise & (e > 0.9))
    limits = (1 / k[info[0]] if info.size else None, 1 / k[point[0]] if point.size else None, fast.size > 0)
    return series, limits


def defocus_map(q):
    w, lo, hi = q["width"], q["minimum"], q["maximum"]
    k = (np.arange(w) * q["upTo"] / w)[np.newaxis, :]
    df = (-lo - np.arange(w) * (hi - lo) / (w - 1))[:, np.newaxis]
    k2 = k * k
    chi = CHI_DF * df * k2 + CHI_CS * (k2 * k2)
    u = CS_LAMBDA2 * k2 + df
    c = np.sin(chi) * np.exp(TEMPORAL * (k2 * k2)) * np.exp(SPATIAL * k2 * (u * u))
    return grey(c)


def pattern(q):
    n, step, centre, rng, defocus = q["n"], q["step"], q["centre"], q["range"], q["defocus"]
    k = np.arange(n + 1) * step * rng / (centre - 1)
    kx = k[:, np.newaxis]

    def half(ky):
        k2 = kx * kx + ky * ky
        chi = (CHI_CS * k2 * k2 + CHI_DF * defocus * k2 + q["a2"] * LAM * (ky * ky - kx * kx) / 2
               + LAM * LAM * q["a3"] * ky * (ky * ky - 3 * kx * kx) / 3)
        u = CS_LAMBDA2 * k2 + defocus
        c = np.sin(chi) * np.exp(TEMPORAL * (k2 * k2)) * np.exp(SPATIAL * k2 * (u * u))
        return grey(c)

    return half(k[np.newaxis, :]), half(-k[np.newaxis, :])


def median_ms(f, q, rounds):
    """Medians of the wall-clock and the processor time, ms; the second one is what a loaded machine
    disturbs least."""
    f(q)  # warm up
    wall, cpu = [], []
    for _ in range(rounds):
        w0, c0 = time.perf_counter(), time.process_time()
        f(q)
        cpu.append(time.process_time() - c0)
        wall.append(time.perf_counter() - w0)
    return "%.6f %.6f" % (statistics.median(wall) * 1e3, statistics.median(cpu) * 1e3)


raw = open(p["outputs"], "rb").read()
offset = 0


def take(dtype, count):
    global offset
    a = np.frombuffer(raw, dtype=dtype, count=count, offset=offset)
    offset += a.nbytes
    return a


qc, qm, qp = p["curve"], p["map"], p["pattern"]
program_curves = [take(np.float64, qc["count"]) for _ in range(7)]
program_map = take(np.uint8, qm["width"] * qm["width"]).reshape(qm["width"], qm["width"])
m = qp["n"] + 1
program_lower = take(np.uint8, m * m).reshape(m, m)
program_upper = take(np.uint8, m * m).reshape(m, m)

series, _ = curve(qc)
curve_check = max(float(np.max(np.abs(a - b))) for a, b in zip(series, program_curves))
map_check = int(np.count_nonzero(defocus_map(qm) != program_map))
lower, upper = pattern(qp)
pattern_check = int(np.count_nonzero(lower != program_lower) + np.count_nonzero(upper != program_upper))

rounds = p.get("rounds", 101)
print("curve", median_ms(curve, qc, rounds), "largest_difference=%.3g" % curve_check)
print("map", median_ms(defocus_map, qm, max(rounds // 4, 5)), "differing_levels=%d" % map_check)
print("pattern", median_ms(pattern, qp, rounds), "differing_levels=%d" % pattern_check)
