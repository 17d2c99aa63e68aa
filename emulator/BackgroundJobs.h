// Work done one job after another on a thread of its own, so that slow work
// (a state file's sync) never holds up whoever drives the emulated POD: the
// window's thread among them.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class BackgroundJobs {
 public:
  BackgroundJobs() = default;
  // Runs what was posted, then ends the thread.
  ~BackgroundJobs();
  BackgroundJobs(const BackgroundJobs&) = delete;
  BackgroundJobs& operator=(const BackgroundJobs&) = delete;

  // Runs `job` after those posted before it; the thread starts with the first.
  void Post(std::function<void()> job);
  // Returns once every job posted so far has run.
  void Wait();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> jobs_;
  bool running_ = false;  // a job taken off the queue has not finished
  bool ending_ = false;
  std::thread thread_;
};
