#!/usr/bin/env python3
"""Times the folder load of a wide folder beside our reader's read floor for the same items;
scripts/bench-folder-load calls this.

Each run times, interleaved so that a busy machine slows every side alike:
- the read floor: every property, recipient and attachment of every item (brindlemoor-readerfloor)
  and the list-row properties alone (--rows);
- the folder load through the engine (brindlemoor-bench-load) on one worker and on one per core,
  with the time until the first 100 rows reached the window.
Seconds are the in-process figures (the reading or the load alone, after the open and scan);
CPU s is the whole process's user + system time.

Writes the section "## Folder load" of bench/RESULTS.md (the rest of the file is kept).
"""

import argparse
import datetime
import json
import os
import shutil
import statistics
import sys
from pathlib import Path

from run_bench import cpu_name, fresh_dir, make_store, markdown_table, timed, write_section

SECTION = "## Folder load"
FOLDER = "/Top of Personal Folders/Inbox"


def run_json(command):
    run = timed(command)
    return run, json.loads(run.output.strip().splitlines()[-1])


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=Path, required=True)
    parser.add_argument("--data", type=Path, required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--wide", type=int, nargs="+", default=[10000, 70000])
    parser.add_argument("--temp", type=Path, help="where the loads' temp folders go "
                        "(default: a scratch folder in --data)")
    parser.add_argument("--results-md", type=Path)
    parser.add_argument("--command", default="scripts/bench-folder-load")
    args = parser.parse_args()

    pstgen = args.build / "tools/pstgen/brindlemoor-pstgen"
    floor = args.build / "bench/brindlemoor-readerfloor"
    load = args.build / "bench/brindlemoor-bench-load"
    cores = os.cpu_count() or 1
    args.data.mkdir(parents=True, exist_ok=True)
    temp_parent = args.temp or args.data / "scratch"

    table, ratios = [], []
    for size in args.wide:
        store = make_store(None, args.data, f"wide-{size}.pst",
                           [pstgen, "--wide-folder", size, args.data / f"wide-{size}.pst"])
        sides = {
            "read floor": [floor, store],
            "read floor, row properties": [floor, store, "--rows"],
            "folder load, 1 worker": [load, store, FOLDER, "--workers", 1],
            f"folder load, {cores} workers": [load, store, FOLDER, "--workers", cores],
        }
        results = {name: [] for name in sides}
        scans = []
        names = list(sides)
        for i in range(args.runs):
            print(f"bench: {store.name} run {i + 1}/{args.runs}", file=sys.stderr, flush=True)
            for name in names[i % len(names):] + names[:i % len(names)]:
                command = list(sides[name])
                if name.startswith("folder load"):
                    command += ["--temp", fresh_dir(temp_parent, "temp")]
                run, report = run_json(command)
                if name.startswith("folder load") and report["rows"] != size:
                    raise RuntimeError(f"{name} of {store.name} gave {report['rows']} rows")
                if "scan_seconds" in report:
                    scans.append(report["scan_seconds"])
                seconds = report.get("load_seconds", report.get("read_seconds", 0.0))
                results[name].append((seconds, run.cpu, report.get("first_rows_seconds")))
        medians, cpus = {}, {}
        for name, values in results.items():
            seconds = statistics.median(v[0] for v in values)
            cpu = statistics.median(v[1] for v in values)
            first = [v[2] for v in values if v[2] is not None]
            medians[name] = seconds
            cpus[name] = cpu
            note = f"first 100 rows after {statistics.median(first):.3f} s" if first else ""
            table.append([name, store.name, f"{size}", f"{seconds:.3f}", f"{cpu:.2f}",
                          f"{size / seconds:.0f}" if seconds > 0 else "", note])
        floor_seconds, floor_cpu = medians["read floor"], cpus["read floor"]
        ratios.append(f"open and scan of {store.name} through the program's scan worker (the "
                      f"folder tree, before the load): {statistics.median(scans):.3f} s")
        for name in names[2:]:
            ratios.append(f"{name}, {store.name}: {medians[name] / floor_seconds:.1f}x the read "
                          f"floor's time, {cpus[name] / floor_cpu:.1f}x its CPU time")
    shutil.rmtree(temp_parent / "temp", ignore_errors=True)

    load = os.getloadavg()[0]
    stamp = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    section = (f"{SECTION}\n\nMade {stamp} by `{args.command}` on {cores} cores ({cpu_name()}); "
               f"medians of {args.runs} runs, the four sides interleaved run by run. Temp "
               f"folders on {temp_parent}. Load average {load:.1f} when it ended: on a busy "
               f"machine the wall times say more about the other processes than about these, "
               f"so compare CPU s.\n\n"
               + markdown_table(["measure", "store", "items", "seconds", "CPU s", "items/s",
                                 "note"], table)
               + "\n\n" + "\n".join(f"- {r}" for r in ratios) + "\n")
    print(section)
    if args.results_md:
        write_section(args.results_md, SECTION, section)


if __name__ == "__main__":
    main()
