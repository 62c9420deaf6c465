"""The incremental API: a chart driven bar by bar as the platform drives the
library gives what the batch run gives, charts are independent, and closing
a chart frees its states."""
import logging
import os
import subprocess
import sys
import threading

import numpy as np
import pandas as pd
import pytest

import zarntrade
from zarntrade import _core
from conftest import assert_same_bits

STUDIES = ["upsell", "mp", "ebands", "volspikes", "colortmpl"]


def feed(state, bars, studies, forming=False):
    """Every bar to the state, the studies evaluated after it; with forming,
    each bar is first sent as just opened (every price the open) and the
    studies evaluated on that. Returns the rows of slots after the final
    values."""
    rows = []
    for number, (when, b) in enumerate(bars.iterrows(), start=1):
        if forming:
            state.bar(number, when, b.open, b.open, b.open, b.open, 0.0)
            for s in studies:
                state.study(s)
        state.bar(number, when, b.open, b.high, b.low, b.close, b.volume)
        rows.append([v for s in studies for v in state.study(s)])
    return rows


def as_frame(rows, bars, studies):
    return pd.DataFrame(rows, index=bars.index, columns=_core.columns(studies))


def test_bar_by_bar_equals_the_batch_run_and_the_forming_bar_leaves_no_trace():
    bars = zarntrade.synthetic_bars(600, seed=3)
    expected = zarntrade.run(bars, studies=STUDIES)
    with zarntrade.Chart() as chart:
        plain, resent = chart.state(), chart.state()
        assert_same_bits(as_frame(feed(plain, bars, STUDIES), bars, STUDIES), expected)
        assert_same_bits(as_frame(feed(resent, bars, STUDIES, forming=True), bars, STUDIES), expected)


def test_slots_come_as_a_named_tuple():
    bars = zarntrade.synthetic_bars(50)
    with zarntrade.Chart() as chart:
        state = chart.state()
        feed(state, bars, ["mp"])
        mp = state.study("E_ZARNMP")
        assert type(mp).__name__ == "E_ZARNMP"
        assert mp._fields == ("midpoint", "position", "above", "below")
        b = bars.iloc[-1]
        assert mp.midpoint == (b.high + b.low) / 2
        bands = state.study("ebands", period=20, smoothing=5)
        assert bands._fields == ("middle", "lower", "upper")
        assert bands.lower <= bands.middle <= bands.upper


def test_several_charts_at_once_each_as_if_alone():
    a, b = zarntrade.synthetic_bars(300, seed=1), zarntrade.synthetic_bars(300, seed=2)
    with zarntrade.Chart() as one, zarntrade.Chart() as two:
        sa, sb = one.state(), two.state()
        rows_a, rows_b = [], []
        for n, ((ta, ba), (tb, bb)) in enumerate(zip(a.iterrows(), b.iterrows()), start=1):
            sa.bar(n, ta, ba.open, ba.high, ba.low, ba.close, ba.volume)
            sb.bar(n, tb, bb.open, bb.high, bb.low, bb.close, bb.volume)
            rows_a.append(list(sa.study("upsell")))
            rows_b.append(list(sb.study("upsell")))
    assert_same_bits(as_frame(rows_a, a, ["upsell"]), zarntrade.run(a, studies="upsell"))
    assert_same_bits(as_frame(rows_b, b, ["upsell"]), zarntrade.run(b, studies="upsell"))


def test_leaving_the_block_frees_the_charts_states_and_only_those():
    with zarntrade.Chart() as keep:
        kept = keep.state()
        with zarntrade.Chart() as chart:
            states = [chart.state() for _ in range(3)]
            assert all(_core.state_exists(s.id) for s in states)
        assert chart.closed
        assert not any(_core.state_exists(s.id) for s in states)
        assert _core.state_exists(kept.id)
        with pytest.raises(RuntimeError, match="closed"):
            states[0].bar(1, 20240102, 1.0, 1.0, 1.0, 1.0, 0.0)
        with pytest.raises(RuntimeError, match="closed"):
            chart.state()
        chart.close()  # closing again does nothing
    assert not _core.state_exists(kept.id)


def test_open_charts_may_hold_at_most_the_librarys_states():
    with zarntrade.Chart() as chart:
        for _ in range(1000):
            chart.state()
        with pytest.raises(zarntrade.StateLimitError, match="at most 1000"):
            chart.state()
        with pytest.raises(zarntrade.StateLimitError):
            zarntrade.run(zarntrade.synthetic_bars(10), studies="mp")
    # Closing gave the room back, again and again.
    for _ in range(3):
        with zarntrade.Chart() as chart:
            for _ in range(600):
                chart.state()
    assert zarntrade.run(zarntrade.synthetic_bars(10), studies="mp").shape == (10, 4)


def test_batch_runs_on_threads_agree_with_runs_one_at_a_time():
    series = [zarntrade.synthetic_bars(1500, seed=s) for s in range(1, 7)]
    alone = [zarntrade.run(b) for b in series]
    together = [None] * len(series)

    def work(i):
        together[i] = zarntrade.run(series[i])

    with zarntrade.Chart() as chart:  # a chart open meanwhile changes nothing
        state = chart.state()
        threads = [threading.Thread(target=work, args=(i,)) for i in range(len(series))]
        for t in threads:
            t.start()
        feed(state, series[0].iloc[:200], ["upsell"])
        for t in threads:
            t.join()
    for a, b in zip(together, alone):
        assert_same_bits(a, b)


def test_the_trace_goes_to_the_logger(caplog):
    with caplog.at_level(logging.DEBUG, logger="zarntrade"):
        with zarntrade.Chart() as chart:
            chart.state()
            context = chart._core.context
    texts = [r.getMessage() for r in caplog.records if r.name == "zarntrade"]
    assert f"Add Context {context}" in texts
    assert f"Delete Context {context}" in texts
    assert all(r.levelno == logging.DEBUG for r in caplog.records if r.name == "zarntrade")


def test_nothing_reaches_the_console_unasked():
    code = ("import zarntrade\n"
            "with zarntrade.Chart() as c:\n"
            "    s = c.state(); s.bar(1, 20240102, 1, 2, 0.5, 1.5, 10); s.study('upsell')\n"
            "    s.bar(1, 20240102, 1, 2, 0.5, 1.5, 10)\n"
            "zarntrade.run(zarntrade.synthetic_bars(100))\n"
            "import logging; logging.warning('configured')\n")
    done = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=os.environ)
    assert done.returncode == 0, done.stderr
    assert done.stdout == ""
    assert done.stderr == "WARNING:root:configured\n"  # logging itself still prints


def test_ctrl_c_stops_a_long_run_and_gives_its_states_back():
    import _thread
    bars = zarntrade.synthetic_bars(400_000)
    timer = threading.Timer(0.2, _thread.interrupt_main)
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            zarntrade.run(bars)
    finally:
        timer.cancel()
    with zarntrade.Chart() as chart:
        for _ in range(1000):
            chart.state()
