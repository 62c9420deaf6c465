#!/usr/bin/env python3
"""Recomputes every vector of every study from bars.csv with models written from
the studies' definitions (not from the C++), and compares.

In exact rational arithmetic, the five window studies:

  A900        (C0 + ... + C6 + C0 - C7) / 7
  02          sum over i = 0..2 of (C[i] + O[i] - C[i+2] + (H[i+3] + L[i+3]) / 2), times 1/6
  TIGHTSTOP   (l + 2c + h) / 4, each the mean of bars 2, 3 and 4 back
  CHANNELBASE dev / (2 * 0.015 * the population deviation of the last 14 |dev|),
              dev = typical price - the 14-bar mean of the typical price; 0 when that deviation is 0
  EBANDS      middle = the 14-value mean of the regression line's value at the newest bar, over the
              newest min(80, bar) closes; lower/upper = middle -/+ the 14-value mean of the standard
              error of that fit (0 for 2 closes or fewer)

and three short recursions, run from the first bar as a fresh state runs them:

  TRENDBIAS   (5-bar mean of (EMA9 - EMA90 of the close + median) + C0) / 2, signal its EMA12
  AUTOSTOP    3-bar mean of (2C + H + L) / 4 through EMAs of 5, 3 and 3, two bars late
  VOLSPIKES   EMA3 (from 0) of the on-balance volume two bars back, minus the balance; flags

A value without a square root must be the double nearest the exact rational or
one next to it (the library rounds after each operation); with a square root or
a recursion, within 1e-12 relative (plus 1e-9 absolute for a standard error of a
fit that is exact in rationals).

In double precision, with the operations in the order the definitions give them
(a parabolic stop compares prices with its own level, which exact rationals
could tip the other way), the other 26: the parabolic stop and its blend lines
(FAST104, 104, DEMA104FAST104, DEMA104), the triple trend (STOPLINE,
SHORTTERMTRADEBIAS, SWINGLINE), MP, MEDIUM, SHADOW, the split lines and the
scorecard, the water level, and the composite signal with every study built on
it (UPSELL, FAST1, FAST2, COMBO, NEWUPDOWN, UNIVERSAL, UNIVERSALBOND,
TRIGGERWATERLEVELUPDOWN, TR4, 1MINRIBBON, FAST3, COLORTMPL). These must agree
bit for bit.

A fresh state reads 0 wherever no bar was stored yet. Prints one line per study
and exits 1 on any difference, or when a vector file has no model here.

With a second argument, zarn-replay's CSV of the same bars (zarn-replay --bars 360
--seed 7), it also compares every slot of every study on every bar.

  tests/reference/vectors/cross_check.py [VECTOR_DIR [REPLAY_CSV]]
"""
import csv
import functools
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


@functools.lru_cache(maxsize=None)
def channel_dev(bar):
    typical = (back(H, bar, 0) + back(L, bar, 0) + back(C, bar, 0)) / 3
    return typical - (mean(H, bar, 14) + mean(L, bar, 14) + mean(C, bar, 14)) / 3


def channel(bar):
    dev = channel_dev(bar)
    absdev = [abs(channel_dev(bar - i)) if bar - i >= 1 else F(0) for i in range(14)]
    m = sum(absdev) / 14
    spread = math.sqrt(sum((x - m) ** 2 for x in absdev) / 14)
    return 0.0 if spread == 0 else float(dev) / (2 * spread * 0.015)


@functools.lru_cache(maxsize=None)
def regression_value(bar, n):
    ys = [back(C, bar, i) for i in range(n)]  # i = bars back
    sy, sx = sum(ys), F(n * (n - 1), 2)
    sxx, sxy = F((2 * n - 1) * n * (n - 1), 6), sum(i * y for i, y in enumerate(ys))
    d = sx * sx - n * sxx
    b = (n * sxy - sx * sy) / d if d != 0 else F(0)
    return (sy - b * sx) / n + b * (n - 1)


@functools.lru_cache(maxsize=None)
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


# The parabolic stop and the blend lines built on it, in double precision like the library (the
# stop compares prices with its own level, which exact rationals could tip the other way).
def newest(ring, x, capacity):
    ring.insert(0, x)
    del ring[capacity:]


def at(ring, k):
    return ring[k] if k < len(ring) else 0.0


def momentum_ratio(ring, n, k):
    up = down = 0.0
    for i in range(n):
        a, b = at(ring, k + i), at(ring, k + i + 1)
        if a > b:
            up += a - b
        elif a < b:
            down += b - a
    return 0.0 if up + down == 0 else (up - down) / (up + down)


def vidya(ring, s, n):
    f = abs(momentum_ratio(ring, 9, 0)) * 2 / (n + 1)
    return at(ring, 0) * f + s * (1 - f)


