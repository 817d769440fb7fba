// The printed report, printed to PDF files and read back with pdftotext.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <array>
#include <csignal>
#include <functional>
#include <memory>
#include <string>

#include "engine/compute.h"
#include "model/grid_capture.h"
#include "ui/report_printer.h"

using tabulor::Dimension;
using tabulor::PrintOutcome;
using tabulor::PrintResult;
using tabulor::ReportPrinter;

namespace {
// The print dialog the tests answer (the real one when none is given) and
// the delay before the progress window.
struct PrintChoice : tabulor::UiServices {
  std::function<bool(QPrinter&, QWidget*)> printDialog;
  int printDelayMs = 1000;
  bool PrintDialog(QPrinter& printer, QWidget* parent) override {
    return printDialog ? printDialog(printer, parent) : UiServices::PrintDialog(printer, parent);
  }
  int PrintDelayMs() const override { return printDelayMs; }
};
}  // namespace

namespace {

// f(x, y) = 1 + x^2 + 2y + 3x^2 y, a power series in x (3 terms) and, with
// two variables, in y (2 terms).
Dimension SeriesModel(int variables) {
  Dimension m;
  m.LastVar = variables - 1;
  m.FileName = "/data/run.ser";
  m.VarName[0] = "x";
  m.IsPower[0] = true;
  m.LowerLimit[0] = 0;
  m.UpperLimit[0] = 1;
  m.Center[0] = 0;
  m.Period[0] = 2 * m.Pi;
  m.LastTerm[0] = 2;
  m.Coefficients = {1, 0, 1};
  if (variables == 2) {
    m.VarName[1] = "y";
    m.IsPower[1] = true;
    m.LowerLimit[1] = -1;
    m.UpperLimit[1] = 1;
    m.Center[1] = 0;
    m.Period[1] = 2 * m.Pi;
    m.LastTerm[1] = 1;
    m.Coefficients = {1, 0, 1, 2, 0, 3};
  }
  for (int v = 0; v < variables; ++v) {
    m.LastPoint[v] = m.LastTerm[v];
    m.EvenlySpaced[v] = true;
  }
  m.TotalCount = static_cast<std::int32_t>(m.Coefficients.size());
  m.BuildGrids();
  return m;
}

// Takes the grid (points per variable, derivative orders) and computes.
void ComputeGrid(Dimension& m, std::array<const char*, 2> points, std::array<const char*, 2> der) {
  auto spec = tabulor::DefaultGridSpec(m);
  for (int v = 0; v <= m.LastVar; ++v) {
    spec[v].points = points[v];
    spec[v].der = der[v];
  }
  QCOMPARE(QString::fromStdString(tabulor::CaptureGridSpecs(m, spec)), QString());
  const tabulor::ComputeResult result = tabulor::Compute(m);
  QCOMPARE(QString::fromStdString(result.message), QString());
  QVERIFY(result.outcome == tabulor::ComputeOutcome::Ok);
  QVERIFY(m.ResultsReady);
}

QString Blanks(int n) { return QString(n, QLatin1Char(' ')); }

// A value line as the report prints it, trailing blanks left out.
QString Value(const QString& point, const QString& value) {
  QString line = QStringLiteral("   ") + point;
  return line + Blanks(39 - static_cast<int>(line.size())) + QStringLiteral("VALUE=") + value;
}

QStringList Block(const QString& name, const QString& points, const QString& lower, const QString& upper,
                  const QString& der) {
  return {Blanks(23) + QStringLiteral("VARIABLE: ") + name, Blanks(15) + QStringLiteral("# OF GRID POINTS: ") + points,
          Blanks(20) + QStringLiteral("GRID LIMITS: [") + lower + QStringLiteral(" ,") + upper + QStringLiteral(" ]"),
          QStringLiteral("DERIVATIVE W.R.T. THIS VARIABLE: ") + der, QString()};
}

QString RightTrimmed(QString s) {
  while (!s.isEmpty() && s.back().isSpace()) s.chop(1);
  return s;
}

// The text of a PDF file printed at `points` (the font's size), a list of
// pages of lines. The fixed pitch (0.6 em) puts every character in its
// column; the page margin, where "FILE NAME:" starts, is taken off, and so are
// trailing blanks and the trailing empty lines of each page.
QList<QStringList> PdfPages(const QString& file, double points) {
  QProcess process;
  process.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QStringLiteral("-fixed"),
                                              QString::number(0.6 * points), file, QStringLiteral("-")});
  if (!process.waitForFinished(60000) || process.exitCode() != 0) {
    qWarning("pdftotext failed: %s", process.readAllStandardError().constData());
    return {};
  }
  QList<QStringList> pages;
  const QStringList pageTexts = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\f'));
  qsizetype margin = -1;
  for (const QString& pageText : pageTexts) {
    QStringList lines;
    for (const QString& line : pageText.split(QLatin1Char('\n'))) {
      if (margin < 0) margin = line.indexOf(QStringLiteral("FILE NAME:"));
      const qsizetype cut = std::max<qsizetype>(0, margin);
      if (!line.left(cut).trimmed().isEmpty()) qWarning("text in the margin: %s", qPrintable(line));
      lines << RightTrimmed(line.mid(cut));
    }
    while (!lines.isEmpty() && lines.back().isEmpty()) lines.removeLast();
    if (!lines.isEmpty()) pages << lines;
  }
  return pages;
}

