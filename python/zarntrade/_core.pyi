"""Type stubs of the extension module zarntrade._core (the library, linked in)."""

from typing import Any, Dict, List, Optional, Tuple

import numpy as np
import numpy.typing as npt

__version__: str

class StateLimitError(RuntimeError): ...
class LibraryError(RuntimeError): ...

def run(
    date: npt.NDArray[np.int32],
    time: npt.NDArray[np.int32],
    open: npt.NDArray[np.float64],
    high: npt.NDArray[np.float64],
    low: npt.NDArray[np.float64],
    close: npt.NDArray[np.float64],
    volume: npt.NDArray[np.float64],
    studies: List[str],
    ticks: int,
    bands_period: int,
    bands_smoothing: int,
) -> Tuple[List[str], npt.NDArray[np.float64]]: ...
def run_trades(
    date: npt.NDArray[np.int32],
    second: npt.NDArray[np.int32],
    price: npt.NDArray[np.float64],
    size: npt.NDArray[np.float64],
    timeframe: str,
    studies: List[str],
    report: bool,
    bands_period: int,
    bands_smoothing: int,
) -> Tuple[List[str], npt.NDArray[np.float64], npt.NDArray[np.float64], Optional[List[Tuple[Any, ...]]]]: ...
def bars_signal_report(
    date: npt.NDArray[np.int32],
    time: npt.NDArray[np.int32],
    open: npt.NDArray[np.float64],
    high: npt.NDArray[np.float64],
    low: npt.NDArray[np.float64],
    close: npt.NDArray[np.float64],
    volume: npt.NDArray[np.float64],
    studies: List[str],
    ticks: int,
    bands_period: int,
    bands_smoothing: int,
) -> List[Tuple[Any, ...]]: ...
def columns(names: List[str]) -> List[str]: ...
def default_studies() -> List[str]: ...
def canonical_name(name: str) -> str: ...
def slot_names(name: str) -> List[str]: ...
def catalogue() -> List[Dict[str, Any]]: ...
def synthetic(count: int, seed: int) -> Dict[str, npt.NDArray[Any]]: ...
def state_exists(id: int) -> bool: ...
def set_trace_level(level: int) -> None: ...
def take_trace() -> List[Tuple[int, str]]: ...

class Chart:
    def __init__(self) -> None: ...
    @property
    def context(self) -> int: ...
    @property
    def closed(self) -> bool: ...
    def add_state(self) -> int: ...
    def store(
        self, state: int, number: int, date: int, time: int, open: float, high: float, low: float, close: float,
        volume: float,
    ) -> None: ...
    def evaluate(self, state: int, name: str, period: int, smoothing: int) -> Tuple[float, ...]: ...
    def close(self) -> None: ...

