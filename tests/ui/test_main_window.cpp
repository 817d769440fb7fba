// The main window's layout, states, control sets, tab order and paging.
#include "ui_test_support.h"

#include <QGroupBox>
#include <QMenu>
#include <QTextDocument>

using namespace tabulor;
using namespace tabulor::test;
using State = FrmTabulor::FormState;

namespace {

QColor Role(QWidget* w, QPalette::ColorRole role) { return w->palette().color(role); }

// What FrmTabulor::ApplyState enables, disables, shows and hides in each
// state.
void CheckStateTable(FrmTabulor& w, State state) {
  const bool start = state == State::Start;
  QCOMPARE(w.formState(), state);
  QCOMPARE(Ctl<QLineEdit>(w, "txtSerFileName")->isEnabled(), start);
  QCOMPARE(Ctl<QLineEdit>(w, "txtGrdFileName")->isEnabled(), start);
  QCOMPARE(Ctl<QGroupBox>(w, "fraVarSpecs")->isEnabled(), !start);
  QCOMPARE(Ctl<QGroupBox>(w, "fraSerSpecs")->isVisibleTo(Ctl<QGroupBox>(w, "fraVarSpecs")),
           state != State::GridFileShown);
  QVERIFY(!Ctl<QGroupBox>(w, "fraSerSpecs")->isEnabledTo(Ctl<QGroupBox>(w, "fraVarSpecs")));
  QCOMPARE(Ctl<QGroupBox>(w, "fraGrdSpecs")->isEnabledTo(Ctl<QGroupBox>(w, "fraVarSpecs")),
           state == State::Start || state == State::SeriesLoaded);
  QCOMPARE(Ctl<QPushButton>(w, "cmdCompute")->isEnabled(), state == State::SeriesLoaded);
  const auto& shown = SetOf(w, w.ShownVar() - 1);
  QCOMPARE(shown.cmdEditVars->isVisibleTo(Ctl<QGroupBox>(w, "fraGrdSpecs")), state != State::GridFileShown);
  QVERIFY(!Ctl<QAction>(w, "mnuOpen")->isEnabled());
  const bool results = state == State::Computed || state == State::GridFileShown;
  QCOMPARE(Ctl<QAction>(w, "mnuSave")->isEnabled(), results);
  QCOMPARE(Ctl<QAction>(w, "mnuSaveAs")->isEnabled(), results);
  QCOMPARE(Ctl<QAction>(w, "mnuPrint")->isEnabled(), results);
  QCOMPARE(Ctl<QAction>(w, "mnuAbout")->isVisible(), !start);
  QVERIFY(Ctl<QMenu>(w, "mnuFile")->menuAction()->isEnabled());
  QVERIFY(Ctl<QAction>(w, "mnuHelp")->isEnabled() && Ctl<QAction>(w, "mnuHelp")->isVisible());
  QVERIFY(Ctl<QPushButton>(w, "cmdExit")->isEnabled());
  QVERIFY(Ctl<ResultsList>(w, "lstCoeff")->isEnabled());
}

// The widgets that Tab visits from `from` until it comes back, at most 40.
QList<QWidget*> TabRound(QWidget* from) {
  QList<QWidget*> seen;
  from->setFocus(Qt::TabFocusReason);
  for (int i = 0; i < 40; ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* now = QApplication::focusWidget();
    if (now == from) break;
    seen << now;
  }
  return seen;
}

// Our named controls in focus chain order, from "Exit" on.
QStringList ChainNames(FrmTabulor& w, const QStringList& wanted) {
  QStringList names;
  QWidget* x = Ctl<QPushButton>(w, "cmdExit");
  for (int i = 0; i < 500; ++i) {
    if (wanted.contains(x->objectName()) && !names.contains(x->objectName())) names << x->objectName();
    x = x->nextInFocusChain();
    if (x == Ctl<QPushButton>(w, "cmdExit")) break;
  }
  return names;
}

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private slots:
  void layoutCaptionsColoursAndFonts() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QCOMPARE(w.windowTitle(), QStringLiteral("Mixed Series Evaluations"));
    QCOMPARE(w.minimumSize(), w.maximumSize());  // not resizable
    QCOMPARE(w.centralWidget()->size(), QSize(632, 434));
    QCOMPARE(Ctl<ResultsList>(w, "lstCoeff")->geometry(), QRect(0, 138, 633, 296));
    QCOMPARE(Ctl<QGroupBox>(w, "fraVarSpecs")->geometry(), QRect(142, 0, 461, 140));
    QCOMPARE(Ctl<QPushButton>(w, "cmdExit")->geometry(), QRect(602, 0, 30, 19));
    QCOMPARE(Ctl<QPushButton>(w, "cmdCompute")->geometry(), QRect(0, 122, 70, 16));
    QCOMPARE(f.set(0).txtGridPoints->geometry(), QRect(320, 14, 39, 19));

