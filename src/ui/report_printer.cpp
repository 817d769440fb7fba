#include "ui/report_printer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>

#include "ui/progress_dialogs.h"
#include <algorithm>
#include <cmath>

#include "output/result_lines.h"
#include "platform/atomic_file.h"
#include "ui/qt_text.h"

namespace tabulor {

ReportPrinter::ReportPrinter() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
  const QFont font = QGuiApplication::font();
  fontName_ = font.family();
  if (font.pointSizeF() > 0) fontSize_ = font.pointSizeF();
}

ReportPrinter::~ReportPrinter() = default;

namespace {

// Puts the printer's font name and output file back whatever happens.
class PrinterStateGuard {
 public:
  PrinterStateGuard(ReportPrinter& printer) : printer_(printer), fontName_(printer.fontName()) {}
  ~PrinterStateGuard() {
    printer_.setFontName(fontName_);
    if (outputChanged_) printer_.printer().setOutputFileName(outputFileName_);
  }
  PrinterStateGuard(const PrinterStateGuard&) = delete;
  PrinterStateGuard& operator=(const PrinterStateGuard&) = delete;

  void redirectOutput(const QString& file) {
    if (!outputChanged_) outputFileName_ = printer_.printer().outputFileName();
    outputChanged_ = true;
    printer_.printer().setOutputFileName(file);
  }

 private:
  ReportPrinter& printer_;
  QString fontName_;
  QString outputFileName_;
  bool outputChanged_ = false;
};

// A failure after which nothing can have come out of the printer.
PrintResult NotPrinted(const QString& detail) {
  return {PrintOutcome::Failed, QStringLiteral("The report was not printed.\n\n") + detail, 0};
}

// Qt's PDF writer does not tell a failed write (a full disk, a file size
// limit): a complete PDF file begins with "%PDF-" and ends with "%%EOF".
bool PdfIsComplete(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() < 16) return false;
  if (!file.read(5).startsWith("%PDF-")) return false;
  if (!file.seek(std::max<qint64>(0, file.size() - 32))) return false;
  return file.readAll().trimmed().endsWith("%%EOF");
}

// "it is a folder", "Permission denied": why a PDF file could not be written.
QString FileProblem(const AtomicWriteResult& r) { return QString::fromLocal8Bit(AtomicWriteProblem(r).c_str()); }

QString PrinterLabel(const QPrinter& printer) {
  const QString name = printer.printerName();
  return name.isEmpty() ? QStringLiteral("The printer") : QStringLiteral("The printer \"%1\"").arg(name);
}

}  // namespace

