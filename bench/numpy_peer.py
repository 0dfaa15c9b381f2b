#!/usr/bin/env python3
"""The three computations of bench_peer written with numpy (float64, whole arrays at a time), as an
independent yardstick for their speed, each also with the optional terms (amplitude contrast, phase
shift, B-factor, C5, the azimuths of the astigmatism; the pattern then over its whole grid). Reads the parameters as JSON on stdin and the program's own
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


def terms(q):
    """The optional terms of a computation's parameters, 0 when not given."""
    return {name: q.get(name, 0.0) for name in ("q", "phase", "b", "c5", "a2azimuth", "a3azimuth")}


def phase_offset(t):
    return np.arcsin(t["q"]) + t["phase"]


def c5_phase(t, k2):
    return np.pi / 3 * t["c5"] * LAM ** 5 * (k2 * k2 * k2)


def turned_astigmatism(q, t, kx, ky):
    c2, s2 = np.cos(2 * t["a2azimuth"]), np.sin(2 * t["a2azimuth"])
    c3, s3 = np.cos(3 * t["a3azimuth"]), np.sin(3 * t["a3azimuth"])
    return ((c2 * (ky * ky - kx * kx) - 2 * s2 * kx * ky) * q["a2"] * LAM / 2
            + LAM * LAM * q["a3"] * (c3 * ky * (ky * ky - 3 * kx * kx) + s3 * kx * (kx * kx - 3 * ky * ky)) / 3)


def envelopes(t, k2, defocus):
    """Et Es of the round phase with the B-factor and C5's share of the gradient."""
    u = CS_LAMBDA2 * k2 + t["c5"] * LAM ** 4 * (k2 * k2) + defocus
    return np.exp(TEMPORAL * (k2 * k2) - t["b"] / 4 * k2), np.exp(SPATIAL * k2 * (u * u))


def grey(c):
    return np.clip(np.rint(255.0 * np.exp(c * c) / E), 94, 255).astype(np.uint8)


def curve(q):
    n, count, defocus = q["n"], q["count"], q["defocus"]
    k = np.arange(count) * q["upTo"] / n
    t = np.tan(q["direction"])
    kx = k * (1 / np.sqrt(t * t + 1))
    ky = t * kx
    k2 = kx * kx + ky * ky
    t = terms(q)
    chi = (CHI_CS * k2 * k2 + CHI_DF * defocus * k2 + turned_astigmatism(q, t, kx, ky) + c5_phase(t, k2)
           - phase_offset(t))
    ctf = np.sin(chi)
    et, es = envelopes(t, k * k, defocus)
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
    t = terms(q)
    chi = CHI_DF * df * k2 + CHI_CS * (k2 * k2) + c5_phase(t, k2) - phase_offset(t)
    et, es = envelopes(t, k2, df)
    return grey(np.sin(chi) * et * es)


def pattern(q):
    n, step, centre, rng, defocus = q["n"], q["step"], q["centre"], q["range"], q["defocus"]
    k = np.arange(n + 1) * step * rng / (centre - 1)
    t = terms(q)

    def quarter(kx, ky):
        k2 = kx * kx + ky * ky
        chi = (CHI_CS * k2 * k2 + CHI_DF * defocus * k2 + turned_astigmatism(q, t, kx, ky) + c5_phase(t, k2)
               - phase_offset(t))
        et, es = envelopes(t, k2, defocus)
        return grey(np.sin(chi) * et * es)

    right, below = k[:, np.newaxis], k[np.newaxis, :]
    halves = [quarter(right, below), quarter(right, -below)]
    if t["a2azimuth"] != 0 or t["a3azimuth"] != 0:  # no mirror: the left half too
        halves += [quarter(-right, below), quarter(-right, -below)]
    return halves


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


def run(suffix):
    qc, qm, qp = p["curve" + suffix], p["map" + suffix], p["pattern" + suffix]
    program_curves = [take(np.float64, qc["count"]) for _ in range(7)]
    program_map = take(np.uint8, qm["width"] * qm["width"]).reshape(qm["width"], qm["width"])
    m = qp["n"] + 1
    grids = pattern(qp)
    program_grids = [take(np.uint8, m * m).reshape(m, m) for _ in grids]

    series, _ = curve(qc)
    curve_check = max(float(np.max(np.abs(a - b))) for a, b in zip(series, program_curves))
    map_check = int(np.count_nonzero(defocus_map(qm) != program_map))
    pattern_check = sum(int(np.count_nonzero(a != b)) for a, b in zip(grids, program_grids))

    rounds = p.get("rounds", 101)
    print("curve" + suffix, median_ms(curve, qc, rounds), "largest_difference=%.3g" % curve_check)
    print("map" + suffix, median_ms(defocus_map, qm, max(rounds // 4, 5)), "differing_levels=%d" % map_check)
    print("pattern" + suffix, median_ms(pattern, qp, rounds), "differing_levels=%d" % pattern_check)


run("")
run("Terms")
