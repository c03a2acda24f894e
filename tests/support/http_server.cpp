#include "support/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include <fmt/format.h>

extern char** environ;

namespace testsupport {
namespace {

using Clock = std::chrono::steady_clock;

std::runtime_error lf_systemError(const std::string& what) {
  return std::runtime_error(fmt::format("{}: {}", what, std::strerror(errno)));
}

// A TCP socket bound to 127.0.0.1 on a port the system picks; returns the
// socket and stores the port.
int lf_bindLoopback(std::uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw lf_systemError("socket");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const auto error = lf_systemError("bind");
    ::close(fd);
    throw error;
  }
  socklen_t length = sizeof address;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const auto error = lf_systemError("getsockname");
    ::close(fd);
    throw error;
  }
  port = ntohs(address.sin_port);
  return fd;
}

// Milliseconds left until a deadline, at least 0.
int lf_msLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

// ---------------------------------------------------------------- HttpFileServer

HttpFileServer::HttpFileServer(const std::filesystem::path& folder) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw lf_systemError("pipe2");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  // The request log goes to stderr; keep it out of the test output.
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  // A process group of its own, so that the destructor can end it (and
  // anything a launcher script in between may have left) by its id.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);

  const std::string folderText = folder.string();
  // "-u": unbuffered, so the "Serving HTTP" line arrives at once through the pipe.
  const char* argv[] = {"python3", "-u", "-m", "http.server", "--bind", "127.0.0.1", "0",
                        "--directory", folderText.c_str(), nullptr};
  pid_t pid = -1;
  const int spawnError = ::posix_spawnp(&pid, "python3", &actions, &attributes,
                                        const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(pipeFds[1]);
  if (spawnError != 0) {
    ::close(pipeFds[0]);
    throw std::runtime_error(fmt::format("cannot start python3: {}", std::strerror(spawnError)));
  }
  m_pid = pid;
  m_stdoutFd = pipeFds[0];

  // Wait for "Serving HTTP on 127.0.0.1 port NNNN (...".
  static constexpr std::string_view kMarker = "Serving HTTP on 127.0.0.1 port ";
  std::string output;
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  for (;;) {
    const auto marker = output.find(kMarker);
    if (marker != std::string::npos) {
      const char* first = output.data() + marker + kMarker.size();
      const char* last = output.data() + output.size();
      unsigned port = 0;
      const auto [end, ec] = std::from_chars(first, last, port);
      if (ec == std::errc{} && end != last && *end == ' ' && port > 0 && port < 65536) {
        m_port = static_cast<std::uint16_t>(port);
        return;
      }
    }
    pollfd entry{m_stdoutFd, POLLIN, 0};
    const int ready = ::poll(&entry, 1, lf_msLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    char buffer[512];
    const ssize_t got = ready > 0 ? ::read(m_stdoutFd, buffer, sizeof buffer) : 0;
    if (got <= 0) {
      stop();
      throw std::runtime_error(fmt::format("python3 http.server did not start; its output: '{}'", output));
    }
    output.append(buffer, static_cast<std::size_t>(got));
  }
}

HttpFileServer::~HttpFileServer() { stop(); }

void HttpFileServer::stop() {
  if (m_pid > 0) {
    ::kill(-m_pid, SIGTERM);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    bool ended = false;
    while (!ended && Clock::now() < deadline) {
      int status = 0;
      const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
      if (done == m_pid || (done < 0 && errno != EINTR)) {
        ended = true;
      } else {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    if (!ended) {
      ::kill(-m_pid, SIGKILL);
      int status = 0;
      ::waitpid(m_pid, &status, 0);
    }
    m_pid = -1;
  }
  if (m_stdoutFd >= 0) {
    ::close(m_stdoutFd);
    m_stdoutFd = -1;
  }
}

std::string HttpFileServer::baseUrl() const { return fmt::format("http://127.0.0.1:{}/", m_port); }

// ---------------------------------------------------------------- RawSocketServer

RawSocketServer::RawSocketServer(std::optional<std::string> reply) : m_reply(std::move(reply)) { start(); }

RawSocketServer::RawSocketServer(Drip drip) : m_drip(drip) { start(); }

void RawSocketServer::start() {
  m_listenFd = lf_bindLoopback(m_port);
  if (::listen(m_listenFd, 64) != 0) {
    const auto error = lf_systemError("listen");
    ::close(m_listenFd);
    throw error;
  }
  m_thread = std::thread([this] { run(); });
}

RawSocketServer::~RawSocketServer() {
  m_stop = true;
  if (m_thread.joinable()) m_thread.join();
  for (const Held& held : m_held) ::close(held.fd);
  ::close(m_listenFd);
}

std::string RawSocketServer::baseUrl() const { return fmt::format("http://127.0.0.1:{}/", m_port); }

std::vector<std::string> RawSocketServer::requests() const {
  std::lock_guard lock(m_requestsMutex);
  return m_requests;
}

bool RawSocketServer::stillOpen(int fd) {
  char buffer[4096];
  const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
  return got > 0 || (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR));
}

void RawSocketServer::run() {
  static constexpr std::string_view kDripHead =
      "HTTP/1.1 200 OK\r\nContent-Length: 100000000\r\nContent-Type: text/xml\r\n\r\n";
  while (!m_stop) {
    // Short polls, so the destructor's stop is seen within 50 ms.
    std::vector<pollfd> entries{{m_listenFd, POLLIN, 0}};
    for (const Held& held : m_held) entries.push_back({held.fd, POLLIN, 0});
    const std::size_t polled = m_held.size();
    const int ready = ::poll(entries.data(), entries.size(), m_drip ? 10 : 50);
    if (ready > 0 && (entries[0].revents & POLLIN) != 0) {
      const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        ++m_accepted;
        if (m_reply) {
          answer(fd);
          ::close(fd);
        } else {
          if (m_drip) ::send(fd, kDripHead.data(), kDripHead.size(), MSG_NOSIGNAL);
          m_held.push_back({fd, Clock::now() + m_drip.value_or(Drip{}).every});
        }
      }
    }
    // Held connections: the client's close is counted; a dripping one gets its next byte.
    const auto now = Clock::now();
    std::vector<Held> kept;
    for (std::size_t i = 0; i < m_held.size(); ++i) {
      Held held = m_held[i];
      const short events = i < polled ? entries[i + 1].revents : 0;
      bool open = (events & (POLLIN | POLLHUP | POLLERR)) == 0 || stillOpen(held.fd);
      if (open && m_drip && now >= held.nextDrip) {
        open = ::send(held.fd, "x", 1, MSG_NOSIGNAL) == 1;
        held.nextDrip = now + m_drip->every;
      }
      if (open) {
        kept.push_back(held);
      } else {
        ::close(held.fd);
        ++m_closedByClient;
      }
    }
    m_held = std::move(kept);
  }
}

void RawSocketServer::answer(int fd) {
  // The request head: up to the empty line (a GET has no body).
  std::string request;
  const auto readDeadline = Clock::now() + std::chrono::seconds(5);
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536 && !m_stop) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, std::min(lf_msLeft(readDeadline), 50)) <= 0) {
      if (lf_msLeft(readDeadline) == 0) break;
      continue;
    }
    char buffer[4096];
    const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    request.append(buffer, static_cast<std::size_t>(got));
  }
  {
    std::lock_guard lock(m_requestsMutex);
    m_requests.push_back(request);
  }

  const std::string& reply = *m_reply;
  std::size_t sent = 0;
  while (sent < reply.size()) {
    const ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
  // End the reply, then wait (briefly) for the client to close its side, so
  // that closing here never resets the connection before the client has read
  // everything.
  ::shutdown(fd, SHUT_WR);
  const auto drainDeadline = Clock::now() + std::chrono::seconds(2);
  while (!m_stop && lf_msLeft(drainDeadline) > 0) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 50) <= 0) continue;
    char buffer[512];
    if (::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
  }
}

// ---------------------------------------------------------------- free functions

std::uint16_t unusedLoopbackPort() {
  std::uint16_t port = 0;
  const int fd = lf_bindLoopback(port);
  ::close(fd);
  return port;
}

}  // namespace testsupport
