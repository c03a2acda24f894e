// Servers on 127.0.0.1 for tests of downloads: a real HTTP file server and
// raw socket servers that misbehave on purpose.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// Serves the files of a folder over HTTP on 127.0.0.1, on a port the system
// picks: "python3 -m http.server" in a process of its own, started by the
// constructor (which returns once the server listens) and ended by the
// destructor. Throws std::runtime_error when the server does not come up.
class HttpFileServer {
 public:
  explicit HttpFileServer(const std::filesystem::path& folder);
  ~HttpFileServer();
  HttpFileServer(const HttpFileServer&) = delete;
  HttpFileServer& operator=(const HttpFileServer&) = delete;

  std::uint16_t port() const { return m_port; }
  // "http://127.0.0.1:PORT/"
  std::string baseUrl() const;

 private:
  void stop();

  int m_pid = -1;
  int m_stdoutFd = -1;
  std::uint16_t m_port = 0;
};

// A TCP server on 127.0.0.1 (port picked by the system) that accepts every
// connection on a thread of its own. Without a reply it is silent: it keeps
// each connection open and never sends a byte. With a reply it reads the
// request head, sends exactly those bytes and closes the connection, which
// makes answers a real HTTP server would not give (no length, cut-off bodies,
// redirects). The destructor stops the thread and closes every socket.
class RawSocketServer {
 public:
  explicit RawSocketServer(std::optional<std::string> reply = std::nullopt);
  ~RawSocketServer();
  RawSocketServer(const RawSocketServer&) = delete;
  RawSocketServer& operator=(const RawSocketServer&) = delete;

  std::uint16_t port() const { return m_port; }
  // "http://127.0.0.1:PORT/"
  std::string baseUrl() const;
  // The number of connections accepted so far.
  int acceptedCount() const { return m_accepted.load(); }
  // The request heads read so far (replying servers only).
  std::vector<std::string> requests() const;

 private:
  void run();
  void answer(int fd);

  std::optional<std::string> m_reply;
  int m_listenFd = -1;
  std::uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_accepted{0};
  std::vector<int> m_openFds;  // the accept thread's only
  mutable std::mutex m_requestsMutex;
  std::vector<std::string> m_requests;
  std::thread m_thread;
};

// A port on 127.0.0.1 on which nothing listens (bound once to let the system
// pick it, then closed), so a connection to it is refused.
std::uint16_t unusedLoopbackPort();

}  // namespace testsupport
