import os
import pathlib
import re
import signal
import subprocess
import sys
import threading

import numpy as np
import pytest

import tabulor

EXAMPLES = pathlib.Path(__file__).resolve().parents[2] / "examples"
BATCH = os.environ.get("TABULOR_BATCH", str(EXAMPLES.parent / "build" / "tabulor-batch"))
POLY = "0\nx,0,1,0,#TRUE#,*,2\n#TRUE#\n1\n2\n3\n"  # 1 + 2x + 3x^2 on [0, 1]
series = lambda name: tabulor.read_series(str(EXAMPLES / name))  # noqa: E731


def batch(*args, limit_kb=None):
    """tabulor-batch's exit status, values (variable 0 fastest) and message, under an address-space limit if given."""
    cmd = ["sh", "-c", 'ulimit -v %d; exec "$@"' % limit_kb, "sh"] if limit_kb else []
    p = subprocess.run(cmd + [BATCH, *map(str, args)], capture_output=True, text=True)
    values = [float(line.split("VALUE=")[1]) for line in p.stdout.splitlines() if "VALUE=" in line]
    return p.returncode, values, p.stderr.strip().removeprefix("tabulor-batch: ")


def python(code):  # a fresh interpreter with this build's module
    return subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


@pytest.mark.parametrize("name,options,kwargs", [  # four.ser's variable 2: fewer points than terms, a strided view
    ("poly.ser", "", {}),
    ("wave.ser", "--points 0=40 --limits 0=-7,7 --der 0=3 --values 1=-0.7,0.2,1.3 --der 1=1",
     dict(grids=[(-7, 7, 40), [-0.7, 0.2, 1.3]], derivatives=[3, 1])),
    ("four.ser", "--points 0=6 --limits 0=-1,2 --values 2=0.3,-0.1 --der 3=1 --der 1=2 --points 3=5 --limits 3=0.5,1",
     dict(grids=[(-1, 2, 6), None, [0.3, -0.1], (0.5, 1, 5)], derivatives=[0, 2, 0, 1], threads=2)),
])
def test_values_are_those_of_tabulor_batch(name, options, kwargs):
    values = tabulor.evaluate(series(name), **kwargs)  # tabulor-batch prints 15 digits, variable 0 fastest
    assert batch(EXAMPLES / name, *options.split())[:2] == (0, [float("%.15G" % v) for v in values.ravel(order="F")])


def test_threads_give_the_same_bits_in_the_engines_own_memory():
    runs = [tabulor.evaluate(series("four.ser"), [(-1, 1, 37)] * 4, [1, 0, 2, 0], threads=t) for t in (1, 2, None)]
    assert not runs[0].flags.owndata and all(np.array_equal(r.view(np.uint64), runs[0].view(np.uint64)) for r in runs)


@pytest.mark.parametrize("content,grids,ders,message", [  # message None: the one tabulor-batch gives
    *[(bad, None, None, None) for bad in [None, "0\nx,0,1,0,#TRUE#,*,2\n#TRUE#\n1\n2\n", "5\nx,0,1\n",
                                          "0\nx,0,1,0,#TRUE#,*,1\n#FALSE#\n", "0\nx,0,1,0,#TRUE#,*,-3\n#TRUE#\n1\n"]],
    (POLY, [(-1e308, 1e308, 3)], None, "the limits -1E+308 and 1E+308 are too far apart for 3 evenly spaced grid "
                                       "points: the grid step or a grid value is beyond the range of a double."),
    (POLY, [[0.5, float("inf")]], None, "grid value 1 is not a finite number."),
    (POLY, [(0, 1, 0)], None, 'the number of grid points "0" is not between 1 and 2147483647.'),
    (POLY, None, [-1], "the derivative order -1 is negative."),
])
def test_refusals_raise_the_programs_message(tmp_path, content, grids, ders, message):
    if content is not None:
        (tmp_path / "s.ser").write_text(content)
    message = "Variable 0 (x): " + message if message else batch(tmp_path / "s.ser")[2]
    with pytest.raises(tabulor.TabulorError, match="^%s$" % re.escape(message)):
        tabulor.evaluate(tabulor.read_series(str(tmp_path / "s.ser")), grids, ders)


