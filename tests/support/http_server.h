// Servers on 127.0.0.1 for tests of downloads: a real HTTP file server and
// raw socket servers that misbehave on purpose.
#pragma once

#include <atomic>
#include <chrono>
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
// redirects). A dripping server answers "200 OK" with a large announced body
// and then sends one byte of it every `every`, never finishing (so a transfer
// never falls below a low-speed limit of 1 byte per second). The destructor
// stops the thread and closes every socket.
class RawSocketServer {
 public:
  struct Drip {
    std::chrono::milliseconds every{500};
  };

  explicit RawSocketServer(std::optional<std::string> reply = std::nullopt);
  explicit RawSocketServer(Drip drip);
  ~RawSocketServer();
  RawSocketServer(const RawSocketServer&) = delete;
  RawSocketServer& operator=(const RawSocketServer&) = delete;

  std::uint16_t port() const { return m_port; }
  // "http://127.0.0.1:PORT/"
  std::string baseUrl() const;
  // The number of connections accepted so far.
  int acceptedCount() const { return m_accepted.load(); }
  // The number of held connections (silent or dripping) the client closed.
  int closedByClientCount() const { return m_closedByClient.load(); }
  // The request heads read so far (replying servers only).
  std::vector<std::string> requests() const;

 private:
  struct Held {
    int fd = -1;
    std::chrono::steady_clock::time_point nextDrip;
  };

  void start();
  void run();
  void answer(int fd);
  // Reads what a held connection sent; false when the client closed it.
  static bool stillOpen(int fd);

  std::optional<std::string> m_reply;
  std::optional<Drip> m_drip;
  int m_listenFd = -1;
  std::uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::atomic<int> m_accepted{0};
  std::atomic<int> m_closedByClient{0};
  std::vector<Held> m_held;  // the accept thread's only
  mutable std::mutex m_requestsMutex;
  std::vector<std::string> m_requests;
  std::thread m_thread;
};

// A port on 127.0.0.1 on which nothing listens (bound once to let the system
// pick it, then closed), so a connection to it is refused.
std::uint16_t unusedLoopbackPort();

}  // namespace testsupport
