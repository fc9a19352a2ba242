"""The xarray backend ``engine="zorq"``: a dump opened as the NetCDF output
would be, through zorqconvert.open_dataset.

A dump given by its path is read lazily: its series (the variables on a
time axis, not the axes themselves, which xarray needs as indexes) are
read when their values are asked for. The opening converts the dump once
and keeps the series in a small per-process cache; a process that lacks
them (a Dask worker other than the one that opened the dump) converts the
dump again. So ``open_mfdataset(parallel=True)`` sends the client the axes
and attributes only, and each series is made where its chunk is computed.

By default the engine gives the readings' series alone, on their one time
axis: the temperatures and burst starts, on time axes of their own, would
make ``open_mfdataset(combine="by_coords")`` spread every reading over
their axes as well. ``all_series=True`` gives them too."""

import collections
import os
import threading

import numpy
import xarray
from xarray.backends import BackendArray, BackendEntrypoint
from xarray.core import indexing

# A dump's header starts with a "Y" and is at least this long (the engine's
# LookAtHeader); the look is the engine's own.
_HEADER_BYTES = 1024
_DUMP_SUFFIXES = (".txt", ".dat", ".dump")
# Dumps whose series a process keeps: a 200 MB dump's series are some
# 400 MB, and a deployment's dumps are read one after the other.
_CACHED_DUMPS = 2


class DumpChangedError(OSError):
    """The dump is no longer the file that was opened: its series would not
    fit the axes read then."""


def _dump_key(path, options):
    """What a dump's series depend on: the file as it was, and the settings."""
    status = os.stat(path)
    return (path, status.st_size, status.st_mtime_ns, tuple(sorted(options.items())))


class _SeriesCache:
    """The series of the last few dumps converted in this process, by
    _dump_key. A read of a whole series takes it out (the caller owns it,
    no copy is made and none stays behind that the caller could change);
    a read of a part copies the part."""

    def __init__(self, capacity):
        self._capacity = capacity
        self._dumps = collections.OrderedDict()
        self._lock = threading.Lock()

    def put(self, key, series):
        with self._lock:
            self._dumps[key] = dict(series)
            self._dumps.move_to_end(key)
            while len(self._dumps) > self._capacity:
                self._dumps.popitem(last=False)

    def read(self, key, name, index):
        """The series' values at index, or None when the cache lacks them."""
        with self._lock:
            series = self._dumps.get(key)
            if series is None or name not in series:
                return None
            values = series[name]
            part = values[index]
            if part.size < values.size:
                return numpy.array(part)
            del series[name]
            if not series:
                del self._dumps[key]
            return part


_cache = _SeriesCache(_CACHED_DUMPS)


def _series_names(raw):
    """The variables read lazily: those on an axis (a dimension with a
    coordinate of its own) but not an axis, nor a time decoded in place."""
    from . import _EPOCH_SECONDS

    axes = {dim for dim in raw.dims if dim in raw.variables}
    return {name for name, variable in raw.variables.items()
            if name not in axes and axes & set(variable.dims)
            and variable.attrs.get("units") != _EPOCH_SECONDS}


def _converted_series(key):
    """The series of the dump of key, converted again."""
    from . import _raw_dataset, _run

    path, _, _, options = key
    if _dump_key(path, dict(options)) != key:
        raise DumpChangedError(f"{path}: the dump changed after it was opened")
    _, contents = _run(path, dict(options), netcdf=True, waves=False)
    raw = _raw_dataset(contents)
    return {name: raw[name].values for name in _series_names(raw)}


class DumpSeriesArray(BackendArray):
    """One series of a dump, read from the cache or by converting it again."""

    def __init__(self, key, name, shape, dtype):
        self.key = key
        self.name = name
        self.shape = shape
        self.dtype = dtype

    def __getitem__(self, key):
        return indexing.explicit_indexing_adapter(key, self.shape, indexing.IndexingSupport.BASIC,
                                                  self._read)

    def _read(self, index):
        values = _cache.read(self.key, self.name, index)
        if values is not None:
            return values
        # The other series of the dump are likely read next, here.
        series = _converted_series(self.key)
        if self.name not in series:
            raise DumpChangedError(f"{self.key[0]}: the dump no longer holds {self.name}")
        values = series.pop(self.name)
        if series:
            _cache.put(self.key, series)
        return values[index]


def _open_lazily(path, options, decoders, all_series):
    from . import _decoded, _raw_dataset, _run, _series_on_axes_of_their_own

    key = _dump_key(path, options)
    _, contents = _run(path, options, netcdf=True, waves=False)
    raw = _raw_dataset(contents)
    if not all_series:
        raw = raw.drop_vars(_series_on_axes_of_their_own(raw))
    names = _series_names(raw)
    _cache.put(key, {name: raw[name].values for name in names})
    for name in names:
        variable = raw[name].variable
        array = DumpSeriesArray(key, name, variable.shape, variable.dtype)
        raw[name] = xarray.Variable(variable.dims, indexing.LazilyIndexedArray(array),
                                    variable.attrs, variable.encoding)
    return _decoded(raw, contents, path, options, decoders)


def _dump_path(filename_or_obj):
    """The dump's absolute path, or None for a file object or bytes."""
    if isinstance(filename_or_obj, (str, os.PathLike)):
        return os.path.abspath(os.fspath(filename_or_obj))
    return None


class ZorqBackendEntrypoint(BackendEntrypoint):
    description = "Open a ZORQ wave-instrument flash dump (logger or gauge) directly"
    url = "https://github.com/zorqconvert/zorqconvert"
    open_dataset_parameters = (
        "filename_or_obj", "drop_variables", "mask_and_scale", "decode_times",
        "concat_characters", "decode_coords", "use_cftime", "decode_timedelta", "tz",
        "clock_offset", "clock_drift", "units", "position", "deployment", "from_type",
        "lf_line_ends", "all_series")

    def open_dataset(self, filename_or_obj, *, drop_variables=None, mask_and_scale=True,
                     decode_times=True, concat_characters=True, decode_coords=True,
                     use_cftime=None, decode_timedelta=None, tz=None, clock_offset=None,
                     clock_drift=None, units=None, position=None, deployment=None,
                     from_type=None, lf_line_ends=False, all_series=False):
        from . import _open, _reading_options

        decoders = {"mask_and_scale": mask_and_scale, "decode_times": decode_times,
                    "concat_characters": concat_characters, "decode_coords": decode_coords,
                    "use_cftime": use_cftime, "decode_timedelta": decode_timedelta,
                    "drop_variables": drop_variables}
        options = _reading_options(tz, clock_offset, clock_drift, units, position, deployment,
                                   from_type, lf_line_ends)
        path = _dump_path(filename_or_obj)
        if path is None:
            return _open(filename_or_obj, options, decoders, all_series=bool(all_series))
        return _open_lazily(path, options, decoders, bool(all_series))

    def guess_can_open(self, filename_or_obj):
        try:
            path = os.fspath(filename_or_obj)
        except TypeError:
            return False
        if isinstance(path, bytes):
            path = os.fsdecode(path)
        if not path.lower().endswith(_DUMP_SUFFIXES) or not os.path.isfile(path):
            return False
        from . import _zorqconvert

        try:
            with open(path, "rb") as dump:
                head = dump.read(_HEADER_BYTES)
        except OSError:
            return False
        return _zorqconvert.is_dump_header(head)
