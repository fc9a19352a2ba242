"""What the module's tests share: the command line to compare with, the
samples, and dumps made to measure."""

import math
import os
import subprocess
from pathlib import Path

import pytest

SOURCE_DIR = Path(os.environ["ZORQ_SOURCE_DIR"])
CLI = os.environ["ZORQ_CLI"]
GENERATE_DUMP = os.environ["ZORQ_GENERATE_DUMP"]
SAMPLES = SOURCE_DIR / "samples"
LOGGER_SAMPLE = SAMPLES / "logger_type2_dump.txt"
GAUGE_SAMPLE = SAMPLES / "gauge_t10_dump.txt"

# A logger dump's reading rate (F04) and its lines: twelve counts and a
# temperature, a date stamp before every minute of readings.
SAMPLE_RATE = 4
READINGS_PER_LINE = 12
LINES_PER_STAMP = SAMPLE_RATE * 60 // READINGS_PER_LINE


def run_cli(*arguments, check=True):
    return subprocess.run([CLI, *map(str, arguments)], capture_output=True, text=True,
                          check=check)


def logger_header(day, hour):
    header = f"Y24,M03,D{day:02d},H{hour:02d},M00,S00,F04,".ljust(41) + "A8,C100,"
    return header.ljust(61) + "\r\n"


def logger_dump(path, *, day=12, hour=9, minutes=40, wave_period=8.0, height_counts=400):
    """A logger dump of `minutes` minutes of a sine swell from day/hour on."""
    lines = [logger_header(day, hour)]
    reading = 0
    for minute in range(minutes):
        stamp_hour, stamp_minute = hour + minute // 60, minute % 60
        lines.append(f"Y24,M03,D{day:02d},H{stamp_hour:02d},M{stamp_minute:02d},S00,\r\n")
        for _ in range(LINES_PER_STAMP):
            counts = []
            for _ in range(READINGS_PER_LINE):
                phase = 2 * math.pi * reading / (SAMPLE_RATE * wave_period)
                counts.append(str(2048 + round(height_counts * math.sin(phase))))
                reading += 1
            lines.append(",".join(counts) + ",361\r\n")
    Path(path).write_text("".join(lines), encoding="ascii", newline="")
    return Path(path)


def generated_dump(path, kind, megabytes):
    subprocess.run([GENERATE_DUMP, kind, str(megabytes), str(path)], check=True,
                   capture_output=True)
    return Path(path)


@pytest.fixture(scope="session")
def big_logger_dump(tmp_path_factory):
    return generated_dump(tmp_path_factory.mktemp("big") / "big.txt", "logger", 60)
