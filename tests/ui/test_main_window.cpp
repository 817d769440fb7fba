// The main window from the start of the program on: the decimal separator
// question, the states, series files, focus, grid boxes, the results list.
#include "ui_test_support.h"

#include <QScreen>
#include <QScrollBar>

#include "app/sub_main.h"
#include "platform/memory_limit.h"

using namespace tabulor;
using namespace tabulor::test;

namespace {

const QString kStartSet = "||||||[x]|-1|1|2|0|[x]|off";

struct NumberedLines : LineSource {
  NumberedLines(std::int64_t n, std::string tail) : n(n), tail(std::move(tail)) {}
  std::int64_t count() const override { return n; }
  std::string line(std::int64_t i) const override {
    ++asked;
    return "line " + std::to_string(i) + tail;
  }
  std::int64_t n;
  std::string tail;
  mutable std::int64_t asked = 0;
};

struct FakePlatform : DecimalPlatform {
  std::string user;
  QStringList set;
  std::string UserDecimalSeparator() override { return user; }
  void SetDecimalSeparator(const std::string& s) override { set << QString::fromStdString(s); }
};

}  // namespace

class TestMainWindow : public QObject {
  Q_OBJECT

 private slots:
  void cleanup() { SetMemoryLimit(0); }

  // Another separator than the point is asked about, set to the point and
  // put back exactly at the end of the run; No or Cancel ends it at once.
  void decimalSeparatorQuestion_data() {
    QTest::addColumn<QString>("separator");
    QTest::addColumn<int>("answer");
    QTest::newRow("point") << "." << int(GuardAnswer::Yes);
    QTest::newRow("comma, Yes") << "," << int(GuardAnswer::Yes);
    QTest::newRow("two characters, Yes") << "::" << int(GuardAnswer::Yes);
    QTest::newRow("comma, No") << "," << int(GuardAnswer::No);
    QTest::newRow("comma, Cancel") << "," << int(GuardAnswer::Cancel);
    QTest::newRow("up to a NUL") << QString::fromLatin1(",\0x", 3) << int(GuardAnswer::Yes);
  }
  void decimalSeparatorQuestion() {
    QFETCH(QString, separator);
    QFETCH(int, answer);
    FakeUser user;
    Dimension model;
    FakePlatform platform;
    platform.user = separator.toStdString();
    DecimalPoint guard(platform);
    StartupOptions options;
    QStringList asked;
    int splashes = 0;
    options.ask = [&](const std::string& title, const std::string& text) {
      asked << QString::fromStdString(title) << QString::fromStdString(text);
      return static_cast<GuardAnswer>(answer);
    };
    // The splash is shown in the middle of its screen (its size settles a few pixels larger when shown).
    options.waitSplash = [&](QWidget& splash) {
      const QPoint off = splash.geometry().center() - splash.screen()->availableGeometry().center();
      splashes += splash.isVisible() && qobject_cast<FrmAbout*>(&splash) && off.manhattanLength() <= 4;
    };
    const std::unique_ptr<FrmTabulor> w = Main(model, guard, options, user);
    const bool point = separator == ".", runs = point || answer == int(GuardAnswer::Yes);
    const QString warning =
        "Proper operation of this application requires the use of the DECIMAL POINT.\nYour system is currently using "
        "the DECIMAL COMMA.\n\nDo you wish to temporarily change this system setting to decimal point?\n(Upon "
        "exiting, this application will restore your setting.)\n(To use the decimal point permanently, see \"The "
        "decimal separator\" in Help.)\n\nPress YES to change.";
    QCOMPARE(asked, (point ? QStringList() : QStringList{"Decimal Comma Warning!", warning}));
    QVERIFY(splashes == int(runs) && (w != nullptr) == runs);
    QCOMPARE(platform.set, point || !runs ? QStringList() : QStringList{"."});
    if (!runs) return;
    QVERIFY(w->isVisible() && StateFlags(*w) == kStartFlags);
    if (separator.size() == 1) QTest::mouseClick(Ctl(*w, "cmdExit"), Qt::LeftButton);
    if (separator.size() != 1) w->close();
    QCOMPARE(platform.set, (point ? QStringList{"."} : QStringList{".", separator.left(separator.indexOf(QChar(0)))}));
    QVERIFY(user.quits == 1 && !w->isVisible());
  }

