import signal
import threading

import numpy as np
import pytest

import tabulor
from conftest import EXAMPLES, run_batch, run_python

TWO_PI = 6.283185307179586

# (series, tabulor-batch options, evaluate's keyword arguments): the same grid both ways.
CASES = [
    ("poly.ser", [], {}),
    ("poly.ser", ["--values", "0=0.9,-0.25,0.1,3", "--der", "0=1"], dict(grids=[[0.9, -0.25, 0.1, 3]], derivatives=[1])),
    ("wave.ser", ["--points", "0=7", "--limits", "0=0.5,2.5", "--der", "0=3", "--der", "1=1"],
     dict(grids=[(0.5, 2.5, 7), None], derivatives=[3, 1])),
    ("wave.ser", ["--values", "1=-0.7,0.2,1.3", "--points", "0=40", "--limits", "0=-7,7"],
     dict(grids=[(-7, 7, 40), [-0.7, 0.2, 1.3]])),
    ("four.ser", ["--points", "0=6", "--limits", "0=-1,2", "--values", "2=0.3,-0.1", "--der", "3=1", "--der", "1=2",
                  "--points", "3=5", "--limits", "3=0.25,0.75"],
     dict(grids=[(-1, 2, 6), None, [0.3, -0.1], (0.25, 0.75, 5)], derivatives=[0, 2, 0, 1], threads=2)),
]


@pytest.mark.parametrize("name,options,kwargs", CASES)
def test_values_are_those_of_tabulor_batch(name, options, kwargs):
    status, expected, _ = run_batch(EXAMPLES / name, *options)
    values = tabulor.evaluate(tabulor.read_series(str(EXAMPLES / name)), **kwargs)
    assert status == 0
    # tabulor-batch prints 15 significant digits, variable 0 fastest.
    assert [float("%.15G" % v) for v in values.ravel(order="F")] == expected


def test_result_is_the_engines_memory_in_fortran_order(write_series):
    s = tabulor.read_series(str(write_series([("x", -1.0, 1.0, True, 2), ("y", -1.0, 1.0, True, 3)])))
    assert s.coefficients.tolist() == [[1, 3, 5], [2, 4, 6]]  # k0 fastest in the file
    assert not s.coefficients.flags.writeable
    v = tabulor.evaluate(s, grids=[[0.0, 1.0, 2.0], [0.0, 1.0]])
    assert v.shape == (3, 2) and v.flags.f_contiguous and not v.flags.owndata
    # 1 + 2x + 3y + 4xy + ... at (x, y): x=2, y=0 -> 1 + 2*2; x=2, y=1 -> 1+4+3+8+5+12.
    assert v[2, 0] == 5 and v[2, 1] == 33
    assert [v.name for v in s.variables] == ["x", "y"] and s.variables[1].terms == 3
    # Fewer points than terms: a strided view into the engine's larger block (y = -1, 0, 1).
    w = tabulor.evaluate(s, grids=[[2.0], None])
    assert w.shape == (1, 3) and w[0].tolist() == [11, 5, 33] and not w.flags.f_contiguous


def test_threads_give_the_same_bits():
    s = tabulor.read_series(str(EXAMPLES / "four.ser"))
    grids, ders = [(-1, 1, 37)] * 4, [1, 0, 2, 0]
    runs = [tabulor.evaluate(s, grids, ders, threads=t) for t in (1, 2, None)]
    assert all(np.array_equal(r.view(np.uint64), runs[0].view(np.uint64)) for r in runs)


@pytest.mark.parametrize("content", [None, "0\nx,0,1,0,#TRUE#,*,2\n#TRUE#\n1\n2\n", "0\nx,0,1,0,#TRUE#,*,1\n#FALSE#\n",
                                     "5\nx,0,1\n", "0\nx,0,1,0,#TRUE#,*,-3\n#TRUE#\n1\n"])
def test_bad_series_files_raise_the_programs_message(tmp_path, content):
    path = tmp_path / "bad.ser"
    if content is not None:
        path.write_text(content)
    status, _, message = run_batch(path)
    with pytest.raises(tabulor.TabulorError) as e:
        tabulor.read_series(str(path))
    assert status == 1 and str(e.value) == message


