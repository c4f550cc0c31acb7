#!/usr/bin/env python3
"""bicliques-mpi against bicliques: one table of cases, each run under 2, 3
or 4 processes in turn and some also under 1 (a launch costs about a second,
so every process count gets a share of the table rather than all of it),
with one root branch dealt at a time so that branches really move between
processes; the cases with --give-always also hand subtrees between
processes at every node they can, on the closure and sparse engines. Sorted
output and counts must be the very bytes of bicliques; unordered lines the
same lines in some order. Then a process killed in mid-run must end the job
with a non-zero status, leave -o as it was and nothing in TMPDIR.

Usage: test_cluster.py MPIEXEC BICLIQUES_MPI BICLIQUES
"""
import os
import random
import re
import signal
import subprocess
import sys
import tempfile
import time

MPIEXEC, CLUSTER, SINGLE = sys.argv[1:4]
LAUNCH = [MPIEXEC, "--bind-to", "none", "--oversubscribe", "--allow-run-as-root"]
# Open MPI keeps allocations until the process ends, which the leak checker of
# the sanitizer build would report as leaks of the program; the other checks
# stay on.
os.environ["ASAN_OPTIONS"] = "detect_leaks=0:abort_on_error=1"

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what, flush=True)


def random_matrix(rng, rows, columns, density):
    """0/1 text; about one row in ten all zero, one in ten a copy of an earlier one."""
    lines = []
    for r in range(rows):
        kind = rng.randrange(10)
        if kind == 0:
            lines.append("0" * columns)
        elif kind == 1 and lines:
            lines.append(rng.choice(lines))
        else:
            lines.append("".join("1" if rng.random() < density else "0" for _ in range(columns)))
    return "".join(line + "\n" for line in lines)


def named_edges(rng, sources, targets, edges):
    pairs = {(rng.randrange(sources), rng.randrange(targets)) for _ in range(edges)}
    return "".join(f"s{s} t{t}\n" for s, t in sorted(pairs))


