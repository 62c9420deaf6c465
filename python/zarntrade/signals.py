"""Trades in, and the confirmation report: what the forming bar showed
against what the closed bar kept (``zarntrade.run(trades, timeframe=...)``
and ``zarntrade.signal_report``)."""

import numbers

import numpy as np
import pandas as pd

from . import _core

_MAX_MAGNITUDE = 1e15
_REPORT_COLUMNS = ["bars", "shown", "confirmed", "vanished", "flipped", "late", "median_share"]


def _timeframe(timeframe):
    if not isinstance(timeframe, str):
        raise ValueError(f"timeframe is a string such as \"5min\", not {timeframe!r}")
    return timeframe.strip()


def _row_text(index, i):
    return f"row {i}" if index is None else f"row {i} ({index[i]})"


def _trades(trades):
    """The trades as (date YYYYMMDD, second of the day, price, size)."""
    if not isinstance(trades, pd.DataFrame):
        raise ValueError("trades must be a pandas DataFrame with time (date-times), price and size columns")
    columns = {}
    for c in trades.columns:
        key = str(c).strip().lower()
        key = {"datetime": "time", "timestamp": "time", "last": "price", "volume": "size", "vol": "size",
               "qty": "size", "quantity": "size"}.get(key, key)
        if key in columns:
            raise ValueError(f"columns {columns[key]!r} and {c!r} both read as {key!r}")
        columns[key] = c
    index = trades.index
    n = len(trades)
    if "time" in columns:
        stamps = trades[columns["time"]].to_numpy()
        where = f"column {columns['time']!r}"
    elif isinstance(index, pd.DatetimeIndex):
        stamps = index
        where = "the index"
    else:
        raise ValueError("the trades have no times: give a DatetimeIndex or a 'time' column of date-times")
    if "price" not in columns:
        raise ValueError("the trades have no 'price' column")
    try:
        t = pd.DatetimeIndex(stamps)
    except (TypeError, ValueError) as e:
        raise ValueError(f"{where} does not hold date-times: {e}") from None
    if t.tz is not None:
        t = t.tz_localize(None)
    if t.hasnans:
        i = int(np.argmax(np.asarray(t.isna())))
        raise ValueError(f"{where} is missing at {_row_text(index, i)}")
    year = np.asarray(t.year)
    bad = (year < 1900) | (year > 2099)
    if bad.any():
        i = int(np.argmax(bad))
        raise ValueError(f"{where} is not a date from 1900 to 2099 at {_row_text(index, i)}")
    order = np.asarray(t.asi8)
    if n > 1:
        back = order[1:] < order[:-1]
        if back.any():
            i = int(np.argmax(back)) + 1
            raise ValueError(f"the trades are not in time order: {_row_text(index, i)} is earlier than the one before")
    date = (year * 10000 + np.asarray(t.month) * 100 + np.asarray(t.day)).astype(np.int32)
    second = (np.asarray(t.hour) * 3600 + np.asarray(t.minute) * 60 + np.asarray(t.second)).astype(np.int32)

    def numbers_of(name, positive):
        a = np.asarray(trades[columns[name]].to_numpy())
        if a.dtype.kind not in "iuf":
            raise ValueError(f"column {columns[name]!r} must hold numbers, not {a.dtype}")
        a = np.ascontiguousarray(a, dtype=np.float64)
        bad = ~np.isfinite(a) | (np.abs(a) > _MAX_MAGNITUDE) | ((a <= 0) if positive else (a < 0))
        if bad.any():
            i = int(np.argmax(bad))
            what = "not above zero" if positive else "negative"
            if not np.isfinite(a[i]):
                what = "not finite"
            elif abs(a[i]) > _MAX_MAGNITUDE:
                what = "beyond 1e15"
            raise ValueError(f"column {columns[name]!r} is {what} ({a[i]!r}) at {_row_text(index, i)}")
        return a

    price = numbers_of("price", True)
    size = numbers_of("size", False) if "size" in columns else np.zeros(n)
    return date, second, price, size


def _bar_index(date, time):
    date = date.astype(np.int64)
    time = time.astype(np.int64)
    index = pd.to_datetime(date.astype(str), format="%Y%m%d") + pd.to_timedelta(
        (time // 100) * 60 + time % 100, unit="min")
    return pd.DatetimeIndex(index, name="datetime")


def _report_frame(rows):
    frame = pd.DataFrame([r[1:] for r in rows], columns=_REPORT_COLUMNS,
                         index=pd.Index([r[0] for r in rows], name="slot"))
    for c in _REPORT_COLUMNS[:-1]:
        frame[c] = frame[c].astype(np.int64)
    frame["median_share"] = frame["median_share"].astype(np.float64)
    return frame


def run_trades(trades, timeframe, names, period, smoothing, report=False):
    """Bars formed from trades, every trade an update: (bars and values
    DataFrame, report rows or None)."""
    from . import _emit_trace, _trace_level
    date, second, price, size = _trades(trades)
    _core.set_trace_level(_trace_level())
    try:
        columns, bars, values, rows = _core.run_trades(date, second, price, size, _timeframe(timeframe), names,
                                                       bool(report), period, smoothing)
    finally:
        _emit_trace()
    index = _bar_index(bars[:, 0], bars[:, 1])
    frame = pd.DataFrame(bars[:, 2:], index=index, columns=["open", "high", "low", "close", "volume"])
    frame = pd.concat([frame, pd.DataFrame(values, index=index, columns=columns, copy=False)], axis=1)
    return frame, rows


def signal_report(data, ticks=None, timeframe=None, studies=None, ebands=(80, 14)):
    """The confirmation report: for every signal slot of the selected
    studies (the slots a chart draws as +1/-1 marks), what the forming bars
    showed against what the closed bars kept.

    data: bars, as ``run`` takes them, with ticks=N (each bar sent N times
    as it forms, then with its final values); or trades (a DataFrame with a
    'time' column of date-times or a DatetimeIndex, 'price' and 'size') with
    timeframe= "1min", "5min", "15min", "1h" or "1d" (every trade an update
    of the forming bar).

    Returns a DataFrame indexed by slot ("E_ZARNUPSELL.signal") with the
    columns bars, shown, confirmed, vanished, flipped, late (whole numbers)
    and median_share (NaN when no signal was confirmed), as zarn-replay
    --signal-report writes them.
    """
    from . import _bands, _bars, _emit_trace, _study_names, _trace_level
    if (ticks is None) == (timeframe is None):
        raise ValueError("give ticks=N for bars or timeframe=... for trades (one of them)")
    names = _study_names(studies)
    period, smoothing = _bands(ebands)
    if timeframe is not None:
        _, rows = run_trades(data, timeframe, names, period, smoothing, report=True)
        return _report_frame(rows)
    if not isinstance(ticks, numbers.Integral) or isinstance(ticks, bool) or ticks < 0:
        raise ValueError(f"ticks must be a whole number >= 0, not {ticks!r}")
    _, date, time, prices = _bars(data)
    _core.set_trace_level(_trace_level())
    try:
        rows = _core.bars_signal_report(date, time, *prices, names, int(ticks), period, smoothing)
    finally:
        _emit_trace()
    return _report_frame(rows)
