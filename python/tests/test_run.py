"""Batch runs: bit for bit what the replay tool writes, and the shapes of
input the package accepts."""
import re
from pathlib import Path

import numpy as np
import pandas as pd
import pytest

import zarntrade
from conftest import assert_same_bits, read_bars, replay_csv, series_files

BAR_COLUMNS = ["date", "time", "open", "high", "low", "close", "volume"]


def studies_of(replayed):
    return replayed.drop(columns=BAR_COLUMNS)


@pytest.mark.parametrize("path", series_files(), ids=lambda p: p.name)
def test_every_study_on_every_real_series_matches_the_replay_tool(tmp_path, path):
    expected = replay_csv(tmp_path, path)
    result = zarntrade.run(read_bars(path))
    assert_same_bits(result, studies_of(expected))


def test_built_in_series_matches_the_replay_tool(tmp_path):
    expected = replay_csv(tmp_path, "--bars", 3000, "--seed", 7)
    bars = zarntrade.synthetic_bars(3000, seed=7)
    # The series itself, stamps included, is the tool's.
    stamps = bars.index.year * 10000 + bars.index.month * 100 + bars.index.day
    assert (stamps == expected["date"]).all()
    assert ((bars.index.hour * 100 + bars.index.minute) == expected["time"]).all()
    assert_same_bits(bars, expected[["open", "high", "low", "close", "volume"]])
    assert_same_bits(zarntrade.run(bars), studies_of(expected))


def test_intrabar_updates_a_study_subset_and_band_settings_match_the_replay_tool(tmp_path, data_files):
    path = data_files[0]
    expected = replay_csv(tmp_path, path, "--ticks", 3, "--studies", "ebands,upsell,mp,volspikes",
                          "--ebands", "20,5")
    result = zarntrade.run(read_bars(path), studies=["EBANDS", "e_zarnupsell", "ZarnMP", "volspikes"],
                           ticks=3, ebands=(20, 5))
    assert_same_bits(result, studies_of(expected))
    assert result.columns[0] == "E_ZARNEBANDS.middle"


def test_ways_of_giving_the_bars_agree():
    bars = zarntrade.synthetic_bars(400)
    expected = zarntrade.run(bars, studies="mp,upsell")
    stamps = bars.index
    date = stamps.year * 10000 + stamps.month * 100 + stamps.day
    time = stamps.hour * 100 + stamps.minute
    columns = {k: bars[k].to_numpy() for k in ["open", "high", "low", "close", "volume"]}

    as_mapping = zarntrade.run({"date": date.to_numpy(), "time": time.to_numpy(), **columns}, studies="mp,upsell")
    assert isinstance(as_mapping.index, pd.RangeIndex)
    assert_same_bits(as_mapping, expected)

    upper = pd.DataFrame({"DateTime": stamps, **{k.upper(): v for k, v in columns.items()}})
    assert_same_bits(zarntrade.run(upper, studies="mp,upsell"), expected)

    # Whole-number prices in integer columns are the same numbers.
    whole = bars.round().astype({"volume": np.int64, "close": np.int64})
    assert_same_bits(zarntrade.run(whole, studies="mp"), zarntrade.run(whole.astype(float), studies="mp"))

    # The result keeps the caller's index.
    assert (expected.index == bars.index).all()


def test_no_volume_column_means_volume_zero():
    bars = zarntrade.synthetic_bars(300)
    without = zarntrade.run(bars.drop(columns="volume"), studies="volspikes")
    zero = zarntrade.run(bars.assign(volume=0.0), studies="volspikes")
    assert_same_bits(without, zero)


def test_no_bars_and_no_studies():
    empty = zarntrade.synthetic_bars(10).iloc[:0]
    result = zarntrade.run(empty, studies="mp")
    assert result.shape == (0, 4)
    assert zarntrade.run(zarntrade.synthetic_bars(10), studies=[]).shape == (10, 0)


def catalogue_lines():
    """The study catalogue's lines as the library's source holds them."""
    path = Path(__file__).resolve().parents[2] / "zarntrade" / "include" / "zarntrade_studies.inc"
    pattern = re.compile(r'^ZT_STUDY_INFO\((\w+), \w+, \d+, "([^"]*)", \d+, "[^"]*", (ZT_DLL|ZT_DIRECT),')
    return [pattern.match(line).groups() for line in path.read_text().splitlines()
            if line.startswith("ZT_STUDY_INFO(")]


def test_the_catalogue_lists_every_study_with_its_columns():
    listed = zarntrade.studies()
    lines = catalogue_lines()
    assert [s.name for s in listed] == [name for name, _, _ in lines]
    assert [s.slots for s in listed] == [tuple(slots.split(",")) for _, slots, _ in lines]
    assert [s.via_dll for s in listed] == [reach == "ZT_DLL" for _, _, reach in lines]
    by_name = {s.name: s for s in listed}
    columns = list(zarntrade.run(zarntrade.synthetic_bars(5)).columns)
    assert columns == [f"{s.name}.{slot}" for s in listed for slot in s.slots]
    assert by_name["E_ZARNMP"].slots == ("midpoint", "position", "above", "below")
    assert by_name["E_ZARNMP"].scale == "price" and by_name["E_ZARNUPSELL"].scale == "panel"
    assert by_name["E_ZARNEBANDS"].via_dll is False
    assert all(s.description.endswith(".") for s in listed)
    assert all(isinstance(s.warmup, int) and s.warmup >= 0 for s in listed)
    assert by_name["E_ZARNA900"].warmup == 7 and by_name["E_ZARNEBANDS"].warmup == 80 + 14 - 2


def test_multi_columns_are_the_flat_columns_by_study_and_slot():
    bars = zarntrade.synthetic_bars(300)
    flat = zarntrade.run(bars, studies="mp,upsell")
    multi = zarntrade.run(bars, studies="mp,upsell", columns="multi")
    assert multi.columns.names == ["study", "slot"]
    assert [f"{s}.{k}" for s, k in multi.columns] == list(flat.columns)
    assert list(multi["E_ZARNUPSELL"].columns) == ["signal", "line", "smoothed"]
    assert_same_bits(multi["E_ZARNMP"], flat.filter(like="E_ZARNMP.").rename(columns=lambda c: c.split(".")[1]))


def test_the_catalogue_as_a_frame_and_the_version():
    frame = zarntrade.studies(as_frame=True)
    entries = zarntrade.studies()
    assert list(frame.index) == [e.name for e in entries]
    assert frame.loc["E_ZARNMP", "slots"] == ("midpoint", "position", "above", "below")
    assert frame["warmup"].dtype == "Int64" and frame.loc["E_ZARNA900", "warmup"] == 7
    assert not frame.loc["E_ZARNEBANDS", "via_dll"]
    # The CMake project's version, as the replay tool says it.
    import subprocess
    from conftest import REPLAY
    tool = subprocess.run([REPLAY, "--version"], check=True, capture_output=True, text=True).stdout
    assert tool == f"zarn-replay {zarntrade.__version__}\n"
