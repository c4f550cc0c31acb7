#!/usr/bin/env python3
"""Whole-process cost of `bicliques --count` as a user meets it.

For every input of bench/peers.tsv (and, with --all, every other matrix of the
shared data folder), runs the whole command pinned to one core (taskset -c 0),
`--repeat` times, and prints one Markdown table: the count, the median CPU
seconds (user + sys, from the kernel's account of `taskset -c 0 bicliques
...` started straight from this script), the peak resident memory (one more
run, under /usr/bin/time), and beside them the peer figures of bench/peers.tsv. With
--all it also runs the random ladder of bench/run.sh.

  python3 bench/cpu.py [--repeat N] [--engine E] [--threads N] [--all] [--only TEXT]
"""
import argparse
import os
import re
import signal
import statistics
import subprocess
import sys
import threading
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
EXE = ROOT / "build/release/cli/bicliques"
OUT = ROOT / "bench/out"


def run_child(command, timeout):
    """Runs `command`, its output into OUT/stdout.txt; returns (rusage, output),
    or None when it fails or runs out of time. The rusage is the kernel's
    account of the command (wait4)."""
    with open(OUT / "stdout.txt", "wb") as out:
        proc = subprocess.Popen(command, stdout=out, stderr=subprocess.DEVNULL)
        # Reap the child here so that its own rusage is read.
        timer = threading.Timer(timeout, lambda: os.kill(proc.pid, signal.SIGKILL))
        timer.start()
        _, status, usage = os.wait4(proc.pid, 0)
        timer.cancel()
    if os.waitstatus_to_exitcode(status) != 0:
        return None
    return usage, (OUT / "stdout.txt").read_text().strip()


def cpu_seconds(command, timeout):
    """User + sys seconds of `command`, started straight from here; None on failure."""
    result = run_child(command, timeout)
    return None if result is None else result[0].ru_utime + result[0].ru_stime


def peak_and_output(command, timeout):
    """(peak resident MiB, output) of `command`, as /usr/bin/time reads the peak:
    the command's own rusage would count this script's pages from before its
    exec. None on failure."""
    memory = OUT / "peak.txt"
    result = run_child(["/usr/bin/time", "-f", "%M", "-o", str(memory), *command], timeout)
    if result is None:
        return None
    return int(memory.read_text().split()[-1]) / 1024, result[1]


def inputs(data, all_files):
    rows = []
    for line in (ROOT / "bench/peers.tsv").read_text().splitlines():
        if not line or line.startswith("#"):
            continue
        name, file, options, cpu, peak = line.split("\t")
        rows.append((name, file, options.split(), float(cpu), float(peak)))
    if all_files:
        known = {r[1] for r in rows}
        # The random ladder of bench/run.sh: lines such as "rand-50x50-50 50 50 50".
        ladder = re.findall(r'"rand-\S+ (\d+) (\d+) ([\d.]+)"', (ROOT / "bench/run.sh").read_text())
        for shape in ladder:
            file = "gen:" + " ".join(shape)
            if file not in known:
                rows.append((f"rand-{shape[0]}x{shape[1]}-{shape[2]}", file, [], None, None))
                known.add(file)
        for path in sorted((data).glob("*.txt")) + sorted((data / "big").glob("*.dat")):
            rel = "data/" + str(path.relative_to(data))
            if rel not in known and "SOURCES" not in rel:
                rows.append((path.stem, rel, ["--from", "fimi"] if path.suffix == ".dat" else [], None, None))
    return rows


def resolve(file, data):
    if file.startswith("gen:"):
        s, t, d = file[4:].split()
        path = OUT / f"rand-{s}x{t}-{d}.txt"
        if not path.exists():
            path.write_bytes(subprocess.run([EXE, "generate", s, t, d, "--seed", "1"], check=True,
                                            capture_output=True).stdout)
        return path
    return data / file[len("data/"):]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--engine", default="closure")
    parser.add_argument("--threads", type=int, default=1)
    parser.add_argument("--timeout", type=float, default=120)
    parser.add_argument("--data", type=Path, default=ROOT.parent / "shared/data")
    parser.add_argument("--all", action="store_true", help="also every other file of the data folder")
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    OUT.mkdir(parents=True, exist_ok=True)
    print(f"`bicliques --count --engine {args.engine} --threads {args.threads}` pinned to one core "
          f"(taskset -c 0); median of {args.repeat} runs; CPU = user + sys of the whole process")
    print()
    print("| input | results | CPU s | peak MiB | peer CPU s | peer peak MiB | CPU vs peer |")
    print("|---|---:|---:|---:|---:|---:|---|")
    for name, file, options, peer_cpu, peer_peak in inputs(args.data, args.all):
        if args.only not in name:
            continue
        path = resolve(file, args.data)
        if not path.exists():
            continue
        command = ["taskset", "-c", "0", str(EXE), "--count", "--engine", args.engine, "--threads",
                   str(args.threads), *options, str(path)]
        measured = peak_and_output(command, args.timeout)
        runs = [cpu_seconds(command, args.timeout) for _ in range(args.repeat if measured else 0)]
        if measured is None or None in runs:
            print(f"| {name} | failed or over {args.timeout:.0f} s | | | {peer_cpu or ''} | {peer_peak or ''} | |")
            sys.stdout.flush()
            continue
        peak, count = measured
        cpu = statistics.median(runs)
        verdict = ""
        if peer_cpu is not None:
            verdict = "ahead" if cpu < peer_cpu else "**behind**"
            verdict += f" ({cpu / peer_cpu:.2f}x)"
        print(f"| {name} | {count} | {cpu:.3f} | {peak:.1f} | {peer_cpu if peer_cpu is not None else ''} | "
              f"{peer_peak if peer_peak is not None else ''} | {verdict} |")
        sys.stdout.flush()


if __name__ == "__main__":
    main()
