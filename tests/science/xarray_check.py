#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A real client reads our NetCDF output: xarray decodes the times, which
must agree with the stamps of the legacy CSV written in the same run, and
the readings with its values.

    xarray_check.py CLI SAMPLES_DIR
"""
import os
import subprocess
import sys
import tempfile

import numpy as np
import pandas as pd
import xarray as xr

ZONE = "Europe/Berlin"


def convert(cli, dump, folder, *extra):
    subprocess.run([cli, "--format", "legacy,netcdf", "--tz", ZONE, *extra, "-o", folder, dump],
                   check=True, capture_output=True)
    stem = os.path.splitext(os.path.basename(dump))[0]
    return os.path.join(folder, stem + ".csv"), os.path.join(folder, stem + ".nc")


def local(stamps):
    """Legacy stamps (the dump's wall clock) as UTC instants."""
    return pd.to_datetime(stamps).tz_localize(ZONE).tz_convert("UTC").tz_localize(None)


def check_logger(cli, samples, folder):
    csv, nc = convert(cli, os.path.join(samples, "logger_type2_dump.txt"), folder)
    stamps, values = [], []
    for line in open(csv, newline=""):
        fields = line.rstrip("\r\n").split(",")
        if fields[0] != "f001":
            continue
        stamps.append(fields[3])
        values += [float(v) for v in fields[4:] if not v.startswith("-101.00")]
    ds = xr.open_dataset(nc)
    assert np.issubdtype(ds.time.dtype, np.datetime64), ds.time.dtype
    assert ds.reading.attrs["units"] == "m"
    readings = ds.reading.values[: len(values)]
    worst = np.max(np.abs(readings - np.array(values)))
    assert worst <= 0.5e-4 + 1e-12, f"logger readings differ from the CSV by {worst}"
    # 4 Hz: each record of 60 readings spans 15 whole seconds, so its stamp
    # is the time of its first reading.
    firsts = pd.DatetimeIndex(ds.time.values[::60][: len(stamps)])
    want = local(stamps)
    assert (firsts == want).all(), f"record times {list(firsts)} != stamps {list(want)}"
    # Within a stamp, 0.25 s apart. The file holds them exactly; xarray
    # multiplies the seconds by 1e9 as doubles, which lands up to 256 ns off
    # this far from 1970, and rounding to the microsecond (docs/outputs.md)
    # gives them back exactly.
    steps = np.diff(ds.time.values).astype("timedelta64[ns]").astype(np.int64)
    within = steps[steps < 10**9]
    assert len(within) > 200 and (np.abs(within - 250_000_000) < 1000).all(), within
    rounded = np.diff(ds.time.dt.round("us").values).astype("timedelta64[ns]").astype(np.int64)
    assert (rounded[rounded < 10**9] == 250_000_000).all(), rounded
    return len(readings)


def check_gauge(cli, samples, folder):
    csv, nc = convert(cli, os.path.join(samples, "gauge_t10_dump.txt"), folder, "--units", "dbar")
    stamps, values, counts = [], [], []
    for line in open(csv, newline=""):
        line = line.rstrip("\r\n")
        if line.startswith("D1,C8,"):
            stamps.append(line[6:])
            counts.append(0)
        elif line.startswith("D1,C9,"):
            stamps[-1] += "T" + line[6:]
        elif line.startswith("D1,C1,"):
            values.append(float(line[6:]))
            counts[-1] += 1
    ds = xr.open_dataset(nc)
    worst = np.max(np.abs(ds.reading.values - np.array(values)))
    assert worst <= 0.5e-6 + 1e-12, f"gauge readings differ from the CSV by {worst}"
    starts = ds.burst_start_time
    assert (pd.DatetimeIndex(starts.values) == local(stamps)).all(), (starts.values, stamps)
    per_burst = ds.reading.groupby(ds.burst).count()
    assert list(per_burst.values) == counts, (per_burst.values, counts)
    return len(values)


def main():
    cli, samples = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as folder:
        logger = check_logger(cli, samples, os.path.join(folder, "logger"))
        gauge = check_gauge(cli, samples, os.path.join(folder, "gauge"))
    print(f"xarray read {logger} logger and {gauge} gauge readings that agree with the legacy CSVs")


if __name__ == "__main__":
    main()
