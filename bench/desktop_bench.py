#!/usr/bin/env python3
"""Times the same conversion through the desktop window and through brindlemoor-cli, side by
side, interleaved run by run; scripts/bench-desktop calls this.

The desktop run is brindlemoor-bench-desktop under Xvfb (scan, tick every folder, Convert,
every box answered at once); its conversion phase is compared with the whole command-line
conversion (which also scans, so the comparison is not in the desktop's favour). Both sides
make their temp folders in the same place (--temp) and write into trees of their own.

It also clicks the 70,000-item Inbox of wide-70000.pst in the window (after a scan that is not
timed) and takes the time from the click until the list holds its first 100 rows, until it is
painted holding them, and until the load has ended with every row in the list.

Writes the section "## Desktop and command line" of bench/RESULTS.md (the rest is kept).
"""

import argparse
import datetime
import json
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

from run_bench import cpu_name, fresh_dir, make_store, markdown_table, write_section

SEED = 1
SECTION = "## Desktop and command line"
WIDE_FOLDER = "Inbox"


def temp_env(temp):
    """Both sides make their run's temp folder in `temp` (a folder of the environment's own
    would put one side's working files on another file system)."""
    return {"TMPDIR": str(temp), "PATH": "/usr/bin:/bin"}


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def run_cli(cli, store, out, temp):
    """Seconds and CPU seconds of the whole command-line run."""
    start, cpu = time.perf_counter(), children_cpu()
    subprocess.run([str(cli), "convert", str(store), str(out)], check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=temp_env(temp))
    return time.perf_counter() - start, children_cpu() - cpu


def run_window(desktop, arguments, temp):
    """The last JSON line brindlemoor-bench-desktop prints, run under Xvfb."""
    result = subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 1280x800x24", str(desktop)]
                            + [str(a) for a in arguments], check=True, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, text=True,
                            env={**temp_env(temp), "QTWEBENGINE_DISABLE_SANDBOX": "1",
                                 "QT_QPA_PLATFORM": "xcb",
                                 "QTWEBENGINE_CHROMIUM_FLAGS": "--disable-gpu"})
    return json.loads(result.stdout.strip().splitlines()[-1])


def run_desktop(desktop, store, out, temp):
    report = run_window(desktop, [store, out], temp)
    if not report["status"].startswith("Written:"):
        raise RuntimeError(f"the desktop conversion did not finish: {report['status']}")
    return report["convert_s"], report["convert_cpu_s"]


def run_folder_load(desktop, store, items, temp):
    report = run_window(desktop, ["--folder-load", store, WIDE_FOLDER], temp)
    if report["rows"] != items:
        raise RuntimeError(f"the desktop listed {report['rows']} rows of {items}")
    return report


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=Path, required=True)
    parser.add_argument("--data", type=Path, required=True)
    parser.add_argument("--size", type=int, default=3000)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--wide", type=int, default=70000,
                        help="items of the folder the window lists (0: no folder load)")
    parser.add_argument("--temp", type=Path, help="where both sides' temp folders go "
                        "(default: a scratch folder in --data)")
    parser.add_argument("--results-md", type=Path)
    parser.add_argument("--command", default="")
    args = parser.parse_args()

    b = args.build
    pstgen = b / "tools/pstgen/brindlemoor-pstgen"
    cli = b / "cli/brindlemoor-cli"
    desktop = b / "bench/brindlemoor-bench-desktop"
    args.data.mkdir(parents=True, exist_ok=True)
    temp = fresh_dir(args.temp or args.data, "scratch").resolve()
    store = make_store(None, args.data, f"synthetic-{args.size}.pst",
                       [pstgen, "--synthetic", args.size, args.data / f"synthetic-{args.size}.pst",
                        "--seed", SEED])
    # Every run writes a tree of its own, removed only once all have run: a tree removed just
    # before a run makes that run's file creations slower (the file system passes over the
    # inodes freed moments before), which would weigh on whichever side happens to follow.
    outputs = fresh_dir(args.data, "desktop-bench")
    # Not timed: takes the removal above and reads the store into the page cache for both.
    run_cli(cli, store, fresh_dir(outputs, "warm-up"), temp)
    times = {"desktop": [], "cli": []}
    for i in range(args.runs):
        order = ["desktop", "cli"] if i % 2 == 0 else ["cli", "desktop"]
        for name in order:
            out = fresh_dir(outputs, f"{name}-{i + 1}")
            if name == "desktop":
                times[name].append(run_desktop(desktop, store, out, temp))
            else:
                times[name].append(run_cli(cli, store, out, temp))
            print(f"bench: {name} run {i + 1}: {times[name][-1][0]:.2f} s, "
                  f"{times[name][-1][1]:.2f} CPU s", file=sys.stderr)
    loads = []
    if args.wide > 0:
        wide = make_store(None, args.data, f"wide-{args.wide}.pst",
                          [pstgen, "--wide-folder", args.wide,
                           args.data / f"wide-{args.wide}.pst"])
        for i in range(args.runs):
            loads.append(run_folder_load(desktop, wide, args.wide, temp))
            print(f"bench: folder load run {i + 1}: {loads[-1]}", file=sys.stderr)
    load_average = os.getloadavg()
    shutil.rmtree(outputs, ignore_errors=True)
    desktop_s = statistics.median(t[0] for t in times["desktop"])
    cli_s = statistics.median(t[0] for t in times["cli"])
    desktop_cpu = statistics.median(t[1] for t in times["desktop"])
    cli_cpu = statistics.median(t[1] for t in times["cli"])
    rows = [["desktop window (Xvfb), conversion", f"{args.size}", f"{desktop_s:.2f}",
             f"{desktop_cpu:.2f}", f"{args.size / desktop_s:.0f}"],
            ["brindlemoor-cli convert, whole run", f"{args.size}", f"{cli_s:.2f}",
             f"{cli_cpu:.2f}", f"{args.size / cli_s:.0f}"]]
    text = [SECTION, "",
            f"Measured {datetime.date.today().isoformat()} on {cpu_name()}, median of "
            f"{args.runs} interleaved runs, with `{args.command or ' '.join(sys.argv)}`; temp "
            f"folders of both sides in {temp}.", "",
            markdown_table(["what", "messages", "seconds", "CPU s", "messages/s"], rows), "",
            f"Desktop / command line: **{desktop_s / cli_s:.2f}x** the time, "
            f"{desktop_cpu / cli_cpu:.2f}x the CPU time (the window's process during its "
            f"conversion against the whole command-line run; the X server and the browser "
            f"engine's helper processes are not counted).", ""]
    if loads:
        def median_of(key):
            values = [r[key] for r in loads if r[key] is not None]
            return f"{statistics.median(values):.3f}" if values else "never"
        load_rows = [["list holds its first 100 rows", median_of("first_rows_s")],
                     ["list painted with its first 100 rows", median_of("first_paint_s")],
                     ["every row listed, load ended", median_of("all_rows_s")]]
        text += [f"Folder load in the window: the {args.wide:,}-item {WIDE_FOLDER} of "
                 f"wide-{args.wide}.pst clicked in the tree (scan not timed), median of "
                 f"{len(loads)} runs, seconds from the click:", "",
                 markdown_table(["what", "seconds"], load_rows), ""]
    text += [f"Load average when it ended: {load_average[0]:.2f} (1 min), "
             f"{load_average[1]:.2f} (5 min).", ""]
    print("\n".join(text))
    if args.results_md:
        write_section(args.results_md, SECTION, "\n".join(text) + "\n")


if __name__ == "__main__":
    main()
