// The main window on case S4 (10^8 grid points): filling the results list
// after a computation and painting it, jumping to lines anywhere in it by
// keys and by the scroll bar, the memory the list takes, and a computation
// started and cancelled as a user does it (Compute, then Cancel in the
// progress dialog). Runs without a display on Qt's offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>

#include "../tests/ui/ui_test_support.h"
#include "cases.h"
#include "engine/compute.h"
#include "model/number_text.h"
#include "qt_bench_main.h"
#include "ui/frm_tabulor.h"
#include "ui/results_list.h"

namespace {

using tabulor::Dimension;
using tabulor::FrmTabulor;

// Resident memory of the process, bytes.
double ResidentBytes() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return static_cast<double>(resident) * 4096.0;
}

Dimension& S4() {
  static std::unique_ptr<Dimension> m = [] {
    auto d = std::make_unique<Dimension>();
    bench::FillModel(*d, *bench::FindCase("S4"));
    d->FileName = "S4";
    const auto r = tabulor::Compute(*d, nullptr);
    if (r.outcome != tabulor::ComputeOutcome::Ok) std::fprintf(stderr, "S4: %s\n", r.message.c_str());
    return d;
  }();
  return *m;
}

// The main window as a user has it, the results of S4 in its model.
struct Window {
  FrmTabulor w;
  explicit Window(Dimension& m) : w(m) {
    w.resize(1000, 720);
    w.show();
    QApplication::processEvents();
  }
  tabulor::ResultsList& list() { return *tabulor::test::Ctl<tabulor::ResultsList>(w, "lstCoeff"); }
  // Paints now, as the event loop would, and runs what the paint queued.
  void Paint() {
    list().viewport()->repaint();
    QApplication::processEvents();
  }
};

// The results listed after a computation: the list's lines become those of the
// model's 10^8 points and the first screenful is painted.
void BM_ShowList1e8(benchmark::State& state) {
  Dimension& m = S4();
  Window win(m);
  win.list().setSource(nullptr);
  win.Paint();
  const double before = ResidentBytes();
  for (auto _ : state) {
    win.list().setSource(tabulor::MakeResultLinesSource(win.w.model()));
    win.Paint();
    state.PauseTiming();
    win.list().setSource(nullptr);  // an empty list, as before a computation
    win.Paint();
    state.ResumeTiming();
  }
  win.list().setSource(tabulor::MakeResultLinesSource(win.w.model()));
  win.Paint();
  state.counters["lines"] = static_cast<double>(win.list().count());
  state.counters["list_bytes"] = ResidentBytes() - before;
}

// End, Home and Page Down keys anywhere in the list, each followed by a paint.
void BM_KeyJumps1e8(benchmark::State& state) {
  Window win(S4());
  win.list().setSource(tabulor::MakeResultLinesSource(win.w.model()));
  win.list().setFocus();
  win.Paint();
  const int keys[] = {Qt::Key_End, Qt::Key_PageUp, Qt::Key_Home, Qt::Key_PageDown};
  int k = 0;
  for (auto _ : state) {
    QKeyEvent press(QEvent::KeyPress, keys[k++ % 4], Qt::NoModifier);
    QApplication::sendEvent(&win.list(), &press);
    win.Paint();
  }
  state.counters["last_row"] = static_cast<double>(win.list().currentRow());
}

// The scroll bar dragged to random places of a list longer than its range.
void BM_ScrollBarJumps1e8(benchmark::State& state) {
  Window win(S4());
  win.list().setSource(tabulor::MakeResultLinesSource(win.w.model()));
  win.Paint();
  QScrollBar* bar = win.list().verticalScrollBar();
  std::mt19937 random(7);
  std::uniform_int_distribution<int> where(bar->minimum(), bar->maximum());
  const double before = ResidentBytes();
  for (auto _ : state) {
    bar->setValue(where(random));
    win.Paint();
  }
  state.counters["top_row"] = static_cast<double>(win.list().topRow());
  state.counters["growth_bytes"] = ResidentBytes() - before;
}

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// The series file of S4, as a user would open it.
QByteArray S4SeriesText() {
  const bench::Case& c = *bench::FindCase("S4");
  std::string text = std::to_string(c.vars.size() - 1) + "\n";
  std::size_t n = 1;
  for (std::size_t v = 0; v < c.vars.size(); ++v) {
    const bench::VarSpec& s = c.vars[v];
    text += "x" + std::to_string(v) + "," + tabulor::NumberText(s.lo) + "," + tabulor::NumberText(s.hi) + "," +
            tabulor::NumberText(s.center) + "," + (s.power ? "#TRUE#" : "#FALSE#") + ",*," +
            std::to_string(s.terms - 1) + "\n";
    n *= static_cast<std::size_t>(s.terms);
  }
  text += "#TRUE#\n";
  for (std::size_t i = 0; i < n; ++i) text += tabulor::NumberText(1.0 / static_cast<double>(1 + i % 97)) + "\n";
  return QByteArray::fromStdString(text);
}

