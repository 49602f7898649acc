#!/usr/bin/env python3
"""Writes a deterministic day of samples for the chart benchmark and docs.

usage: make_samples.py power|energy COUNT DAY_START_MS OUT.json [OUT.txt]
Power: a fridge-like device cycling between idle and running, with noise.
Energy: one sample an hour."""
import json
import math
import random
import sys

kind, count, start, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
rng = random.Random(42)
samples = []
if kind == "power":
    step = 86400 / count
    for i in range(count):
        t = i * step
        hour = t / 3600
        cycle = (t % 2700) < 1100                                # compressor on ~40% of the time
        base = 520 + 90 * math.sin(hour / 24 * 2 * math.pi) if cycle else 35
        evening = 700 if 18 <= hour < 20.5 else 0                 # an appliance in the evening
        value = max(0.0, base + evening + rng.gauss(0, 25))
        samples.append({"timestamp": start + int(t * 1000), "powerDraw": round(value, 2)})
else:
    for h in range(count):
        value = 0.15 + 0.25 * max(0, math.sin((h - 6) / 24 * 2 * math.pi)) + rng.random() * 0.1
        samples.append({"from": start + h * 3600 * 1000, "energyConsumed": round(value, 4)})
with open(out, "w") as f:
    json.dump(samples, f)
if len(sys.argv) > 5:
    key = "powerDraw" if kind == "power" else "energyConsumed"
    tkey = "timestamp" if kind == "power" else "from"
    with open(sys.argv[5], "w") as f:
        for s in samples:
            f.write(f"{s[tkey]} {s[key]}\n")
