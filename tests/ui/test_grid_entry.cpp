// Grid entry as the user meets it: the checks that keep the focus in a box,
// the selection on focus, and the grid resizing when the number of grid
// points changes.
#include "ui_test_support.h"

#include <QGroupBox>
#include <QMimeData>

#include "platform/memory_limit.h"

using namespace tabulor;
using namespace tabulor::test;
using State = FrmTabulor::FormState;

namespace {
QWidget* Focus() { return QApplication::focusWidget(); }
}  // namespace

class TestGridEntry : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { SetMemoryLimit(0); }

  void tooFewGridPointsKeepTheFocusAndBlockCompute() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    QLineEdit* points = f.set(0).txtGridPoints;
    f.typeInto(points, "1");
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(Focus(), static_cast<QWidget*>(points));
    QCOMPARE(points->text(), QStringLiteral("1"));
    QCOMPARE(w.formState(), State::SeriesLoaded);
    QCOMPARE(Ctl<ResultsList>(w, "lstCoeff")->count(), 0);
    QCOMPARE(f.user.beeps, 0);
    QVERIFY(f.user.messages.isEmpty());
    QCOMPARE(f.model.LastPoint[0], 2);  // unchanged

    // Tab, another box, "Next", the list and the check box do not take it.
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(points));
    QTest::keyClick(points, Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(Focus(), static_cast<QWidget*>(points));
    f.click(f.set(0).txtDer);
    QCOMPARE(Focus(), static_cast<QWidget*>(points));
    f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    f.click(f.set(0).chkSpaced);
    QVERIFY(f.set(0).chkSpaced->isChecked());
    f.click(Ctl<ResultsList>(w, "lstCoeff"));
    QCOMPARE(Focus(), static_cast<QWidget*>(points));
    QTest::keyClick(points, Qt::Key_N, Qt::AltModifier);  // no such accelerator: nothing moves
    QCOMPARE(Focus(), static_cast<QWidget*>(points));
    // The reason is in the box's tooltip.
    QVERIFY(points->toolTip().contains("2 or more"));

    f.typeInto(points, "1.5");
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(points));
    f.typeInto(points, "abc");
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(points));

    // 2 passes: the focus moves on and LastPoint follows.
    f.typeInto(points, "2");
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(f.set(0).txtDer));
    QCOMPARE(f.model.LastPoint[0], 1);
    QVERIFY(points->toolTip().isEmpty());
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::Computed);
    QCOMPARE(Ctl<ResultsList>(w, "lstCoeff")->count(), 4);  // title, empty line, two points
    // With nothing refused, the accelerator works.
    QTest::keyClick(Ctl<ResultsList>(w, "lstCoeff"), Qt::Key_X, Qt::AltModifier);
    QTRY_COMPARE(f.user.quits, 1);
  }

  // "Exit" and its accelerator end the program whatever a box holds; the
  // refused text goes and the box has its last accepted text again.
  void exitEndsTheProgramWhateverABoxHolds_data() {
    QTest::addColumn<int>("box");  // 0 lower limit, 1 grid points
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("byKey");
    QTest::newRow("letters in lower limit, click") << 0 << "abc" << false;
    QTest::newRow("letters in lower limit, Alt+X") << 0 << "abc" << true;
    QTest::newRow("one grid point, click") << 1 << "1" << false;
    QTest::newRow("one grid point, Alt+X") << 1 << "1" << true;
    QTest::newRow("empty lower limit, Alt+X") << 0 << "" << true;
  }
  void exitEndsTheProgramWhateverABoxHolds() {
    QFETCH(int, box);
    QFETCH(QString, typed);
    QFETCH(bool, byKey);
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    QLineEdit* edit = box == 0 ? f.set(0).txtLLgrid : f.set(0).txtGridPoints;
    const QString before = edit->text();
    f.typeInto(edit, typed);
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(edit));  // refused
    if (byKey) {
      QTest::keyClick(edit, Qt::Key_X, Qt::AltModifier);
    } else {
      f.click(Ctl<QPushButton>(w, "cmdExit"));
    }
    QTRY_COMPARE(f.user.quits, 1);
    QVERIFY(!w.isVisible());
    QCOMPARE(edit->text(), before);
    QCOMPARE(f.model.LastPoint[0], 2);
    QVERIFY(f.user.messages.isEmpty());
    QVERIFY(f.user.questions.isEmpty());  // nothing computed: nothing to save
  }

  void badLimitsKeepTheFocus() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kTwoVarSeries));
    QLineEdit* lower = f.set(0).txtLLgrid;
    for (const QString& bad : {QStringLiteral("abc"), QString(), QStringLiteral("1,5"), QStringLiteral("2e"),
                               QStringLiteral("- 1"), QStringLiteral("1e999"), QStringLiteral("inf")}) {
      f.typeInto(lower, bad);
      f.click(Ctl<QPushButton>(w, "cmdCompute"));
      QVERIFY2(Focus() == lower, qPrintable(bad));
      f.click(Ctl<QPushButton>(w, "cmdNextVar"));
      QCOMPARE(w.ShownVar(), 1);
      QCOMPARE(w.formState(), State::SeriesLoaded);
    }
    QLineEdit* upper = f.set(0).txtULgrid;
    f.typeInto(lower, " -1e-3 ");
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(upper));
    f.typeInto(upper, "x");
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(upper));
    f.typeInto(upper, "+.5");
    f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    QCOMPARE(w.ShownVar(), 2);
    QCOMPARE(Focus(), static_cast<QWidget*>(f.set(1).txtLLgrid));
  }

  void derivativeBoxHasNoCheck() {
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    f.typeInto(f.set(0).txtDer, "abc");
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(f.set(0).chkSpaced));
  }

  void focusSelectsTheWholeText() {
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    const auto& s = f.set(0);
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(s.txtULgrid));
    QCOMPARE(s.txtULgrid->selectedText(), QStringLiteral("1"));
    f.click(s.txtGridPoints);
    QCOMPARE(s.txtGridPoints->selectedText(), QStringLiteral("3"));
    // Typing replaces it.
    QTest::keyClicks(s.txtGridPoints, "7");
    QCOMPARE(s.txtGridPoints->text(), QStringLiteral("7"));
    // A second click inside the box places the cursor as usual.
    f.click(s.txtGridPoints);
    QVERIFY(s.txtGridPoints->selectedText().isEmpty());
  }

  // A long number typed and left shows its beginning, not its last digits.
  void aBoxLeftShowsTheBeginningOfItsNumber() {
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    const auto& s = f.set(0);
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(s.txtULgrid));
    QTest::keyClicks(s.txtULgrid, "6.28318530717959");
    QCOMPARE(s.txtULgrid->cursorPosition(), 16);
    f.tab();
    QVERIFY(Focus() != s.txtULgrid);
    QCOMPARE(s.txtULgrid->cursorPosition(), 0);
    QCOMPARE(s.txtULgrid->text(), QStringLiteral("6.28318530717959"));
  }

  // Text dragged in from elsewhere would pass by the checks made when a box
  // is left: the boxes take no drops.
  void textDroppedOnABoxIsNotTaken() {
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    const auto& s = f.set(0);
    for (QLineEdit* box : {s.txtLLgrid, s.txtULgrid, s.txtGridPoints, s.txtDer}) {
      const QString before = box->text();
      QMimeData text;
      text.setText(QStringLiteral("1"));
      const QPoint at = box->rect().center();
      QDragEnterEvent enter(at, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(box, &enter);
      QDropEvent drop(QPointF(at), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(box, &drop);
      QVERIFY2(!drop.isAccepted(), qPrintable(box->objectName()));
      QCOMPARE(box->text(), before);
    }
    QCOMPARE(f.model.LastPoint[0], 2);
  }

  void focusAndWindowActivation() {
    Fixture f;
    QWidget other;
    other.show();
    QApplication::setActiveWindow(&other);
    // The file opens while another window is active: the focus arrives in
    // the lower limit box when the window comes back.
    f.user.openAnswers << WriteText(f.dir, "p.ser", kPolySeries);
    QMetaObject::invokeMethod(f.w.get(), "txtSerFileName_Click");
    QApplication::setActiveWindow(f.w.get());
    const auto& s = f.set(0);
    QCOMPARE(Focus(), static_cast<QWidget*>(s.txtLLgrid));
    QCOMPARE(s.txtLLgrid->selectedText(), QStringLiteral("0"));
    // Leaving the window and coming back is no new arrival: what was typed
    // stays as it is, and the grid follows the count when the box is left.
    f.typeInto(s.txtGridPoints, "7");
    QApplication::setActiveWindow(&other);
    QApplication::setActiveWindow(f.w.get());
    QCOMPARE(Focus(), static_cast<QWidget*>(s.txtGridPoints));
    QVERIFY(s.txtGridPoints->selectedText().isEmpty());
    QCOMPARE(f.model.LastPoint[0], 2);
    f.tab();
    QCOMPARE(f.model.LastPoint[0], 6);
    QCOMPARE(f.model.GridX[0].size(), std::size_t{7});
  }

  void gridPointsResizeTheGrid() {
    Fixture f;
    QVERIFY(f.openSeries("0\nx\n0\n1\n0\n#TRUE#\n*\n4\n#TRUE#\n1,2,3,4,5\n"));
    Dimension& m = f.model;
    const auto& s = f.set(0);
    f.click(s.chkSpaced);  // typed grid
    for (int j = 0; j < 5; ++j) m.GridX[0][static_cast<std::size_t>(j)] = j + 1;

    f.typeInto(s.txtGridPoints, "7");
    f.tab();
    QCOMPARE(m.LastPoint[0], 6);
    QCOMPARE(m.GridX[0], (std::vector<double>{1, 2, 3, 4, 5, 0, 0}));
    f.typeInto(s.txtGridPoints, "5");
    f.tab();
    QCOMPARE(m.LastPoint[0], 4);
    QCOMPARE(m.GridX[0], (std::vector<double>{1, 2, 3, 4, 5}));

    // The same count again leaves the array as it is.
    m.GridX[0].push_back(9);
    f.typeInto(s.txtGridPoints, "5");
    f.tab();
    QCOMPARE(m.GridX[0].size(), std::size_t{6});

    // Halves go to the even neighbour.
    const std::pair<const char*, int> cases[] = {{"2.5", 2}, {"3.5", 2}, {"4.5", 4}, {" 6 ", 5}};
    for (auto [text, last] : cases) {
      f.typeInto(s.txtGridPoints, text);
      f.tab();
      QCOMPARE(m.LastPoint[0], last);
      QCOMPARE(m.GridX[0].size(), static_cast<std::size_t>(last + 1));
    }
  }

  void gridPointsBeyondMemoryAreRefused() {
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    QLineEdit* points = f.set(0).txtGridPoints;
    SetMemoryLimit(1 << 20);  // room for 131072 doubles
    f.typeInto(points, "1000000");
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(points));
    QVERIFY2(points->toolTip().contains("memory limit"), qPrintable(points->toolTip()));
    QVERIFY2(points->toolTip().startsWith("Variable 0 (x): the grid needs 1000000 values"),
             qPrintable(points->toolTip()));
    QCOMPARE(f.model.LastPoint[0], 2);

    SetMemoryLimit(0);
    f.typeInto(points, "3000000000");
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(points));
    QVERIFY2(points->toolTip().contains("2147483647"), qPrintable(points->toolTip()));

    f.typeInto(points, "100");
    f.tab();
    QCOMPARE(Focus(), static_cast<QWidget*>(f.set(0).txtDer));
    QCOMPARE(f.model.LastPoint[0], 99);
    QCOMPARE(f.model.GridX[0].size(), std::size_t{100});
    QVERIFY(points->toolTip().isEmpty());
  }

  void afterComputePagingMovesNoFocus() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kTwoVarSeries));
    f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    f.typeInto(f.set(1).txtGridPoints, "4");
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::Computed);
    QVERIFY(!f.set(1).txtGridPoints->isEnabled());
    QWidget* before = Focus();
    f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    QCOMPARE(w.ShownVar(), 1);
    QVERIFY(Focus() != f.set(0).txtLLgrid);
    QVERIFY(before == Focus() || Focus() == Ctl<QPushButton>(w, "cmdNextVar"));
    QCOMPARE(f.set(1).txtGridPoints->text(), QStringLiteral("4"));
    QVERIFY(f.set(0).cmdEditVars->isVisible());
    QVERIFY(!f.set(0).cmdEditVars->isEnabled());
  }
};

QTEST_MAIN(TestGridEntry)
#include "test_grid_entry.moc"
