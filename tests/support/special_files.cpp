#include "support/special_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

namespace testsupport {

void makeFifo(const fs::path& path) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed: " + path.string());
}

FifoRescue::FifoRescue(fs::path fifo, std::chrono::milliseconds grace)
    : m_thread([this, fifo = std::move(fifo), grace] {
        const auto until = std::chrono::steady_clock::now() + grace;
        while (!m_done.load() && std::chrono::steady_clock::now() < until)
          std::this_thread::sleep_for(std::chrono::milliseconds(10));
        while (!m_done.load()) {
          // Succeeds only while a reader has the pipe open (or waits in open).
          const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
          if (fd >= 0) ::close(fd);
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
      }) {}

FifoRescue::~FifoRescue() {
  m_done.store(true);
  m_thread.join();
}

}  // namespace testsupport
