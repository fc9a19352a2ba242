"""A deployment's dumps on a LocalCluster: the command line's statistics."""

import numpy as np
import pytest
import xarray as xr

import zorqconvert
from conftest import logger_dump, run_cli

distributed = pytest.importorskip("distributed")

DUMPS = 20
STATISTICS = ("hm0", "tp")


@pytest.fixture(scope="module")
def deployment(tmp_path_factory):
    folder = tmp_path_factory.mktemp("deployment")
    return [str(logger_dump(folder / f"dump{i:02d}.txt", day=1 + i, hour=6, minutes=42,
                            wave_period=5.0 + i * 0.5, height_counts=200 + 20 * i))
            for i in range(DUMPS)]


def cli_statistics(path, tmp_path):
    out = tmp_path / (path.rsplit("/", 1)[-1] + ".nc")
    run_cli("--format", "netcdf", "--tz", "UTC", "--waves", tmp_path / "w.csv", "--overwrite",
            path, out)
    return xr.open_dataset(str(out)[:-len(".nc")] + ".waves.nc")


def test_local_cluster_statistics_are_the_command_lines(deployment, tmp_path):
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        futures = client.map(zorqconvert.wave_statistics, deployment, tz="UTC")
        results = client.gather(futures)
        combined = xr.open_mfdataset(deployment, engine="zorq", combine="by_coords",
                                     parallel=True, tz="UTC").compute()
    assert len(results) == DUMPS
    for path, ours in zip(deployment, results):
        theirs = cli_statistics(path, tmp_path)
        assert ours.sizes["time"] == theirs.sizes["time"] > 0
        for name in ours.data_vars:
            np.testing.assert_array_equal(ours[name].values, theirs[name].values, err_msg=name)
        for name in STATISTICS:
            assert np.isfinite(ours[name].values).all()
    assert np.all(np.diff(combined["time"].values) > np.timedelta64(0, "ns"))
    assert combined["reading"].dims == ("time",)
