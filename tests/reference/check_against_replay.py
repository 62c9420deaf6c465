#!/usr/bin/env python3
"""Checks a reference file against zarn-replay's CSV of the same series: every
block checksum and every bar's fingerprint is recomputed from the CSV's
numbers (shortest round-trip text, so they read back bit for bit).

  tests/reference/check_against_replay.py REFERENCE.txt REPLAY.csv

zarn-replay's CSV is what scripts/check_replay.sh pins; a
reference file that passes here holds exactly the checked numbers."""
import struct
import sys

MASK = (1 << 64) - 1


def fnv(values, h=0xCBF29CE484222325):
    for v in values:
        for byte in struct.pack("<d", v):
            h = ((h ^ byte) * 0x100000001B3) & MASK
    return h


def main(reference, csv):
    rows = [line.rstrip("\n").split(",") for line in open(csv)]
    index = {name: i for i, name in enumerate(rows[0])}
    columns, blocks, fingerprints = [], {}, []
    for line in open(reference):
        if line.startswith("fingerprint "):
            text = line.split()[2]
            fingerprints += [int(text[i:i + 2], 16) for i in range(0, len(text), 2)]
        elif line.startswith("column "):
            columns.append(line.split()[1])
            blocks[columns[-1]] = []
        elif line.startswith("  "):
            last, checksum, sample = line.split()
            blocks[columns[-1]].append((int(last), int(checksum, 16), float(sample)))
    bad = 0
    for column in columns:
        first = 1
        for last, checksum, sample in blocks[column]:
            values = [float(rows[b][index[column]]) for b in range(first, last + 1)]
            if fnv(values) != checksum or values[-1] != sample:
                bad += 1
                print(f"differs: {column}, bars {first} to {last}")
            first = last + 1
    for b in range(1, len(rows)):
        h = fnv(float(rows[b][index[c]]) for c in columns)
        if (h ^ (h >> 8) ^ (h >> 16) ^ (h >> 24)) & 0xFF != fingerprints[b - 1]:
            bad += 1
            print(f"differs: the fingerprint of bar {b}")
    print(f"{reference}: {sum(map(len, blocks.values()))} blocks and {len(rows) - 1} bars, {bad} differ")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:3]))
