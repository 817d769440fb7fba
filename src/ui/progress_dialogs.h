// The progress windows of long operations, shared by the main window, the
// printed report and the plot: a bar in thousandths and "Cancel".
#pragma once

#include <QElapsedTimer>
#include <QProgressDialog>
#include <QString>

#include "model/progress.h"

class QWidget;

namespace tabulor {

// A progress window titled with the program's name, modal as asked, shown
// once it has been open `min_duration_ms`; it neither closes nor resets by
// itself at the end.
QProgressDialog* MakeProgressDialog(QWidget* parent, const QString& label, const QString& name,
                                    Qt::WindowModality modality = Qt::ApplicationModal, int min_duration_ms = 0);

// Sets the bar to done out of total.
void ShowProgress(QProgressDialog& dialog, std::uint64_t done, std::uint64_t total);

// The progress of a long file operation run on the window's thread: a
// window with "Cancel" once it has taken `delay_ms`; until then the window
// only shows the busy pointer.
class FileProgress {
 public:
  FileProgress(QWidget* parent, QString label, int delay_ms);
  ~FileProgress();
  FileProgress(const FileProgress&) = delete;
  FileProgress& operator=(const FileProgress&) = delete;

  ProgressFn fn();
  // True when the user pressed Cancel.
  bool cancelled() const { return cancelled_; }

 private:
  bool Step(std::uint64_t done, std::uint64_t total);

  QWidget* parent_;
  QString label_;
  int delay_ms_;
  QElapsedTimer clock_;
  QProgressDialog* dialog_ = nullptr;
  bool cancelled_ = false;
};

}  // namespace tabulor
