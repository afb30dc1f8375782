#!/usr/bin/python3
"""Times scipy's Savitzky-Golay filter + find_peaks on the profiles of
bench/bench_peak_search.cpp (same formula, same pseudo-random noise), for comparison
with that benchmark on the same machine. Run by hand:  /usr/bin/python3 bench/compare_scipy.py
"""
import math
import timeit

import numpy as np
from scipy.signal import find_peaks, savgol_filter

N_PEAKS = 150


def lcg_noise(n):
    out = np.empty(n)
    x = 12345
    for i in range(n):
        x = (1103515245 * x + 12345) % 2147483648
        out[i] = x / 2147483648.0 - 0.5
    return out


def bench_profile(n, step):
    start = 5.0
    span = step * (n - 1)
    x = start + step * np.arange(n)
    y = 5.0 + lcg_noise(n)
    for m in range(N_PEAKS):
        c = start + (m + 0.5) * span / N_PEAKS + 0.37 * step
        sigma = 0.02 + 0.02 * ((m * 7) % 5) / 5.0
        height = 20 + (m * 37) % 80
        u = (x - c) / sigma
        y += np.where(np.abs(u) < 10, height * np.exp(-0.5 * u * u), 0.0)
    return x.astype(np.float32), y.astype(np.float32)


def search(x, y, step):
    s = savgol_filter(y, 13, 2, mode="nearest")
    d = savgol_filter(s, 13, 2, deriv=2, mode="nearest")
    d = d * (100.0 / np.max(np.abs(d)))
    peaks, _ = find_peaks(-d, height=2.0, width=(0.03 / step, 1.0 / step))
    return peaks


for n, step in ((30000, 0.004), (130000, 0.001)):
    x, y = bench_profile(n, step)
    runs = 50
    t = timeit.timeit(lambda: search(x, y, step), number=runs) / runs
    print(f"{n:7d} points: {t * 1e3:8.3f} ms per smoothing + derivative + find_peaks, "
          f"{len(search(x, y, step))} peaks")
