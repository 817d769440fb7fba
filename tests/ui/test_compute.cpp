// "Compute": the values listed, failures and Cancel, grid values never
// entered, and grids typed in the uneven grid editor.
#include "ui_test_support.h"

#include <QProgressDialog>
#include <QTimer>

#include <chrono>
#include <system_error>
#include <thread>

using namespace tabulor;
using namespace tabulor::test;

namespace {

void SetGrid(Fixture& f, int k, const QString& points, const QString& der) {
  while (f.w->ShownVar() != k + 1) f.click("cmdNextVar");
  f.typeInto(f.set(k).txtGridPoints, points);
  f.typeInto(f.set(k).txtDer, der);
}

// Types `text` into row `row` of the editor of x (or deletes the row).
void EditRow(Fixture& f, int row, const QString& text) {
  f.click(f.set(0).cmdEditVars);
  auto* editor = qobject_cast<FrmVars*>(f.w->varsEditor());
  QVERIFY(editor && editor->isModal());
  Activate(editor);
  ClickCell(*editor, row);
  QTest::keyClicks(editor->dataEntry(), text);
  if (text.isEmpty()) QTest::mouseClick(editor->deleteButton(), Qt::LeftButton);
  QTest::mouseClick(editor->doneButton(), Qt::LeftButton);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QVERIFY(!f.w->varsEditor());
  Activate(f.w.get());
}

}  // namespace

class TestCompute : public QObject {
  Q_OBJECT

 private slots:
  void valuesListed_data() {
    QTest::addColumn<QStringList>("grid");  // points and derivative order per variable
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("values") << QStringList{"3", "0"} << PolyLines({"0", "0.5", "1"}, {"1", "2.75", "6"});
    QTest::newRow("derivative") << QStringList{"3", "1"} << PolyLines({"0", "0.5", "1"}, {"2", "5", "8"});
    QTest::newRow("five points") << QStringList{"5", " 3 "} << PolyLines({"0", "0.25", "0.5", "0.75", "1"}, {5, "0"});
    QTest::newRow("two variables") << QStringList{"3", "0", "2", "0"}
                                   << PolyLines({}, {}) + PolyLines({"0", "0.5", "1"}, {"1", "1.25", "2"}, "  y=0") +
                                          PolyLines({"0", "0.5", "1"}, {"2", "2.25", "3"}, "  y=1");
  }
  void valuesListed() {
    QFETCH(QStringList, grid);
    QFETCH(QStringList, lines);
    Fixture f;
    QVERIFY(f.openSeries(grid.size() == 2 ? kPolySeries : kTwoVarSeries));
    for (int k = 0; k < grid.size() / 2; ++k) SetGrid(f, k, grid[2 * k], grid[2 * k + 1]);
    f.click("cmdCompute");
    QCOMPARE(f.listLines(), lines);
    QVERIFY(f.flags() == kComputedFlags && f.user.messages.isEmpty() && f.model.ResultsReady);
    QCOMPARE(Ctl<QLabel>(*f.w, "lblGridPoints")->text().toInt(), lines.filter("VALUE=").size());
    f.click("cmdCompute");  // once a run: nothing more
    f.click("cmdNextVar");  // moves no focus now
    const int k = f.w->ShownVar() - 1;
    QVERIFY(f.user.beeps == 2 && Focus() != f.set(k).txtLLgrid && f.set(k).txtGridPoints->text() == grid[2 * k]);
  }

