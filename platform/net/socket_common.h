// What the TCP and UDP sockets of this layer share: errors, closing, and
// binding to a port of the loopback or of every address.
#pragma once

#include <cstdint>

#include "platform/net/tcp.h"

namespace net::detail {

// Throws std::system_error with errno and the name of the failed call.
[[noreturn]] void throwErrno(const char* call);
// Closes the descriptor once; it becomes -1.
void closeFd(int& fd) noexcept;
// Binds the socket to the port (0: the system picks one) and returns the
// port it got. Throws std::system_error on failure.
std::uint16_t bindTo(int fd, std::uint16_t port, BindAddress address);

}  // namespace net::detail
