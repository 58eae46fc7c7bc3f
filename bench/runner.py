#!/usr/bin/env python3
"""Runs the benchmark's processes and prints the Markdown tables; see run.sh.

Every contender, file and repetition is a process of its own (zelbas_bench
read|write), started in a shuffled order so that all contenders meet the
machine's noise alike. From each read process come the cold read (its first
read), the steady read (the median of reads 10-30, each tree freed before the
next), the drift (reads 26-30 against reads 3-7) and the peak memory of the
first read; from each write process the time of one rendering (median of
writes 10-30). A cell's figure is the median over the repetitions.
"""
import argparse
import io
import json
import os
import random
import shlex
import statistics
import subprocess
import sys

READERS = ["expat_chunked", "expat_whole", "zel_file", "zel_file_whole", "zel_file_keep", "zel_string", "pugixml_file",
           "pugixml_buffer", "tinyxml2", "libxml2"]
BEFORE = "zel_file_before"  # zel_file of the --baseline build
WRITERS = ["zel", "pugixml", "tinyxml2"]
SPREAD_LIMIT = 1.30  # largest allowed ratio between two repetitions of a cell


def run_processes(args, runs, seed):
    """Runs every (kind, who, path) of `runs` once per repetition, in a
    shuffled order; returns the JSON results and the failures."""
    results, failures = [], []
    for rep in range(args.reps):
        order = runs[:]
        random.Random(seed * 1000 + rep).shuffle(order)
        for kind, who, path in order:
            count = args.reads if kind == "read" else args.writes
            bench, name = (args.baseline, "zel_file") if who == BEFORE else (args.bench, who)
            done = subprocess.run(shlex.split(bench) + [kind, name, path, str(count)], capture_output=True,
                                  text=True)
            if done.returncode != 0:
                failures.append(f"{kind} {who} {os.path.basename(path)}: exit {done.returncode}: "
                                f"{done.stderr.strip()[:200]}")
                continue
            result = json.loads(done.stdout)
            result["path"] = path
            result["who"] = who
            results.append(result)
            print(".", end="", file=sys.stderr, flush=True)
    print(file=sys.stderr)
    return results, failures


class Cells:
    """Per (kind, who, file, measure): the figure of each repetition."""

    def __init__(self, results, reads):
        self.values = {}
        self.elements = {}
        self.bytes = {}
        steady_from = min(9, reads - 1)  # reads 10-30; the last reads of a short run
        for r in results:
            key = (r["kind"], r["who"], r["file"])
            ms = r["ms"]
            self.add(key + ("steady",), statistics.median(ms[steady_from:]))
            self.add(key + ("steady_faults",), statistics.median(r["faults"][steady_from:]))
            self.elements.setdefault(r["file"], {})[(r["kind"], r["who"])] = r["elements"]
            if r["kind"] == "read":
                self.add(key + ("cold",), ms[0])
                self.add(key + ("cold_faults",), r["faults"][0])
                self.add(key + ("peak",), (r["peak_kib"] - r["base_kib"]) / 1024.0)
                if len(ms) >= 10:
                    self.add(key + ("drift",), statistics.median(ms[-5:]) / statistics.median(ms[2:7]))
            else:
                self.bytes[key] = r["bytes"]

    def add(self, key, value):
        self.values.setdefault(key, []).append(value)

    def get(self, kind, who, name, measure):
        values = self.values.get((kind, who, name, measure))
        return statistics.median(values) if values else None

    def spreads(self):
        """(ratio of largest to smallest repetition, cell key, measure, values) of the timed
        and memory figures, largest first."""
        out = []
        for (kind, who, name, measure), values in self.values.items():
            if measure in ("steady", "cold", "peak") and len(values) > 1 and min(values) > 0:
                out.append((max(values) / min(values), (kind, who, name), measure, values))
        return sorted(out, reverse=True)


def mbps(size, ms):
    if not ms:
        return "n/a"
    value = size / 1e6 / (ms / 1e3)
    return f"{value:.0f}" if value >= 100 else f"{value:.1f}"