  // A failure is told and leaves the series loaded; Cancel in the progress
  // window (modal, the window taking no input before it) is no failure.
  void failedOrCancelled_data() {
    QTest::addColumn<int>("fault");
    QTest::addColumn<QString>("message");
    const QString grid = "The grid settings cannot be used; nothing was computed.\n\n";
    const QString failed = "The computation failed; nothing was listed.\n\n";
    QTest::newRow("letters") << 0 << grid + "Variable 1 (y): the derivative order \"abc\" is not a number.";
    QTest::newRow("negative") << 1 << grid + "Variable 1 (y): the derivative order -1 is negative.";
    QTest::newRow("no thread") << 2
                               << failed +
                                      "The computation could not be started: the system has no room for "
                                      "another thread.";
    QTest::newRow("engine") << 3 << failed + "engine says no";
    QTest::newRow("cancelled") << 4 << "";
  }
  void failedOrCancelled() {
    QFETCH(int, fault);
    QFETCH(QString, message);
    Fixture f;
    QVERIFY(f.openSeries(kTwoVarSeries));
    SetGrid(f, 1, "2", fault == 0 ? "abc" : fault == 1 ? "-1" : "1");
    f.user.progressDelayMs = 100;
    bool stopped = false, modal = false;
    if (fault == 2)
      f.user.startThread = [](std::function<void()>) -> std::thread {
        throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
      };
    if (fault == 3)
      f.user.compute = [](Dimension&, const ProgressFn&) {
        return ComputeResult{ComputeOutcome::Error, "engine says no"};
      };
    if (fault == 4) {
      f.user.compute = [&](Dimension&, const ProgressFn& progress) {
        for (std::uint64_t i = 0; i < 1000 && !stopped; ++i) {
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
          stopped = !progress(i, 1000);
        }
        return ComputeResult{stopped ? ComputeOutcome::Cancelled : ComputeOutcome::Error, "ran to its end"};
      };
      QTimer::singleShot(40, f.w.get(), [&] { f.click("cmdPrevVar"); });
      QTimer::singleShot(600, f.w.get(), [&] {
        QProgressDialog* d = f.w->progressDialog();
        modal = d && d->isVisible() && QApplication::activeModalWidget() == d && d->value() > 0;
        if (d) QTest::mouseClick(d->findChild<QPushButton*>(), Qt::LeftButton);
      });
    }
    f.click("cmdCompute");
    QCOMPARE(f.user.messages, message.isEmpty() ? QStringList() : QStringList{message});
    QVERIFY((fault != 4 || (modal && stopped && f.w->ShownVar() == 2)) && !f.w->computing());
    QVERIFY(f.user.icons.value(0, QMessageBox::Critical) == QMessageBox::Critical && f.flags() == kLoadedFlags);
    QVERIFY(f.listLines().isEmpty() && !f.model.ResultsReady && f.user.beeps == 0);
    f.user.startThread = nullptr;
    f.user.compute = nullptr;
    SetGrid(f, 1, "2", "1");
    f.click("cmdCompute");
    QCOMPARE(f.flags(), kComputedFlags);
    QCOMPARE(f.listLines().value(3), ValueLineText("x=0", "1"));  // d/dy (1 + x^2 + y) = 1
  }

  // Grid values never typed in hold 0: Compute asks first, No by default.
  void neverEnteredValuesAreAskedAbout_data() {
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("question");
    QTest::newRow("two") << 5 << "Variable x: grid values 4 and 5 were never entered and are 0. Compute anyway?";
    QTest::newRow("one") << 4 << "Variable x: grid value 4 was never entered and is 0. Compute anyway?";
    QTest::newRow("a run") << 9 << "Variable x: grid values 4 to 9 were never entered and are 0. Compute anyway?";
    QTest::newRow("fewer") << 2 << "";
  }
  void neverEnteredValuesAreAskedAbout() {
    QFETCH(int, points);
    QFETCH(QString, question);
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    f.click(f.set(0).chkSpaced);
    f.typeInto(f.set(0).txtGridPoints, QString::number(points));
    f.click("cmdCompute");
    QCOMPARE(f.user.questions, question.isEmpty() ? QStringList() : QStringList{question});
    QCOMPARE(f.flags(), question.isEmpty() ? kComputedFlags : QString(kLoadedFlags).replace("edit", "edit editOn"));
    if (question.isEmpty()) return;
    f.user.answers << QMessageBox::Yes;
    f.click("cmdCompute");
    QVERIFY(f.flags() == kComputedFlags && f.model.GridX[0][3] == 0.0);
  }

  // What is typed in the editor counts as entered and is computed on.
  void editorGridIsComputed() {
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    f.click(f.set(0).cmdEditVars);
    QVERIFY(!f.w->varsEditor());  // evenly spaced
    f.click(f.set(0).chkSpaced);
    f.typeInto(f.set(0).txtGridPoints, "5");
    EditRow(f, 3, "1.5");
    f.click("cmdCompute");
    QCOMPARE(f.user.questions, QStringList{"Variable x: grid value 5 was never entered and is 0. Compute anyway?"});
    EditRow(f, 1, "");
    QCOMPARE(f.set(0).txtGridPoints->text(), QStringLiteral("4"));
    f.click("cmdCompute");
    QCOMPARE(f.user.questions.last(), "Variable x: grid value 2 was never entered and is 0. Compute anyway?");
    EditRow(f, 1, "0.25");
    f.click("cmdCompute");
    QCOMPARE(f.user.questions.size(), 2);
    QCOMPARE(f.listLines(), PolyLines({"0", "0.25", "1", "1.5"}, {"1", "1.6875", "6", "10.75"}));
    QCOMPARE(f.model.GridX[0], (std::vector<double>{0, 0.25, 1, 1.5, 0}));
  }
};

QTEST_MAIN(TestCompute)
#include "test_compute.moc"
