// Runs a computation off the window's thread and waits for it in an event
// loop: the window stays painted, a progress window with "Cancel" appears
// once the computation has taken a while.
#pragma once

#include <QObject>
#include <QPointer>
#include <QProgressDialog>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "engine/compute.h"
#include "evaluation/evaluation.h"

class QEventLoop;
class QWidget;

namespace tabulor {

// Starts the thread a computation runs on; throws std::system_error (or
// std::bad_alloc) when the system has no room for one.
using ThreadStarter = std::function<std::thread(std::function<void()>)>;

class ComputeRunner : public QObject {
  Q_OBJECT

 public:
  // `parent` owns the progress window.
  ComputeRunner(QWidget* parent, ThreadStarter start_thread);

  // Computes `evaluation` and returns its result once it has ended;
  // meanwhile the events of the program go on, and after
  // `progress_delay_ms` the progress window shows.
  ComputeResult Run(Evaluation& evaluation, int progress_delay_ms);
  bool running() const { return running_; }
  // The progress window while it is shown.
  QProgressDialog* dialog() const { return dialog_; }

 private:
  // The computation, on the worker thread; an exception becomes an Error.
  ComputeResult ComputeCaught(Evaluation& evaluation);
  // Runs `loop` until the computation has ended, showing the progress
  // window after `progress_delay_ms`.
  void WaitForEnd(QEventLoop& loop, int progress_delay_ms);
  void ShowDialog();

  QWidget* parent_;
  ThreadStarter start_thread_;
  bool running_ = false;
  QPointer<QProgressDialog> dialog_;
  // Shared with the computation's thread.
  std::atomic<bool> finished_{false};
  std::atomic<bool> cancel_{false};
  std::atomic<std::uint64_t> done_{0}, total_{0};
};

}  // namespace tabulor