class ParabolicStop:
    """Starts short at the first high, so it reverses to long on the first bar; the factor starts at
    step, grows by step on each new extreme up to cap; a reversal returns the extreme of the trade
    that ended, other bars the stop worked out on the bar before, which never passes the last two
    bars' lows (long) or highs (short)."""

    def __init__(self, step, cap):
        self.step, self.cap, self.started = step, cap, False

    def __call__(self, h0, h1, l0, l1):
        step, cap = self.step, self.cap
        if not self.started:
            self.direction, self.stop, self.high, self.low, self.factor, self.started = -1, h0, h0, l0, 0.0, True
        previous_high, previous_low = self.high, self.low
        self.high, self.low = max(self.high, h0), min(self.low, l0)
        if self.direction == 1:
            if l0 <= self.stop:
                result = self.high
                self.direction, self.high, self.low, self.factor = -1, h0, l0, step
                self.stop = max(result + step * (l0 - result), h0, h1)
                return result
            result = self.stop
            if self.high > previous_high and self.factor < cap:
                self.factor = min(self.factor + step, cap)
            self.stop = min(self.stop + self.factor * (self.high - self.stop), l0, l1)
            return result
        if h0 >= self.stop:
            result = self.low
            self.direction, self.high, self.low, self.factor = 1, h0, l0, step
            self.stop = min(result + step * (h0 - result), l0, l1)
            return result
        result = self.stop
        if self.low < previous_low and self.factor < cap:
            self.factor = min(self.factor + step, cap)
        self.stop = max(self.stop + self.factor * (self.low - self.stop), h0, h1)
        return result


class Blend:
    """Three quarters the 5-length variable-index average of the stop, one quarter the 6-bar mean of
    three-point means of median + (C0 - C[k1]) points, read k4 bars back."""

    def __init__(self, k1, step, k2, k3, k4):
        self.k, self.sar = (k1, k2, k3, k4), ParabolicStop(step, 0.2)
        self.stops, self.averages, self.points, self.results, self.state = [], [], [], [], None

    def __call__(self, h, l, c):
        k1, k2, k3, k4 = self.k
        s = self.sar(h(0), h(1), l(0), l(1))
        newest(self.stops, s, 10)
        self.state = vidya(self.stops, s if self.state is None else self.state, 5)
        newest(self.points, (h(0) + l(0)) / 2 + (c(0) - c(k1)), 4)
        newest(self.averages, (at(self.points, 0) + at(self.points, k2) + at(self.points, k3)) / 3, 6)
        newest(self.results, sum(at(self.averages, i) for i in range(6)) / 6, 3)
        return 0.25 * at(self.results, k4) + 0.75 * self.state


def blend_studies_series():
    """FAST104, 104, DEMA104FAST104 and DEMA104 (the last through a 60-length double exponential
    average seeded with its first blend), STOPLINE (mean of the momentum-adjusted close of 12 bars
    back and the triple trend of 3 bars back), SHORTTERMTRADEBIAS (momentum-adjusted close minus
    the triple trend, its positive part, its value 3 bars back), MP (the midpoint against the stop
    line and the tight stop), MEDIUM (a 25/13 true strength index against its 15-length
    variable-index average) and SHADOW."""
    fast, plain, undelayed, smoothed, trend = (Blend(3, 0.03, 2, 3, 2), Blend(4, 0.02, 1, 2, 2),
                                               Blend(4, 0.02, 2, 1, 0), Blend(4, 0.02, 2, 1, 0),
                                               Blend(3, 0.03, 2, 3, 2))
    ma_ring, ma_lag, trend_lag, bias_ring, tsi_ring = [], [], [], [], []
    points, triangle, prices, volumes, total_volume = [], [], [], [], 0.0
    out = []
    for bar in range(1, len(C) + 1):
        h = lambda k: float(back(H, bar, k))  # noqa: E731
        l = lambda k: float(back(L, bar, k))  # noqa: E731
        c = lambda k: float(back(C, bar, k))  # noqa: E731
        row = {"E_ZARNFAST104": {"line": fast(h, l, c)}, "E_ZARN104": {"line": plain(h, l, c)},
               "E_ZARNDEMA104FAST104": {"line": undelayed(h, l, c)}}
        x = smoothed(h, l, c)
        if bar == 1:
            d1 = d2 = x
        d1 = ema(x, d1, 60)
        d2 = ema(d1, d2, 60)
        row["E_ZARNDEMA104"] = {"line": 2 * d1 - d2}

        e = (sum(c(i) for i in range(7)) + c(0) - c(7)) * (1 / 7)
        b = trend(h, l, c)
        newest(ma_ring, e, 5)
        t = (b + sum(at(ma_ring, i) for i in range(5)) / 5 + e) / 3
        newest(ma_lag, e, 13)
        newest(trend_lag, t, 4)
        stop = (at(ma_lag, 12) + at(trend_lag, 3)) * 0.5
        row["E_ZARNSTOPLINE"] = {"stop": stop}
        newest(bias_ring, e - t, 4)
        row["E_ZARNSHORTTERMTRADEBIAS"] = {"bias": e - t, "positive": max(e - t, 0.0), "lagged": at(bias_ring, 3)}

        m = (h(0) + l(0)) / 2
        tight = float(tight_stop(bar))
        between = stop < m < tight or tight < m < stop
        under, over = m < stop and m < tight, m > stop and m > tight
        row["E_ZARNMP"] = {"midpoint": m, "position": 2.0 if between else 1.0 if under else 0.0,
                           "above": 1.0 if over else 0.0, "below": -1.0 if under else 0.0}

        d = c(0) - c(1)
        if bar == 1:
            n1 = n2 = d
            a1 = a2 = abs(d)
        n1, a1 = ema(d, n1, 25), ema(abs(d), a1, 25)
        n2, a2 = ema(n1, n2, 13), ema(a1, a2, 13)
        index = 0.0 if a2 == 0 else 100 * n2 / a2
        newest(tsi_ring, index, 15)
        if bar == 1:
            signal = index
        signal = vidya(tsi_ring, signal, 15)
        row["E_ZARNMEDIUM"] = {"spread": at(tsi_ring, 3) - signal,
                               "positive": index - signal if index > signal else 0.0,
                               "negative": index - signal if index < signal else 0.0}
        # SHADOW: a triangular average (5 then 6 values) of median + 1.382 (2 C0 - C1 - C2),
        # weighted by volume in units of 0.67 times the mean volume so far, newest first, until
        # the weights reach 5; divided by 5.
        newest(points, (h(0) + l(0)) / 2 + (2 * c(0) - c(1) - c(2)) * 1.382, 10)
        newest(triangle, sum(at(points, i) for i in range(5)) / 5, 10)
        t = sum(at(triangle, i) for i in range(6)) / 6
        v0 = float(rows[bar - 1]["volume"])
        newest(prices, t, 50)
        newest(volumes, v0, 50)
        total_volume += v0
        unit = 0.67 * total_volume / bar
        remaining, weighted = 5.0, 0.0
        for i in range(5):
            w = min(at(volumes, i) / unit, remaining)
            remaining -= w
            weighted += w * at(prices, i)
        row["E_ZARNSHADOW"] = {"line": weighted / 5}
        out.append(row)
    return out


