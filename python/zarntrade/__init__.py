"""The zarntrade studies for research code: the library itself, linked in.

``run`` computes every slot of the selected studies over a whole series at
once, exactly as the charting platform's library computes them bar by bar
(and bit for bit what ``zarn-replay`` writes); ``Chart`` drives the library
one bar at a time, as the platform does; ``zarntrade.dask.run_many`` runs
``run`` per symbol over a Dask DataFrame; ``studies()`` lists the catalogue.

The library's trace goes to the logger ``"zarntrade"`` (its lines at DEBUG
level), which by default writes nowhere.
"""

import collections
import logging
import numbers

import numpy as np
import pandas as pd

from . import _core

__all__ = ["run", "signal_report", "Chart", "State", "studies", "synthetic_bars", "StateLimitError", "LibraryError"]

StateLimitError = _core.StateLimitError
LibraryError = _core.LibraryError

logger = logging.getLogger("zarntrade")
# Nothing reaches the console unless the application configures logging.
logger.addHandler(logging.NullHandler())

# The replay tool's bounds on prices and volumes: larger magnitudes are
# refused as absurd.
_MAX_MAGNITUDE = 1e15
_PRICES = ("open", "high", "low", "close", "volume")


def _trace_level():
    if logger.disabled:
        return logging.CRITICAL + 1
    return logger.getEffectiveLevel()


def _emit_trace():
    for level, text in _core.take_trace():
        logger.log(level, "%s", text)


def _study_names(studies):
    if studies is None:
        return _core.default_studies()
    if isinstance(studies, str):
        studies = [s for s in studies.split(",") if s.strip()]
    names = []
    for s in studies:
        if not isinstance(s, str):
            raise ValueError(f"study names are strings, not {s!r}")
        names.append(_core.canonical_name(s.strip()))
    return names


def _bands(ebands):
    try:
        period, smoothing = ebands
    except (TypeError, ValueError):
        raise ValueError(f"ebands is (period, smoothing), not {ebands!r}") from None
    for what, v in (("period", period), ("smoothing", smoothing)):
        if not isinstance(v, numbers.Integral) or not 1 <= v <= 2**31 - 1:
            raise ValueError(f"ebands {what} must be a positive whole number, not {v!r}")
    return int(period), int(smoothing)


# --- columns in -------------------------------------------------------------

def _row_text(index, i):
    if index is None:
        return f"row {i}"
    return f"row {i} ({index[i]})"


def _price_column(name, values, n, index):
    a = np.asarray(values)
    if a.ndim != 1:
        raise ValueError(f"column {name!r} must be one-dimensional, not of shape {a.shape}")
    if len(a) != n:
        raise ValueError(f"column {name!r} has {len(a)} rows, the bars have {n}")
    if a.dtype.kind not in "iuf":
        raise ValueError(f"column {name!r} must hold numbers, not {a.dtype}")
    a = np.ascontiguousarray(a, dtype=np.float64)
    bad = ~np.isfinite(a) | (np.abs(a) > _MAX_MAGNITUDE)
    if name == "volume":
        bad |= a < 0
    if bad.any():
        i = int(np.argmax(bad))
        what = "negative" if np.isfinite(a[i]) and a[i] < 0 and name == "volume" else \
            "not finite" if not np.isfinite(a[i]) else "beyond 1e15"
        raise ValueError(f"column {name!r} is {what} ({a[i]!r}) at {_row_text(index, i)}")
    return a


def _stamps_from_datetimes(name, values, index):
    t = pd.DatetimeIndex(values)
    if t.tz is not None:
        t = t.tz_localize(None)
    if t.hasnans:
        i = int(np.argmax(np.asarray(t.isna())))
        raise ValueError(f"{name} is missing at {_row_text(index, i)}")
    year = np.asarray(t.year)
    date = (year * 10000 + np.asarray(t.month) * 100 + np.asarray(t.day)).astype(np.int32)
    time = (np.asarray(t.hour) * 100 + np.asarray(t.minute)).astype(np.int32)
    order = np.asarray(t.asi8)
    return date, time, order


