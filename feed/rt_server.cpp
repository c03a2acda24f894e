#include "feed/rt_server.h"

#include <charconv>
#include <algorithm>
#include <chrono>
#include <optional>
#include <exception>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "app/log.h"
#include "app/text.h"
#include "app/version.h"
#include "feed/feed_state.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "platform/net/tcp.h"

#include <nlohmann/json.hpp>

std::atomic<bool> g_rtConnected{false};
std::atomic<bool> g_rtProfessional{false};

namespace {

using namespace std::chrono_literals;

// How often the wait for a client looks at the stop flags.
constexpr auto kAcceptStep = 100ms;
// How long a send waits for a client that takes no bytes before the link
// counts as lost. RealTraffic reads continuously; a full buffer for this long
// means it hangs, and the run thread must not hang with it.
constexpr auto kSendStallLimit = 5s;
// How often the handshake looks for RealTraffic's line.
constexpr auto kHandshakeStep = 50ms;
// The longest line taken from RealTraffic.
constexpr std::size_t kMaxInputLine = 4096;
static_assert(kRtMaxInputPerCall >= kMaxInputLine);
// Connections taken from the backlog before one send, at most.
constexpr int kMaxNewcomersPerSend = 64;
// Lines that a client's input or its connections cause: the first few of
// each kind in a run, then one a minute with a count.
BoundedLogLines g_handshakeLines{kRtLinkLogGroup};
BoundedLogLines g_connectedLines{kRtLinkLogGroup};
BoundedLogLines g_refusedLines{kRtLinkLogGroup};
BoundedLogLines g_replacedLines{kRtLinkLogGroup};
BoundedLogLines g_sendFailedLines{kRtLinkLogGroup};

// Serialises whole sends. Taken before g_linkMutex.
std::mutex g_sendMutex;
// Guards the two pointers below; a leaf lock, held only to copy or swap them.
// The sockets are shared so that closing the server while another thread is
// in accept or send never closes a descriptor under that call: the last user
// closes it.
std::mutex g_linkMutex;
std::shared_ptr<net::TcpListener> g_listener;

// The connected client. Its members other than the socket are touched only
// under g_sendMutex.
struct RtClient {
  explicit RtClient(net::TcpSocket s) : socket(std::move(s)) {}
  net::TcpSocket socket;
  bool heard = false;     // it has sent us something: a RealTraffic, not a stray connection
  std::string input;      // the start of a line not yet complete
  bool skipping = false;  // the line being received was too long: dropped up to its end
  // What its handshake lines said of RealTraffic's version and level.
  std::string version;
  std::string level;
  bool professional = false;
};
std::shared_ptr<RtClient> g_client;

// Every byte taken from a client so far (gf_rtInputBytesTaken).
std::atomic<std::uint64_t> g_inputBytesTaken{0};

// The client connection now, if any; the caller's copy keeps it open.
std::shared_ptr<RtClient> lf_currentClient() {
  std::lock_guard lock(g_linkMutex);
  return g_client;
}

// Forgets the client connection if it is still this one.
void lf_dropClient(const std::shared_ptr<RtClient>& client) {
  std::lock_guard lock(g_linkMutex);
  if (g_client == client) {
    g_client.reset();
    g_rtConnected.store(false);
  }
}

bool lf_stopPending() { return g_stopRun.load() || g_windowClosed.load(); }

// The answer to RealTraffic's "Qs999=" line: who we are, as a JSON object.
std::string lf_handshakeAnswer() {
  const nlohmann::json answer = {{"name", std::string(kProgramName)}, {"version", gf_programVersion().text()}};
  return answer.dump() + "\r\n";
}

// RealTraffic's "Qs999=" line: what follows the '=' may be a JSON object with
// its "version" and "level"; the header shows them, and the professional
// level switches the simulator time on. A line that says neither leaves what
// an earlier line of the same connection said; the header and the level
// change only when what they show changes.
void lf_takeRealTrafficVersion(RtClient& client, std::string_view value) {
  const auto info = nlohmann::json::parse(value, nullptr, /*allow_exceptions=*/false);
  if (info.is_object()) {
    if (const auto v = info.find("version"); v != info.end())
      client.version = (v->is_string() ? v->get<std::string>() : v->dump()).substr(0, 40);
    if (const auto l = info.find("level"); l != info.end()) {
      if (l->is_string()) {
        const std::string level = l->get<std::string>();
        client.professional = gf_toLower(level).find("pro") != std::string::npos;
        client.level = level.substr(0, 20);
      } else if (l->is_number()) {
        client.professional = l->get<double>() >= 2.0;
        client.level = client.professional ? "professional" : "standard";
      }
    }
  }
  std::string text = "RealTraffic";
  if (!client.version.empty()) text += " " + client.version;
  if (!client.level.empty()) text += " (" + client.level + ")";
  g_rtProfessional.store(client.professional);
  if (gf_realTrafficText() != text) gf_setRealTrafficText(text);
  gf_logBounded(g_handshakeLines, gf_logText, "{} connected, simulator time {}", text,
                client.professional ? "sent" : "not sent");
}

// Reads what the client has sent so far, at most kRtMaxInputPerCall bytes
// and without waiting, so that a client that sends without end cannot hold
// the caller (the rest waits in the socket for the next call); answers a
// "Qs999=" line. Throws when the client has closed the connection. True when
// a handshake line was answered.
bool lf_serviceInput(RtClient& client) {
  bool answered = false;
  char buffer[4096];
  for (std::size_t taken = 0; taken < kRtMaxInputPerCall;) {
    const std::size_t room = std::min(sizeof buffer, kRtMaxInputPerCall - taken);
    const auto got = client.socket.receive(std::span<char>(buffer, room), std::chrono::milliseconds(0));
    if (!got) break;  // nothing more for now
    if (*got == 0) throw std::runtime_error("RealTraffic has closed the connection");
    taken += *got;
    g_inputBytesTaken.fetch_add(*got);
    client.heard = true;
    std::string_view received(buffer, *got);
    if (client.skipping) {
      const std::size_t end = received.find('\n');
      if (end == std::string_view::npos) continue;
      received.remove_prefix(end + 1);
      client.skipping = false;
    }
    client.input.append(received);
    for (std::size_t end; (end = client.input.find('\n')) != std::string::npos;) {
      std::string_view lineText(client.input.data(), end);
      if (!lineText.empty() && lineText.back() == '\r') lineText.remove_suffix(1);
      if (lineText.starts_with("Qs999=")) {
        lf_takeRealTrafficVersion(client, lineText.substr(6));
        client.socket.sendAll(lf_handshakeAnswer(), kSendStallLimit);
        answered = true;
      }
      client.input.erase(0, end + 1);
    }
    // A line that never ends is not kept without bound, and its rest is
    // not taken for a line of its own.
    if (client.input.size() > kMaxInputLine) {
      client.input.clear();
      client.skipping = true;
    }
  }
  return answered;
}

// A connection waiting in the backlog while a client is connected: one that
// was closed already is passed over; a live one takes the place of a client
// that has never sent us anything (a stray or stuck connection must not hold
// the link against RealTraffic); else it is refused.
void lf_takeNewcomer() {
  std::shared_ptr<net::TcpListener> listener;
  std::shared_ptr<RtClient> current;
  {
    std::lock_guard lock(g_linkMutex);
    listener = g_listener;
    current = g_client;
  }
  if (!listener || !current) return;  // without a client, waitForClient takes the next one
  for (int i = 0; i < kMaxNewcomersPerSend; ++i) {
    net::TcpSocket newcomer;
    try {
      newcomer = listener->accept(std::chrono::milliseconds(0));
    } catch (const std::exception&) {
      return;  // the listener's trouble shows in the next waitForClient
    }
    if (!newcomer.isOpen()) return;
    if (newcomer.peerHasClosed()) continue;
    if (current->heard) {
      gf_logBounded(g_refusedLines, gf_logText,
                    "A second connection to the RealTraffic port was refused: RealTraffic is connected");
      continue;  // closed when it leaves scope
    }
    try {
      newcomer.setNoDelay();
    } catch (const std::exception&) {
      continue;
    }
    auto replacement = std::make_shared<RtClient>(std::move(newcomer));
    {
      std::lock_guard lock(g_linkMutex);
      if (g_client != current) return;  // closed meanwhile
      g_client = replacement;
    }
    gf_logBounded(g_replacedLines, gf_logText,
                  "RealTraffic connected again: a new connection replaces a silent one");
    current = std::move(replacement);
  }
}

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
  std::shared_ptr<RtClient> client;
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

bool waitForClient(std::optional<std::chrono::milliseconds> within) {
  const auto deadline = within ? std::chrono::steady_clock::now() + *within : std::chrono::steady_clock::time_point::max();
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
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      net::TcpSocket accepted = listener->accept(std::clamp(left, 0ms, std::chrono::milliseconds(kAcceptStep)));
      if (!accepted.isOpen()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;  // not yet: the caller asks again
        continue;
      }
      // Connections that were closed while they waited in the backlog are
      // passed over at once, so the real client behind them is not kept waiting.
      if (accepted.peerHasClosed()) continue;
      accepted.setNoDelay();
      {
        std::lock_guard lock(g_linkMutex);
        if (g_listener != listener) throw std::runtime_error("the RealTraffic server was closed");
        g_client = std::make_shared<RtClient>(std::move(accepted));
        g_rtConnected.store(true);
      }
      gf_logBounded(g_connectedLines, gf_logText, "RealTraffic connected");
      return true;
    }
  } catch (const std::exception& e) {
    gf_logError("waitForClient interrupted: {}", e.what());
    return false;
  }
}

