#include "ui/compute_runner.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <new>

#include "ui/progress_dialogs.h"

namespace tabulor {

namespace {
constexpr int kProgressTickMs = 50;  // how often the progress bar follows
}

ComputeRunner::ComputeRunner(QWidget* parent, ThreadStarter start_thread)
    : QObject(parent), parent_(parent), start_thread_(std::move(start_thread)) {}

ComputeResult ComputeRunner::Run(Evaluation& evaluation, int progress_delay_ms) {
  running_ = true;
  finished_ = false;
  cancel_ = false;
  done_ = 0;
  total_ = 0;
  ComputeResult result;
  QEventLoop loop;
  std::thread worker;
  try {
    worker = start_thread_([&] {
      result = ComputeCaught(evaluation);
      finished_ = true;
      // Ends the wait below on the window's thread.
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
  } catch (const std::exception&) {
    // No room for another thread (or for its state): told like any other
    // failure, with nothing changed.
    running_ = false;
    return {ComputeOutcome::Error, "The computation could not be started: the system has no room for another thread."};
  }
  WaitForEnd(loop, progress_delay_ms);
  worker.join();
  if (dialog_) {
    dialog_->hide();
    dialog_->deleteLater();
  }
  dialog_ = nullptr;
  running_ = false;
  return result;
}

ComputeResult ComputeRunner::ComputeCaught(Evaluation& evaluation) {
  try {
    return evaluation.Compute([this](std::uint64_t d, std::uint64_t t) {
      done_ = d;
      total_ = t;
      return !cancel_.load();
    });
  } catch (const std::bad_alloc&) {
    return {ComputeOutcome::Error, "There is not enough memory for the computation."};
  } catch (const std::exception& e) {
    return {ComputeOutcome::Error, e.what()};
  }
}

void ComputeRunner::WaitForEnd(QEventLoop& loop, int progress_delay_ms) {
  // Before the progress window shows, the window takes no input; afterwards
  // the modal progress window keeps it from the rest of the program.
  QTimer delay;
  delay.setSingleShot(true);
  connect(&delay, &QTimer::timeout, &loop, &QEventLoop::quit);
  delay.start(progress_delay_ms);
  if (!finished_) loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (finished_) return;
  ShowDialog();
  QTimer tick;
  connect(&tick, &QTimer::timeout, this, [this] { ShowProgress(*dialog_, done_.load(), total_.load()); });
  tick.start(kProgressTickMs);
  if (!finished_) loop.exec();
}

void ComputeRunner::ShowDialog() {
  QProgressDialog* dialog = MakeProgressDialog(parent_, QStringLiteral("Computing the values at the grid points..."),
                                               QStringLiteral("computeProgress"));
  connect(dialog, &QProgressDialog::canceled, dialog, [this, dialog] {
    cancel_ = true;
    dialog->setLabelText(QStringLiteral("Cancelling..."));
  });
  dialog_ = dialog;
  dialog->show();
}

}  // namespace tabulor
