// The uneven grid editor: clicks, keys, "Delete", "Done" and the close box.
#include "ui_test_support.h"

#include <QSignalSpy>

#include "model/number_text.h"

using namespace tabulor;
using namespace tabulor::test;

namespace {

// Variable x typed by hand, and y (10, 20, 30).
Dimension MakeModel(const std::vector<double>& values) {
  Dimension model;
  model.LastVar = 1;
  model.VarName = {"x", "y", "", ""};
  model.LastPoint = {static_cast<std::int32_t>(values.size()) - 1, 2, 0, 0};
  model.GridX = {values, {10, 20, 30}, {0}, {0}};
  return model;
}

QString CellText(FrmVars& editor, int row, int column = 1) {
  return editor.grid()->model()->index(row, column).data().toString();
}

// The cells' texts, the model's values of variable `var`, the current row
// and the editing box's text (or "-" when it is hidden).
QString Summary(FrmVars& editor, const Dimension& model, int var = 0) {
  QStringList cells, values;
  for (int r = 0; r < editor.grid()->model()->rowCount(); ++r) cells << CellText(editor, r);
  for (int r = 0; r <= model.LastPoint[var]; ++r) values << QString::fromStdString(NumberText(model.GridX[var][r]));
  return cells.join(' ') + " | " + values.join(' ') + " | " + QString::number(editor.grid()->currentIndex().row()) +
         " | " + (editor.isEditing() ? editor.dataEntry()->text() : "-");
}

// Plays a script of user actions: "cN" clicks the cell of row N, "lN" its
// label, "'text" types, "Delete" and "Done" click the buttons, "Close"
// closes the window; other words are keys.
void Play(FrmVars& editor, const QString& script) {
  static const QHash<QString, Qt::Key> keys{
      {"Up", Qt::Key_Up},        {"Down", Qt::Key_Down},  {"Left", Qt::Key_Left},     {"Right", Qt::Key_Right},
      {"Enter", Qt::Key_Return}, {"Esc", Qt::Key_Escape}, {"Del", Qt::Key_Delete},    {"Home", Qt::Key_Home},
      {"BS", Qt::Key_Backspace}, {"F2", Qt::Key_F2},      {"PgDn", Qt::Key_PageDown}, {"Tab", Qt::Key_Tab}};
  for (const QString& step : script.split(' ')) {
    if (step[0] == 'c' || step[0] == 'l') ClickCell(editor, step.mid(1).toInt(), step[0] == 'c');
    if (step[0] == '\'') QTest::keyClicks(editor.dataEntry(), step.mid(1));
    if (step == "Delete") QTest::mouseClick(editor.deleteButton(), Qt::LeftButton);
    if (step == "Done") QTest::mouseClick(editor.doneButton(), Qt::LeftButton);
    if (step == "Close") editor.close();
    if (step == "Backtab") QTest::keyClick(Focus(), Qt::Key_Backtab, Qt::ShiftModifier);
    if (keys.contains(step))
      QTest::keyClick(editor.isEditing() && step != "Tab" ? editor.dataEntry() : Focus(), keys[step]);
  }
}

}  // namespace

class TestVarsEditor : public QObject {
  Q_OBJECT

