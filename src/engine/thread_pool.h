// A small pool of worker threads that share a list of independent tasks.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tabulor {

class ThreadPool {
 public:
  // `threads` counts the calling thread: 1 runs everything on the caller.
  explicit ThreadPool(int threads);
  ~ThreadPool();
  ThreadPool(const ThreadPool&) = delete;
  ThreadPool& operator=(const ThreadPool&) = delete;

  int threads() const { return static_cast<int>(workers_.size()) + 1; }

  // Runs task(i, worker) for every i in 0..count-1, each exactly once, on
  // all threads; the caller is worker 0, the others 1..threads()-1. After
  // each of its own tasks the caller asks keep_going(); once it says false,
  // no task starts any more and Run returns false when the running ones are
  // done. Tasks must not throw.
  bool Run(std::int64_t count, const std::function<void(std::int64_t, int)>& task,
           const std::function<bool()>& keep_going);

 private:
  void Work(int id);

  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  std::uint64_t generation_ = 0;
  int busy_ = 0;
  bool quit_ = false;
  const std::function<void(std::int64_t, int)>* task_ = nullptr;
  std::int64_t count_ = 0;
  std::atomic<std::int64_t> next_{0};
  std::atomic<bool> stop_{false};
};

// The number of threads the processor runs at once (at least 1).
int HardwareThreads();

}  // namespace tabulor
