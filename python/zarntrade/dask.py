"""zarntrade over many symbols on Dask.

``run_many`` shuffles a Dask DataFrame of bars so that every symbol's rows
are in one partition, then runs ``zarntrade.run`` once per symbol, on its
bars in time order, inside one task. The scheduler decides where tasks run:
the same call works on the threads of one process, on a
``distributed.LocalCluster`` or on a cluster of many machines whose workers
can import zarntrade.
"""

from __future__ import annotations

from typing import Any, List, Tuple

import numpy as np
import pandas as pd

import zarntrade

__all__ = ["run_many"]


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


def _one_symbol(bars, by, names, ticks, ebands):
    bars = _in_time_order(bars)
    try:
        result = zarntrade.run(bars.drop(columns=by), studies=names, ticks=ticks, ebands=ebands)
    except ValueError as e:
        raise ValueError(f"{by} {bars[by].iloc[0]!r}: {e}") from None
    result.insert(0, by, bars[by].to_numpy())
    return result


def _partition(part, by, names, ticks, ebands, columns):
    groups = [g for _, g in part.groupby(by, sort=True, observed=True)]
    if not groups:
        return _empty(part, by, columns)
    return pd.concat([_one_symbol(g, by, names, ticks, ebands) for g in groups])


def run_many(ddf: Any, by: str = "symbol", studies: zarntrade.StudyNames = None, ticks: int = 0,
             ebands: Tuple[int, int] = (80, 14)) -> Any:
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
    names: List[str] = zarntrade._study_names(studies)
    zarntrade._bands(ebands)
    ticks = zarntrade._ticks(ticks)
    if not isinstance(by, str):
        raise TypeError(f"by names a column, not {type(by).__name__} ({by!r})")
    if by not in ddf.columns:
        raise ValueError(f"the bars have no {by!r} column")
    columns = zarntrade._core.columns(names)
    meta = _empty(ddf._meta, by, columns)
    return ddf.shuffle(by).map_partitions(_partition, by, names, int(ticks), tuple(ebands), columns, meta=meta)
