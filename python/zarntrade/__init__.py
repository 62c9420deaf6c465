"""The zarntrade studies for research code: the library itself, linked in.

``run`` computes every slot of the selected studies over a whole series at
once, exactly as the charting platform's library computes them bar by bar
(and bit for bit what ``zarn-replay`` writes); ``Chart`` drives the library
one bar at a time, as the platform does; ``zarntrade.dask.run_many`` runs
``run`` per symbol over a Dask DataFrame; ``studies()`` lists the catalogue.

The library's trace goes to the logger ``"zarntrade"`` (its lines at DEBUG
level), which by default writes nowhere.

A wrong type (a list where a DataFrame is expected, a float where a name is
expected) raises ``TypeError``; a value of the right type that cannot be
used raises ``ValueError``, naming the column and the row.
"""

from __future__ import annotations

import collections
import collections.abc
import logging
import numbers
from typing import Any, Dict, List, Literal, Mapping, NamedTuple, Optional, Sequence, Tuple, Union, overload

import numpy as np
import numpy.typing as npt
import pandas as pd

from . import _core

__all__ = ["run", "signal_report", "Chart", "State", "studies", "synthetic_bars", "StudyEntry", "StateLimitError", "LibraryError",
           "__version__"]

#: The version of the library and the package (the CMake project's version).
__version__: str = _core.__version__

#: Bars: a DataFrame, or a mapping of column names to one-dimensional arrays.
Bars = Union[pd.DataFrame, Mapping[str, npt.ArrayLike]]
#: Study names: None for all, one name, a comma-separated string or a list.
StudyNames = Union[None, str, Sequence[str]]

StateLimitError = _core.StateLimitError
LibraryError = _core.LibraryError

logger = logging.getLogger("zarntrade")
# Nothing reaches the console unless the application configures logging.
logger.addHandler(logging.NullHandler())

# The replay tool's bounds on prices and volumes: larger magnitudes are
# refused as absurd.
_MAX_MAGNITUDE = 1e15
_PRICES = ("open", "high", "low", "close", "volume")


def _trace_level() -> int:
    if logger.disabled:
        return logging.CRITICAL + 1
    return logger.getEffectiveLevel()


def _emit_trace() -> None:
    for level, text in _core.take_trace():
        logger.log(level, "%s", text)


def _study_name(name: Any) -> str:
    if not isinstance(name, str):
        raise TypeError(f"a study name is a string, not {type(name).__name__} ({name!r})")
    return _core.canonical_name(name.strip())


def _study_names(studies: StudyNames) -> List[str]:
    if studies is None:
        return _core.default_studies()
    if isinstance(studies, str):
        studies = [s for s in studies.split(",") if s.strip()]
    elif not isinstance(studies, collections.abc.Iterable):
        raise TypeError(f"studies is None, a name or a list of names, not {type(studies).__name__} ({studies!r})")
    return [_study_name(s) for s in studies]


def _whole(what: str, v: Any) -> int:
    if not isinstance(v, numbers.Integral) or isinstance(v, bool):
        raise TypeError(f"{what} must be a whole number, not {type(v).__name__} ({v!r})")
    return int(v)


def _bands(ebands: Tuple[int, int]) -> Tuple[int, int]:
    if isinstance(ebands, (str, bytes)) or not isinstance(ebands, collections.abc.Iterable):
        raise TypeError(f"ebands is (period, smoothing), not {type(ebands).__name__} ({ebands!r})")
    try:
        period, smoothing = ebands
    except ValueError:
        raise ValueError(f"ebands is (period, smoothing), not {ebands!r}") from None
    for what, v in (("period", period), ("smoothing", smoothing)):
        if not 1 <= _whole(f"ebands {what}", v) <= 2**31 - 1:
            raise ValueError(f"ebands {what} must be a positive whole number, not {v!r}")
    return int(period), int(smoothing)


def _ticks(ticks: Any) -> int:
    if _whole("ticks", ticks) < 0:
        raise ValueError(f"ticks must be a whole number >= 0, not {ticks!r}")
    return int(ticks)


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


def _bars(bars: Bars) -> Tuple[Optional[pd.Index], npt.NDArray[np.int32], npt.NDArray[np.int32],
                               List[npt.NDArray[np.float64]]]:
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
        raise TypeError(f"bars must be a pandas DataFrame or a mapping of NumPy arrays, not {type(bars).__name__}")

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