def mean_of(ring, n, k=0):
    return sum(at(ring, k + i) for i in range(n)) / n


def weighted_mean(ring, n, k=0):
    """Weights n for the newest value of the window down to 1 for the oldest."""
    return sum((n - i) * at(ring, k + i) for i in range(n)) / sum(n - i for i in range(n))


def vidya_displaced(ring, s, n, k):
    f = abs(momentum_ratio(ring, 9, k)) * 2 / (n + 1)
    return at(ring, k) * f + s * (1 - f)


class Buffered:
    """A variable-index average over its own ring of inputs, seeded with the first input."""

    def __init__(self, n):
        self.n, self.ring, self.state = n, [], None

    def __call__(self, x):
        self.state = x if self.state is None else self.state
        newest(self.ring, x, max(self.n, 10))
        self.state = vidya(self.ring, self.state, self.n)
        return self.state


class SwingRecord:
    """Swing high recorded at an upward cross of a fast line over a slow one, swing low at a
    downward cross (a previous difference of 0 is no side); between crosses the running extremes
    widen. Returns the midpoint of the two recorded swings."""

    def __init__(self, swing_high, swing_low):
        self.run_high = self.run_low = None  # the first bar's high and low
        self.high, self.low, self.previous = swing_high, swing_low, 0.0

    def __call__(self, h0, l0, fast, slow):
        if self.run_high is None:
            self.run_high, self.run_low = h0, l0
        if fast > slow and self.previous < 0:
            self.high, self.run_low = self.run_high, l0
        elif fast < slow and self.previous > 0:
            self.low, self.run_high = self.run_low, h0
        else:
            self.run_low, self.run_high = min(self.run_low, l0), max(self.run_high, h0)
        self.previous = fast - slow
        return (self.low + self.high) / 2


class MedianMomentum:
    """The 3-value mean of median + (C0 - C[k]) points, averaged over n values from 2 back."""

    def __init__(self, k, n):
        self.k, self.n, self.points, self.averages = k, n, [], []

    def __call__(self, h, l, c):
        newest(self.points, (h(0) + l(0)) / 2 + (c(0) - c(self.k)), 3)
        newest(self.averages, mean_of(self.points, 3), 9)
        return mean_of(self.averages, self.n, 2)