 private slots:
  // Each row plays a script, then compares what the editor and the model
  // hold (see Summary), what "Delete" told the window and the message shown.
  void keysAndButtons_data() {
    QTest::addColumn<int>("var");
    QTest::addColumn<QString>("play");
    QTest::newRow("click opens the cell") << 0 << "c2 => 1 2 3 4 5 | 1 2 3 4 5 | 2 | 3";
    QTest::newRow("a label is no cell") << 0 << "l3 => 1 2 3 4 5 | 1 2 3 4 5 | 0 | -";
    QTest::newRow("Enter brings it back") << 0 << "c2 '2.5 Enter => 1 2 3 4 5 | 1 2 3 4 5 | 2 | 3";
    QTest::newRow("Escape brings it back") << 0 << "c2 '9 Esc => 1 2 3 4 5 | 1 2 3 4 5 | 2 | 3";
    QTest::newRow("Down stores and moves") << 0 << "c2 '2.5 Down => 1 2 2.5 4 5 | 1 2 2.5 4 5 | 3 | 4";
    QTest::newRow("Up stores and moves") << 0 << "c2 '2.5 Down '-4E-1 Up => 1 2 2.5 -4E-1 5 | 1 2 2.5 -0.4 5 | 2 | 2.5";
    QTest::newRow("Up at the top") << 0 << "c0 '9 Up => 1 2 3 4 5 | 1 2 3 4 5 | 0 | 1";
    QTest::newRow("Down at the bottom") << 0 << "c4 '9 Down => 1 2 3 4 5 | 1 2 3 4 5 | 4 | 5";
    QTest::newRow("Left and Right") << 0 << "c2 '9 Left '8 Right => 1 2 3 4 5 | 1 2 3 4 5 | 2 | 3";
    QTest::newRow("another cell") << 0 << "c1 '8 c3 => 1 8 3 4 5 | 1 8 3 4 5 | 3 | 4";
    QTest::newRow("Done stores") << 0 << "c2 '2.5 Done => 1 2 2.5 4 5 | 1 2 2.5 4 5 | 2 | -";
    QTest::newRow("close box stores") << 0 << "c4 '6 Close => 1 2 3 4 6 | 1 2 3 4 6 | 4 | -";
    QTest::newRow("leading numbers") << 0
                                     << "c0 '1.5e Down '1.2.3 Down Del Down '- Down '1e-400 Done => "
                                        "1.5e 1.2.3  - 1e-400 | 1.5 1.2 0 0 0 | 4 | -";
    QTest::newRow("number characters") << 0 << "c1 'abc12x,.5_E-3+e/ => 1 2 3 4 5 | 1 2 3 4 5 | 1 | 12.5E-3+e";
    QTest::newRow("no Backspace") << 0 << "c1 '12 BS Home Del PgDn => 1 2 3 4 5 | 1 2 3 4 5 | 1 | 2";
    QTest::newRow("Tab to Done") << 0 << "c2 '6.25 Tab Tab => 1 2 3 4 5 | 1 2 3 4 5 | 2 | 6.25";
    QTest::newRow("Tab to the table") << 0 << "c2 '6.25 Tab Tab Tab => 1 2 6.25 4 5 | 1 2 6.25 4 5 | 2 | -";
    QTest::newRow("Enter in the table") << 0 << "c2 Backtab Down Enter => 1 2 3 4 5 | 1 2 3 4 5 | 3 | 4";
    // "Delete" moves the model's last value into the row (dropping what was
    // typed) and removes the last row; an uneven grid keeps two values.
    QTest::newRow("Delete") << 0 << "c1 '9 Delete => 1 5 3 4 | 1 5 3 4 | 1 | - told 4";
    QTest::newRow("Delete the last") << 0 << "c4 Delete => 1 2 3 4 | 1 2 3 4 | 3 | - told 4";
    QTest::newRow("Delete moves the value") << 0 << "c4 '7e c1 Delete => 1 7 3 4 | 1 7 3 4 | 1 | - told 4";
    QTest::newRow("Delete without an edit") << 0 << "c1 '7 Backtab Delete => 1 7 3 4 5 | 1 7 3 4 5 | 1 | -";
    QTest::newRow("two values stay") << 0
                                     << "c0 Delete c0 Delete c0 Delete c0 '8 Delete => 3 2 | 3 2 | 0 | 8 told 4 "
                                        "told 3 told 2 | An uneven grid keeps at least two values; none was deleted.";
    QTest::newRow("until the next value")
        << 0 << "c0 Delete c0 Delete c0 Delete c0 '8 Delete Down => 8 2 | 8 2 | 1 | 2 told 4 told 3 told 2";
    // A number beyond the doubles is not stored, and the edit stays.
    QTest::newRow("overflow") << 0
                              << "c2 '1e999 Down c4 Done Close => 1 2 3 4 5 | 1 2 3 4 5 | 2 | 1e999 | "
                                 "1e999 is too large for a number; the value was not stored.";
    QTest::newRow("overflow corrected") << 0
                                        << "c2 '1e999 Down '-1e300 Done => 1 2 -1e300 4 5 | 1 2 -1E+300 4 5 | 2 | -";
    // The editor of y works on y only, its title and labels named after it.
    QTest::newRow("y") << 1 << "c0 '15 Down c2 Delete Done => 15 20 | 15 20 | 1 | - told 2";
  }
  void keysAndButtons() {
    QFETCH(int, var);
    QFETCH(QString, play);
    const QString script = play.section(" => ", 0, 0);
    QWidget owner;
    owner.show();
    Dimension model = MakeModel({1, 2, 3, 4, 5});
    FrmVars editor(model, var, &owner);
    editor.open();
    Activate(&editor);
    QCOMPARE(QApplication::activeModalWidget(), &editor);
    QCOMPARE(editor.windowTitle() + CellText(editor, 2, 0),
             var ? "Enter/edit values of variable: yy(2)=" : "Enter/edit values of variable: xx(2)=");
    QSignalSpy told(&editor, &FrmVars::gridPointsChanged);
    Play(editor, script);
    QString summary = Summary(editor, model, var);
    for (const QList<QVariant>& signal : told) summary += " told " + signal[0].toString();
    if (editor.messageLabel()->isVisible()) summary += " | " + editor.messageLabel()->text();
    QCOMPARE(script + " => " + summary, play);
    QCOMPARE(model.LastPoint[1 - var], var ? 4 : 2);  // the other variable untouched
    const bool closed = script.endsWith("Done") || script.endsWith("Close");
    QCOMPARE(editor.isVisible(), !closed || editor.isEditing());
    if (editor.isEditing() && !script.contains("Tab") && !script.contains("Delete"))
      QCOMPARE(Focus(), editor.dataEntry());
  }
};

QTEST_MAIN(TestVarsEditor)
#include "test_vars_editor.moc"
