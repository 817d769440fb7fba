import numpy as np
import pytest

import tabulor
from conftest import EXAMPLES

distributed = pytest.importorskip("distributed")
import tabulor.dask  # noqa: E402

MEMORY_LIMIT = 400 * 2**20


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, memory_limit=MEMORY_LIMIT,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as c:
        yield c


def test_blocks_computed_on_workers_are_the_whole_grids_bits(client):
    s = tabulor.read_series(str(EXAMPLES / "four.ser"))
    grids, ders = [(-1, 1, 13), [0.5, -0.2, 0.9, 0.1, 0.3], None, (0, 2, 11)], [1, 0, 2, 1]
    chunked = tabulor.dask.evaluate(s, grids, ders, chunks=(5, 2, 1, (4, 7)))
    whole = tabulor.evaluate(s, grids, ders)
    assert chunked.numblocks == (3, 3, 3, 2)
    got = client.compute(chunked).result()
    assert got.shape == whole.shape and np.array_equal(got.view(np.uint64), whole.view(np.uint64))


def test_a_grid_beyond_the_workers_memory_is_reduced_block_by_block(client):
    s = tabulor.read_series(str(EXAMPLES / "poly.ser"))
    points = 80_000_000  # 640 MB of values, workers of 400 MB each
    x = tabulor.dask.evaluate(s, [(0, 1, points)], chunks=4_000_000)
    lo, hi = client.compute([x.min(), x.max()], sync=True)
    # 1 + 2x + 3x^2 rises on [0, 1]: its least and greatest values are at the ends of the grid.
    ends = tabulor.evaluate(s, [tabulor.grid_points(s, [(0, 1, points)])[0][[0, -1]]])
    assert x.nbytes > 1.5 * MEMORY_LIMIT and (lo, hi) == (ends[0], ends[1])
    peaks = client.run(lambda: __import__("resource").getrusage(0).ru_maxrss * 1024)
    assert len(peaks) == 2 and max(peaks.values()) < MEMORY_LIMIT
