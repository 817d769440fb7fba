// tabulor._core: the series reader, the grid capture, the computation and the
// grid files of tabulor_core for Python. The Python package (python/tabulor/)
// wraps these functions with their documented signatures.
//
// Results are handed to numpy without a copy: the ResultsArray the engine
// filled moves into a capsule that becomes the array's base. The engine keeps
// variable 0 fastest, so the array of shape (points of variable 0, ..., points
// of the last variable) is a Fortran-ordered view; it is Fortran-contiguous
// when no variable before the last has more terms than grid points (the
// engine's array then has exactly the grid's extent), otherwise a strided
// view into the larger block.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/compute.h"
#include "model/dimension.h"
#include "model/grid_capture.h"
#include "model/grid_file.h"
#include "model/limits.h"
#include "model/number_text.h"
#include "model/series_file.h"

namespace py = pybind11;
using namespace tabulor;

namespace {

// A refusal with the program's own message.
struct Refusal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Everything of a model but its results array.
void CopySeries(const Dimension& from, Dimension& to) {
  to.VarName = from.VarName;
  to.IsPower = from.IsPower;
  to.LowerLimit = from.LowerLimit;
  to.UpperLimit = from.UpperLimit;
  to.Center = from.Center;
  to.Period = from.Period;
  to.LastTerm = from.LastTerm;
  to.LastPoint = from.LastPoint;
  to.DerOrder = from.DerOrder;
  to.EvenlySpaced = from.EvenlySpaced;
  to.Extent = from.Extent;
  to.GridStep = from.GridStep;
  to.CenterText = from.CenterText;
  to.PeriodText = from.PeriodText;
  to.GridX = from.GridX;
  to.Coefficients = from.Coefficients;
  to.LastVar = from.LastVar;
  to.CurVar = from.CurVar;
  to.ResultsReady = false;
  to.Loading = false;
  to.FileName = from.FileName;
  to.TotalCount = from.TotalCount;
  to.Pi = from.Pi;
  to.LastPt = from.LastPt;
}

// A series as read from its file; never changed afterwards, so several
// threads may evaluate it at once.
struct Series {
  std::shared_ptr<const Dimension> model;
};

// Polls for Ctrl-C and calls the caller's progress function, at most every
// 50 ms, from the computing thread (the one that released the GIL). A Python
// exception, KeyboardInterrupt included, stops the task and is kept to be
// raised once the GIL is back.
class PythonProgress {
 public:
  explicit PythonProgress(py::object callback) : callback_(std::move(callback)) {}

  ProgressFn fn() {
    return [this](std::uint64_t done, std::uint64_t total) { return Poll(done, total); };
  }

  // Raises the exception that stopped the task, or KeyboardInterrupt.
  [[noreturn]] void Raise() {
    if (error_) throw *error_;
    throw py::error_already_set();
  }
  bool stopped() const { return error_.has_value(); }

 private:
  bool Poll(std::uint64_t done, std::uint64_t total) {
    const auto now = std::chrono::steady_clock::now();
    if (polled_ && now - last_ < std::chrono::milliseconds(50)) return true;
    polled_ = true;
    last_ = now;
    py::gil_scoped_acquire gil;
    try {
      if (PyErr_CheckSignals() != 0) throw py::error_already_set();
      if (!callback_.is_none()) callback_(done, total);
    } catch (py::error_already_set& e) {
      error_.emplace(std::move(e));
      return false;
    }
    return true;
  }

