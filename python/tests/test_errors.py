"""Unusable input raises ValueError naming the column and the row, before
anything reaches the library; an argument of the wrong type raises
TypeError."""
import numpy as np
import pandas as pd
import pytest

import zarntrade


@pytest.fixture
def bars():
    return zarntrade.synthetic_bars(50)


def test_unknown_study_names(bars):
    with pytest.raises(ValueError, match='unknown study "upsale"'):
        zarntrade.run(bars, studies=["upsell", "upsale"])
    with zarntrade.Chart() as chart:
        with pytest.raises(ValueError, match='unknown study "nothing"'):
            chart.state().study("nothing")


@pytest.mark.parametrize("column", ["open", "high", "low", "close", "volume"])
@pytest.mark.parametrize("bad", [np.nan, np.inf, -np.inf])
def test_non_finite_prices_and_volumes_name_column_and_row(bars, column, bad):
    bars = bars.copy()
    bars.iloc[17, bars.columns.get_loc(column)] = bad
    with pytest.raises(ValueError, match=rf"column '{column}' is not finite \({bad}\) at row 17 \({bars.index[17]}\)"):
        zarntrade.run(bars)


def test_absurd_and_negative_values(bars):
    with pytest.raises(ValueError, match=r"column 'close' is beyond 1e15 .* at row 3"):
        zarntrade.run(bars.assign(close=np.where(np.arange(50) == 3, 2e15, bars.close)))
    with pytest.raises(ValueError, match=r"column 'volume' is negative \(-1.0\) at row 4"):
        zarntrade.run(bars.assign(volume=np.where(np.arange(50) == 4, -1.0, bars.volume)))


def test_length_mismatch_names_the_column(bars):
    columns = {k: bars[k].to_numpy() for k in bars.columns}
    columns["date"] = np.full(50, 20240102)
    columns["time"] = np.arange(50) + 900
    columns["low"] = columns["low"][:-1]
    with pytest.raises(ValueError, match="column 'low' has 49 rows, the bars have 50"):
        zarntrade.run(columns)


def test_wrong_dtypes_name_the_column(bars):
    with pytest.raises(ValueError, match="column 'high' must hold numbers, not object"):
        zarntrade.run(bars.assign(high=bars.high.astype(str)))
    with pytest.raises(ValueError, match="column 'open' must hold numbers, not bool"):
        zarntrade.run(bars.assign(open=True))
    with pytest.raises(ValueError, match="column 'date' must hold whole numbers"):
        zarntrade.run(bars.reset_index(drop=True).assign(date="2024-01-02", time=930))


def test_missing_columns_dates_and_order(bars):
    with pytest.raises(ValueError, match="no 'close' column"):
        zarntrade.run(bars.drop(columns="close"))
    with pytest.raises(ValueError, match="no dates"):
        zarntrade.run(bars.reset_index(drop=True))
    with pytest.raises(ValueError, match=r"not in time order: row 10 .* is not later"):
        zarntrade.run(bars.iloc[[*range(10), 5, *range(11, 50)]])
    with pytest.raises(ValueError, match="not a time HHMM \\(975\\) at row 2"):
        zarntrade.run(pd.DataFrame({"date": [20240102] * 3, "time": [900, 930, 975], "open": 1.0, "high": 1.0,
                                    "low": 1.0, "close": 1.0}))
    with pytest.raises(ValueError, match="ticks"):
        zarntrade.run(bars, ticks=-1)
    with pytest.raises(ValueError, match="ebands"):
        zarntrade.run(bars, ebands=(0, 14))


def test_chart_bars_are_checked():
    with zarntrade.Chart() as chart:
        state = chart.state()
        with pytest.raises(ValueError, match="close of bar 1 is not a usable number \\(nan\\)"):
            state.bar(1, "2024-01-02 09:30", 1.0, 1.0, 1.0, float("nan"), 0.0)
        with pytest.raises(TypeError, match="volume of bar 1 must be a number"):
            state.bar(1, "2024-01-02 09:30", 1.0, 1.0, 1.0, 1.0, "lots")
        state.bar(2, "2024-01-02 09:30", 1.0, 1.0, 1.0, 1.0, 0.0)
        with pytest.raises(ValueError, match="bar numbers never go back"):
            state.bar(1, "2024-01-02 09:35", 1.0, 1.0, 1.0, 1.0, 0.0)
        with pytest.raises(TypeError, match="when must be"):
            state.bar(3, object(), 1.0, 1.0, 1.0, 1.0, 0.0)
        with pytest.raises(ValueError, match="when must be"):
            state.bar(3, "the day after", 1.0, 1.0, 1.0, 1.0, 0.0)
        with pytest.raises(TypeError, match="bar number must be a whole number"):
            state.bar(3.0, "2024-01-02 09:40", 1.0, 1.0, 1.0, 1.0, 0.0)
        with pytest.raises(TypeError, match="a study name is a string, not float"):
            state.study(1.5)


def test_wrong_types_raise_type_error(bars):
    as_list = bars.reset_index().to_numpy().tolist()
    with pytest.raises(TypeError, match="bars must be a pandas DataFrame or a mapping of NumPy arrays, not list"):
        zarntrade.run(as_list)
    with pytest.raises(TypeError, match="a study name is a string, not float"):
        zarntrade.run(bars, studies=["upsell", 2.5])
    with pytest.raises(TypeError, match="studies is None, a name or a list of names, not float"):
        zarntrade.run(bars, studies=2.5)
    with pytest.raises(TypeError, match="ticks must be a whole number, not float"):
        zarntrade.run(bars, ticks=1.5)
    with pytest.raises(TypeError, match="ebands smoothing must be a whole number"):
        zarntrade.run(bars, ebands=(80, "14"))
    with pytest.raises(TypeError, match="columns is"):
        zarntrade.run(bars, columns=None)
    with pytest.raises(ValueError, match="columns is"):
        zarntrade.run(bars, columns="wide")
    with pytest.raises(TypeError, match="as_frame"):
        zarntrade.studies("yes")