QStringList PdfLines(const QString& file, double points) {
  QStringList all;
  for (const QStringList& page : PdfPages(file, points)) all << page;
  return all;
}

QString Run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(60000)) return {};
  return QString::fromUtf8(process.readAllStandardOutput());
}

int PdfPageCount(const QString& file) {
  const QString info = Run(QStringLiteral("pdfinfo"), {file});
  const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
  return match.hasMatch() ? match.captured(1).toInt() : -1;
}

// A print dialog that chooses "print to file" with this name.
std::function<bool(QPrinter&, QWidget*)> ChoosePdf(const QString& file, QString* fontSeen = nullptr,
                                                   ReportPrinter* printer = nullptr) {
  return [=](QPrinter& p, QWidget*) {
    if (fontSeen && printer) *fontSeen = printer->fontName();
    p.setOutputFormat(QPrinter::PdfFormat);
    p.setOutputFileName(file);
    return true;
  };
}

QByteArray FileContents(const QString& file) {
  QFile f(file);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class ReportTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir dir_;
  QString Path(const QString& name) const { return dir_.filePath(name); }

 private slots:
  void initTestCase() { QVERIFY(dir_.isValid()); }

  void oneVariable() {
    Dimension m = SeriesModel(1);
    ComputeGrid(m, {"3", ""}, {"0", ""});
    ReportPrinter printer;
    printer.setFontName(QStringLiteral("DejaVu Sans"));
    printer.setFontSize(9);
    QString fontDuringDialog;
    PrintChoice options;
    options.printDialog = ChoosePdf(Path("one.pdf"), &fontDuringDialog, &printer);
    const PrintResult result = tabulor::PrintReport(m, printer, nullptr, options);
    QCOMPARE(result.message, QString());
    QVERIFY(result.outcome == PrintOutcome::Printed);
    QCOMPARE(result.pages, 1);

    QStringList expected = {QStringLiteral("FILE NAME: /data/run.ser"), QString()};
    expected << Block("x", "3", " 0", " 1", "0");
    expected << QStringLiteral("VALUES AT GRID POINTS:") << QString();
    expected << Value("x=0", "1") << Value("x=0.5", "1.25") << Value("x=1", "2");
    QCOMPARE(PdfLines(Path("one.pdf"), 9), expected);
    QCOMPARE(PdfPageCount(Path("one.pdf")), 1);

    // Printed in Courier New (Liberation Mono here), the font name put back,
    // the size the printer's own.
    QCOMPARE(fontDuringDialog, QStringLiteral("Courier New"));
    QCOMPARE(printer.fontName(), QStringLiteral("DejaVu Sans"));
    QCOMPARE(printer.fontSize(), 9.0);
    const QString fonts = Run(QStringLiteral("pdffonts"), {Path("one.pdf")});
    QVERIFY2(fonts.contains(QStringLiteral("LiberationMono")) || fonts.contains(QStringLiteral("Courier")),
             qPrintable(fonts));
    QVERIFY2(!fonts.contains(QStringLiteral("DejaVu")), qPrintable(fonts));
    // The printer keeps the file chosen.
    QCOMPARE(printer.printer().outputFileName(), Path("one.pdf"));
    // Nothing is left beside the file.
    QCOMPARE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"one.pdf"});
    QFile::remove(Path("one.pdf"));
  }

  void twoVariables() {
    Dimension m = SeriesModel(2);
    // d/dx (1 + x^2 + 2y + 3x^2 y) = 2x + 6xy.
    ComputeGrid(m, {"3", "2"}, {"1", "0"});
    ReportPrinter printer;
    printer.setFontSize(10);
    PrintChoice options;
    options.printDialog = ChoosePdf(Path("two.pdf"));
    const PrintResult result = tabulor::PrintReport(m, printer, nullptr, options);
    QVERIFY(result.outcome == PrintOutcome::Printed);

    QStringList expected = {QStringLiteral("FILE NAME: /data/run.ser"), QString()};
    expected << Block("x", "3", " 0", " 1", "1");
    expected << Block("y", "2", "-1", " 1", "0");
    expected << QStringLiteral("VALUES AT GRID POINTS:") << QString();
    expected << QStringLiteral("  y=-1") << Value("x=0", "0") << Value("x=0.5", "-2") << Value("x=1", "-4")
             << QString();
    expected << QStringLiteral("  y=1") << Value("x=0", "0") << Value("x=0.5", "4") << Value("x=1", "8");
    QCOMPARE(PdfLines(Path("two.pdf"), 10), expected);
  }

  // Without results the report ends with the last variable's block.
  void resultsNotReady() {
    Dimension m = SeriesModel(2);
    m.LastPoint[0] = 10;
    m.LowerLimit[0] = -0.5;
    m.DerOrder[1] = 2;
    ReportPrinter printer;
    printer.setFontSize(10);
    PrintChoice options;
    options.printDialog = ChoosePdf(Path("ready.pdf"));
    QVERIFY(tabulor::PrintReport(m, printer, nullptr, options).outcome == PrintOutcome::Printed);
    QStringList expected = {QStringLiteral("FILE NAME: /data/run.ser"), QString()};
    expected << Block("x", "11", "-0.5", " 1", "0");
    expected << Block("y", "2", "-1", " 1", "2");
    expected.removeLast();  // the closing empty line is not seen at the end of the text
    QCOMPARE(PdfLines(Path("ready.pdf"), 10), expected);
  }

  // Cancel in the print dialog prints nothing and keeps an existing file.
  void cancelPrintsNothing() {
    Dimension m = SeriesModel(1);
    ComputeGrid(m, {"3", ""}, {"0", ""});
    ReportPrinter printer;
    const QString fontBefore = printer.fontName();
    PrintChoice options;
    options.printDialog = [&](QPrinter& p, QWidget*) {
      p.setOutputFormat(QPrinter::PdfFormat);
      p.setOutputFileName(Path("cancel.pdf"));
      return false;
    };
    const PrintResult result = tabulor::PrintReport(m, printer, nullptr, options);
    QVERIFY(result.outcome == PrintOutcome::Cancelled);
    QCOMPARE(result.pages, 0);
    QVERIFY(!QFile::exists(Path("cancel.pdf")));
    QCOMPARE(printer.fontName(), fontBefore);
  }

  // The real print dialog: Cancel prints nothing; OK prints to the PDF file
  // the printer was set to.
  void realPrintDialog() {
    Dimension m = SeriesModel(1);
    ComputeGrid(m, {"3", ""}, {"0", ""});
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    ReportPrinter printer;
    printer.setFontSize(10);
    printer.printer().setOutputFormat(QPrinter::PdfFormat);
    printer.printer().setOutputFileName(Path("dialog.pdf"));

    bool sawDialog = false;
    auto answer = [&](bool ok) {
      QTimer::singleShot(0, [&, ok] {
        auto* dialog = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
        sawDialog = dialog != nullptr;
        if (!dialog) return;
        if (ok)
          dialog->accept();
        else
          dialog->reject();
      });
    };
    answer(false);
    PrintResult result = tabulor::PrintReport(m, printer, &window);
    QVERIFY(sawDialog);
    QVERIFY(result.outcome == PrintOutcome::Cancelled);
    QVERIFY(!QFile::exists(Path("dialog.pdf")));

    sawDialog = false;
    answer(true);
    result = tabulor::PrintReport(m, printer, &window);
    QVERIFY(sawDialog);
    QCOMPARE(result.message, QString());
    QVERIFY(result.outcome == PrintOutcome::Printed);
    QCOMPARE(PdfLines(Path("dialog.pdf"), 10).value(0), QStringLiteral("FILE NAME: /data/run.ser"));
  }

  // A long report goes on over pages in order, one job, one file.
  void pageBreaks() {
    Dimension m = SeriesModel(1);
    ComputeGrid(m, {"201", ""}, {"0", ""});
    ReportPrinter printer;
    printer.setFontSize(10);
    PrintChoice options;
    options.printDialog = ChoosePdf(Path("long.pdf"));
    const PrintResult result = tabulor::PrintReport(m, printer, nullptr, options);
    QVERIFY(result.outcome == PrintOutcome::Printed);
    QVERIFY2(result.pages >= 3, qPrintable(QString::number(result.pages)));
    QCOMPARE(PdfPageCount(Path("long.pdf")), result.pages);
    const QList<QStringList> pages = PdfPages(Path("long.pdf"), 10);
    QCOMPARE(pages.size(), result.pages);
    // Every page but the last is full.
    for (int p = 1; p + 1 < pages.size(); ++p) QCOMPARE(pages[p].size(), pages[0].size());
    QStringList all;
    for (const QStringList& page : pages) all << page;
    QCOMPARE(all.size(), 2 + 5 + 2 + 201);
    QCOMPARE(all[9], Value("x=0", "1"));
    QCOMPARE(all[9 + 100], Value("x=0.5", "1.25"));
    QCOMPARE(all.back(), Value("x=1", "2"));

    // The printer's font size is kept: twice the size, about twice the pages.
    printer.setFontSize(20);
    options.printDialog = ChoosePdf(Path("large.pdf"));
    const PrintResult large = tabulor::PrintReport(m, printer, nullptr, options);
    QVERIFY(large.outcome == PrintOutcome::Printed);
    QVERIFY2(large.pages >= 2 * result.pages - 1, qPrintable(QString::number(large.pages)));
    // At that size a value line is wider than the page: it goes on in the
    // next line instead of being cut off.
    const QStringList largeLines = PdfLines(Path("large.pdf"), 20);
    qsizetype width = 0;
    for (const QString& line : largeLines) width = std::max(width, line.size());
    qsizetype longest = 0;
    for (const QString& line : all) longest = std::max(longest, line.size());
    QVERIFY2(width > 20 && width < longest, qPrintable(QString::number(width)));
    QStringList wrapped;
    for (const QString& line : all) {
      qsizetype from = 0;
      do {
        wrapped << RightTrimmed(line.mid(from, width));
        from += width;
      } while (from < line.size());
    }
    QCOMPARE(largeLines, wrapped);
  }

  // The progress window of a long report; its Cancel stops the job and
  // leaves an existing file as it was.
  void progressCancel() {
    Dimension m = SeriesModel(1);
    ComputeGrid(m, {"400", ""}, {"0", ""});
    QWidget window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    {
      QFile old(Path("progress.pdf"));
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("old contents");
    }
    ReportPrinter printer;
    const QString fontBefore = printer.fontName();
    PrintChoice options;
    options.printDialog = ChoosePdf(Path("progress.pdf"));
    options.printDelayMs = 0;
    QString label;
    QTimer::singleShot(0, [&] {
      auto* progress = window.findChild<QProgressDialog*>();
      if (!progress) return;
      label = progress->labelText();
      const QList<QPushButton*> buttons = progress->findChildren<QPushButton*>();
      if (!buttons.isEmpty()) QTest::mouseClick(buttons.first(), Qt::LeftButton);
    });
    const PrintResult result = tabulor::PrintReport(m, printer, &window, options);
    QVERIFY(result.outcome == PrintOutcome::Cancelled);
    QVERIFY(label.startsWith(QStringLiteral("Printing page ")));
    QCOMPARE(FileContents(Path("progress.pdf")), QByteArray("old contents"));
    QCOMPARE(printer.fontName(), fontBefore);
    QVERIFY(window.findChild<QProgressDialog*>() == nullptr);
    // Without Cancel the same report replaces the file.
    const PrintResult done = tabulor::PrintReport(m, printer, &window, options);
    QVERIFY(done.outcome == PrintOutcome::Printed);
    QVERIFY(FileContents(Path("progress.pdf")).startsWith("%PDF"));
    QCOMPARE(PdfPageCount(Path("progress.pdf")), done.pages);
    QCOMPARE(QDir(dir_.path()).entryList({"*progress*"}, QDir::Files | QDir::Hidden), QStringList{"progress.pdf"});
  }

  // A PDF file chosen through a symbolic link: the link stays and the file
  // it leads to gets the report, as a saved grid file does.
  void pdfThroughALinkReplacesTheFileItLeadsTo() {
    Dimension m = SeriesModel(1);
    ComputeGrid(m, {"3", ""}, {"0", ""});
    QDir(dir_.path()).mkpath(QStringLiteral("linked"));
    {
      QFile old(Path("linked/real.pdf"));
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("old");
    }
    QVERIFY(QFile::link(QStringLiteral("real.pdf"), Path("linked/link.pdf")));
    ReportPrinter printer;
    PrintChoice options;
    options.printDialog = ChoosePdf(Path("linked/link.pdf"));
    const PrintResult result = tabulor::PrintReport(m, printer, nullptr, options);
    QVERIFY2(result.outcome == PrintOutcome::Printed, qPrintable(result.message));
    QVERIFY(result.message.isEmpty());
    QVERIFY(QFileInfo(Path("linked/link.pdf")).isSymLink());
    QVERIFY(FileContents(Path("linked/real.pdf")).startsWith("%PDF"));
    QCOMPARE(QDir(Path("linked")).entryList(QDir::Files | QDir::Hidden | QDir::System),
             (QStringList{"link.pdf", "real.pdf"}));
  }

  // Qt's PDF writer does not tell a failed write: a report cut short by a
  // full disk (here a file size limit) is found out, and the file it was to
  // replace is kept.
  void pdfCutShortIsNotTakenForPrinted() {
    Dimension m = SeriesModel(1);
    ComputeGrid(m, {"3", ""}, {"0", ""});
    {
      QFile old(Path("limited.pdf"));
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("old contents");
    }
    ReportPrinter printer;
    PrintChoice options;
    options.printDialog = ChoosePdf(Path("limited.pdf"));
    rlimit before{};
    QCOMPARE(::getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = before;
    small.rlim_cur = 4096;
    QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const PrintResult result = tabulor::PrintReport(m, printer, nullptr, options);
    ::setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(result.outcome == PrintOutcome::Failed);
    QVERIFY2(result.message.contains(Path("limited.pdf")), qPrintable(result.message));
    QCOMPARE(FileContents(Path("limited.pdf")), QByteArray("old contents"));
    // Without the limit the same report is written whole.
    QVERIFY(tabulor::PrintReport(m, printer, nullptr, options).outcome == PrintOutcome::Printed);
    QVERIFY(FileContents(Path("limited.pdf")).trimmed().endsWith("%%EOF"));
  }

  // A named pipe takes the report as it is written; it cannot be read back
  // to check it, and is not replaced.
  void pdfIntoAPipe() {
    Dimension m = SeriesModel(1);
    ComputeGrid(m, {"3", ""}, {"0", ""});
    const QByteArray fifo = QFile::encodeName(Path("pipe.pdf"));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    ReportPrinter printer;
    PrintChoice options;
    options.printDialog = ChoosePdf(Path("pipe.pdf"));
    const PrintResult result = tabulor::PrintReport(m, printer, nullptr, options);
    QByteArray got(1 << 16, '\0');
    const ssize_t n = ::read(reader, got.data(), static_cast<std::size_t>(got.size()));
    ::close(reader);
    QVERIFY2(result.outcome == PrintOutcome::Printed, qPrintable(result.message));
    QVERIFY(n > 0);
    got.truncate(static_cast<qsizetype>(n));
    QVERIFY(got.startsWith("%PDF-") && got.trimmed().endsWith("%%EOF"));
    QVERIFY(QFileInfo(Path("pipe.pdf")).exists() && !QFileInfo(Path("pipe.pdf")).isFile());
  }

  // A file that cannot be written is reported, naming it.
  void failureIsReported() {
    Dimension m = SeriesModel(1);
    ComputeGrid(m, {"3", ""}, {"0", ""});
    ReportPrinter printer;
    printer.setFontName(QStringLiteral("Sans"));
    PrintChoice options;
    const QString missing = Path("no-such-folder/report.pdf");
    options.printDialog = ChoosePdf(missing);
    PrintResult result = tabulor::PrintReport(m, printer, nullptr, options);
    QVERIFY(result.outcome == PrintOutcome::Failed);
    QVERIFY2(result.message.contains(missing), qPrintable(result.message));
    QCOMPARE(printer.fontName(), QStringLiteral("Sans"));
    QVERIFY(!QFile::exists(missing));
    // A folder is refused before anything is printed, and left as it was.
    QVERIFY(QDir(dir_.path()).mkpath(QStringLiteral("folder.pdf")));
    options.printDialog = ChoosePdf(Path("folder.pdf"));
    result = tabulor::PrintReport(m, printer, nullptr, options);
    QVERIFY(result.outcome == PrintOutcome::Failed);
    QVERIFY2(result.message.startsWith(QStringLiteral("The report was not printed.")), qPrintable(result.message));
    QVERIFY2(result.message.contains(QStringLiteral("it is a folder")), qPrintable(result.message));
    QVERIFY(QFileInfo(Path("folder.pdf")).isDir());
    // A PDF without a file name.
    options.printDialog = ChoosePdf(QString());
    result = tabulor::PrintReport(m, printer, nullptr, options);
    QVERIFY(result.outcome == PrintOutcome::Failed);
    QVERIFY(!result.message.isEmpty());
  }
};

QTEST_MAIN(ReportTest)
#include "test_report.moc"