  py::object callback_;
  std::optional<py::error_already_set> error_;
  bool polled_ = false;
  std::chrono::steady_clock::time_point last_{};
};

// The shortest text that reads back as the same double.
std::string ExactText(double x) {
  char buf[40];
  auto r = std::to_chars(buf, buf + sizeof buf, x);
  return std::string(buf, r.ptr);
}

std::string Who(const Dimension& m, int v) {
  std::string s = "Variable " + IntegerText(v);
  if (!m.VarName[v].empty()) s += " (" + m.VarName[v] + ")";
  return s;
}

double FiniteLimit(const Dimension& m, int v, py::handle x, const char* which) {
  const double d = py::cast<double>(py::float_(py::reinterpret_borrow<py::object>(x)));
  if (!std::isfinite(d))
    throw Refusal(Who(m, v) + ": the " + which + " limit " + ExactText(d) + " is not a finite number.");
  return d;
}

std::int64_t WholeNumber(py::handle x, const std::string& what) {
  if (py::isinstance<py::bool_>(x) || !PyIndex_Check(x.ptr()))
    throw py::type_error(what + " must be a whole number, not " +
                         std::string(py::str(py::type::of(x).attr("__name__"))));
  const long long n = PyLong_AsLongLong(py::reinterpret_steal<py::object>(PyNumber_Index(x.ptr())).ptr());
  if (n == -1 && PyErr_Occurred()) {
    PyErr_Clear();
    throw Refusal(what + " " + std::string(py::str(x)) + " is beyond the 64-bit range.");
  }
  return n;
}

py::array_t<double> GridValuesArray(py::handle g) {
  auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(g);
  if (!a || a.ndim() != 1) throw py::type_error("a grid of values must be a one-dimensional array of numbers");
  return a;
}

// The grid boxes of every variable of `m` from the Python arguments, as the
// window and the options of tabulor-batch fill them: None keeps the default
// grid, (lower, upper, points) makes an evenly spaced one, an array of values
// an uneven one (its values go into the model's grid array).
std::array<GridSpecText, kSlots> GridSpec(Dimension& m, py::handle grids, py::handle derivatives) {
  const int n = m.LastVar + 1;
  auto spec = DefaultGridSpec(m);
  if (!grids.is_none()) {
    auto seq = py::reinterpret_borrow<py::sequence>(grids);
    if (!py::isinstance<py::sequence>(grids) || static_cast<int>(py::len(seq)) != n)
      throw Refusal("grids must be a sequence of " + IntegerText(n) + " grid(s), one per variable of the series");
    for (int v = 0; v < n; ++v) {
      py::object g = seq[static_cast<std::size_t>(v)];
      if (g.is_none()) continue;
      if (py::isinstance<py::tuple>(g)) {
        auto t = py::reinterpret_borrow<py::tuple>(g);
        if (py::len(t) != 3) throw Refusal(Who(m, v) + ": a grid tuple is (lower, upper, points).");
        spec[v].lower = ExactText(FiniteLimit(m, v, t[0], "lower"));
        spec[v].upper = ExactText(FiniteLimit(m, v, t[1], "upper"));
        spec[v].points = IntegerText(WholeNumber(t[2], Who(m, v) + ": the number of grid points"));
        spec[v].spaced = true;
        m.EvenlySpaced[v] = true;
      } else {
        auto a = GridValuesArray(g);
        const double* x = a.data();
        const auto count = static_cast<std::size_t>(a.shape(0));
        m.GridX[v].assign(x, x + count);
        spec[v].spaced = false;
        spec[v].points = IntegerText(static_cast<std::int64_t>(count));
        if (count > 0) {
          spec[v].lower = ExactText(x[0]);
          spec[v].upper = ExactText(x[count - 1]);
        }
        m.EvenlySpaced[v] = false;
      }
    }
  }
  if (!derivatives.is_none()) {
    auto seq = py::reinterpret_borrow<py::sequence>(derivatives);
    if (!py::isinstance<py::sequence>(derivatives) || static_cast<int>(py::len(seq)) != n)
      throw Refusal("derivatives must be a sequence of " + IntegerText(n) +
                    " derivative order(s), one per variable of the series");
    for (int v = 0; v < n; ++v)
      spec[v].der = IntegerText(WholeNumber(seq[static_cast<std::size_t>(v)], Who(m, v) + ": the derivative order"));
  }
  return spec;
}

// Hands the model's results to numpy: shape (points of variable 0, ...),
// variable 0 fastest, over the engine's own memory.
py::array TakeResults(Dimension& m, int n) {
  auto* results = new ResultsArray(std::move(m.Results));
  py::capsule owner(results, [](void* p) { delete static_cast<ResultsArray*>(p); });
  std::vector<py::ssize_t> shape, strides;
  for (int v = 0; v < n; ++v) {
    shape.push_back(static_cast<py::ssize_t>(m.LastPt[v]) + 1);
    strides.push_back(static_cast<py::ssize_t>(results->Stride(v) * static_cast<std::int64_t>(sizeof(double))));
  }
  return py::array_t<double>(shape, strides, results->data(), owner);
}

// (values, engine seconds): the Python package returns the values alone; the
// benchmark uses the engine's own time to tell the cost of the call.
py::tuple Evaluate(const Series& s, py::handle grids, py::handle derivatives, py::handle threads, py::object progress) {
  Dimension m;
  CopySeries(*s.model, m);
  ComputeOptions options;
  if (!threads.is_none()) {
    const std::int64_t t = WholeNumber(threads, "threads");
    if (t < 1 || t > 4096) throw Refusal("threads must be None or a number from 1 to 4096, not " + IntegerText(t));
    options.threads = static_cast<int>(t);
  }
  std::string why = CaptureGridSpecs(m, GridSpec(m, grids, derivatives));
  if (!why.empty()) throw Refusal(why);
  PythonProgress poll(std::move(progress));
  ComputeResult r;
  {
    py::gil_scoped_release release;
    r = Compute(m, poll.fn(), options);
  }
  if (poll.stopped() || r.outcome == ComputeOutcome::Cancelled) poll.Raise();
  if (r.outcome != ComputeOutcome::Ok) throw Refusal(r.message);
  return py::make_tuple(TakeResults(m, m.LastVar + 1), r.seconds);
}

Series ReadSeries(const std::string& path, py::object progress) {
  auto m = std::make_shared<Dimension>();
  PythonProgress poll(std::move(progress));
  SeriesReadResult r;
  {
    py::gil_scoped_release release;
    r = ReadSeriesFile(*m, path, poll.fn());
  }
  if (poll.stopped() || r.outcome == SeriesReadOutcome::Cancelled) poll.Raise();
  if (r.outcome == SeriesReadOutcome::NoCoefficients)
    throw Refusal("series file \"" + path + "\": NO COEFFICIENTS IN FILE.");
  if (r.outcome != SeriesReadOutcome::Ok) throw Refusal(r.message);
  return Series{std::move(m)};
}

// The grid of every variable that Evaluate computes on, each checked as the
// capture checks it but on its own (the other variables at a single point),
// so that the whole grid may be beyond what one computation takes: for
// blocks computed apart. An evenly spaced grid comes as (lower, upper,
// points) as the capture took them, an uneven one as its values.
std::vector<py::object> AxisGrids(const Series& s, py::handle grids, py::handle derivatives, bool values) {
  Dimension base;
  CopySeries(*s.model, base);
  const auto spec = GridSpec(base, grids, derivatives);
  std::vector<py::object> out;
  for (int v = 0; v <= base.LastVar; ++v) {
    Dimension m;
    CopySeries(base, m);
    auto alone = spec;
    for (int u = 0; u <= m.LastVar; ++u)
      if (u != v) {
        alone[u].points = "1";
        alone[u].spaced = true;
        m.EvenlySpaced[u] = true;
      }
    std::string why;
    {
      py::gil_scoped_release release;
      why = CaptureGridSpecs(m, alone);
    }
    if (!why.empty()) throw Refusal(why);
    const auto& x = m.GridX[v];
    if (values || !m.EvenlySpaced[v])
      out.push_back(py::array_t<double>(static_cast<py::ssize_t>(x.size()), x.data()));
    else
      out.push_back(py::make_tuple(m.LowerLimit[v], m.UpperLimit[v], m.LastPoint[v] + 1));
  }
  return out;
}

// Grid values start..stop-1 of the evenly spaced grid (lower, upper,
// points), the same bits as Dimension::FillEvenGrid gives them.
py::array EvenGridPart(double lower, double upper, std::int32_t points, std::int32_t start, std::int32_t stop) {
  if (points < 1 || start < 0 || stop < start || stop > points) throw Refusal("no such part of the grid");
  const std::int32_t last = points - 1;
  const double step = last > 0 ? (upper - lower) / static_cast<double>(last) : 0.0;
  py::array_t<double> out(stop - start);
  double* x = out.mutable_data();
  for (std::int32_t j = start; j < stop; ++j) x[j - start] = last > 0 ? static_cast<double>(j) * step + lower : lower;
  return out;
}

// One variable of a series as its file describes it.
struct Variable {
  std::string name;
  std::string kind;  // "power" or "trigonometric"
  double lower, upper, center, period;
  int terms;
};

// A grid file as read: the values and everything the file tells of the grid.
struct Grid {
  py::array values;
  std::vector<py::array> grids;
  std::vector<std::string> names;
  std::vector<int> derivatives;
  std::vector<double> lower, upper;
  std::vector<bool> evenly_spaced;
};

Grid ReadGrid(const std::string& name, py::object progress) {
  Dimension m;
  PythonProgress poll(std::move(progress));
  GridFileResult r;
  {
    py::gil_scoped_release release;
    r = ReadGridFile(m, name, poll.fn());
  }
  if (poll.stopped()) poll.Raise();
  if (!r.ok) throw Refusal(r.message);
  Grid g;
  const int n = m.LastVar + 1;
  for (int v = 0; v < n; ++v) {
    g.grids.push_back(py::array_t<double>(static_cast<py::ssize_t>(m.GridX[v].size()), m.GridX[v].data()));
    g.names.push_back(m.VarName[v]);
    g.derivatives.push_back(m.DerOrder[v]);
    g.lower.push_back(m.LowerLimit[v]);
    g.upper.push_back(m.UpperLimit[v]);
    g.evenly_spaced.push_back(m.EvenlySpaced[v]);
  }
  g.values = TakeResults(m, n);
  return g;
}

std::string WriteGrid(const std::string& name, py::handle values_in, py::handle grids, py::handle derivatives,
                      py::handle names, py::object progress) {
  auto values = py::array_t<double, py::array::f_style | py::array::forcecast>::ensure(values_in);
  if (!values) throw py::type_error("values must be an array of numbers");
  const int n = static_cast<int>(values.ndim());
  if (n < 1 || n > kSlots) throw Refusal("values must have 1 to 4 dimensions, one per variable");
  Dimension m;
  m.LastVar = n - 1;
  for (int v = 0; v < n; ++v) {
    m.VarName[v] = "x" + IntegerText(v);
    m.LastTerm[v] = 0;
  }
  if (!names.is_none()) {
    auto seq = py::cast<std::vector<std::string>>(names);
    if (static_cast<int>(seq.size()) != n) throw Refusal("names must give one name per dimension of values");
    for (int v = 0; v < n; ++v) m.VarName[v] = seq[static_cast<std::size_t>(v)];
  }
  if (!py::isinstance<py::sequence>(grids) || static_cast<int>(py::len(grids)) != n)
    throw Refusal("grids must be a sequence of one grid per dimension of values");
  auto seq = py::reinterpret_borrow<py::sequence>(grids);
  for (int v = 0; v < n; ++v) {
    const std::int64_t points = values.shape(v);
    if (points < 1 || points > kMaxCount)
      throw Refusal("values has " + IntegerText(points) + " points along axis " + IntegerText(v));
    m.LastPoint[v] = static_cast<std::int32_t>(points - 1);
    py::object g = seq[static_cast<std::size_t>(v)];
    if (py::isinstance<py::tuple>(g)) {
      auto t = py::reinterpret_borrow<py::tuple>(g);
      if (py::len(t) != 3) throw Refusal(Who(m, v) + ": a grid tuple is (lower, upper, points).");
      m.LowerLimit[v] = FiniteLimit(m, v, t[0], "lower");
      m.UpperLimit[v] = FiniteLimit(m, v, t[1], "upper");
      if (WholeNumber(t[2], Who(m, v) + ": the number of grid points") != points)
        throw Refusal(Who(m, v) + ": the grid has " + std::string(py::str(t[2])) + " points, values " +
                      IntegerText(points) + " along axis " + IntegerText(v) + ".");
      if (!EvenGridIsFinite(m.LowerLimit[v], m.UpperLimit[v], m.LastPoint[v]))
        throw Refusal(Who(m, v) + ": the grid has no finite step or values.");
      m.EvenlySpaced[v] = true;
      m.FillEvenGrid(v);
    } else {
      auto a = GridValuesArray(g);
      if (a.shape(0) != points)
        throw Refusal(Who(m, v) + ": the grid has " + IntegerText(a.shape(0)) + " values, values " +
                      IntegerText(points) + " along axis " + IntegerText(v) + ".");
      m.GridX[v].assign(a.data(), a.data() + points);
      m.LowerLimit[v] = m.GridX[v].front();
      m.UpperLimit[v] = m.GridX[v].back();
      m.EvenlySpaced[v] = false;
    }
    m.LastPt[v] = m.LastPoint[v];
    m.Extent[v] = m.LastPoint[v];
  }
  if (!derivatives.is_none()) {
    auto d = py::reinterpret_borrow<py::sequence>(derivatives);
    if (!py::isinstance<py::sequence>(derivatives) || static_cast<int>(py::len(d)) != n)
      throw Refusal("derivatives must give one derivative order per dimension of values");
    for (int v = 0; v < n; ++v) {
      const std::int64_t order = WholeNumber(d[static_cast<std::size_t>(v)], Who(m, v) + ": the derivative order");
      if (order < 0 || order > kMaxCount)
        throw Refusal(Who(m, v) + ": the derivative order " + IntegerText(order) + " is not between 0 and " +
                      IntegerText(kMaxCount) + ".");
      m.DerOrder[v] = static_cast<std::int32_t>(order);
    }
  }
  std::array<std::int64_t, 4> dims{1, 1, 1, 1};
  for (int v = 0; v < n; ++v) dims[v] = values.shape(v);
  if (!m.Results.Allocate(dims)) throw std::bad_alloc();
  std::memcpy(m.Results.data(), values.data(), m.Results.size() * sizeof(double));
  m.ResultsReady = true;
  PythonProgress poll(std::move(progress));
  GridFileResult r;
  {
    py::gil_scoped_release release;
    r = WriteGridFile(m, name, poll.fn());
  }
  if (poll.stopped()) poll.Raise();
  if (!r.ok) throw Refusal(r.message);
  return GridFilePath(name);
}

// Pickling: the model's fields, so that Dask can send a series to its workers.
py::tuple SeriesState(const Series& s) {
  const Dimension& m = *s.model;
  py::list vars;
  for (int v = 0; v <= m.LastVar; ++v)
    vars.append(py::make_tuple(m.VarName[v], m.IsPower[v], m.LowerLimit[v], m.UpperLimit[v], m.Center[v], m.Period[v],
                               m.LastTerm[v], m.CenterText[v], m.PeriodText[v]));
  py::bytes coefficients(reinterpret_cast<const char*>(m.Coefficients.data()), m.Coefficients.size() * sizeof(double));
  return py::make_tuple(1, m.FileName, vars, coefficients);
}

Series SeriesFromState(const py::tuple& state) {
  if (state.size() != 4 || py::cast<int>(state[0]) != 1) throw std::runtime_error("not a pickled tabulor series");
  auto m = std::make_shared<Dimension>();
  m->FileName = py::cast<std::string>(state[1]);
  auto vars = py::cast<py::list>(state[2]);
  m->LastVar = static_cast<std::int32_t>(py::len(vars)) - 1;
  if (m->LastVar < 0 || m->LastVar >= kSlots) throw std::runtime_error("not a pickled tabulor series");
  for (int v = 0; v <= m->LastVar; ++v) {
    auto t = py::cast<py::tuple>(vars[static_cast<std::size_t>(v)]);
    m->VarName[v] = py::cast<std::string>(t[0]);
    m->IsPower[v] = py::cast<bool>(t[1]);
    m->LowerLimit[v] = py::cast<double>(t[2]);
    m->UpperLimit[v] = py::cast<double>(t[3]);
    m->Center[v] = py::cast<double>(t[4]);
    m->Period[v] = py::cast<double>(t[5]);
    m->LastTerm[v] = py::cast<std::int32_t>(t[6]);
    m->CenterText[v] = py::cast<std::string>(t[7]);
    m->PeriodText[v] = py::cast<std::string>(t[8]);
    m->LastPoint[v] = m->LastTerm[v];
    m->EvenlySpaced[v] = true;
  }
  const std::string bytes = py::cast<std::string>(state[3]);
  m->Coefficients.resize(bytes.size() / sizeof(double));
  std::memcpy(m->Coefficients.data(), bytes.data(), m->Coefficients.size() * sizeof(double));
  m->TotalCount = static_cast<std::int32_t>(m->Coefficients.size());
  m->BuildGrids();
  return Series{std::move(m)};
}

}  // namespace