def composite_series():
    """WATERLEVEL, SWINGLINE, 115SPLIT, MODSPLIT and SCORECARD: the composite studies that need
    no composite signal beyond its lower line."""
    level_stop, level_points, level_state = ParabolicStop(0.02, 0.2), [], None
    swing_trend, swing_ma, swing_ring, swing = Blend(3, 0.03, 2, 3, 2), [], [], None
    split = (MedianMomentum(4, 6), ParabolicStop(0.02, 0.2))
    mod = (MedianMomentum(2, 4), ParabolicStop(0.02, 0.2))
    split_swing, mod_swing, mod_low = SwingRecord(0.0, 0.0), SwingRecord(0.0, 0.0), None
    cv = cr = 0.0
    ratios, momenta, mixes, levels, trends, pressures, medians, averages, results = ([] for _ in range(9))
    b18, b4, b5, score_stop = Buffered(18), Buffered(4), Buffered(5), ParabolicStop(0.02, 0.2)
    volume = [float(r["volume"]) for r in rows]
    out = []
    for bar in range(1, len(C) + 1):
        h = lambda k: float(back(H, bar, k))  # noqa: E731
        l = lambda k: float(back(L, bar, k))  # noqa: E731
        c = lambda k: float(back(C, bar, k))  # noqa: E731
        v = lambda k: volume[bar - 1 - k] if bar - 1 - k >= 0 else 0.0  # noqa: E731
        lows = [l(i) for i in range(12)]
        m = (h(0) + l(0)) / 2
        row = {}

        # WATERLEVEL: half the 24-length variable-index average, read 12 back, of
        # d = (m + C0 - C4 - lower) / m + (H0 - H2) / 3 + C0 + H2, lower = (L0 + wl + stop) / 3.
        lower = (l(0) + weighted_mean(lows, 6, 5) + level_stop(h(0), h(1), l(0), l(1))) / 3
        d = 0.0 if m == 0 else (m + (c(0) - c(4)) - lower) / m
        d = d + (h(0) - h(2)) / 3 + c(0) + h(2)
        level_state = d if level_state is None else level_state
        newest(level_points, d, 37)
        level_state = vidya_displaced(level_points, level_state, 24, 12)
        row["E_ZARNWATERLEVEL"] = {"level": level_state * 0.5}

        # SWINGLINE: the triple trend blend, swings recorded where it turns against its value
        # six bars back (fast = that value, slow = the blend), levels seeded with the first bar.
        b = swing_trend(h, l, c)
        e = (sum(c(i) for i in range(7)) + c(0) - c(7)) * (1 / 7)
        newest(swing_ma, e, 5)
        t = (b + mean_of(swing_ma, 5) + e) / 3
        newest(swing_ring, t, 7)
        if swing is None:
            swing = SwingRecord(h(0), l(0))
        mid = swing(h(0), l(0), at(swing_ring, 6), t)
        row["E_ZARNSWINGLINE"] = {"trend_lag3": at(swing_ring, 3), "midpoint": mid, "swing_high": swing.high,
                                  "swing_low": swing.low}

        # 115SPLIT and MODSPLIT: the median momentum against
        # slow = ((m + C0 - C4 - (stop + low side + L0) / 3) / m + C0 + (H0 - H2) / 3 + H2) / 2.
        def split_line(parts, low_side, record):
            a = parts[0](h, l, c)
            stop = parts[1](h(0), h(1), l(0), l(1))
            slow = ((m + (c(0) - c(4)) - (stop + low_side + l(0)) / 3) / m + c(0) + (h(0) - h(2)) / 3 + h(2)) / 2
            return record(h(0), l(0), a, slow)

        row["E_ZARN115SPLIT"] = {"line": split_line(split, weighted_mean(lows, 6, 5), split_swing)}
        mod_low = l(5) if mod_low is None else mod_low
        mod_low = ema(l(5), mod_low, 4)
        row["E_ZARNMODSPLIT"] = {"line": split_line(mod, mod_low, mod_swing)}

        # SCORECARD, step by step.
        cv += v(0)
        cr += 0.0 if cv == 0 else v(3) / cv
        newest(ratios, cr, 7)
        n = mean_of(ratios, 3, 3) + (c(0) - c(9))
        newest(momenta, n, 4)
        newest(mixes, n + c(0) - at(momenta, 3), 15)
        x = mean_of(mixes, 3, 3) - weighted_mean(mixes, 10, 4)
        newest(levels, b18(x) + c(0), 6)
        newest(trends, b4(mean_of(levels, 2, 3)), 4)
        k = at(trends, 3)
        vols = [v(i) for i in range(25)]
        va, vw = mean_of(vols, 2), weighted_mean(vols, 25)
        newest(pressures, m + (k + va - vw) / m - k if m != 0 else -k, 12)
        a = mean_of(pressures, 9, 2)
        newest(medians, m + (c(0) - c(4)), 3)
        s = b5(score_stop(h(0), h(1), l(0), l(1)))
        newest(averages, (at(medians, 0) + at(medians, 1) + at(medians, 2)) / 3, 9)
        result = (m + a) - 0.25 * mean_of(averages, 6, 2) - 0.75 * s
        newest(results, result, 12)
        row["E_ZARNSCORECARD"] = {"value": result, "average": weighted_mean(results, 8, 3),
                                  "negative": min(result, 0.0), "positive": max(result, 0.0)}
        out.append(row)
    return out


class Channel:
    """dev / (2 * 0.015 * population deviation of the last 14 |dev|), 0 when that deviation is 0."""

    def __init__(self):
        self.deviations = []

    def __call__(self, hs, ls, cs):
        mean = (mean_of(hs, 14) + mean_of(ls, 14) + mean_of(cs, 14)) / 3
        dev = (hs[0] + ls[0] + cs[0]) / 3 - mean
        newest(self.deviations, abs(dev), 14)
        m = mean_of(self.deviations, 14)
        spread = math.sqrt(sum((at(self.deviations, i) - m) ** 2 for i in range(14)) / 14)
        return 0.0 if spread == 0 else dev / (2 * spread * 0.015)


