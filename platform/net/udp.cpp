#include "platform/net/udp.h"
#include "platform/net/socket_common.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace net {
namespace {

int lf_openUdp() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) detail::throwErrno("socket");
  return fd;
}

}  // namespace

UdpSocket::UdpSocket() : m_fd(lf_openUdp()) {}

UdpSocket::UdpSocket(std::uint16_t port, BindAddress address) : m_fd(lf_openUdp()) {
  try {
    m_port = detail::bindTo(m_fd, port, address);
  } catch (...) {
    close();
    throw;
  }
}

UdpSocket::~UdpSocket() { close(); }

UdpSocket::UdpSocket(UdpSocket&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_port(std::exchange(other.m_port, 0)) {}

UdpSocket& UdpSocket::operator=(UdpSocket&& other) noexcept {
  if (this != &other) {
    close();
    m_fd = std::exchange(other.m_fd, -1);
    m_port = std::exchange(other.m_port, 0);
  }
  return *this;
}

void UdpSocket::close() noexcept { detail::closeFd(m_fd); }

std::optional<Datagram> UdpSocket::receive(std::span<char> buffer, std::chrono::milliseconds timeout) {
  if (m_fd < 0) throw std::system_error(EBADF, std::generic_category(), "recv");
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    // MSG_TRUNC: the result is the datagram's real length, so an oversized
    // one is recognised instead of being taken as a whole line.
    const ssize_t got = ::recv(m_fd, buffer.data(), buffer.size(), MSG_DONTWAIT | MSG_TRUNC);
    if (got >= 0) {
      const auto length = static_cast<std::size_t>(got);
      return Datagram{std::min(length, buffer.size()), length > buffer.size()};
    }
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) detail::throwErrno("recv");
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    detail::waitFor(m_fd, POLLIN, left, "poll");
  }
}

void UdpSocket::sendToLoopback(std::uint16_t port, std::string_view bytes) {
  if (m_fd < 0) throw std::system_error(EBADF, std::generic_category(), "sendto");
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  for (int attempt = 0;; ++attempt) {
    const ssize_t sent = ::sendto(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&where), sizeof where);
    if (sent >= 0) return;
    if (errno == EINTR) continue;
    if ((errno == EAGAIN || errno == EWOULDBLOCK) && attempt < 10) {
      pollfd entry{m_fd, POLLOUT, 0};
      ::poll(&entry, 1, 1000);
      continue;
    }
    detail::throwErrno("sendto");
  }
}

}  // namespace net
