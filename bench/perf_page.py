#!/usr/bin/python3
"""Writes the performance page from one run of scripts/perf-page.sh.

    perf_page.py RUNS_DIR OUT_DIR

RUNS_DIR holds what the script collected: bench-{1,2,3}.json (Google
Benchmark's output with the counters of roundtrip_bench), samples-{1,2,3}.csv
(every round trip), roundtrip-{1,2,3}.txt, load-N.txt (load_tool's report) and
load-before / load-after (the load average), and before (the older commit
whose idle cost was measured, if any). OUT_DIR receives README.md
(tables), latency.png, throughput.png and the runs' text reports.

Needs matplotlib (Debian: python3-matplotlib).
"""
import csv
import json
import os
import platform
import re
import shutil
import subprocess
import sys
from datetime import date
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

KINDS = [  # samples' kind, label
    ("raw", "raw queue ping-pong"),
    ("lone", "lone data message (error 8)"),
    ("taxware", "Taxware tax request"),
    ("vertex", "Vertex tax request"),
]
RATIOS = [  # label, kind, raw round trips it is set against
    ("lone message / raw round trip", "lone", 1),
    ("Taxware request / 2 raw round trips", "taxware", 2),
    ("Vertex request / 2 raw round trips", "vertex", 2),
]


def benchmarks(path):
    return {b["name"].split("/iterations")[0]: b for b in json.loads(path.read_text())["benchmarks"]}


def round_trip_counters(runs, run):
    return benchmarks(runs / f"bench-{run}.json")["BM_RoundTrips"]


def ratio(counters, kind, raws, stat):
    return counters[f"{kind}_{stat}_us"] / (raws * counters[f"raw_{stat}_us"])


def samples(runs):
    by_kind = {kind: [] for kind, _ in KINDS}
    for run in (1, 2, 3):
        with open(runs / f"samples-{run}.csv") as f:
            for row in csv.DictReader(f):
                by_kind[row["kind"]].append(float(row["us"]))
    return by_kind


def load_results(runs):
    results = []
    for path in runs.glob("load-*.txt"):
        m = re.search(r"^result: (.*)$", path.read_text(), re.M)
        if m:
            results.append({k: float(v) for k, v in (kv.split("=") for kv in m.group(1).split())})
    return sorted(results, key=lambda r: r["processes"])


def plot_latency(by_kind, out):
    fig, ax = plt.subplots(figsize=(8, 4.5))
    for kind, label in KINDS:
        values = sorted(by_kind[kind])
        n = len(values)
        ax.plot(values, [(i + 1) / n for i in range(n)], label=label)
    ax.set_xscale("log")
    ax.set_xlabel("round trip (µs, log scale)")
    ax.set_ylabel("share of round trips at most this long")
    ax.set_title("Latency distribution (three runs, client and servers on separate CPUs)")
    ax.grid(True, which="both", alpha=0.3)
    ax.legend(loc="lower right")
    fig.tight_layout()
    fig.savefig(out / "latency.png", dpi=100)


def plot_throughput(loads, out):
    fig, ax = plt.subplots(figsize=(8, 4.5))
    ax.plot([r["processes"] for r in loads], [r["rps"] for r in loads], marker="o")
    ax.set_xscale("log")
    ax.set_xticks([r["processes"] for r in loads], [str(int(r["processes"])) for r in loads])
    ax.minorticks_off()
    ax.set_ylim(bottom=0)
    ax.set_xlabel("concurrent taxapi processes (half Taxware, half Vertex)")
    ax.set_ylabel("requests per second")
    ax.set_title(f"Throughput, {int(loads[0]['requests'])} tax requests per process")
    ax.grid(True, which="both", alpha=0.3)
    fig.tight_layout()
    fig.savefig(out / "throughput.png", dpi=100)


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---:" if i else "---" for i in range(len(header))) + "|"]
    return "\n".join(lines + ["| " + " | ".join(str(c) for c in row) + " |" for row in rows])


def machine():
    cpu = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
    commit = subprocess.run(["git", "rev-parse", "--short", "HEAD"], capture_output=True, text=True).stdout.strip()
    return cpu, commit


def page(runs, out):
    cpu, commit = machine()
    first = round_trip_counters(runs, 1)
    idle = [b for name, b in benchmarks(runs / "bench-1.json").items() if name.startswith("BM_Idle")]
    before = (runs / "before").read_text().strip() if (runs / "before").exists() else "?"
    idle_label = {"BM_Idle/this_build": f"this build ({commit})", "BM_Idle/before": f"commit {before}"}
    loads = load_results(runs)
    rounds = first["iterations"]
    parts = [
        "# Performance",
        f"One run of `scripts/perf-page.sh{'' if before == '?' else ' -b ' + before}` on {date.today()} "
        f"at commit {commit}: {cpu}, {os.cpu_count()} CPUs, Linux {platform.release()}. Timings move with "
        f"the machine's load; its load average (1, 5, 15 min) was {(runs / 'load-before').read_text().strip()} "
        f"before the run and {(runs / 'load-after').read_text().strip()} after it.",
        "## Idle process",
        "An idle `taxapi` with the default receive time-out, watched for a few seconds: context switches "
        "(each a wake-up) and CPU time from `/proc/<pid>`.",
        table(["taxapi", "wake-ups/s", "CPU %"],
              [(idle_label[b["name"].split("/iterations")[0]], f"{b['wakeups_per_s']:.1f}",
                f"{b['cpu_percent']:.4f}") for b in idle]),
        f"## Round trips (run 1: {rounds} interleaved rounds)",
        "Client on one CPU, the servers (raw echo partner, both `taxapi`) on the other. A full request is "
        "action, acknowledgement, data, status and result.",
        table(["round trip", "median µs", "p99 µs"],
              [(label, f"{first[f'{k}_p50_us']:.1f}", f"{first[f'{k}_p99_us']:.1f}") for k, label in KINDS]),
        "Ratios of medians (p99 in brackets), three runs in a row; target for the full requests: at most 1.5.",
        table(["ratio", "run 1", "run 2", "run 3"],
              [(label, *(f"{ratio(c, k, n, 'p50'):.2f} ({ratio(c, k, n, 'p99'):.2f})"
                         for c in (round_trip_counters(runs, r) for r in (1, 2, 3))))
               for label, k, n in RATIOS]),
        "![Latency distribution](latency.png)",
        "## Load",
        "`load_tool -n N`: N `taxapi` processes at once, each with its own ERP peer process, every reply "
        "checked against its own request.",
        table(["processes", "requests", "right", "lost", "duplicated", "cross-talk", "wrong", "seconds",
               "requests/s"],
              [(int(r["processes"]), int(r["processes"] * r["requests"]), int(r["right"]), int(r["lost"]),
                int(r["duplicated"]), int(r["crosstalk"]), int(r["wrong"]), f"{r['seconds']:.2f}",
                f"{r['rps']:.0f}") for r in loads]),
        "![Throughput](throughput.png)",
    ]
    (out / "README.md").write_text("\n\n".join(parts) + "\n")
    plot_latency(samples(runs), out)
    plot_throughput(loads, out)
    for report in sorted(runs.glob("roundtrip-*.txt")) + sorted(runs.glob("load-*.txt")):
        shutil.copy(report, out / report.name)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    out_dir = Path(sys.argv[2])
    out_dir.mkdir(parents=True, exist_ok=True)
    page(Path(sys.argv[1]), out_dir)
