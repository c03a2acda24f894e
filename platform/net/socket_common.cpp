#include "platform/net/socket_common.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <system_error>

namespace net::detail {
namespace {

int lf_pollTimeout(std::chrono::milliseconds timeout) {
  if (timeout.count() <= 0) return 0;
  if (timeout.count() > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
  return static_cast<int>(timeout.count());
}

}  // namespace

void throwErrno(const char* call) { throw std::system_error(errno, std::generic_category(), call); }

void closeFd(int& fd) noexcept {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

bool waitFor(int fd, short events, std::chrono::milliseconds timeout, const char* call) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    pollfd entry{fd, events, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    const int n = ::poll(&entry, 1, lf_pollTimeout(left));
    if (n > 0) return true;  // ready, or an error/hang-up the next call reports
    if (n == 0) return false;
    if (errno != EINTR) throwErrno(call);
  }
}

std::uint16_t bindTo(int fd, std::uint16_t port, BindAddress address) {
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(port);
  where.sin_addr.s_addr = htonl(address == BindAddress::Loopback ? INADDR_LOOPBACK : INADDR_ANY);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) throwErrno("bind");
  sockaddr_in bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length) != 0) throwErrno("getsockname");
  return ntohs(bound.sin_port);
}

}  // namespace net::detail
