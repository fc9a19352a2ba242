"""Bad input, Ctrl+C and threads: errors the caller can handle, no crash."""

import json
import os
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

import zorqconvert
from conftest import GAUGE_SAMPLE, LOGGER_SAMPLE, SOURCE_DIR, logger_header, run_cli

FUZZ_CORPUS = SOURCE_DIR / "fuzz" / "corpus"


def bad_date_dump(path):
    Path(path).write_text(logger_header(12, 9) + "Y24,M13,D12,H09,M00,S00,\r\n"
                          + "2048,2049,2050,2051,2052,2053,2054,2055,2056,2057,2058,2059,361\r\n",
                          encoding="ascii", newline="")
    return path


# (status, how the error is brought about) -> ConversionError fields
def run_missing(tmp_path):
    return zorqconvert.open_dataset(tmp_path / "missing.txt")


def run_bad_date(tmp_path):
    return zorqconvert.open_dataset(bad_date_dump(tmp_path / "bad-date.txt"), tz="UTC")


def run_output_not_a_file(tmp_path):
    return zorqconvert.convert(LOGGER_SAMPLE, "/dev/full", overwrite=True)


def staff_dump(path):
    Path(path).write_text(LOGGER_SAMPLE.read_text().replace("A8,C100", "A9,C977"))
    return path


def run_staff_not_in_table(tmp_path):
    return zorqconvert.open_dataset(staff_dump(tmp_path / "staff.txt"), from_type=1)


def run_logger_as_gauge(tmp_path):
    return zorqconvert.open_dataset(LOGGER_SAMPLE, from_type=3)


def run_wrong_to_type(tmp_path):
    return zorqconvert.convert(LOGGER_SAMPLE, tmp_path / "out.csv", to_type=1)


def run_gauge_as_logger(tmp_path):
    return zorqconvert.convert(GAUGE_SAMPLE, tmp_path / "out.csv", from_type=2, to_type=0)


ERRORS = [
    ("missing_file", run_missing, ["{missing}", "{out}"]),
    ("bad_date", run_bad_date, ["--tz", "UTC", "{bad_date}", "{out}"]),
    ("output_not_a_file", run_output_not_a_file,
     ["--overwrite", str(LOGGER_SAMPLE), "/dev/full"]),
    ("staff_not_in_table", run_staff_not_in_table,
     ["--from-type", "1", "--to-type", "0", "{staff}", "{out}"]),
    ("logger_as_gauge", run_logger_as_gauge,
     ["--from-type", "3", "--to-type", "1", str(LOGGER_SAMPLE), "{out}"]),
    ("wrong_to_type", run_wrong_to_type, ["--to-type", "1", str(LOGGER_SAMPLE), "{out}"]),
    ("gauge_as_logger", run_gauge_as_logger,
     ["--from-type", "2", "--to-type", "0", str(GAUGE_SAMPLE), "{out}"]),
]


def cli_report(arguments, tmp_path):
    places = {"missing": tmp_path / "missing.txt", "out": tmp_path / "cli.csv",
              "bad_date": bad_date_dump(tmp_path / "cli-bad-date.txt"),
              "staff": staff_dump(tmp_path / "cli-staff.txt")}
    result = run_cli("--json", *[str(a).format(**places) for a in arguments], check=False)
    return json.loads(result.stdout.splitlines()[-1])


@pytest.mark.parametrize("name,run,cli_arguments", ERRORS, ids=[e[0] for e in ERRORS])
def test_conversion_error_tells_the_command_lines_status_and_place(name, run, cli_arguments,
                                                                    tmp_path):
    expected = cli_report(cli_arguments, tmp_path)
    with pytest.raises(zorqconvert.ConversionError) as raised:
        run(tmp_path)
    error = raised.value
    assert error.status == expected["status"]
    assert error.line == expected["failure"]["line"]
    assert error.byte == expected["failure"]["byte"]
    assert error.path is not None and error.message
    assert error.report["exit"] == expected["exit"]
    assert isinstance(error, Exception) and str(error) == error.message


# A file size limit fails the writes of the legacy CSV, in a child process.
WRITE_LIMITED = """
import json, resource, signal, sys
import zorqconvert
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
resource.setrlimit(resource.RLIMIT_FSIZE, (1024, 1024))
try:
    zorqconvert.convert(sys.argv[1], sys.argv[2])
except zorqconvert.ConversionError as error:
    print(json.dumps([error.status, error.line, error.byte, error.message]))
"""


