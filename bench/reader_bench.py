#!/usr/bin/env python3
"""Measures our PST reader against libpff side by side; scripts/bench-reader calls this.

- read floor: every property, recipient and attachment of every message of a store, nothing
  written, through libpff (brindlemoor-readfloor) and through pst/ (brindlemoor-readerfloor),
  interleaved run by run so that a busy machine slows both alike;
- two threads reading disjoint halves of the store against one thread;
- open and scan of a store whose one folder holds many items, and the list rows of all of them;
- peak memory reading stores of growing size.

Writes the section "## PST reader" of bench/RESULTS.md (the rest of the file is kept).
"""

import argparse
import datetime
import json
import os
import statistics
import sys
from pathlib import Path

from run_bench import cpu_name, make_store, markdown_table, timed, write_section

SEED = 1
TOP = "/Top of Personal Folders"
SECTION = "## PST reader"


class Tools:
    def __init__(self, build):
        self.pstgen = build / "tools/pstgen/brindlemoor-pstgen"
        self.libpff = build / "bench/brindlemoor-readfloor"
        self.ours = build / "bench/brindlemoor-readerfloor"


def measure(command, runs):
    """Median wall seconds, median CPU seconds, peak RSS MB and the last run's JSON."""
    results = [timed(command) for _ in range(runs)]
    report = json.loads(results[-1].output.strip().splitlines()[-1])
    return (statistics.median(r.wall for r in results), statistics.median(r.cpu for r in results),
            max(r.rss_mb for r in results), report)


def interleaved(commands, runs):
    """Runs each command `runs` times, in rotating order; returns {name: measure tuple}."""
    runs_by_name = {name: [] for name in commands}
    names = list(commands)
    for i in range(runs):
        order = names[i % len(names):] + names[:i % len(names)]
        for name in order:
            runs_by_name[name].append(timed(commands[name]))
    out = {}
    for name, results in runs_by_name.items():
        report = json.loads(results[-1].output.strip().splitlines()[-1])
        out[name] = (statistics.median(r.wall for r in results),
                     statistics.median(r.cpu for r in results),
                     max(r.rss_mb for r in results), report)
    return out


def row(what, store, tool, result, note=""):
    wall, cpu, rss, report = result
    messages = report.get("items", report.get("messages", 0))
    return [what, store, tool, f"{messages}", f"{wall:.2f}", f"{cpu:.2f}",
            f"{messages / wall:.0f}" if wall > 0 else "", f"{rss:.1f}", note]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=Path, required=True)
    parser.add_argument("--data", type=Path, required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--size", type=int, default=20000, help="messages of the read-floor store")
    parser.add_argument("--wide", type=int, default=70000, help="items of the one-folder store")
    parser.add_argument("--large", type=int, default=0,
                        help="messages of a larger store for peak memory (0: none)")
    parser.add_argument("--results-md", type=Path)
    parser.add_argument("--command", default="scripts/bench-reader")
    args = parser.parse_args()

    tools = Tools(args.build)
    data = args.data
    data.mkdir(parents=True, exist_ok=True)
    store = make_store(tools, data, f"synthetic-{args.size}.pst",
                       [tools.pstgen, "--synthetic", args.size, data / f"synthetic-{args.size}.pst",
                        "--seed", SEED])
    wide = make_store(tools, data, f"wide-{args.wide}.pst",
                      [tools.pstgen, "--wide-folder", args.wide, data / f"wide-{args.wide}.pst"])
    table = []
    ratios = []

    print("bench: read floor, libpff against pst/", file=sys.stderr, flush=True)
    floor = interleaved({"libpff": [tools.libpff, store], "ours": [tools.ours, store],
                         "ours2": [tools.ours, store, "--threads", "2"],
                         "mapped": [tools.ours, store, "--mmap"]}, args.runs)
    table.append(row("read floor", store.name, "libpff", floor["libpff"]))
    table.append(row("read floor", store.name, "pst/", floor["ours"]))
    table.append(row("read floor", store.name, "pst/, 2 threads", floor["ours2"]))
    table.append(row("read floor", store.name, "pst/, memory-mapped", floor["mapped"],
                     "mapped pages of the file count in the resident size"))
    ratios.append(f"read floor {store.name}: pst/ {floor['libpff'][0] / floor['ours'][0]:.1f}x "
                  f"faster than libpff (target: 3x); peak RSS {floor['ours'][2]:.0f} MB against "
                  f"{floor['libpff'][2]:.0f} MB")
    ratios.append(f"two threads on disjoint halves: {floor['ours2'][0] / floor['ours'][0]:.2f}x "
                  f"the time of one (target: at most 0.6x)")

    print("bench: wide folder", file=sys.stderr, flush=True)
    scan = measure([tools.ours, wide, "--scan-only"], args.runs)
    rows = measure([tools.ours, wide, "--rows"], args.runs)
    scan_seconds = scan[3]["open_scan_seconds"]
    table.append(row("open + scan", wide.name, "pst/", scan, f"{scan_seconds:.3f} s open + walk"))
    table.append(row("list rows", wide.name, "pst/", rows,
                     f"{rows[3]['read_seconds']:.2f} s reading the rows"))
    ratios.append(f"open + scan of {wide.name}: {scan_seconds:.3f} s (target: under 1 s; "
                  f"libpff's open: see the scan row of the table above)")
    ratios.append(f"list rows of all {rows[3]['items']} items: {rows[3]['read_seconds']:.2f} s "
                  f"reading after the open (target: under 5 s)")

    if args.large:
        large = make_store(tools, data, f"synthetic-{args.large}.pst",
                           [tools.pstgen, "--synthetic", args.large,
                            data / f"synthetic-{args.large}.pst", "--seed", SEED])
        print("bench: peak memory on the large store", file=sys.stderr, flush=True)
        big = measure([tools.ours, large], 1)
        table.append(row("read floor", large.name, "pst/", big))
        ratios.append(f"peak RSS reading {large.name}: {big[2]:.0f} MB "
                      f"({floor['ours'][2]:.0f} MB on {store.name}; target: under 100 MB)")

    date = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    text = [SECTION, "",
            f"Made {date} by `{args.command}` on {os.cpu_count()} cores ({cpu_name()}); "
            f"medians of {args.runs} runs, libpff and pst/ interleaved.", "",
            markdown_table(["measure", "store", "tool", "messages", "seconds", "CPU s", "msg/s",
                            "peak RSS MB", "note"], table), ""]
    text += [f"- {line}" for line in ratios]
    print("\n".join(text))
    if args.results_md:
        write_section(args.results_md, SECTION, "\n".join(text) + "\n")


if __name__ == "__main__":
    main()
