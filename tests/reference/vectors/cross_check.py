#!/usr/bin/env python3
"""Recomputes the vectors of the five window studies from bars.csv, in exact
rational arithmetic, written from the studies' definitions (not from the C++):

  A900        (C0 + ... + C6 + C0 - C7) / 7
  02          sum over i = 0..2 of (C[i] + O[i] - C[i+2] + (H[i+3] + L[i+3]) / 2), times 1/6
  TIGHTSTOP   (l + 2c + h) / 4, each the mean of bars 2, 3 and 4 back
  CHANNELBASE dev / (2 * 0.015 * the population deviation of the last 14 |dev|),
              dev = typical price - the 14-bar mean of the typical price; 0 when that deviation is 0
  EBANDS      middle = the 14-value mean of the regression line's value at the newest bar, over the
              newest min(80, bar) closes; lower/upper = middle -/+ the 14-value mean of the standard
              error of that fit (0 for 2 closes or fewer)

and three studies with memory, run from the first bar as a fresh state runs them:

  TRENDBIAS   (5-bar mean of (EMA9 - EMA90 of the close + median) + C0) / 2, signal its EMA12
  AUTOSTOP    3-bar mean of (2C + H + L) / 4 through EMAs of 5, 3 and 3, two bars late
  VOLSPIKES   EMA3 (from 0) of the on-balance volume two bars back, minus the balance; flags

A fresh state reads 0 wherever no bar was stored yet. A value without a square
root must be the double nearest the exact rational or one next to it (the
library rounds after each operation); with a square root, within 1e-12
relative (plus 1e-9 absolute for a standard error of a fit that is exact in
rationals); the three with memory within 1e-12 relative. Prints one line per study and exits 1 on any difference.

  tests/reference/vectors/cross_check.py [VECTOR_DIR]
"""
import csv
import math
import os
import sys
from fractions import Fraction as F

here = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))

with open(os.path.join(here, "bars.csv"), newline="") as f:
    rows = list(csv.DictReader(f))
O = [F(r["open"]) for r in rows]
H = [F(r["high"]) for r in rows]
L = [F(r["low"]) for r in rows]
C = [F(r["close"]) for r in rows]


def back(series, bar, k):
    """The value k bars back from bar (1-based); 0 before the first bar."""
    i = bar - 1 - k
    return series[i] if i >= 0 else F(0)


def mean(series, bar, n, k=0):
    return sum(back(series, bar, k + i) for i in range(n)) / n


def a900(bar):
    return (sum(back(C, bar, i) for i in range(7)) + back(C, bar, 0) - back(C, bar, 7)) / 7


def open_momentum(bar):
    return sum(back(C, bar, i) + back(O, bar, i) - back(C, bar, i + 2) + (back(H, bar, i + 3) + back(L, bar, i + 3)) / 2
               for i in range(3)) / 6


def tight_stop(bar):
    return (mean(L, bar, 3, 2) + 2 * mean(C, bar, 3, 2) + mean(H, bar, 3, 2)) / 4


def channel_dev(bar):
    typical = (back(H, bar, 0) + back(L, bar, 0) + back(C, bar, 0)) / 3
    return typical - (mean(H, bar, 14) + mean(L, bar, 14) + mean(C, bar, 14)) / 3


def channel(bar):
    dev = channel_dev(bar)
    absdev = [abs(channel_dev(bar - i)) if bar - i >= 1 else F(0) for i in range(14)]
    m = sum(absdev) / 14
    spread = math.sqrt(sum((x - m) ** 2 for x in absdev) / 14)
    return 0.0 if spread == 0 else float(dev) / (2 * spread * 0.015)


def regression_value(bar, n):
    ys = [back(C, bar, i) for i in range(n)]  # i = bars back
    sy, sx = sum(ys), F(n * (n - 1), 2)
    sxx, sxy = F((2 * n - 1) * n * (n - 1), 6), sum(i * y for i, y in enumerate(ys))
    d = sx * sx - n * sxx
    b = (n * sxy - sx * sy) / d if d != 0 else F(0)
    return (sy - b * sx) / n + b * (n - 1)


def standard_error(bar, n):
    if n <= 2:
        return 0.0
    ys = [back(C, bar, i) for i in range(n)]
    my, mx = sum(ys) / n, F(n - 1, 2)
    syy = sum((y - my) ** 2 for y in ys)
    sxy = sum((i - mx) * (y - my) for i, y in enumerate(ys))
    sxx = sum((i - mx) ** 2 for i in range(n))
    v = (syy - (sxy * sxy / sxx if sxx != 0 else 0)) / (n - 2)
    return math.sqrt(v) if v > 0 else 0.0


def bands(bar):
    lines = [regression_value(b, min(80, b)) if b >= 1 else F(0) for b in range(bar, bar - 14, -1)]
    errors = [standard_error(b, min(80, b)) if b >= 1 else 0.0 for b in range(bar, bar - 14, -1)]
    middle = sum(lines) / 14
    err = math.fsum(errors) / 14
    return {"middle": middle, "lower": float(middle) - err, "upper": float(middle) + err}


