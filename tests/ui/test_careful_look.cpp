// The window as a new user meets it: the question before results are lost,
// the question before grid points that were never entered are used, whole
// numbers in narrow places, shortened names and paths, the button faces and
// focus mark, the list's scroll bar and the Help window's ways out.
#include "ui_test_support.h"

#include <QDir>
#include <QGroupBox>
#include <QScrollBar>
#include <QTableView>

#include "model/limits.h"
#include "ui/fitted_text.h"
#include "ui/help_window.h"
#include "ui/vars_editor.h"

using namespace tabulor;
using namespace tabulor::test;
using State = FrmTabulor::FormState;

namespace {

// Opens examples/NAME through the series file box, as a user would.
bool OpenExample(Fixture& f, const char* name) {
  QFile example(QStringLiteral(TABULOR_EXAMPLES_DIR "/") + QLatin1String(name));
  return example.open(QIODevice::ReadOnly) && f.openSeries(example.readAll(), QLatin1String(name));
}

// Types `text` into row `row` of the editor and commits it with "Done".
void EnterValue(Fixture& f, int row, const QString& text) {
  FrmVars* editor = OpenEditor(f, 0);
  QVERIFY(editor);
  const QRect rect = editor->grid()->visualRect(editor->grid()->model()->index(row, 1));
  QTest::mouseClick(editor->grid()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
  QVERIFY(editor->isEditing());
  QTest::keyClicks(editor->dataEntry(), text);
  QTest::mouseClick(editor->doneButton(), Qt::LeftButton);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  QApplication::setActiveWindow(f.w.get());
}

// The one-variable example made uneven with `points` grid points.
void MakeUneven(Fixture& f, const QString& points) {
  QVERIFY(f.openSeries(kPolySeries));
  f.click(f.set(0).chkSpaced);
  QVERIFY(!f.set(0).chkSpaced->isChecked());
  f.typeInto(f.set(0).txtGridPoints, points);
  f.tab();
}

// The whole text of a line edit is in view: with the cursor at its end, the
// box's left edge still shows the first character.
bool ShowsWhole(QLineEdit* box) {
  box->setCursorPosition(static_cast<int>(box->text().size()));
  const QRect inside = box->contentsRect();
  return box->cursorPositionAt(QPoint(inside.left() + 3, inside.center().y())) == 0;
}

int Lightness(const QImage& image, int x, int y) { return QColor(image.pixel(x, y)).lightness(); }

}  // namespace

class TestCarefulLook : public QObject {
  Q_OBJECT

