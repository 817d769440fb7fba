#!/usr/bin/python3
"""The S1T basis (10^6 points, 100 multiples: 10^8 sines and 10^8 cosines)
through numpy's best practice and through the engine, in one run, at 1 and 2
threads, with the ratios (numpy time / engine time).

    /usr/bin/python3 bench/compare_sincos.py [--build DIR] [--reach A]

numpy: the angles of all multiples in one array (np.multiply.outer), then
np.sin and np.cos into arrays allocated once; with 2 threads each thread
takes half of the rows (numpy releases the GIL in its loops). The engine:
bench_sincos (the kernel sets this processor runs, and the former way: one
C library sincos per value). Each side's best of 3.
"""
import argparse
import os
import re
import subprocess
import threading
import time

import numpy as np

POINTS, MULTIPLES = 1_000_000, 100


def numpy_seconds(angles, threads):
    s = np.empty_like(angles)
    c = np.empty_like(angles)
    parts = np.array_split(np.arange(angles.shape[0]), threads)

    def work(rows):
        lo, hi = rows[0], rows[-1] + 1
        np.sin(angles[lo:hi], out=s[lo:hi])
        np.cos(angles[lo:hi], out=c[lo:hi])

    best = 1e30
    for _ in range(3):
        start = time.perf_counter()
        pool = [threading.Thread(target=work, args=(p,)) for p in parts]
        for t in pool:
            t.start()
        for t in pool:
            t.join()
        best = min(best, time.perf_counter() - start)
    return best


def engine_seconds(build, threads, reach):
    args = [os.path.join(build, "bench", "bench_sincos"), "--threads", str(threads)]
    if reach:
        args += ["--reach", str(reach)]
    out = subprocess.run(args, check=True, capture_output=True, text=True).stdout
    found = {}
    for line in out.splitlines():
        m = re.match(r"(\w+)\s+([\d.]+) s .*fallback share ([\d.e+-]+)", line)
        if m:
            found[m.group(1)] = (float(m.group(2)), float(m.group(3)))
    return found


def main():
    p = argparse.ArgumentParser()
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    p.add_argument("--build", default=os.path.join(root, "build"))
    p.add_argument("--reach", type=float, default=0.0, help="largest angle (default: the case's, 628)")
    a = p.parse_args()
    two_pi = 2 * np.pi
    reach = a.reach or two_pi * MULTIPLES
    t = np.linspace(0, two_pi, POINTS) * (reach / (two_pi * MULTIPLES))
    angles = np.multiply.outer(t, np.arange(1, MULTIPLES + 1, dtype=float))
    print(f"numpy {np.__version__}; largest angle {reach:.3g}; {os.uname().machine}")
    for threads in (1, 2):
        npy = numpy_seconds(angles, threads)
        eng = engine_seconds(a.build, threads, a.reach)
        line = f"threads {threads}: numpy {npy:.4f} s"
        for name, (sec, share) in eng.items():
            line += f" | {name} {sec:.4f} s (numpy/{name} {npy / sec:.2f}"
            line += f", fallback {share:.1e})" if name != "libm" else ")"
        print(line)
        if "libm" in eng:
            best = min(v[0] for k, v in eng.items() if k != "libm")
            print(f"  engine's best against one sincos per value: {eng['libm'][0] / best:.2f}x")


if __name__ == "__main__":
    main()
