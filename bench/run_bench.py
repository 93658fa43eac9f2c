#!/usr/bin/env python3
"""Runs the Brindlemoor benchmarks; scripts/bench builds the programs and calls this.

Every figure is the median of several runs. The conversion, readpst and the read floor run
interleaved, in a rotating order, so that a busy machine slows all three alike and their ratios
hold. Peak memory comes from /usr/bin/time -v.
"""

import argparse
import csv
import datetime
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field
from pathlib import Path

import fidelity

TOP = "/Top of Personal Folders"
WIDE_FOLDER = TOP + "/Inbox"
SEED = 1


@dataclass
class Tools:
    cli: Path
    pstgen: Path
    floor: Path
    load: Path
    folders: Path
    micro: Path | None


@dataclass
class Run:
    """One timed process: wall and CPU seconds, peak resident memory, what it reported."""
    wall: float
    cpu: float
    rss_mb: float
    output: str = ""


@dataclass
class Row:
    """One line of the results table."""
    benchmark: str
    store: str
    tool: str
    items: int
    store_mb: float
    runs: list = field(default_factory=list)
    seconds: float = 0.0  # median time of the measured work
    cpu: float = 0.0
    rss_mb: float = 0.0
    output_mb: float | None = None
    note: str = ""

    def rate(self):
        return self.items / self.seconds if self.seconds > 0 else 0.0

    def mb_rate(self):
        return self.store_mb / self.seconds if self.seconds > 0 else 0.0


def timed(command, cwd=None):
    """Runs `command` under /usr/bin/time -v; raises when it fails."""
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report:
        result = subprocess.run(
            ["/usr/bin/time", "-v", "-o", report.name] + [str(c) for c in command],
            cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        text = report.read()
    if result.returncode not in (0,):
        raise RuntimeError(f"{command[0]} failed ({result.returncode}): {result.stderr[-2000:]}")
    return Run(wall=_elapsed(text), cpu=_field(text, "User time (seconds)") +
               _field(text, "System time (seconds)"),
               rss_mb=_field(text, "Maximum resident set size (kbytes)") / 1024.0,
               output=result.stdout)


def _field(text, name):
    match = re.search(re.escape(name) + r":\s*([0-9.]+)", text)
    return float(match.group(1)) if match else 0.0


def _elapsed(text):
    match = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\):\s*([0-9:.]+)", text)
    seconds = 0.0
    for part in match.group(1).split(":"):
        seconds = seconds * 60 + float(part)
    return seconds


def tree_bytes(path):
    total = 0
    for root, _, files in os.walk(path):
        for name in files:
            total += os.path.getsize(os.path.join(root, name))
    return total


def make_store(tools, data, name, command):
    """The store `name` in `data`, written again when its writer is newer than it."""
    path = data / name
    writer = Path(command[0])
    if not path.exists() or path.stat().st_mtime < writer.stat().st_mtime:
        print(f"bench: writing {path.name}", file=sys.stderr, flush=True)
        subprocess.run([str(c) for c in command] , check=True, stdout=subprocess.DEVNULL)
    return path


def fresh_dir(parent, name):
    path = parent / name
    shutil.rmtree(path, ignore_errors=True)
    path.mkdir(parents=True)
    return path


def median_row(row):
    row.seconds = statistics.median(r.wall for r in row.runs)
    row.cpu = statistics.median(r.cpu for r in row.runs)
    row.rss_mb = max(r.rss_mb for r in row.runs)
    return row


# --- Conversion, readpst and the read floor -------------------------------------------------

