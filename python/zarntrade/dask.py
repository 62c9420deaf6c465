"""zarntrade over many symbols on Dask.

``run_many`` shuffles a Dask DataFrame of bars so that every symbol's rows
are in one partition, then runs ``zarntrade.run`` once per symbol, on its
bars in time order, inside one task. The scheduler decides where tasks run:
the same call works on the threads of one process, on a
``distributed.LocalCluster`` or on a cluster of many machines whose workers
can import zarntrade.
"""

from __future__ import annotations

import os
import pathlib
import urllib.parse
from typing import Any, List, Tuple

import numpy as np
import pandas as pd

import zarntrade

__all__ = ["run_many", "save_snapshots", "load_snapshots"]


def _in_time_order(bars):
    if isinstance(bars.index, pd.DatetimeIndex):
        return bars.sort_index(kind="stable")
    names = {str(c).strip().lower(): c for c in bars.columns}
    for keys in (("datetime",), ("timestamp",), ("date", "time"), ("date",)):
        if all(k in names for k in keys):
            return bars.sort_values([names[k] for k in keys], kind="stable")
    return bars  # run() says what is missing


def _empty(bars, by, columns):
    out = pd.DataFrame({c: pd.Series(dtype=np.float64) for c in columns}, index=bars.index[:0])
    out.insert(0, by, bars[by].iloc[:0])
    return out


def _one_symbol(bars, by, names, ticks, ebands, snapshots=None, states=None):
    bars = _in_time_order(bars)
    symbol = bars[by].iloc[0]
    resume = None if snapshots is None else snapshots.get(symbol)
    try:
        result = zarntrade.run(bars.drop(columns=by), studies=names, ticks=ticks, ebands=ebands, resume=resume,
                               return_state=states is not None)
    except ValueError as e:
        raise ValueError(f"{by} {symbol!r}: {e}") from None
    if states is not None:
        result, states[symbol] = result
    result.insert(0, by, bars[by].to_numpy())
    return result


def _partition(part, by, names, ticks, ebands, columns):
    groups = [g for _, g in part.groupby(by, sort=True, observed=True)]
    if not groups:
        return _empty(part, by, columns)
    return pd.concat([_one_symbol(g, by, names, ticks, ebands) for g in groups])


def _partition_with_states(part, by, names, ticks, ebands, columns, snapshots):
    states = {}
    groups = [g for _, g in part.groupby(by, sort=True, observed=True)]
    if not groups:
        return _empty(part, by, columns), states
    return pd.concat([_one_symbol(g, by, names, ticks, ebands, snapshots, states) for g in groups]), states


def _snapshot_mapping(snapshots):
    if snapshots is None:
        return {}
    if isinstance(snapshots, pd.Series):
        snapshots = snapshots.to_dict()
    if not hasattr(snapshots, "items"):
        raise ValueError("snapshots is a mapping or a pandas Series of bytes by symbol")
    out = {}
    for symbol, data in snapshots.items():
        if not isinstance(data, (bytes, bytearray, memoryview)):
            raise ValueError(f"the snapshot of {symbol!r} is not bytes but {type(data).__name__}")
        out[symbol] = bytes(data)
    return out


def run_many(ddf: Any, by: str = "symbol", studies: zarntrade.StudyNames = None, ticks: int = 0,
             ebands: Tuple[int, int] = (80, 14), snapshots: Any = None, return_state: bool = False) -> Any:
    """``zarntrade.run`` per symbol over a Dask DataFrame.

    Parameters
    ----------
    ddf : dask.dataframe.DataFrame
        Bars of many symbols, in any order, with a column ``by`` naming the
        symbol and the dates and prices ``run`` takes (a DatetimeIndex, or
        date and time columns). Each symbol's bars are put in time order and
        computed in one task.
    by : str, default "symbol"
        The column naming the symbol.
    studies, ticks, ebands
        As for :func:`zarntrade.run`.
    snapshots : mapping or pandas.Series of bytes, optional
        Snapshot bytes by symbol (what the last run returned): each symbol
        that has one goes on from it and computes only its bars here, which
        must be later than the snapshot's last bar (or start with that bar
        again); symbols without one start fresh.
    return_state : bool, default False
        Compute at once and return (results, new snapshots): a pandas
        DataFrame as below and a pandas Series of bytes by symbol, for the
        next run (:func:`save_snapshots` keeps them in a folder).

    Returns
    -------
    dask.dataframe.DataFrame
        Lazy: the ``by`` column, then one float64 column per slot (named as
        ``run`` names them), on the bars' own index, each symbol's rows
        together and in time order.

    Raises
    ------
    TypeError, ValueError
        Study names and options are checked at once; a bad row raises
        ValueError, naming the symbol, when the result is computed.
    """
    given = _snapshot_mapping(snapshots)
    names: List[str] = zarntrade._study_names(studies)
    zarntrade._bands(ebands)
    ticks = zarntrade._ticks(ticks)
    if not isinstance(by, str):
        raise TypeError(f"by names a column, not {type(by).__name__} ({by!r})")
    if by not in ddf.columns:
        raise ValueError(f"the bars have no {by!r} column")
    columns = zarntrade._core.columns(names)
    meta = _empty(ddf._meta, by, columns)
    shuffled = ddf.shuffle(by)
    if not return_state:
        if given:
            return shuffled.map_partitions(_partition_resuming, by, names, int(ticks), tuple(ebands), columns,
                                           given, meta=meta)
        return shuffled.map_partitions(_partition, by, names, int(ticks), tuple(ebands), columns, meta=meta)
    import dask
    parts = [dask.delayed(_partition_with_states)(p, by, names, int(ticks), tuple(ebands), columns, given)
             for p in shuffled.to_delayed()]
    computed = dask.compute(*parts)
    frames = [f for f, _ in computed if len(f)] or [computed[0][0] if computed else meta]
    states = {}
    for _, s in computed:
        states.update(s)
    result = pd.concat(frames)
    return result, pd.Series(states, dtype=object).sort_index()


def _partition_resuming(part, by, names, ticks, ebands, columns, snapshots):
    return _partition_with_states(part, by, names, ticks, ebands, columns, snapshots)[0]


def _file_name(symbol):
    return urllib.parse.quote(str(symbol), safe="") + ".zts"


def save_snapshots(snapshots, folder):
    """Writes one file per symbol, FOLDER/SYMBOL.zts (the symbol
    percent-encoded where a file name could not hold it), each replaced at
    once by a rename so that an interrupted job leaves yesterday's file."""
    folder = pathlib.Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    for symbol, data in _snapshot_mapping(snapshots).items():
        target = folder / _file_name(symbol)
        part = target.with_name(target.name + ".part")
        with open(part, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        os.replace(part, target)


def load_snapshots(folder):
    """The snapshots ``save_snapshots`` wrote, as a pandas Series of bytes by
    symbol (empty when the folder does not exist yet)."""
    folder = pathlib.Path(folder)
    states = {}
    if folder.is_dir():
        for path in sorted(folder.glob("*.zts")):
            states[urllib.parse.unquote(path.name[:-4])] = path.read_bytes()
    return pd.Series(states, dtype=object)
