// Grid files: "Save", "Save As", opening one, and unsaved results at the end.
#include "ui_test_support.h"

using namespace tabulor;
using namespace tabulor::test;

namespace {

QStringList Files(const QTemporaryDir& dir) { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }
QString GridBox(Fixture& f) { return Ctl<QLineEdit>(*f.w, "txtGrdFileName")->text(); }

}  // namespace

class TestGridFiles : public QObject {
  Q_OBJECT

 private slots:
  // Saved and opened again (by its base name), the results are the same.
  void saveThenOpenAgain() {
    Fixture f;
    QVERIFY(f.openSeries(kTwoVarSeries));
    f.typeInto(f.set(0).txtDer, "1");  // d/dx (1 + x^2 + y) = 2x
    f.click("cmdNextVar");
    f.typeInto(f.set(1).txtGridPoints, "3");
    f.click(f.set(1).chkSpaced);
    f.model.GridX[1] = {0, 0.25, 1};
    f.user.answers << QMessageBox::Yes;  // the third value was set here, not typed in
    f.click("cmdCompute");
    f.trigger("mnuSave");  // named after the series file, without a dialog
    const QString path = f.dir.filePath("run.ser.grd");
    const QByteArray saved = ReadBytes(path);
    QCOMPARE(saved,
             " 1 \r\nx\r\n 0 \r\n 1 \r\n 2 \r\n 1 \r\n#TRUE#\r\ny\r\n 0 \r\n 1 \r\n 2 \r\n 0 \r\n#FALSE#\r\n"
             " 0 \r\n 1 \r\n 2 \r\n 0 \r\n 1 \r\n 2 \r\n 0 \r\n 1 \r\n 2 \r\n 0 \r\n 0.5 \r\n 1 \r\n 0 \r\n 0.25 \r\n "
             "1 \r\n");
    QVERIFY(f.user.saveStarts.isEmpty() && f.user.messages.isEmpty() && GridBox(f) == path);
    Fixture g;
    g.openGrid(f.dir.filePath("run.ser"));
    QCOMPARE(g.user.openFilters, QStringList{"Grid files (*.grd);;All files (*)"});
    QCOMPARE(g.flags(), "vars exit mnuSave mnuSaveAs mnuPrint mnuPlot mnuHelp mnuAbout");
    QCOMPARE(g.listLines(), f.listLines());
    QCOMPARE(Ctl<QLabel>(*g.w, "lblOrder")->text() + "|" + Ctl<QLabel>(*g.w, "lblGridPoints")->text() + "|" +
                 Ctl<QLabel>(*g.w, "lblCoeffs")->text(),
             "2|9|");
    QVERIFY(GridBox(g) == path && Ctl(*g.w, "txtGrdFileName")->toolTip() == path &&
            g.model.FileName == f.model.FileName);
    QCOMPARE(SetTexts(g.set(0)) + " " + SetTexts(g.set(1)), "||x||||[x]|0|1|3|1|[x]|off ||y||||[x]|0|1|3|0|[ ]|off");
    QVERIFY(QFile::remove(path));
    g.trigger("mnuSave");
    QCOMPARE(ReadBytes(path), saved);
    g.click("cmdExit");
    QVERIFY(g.user.questions.isEmpty() && g.user.quits == 1 && g.user.messages.isEmpty());
  }

