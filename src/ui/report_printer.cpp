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

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include "ui/progress_dialogs.h"

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

// One print job of the report, phase by phase: the file to print to, the
// painter and its font, the lines page by page, the end of the job.
class ReportJob {
 public:
  ReportJob(const Dimension& model, ReportPrinter& reportPrinter, PrinterStateGuard& guard, QWidget* parent,
            UiServices& services)
      : model_(model),
        reportPrinter_(reportPrinter),
        printer_(reportPrinter.printer()),
        guard_(guard),
        parent_(parent),
        services_(services) {}

  PrintResult Run() {
    if (std::optional<PrintResult> refused = PrepareFile()) return *refused;
    printer_.setDocName(ToQ(model_.FileName));
    if (!painter_.begin(&printer_))
      return NotPrinted(toFile_ ? QStringLiteral("The report could not be written to %1.").arg(target_)
                                : QStringLiteral("%1 could not start the print job.").arg(PrinterLabel(printer_)));
    SetUpPage();
    if (std::optional<PrintResult> stopped = PrintLines()) return *stopped;
    return Finish();
  }

 private:
  // A PDF file is written under a temporary name next to it and takes the
  // chosen name only when the whole report is in it, as a saved grid file
  // does (a link is followed, a file that may not be written is refused).
  std::optional<PrintResult> PrepareFile() {
    toFile_ = printer_.outputFormat() == QPrinter::PdfFormat;
    target_ = printer_.outputFileName();
    if (!toFile_) return std::nullopt;
    if (target_.isEmpty()) return NotPrinted(QStringLiteral("No file was chosen to print the report to."));
    part_ = std::make_unique<PendingFile>(QFile::encodeName(target_).toStdString());
    if (part_->status().outcome != AtomicWriteOutcome::Ok)
      return NotPrinted(
          QStringLiteral("The report could not be written to %1: %2").arg(target_, FileProblem(part_->status())));
    guard_.redirectOutput(QFile::decodeName(QByteArray::fromStdString(part_->path())));
    return std::nullopt;
  }

