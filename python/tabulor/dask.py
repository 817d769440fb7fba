"""Grids beyond one machine: the evaluation as a dask.array.

Every grid point's value depends only on its coordinates and the
coefficients, so a block of the grid evaluated on its own gives the same bits
as the whole grid. evaluate() returns a dask.array whose blocks are
tabulor.evaluate on the block's grid values; nothing is computed until the
array (or a reduction of it) is computed, and then block by block, on the
workers of whatever Dask scheduler is active:

    import tabulor, tabulor.dask
    from dask.distributed import Client
    client = Client("tcp://scheduler-host:8786")      # or LocalCluster()
    s = tabulor.read_series("examples/four.ser")
    x = tabulor.dask.evaluate(s, grids=[(-1, 1, 2000)] * 4, chunks=(500, 500, 100, 100))
    x.max().compute()                                 # reduced on the workers
    x.to_zarr("values.zarr")                          # or da.store(x, memmap)

Every worker needs this module: the same build of tabulor on its PYTHONPATH.
The series travels to the workers inside the task graph (it pickles).
"""
import itertools

import dask.array as da
import numpy as np
from dask.base import tokenize
from dask.highlevelgraph import HighLevelGraph

import tabulor
from . import _core

__all__ = ["evaluate"]


def _block(series, grids, derivatives, threads):
    # An evenly spaced grid comes as (lower, upper, points, start, stop): its
    # values are made here, the same bits as for the whole grid.
    grids = [_core.even_grid_part(*g) if isinstance(g, tuple) else g for g in grids]
    return tabulor.evaluate(series, grids=grids, derivatives=derivatives, threads=threads)


def evaluate(series, grids=None, derivatives=None, chunks="auto", threads=1):
    """The values of tabulor.evaluate(series, grids, derivatives) as a dask.array.

    series, grids, derivatives  as for tabulor.evaluate; each grid is checked
                 on its own here, but the whole grid may hold more than the
                 2147483647 points, and more memory than one machine has:
                 only each block must fit where it is computed.
    chunks       the block shape, as dask.array takes it: "auto", a number
                 or a block size per axis, or explicit block sizes per axis.
    threads      the engine's threads per block (1: the workers run blocks
                 side by side; None: as many as the processor runs at once).

    The array has shape (points of variable 0, ..., points of the last
    variable) and dtype float64; each block holds exactly the bits
    tabulor.evaluate gives for the whole grid at those points. Refusals of a
    block (its memory, an overflow) raise TabulorError when it is computed.
    """
    axes = _core.axis_grids(series, grids, derivatives, values=False)
    shape = tuple(a[2] if isinstance(a, tuple) else len(a) for a in axes)
    chunks = da.core.normalize_chunks(chunks, shape, dtype=np.float64)
    ders = None if derivatives is None else [int(d) for d in derivatives]
    token = tokenize(series.file_name, id(series), axes, ders, chunks, threads)
    name = "tabulor-evaluate-" + token
    series_key = "tabulor-series-" + token
    edges = [np.cumsum((0,) + c) for c in chunks]
    dsk = {series_key: series}
    for index in itertools.product(*[range(len(c)) for c in chunks]):
        block_grids = [a + (int(edges[v][i]), int(edges[v][i + 1])) if isinstance(a, tuple)
                       else a[edges[v][i]:edges[v][i + 1]].copy() for v, (a, i) in enumerate(zip(axes, index))]
        dsk[(name,) + index] = (_block, series_key, block_grids, ders, threads)
    graph = HighLevelGraph.from_collections(name, dsk, dependencies=())
    return da.Array(graph, name, chunks, dtype=np.float64, meta=np.empty((0,) * len(shape)))
