#include "emulator/BackgroundJobs.h"

BackgroundJobs::~BackgroundJobs() {
  {
    const std::lock_guard lock(mutex_);
    ending_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) {
    thread_.join();
  }
}

void BackgroundJobs::Post(std::function<void()> job) {
  {
    const std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    if (!thread_.joinable()) {
      thread_ = std::thread(&BackgroundJobs::Run, this);
    }
  }
  changed_.notify_all();
}

void BackgroundJobs::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return jobs_.empty() && !running_; });
}

void BackgroundJobs::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return ending_ || !jobs_.empty(); });
    if (jobs_.empty()) {
      return;  // ending, with nothing left to do
    }
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    running_ = true;
    lock.unlock();
    job();
    lock.lock();
    running_ = false;
    changed_.notify_all();
  }
}
