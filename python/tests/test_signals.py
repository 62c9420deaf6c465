"""Trades in and the confirmation report: bit for bit what zarn-replay
writes for the same trades, bars formed as the tool forms them, and the
input the package refuses."""
import pathlib
import subprocess

import numpy as np
import pandas as pd
import pytest

import zarntrade
from conftest import REPLAY, assert_same_bits, replay_csv

TRADES = pathlib.Path(__file__).resolve().parents[2] / "replay" / "tests" / "data" / "trades_sample.csv"


def sample_trades():
    t = pd.read_csv(TRADES, dtype={"date": str, "time": str}, float_precision="round_trip")
    return pd.DataFrame({"time": pd.to_datetime(t["date"] + " " + t["time"]), "price": t["price"],
                         "size": t["size"]})


@pytest.mark.parametrize("timeframe,tool", [("5min", "5m"), ("1h", "1h"), ("1d", "1d")])
def test_trades_run_matches_the_replay_tool(tmp_path, timeframe, tool):
    expected = replay_csv(tmp_path, "--tick-file", TRADES, "--timeframe", tool)
    result = zarntrade.run(sample_trades(), timeframe=timeframe)
    stamps = result.index.year * 10000 + result.index.month * 100 + result.index.day
    assert (stamps == expected["date"]).all()
    assert ((result.index.hour * 100 + result.index.minute) == expected["time"]).all()
    assert_same_bits(result, expected.drop(columns=["date", "time"]))


def test_bars_are_stamped_with_the_end_of_their_interval():
    t = pd.DataFrame({"time": pd.to_datetime(["2024-01-02 09:00:00", "2024-01-02 09:00:30", "2024-01-02 09:00:59",
                                              "2024-01-02 09:01:00"]),
                      "price": [10.0, 12.0, 9.5, 11.0], "size": [1, 2, 3, 4]})
    r = zarntrade.run(t, studies="upsell", timeframe="1min")
    assert list(r.index) == [pd.Timestamp("2024-01-02 09:01"), pd.Timestamp("2024-01-02 09:02")]
    assert r.iloc[0][["open", "high", "low", "close", "volume"]].tolist() == [10.0, 12.0, 9.5, 9.5, 6.0]
    assert r.iloc[1][["open", "high", "low", "close", "volume"]].tolist() == [11.0, 11.0, 11.0, 11.0, 4.0]
    # The times as the index, the other names the package reads: the same bars.
    same = zarntrade.run(t.set_index("time").rename(columns={"price": "Last", "size": "Qty"}), studies="upsell",
                         timeframe="1m")
    assert_same_bits(same, r)


def test_signal_report_matches_the_replay_tool(tmp_path):
    out = tmp_path / "report.csv"
    subprocess.run([REPLAY, "--tick-file", str(TRADES), "--timeframe", "1m", "--studies", "upsell,combo,tr4,mp",
                    "-o", str(tmp_path / "rows.csv"), "--signal-report", str(out)], check=True, capture_output=True)
    expected = pd.read_csv(out, index_col="slot")
    report = zarntrade.signal_report(sample_trades(), timeframe="1min", studies="upsell,combo,tr4,mp")
    assert list(report.index) == ["E_ZARNUPSELL.signal", "E_ZARNCOMBO.signal", "E_ZARNTR4.trigger"]
    assert list(report.columns) == list(expected.columns)
    counts = ["bars", "shown", "confirmed", "vanished", "flipped", "late"]
    assert (report[counts] == expected[counts]).all().all()
    assert np.allclose(report["median_share"], expected["median_share"], atol=5e-5)
    assert (report["shown"] == report["confirmed"] + report["vanished"]).all()


def test_without_intrabar_updates_no_signal_vanishes():
    bars = zarntrade.synthetic_bars(600, seed=5)
    report = zarntrade.signal_report(bars, ticks=0)
    assert len(report) == 15
    assert (report["vanished"] == 0).all() and (report["flipped"] == 0).all()
    assert (report["late"] == report["confirmed"]).all()
    assert (report["bars"] == 600).all()
    assert zarntrade.signal_report(bars, ticks=4)["vanished"].sum() > 0


def test_bad_trades_and_arguments_are_refused():
    good = pd.DataFrame({"time": pd.to_datetime(["2024-01-02 09:00:00", "2024-01-02 09:00:05"]),
                         "price": [10.0, 11.0], "size": [1.0, 2.0]})
    back = good.assign(time=good["time"][::-1].to_numpy())
    with pytest.raises(ValueError, match="not in time order: row 1"):
        zarntrade.run(back, timeframe="1min")
    with pytest.raises(ValueError, match="'price' is not above zero"):
        zarntrade.run(good.assign(price=[10.0, 0.0]), timeframe="1min")
    with pytest.raises(ValueError, match="'size' is negative"):
        zarntrade.run(good.assign(size=[1.0, -1.0]), timeframe="1min")
    with pytest.raises(ValueError, match="no 'price' column"):
        zarntrade.run(good.drop(columns=["price"]), timeframe="1min")
    with pytest.raises(ValueError, match="timeframe is one of"):
        zarntrade.run(good, timeframe="2min")
    with pytest.raises(ValueError, match="one of them"):
        zarntrade.signal_report(good)
    with pytest.raises(ValueError, match="one of them"):
        zarntrade.signal_report(good, ticks=2, timeframe="1min")
    with pytest.raises(ValueError, match="ticks does not go with timeframe"):
        zarntrade.run(good, ticks=2, timeframe="1min")
