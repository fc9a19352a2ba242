"""The xarray backend ``engine="zorq"``: a dump opened as the NetCDF output
would be, through zorqconvert.open_dataset."""

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
        "lf_line_ends")

    def open_dataset(self, filename_or_obj, *, drop_variables=None, mask_and_scale=True,
                     decode_times=True, concat_characters=True, decode_coords=True,
                     use_cftime=None, decode_timedelta=None, tz=None, clock_offset=None,
                     clock_drift=None, units=None, position=None, deployment=None,
                     from_type=None, lf_line_ends=False):
        from . import open_dataset

        decoders = {"mask_and_scale": mask_and_scale, "decode_times": decode_times,
                    "concat_characters": concat_characters, "decode_coords": decode_coords,
                    "use_cftime": use_cftime, "decode_timedelta": decode_timedelta,
                    "drop_variables": drop_variables}
        return open_dataset(filename_or_obj, tz=tz, clock_offset=clock_offset,
                            clock_drift=clock_drift, units=units, position=position,
                            deployment=deployment, from_type=from_type,
                            lf_line_ends=lf_line_ends, decoders=decoders)

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
