"""Series in one to four variables, evaluated on grids by the tabulor engine.

    import tabulor
    s = tabulor.read_series("examples/wave.ser")
    values = tabulor.evaluate(s, grids=[(0.0, 6.283185307179586, 1000), None], derivatives=[1, 0])

The values are the same bits as the window and tabulor-batch compute. The
submodule tabulor.dask evaluates grids larger than one machine's memory on a
Dask cluster.
"""
from ._core import Grid, Series, TabulorError, Variable
from . import _core

__all__ = ["read_series", "evaluate", "grid_points", "read_grid", "write_grid",
           "Series", "Variable", "Grid", "TabulorError"]


def read_series(path, progress=None):
    """Reads a series file.

    path      the series file's name.
    progress  None, or a function progress(done, total) called now and then
              while the coefficients are read; an exception it raises stops
              the reading and is raised here.

    Returns a Series: s.variables (name, kind "power" or "trigonometric",
    lower, upper, center, period, terms of every variable), s.coefficients (a
    read-only numpy array of shape (terms of variable 0, ...) over the
    series' own memory, variable 0 fastest) and s.file_name.

    Raises TabulorError with the program's message when the file cannot be
    read or is refused (the message names the file and the field), and
    KeyboardInterrupt on Ctrl-C.
    """
    return _core.read_series(path, progress)


def evaluate(series, grids=None, derivatives=None, threads=None, progress=None):
    """Evaluates a series, or a mixed derivative of it, at every grid point.

    series       a Series from read_series.
    grids        None for the default grid of every variable (as many evenly
                 spaced points as terms between the series' limits, as the
                 window and tabulor-batch start with), or one entry per
                 variable:
                   None                    that variable's default grid;
                   (lower, upper, points)  a tuple: points evenly spaced grid
                                           values, made as the engine makes
                                           them (see grid_points);
                   array-like of numbers   the grid values themselves, in any
                                           order and spacing (an uneven grid).
    derivatives  None for the series itself, or one whole number per
                 variable: the order of the derivative with respect to it.
    threads      None for as many threads as the processor runs at once, or
                 their number (the values do not depend on it).
    progress     None, or a function progress(done, total) called now and
                 then on the calling thread (done and total in multiply-adds);
                 an exception it raises stops the computation and is raised
                 here.

    Returns a float64 numpy array of shape (points of variable 0, ..., points
    of the last variable): values[j0, j1, ...] is the value at grid point j0
    of variable 0, j1 of variable 1 and so on. It is the engine's own memory,
    not a copy: variable 0 runs fastest, so the array is Fortran-ordered
    (Fortran-contiguous unless a variable before the last has more terms than
    grid points; then it is a strided view into the engine's larger block).

    The GIL is released while the engine computes, so other Python threads
    run meanwhile. Ctrl-C stops the computation and raises KeyboardInterrupt.
    Raises TabulorError with the program's message when the grid is refused
    (limits, numbers of points, derivative orders, a grid beyond the memory
    the program allows itself) or the computation fails (an overflow, for
    instance).
    """
    return _core.evaluate(series, grids, derivatives, threads, progress)[0]


def grid_points(series, grids=None, derivatives=None):
    """The grid values of every variable that evaluate(series, grids,
    derivatives) computes on: a list of one float64 array per variable
    (evenly spaced grids made as the engine makes them). Each grid is checked
    as evaluate checks it, but on its own: the product of the numbers of
    points is not limited here."""
    return _core.axis_grids(series, grids, derivatives)


def read_grid(path, progress=None):
    """Reads a grid file (.grd) as the window opens it.

    path      the file itself when the name ends in ".grd", else the name
              followed by ".grd".
    progress  as for read_series.

    Returns a Grid: values (shape (points of variable 0, ...), variable 0
    fastest, Fortran-contiguous, not a copy), grids (the grid values of every
    variable), names, derivatives, lower, upper and evenly_spaced.
    Raises TabulorError with the program's message when the file is refused.
    """
    return _core.read_grid(path, progress)


def write_grid(path, values, grids, derivatives=None, names=None, progress=None):
    """Writes values on a grid to a grid file (.grd) that the window opens.

    path         the file itself when the name ends in ".grd", else the name
                 followed by ".grd".
    values       an array of one to four dimensions, one per variable, such as
                 evaluate returns.
    grids        one entry per dimension: (lower, upper, points) for an evenly
                 spaced grid or an array of the grid values; points and the
                 number of values must be those of values along the axis.
    derivatives  None (all 0) or the derivative order of every variable.
    names        None ("x0", "x1", ...) or the name of every variable.
    progress     as for read_series.

    The file is written whole or not at all: a failed save leaves an existing
    file as it was. Returns the name of the file written. Raises TabulorError
    with the program's message when the file cannot be written.
    """
    return _core.write_grid(path, values, grids, derivatives, names, progress)
