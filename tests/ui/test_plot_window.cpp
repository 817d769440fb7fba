// The plot window: maps and curves of the results, pictures, CSV and menus.
#include "ui_test_support.h"

#include <qcustomplot.h>

#include <QMenuBar>

#include "engine/compute.h"
#include "model/grid_capture.h"
#include "model/number_text.h"
#include "model/series_file.h"
#include "output/csv_export.h"
#include "ui/plot_data.h"
#include "ui/plot_window.h"

using namespace tabulor;
using namespace tabulor::test;

namespace {

// An example series computed on points[v] grid points with derivative orders der[v].
Dimension Computed(const char* file, std::vector<int> points, std::vector<int> der) {
  Dimension m;
  ReadSeriesFile(m, std::string(TABULOR_EXAMPLES_DIR "/") + file);
  auto spec = DefaultGridSpec(m);
  for (std::size_t v = 0; v < points.size(); ++v) {
    spec[v].points = IntegerText(points[v]);
    spec[v].der = IntegerText(der[v]);
  }
  if (!CaptureGridSpecs(m, spec).empty() || Compute(m).outcome != ComputeOutcome::Ok) qFatal("not computed");
  return m;
}

// Variable x on the given grid (and y = 0, 1, ... for more rows) with the given values.
Dimension Table(const std::vector<double>& x, const std::vector<double>& values, int rows = 1) {
  Dimension m;
  m.LastVar = rows > 1;
  m.VarName = {"x", "y", "", ""};
  m.LastPoint = m.LastPt = {static_cast<std::int32_t>(x.size()) - 1, rows - 1, 0, 0};
  m.GridX = {x, {0.0}, {0.0}, {0.0}};
  for (int r = 1; r < rows; ++r) m.GridX[1].push_back(r);
  if (!m.Results.Allocate({static_cast<std::int64_t>(x.size()), rows, 1, 1})) qFatal("no memory");
  std::copy(values.begin(), values.end(), m.Results.data());
  m.ResultsReady = true;
  return m;
}

// The result at the window's held indices, with variable a at ia and b at ib.
double HeldResult(PlotWindow& w, const Dimension& m, int a, std::int64_t ia, int b = -1, std::int64_t ib = 0) {
  std::array<std::int64_t, 4> j{};
  for (int v = 0; v <= m.LastVar; ++v) j[v] = w.heldIndex(v);
  j[a] = ia;
  if (b >= 0) j[b] = ib;
  return m.Results(j[0], j[1], j[2], j[3]);
}

// Every grid point of the shown map slice lies in a cell that holds its value.
void CheckMap(PlotWindow& w, const Dimension& m) {
  const int a = w.horizontalVariable(), b = w.verticalVariable();
  QCPColorMapData* d = w.colourMap()->data();
  QVERIFY(w.colourMap()->visible());
  for (std::int64_t ia = 0; ia <= m.LastPt[a]; ++ia)
    for (std::int64_t ib = 0; ib <= m.LastPt[b]; ++ib) {
      int c = -1, r = -1;
      d->coordToCell(m.GridX[a][ia], m.GridX[b][ib], &c, &r);
      QVERIFY(c >= 0 && c < d->keySize() && r >= 0 && r < d->valueSize());
      QCOMPARE(d->cell(c, r), HeldResult(w, m, a, ia, b, ib));
    }
  // The cells at the edges hold the values of the grid points nearest to them.
  auto nearest = [&](int v, double x) {
    const auto& g = m.GridX[v];
    return std::min_element(g.begin(), g.begin() + m.LastPt[v] + 1,
                            [x](double p, double q) { return std::abs(p - x) < std::abs(q - x); }) -
           g.begin();
  };
  for (int c : {0, d->keySize() - 1})
    for (int r : {0, d->valueSize() - 1}) {
      double x = 0, y = 0;
      d->cellToCoord(c, r, &x, &y);
      QCOMPARE(d->cell(c, r), HeldResult(w, m, a, nearest(a, x), b, nearest(b, y)));
    }
}

// The curve's points are the grid points along its variable, in order of the abscissa.
void CheckCurve(PlotWindow& w, const Dimension& m) {
  const int a = w.horizontalVariable();
  std::vector<std::pair<double, double>> want, got;
  for (std::int64_t i = 0; i <= m.LastPt[a]; ++i) want.push_back({m.GridX[a][i], HeldResult(w, m, a, i)});
  std::stable_sort(want.begin(), want.end(), [](auto& p, auto& q) { return p.first < q.first; });
  for (const QCPCurveData& p : *w.curve()->data()) got.push_back({p.key, p.value});
  if (got.size() > 1 && got.front().first > got.back().first) std::reverse(got.begin(), got.end());
  QVERIFY(got == want);
}

QString Text(double x) { return QString::fromStdString(NumberText(x)); }

struct Shown {
  FakeUser user;
  PlotWindow w;
  explicit Shown(const Dimension& m) : w(m, user) {
    w.resize(900, 640);
    w.show();
    Activate(&w);
    w.plot()->replot();
  }
  QWidget* operator[](const char* name) { return Ctl(w, name); }
  QString label(const char* name) { return Ctl<QLabel>(w, name)->text(); }
  void key(const char* control, Qt::Key key) {
    Ctl(w, control)->setFocus();
    QTest::keyClick(Ctl(w, control), key);
  }
  QString axisTitles() {
    return w.plot()->xAxis->label() + "|" + w.plot()->yAxis->label() + "|" +
           w.colourMap()->colorScale()->axis()->label();
  }
};

}  // namespace