    QCOMPARE(Ctl<QLabel>(w, "lblSerFilename")->text(), QStringLiteral("Series file name:"));
    QCOMPARE(Ctl<QLabel>(w, "lblGrdFilename")->text(), QStringLiteral("Grid file name:"));
    QCOMPARE(Ctl<QLabel>(w, "lblOrd")->text(), QStringLiteral("# of variables:"));
    QCOMPARE(Ctl<QLabel>(w, "lblCoeffOrGrid")->text(), QStringLiteral("# of coefficients:"));
    QCOMPARE(Ctl<QLabel>(w, "lblGridPoint")->text(), QStringLiteral("# of grid points:"));
    QCOMPARE(Ctl<QPushButton>(w, "cmdCompute")->text(), QStringLiteral("Compute"));
    QCOMPARE(Ctl<QPushButton>(w, "cmdExit")->text(), QStringLiteral("E&xit"));
    QCOMPARE(Ctl<QGroupBox>(w, "fraVarSpecs")->title(), QStringLiteral("Specifications for each variable"));
    QCOMPARE(Ctl<QGroupBox>(w, "fraSerSpecs")->title(), QStringLiteral("Series details"));
    QCOMPARE(Ctl<QGroupBox>(w, "fraGrdSpecs")->title(), QStringLiteral("Grid specifications"));
    QCOMPARE(Ctl<QGroupBox>(w, "fraType")->title(), QStringLiteral("Type"));
    QCOMPARE(Ctl<QGroupBox>(w, "FraSpaced")->title(), QStringLiteral("Evenly spaced"));
    QCOMPARE(Ctl<QLabel>(w, "lblVariable")->text(), QStringLiteral("Variable:"));
    QCOMPARE(Ctl<QLabel>(w, "lblExpansion")->text(), QStringLiteral("Center of expansion:"));
    QCOMPARE(Ctl<QLabel>(w, "lblPeriod")->text(), QStringLiteral("Period:"));
    QCOMPARE(Ctl<QLabel>(w, "lblTerms")->text(), QStringLiteral("# of terms:"));
    QCOMPARE(Ctl<QLabel>(w, "lblGirdPoints")->text(), QStringLiteral("# of grid points:"));
    QCOMPARE(Ctl<QLabel>(w, "lblDer")->text(), QStringLiteral("Derivative w.r.t. this variable:"));
    QCOMPARE(Ctl<QPushButton>(w, "cmdPrevVar")->text(), QStringLiteral("Previous"));
    QCOMPARE(Ctl<QPushButton>(w, "cmdNextVar")->text(), QStringLiteral("Next"));
    const auto& s = f.set(0);
    QCOMPARE(s.chkPower->text(), QStringLiteral("Power"));
    QCOMPARE(s.chkSpaced->text(), QStringLiteral("Yes"));
    QCOMPARE(s.cmdEditVars->text(), QStringLiteral("Edit"));

    QCOMPARE(s.chkPower->toolTip(), QStringLiteral("Unchecked means Trigonometric"));
    QCOMPARE(s.chkSpaced->toolTip(), QStringLiteral("Uncheck for unevenly spaced grid"));
    QCOMPARE(s.txtExpansion->toolTip(), QStringLiteral("\"*\" means center of interval"));
    QCOMPARE(s.txtPeriod->toolTip(), QStringLiteral("\"*\" means 2\u03C0"));
    QCOMPARE(Ctl<ResultsList>(w, "lstCoeff")->toolTip(), QStringLiteral("Results"));

