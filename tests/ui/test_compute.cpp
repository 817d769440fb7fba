// "Compute": the capture of the grid, the computation, the list, the states,
// the error road and the progress dialog of a long computation.
#include "ui_test_support.h"

#include <QGroupBox>
#include <QProgressDialog>
#include <QTimer>

#include <chrono>
#include <system_error>
#include <thread>

using namespace tabulor;
using namespace tabulor::test;
using State = FrmTabulor::FormState;

namespace {

void CheckComputedState(FrmTabulor& w) {
  QCOMPARE(w.formState(), State::Computed);
  QVERIFY(!Ctl<QPushButton>(w, "cmdCompute")->isEnabled());
  QVERIFY(!Ctl<QGroupBox>(w, "fraGrdSpecs")->isEnabled());
  QVERIFY(Ctl<QAction>(w, "mnuSave")->isEnabled() && Ctl<QAction>(w, "mnuSaveAs")->isEnabled() &&
          Ctl<QAction>(w, "mnuPrint")->isEnabled());
}

// The window is as a loaded series left it: nothing listed, nothing to save.
void CheckStillSeriesLoaded(FrmTabulor& w) {
  QCOMPARE(w.formState(), State::SeriesLoaded);
  QVERIFY(Ctl<QPushButton>(w, "cmdCompute")->isEnabled());
  QVERIFY(Ctl<QGroupBox>(w, "fraGrdSpecs")->isEnabled());
  QVERIFY(!Ctl<QAction>(w, "mnuSave")->isEnabled() && !Ctl<QAction>(w, "mnuSaveAs")->isEnabled() &&
          !Ctl<QAction>(w, "mnuPrint")->isEnabled());
  QCOMPARE(Ctl<ResultsList>(w, "lstCoeff")->count(), 0);
  QVERIFY(!w.model().ResultsReady);
}

QStringList PolyLines(const QStringList& points, const QStringList& values) {
  QStringList lines{"VALUES AT GRID POINTS:", ""};
  for (int i = 0; i < points.size(); ++i) lines << ValueLineText("x=" + points[i], values[i]);
  return lines;
}

}  // namespace

class TestCompute : public QObject {
  Q_OBJECT

