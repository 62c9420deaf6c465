"""run_many on a cluster of two worker processes: every symbol's result is
run() on that symbol alone."""
import numpy as np
import pandas as pd
import pytest

dd = pytest.importorskip("dask.dataframe")
distributed = pytest.importorskip("distributed")

import zarntrade
import zarntrade.dask
from conftest import assert_same_bits, read_bars, series_files

STUDIES = None  # all of them

# Debian's distributed on its tornado.
pytestmark = pytest.mark.filterwarnings("ignore:make_current is deprecated:DeprecationWarning")


def with_date_and_time(bars):
    t = bars.index
    return pd.DataFrame({"date": t.year * 10000 + t.month * 100 + t.day, "time": t.hour * 100 + t.minute,
                         **{k: bars[k].to_numpy() for k in ["open", "high", "low", "close", "volume"]}})


@pytest.fixture(scope="module")
def many_symbols():
    frames = {p.stem: read_bars(p) for p in series_files()}
    for seed in range(1, 5):
        frames[f"SYN{seed}"] = with_date_and_time(zarntrade.synthetic_bars(1500 + 250 * seed, seed=seed))
    frames["SHORT"] = with_date_and_time(zarntrade.synthetic_bars(3, seed=9))
    whole = pd.concat([f.assign(symbol=s) for s, f in frames.items()], ignore_index=True)
    # Rows of all symbols shuffled together: run_many must restore each one's time order.
    return frames, whole.sample(frac=1.0, random_state=0)


@pytest.fixture(scope="module")
def client():
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None, silence_logs=50)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


def test_every_symbol_equals_run_on_it_alone(client, many_symbols):
    frames, whole = many_symbols
    ddf = dd.from_pandas(whole, npartitions=5, sort=False)
    result = zarntrade.dask.run_many(ddf, by="symbol", studies=STUDIES).compute()
    assert list(result.columns[:1]) == ["symbol"]
    assert set(result["symbol"]) == set(frames)
    workers = client.run(lambda: __import__("zarntrade").__file__)
    assert len(workers) == 2
    for symbol, bars in frames.items():
        got = result[result["symbol"] == symbol].drop(columns="symbol")
        alone = whole[whole["symbol"] == symbol].sort_values(["date", "time"]).drop(columns="symbol")
        expected = zarntrade.run(alone, studies=STUDIES)
        assert (got.index == expected.index).all(), symbol
        assert_same_bits(got, expected)


def test_datetime_index_and_errors(client):
    a, b = zarntrade.synthetic_bars(400, seed=1), zarntrade.synthetic_bars(300, seed=2)
    whole = pd.concat([a.assign(symbol="A"), b.assign(symbol="B")]).sort_index(kind="stable")
    ddf = dd.from_pandas(whole, npartitions=3)
    result = zarntrade.dask.run_many(ddf, studies="upsell,mp").compute()
    assert_same_bits(result[result.symbol == "B"].drop(columns="symbol"), zarntrade.run(b, studies="upsell,mp"))

    with pytest.raises(ValueError, match="unknown study"):
        zarntrade.dask.run_many(ddf, studies="nothing")
    with pytest.raises(ValueError, match="no 'ticker' column"):
        zarntrade.dask.run_many(ddf, by="ticker")
    bad = whole.copy()
    bad.loc[bad.index[100], "close"] = np.nan
    with pytest.raises(ValueError, match="symbol '[AB]': column 'close' is not finite"):
        zarntrade.dask.run_many(dd.from_pandas(bad, npartitions=3), studies="mp").compute()
