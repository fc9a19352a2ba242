#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What a data centre checks of the readings files, read back through
python3-netCDF4, xarray and cdo: one row per kind of file, with and without
a position, each checked against every requirement.

    data_centre_check.py CLI CDO SAMPLES_DIR
"""
import os
import subprocess
import sys
import tempfile

import netCDF4
import numpy as np
import xarray as xr

POSITION = (54.18, 7.89)
TIME_VARIABLES = ("time", "temperature_time", "burst_start_time")
SCALAR_COORDINATES = ("lat", "lon", "z")


def going_back(samples, folder):
    """The gauge sample with a stamp a minute before the one it follows."""
    lines = open(os.path.join(samples, "gauge_t10_dump.txt"), newline="").read().split("\r\n")
    data = next(i for i, line in enumerate(lines) if i > 1 and line and line[0] != "Y")
    lines[data + 1:data + 1] = ["Y24,M03,D12,H08,M59,S00,"]
    path = os.path.join(folder, "back.txt")
    open(path, "w", newline="").write("\r\n".join(lines))
    return path


# name, dump, options, the station's name, readings left out for their time
def kinds(samples, folder):
    logger = os.path.join(samples, "logger_type2_dump.txt")
    gauge = os.path.join(samples, "gauge_t10_dump.txt")
    deployment = os.path.join(folder, "deployment.json")
    open(deployment, "w").write('{"station_id": "NP-1", "water_depth": 8, "sensor_height": 0.5}')
    return [
        ("logger", logger, [], "logger_type2_dump", 0),
        ("gauge", gauge, ["--units", "dbar"], "gauge_t10_dump", 0),
        ("gauge-unknown-units", gauge, [], "gauge_t10_dump", 0),
        ("gauge-deployment", gauge, ["--units", "dbar", "--deployment", deployment], "NP-1", 0),
        # The rest of the first burst, 24 readings, comes before 09:00:02.75.
        ("gauge-stamp-back", going_back(samples, folder), ["--units", "dbar"], "back", 24),
    ]


def check_station(nc, row, positioned):
    station = [v for v in nc.variables.values() if getattr(v, "cf_role", "") == "timeseries_id"]
    assert [v.name for v in station] == ["station"], station
    assert netCDF4.chartostring(station[0][:]) == row[3], netCDF4.chartostring(station[0][:])
    assert (getattr(nc, "featureType", None) == "timeSeries") == positioned
    if positioned:
        for name, axis, units, standard, value in (
                ("lat", "Y", "degrees_north", "latitude", POSITION[0]),
                ("lon", "X", "degrees_east", "longitude", POSITION[1])):
            v = nc[name]
            assert (v.axis, v.units, v.standard_name) == (axis, units, standard), v
            assert float(v[...]) == value, (name, v[...])
    else:
        assert "lat" not in nc.variables and "lon" not in nc.variables
    if "z" in nc.variables:
        assert nc["z"].axis == "Z" and nc["z"].positive in ("up", "down"), nc["z"]


def check_coordinates(nc, positioned):
    place = [n for n in ("lat", "lon", "z") if n in nc.variables]
    for v in nc.variables.values():
        on_time = v.dimensions == ("time",) and v.name != "time"
        if not (on_time or (positioned and v.dimensions == ("temperature_time",)
                            and v.name != "temperature_time")):
            continue
        named = v.coordinates.split()
        assert "station" in named, (v.name, named)
        wanted = place if on_time else ["lat", "lon"]
        assert all(n in named for n in wanted), (v.name, named)


def check_times(nc, left_out):
    for name in TIME_VARIABLES + SCALAR_COORDINATES:
        if name in nc.variables:
            values = np.ma.filled(nc[name][...].astype(float), np.nan)
            assert not np.isnan(values).any(), f"{name} holds NaN"
    for name in TIME_VARIABLES:
        if name in nc.variables:
            assert (np.diff(nc[name][:]) > 0).all(), f"{name} does not rise strictly"
    assert nc.readings_out_of_time_order == left_out, nc.readings_out_of_time_order


def check_xarray(path):
    for cftime in (True, False):
        ds = xr.open_dataset(path, use_cftime=cftime)
        ds.load()
        at = ds.time.values[len(ds.time) // 2]
        assert ds.sel(time=at).reading.size == 1
        assert ds.sel(time=slice(ds.time.values[1], ds.time.values[3])).time.size == 3
        if "burst_start_time" in ds:
            ds.sel(burst_start_time=ds.burst_start_time.values[0])
        ds.close()


def check_cdo(cdo, path):
    run = subprocess.run([cdo, "sinfo", path], capture_output=True, text=True)
    said = run.stdout + run.stderr
    assert run.returncode == 0 and "Warning" not in said and "Error" not in said, said


def main():
    cli, cdo, samples = sys.argv[1:4]
    checked = 0
    with tempfile.TemporaryDirectory() as folder:
        for row in kinds(samples, folder):
            for positioned in (False, True):
                out = os.path.join(folder, f"{row[0]}-{positioned}")
                where = ["--position", "%s,%s" % POSITION] if positioned else []
                subprocess.run([cli, "--format", "netcdf", "--tz", "Europe/Berlin", *row[2], *where,
                                "-o", out, row[1]], check=True, capture_output=True)
                path = os.path.join(out, os.path.splitext(os.path.basename(row[1]))[0] + ".nc")
                try:
                    with netCDF4.Dataset(path) as nc:
                        check_station(nc, row, positioned)
                        check_coordinates(nc, positioned)
                        check_times(nc, row[4])
                    check_xarray(path)
                    check_cdo(cdo, path)
                except AssertionError as failure:
                    sys.exit(f"{row[0]} {'with' if positioned else 'without'} a position: {failure}")
                checked += 1
    print(f"{checked} files meet every requirement")


if __name__ == "__main__":
    main()