def test_memory_check_refuses_as_the_program_does():
    four = str(EXAMPLES / "four.ser")
    p = python("import resource, tabulor\nresource.setrlimit(resource.RLIMIT_AS, (3 << 30,) * 2)\ntry: "
               "tabulor.evaluate(tabulor.read_series(%r), [(0, 1, 200)] * 4)\nexcept Exception as e: print(e)" % four)
    message = batch(four, *"--points 0=200 --points 1=200 --points 2=200 --points 3=200".split(), limit_kb=3 << 20)[2]
    assert "memory limit" in message and p.communicate(timeout=60)[0].strip() == message


def test_grid_files_are_those_of_tabulor_batch(tmp_path):
    assert batch(EXAMPLES / "wave.ser", *"--points 0=4 --limits 0=0,3 --der 1=2 --save".split(), tmp_path / "b")[0] == 0
    values = tabulor.evaluate(s := series("wave.ser"), [(0, 3, 4), None], [0, 2])
    tabulor.write_grid(str(tmp_path / "m"), values, [(0, 3, 4), tabulor.grid_points(s)[1]], [0, 2], ["t", "y"])
    mine, theirs = (tmp_path / "m.grd").read_bytes(), (tmp_path / "b.grd").read_bytes()
    # The second grid was given by its values: uneven ("#FALSE#") in this file, else the same bytes.
    assert mine.replace(b"#FALSE#", b"#TRUE#") == theirs and mine.count(b"#FALSE#") == 1
    g = tabulor.read_grid(str(tmp_path / "b"))
    assert (g.names, g.derivatives, g.evenly_spaced, g.values.tolist()) == (
        ["t", "y"], [0, 2], [True, True], [[float("%.15G" % x) for x in row] for row in values])
    (tmp_path / "bad.grd").write_bytes(theirs[: len(theirs) // 2])
    with pytest.raises(tabulor.TabulorError, match="^%s$" % re.escape(batch("--open-grid", tmp_path / "bad.grd")[2])):
        tabulor.read_grid(str(tmp_path / "bad.grd"))


@pytest.fixture
def long_series(tmp_path):  # 20000 terms: about a second of work on one thread per 100000 grid points
    (tmp_path / "long.ser").write_text("0\nx,-1,1,*,#TRUE#,*,19999\n#TRUE#\n" + "1e-3\n" * 20000)
    return str(tmp_path / "long.ser")


def test_ctrl_c_cancels_the_computation(long_series):
    # The alarm ends the interpreter within a minute whatever happens.
    p = python("import signal, tabulor\nsignal.alarm(60)\ns = tabulor.read_series(%r)\nprint('started', flush=True)\n"
               "try: tabulor.evaluate(s, [(-1, 1, 12000000)], threads=1)\nexcept KeyboardInterrupt: print('cancelled')"
               % long_series)
    assert p.stdout.readline() == "started\n"
    threading.Event().wait(0.5)
    p.send_signal(signal.SIGINT)
    assert p.communicate(timeout=30)[0] == "cancelled\n"  # cancelled at once, or still computing


def test_the_gil_is_released_while_computing_and_progress_can_stop_it(long_series):
    calls = {}  # progress: a builtin, which runs no Python code that could hand the GIL over
    args = (tabulor.read_series(long_series), [(-1, 1, 300000)], None, 1, calls.__setitem__)
    (t := threading.Thread(target=tabulor.evaluate, args=args)).start()
    while not calls:
        pass
    seen = len(calls)  # while the engine computes only if it gave up the GIL
    t.join()
    assert seen < len(calls)
    with pytest.raises(LookupError, match="stopped"):
        tabulor.evaluate(series("four.ser"), [(-1, 1, 300)] * 3 + [None], progress=lambda done, total: {}["stopped"])


def test_dask_blocks_computed_on_workers_are_the_whole_grids_bits():
    distributed, tabulor_dask = pytest.importorskip("distributed"), pytest.importorskip("tabulor.dask")
    s, grids, ders = series("four.ser"), [(-1, 1, 13), [0.5, -0.2, 0.9, 0.1, 0.3], None, (0, 2, 11)], [1, 0, 2, 1]
    chunked, whole = tabulor_dask.evaluate(s, grids, ders, chunks=(5, 2, 1, (4, 7))), tabulor.evaluate(s, grids, ders)
    with distributed.Client(n_workers=2, threads_per_worker=1, dashboard_address=None) as client:
        got = client.compute(chunked).result()
    assert chunked.numblocks == (3, 3, 3, 2) and np.array_equal(got.view(np.uint64), whole.view(np.uint64))