class TestPlotWindow : public QObject {
  Q_OBJECT

 private slots:
  // One variable is a curve; a flat one still gets a range.
  void oneVariableIsACurve() {
    for (int der : {0, 2}) {
      Dimension m = Computed("poly.ser", {7}, {der});
      Shown s(m);
      QCOMPARE(s.w.mode(), PlotWindow::Mode::Curve);
      QVERIFY(!s["cboPlotMode"]->isVisible() && !s["cboPlotY"]->isVisible() && !s.w.colourMap()->visible());
      QCOMPARE(s.w.curve()->scatterStyle().shape(), QCPScatterStyle::ssCircle);
      CheckCurve(s.w, m);
      QCOMPARE(s.axisTitles(), QString::fromUtf8(der ? "x|d²/dx² value|" : "x|value|"));
      QVERIFY(s.w.plot()->yAxis->range().contains(6.0) && s.w.plot()->yAxis->range().size() > 0);
    }
  }

  // Typed grids: a curve runs in order of the abscissa.
  void typedGridsAreDrawnInOrder() {
    for (const std::vector<double>& typed : {std::vector<double>{3, 2, 0.5, 0}, {0, 12, 3.14, 4.71, 6.28, 7.5}}) {
      std::vector<double> y;
      for (double v : typed) y.push_back(std::sin(v));
      Dimension c = Table(typed, y);
      Shown t(c);
      CheckCurve(t.w, c);
    }
  }

