"""open_dataset and engine="zorq" give what the NetCDF output holds."""

import json
from pathlib import Path

import netCDF4
import numpy as np
import pytest
import xarray as xr

import zorqconvert
from conftest import GAUGE_SAMPLE, LOGGER_SAMPLE, logger_dump, run_cli

# Made when the file is written: they differ between any two runs.
PER_RUN_ATTRIBUTES = {"date_created", "date_modified", "date_issued", "date_metadata_modified",
                      "history"}
ENCODING_KEYS = ("chunksizes", "zlib", "shuffle", "complevel", "contiguous", "dtype",
                 "original_shape", "units", "calendar")

DEPLOYMENT = {"title": "Pier test", "site": "North pier", "latitude": 54.18,
              "longitude": 7.89, "instrument_serial": "ZQ-0042", "water_depth": 6.5,
              "creator": {"name": "A. Surveyor", "email": "a@example.org"}}

# (name, dump, command-line options, the same as keyword arguments)
SETTINGS = [
    ("logger", LOGGER_SAMPLE, ["--tz", "UTC"], {"tz": "UTC"}),
    ("gauge", GAUGE_SAMPLE, ["--tz", "UTC", "--units", "dbar"], {"tz": "UTC", "units": "dbar"}),
    ("pressure_units", GAUGE_SAMPLE, ["--tz", "Europe/Berlin", "--units", "kPa"],
     {"tz": "Europe/Berlin", "units": "kPa"}),
    ("clock", LOGGER_SAMPLE, ["--tz", "Europe/Berlin", "--clock-offset", "12.5",
                              "--clock-drift", "-30"],
     {"tz": "Europe/Berlin", "clock_offset": 12.5, "clock_drift": -30}),
    ("deployment", LOGGER_SAMPLE, ["--tz", "UTC", "--deployment", "{deployment}"],
     {"tz": "UTC", "deployment": "{deployment}"}),
    ("long_logger", "{long}", ["--tz", "UTC", "--clock-drift", "4"],
     {"tz": "UTC", "clock_drift": 4}),
]


def filled(value, places):
    return value.format(**places) if isinstance(value, str) else value


@pytest.fixture
def places(tmp_path):
    deployment = tmp_path / "deployment.json"
    deployment.write_text(json.dumps(DEPLOYMENT))
    return {"deployment": str(deployment),
            "long": str(logger_dump(tmp_path / "long.txt", minutes=90))}


def cli_netcdf(dump, options, tmp_path):
    out = tmp_path / "cli.nc"
    run_cli("--format", "netcdf", *options, dump, out)
    return out


def attributes(holder):
    return {name: holder.getncattr(name) for name in holder.ncattrs()}


def assert_same_attributes(ours, theirs, skip=frozenset()):
    assert set(ours) - skip == set(theirs) - skip
    for name in set(theirs) - skip:
        np.testing.assert_array_equal(ours[name], theirs[name], err_msg=name)


@pytest.mark.parametrize("name,dump,cli_options,kwargs", SETTINGS, ids=[s[0] for s in SETTINGS])
def test_every_variable_and_attribute_is_the_netcdf_outputs(name, dump, cli_options, kwargs,
                                                            places, tmp_path):
    dump = filled(str(dump), places)
    cli_options = [filled(option, places) for option in cli_options]
    kwargs = {key: filled(value, places) for key, value in kwargs.items()}
    raw = xr.open_dataset(dump, engine="zorq", decode_cf=False, all_series=True, **kwargs)
    with netCDF4.Dataset(cli_netcdf(dump, cli_options, tmp_path)) as nc:
        nc.set_auto_maskandscale(False)
        assert set(raw.variables) == set(nc.variables)
        assert dict(raw.sizes) == {n: len(d) for n, d in nc.dimensions.items()}
        assert_same_attributes(raw.attrs, attributes(nc), PER_RUN_ATTRIBUTES)
        for variable in nc.variables.values():
            ours = raw[variable.name]
            assert ours.dims == variable.dimensions, variable.name
            assert ours.dtype == variable.dtype, variable.name
            np.testing.assert_array_equal(ours.values, variable[:], err_msg=variable.name)
            assert_same_attributes(ours.attrs, attributes(variable))