class MomentumBlendModel:
    """The median drift and the stop/double-average blend mixed with the median momentum, plus a
    MACD (12, 26, signal 9) term: lag a, weighted length b, drift lag d, double-average length."""

    def __init__(self, a, b, d, length):
        self.a, self.b, self.d, self.length, self.started = a, b, d, length, False
        self.median, self.drift, self.mix, self.macd = [], [], [], []
        self.md_median, self.md_drift = [], []
        self.sd_stops, self.sd_sar = [], ParabolicStop(0.01, 0.1)

    def __call__(self, h, l, c, v):
        a, b, d = self.a, self.b, self.d
        if not self.started:
            self.ema12 = self.ema26 = c(0)
            self.dema1 = self.dema2 = c(0)
        newest(self.median, (h(0) + l(0)) / 2, 50)
        lagged = at(self.median, a)
        newest(self.md_median, (h(0) + l(0)) / 2, 50)
        m0, mk = at(self.md_median, 0), at(self.md_median, a)
        t = 0.0
        if m0 != 0:
            den = c(0) + 0.1 * (v(5) / m0 + v(3) + v(0))
            if den != 0 and (c(0) - mk + m0) != 0:
                t = (c(0) - mk + m0) / den
        newest(self.md_drift, c(0) + (c(0) + t - at(self.md_median, 3)), 10)
        e = mean_of(self.md_drift, 3, 6)
        newest(self.drift, e, 9)
        newest(self.sd_stops, self.sd_sar(h(0), h(1), l(0), l(1)), 15)
        self.dema1 = ema(c(0), self.dema1, self.length)
        self.dema2 = ema(self.dema1, self.dema2, self.length)
        sd = (weighted_mean(self.sd_stops, b) + (2 * self.dema1 - self.dema2)) / 2
        newest(self.mix, ((sd + at(self.median, 0) + e + (c(0) - lagged)) / 3 + at(self.drift, d)) / 2, 8)
        o = mean_of(self.mix, 3, 4)
        self.ema12, self.ema26 = ema(c(0), self.ema12, 12), ema(c(0), self.ema26, 26)
        macd = self.ema12 - self.ema26
        newest(self.macd, macd, 3)
        if not self.started:
            self.signal = macd
        self.signal = ema(macd, self.signal, 9)
        self.started = True
        return (sum(self.macd) + macd) / 2 + (macd - self.signal) + (c(0) - o)


class SpreadModel:
    """(b + a) minus the 15-value weighted mean of b from 5 back."""

    def __init__(self):
        self.values = []

    def __call__(self, a, b):
        newest(self.values, b, 21)
        return (b + a) - weighted_mean(self.values, 15, 5)


class CascadeModel:
    """A 3-length variable-index average, then a 5-length one of it read 2 back."""

    def __init__(self):
        self.inputs, self.first, self.state = [], [], None

    def __call__(self, x):
        starting = self.state is None
        self.state = x if starting else self.state
        newest(self.inputs, x, 10)
        self.state = vidya(self.inputs, self.state, 3)
        newest(self.first, self.state, 13)
        if starting:
            self.second = at(self.first, 2)
        self.second = vidya_displaced(self.first, self.second, 5, 2)
        return self.second


class EnvelopeModel:
    """((b + lows' 6-value weighted mean from 5 back + L0) / 3 * 1.0015
    + (a + C0 - M[8] + M[0]) / 2) / 2."""

    def __init__(self):
        self.median = []

    def __call__(self, h, l, c, lows, a, b):
        newest(self.median, (h(0) + l(0)) / 2, 9)
        return ((b + weighted_mean(lows, 6, 5) + l(0)) / 3 * 1.0015 +
                (a + c(0) - at(self.median, 8) + at(self.median, 0)) / 2) / 2


def regression_float(ring, n, k):
    sy, sx = sum(at(ring, i) for i in range(n)), n * (n - 1) * 0.5
    sxx, sxy = (2 * n - 1) * n * (n - 1) / 6, sum(i * at(ring, i) for i in range(n))
    d = sx * sx - n * sxx
    b = (n * sxy - sx * sy) / d if d != 0 else 0.0
    return (sy - b * sx) / n + b * (n - 1 - k)


class FlowModel:
    """Close momentum over 3 bars plus the forecast of the running sum of V[3] over the running
    volume, its 4-value mean less its n-length variable-index average read 5 back."""

    def __init__(self, n):
        self.n, self.volume, self.ratio, self.ratios, self.forecasts, self.flows = n, 0.0, 0.0, [], [], []
        self.state = None

    def __call__(self, c, v):
        self.volume += v(0)
        self.ratio += 0.0 if self.volume == 0 else v(3) / self.volume
        newest(self.ratios, self.ratio, 5)
        newest(self.forecasts, regression_float(self.ratios, 5, -1), 4)
        x = c(0) - c(3) + at(self.forecasts, 3)
        newest(self.flows, x, 16)
        self.state = x if self.state is None else self.state
        self.state = vidya_displaced(self.flows, self.state, self.n, 5)
        return mean_of(self.flows, 4) - self.state


