// The "Plot" entry of the main window's menu bar: enabled exactly when
// "Print" is, and opening the plot window on the window's results.
#include "ui_test_support.h"

#include "ui/plot_window.h"

using namespace tabulor;
using namespace tabulor::test;
using State = FrmTabulor::FormState;

namespace {

QList<PlotWindow*> PlotWindows() {
  QList<PlotWindow*> out;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* p = qobject_cast<PlotWindow*>(w); p && p->isVisible()) out << p;
  return out;
}

// Clicks a top-level entry of the menu bar where the user sees it.
void ClickMenuBarEntry(QMenuBar* bar, QAction* action) {
  const QRect r = bar->actionGeometry(action);
  QVERIFY(r.isValid());
  QTest::mouseClick(bar, Qt::LeftButton, {}, r.center());
}

}  // namespace

class TestPlotMenu : public QObject {
  Q_OBJECT

 private slots:
  void entryStandsRightAfterPrint() {
    Fixture f;
    const QList<QAction*> top = f.w->menuBar()->actions();
    const int print = static_cast<int>(top.indexOf(f.w->mnuPrint));
    QVERIFY(print >= 0);
    QCOMPARE(top.value(print + 1), f.w->mnuPlot);
    QCOMPARE(f.w->mnuPlot->text(), QStringLiteral("Plot"));
    QCOMPARE(top.value(print + 2), f.w->mnuHelp);
  }

  void enabledExactlyWhenPrintIsOnTheComputeRoad() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QCOMPARE(w.mnuPlot->isEnabled(), w.mnuPrint->isEnabled());
    QVERIFY(!w.mnuPlot->isEnabled());
    ClickMenuBarEntry(w.menuBar(), w.mnuPlot);  // disabled: nothing opens
    QVERIFY(PlotWindows().isEmpty());
    QVERIFY(f.openSeries(kTwoVarSeries));
    QVERIFY(!w.mnuPlot->isEnabled());
    QCOMPARE(w.mnuPlot->isEnabled(), w.mnuPrint->isEnabled());
    // A failed computation enables neither.
    f.typeInto(f.set(0).txtDer, "x");
    f.click(w.cmdCompute);
    QCOMPARE(w.formState(), State::SeriesLoaded);
    QVERIFY(!w.mnuPlot->isEnabled() && !w.mnuPrint->isEnabled());
    f.typeInto(f.set(0).txtDer, "0");
    f.click(w.cmdCompute);
    QCOMPARE(w.formState(), State::Computed);
    QVERIFY(w.mnuPlot->isEnabled() && w.mnuPrint->isEnabled());
    ClickMenuBarEntry(w.menuBar(), w.mnuPlot);
    QTRY_COMPARE(PlotWindows().size(), 1);
    // Not modal: the main window still takes input.
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    f.click(w.cmdNextVar);
    QCOMPARE(w.set(1).lblVar->isVisible(), true);
    for (PlotWindow* p : PlotWindows()) p->close();
  }

  void enabledAfterAGridFileWasOpened() {
    QTemporaryDir keep;
    {
      Fixture f;
      QVERIFY(f.openSeries(kPolySeries));
      f.click(f.w->cmdCompute);
      f.user.saveAnswers << keep.filePath("res");
      f.w->mnuSaveAs->trigger();
      QVERIFY(QFile::exists(keep.filePath("res.grd")));
    }
    Fixture f;
    f.user.openAnswers << keep.filePath("res.grd");
    f.click(f.w->txtGrdFileName);
    QCOMPARE(f.w->formState(), State::GridFileShown);
    QVERIFY(f.w->mnuPlot->isEnabled() && f.w->mnuPrint->isEnabled());
    ClickMenuBarEntry(f.w->menuBar(), f.w->mnuPlot);
    QTRY_COMPARE(PlotWindows().size(), 1);
    for (PlotWindow* p : PlotWindows()) p->close();
  }
};

QTEST_MAIN(TestPlotMenu)
#include "test_plot_menu.moc"
