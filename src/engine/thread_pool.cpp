#include "engine/thread_pool.h"

#include <sched.h>

#include <system_error>

namespace tabulor {

int HardwareThreads() {
  // The threads this process may run on (a container or taskset may allow
  // fewer than the machine has).
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    int n = CPU_COUNT(&set);
    if (n > 0) return n;
  }
  unsigned n = std::thread::hardware_concurrency();
  return n > 0 ? static_cast<int>(n) : 1;
}

ThreadPool::ThreadPool(int threads) {
  for (int id = 1; id < threads; ++id) {
    try {
      workers_.emplace_back([this, id] { Work(id); });
    } catch (const std::system_error&) {
      break;  // fewer threads: the work is the same, only slower
    }
  }
}

ThreadPool::~ThreadPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  start_.notify_all();
  for (auto& t : workers_) t.join();
}

void ThreadPool::Work(int id) {
  std::uint64_t seen = 0;
  for (;;) {
    const std::function<void(std::int64_t, int)>* task;
    std::int64_t count;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      start_.wait(lock, [&] { return quit_ || generation_ != seen; });
      if (quit_) return;
      seen = generation_;
      task = task_;
      count = count_;
    }
    for (;;) {
      if (stop_.load(std::memory_order_relaxed)) break;
      const std::int64_t i = next_.fetch_add(1, std::memory_order_relaxed);
      if (i >= count) break;
      (*task)(i, id);
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (--busy_ == 0) done_.notify_all();
    }
  }
}

bool ThreadPool::Run(std::int64_t count, const std::function<void(std::int64_t, int)>& task,
                     const std::function<bool()>& keep_going) {
  if (count <= 0) return keep_going ? keep_going() : true;
  bool going = true;
  if (workers_.empty() || count == 1) {
    for (std::int64_t i = 0; i < count && going; ++i) {
      task(i, 0);
      if (keep_going) going = keep_going();
    }
    return going;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    task_ = &task;
    count_ = count;
    next_.store(0);
    stop_.store(false);
    busy_ = static_cast<int>(workers_.size());
    ++generation_;
  }
  start_.notify_all();
  for (;;) {
    const std::int64_t i = next_.fetch_add(1, std::memory_order_relaxed);
    if (i >= count) break;
    task(i, 0);
    if (keep_going && !keep_going()) {
      going = false;
      stop_.store(true);
      break;
    }
  }
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return busy_ == 0; });
  task_ = nullptr;
  return going;
}

}  // namespace tabulor
