// The plot window: curves and colour maps on the real results, held
// variables, uneven grids, zoom and drag, saving pictures and CSV.
#include <qcustomplot.h>

#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <map>
#include <set>
#include <vector>

#include "engine/compute.h"
#include "model/grid_capture.h"
#include "model/grid_file.h"
#include "model/number_text.h"
#include "model/series_file.h"
#include "output/csv_export.h"
#include "real_dialogs.h"
#include "ui/plot_data.h"
#include "ui/plot_window.h"

using tabulor::Dimension;
using tabulor::PlotWindow;

namespace {

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString Example(const char* name) { return QString(TABULOR_EXAMPLES_DIR) + "/" + name; }

// The series of an example file on the given grid: points[v] evenly spaced
// points, or the typed values uneven[v] when given; der[v] derivative order.
Dimension Computed(const char* file, std::vector<int> points, std::vector<int> der = {},
                   std::map<int, std::vector<double>> uneven = {}) {
  Dimension m;
  auto read = tabulor::ReadSeriesFile(m, Example(file).toStdString());
  if (read.outcome != tabulor::SeriesReadOutcome::Ok) qFatal("cannot read %s: %s", file, read.message.c_str());
  auto spec = tabulor::DefaultGridSpec(m);
  for (std::size_t v = 0; v < points.size(); ++v) spec[v].points = tabulor::IntegerText(points[v]);
  for (std::size_t v = 0; v < der.size(); ++v) spec[v].der = tabulor::IntegerText(der[v]);
  for (const auto& [v, xs] : uneven) {
    spec[v].spaced = false;
    spec[v].points = tabulor::IntegerText(static_cast<std::int64_t>(xs.size()));
    m.EvenlySpaced[v] = false;
    m.GridX[v] = xs;
  }
  std::string why = tabulor::CaptureGridSpecs(m, spec);
  if (!why.empty()) qFatal("grid refused: %s", why.c_str());
  auto r = tabulor::Compute(m);
  if (r.outcome != tabulor::ComputeOutcome::Ok) qFatal("compute failed: %s", r.message.c_str());
  return m;
}

// One variable with the given grid and values, set directly.
Dimension Curve(const std::vector<double>& x, const std::vector<double>& y) {
  Dimension m;
  m.LastVar = 0;
  m.VarName[0] = "x";
  m.LastPoint[0] = m.LastPt[0] = static_cast<std::int32_t>(x.size()) - 1;
  m.GridX[0] = x;
  for (int v = 1; v < 4; ++v) m.GridX[v] = {0.0};
  m.Results.Allocate({static_cast<std::int64_t>(x.size()), 1, 1, 1});
  std::copy(y.begin(), y.end(), m.Results.data());
  m.ResultsReady = true;
  return m;
}

double Result(const Dimension& m, std::array<std::int64_t, 4> j) { return m.Results(j[0], j[1], j[2], j[3]); }

// Every grid point of the shown map slice lies in a cell that holds its
// value; `at` gives the held indices, a and b the shown variables.
void CheckMapMatches(PlotWindow& w, const Dimension& m) {
  const int a = w.horizontalVariable(), b = w.verticalVariable();
  QCPColorMapData* d = w.colourMap()->data();
  QVERIFY(w.colourMap()->visible());
  std::array<std::int64_t, 4> j{};
  for (int v = 0; v <= m.LastVar; ++v) j[v] = w.heldIndex(v);
  int checked = 0;
  for (std::int64_t ia = 0; ia <= m.LastPt[a]; ++ia)
    for (std::int64_t ib = 0; ib <= m.LastPt[b]; ++ib) {
      j[a] = ia;
      j[b] = ib;
      int c = -1, r = -1;
      d->coordToCell(m.GridX[a][ia], m.GridX[b][ib], &c, &r);
      QVERIFY2(c >= 0 && c < d->keySize() && r >= 0 && r < d->valueSize(),
               qPrintable(QString("grid point %1,%2 outside the map").arg(ia).arg(ib)));
      QCOMPARE(d->cell(c, r), Result(m, j));
      ++checked;
    }
  QCOMPARE(checked, (m.LastPt[a] + 1) * (m.LastPt[b] + 1));
}

// The curve's points are exactly the grid points along the curve variable.
void CheckCurveMatches(PlotWindow& w, const Dimension& m) {
  const int a = w.horizontalVariable();
  std::array<std::int64_t, 4> j{};
  for (int v = 0; v <= m.LastVar; ++v) j[v] = w.heldIndex(v);
  auto data = w.curve()->data();
  QCOMPARE(data->size(), m.LastPt[a] + 1);
  int i = 0;
  for (auto it = data->constBegin(); it != data->constEnd(); ++it, ++i) {
    j[a] = i;
    QCOMPARE(it->key, m.GridX[a][i]);
    QCOMPARE(it->value, Result(m, j));
  }
}

QPoint PixelOf(PlotWindow& w, double x, double y) {
  return QPoint(qRound(w.plot()->xAxis->coordToPixel(x)), qRound(w.plot()->yAxis->coordToPixel(y)));
}

void Wheel(QWidget* target, QPoint at, int delta) {
  QWheelEvent e(QPointF(at), QPointF(target->mapToGlobal(at)), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                Qt::NoScrollPhase, false);
  QApplication::sendEvent(target, &e);
}

}  // namespace

