#include "feed/rt_server.h"

#include <charconv>
#include <chrono>
#include <exception>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>

#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "platform/net/tcp.h"

std::atomic<bool> g_rtConnected{false};

namespace {

using namespace std::chrono_literals;

// How often the wait for a client looks at the stop flags.
constexpr auto kAcceptStep = 100ms;
// How long a send waits for a client that takes no bytes before the link
// counts as lost. RealTraffic reads continuously; a full buffer for this long
// means it hangs, and the run thread must not hang with it.
constexpr auto kSendStallLimit = 5s;

// Serialises whole sends. Taken before g_linkMutex.
std::mutex g_sendMutex;
// Guards the two pointers below; a leaf lock, held only to copy or swap them.
// The sockets are shared so that closing the server while another thread is
// in accept or send never closes a descriptor under that call: the last user
// closes it.
std::mutex g_linkMutex;
std::shared_ptr<net::TcpListener> g_listener;
std::shared_ptr<net::TcpSocket> g_client;

// Forgets the client connection if it is still this one.
void lf_dropClient(const std::shared_ptr<net::TcpSocket>& client) {
  std::lock_guard lock(g_linkMutex);
  if (g_client == client) {
    g_client.reset();
    g_rtConnected.store(false);
  }
}

bool lf_stopPending() { return g_stopRun.load() || g_windowClosed.load(); }

}  // namespace

std::optional<std::uint16_t> gf_parsePortNumber(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
  unsigned long value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  if (value < 1 || value > 65535) return std::nullopt;
  return static_cast<std::uint16_t>(value);
}

bool gf_openRtServer() {
  gf_closeRtServer();
  const std::string portText = prm::PORT_NUMBER.value();
  const auto port = gf_parsePortNumber(portText);
  if (!port) {
    gf_logError("PORT_NUMBER '{}' is not a port number from 1 to 65535: the RealTraffic server is not opened",
                portText);
    return false;
  }
  try {
    auto listener = std::make_shared<net::TcpListener>(*port, net::BindAddress::Loopback);
    {
      std::lock_guard lock(g_linkMutex);
      g_listener = std::move(listener);
    }
    gf_logLine("RealTraffic server listening on 127.0.0.1:{}", *port);
    return true;
  } catch (const std::exception& e) {
    gf_logError("gf_openRtServer: cannot listen on 127.0.0.1:{}: {}", *port, e.what());
    return false;
  }
}

void gf_closeRtServer() {
  std::shared_ptr<net::TcpListener> listener;
  std::shared_ptr<net::TcpSocket> client;
  {
    std::lock_guard lock(g_linkMutex);
    listener = std::exchange(g_listener, nullptr);
    client = std::exchange(g_client, nullptr);
    g_rtConnected.store(false);
  }
  if (listener) gf_logLine("RealTraffic server closed");
  // Leaving scope drops our references; a send or accept still running on
  // another thread keeps its socket until it returns.
}

bool gf_rtServerIsOpen() {
  std::lock_guard lock(g_linkMutex);
  return g_listener != nullptr;
}

bool waitForClient() {
  std::shared_ptr<net::TcpListener> listener;
  {
    std::lock_guard lock(g_linkMutex);
    if (g_client) {
      g_rtConnected.store(true);
      return true;
    }
    listener = g_listener;
  }
  try {
    if (!listener) throw std::runtime_error("the RealTraffic server is not open");
    for (;;) {
      if (lf_stopPending()) {
        gf_logLine("waitForClient interrupted: {}", "the run is stopping");
        return false;
      }
      {
        std::lock_guard lock(g_linkMutex);
        if (g_listener != listener) throw std::runtime_error("the RealTraffic server was closed");
        if (g_client) {  // another thread took a client meanwhile
          g_rtConnected.store(true);
          return true;
        }
      }
      net::TcpSocket accepted = listener->accept(kAcceptStep);
      if (!accepted.isOpen()) continue;
      accepted.setNoDelay();
      {
        std::lock_guard lock(g_linkMutex);
        if (g_listener != listener) throw std::runtime_error("the RealTraffic server was closed");
        g_client = std::make_shared<net::TcpSocket>(std::move(accepted));
        g_rtConnected.store(true);
      }
      gf_logLine("RealTraffic connected");
      return true;
    }
  } catch (const std::exception& e) {
    gf_logError("waitForClient interrupted: {}", e.what());
    return false;
  }
}

bool sendDataPacket(std::string_view line) {
  std::lock_guard sendLock(g_sendMutex);
  std::shared_ptr<net::TcpSocket> client;
  {
    std::lock_guard lock(g_linkMutex);
    client = g_client;
  }
  try {
    if (!client) throw std::runtime_error("no RealTraffic client is connected");
    client->sendAll(line, kSendStallLimit);
    return true;
  } catch (const std::exception& e) {
    gf_logError("sendDataPacket to RealTraffic failed: {}", e.what());
    lf_dropClient(client);
    // `client` is now the last owner of the connection: it closes on return.
    return false;
  }
}
