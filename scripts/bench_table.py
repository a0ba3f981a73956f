#!/usr/bin/env python3
"""Prints one table of the paired ratios found in Google Benchmark JSON files.

A benchmark takes part by reporting the counters ours_s, base_s, ratio and
goal (bench/bench_ratio.h); a goal of 0 means the row only informs.  It may
add its bytes written and peak memory (bench/bench_cost.h, with the goals
bytes_goal and peak_goal_kB) and the fsync calls of one of its sessions
(ours_syncs, with the goal syncs_goal; bench/change_tables.h).  A
benchmark that failed is listed with its error.  Exit status 1 when a ratio
or a count is above its goal or a benchmark failed.
"""
import json
import os
import sys


def seconds(s):
    if s >= 1:
        return f"{s:.2f} s"
    if s >= 1e-3:
        return f"{s * 1e3:.1f} ms"
    return f"{s * 1e6:.0f} us"


def size(n):
    """A count of bytes, in the largest unit that keeps it at 1 or more."""
    for unit, scale in (("GiB", 1 << 30), ("MiB", 1 << 20), ("KiB", 1 << 10)):
        if n >= scale:
            return f"{n / scale:.1f} {unit}"
    return f"{n:.0f} B"


COST = ("ours_bytes", "base_bytes", "ours_peak_kB", "base_peak_kB")


def cost_cells(b):
    """The four cost columns of a result ("" where not reported)."""
    if not all(k in b for k in COST):
        return ("", "", "", "")
    return (size(b["ours_bytes"]), size(b["base_bytes"]),
            size(b["ours_peak_kB"] * 1024), size(b["base_peak_kB"] * 1024))


def syncs_cell(b):
    """The fsync calls of one session, with their goal ("" where not reported)."""
    if "ours_syncs" not in b:
        return ""
    goal = b.get("syncs_goal", 0)
    return f"{b['ours_syncs']:.0f}" + (f" (<= {goal:.0f})" if goal > 0 else "")


def over_goals(b):
    """True when a count of `b` is above its goal."""
    checks = (("ratio", "goal"), ("ours_bytes", "bytes_goal"), ("ours_peak_kB", "peak_goal_kB"),
              ("ours_syncs", "syncs_goal"))
    return any(b.get(goal, 0) > 0 and b.get(value, 0) > b[goal] for value, goal in checks)


def short_name(name):
    """The benchmark's name and arguments without the run options."""
    options = ("iterations:", "repeats:", "min_time:", "threads:", "manual_time", "real_time", "process_time")
    return "/".join(p for p in name.split("/") if not p.startswith(options))


def rows(path):
    program = os.path.basename(path).removesuffix(".json")
    with open(path) as f:
        data = json.load(f)
    for b in data.get("benchmarks", []):
        if b.get("run_type") == "aggregate":
            continue
        name = f"{program.removeprefix('bench_')}/{short_name(b['name'])}"
        if b.get("error_occurred"):
            yield name, None, b.get("error_message", "failed")
        elif all(k in b for k in ("ours_s", "base_s", "ratio", "goal")):
            yield name, b, None


def main(paths):
    table, bad = [], 0
    for path in paths:
        try:
            found = list(rows(path))
        except (OSError, ValueError) as e:
            table.append((os.path.basename(path), "", "", "", "", "", "", "", "", "", f"unreadable: {e}"))
            bad += 1
            continue
        for name, b, err in found:
            if err is not None:
                table.append((name, "", "", "", "", "", "", "", "", "", f"failed: {err}"))
                bad += 1
                continue
            goal = b["goal"]
            over = over_goals(b)
            bad += over
            table.append((name, seconds(b["ours_s"]), seconds(b["base_s"]), f"{b['ratio']:.2f}x",
                          f"<= {goal:g}x" if goal > 0 else "-", *cost_cells(b), syncs_cell(b),
                          "OVER GOAL" if over else ""))
    head = ("name", "ours", "baseline", "ratio", "goal",
            "ours written", "base written", "ours peak", "base peak", "ours fsyncs", "")
    if not any(r[5] for r in table):  # no benchmark reported its cost
        head = head[:5] + ("", "", "", "") + head[9:]
    if not any(r[9] for r in table):  # nor its syncs
        head = head[:9] + ("", "")
    widths = [max(len(r[i]) for r in [head] + table) for i in range(len(head))]
    for r in [head] + table:
        print("  ".join(c.ljust(w) if i == 0 else c.rjust(w) for i, (c, w) in enumerate(zip(r, widths)) if w)
              .rstrip())
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