class TestPlotWindow : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QStringList messages_;
  QString next_save_;
  QStringList captions_;
  // The save dialog answers next_save_ (unless the real one is asked for)
  // and messages are recorded.
  struct PlotUser : tabulor::UiServices {
    TestPlotWindow* test = nullptr;
    bool realSaveDialog = false;
    QString SaveExportName(QWidget* parent, const QString& caption, const QString& suggested,
                           const QString& filters) override {
      if (realSaveDialog) return tabulor::UiServices::SaveExportName(parent, caption, suggested, filters);
      test->captions_ << caption;
      return test->next_save_;
    }
    void Message(QWidget*, QMessageBox::Icon, const QString&, const QString& text) override { test->messages_ << text; }
  };
  PlotUser user_;

  void Show(PlotWindow& w) {
    w.resize(900, 640);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.plot()->replot();
  }
  QString Path(const QString& name) const { return dir_.filePath(name); }

 private slots:
  void init() {
    messages_.clear();
    captions_.clear();
    next_save_.clear();
    user_.test = this;
    user_.realSaveDialog = false;
  }

  void oneVariableIsACurveWithMarkers() {
    Dimension m = Computed("poly.ser", {7}, {0});
    PlotWindow w(m, user_);
    Show(w);
    QCOMPARE(w.mode(), PlotWindow::Mode::Curve);
    QVERIFY(!w.findChild<QComboBox*>("cboPlotMode")->isVisible());
    QVERIFY(!w.findChild<QComboBox*>("cboPlotY")->isVisible());
    QVERIFY(!w.colourMap()->visible());
    CheckCurveMatches(w, m);
    QCOMPARE(w.curve()->scatterStyle().shape(), QCPScatterStyle::ssCircle);
    QCOMPARE(w.plot()->xAxis->label(), QString("x"));
    QCOMPARE(w.plot()->yAxis->label(), QString("value"));

    Dimension d2 = Computed("poly.ser", {7}, {2});
    PlotWindow w2(d2, user_);
    Show(w2);
    QCOMPARE(w2.plot()->yAxis->label(), QString::fromUtf8("d²/dx² value"));
    CheckCurveMatches(w2, d2);
    // 1 + 2x + 3x², twice differentiated: 6 everywhere. The flat curve still
    // gets a range around it.
    QVERIFY(w2.plot()->yAxis->range().contains(6.0));
    QVERIFY(w2.plot()->yAxis->range().size() > 0);
  }

  void twoVariablesAreAColourMapAtTheRightValues() {
    Dimension m = Computed("wave.ser", {60, 40}, {0, 1});
    PlotWindow w(m, user_);
    Show(w);
    QCOMPARE(w.mode(), PlotWindow::Mode::ColourMap);
    QCOMPARE(w.horizontalVariable(), 0);
    QCOMPARE(w.verticalVariable(), 1);
    QCOMPARE(w.plot()->xAxis->label(), QString("t"));
    QCOMPARE(w.plot()->yAxis->label(), QString("y"));
    auto* scale = w.colourMap()->colorScale();
    QVERIFY(scale && scale->visible());
    QCOMPARE(scale->axis()->label(), QString::fromUtf8("∂/∂y value"));
    // The colours span exactly the values of the slice.
    double lo = m.Results(0, 0, 0, 0), hi = lo;
    for (int j1 = 0; j1 < 40; ++j1)
      for (int j0 = 0; j0 < 60; ++j0) {
        lo = std::min(lo, m.Results(j0, j1, 0, 0));
        hi = std::max(hi, m.Results(j0, j1, 0, 0));
      }
    QCOMPARE(w.colourMap()->dataRange().lower, lo);
    QCOMPARE(w.colourMap()->dataRange().upper, hi);
    CheckMapMatches(w, m);
    // The grid's edges: half a step beyond the first and last grid values.
    double step = m.GridX[0][1] - m.GridX[0][0];
    QCOMPARE(w.plot()->xAxis->range().lower, m.GridX[0][0] - step / 2);
    QCOMPARE(w.plot()->xAxis->range().upper, m.GridX[0][59] + (m.GridX[0][59] - m.GridX[0][58]) / 2);
    // No slider is shown: both variables are on the axes.
    QVERIFY(!w.findChild<QSlider*>("sldHeld0")->isVisible());
    QVERIFY(!w.findChild<QSlider*>("sldHeld1")->isVisible());
  }

  void unevenGridsAreDrawnAtTheirValues() {
    std::vector<double> ys{-1, -0.9, -0.8, 0.5, 1};
    Dimension m = Computed("wave.ser", {12, 5}, {0, 0}, {{1, ys}});
    PlotWindow w(m, user_);
    Show(w);
    CheckMapMatches(w, m);
    QCPColorMapData* d = w.colourMap()->data();
    auto cell_at = [&](double x, double y) {
      int c, r;
      d->coordToCell(x, y, &c, &r);
      return d->cell(c, r);
    };
    const double x = m.GridX[0][3];
    // Between -0.8 and 0.5 the boundary is their midpoint, -0.15.
    QCOMPARE(cell_at(x, -0.2), m.Results(3, 2, 0, 0));
    QCOMPARE(cell_at(x, -0.1), m.Results(3, 3, 0, 0));
    QCOMPARE(cell_at(x, 0.4), m.Results(3, 3, 0, 0));
    QCOMPARE(cell_at(x, 0.8), m.Results(3, 4, 0, 0));
    QVERIFY(std::abs(w.plot()->yAxis->range().lower - -1.05) < 1e-12);
    QCOMPARE(w.plot()->yAxis->range().upper, 1.25);

    // A descending typed grid along a curve.
    Dimension c = Curve({3, 2, 0.5, 0}, {30, 20, 5, 0});
    PlotWindow wc(c, user_);
    Show(wc);
    auto data = wc.curve()->data();
    QCOMPARE(data->size(), 4);
    QCOMPARE(data->at(0)->key, 3.0);
    QCOMPARE(data->at(3)->key, 0.0);
    QCOMPARE(data->at(2)->value, 5.0);
  }

  // A grid typed out of order is drawn along the axis, not in the order
  // the values were typed: no zig-zag back and forth.
  void unorderedGridIsDrawnInOrderOfItsValues() {
    const std::vector<double> typed{0, 12, 3.14, 4.71, 6.28, 7.5};
    std::vector<double> y;
    for (double x : typed) y.push_back(std::sin(x));
    Dimension m = Curve(typed, y);
    PlotWindow w(m, user_);
    Show(w);
    QVERIFY(w.curve()->visible());
    auto data = w.curve()->data();
    QCOMPARE(data->size(), 6);
    const std::vector<double> along{0, 3.14, 4.71, 6.28, 7.5, 12};
    for (int k = 0; k < 6; ++k) {
      QCOMPARE(data->at(k)->key, along[static_cast<std::size_t>(k)]);
      QCOMPARE(data->at(k)->value, std::sin(along[static_cast<std::size_t>(k)]));
    }
  }

  void fourVariablesHoldTheOthersWithSliders() {
    Dimension m = Computed("four.ser", {5, 4, 3, 3}, {0, 1, 0, 0});
    PlotWindow w(m, user_);
    Show(w);
    QCOMPARE(w.mode(), PlotWindow::Mode::ColourMap);
    auto* s2 = w.findChild<QSlider*>("sldHeld2");
    auto* s3 = w.findChild<QSlider*>("sldHeld3");
    QVERIFY(s2->isVisible() && s3->isVisible());
    QVERIFY(!w.findChild<QSlider*>("sldHeld0")->isVisible());
    QCOMPARE(s2->maximum(), 2);
    CheckMapMatches(w, m);

    s2->setFocus();
    QTest::keyClick(s2, Qt::Key_Right);
    QCOMPARE(w.heldIndex(2), 1);
    QCOMPARE(w.findChild<QLabel*>("lblHeld2")->text(),
             QString("= %1   (point 2 of 3)").arg(QString::fromStdString(tabulor::NumberText(m.GridX[2][1]))));
    CheckMapMatches(w, m);
    s3->setFocus();
    QTest::keyClick(s3, Qt::Key_End);
    QCOMPARE(w.heldIndex(3), 2);
    CheckMapMatches(w, m);
    // The colour range follows the slice.
    double lo = INFINITY, hi = -INFINITY;
    for (int j1 = 0; j1 < 4; ++j1)
      for (int j0 = 0; j0 < 5; ++j0) {
        lo = std::min(lo, m.Results(j0, j1, 1, 2));
        hi = std::max(hi, m.Results(j0, j1, 1, 2));
      }
    QCOMPARE(w.colourMap()->dataRange().lower, lo);
    QCOMPARE(w.colourMap()->dataRange().upper, hi);

    // Variable 2 onto the vertical axis: variable 1 is held instead.
    auto* ybox = w.findChild<QComboBox*>("cboPlotY");
    ybox->setFocus();
    QTest::keyClick(ybox, Qt::Key_Down);
    QCOMPARE(w.verticalVariable(), 2);
    QVERIFY(w.findChild<QSlider*>("sldHeld1")->isVisible());
    QVERIFY(!s2->isVisible());
    QCOMPARE(w.plot()->yAxis->label(), QString("c"));
    CheckMapMatches(w, m);
    auto* s1 = w.findChild<QSlider*>("sldHeld1");
    s1->setFocus();
    QTest::keyClick(s1, Qt::Key_PageUp);
    QCOMPARE(w.heldIndex(1), 1);
    CheckMapMatches(w, m);

    // Picking the vertical variable as the horizontal one swaps them.
    auto* xbox = w.findChild<QComboBox*>("cboPlotX");
    xbox->setFocus();
    QTest::keyClick(xbox, Qt::Key_Down);
    QTest::keyClick(xbox, Qt::Key_Down);
    QCOMPARE(w.horizontalVariable(), 2);
    QCOMPARE(w.verticalVariable(), 1);
    CheckMapMatches(w, m);
  }

  void curveAlongOneVariableWithTheOthersHeld() {
    Dimension m = Computed("wave.ser", {30, 7}, {1, 0});
    PlotWindow w(m, user_);
    Show(w);
    auto* mode = w.findChild<QComboBox*>("cboPlotMode");
    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Down);
    QCOMPARE(w.mode(), PlotWindow::Mode::Curve);
    QVERIFY(!w.colourMap()->visible());
    QVERIFY(w.curve()->visible());
    QVERIFY(!w.colourMap()->colorScale()->visible());
    QCOMPARE(w.plot()->yAxis->label(), QString::fromUtf8("∂/∂t value"));
    auto* s1 = w.findChild<QSlider*>("sldHeld1");
    QVERIFY(s1->isVisible());
    CheckCurveMatches(w, m);
    s1->setFocus();
    QTest::keyClick(s1, Qt::Key_Right);
    QTest::keyClick(s1, Qt::Key_Right);
    QCOMPARE(w.heldIndex(1), 2);
    CheckCurveMatches(w, m);
    // Along the other variable.
    auto* xbox = w.findChild<QComboBox*>("cboPlotX");
    xbox->setFocus();
    QTest::keyClick(xbox, Qt::Key_Down);
    QCOMPARE(w.horizontalVariable(), 1);
    QVERIFY(w.findChild<QSlider*>("sldHeld0")->isVisible());
    QVERIFY(!s1->isVisible());
    CheckCurveMatches(w, m);
  }

  void opensOnAGridFile() {
    Dimension computed = Computed("wave.ser", {25, 9}, {0, 0}, {{1, {-1, -0.5, -0.25, 0, 0.1, 0.2, 0.5, 0.9, 1}}});
    const std::string base = Path("wave").toStdString();
    QVERIFY(tabulor::WriteGridFile(computed, base).ok);
    Dimension m;
    auto read = tabulor::ReadGridFile(m, base);
    QVERIFY2(read.ok, read.message.c_str());
    PlotWindow w(m, user_);
    Show(w);
    QVERIFY(w.windowTitle().contains("wave"));
    QCOMPARE(w.mode(), PlotWindow::Mode::ColourMap);
    CheckMapMatches(w, m);
  }

  void mouseZoomDragResetAndPointUnderTheMouse() {
    Dimension m = Computed("wave.ser", {20, 10}, {0, 0});
    PlotWindow w(m, user_);
    Show(w);
    QCustomPlot* plot = w.plot();
    const QCPRange x0 = plot->xAxis->range(), y0 = plot->yAxis->range();

    // The value under the mouse, with its grid point.
    QTest::mouseMove(plot, PixelOf(w, m.GridX[0][4], m.GridX[1][7]));
    QString text = w.pointText();
    QVERIFY2(text.contains("t=" + QString::fromStdString(tabulor::NumberText(m.GridX[0][4]))), qPrintable(text));
    QVERIFY2(text.contains("y=" + QString::fromStdString(tabulor::NumberText(m.GridX[1][7]))), qPrintable(text));
    QVERIFY2(text.contains("value=" + QString::fromStdString(tabulor::NumberText(m.Results(4, 7, 0, 0)))),
             qPrintable(text));

    // Zoom in with the wheel around the middle.
    const QPoint middle = plot->axisRect()->rect().center();
    Wheel(plot, middle, 120);
    Wheel(plot, middle, 120);
    plot->replot();
    QVERIFY(plot->xAxis->range().size() < x0.size() * 0.9);
    QVERIFY(plot->yAxis->range().size() < y0.size() * 0.9);
    CheckMapMatchesInView(w, m);

    // Drag to the left: the view moves to larger t.
    const QCPRange before = plot->xAxis->range();
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, middle);
    QTest::mouseMove(plot, middle + QPoint(-120, 0));
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, middle + QPoint(-120, 0));
    plot->replot();
    QVERIFY(plot->xAxis->range().lower > before.lower);
    QCOMPARE(plot->xAxis->range().size(), before.size());
    CheckMapMatchesInView(w, m);

    QTest::mouseClick(w.findChild<QPushButton*>("cmdPlotReset"), Qt::LeftButton);
    QCOMPARE(plot->xAxis->range().lower, x0.lower);
    QCOMPARE(plot->xAxis->range().upper, x0.upper);
    QCOMPARE(plot->yAxis->range().lower, y0.lower);
    QCOMPARE(plot->yAxis->range().upper, y0.upper);
    CheckMapMatches(w, m);

    // Off the grid nothing is shown.
    plot->xAxis->setRange(x0.upper + 1, x0.upper + 2);
    plot->replot();
    QTest::mouseMove(plot, middle);
    QCOMPARE(w.pointText(), QString());
  }

  void picturesSaveAsPngAndPdf() {
    Dimension m = Computed("wave.ser", {30, 20}, {0, 0});
    PlotWindow w(m, user_);
    Show(w);
    QTemporaryDir pics;
    auto Path = [&](const QString& name) { return pics.filePath(name); };
    next_save_ = Path("map.png");
    QTest::mouseClick(w.findChild<QPushButton*>("cmdPlotSave"), Qt::LeftButton);
    QCOMPARE(captions_, QStringList{"Save Picture"});
    QImage image(Path("map.png"));
    QVERIFY(!image.isNull());
    QCOMPARE(image.size(), w.plot()->size());
    // The picture shows the colour map: many colours in the plot's middle.
    std::set<QRgb> colours;
    const QRect area = w.plot()->axisRect()->rect().adjusted(10, 10, -10, -10);
    for (int y = area.top(); y < area.bottom(); y += 7)
      for (int x = area.left(); x < area.right(); x += 7) colours.insert(image.pixel(x, y));
    QVERIFY2(colours.size() > 20, qPrintable(QString::number(colours.size())));

    next_save_ = Path("map.pdf");
    QTest::mouseClick(w.findChild<QPushButton*>("cmdPlotSave"), Qt::LeftButton);
    QFile pdf(Path("map.pdf"));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.read(5) == "%PDF-");
    QVERIFY(pdf.size() > 1000);

    // No extension: a PNG.
    next_save_ = Path("noext");
    QTest::mouseClick(w.findChild<QPushButton*>("cmdPlotSave"), Qt::LeftButton);
    QVERIFY(!QImage(Path("noext.png")).isNull());
    QVERIFY(messages_.isEmpty());

    // Refused and failed saves tell why and leave existing files alone.
    next_save_ = Path("map.jpg");
    QTest::mouseClick(w.findChild<QPushButton*>("cmdPlotSave"), Qt::LeftButton);
    QCOMPARE(messages_.size(), 1);
    QVERIFY(!QFile::exists(Path("map.jpg")));
    QVERIFY(!w.savePicture(Path("missing/map.png")));
    QCOMPARE(messages_.size(), 2);
    QVERIFY(messages_[1].contains("missing/map.png"));
    QVERIFY(QDir(pics.path()).mkdir("folder.png"));
    QVERIFY(!w.savePicture(Path("folder.png")));
    QVERIFY(QFileInfo(Path("folder.png")).isDir());
    // Cancelled dialog: nothing at all.
    next_save_.clear();
    QTest::mouseClick(w.findChild<QPushButton*>("cmdPlotSave"), Qt::LeftButton);
    QCOMPARE(messages_.size(), 3);
    QStringList left = QDir(pics.path()).entryList(QDir::Files | QDir::Hidden);
    left.sort();
    QCOMPARE(left, (QStringList{"map.pdf", "map.png", "noext.png"}));
    // The window still draws the right values after the exports.
    CheckMapMatches(w, m);
  }

  void exportsCsvFromTheWindow() {
    Dimension m = Computed("wave.ser", {6, 4}, {0, 0});
    PlotWindow w(m, user_);
    Show(w);
    next_save_ = Path("values");
    QTest::mouseClick(w.findChild<QPushButton*>("cmdPlotCsv"), Qt::LeftButton);
    QCOMPARE(captions_, QStringList{"Export CSV"});
    QFile f(Path("values.csv"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QByteArray text = f.readAll();
    QCOMPARE(text.toStdString(), tabulor::CsvText(m));
    QVERIFY(text.startsWith("t,y,value\r\n"));
    QVERIFY(messages_.isEmpty());
    // A failed export tells why.
    QVERIFY(!w.exportCsv(Path("missing/values.csv")));
    QCOMPARE(messages_.size(), 1);
    QVERIFY(messages_[0].contains("missing/values.csv"));
  }

  // The real dialogs: a name typed without an extension gets the chosen
  // type's, and the question about replacing a file is about that file.
  void realDialogsAskAboutTheFileWritten() {
    Dimension m = Computed("wave.ser", {6, 4}, {0, 0});
    PlotWindow w(m, user_);
    Show(w);
    user_.realSaveDialog = true;
    QTemporaryDir out;
    {
      QFile keep(out.filePath("res.csv"));
      QVERIFY(keep.open(QIODevice::WriteOnly));
      keep.write("KEEP");
    }
    // Clicks `button`; the dialog is answered with `name` after moving
    // `filterSteps` down the list of types, a question with No, and the
    // dialog shown again is cancelled.
    QStringList questions;
    auto run = [&](const char* button, const QString& name, int filterSteps) {
      const bool answered = tabulor::test::AnswerRealFileDialog(
          [&](QFileDialog* dialog) {
            dialog->setDirectory(out.path());
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            for (int i = 0; types && i < filterSteps; ++i) QTest::keyClick(types, Qt::Key_Down);
            auto* typed = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(typed);
            typed->selectAll();
            QTest::keyClicks(typed, name);
          },
          [&] { QTest::mouseClick(w.findChild<QPushButton*>(button), Qt::LeftButton); }, &questions);
      QVERIFY(answered);
    };
    run("cmdPlotCsv", QStringLiteral("res"), 0);
    QCOMPARE(questions.size(), 1);
    QVERIFY2(questions[0].contains(QStringLiteral("res.csv")), qPrintable(questions[0]));
    QCOMPARE(ReadAll(out.filePath("res.csv")), QByteArray("KEEP"));
    // PDF chosen as the type: the picture is a PDF file.
    run("cmdPlotSave", QStringLiteral("pic"), 1);
    QCOMPARE(questions.size(), 1);
    QVERIFY(ReadAll(out.filePath("pic.pdf")).startsWith("%PDF-"));
    QVERIFY(!QFile::exists(out.filePath("pic.png")));
    QVERIFY(!QFile::exists(out.filePath("pic")));
  }

  void manyPointsAreReducedToThePixels() {
    const int n = 1000000;
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; ++i) {
      x[i] = i * 1e-3;
      y[i] = std::sin(i * 0.01) + (i == 654321 ? 5.0 : 0.0) - (i == 123 ? 7.0 : 0.0);
    }
    Dimension m = Curve(x, y);
    PlotWindow w(m, user_);
    Show(w);
    auto data = w.curve()->data();
    const int columns = w.plot()->axisRect()->width();
    QVERIFY2(data->size() <= 4 * (columns + 2), qPrintable(QString::number(data->size())));
    QVERIFY(data->size() >= columns);
    QCOMPARE(w.curve()->scatterStyle().shape(), QCPScatterStyle::ssNone);
    // Every drawn point is a real point, and the spikes are kept.
    double lo = INFINITY, hi = -INFINITY;
    for (auto it = data->constBegin(); it != data->constEnd(); ++it) {
      const auto i = static_cast<std::size_t>(it->t);
      QCOMPARE(it->key, x[i]);
      QCOMPARE(it->value, y[i]);
      lo = std::min(lo, it->value);
      hi = std::max(hi, it->value);
    }
    QCOMPARE(lo, y[123]);
    QCOMPARE(hi, y[654321]);

    // Zoomed in to a few points, each is drawn with a marker.
    w.plot()->xAxis->setRange(500.0, 500.05);
    w.plot()->replot();
    QCOMPARE(w.curve()->scatterStyle().shape(), QCPScatterStyle::ssCircle);
    data = w.curve()->data();
    QVERIFY2(data->size() >= 50 && data->size() <= 53, qPrintable(QString::number(data->size())));
    for (auto it = data->constBegin(); it != data->constEnd(); ++it)
      QCOMPARE(it->value, y[static_cast<std::size_t>(it->t)]);
  }

  void reductionMatchesAFullScan_data() {
    QTest::addColumn<int>("order");
    QTest::newRow("ascending") << 0;
    QTest::newRow("descending") << 1;
    QTest::newRow("unordered") << 2;
  }
  void reductionMatchesAFullScan() {
    QFETCH(int, order);
    const int n = 20000;
    std::vector<double> x(n), y(n);
    for (int i = 0; i < n; ++i) {
      double t = order == 2 ? std::fmod(i * 7919.0, n) : i;
      x[i] = order == 1 ? -t * 0.37 : t * 0.37 + (i % 3) * 0.01 * (order == 0);
      y[i] = std::sin(i * 0.013) * std::cos(i * 0.0007) + (i % 101 == 0 ? 0.5 : 0.0);
    }
    tabulor::plot::GridAxis axis(x.data(), n);
    QCOMPARE(axis.monotone(), order != 2);
    tabulor::plot::CurveReducer reducer(&axis, y.data(), 1);
    const double xlo = axis.min() + 0.2 * (axis.max() - axis.min()), xhi = axis.max() - 0.3 * (axis.max() - axis.min());
    const int columns = 333;
    std::vector<tabulor::plot::CurvePoint> out;
    bool all = true;
    reducer.Reduce(xlo, xhi, columns, 200, out, all);
    QVERIFY(!all);
    // Per pixel column, the smallest and largest value of the points in it.
    std::vector<double> want_lo(columns, INFINITY), want_hi(columns, -INFINITY), got_lo = want_lo, got_hi = want_hi;
    const double scale = columns / (xhi - xlo);
    auto column = [&](double xv) { return std::min(static_cast<int>(std::floor((xv - xlo) * scale)), columns - 1); };
    for (int i = 0; i < n; ++i) {
      if (x[i] < xlo || x[i] > xhi) continue;
      const int c = column(x[i]);
      want_lo[c] = std::min(want_lo[c], y[i]);
      want_hi[c] = std::max(want_hi[c], y[i]);
    }
    for (const auto& p : out) {
      QCOMPARE(p.x, x[p.index]);
      QCOMPARE(p.y, y[p.index]);
      if (p.x < xlo || p.x > xhi) continue;
      const int c = column(p.x);
      got_lo[c] = std::min(got_lo[c], p.y);
      got_hi[c] = std::max(got_hi[c], p.y);
    }
    for (int c = 0; c < columns; ++c) {
      QCOMPARE(got_lo[c], want_lo[c]);
      QCOMPARE(got_hi[c], want_hi[c]);
    }
    // The line runs along the axis: a sorted grid in index order, a grid in
    // any other order in order of its values.
    for (std::size_t k = 1; k < out.size(); ++k) {
      if (order == 2)
        QVERIFY(out[k].x >= out[k - 1].x);
      else
        QVERIFY(out[k].index > out[k - 1].index);
    }
  }

  void withoutResultsOrAfterTheResultsChanged() {
    Dimension empty;
    PlotWindow w(empty, user_);
    Show(w);
    QVERIFY(w.findChild<QLabel*>("lblPlotNote")->isVisible());
    QVERIFY(!w.findChild<QPushButton*>("cmdPlotSave")->isEnabled());
    QVERIFY(!w.findChild<QPushButton*>("cmdPlotCsv")->isEnabled());
    QVERIFY(!w.curve()->visible() && !w.colourMap()->visible());

    Dimension m = Computed("wave.ser", {8, 5}, {0, 0});
    PlotWindow w2(m, user_);
    Show(w2);
    QVERIFY(!w2.findChild<QLabel*>("lblPlotNote")->isVisible());
    m.Results.Allocate({3, 3, 1, 1});
    m.LastPt = {2, 2, 0, 0};
    w2.plot()->replot();
    QVERIFY(w2.findChild<QLabel*>("lblPlotNote")->isVisible());
    QVERIFY(!w2.colourMap()->visible());
    QVERIFY(!w2.exportCsv(Path("changed.csv")));
    QVERIFY(!QFile::exists(Path("changed.csv")));
    QTest::mouseMove(w2.plot(), w2.plot()->axisRect()->rect().center());
    QCOMPARE(w2.pointText(), QString());
  }

  void valuesBeyondWhatThePlotDrawsAreNotDrawnButNamed() {
    // The plot refuses ranges beyond 1E+250 or narrower than 1E-280 and
    // would keep the old one: values at 1E+300 would lie off the axes.
    Dimension huge = Curve({0, 1, 2}, {1e300, -1e300, 5e299});
    PlotWindow w(huge, user_);
    Show(w);
    auto* note = w.findChild<QLabel*>("lblPlotNote");
    QVERIFY(note->isVisible());
    QVERIFY(note->text().contains("cannot be drawn"));
    QVERIFY(!w.curve()->visible());
    QTest::mouseMove(w.plot(), w.plot()->axisRect()->rect().center());
    QCOMPARE(w.pointText(), QString());

    // A map of such values has no colour range either.
    auto map_of = [](double a, double b) {
      Dimension m;
      m.LastVar = 1;
      m.VarName[0] = "x";
      m.VarName[1] = "y";
      m.LastPoint[0] = m.LastPt[0] = 2;
      m.LastPoint[1] = m.LastPt[1] = 1;
      m.GridX[0] = {0, 1, 2};
      m.GridX[1] = {0, 1};
      for (int v = 2; v < 4; ++v) m.GridX[v] = {0.0};
      if (!m.Results.Allocate({3, 2, 1, 1})) qFatal("no memory");
      for (int i = 0; i < 6; ++i) m.Results.data()[i] = i % 2 ? a : b;
      m.ResultsReady = true;
      return m;
    };
    Dimension big = map_of(1e300, -1e300);
    PlotWindow bw(big, user_);
    Show(bw);
    QCOMPARE(bw.mode(), PlotWindow::Mode::ColourMap);
    QVERIFY(bw.findChild<QLabel*>("lblPlotNote")->isVisible());
    QVERIFY(!bw.colourMap()->visible());

    // Values that are tiny and (nearly) equal get a range around them wide
    // enough to draw, as a map and as a curve.
    Dimension tiny = map_of(1e-290, 2e-290);
    PlotWindow tw(tiny, user_);
    Show(tw);
    QVERIFY(!tw.findChild<QLabel*>("lblPlotNote")->isVisible());
    CheckMapMatches(tw, tiny);
    // The colours span a range around the values, not the plot's default.
    QVERIFY(tw.colourMap()->dataRange().contains(1e-290));
    QVERIFY(tw.colourMap()->dataRange().size() < 1e-260);
    tw.setMode(PlotWindow::Mode::Curve);
    QVERIFY(!tw.findChild<QLabel*>("lblPlotNote")->isVisible());
    CheckCurveMatches(tw, tiny);
    QVERIFY(tw.plot()->yAxis->range().contains(2e-290));
    QVERIFY(tw.plot()->yAxis->range().size() < 1e-260);
  }

  void openedNonModalAndClosedWithItsOwner() {
    Dimension m = Computed("poly.ser", {5}, {0});
    QWidget owner;
    owner.show();
    QPointer<PlotWindow> w = PlotWindow::Open(m, user_, &owner);
    QVERIFY(w);
    QVERIFY(w->isWindow());
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowModality(), Qt::NonModal);
    QVERIFY(w->close());
    QTRY_VERIFY(w.isNull());  // deleted on close
  }

  // Also makes the picture of the documentation when TABULOR_PLOT_SCREENSHOT
  // names a file: the colour map of examples/wave.ser on a 60 x 40 grid.
  void screenshotOfATwoVariableMap() {
    Dimension m = Computed("wave.ser", {60, 40}, {0, 0});
    m.FileName = "examples/wave.ser";
    PlotWindow w(m, user_);
    w.resize(960, 680);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.activateWindow();
    QTRY_VERIFY(w.isActiveWindow());
    QTRY_COMPARE(w.size(), QSize(960, 680));
    w.plot()->replot();
    const QPoint at = PixelOf(w, m.GridX[0][21], m.GridX[1][28]);
    QCursor::setPos(w.plot()->mapToGlobal(at));  // where a window system has a pointer
    QTest::mouseMove(w.plot(), at);
    QTRY_VERIFY2(!w.pointText().isEmpty(), qPrintable(QString("%1,%2").arg(at.x()).arg(at.y())));
    QPixmap shot = w.grab();
    QCOMPARE(shot.size(), w.size());
    CheckMapMatches(w, m);
    const QString target = qEnvironmentVariable("TABULOR_PLOT_SCREENSHOT");
    if (!target.isEmpty()) QVERIFY(shot.save(target, "PNG"));
  }

 private:
  void CheckMapMatchesInView(PlotWindow& w, const Dimension& m) {
    // Grid points inside the zoomed view are in cells holding their values.
    QCPColorMapData* d = w.colourMap()->data();
    const QCPRange xr = w.plot()->xAxis->range(), yr = w.plot()->yAxis->range();
    int checked = 0;
    for (int i = 0; i <= m.LastPt[0]; ++i)
      for (int j = 0; j <= m.LastPt[1]; ++j) {
        if (!xr.contains(m.GridX[0][i]) || !yr.contains(m.GridX[1][j])) continue;
        int c, r;
        d->coordToCell(m.GridX[0][i], m.GridX[1][j], &c, &r);
        QCOMPARE(d->cell(c, r), m.Results(i, j, 0, 0));
        ++checked;
      }
    QVERIFY(checked > 0);
  }
};

QTEST_MAIN(TestPlotWindow)
#include "test_plot_window.moc"