  // A base name gets ".grd"; "Save" goes on with the last name; a failed
  // save (the disk full) is told and keeps the old file and the name.
  void saveAsNaming() {
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    f.click("cmdCompute");
    f.user.saveAnswers << f.dir.filePath("res") << f.dir.filePath("out.grd") << "" << f.dir.filePath("res");
    f.trigger("mnuSaveAs");
    QCOMPARE(GridBox(f), f.dir.filePath("res.grd"));
    f.trigger("mnuSaveAs");
    QCOMPARE(Ctl(*f.w, "txtGrdFileName")->toolTip(), f.dir.filePath("out.grd"));
    QVERIFY(QFile::remove(f.dir.filePath("out.grd")));
    f.trigger("mnuSave");
    f.trigger("mnuSaveAs");
    QVERIFY(WriteText(f.dir, "res.grd", "old contents") != "");
    WithFileSizeLimit(16, [&] { f.trigger("mnuSaveAs"); });
    QCOMPARE(f.user.saveStarts, (QStringList{f.dir.filePath("run.ser"), f.dir.filePath("res"),
                                             f.dir.filePath("out.grd"), f.dir.filePath("out.grd")}));
    QCOMPARE(Files(f.dir), (QStringList{"out.grd", "res.grd", "run.ser"}));
    QCOMPARE(ReadBytes(f.dir.filePath("out.grd")),
             " 0 \r\nx\r\n 0 \r\n 1 \r\n 2 \r\n 0 \r\n#TRUE#\r\n 1 \r\n 2.75 \r\n 6 \r\n 0 \r\n 0.5 \r\n 1 \r\n");
    QCOMPARE(ReadBytes(f.dir.filePath("res.grd")), QByteArray("old contents"));
    QCOMPARE(f.user.messages.size(), 1);
    QVERIFY2(f.user.messages[0].contains(f.dir.filePath("res.grd")), qPrintable(f.user.messages[0]));
    QVERIFY(GridBox(f) == f.dir.filePath("out.grd") && f.model.FileName == f.dir.filePath("out.grd").toStdString());
  }

  // The end of the run asks before unsaved results are lost; Cancel, or a
  // save that fails, keeps the program.
  void unsavedResultsAreAskedAbout_data() {
    QTest::addColumn<int>("how");  // 0 Exit, 1 Alt+X, 2 the close box
    QTest::addColumn<int>("answer");
    QTest::addColumn<int>("fault");  // 0 none, 1 saved before, 2 the save fails, 3 no file name
    QTest::newRow("Exit, Save") << 0 << int(QMessageBox::Save) << 0;
    QTest::newRow("Alt+X, Discard") << 1 << int(QMessageBox::Discard) << 0;
    QTest::newRow("close box, Cancel") << 2 << int(QMessageBox::Cancel) << 0;
    QTest::newRow("saved before") << 0 << int(QMessageBox::Cancel) << 1;
    QTest::newRow("save fails") << 2 << int(QMessageBox::Save) << 2;
    QTest::newRow("no file name") << 1 << int(QMessageBox::Save) << 3;
  }
  void unsavedResultsAreAskedAbout() {
    QFETCH(int, how);
    QFETCH(int, answer);
    QFETCH(int, fault);
    Fixture f;
    QVERIFY(f.openSeries(kPolySeries));
    f.click("cmdCompute");
    if (fault == 1) f.trigger("mnuSave");
    if (fault == 2) QVERIFY(QDir(f.dir.path()).mkdir("run.ser.grd"));
    if (fault == 3) f.model.FileName.clear();
    f.user.answers << static_cast<QMessageBox::StandardButton>(answer);
    if (how == 0) f.click("cmdExit");
    if (how == 1) QTest::keyClick(Ctl(*f.w, "lstCoeff"), Qt::Key_X, Qt::AltModifier);
    if (how == 2) f.w->close();
    const bool ends = fault == 1 || (fault == 0 && answer != QMessageBox::Cancel);
    QTRY_COMPARE(f.user.questions, fault == 1 ? QStringList() : QStringList{"Save the results?"});
    QVERIFY(f.user.quits == int(ends) && f.w->isVisible() == !ends);
    QVERIFY(f.user.messages.size() == int(fault == 2) && f.user.saveStarts.size() == int(fault == 3));
    QCOMPARE(QFileInfo(f.dir.filePath("run.ser.grd")).isFile(), fault == 1 || (answer == QMessageBox::Save && !fault));
    if (ends) return;
    QCOMPARE(f.listLines().size(), 5);
    f.click("cmdExit");  // asks again
    QCOMPARE(f.user.questions.size(), 2);
  }
};

QTEST_MAIN(TestGridFiles)
#include "test_grid_files.moc"
