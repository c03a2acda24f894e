// What the TCP and UDP sockets of this layer share: errors, closing, waiting,
// and binding to a port of the loopback or of every address.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/net/tcp.h"

namespace net::detail {

// Throws std::system_error with errno and the name of the failed call.
[[noreturn]] void throwErrno(const char* call);
// Closes the descriptor once; it becomes -1.
void closeFd(int& fd) noexcept;
// Waits for the poll events on one descriptor; false when the time ran out.
// Interrupted waits are resumed with the time that is left; a failed wait
// throws std::system_error named after `call`.
bool waitFor(int fd, short events, std::chrono::milliseconds timeout, const char* call);
// Binds the socket to the port (0: the system picks one) and returns the
// port it got. Throws std::system_error on failure.
std::uint16_t bindTo(int fd, std::uint16_t port, BindAddress address);

}  // namespace net::detail