  // What is enabled and shown on each road; Enter or Space on a file name
  // box opens as a click does.
  void states_data() {
    QTest::addColumn<int>("road");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<QString>("afterClicks");  // on both file boxes and "Yes"
    const QString uneven = "vars details grid compute edit editOn exit mnuHelp mnuAbout";
    QTest::newRow("start") << 0 << kStartFlags << kStartFlags;
    QTest::newRow("series loaded") << 1 << kLoadedFlags << uneven;
    QTest::newRow("uneven grid") << 2 << uneven << kLoadedFlags;
    QTest::newRow("computed") << 3 << kComputedFlags << kComputedFlags;
  }
  void states() {
    QFETCH(int, road);
    QFETCH(QString, flags);
    QFETCH(QString, afterClicks);
    Fixture f;
    if (road == 0) QVERIFY(Focus() == Ctl(*f.w, "cmdExit") && SetTexts(f.set(0)) == kStartSet);
    // The window is tall enough for every control (the list is laid out a
    // pixel wider than the window, as the form gives it).
    for (const QWidget* c : f.w->findChildren<QWidget*>())
      if (c->isVisibleTo(f.w.get()) && c->parentWidget() == f.w->centralWidget())
        QVERIFY2(c->mapTo(f.w.get(), QPoint(0, c->height())).y() <= f.w->height(), qPrintable(c->objectName()));
    QCOMPARE(f.model.Pi, 4 * std::atan(1.0));
    if (road == 1 || road == 2 || road == 3) QVERIFY(f.openSeries(kPolySeries));
    if (road == 2) f.click(f.set(0).chkSpaced);
    if (road == 3) f.click("cmdCompute");
    QCOMPARE(f.flags(), flags);
    for (const char* control : {"txtSerFileName", "txtGrdFileName", "chkSpaced_0"}) f.click(control);
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Space, Qt::Key_A}) QTest::keyClick(Ctl(*f.w, "txtSerFileName"), key);
    QTest::keyClick(Ctl(*f.w, "txtGrdFileName"), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(f.flags(), afterClicks);
    QVERIFY(f.user.openFilters.size() == (road == 0 ? 5 : 1) && f.user.messages.isEmpty());
  }

  // A refused file is told and changes nothing; no coefficients end the run.
  void refusedFiles() {
    const std::pair<const char*, QByteArray> files[] = {
        {"txtSerFileName", "0\nx\n0\n1\n0\n#MAYBE#\n*\n2\n#TRUE#\n1,2,3\n"},
        {"txtSerFileName", ""},
        {"txtGrdFileName", "7\r\n"}};
    for (const auto& [box, text] : files) {
      Fixture f;
      f.user.openAnswers << (text.isEmpty() ? f.dir.filePath("bad.grd") : WriteText(f.dir, "bad.grd", text));
      f.click(box);
      QVERIFY(f.user.messages.size() == 1 && f.user.messages[0].contains(f.dir.filePath("bad.grd")));
      QVERIFY(f.user.icons[0] == QMessageBox::Critical && f.flags() == kStartFlags && SetTexts(f.set(0)) == kStartSet);
      QVERIFY(!f.model.Loading && f.model.FileName.empty() && Ctl<QLineEdit>(*f.w, box)->text().isEmpty());
      QVERIFY(f.listLines().isEmpty() && f.openSeries(kPolySeries));
    }
    Fixture f;
    QVERIFY(!f.openSeries("0,x,0,1,0,#TRUE#,*,2,#FALSE#,whatever follows\n"));
    QVERIFY(f.user.messages == QStringList{"NO COEFFICIENTS IN FILE."} && f.user.icons[0] == QMessageBox::NoIcon);
    QVERIFY(!f.w->isVisible() && f.user.quits == 1);
  }

  // A series fills the window, a control set per variable; the focus chain
  // runs through each set's grid controls; paging wraps round and shows one
  // set at a time; "Yes", by click or key, enables "Edit" and sets the model.
  void seriesTabOrderAndPaging() {
    Fixture f;
    const QByteArray coefficients = "#TRUE#\n" + QByteArray("1,").repeated(23) + "1\n";
    QVERIFY(f.openSeries(
        "3\n\"a,b\",-1,3,*,#TRUE#,\"*\",1\nb,0,2,0.5,#FALSE#,abc,2\nc,0,2,0,#TRUE#,*,1\nd,1,2,0,#TRUE#,*,1\n" +
        coefficients));
    QCOMPARE(f.user.openFilters, QStringList{"Series files (*.ser);;All files (*)"});
    QCOMPARE(SetTexts(f.set(0)) + " " + SetTexts(f.set(1)),
             "3|-1|a,b|2|*|*|[x]|-1|3|2|0|[x]|off 2|0|b|3|0.5|abc|[ ]|0|2|3|0|[x]|off");
    QCOMPARE(Ctl<QLabel>(*f.w, "lblOrder")->text() + " " + Ctl<QLabel>(*f.w, "lblCoeffs")->text(), "4 24");
    auto* name = Ctl<QLineEdit>(*f.w, "txtSerFileName");
    QVERIFY(name->text() == f.dir.filePath("run.ser") && name->toolTip() == name->text());
    QVERIFY(Focus() == f.set(0).txtLLgrid && f.set(0).txtLLgrid->selectedText() == "-1");
    QStringList wanted{"cmdExit", "txtSerFileName", "txtGrdFileName"}, chain;
    for (int k = 0; k < 4; ++k)
      for (const char* n : {"txtLLgrid", "txtULgrid", "txtGridPoints", "txtDer", "chkSpaced"})
        wanted << QStringLiteral("%1_%2").arg(n).arg(k);
    wanted += QStringList{"cmdCompute", "lstCoeff", "cmdPrevVar", "cmdNextVar"};
    for (int k = 0; k < 4; ++k) wanted << QStringLiteral("cmdEditVars_%1").arg(k);
    for (QWidget* x = Ctl(*f.w, "cmdExit"); chain.isEmpty() || x != Ctl(*f.w, "cmdExit"); x = x->nextInFocusChain())
      if (wanted.contains(x->objectName()) && !chain.contains(x->objectName())) chain << x->objectName();
    QCOMPARE(chain, wanted);
    QString shown;
    for (const char* button : {"cmdNextVar", "cmdNextVar", "cmdNextVar", "cmdNextVar", "cmdPrevVar", "cmdPrevVar"}) {
      f.click(button);
      const int k = f.w->ShownVar() - 1;
      for (int j = 0; j < 4; ++j)
        for (QWidget* m : f.set(j).members()) QCOMPARE(m->isHidden(), j != k);
      QCOMPARE(Focus(), f.set(k).txtLLgrid);
      shown += f.set(k).lblVar->text();
    }
    QCOMPARE(shown, QStringLiteral("bcda,bdc"));
    f.click(f.set(2).chkSpaced);
    QVERIFY(!f.model.EvenlySpaced[2] && f.model.EvenlySpaced[0] && f.set(2).cmdEditVars->isEnabled());
    QTest::keyClick(f.set(2).chkSpaced, Qt::Key_Space);
    QVERIFY(f.model.EvenlySpaced[2] && !f.set(2).cmdEditVars->isEnabled());
  }

  // A box that refuses its text keeps the focus and says why; "Exit" still
  // ends the run, the refused text put back.
  void gridBoxesCheckWhatIsTyped_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("memoryLimit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("points");
    QTest::addColumn<QString>("refusal");
    const QString nan = "Type a number, such as 2.5 or -1E-3.";
    QTest::newRow("letters") << "txtLLgrid" << 0 << "abc" << 3 << nan;
    QTest::newRow("comma") << "txtULgrid" << 0 << "1,5" << 3 << nan;
    QTest::newRow("overflow") << "txtULgrid" << 0 << "1e999" << 3 << nan;
    QTest::newRow("in blanks") << "txtULgrid" << 0 << " +.5e-3 " << 3 << "";
    QTest::newRow("one point") << "txtGridPoints" << 0 << "1" << 3 << "The number of grid points must be 2 or more.";
    QTest::newRow("too many") << "txtGridPoints" << 0 << "3000000000" << 3
                              << "The number of grid points must be at most 2147483647.";
    QTest::newRow("memory") << "txtGridPoints" << (1 << 20) << "1000000" << 3
                            << "Variable 0 (x): the grid needs 1000000 values (7.6 MB), more than the memory limit of "
                               "1.0 MB.";
    QTest::newRow("points") << "txtGridPoints" << 0 << " 100 " << 100 << "";
    QTest::newRow("half to even") << "txtGridPoints" << 0 << "4.5" << 5 << "";
    QTest::newRow("derivative") << "txtDer" << 0 << "abc" << 3 << "";
  }
  void gridBoxesCheckWhatIsTyped() {
    QFETCH(QString, box);
    QFETCH(int, memoryLimit);
    QFETCH(QString, typed);
    QFETCH(int, points);
    QFETCH(QString, refusal);
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    auto* edit = Ctl<QLineEdit>(*f.w, box + "_0");
    const QString before = edit->text();
    SetMemoryLimit(memoryLimit);
    f.typeInto(edit, typed);
    f.tab();
    QVERIFY(f.model.GridX[0].size() == std::size_t(points) && f.model.LastPoint[0] == points - 1);
    QCOMPARE(edit->toolTip(), refusal);
    QCOMPARE(Focus() == edit, !refusal.isEmpty());
    if (refusal.isEmpty()) return;
    QTest::keyClick(edit, Qt::Key_Backtab, Qt::ShiftModifier);
    for (const char* other : {"txtDer_0", "cmdNextVar", "cmdCompute", "chkSpaced_0", "lstCoeff"}) f.click(other);
    QCOMPARE(Focus(), edit);
    QCOMPARE(f.flags() + "|" + edit->text(), kLoadedFlags + "|" + typed);
    if (box == "txtULgrid") f.click("cmdExit");
    if (box != "txtULgrid") QTest::keyClick(edit, Qt::Key_X, Qt::AltModifier);
    QTRY_COMPARE(f.user.quits, 1);
    QVERIFY(edit->text() == before && f.user.questions.isEmpty() && f.user.messages.isEmpty());
  }

  // Arriving in a box by Tab or a click selects its text; a box left shows
  // the beginning of its number.
  void focusSelectsTheText() {
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    const ControlSet s = f.set(0);
    f.tab();
    QTest::keyClicks(s.txtULgrid, "6.28318530717959");  // over the selected text
    f.click(s.txtGridPoints);
    QVERIFY(s.txtULgrid->text().size() == 16 && s.txtULgrid->cursorPosition() == 0);
    QCOMPARE(s.txtGridPoints->selectedText(), QStringLiteral("3"));
    f.click(s.txtGridPoints);  // a second click places the cursor
    QVERIFY(Focus() == s.txtGridPoints && s.txtGridPoints->selectedText().isEmpty());
  }

  // A number box shows its number whole: with the cursor at its end the
  // text has not moved.
  void numbersShownWhole() {
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    QLineEdit* box = f.set(0).txtULgrid;
    int shrunk = 0;
    for (const QString number : {"-1.23456789012345E-300", "6.28318530717959", "-0.000123456789012345"}) {
      for (qsizetype n = 1; n <= number.size(); ++n) {
        box->setText(number.left(n));
        shrunk += box->font() != f.set(0).txtLLgrid->font();
        box->setCursorPosition(0);
        const QImage start = box->grab().toImage();
        box->end(false);
        QVERIFY2(box->grab().toImage() == start, qPrintable(box->text()));
      }
    }
    QVERIFY(shrunk > 5);
  }

  // The list makes only the lines it shows; the scroll bar reaches them all;
  // trailing blanks give no horizontal scroll bar.
  void resultsList_data() {
    QTest::addColumn<qint64>("lines");
    QTest::newRow("10^8") << qint64{100'000'000};
    QTest::newRow("beyond an int") << qint64{5'000'000'000};
  }
  void resultsList() {
    QFETCH(qint64, lines);
    ResultsList list;
    list.resize(400, 300);
    auto source = std::make_shared<NumberedLines>(lines, std::string(60, ' '));
    list.setSource(source);
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    (void)list.grab();
    const int rows = list.visibleRows(), h = list.rowHeight();
    QVERIFY(rows > 5 && source->asked <= 4 * (rows + 1));
    QString chosen = QString::number(list.currentRow());
    for (int row : {0, 2}) {
      QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(10, row * h + h / 2));
      chosen += " " + QString::number(list.currentRow());
    }
    for (Qt::Key key :
         {Qt::Key_Down, Qt::Key_Up, Qt::Key_Up, Qt::Key_PageDown, Qt::Key_PageUp, Qt::Key_Home, Qt::Key_Up}) {
      QTest::keyClick(&list, key);
      chosen += " " + QString::number(list.currentRow());
    }
    QCOMPARE(chosen, QStringLiteral("-1 0 2 3 2 1 %1 1 0 0").arg(rows));
    // The current line, and only it, is marked.
    const QImage shown = list.viewport()->grab().toImage();
    auto marked = [&](int row) {
      const QColor c = shown.pixelColor(shown.width() - 3, row * h + h / 2);
      return c == list.palette().color(QPalette::Active, QPalette::Highlight) ||
             c == list.palette().color(QPalette::Inactive, QPalette::Highlight);
    };
    QVERIFY(marked(0) && !marked(1) && !marked(rows - 1));
    QTest::keyClick(&list, Qt::Key_End);
    QCOMPARE(list.lineText(list.currentRow()), QStringLiteral("line %1").arg(lines - 1) + QString(60, ' '));
    QScrollBar* bar = list.verticalScrollBar();
    QVERIFY(list.topRow() == lines - rows && bar->value() == bar->maximum());
    QTest::keyClick(&list, Qt::Key_Up);  // within the view: it stays
    QCOMPARE(list.topRow(), lines - rows);
    bar->setValue(bar->maximum() / 2);
    QVERIFY(std::llabs(list.topRow() - lines / 2) < lines / 1'000'000);
    QTest::keyClick(&list, Qt::Key_Home);
    QCOMPARE(list.topRow() + bar->value(), 0);
    QTRY_COMPARE(list.horizontalScrollBar()->maximum(), 0);
    list.setSource(std::make_shared<NumberedLines>(2, ""));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(10, 5 * h));  // below the last line
    QCOMPARE(list.currentRow(), -1);
  }
};

QTEST_MAIN(TestMainWindow)
#include "test_main_window.moc"