@pytest.mark.parametrize("grids,options", [
    ([(-1e308, 1e308, 3)], ["--limits", "0=-1e308,1e308", "--points", "0=3"]),
    ([[0.5, float("inf")]], None),
    ([(0, 1, 0)], None),
])
def test_refused_grids_raise_the_programs_message(grids, options):
    s = tabulor.read_series(str(EXAMPLES / "poly.ser"))
    with pytest.raises(tabulor.TabulorError) as e:
        tabulor.evaluate(s, grids)
    if options:
        assert str(e.value) == run_batch(EXAMPLES / "poly.ser", *options)[2]
    assert "Variable 0 (x)" in str(e.value) or "variable 0 (x)" in str(e.value)


def test_memory_check_refuses_as_the_program_does():
    options = [x for k in range(4) for x in ("--points", "%d=200" % k)]
    _, _, message = run_batch(EXAMPLES / "four.ser", *options, limit_kb=3000000)
    p = run_python("import tabulor\ns = tabulor.read_series(%r)\ntry:\n tabulor.evaluate(s, [None] * 4 if False else "
                   "[(v.lower, v.upper, 200) for v in s.variables])\nexcept tabulor.TabulorError as e:\n print(e)"
                   % str(EXAMPLES / "four.ser"), limit_kb=3000000)
    out, err = p.communicate(timeout=60)
    assert "memory limit" in message and out.strip() == message, err


def test_grid_files_are_those_of_tabulor_batch(tmp_path):
    status, _, _ = run_batch(EXAMPLES / "wave.ser", "--points", "0=4", "--limits", "0=0,3", "--der", "1=2",
                             "--save", tmp_path / "batch")
    s = tabulor.read_series(str(EXAMPLES / "wave.ser"))
    grids = [(0, 3, 4), None]
    values = tabulor.evaluate(s, grids, [0, 2])
    written = tabulor.write_grid(str(tmp_path / "mine"), values, [grids[0], tabulor.grid_points(s)[1]], [0, 2],
                                 [v.name for v in s.variables])
    assert status == 0 and written.endswith("mine.grd")
    mine, batch = (tmp_path / "mine.grd").read_bytes(), (tmp_path / "batch.grd").read_bytes()
    # The second grid was given by its values: uneven ("#FALSE#") in this file, else the same bytes.
    assert mine.replace(b"#FALSE#", b"#TRUE#") == batch and mine.count(b"#FALSE#") == 1
    g = tabulor.read_grid(str(tmp_path / "batch.grd"))
    assert g.names == ["t", "y"] and g.derivatives == [0, 2] and g.evenly_spaced == [True, True]
    assert g.values.shape == (4, 3) and g.values.tolist() == [[float("%.15G" % x) for x in r] for r in values]
    (tmp_path / "bad.grd").write_bytes(batch[: len(batch) // 2])
    with pytest.raises(tabulor.TabulorError) as e:
        tabulor.read_grid(str(tmp_path / "bad.grd"))
    assert str(e.value) == run_batch("--open-grid", tmp_path / "bad.grd")[2]


def long_series(write_series):
    # 20000 terms: about a second of work on one thread per 100000 grid points.
    return str(write_series([("x", -1.0, 1.0, True, 20000)], coefficients=["1e-3"] * 20000))


def test_ctrl_c_cancels_the_computation(write_series):
    p = run_python("import tabulor, sys\ns = tabulor.read_series(%r)\nprint('started', flush=True)\ntry:\n"
                   " tabulor.evaluate(s, [(-1, 1, 12000000)], threads=1)\nexcept KeyboardInterrupt:\n print('cancelled')"
                   % long_series(write_series))
    try:
        assert p.stdout.readline() == "started\n"
        threading.Event().wait(0.5)
        p.send_signal(signal.SIGINT)
        out, err = p.communicate(timeout=30)  # cancelled at once, or still computing
    finally:
        p.kill()
    assert out == "cancelled\n", err


def test_the_gil_is_released_while_computing(write_series):
    s = tabulor.read_series(long_series(write_series))
    calls = {}  # progress: a builtin, which runs no Python code that could hand the GIL over
    t = threading.Thread(target=tabulor.evaluate, args=(s, [(-1, 1, 300000)]),
                         kwargs=dict(threads=1, progress=calls.__setitem__))
    t.start()
    while not calls:
        pass
    seen = len(calls)  # while the engine computes only if it gave up the GIL
    t.join()
    assert seen < len(calls)


def test_an_exception_in_progress_cancels():
    def progress(done, total):
        raise LookupError("stopped at %d of %d" % (done, total))

    s = tabulor.read_series(str(EXAMPLES / "four.ser"))
    with pytest.raises(LookupError, match="stopped at"):
        tabulor.evaluate(s, [(-1, 1, 300)] * 3 + [None], progress=progress)
