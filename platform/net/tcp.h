// A tiny TCP layer over POSIX sockets: a listening socket, accept with a
// time-out, whole sends that never raise SIGPIPE, receives with a time-out,
// and a loopback connect for the client side (tests, the demo's RealTraffic).
//
// Every socket is owned by one object and closed by its destructor. Failures
// are thrown as std::system_error with the failing call's name and the
// system's text ("send: Broken pipe").
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace net {

// Where a listening socket accepts connections from.
enum class BindAddress {
  Loopback,  // 127.0.0.1: only programs on this computer
  Any,       // every interface
};

// A connected TCP socket. Move-only; closed when destroyed.
class TcpSocket {
 public:
  TcpSocket() noexcept = default;
  // Takes ownership of an open socket descriptor.
  explicit TcpSocket(int fd) noexcept : m_fd(fd) {}
  ~TcpSocket();
  TcpSocket(TcpSocket&& other) noexcept;
  TcpSocket& operator=(TcpSocket&& other) noexcept;
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  bool isOpen() const noexcept { return m_fd >= 0; }
  void close() noexcept;

  // Turns off Nagle's algorithm, so that short lines leave at once.
  void setNoDelay();

  // Sends every byte, looping over partial sends. A peer that has gone gives
  // an error instead of SIGPIPE. When the peer takes no byte for `stallLimit`
  // the send fails with ETIMEDOUT, so a stuck peer cannot hang the caller.
  void sendAll(std::string_view bytes, std::chrono::milliseconds stallLimit);

  // Waits at most `timeout` for bytes and reads up to buffer.size() of them.
  // Returns the count read, 0 when the peer has closed its side, or nothing
  // when the time ran out.
  std::optional<std::size_t> receive(std::span<char> buffer, std::chrono::milliseconds timeout);

  // Whether the peer has closed its side or the connection has failed, seen
  // without waiting and without taking any byte the peer sent before.
  bool peerHasClosed();

 private:
  int m_fd = -1;
};

// A listening TCP socket. Move-only; closed when destroyed.
class TcpListener {
 public:
  // Binds and listens; port 0 lets the system pick a free port. The address
  // may be reused at once after a previous listener on the same port closed
  // (its old connections may still linger in TIME_WAIT).
  explicit TcpListener(std::uint16_t port, BindAddress address = BindAddress::Loopback);
  ~TcpListener();
  TcpListener(TcpListener&& other) noexcept;
  TcpListener& operator=(TcpListener&& other) noexcept;
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  bool isOpen() const noexcept { return m_fd >= 0; }
  void close() noexcept;
  // The port it listens on (the chosen one when constructed with 0).
  std::uint16_t port() const noexcept { return m_port; }

  // Waits at most `timeout` for a connection and accepts it; a closed socket
  // (isOpen() false) when none came in time. Never blocks longer than that.
  TcpSocket accept(std::chrono::milliseconds timeout);

 private:
  int m_fd = -1;
  std::uint16_t m_port = 0;
};

// Connects to a port on 127.0.0.1.
TcpSocket connectLoopback(std::uint16_t port);

}  // namespace net
