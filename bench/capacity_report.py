#!/usr/bin/python3
"""Prints the Capacity section (Markdown) from one run of scripts/capacity.sh.

    capacity_report.py RUNS_DIR

RUNS_DIR holds what the script collected: memory.txt and startup.txt
(capacity_tool's reports), load-taxapi-N.txt and load-raw-N.txt (load_tool's,
without and with --raw), load-before and load-after (the load average),
commit, and quick when the run was one with small counts. The host's limits and size are read here, on the host that ran it.
"""
import os
import platform
import re
import statistics
import sys
from pathlib import Path

USERS, SESSIONS_EACH = 500, 2


def results(path):
    """The report's "result:" lines as (kind, fields); numbers as floats."""
    out = []
    for line in path.read_text().splitlines():
        if not line.startswith("result: "):
            continue
        words = line.split()[1:]
        kind = words.pop(0) if "=" not in words[0] else "load"
        fields = {}
        for word in words:
            key, value = word.split("=", 1)
            try:
                fields[key] = float(value)
            except ValueError:
                fields[key] = value
        out.append((kind, fields))
    return out


def kernel_value(name):
    return int(Path(f"/proc/sys/kernel/{name}").read_text())


def host():
    model = ""
    for line in Path("/proc/cpuinfo").read_text().splitlines():
        if line.startswith("model name"):
            model = line.split(":", 1)[1].strip()
            break
    mem_kb = int(re.search(r"MemTotal:\s+(\d+)", Path("/proc/meminfo").read_text()).group(1))
    return os.cpu_count(), model, mem_kb


def num(x, digits=0):
    return f"{x:,.{digits}f}"