def conversion_rows(tools, data, store, items, runs):
    store_mb = store.stat().st_size / 1e6
    rows = {tool: Row("convert", store.name, tool, items, store_mb)
            for tool in ("brindlemoor", "readpst", "read floor")}
    scratch = data / "scratch"
    outputs = {}

    def ours():
        out = fresh_dir(scratch, "ours")
        temp = fresh_dir(scratch, "temp")
        run = timed([tools.cli, "convert", store, out, "--temp", temp])
        outputs["brindlemoor"] = tree_bytes(out)
        return run

    def peer():
        out = fresh_dir(scratch, "readpst")
        run = timed(["readpst", "-m", "-q", "-o", out, store])
        outputs["readpst"] = tree_bytes(out)
        return run

    def floor():
        return timed([tools.floor, store])

    jobs = [("brindlemoor", ours), ("readpst", peer), ("read floor", floor)]
    for n in range(runs):
        # Rotating the order spreads any drift of the machine's load over all three.
        for tool, job in jobs[n % 3:] + jobs[:n % 3]:
            print(f"bench: {store.name} run {n + 1}/{runs}: {tool}", file=sys.stderr, flush=True)
            rows[tool].runs.append(job())
    shutil.rmtree(scratch, ignore_errors=True)
    for tool, row in rows.items():
        median_row(row)
        if tool in outputs:
            row.output_mb = outputs[tool] / 1e6
    floor_report = json.loads(rows["read floor"].runs[-1].output)
    rows["read floor"].note = (f"{floor_report['attachments']} attachments, "
                               f"{floor_report['bytes'] / 1e6:.0f} MB read")
    return list(rows.values())


# --- Folder load and scan ---------------------------------------------------------------------

def folder_load_rows(tools, data, store, items, runs):
    store_mb = store.stat().st_size / 1e6
    ours = Row("folder load", store.name, "brindlemoor", items, store_mb)
    floor = Row("folder load", store.name, "read floor", items, store_mb)
    scan = Row("scan", store.name, "brindlemoor", 0, store_mb)
    loads, scans = [], []
    for n in range(runs):
        print(f"bench: {store.name} folder load run {n + 1}/{runs}", file=sys.stderr, flush=True)
        temp = fresh_dir(data / "scratch", "temp")
        run = timed([tools.load, store, WIDE_FOLDER, "--temp", temp])
        report = json.loads(run.output)
        if report["rows"] != items:
            raise RuntimeError(f"folder load of {store.name} gave {report['rows']} rows")
        loads.append(report["load_seconds"])
        scans.append(report["scan_seconds"])
        scan.items = report["folders"]
        ours.runs.append(run)
        scan.runs.append(run)
        floor.runs.append(timed([tools.floor, store, "--folder", WIDE_FOLDER]))
    shutil.rmtree(data / "scratch", ignore_errors=True)
    median_row(ours)
    median_row(floor)
    median_row(scan)
    scan.seconds = statistics.median(scans)
    scan.note = "libpff's open of a wide folder dominates"
    # The load alone, without the scan before it and the process around it.
    ours.seconds = statistics.median(loads)
    floor.seconds = statistics.median(json.loads(r.output)["read_seconds"] for r in floor.runs)
    ours.note = "the load alone, after the scan"
    floor.note = "the same items' reading alone, after the open"
    return [ours, floor, scan]


def scan_rows(tools, data, store, runs):
    row = Row("scan", store.name, "brindlemoor", 0, store.stat().st_size / 1e6)
    scans = []
    for n in range(runs):
        print(f"bench: {store.name} scan run {n + 1}/{runs}", file=sys.stderr, flush=True)
        temp = fresh_dir(data / "scratch", "temp")
        run = timed([tools.load, store, "--temp", temp])
        report = json.loads(run.output)
        row.items = report["folders"]
        scans.append(report["scan_seconds"])
        row.runs.append(run)
    shutil.rmtree(data / "scratch", ignore_errors=True)
    median_row(row)
    row.seconds = statistics.median(scans)
    row.note = "folders walked into the tree"
    return [row]


# --- Micro-benchmarks -------------------------------------------------------------------------

def micro_results(tools, results):
    if tools.micro is None:
        return []
    out = results / "micro.json"
    subprocess.run([str(tools.micro), "--benchmark_min_time=0.2",
                    f"--benchmark_out={out}", "--benchmark_out_format=json"],
                   check=True, stdout=subprocess.DEVNULL)
    report = json.loads(out.read_text())
    return [b for b in report["benchmarks"] if b.get("run_type", "iteration") == "iteration"]


# --- Reporting --------------------------------------------------------------------------------

