#!/usr/bin/env python3
"""Writes a generated trade stream as a CSV file (date,time,price,size).

Not a claim about any market: a seeded random walk on a quarter-point grid,
with trades arriving in clusters (each trade raises the chance of another
soon after, decaying within seconds), a busier open and close, calm and
wild stretches, and mostly small sizes with an occasional block. The same
seed gives the same file on every machine (Python's own generator, no
floating-point functions whose results vary).

    scripts/make_trades.py --days 2 --seed 7 -o trades.csv
"""

import argparse
import datetime
import math
import random
import sys

TICK = 0.25
OPEN = 9 * 3600 + 30 * 60   # 09:30:00
CLOSE = 16 * 3600           # 16:00:00


def activity(second):
    """Trades per second before clustering: U-shaped over the session."""
    x = (second - (OPEN + CLOSE) / 2) / ((CLOSE - OPEN) / 2)
    return 0.08 + 0.10 * x * x


def trades(days, seed, rate, start):
    rng = random.Random(seed)
    day = start
    price = 4800.0 / TICK  # in ticks
    drift, vol, regime_left = 0.0, 1.0, 0
    for _ in range(days):
        while day.weekday() >= 5:
            day += datetime.timedelta(days=1)
        price += round(rng.gauss(0.0, 12.0))  # overnight gap
        t = float(OPEN)
        excitation = 0.0  # self-excited intensity, per second
        while True:
            # Next arrival by thinning: the excitation only decays until then.
            bound = rate * activity(t) * 1.2 + excitation
            dt = rng.expovariate(bound)
            t += dt
            excitation *= math.exp(-0.8 * dt)
            if t >= CLOSE:
                break
            lam = rate * activity(t) + excitation
            if rng.random() * bound > lam:
                continue
            excitation = excitation * 0.9 + 0.35 * rate  # each trade invites the next
            if regime_left <= 0:
                kind = rng.randrange(4)
                drift = (0.0, 0.02, -0.02, 0.0)[kind]
                vol = (0.6, 1.0, 1.0, 2.0)[kind]
                regime_left = rng.randrange(500, 5000)
            regime_left -= 1
            u = rng.random()
            step = 0 if u < 0.55 else 1 if u < 0.93 else 2
            if step and rng.random() < 0.5 - drift:
                step = -step
            price += round(step * vol) if vol != 1.0 else step
            if price < 400:
                price = 400
            size = 1 + int(rng.expovariate(0.35))
            if rng.random() < 0.01:
                size *= rng.randrange(10, 50)
            s = int(t)
            yield day, s, price * TICK, size
        day += datetime.timedelta(days=1)


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--days", type=int, default=2, help="sessions (weekdays from --start), default 2")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--rate", type=float, default=1.0, help="scale of the trade rate (1: about 0.2 trades/s)")
    p.add_argument("--start", default="2024-01-02", help="first day, YYYY-MM-DD")
    p.add_argument("-o", "--output", default="-")
    a = p.parse_args()
    start = datetime.date.fromisoformat(a.start)
    out = sys.stdout if a.output == "-" else open(a.output, "w", newline="\n")
    out.write("date,time,price,size\n")
    lines = []
    for day, s, price, size in trades(a.days, a.seed, a.rate, start):
        lines.append(f"{day:%Y%m%d},{s // 3600:02d}:{s // 60 % 60:02d}:{s % 60:02d},{price:.2f},{size}\n")
        if len(lines) >= 65536:
            out.write("".join(lines))
            lines.clear()
    out.write("".join(lines))
    if out is not sys.stdout:
        out.close()


if __name__ == "__main__":
    main()
