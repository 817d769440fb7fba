// Opening a series file from the window: the dialog, a refused file, and a
// file without coefficients.
#include "ui_test_support.h"

#include <QGroupBox>

using namespace tabulor;
using namespace tabulor::test;
using State = FrmTabulor::FormState;

namespace {

// The window as it stands before any file: compared before and after a
// refused file.
QStringList Snapshot(FrmTabulor& w) {
  QStringList s;
  s << QString::number(static_cast<int>(w.formState())) << QString::number(w.controlSetCount())
    << QString::number(Ctl<QLineEdit>(w, "txtSerFileName")->isEnabled())
    << QString::number(Ctl<QLineEdit>(w, "txtGrdFileName")->isEnabled())
    << QString::number(Ctl<QGroupBox>(w, "fraVarSpecs")->isEnabled())
    << QString::number(Ctl<QPushButton>(w, "cmdCompute")->isEnabled())
    << QString::number(Ctl<QAction>(w, "mnuAbout")->isVisible()) << Ctl<QLineEdit>(w, "txtSerFileName")->text()
    << Ctl<QLabel>(w, "lblOrder")->text() << Ctl<QLabel>(w, "lblCoeffs")->text();
  for (QWidget* m : SetOf(w, 0).members()) {
    if (auto* e = qobject_cast<QLineEdit*>(m)) s << e->text();
    if (auto* c = qobject_cast<QCheckBox*>(m)) s << QString::number(c->isChecked());
    if (auto* l = qobject_cast<QLabel*>(m)) s << l->text();
    s << QString::number(m->isEnabled());
  }
  return s;
}

}  // namespace

class TestOpenSeries : public QObject {
  Q_OBJECT

 private slots:
  // Enter or Space on a file name box opens the dialog, as a click does.
  void fileNameBoxesOpenFromTheKeyboard() {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
      Fixture f;
      FrmTabulor& w = *f.w;
      f.user.openAnswers << WriteText(f.dir, "run.ser", kPolySeries);
      Ctl<QLineEdit>(w, "txtSerFileName")->setFocus(Qt::TabFocusReason);
      QTest::keyClick(Ctl<QLineEdit>(w, "txtSerFileName"), key);
      QCOMPARE(f.user.openFilters.size(), 1);
      QCOMPARE(w.formState(), FrmTabulor::FormState::SeriesLoaded);
    }
    Fixture f;
    FrmTabulor& w = *f.w;
    Ctl<QLineEdit>(w, "txtGrdFileName")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Ctl<QLineEdit>(w, "txtGrdFileName"), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(f.user.openFilters.size(), 1);  // cancelled: nothing opened
    QCOMPARE(w.formState(), FrmTabulor::FormState::Start);
    // Other keys do nothing.
    QTest::keyClick(Ctl<QLineEdit>(w, "txtSerFileName"), Qt::Key_A);
    QCOMPARE(f.user.openFilters.size(), 1);
  }

  void refusedFilesLeaveTheWindowAsItWas() {
    const std::pair<const char*, const char*> cases[] = {
        {"5\nx\n", "outside"},                               // more than four variables
        {"0\nx\n0\n1\n0\n#TRUE#\n*\n2\n#TRUE#\n1,2\n", ""},  // ends before the last coefficient
        {"0\nx\n0\n1\n0\n#MAYBE#\n*\n2\n#TRUE#\n1,2,3\n", ""},
        {"", ""}};
    for (auto [text, why] : cases) {
      Fixture f;
      FrmTabulor& w = *f.w;
      const QStringList before = Snapshot(w);
      QVERIFY(!f.openSeries(text, "bad.ser"));
      QCOMPARE(f.user.messages.size(), 1);
      const QString msg = f.user.messages.first();
      QVERIFY2(msg.contains(f.dir.filePath("bad.ser")) && msg.contains(why), qPrintable(msg));
      QCOMPARE(f.user.icons.first(), QMessageBox::Critical);
      QCOMPARE(Snapshot(w), before);
      QVERIFY(f.model.FileName.empty());
      QVERIFY(!f.model.Loading);
      QCOMPARE(f.user.quits, 0);
      // The boxes still work: a good file opens next.
      QVERIFY(f.openSeries(kPolySeries));
      QCOMPARE(f.set(0).lblVar->text(), QStringLiteral("x"));
    }
  }

  void missingFileIsReported() {
    Fixture f;
    f.user.openAnswers << f.dir.filePath("nowhere.ser");
    f.click(Ctl<QLineEdit>(*f.w, "txtSerFileName"));
    QCOMPARE(f.user.messages.size(), 1);
    QVERIFY(f.user.messages.first().contains("nowhere.ser"));
    QVERIFY(f.user.messages.first().contains("cannot be opened"));
    QCOMPARE(f.w->formState(), State::Start);
  }

  void noCoefficientsEndsTheProgram() {
    Fixture f;
    FrmTabulor& w = *f.w;
    int unloads = 0;
    QObject::connect(&w, &FrmTabulor::unloading, [&] { ++unloads; });
    QVERIFY(!f.openSeries("0,x,0,1,0,#TRUE#,*,2,#FALSE#,whatever follows\n"));
    QCOMPARE(f.user.messages, QStringList{"NO COEFFICIENTS IN FILE."});
    QCOMPARE(f.user.icons.first(), QMessageBox::NoIcon);
    QVERIFY(!w.isVisible());
    QCOMPARE(unloads, 1);
    QCOMPARE(f.user.quits, 1);
  }

  void seriesWithQuotedNamesAndCommas() {
    Fixture f;
    QVERIFY(f.openSeries("1,\"x, the first\",-1,3,*,#TRUE#,\"*\",1,y,0,2,0.5,#FALSE#,abc,2,#TRUE#,1,2,3,4,5,6\n"));
    QCOMPARE(f.set(0).lblVar->text(), QStringLiteral("x, the first"));
    QCOMPARE(f.set(0).txtExpansion->text(), QStringLiteral("*"));
    QCOMPARE(f.model.Center[0], 1.0);
    QCOMPARE(f.set(1).txtExpansion->text(), QStringLiteral("0.5"));
    QCOMPARE(f.set(1).txtPeriod->text(), QStringLiteral("abc"));
    QCOMPARE(Ctl<QLabel>(*f.w, "lblCoeffs")->text(), QStringLiteral("6"));
  }
};

QTEST_MAIN(TestOpenSeries)
#include "test_open_series.moc"