PYBIND11_MODULE(_core, mod) {
  mod.doc() = "The tabulor engine (use the package tabulor, which documents these functions).";
  auto error = py::register_exception<Refusal>(mod, "TabulorError", PyExc_Exception);
  error.doc() = "A file, grid or computation the program refuses; the message says why.";

  py::class_<Variable>(mod, "Variable", "One variable of a series.")
      .def_readonly("name", &Variable::name)
      .def_readonly("kind", &Variable::kind, "\"power\" or \"trigonometric\".")
      .def_readonly("lower", &Variable::lower, "The series' lower limit.")
      .def_readonly("upper", &Variable::upper, "The series' upper limit.")
      .def_readonly("center", &Variable::center, "The centre of expansion.")
      .def_readonly("period", &Variable::period, "The period (of a trigonometric variable).")
      .def_readonly("terms", &Variable::terms, "The number of terms.")
      .def("__repr__", [](const Variable& v) {
        return "Variable(name=" + std::string(py::repr(py::str(v.name))) + ", kind='" + v.kind +
               "', lower=" + ExactText(v.lower) + ", upper=" + ExactText(v.upper) + ", center=" + ExactText(v.center) +
               ", period=" + ExactText(v.period) + ", terms=" + IntegerText(v.terms) + ")";
      });

  py::class_<Series>(mod, "Series", "A series read by tabulor.read_series.")
      .def_property_readonly("file_name", [](const Series& s) { return s.model->FileName; })
      .def_property_readonly(
          "variables",
          [](const Series& s) {
            const Dimension& m = *s.model;
            std::vector<Variable> out;
            for (int v = 0; v <= m.LastVar; ++v)
              out.push_back({m.VarName[v], m.IsPower[v] ? "power" : "trigonometric", m.LowerLimit[v], m.UpperLimit[v],
                             m.Center[v], m.Period[v], m.LastTerm[v] + 1});
            return out;
          },
          "One Variable per variable of the series, variable 0 first.")
      .def_property_readonly(
          "coefficients",
          [](py::object self) {
            const Series& s = py::cast<const Series&>(self);
            const Dimension& m = *s.model;
            std::vector<py::ssize_t> shape, strides;
            py::ssize_t stride = sizeof(double);
            for (int v = 0; v <= m.LastVar; ++v) {
              shape.push_back(m.LastTerm[v] + 1);
              strides.push_back(stride);
              stride *= m.LastTerm[v] + 1;
            }
            py::array a(py::dtype::of<double>(), shape, strides, m.Coefficients.data(), self);
            py::detail::array_proxy(a.ptr())->flags &= ~py::detail::npy_api::NPY_ARRAY_WRITEABLE_;
            return a;
          },
          "The coefficients, shape (terms of variable 0, ...), k0 fastest; a read-only view.")
      .def(py::pickle([](const Series& s) { return SeriesState(s); },
                      [](const py::tuple& t) { return SeriesFromState(t); }));

  py::class_<Grid>(mod, "Grid", "A grid file as read by tabulor.read_grid.")
      .def_readonly("values", &Grid::values, "The values, shape (points of variable 0, ...), variable 0 fastest.")
      .def_readonly("grids", &Grid::grids, "The grid values of every variable.")
      .def_readonly("names", &Grid::names)
      .def_readonly("derivatives", &Grid::derivatives)
      .def_readonly("lower", &Grid::lower)
      .def_readonly("upper", &Grid::upper)
      .def_readonly("evenly_spaced", &Grid::evenly_spaced);

  mod.def("read_series", &ReadSeries, py::arg("path"), py::arg("progress") = py::none());
  mod.def("evaluate", &Evaluate, py::arg("series"), py::arg("grids") = py::none(), py::arg("derivatives") = py::none(),
          py::arg("threads") = py::none(), py::arg("progress") = py::none());
  mod.def("axis_grids", &AxisGrids, py::arg("series"), py::arg("grids") = py::none(),
          py::arg("derivatives") = py::none(), py::arg("values") = true);
  mod.def("even_grid_part", &EvenGridPart);
  mod.def("read_grid", &ReadGrid, py::arg("path"), py::arg("progress") = py::none());
  mod.def("write_grid", &WriteGrid, py::arg("path"), py::arg("values"), py::arg("grids"),
          py::arg("derivatives") = py::none(), py::arg("names") = py::none(), py::arg("progress") = py::none());
}