  // The font, the lines a page holds and the characters a line holds.
  void SetUpPage() {
    QFont font(reportPrinter_.fontName());
    font.setFamilies({reportPrinter_.fontName(), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    if (reportPrinter_.fontSize() > 0) font.setPointSizeF(reportPrinter_.fontSize());
    painter_.setFont(font);
    const QFontMetricsF metrics(painter_.font(), painter_.device());
    lineHeight_ = std::max(1.0, metrics.lineSpacing());
    ascent_ = metrics.ascent();
    linesPerPage_ =
        std::max<std::int64_t>(1, static_cast<std::int64_t>(std::floor(painter_.device()->height() / lineHeight_)));
    // A line wider than the page goes on in the next line rather than being
    // cut off at the edge.
    const double charWidth = std::max(1.0, metrics.horizontalAdvance(QLatin1Char('M')));
    charsPerLine_ = std::max<qsizetype>(1, static_cast<qsizetype>(std::floor(painter_.device()->width() / charWidth)));
  }

  std::optional<PrintResult> PrintLines() {
    const ReportLines lines(model_);
    total_ = lines.count();
    const std::int64_t pagesAbout = (total_ + linesPerPage_ - 1) / linesPerPage_;
    clock_.start();
    if (pagesAbout > 1)
      progress_.reset(MakeProgressDialog(parent_, QStringLiteral("Printing the report..."),
                                         QStringLiteral("printProgress"), Qt::WindowModal,
                                         std::max(0, services_.PrintDelayMs())));
    for (std::int64_t i = 0; i < total_; ++i) {
      QString text = ToQ(lines.line(i));
      qsizetype end = text.size();
      while (end > 0 && text[end - 1] == QLatin1Char(' ')) --end;
      text.truncate(end);
      qsizetype from = 0;
      do {
        if (onPage_ == linesPerPage_)
          if (std::optional<PrintResult> stopped = NewPage(i)) return stopped;
        const QString piece = text.mid(from, charsPerLine_);
        if (!piece.isEmpty())
          painter_.drawText(QPointF(0.0, static_cast<double>(onPage_) * lineHeight_ + ascent_), piece);
        from += charsPerLine_;
        ++onPage_;
      } while (from < text.size());
    }
    return std::nullopt;
  }

  // The progress window, once the job has taken a while; the result when it
  // was cancelled.
  std::optional<PrintResult> ShowProgress(std::int64_t i) {
    if (!progress_) return std::nullopt;
    if (progress_->isHidden() && clock_.elapsed() >= services_.PrintDelayMs()) progress_->show();
    if (progress_->isHidden()) return std::nullopt;
    constexpr int kProgressSteps = 1000;
    progress_->setLabelText(QStringLiteral("Printing page %1.").arg(page_ + 1));
    progress_->setValue(static_cast<int>(static_cast<double>(i) / static_cast<double>(total_) * kProgressSteps));
    QCoreApplication::processEvents();
    if (!progress_->wasCanceled()) return std::nullopt;
    const bool stopped = printer_.abort();
    painter_.end();
    if (!toFile_ && !stopped)
      return PrintResult{PrintOutcome::Cancelled,
                         QStringLiteral("%1 could not stop the job; the %2 pages printed so far may come out.")
                             .arg(PrinterLabel(printer_))
                             .arg(page_),
                         page_};
    return PrintResult{PrintOutcome::Cancelled, {}, 0};
  }

  // Line i starts a new page; the result when the job ends there.
  std::optional<PrintResult> NewPage(std::int64_t i) {
    if (std::optional<PrintResult> cancelled = ShowProgress(i)) return cancelled;
    if (!printer_.newPage()) {
      painter_.end();
      // The pages before it may have gone to a printer; a file is not kept.
      if (toFile_)
        return NotPrinted(QStringLiteral("Writing the report to %1 failed at page %2.").arg(target_).arg(page_ + 1));
      return PrintResult{
          PrintOutcome::Failed,
          QStringLiteral("%1 stopped at page %2; the report is incomplete.").arg(PrinterLabel(printer_)).arg(page_ + 1),
          page_};
    }
    ++page_;
    onPage_ = 0;
    return std::nullopt;
  }

  PrintResult Finish() {
    if (!painter_.end() || printer_.printerState() == QPrinter::Error)
      return NotPrinted(toFile_ ? QStringLiteral("Writing the report to %1 failed.").arg(target_)
                                : QStringLiteral("%1 could not finish the print job.").arg(PrinterLabel(printer_)));
    if (toFile_) {
      // A device or pipe cannot be read back; what it took was handed over whole.
      if (!part_->direct() && !PdfIsComplete(QFile::decodeName(QByteArray::fromStdString(part_->path()))))
        return NotPrinted(QStringLiteral("Writing the report to %1 failed.").arg(target_));
      const AtomicWriteResult saved = part_->Commit();
      if (saved.outcome != AtomicWriteOutcome::Ok)
        return NotPrinted(QStringLiteral("The report could not be saved as %1: %2").arg(target_, FileProblem(saved)));
    }
    return {PrintOutcome::Printed, {}, page_};
  }

  const Dimension& model_;
  ReportPrinter& reportPrinter_;
  QPrinter& printer_;
  PrinterStateGuard& guard_;
  QWidget* parent_;
  UiServices& services_;
  bool toFile_ = false;
  QString target_;
  std::unique_ptr<PendingFile> part_;
  QPainter painter_;
  double lineHeight_ = 1.0, ascent_ = 0.0;
  std::int64_t linesPerPage_ = 1, total_ = 0, onPage_ = 0;
  qsizetype charsPerLine_ = 1;
  int page_ = 1;
  std::unique_ptr<QProgressDialog> progress_;
  QElapsedTimer clock_;
};

}  // namespace

PrintResult PrintReport(const Dimension& model, ReportPrinter& reportPrinter, QWidget* parent, UiServices& services) {
  PrinterStateGuard guard(reportPrinter);
  reportPrinter.setFontName(QString::fromLatin1(kReportFontName));
  if (!services.PrintDialog(reportPrinter.printer(), parent)) return {PrintOutcome::Cancelled, {}, 0};
  return ReportJob(model, reportPrinter, guard, parent, services).Run();
}

}  // namespace tabulor
