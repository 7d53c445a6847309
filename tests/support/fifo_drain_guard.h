// A guard for a test whose job may wait on a FIFO for ever (no reader yet,
// or a reader that stopped reading): unless disarmed within its time, it
// opens the FIFO for reading and reads whatever comes until disarmed, so
// that the job can end and the test fail instead of hanging.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace velkan::test {

class FifoDrainGuard {
 public:
  FifoDrainGuard(std::filesystem::path fifo, std::chrono::milliseconds after)
      : thread_([this, fifo = std::move(fifo), after] { Run(fifo, after); }) {}
  ~FifoDrainGuard() {
    Disarm();
    thread_.join();
  }
  FifoDrainGuard(const FifoDrainGuard&) = delete;
  FifoDrainGuard& operator=(const FifoDrainGuard&) = delete;

  // The job has ended: the guard stops (draining, if it had begun).
  void Disarm() {
    {
      std::lock_guard<std::mutex> l(m_);
      disarmed_ = true;
    }
    cv_.notify_one();
  }
  // Whether its time passed before it was disarmed: the job was stuck.
  bool fired() const { return fired_.load(); }

 private:
  void Run(const std::filesystem::path& fifo, std::chrono::milliseconds after) {
    {
      std::unique_lock<std::mutex> l(m_);
      if (cv_.wait_for(l, after, [this] { return disarmed_; })) return;
    }
    fired_ = true;
    // Without blocking: a writer waiting in its open is let through, and
    // one that never comes leaves nothing to wait for.
    const int fd = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    char buf[65536];
    for (;;) {
      {
        std::lock_guard<std::mutex> l(m_);
        if (disarmed_) break;
      }
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 20) > 0 && ::read(fd, buf, sizeof buf) <= 0) {
        // No writer (yet, or any more): the hang-up stays until one comes.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    ::close(fd);
  }

  std::mutex m_;
  std::condition_variable cv_;
  bool disarmed_ = false;
  std::atomic<bool> fired_{false};
  std::thread thread_;
};

}  // namespace velkan::test
