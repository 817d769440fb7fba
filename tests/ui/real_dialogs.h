// Answering the real file dialogs (Qt's own on the offscreen platform) that
// a user action opens, from a timer, as a user would.
#pragma once

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <functional>

namespace tabulor::test {

// Runs `action`. The first file dialog it shows is given to `fill` and then
// accepted from the event loop (not from the timer's slot, so that a
// question the dialog asks still meets the timer); each question is
// recorded in `questions` (when given) and answered No; the file dialog
// shown again after a No is cancelled. Returns whether a file dialog showed.
inline bool AnswerRealFileDialog(const std::function<void(QFileDialog*)>& fill, const std::function<void()>& action,
                                 QStringList* questions = nullptr) {
  bool seen = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      if (questions) *questions << box->text();
      box->reject();
    } else if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
      if (seen) {
        dialog->reject();
        return;
      }
      seen = true;
      fill(dialog);
      QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    }
  });
  poll.start(10);
  action();
  poll.stop();
  return seen;
}

}  // namespace tabulor::test