def _int_column(name, values, n):
    a = np.asarray(values)
    if len(a) != n:
        raise ValueError(f"column {name!r} has {len(a)} rows, the bars have {n}")
    if a.dtype.kind not in "iu":
        if a.dtype.kind == "f" and np.all(np.isfinite(a)) and np.all(a == np.floor(a)):
            a = a.astype(np.int64)
        else:
            raise ValueError(f"column {name!r} must hold whole numbers ({'YYYYMMDD' if name == 'date' else 'HHMM'}),"
                             f" not {a.dtype}")
    return a.astype(np.int64)


def _bars(bars):
    """The bars as (index or None, date, time, open, high, low, close, volume)."""
    if isinstance(bars, pd.DataFrame):
        columns = {}
        for c in bars.columns:
            key = str(c).strip().lower()
            if key == "vol":
                key = "volume"
            if key in columns:
                raise ValueError(f"columns {columns[key][0]!r} and {c!r} both read as {key!r}")
            columns[key] = (c, bars[c].to_numpy())
        index = bars.index
        n = len(bars)
        source = {k: v for k, (_, v) in columns.items()}
        datetime_index = isinstance(index, pd.DatetimeIndex)
    elif isinstance(bars, collections.abc.Mapping):
        source = {}
        for k, v in bars.items():
            key = str(k).strip().lower()
            source["volume" if key == "vol" else key] = v
        lengths = {k: len(np.asarray(v)) for k, v in source.items() if np.ndim(v) == 1}
        n = lengths.get("close", max(lengths.values(), default=0))
        index = None
        datetime_index = False
    else:
        raise ValueError("bars must be a pandas DataFrame or a mapping of NumPy arrays")

    for k in ("open", "high", "low", "close"):
        if k not in source:
            raise ValueError(f"the bars have no {k!r} column")
    prices = [_price_column(k, source[k], n, index) for k in _PRICES[:4]]
    if "volume" in source:
        prices.append(_price_column("volume", source["volume"], n, index))
    else:
        prices.append(np.zeros(n))

    # Dates and times: a DatetimeIndex, a date-time column, or a date column
    # (YYYYMMDD or dates) with an optional time column (HHMM).
    if datetime_index:
        date, time, order = _stamps_from_datetimes("the index", index, index)
    elif "datetime" in source or "timestamp" in source:
        key = "datetime" if "datetime" in source else "timestamp"
        date, time, order = _stamps_from_datetimes(f"column {key!r}", source[key], index)
    elif "date" in source:
        d = np.asarray(source["date"])
        if len(d) != n:
            raise ValueError(f"column 'date' has {len(d)} rows, the bars have {n}")
        if d.dtype.kind in "Mo" and "time" not in source:
            date, time, order = _stamps_from_datetimes("column 'date'", d, index)
        else:
            if d.dtype.kind == "M":
                date = _stamps_from_datetimes("column 'date'", d, index)[0].astype(np.int64)
            else:
                date = _int_column("date", d, n)
            time = _int_column("time", source["time"], n) if "time" in source else np.zeros(n, np.int64)
            order = date * 10000 + time
            bad_time = (time < 0) | (time > 2359) | (time % 100 > 59)
            if bad_time.any():
                i = int(np.argmax(bad_time))
                raise ValueError(f"column 'time' is not a time HHMM ({time[i]}) at {_row_text(index, i)}")
    else:
        raise ValueError("the bars have no dates: give a DatetimeIndex, a 'datetime' column or 'date' "
                         "(YYYYMMDD) and 'time' (HHMM) columns")
    year, month, day = date // 10000, date // 100 % 100, date % 100
    bad_date = (year < 1900) | (year > 2099) | (month < 1) | (month > 12) | (day < 1) | (day > 31)
    if bad_date.any():
        i = int(np.argmax(bad_date))
        raise ValueError(f"column 'date' is not a date from 1900 to 2099 ({date[i]}) at {_row_text(index, i)}")
    if n > 1:
        back = order[1:] <= order[:-1]
        if back.any():
            i = int(np.argmax(back)) + 1
            raise ValueError(f"the bars are not in time order: {_row_text(index, i)} is not later than the one "
                             "before")
    return index, date.astype(np.int32), time.astype(np.int32), prices


