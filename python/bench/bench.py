"""Bars per second through zarntrade.run against zarn-replay on the same
series, and through zarntrade.dask.run_many with one and two workers.

    PYTHONPATH=build/native/python /usr/bin/python3 python/bench/bench.py [--bars N] [--repeat N]

All 34 studies, ticks 0. The replay tool's figure is its own --stats line
(the whole pass: reading the CSV or generating the built-in series,
the library, handing rows to the writer thread); run() is timed around the call (checking the columns, the loop,
the DataFrame) and its loop alone inside. Best of --repeat runs each.
"""
import argparse
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import time

import pandas as pd

import zarntrade
import zarntrade.dask

ROOT = pathlib.Path(__file__).resolve().parents[2]


def best(f, repeat):
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return min(times)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--bars", type=int, default=20000)
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--symbols", type=int, default=8)
    ap.add_argument("--replay", default=str(ROOT / "build/native/replay/zarn-replay"))
    a = ap.parse_args()
    print(f"load average before: {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores")

    bars = zarntrade.synthetic_bars(a.bars, seed=1)
    with tempfile.TemporaryDirectory() as tmp:
        csv = pathlib.Path(tmp) / "bars.csv"
        t = bars.index
        pd.DataFrame({"date": t.year * 10000 + t.month * 100 + t.day, "time": t.hour * 100 + t.minute,
                      **{k: bars[k] for k in bars.columns}}).to_csv(csv, index=False)
        rates = []
        for _ in range(a.repeat):
            out = subprocess.run([a.replay, str(csv), "--stats", "-o", "/dev/null"], check=True,
                                 capture_output=True, text=True).stderr
            rates.append(float(re.search(r"in ([0-9.]+) s", out).group(1)))
        replay_s = min(rates)
        rates = []
        for _ in range(a.repeat):
            out = subprocess.run([a.replay, "--bars", str(a.bars), "--seed", "1", "--stats", "-o", "/dev/null"],
                                 check=True, capture_output=True, text=True).stderr
            rates.append(float(re.search(r"in ([0-9.]+) s", out).group(1)))
        builtin_s = min(rates)

    # The replay tool's loop alone, without its CSV: Google Benchmark over
    # the loaded library, 20,000 bars of the same series.
    bench = ROOT / "build/native/bench/zt_replay_bench"
    loop_replay_us = None
    if bench.exists():
        out = subprocess.run([str(bench), "--benchmark_filter=AllStudiesOneChart/direct/0$",
                              f"--benchmark_repetitions={a.repeat}"], check=True, capture_output=True,
                             text=True).stdout
        loop_replay_us = min(float(x) for x in re.findall(r"us_per_bar=([0-9.]+)", out.split("_mean")[0]))

    index, date, tm, prices = zarntrade._bars(bars)
    names = zarntrade._core.default_studies()
    loop_s = best(lambda: zarntrade._core.run(date, tm, *prices, names, 0, 80, 14), a.repeat)
    run_s = best(lambda: zarntrade.run(bars), a.repeat)
    n = len(bars)
    print(f"{n} bars of the built-in series, all 34 studies, best of {a.repeat}:")
    print(f"  zarn-replay, CSV file      {n / replay_s:10,.0f} bars/s  {replay_s / n * 1e6:6.2f} us/bar")
    print(f"  zarn-replay, built in      {n / builtin_s:10,.0f} bars/s  {builtin_s / n * 1e6:6.2f} us/bar")
    if loop_replay_us is not None:
        print(f"  zarn-replay loop (bench)   {1e6 / loop_replay_us:10,.0f} bars/s  {loop_replay_us:6.2f} us/bar  "
              "(zt_replay_bench, 20,000 bars, no CSV)")
    base = loop_replay_us * 1e-6 * n if loop_replay_us is not None else replay_s
    print(f"  zarntrade.run, loop alone  {n / loop_s:10,.0f} bars/s  {loop_s / n * 1e6:6.2f} us/bar  "
          f"({(loop_s / base - 1) * 100:+.1f} % per bar against the replay's loop)")
    print(f"  zarntrade.run, whole call  {n / run_s:10,.0f} bars/s  {run_s / n * 1e6:6.2f} us/bar  "
          f"({(run_s / base - 1) * 100:+.1f} % per bar against the replay's loop)")

    import dask.dataframe as dd
    import distributed

    frames = []
    for s in range(a.symbols):
        b = zarntrade.synthetic_bars(a.bars, seed=s + 1)
        frames.append(b.assign(symbol=f"S{s}"))
    whole = pd.concat(frames).sort_index(kind="stable")
    total = len(whole)
    for workers in (1, 2):
        with distributed.LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                                      dashboard_address=None, silence_logs=50) as cluster, \
                distributed.Client(cluster) as client:
            ddf = dd.from_pandas(whole, npartitions=2 * a.symbols).persist()
            distributed.wait(ddf)

            def once(pull):
                result = zarntrade.dask.run_many(ddf, studies=names)
                if pull:
                    result.compute()
                else:
                    kept = client.persist(result)
                    distributed.wait(kept)
                    del kept

            once(False)  # warm the workers
            kept_s = best(lambda: once(False), max(1, a.repeat // 2))
            pulled_s = best(lambda: once(True), max(1, a.repeat // 2))
        print(f"  run_many, {workers} worker(s)       {total / kept_s:10,.0f} bars/s  results kept on the workers; "
              f"{total / pulled_s:,.0f} bars/s pulled into the client")
    print(f"  ({a.symbols} symbols x {a.bars} bars in {2 * a.symbols} partitions; the shuffle included)")
    print(f"load average after: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    sys.exit(main())