 private slots:
  void workedExampleOneVariable() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    CheckComputedState(w);
    QCOMPARE(f.listLines(), PolyLines({"0", "0.5", "1"}, {"1", "2.75", "6"}));
    QCOMPARE(f.listLines()[2],
             QStringLiteral("   x=0                                 VALUE=1") + QString(30, QLatin1Char(' ')));
    QCOMPARE(f.user.beeps, 2);
    QVERIFY(f.user.messages.isEmpty());
    QCOMPARE(Ctl<QLabel>(w, "lblGridPoints")->text(), QStringLiteral("3"));
    QVERIFY(f.model.ResultsReady);
    // Compute runs once: the button is disabled and a click does nothing.
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(f.user.beeps, 2);
  }

  void derivativesAndMorePointsThanTerms() {
    {
      Fixture f;
      QVERIFY(f.openSeries(kPolySeries));
      f.typeInto(f.set(0).txtDer, "1");
      f.click(Ctl<QPushButton>(*f.w, "cmdCompute"));
      QCOMPARE(f.listLines(), PolyLines({"0", "0.5", "1"}, {"2", "5", "8"}));
    }
    {
      Fixture f;
      QVERIFY(f.openSeries(kPolySeries));
      f.typeInto(f.set(0).txtDer, " 3 ");
      f.click(Ctl<QPushButton>(*f.w, "cmdCompute"));
      QCOMPARE(f.listLines(), PolyLines({"0", "0.5", "1"}, {"0", "0", "0"}));
    }
    {
      Fixture f;
      QVERIFY(f.openSeries(kPolySeries));
      f.typeInto(f.set(0).txtGridPoints, "5");
      f.click(Ctl<QPushButton>(*f.w, "cmdCompute"));
      QCOMPARE(f.listLines(), PolyLines({"0", "0.25", "0.5", "0.75", "1"}, {"1", "1.6875", "2.75", "4.1875", "6"}));
      QCOMPARE(f.model.Extent[0], 4);
    }
  }

  void twoVariablesWithHeadings() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kTwoVarSeries));  // 1 + x^2 + y
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    CheckComputedState(w);
    const QStringList expected{"VALUES AT GRID POINTS:",
                               "",
                               "  y=0",
                               ValueLineText("x=0", "1"),
                               ValueLineText("x=0.5", "1.25"),
                               ValueLineText("x=1", "2"),
                               "  y=1",
                               ValueLineText("x=0", "2"),
                               ValueLineText("x=0.5", "2.25"),
                               ValueLineText("x=1", "3")};
    QCOMPARE(f.listLines(), expected);
    QCOMPARE(Ctl<QLabel>(w, "lblGridPoints")->text(), QStringLiteral("6"));
  }

  void typedGridSurvivesCompute() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    f.click(f.set(0).chkSpaced);
    f.model.GridX[0] = {0, 2, 1};
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    CheckComputedState(w);
    QCOMPARE(f.listLines(), PolyLines({"0", "2", "1"}, {"1", "17", "6"}));
    QCOMPARE(f.model.GridX[0], (std::vector<double>{0, 2, 1}));
  }

  void derivativeOrderErrorsKeepTheSeriesLoaded() {
    const std::pair<const char*, const char*> cases[] = {
        {"abc", "not a number"}, {"", "not a number"}, {"-1", "negative"}, {"1x", "not a number"}};
    for (auto [text, why] : cases) {
      Fixture f;
      FrmTabulor& w = *f.w;
      QVERIFY(f.openSeries(kTwoVarSeries));
      f.click(Ctl<QPushButton>(w, "cmdNextVar"));
      f.typeInto(f.set(1).txtDer, text);
      f.click(Ctl<QPushButton>(w, "cmdCompute"));
      QCOMPARE(f.user.messages.size(), 1);
      const QString msg = f.user.messages.first();
      QVERIFY2(msg.contains(why) && msg.contains("Variable 1 (y)"), qPrintable(msg));
      QCOMPARE(f.user.icons.first(), QMessageBox::Critical);
      CheckStillSeriesLoaded(w);
      QCOMPARE(f.user.beeps, 0);
      // Corrected, the same window computes.
      f.typeInto(f.set(1).txtDer, "1");
      f.click(Ctl<QPushButton>(w, "cmdCompute"));
      CheckComputedState(w);
      QCOMPARE(f.listLines().size(), 10);
      QCOMPARE(f.listLines()[3], ValueLineText("x=0", "1"));  // d/dy (1 + x^2 + y) = 1
    }
  }

  void engineErrorKeepsTheSeriesLoaded() {
    Fixture f;
    FrmTabulor& w = *f.w;
    // A Trigonometric variable whose period is 0.
    QVERIFY(f.openSeries("0\nt\n0\n1\n0\n#FALSE#\n0\n2\n#TRUE#\n1,2,3\n"));
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(f.user.messages.size(), 1);
    QVERIFY2(f.user.messages.first().contains("period") && f.user.messages.first().contains("(t)"),
             qPrintable(f.user.messages.first()));
    CheckStillSeriesLoaded(w);
    QCOMPARE(f.user.beeps, 0);
  }

  // A process out of threads (or of address space for a thread's stack)
  // cannot start the computation: told, and the window stays as it was.
  void computationThatCannotStartIsTold() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    f.user.startThread = [](std::function<void()>) -> std::thread {
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    };
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(f.user.messages.size(), 1);
    QVERIFY2(f.user.messages.first().contains("could not be started"), qPrintable(f.user.messages.first()));
    CheckStillSeriesLoaded(w);
    // With a thread to be had, the same click computes.
    f.user.startThread = [](std::function<void()> body) { return std::thread(std::move(body)); };
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    CheckComputedState(w);
  }

  void tooManyGridPointsInAllIsACaptureError() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kFourVarSeries));
    for (int k = 0; k < 4; ++k) {
      f.typeInto(f.set(k).txtGridPoints, "2000");
      f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    }
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(f.user.messages.size(), 1);
    QVERIFY2(f.user.messages.first().contains("2147483647"), qPrintable(f.user.messages.first()));
    CheckStillSeriesLoaded(w);
  }

  void longComputationShowsProgressAndCancels() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    f.user.progressDelayMs = 100;
    std::atomic<bool> asked_to_stop{false};
    f.user.compute = [&](Dimension&, const ProgressFn& progress) {
      for (int i = 0; i < 1000; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (!progress(static_cast<std::uint64_t>(i), 1000)) {
          asked_to_stop = true;
          return ComputeResult{ComputeOutcome::Cancelled, "cancelled"};
        }
      }
      return ComputeResult{ComputeOutcome::Error, "ran to its end"};
    };
    bool saw_dialog = false, modal = false, window_blocked = false;
    int shown_var_during = 0;
    QTimer::singleShot(40, &w, [&] {
      // Before the dialog: the window ignores input.
      QTest::mouseClick(Ctl<QPushButton>(w, "cmdNextVar"), Qt::LeftButton);
      shown_var_during = w.ShownVar();
    });
    QTimer::singleShot(600, &w, [&] {
      QProgressDialog* d = w.progressDialog();
      saw_dialog = d && d->isVisible();
      if (!d) return;
      modal = d->isModal() && QApplication::activeModalWidget() == d;
      window_blocked = !QApplication::activeModalWidget() || QApplication::activeModalWidget() != &w;
      QVERIFY(d->value() > 0);
      auto* cancel = d->findChild<QPushButton*>();
      QVERIFY(cancel);
      QTest::mouseClick(cancel, Qt::LeftButton);
    });
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QVERIFY(saw_dialog);
    QVERIFY(modal);
    QVERIFY(window_blocked);
    QVERIFY(asked_to_stop);
    QCOMPARE(shown_var_during, 1);
    QVERIFY(!w.computing());
    QVERIFY(f.user.messages.isEmpty());  // a cancel is no error
    QCOMPARE(f.user.beeps, 0);
    CheckStillSeriesLoaded(w);

    // Computing again, with the real engine, works.
    f.user.compute = [](Dimension& m, const ProgressFn& p) { return Compute(m, p); };
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    CheckComputedState(w);
    QCOMPARE(f.listLines().size(), 5);
  }

  void shortComputationShowsNoDialog() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    bool dialog_seen = false;
    f.user.compute = [&](Dimension& m, const ProgressFn& p) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      return Compute(m, p);
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] { dialog_seen = dialog_seen || w.progressDialog(); });
    poll.start(10);
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QVERIFY(!dialog_seen);
    CheckComputedState(w);
  }
};

QTEST_MAIN(TestCompute)
#include "test_compute.moc"