# --- batch --------------------------------------------------------------------

def run(bars, studies=None, ticks=0, ebands=(80, 14), timeframe=None):
    """Every slot of the selected studies on every bar.

    bars: a pandas DataFrame with a DatetimeIndex (or a 'datetime' column,
    or 'date' YYYYMMDD and 'time' HHMM columns) and open, high, low, close
    and volume columns (names in any letter case; no volume column means
    volume 0), or a mapping of NumPy arrays with those keys. Bars oldest
    first, strictly later one after another.
    studies: None (all), a name, a comma-separated string or a list; names
    are case-insensitive and "E_ZARN" may be left out ("upsell").
    ticks: intrabar updates of the forming bar sent before its final values,
    evaluating each time, as a live chart sends them.
    ebands: period and smoothing of E_ZARNEBANDS.

    Returns a DataFrame on the bars' index (a RangeIndex for a mapping) with
    one float64 column per slot, named "E_ZARNMP.position" as in the replay
    tool's CSV, holding what the study gave after the bar's final values.
    Raises ValueError for unusable input, naming the column and the row.

    With timeframe ("1min", "5min", "15min", "1h" or "1d"), bars are trades
    instead: a DataFrame with a 'time' column of date-times (or a
    DatetimeIndex), 'price' and 'size', oldest first. They are formed into
    bars stamped with the end of their interval (daily bars with their
    date), every trade sent as an update of the forming bar, as
    ``zarn-replay --tick-file`` does; the result is indexed by the bars'
    stamps and holds their open, high, low, close and volume before the
    slots.
    """
    names = _study_names(studies)
    if timeframe is not None:
        if ticks:
            raise ValueError("ticks does not go with timeframe: every trade is an update")
        period, smoothing = _bands(ebands)
        return _signals.run_trades(bars, timeframe, names, period, smoothing)[0]
    if not isinstance(ticks, numbers.Integral) or ticks < 0:
        raise ValueError(f"ticks must be a whole number >= 0, not {ticks!r}")
    period, smoothing = _bands(ebands)
    index, date, time, prices = _bars(bars)
    _core.set_trace_level(_trace_level())
    try:
        columns, values = _core.run(date, time, *prices, names, int(ticks), period, smoothing)
    finally:
        _emit_trace()
    if index is None:
        index = pd.RangeIndex(len(date))
    return pd.DataFrame(values, index=index, columns=columns, copy=False)


def signal_report(data, ticks=None, timeframe=None, studies=None, ebands=(80, 14)):
    return _signals.signal_report(data, ticks=ticks, timeframe=timeframe, studies=studies, ebands=ebands)


