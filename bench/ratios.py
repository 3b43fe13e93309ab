#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Runs varnel_bench (or reads its JSON output) and prints the median figures
of every benchmark as a Markdown table, each varnel figure also as a ratio to
the peers' least-squares fits of the same size from the same run, and the
cross products against the x87 bound of one extended multiply-add per cycle.

    bench/ratios.py build-bench/bench/varnel_bench [extra benchmark flags]
    bench/ratios.py --json results.json
"""
import json
import subprocess
import sys

PEERS = [("BM_GslMultifitLinear", "GSL"), ("BM_EigenNormalLdlt", "Eigen LDLT"), ("BM_EigenColPivQr", "Eigen QR")]


def load(argv):
    if argv[1] == "--json":
        with open(argv[2]) as f:
            return json.load(f)
    command = [argv[1], "--benchmark_format=json", "--benchmark_repetitions=3",
               "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.05"] + argv[2:]
    return json.loads(subprocess.run(command, check=True, capture_output=True, text=True).stdout)


def medians(data):
    """{(name, k, n): median CPU time in ms}, plus the rate counters."""
    times, counters = {}, {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name", "median") != "median":
            continue
        parts = b["run_name"].split("/")
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        if len(parts) >= 3 and parts[-1].isdigit() and parts[-2].isdigit():
            times[("/".join(parts[:-2]), int(parts[-2]), int(parts[-1]))] = b["cpu_time"] * scale
        for key in ("adds", "madds"):
            if key in b:
                counters[key] = b[key]
    return times, counters


def main(argv):
    data = load(argv)
    times, counters = medians(data)
    ctx = data["context"]
    print(f"Host: {ctx.get('host_name', '?')}, {ctx.get('num_cpus')} CPUs at {ctx.get('mhz_per_cpu')} MHz (nominal)\n")
    sizes = sorted({(k, n) for (_, k, n) in times})
    ks = sorted({k for k, _ in sizes})
    ns = sorted({n for _, n in sizes})
    big = ns[-1]
    names = sorted({name for (name, _, _) in times if name not in dict(PEERS)})
    present = [(p, label) for p, label in PEERS if any(name == p for (name, _, _) in times)]
    print("Median CPU time in ms; ratios are to the peer's fit of the same k and n = "
          f"{big:,}; growth is the time at n = {big:,} over the time at n = {ns[-2]:,}.\n")
    print("| operation | k |" + "".join(f" n = {n:,} |" for n in ns) + "".join(f" × {label} |" for _, label in present)
          + " growth |")
    print("|" + "---|" * (2 + len(ns) + len(present) + 1))
    for name in names + [p for p, _ in present]:
        for k in ks:
            if not all((name, k, n) in times for n in ns):
                continue
            row = f"| {name.removeprefix('BM_')} | {k} |" + "".join(f" {times[(name, k, n)]:.4g} |" for n in ns)
            for p, _ in present:
                row += f" {times[(name, k, big)] / times[(p, k, big)]:.3g} |" if (p, k, big) in times else " |"
            row += f" {times[(name, k, big)] / times[(name, k, ns[-2])]:.3g} |"
            print(row)
    if "adds" in counters:
        ghz = counters["adds"] / 1e9
        print(f"\nClock (dependent integer additions): {ghz:.3f} GHz; best x87 multiply-add rate measured: "
              f"{counters.get('madds', 0) / 1e9:.3f} G/s ({counters.get('madds', 0) / counters['adds']:.2f} per cycle)\n")
        print("| cross products k | n | ms | bound ms | × bound |\n|---|---|---|---|---|")
        for k, n in sizes:
            if ("BM_CrossProducts", k, n) in times:
                bound = (k * (k + 1) // 2 + k) * n / (ghz * 1e9) * 1e3
                t = times[("BM_CrossProducts", k, n)]
                print(f"| {k} | {n:,} | {t:.4g} | {bound:.4g} | {t / bound:.3g} |")

if __name__ == "__main__":
    main(sys.argv)
