#include "platform/net/tcp.h"
#include "platform/net/socket_common.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace net {

// ---------------------------------------------------------------- TcpSocket

TcpSocket::~TcpSocket() { close(); }

TcpSocket::TcpSocket(TcpSocket&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
  if (this != &other) {
    close();
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

void TcpSocket::close() noexcept { detail::closeFd(m_fd); }

void TcpSocket::setNoDelay() {
  const int on = 1;
  if (::setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) != 0) detail::throwErrno("setsockopt(TCP_NODELAY)");
}

void TcpSocket::sendAll(std::string_view bytes, std::chrono::milliseconds stallLimit) {
  if (m_fd < 0) throw std::system_error(EBADF, std::generic_category(), "send");
  while (!bytes.empty()) {
    // MSG_DONTWAIT keeps each call from blocking, so the stall limit holds;
    // MSG_NOSIGNAL turns a vanished peer into EPIPE instead of SIGPIPE.
    const ssize_t sent = ::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    if (sent < 0 && errno == EINTR) continue;
    if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!detail::waitFor(m_fd, POLLOUT, stallLimit, "send"))
        throw std::system_error(ETIMEDOUT, std::generic_category(), "send");
      continue;
    }
    if (sent == 0) throw std::system_error(EPIPE, std::generic_category(), "send");
    detail::throwErrno("send");
  }
}

std::optional<std::size_t> TcpSocket::receive(std::span<char> buffer, std::chrono::milliseconds timeout) {
  if (m_fd < 0) throw std::system_error(EBADF, std::generic_category(), "recv");
  if (buffer.empty()) return 0;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (!detail::waitFor(m_fd, POLLIN, left, "recv")) return std::nullopt;
    const ssize_t got = ::recv(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) {
      if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
      continue;
    }
    detail::throwErrno("recv");
  }
}

bool TcpSocket::peerHasClosed() {
  if (m_fd < 0) return true;
  for (;;) {
    char byte = 0;
    const ssize_t got = ::recv(m_fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (got > 0) return false;   // bytes wait to be read: the peer was there
    if (got == 0) return true;   // end of stream
    if (errno == EINTR) continue;
    return errno != EAGAIN && errno != EWOULDBLOCK;  // reset or another failure
  }
}

// -------------------------------------------------------------- TcpListener

TcpListener::TcpListener(std::uint16_t port, BindAddress address) {
  // Non-blocking, so that an accept after a wake-up never blocks when the
  // waiting connection was reset in between.
  m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (m_fd < 0) detail::throwErrno("socket");
  try {
    const int on = 1;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) detail::throwErrno("setsockopt(SO_REUSEADDR)");
    m_port = detail::bindTo(m_fd, port, address);
    if (::listen(m_fd, SOMAXCONN) != 0) detail::throwErrno("listen");
  } catch (...) {
    close();
    throw;
  }
}

TcpListener::~TcpListener() { close(); }

TcpListener::TcpListener(TcpListener&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_port(std::exchange(other.m_port, 0)) {}

TcpListener& TcpListener::operator=(TcpListener&& other) noexcept {
  if (this != &other) {
    close();
    m_fd = std::exchange(other.m_fd, -1);
    m_port = std::exchange(other.m_port, 0);
  }
  return *this;
}

void TcpListener::close() noexcept { detail::closeFd(m_fd); }

TcpSocket TcpListener::accept(std::chrono::milliseconds timeout) {
  if (m_fd < 0) throw std::system_error(EBADF, std::generic_category(), "accept");
  if (!detail::waitFor(m_fd, POLLIN, timeout, "accept")) return TcpSocket{};
  // The accepted socket is blocking; sendAll and receive bound their waits.
  const int fd = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd >= 0) return TcpSocket{fd};
  switch (errno) {
    // Nothing to take after all (another caller took it, or the peer gave up
    // before we got to it): the same as a time-out.
    case EAGAIN:
#if EAGAIN != EWOULDBLOCK
    case EWOULDBLOCK:
#endif
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
      return TcpSocket{};
    default:
      detail::throwErrno("accept");
  }
}

// ------------------------------------------------------------------ connect

TcpSocket connectLoopback(std::uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) detail::throwErrno("socket");
  TcpSocket socket{fd};  // owns the descriptor from here on
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) == 0) return socket;
  if (errno != EINTR) detail::throwErrno("connect");
  // An interrupted connect goes on in the background: wait until it is settled.
  if (!detail::waitFor(fd, POLLOUT, std::chrono::seconds(30), "connect"))
    throw std::system_error(ETIMEDOUT, std::generic_category(), "connect");
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) detail::throwErrno("getsockopt(SO_ERROR)");
  if (error != 0) throw std::system_error(error, std::generic_category(), "connect");
  return socket;
}

}  // namespace net
