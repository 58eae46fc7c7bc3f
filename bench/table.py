#!/usr/bin/env python3
"""Markdown tables from a benchmark run: table.py RESULTS MEMORY.jsonl MACHINE

RESULTS is a Google Benchmark JSON file, or a folder of them."""
import glob
import json
import os
import sys
from collections import defaultdict


def load(results_path, memory_path):
    best = defaultdict(float)  # (kind, who, file) -> best bytes per second
    sizes = {}
    runs = []
    paths = sorted(glob.glob(os.path.join(results_path, "*.json"))) if os.path.isdir(results_path) else [results_path]
    for path in paths:
        with open(path) as f:
            runs.extend(json.load(f)["benchmarks"])
    for run in runs:
        if run.get("run_type") != "iteration" or run.get("error_occurred"):
            continue
        kind, who, name = run["run_name"].split("/", 2)
        name = name.replace("/real_time", "")
        best[(kind, who, name)] = max(best[(kind, who, name)], run["bytes_per_second"])
    memory = {}
    with open(memory_path) as f:
        for line in f:
            m = json.loads(line)
            memory[(m["contender"], m["file"])] = (m["peak_kib"] - m["base_kib"]) / 1024.0
    return best, memory


def mb(value):
    return f"{value / 1e6:.0f}" if value >= 1e7 else f"{value / 1e6:.1f}"


def ratio(a, b):
    return f"{a / b:.2f}" if a and b else "n/a"


def main():
    best, memory = load(sys.argv[1], sys.argv[2])
    machine = sys.argv[3] if len(sys.argv) > 3 else "unknown machine"
    files = []
    for kind, who, name in best:
        if kind == "read" and who == "pugixml" and name not in files:
            files.append(name)
    scaling = sorted({name for kind, who, name in best if name.startswith("scale-")},
                     key=lambda n: (n.split("-x")[0], int(n.split("-x")[1].split(".")[0])))

    def r(who, name):
        return best.get(("read", who, name), 0.0)

    def w(who, name):
        return best.get(("write", who, name), 0.0)

    print(f"Machine: {machine}. Throughput is CPU time, best of the repetitions, each contender and file in a "
          "process of its own; MB = 10^6 bytes.\n")
    print("**Reading** (MB/s of input; x = ratio)\n")
    print("| file | raw Expat, chunks | ReadFile | x Expat | raw Expat, one piece | ReadString | x Expat "
          "| pugixml | tinyxml2 | libxml2 | ReadFile x pugixml | x tinyxml2 | x libxml2 |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    goals = []
    for name in files:
        ef, zf, ew, zs = r("expat_chunked", name), r("zel_file", name), r("expat_whole", name), r("zel_string", name)
        pu, ti, lx = r("pugixml", name), r("tinyxml2", name), r("libxml2", name)
        print(f"| {name} | {mb(ef)} | {mb(zf)} | **{ratio(zf, ef)}** | {mb(ew)} | {mb(zs)} | **{ratio(zs, ew)}** "
              f"| {mb(pu)} | {mb(ti)} | {mb(lx)} | {ratio(zf, pu)} | {ratio(zf, ti)} | {ratio(zf, lx)} |")
        goals.append((f"ReadFile >= 0.8x Expat on {name}", ef and zf / ef >= 0.8, ratio(zf, ef)))
        goals.append((f"ReadString >= 0.8x Expat on {name}", ew and zs / ew >= 0.8, ratio(zs, ew)))

    print("\n**Writing** (MB/s of each contender's own output)\n")
    print("| file | WriteString | pugixml save | tinyxml2 XMLPrinter | libxml2 dump | x pugixml | x tinyxml2 "
          "| x libxml2 |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for name in files:
        z, pu, ti, lx = w("zel", name), w("pugixml", name), w("tinyxml2", name), w("libxml2", name)
        print(f"| {name} | {mb(z)} | {mb(pu)} | {mb(ti)} | {mb(lx)} | **{ratio(z, pu)}** | {ratio(z, ti)} "
              f"| {ratio(z, lx)} |")
        goals.append((f"WriteString >= pugixml on {name}", pu and z >= pu, ratio(z, pu)))

    print("\n**Peak memory of one read** (MiB above the process before the read, each in a process of its own)\n")
    print("| file | ReadFile | ReadString | pugixml | tinyxml2 | libxml2 | ReadFile / tinyxml2 "
          "| ReadFile / pugixml |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|")
    for name in files:
        m = {c: memory.get((c, name), 0.0) for c in ("zel_file", "zel_string", "pugixml", "tinyxml2", "libxml2")}
        print(f"| {name} | {m['zel_file']:.1f} | {m['zel_string']:.1f} | {m['pugixml']:.1f} | {m['tinyxml2']:.1f} "
              f"| {m['libxml2']:.1f} | **{ratio(m['zel_file'], m['tinyxml2'])}** "
              f"| {ratio(m['zel_file'], m['pugixml'])} |")
        goals.append((f"ReadFile memory <= tinyxml2 on {name}", m["tinyxml2"] and m["zel_file"] <= m["tinyxml2"],
                      ratio(m["zel_file"], m["tinyxml2"])))

    if scaling:
        print("\n**Scaling** (ns per input byte at 1x, 4x and 16x the size; flat means linear)\n")
        print("| shape | contender | 1x | 4x | 16x |")
        print("|---|---|---:|---:|---:|")
        shapes = sorted({n.split("-x")[0] for n in scaling})
        for shape in shapes:
            for kind, who, label in (("read", "expat_chunked", "raw Expat"), ("read", "zel_file", "ReadFile"),
                                     ("write", "zel", "WriteString")):
                cells = []
                for x in (1, 4, 16):
                    v = best.get((kind, who, f"{shape}-x{x}.xml"), 0.0)
                    cells.append(f"{1e9 / v:.2f}" if v else "n/a")
                print(f"| {shape} | {label} | " + " | ".join(cells) + " |")

    print("\n**Targets**\n")
    for goal, met, value in goals:
        print(f"- {'met' if met else 'NOT met'}: {goal} ({value})")


if __name__ == "__main__":
    main()
