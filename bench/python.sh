#!/usr/bin/env bash
# The Python module against the command line (a benchmark, not a test).
#
#   bench/python.sh [RUNS]
#
# Builds the Release converter, generate_dump and the Python module into
# build-bench/ and prints, for the 200 MB logger dump of bench/run.sh:
# - the median wall time of `zorqconvert-cli --format netcdf` and of
#   `xr.open_dataset(dump, engine="zorq")` (timed inside Python, the import
#   done), and their ratio;
# - the memory the opened and loaded Dataset took at its peak (the
#   process's peak resident memory over what it held before the call)
#   against the Dataset's nbytes;
# and for 20 dumps of 10 MB of one deployment (made here, each a week after
# the one before), `open_mfdataset(parallel=True)` on a LocalCluster of one
# worker process and of two, and the speed-up of two over one.
set -euo pipefail
cd "$(dirname "$0")/.."
runs="${1:-5}"

source bench/timing.sh
build_bench . build-bench zorqconvert-cli generate_dump _zorqconvert
python=/usr/bin/python3
export PYTHONPATH="$PWD/build-bench/python"

dump=$(bench_dump logger 200)
cat "$dump" >/dev/null  # warm the page cache
nc="$data/python-bench.nc"
warm_up "$cli" --format netcdf --overwrite "$dump" "$nc"
# By turns, one process per run, as a user's: the first open pays for
# nothing else. The Dataset is the NetCDF file's whole (all_series=True).
# The wall times of a shared machine vary with its load: the load is shown.
uptime
cli_times=()
open_times=()
for ((i = 0; i < runs; i++)); do
  rm -f "$nc"
  cli_times+=("$(time_once "$cli" --format netcdf --tz UTC "$dump" "$nc")")
  open_times+=("$("$python" -c '
import sys, time, xarray as xr, zorqconvert
start = time.monotonic()
xr.open_dataset(sys.argv[1], engine="zorq", tz="UTC", all_series=True)
print(time.monotonic() - start)' "$dump")")
done
rm -f "$nc"
cli_s=$(printf '%s\n' "${cli_times[@]}" | median)
open_s=$(printf '%s\n' "${open_times[@]}" | median)
printf '%-34s %8s\n' "200 MB logger dump" "s"
printf '%-34s %8.2f\n' "zorqconvert-cli --format netcdf" "$cli_s"
printf '%-34s %8.2f\n' "xr.open_dataset(engine=\"zorq\")" "$open_s"
awk -v a="$open_s" -v b="$cli_s" 'BEGIN { printf "%-34s %8.2f (at most 1.5)\n", "open_dataset / cli", a / b }'

"$python" - "$dump" <<'PY'
import resource, sys, xarray as xr, zorqconvert
zorqconvert.open_dataset("samples/logger_type2_dump.txt", tz="UTC").load()
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
dataset = xr.open_dataset(sys.argv[1], engine="zorq", tz="UTC", all_series=True).load()
peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024
print(f"{'Dataset nbytes MB':34} {dataset.nbytes / 1e6:8.1f}")
print(f"{'peak memory of the open MB':34} {(peak - before) / 1e6:8.1f}")
print(f"{'peak / nbytes':34} {(peak - before) / dataset.nbytes:8.2f} (at most 1.3)")
PY

# 20 dumps of 10 MB (five days each), one a week: a sine swell repeated
# each minute, each minute under its date stamp.
folder="$data/deployment"
mkdir -p "$folder"
"$python" - "$folder" <<'PY'
import datetime, math, pathlib, sys
folder = pathlib.Path(sys.argv[1])
rate, per_line, size = 4, 12, 10_000_000
counts = [2048 + round(400 * math.sin(2 * math.pi * i / (rate * 10))) for i in range(rate * 60)]
minute = "".join(",".join(map(str, counts[i:i + per_line])) + ",361\r\n"
                 for i in range(0, len(counts), per_line))
for day in range(20):
    path = folder / f"dump{day:02d}.txt"
    if path.exists():
        continue
    start = datetime.datetime(2024, 3, 1) + datetime.timedelta(weeks=day)
    parts = [start.strftime("Y%y,M%m,D%d,H%H,M%M,S%S,F04,").ljust(41) + "A8,C100,".ljust(20) + "\r\n"]
    written, stamp = len(parts[0]), start
    while written < size:
        parts.append(stamp.strftime("Y%y,M%m,D%d,H%H,M%M,S%S,\r\n") + minute)
        written += len(parts[-1])
        stamp += datetime.timedelta(minutes=1)
    path.write_text("".join(parts), encoding="ascii", newline="")
PY
# Dask's worker processes import the main module again: it is a file.
# The machine may be shared: besides the wall time, the CPU seconds of the
# worker processes and of this process (client and scheduler) are given.
mf_script="$data/open_mfdataset_bench.py"
cat >"$mf_script" <<'PY'
import glob, os, statistics, sys, time, xarray as xr, zorqconvert
from dask.distributed import Client, LocalCluster

def cpu_seconds():
    used = os.times()
    return used.user + used.system

if __name__ == "__main__":
    paths = sorted(glob.glob(sys.argv[1] + "/dump*.txt"))
    workers, runs = int(sys.argv[2]), int(sys.argv[3])
    with LocalCluster(n_workers=workers, threads_per_worker=1, dashboard_address=None) as cluster, \
            Client(cluster) as client:
        client.run(lambda: None)
        walls, worker_cpu, client_cpu = [], [], []
        for _ in range(runs):
            workers_before, client_before = sum(client.run(cpu_seconds).values()), cpu_seconds()
            start = time.monotonic()
            xr.open_mfdataset(paths, engine="zorq", combine="by_coords", parallel=True,
                              tz="UTC").compute()
            walls.append(time.monotonic() - start)
            worker_cpu.append(sum(client.run(cpu_seconds).values()) - workers_before)
            client_cpu.append(cpu_seconds() - client_before)
    print(statistics.median(walls), statistics.median(worker_cpu), statistics.median(client_cpu))
PY
uptime
declare -A mf_s
for workers in 1 2; do
  read -r wall worker_cpu client_cpu < <("$python" "$mf_script" "$folder" "$workers" "$runs")
  mf_s[$workers]=$wall
  printf '%-34s %8.2f  (CPU s: workers %.2f, client and scheduler %.2f)\n' \
    "open_mfdataset 20 x 10 MB, $workers worker" "$wall" "$worker_cpu" "$client_cpu"
done
uptime
awk -v a="${mf_s[1]}" -v b="${mf_s[2]}" \
  'BEGIN { printf "%-34s %8.2f (at least 1.6)\n", "speed-up of 2 workers over 1", a / b }'