def main(runs):
    memory = {f["engine"]: f for kind, f in results(runs / "memory.txt") if kind == "memory"}
    burst = next(f for kind, f in results(runs / "memory.txt") if kind == "starts")
    startup = {f["program"]: f for kind, f in results(runs / "startup.txt") if kind == "startup"}
    load = {}
    for path in runs.glob("load-*-*.txt"):
        for _, f in results(path):
            load[(int(f["raw"]), int(f["processes"]))] = f
    counts = sorted({n for _, n in load})
    cpus, model, mem_kb = host()
    msgmni, msgmnb, pid_max = (kernel_value(name) for name in ("msgmni", "msgmnb", "pid_max"))
    commit = (runs / "commit").read_text().split()
    load_before = (runs / "load-before").read_text().strip()
    load_after = (runs / "load-after").read_text().strip()

    p = print
    p("### Capacity\n")
    p(f"Measured by `scripts/capacity.sh` at commit {' '.join(commit)} on {cpus} CPUs ({model}), "
      f"{mem_kb / 2**20:.1f} GiB, Linux {platform.release()}; load average (1, 5, 15 min) {load_before} "
      f"before the run, {load_after} after it. Stand-in engines with their sample data, logs off, the default "
      "receive time-out." + (" **A quick run (`--quick`): a check of the tools, not figures.**"
                              if (runs / "quick").exists() else "") + "\n")

    all_ = memory["all"]
    p(f"**Memory of an idle process.** {int(all_['processes'])} `taxapi` alive at once, each started by an ERP "
      "peer of its own, read once every one was acknowledged and asleep in its receive (and checked again "
      "afterwards). PSS splits each shared page (the engine libraries, libc) among the processes that map it, "
      "so it adds up over processes; RSS counts shared pages in full in each; private is what each one alone "
      "takes.\n")
    p("| engine | processes | PSS mean kB | PSS median kB | RSS mean kB | private mean kB | PSS total MiB |")
    p("|---|---:|---:|---:|---:|---:|---:|")
    for key, label in (("taxware", "Taxware"), ("vertex", "Vertex"), ("all", "both")):
        m = memory[key]
        p(f"| {label} | {int(m['processes'])} | {num(m['pss_mean_kb'])} | {num(m['pss_median_kb'])} | "
          f"{num(m['rss_mean_kb'])} | {num(m['private_mean_kb'])} | {num(m['pss_total_kb'] / 1024, 1)} |")
    p()

    floor = startup["floor"]["median_ms"]
    p(f"**Start-up.** From the spawn to the ready message read from the output queue, "
      f"{int(startup['floor']['starts'])} starts of each, interleaved. `start_floor` does a start's queue work "
      "alone (creates the input queue, opens the output queue, sends the ready text) and exits.\n")
    p("| program | median ms | p90 ms | median / floor |")
    p("|---|---:|---:|---:|")
    for key, label in (("taxware", "taxapi, Taxware"), ("vertex", "taxapi, Vertex"), ("floor", "start_floor")):
        s = startup[key]
        p(f"| {label} | {s['median_ms']:.2f} | {s['p90_ms']:.2f} | {s['median_ms'] / floor:.2f} |")
    p(f"\nA burst: the {int(burst['processes'])} processes above were started by {int(burst['starters'])} "
      f"starters at once, the earlier ones staying up, in {burst['seconds']:.2f} s: {num(burst['rate'])} starts/s.\n")

    per_run = int(load[(0, counts[0])]["requests"] * counts[0])
    p(f"**Throughput.** `load_tool`: N `taxapi` at once (Taxware and Vertex in turn), {num(per_run)} tax requests "
      "in all, every reply checked. `load_tool --raw`: the same clients sending the same messages to "
      "`raw_server`, which answers each one as `taxapi` does (action: acknowledgement; data: status and "
      "result) with no work behind it: an exchange is the two round trips of a request, and the raw figure is "
      "the floor of request/reply over a pair of System V queues per process. Each count ran both, one "
      "after the other.\n")
    p("| processes | " + " | ".join(str(n) for n in counts) + " |")
    p("|---|" + "---:|" * len(counts))
    p("| taxapi, requests/s | " + " | ".join(num(load[(0, n)]["rps"]) for n in counts) + " |")
    p("| raw, exchanges/s | " + " | ".join(num(load[(1, n)]["rps"]) for n in counts) + " |")
    p("| taxapi / raw | " + " | ".join(f"{load[(0, n)]['rps'] / load[(1, n)]['rps']:.2f}" for n in counts) + " |")
    p()

    # The plateau: where the CPUs have long been saturated (10 processes and
    # more); a quick run has only its largest count.
    flat = [n for n in counts if n >= 10] or counts[-1:]
    plateau = statistics.median(load[(0, n)]["rps"] for n in flat)
    raw_plateau = statistics.median(load[(1, n)]["rps"] for n in flat)
    sessions = USERS * SESSIONS_EACH
    mem_gib = all_["pss_mean_kb"] * sessions / 2**20
    rss_gib = all_["rss_mean_kb"] * sessions / 2**20
    queues = 2 * sessions
    where = f"from {flat[0]} processes up" if len(flat) > 1 else f"at {flat[0]} processes"
    p(f"**{USERS} users, {SESSIONS_EACH} sessions each ({num(sessions)} `taxapi` on one host).** "
      f"Memory: {num(sessions)} × {num(all_['pss_mean_kb'])} kB PSS = {mem_gib:.2f} GiB, "
      f"{100 * mem_gib * 2**20 / mem_kb:.1f} % of this host's {mem_kb / 2**20:.1f} GiB (a little less in fact, "
      f"as the shared pages are split among more processes; RSS would count them {num(sessions)} times: "
      f"{rss_gib:.2f} GiB). Queues: {num(queues)} (two a session) of the kernel's msgmni = {num(msgmni)}, "
      f"{100 * queues / msgmni:.1f} %, which would allow {num(msgmni // 2)} sessions less the other programs' "
      f"queues; and {num(sessions)} processes of kernel.pid_max = {num(pid_max)}. msgmnb = {num(msgmnb)} bytes "
      "a queue holds a tax request's replies (a status and a result, about 150 bytes) many times over; only an "
      "address lookup's many results, read slowly by the ERP, can fill it, and `taxapi` then waits for room. "
      f"Throughput: {num(plateau)} requests/s for all users together "
      f"(the median {where}, the ERP side's work on the same CPUs included, as System V queues keep both "
      f"on one host), {100 * plateau / raw_plateau:.0f} % of what the bare queues give; shared by {USERS} users all busy at once, {plateau / USERS:.1f} requests/s "
      f"or {num(plateau * 3600 / USERS)} an hour each. Start-up: a burst of all {num(sessions)} sessions at "
      f"once takes about {sessions / burst['rate']:.1f} s at the measured {num(burst['rate'])} starts/s "
      f"(a single start: {startup['taxware']['median_ms']:.1f} ms Taxware, "
      f"{startup['vertex']['median_ms']:.1f} ms Vertex).")


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    main(Path(sys.argv[1]))