    QCOMPARE(Role(&w, QPalette::Window), QColor(0, 255, 255));
    QCOMPARE(Role(Ctl<QGroupBox>(w, "fraGrdSpecs"), QPalette::Window), QColor(0, 255, 255));
    QCOMPARE(Role(s.txtLL, QPalette::Base), QColor(255, 255, 192));
    QCOMPARE(Role(s.chkPower, QPalette::Window), QColor(255, 255, 192));
    QCOMPARE(Role(Ctl<QLabel>(w, "lblCoeffs"), QPalette::Window), QColor(255, 255, 192));
    QCOMPARE(Role(s.txtLLgrid, QPalette::Base), QColor(0, 255, 0));
    QCOMPARE(Role(s.chkSpaced, QPalette::Window), QColor(0, 255, 0));
    QCOMPARE(Role(Ctl<QLineEdit>(w, "txtSerFileName"), QPalette::Base), QColor(0, 255, 0));
    QCOMPARE(Role(Ctl<ResultsList>(w, "lstCoeff")->viewport(), QPalette::Base), QColor(255, 255, 0));
    QCOMPARE(Role(Ctl<QPushButton>(w, "cmdCompute"), QPalette::Button), QColor(255, 128, 0));
    QCOMPARE(Role(s.cmdEditVars, QPalette::Button), QColor(255, 128, 0));
    QCOMPARE(Role(Ctl<QPushButton>(w, "cmdExit"), QPalette::Button), QColor(255, 0, 0));
    QCOMPARE(Role(Ctl<QLabel>(w, "lblVariable"), QPalette::WindowText), QColor(255, 0, 0));
    QCOMPARE(Role(Ctl<QLabel>(w, "lblLL"), QPalette::Window), QApplication::palette().color(QPalette::ToolTipBase));

