#!/usr/bin/env python3
"""The cluster face against the command line on one machine.

For each input, the whole job of `bicliques-mpi --count --threads 1` under
`mpirun -np 1` and `-np 2` against `bicliques --count --threads 1` and
`--threads 2` (wall seconds and CPU seconds user + sys of every process, from
/usr/bin/time; median of --repeat runs by wall time); then, oversubscribed,
4 and 8 processes with --stats: the balance (the largest CPU time of a
process over the mean), the messages per result and the subtree tasks
handed between processes at 8.

    python3 bench/cluster.py [--repeat N] [--only TEXT]

Builds nothing: run the release build first (`cmake --build --preset release`).
"""
import argparse
import os
import re
import statistics
import subprocess
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
CLI = os.path.join(ROOT, "build/release/cli/bicliques")
CLUSTER = os.path.join(ROOT, "build/release/mpi/bicliques-mpi")
BIG = os.path.join(ROOT, "../shared/data/big")
# Unbound: on a machine shared with other work a process bound to a busy
# core would get a fraction of it.
LAUNCH = ["mpirun", "--bind-to", "none", "--oversubscribe", "--allow-run-as-root"]


def inputs():
    out = os.path.join(ROOT, "bench/out")
    os.makedirs(out, exist_ok=True)
    square = os.path.join(out, "rand-300x300-20.txt")
    if not os.path.exists(square):
        with open(square, "w") as f:
            subprocess.run([CLI, "generate", "300", "300", "20", "--seed", "1"], stdout=f, check=True)
    return [
        ("retail", [os.path.join(BIG, "orig/joapingut_aia-1718-t5/retail.dat")]),
        ("T10I4D100K", [os.path.join(BIG, "orig/JakeShelley1_Apriori/T10I4D100K.dat")]),
        ("snap_email_euall", [os.path.join(BIG, "snap_email_euall.dat")]),
        ("konect_youtube", [os.path.join(BIG, "konect_youtube.dat")]),
        ("chess --min-sources 1000", [os.path.join(BIG, "fimi_chess.dat"), "--min-sources", "1000"]),
        ("300x300 20 %", [square]),
    ]


def timed(command):
    """(wall s, cpu s, stdout, stderr) of one run, CPU of every process it waited for."""
    run = subprocess.run(["/usr/bin/time", "-f", "@@ %e %U %S", *command], capture_output=True, text=True)
    if run.returncode != 0:
        sys.exit(f"failed: {' '.join(command)}\n{run.stderr}")
    wall, user, system = re.search(r"@@ (\S+) (\S+) (\S+)", run.stderr).groups()
    return float(wall), float(user) + float(system), run.stdout, run.stderr


def median(command, repeat):
    runs = sorted((timed(command) for _ in range(repeat)), key=lambda r: r[0])
    return runs[len(runs) // 2]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--only", default="")
    options = parser.parse_args()
    print("| input | results | 1 thread wall s (CPU) | 2 threads wall s (CPU) | 1 process wall s (CPU) "
          "| 2 processes wall s (CPU) | 2 over 1 process | balance 4 | balance 8 | messages per result 8 "
          "| subtrees moved 8 |")
    print("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for name, arguments in inputs():
        if options.only not in name:
            continue
        cells = []
        counts = set()
        for command in ([CLI, "--count", "--threads", "1", *arguments],
                        [CLI, "--count", "--threads", "2", *arguments],
                        [*LAUNCH, "-np", "1", CLUSTER, "--count", "--threads", "1", *arguments],
                        [*LAUNCH, "-np", "2", CLUSTER, "--count", "--threads", "1", *arguments]):
            wall, cpu, out, _ = median(command, options.repeat)
            counts.add(out.strip())
            cells.append((wall, cpu))
        balances = []
        for processes in (4, 8):
            _, _, out, err = timed([*LAUNCH, "-np", str(processes), CLUSTER, "--count", "--threads", "1",
                                    "--stats", *arguments])
            counts.add(out.strip())
            stats = re.search(r"bicliques (\d+), .* balance (\S+) .* messages (\d+)", err)
            balances.append(stats.group(2))
            per_result = int(stats.group(3)) / max(1, int(stats.group(1)))
            moved = sum(int(n) for n in re.findall(r"subtrees given (\d+)", err))
        if len(counts) != 1:
            sys.exit(f"{name}: the counts differ: {counts}")
        timings = " | ".join(f"{wall:.2f} ({cpu:.2f})" for wall, cpu in cells)
        print(f"| {name} | {counts.pop()} | {timings} | {cells[3][0] / cells[2][0]:.2f} | {balances[0]} "
              f"| {balances[1]} | {per_result:.1e} | {moved} |", flush=True)


if __name__ == "__main__":
    main()
