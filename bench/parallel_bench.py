#!/usr/bin/env python3
"""Parallel conversion: the command line with --jobs 1 and --jobs 2 against readpst -m.

scripts/bench-parallel builds the programs and calls this. The three conversions of a store run
interleaved, in a rotating order, so that a busy machine slows them alike and their ratios
hold; peak memory comes from /usr/bin/time -v. Writes the "## Parallel conversion" section of
the results file and keeps the rest of it.
"""

import argparse
import datetime
import os
import shutil
import statistics
import sys
from pathlib import Path

from run_bench import SEED, cpu_name, fresh_dir, make_store, timed, tree_bytes, write_section

TITLE = "## Parallel conversion"
TOOLS = ("brindlemoor --jobs 1", "brindlemoor --jobs 2", "readpst -m")


def measure(cli, store, scratch, runs):
    """Median wall and CPU seconds, largest peak RSS and output size per tool."""
    def ours(jobs):
        def run():
            out = fresh_dir(scratch, f"ours-{jobs}")
            temp = fresh_dir(scratch, "temp")
            return timed([cli, "convert", store, out, "--temp", temp, "--jobs", jobs]), out
        return run

    def peer():
        out = fresh_dir(scratch, "readpst")
        return timed(["readpst", "-m", "-q", "-o", out, store]), out

    jobs = list(zip(TOOLS, (ours(1), ours(2), peer)))
    samples = {tool: [] for tool in TOOLS}
    output_mb = {}
    for n in range(runs):
        for tool, job in jobs[n % 3:] + jobs[:n % 3]:
            print(f"bench: {store.name} run {n + 1}/{runs}: {tool}", file=sys.stderr, flush=True)
            result, out = job()
            samples[tool].append(result)
            output_mb[tool] = tree_bytes(out) / 1e6
            shutil.rmtree(out, ignore_errors=True)  # keeps the disk from filling on large stores
    shutil.rmtree(scratch, ignore_errors=True)
    return {tool: {"seconds": statistics.median(r.wall for r in samples[tool]),
                   "cpu": statistics.median(r.cpu for r in samples[tool]),
                   "rss_mb": max(r.rss_mb for r in samples[tool]),
                   "output_mb": output_mb[tool]} for tool in TOOLS}


def section(results, meta):
    lines = [TITLE, "",
             f"Made {meta['date']} by `{meta['command']}` on {meta['cores']} cores "
             f"({meta['cpu']}); {meta['runs']} run(s) each, medians. {meta['load']}", "",
             "Each conversion is the whole process (scan, walk, writing) under "
             "`/usr/bin/time -v`: ours as `brindlemoor-cli convert STORE OUT --temp T --jobs N`, "
             "readpst as `readpst -m -q -o OUT STORE` with its default parallelism.", "",
             "| store | tool | items | seconds | CPU s | items/s | x readpst items/s | "
             "peak RSS MB | output MB |",
             "|---|---|---|---|---|---|---|---|---|"]
    ratios = []
    for store, items, by_tool in results:
        peer_rate = items / by_tool["readpst -m"]["seconds"]
        for tool in TOOLS:
            r = by_tool[tool]
            rate = items / r["seconds"]
            lines.append(f"| {store} | {tool} | {items} | {r['seconds']:.2f} | {r['cpu']:.2f} | "
                         f"{rate:.0f} | {rate / peer_rate:.2f} | {r['rss_mb']:.1f} | "
                         f"{r['output_mb']:.1f} |")
        one = by_tool["brindlemoor --jobs 1"]["seconds"]
        two = by_tool["brindlemoor --jobs 2"]["seconds"]
        ratios.append(f"- {store}: --jobs 2 takes {two / one:.2f}x the time of --jobs 1; "
                      f"--jobs 2 converts at {items / two / peer_rate:.2f}x readpst's items/s")
    return "\n".join(lines + [""] + ratios) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=Path, required=True, help="the CMake build directory")
    parser.add_argument("--data", type=Path, required=True, help="where the stores go")
    parser.add_argument("--sizes", type=int, nargs="+", default=[20000, 100000])
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--results-md", type=Path, help="write the section into this file")
    parser.add_argument("--load-note", default="",
                        help="what else ran on the machine meanwhile, said in the section")
    parser.add_argument("--scratch", type=Path,
                        help="where the outputs are written (default: DATA/scratch-parallel); a "
                             "RAM disk keeps the disk's own costs out of the tools' figures")
    parser.add_argument("--command", default="scripts/bench-parallel")
    args = parser.parse_args()
    scratch = args.scratch or args.data / "scratch-parallel"
    load_before = os.getloadavg()[0]

    cli = args.build / "cli/brindlemoor-cli"
    pstgen = args.build / "tools/pstgen/brindlemoor-pstgen"
    args.data.mkdir(parents=True, exist_ok=True)
    results = []
    for size in args.sizes:
        store = make_store(None, args.data, f"synthetic-{size}.pst",
                           [pstgen, "--synthetic", size, args.data / f"synthetic-{size}.pst",
                            "--seed", SEED])
        results.append((store.name, size,
                        measure(cli, store, scratch, args.runs)))
    meta = {"date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            "command": args.command, "cores": os.cpu_count(), "cpu": cpu_name(),
            "runs": args.runs,
            "load": f"Outputs written to {scratch}. Load average {load_before:.1f} at the start, "
                    f"{os.getloadavg()[0]:.1f} at the end. {args.load_note}".strip()}
    text = section(results, meta)
    print(text)
    if args.results_md:
        write_section(args.results_md, TITLE, text)


if __name__ == "__main__":
    main()