class CompositeModel:
    """The composite signal: its trade signal, its composite line and its lower line."""

    def __init__(self):
        self.started = False
        self.median, self.stops, self.mix, self.blend = [], [], [], []
        self.sar, self.svb, self.channel = ParabolicStop(0.02, 0.2), Blend(3, 0.03, 1, 3, 2), Channel()
        self.smm, self.swing = MedianMomentum(4, 6), SwingRecord(0.0, 0.0)
        self.momentum, self.spread = MomentumBlendModel(8, 15, 8, 20), SpreadModel()
        self.cascade, self.envelope = CascadeModel(), EnvelopeModel()

    def __call__(self, h, l, c, v, hs, ls, cs):
        newest(self.median, (h(0) + l(0)) / 2, 50)
        M = lambda k: at(self.median, k)  # noqa: E731
        median_gap, close_gap = c(0) - M(8), c(0) - c(8)
        newest(self.stops, self.sar(h(0), h(1), l(0), l(1)), 10)
        if not self.started:
            self.sar_state = self.stops[0]
        self.sar_state = vidya(self.stops, self.sar_state, 15)
        newest(self.mix, ((c(4) - c(12) + M(4)) + (c(2) - c(10) + M(2)) + M(0) + close_gap) / 3, 11)
        q = mean_of(self.mix, 6, 4)
        newest(self.blend, (0.25 * q + M(0) + 0.75 * self.sar_state + median_gap) / 2, 14)
        mb = self.momentum(h, l, c, v)
        ws = self.spread(M(0), mb)
        vc = self.cascade(ws)
        wl = weighted_mean(ls, 6, 5)
        le = self.envelope(h, l, c, ls, vc, self.stops[0])
        svb = self.svb(h, l, c)
        if not self.started:
            self.de1 = self.de2 = le
        self.de1 = ema(le, self.de1, 20)
        self.de2 = ema(self.de1, self.de2, 20)
        de = 2 * self.de1 - self.de2
        smm = self.smm(h, l, c)
        mid = (median_gap + (de + svb + ws) / 3 + M(0)) / 2
        self.lower = (l(0) + wl + self.stops[0]) / 3
        slow = (c(0) + (c(0) - c(4) + M(0) - self.lower) / M(0) + (h(0) - h(2)) / 3 + h(2)) / 2
        sw = self.swing(h(0), l(0), smm, slow)
        ci = self.channel(hs, ls, cs)
        if not self.started:
            self.blend_state = at(self.blend, 3)
        self.blend_state = vidya_displaced(self.blend, self.blend_state, 5, 3)
        signal_line = (sw + mid + le) / 3
        self.line = (signal_line + mid) / 2
        self.started = True
        if self.blend_state <= signal_line and ci > 0:
            return 1.0
        return -1.0 if self.blend_state > signal_line and ci < 0 else 0.0


