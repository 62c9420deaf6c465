"""Snapshots from Python: a run cut in two and resumed from the first part's
snapshot gives, bit for bit, what one run over all the bars gives (also
when the second part starts with the first part's last bar again); states
saved and restored on charts go on as the originals; run_many resumes every
symbol from its snapshot on a two-worker cluster; and every snapshot that
does not fit is a ValueError saying why."""
import numpy as np
import pandas as pd
import pytest

import zarntrade
from conftest import assert_same_bits, read_bars, series_files


def whole_and_parts(bars, cut, studies=None, resend=False):
    whole = zarntrade.run(bars, studies=studies)
    head, snapshot = zarntrade.run(bars.iloc[:cut], studies=studies, return_state=True)
    rest = bars.iloc[cut - 1:] if resend else bars.iloc[cut:]
    tail, again = zarntrade.run(rest, studies=studies, resume=snapshot, return_state=True)
    if resend:
        assert_same_bits(tail.iloc[:1], head.iloc[-1:])
        tail = tail.iloc[1:]
    return whole, pd.concat([head, tail]), again


@pytest.mark.parametrize("cut", [1, 37, 250, 999])
def test_resumed_run_equals_the_whole_run(cut):
    bars = zarntrade.synthetic_bars(1200, seed=3)
    whole, joined, _ = whole_and_parts(bars, cut)
    assert_same_bits(joined, whole)


def test_resumed_real_series_with_a_resent_bar_and_a_second_day(data_files):
    bars = read_bars(data_files[0]).iloc[:1500]
    whole, joined, snapshot = whole_and_parts(bars, 900, resend=True)
    assert_same_bits(joined, whole)
    # The snapshot of the resumed run is the whole run's.
    _, direct = zarntrade.run(bars, return_state=True)
    assert snapshot == direct


def test_resume_takes_a_subset_of_the_snapshots_studies_and_refuses_others():
    bars = zarntrade.synthetic_bars(400, seed=5)
    _, snapshot = zarntrade.run(bars.iloc[:300], studies="upsell,mp,ebands", return_state=True)
    whole = zarntrade.run(bars, studies="mp")
    tail = zarntrade.run(bars.iloc[300:], studies="mp", resume=snapshot)
    assert_same_bits(tail, whole.iloc[300:])
    with pytest.raises(ValueError, match="holds no state of E_ZARNFAST1 .it holds E_ZARNUPSELL, E_ZARNMP, E_ZARNEBANDS"):
        zarntrade.run(bars.iloc[300:], studies="mp,fast1", resume=snapshot)
    with pytest.raises(ValueError, match="older than the saved run's last bar"):
        zarntrade.run(bars.iloc[100:], resume=snapshot)
    with pytest.raises(ValueError, match="error bands are 80,14; this run's 20,5"):
        zarntrade.run(bars.iloc[300:], studies="ebands", ebands=(20, 5), resume=snapshot)
    with pytest.raises(ValueError, match="no \"ZARNRUN\" at its start"):
        zarntrade.run(bars.iloc[300:], studies="mp", resume=b"not a snapshot")
    damaged = bytearray(snapshot)
    damaged[200] ^= 1
    with pytest.raises(ValueError, match="checksum mismatch"):
        zarntrade.run(bars.iloc[300:], studies="upsell", resume=bytes(damaged))


def test_states_saved_and_restored_on_charts_go_on_as_the_originals():
    bars = zarntrade.synthetic_bars(300, seed=11)
    rows = list(zip(range(1, len(bars) + 1), bars.index, *(bars[k] for k in ["open", "high", "low", "close", "volume"])))
    names = ["upsell", "colortmpl", "ebands", "mp"]
    with zarntrade.Chart() as original, zarntrade.Chart() as other:
        state = original.state()
        for row in rows[:200]:
            state.bar(*row)
            for n in names:
                state.study(n)
        saved = state.save()
        restored = other.restore(saved)
        assert restored.id != state.id
        assert restored.save() == saved
        with pytest.raises(ValueError, match="bar numbers never go back"):
            restored.bar(199, *rows[198][1:])
        for row in rows[199:]:  # the newest bar re-sent, then new bars
            for s in (state, restored):
                s.bar(*row)
            for n in names:
                a, b = state.study(n), restored.study(n)
                assert np.array(a).tobytes() == np.array(b).tobytes(), (n, row[0], a, b)
        with pytest.raises(ValueError, match="the state snapshot is refused: checksum mismatch"):
            other.restore(saved[:-1] + bytes([saved[-1] ^ 1]))
        with pytest.raises(ValueError, match="not a zarntrade state snapshot"):
            other.restore(b"")


dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")


@pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")
def test_run_many_resumes_every_symbol_from_its_snapshot(tmp_path):
    import zarntrade.dask

    frames = {f"SYN{s}": zarntrade.synthetic_bars(600 + 50 * s, seed=s) for s in range(1, 5)}
    frames.update({p.stem: read_bars(p).iloc[:800] for p in series_files()[:2]})

    def dated(f):
        if isinstance(f.index, pd.DatetimeIndex):
            t = f.index
            f = pd.DataFrame({"date": t.year * 10000 + t.month * 100 + t.day, "time": t.hour * 100 + t.minute,
                              **{k: f[k].to_numpy() for k in ["open", "high", "low", "close", "volume"]}})
        return f.reset_index(drop=True)

    frames = {s: dated(f) for s, f in frames.items()}
    cut = {s: len(f) - 5 for s, f in frames.items()}
    head = pd.concat([f.iloc[:cut[s]].assign(symbol=s) for s, f in frames.items()], ignore_index=True)
    # One symbol has no snapshot: it starts fresh on its new bars.
    fresh = "SYN1"
    tail = pd.concat([(f if s == fresh else f.iloc[cut[s]:]).assign(symbol=s) for s, f in frames.items()],
                     ignore_index=True)
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None,
                                  silence_logs=50) as cluster, distributed.Client(cluster):
        _, states = zarntrade.dask.run_many(dd.from_pandas(head, npartitions=3), studies="upsell,fast3,mp",
                                            return_state=True)
        zarntrade.dask.save_snapshots(states.drop(fresh), tmp_path / "states")
        kept = zarntrade.dask.load_snapshots(tmp_path / "states")
        assert sorted(kept.index) == sorted(set(frames) - {fresh})
        result, new_states = zarntrade.dask.run_many(dd.from_pandas(tail, npartitions=2), studies="upsell,fast3,mp",
                                                     snapshots=kept, return_state=True)
        lazy = zarntrade.dask.run_many(dd.from_pandas(tail, npartitions=2), studies="upsell,fast3,mp",
                                       snapshots=kept).compute()
    assert sorted(new_states.index) == sorted(frames)
    for s, f in frames.items():
        whole, snapshot = zarntrade.run(f, studies="upsell,fast3,mp", return_state=True)
        mine = result[result.symbol == s].drop(columns="symbol")
        expected = whole if s == fresh else whole.iloc[cut[s]:]
        assert_same_bits(mine.reset_index(drop=True), expected.reset_index(drop=True))
        assert_same_bits(lazy[lazy.symbol == s].drop(columns="symbol").reset_index(drop=True),
                         expected.reset_index(drop=True))
        assert new_states[s] == snapshot