def run(bars: Bars, studies: StudyNames = None, ticks: int = 0, ebands: Tuple[int, int] = (80, 14),
        columns: str = "flat", timeframe: Optional[str] = None) -> pd.DataFrame:
    """Every slot of the selected studies on every bar.

    Parameters
    ----------
    bars : pandas.DataFrame or mapping of str to array_like
        The bars, oldest first, each later than the one before: a DataFrame
        with a DatetimeIndex (or a ``datetime`` column, or ``date`` YYYYMMDD
        and ``time`` HHMM columns) and ``open``, ``high``, ``low``, ``close``
        and ``volume`` columns (names in any letter case; no volume column
        means volume 0), or a mapping of NumPy arrays with those keys.
    studies : str or sequence of str, optional
        None (all), a name, a comma-separated string or a list; names are
        case-insensitive and "E_ZARN" may be left out (``"upsell"``).
    ticks : int, default 0
        Intrabar updates of the forming bar sent before its final values,
        evaluating each time, as a live chart sends them.
    ebands : (int, int), default (80, 14)
        Period and smoothing of E_ZARNEBANDS.
    columns : {"flat", "multi"}, default "flat"
        "flat": one column per slot named as in the replay tool's CSV
        (``"E_ZARNMP.position"``); "multi": (study, slot) MultiIndex columns
        (``out["E_ZARNMP", "position"]``, ``out["E_ZARNMP"]``).
    timeframe : {"1min", "5min", "15min", "1h", "1d"}, optional
        The bars are trades instead: a DataFrame with a ``time`` column of
        date-times (or a DatetimeIndex), ``price`` and ``size``, oldest
        first. They form bars stamped with the end of their interval (daily
        bars with their date), every trade sent as an update of the forming
        bar, as ``zarn-replay --tick-file`` does; the result is indexed by
        the bars' stamps and holds their ``open``, ``high``, ``low``,
        ``close`` and ``volume`` before the slots (``columns="flat"`` only).

    Returns
    -------
    pandas.DataFrame
        On the bars' index (a RangeIndex for a mapping), one float64 column
        per slot, holding what the study gave after the bar's final values.

    Raises
    ------
    TypeError
        An argument of the wrong type (a list for the bars, a float for a
        study name).
    ValueError
        Unusable input, naming the column and the row; an unknown study.

    Examples
    --------
    >>> out = zarntrade.run(zarntrade.synthetic_bars(500), studies="mp,upsell", columns="multi")
    >>> out["E_ZARNUPSELL"].columns.tolist()
    ['signal', 'line', 'smoothed']
    """
    names = _study_names(studies)
    ticks = _ticks(ticks)
    period, smoothing = _bands(ebands)
    if timeframe is not None:
        if ticks:
            raise ValueError("ticks does not go with timeframe: every trade is an update")
        if columns != "flat":
            raise ValueError("trades give flat columns only (the bars' prices beside the slots)")
        return _signals.run_trades(bars, timeframe, names, period, smoothing)[0]
    if not isinstance(columns, str):
        raise TypeError(f"columns is \"flat\" or \"multi\", not {type(columns).__name__} ({columns!r})")
    if columns not in ("flat", "multi"):
        raise ValueError(f"columns is \"flat\" or \"multi\", not {columns!r}")
    index, date, time, prices = _bars(bars)
    _core.set_trace_level(_trace_level())
    try:
        names_out, values = _core.run(date, time, *prices, names, ticks, period, smoothing)
    finally:
        _emit_trace()
    if index is None:
        index = pd.RangeIndex(len(date))
    header: Union[List[str], pd.MultiIndex] = names_out
    if columns == "multi":
        header = pd.MultiIndex.from_tuples([tuple(c.split(".", 1)) for c in names_out], names=["study", "slot"])
    return pd.DataFrame(values, index=index, columns=header, copy=False)


def signal_report(data: Union[Bars, pd.DataFrame], ticks: Optional[int] = None, timeframe: Optional[str] = None,
                  studies: StudyNames = None, ebands: Tuple[int, int] = (80, 14)) -> pd.DataFrame:
    return _signals.signal_report(data, ticks=ticks, timeframe=timeframe, studies=studies, ebands=ebands)


