// Things that can stand where a program expects a file: a named pipe (FIFO)
// (an oversized sparse file: sparse_file.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <thread>

namespace testsupport {

// Makes a named pipe at path (its folders created).
void makeFifo(const std::filesystem::path& path);

// While it lives, a reader stuck opening or reading the FIFO is set free
// after a grace period (a writer opens the pipe and closes it again, so the
// reader sees an empty file): a test of a reader that waits on a pipe then
// fails on its assertions instead of hanging.
class FifoRescue {
 public:
  explicit FifoRescue(std::filesystem::path fifo, std::chrono::milliseconds grace = std::chrono::milliseconds(1500));
  ~FifoRescue();
  FifoRescue(const FifoRescue&) = delete;
  FifoRescue& operator=(const FifoRescue&) = delete;

 private:
  std::atomic<bool> m_done{false};
  std::thread m_thread;
};

}  // namespace testsupport
