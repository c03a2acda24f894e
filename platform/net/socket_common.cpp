#include "platform/net/socket_common.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace net::detail {

void throwErrno(const char* call) { throw std::system_error(errno, std::generic_category(), call); }

void closeFd(int& fd) noexcept {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
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