HEADER = ["benchmark", "store", "tool", "items", "store MB", "seconds", "CPU s", "items/s",
          "MB/s", "peak RSS MB", "output MB", "note"]


def table_cells(row):
    return [row.benchmark, row.store, row.tool, str(row.items), f"{row.store_mb:.1f}",
            f"{row.seconds:.3f}", f"{row.cpu:.2f}", f"{row.rate():.0f}", f"{row.mb_rate():.1f}",
            f"{row.rss_mb:.1f}", "" if row.output_mb is None else f"{row.output_mb:.1f}", row.note]


def ratios(rows):
    """Headline ratios: ours against readpst, against the floor, and the memory target."""
    lines = []
    by_key = {(r.benchmark, r.store, r.tool): r for r in rows}
    for r in rows:
        if r.tool != "brindlemoor":
            continue
        peer = by_key.get((r.benchmark, r.store, "readpst"))
        floor = by_key.get((r.benchmark, r.store, "read floor"))
        parts = []
        if peer and r.seconds > 0:
            parts.append(f"{peer.seconds / r.seconds:.2f}x readpst's items/s "
                         f"({peer.cpu / r.cpu:.2f}x by CPU time)")
        if floor and floor.seconds > 0:
            parts.append(f"{r.seconds / floor.seconds:.1f}x the read floor's time")
        if r.benchmark == "convert":
            parts.append(f"peak RSS {r.rss_mb:.0f} MB")
        if parts:
            lines.append(f"{r.benchmark} {r.store}: " + ", ".join(parts))
    return lines


def markdown_table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(cells) + " |" for cells in rows]
    return "\n".join(lines)


def print_table(rows):
    cells = [HEADER] + [table_cells(r) for r in rows]
    widths = [max(len(c[i]) for c in cells) for i in range(len(HEADER))]
    for line in cells:
        print("  ".join(c.ljust(w) for c, w in zip(line, widths)).rstrip())