def synthetic_bars(count: int = 3000, seed: int = 1) -> pd.DataFrame:
    """The replay tool's built-in series: 5-minute bars of a made-up index future.

    Parameters
    ----------
    count : int, default 3000
        Number of bars.
    seed : int, default 1
        Seed of the series; the same seed gives the same bars.

    Returns
    -------
    pandas.DataFrame
        Columns ``open``, ``high``, ``low``, ``close``, ``volume`` on a
        DatetimeIndex named ``datetime``.
    """
    count, seed = _whole("count", count), _whole("seed", seed)
    if count < 0 or seed < 0:
        raise ValueError(f"count and seed must not be negative ({count}, {seed})")
    d = _core.synthetic(count, seed)
    date, time = d["date"].astype(np.int64), d["time"].astype(np.int64)
    index = pd.to_datetime(date.astype(str), format="%Y%m%d") + pd.to_timedelta(
        (time // 100) * 60 + time % 100, unit="min")
    return pd.DataFrame({k: d[k] for k in _PRICES}, index=pd.DatetimeIndex(index, name="datetime"))


# --- the catalogue -----------------------------------------------------------

class StudyEntry(NamedTuple):
    """One study of the catalogue."""

    name: str
    slots: Tuple[str, ...]
    scale: str
    description: str
    warmup: Optional[int]
    via_dll: bool


@overload
def studies(as_frame: Literal[False] = ...) -> List[StudyEntry]: ...


@overload
def studies(as_frame: Literal[True]) -> pd.DataFrame: ...


def studies(as_frame: bool = False) -> Union[List[StudyEntry], pd.DataFrame]:
    """The studies this build exports, in catalogue order.

    Parameters
    ----------
    as_frame : bool, default False
        False: a list of :class:`StudyEntry` named tuples. True: a DataFrame
        indexed by the study name with the columns ``slots``, ``scale``,
        ``description``, ``warmup`` (nullable integer) and ``via_dll``.

    Returns
    -------
    list of StudyEntry or pandas.DataFrame
        For each study: its name, slot names, where it plots ("price" scale
        or "panel"), what it computes, the first bar (from 0) whose values
        no longer read the zero-filled history of a fresh state (None where
        not known) and whether the generic DLL entry reaches it by name.
    """
    if not isinstance(as_frame, (bool, np.bool_)):
        raise TypeError(f"as_frame is True or False, not {type(as_frame).__name__} ({as_frame!r})")
    entries = [StudyEntry(e["name"], tuple(e["slots"]), e["scale"], e["description"], e["warmup"], e["via_dll"])
               for e in _core.catalogue() if e["exported"]]
    if not as_frame:
        return entries
    frame = pd.DataFrame(entries, columns=list(StudyEntry._fields)).set_index("name")
    frame["warmup"] = frame["warmup"].astype("Int64")
    return frame


# --- incremental ---------------------------------------------------------------

_slot_tuples: Dict[str, Any] = {}


def _slot_tuple(name: str) -> Any:
    t = _slot_tuples.get(name)
    if t is None:
        t = _slot_tuples[name] = collections.namedtuple(name, _core.slot_names(name))  # type: ignore[misc]
    return t


When = Union[int, str, pd.Timestamp, Any]


def _when(when: When) -> Tuple[int, int]:
    if isinstance(when, numbers.Integral) and not isinstance(when, bool):
        return int(when), 0  # a date YYYYMMDD: a daily bar
    try:
        t = pd.Timestamp(when)
    except TypeError:
        raise TypeError(f"when must be a date-time or a date YYYYMMDD, not {type(when).__name__} ({when!r})") \
            from None
    except ValueError:
        raise ValueError(f"when must be a date-time or a date YYYYMMDD, not {when!r}") from None
    if t is pd.NaT:
        raise ValueError("when is missing (NaT)")
    return t.year * 10000 + t.month * 100 + t.day, t.hour * 100 + t.minute


class State:
    """One study state on a chart (made by :meth:`Chart.state`).

    It stores the bars it is given and the memory of every study evaluated
    on it. Evaluate every study you read at least once after every new bar:
    a bar skipped is a bar its memory never saw.
    """

    __slots__ = ("_chart", "_id", "_last")

    def __init__(self, chart: "Chart", state_id: int) -> None:
        self._chart = chart
        self._id = state_id
        self._last: Optional[int] = None

    @property
    def id(self) -> int:
        """The library's id of the state (what E_CREATESTATE2 returned)."""
        return self._id

    def bar(self, number: int, when: When, open: float, high: float, low: float, close: float,
            volume: float = 0.0) -> None:
        """Store a bar.

        A new (higher) bar number appends a bar and commits what the studies
        computed on the one before; the same number again replaces the
        forming bar and commits nothing.

        Parameters
        ----------
        number : int
            The bar number, from 1; never lower than the one before.
        when : datetime-like or int
            Anything :class:`pandas.Timestamp` reads, or a date YYYYMMDD as
            an int for a daily bar.
        open, high, low, close : float
            The prices, finite and at most 1e15 in magnitude.
        volume : float, default 0.0
            The volume, finite, not negative.

        Raises
        ------
        TypeError
            A number or a time of the wrong type.
        ValueError
            A bar number going back, a date outside 1900 to 2099, a price or
            volume that is not usable.
        """
        if not isinstance(number, numbers.Integral) or isinstance(number, bool):
            raise TypeError(f"the bar number must be a whole number, not {type(number).__name__} ({number!r})")
        if not 1 <= number <= 2**31 - 1:
            raise ValueError(f"the bar number must be a whole number from 1, not {number!r}")
        if self._last is not None and number < self._last:
            raise ValueError(f"bar {number} comes after bar {self._last}: bar numbers never go back")
        date, time = _when(when)
        if not 19000101 <= date <= 20991231:
            raise ValueError(f"the date of bar {number} is not from 1900 to 2099 ({date})")
        values = []
        for name, v in zip(_PRICES, (open, high, low, close, volume)):
            if not isinstance(v, numbers.Real) or isinstance(v, bool):
                raise TypeError(f"{name} of bar {number} must be a number, not {type(v).__name__} ({v!r})")
            v = float(v)
            if not (abs(v) <= _MAX_MAGNITUDE) or (name == "volume" and v < 0):
                raise ValueError(f"{name} of bar {number} is not a usable number ({v!r})")
            values.append(v)
        self._chart._core.store(self._id, int(number), date, time, *values)
        self._last = int(number)
        self._chart._flush()

    def study(self, name: str, period: int = 80, smoothing: int = 14) -> Tuple[float, ...]:
        """Evaluate a study on the newest bar.

        Parameters
        ----------
        name : str
            The study, case-insensitive, "E_ZARN" may be left out.
        period, smoothing : int, default 80, 14
            E_ZARNEBANDS's period and smoothing (other studies ignore them).

        Returns
        -------
        tuple of float
            The study's slots as a named tuple (``E_ZARNMP(midpoint=...,
            position=..., above=..., below=...)``).
        """
        canonical = _study_name(name)
        period, smoothing = _bands((period, smoothing))
        slots = self._chart._core.evaluate(self._id, canonical, period, smoothing)
        self._chart._flush()
        return _slot_tuple(canonical)(*slots)


class Chart:
    """A chart of the platform: its own context in the library.

    Study states are created on it with :meth:`state`; all of them are freed
    when the chart is closed (on leaving the ``with`` block). Several charts
    may be open at once; one chart belongs to one thread at a time.

    Examples
    --------
    >>> with zarntrade.Chart() as chart:
    ...     state = chart.state()
    ...     state.bar(1, "2024-01-02 09:30", 10.0, 10.5, 9.5, 10.25, 100.0)
    ...     mp = state.study("mp")
    """

    def __init__(self) -> None:
        _core.set_trace_level(_trace_level())
        self._core = _core.Chart()
        self._flush()

    def __enter__(self) -> "Chart":
        return self

    def __exit__(self, *exc: Any) -> bool:
        self.close()
        return False

    @property
    def closed(self) -> bool:
        """Whether the chart was closed."""
        return self._core.closed

    def state(self) -> State:
        """Create a study state on this chart.

        Returns
        -------
        State
            The new state.

        Raises
        ------
        StateLimitError
            The library holds 1000 states already.
        """
        s = State(self, self._core.add_state())
        self._flush()
        return s

    def close(self) -> None:
        """Free the chart's states; closing twice does nothing."""
        self._core.close()
        self._flush()

    @staticmethod
    def _flush() -> None:
        _emit_trace()


from . import signals as _signals  # noqa: E402  (uses the helpers above)

signal_report.__doc__ = _signals.signal_report.__doc__