PrintResult PrintReport(const Dimension& model, ReportPrinter& reportPrinter, QWidget* parent,
                        UiServices& services) {
  PrinterStateGuard guard(reportPrinter);
  reportPrinter.setFontName(QString::fromLatin1(kReportFontName));
  QPrinter& printer = reportPrinter.printer();

  if (!services.PrintDialog(printer, parent)) return {PrintOutcome::Cancelled, {}, 0};

  // A PDF file is written under a temporary name next to it and takes the
  // chosen name only when the whole report is in it, as a saved grid file
  // does (a link is followed, a file that may not be written is refused).
  const bool toFile = printer.outputFormat() == QPrinter::PdfFormat;
  const QString target = printer.outputFileName();
  std::unique_ptr<PendingFile> part;
  if (toFile) {
    if (target.isEmpty()) return NotPrinted(QStringLiteral("No file was chosen to print the report to."));
    part = std::make_unique<PendingFile>(QFile::encodeName(target).toStdString());
    if (part->status().outcome != AtomicWriteOutcome::Ok)
      return NotPrinted(
          QStringLiteral("The report could not be written to %1: %2").arg(target, FileProblem(part->status())));
    guard.redirectOutput(QFile::decodeName(QByteArray::fromStdString(part->path())));
  }
  printer.setDocName(ToQ(model.FileName));

  QPainter painter;
  if (!painter.begin(&printer)) {
    return NotPrinted(toFile ? QStringLiteral("The report could not be written to %1.").arg(target)
                             : QStringLiteral("%1 could not start the print job.").arg(PrinterLabel(printer)));
  }

  QFont font(reportPrinter.fontName());
  font.setFamilies({reportPrinter.fontName(), QStringLiteral("Liberation Mono")});
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  if (reportPrinter.fontSize() > 0) font.setPointSizeF(reportPrinter.fontSize());
  painter.setFont(font);
  const QFontMetricsF metrics(painter.font(), painter.device());
  const double lineHeight = std::max(1.0, metrics.lineSpacing());
  const double ascent = metrics.ascent();
  const std::int64_t linesPerPage =
      std::max<std::int64_t>(1, static_cast<std::int64_t>(std::floor(painter.device()->height() / lineHeight)));

  // A line wider than the page goes on in the next line rather than being
  // cut off at the edge.
  const double charWidth = std::max(1.0, metrics.horizontalAdvance(QLatin1Char('M')));
  const qsizetype charsPerLine =
      std::max<qsizetype>(1, static_cast<qsizetype>(std::floor(painter.device()->width() / charWidth)));

  const ReportLines lines(model);
  const std::int64_t total = lines.count();
  const std::int64_t pagesAbout = (total + linesPerPage - 1) / linesPerPage;

  std::unique_ptr<QProgressDialog> progress;
  QElapsedTimer clock;
  clock.start();
  constexpr int kProgressSteps = 1000;
  if (pagesAbout > 1) {
    progress.reset(MakeProgressDialog(parent, QStringLiteral("Printing the report..."),
                                      QStringLiteral("printProgress"), Qt::WindowModal,
                                      std::max(0, services.PrintDelayMs())));
  }

  int page = 1;
  std::int64_t onPage = 0;
  for (std::int64_t i = 0; i < total; ++i) {
    QString text = ToQ(lines.line(i));
    qsizetype end = text.size();
    while (end > 0 && text[end - 1] == QLatin1Char(' ')) --end;
    text.truncate(end);
    qsizetype from = 0;
    do {
      if (onPage == linesPerPage) {
        if (progress) {
          if (progress->isHidden() && clock.elapsed() >= services.PrintDelayMs()) progress->show();
          if (!progress->isHidden()) {
            progress->setLabelText(QStringLiteral("Printing page %1.").arg(page + 1));
            progress->setValue(static_cast<int>(static_cast<double>(i) / static_cast<double>(total) * kProgressSteps));
            QCoreApplication::processEvents();
            if (progress->wasCanceled()) {
              const bool stopped = printer.abort();
              painter.end();
              if (!toFile && !stopped) {
                return {PrintOutcome::Cancelled,
                        QStringLiteral("%1 could not stop the job; the %2 pages printed so far may come out.")
                            .arg(PrinterLabel(printer))
                            .arg(page),
                        page};
              }
              return {PrintOutcome::Cancelled, {}, 0};
            }
          }
        }
        if (!printer.newPage()) {
          painter.end();
          // The pages before it may have gone to a printer; a file is not kept.
          if (toFile)
            return NotPrinted(QStringLiteral("Writing the report to %1 failed at page %2.").arg(target).arg(page + 1));
          return {PrintOutcome::Failed,
                  QStringLiteral("%1 stopped at page %2; the report is incomplete.")
                      .arg(PrinterLabel(printer))
                      .arg(page + 1),
                  page};
        }
        ++page;
        onPage = 0;
      }
      const QString piece = text.mid(from, charsPerLine);
      if (!piece.isEmpty())
        painter.drawText(QPointF(0.0, static_cast<double>(onPage) * lineHeight + ascent), piece);
      from += charsPerLine;
      ++onPage;
    } while (from < text.size());
  }

  if (!painter.end() || printer.printerState() == QPrinter::Error) {
    return NotPrinted(toFile ? QStringLiteral("Writing the report to %1 failed.").arg(target)
                             : QStringLiteral("%1 could not finish the print job.").arg(PrinterLabel(printer)));
  }

  if (toFile) {
    // A device or pipe cannot be read back; what it took was handed over whole.
    if (!part->direct() && !PdfIsComplete(QFile::decodeName(QByteArray::fromStdString(part->path()))))
      return NotPrinted(QStringLiteral("Writing the report to %1 failed.").arg(target));
    const AtomicWriteResult saved = part->Commit();
    if (saved.outcome != AtomicWriteOutcome::Ok)
      return NotPrinted(QStringLiteral("The report could not be saved as %1: %2").arg(target, FileProblem(saved)));
  }
  return {PrintOutcome::Printed, {}, page};
}

}  // namespace tabulor
