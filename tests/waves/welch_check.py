#!/usr/bin/env python3
# Our Welch spectrum against scipy.signal.welch on the same detrended series:
#   welch_check.py TOOL
# Fails (exit 1) when a density differs by more than 1e-9 of the largest.
import subprocess
import sys

import numpy as np
import scipy.signal


def check(tool, series, rate, length=None):
    text = "\n".join(repr(float(v)) for v in series) + "\n"
    args = [tool, str(rate)] + ([str(length)] if length else [])
    out = subprocess.run(args, input=text, capture_output=True, text=True, check=True).stdout
    ours = np.array([[float(x) for x in line.split()] for line in out.splitlines()])
    nperseg = length if length else len(ours) * 2 - 2
    detrended = scipy.signal.detrend(series, type="linear")
    f, psd = scipy.signal.welch(detrended, fs=rate, window="hann", nperseg=nperseg,
                                noverlap=nperseg // 2, detrend="constant", scaling="density")
    if ours.shape != (len(f), 2):
        print(f"rate {rate}, length {length}: {ours.shape[0]} bins, scipy {len(f)}")
        return False
    worst = max(np.max(np.abs(ours[:, 0] - f)), np.max(np.abs(ours[:, 1] - psd)) / np.max(psd))
    print(f"rate {rate} Hz, {len(series)} readings, window {nperseg}: largest difference {worst:.2e}")
    return worst < 1e-9


def main():
    tool = sys.argv[1]
    rng = np.random.default_rng(20261208)
    t = np.arange(4801) / 4.0
    swell = 0.4 * np.sin(2 * np.pi * t / 11.0) + 0.1 * np.cos(2 * np.pi * t / 3.3)
    series = 5.0 + 0.001 * t + swell + rng.normal(0.0, 0.05, t.size)
    ok = check(tool, series, 4.0)          # the default window: 512
    ok &= check(tool, series, 4.0, 300)    # an even length that is no power of two
    ok &= check(tool, series[:1001], 2.0, 255)  # an odd length
    sys.exit(0 if ok else 1)


main()