  // Sliders hold the variables not on the axes, which the boxes choose.
  void heldVariablesAndAxes() {
    Dimension m = Computed("four.ser", {5, 4, 3, 3}, {0, 1, 0, 0});
    Shown s(m);
    QVERIFY(s["sldHeld2"]->isVisible() && s["sldHeld3"]->isVisible() && !s["sldHeld0"]->isVisible());
    s.key("sldHeld2", Qt::Key_Right);
    QCOMPARE(s.label("lblHeld2"), QStringLiteral("= %1   (point 2 of 3)").arg(Text(m.GridX[2][1])));
    s.key("sldHeld3", Qt::Key_End);
    CheckMap(s.w, m);
    std::vector<double> slice;
    for (int j = 0; j < 20; ++j) slice.push_back(m.Results(j % 5, j / 5, 1, 2));
    const auto [lo, hi] = std::minmax_element(slice.begin(), slice.end());
    QVERIFY(s.w.colourMap()->dataRange() == QCPRange(*lo, *hi));
    s.key("cboPlotY", Qt::Key_Down);  // c on the vertical axis: b is held instead
    QCOMPARE(s.axisTitles(), QString::fromUtf8("a|c|∂/∂b value"));
    // The title names the file and the held variables at their points.
    auto* title = qobject_cast<QCPTextElement*>(s.w.plot()->plotLayout()->element(0, 0));
    QCOMPARE(title->text(), QStringLiteral("four.ser    b=%1,  d=%2").arg(Text(m.GridX[1][0]), Text(m.GridX[3][2])));
    QVERIFY(s["sldHeld1"]->isVisible() && !s["sldHeld2"]->isVisible());
    s.key("sldHeld1", Qt::Key_PageUp);
    QCOMPARE(s.w.heldIndex(1) * 100 + s.w.heldIndex(2) * 10 + s.w.heldIndex(3), 112);
    CheckMap(s.w, m);
    s.key("cboPlotX", Qt::Key_Down);
    s.key("cboPlotX", Qt::Key_Down);
    QCOMPARE(s.w.horizontalVariable() * 10 + s.w.verticalVariable(), 21);
    CheckMap(s.w, m);
    s.key("cboPlotMode", Qt::Key_Down);  // a curve along one variable, the others held
    QVERIFY(!s.w.colourMap()->visible() && !s.w.colourMap()->colorScale()->visible() && !s["cboPlotY"]->isVisible());
    CheckCurve(s.w, m);
    s.key("sldHeld1", Qt::Key_Right);
    s.key("cboPlotX", Qt::Key_Up);
    s.key("sldHeld0", Qt::Key_Right);
    QCOMPARE(s.w.plot()->xAxis->label() + "|" + s.w.plot()->yAxis->label() + QString::number(s.w.heldIndex(0)),
             QString::fromUtf8("b|∂/∂b value1"));
    CheckCurve(s.w, m);
  }

  // Pictures as PNG or PDF, others refused, failures told; CSV; the File menu's keys.
  void picturesAndCsv() {
    Dimension m = Computed("wave.ser", {30, 20}, {0, 0});
    Shown s(m);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder.png"));
    for (const char* name : {"map.png", "map.pdf", "noext", "map.jpg", "missing/map.png", "folder.png"}) {
      s.user.exportAnswers << dir.filePath(name);
      QTest::mouseClick(s["cmdPlotSave"], Qt::LeftButton);
    }
    QTest::keyClick(&s.w, Qt::Key_S, Qt::ControlModifier);  // cancelled
    QCOMPARE(s.user.exportCaptions, QStringList(7, "Save Picture"));
    QCOMPARE(s.user.messages.size(), 3);
    QVERIFY(s.user.messages[0].contains("map.jpg") && s.user.messages[1].contains("missing/map.png") &&
            s.user.messages[2].contains("folder.png"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"map.pdf", "map.png", "noext.png"}));
    QVERIFY(QImage(dir.filePath("map.png")).size() == s.w.plot()->size() &&
            !QImage(dir.filePath("noext.png")).isNull());
    QVERIFY(ReadBytes(dir.filePath("map.pdf")).startsWith("%PDF-"));
    s.user.exportAnswers << dir.filePath("values");
    QTest::keyClick(&s.w, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(s.user.exportCaptions.last(), QStringLiteral("Export CSV"));
    QCOMPARE(ReadBytes(dir.filePath("values.csv")).toStdString(), CsvText(m));
    QVERIFY(!s.w.exportCsv(dir.filePath("missing/values.csv")) &&
            s.user.messages.value(3).contains("missing/values.csv"));
    CheckMap(s.w, m);
    QTest::keySequence(&s.w, QKeySequence::Close);
    QVERIFY(!s.w.isVisible());
  }

