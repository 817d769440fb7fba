// What the windows need from outside their own widgets: file dialogs, the
// print dialog, message boxes, the beep, the end of the program, the delay
// before a progress window, the help text and the thread a computation runs
// on. The windows are given one UiServices and ask it for all of these; the
// program gives them DesktopServices(), the window tests a set of their own
// that answers from lists, so that no dialog ever waits for a person.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>
#include <thread>

#include "engine/compute.h"
#include "model/dimension.h"
#include "model/progress.h"

class QPrinter;
class QWidget;

namespace tabulor {

class UiServices {
 public:
  virtual ~UiServices() = default;

  // A file-open dialog; the chosen path, or "" when nothing was chosen.
  virtual QString OpenFileName(QWidget* parent, const QString& filter);
  // The grid file's save dialog starting at `start` (a folder and the name
  // offered); the chosen path or "". It asks nothing before a file is
  // replaced: the file written is the name with ".grd" added unless it ends
  // in it, which the dialog cannot know.
  virtual QString SaveFileName(QWidget* parent, const QString& filter, const QString& start);
  // The save dialog of a picture or an export: a name typed without an
  // extension gets that of the chosen type, and replacing a file is asked
  // about. The chosen path or "".
  virtual QString SaveExportName(QWidget* parent, const QString& caption, const QString& suggested,
                                 const QString& filters);
  // A message box with an OK button.
  virtual void Message(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text);
  // A question with the given buttons; the button pressed (the Escape
  // button when the box is closed otherwise).
  virtual QMessageBox::StandardButton Ask(QWidget* parent, const QString& title, const QString& text,
                                          QMessageBox::StandardButtons buttons,
                                          QMessageBox::StandardButton defaultButton);
  // The print dialog for `printer`; true when the user chose to print.
  virtual bool PrintDialog(QPrinter& printer, QWidget* parent);
  virtual void Beep();
  // Ends the program's event loop.
  virtual void Quit();
  // How long a computation or a file operation runs before its progress
  // window appears (ms); a report of more than one page, PrintDelayMs.
  virtual int ProgressDelayMs() const { return 500; }
  virtual int PrintDelayMs() const { return 1000; }
  // The resource that holds the help text.
  virtual QString HelpResource() const;
  // Starts the thread a computation runs on; throws std::system_error when
  // the system has no room for one.
  virtual std::thread StartThread(std::function<void()> body) { return std::thread(std::move(body)); }
  // The computation the window runs on that thread.
  virtual ComputeResult Compute(Dimension& model, const ProgressFn& progress) {
    return tabulor::Compute(model, progress);
  }
};

// The real dialogs, message boxes, printer dialog and beep.
UiServices& DesktopServices();

// The title of the program's message boxes.
QString ProgramTitle();

}  // namespace tabulor
