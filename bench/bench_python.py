#!/usr/bin/env python3
"""tabulor.evaluate against numpy's best practice on S1..S4, in one process.

    PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py [--cases "S1 S2 S3 S4"]
        [--threads N] [--repeat R] [--build DIR]

numpy: bench/compare_numpy.py (basis matrices, one np.dot(..., out=) per
variable on buffers allocated once; cold = the first run, warm = the median
of R further runs). tabulor: tabulor.evaluate on the same series, written
as a series file as bench/compare writes it (cold = the first call, warm =
the median of R further calls; every call hands fresh memory to numpy).
The ratios are numpy's time over tabulor's (above 1: tabulor is faster).

The cost of the Python call: for every call the wall time of
tabulor.evaluate against the engine's own time inside it (Compute, from
allocating the results to the last transform): overhead = median of
(wall - engine) / engine. bench_case (the engine alone, a C++ process) is
run beside it for its cold time, which is the same work as one call.
"""
import argparse
import os
import pathlib
import statistics
import subprocess
import sys
import tempfile
import time

here = pathlib.Path(__file__).resolve().parent
sys.path.insert(0, str(here))
import compare_numpy  # noqa: E402
import tabulor  # noqa: E402
from tabulor import _core  # noqa: E402


def write_series(name, path):
    head = [str(len(compare_numpy.CASES[name]) - 1)]
    n = 1
    for v, (power, terms, points, der, lo, hi, center, period) in enumerate(compare_numpy.CASES[name]):
        head += ["x%d" % v, repr(float(lo)), repr(float(hi)), repr(float(center)), "#TRUE#" if power else "#FALSE#",
                 repr(float(period)), str(terms - 1)]
        n *= terms
    with open(path, "w") as f:
        f.write(",".join(head) + "\n#TRUE#\n")
        f.write("\n".join(repr(1.0 / (1 + i % 97)) for i in range(n)) + "\n")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cases", default="S1 S2 S3 S4")
    ap.add_argument("--threads", type=int, default=None)
    ap.add_argument("--repeat", type=int, default=5)
    ap.add_argument("--build", default=str(here.parent / "build"))
    a = ap.parse_args()
    bench_case = pathlib.Path(a.build) / "bench" / "bench_case"
    print("%-4s | %8s %8s | %8s %8s %8s | %6s %6s | %9s %8s" % (
        "case", "np_cold", "np_warm", "py_cold", "py_warm", "engine", "cold_x", "warm_x", "overhead", "case_cold"))
    with tempfile.TemporaryDirectory() as work:
        for name in a.cases.split():
            path = os.path.join(work, name + ".ser")
            write_series(name, path)
            s = tabulor.read_series(path)
            spec = compare_numpy.CASES[name]
            grids = [(lo, hi, points) for (_, _, points, _, lo, hi, _, _) in spec]
            ders = [v[3] for v in spec]

            case = compare_numpy.Case(name)
            t0 = time.perf_counter()
            case.allocate()
            case.run()
            np_cold = time.perf_counter() - t0
            np_warm = statistics.median(case.run()[0] for _ in range(a.repeat))
            del case

            walls, engines = [], []
            for _ in range(a.repeat + 1):
                t0 = time.perf_counter()
                values = tabulor.evaluate(s, grids, ders, threads=a.threads)
                walls.append(time.perf_counter() - t0)
                del values
                # The engine's own time of an identical call.
                engines.append(_core.evaluate(s, grids, ders, a.threads, None)[1])
            overhead = statistics.median((w - e) / e for w, e in zip(walls[1:], engines[1:]))
            case_cold = float("nan")
            if bench_case.exists():
                cmd = [str(bench_case), name, "--repeat", "1"] + (["--threads", str(a.threads)] if a.threads else [])
                line = subprocess.run(cmd, capture_output=True, text=True).stdout
                case_cold = float(line.split("cold_s=")[1].split()[0])
            py_warm, engine = statistics.median(walls[1:]), statistics.median(engines[1:])
            print("%-4s | %8.4f %8.4f | %8.4f %8.4f %8.4f | %6.2f %6.2f | %8.1f%% %8.4f" % (
                name, np_cold, np_warm, walls[0], py_warm, engine, np_cold / walls[0], np_warm / py_warm,
                100 * overhead, case_cold), flush=True)
    print("seconds; np_* numpy (compare_numpy.py), py_* tabulor.evaluate (wall), engine = Compute's own time in the")
    print("same kind of call; cold_x = np_cold / py_cold, warm_x = np_warm / py_warm; overhead = median of")
    print("(wall - engine) / engine over the calls; case_cold = bench_case's first Compute in a fresh process.")


if __name__ == "__main__":
    main()
