"""The xarray backend ``engine="zorq"``: a dump opened as the NetCDF output
would be, through zorqconvert.open_dataset.

By default the engine gives the readings' series alone, on their one time
axis: the temperatures and burst starts, on time axes of their own, would
make ``open_mfdataset(combine="by_coords")`` spread every reading over
their axes as well. ``all_series=True`` gives them too."""

import os

from xarray.backends import BackendEntrypoint

# A dump's header starts with a "Y" and is at least this long (the engine's
# LookAtHeader); the look is the engine's own.
_HEADER_BYTES = 1024
_DUMP_SUFFIXES = (".txt", ".dat", ".dump")


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
        return _open(filename_or_obj, options, decoders, all_series=bool(all_series))

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
