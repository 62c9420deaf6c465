"""zarntrade over many symbols on Dask: ``run`` per symbol, each symbol's bars
in time order in one task."""