bool sendDataPacket(std::string_view line) {
  std::lock_guard sendLock(g_sendMutex);
  lf_takeNewcomer();
  const std::shared_ptr<RtClient> client = lf_currentClient();
  try {
    if (!client) throw std::runtime_error("no RealTraffic client is connected");
    // A peer that has closed is noticed here, before the line goes into a
    // send buffer that nobody reads.
    lf_serviceInput(*client);
    client->socket.sendAll(line, kSendStallLimit);
    return true;
  } catch (const std::exception& e) {
    gf_logBounded(g_sendFailedLines, gf_logErrorText, "sendDataPacket to RealTraffic failed: {}", e.what());
    lf_dropClient(client);
    // `client` is now the last owner of the connection: it closes on return.
    return false;
  }
}

bool gf_rtHandshake(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  try {
    for (;;) {
      {
        std::lock_guard sendLock(g_sendMutex);
        const std::shared_ptr<RtClient> client = lf_currentClient();
        if (!client) throw std::runtime_error("no RealTraffic client is connected");
        try {
          if (lf_serviceInput(*client)) return true;
        } catch (...) {
          lf_dropClient(client);
          throw;
        }
      }
      if (lf_stopPending()) throw std::runtime_error("the run is stopping");
      if (std::chrono::steady_clock::now() >= deadline) throw std::runtime_error("no answer from RealTraffic");
      std::this_thread::sleep_for(kHandshakeStep);
    }
  } catch (const std::exception& e) {
    gf_logError("RealTraffic handshake failed: {}", e.what());
    return false;
  }
}

std::uint64_t gf_rtInputBytesTaken() { return g_inputBytesTaken.load(); }

void gf_resetRtLinkForRun() {
  g_rtProfessional.store(false);
  gf_setRealTrafficText("");
}

void gf_sendExitToRT() {
  if (g_rtConnected.load()) sendDataPacket("exit\r\n");
}