// The window with S4 opened and its grid typed in: 100 points and the
// case's derivative order for every variable.
void EnterS4(tabulor::test::Fixture& f) {
  const bench::Case& c = *bench::FindCase("S4");
  if (!f.openSeries(S4SeriesText())) std::fprintf(stderr, "S4 did not open\n");
  for (std::size_t k = 0; k < c.vars.size(); ++k) {
    f.typeInto(f.set(static_cast<int>(k)).txtGridPoints, QString::number(c.vars[k].points));
    f.typeInto(f.set(static_cast<int>(k)).txtDer, QString::number(c.vars[k].der));
    f.click(tabulor::test::Ctl<QPushButton>(*f.w, "cmdNextVar"));
  }
}

// Compute clicked with S4 in the window (the real engine on its worker
// thread): the time from the engine's end to the window showing the first
// screenful of the 10^8 lines, and the whole click.
void BM_ComputeS4InWindow(benchmark::State& state) {
  for (auto _ : state) {
    tabulor::test::Fixture f;
    EnterS4(f);
    Clock::time_point engine_done;
    f.user.compute = [&](Dimension& m, const tabulor::ProgressFn& p) {
      const auto r = tabulor::Compute(m, p);
      engine_done = Clock::now();
      return r;
    };
    const auto start = Clock::now();
    f.click(tabulor::test::Ctl<QPushButton>(*f.w, "cmdCompute"));
    tabulor::test::Ctl<tabulor::ResultsList>(*f.w, "lstCoeff")->viewport()->repaint();
    const auto shown = Clock::now();
    state.SetIterationTime(Seconds(start, shown));
    state.counters["engine_to_list_s"] = Seconds(engine_done, shown);
    state.counters["lines"] = static_cast<double>(tabulor::test::Ctl<tabulor::ResultsList>(*f.w, "lstCoeff")->count());
  }
}

// Cancel clicked in the progress dialog a while into the computation of S4:
// the time until the engine has stopped and until the window is back in
// its state before Compute.
void BM_CancelS4InWindow(benchmark::State& state) {
  for (auto _ : state) {
    tabulor::test::Fixture f;
    EnterS4(f);
    f.user.progressDelayMs = 100;
    Clock::time_point clicked{}, engine_done{};
    f.user.compute = [&](Dimension& m, const tabulor::ProgressFn& p) {
      const auto r = tabulor::Compute(m, p);
      engine_done = Clock::now();
      return r;
    };
    QTimer::singleShot(400, f.w.get(), [&] {
      QProgressDialog* d = f.w->progressDialog();
      if (d == nullptr) return;
      auto* cancel = d->findChild<QPushButton*>();
      if (cancel == nullptr) return;
      clicked = Clock::now();
      QTest::mouseClick(cancel, Qt::LeftButton);
    });
    f.click(tabulor::test::Ctl<QPushButton>(*f.w, "cmdCompute"));
    const auto back = Clock::now();
    if (clicked == Clock::time_point{} || f.w->formState() != FrmTabulor::FormState::SeriesLoaded) {
      state.SkipWithError("the computation was not cancelled (dialog not seen, or finished first)");
      return;
    }
    state.SetIterationTime(Seconds(clicked, back));
    state.counters["engine_stop_s"] = Seconds(clicked, engine_done);
  }
}

BENCHMARK(BM_ShowList1e8)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);
BENCHMARK(BM_KeyJumps1e8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ScrollBarJumps1e8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ComputeS4InWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_CancelS4InWindow)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

}  // namespace

int main(int argc, char** argv) { return RunQtBenchmarks(argc, argv); }