def ratio(a, b, bold=False):
    if not a or not b:
        return "n/a"
    return f"**{a / b:.2f}**" if bold else f"{a / b:.2f}"


def fmt(value, digits=1):
    return "n/a" if value is None else f"{value:,.{digits}f}"


def without_empty_columns(text):
    """`text` with every column of a Markdown table dropped whose cells are
    all "n/a": the contenders a run left out (a run with --only, or the
    Windows run, which has no peers)."""
    lines = text.split("\n")
    out, i = [], 0
    while i < len(lines):
        if not lines[i].startswith("|"):
            out.append(lines[i])
            i += 1
            continue
        j = i
        while j < len(lines) and lines[j].startswith("|"):
            j += 1
        rows = [line.strip()[1:-1].split("|") for line in lines[i:j]]
        keep = [k for k in range(len(rows[0]))
                if len(rows) < 3 or any(row[k].strip() not in ("n/a", "n/a (n/a)") for row in rows[2:])]
        out += ["|" + "|".join(row[k] for k in keep) + "|" for row in rows]
        i = j
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", required=True)
    parser.add_argument("--reps", type=int, default=3)
    parser.add_argument("--reads", type=int, default=30)
    parser.add_argument("--writes", type=int, default=30)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--retries", type=int, default=2, help="times a noisy cell is measured again")
    parser.add_argument("--only", default=",".join(READERS + ["write_" + w for w in WRITERS]))
    parser.add_argument("--header", default="")
    parser.add_argument("--raw", help="where to keep every process's JSON line")
    parser.add_argument("--baseline", help="zelbas_bench of an earlier build: its ReadFile measured beside")
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    args.only = set(args.only.split(","))

    files = args.files
    sizes = {os.path.basename(f): os.path.getsize(f) for f in files}
    names = [os.path.basename(f) for f in files]
    readers = READERS + [BEFORE] if args.baseline else READERS
    runs = [("read", who, f) for f in files for who in readers if who in args.only or who == BEFORE] + \
           [("write", who, f) for f in files for who in WRITERS if "write_" + who in args.only]
    results, failures = run_processes(args, runs, 0)
    # A cell whose repetitions disagree was disturbed (another process, the
    # host): measure all its repetitions again, a few times at most. What is
    # printed comes from one set of repetitions that agree, or the run fails.
    remeasured = []
    for attempt in range(1, args.retries + 1):
        noisy = {key for spread, key, _, _ in Cells(results, args.reads).spreads() if spread > SPREAD_LIMIT}
        if not noisy:
            break
        again = [run for run in runs if (run[0], run[1], os.path.basename(run[2])) in noisy]
        remeasured += [" ".join(key) for key in sorted(noisy) if " ".join(key) not in remeasured]
        results = [r for r in results if (r["kind"], r["who"], r["file"]) not in noisy]
        more, failed = run_processes(args, again, attempt)
        results += more
        failures += failed
    if args.raw:
        with open(args.raw, "w") as out:
            for r in results:
                out.write(json.dumps(r) + "\n")
    c = Cells(results, args.reads)
    R = lambda who, name, measure="steady": c.get("read", who, name, measure)  # noqa: E731
    W = lambda who, name: c.get("write", who, name, "steady")  # noqa: E731

    def extra(name):
        """The kept layout's peak above the default read's, per byte of input."""
        keep, plain = R("zel_file_keep", name, "peak"), R("zel_file", name, "peak")
        if keep is None or plain is None:
            return None
        return (keep - plain) * 1048576 / sizes[name]

    # The tables are printed once whole, without the columns of contenders
    # left out.
    stdout, sys.stdout = sys.stdout, io.StringIO()
    with open("/proc/loadavg") as f:
        print(f"{args.header}, {f.read().split()[0]} at the end.\n")
    steady_reads = f"reads 10–{args.reads}" if args.reads >= 10 else f"read {args.reads}"
    print(f"**Reading, steady state** (MB/s of input: median of {steady_reads} in one process, each tree "
          f"freed before the next read; ÷ = ratio of speeds)\n")
    print("| file | MB | raw Expat, chunks | ReadFile | ÷ Expat | raw Expat, whole | ReadString | ÷ Expat "
          "| pugixml load_file | pugixml load_buffer | tinyxml2 LoadFile | libxml2 xmlReadFile "
          "| ReadFile ÷ pugixml |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for n in names:
        s = sizes[n]
        ec, zf, ew, zs = R("expat_chunked", n), R("zel_file", n), R("expat_whole", n), R("zel_string", n)
        pf, pb = R("pugixml_file", n), R("pugixml_buffer", n)
        print(f"| {n} | {s / 1e6:.1f} | {mbps(s, ec)} | {mbps(s, zf)} | {ratio(ec, zf, True)} | {mbps(s, ew)} "
              f"| {mbps(s, zs)} | {ratio(ew, zs, True)} | {mbps(s, pf)} | {mbps(s, pb)} "
              f"| {mbps(s, R('tinyxml2', n))} | {mbps(s, R('libxml2', n))} | {ratio(pf, zf)} |")

    print("\n**ReadFile with whole texts, with the layout kept, and before** (steady, MB/s of input as above; "
          "÷ = ratio of speeds to the default `ReadFile`; extra: the kept layout's peak memory above the "
          "default read's, in bytes per byte of input; before: the `--baseline` build, same run)\n")
    print("| file | ReadFile | whole texts | ÷ ReadFile | layout kept | ÷ ReadFile | extra | ReadFile before "
          "| ReadFile ÷ before |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    for n in names:
        s = sizes[n]
        zf, zw, zk, zb = R("zel_file", n), R("zel_file_whole", n), R("zel_file_keep", n), R(BEFORE, n)
        print(f"| {n} | {mbps(s, zf)} | {mbps(s, zw)} | {ratio(zf, zw, True)} | {mbps(s, zk)} "
              f"| {ratio(zf, zk, True)} | {fmt(extra(n), 2)} | {mbps(s, zb)} | {ratio(zb, zf, True)} |")

    print("\n**Reading, cold** (MB/s of input: the first read in a fresh process, the file in the page cache)\n")
    print("| file | raw Expat, chunks | ReadFile | ÷ Expat | raw Expat, whole | ReadString | ÷ Expat "
          "| pugixml load_file | pugixml load_buffer | tinyxml2 LoadFile | libxml2 xmlReadFile "
          "| ReadFile ÷ pugixml |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for n in names:
        s = sizes[n]
        ec, zf = R("expat_chunked", n, "cold"), R("zel_file", n, "cold")
        ew, zs = R("expat_whole", n, "cold"), R("zel_string", n, "cold")
        pf = R("pugixml_file", n, "cold")
        print(f"| {n} | {mbps(s, ec)} | {mbps(s, zf)} | {ratio(ec, zf, True)} | {mbps(s, ew)} | {mbps(s, zs)} "
              f"| {ratio(ew, zs, True)} | {mbps(s, pf)} | {mbps(s, R('pugixml_buffer', n, 'cold'))} "
              f"| {mbps(s, R('tinyxml2', n, 'cold'))} | {mbps(s, R('libxml2', n, 'cold'))} | {ratio(pf, zf)} |")

    late = f"reads {args.reads - 4}–{args.reads}"
    print(f"\n**Drift in one process** (time of {late} ÷ time of reads 3–7, medians; 1.00 = none)\n")
    print("| file | raw Expat, chunks | ReadFile | ReadString | pugixml load_file | tinyxml2 | libxml2 |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for n in names:
        cells = [fmt(R(w, n, "drift"), 2) for w in ("expat_chunked", "zel_file", "zel_string", "pugixml_file",
                                                     "tinyxml2", "libxml2")]
        print(f"| {n} | " + " | ".join(cells) + " |")

    steady_writes = f"writes 10–{args.writes}" if args.writes >= 10 else f"write {args.writes}"
    print(f"\n**Writing** (ms per document: the same input read once, then rendered to a fresh string; median "
          f"of {steady_writes}; raw Expat does not write)\n")
    print("| file | WriteString | pugixml save | tinyxml2 XMLPrinter | pugixml ÷ WriteString "
          "| tinyxml2 ÷ WriteString | MB written: ours, pugixml, tinyxml2 |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for n in names:
        z, p, t = W("zel", n), W("pugixml", n), W("tinyxml2", n)
        written = ", ".join(f"{c.bytes[('write', w, n)] / 1e6:.1f}" if ('write', w, n) in c.bytes else "n/a"
                            for w in WRITERS)
        print(f"| {n} | {fmt(z, 2)} | {fmt(p, 2)} | {fmt(t, 2)} | {ratio(p, z, True)} | {ratio(t, z)} "
              f"| {written} |")

    print("\n**Peak memory of one read** (MiB above the process just before its first read)\n")
    print("| file | raw Expat, chunks | ReadFile | ReadString | pugixml load_file | tinyxml2 LoadFile "
          "| libxml2 xmlReadFile | ReadFile ÷ tinyxml2 | ReadFile ÷ pugixml |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|")
    for n in names:
        m = {w: R(w, n, "peak") for w in READERS}
        print(f"| {n} | {fmt(m['expat_chunked'])} | {fmt(m['zel_file'])} | {fmt(m['zel_string'])} "
              f"| {fmt(m['pugixml_file'])} | {fmt(m['tinyxml2'])} | {fmt(m['libxml2'])} "
              f"| {ratio(m['zel_file'], m['tinyxml2'], True)} | {ratio(m['zel_file'], m['pugixml_file'])} |")

    print("\n**Page faults per read** (steady read; the cold read in parentheses)\n")
    print("| file | raw Expat, chunks | ReadFile | ReadString | pugixml load_file | tinyxml2 LoadFile "
          "| libxml2 xmlReadFile |")
    print("|---|---:|---:|---:|---:|---:|---:|")
    for n in names:
        cells = [f"{fmt(R(w, n, 'steady_faults'), 0)} ({fmt(R(w, n, 'cold_faults'), 0)})"
                 for w in ("expat_chunked", "zel_file", "zel_string", "pugixml_file", "tinyxml2", "libxml2")]
        print(f"| {n} | " + " | ".join(cells) + " |")

    # The targets, each as the range over the files.
    def span(values):
        values = [v for v in values if v is not None]
        return (min(values), max(values)) if values else (None, None)

    def speed(a, b):
        return a / b if a and b else None

    text = [n for n in names if n.startswith("text-heavy")]
    other = [n for n in names if n not in text]
    rows = [
        ("`ReadFile` steady ÷ raw Expat chunked", span(speed(R("expat_chunked", n), R("zel_file", n))
                                                        for n in other),
         ">= 0.75", lambda lo, hi: lo >= 0.75),
        ("the same, text-heavy file", span(speed(R("expat_chunked", n), R("zel_file", n)) for n in text),
         ">= 0.85", lambda lo, hi: lo >= 0.85),
        ("`ReadString` steady ÷ raw Expat whole", span(speed(R("expat_whole", n), R("zel_string", n))
                                                        for n in names), ">= 0.70", lambda lo, hi: lo >= 0.70),
        ("`ReadFile` cold ÷ raw Expat cold", span(speed(R("expat_chunked", n, "cold"), R("zel_file", n, "cold"))
                                                   for n in names), ">= 0.60", lambda lo, hi: lo >= 0.60),
        (f"`ReadFile` {late} ÷ reads 3–7", span(R("zel_file", n, "drift") for n in names), "<= 1.10",
         lambda lo, hi: hi <= 1.10),
        ("pugixml `save` time ÷ `WriteString` time", span(speed(W("pugixml", n), W("zel", n)) for n in names),
         ">= 1.0", lambda lo, hi: lo >= 1.0),
        ("`ReadFile` steady ÷ the `--baseline` build's", span(speed(R(BEFORE, n), R("zel_file", n))
                                                            for n in names), ">= 0.97", lambda lo, hi: lo >= 0.97),
        ("`ReadFile` whole texts ÷ default, steady", span(speed(R("zel_file", n), R("zel_file_whole", n))
                                                         for n in names), "(its cost)", None),
        ("`ReadFile` layout kept: time ÷ default, steady", span(speed(R("zel_file_keep", n), R("zel_file", n))
                                                               for n in names), "<= 1.5", lambda lo, hi: hi <= 1.5),
        ("`ReadFile` layout kept: extra peak ÷ input size", span(extra(n) for n in names), "<= 1.0",
         lambda lo, hi: hi <= 1.0),
        ("peak memory of one read ÷ tinyxml2", span(speed(R("zel_file", n, "peak"), R("tinyxml2", n, "peak"))
                                                     for n in names), "<= 1.0", lambda lo, hi: hi <= 1.0),
    ]
    print("\n**Targets** (ratios over the files of this run)\n")
    print("| measure | this run | target | met |")
    print("|---|---:|---:|---|")
    for label, (lo, hi), target, met in rows:
        shown = "n/a" if lo is None else (f"{lo:.2f}" if abs(hi - lo) < 0.005 else f"{lo:.2f}–{hi:.2f}")
        verdict = "n/a" if lo is None else "—" if met is None else "yes" if met(lo, hi) else "no"
        print(f"| {label} | {shown} | {target} | {verdict} |")

    # Checks. Sane output is checked in every run; the timing checks stop a
    # full run only, as a quick run is too short to be steady on a busy machine.
    problems = list(failures)
    for n in names:
        counts = c.elements.get(n, {})
        read = {count for (kind, _), count in counts.items() if kind == "read"}
        if len(read) != 1 or 0 in read:
            problems.append(f"{n}: the readers disagree on the number of elements, or found none: {counts}")
        for (kind, who), count in counts.items():
            if kind == "write" and count < max(read):
                problems.append(f"{n}: {who} wrote {count} start tags for {max(read)} elements")
    timing = []
    for spread, key, measure, values in c.spreads():
        if spread > SPREAD_LIMIT:
            timing.append(f"{measure} {' '.join(key)}: repetitions differ by {(spread - 1) * 100:.0f}% "
                          f"({', '.join(f'{v:.1f}' for v in values)})")
    for n in names:
        for measure in ("steady", "cold"):
            for peer, floor in (("pugixml_file", "expat_chunked"), ("pugixml_buffer", "expat_whole")):
                p, e = R(peer, n, measure), R(floor, n, measure)
                if p and e and p > e:
                    timing.append(f"{measure} {n}: pugixml ({peer}, {p:.1f} ms) reads slower than raw Expat "
                                  f"({floor}, {e:.1f} ms): pugixml's parser is several times faster than "
                                  "Expat, so the machine or the measurement is wrong")
    spreads = c.spreads()
    if spreads:
        spread, key, measure, _ = spreads[0]
        print(f"\nLargest difference between repetitions of a cell: {(spread - 1) * 100:.0f}% "
              f"({measure} {' '.join(key)}).")
    if remeasured:
        print(f"Measured again, as their repetitions differed by more than {(SPREAD_LIMIT - 1) * 100:.0f}%: "
              f"{len(remeasured)} cell(s): {', '.join(remeasured)}.")
    tables, sys.stdout = sys.stdout.getvalue(), stdout
    print(without_empty_columns(tables), end="")
    if args.quick:
        for t in timing:
            print(f"warning (not checked in a quick run): {t}", file=sys.stderr)
    else:
        problems += timing
    if problems:
        print("\n**CHECKS FAILED: these figures are not to be published.**\n")
        for p in problems:
            print(f"- {p}")
            print(f"bench: check failed: {p}", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