@pytest.mark.parametrize("name,dump,cli_options,kwargs", SETTINGS[:4], ids=[s[0] for s in SETTINGS[:4]])
def test_decoded_dataset_and_encodings_match_xarrays_reading(name, dump, cli_options, kwargs,
                                                             places, tmp_path):
    ours = zorqconvert.open_dataset(dump, **kwargs)
    theirs = xr.open_dataset(cli_netcdf(dump, cli_options, tmp_path))
    for dataset in (ours, theirs):
        for attribute in PER_RUN_ATTRIBUTES:
            dataset.attrs.pop(attribute, None)
    xr.testing.assert_identical(ours, theirs)
    for variable in theirs.variables:
        for key in ENCODING_KEYS:
            assert ours[variable].encoding.get(key) == theirs[variable].encoding.get(key), \
                (variable, key)
    assert ours.encoding["unlimited_dims"] == theirs.encoding["unlimited_dims"]


def test_file_object_reads_as_the_path(places):
    by_path = zorqconvert.open_dataset(places["long"], tz="UTC")
    with open(places["long"], "rb") as dump:
        by_object = zorqconvert.open_dataset(dump, tz="UTC")
    xr.testing.assert_equal(by_path, by_object)


def test_position_places_the_readings(places):
    dataset = zorqconvert.open_dataset(LOGGER_SAMPLE, tz="UTC", position=(54.5, 7.25))
    assert float(dataset.lat) == 54.5 and float(dataset.lon) == 7.25
    assert "lat" in dataset.coords


def test_readings_are_the_modules_own_arrays(places):
    reading = zorqconvert.open_dataset(places["long"], tz="UTC")["reading"].variable._data
    array = np.asarray(reading)
    # NumPy owns no copy: the buffer belongs to the store's capsule.
    assert not array.flags.owndata


def test_engine_is_guessed_from_the_header(places, tmp_path):
    assert xr.open_dataset(places["long"], tz="UTC").sizes["time"] == 90 * 240
    not_a_dump = tmp_path / "notes.txt"
    not_a_dump.write_text("meeting notes\n" * 20)
    backend = xr.backends.list_engines()["zorq"]
    assert backend.guess_can_open(places["long"])
    assert not backend.guess_can_open(str(not_a_dump))
    assert not backend.guess_can_open(str(tmp_path / "missing.txt"))


def gauge_dump(path, day):
    Path(path).write_bytes(GAUGE_SAMPLE.read_bytes().replace(b"D12,", b"D%02d," % day))
    return path


# (kind, the dumps of one deployment, given out of order, and their order)
DEPLOYMENTS = [
    ("logger", lambda folder: [logger_dump(folder / f"part{hour}.txt", day=14, hour=hour,
                                           minutes=30, wave_period=4.0 + hour)
                               for hour in (3, 1, 2)]),
    ("gauge", lambda folder: [gauge_dump(folder / f"part{day}.txt", day) for day in (16, 14, 15)]),
]


@pytest.mark.parametrize("kind,make", DEPLOYMENTS, ids=[d[0] for d in DEPLOYMENTS])
def test_open_mfdataset_as_written_gives_one_rising_time_axis(kind, make, tmp_path):
    paths = make(tmp_path)
    combined = xr.open_mfdataset(str(tmp_path / "*.txt"), engine="zorq", combine="by_coords",
                                 parallel=True, tz="UTC")
    parts = [zorqconvert.open_dataset(paths[i], tz="UTC") for i in (1, 2, 0)]
    times = combined["time"].values
    assert len(times) == sum(part.sizes["time"] for part in parts)
    assert np.all(np.diff(times) > np.timedelta64(0, "ns"))
    for name, variable in combined.data_vars.items():
        assert variable.dims == ("time",), name
        np.testing.assert_array_equal(variable.values,
                                      np.concatenate([p[name].values for p in parts]))


def test_engine_leaves_out_only_the_series_on_axes_of_their_own():
    for dump, own_axes in ((LOGGER_SAMPLE, {"temperature_time"}),
                           (GAUGE_SAMPLE, {"temperature_time", "burst_start_time"})):
        everything = zorqconvert.open_dataset(dump, tz="UTC")
        readings = xr.open_dataset(dump, engine="zorq", tz="UTC")
        left_out = {name for name, variable in everything.variables.items()
                    if own_axes & set(variable.dims)}
        assert "temperature" in left_out and own_axes <= left_out
        assert set(readings.variables) == set(everything.variables) - left_out
        assert set(readings.dims) == set(everything.dims) - own_axes
        for dataset in (everything, readings):
            for attribute in PER_RUN_ATTRIBUTES:
                dataset.attrs.pop(attribute, None)
        xr.testing.assert_identical(readings, everything.drop_vars(left_out))
