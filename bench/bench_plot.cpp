// The plot window on 10^8 points: opening (reducing the curve or scanning
// the colour range once) and redrawing after a zoom or a drag. Runs without
// a display on Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <qcustomplot.h>

#include <QApplication>

#include <cmath>
#include <memory>

#include "qt_bench_main.h"
#include "ui/plot_data.h"
#include "ui/plot_window.h"

namespace {

using tabulor::Dimension;

// One variable with n points, or two with n0 x n1; the values wander so
// that every pixel column has a band to draw.
std::unique_ptr<Dimension> MakeModel(std::int64_t n0, std::int64_t n1) {
  auto m = std::make_unique<Dimension>();
  m->LastVar = n1 > 1 ? 1 : 0;
  m->VarName = {"x", "y", "", ""};
  m->LastPoint = {static_cast<std::int32_t>(n0 - 1), static_cast<std::int32_t>(n1 - 1), 0, 0};
  m->LastPt = m->LastPoint;
  m->GridX[0].resize(static_cast<std::size_t>(n0));
  for (std::int64_t i = 0; i < n0; ++i) m->GridX[0][static_cast<std::size_t>(i)] = static_cast<double>(i) / n0;
  m->GridX[1].resize(static_cast<std::size_t>(n1));
  for (std::int64_t i = 0; i < n1; ++i) m->GridX[1][static_cast<std::size_t>(i)] = static_cast<double>(i) / n1;
  m->GridX[2] = m->GridX[3] = {0.0};
  m->Results.Allocate({n0, n1, 1, 1});
  double* p = m->Results.data();
  const std::int64_t n = n0 * n1;
  double walk = 0;
  for (std::int64_t i = 0; i < n; ++i) {
    walk += static_cast<double>((i * 2654435761u) % 1000) * 1e-3 - 0.4995;
    p[i] = walk;
  }
  m->ResultsReady = true;
  return m;
}

const Dimension& Curve1e8() {
  static auto m = MakeModel(100000000, 1);
  return *m;
}
const Dimension& Map1e8() {
  static auto m = MakeModel(10000, 10000);
  return *m;
}

void Open(benchmark::State& state, const Dimension& m) {
  for (auto _ : state) {
    tabulor::PlotWindow w(m);
    w.resize(1200, 800);
    w.show();
    w.plot()->replot(QCustomPlot::rpImmediateRefresh);
    benchmark::DoNotOptimize(w.curve()->data()->size());
  }
}

// Zooms in and out and drags, one replot each.
void Redraw(benchmark::State& state, const Dimension& m) {
  tabulor::PlotWindow w(m);
  w.resize(1200, 800);
  w.show();
  w.plot()->replot(QCustomPlot::rpImmediateRefresh);
  const QCPRange x0 = w.plot()->xAxis->range();
  int step = 0;
  for (auto _ : state) {
    double shift = 0.01 * (step % 7);
    double scale = 1.0 - 0.1 * (step % 5);
    ++step;
    w.plot()->xAxis->setRange(x0.lower + shift, x0.lower + shift + x0.size() * scale);
    w.plot()->replot(QCustomPlot::rpImmediateRefresh);
  }
}

void BM_OpenCurve1e8(benchmark::State& s) { Open(s, Curve1e8()); }
void BM_RedrawCurve1e8(benchmark::State& s) { Redraw(s, Curve1e8()); }
void BM_OpenMap1e8(benchmark::State& s) { Open(s, Map1e8()); }
void BM_RedrawMap1e8(benchmark::State& s) { Redraw(s, Map1e8()); }

// The reduction alone: 10^8 points onto 1200 columns, summaries built once.
void BM_ReduceCurve1e8(benchmark::State& state) {
  const Dimension& m = Curve1e8();
  tabulor::plot::GridAxis axis(m.GridX[0].data(), 100000000);
  tabulor::plot::CurveReducer reducer(&axis, m.Results.data(), 1);
  std::vector<tabulor::plot::CurvePoint> out;
  bool all;
  for (auto _ : state) {
    reducer.Reduce(0.0, 1.0, 1200, 200, out, all);
    benchmark::DoNotOptimize(out.data());
  }
}

void BM_BuildCurveSummary1e8(benchmark::State& state) {
  const Dimension& m = Curve1e8();
  tabulor::plot::GridAxis axis(m.GridX[0].data(), 100000000);
  for (auto _ : state) {
    tabulor::plot::CurveReducer reducer(&axis, m.Results.data(), 1);
    benchmark::DoNotOptimize(reducer.max());
  }
}

BENCHMARK(BM_OpenCurve1e8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_RedrawCurve1e8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_OpenMap1e8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_RedrawMap1e8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ReduceCurve1e8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BuildCurveSummary1e8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
