"""convert() and wave_statistics() against the command line's own."""

import json

import numpy as np
import pytest
import xarray as xr

import zorqconvert
from conftest import GAUGE_SAMPLE, LOGGER_SAMPLE, logger_dump, run_cli
from test_dataset import PER_RUN_ATTRIBUTES

# The report's fields that say what the conversion read and wrote.
REPORT_FIELDS = ("from_type", "to_type", "status", "message", "exit", "cancelled", "lines_read",
                 "comma_lines_skipped", "short_lines_skipped", "date_stamp_lines",
                 "records_written", "bytes_read", "bytes_written", "torn_record_bytes",
                 "first_record_time", "last_record_time", "failure", "anomalies",
                 "anomaly_counts", "detected", "header", "tz", "partial_outputs")

CONVERSIONS = [
    ("logger", LOGGER_SAMPLE, {}, []),
    ("gauge", GAUGE_SAMPLE, {}, []),
    ("corrected", LOGGER_SAMPLE, {"gain": 1.5, "offset": -0.25},
     ["--gain", "1.5", "--offset", "-0.25"]),
]


@pytest.mark.parametrize("name,dump,kwargs,options", CONVERSIONS, ids=[c[0] for c in CONVERSIONS])
def test_convert_writes_and_reports_as_the_command_line(name, dump, kwargs, options, tmp_path):
    ours, theirs = tmp_path / "ours.csv", tmp_path / "theirs.csv"
    report = zorqconvert.convert(dump, ours, tz="UTC", **kwargs)
    cli = json.loads(run_cli("--json", "--tz", "UTC", *options, dump, theirs).stdout)
    assert ours.read_bytes() == theirs.read_bytes()
    for field in REPORT_FIELDS:
        assert report[field] == cli[field], field


def test_trimming_and_flag_counts_are_reported_as_by_the_command_line(tmp_path):
    # The sample from its fifth reading to its third last, and a spike test.
    times = zorqconvert.open_dataset(LOGGER_SAMPLE, tz="UTC").time.values
    deployment = tmp_path / "deployment.json"
    deployment.write_text(json.dumps({
        "deployed": np.datetime_as_string(times[4], unit="ms") + "Z",
        "recovered": np.datetime_as_string(times[-3], unit="ms") + "Z",
        "qc": {"reading": {"spike_test": {"suspect_threshold": 0.5, "fail_threshold": 1.0}}}}))
    options = zorqconvert._reading_options("UTC", None, None, None, None, deployment, None, False)
    report, _ = zorqconvert._run(LOGGER_SAMPLE, options, netcdf=True, waves=False)
    cli = json.loads(run_cli("--json", "--tz", "UTC", "--format", "netcdf", "--deployment",
                             deployment, LOGGER_SAMPLE, tmp_path / "cli.csv").stdout)
    assert report["trimmed"] == cli["trimmed"]
    assert set(report["trimmed"]) == {"before_deployment", "after_recovery"}
    assert report["trimmed"]["before_deployment"] == 4
    assert report["qc_flag_counts"] == cli["qc_flag_counts"]
    assert "spike_test_quality_flag" in report["qc_flag_counts"]


def test_convert_refuses_an_existing_output_unless_told(tmp_path):
    out = tmp_path / "out.csv"
    out.write_text("keep me")
    with pytest.raises(zorqconvert.ConversionError) as raised:
        zorqconvert.convert(LOGGER_SAMPLE, out)
    assert raised.value.status == 1 and out.read_text() == "keep me"
    zorqconvert.convert(LOGGER_SAMPLE, out, append=True)
    assert out.read_text().startswith("keep me") and len(out.read_text()) > len("keep me")


# (name, dump maker, keyword arguments, the same as command-line options)
STATISTICS = [
    ("logger_segments", "long", {"segment": 600, "welch_segment": 256, "band": (0.05, 0.5)},
     ["--segment", "600", "--welch-segment", "256", "--band", "0.05:0.5"]),
    ("gauge_pressure", "gauge",
     {"pressure": "dbar", "sensor_height": 0.5, "atmospheric": 0.1, "density": 1020,
      "kp_min": 0.2},
     ["--pressure", "dbar", "--sensor-height", "0.5", "--atmospheric", "0.1", "--density",
      "1020", "--kp-min", "0.2"]),
]


@pytest.mark.parametrize("name,dump,kwargs,options", STATISTICS, ids=[s[0] for s in STATISTICS])
def test_wave_statistics_are_the_command_lines(name, dump, kwargs, options, tmp_path):
    path = logger_dump(tmp_path / "long.txt", minutes=50) if dump == "long" else GAUGE_SAMPLE
    ours = zorqconvert.wave_statistics(path, tz="UTC", **kwargs)
    out = tmp_path / "cli.nc"
    run_cli("--format", "netcdf", "--tz", "UTC", "--waves", tmp_path / "w.csv", *options, path,
            out)
    theirs = xr.open_dataset(tmp_path / "cli.waves.nc")
    assert sorted(ours.variables) == sorted(theirs.variables)
    assert ours.sizes["time"] > 0
    for variable in theirs.variables:
        xr.testing.assert_identical(ours[variable].variable, theirs[variable].variable)


def test_wave_statistics_of_an_opened_dataset_use_its_dump_and_settings(tmp_path):
    path = logger_dump(tmp_path / "long.txt", minutes=45)
    dataset = zorqconvert.open_dataset(path, tz="Europe/Berlin", clock_offset=30)
    from_dataset = zorqconvert.wave_statistics(dataset, segment=900)
    from_path = zorqconvert.wave_statistics(path, tz="Europe/Berlin", clock_offset=30,
                                            segment=900)
    for statistics in (from_dataset, from_path):
        for attribute in PER_RUN_ATTRIBUTES:
            statistics.attrs.pop(attribute)
    xr.testing.assert_identical(from_dataset, from_path)
    assert from_dataset.sizes["time"] == 3
    with pytest.raises(ValueError):
        zorqconvert.wave_statistics(xr.Dataset())
