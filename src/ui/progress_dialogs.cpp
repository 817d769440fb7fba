#include "ui/progress_dialogs.h"

#include <QApplication>

#include "ui/ui_services.h"

namespace tabulor {

QProgressDialog* MakeProgressDialog(QWidget* parent, const QString& label, const QString& name,
                                    Qt::WindowModality modality, int min_duration_ms) {
  auto* dialog = new QProgressDialog(label, QStringLiteral("Cancel"), 0, 1000, parent);
  dialog->setObjectName(name);
  dialog->setWindowTitle(ProgramTitle());
  dialog->setWindowModality(modality);
  dialog->setAutoClose(false);
  dialog->setAutoReset(false);
  dialog->setMinimumDuration(min_duration_ms);
  return dialog;
}

void ShowProgress(QProgressDialog& dialog, std::uint64_t done, std::uint64_t total) {
  if (total > 0) dialog.setValue(static_cast<int>(1000.0L * static_cast<long double>(done) / total));
}

FileProgress::FileProgress(QWidget* parent, QString label, int delay_ms)
    : parent_(parent), label_(std::move(label)), delay_ms_(delay_ms) {
  clock_.start();
  QApplication::setOverrideCursor(Qt::WaitCursor);
}

FileProgress::~FileProgress() {
  QApplication::restoreOverrideCursor();
  delete dialog_;
}

ProgressFn FileProgress::fn() {
  return [this](std::uint64_t done, std::uint64_t total) { return Step(done, total); };
}

bool FileProgress::Step(std::uint64_t done, std::uint64_t total) {
  if (!dialog_ && clock_.elapsed() >= delay_ms_) {
    dialog_ = MakeProgressDialog(parent_, label_, QStringLiteral("fileProgress"));
    dialog_->show();
  }
  if (!dialog_) return true;
  ShowProgress(*dialog_, done, total);
  QCoreApplication::processEvents();
  cancelled_ = dialog_->wasCanceled();
  return !cancelled_;
}

}  // namespace tabulor
