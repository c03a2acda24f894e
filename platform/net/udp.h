// UDP over POSIX sockets: a receiving socket bound to a port, receives with a
// time-out that report a datagram larger than the buffer, and a loopback
// sender (tests, the demo's RealTraffic).
//
// Failures are thrown as std::system_error with the failing call's name.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "platform/net/tcp.h"

namespace net {

// One datagram taken by UdpSocket::receive.
struct Datagram {
  std::size_t size = 0;    // bytes stored in the buffer
  bool truncated = false;  // the datagram was larger than the buffer; the rest is lost
};

// A UDP socket. Move-only; closed when destroyed.
class UdpSocket {
 public:
  // An unbound socket for sending.
  UdpSocket();
  // Bound to a port for receiving; port 0 lets the system pick a free one.
  // Any: datagrams from the network too (broadcasts of another PC).
  UdpSocket(std::uint16_t port, BindAddress address);
  ~UdpSocket();
  UdpSocket(UdpSocket&& other) noexcept;
  UdpSocket& operator=(UdpSocket&& other) noexcept;
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool isOpen() const noexcept { return m_fd >= 0; }
  void close() noexcept;
  // The bound port (the chosen one when bound to 0); 0 when unbound.
  std::uint16_t port() const noexcept { return m_port; }

  // Waits at most `timeout` for one datagram and stores up to buffer.size()
  // bytes of it; nothing when the time ran out.
  std::optional<Datagram> receive(std::span<char> buffer, std::chrono::milliseconds timeout);

  // Sends one datagram to a port on 127.0.0.1.
  void sendToLoopback(std::uint16_t port, std::string_view bytes);

 private:
  int m_fd = -1;
  std::uint16_t m_port = 0;
};

}  // namespace net
