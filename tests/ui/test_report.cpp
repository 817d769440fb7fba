// "Print" from the window: the report printed to a PDF file and read back
// with pdftotext, and the reports not printed: cancelled, or failed.
#include "ui_test_support.h"

#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTimer>

#include "ui/report_printer.h"

using namespace tabulor;
using namespace tabulor::test;

namespace {

QString Run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(60000);
  return QString::fromUtf8(process.readAllStandardOutput());
}

QString RightTrimmed(const QString& s) { return s.left(s.lastIndexOf(QRegularExpression("[^ ]")) + 1); }

// The lines of a PDF file printed at 10 points, without trailing blanks or
// the empty lines that end a page. The fixed pitch (0.6 em) puts every
// character in its column; the margin, where "FILE NAME:" starts, is taken off.
QStringList PdfLines(const QString& file) {
  QStringList all;
  qsizetype margin = -1;
  for (const QString& page : Run("pdftotext", {"-layout", "-fixed", "6", file, "-"}).split('\f')) {
    QStringList lines;
    for (const QString& line : page.split('\n')) {
      if (margin < 0) margin = line.indexOf("FILE NAME:");
      lines << RightTrimmed(line.mid(std::max<qsizetype>(0, margin)));
    }
    while (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    all << lines;
  }
  return all;
}

QString Value(const QString& point, const QString& value) { return RightTrimmed(ValueLineText(point, value)); }

QStringList Block(const QString& name, const QString& points, const QString& limits, const QString& der) {
  return {QString(23, ' ') + "VARIABLE: " + name, QString(15, ' ') + "# OF GRID POINTS: " + points,
          QString(20, ' ') + "GRID LIMITS: [" + limits + " ]", "DERIVATIVE W.R.T. THIS VARIABLE: " + der, ""};
}

}  // namespace

class TestReport : public QObject {
  Q_OBJECT

 private slots:
  // The report of 1 + x^2 + 2y + 3x^2 y (x on 0..1, y on -1..1) differentiated
  // by x, printed in Courier New (Liberation Mono here), the printer's own
  // font back afterwards. A report not printed (cancelled in the print
  // dialog or in its progress window, or failed, also when cut short by a
  // full disk) leaves the files as they were; a failure is told, naming the file.
  void print_data() {
    QTest::addColumn<QString>("file");  // "" cancels the print dialog, "-" chooses no file
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("fileSizeLimit");
    QTest::addColumn<QString>("message");
    const QString failed = "The report was not printed.\n\n";
    QTest::newRow("printed") << "two.pdf" << 3 << 0 << "";
    QTest::newRow("cancelled") << "" << 3 << 0 << "";
    QTest::newRow("cancelled in progress") << "old.pdf" << 400 << 0 << "";
    QTest::newRow("no folder") << "no/r.pdf" << 3 << 0 << failed + "The report could not be written to";
    QTest::newRow("a folder") << "folder.pdf" << 3 << 0 << failed + "The report could not be written to";
    QTest::newRow("no name") << "-" << 3 << 0 << failed + "No file was chosen to print the report to.";
    QTest::newRow("cut short") << "old.pdf" << 3 << 4096 << failed + "Writing the report to";
  }
  void print() {
    QFETCH(QString, file);
    QFETCH(int, points);
    QFETCH(int, fileSizeLimit);
    QFETCH(QString, message);
    Fixture f;
    QVERIFY(f.openSeries("1\nx\n0\n1\n0\n#TRUE#\n*\n2\ny\n-1\n1\n0\n#TRUE#\n*\n1\n#TRUE#\n1,0,1,2,0,3\n"));
    f.typeInto(f.set(0).txtGridPoints, QString::number(points));
    f.typeInto(f.set(0).txtDer, "1");
    f.click("cmdCompute");
    QVERIFY(QDir(f.dir.path()).mkdir("folder.pdf"));
    WriteText(f.dir, "old.pdf", "old contents");
    ReportPrinter& printer = f.w->reportPrinter();
    printer.setFontName("DejaVu Sans");
    printer.setFontSize(10);
    f.user.printDelayMs = 0;
    QString fontInDialog, progress;
    f.user.printDialog = [&](QPrinter& p, QWidget*) {
      fontInDialog = printer.fontName();
      p.setOutputFormat(QPrinter::PdfFormat);
      p.setOutputFileName(file == "-" ? QString() : f.dir.filePath(file));
      return !file.isEmpty();
    };
    QTimer::singleShot(0, f.w.get(), [&] {
      if (auto* dialog = f.w->findChild<QProgressDialog*>("printProgress")) {
        progress = dialog->labelText();
        QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
      }
    });
    auto print = [&] { f.trigger("mnuPrint"); };
    fileSizeLimit ? WithFileSizeLimit(fileSizeLimit, print) : print();
    QCOMPARE(progress.left(14), points > 3 ? "Printing page " : "");
    QCOMPARE(f.user.messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) QVERIFY2(f.user.messages[0].startsWith(message), qPrintable(f.user.messages[0]));
    if (!message.isEmpty()) QVERIFY(f.user.messages[0].contains(file == "-" ? "" : file));
    QVERIFY(fontInDialog == "Courier New" && printer.fontName() == "DejaVu Sans");
    QCOMPARE(ReadBytes(f.dir.filePath("old.pdf")), QByteArray("old contents"));
    QStringList files{"folder.pdf", "old.pdf", "run.ser"};
    if (file == "two.pdf") files << file;
    QCOMPARE(QDir(f.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), files);
    if (file != "two.pdf") return;
    QStringList expected{"FILE NAME: " + f.dir.filePath("run.ser"), ""};
    expected << Block("x", "3", " 0 , 1", "1") << Block("y", "2", "-1 , 1", "0") << "VALUES AT GRID POINTS:"
             << "";
    // d/dx (1 + x^2 + 2y + 3x^2 y) = 2x + 6xy.
    expected << "  y=-1" << Value("x=0", "0") << Value("x=0.5", "-2") << Value("x=1", "-4") << "";
    expected << "  y=1" << Value("x=0", "0") << Value("x=0.5", "4") << Value("x=1", "8");
    QCOMPARE(PdfLines(f.dir.filePath(file)), expected);
    const QString fonts = Run("pdffonts", {f.dir.filePath(file)});
    QVERIFY2(fonts.contains("LiberationMono") && !fonts.contains("DejaVu"), qPrintable(fonts));
  }
};

QTEST_MAIN(TestReport)
#include "test_report.moc"
