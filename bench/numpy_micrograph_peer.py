#!/usr/bin/env python3
"""The micrograph spectrum of bench_micrograph written with numpy, as an independent yardstick for its
speed: the MRC file read, the periodograms of overlapping tapered tiles averaged (numpy's FFT,
float64, a row of tiles at a time), centred, and the box-filtered background of the amplitude taken
away, as the program does it. Reads the parameters as JSON on stdin and the program's spectrum from
the file named there; prints one line:
    spectrum <median wall ms> <median cpu ms> <check>
where check is the largest difference of numpy's periodogram from the program's, relative to the
program's mean."""
import json
import statistics
import sys
import time

import numpy as np

p = json.load(sys.stdin)
N = p["tile"]


def taper(n):
    w = np.ones(n)
    e = n // 8
    i = np.arange(e)
    w[:e] = 0.5 * (1 - np.cos(np.pi * (i + 0.5) / e))
    w[n - e:] = w[:e][::-1]
    return w


def origins(length, n):
    step = n // 2
    count = (length - n) // step + 1
    margin = (length - n - (count - 1) * step) // 2
    return margin + step * np.arange(count)


def box(a, half):
    """Box sums with wrap-around along both axes."""
    for axis in (0, 1):
        padded = np.concatenate([a.take(range(-half, 0), axis=axis), a, a.take(range(0, half), axis=axis)], axis=axis)
        c = np.cumsum(padded, axis=axis)
        c = np.concatenate([np.zeros_like(c.take([0], axis=axis)), c], axis=axis)
        n = a.shape[axis]
        a = c.take(range(2 * half + 1, 2 * half + 1 + n), axis=axis) - c.take(range(0, n), axis=axis)
    return a


def spectrum():
    image = np.fromfile(p["path"], dtype="<f4", offset=1024).reshape(p["height"], p["width"])
    w = taper(N)
    window = np.outer(w, w)
    xs, ys = origins(p["width"], N), origins(p["height"], N)
    total = np.zeros((N, N // 2 + 1))
    for y in ys:
        tiles = np.stack([image[y:y + N, x:x + N] for x in xs]).astype(np.float64)
        tiles -= tiles.mean(axis=(1, 2), keepdims=True)
        f = np.fft.rfft2(tiles * window)
        total += (f.real ** 2 + f.imag ** 2).sum(axis=0)
    total /= len(xs) * len(ys) * (w @ w) ** 2
    # Centred: kx >= 0 from the transform, the rest its mirror through the centre.
    full = np.empty((N, N))
    c = N // 2
    j = np.arange(N)
    full[:, c:] = total[(j - c) % N][:, :N - c]
    full[:, :c] = total[(c - j) % N][:, c - np.arange(c)]
    amplitude = np.sqrt(full)
    step = 1.0 / (N * p["pixel"])
    inner = p["background"] / step
    b = max(5, min(int(round(np.sqrt(2) * inner)) | 1, (N // 2) | 1))
    i = np.arange(N) - c
    cross = (np.abs(i)[None, :] <= 1) | (np.abs(i)[:, None] <= 1)
    weight = (~cross).astype(np.float64)
    background = box(amplitude * weight, b // 2) / box(weight, b // 2)
    rings = amplitude - background
    rings[(i[None, :] ** 2 + i[:, None] ** 2) <= inner * inner] = 0
    return full, rings


def median_ms(f, rounds):
    f()  # warm up
    wall, cpu = [], []
    for _ in range(rounds):
        w0, c0 = time.perf_counter(), time.process_time()
        f()
        cpu.append(time.process_time() - c0)
        wall.append(time.perf_counter() - w0)
    return "%.6f %.6f" % (statistics.median(wall) * 1e3, statistics.median(cpu) * 1e3)


program = np.fromfile(p["outputs"], dtype=np.float32).reshape(2, N, N)
power, rings = spectrum()
check = "largest_difference=%.3g,rings=%.3g" % (
    np.max(np.abs(power - program[0])) / np.mean(program[0]),
    np.max(np.abs(rings - program[1])) / np.mean(np.abs(program[1])))
print("spectrum", median_ms(spectrum, p.get("rounds", 5)), check)
