#!/usr/bin/env python3
"""One line per benchmark from Google Benchmark JSON files: the median and the range (min-max)
over the repetitions of the time and of every counter, or the error when the benchmark's own check
failed. Usage: summarize.py FILE.json...
"""
import json
import statistics
import sys

STANDARD = {
    "name", "family_index", "per_family_instance_index", "run_name", "run_type", "repetitions",
    "repetition_index", "threads", "iterations", "real_time", "cpu_time", "time_unit",
    "aggregate_name", "aggregate_unit", "error_occurred", "error_message", "label",
}


def number(v):
    if abs(v) >= 1e6:
        return f"{v:.3g}"
    if abs(v) >= 100:
        return f"{v:.0f}"
    if abs(v) >= 10:
        return f"{v:.1f}"
    return f"{v:.3g}"


def spread(values):
    med = statistics.median(values)
    if len(values) == 1 or min(values) == max(values):
        return number(med)
    return f"{number(med)} ({number(min(values))}-{number(max(values))})"


def summarize(path):
    with open(path) as f:
        data = json.load(f)
    runs = {}
    for b in data.get("benchmarks", []):
        if b.get("run_type") == "aggregate":
            continue
        runs.setdefault(b["run_name"], []).append(b)
    for name, reps in runs.items():
        errors = [r.get("error_message", "") for r in reps if r.get("error_occurred")]
        if errors:
            print(f"{name}: FAILED: {errors[0]}")
            continue
        unit = reps[0].get("time_unit", "ns")
        parts = [f"real {spread([r['real_time'] for r in reps])} {unit}",
                 f"cpu {spread([r['cpu_time'] for r in reps])} {unit}"]
        for key in reps[0]:
            if key in STANDARD or not isinstance(reps[0][key], (int, float)):
                continue
            parts.append(f"{key} {spread([r[key] for r in reps if key in r])}")
        label = reps[0].get("label")
        reps_text = f"{len(reps)} rep" + ("s" if len(reps) > 1 else "")
        print(f"{name}{' [' + label + ']' if label else ''}: " + ", ".join(parts) + f"; {reps_text}")


for p in sys.argv[1:]:
    summarize(p)
