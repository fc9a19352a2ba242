"""engine="zorq" reads a dump's series when asked: whoever reads them, and
however, gets the NetCDF output's values."""

import os
import pickle
import subprocess
import sys

import numpy as np
import pytest
import xarray as xr

import zorqconvert
from conftest import logger_dump
from zorqconvert import backend

# Made when the dump is converted: they differ between any two runs.
PER_RUN_ATTRIBUTES = ("date_created", "date_modified", "date_issued", "date_metadata_modified",
                      "history")

# Loads a pickled Dataset in a process that converted nothing yet.
LOAD_ELSEWHERE = """
import pickle, sys
dataset = pickle.load(open(sys.argv[1], "rb"))
pickle.dump(dataset.load(), open(sys.argv[2], "wb"))
"""


def opened(path):
    return xr.open_dataset(path, engine="zorq", tz="UTC", all_series=True)


def load_in_another_process(dataset, tmp_path):
    given, loaded = tmp_path / "given.pickle", tmp_path / "loaded.pickle"
    given.write_bytes(pickle.dumps(dataset))
    subprocess.run([sys.executable, "-c", LOAD_ELSEWHERE, given, loaded], check=True,
                   capture_output=True, text=True, env=os.environ)
    return pickle.loads(loaded.read_bytes())


def whole(path, tmp_path):
    return opened(path).load()


def a_part_then_the_whole(path, tmp_path):
    dataset = opened(path)
    part = dataset["reading"][5:17].values
    np.testing.assert_array_equal(part, dataset["reading"].values[5:17])
    return dataset.load()


def again_after_changing_the_first_load(path, tmp_path):
    # Chunked, each compute reads the series anew.
    dataset = xr.open_dataset(path, engine="zorq", tz="UTC", all_series=True, chunks={})
    first = dataset.compute()
    for variable in first.data_vars.values():
        variable.values[...] = 0
    return dataset.compute()


def after_other_dumps_took_the_cache(path, tmp_path):
    dataset = opened(path)
    for minutes in range(1, backend._CACHED_DUMPS + 2):
        opened(logger_dump(tmp_path / f"other{minutes}.txt", minutes=minutes)).load()
    return dataset.load()


def in_another_process(path, tmp_path):
    return load_in_another_process(opened(path), tmp_path)


READS = [whole, a_part_then_the_whole, again_after_changing_the_first_load,
         after_other_dumps_took_the_cache, in_another_process]


@pytest.fixture
def dump(tmp_path):
    return logger_dump(tmp_path / "dump.txt", minutes=25)


@pytest.mark.parametrize("read", READS, ids=[r.__name__ for r in READS])
def test_every_way_of_reading_gives_the_eager_dataset(read, dump, tmp_path):
    ours = read(dump, tmp_path)
    theirs = zorqconvert.open_dataset(dump, tz="UTC")
    for dataset in (ours, theirs):
        for attribute in PER_RUN_ATTRIBUTES:
            dataset.attrs.pop(attribute, None)
    xr.testing.assert_identical(ours, theirs)


def test_the_opened_dataset_carries_its_axes_but_not_its_series(dump):
    dataset = opened(dump)
    series = sum(variable.nbytes for variable in dataset.data_vars.values())
    axes = sum(dataset[name].nbytes for name in dataset.indexes)
    assert series > axes / 2
    assert len(pickle.dumps(dataset)) < axes + series / 4


def appended_a_minute(path):
    with open(path, "ab") as dump:
        dump.write(b"Y24,M03,D12,H10,M00,S00,\r\n")


def touched_later(path):
    status = os.stat(path)
    os.utime(path, ns=(status.st_atime_ns, status.st_mtime_ns + 10**9))


@pytest.mark.parametrize("change", [appended_a_minute, touched_later])
def test_a_dump_changed_after_the_open_is_not_read_into_the_old_axes(change, dump, tmp_path):
    dataset = opened(dump)
    change(dump)
    with pytest.raises(subprocess.CalledProcessError) as failure:
        load_in_another_process(dataset, tmp_path)
    assert "DumpChangedError" in failure.value.stderr


def test_a_file_object_reads_as_its_path(dump):
    with open(dump, "rb") as source:
        dataset = xr.open_dataset(source, engine="zorq", tz="UTC")
    xr.testing.assert_equal(dataset, opened(dump)[list(dataset.variables)])