def test_a_failed_write_is_status_5(tmp_path):
    out = tmp_path / "limited.csv"
    child = subprocess.run([sys.executable, "-c", WRITE_LIMITED, str(LOGGER_SAMPLE), str(out)],
                           capture_output=True, text=True, check=True)
    status, line, byte, message = json.loads(child.stdout)
    assert (status, line, byte) == (5, None, None)
    assert "could not be written" in message
    assert not out.exists() and Path(str(out) + ".partial").stat().st_size == 1024


def test_kind_that_cannot_be_told_is_a_value_error(tmp_path):
    notes = tmp_path / "notes.txt"
    notes.write_text("no dump here\n")
    with pytest.raises(ValueError, match="cannot tell"):
        zorqconvert.open_dataset(notes)


@pytest.mark.parametrize("arguments", [{"tz": "Mars/Olympus"}, {"units": "furlongs per beer"},
                                       {"deployment": "/nonexistent/deployment.json"}])
def test_a_wrong_setting_is_a_value_error(arguments):
    with pytest.raises(ValueError):
        zorqconvert.open_dataset(LOGGER_SAMPLE, **arguments)


def test_the_fuzz_corpus_raises_or_converts_and_never_crashes():
    dumps = sorted(p for p in FUZZ_CORPUS.rglob("*") if p.is_file())
    assert dumps
    outcomes = set()
    for dump in dumps:
        for from_type in (None, 1, 2, 3):
            try:
                zorqconvert.open_dataset(dump, tz="UTC", from_type=from_type)
                outcomes.add("converted")
            except zorqconvert.ConversionError as error:
                assert 1 <= error.status <= 7
                outcomes.add("error")
            except ValueError:
                outcomes.add("value")
    assert "error" in outcomes


def test_ctrl_c_cancels_a_long_conversion(big_logger_dump):
    started = time.monotonic()
    zorqconvert.open_dataset(big_logger_dump, tz="UTC")
    whole = time.monotonic() - started
    interrupt = threading.Timer(whole / 5, os.kill, (os.getpid(), signal.SIGINT))
    started = time.monotonic()
    interrupt.start()
    with pytest.raises(KeyboardInterrupt):
        zorqconvert.open_dataset(big_logger_dump, tz="UTC")
    assert time.monotonic() - started < whole * 0.8
    interrupt.join()


def test_python_runs_on_while_the_engine_converts(big_logger_dump):
    worker = threading.Thread(target=zorqconvert.open_dataset, args=(big_logger_dump,),
                              kwargs={"tz": "UTC"})
    started = time.monotonic()
    worker.start()
    ticks = [started]
    while worker.is_alive():
        time.sleep(0.001)
        ticks.append(time.monotonic())
    worker.join()
    whole = ticks[-1] - started
    # A conversion that held the GIL would stop this thread for all of it.
    assert max(b - a for a, b in zip(ticks, ticks[1:])) < whole / 4


def test_two_threads_are_inside_the_engine_at_once(big_logger_dump, monkeypatch):
    """Counts the moments this thread sees both converting threads inside
    the engine's call. A call that held the GIL would let no other thread
    run while it converts: this one could look only in the instants before
    or after a call, so a busy machine makes no difference."""
    inside = []
    lock = threading.Lock()
    engine_run = zorqconvert._zorqconvert.run

    def counted_run(*arguments):
        with lock:
            inside.append(threading.get_ident())
        try:
            return engine_run(*arguments)
        finally:
            with lock:
                inside.remove(threading.get_ident())

    monkeypatch.setattr(zorqconvert._zorqconvert, "run", counted_run)
    threads = [threading.Thread(target=zorqconvert.open_dataset, args=(big_logger_dump,),
                                kwargs={"tz": "UTC"}) for _ in range(2)]
    for thread in threads:
        thread.start()
    both_inside = 0
    while any(thread.is_alive() for thread in threads):
        with lock:
            both_inside += len(inside) == 2
        time.sleep(0.005)
    for thread in threads:
        thread.join()
    assert both_inside >= 20, both_inside
