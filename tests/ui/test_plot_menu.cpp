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
    const int print = static_cast<int>(top.indexOf(Ctl<QAction>(*f.w, "mnuPrint")));
    QVERIFY(print >= 0);
    QCOMPARE(top.value(print + 1), Ctl<QAction>(*f.w, "mnuPlot"));
    QCOMPARE(Ctl<QAction>(*f.w, "mnuPlot")->text(), QStringLiteral("Plot"));
    QCOMPARE(top.value(print + 2), Ctl<QAction>(*f.w, "mnuHelp"));
  }

  void enabledExactlyWhenPrintIsOnTheComputeRoad() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QCOMPARE(Ctl<QAction>(w, "mnuPlot")->isEnabled(), Ctl<QAction>(w, "mnuPrint")->isEnabled());
    QVERIFY(!Ctl<QAction>(w, "mnuPlot")->isEnabled());
    ClickMenuBarEntry(w.menuBar(), Ctl<QAction>(w, "mnuPlot"));  // disabled: nothing opens
    QVERIFY(PlotWindows().isEmpty());
    QVERIFY(f.openSeries(kTwoVarSeries));
    QVERIFY(!Ctl<QAction>(w, "mnuPlot")->isEnabled());
    QCOMPARE(Ctl<QAction>(w, "mnuPlot")->isEnabled(), Ctl<QAction>(w, "mnuPrint")->isEnabled());
    // A failed computation enables neither.
    f.typeInto(f.set(0).txtDer, "x");
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::SeriesLoaded);
    QVERIFY(!Ctl<QAction>(w, "mnuPlot")->isEnabled() && !Ctl<QAction>(w, "mnuPrint")->isEnabled());
    f.typeInto(f.set(0).txtDer, "0");
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::Computed);
    QVERIFY(Ctl<QAction>(w, "mnuPlot")->isEnabled() && Ctl<QAction>(w, "mnuPrint")->isEnabled());
    ClickMenuBarEntry(w.menuBar(), Ctl<QAction>(w, "mnuPlot"));
    QTRY_COMPARE(PlotWindows().size(), 1);
    // Not modal: the main window still takes input.
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    QCOMPARE(SetOf(w, 1).lblVar->isVisible(), true);
    for (PlotWindow* p : PlotWindows()) p->close();
  }

  void enabledAfterAGridFileWasOpened() {
    QTemporaryDir keep;
    {
      Fixture f;
      QVERIFY(f.openSeries(kPolySeries));
      f.click(Ctl<QPushButton>(*f.w, "cmdCompute"));
      f.user.saveAnswers << keep.filePath("res");
      Ctl<QAction>(*f.w, "mnuSaveAs")->trigger();
      QVERIFY(QFile::exists(keep.filePath("res.grd")));
    }
    Fixture f;
    f.user.openAnswers << keep.filePath("res.grd");
    f.click(Ctl<QLineEdit>(*f.w, "txtGrdFileName"));
    QCOMPARE(f.w->formState(), State::GridFileShown);
    QVERIFY(Ctl<QAction>(*f.w, "mnuPlot")->isEnabled() && Ctl<QAction>(*f.w, "mnuPrint")->isEnabled());
    ClickMenuBarEntry(f.w->menuBar(), Ctl<QAction>(*f.w, "mnuPlot"));
    QTRY_COMPARE(PlotWindows().size(), 1);
    for (PlotWindow* p : PlotWindows()) p->close();
  }
};

QTEST_MAIN(TestPlotMenu)
#include "test_plot_menu.moc"