def main():
    work = tempfile.mkdtemp(prefix="cluster-test-")
    sort_dir = os.path.join(work, "tmp")
    os.mkdir(sort_dir)
    os.environ["TMPDIR"] = sort_dir
    rng = random.Random(17)
    inputs = {
        "square.txt": random_matrix(rng, 40, 30, 0.3),
        "wide.txt": random_matrix(rng, 6, 200, 0.4),
        "tall.txt": random_matrix(rng, 300, 8, 0.5),
        "sparse.txt": random_matrix(rng, 200, 300, 0.03),
        "medium.txt": random_matrix(rng, 60, 60, 0.2),
        "empty.txt": "",
        "row.txt": random_matrix(rng, 1, 50, 0.5),
        "column.txt": random_matrix(rng, 50, 1, 0.5),
        "named.edges": named_edges(rng, 40, 60, 300),
    }
    for name, text in inputs.items():
        with open(os.path.join(work, name), "w") as f:
            f.write(text)

    # (input, options); every case runs with --chunk 1 and two threads per process.
    cases = [
        ("square.txt", ["--engine", "closure"]),
        ("square.txt", ["--engine", "sparse", "--order", "none"]),
        ("wide.txt", ["--min-sources", "2"]),
        ("wide.txt", ["--engine", "sparse", "--max-targets", "30", "--format", "jsonl"]),
        ("tall.txt", ["--engine", "sparse", "--count"]),
        ("tall.txt", ["--engine", "closure", "--format", "jsonl", "--order", "none"]),
        ("sparse.txt", ["--engine", "sparse", "--max-targets", "3"]),
        ("sparse.txt", ["--format", "jsonl", "--order", "none"]),
        ("medium.txt", ["--engine", "closure", "--min-targets", "2", "--max-sources", "10", "--memory", "16K"]),
        ("medium.txt", ["--engine", "closure", "--count", "--min-sources", "3"]),
        ("empty.txt", ["--engine", "closure"]),
        ("row.txt", ["--engine", "sparse"]),
        ("column.txt", ["--engine", "closure", "--order", "none"]),
        ("named.edges", ["--format", "jsonl"]),
        ("named.edges", ["--engine", "sparse", "--count"]),
        ("square.txt", ["--engine", "sparse", "--give-always"]),
        ("medium.txt", ["--engine", "sparse", "--give-always", "--order", "none", "--min-sources", "2"]),
        ("wide.txt", ["--engine", "sparse", "--give-always", "--format", "jsonl"]),
        ("tall.txt", ["--engine", "sparse", "--give-always", "--count"]),
        ("sparse.txt", ["--engine", "sparse", "--give-always", "--max-targets", "3", "--memory", "16K"]),
        ("named.edges", ["--engine", "sparse", "--give-always", "--format", "jsonl", "--order", "none"]),
        ("medium.txt", ["--engine", "closure", "--give-always", "--min-targets", "2"]),
        ("square.txt", ["--engine", "closure", "--give-always", "--order", "none"]),
        ("tall.txt", ["--engine", "closure", "--give-always", "--count", "--max-sources", "40"]),
        ("wide.txt", ["--engine", "closure", "--give-always", "--format", "jsonl"]),
    ]
    for index, (name, options) in enumerate(cases):
        path = os.path.join(work, name)
        single = [option for option in options if option != "--give-always"]
        expected = subprocess.run([SINGLE, "--threads", "1", *single, path], capture_output=True, check=True)
        for processes in [2 + index % 3] + ([1] if index % 5 == 0 else []):
            what = f"-np {processes} {name} {' '.join(options)}"
            out = os.path.join(work, "out.txt")
            got = subprocess.run(
                [*LAUNCH, "-np", str(processes), CLUSTER, "--chunk", "1", "--threads", "2", "--stats", *options,
                 path, "-o", out], capture_output=True)
            check(got.returncode == 0, f"{what}: status {got.returncode}: {got.stderr.decode()[-2000:]}")
            moved = sum(int(n) for n in re.findall(r"subtrees given (\d+)", got.stderr.decode()))
            if "--give-always" in options and processes > 1:
                check(moved > 0, f"{what}: no subtree moved")
            elif "--give-always" not in options:
                check(moved == 0, f"{what}: {moved} subtrees moved unasked")
            with open(out, "rb") as f:
                result = f.read()
            if "none" in options:
                check(sorted(result.splitlines()) == sorted(expected.stdout.splitlines()),
                      f"{what}: other lines than bicliques")
            else:
                check(result == expected.stdout, f"{what}: other bytes than bicliques")
            os.remove(out)
    check(os.listdir(sort_dir) == [], "files left in TMPDIR")

    # A long run, one of whose processes is killed: the job ends soon, -o
    # stays as it was and TMPDIR stays empty.
    long_input = os.path.join(work, "long.txt")
    with open(long_input, "w") as f:
        subprocess.run([SINGLE, "generate", "200", "200", "40"], stdout=f, check=True)
    out = os.path.join(work, "kept.txt")
    with open(out, "w") as f:
        f.write("as it was\n")
    job = subprocess.Popen([*LAUNCH, "-np", "3", CLUSTER, "--threads", "1", long_input, "-o", out],
                           stderr=subprocess.DEVNULL)
    victim = None
    deadline = time.monotonic() + 30
    while victim is None and time.monotonic() < deadline:
        time.sleep(0.2)
        for pid in os.listdir("/proc"):
            try:
                with open(f"/proc/{pid}/environ", "rb") as f:
                    environ = f.read().split(b"\0")
                with open(f"/proc/{pid}/status") as f:
                    parent = next(line for line in f if line.startswith("PPid:")).split()[1]
            except (OSError, StopIteration, ValueError):
                continue
            if parent == str(job.pid) and b"OMPI_COMM_WORLD_RANK=1" in environ:
                victim = int(pid)
    check(victim is not None, "rank 1 of the long run not found")
    if victim is not None:
        time.sleep(1.0)  # well into the search
        os.kill(victim, signal.SIGKILL)
    killed = time.monotonic()
    try:
        status = job.wait(timeout=20)
        check(time.monotonic() - killed < 10, "the job took 10 s or more to end after a process was killed")
    except subprocess.TimeoutExpired:
        job.kill()
        status = job.wait()
        check(False, "the job went on after a process was killed")
    check(status != 0, "the job with a killed process ended with status 0")
    with open(out) as f:
        check(f.read() == "as it was\n", "-o changed by the job with a killed process")
    check(os.listdir(sort_dir) == [], "files left in TMPDIR by the job with a killed process")
    check(sorted(os.listdir(work)) == sorted([*inputs, "tmp", "long.txt", "kept.txt"]),
          f"stray files beside -o: {sorted(os.listdir(work))}")

    if failures:
        print(f"{len(failures)} failures", flush=True)
        return 1
    subprocess.run(["rm", "-rf", work], check=True)
    print(f"{len(cases)} cases, killed process: all well")
    return 0


if __name__ == "__main__":
    sys.exit(main())
