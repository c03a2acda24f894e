// The TCP server that RealTraffic connects to, on the port of PORT_NUMBER.
//
// RealTraffic runs on the same PC when this link is used, so the server
// listens on the loopback address 127.0.0.1 only: nothing else on the network
// can connect to it or feed it.
//
// One server and at most one client per process. The calls may come from any
// thread; sends are serialised, so lines never interleave. Lock order: the
// send lock, then the link lock (a leaf lock held only to swap the sockets),
// then the log mutex.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string_view>

// Set while the RealTraffic client is connected.
extern std::atomic<bool> g_rtConnected;

// The port in a PORT_NUMBER text: a whole number from 1 to 65535, blanks
// around it allowed; nothing for any other text.
std::optional<std::uint16_t> gf_parsePortNumber(std::string_view text);

// Opens the server on the port of PORT_NUMBER (closing one that was open).
// A PORT_NUMBER that is not a port, or a port that cannot be listened on, is
// logged as an error line; the result is false then.
bool gf_openRtServer();
// Closes the client connection and the server; g_rtConnected is cleared.
void gf_closeRtServer();
bool gf_rtServerIsOpen();

// When no client is connected, waits until RealTraffic connects, sets
// TCP_NODELAY on the connection and g_rtConnected, and returns true; true at
// once when a client is connected already. Waits in short steps that watch
// g_stopRun and g_windowClosed, so a stop is never stuck here. Returns false
// when the server is not open, is closed meanwhile, fails, or a stop comes,
// logging "waitForClient interrupted: {}" with the reason.
bool waitForClient();

// Sends one text line (already ending in CR LF) to the connected client,
// whole. True on success. On failure (no client, the client has gone, or it
// took nothing for several seconds) logs "sendDataPacket to RealTraffic
// failed: {}", clears g_rtConnected, closes the client connection and
// returns false; the next waitForClient then waits for a new client.
bool sendDataPacket(std::string_view line);