# Three studies with memory whose recursions are short enough to write out: each runs over
# every bar from the first, seeded as a fresh state seeds it.
def ema(x, s, n):
    return s + 2 * (x - s) / (n + 1)


def trend_bias_series():
    """Slots bias and signal on every bar: (5-bar mean of (EMA9 - EMA90 of the close + the median)
    + C0) / 2, with its 12-length exponential average; every average seeded on bar 1."""
    out, mids = [], []
    for bar in range(1, len(C) + 1):
        c0 = back(C, bar, 0)
        if bar == 1:
            fast = slow = c0
        fast, slow = ema(c0, fast, 9), ema(c0, slow, 90)
        mids.insert(0, fast - slow + (back(H, bar, 0) + back(L, bar, 0)) / 2)
        value = (sum(mids[:5]) / 5 + c0) / 2
        signal = value if bar == 1 else signal
        signal = ema(value, signal, 12)
        out.append({"bias": value, "signal": signal})
    return out


def auto_stop_series():
    """The 3-bar mean of (2C + H + L) / 4, through exponential averages of length 5, 3 and 3
    (seeded with the first mean), shown two bars late."""
    out, weighted, smooth = [], [], []
    for bar in range(1, len(C) + 1):
        weighted.insert(0, (2 * back(C, bar, 0) + back(H, bar, 0) + back(L, bar, 0)) / 4)
        h = sum(weighted[:3]) / 3
        if bar == 1:
            e5 = e3a = e3b = h
        e5 = ema(h, e5, 5)
        e3a = ema(e5, e3a, 3)
        e3b = ema(e3a, e3b, 3)
        smooth.insert(0, e3b)
        out.append({"stop": smooth[2] if len(smooth) > 2 else F(0)})
    return out


def volume_spikes_series():
    """On-balance volume (an unchanged close counts as down) against the 3-length exponential
    average, from 0, of the balance two bars back."""
    out, balances, balance, smoothed = [], [], F(0), F(0)
    volume = [F(r["volume"]) for r in rows]
    for bar in range(1, len(C) + 1):
        balance += volume[bar - 1] if back(C, bar, 0) > back(C, bar, 1) else -volume[bar - 1]
        balances.insert(0, balance)
        smoothed = ema(balances[2] if len(balances) > 2 else F(0), smoothed, 3)
        value = smoothed - balance
        out.append({"value": value, "up": F(1 if value < 0 else 0), "down": F(-1 if value > 0 else 0)})
    return out


def read_vectors(study):
    values, bar = [], None
    with open(os.path.join(here, study + ".txt")) as f:
        for line in f:
            if not line.strip() or line.startswith("#"):
                continue
            words = line.split()
            if words[0] == "bar":
                bar = int(words[1])
            elif words[0] != "study":
                values.append((bar, words[0], float.fromhex(words[2])))
    return values


def ulps_from(x, exact):
    """How many doubles lie between x and the nearest double to exact."""
    nearest = float(exact)
    if x == nearest:
        return 0
    return round(abs(x - nearest) / math.ulp(nearest)) if nearest != 0 else math.inf


failed = 0
exact_studies = {"E_ZARNA900": lambda b, s: a900(b), "E_ZARN02": lambda b, s: open_momentum(b),
                 "E_ZARNTIGHTSTOP": lambda b, s: tight_stop(b)}
for study, model in exact_studies.items():
    values = read_vectors(study)
    worst = max(ulps_from(x, model(bar, slot)) for bar, slot, x in values)
    ok = worst <= 1
    failed += not ok
    print(f"{study}: {len(values)} values, {'ok' if ok else 'DIFFERS'}: at most {worst} ulp from the exact value")

for study, model in {"E_ZARNCHANNELBASE": lambda b, s: channel(b), "E_ZARNEBANDS": lambda b, s: bands(b)[s]}.items():
    values = read_vectors(study)
    worst = 0.0
    for bar, slot, x in values:
        want = float(model(bar, slot))
        diff = abs(x - want)
        worst = max(worst, diff / max(abs(want), 1e-300))
        if diff > 1e-12 * abs(want) + 1e-9:
            failed += 1
            print(f"{study} bar {bar} {slot}: library {x!r}, model {want!r}")
    print(f"{study}: {len(values)} values, largest relative difference {worst:.1e}")

for study, series in {"E_ZARNTRENDBIAS": trend_bias_series(), "E_ZARNAUTOSTOP": auto_stop_series(),
                      "E_ZARNVOLSPIKES": volume_spikes_series()}.items():
    values = read_vectors(study)
    worst = 0.0
    for bar, slot, x in values:
        want = float(series[bar - 1][slot])
        diff = abs(x - want)
        worst = max(worst, diff / max(abs(want), 1e-300))
        if diff > 1e-12 * abs(want):
            failed += 1
            print(f"{study} bar {bar} {slot}: library {x!r}, model {want!r}")
    print(f"{study}: {len(values)} values, largest relative difference {worst:.1e}")

print("cross-check:", "ok" if failed == 0 else f"{failed} differences")
sys.exit(1 if failed else 0)