def synthetic_bars(count=3000, seed=1):
    """The replay tool's built-in series (5-minute bars of a made-up index
    future) as a DataFrame with a DatetimeIndex."""
    d = _core.synthetic(int(count), int(seed))
    date, time = d["date"].astype(np.int64), d["time"].astype(np.int64)
    index = pd.to_datetime(date.astype(str), format="%Y%m%d") + pd.to_timedelta(
        (time // 100) * 60 + time % 100, unit="min")
    return pd.DataFrame({k: d[k] for k in _PRICES}, index=pd.DatetimeIndex(index, name="datetime"))


# --- the catalogue -----------------------------------------------------------

StudyEntry = collections.namedtuple("StudyEntry", "name slots scale description warmup via_dll")


def studies():
    """The studies this build exports, in catalogue order: name, slot names,
    where they plot ("price" scale or "panel"), what they compute, the bars
    they need before their values settle (None where not known) and whether
    the generic DLL entry reaches them by name."""
    return [StudyEntry(e["name"], tuple(e["slots"]), e["scale"], e["description"], e["warmup"], e["via_dll"])
            for e in _core.catalogue() if e["exported"]]


# --- incremental ---------------------------------------------------------------

_slot_tuples = {}


def _slot_tuple(name):
    t = _slot_tuples.get(name)
    if t is None:
        t = _slot_tuples[name] = collections.namedtuple(name, _core.slot_names(name))
    return t


def _when(when):
    if isinstance(when, numbers.Integral) and not isinstance(when, bool):
        return int(when), 0  # a date YYYYMMDD: a daily bar
    try:
        t = pd.Timestamp(when)
    except (TypeError, ValueError):
        raise ValueError(f"when must be a date-time or a date YYYYMMDD, not {when!r}") from None
    if t is pd.NaT:
        raise ValueError("when is missing (NaT)")
    return t.year * 10000 + t.month * 100 + t.day, t.hour * 100 + t.minute


class State:
    """One study state on a chart: it stores the bars it is given and the
    memory of every study evaluated on it. Evaluate every study you read at
    least once after every new bar: a bar skipped is a bar its memory never
    saw."""

    __slots__ = ("_chart", "_id", "_last")

    def __init__(self, chart, state_id):
        self._chart = chart
        self._id = state_id
        self._last = None

    @property
    def id(self):
        return self._id

    def bar(self, number, when, open, high, low, close, volume=0.0):
        """Stores a bar: a new (higher) bar number appends a bar and commits
        what the studies computed on the one before; the same number again
        replaces the forming bar and commits nothing."""
        if not isinstance(number, numbers.Integral) or isinstance(number, bool) or not 1 <= number <= 2**31 - 1:
            raise ValueError(f"the bar number must be a whole number from 1, not {number!r}")
        if self._last is not None and number < self._last:
            raise ValueError(f"bar {number} comes after bar {self._last}: bar numbers never go back")
        date, time = _when(when)
        if not 19000101 <= date <= 20991231:
            raise ValueError(f"the date of bar {number} is not from 1900 to 2099 ({date})")
        values = []
        for name, v in zip(_PRICES, (open, high, low, close, volume)):
            if not isinstance(v, numbers.Real) or isinstance(v, bool):
                raise ValueError(f"{name} of bar {number} must be a number, not {v!r}")
            v = float(v)
            if not (abs(v) <= _MAX_MAGNITUDE) or (name == "volume" and v < 0):
                raise ValueError(f"{name} of bar {number} is not a usable number ({v!r})")
            values.append(v)
        self._chart._core.store(self._id, int(number), date, time, *values)
        self._last = int(number)
        self._chart._flush()

    def study(self, name, period=80, smoothing=14):
        """Evaluates the study on the newest bar and returns its slots as a
        named tuple (period and smoothing: E_ZARNEBANDS only)."""
        canonical = _core.canonical_name(name)
        period, smoothing = _bands((period, smoothing))
        slots = self._chart._core.evaluate(self._id, canonical, period, smoothing)
        self._chart._flush()
        return _slot_tuple(canonical)(*slots)


class Chart:
    """A chart of the platform: its own context in the library, study states
    created on it, all of them freed when the chart is closed (on leaving the
    ``with`` block). Several charts may be open at once; one chart belongs to
    one thread at a time."""

    def __init__(self):
        _core.set_trace_level(_trace_level())
        self._core = _core.Chart()
        self._flush()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    @property
    def closed(self):
        return self._core.closed

    def state(self):
        """A new study state on this chart."""
        s = State(self, self._core.add_state())
        self._flush()
        return s

    def close(self):
        """Frees the chart's states; closing twice does nothing."""
        self._core.close()
        self._flush()

    @staticmethod
    def _flush():
        _emit_trace()


from . import signals as _signals  # noqa: E402  (uses the helpers above)

signal_report.__doc__ = _signals.signal_report.__doc__
