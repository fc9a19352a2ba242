"""Wave-instrument flash dumps, read straight into xarray.

The dump goes through the converter's own engine and conversion job: the
Dataset holds the variables, attributes and encodings the NetCDF output
(``zorqconvert-cli --format netcdf``) holds for the same dump and settings.
"""

import os

import numpy
import xarray

from . import _zorqconvert

__all__ = ["ConversionError", "open_dataset", "convert", "wave_statistics"]

# The statistics' dimensions in the NetCDF output (waves/wave_netcdf.cpp).
# The readings' settings that wave_statistics takes again from a Dataset
# this module opened.
_OPTIONS_ENCODING = "zorq_options"
# The writers' times, which are decoded in place (see _decode_times_in_place).
_EPOCH_SECONDS = "seconds since 1970-01-01T00:00:00Z"
# The readings' time axis; the temperatures and burst starts have their own.
_READINGS_AXIS = "time"
# Times decoded at once: the block's product stays in the processor's cache.
_DECODE_BLOCK = 1 << 16


class ConversionError(Exception):
    """A dump that did not convert: the engine's status and where it stopped."""

    def __init__(self, message, *, status=None, line=None, byte=None, path=None, report=None):
        super().__init__(message)
        self.message = message
        self.status = status
        self.line = line
        self.byte = byte
        self.path = path
        # The whole report, as convert() returns it for a finished run.
        self.report = report


def _source(path):
    """The engine's input: a path, or the bytes of a binary file object."""
    if hasattr(path, "read"):
        data = path.read()
        if not isinstance(data, bytes):
            raise TypeError("the file object must be opened in binary mode")
        return data, str(getattr(path, "name", "<bytes>"))
    if isinstance(path, (bytes, bytearray)):
        return bytes(path), "<bytes>"
    return os.fspath(path), ""


def _pair(value, name):
    if value is None:
        return None
    low, high = value
    return float(low), float(high)


def _reading_options(tz, clock_offset, clock_drift, units, position, deployment, from_type,
                     lf_line_ends):
    return {
        "tz": tz,
        "clock_offset": None if clock_offset is None else float(clock_offset),
        "clock_drift": None if clock_drift is None else float(clock_drift),
        "units": units,
        "position": _pair(position, "position"),
        "deployment": None if deployment is None else os.fspath(deployment),
        "from_type": from_type,
        "lf_line_ends": bool(lf_line_ends),
    }


def _raise_for(report):
    if report["cancelled"]:
        raise KeyboardInterrupt
    if report["status"] is None:
        raise ValueError(report["message"])
    if report["status"] != _zorqconvert.STATUS_FINISHED:
        failure = report["failure"] or {}
        raise ConversionError(
            f"{report['from']}: {report['message']}: {failure.get('reason', '')}",
            status=report["status"], line=failure.get("line"), byte=failure.get("byte"),
            path=report["from"], report=report)


def _run(path, options, *, netcdf, waves):
    source, name = _source(path)
    report, contents = _zorqconvert.run(source, name, options, netcdf, waves)
    _raise_for(report)
    return report, contents


def _raw_dataset(contents, keep=None):
    variables = {}
    for entry in contents["variables"]:
        if keep is not None and not keep(entry):
            continue
        variables[entry["name"]] = xarray.Variable(entry["dims"], entry["data"], entry["attrs"],
                                                   entry["encoding"])
    return xarray.Dataset(variables, attrs=contents["attrs"])


def _seconds_to_datetime_in_place(seconds):
    """The float seconds since 1970 as datetime64[ns] in the same buffer,
    computed as xarray decodes them (seconds * 1e9, cut to a whole number)."""
    nanoseconds = seconds.view(numpy.int64)
    product = numpy.empty(min(len(seconds), _DECODE_BLOCK))
    with numpy.errstate(invalid="ignore"):
        for start in range(0, len(seconds), _DECODE_BLOCK):
            block = slice(start, start + _DECODE_BLOCK)
            count = len(seconds[block])
            numpy.multiply(seconds[block], 1e9, out=product[:count])
            nanoseconds[block] = product[:count].astype(numpy.int64)
    return nanoseconds.view("datetime64[ns]")


def _decode_times_in_place(raw, decoders):
    """Decodes the series' times into their own buffers: xarray's decoding
    would hold the seconds, its temporaries and the times at once."""
    if not decoders.get("decode_times", True) or decoders.get("use_cftime"):
        return raw
    for name, variable in list(raw.variables.items()):
        attrs = dict(variable.attrs)
        if (attrs.get("units") != _EPOCH_SECONDS or attrs.get("calendar") != "standard"
                or "_FillValue" in attrs or variable.dtype != numpy.float64
                or variable.ndim != 1):
            continue
        bounds = attrs.get("bounds")
        if bounds in raw.variables and "units" not in raw[bounds].attrs:
            # CF bounds take their time's units; xarray's decoding of them
            # looks for those on the time, whose units move to its encoding.
            raw[bounds].attrs.update(units=attrs["units"], calendar=attrs["calendar"])
        encoding = dict(variable.encoding, units=attrs.pop("units"),
                        calendar=attrs.pop("calendar"))
        times = _seconds_to_datetime_in_place(variable.values)
        raw[name] = xarray.Variable(variable.dims, times, attrs, encoding)
    return raw