def write_outputs(results, rows, micro, checks, meta):
    with open(results / "results.csv", "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(HEADER)
        writer.writerows(table_cells(r) for r in rows)
    payload = {
        "meta": meta,
        "rows": [dict(zip(HEADER, table_cells(r)), runs=[vars(x) | {"output": None}
                                                         for x in r.runs]) for r in rows],
        "ratios": ratios(rows),
        "fidelity": checks,
        "micro": micro,
    }
    (results / "results.json").write_text(json.dumps(payload, indent=2))


def micro_table(micro):
    rows = []
    for b in micro:
        rate = b.get("bytes_per_second")
        rows.append([b["name"], f"{b['real_time'] / 1000:.1f}", f"{b['cpu_time'] / 1000:.1f}",
                     "" if rate is None else f"{rate / 1e6:.0f}"])
    return markdown_table(["micro-benchmark", "wall us", "CPU us", "MB/s"], rows)


def write_results_md(path, rows, micro, checks, meta):
    text = [
        "# Benchmark results",
        "",
        f"Made {meta['date']} by `{meta['command']}` on {meta['cores']} cores "
        f"({meta['cpu']}); {meta['runs']} runs each, medians.",
        "",
        "Seconds are wall-clock: the whole process for `convert` (scan, walk, writing), the load "
        "or scan alone for `folder load` and `scan`. CPU s is user + system time of the process; "
        "peak RSS is the largest of the runs.",
        "",
        markdown_table(HEADER, [table_cells(r) for r in rows]),
        "",
        "## Ratios",
        "",
    ]
    text += [f"- {line}" for line in ratios(rows)]
    if checks:
        text += ["", "## Output fidelity (msgconvert reading both tools' MSG files)", ""]
        text += [f"- {line}" for line in fidelity.summary_lines(checks)]
    if micro:
        text += ["", "## Micro-benchmarks", "", micro_table(micro)]
    path.write_text("\n".join(text) + "\n" + kept_sections(path))


# Sections of RESULTS.md that other benchmark scripts write; a run of this script keeps them.
OTHER_SECTIONS = ("## PST reader", "## Folder load", "## Desktop and command line",
                  "## MSG property copy", "## Parallel conversion")


def kept_sections(path):
    """The sections other benchmark scripts wrote into the same file."""
    if not path.exists():
        return ""
    old = path.read_text()
    kept = []
    for title in OTHER_SECTIONS:
        start = old.find("\n" + title)
        if start < 0:
            continue
        end = old.find("\n## ", start + 1)
        kept.append(old[start:end + 1 if end >= 0 else len(old)])
    return "".join(kept)


def write_section(path, title, section):
    """Replaces (or appends) the section `title` of the results file, keeping the rest."""
    old = path.read_text() if path.exists() else "# Benchmark results\n"
    start = old.find(title)
    if start < 0:
        path.write_text(old.rstrip("\n") + "\n\n" + section)
        return
    end = old.find("\n## ", start + len(title))
    rest = old[end + 1:] if end >= 0 else ""
    path.write_text(old[:start] + section + ("\n" + rest if rest else ""))


def cpu_name():
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown CPU"


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=Path, required=True, help="the CMake build directory")
    parser.add_argument("--data", type=Path, required=True, help="where stores and results go")
    parser.add_argument("--sizes", type=int, nargs="+", default=[1000, 20000])
    parser.add_argument("--wide", type=int, nargs="+", default=[10000],
                        help="sizes of the one-folder stores whose folder load is timed")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--results-md", type=Path, help="write the results as Markdown here")
    parser.add_argument("--no-micro", action="store_true")
    parser.add_argument("--no-fidelity", action="store_true")
    parser.add_argument("--command", default="scripts/bench")
    args = parser.parse_args()

    b = args.build
    micro = b / "bench/brindlemoor-microbench"
    tools = Tools(cli=b / "cli/brindlemoor-cli", pstgen=b / "tools/pstgen/brindlemoor-pstgen",
                  floor=b / "bench/brindlemoor-readfloor", load=b / "bench/brindlemoor-bench-load",
                  folders=b / "bench/brindlemoor-bench-folders",
                  micro=micro if micro.exists() and not args.no_micro else None)
    data = args.data
    data.mkdir(parents=True, exist_ok=True)
    results = data / "results"
    results.mkdir(exist_ok=True)

    rows = []
    synthetic = {}
    for size in args.sizes:
        synthetic[size] = make_store(tools, data, f"synthetic-{size}.pst",
                                     [tools.pstgen, "--synthetic", size,
                                      data / f"synthetic-{size}.pst", "--seed", SEED])
    for size in args.sizes:
        rows += conversion_rows(tools, data, synthetic[size], size, args.runs)
    for size in args.wide:
        store = make_store(tools, data, f"wide-{size}.pst",
                           [tools.pstgen, "--wide-folder", size, data / f"wide-{size}.pst"])
        rows += folder_load_rows(tools, data, store, size, args.runs)
    folders = make_store(tools, data, "folders-2000.pst",
                         [tools.folders, 2000, data / "folders-2000.pst"])
    rows += scan_rows(tools, data, folders, args.runs)

    checks = []
    if not args.no_fidelity and shutil.which("msgconvert"):
        print("bench: comparing output fidelity", file=sys.stderr, flush=True)
        checks = fidelity.compare(tools, synthetic[min(args.sizes)], data / "fidelity")

    print("bench: micro-benchmarks", file=sys.stderr, flush=True)
    micro_rows = micro_results(tools, results)

    meta = {"date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
            "command": args.command, "cores": os.cpu_count(), "cpu": cpu_name(),
            "runs": args.runs}
    print(f"\n{meta['cores']} cores, {meta['cpu']}; medians of {args.runs} runs\n")
    print_table(rows)
    print()
    for line in ratios(rows):
        print(line)
    for line in fidelity.summary_lines(checks):
        print(line)
    write_outputs(results, rows, micro_rows, checks, meta)
    if args.results_md:
        write_results_md(args.results_md, rows, micro_rows, checks, meta)
    print(f"\nresults: {results}/results.csv, {results}/results.json")


if __name__ == "__main__":
    main()