def signal_series(blends, composites):
    """UPSELL, FAST1, FAST2, COMBO, NEWUPDOWN, UNIVERSAL, UNIVERSALBOND and
    TRIGGERWATERLEVELUPDOWN; the stop line, the auto stop, the blend (4, 0.02, 2, 1, 0) and the
    water level come from the models above (each study keeps its own, equal, copy)."""
    model, smoothed, combo_channel, new_smm = CompositeModel(), Buffered(5), Channel(), MedianMomentum(4, 6)
    hist, tema = [], None
    tr4_flow, tr4_mb, tr4_spread, tr4_cascade = FlowModel(10), MomentumBlendModel(5, 10, 5, 10), SpreadModel(), \
        CascadeModel()
    tr4_sar, tr4_envelope, tr4_blend = ParabolicStop(0.02, 0.2), EnvelopeModel(), Blend(4, 0.02, 1, 2, 2)
    tr4_stop, previous_stop = ParabolicStop(0.02, 0.05), 0.0
    rb_median, rb_flow, rb_mb = [], FlowModel(15), MomentumBlendModel(8, 15, 8, 20)
    rb_spread, rb_cascade, rb_sar, rb_envelope = SpreadModel(), CascadeModel(), ParabolicStop(0.02, 0.2), EnvelopeModel()
    rb_blend, rb_smm = Blend(3, 0.03, 1, 3, 2), MedianMomentum(4, 6)
    rb_swing, rb_dema, rb_high = SwingRecord(0.0, 0.0), None, None
    f3_flow, f3_mb, f3_spread = FlowModel(15), MomentumBlendModel(8, 15, 8, 20), SpreadModel()
    weighted, smooth, autos = [], [], None  # the auto stop again, in double precision
    volume = [float(r["volume"]) for r in rows]
    out = []
    for bar in range(1, len(C) + 1):
        h = lambda k: float(back(H, bar, k))  # noqa: E731
        l = lambda k: float(back(L, bar, k))  # noqa: E731
        c = lambda k: float(back(C, bar, k))  # noqa: E731
        v = lambda k: volume[bar - 1 - k] if bar - 1 - k >= 0 else 0.0  # noqa: E731
        hs, ls, cs = [h(i) for i in range(20)], [l(i) for i in range(20)], [c(i) for i in range(20)]
        newest(weighted, (2 * c(0) + h(0) + l(0)) * 0.25, 3)
        autos = [mean_of(weighted, 3)] * 3 if autos is None else autos
        autos[0] = ema(mean_of(weighted, 3), autos[0], 5)
        autos[1] = ema(autos[0], autos[1], 3)
        autos[2] = ema(autos[1], autos[2], 3)
        newest(smooth, autos[2], 3)
        auto_stop = at(smooth, 2)
        signal = model(h, l, c, v, hs, ls, cs)
        line = model.line
        b = smoothed(line)
        row = {"E_ZARNUPSELL": {"signal": signal, "line": line, "smoothed": b}}

        x = line - (mean_of(hs, 4, 2) + mean_of(ls, 4, 2)) / 2
        alpha = 2 / 13
        if tema is None:
            tema = [x, x, x]
        tema[0] = tema[0] + (x - tema[0]) * alpha
        tema[1] = tema[1] + (tema[0] - tema[1]) * alpha
        tema[2] = tema[2] + (tema[1] - tema[2]) * alpha
        t = tema[2] + (3 * tema[0] - 3 * tema[1])
        newest(hist, t, 5)
        row["E_ZARNFAST1"] = {"positive": max(x, 0.0), "negative": min(x, 0.0), "tema": t, "tema_lag4": at(hist, 4)}

        f = blends[bar - 1]["E_ZARNDEMA104FAST104"]["line"]
        row["E_ZARNFAST2"] = {"up": 1.0 if line > f else 0.0, "down": -1.0 if line < f else 0.0}

        ci = combo_channel(hs, ls, cs)
        row["E_ZARNCOMBO"] = {"signal": 1.0 if ci > 0 and line > b else -1.0 if ci < 0 and line < b else 0.0}

        now, before = (h(0) + l(0)) / 2, (h(1) + l(1)) / 2
        e = model.lower - new_smm(h, l, c) + c(0)
        row["E_ZARNNEWUPDOWN"] = {"signal": 1.0 if now < e and now > before else
                                  -1.0 if now > e and now < before else 0.0}

        r = 2 * line - auto_stop - blends[bar - 1]["E_ZARNSTOPLINE"]["stop"]
        for study, upper, lower in (("E_ZARNUNIVERSAL", 1.125, -1.25), ("E_ZARNUNIVERSALBOND", 0.125, -0.125)):
            row[study] = {"value": r, "up": r if r >= upper else 0.0, "down": r if r < lower else 0.0}

        level = (float(regression_value(bar, 140)) + composites[bar - 1]["E_ZARNWATERLEVEL"]["level"]) / 2
        row["E_ZARNTRIGGERWATERLEVELUPDOWN"] = {"trigger": 1.0 if line > b and level < c(0) else
                                                -1.0 if line < b and level > c(0) else 0.0}
        # TR4: a stop (cap 0.05) flip, confirmed by the previous close against the previous stop
        # and by the close against the trend line.
        flow = tr4_flow(c, v)
        vc = tr4_cascade(tr4_spread((h(0) + l(0)) / 2, tr4_mb(h, l, c, v) + flow))
        le = tr4_envelope(h, l, c, ls, vc, tr4_sar(h(0), h(1), l(0), l(1)))
        t = (tr4_blend(h, l, c) + le) / 2
        stop = tr4_stop(h(0), h(1), l(0), l(1))
        trigger = (1.0 if stop < c(0) and c(1) <= previous_stop and c(0) > t else
                   -1.0 if stop > c(0) and c(1) >= previous_stop and t > c(0) else 0.0)
        previous_stop = stop
        row["E_ZARNTR4"] = {"trigger": trigger}

        # 1MINRIBBON: the high/low midpoint (3-length variable-index averages read 8 back) below
        # the signal line built with the volume flow.
        newest(rb_median, (h(0) + l(0)) / 2, 50)
        ws = rb_spread((h(0) + l(0)) / 2, rb_mb(h, l, c, v) + rb_flow(c, v))
        vc = rb_cascade(ws)
        stop = rb_sar(h(0), h(1), l(0), l(1))
        le = rb_envelope(h, l, c, ls, vc, stop)
        svb = rb_blend(h, l, c)
        if rb_dema is None:
            rb_dema = [le, le]
        rb_dema[0] = ema(le, rb_dema[0], 20)
        rb_dema[1] = ema(rb_dema[0], rb_dema[1], 20)
        mid = ((2 * rb_dema[0] - rb_dema[1] + svb + ws) / 3 + at(rb_median, 0) + (c(0) - at(rb_median, 8))) / 2
        smm = rb_smm(h, l, c)
        m0 = at(rb_median, 0)
        slow = (c(0) + (c(0) - c(4) + m0 - (l(0) + weighted_mean(ls, 6, 5) + stop) / 3) / m0 +
                (h(0) - h(2)) / 3 + h(2)) / 2
        ribbon_line = (rb_swing(h(0), l(0), smm, slow) + mid + le) / 3
        if rb_high is None:
            rb_high, rb_low = h(8), l(8)
        rb_high, rb_low = vidya_displaced(hs, rb_high, 3, 8), vidya_displaced(ls, rb_low, 3, 8)
        row["E_ZARN1MINRIBBON"] = {"ribbon": 1.0 if (rb_high + rb_low) / 2 < ribbon_line else 0.0}

        # FAST3: the fast component against the mean of the composite line and the
        # momentum-adjusted close.
        a = (sum(c(i) for i in range(7)) + c(0) - c(7)) * (1 / 7)
        f3 = f3_spread((h(0) + l(0)) / 2, f3_mb(h, l, c, v) + f3_flow(c, v)) - (a + line) / 2
        row["E_ZARNFAST3"] = {"value": f3, "negative": min(f3, 0.0), "positive": max(f3, 0.0)}

        # COLORTMPL: nine components from the lines above, each study with a copy of its own.
        medium = blends[bar - 1]["E_ZARNMEDIUM"]
        pos, neg, spr = medium["positive"], medium["negative"], medium["spread"]
        parts = [c(0) - a, c(0) - auto_stop,
                 signal if signal != 0 else 1.0 if ci > 50 else -1.0 if ci < -50 else 0.0,
                 row["E_ZARNCOMBO"]["signal"], f3, blends[bar - 1]["E_ZARNSHORTTERMTRADEBIAS"]["bias"],
                 line - blends[bar - 1]["E_ZARNSTOPLINE"]["stop"], c(0) - composites[bar - 1]["E_ZARN115SPLIT"]["line"],
                 neg - spr if neg > spr else pos - spr if pos < spr else 0.0]
        consensus = 1.0 if all(x > 0 for x in parts) else -1.0 if all(x < 0 for x in parts) else 0.0
        row["E_ZARNCOLORTMPL"] = {"consensus": consensus, **{f"c{i + 1}": x for i, x in enumerate(parts)}}
        out.append(row)
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


