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

and, in double precision with the operations in the order their definitions give them (the
parabolic stop compares prices with its own level, which exact rationals could tip the other way):

  FAST104, 104, DEMA104FAST104, DEMA104   the parabolic stop and its blend lines
  STOPLINE, SHORTTERMTRADEBIAS            the triple trend blend and the momentum-adjusted close
  MP                                      the midpoint's codes against the stop line and tight stop
  MEDIUM                                  the true strength index and its variable-index signal
  SHADOW                                  the triangular average and its volume-adjusted average
  WATERLEVEL, SWINGLINE, 115SPLIT, MODSPLIT, SCORECARD
                                          the composite studies that need no composite signal
                                          beyond its lower line

A fresh state reads 0 wherever no bar was stored yet. A value without a square
root must be the double nearest the exact rational or one next to it (the
library rounds after each operation); with a square root, within 1e-12
relative (plus 1e-9 absolute for a standard error of a fit that is exact in
rationals); the three with memory within 1e-12 relative, the double-precision models likewise (they
print how many values agree bit for bit). Prints one line per study and exits 1 on any difference.

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

blends = blend_studies_series()
for study in ("E_ZARNFAST104", "E_ZARN104", "E_ZARNDEMA104FAST104", "E_ZARNDEMA104", "E_ZARNSTOPLINE",
              "E_ZARNSHORTTERMTRADEBIAS", "E_ZARNMP", "E_ZARNMEDIUM", "E_ZARNSHADOW"):
    values = read_vectors(study)
    worst, same = 0.0, 0
    for bar, slot, x in values:
        want = blends[bar - 1][study][slot]
        diff = abs(x - want)
        same += x == want
        worst = max(worst, diff / max(abs(want), 1e-300))
        if diff > 1e-12 * abs(want) + 1e-9:
            failed += 1
            print(f"{study} bar {bar} {slot}: library {x!r}, model {want!r}")
    print(f"{study}: {len(values)} values, {same} bit for bit, largest relative difference {worst:.1e}")

composites = composite_series()
for study in ("E_ZARNWATERLEVEL", "E_ZARNSWINGLINE", "E_ZARN115SPLIT", "E_ZARNMODSPLIT", "E_ZARNSCORECARD"):
    values = read_vectors(study)
    worst, same = 0.0, 0
    for bar, slot, x in values:
        want = composites[bar - 1][study][slot]
        diff = abs(x - want)
        same += x == want
        worst = max(worst, diff / max(abs(want), 1e-300))
        if diff > 1e-12 * abs(want) + 1e-9:
            failed += 1
            print(f"{study} bar {bar} {slot}: library {x!r}, model {want!r}")
    print(f"{study}: {len(values)} values, {same} bit for bit, largest relative difference {worst:.1e}")

print("cross-check:", "ok" if failed == 0 else f"{failed} differences")
sys.exit(1 if failed else 0)