  // Per pixel column the reduced curve keeps the smallest and largest value.
  void reductionMatchesAFullScan_data() {
    QTest::addColumn<int>("order");
    QTest::newRow("ascending") << 0;
    QTest::newRow("descending") << 1;
    QTest::newRow("unordered") << 2;
  }
  void reductionMatchesAFullScan() {
    QFETCH(int, order);
    const int n = 20000, columns = 333;
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; ++i) {
      const double t = order == 2 ? std::fmod(i * 7919.0, n) : i;
      x[i] = order == 1 ? -t * 0.37 : t * 0.37 + (i % 3) * 0.01 * (order == 0);
      y[i] = std::sin(i * 0.013) * std::cos(i * 0.0007) + (i % 101 == 0 ? 0.5 : 0.0);
    }
    plot::GridAxis axis(x.data(), n);
    QCOMPARE(axis.monotone(), order != 2);
    const double lo = axis.min() + 0.2 * (axis.max() - axis.min()), hi = axis.max() - 0.3 * (axis.max() - axis.min());
    // Smallest and largest per column, of all points and of those drawn.
    std::map<int, std::pair<double, double>> want;
    auto note = [&](std::map<int, std::pair<double, double>>& bands, double xv, double yv) {
      if (xv < lo || xv > hi) return;
      auto [it, added] =
          bands.try_emplace(std::min(static_cast<int>((xv - lo) * columns / (hi - lo)), columns - 1), yv, yv);
      it->second = {std::min(it->second.first, yv), std::max(it->second.second, yv)};
    };
    for (int i = 0; i < n; ++i) note(want, x[i], y[i]);
    // The values alone, and every second one of an array whose others (9, -9, ...) are not on the curve.
    std::vector<double> strided(2 * n);
    for (int i = 0; i < n; ++i) strided[2 * i] = y[i], strided[2 * i + 1] = i % 2 ? -9 : 9;
    for (std::int64_t limit : {200, n, n + 1}) {
      std::vector<plot::CurvePoint> out;
      std::map<int, std::pair<double, double>> got;
      bool all = false;
      const plot::CurveReducer reducer(&axis, limit > n ? strided.data() : y.data(), limit > n ? 2 : 1);
      const auto [y_lo, y_hi] = std::minmax_element(y.begin(), y.end());
      QVERIFY(reducer.min() == *y_lo && reducer.max() == *y_hi);
      reducer.Reduce(lo, hi, columns, limit, out, all);
      QVERIFY(all == (limit >= n) && (all || out.size() <= 4 * (columns + 2)));
      for (std::size_t k = 0; k < out.size(); ++k) {
        QVERIFY(out[k].index >= 0 && out[k].index < n && out[k].x == x[out[k].index] && out[k].y == y[out[k].index]);
        // The line runs along the axis: a sorted grid in index order, any other in order of its values.
        if (k > 0) QVERIFY(order == 2 ? out[k].x >= out[k - 1].x : out[k].index > out[k - 1].index);
        note(got, out[k].x, out[k].y);
      }
      QVERIFY(got == want);
    }
  }

  // Without results, after they changed, or beyond 1E+250 nothing is drawn
  // and a note says why; tiny nearly equal values get a range around them.
  void whatCannotBeDrawnIsNamed() {
    Dimension empty, m = Computed("wave.ser", {8, 5}, {0, 0});
    Shown none(empty), s(m);
    QTest::keyClick(&none.w, Qt::Key_S, Qt::ControlModifier);
    QVERIFY(none.label("lblPlotNote") == "There are no results to plot." && none.user.exportCaptions.isEmpty());
    QVERIFY(!none.w.curve()->visible() && !none.w.colourMap()->visible() && !s["lblPlotNote"]->isVisible());
    m.Results.Allocate({3, 3, 1, 1});
    s.w.plot()->replot();
    QVERIFY(s.label("lblPlotNote").startsWith("The results have changed") && !s.w.colourMap()->visible());
    for (double big : {1e300, 1e-290}) {
      Dimension c = Table({0, 1, 2}, {big, -big, 2 * big, big, big, -big}, 2);
      Shown t(c);
      for (bool curve : {false, true}) {
        QCOMPARE(t.label("lblPlotNote").contains("cannot be drawn") && t["lblPlotNote"]->isVisible(), big > 1);
        QCOMPARE(curve ? t.w.curve()->visible() : t.w.colourMap()->visible(), big < 1);
        const QCPRange range = curve ? t.w.plot()->yAxis->range() : t.w.colourMap()->dataRange();
        if (big < 1) QVERIFY(range.contains(2e-290) && range.size() < 1e-260);
        t.key("cboPlotMode", Qt::Key_Down);  // to the curve
      }
    }
  }

  // "Plot" of the main window opens the plot window, not modal.
  void plotMenuOfTheMainWindow() {
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    for (int computed : {0, 1}) {
      if (computed) f.click("cmdCompute");
      const QRect entry = f.w->menuBar()->actionGeometry(Ctl<QAction>(*f.w, "mnuPlot"));
      QTest::mouseClick(f.w->menuBar(), Qt::LeftButton, {}, entry.center());
      QTRY_COMPARE(f.w->findChildren<PlotWindow*>().size(), computed);
    }
    QVERIFY(f.w->findChild<PlotWindow*>()->isVisible() && !QApplication::activeModalWidget());
    f.w->findChild<PlotWindow*>()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(f.w->findChildren<PlotWindow*>().isEmpty());
  }

  // Two variables are a colour map; the point under the mouse is named. The
  // picture of the documentation when TABULOR_PLOT_SCREENSHOT names a file.
  void screenshotOfATwoVariableMap() {
    Dimension m = Computed("wave.ser", {60, 40}, {0, 0});
    m.FileName = "examples/wave.ser";
    Shown s(m);
    s.w.resize(960, 680);
    QTRY_COMPARE(s.w.size(), QSize(960, 680));
    QCustomPlot* plot = s.w.plot();
    plot->replot();
    QVERIFY(s.w.mode() == PlotWindow::Mode::ColourMap && s.axisTitles() == "t|y|value");
    const auto [lo, hi] = std::minmax_element(m.Results.data(), m.Results.data() + 60 * 40);
    QVERIFY(s.w.colourMap()->dataRange() == QCPRange(*lo, *hi));
    const QCPRange x0 = plot->xAxis->range(), y0 = plot->yAxis->range();
    QCOMPARE(x0.lower, m.GridX[0][0] - (m.GridX[0][1] - m.GridX[0][0]) / 2);
    QCOMPARE(x0.upper, m.GridX[0][59] + (m.GridX[0][59] - m.GridX[0][58]) / 2);
    CheckMap(s.w, m);
    const QPoint at(qRound(plot->xAxis->coordToPixel(m.GridX[0][21])),
                    qRound(plot->yAxis->coordToPixel(m.GridX[1][28])));
    QCursor::setPos(plot->mapToGlobal(at));  // where a window system has a pointer
    QTest::mouseMove(plot, at);
    QTRY_COMPARE(s.w.pointText(), "t=" + Text(m.GridX[0][21]) + "  y=" + Text(m.GridX[1][28]) +
                                      "    value=" + Text(m.Results(21, 28, 0, 0)));
    const QString target = qEnvironmentVariable("TABULOR_PLOT_SCREENSHOT");
    if (!target.isEmpty()) QVERIFY(s.w.grab().save(target, "PNG"));
    plot->xAxis->setRange(x0.upper + 1, x0.upper + 2);  // off the grid
    plot->replot();
    QTest::mouseMove(plot, plot->axisRect()->rect().center());
    QCOMPARE(s.w.pointText(), QString());
    QTest::keyClick(&s.w, Qt::Key_0, Qt::ControlModifier);  // "Reset View"
    QVERIFY(plot->xAxis->range() == x0 && plot->yAxis->range() == y0);
  }
};

QTEST_MAIN(TestPlotWindow)
#include "test_plot_window.moc"