 private slots:
  // Exit, Alt+X and the close box ask before computed results that are in
  // no grid file are lost.
  void unsavedResultsAreAskedAbout_data() {
    QTest::addColumn<int>("how");  // 0 Exit, 1 Alt+X, 2 the close box
    QTest::addColumn<int>("answer");
    for (int how : {0, 1, 2}) {
      const char* name = how == 0 ? "Exit" : how == 1 ? "Alt+X" : "close box";
      QTest::newRow(qPrintable(QStringLiteral("%1, Save").arg(name))) << how << int(QMessageBox::Save);
      QTest::newRow(qPrintable(QStringLiteral("%1, Discard").arg(name))) << how << int(QMessageBox::Discard);
      QTest::newRow(qPrintable(QStringLiteral("%1, Cancel").arg(name))) << how << int(QMessageBox::Cancel);
    }
  }
  void unsavedResultsAreAskedAbout() {
    QFETCH(int, how);
    QFETCH(int, answer);
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries, "run.ser"));
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::Computed);
    f.user.answers << static_cast<QMessageBox::StandardButton>(answer);
    if (how == 0) f.click(Ctl<QPushButton>(w, "cmdExit"));
    if (how == 1) QTest::keyClick(Ctl<ResultsList>(w, "lstCoeff"), Qt::Key_X, Qt::AltModifier);
    if (how == 2) w.close();
    QTRY_COMPARE(f.user.questions.size(), 1);
    QCOMPARE(f.user.questions.first(), QStringLiteral("Save the results?"));
    const bool ends = answer != QMessageBox::Cancel;
    QCOMPARE(f.user.quits, ends ? 1 : 0);
    QCOMPARE(w.isVisible(), !ends);
    QCOMPARE(QFile::exists(f.dir.filePath("run.ser.grd")), answer == QMessageBox::Save);
    if (!ends) {
      // Cancelled: the window is as it was, and the next Exit asks again.
      QCOMPARE(w.formState(), State::Computed);
      QCOMPARE(f.listLines().size(), 5);
      f.user.answers << QMessageBox::Discard;
      f.click(Ctl<QPushButton>(w, "cmdExit"));
      QCOMPARE(f.user.questions.size(), 2);
      QCOMPARE(f.user.quits, 1);
    }
  }

  void savedResultsOrAFailedSave() {
    {
      // Saved: nothing left to ask.
      Fixture f;
      QVERIFY(f.openSeries(kPolySeries, "run.ser"));
      f.click(Ctl<QPushButton>(*f.w, "cmdCompute"));
      Ctl<QAction>(*f.w, "mnuSave")->trigger();
      QVERIFY(QFile::exists(f.dir.filePath("run.ser.grd")));
      f.click(Ctl<QPushButton>(*f.w, "cmdExit"));
      QVERIFY(f.user.questions.isEmpty());
      QCOMPARE(f.user.quits, 1);
    }
    {
      // The save chosen on the way out fails: the reason is told and the
      // program stays, with its results.
      Fixture f;
      QVERIFY(f.openSeries(kPolySeries, "run.ser"));
      f.click(Ctl<QPushButton>(*f.w, "cmdCompute"));
      QVERIFY(QDir(f.dir.path()).mkdir("run.ser.grd"));
      f.user.answers << QMessageBox::Save;
      f.click(Ctl<QPushButton>(*f.w, "cmdExit"));
      QCOMPARE(f.user.questions.size(), 1);
      QCOMPARE(f.user.messages.size(), 1);
      QVERIFY2(f.user.messages.first().contains("run.ser.grd"), qPrintable(f.user.messages.first()));
      QCOMPARE(f.user.quits, 0);
      QVERIFY(f.w->isVisible());
      QCOMPARE(f.w->formState(), State::Computed);
    }
    {
      // No file name yet and the save dialog cancelled: the program stays.
      Fixture f;
      QVERIFY(f.openSeries(kPolySeries, "run.ser"));
      f.click(Ctl<QPushButton>(*f.w, "cmdCompute"));
      f.model.FileName.clear();
      f.user.answers << QMessageBox::Save;
      f.click(Ctl<QPushButton>(*f.w, "cmdExit"));
      QCOMPARE(f.user.saveFilters.size(), 1);
      QCOMPARE(f.user.quits, 0);
      QVERIFY(f.w->isVisible());
    }
  }

  // Compute asks before it uses grid points that were added to an uneven
  // grid and never entered, and names them.
  void neverEnteredPointsAreAskedAbout_data() {
    QTest::addColumn<QString>("points");
    QTest::addColumn<QString>("question");
    QTest::newRow("two") << "5"
                         << "Variable x: grid values 4 and 5 were never entered and are 0. Compute anyway?";
    QTest::newRow("one") << "4"
                         << "Variable x: grid value 4 was never entered and is 0. Compute anyway?";
    QTest::newRow("a run") << "9"
                           << "Variable x: grid values 4 to 9 were never entered and are 0. Compute anyway?";
  }
  void neverEnteredPointsAreAskedAbout() {
    QFETCH(QString, points);
    QFETCH(QString, question);
    Fixture f;
    FrmTabulor& w = *f.w;
    MakeUneven(f, points);
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(f.user.questions, QStringList{question});
    // The default answer is No: nothing is computed, nothing changed.
    QCOMPARE(w.formState(), State::SeriesLoaded);
    QCOMPARE(f.listLines().size(), 0);
    QVERIFY(Ctl<QPushButton>(w, "cmdCompute")->isEnabled() && Ctl<QGroupBox>(w, "fraGrdSpecs")->isEnabled());
    // Yes computes with the zeros.
    f.user.answers << QMessageBox::Yes;
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::Computed);
    QCOMPARE(f.model.GridX[0][3], 0.0);
  }

  void enteredPointsAreNotAskedAbout() {
    Fixture f;
    FrmTabulor& w = *f.w;
    MakeUneven(f, "5");
    EnterValue(f, 3, "1.5");
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(f.user.questions, QStringList{"Variable x: grid value 5 was never entered and is 0. Compute anyway?"});
    // "Delete" on row 1 moves the last value (never entered) into it.
    FrmVars* editor = OpenEditor(f, 0);
    QVERIFY(editor);
    const QRect rect = editor->grid()->visualRect(editor->grid()->model()->index(1, 1));
    QTest::mouseClick(editor->grid()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    QTest::mouseClick(editor->deleteButton(), Qt::LeftButton);
    QTest::mouseClick(editor->doneButton(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::setActiveWindow(f.w.get());
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(f.user.questions.last(), "Variable x: grid value 2 was never entered and is 0. Compute anyway?");
    EnterValue(f, 1, "0.25");
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(f.user.questions.size(), 2);  // asked nothing more
    QCOMPARE(w.formState(), State::Computed);
    QCOMPARE(f.model.GridX[0][1], 0.25);
    QCOMPARE(f.model.GridX[0][3], 1.5);
  }

  void evenGridsAndFewerPointsAreNotAskedAbout() {
    Fixture f;
    FrmTabulor& w = *f.w;
    // More points on an even grid are filled by the program.
    QVERIFY(f.openSeries(kPolySeries));
    f.typeInto(f.set(0).txtGridPoints, "7");
    f.tab();
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QVERIFY(f.user.questions.isEmpty());
    QCOMPARE(w.formState(), State::Computed);
    // An uneven grid made smaller keeps only values it had.
    Fixture g;
    MakeUneven(g, "2");
    g.click(Ctl<QPushButton>(*g.w, "cmdCompute"));
    QVERIFY(g.user.questions.isEmpty());
    QCOMPARE(g.w->formState(), State::Computed);
  }

  // 60 points for each of four variables: 12,960,000 grid points, shown
  // whole in the label, with the text in the tool tip.
  void largeCountsAreShownWhole() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(OpenExample(f, "four.ser"));
    for (int k = 0; k < 4; ++k) {
      f.typeInto(f.set(k).txtGridPoints, "60");
      f.tab();
      f.click(Ctl<QPushButton>(w, "cmdNextVar"));
    }
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::Computed);
    QLabel* label = Ctl<QLabel>(w, "lblGridPoints");
    QCOMPARE(label->text(), QStringLiteral("12960000"));
    QCOMPARE(label->toolTip(), QStringLiteral("12960000"));
    QVERIFY(label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width());
    QVERIFY(label->font().pointSizeF() < Ctl<QLabel>(w, "lblOrder")->font().pointSizeF());
    QVERIFY(label->font().bold());
  }

  void numbersInBoxesAreShownWhole_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("largest count") << QString::number(kMaxCount);
    QTest::newRow("long number") << "-1.23456789012345E-100";
    QTest::newRow("short") << "2";
  }
  void numbersInBoxesAreShownWhole() {
    QFETCH(QString, text);
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    const auto& s = f.set(0);
    for (QLineEdit* box : {s.txtGridPoints, s.txtDer, s.txtLLgrid, s.txtULgrid, s.txtTerms, s.txtLL, s.txtExpansion}) {
      box->setText(text);
      QVERIFY2(ShowsWhole(box), qPrintable(box->objectName()));
    }
    // Typed in by the user, too.
    f.typeInto(s.txtLLgrid, text);
    QVERIFY(ShowsWhole(s.txtLLgrid));
    QCOMPARE(s.txtLLgrid->text(), text);
    // A short text keeps the window's font.
    f.typeInto(s.txtLLgrid, "1");
    QCOMPARE(s.txtLLgrid->font().pointSizeF(), 8.25);
  }

  void longNamesAndPathsAreElided() {
    Fixture f;
    FrmTabulor& w = *f.w;
    const QString folder = QStringLiteral("a-rather-long-folder-name-for-the-series");
    QVERIFY(QDir(f.dir.path()).mkdir(folder));
    const QByteArray series =
        "0\nan_uncommonly_long_variable_name_that_runs_on_and_on\n0\n1\n0\n#TRUE#\n*\n2\n#TRUE#\n1\n2\n3\n";
    QVERIFY(f.openSeries(series, folder + "/wave.ser"));
    auto* path = qobject_cast<PathBox*>(Ctl<QLineEdit>(w, "txtSerFileName"));
    QVERIFY(path);
    QCOMPARE(path->text(), f.dir.filePath(folder + "/wave.ser"));
    QCOMPARE(path->toolTip(), path->text());
    QVERIFY2(path->shownText().startsWith(QChar(0x2026)), qPrintable(path->shownText()));
    QVERIFY(path->text().endsWith(path->shownText().mid(1)));
    QVERIFY(path->shownText().size() > 3);
    QVERIFY(path->fontMetrics().horizontalAdvance(path->shownText()) <= path->contentsRect().width());

    auto* caption = qobject_cast<ElidedLabel*>(f.set(0).lblVar);
    QVERIFY(caption);
    QCOMPARE(caption->text(), QStringLiteral("an_uncommonly_long_variable_name_that_runs_on_and_on"));
    QCOMPARE(caption->toolTip(), caption->text());
    QVERIFY(caption->shownText().endsWith(QChar(0x2026)));
    QVERIFY(caption->shownText().startsWith("an_uncommonly"));
    // It stays left of "Exit".
    const QPoint right = caption->mapTo(&w, QPoint(caption->width(), 0));
    QVERIFY(right.x() <= Ctl<QPushButton>(w, "cmdExit")->mapTo(&w, QPoint(0, 0)).x());

    // A short name is shown as it is.
    Fixture g;
    QVERIFY(g.openSeries(kPolySeries));
    auto* short_caption = qobject_cast<ElidedLabel*>(g.set(0).lblVar);
    QCOMPARE(short_caption->shownText(), QStringLiteral("x"));
    auto* short_path = qobject_cast<PathBox*>(Ctl<QLineEdit>(*g.w, "txtSerFileName"));
    QVERIFY(short_path->text().endsWith(short_path->shownText().mid(1)));
  }

  // The faces are the solid colours, and the button with the focus has a
  // dotted mark inside its edge.
  void buttonFacesAndFocusMark() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    struct Face {
      QPushButton* button;
      QColor colour;
    };
    for (const Face& face : {Face{Ctl<QPushButton>(w, "cmdExit"), QColor(255, 0, 0)},
                             Face{Ctl<QPushButton>(w, "cmdCompute"), QColor(255, 128, 0)},
                             Face{Ctl<QPushButton>(w, "cmdNextVar"), QColor(255, 128, 0)}}) {
      const QImage image = face.button->grab().toImage();
      // Left of the caption, away from the edge and the focus mark.
      QCOMPARE(QColor(image.pixel(3, 3)), face.colour);
      QCOMPARE(QColor(image.pixel(image.width() - 6, image.height() - 6)), face.colour);
    }
    auto black_on_mark = [](QPushButton* b) {
      const QImage image = b->grab().toImage();
      int black = 0;
      for (int x = 3; x < image.width() - 3; ++x) black += QColor(image.pixel(x, 2)) == QColor(Qt::black);
      return black;
    };
    Ctl<QPushButton>(w, "cmdCompute")->setFocus(Qt::TabFocusReason);
    QVERIFY(Ctl<QPushButton>(w, "cmdCompute")->hasFocus());
    QVERIFY(black_on_mark(Ctl<QPushButton>(w, "cmdCompute")) > 5);
    QCOMPARE(black_on_mark(Ctl<QPushButton>(w, "cmdNextVar")), 0);
    QTest::keyClick(Ctl<QPushButton>(w, "cmdCompute"), Qt::Key_Tab);
    QTRY_VERIFY(!Ctl<QPushButton>(w, "cmdCompute")->hasFocus());
    QCOMPARE(black_on_mark(Ctl<QPushButton>(w, "cmdCompute")), 0);
  }

  void scrollBarThumbIsDarkerThanItsGroove() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(OpenExample(f, "wave.ser"));
    f.typeInto(f.set(0).txtGridPoints, "40");
    f.tab();
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QScrollBar* bar = Ctl<ResultsList>(w, "lstCoeff")->verticalScrollBar();
    QTRY_VERIFY(bar->isVisible());
    QVERIFY(bar->maximum() > 0);
    bar->setValue(0);
    const QImage image = bar->grab().toImage();
    const int x = image.width() / 2;
    // The thumb is at the top, below the arrow; the groove at the bottom,
    // above the other arrow.
    const int thumb = Lightness(image, x, image.height() / 20 + bar->width());
    const int groove = Lightness(image, x, image.height() - bar->width() - 4);
    QVERIFY2(thumb + 60 < groove, qPrintable(QStringLiteral("%1 %2").arg(thumb).arg(groove)));
  }

  void helpWindowCloses() {
    Fixture f;
    FrmTabulor& w = *f.w;
    for (bool by_key : {true, false}) {
      Ctl<QAction>(w, "mnuHelp")->trigger();
      QPointer<HelpWindow> help = w.helpWindow();
      QVERIFY(help && help->isVisible());
      QVERIFY(help->closeButton()->isVisible());
      QCOMPARE(help->closeButton()->text().remove('&'), QStringLiteral("Close"));
      help->activateWindow();
      QApplication::setActiveWindow(help);
      if (by_key)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : help.data(), Qt::Key_Escape);
      else
        QTest::mouseClick(help->closeButton(), Qt::LeftButton);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
      QVERIFY(!help || !help->isVisible());
    }
    QCOMPARE(f.user.quits, 0);
  }
};

QTEST_MAIN(TestCarefulLook)
#include "test_careful_look.moc"