    QCOMPARE(Ctl<ResultsList>(w, "lstCoeff")->font().families(), (QStringList{"Courier New", "Liberation Mono"}));
    QCOMPARE(QFontInfo(Ctl<ResultsList>(w, "lstCoeff")->font()).family(), QStringLiteral("Liberation Mono"));
    QVERIFY(QFontInfo(Ctl<ResultsList>(w, "lstCoeff")->font()).fixedPitch());
    QCOMPARE(Ctl<QLabel>(w, "lblLL")->font().family(), QStringLiteral("Liberation Sans"));
    QVERIFY(Ctl<QLabel>(w, "lblLL")->font().bold());
    QVERIFY(Ctl<QGroupBox>(w, "fraVarSpecs")->font().bold());
    QVERIFY(Ctl<QPushButton>(w, "cmdExit")->font().bold());
    QVERIFY(!Ctl<QPushButton>(w, "cmdCompute")->font().bold());
    QVERIFY(!s.txtLLgrid->font().bold());
    QVERIFY(!Ctl<QGroupBox>(w, "fraType")->font().bold());
    QCOMPARE(s.txtLLgrid->font().pointSizeF(), 8.25);
  }

  // A disabled button greys its caption; an enabled one shows it in black.
  // Disabled frames and check boxes keep readable captions, and check boxes
  // are painted in their colours. A name from a file is shown as written,
  // even when it looks like markup.
  void controlsLookAsTheyAreAndNamesShowAsWritten() {
    Fixture f;
    FrmTabulor& w = *f.w;
    auto darkPixels = [](QWidget* button) {
      const QImage image = button->grab().toImage();
      int dark = 0;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
          if (qGray(image.pixel(x, y)) < 64) ++dark;
      return dark;
    };
    QVERIFY(!Ctl<QPushButton>(w, "cmdCompute")->isEnabled());
    const int disabled = darkPixels(Ctl<QPushButton>(w, "cmdCompute"));
    QVERIFY(f.openSeries("0\n\"<b>x</b>\"\n0\n1\n0\n#TRUE#\n*\n2\n#TRUE#\n1\n2\n3\n", QStringLiteral("<b>run.ser")));
    QVERIFY(Ctl<QPushButton>(w, "cmdCompute")->isEnabled());
    const int enabled = darkPixels(Ctl<QPushButton>(w, "cmdCompute"));
    QVERIFY2(enabled > 20 && disabled * 4 < enabled,
             qPrintable(QStringLiteral("dark pixels: disabled %1, enabled %2").arg(disabled).arg(enabled)));

    // "Series details" stays disabled: its caption is still plainly drawn.
    QVERIFY(!Ctl<QGroupBox>(w, "fraSerSpecs")->isEnabled());
    const QImage frame = Ctl<QGroupBox>(w, "fraSerSpecs")->grab().toImage();
    int caption = 0;
    for (int y = 0; y < 14; ++y)
      for (int x = 0; x < 120; ++x)
        if (qGray(frame.pixel(x, y)) < 128) ++caption;
    QVERIFY2(caption > 20, qPrintable(QString::number(caption)));
    // The check boxes' faces, enabled or not, beside their captions.
    for (QCheckBox* box : {f.set(0).chkSpaced, f.set(0).chkPower}) {
      const QImage face = box->grab().toImage();
      QCOMPARE(QColor(face.pixel(face.width() - 2, face.height() / 2)), Role(box, QPalette::Window));
    }

    QLabel* name = f.set(0).lblVar;
    QCOMPARE(name->text(), QStringLiteral("<b>x</b>"));
    // Drawn as markup it would be one bold "x" wide.
    QVERIFY(name->sizeHint().width() >= name->fontMetrics().horizontalAdvance(QStringLiteral("<b>x</b>")));
    // The file name's tool tip shows the name as it is spelled.
    const QString tip = Ctl<QLineEdit>(w, "txtSerFileName")->toolTip();
    QTextDocument shown;
    if (Qt::mightBeRichText(tip))
      shown.setHtml(tip);
    else
      shown.setPlainText(tip);
    QCOMPARE(shown.toPlainText(), f.dir.filePath(QStringLiteral("<b>run.ser")));
  }

  void menuBarInOrder() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QStringList top;
    for (QAction* a : w.menuBar()->actions()) top << a->text();
    QCOMPARE(top, (QStringList{"File", "Print", "Plot", "Help", "About"}));
    const QList<QAction*> file = Ctl<QMenu>(w, "mnuFile")->actions();
    QCOMPARE(file.size(), 5);
    QCOMPARE(file[0]->text(), QStringLiteral("Open"));
    QVERIFY(file[1]->isSeparator());
    QCOMPARE(file[2]->text(), QStringLiteral("Save"));
    QCOMPARE(file[3]->text(), QStringLiteral("Save As"));
    QVERIFY(file[4]->isSeparator());
    QVERIFY(!Ctl<QAction>(w, "mnuPrint")->menu());  // a top-level item, not in File
  }

  void startState() {
    Fixture f;
    FrmTabulor& w = *f.w;
    CheckStateTable(w, State::Start);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Ctl<QPushButton>(w, "cmdExit")));
    QCOMPARE(w.ShownVar(), 1);
    QCOMPARE(w.controlSetCount(), 1);
    const auto& s = f.set(0);
    QCOMPARE(s.txtLLgrid->text(), QStringLiteral("-1"));
    QCOMPARE(s.txtULgrid->text(), QStringLiteral("1"));
    QCOMPARE(s.txtGridPoints->text(), QStringLiteral("2"));
    QCOMPARE(s.txtDer->text(), QStringLiteral("0"));
    QVERIFY(s.txtLL->text().isEmpty() && s.lblVar->text().isEmpty());
    QVERIFY(!s.cmdEditVars->isEnabled());
    QCOMPARE(f.model.Pi, 4.0 * std::atan(1.0));
    // Nothing in the disabled frame takes a click.
    f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    QCOMPARE(w.ShownVar(), 1);
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::Start);
  }

  void oneVariableLoaded() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    CheckStateTable(w, State::SeriesLoaded);
    QCOMPARE(f.user.openFilters, QStringList{"Series files (*.ser);;All files (*)"});
    QCOMPARE(w.controlSetCount(), 1);  // no copies for one variable
    const QString path = f.dir.filePath("run.ser");
    QCOMPARE(Ctl<QLineEdit>(w, "txtSerFileName")->text(), path);
    QCOMPARE(Ctl<QLineEdit>(w, "txtSerFileName")->toolTip(), path);
    QCOMPARE(Ctl<QLabel>(w, "lblOrder")->text(), QStringLiteral("1"));
    QCOMPARE(Ctl<QLabel>(w, "lblCoeffs")->text(), QStringLiteral("3"));
    const auto& s = f.set(0);
    QCOMPARE(s.lblVar->text(), QStringLiteral("x"));
    QCOMPARE(s.txtLL->text(), QStringLiteral("0"));
    QCOMPARE(s.txtUL->text(), QStringLiteral("1"));
    QCOMPARE(s.txtLLgrid->text(), QStringLiteral("0"));
    QCOMPARE(s.txtULgrid->text(), QStringLiteral("1"));
    QCOMPARE(s.txtTerms->text(), QStringLiteral("3"));
    QCOMPARE(s.txtGridPoints->text(), QStringLiteral("3"));
    QCOMPARE(s.txtDer->text(), QStringLiteral("0"));
    QCOMPARE(s.txtExpansion->text(), QStringLiteral("0"));
    QCOMPARE(s.txtPeriod->text(), QStringLiteral("*"));
    QVERIFY(s.chkPower->isChecked());
    QVERIFY(s.chkSpaced->isChecked());
    QVERIFY(!s.cmdEditVars->isEnabled());
    // The focus is on the first grid lower limit, its text selected.
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(s.txtLLgrid));
    QCOMPARE(s.txtLLgrid->selectedText(), QStringLiteral("0"));

    // Tab runs through the shown variable's five grid controls to Compute.
    const QList<QWidget*> round = TabRound(Ctl<QPushButton>(w, "cmdExit"));
    const QList<QWidget*> expected{s.txtLLgrid,
                                   s.txtULgrid,
                                   s.txtGridPoints,
                                   s.txtDer,
                                   s.chkSpaced,
                                   Ctl<QPushButton>(w, "cmdCompute"),
                                   Ctl<ResultsList>(w, "lstCoeff"),
                                   Ctl<QPushButton>(w, "cmdPrevVar"),
                                   Ctl<QPushButton>(w, "cmdNextVar")};
    QCOMPARE(round, expected);

    // One variable: Next and Previous show variable 0 again, focus on its
    // lower limit.
    Ctl<QPushButton>(w, "cmdExit")->setFocus();
    f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    QCOMPARE(w.ShownVar(), 1);
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(s.txtLLgrid));
    f.click(Ctl<QPushButton>(w, "cmdPrevVar"));
    QCOMPARE(w.ShownVar(), 1);
    QVERIFY(s.txtLLgrid->isVisibleTo(&w));
  }

  void fourVariablesLoadObjects() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kFourVarSeries));
    QCOMPARE(w.controlSetCount(), 4);
    QCOMPARE(Ctl<QLabel>(w, "lblOrder")->text(), QStringLiteral("4"));
    QCOMPARE(Ctl<QLabel>(w, "lblCoeffs")->text(), QStringLiteral("16"));
    const auto zero = f.set(0).members();
    for (int k = 1; k < 4; ++k) {
      const auto m = f.set(k).members();
      for (std::size_t i = 0; i < m.size(); ++i) {
        // A copy lies on top of set 0, in the same container, hidden.
        QCOMPARE(m[i]->parentWidget(), zero[i]->parentWidget());
        QCOMPARE(m[i]->geometry(), zero[i]->geometry());
        QCOMPARE(m[i]->palette(), zero[i]->palette());
        QCOMPARE(m[i]->font(), zero[i]->font());
        // The variable's caption has its own name as tool tip.
        if (m[i] != f.set(k).lblVar) QCOMPARE(m[i]->toolTip(), zero[i]->toolTip());
        QVERIFY(m[i]->isHidden());
      }
      // Filled from the model: every grid box equals the series details.
      const auto& s = f.set(k);
      QCOMPARE(s.lblVar->toolTip(), s.lblVar->text());
      QCOMPARE(s.txtLLgrid->text(), s.txtLL->text());
      QCOMPARE(s.txtULgrid->text(), s.txtUL->text());
      QCOMPARE(s.txtGridPoints->text(), s.txtTerms->text());
      QCOMPARE(s.txtDer->text(), QStringLiteral("0"));
      QVERIFY(s.chkSpaced->isChecked() && !s.cmdEditVars->isEnabled());
    }
    QCOMPARE(f.set(2).lblVar->text(), QStringLiteral("c"));
    QCOMPARE(f.set(1).txtLL->text(), QStringLiteral("-1"));
    for (QWidget* m : zero) QVERIFY(!m->isHidden());

    // The focus chain: each variable's five grid controls in turn, before
    // Compute; then the list, Previous, Next and the Edit buttons.
    QStringList wanted{"cmdExit", "txtSerFileName", "txtGrdFileName"};
    for (int k = 0; k < 4; ++k)
      for (const char* n : {"txtLLgrid", "txtULgrid", "txtGridPoints", "txtDer", "chkSpaced"})
        wanted << QStringLiteral("%1_%2").arg(QLatin1String(n)).arg(k);
    wanted << "cmdCompute"
           << "lstCoeff"
           << "cmdPrevVar"
           << "cmdNextVar";
    for (int k = 0; k < 4; ++k) wanted << QStringLiteral("cmdEditVars_%1").arg(k);
    QCOMPARE(ChainNames(w, wanted), wanted);

    // Tab from the shown evenly-spaced box goes to Compute.
    f.set(0).chkSpaced->setFocus(Qt::TabFocusReason);
    f.tab();
    QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(Ctl<QPushButton>(w, "cmdCompute")));
  }

  void pagingWrapsAndShowsOneSet() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kFourVarSeries));
    auto onlyShown = [&](int k) {
      for (int j = 0; j < 4; ++j)
        for (QWidget* m : f.set(j).members()) {
          if (m->isHidden() != (j != k)) return false;
        }
      return true;
    };
    const int expected[] = {2, 3, 4, 1, 2};
    for (int shown : expected) {
      f.click(Ctl<QPushButton>(w, "cmdNextVar"));
      QCOMPARE(w.ShownVar(), shown);
      QVERIFY(onlyShown(shown - 1));
      QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.set(shown - 1).txtLLgrid));
      QCOMPARE(f.set(shown - 1).lblVar->text(), QString(QChar('a' + shown - 1)));
    }
    f.click(Ctl<QPushButton>(w, "cmdPrevVar"));  // 2 -> 1
    f.click(Ctl<QPushButton>(w, "cmdPrevVar"));  // 1 -> 4
    QCOMPARE(w.ShownVar(), 4);
    QVERIFY(onlyShown(3));
    QVERIFY(f.set(3).txtLLgrid->isVisible());
    QVERIFY(!f.set(0).txtLLgrid->isVisible());
  }

  void spacedBoxDrivesEditAndModel() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kTwoVarSeries));
    f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    const auto& s = f.set(1);
    f.click(s.chkSpaced);
    QVERIFY(!s.chkSpaced->isChecked());
    QVERIFY(s.cmdEditVars->isEnabled());
    QVERIFY(!f.model.EvenlySpaced[1]);
    QVERIFY(f.model.EvenlySpaced[0]);
    f.click(s.chkSpaced);
    QVERIFY(s.chkSpaced->isChecked());
    QVERIFY(!s.cmdEditVars->isEnabled());
    QVERIFY(f.model.EvenlySpaced[1]);
    // The space bar, and a change made by code, obey the same rule.
    s.chkSpaced->setFocus();
    QTest::keyClick(s.chkSpaced, Qt::Key_Space);
    QVERIFY(!f.model.EvenlySpaced[1] && s.cmdEditVars->isEnabled());
    f.set(0).chkSpaced->setChecked(false);
    QVERIFY(!f.model.EvenlySpaced[0] && f.set(0).cmdEditVars->isEnabled());
  }

  void trigonometricVariableShowsPowerUnchecked() {
    Fixture f;
    QVERIFY(f.openSeries("0\nt\n0\n6.28\n*\n#FALSE#\n*\n2\n#TRUE#\n1,2,3\n"));
    QVERIFY(!f.set(0).chkPower->isChecked());
    QCOMPARE(f.set(0).txtExpansion->text(), QStringLiteral("*"));
  }

  void cancelledDialogChangesNothing() {
    Fixture f;
    FrmTabulor& w = *f.w;
    f.user.openAnswers << QString();
    f.click(Ctl<QLineEdit>(w, "txtSerFileName"));
    QCOMPARE(f.user.openFilters.size(), 1);
    CheckStateTable(w, State::Start);
    QVERIFY(f.model.FileName.empty());
  }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
