#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What a data centre checks of the readings files and the wave statistics'
files, read back through python3-netCDF4, xarray and cdo: one row per kind
of file, with and without a position, each checked against every
requirement.

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
# CF standard name table, version 83: the names the statistics' files use.
STANDARD_NAME_TABLE = 83
WAVE_NAMES = {
    "time", "latitude", "longitude", "depth", "height_above_sea_floor", "status_flag",
    "aggregate_quality_flag", "gross_range_test_quality_flag",
    "wave_frequency",
    "sea_surface_wave_significant_height",
    "sea_surface_wave_period_at_variance_spectral_density_maximum",
    "sea_surface_wave_frequency_at_variance_spectral_density_maximum",
    "sea_surface_wave_mean_period_from_variance_spectral_density_first_frequency_moment",
    "sea_surface_wave_mean_period_from_variance_spectral_density_second_frequency_moment",
    "sea_surface_wave_mean_period_from_variance_spectral_density_inverse_frequency_moment",
    "sea_surface_wave_significant_period",
    "sea_surface_wave_mean_height_of_highest_tenth",
    "sea_surface_wave_maximum_height",
    "sea_surface_wave_mean_height",
    "sea_surface_wave_mean_period",
    "sea_surface_wave_variance_spectral_density",
}


def going_back(samples, folder):
    """The gauge sample with a stamp a minute before the one it follows."""
    lines = open(os.path.join(samples, "gauge_t10_dump.txt"), newline="").read().split("\r\n")
    data = next(i for i, line in enumerate(lines) if i > 1 and line and line[0] != "Y")
    lines[data + 1:data + 1] = ["Y24,M03,D12,H08,M59,S00,"]
    path = os.path.join(folder, "back.txt")
    open(path, "w", newline="").write("\r\n".join(lines))
    return path


# name, dump, options, the station's name, readings left out for their time,
# and for the statistics' files: whether any spectrum lies on the grid
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


# The samples' segments are short: the nominal segment's Welch window (512
# readings for 20 minutes of a logger) leaves every spectrum off the grid,
# a window of 16 readings puts them on it.
def statistics_kinds(samples, folder):
    logger = os.path.join(samples, "logger_type2_dump.txt")
    gauge = os.path.join(samples, "gauge_t10_dump.txt")
    waves = ["--waves", "auto"]
    short = [*waves, "--welch-segment", "16"]
    return [
        ("statistics-logger", logger, waves, "logger_type2_dump", 0, False),
        ("statistics-logger-short-window", logger, short, "logger_type2_dump", 0, True),
        ("statistics-gauge", gauge, ["--units", "dbar", *short], "gauge_t10_dump", 0, True),
        ("statistics-gauge-pressure", gauge,
         ["--units", "dbar", "--pressure", "dbar", "--sensor-height", "0.5", *short],
         "gauge_t10_dump", 0, True),
        ("statistics-gauge-stamp-back", going_back(samples, folder), ["--units", "dbar", *short],
         "back", 24, True),
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


def check_statistics(nc, on_grid):
    assert nc["time"].bounds == "time_bnds" and nc["time_bnds"].dimensions == ("time", "nv")
    bounds = nc["time_bnds"][:]
    assert (bounds[:, 0] == nc["time"][:]).all() and (bounds[:, 1] >= bounds[:, 0]).all(), bounds
    frequency = nc["frequency"]
    assert frequency.dimensions == ("frequency",), frequency.dimensions
    assert (frequency.standard_name, frequency.units) == ("wave_frequency", "s-1"), frequency
    assert (np.diff(frequency[:]) > 0).all() and frequency[0] == 0.0, frequency[:]
    density = nc["S"]
    assert density.dimensions == ("time", "frequency"), density.dimensions
    rows = np.isnan(np.ma.filled(density[:], np.nan)).all(axis=1)
    flags = nc["segment_quality_control"][:]
    off_grid = (nc["segment_suspect_reasons"][:] & 32) != 0
    assert (rows == off_grid).all() and (flags[off_grid] == 3).all(), (rows, off_grid, flags)
    assert (not rows.all()) == on_grid, rows
    for v in nc.variables.values():
        if v.dimensions in (("time",), ("time", "frequency")) and v.dtype == np.float64 \
                and v.name != "time":
            assert v.cell_methods == "time: point", v.name
        if hasattr(v, "standard_name"):
            assert v.standard_name in WAVE_NAMES, (v.name, v.standard_name)
    for count in ("segment_samples", "segment_waves"):
        assert nc[count].units == "1" and nc[count].long_name, count
    assert f"v{STANDARD_NAME_TABLE}" in nc.standard_name_vocabulary, nc.standard_name_vocabulary
    assert "wave" in nc.title.lower() and nc.title != nc.summary, nc.title


def check_readings_hold_no_statistics(path):
    with netCDF4.Dataset(path) as nc:
        assert "segment" not in nc.dimensions and "frequency" not in nc.dimensions
        assert not {"hm0", "S", "frequency_of_segment"} & set(nc.variables), list(nc.variables)


def check_statistics_xarray(path):
    for cftime in (True, False):
        ds = xr.open_dataset(path, use_cftime=cftime)
        ds.load()
        assert ds.sel(time=ds.time.values[-1]).hm0.size == 1
        at = ds.frequency.values[len(ds.frequency) // 2]
        assert ds.S.sel(frequency=at).dims == ("time",)
        assert ds.S.sel(time=ds.time.values[0], frequency=at).size == 1
        ds.close()


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


def convert(cli, folder, row, positioned, formats="netcdf"):
    out = os.path.join(folder, f"{row[0]}-{positioned}")
    where = ["--position", "%s,%s" % POSITION] if positioned else []
    subprocess.run([cli, "--format", formats, "--tz", "Europe/Berlin", *row[2], *where,
                    "-o", out, row[1]], check=True, capture_output=True)
    return os.path.join(out, os.path.splitext(os.path.basename(row[1]))[0])


def check_readings(cli, cdo, folder, row, positioned):
    path = convert(cli, folder, row, positioned) + ".nc"
    with netCDF4.Dataset(path) as nc:
        check_station(nc, row, positioned)
        check_coordinates(nc, positioned)
        check_times(nc, row[4])
    check_xarray(path)
    check_cdo(cdo, path)


def check_statistics_file(cli, cdo, folder, row, positioned):
    name = convert(cli, folder, row, positioned)
    check_readings_hold_no_statistics(name + ".nc")
    path = name + ".waves.nc"
    with netCDF4.Dataset(path) as nc:
        check_station(nc, row, positioned)
        check_coordinates(nc, positioned)
        check_times(nc, row[4])
        check_statistics(nc, row[5])
    check_statistics_xarray(path)
    check_cdo(cdo, path)


def main():
    cli, cdo, samples = sys.argv[1:4]
    checked = 0
    with tempfile.TemporaryDirectory() as folder:
        rows = [(row, check_readings) for row in kinds(samples, folder)]
        rows += [(row, check_statistics_file) for row in statistics_kinds(samples, folder)]
        for row, check in rows:
            for positioned in (False, True):
                try:
                    check(cli, cdo, folder, row, positioned)
                except AssertionError as failure:
                    sys.exit(f"{row[0]} {'with' if positioned else 'without'} a position: {failure}")
                checked += 1
    print(f"{checked} files meet every requirement")


if __name__ == "__main__":
    main()
