// "Edit" opens the uneven grid editor from the main window, and "Print"
// prints the report, both driven from the window.
#include "ui_test_support.h"

#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTableView>

#include "ui/vars_editor.h"

using namespace tabulor;
using namespace tabulor::test;
using State = FrmTabulor::FormState;

namespace {

void ClickCell(FrmVars& editor, int row) {
  const QRect rect = editor.grid()->visualRect(editor.grid()->model()->index(row, 1));
  QTest::mouseClick(editor.grid()->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

QStringList PolyLines(const QStringList& points, const QStringList& values) {
  QStringList lines{"VALUES AT GRID POINTS:", ""};
  for (int i = 0; i < points.size(); ++i) lines << ValueLineText("x=" + points[i], values[i]);
  return lines;
}

QString PdfText(const QString& pdf) {
  const QString tool = QStandardPaths::findExecutable("pdftotext");
  if (tool.isEmpty()) return {};
  QProcess p;
  p.start(tool, {"-layout", pdf, "-"});
  p.waitForFinished(30000);
  return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

class TestEditPrint : public QObject {
  Q_OBJECT

 private slots:
  void editorTypedValuesSurviveCompute() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    f.click(f.set(0).cmdEditVars);  // disabled while evenly spaced
    QVERIFY(!w.varsEditor());
    f.click(f.set(0).chkSpaced);
    FrmVars* editor = OpenEditor(f, 0);
    QVERIFY(editor);
    QVERIFY(editor->isVisible());
    QVERIFY(editor->isModal());
    QCOMPARE(f.model.CurVar, 0);
    // The main window takes no input meanwhile.
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::SeriesLoaded);

    ClickCell(*editor, 1);
    QVERIFY(editor->isEditing());
    QTest::keyClicks(editor->dataEntry(), "2");
    QTest::mouseClick(editor->doneButton(), Qt::LeftButton);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!w.varsEditor());
    QCOMPARE(f.model.GridX[0], (std::vector<double>{0, 2, 1}));

    QApplication::setActiveWindow(&w);
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(w.formState(), State::Computed);
    QCOMPARE(f.listLines(), PolyLines({"0", "2", "1"}, {"1", "17", "6"}));
    QCOMPARE(f.model.GridX[0], (std::vector<double>{0, 2, 1}));
  }

  void deleteInTheEditorUpdatesTheGridPointBox() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    f.typeInto(f.set(0).txtGridPoints, "5");
    f.click(f.set(0).chkSpaced);
    QCOMPARE(f.model.LastPoint[0], 4);
    // The five values the even grid had: 0, 0.25, 0.5, 0.75, 1.
    f.model.GridX[0] = {0, 0.25, 0.5, 0.75, 1};
    FrmVars* editor = OpenEditor(f, 0);
    QVERIFY(editor);
    ClickCell(*editor, 1);
    QTest::mouseClick(editor->deleteButton(), Qt::LeftButton);
    QCOMPARE(f.set(0).txtGridPoints->text(), QStringLiteral("4"));
    QCOMPARE(f.model.LastPoint[0], 3);
    QTest::mouseClick(editor->doneButton(), Qt::LeftButton);
    QApplication::setActiveWindow(&w);
    // The values were set here, not typed in the editor: compute anyway.
    f.user.answers << QMessageBox::Yes;
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    QCOMPARE(f.listLines(), PolyLines({"0", "1", "0.5", "0.75"}, {"1", "6", "2.75", "4.1875"}));
  }

  void printToPdf() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries, "run.ser"));
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    const QString pdf = f.dir.filePath("report.pdf");
    int dialogs = 0;
    f.user.printDialog = [&](QPrinter& p, QWidget*) {
      ++dialogs;
      p.setOutputFormat(QPrinter::PdfFormat);
      p.setOutputFileName(pdf);
      return true;
    };
    Ctl<QAction>(w, "mnuPrint")->trigger();
    QCOMPARE(dialogs, 1);
    QVERIFY(f.user.messages.isEmpty());
    QVERIFY(ReadBytes(pdf).startsWith("%PDF"));
    const QString text = PdfText(pdf);
    if (!text.isEmpty()) {
      QVERIFY(text.contains("run.ser"));
      QVERIFY(text.contains("VALUES AT GRID POINTS:"));
      QVERIFY(text.contains("VALUE=2.75"));
    }
    QCOMPARE(w.formState(), State::Computed);
  }

  void printCancelledOrFailed() {
    Fixture f;
    FrmTabulor& w = *f.w;
    QVERIFY(f.openSeries(kPolySeries));
    f.click(Ctl<QPushButton>(w, "cmdCompute"));
    const QString pdf = f.dir.filePath("none.pdf");
    f.user.printDialog = [&](QPrinter& p, QWidget*) {
      p.setOutputFormat(QPrinter::PdfFormat);
      p.setOutputFileName(pdf);
      return false;
    };
    Ctl<QAction>(w, "mnuPrint")->trigger();
    QVERIFY(!QFile::exists(pdf));
    QVERIFY(f.user.messages.isEmpty());

    const QString nowhere = f.dir.filePath("no/such/folder/r.pdf");
    f.user.printDialog = [&](QPrinter& p, QWidget*) {
      p.setOutputFormat(QPrinter::PdfFormat);
      p.setOutputFileName(nowhere);
      return true;
    };
    Ctl<QAction>(w, "mnuPrint")->trigger();
    QCOMPARE(f.user.messages.size(), 1);
    QVERIFY(f.user.messages.first().contains("not printed"));
    QCOMPARE(f.user.icons.first(), QMessageBox::Critical);
  }
};

QTEST_MAIN(TestEditPrint)
#include "test_edit_print.moc"
