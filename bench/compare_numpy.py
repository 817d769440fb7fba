#!/usr/bin/env python3
"""numpy's best practice on one benchmark case (see bench/cases.h).

    compare_numpy.py CASE REPEAT

Basis matrices B_v (points x terms) with whole-array operations, then one
np.dot(..., out=) per variable, the last variable first, on buffers that are
allocated once: the contraction of axis 0 of a C-ordered array is a single
GEMM with a transposed operand (no copy) that moves the new axis to the end,
so after all variables the array is (P3, P2, P1, P0) in C order, the layout
of the engine's results. The thread count is OpenBLAS's (OPENBLAS_NUM_THREADS).

Prints one line: case=... cold_s=... warm_s=... warm_basis_s=... warm_transform_s=... warm_cpu_s=...
warm_min_s=... (cold: the first run, buffers allocated and first touched
inside it; warm: the median of REPEAT further runs on the same buffers;
warm_cpu_s the processor time of a warm run, all threads together;
warm_min_s the fastest warm run.)
"""
import math
import statistics
import sys
import time

import numpy as np

TWO_PI = 8 * math.atan(1.0)

# (power, terms, points, der, lo, hi, center, period) per variable.
CASES = {
    "S1": [(True, 200, 1000000, 1, -1, 1, 0, TWO_PI)],
    "S1T": [(False, 200, 1000000, 1, 0, TWO_PI, 0, TWO_PI)],
    "S2": [(False, 100, 6000, 0, 0, TWO_PI, 0, TWO_PI), (True, 100, 6000, 1, -1, 1, 0, TWO_PI)],
    "S3": [(True, 60, 400, 0, -1, 1, 0, 1), (False, 60, 400, 1, 0, 1, 0, 1), (True, 60, 400, 2, 0, 2, 1, 1)],
    "S4": [(False, 20, 100, 0, 0, TWO_PI, 0, TWO_PI), (True, 20, 100, 0, -1, 1, 0, TWO_PI),
           (False, 20, 100, 2, 0, TWO_PI, 0, TWO_PI), (True, 20, 100, 1, -1, 1, 0, TWO_PI)],
}


def power_basis(u, terms, d, out):
    """out[k] = k!/(k-d)! * u^(k-d) (rows are terms), by repeated products."""
    out[:d] = 0.0
    p = np.ones_like(u)
    for k in range(d, terms):
        f = 1.0
        for i in range(k - d + 1, k + 1):
            f *= i
        np.multiply(p, f, out=out[k])
        p *= u


def trig_basis(u, terms, d, period, out, scratch):
    """out[k]: constant, sin t, cos t, sin 2t, ... differentiated d times."""
    w = math.atan(1.0) * 8.0 / period
    out[0] = 1.0 if d == 0 else 0.0
    t = w * u
    for m in range(1, (terms - 1) // 2 + 2):
        k = 2 * m - 1
        if k >= terms:
            break
        np.multiply(t, float(m), out=scratch)
        scale = (m * w) ** d
        shift = d % 4  # the d-th derivative of sin is sin(x + d * pi / 2)
        fs, fc = [(np.sin, np.cos), (np.cos, np.sin), (np.sin, np.cos), (np.cos, np.sin)][shift]
        ss = [1.0, 1.0, -1.0, -1.0][shift]
        sc = [1.0, -1.0, -1.0, 1.0][shift]
        fs(scratch, out=out[k])
        out[k] *= scale * ss
        if k + 1 < terms:
            fc(scratch, out=out[k + 1])
            out[k + 1] *= scale * sc


class Case:
    def __init__(self, name):
        self.vars = CASES[name]
        n = len(self.vars)
        self.coef = (1.0 / (1.0 + np.arange(math.prod(v[1] for v in self.vars)) % 97)).reshape(
            [v[1] for v in reversed(self.vars)])  # (T3, T2, T1, T0), k0 fastest
        self.grids = []
        for (_, terms, points, _, lo, hi, center, _) in self.vars:
            step = (hi - lo) / (points - 1)
            self.grids.append(np.arange(points) * step + lo - center)
        self.allocated = False

    def allocate(self):
        # Basis matrices (terms x points) and one output buffer per variable.
        self.basis = [np.empty((v[1], v[2])) for v in self.vars]
        self.scratch = np.empty(max(v[2] for v in self.vars))
        shape = [v[1] for v in reversed(self.vars)]
        self.outs = []
        for v in reversed(range(len(self.vars))):
            rest = math.prod(shape[1:])
            self.outs.append(np.empty((rest, self.vars[v][2])))
            shape = shape[1:] + [self.vars[v][2]]
        self.allocated = True

    def run(self):
        if not self.allocated:
            self.allocate()
        c0 = time.process_time()
        t0 = time.perf_counter()
        for v, (power, terms, points, d, _, _, _, period) in enumerate(self.vars):
            u = self.grids[v]
            if power:
                power_basis(u, terms, d, self.basis[v])
            else:
                trig_basis(u, terms, d, period, self.basis[v], self.scratch[:points])
        t1 = time.perf_counter()
        x = self.coef
        for i, v in enumerate(reversed(range(len(self.vars)))):
            terms = self.vars[v][1]
            a = x.reshape(terms, -1).T  # (rest, T), F-ordered: BLAS takes it transposed
            np.dot(a, self.basis[v], out=self.outs[i])
            x = self.outs[i]
        t2 = time.perf_counter()
        return t2 - t0, t1 - t0, t2 - t1, time.process_time() - c0


def main():
    name, repeat = sys.argv[1], int(sys.argv[2])
    case = Case(name)
    t0 = time.perf_counter()
    case.allocate()
    case.run()
    cold = time.perf_counter() - t0
    runs = [case.run() for _ in range(repeat)]
    print("case=%s cold_s=%.4f warm_s=%.4f warm_basis_s=%.4f warm_transform_s=%.4f warm_cpu_s=%.4f warm_min_s=%.4f "
          "numpy=%s" % (
              name, cold, statistics.median(r[0] for r in runs), statistics.median(r[1] for r in runs),
              statistics.median(r[2] for r in runs), statistics.median(r[3] for r in runs), min(r[0] for r in runs),
              np.__version__))


if __name__ == "__main__":
    main()