def _unlimited(contents):
    return set(contents["unlimited_dims"])


def _decoded(raw, contents, source, options, decoders):
    dataset = xarray.decode_cf(_decode_times_in_place(raw, decoders), **decoders)
    dataset.encoding = {"unlimited_dims": _unlimited(contents), _OPTIONS_ENCODING: options}
    if source:
        dataset.encoding["source"] = source
    return dataset


def _series_on_axes_of_their_own(raw):
    """The temperatures and burst starts with their time axes: every
    variable on a dimension, other than the readings' time, that has a
    coordinate of its own."""
    axes = {dim for dim in raw.dims if dim != _READINGS_AXIS and dim in raw.variables}
    return {name for name, variable in raw.variables.items() if axes & set(variable.dims)}


def _open(path, options, decoders, all_series):
    _, contents = _run(path, options, netcdf=True, waves=False)
    raw = _raw_dataset(contents)
    if not all_series:
        raw = raw.drop_vars(_series_on_axes_of_their_own(raw))
    source = os.fspath(path) if isinstance(path, (str, os.PathLike)) else ""
    return _decoded(raw, contents, source, options, decoders)


def open_dataset(path, *, tz=None, clock_offset=None, clock_drift=None, units=None,
                 position=None, deployment=None, from_type=None, lf_line_ends=False,
                 decoders=None):
    """The dump at ``path`` (or a binary file object) as an xarray.Dataset.

    ``tz`` is the zone the instrument's clock was set in (default: $TZ, else
    the system's); ``clock_offset`` and ``clock_drift`` correct its clock in
    seconds; ``units`` are the readings'; ``position`` is (latitude,
    longitude); ``deployment`` a deployment file; ``from_type`` 1, 2 or 3
    when the header cannot tell; ``lf_line_ends`` reads each LF as CR LF.
    Raises ConversionError when the dump does not convert, ValueError when
    its kind cannot be told or a setting is wrong.
    """
    options = _reading_options(tz, clock_offset, clock_drift, units, position, deployment,
                               from_type, lf_line_ends)
    return _open(path, options, decoders or {}, all_series=True)


def convert(from_path, to_path, *, from_type=None, to_type=None, gain=None, offset=None,
            append=False, overwrite=False, tz=None, lf_line_ends=False):
    """Writes the legacy CSV of the dump at ``from_path`` to ``to_path``.

    Returns the report (the fields of ``zorqconvert-cli --json``) as a dict;
    raises ConversionError when the dump does not convert.
    """
    options = {
        "to": os.fspath(to_path), "from_type": from_type, "to_type": to_type,
        "gain": None if gain is None else float(gain),
        "offset": None if offset is None else float(offset),
        "append": bool(append), "overwrite": bool(overwrite), "tz": tz,
        "lf_line_ends": bool(lf_line_ends),
    }
    report, _ = _run(from_path, options, netcdf=False, waves=False)
    return report


def wave_statistics(path_or_dataset, *, segment=None, welch_segment=None, band=None,
                    pressure=None, sensor_height=None, atmospheric=None, density=None,
                    kp_min=None, **reading_options):
    """The wave statistics of a dump as the statistics' Dataset.

    ``path_or_dataset`` is a dump (path or binary file object) or a Dataset
    this module opened, whose dump and settings are used again. The
    statistics are those of ``zorqconvert-cli --waves`` with ``--segment``,
    ``--welch-segment``, ``--band FMIN:FMAX``, ``--pressure UNIT``,
    ``--sensor-height``, ``--atmospheric``, ``--density`` and ``--kp-min``.
    """
    if isinstance(path_or_dataset, xarray.Dataset):
        encoding = path_or_dataset.encoding
        if _OPTIONS_ENCODING not in encoding or "source" not in encoding:
            raise ValueError("the Dataset was not opened from a dump file by zorqconvert")
        path = encoding["source"]
        options = dict(encoding[_OPTIONS_ENCODING])
    else:
        path = path_or_dataset
        options = _reading_options(**{**_reading_defaults(), **reading_options})
    options.update({
        "segment": segment, "welch_segment": welch_segment, "band": _pair(band, "band"),
        "pressure": pressure, "sensor_height": sensor_height, "atmospheric": atmospheric,
        "density": density, "kp_min": kp_min,
    })
    _, contents = _run(path, options, netcdf=False, waves=True)
    raw = _raw_dataset(contents)
    source = path if isinstance(path, (str, os.PathLike)) else ""
    return _decoded(raw, contents, os.fspath(source) if source else "", options, {})


def _reading_defaults():
    return {"tz": None, "clock_offset": None, "clock_drift": None, "units": None,
            "position": None, "deployment": None, "from_type": None, "lf_line_ends": False}
