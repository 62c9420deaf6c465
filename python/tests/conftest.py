import os
import pathlib
import subprocess

import numpy as np
import pandas as pd
import pytest

DATA = pathlib.Path(os.environ.get("ZT_DATA", pathlib.Path(__file__).resolve().parents[2] / "data"))
REPLAY = os.environ.get("ZT_REPLAY", str(pathlib.Path(__file__).resolve().parents[2] / "build/native/replay/zarn-replay"))


def series_files():
    return sorted(DATA.glob("*.csv")) if DATA.is_dir() else []


@pytest.fixture
def data_files():
    files = series_files()
    if not files:
        print(f"SKIPPED: no bar series in {DATA}")
        pytest.skip(f"no bar series in {DATA}")
    return files


def read_bars(path):
    return pd.read_csv(path, float_precision="round_trip")


def replay_csv(tmp_path, *args):
    """What zarn-replay writes for these arguments, read back exactly."""
    out = tmp_path / "replay.csv"
    subprocess.run([REPLAY, *map(str, args), "-o", str(out)], check=True, capture_output=True)
    return pd.read_csv(out, float_precision="round_trip")


def assert_same_bits(result, expected):
    """Same columns in the same order, every value the same double."""
    assert list(result.columns) == list(expected.columns)
    a = np.ascontiguousarray(result.to_numpy(dtype=np.float64))
    b = np.ascontiguousarray(expected.to_numpy(dtype=np.float64))
    assert a.shape == b.shape
    differ = a.view(np.uint64) != b.view(np.uint64)
    if differ.any():
        r, c = np.argwhere(differ)[0]
        raise AssertionError(f"{differ.sum()} values differ, first {result.columns[c]} at row {r}: "
                             f"{a[r, c]!r} against {b[r, c]!r}")
