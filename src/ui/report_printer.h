// The printed report: the lines of ReportLines in a fixed-pitch font, one
// below the other, a new page when a line no longer fits, one job.
//
// Use (the main window keeps one ReportPrinter for the whole run, so the
// printer chosen and its settings stay from one report to the next):
//
//   tabulor::PrintResult r = tabulor::PrintReport(model, printer_, this, services_);
//   if (!r.message.isEmpty()) QMessageBox::critical(this, "Print", r.message);
//
// The print dialog is the one the UiServices given show.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include "ui/ui_services.h"

#include "model/dimension.h"

class QPrinter;
class QWidget;

namespace tabulor {

// The printer as the program uses it: the Qt printer (with the choice and
// settings of the print dialog) and the font its lines are printed in. The
// report switches the font name to "Courier New" and puts it back when done;
// the font size is the printer's own.
class ReportPrinter {
 public:
  // The font starts as the application's default font.
  ReportPrinter();
  ~ReportPrinter();
  ReportPrinter(const ReportPrinter&) = delete;
  ReportPrinter& operator=(const ReportPrinter&) = delete;

  QPrinter& printer() { return *printer_; }

  QString fontName() const { return fontName_; }
  void setFontName(const QString& name) { fontName_ = name; }
  double fontSize() const { return fontSize_; }  // points
  void setFontSize(double points) { fontSize_ = points; }

 private:
  std::unique_ptr<QPrinter> printer_;
  QString fontName_;
  double fontSize_ = 10.0;
};

enum class PrintOutcome {
  Printed,    // the job went out (or the PDF file was written)
  Cancelled,  // the print dialog or the progress window was cancelled: nothing printed,
              // unless the message says that the printer could not stop the job
  Failed,     // the printer or the file refused the job; see message
};

struct PrintResult {
  PrintOutcome outcome = PrintOutcome::Failed;
  // What the user is to be told, naming the printer or file: why the report
  // was not printed, or that what was printed is incomplete. Empty when
  // there is nothing to tell.
  QString message;
  int pages = 0;  // pages printed
};

// The font name the report is printed in.
inline constexpr const char* kReportFontName = "Courier New";

// Prints the report of `model`: "FILE NAME: ...", a block per variable and,
// when results are ready, the values at the grid points. Sets the font name
// to "Courier New", shows the print dialog, prints, and puts the font name
// back whatever the outcome. Printing to a PDF file writes a new file and
// replaces the old one only when the whole report has been written, so a
// cancelled or failed job leaves an existing file as it was. The model is
// not changed.
PrintResult PrintReport(const Dimension& model, ReportPrinter& printer, QWidget* parent,
                        UiServices& services = DesktopServices());

}  // namespace tabulor