# Each study's model, by kind: "ulp" (an exact rational; the library's double must be the nearest
# double or one next to it), "close" (within 1e-12 relative, plus 1e-9 absolute for a standard error
# of a fit exact in rationals) and "bits" (a double-precision model: the same double, the sign of a
# zero included).
blends = blend_studies_series()
composites = composite_series()
signals = signal_series(blends, composites)
recursions = {"E_ZARNTRENDBIAS": trend_bias_series(), "E_ZARNAUTOSTOP": auto_stop_series(),
              "E_ZARNVOLSPIKES": volume_spikes_series()}
models = {"E_ZARNA900": ("ulp", lambda b, s: a900(b)), "E_ZARN02": ("ulp", lambda b, s: open_momentum(b)),
          "E_ZARNTIGHTSTOP": ("ulp", lambda b, s: tight_stop(b)),
          "E_ZARNCHANNELBASE": ("close", lambda b, s: channel(b)), "E_ZARNEBANDS": ("close", lambda b, s: bands(b)[s])}
for study, series in recursions.items():
    models[study] = ("close", lambda b, s, series=series: series[b - 1][s])
for series in (blends, composites, signals):
    for study in series[0]:
        models[study] = ("bits", lambda b, s, series=series, study=study: series[b - 1][study][s])


def compare(study, values):
    """values: (bar, slot, library value). Prints a line; returns the number of differences."""
    kind, model = models[study]
    differences, worst, same = 0, 0.0, 0
    for bar, slot, x in values:
        want = model(bar, slot)
        if kind == "ulp":
            off = ulps_from(x, want)
            worst, bad = max(worst, off), off > 1
        elif kind == "close":
            want = float(want)
            diff = abs(x - want)
            worst, bad = max(worst, diff / max(abs(want), 1e-300)), diff > 1e-12 * abs(want) + 1e-9
        else:
            want = float(want)
            same += x.hex() == want.hex()
            bad = x.hex() != want.hex()
        if bad:
            differences += 1
            if differences <= 5:
                print(f"{study} bar {bar} {slot}: library {x!r}, model {float(want)!r}")
    summary = {"ulp": f"at most {worst} ulp from the exact value", "close": f"largest relative difference {worst:.1e}",
               "bits": f"{same} bit for bit"}[kind]
    print(f"{study}: {len(values)} values, {summary}" + (f", {differences} DIFFER" if differences else ""))
    return differences


def replay_values(path):
    """Every slot on every bar from zarn-replay's CSV of the same bars."""
    volume = [F(r["volume"]) for r in rows]
    table = {}
    with open(path, newline="") as f:
        reader = csv.reader(f)
        header = next(reader)
        for bar, row in enumerate(reader, 1):
            if bar > len(C) or [F(x) for x in row[2:7]] != [O[bar - 1], H[bar - 1], L[bar - 1], C[bar - 1],
                                                          volume[bar - 1]]:
                sys.exit(f"{path}: bar {bar} is not bar {bar} of bars.csv")
            for name, text in zip(header[7:], row[7:]):
                study, slot = name.split(".")
                table.setdefault(study, []).append((bar, slot, float(text)))
    return table


failed = 0
studies = sorted(f[:-4] for f in os.listdir(here) if f.startswith("E_ZARN") and f.endswith(".txt"))
print(f"The vectors ({here}):")
for study in studies:
    if study not in models:
        failed += 1
        print(f"{study}: no model")
    else:
        failed += compare(study, read_vectors(study))
if len(sys.argv) > 2:
    table = replay_values(sys.argv[2])
    print(f"Every bar of {sys.argv[2]}:")
    for study in sorted(table):
        failed += compare(study, table[study]) if study in models else 1
print(f"cross-check: {len(studies)} studies,", "ok" if failed == 0 else f"{failed} differences")
sys.exit(1 if failed else 0)
