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
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/log.h"

// The group of the bounded log lines about the link (its connections,
// handshakes, failed sends, losses and returns): they stay in the order they
// happened, so the last of them tells the link's last state.
inline constexpr LogGroup kRtLinkLogGroup{1};

// Set while the RealTraffic client is connected.
extern std::atomic<bool> g_rtConnected;
// RealTraffic reported its professional level in the handshake: the
// simulator's time is sent to it too.
extern std::atomic<bool> g_rtProfessional;

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
// logging "waitForClient interrupted: {}" with the reason. With `within`, it
// waits at most that long and returns false quietly when no client came: the
// main loop asks again at its next position report instead of stopping.
bool waitForClient(std::optional<std::chrono::milliseconds> within = std::nullopt);

// The most bytes that one sendDataPacket or handshake step reads of what
// the client sent: a client that sends without pause or without a line end
// cannot hold the calling thread; the rest is read by the next calls.
inline constexpr std::size_t kRtMaxInputPerCall = 16384;

// The bytes taken from RealTraffic clients so far.
std::uint64_t gf_rtInputBytesTaken();

// Sends one text line (already ending in CR LF) to the connected client,
// whole. True on success. Before the line goes out, what the client sent is
// read (at most kRtMaxInputPerCall bytes; a "Qs999=" line is answered; a
// line longer than 4096 bytes is dropped whole), a client that has closed the
// connection counts as gone, and a connection waiting in the backlog takes
// the place of a client that has never sent anything. On failure (no client,
// the client has gone, or it took nothing for several seconds) logs "sendDataPacket to RealTraffic
// failed: {}" (in bounded number), clears g_rtConnected, closes the client
// connection and returns false; the next waitForClient then waits for a new
// client.
bool sendDataPacket(std::string_view line);

// The handshake after RealTraffic connected: waits up to `timeout` for its
// "Qs999=" line and answers it with a JSON object naming this program and
// its version. What follows the '=' may be a JSON object with RealTraffic's
// "version" and "level" (a text, or a number where 2 is the professional
// level): they become the RealTraffic text of the header and
// g_rtProfessional (a line without them keeps what the connection said
// before). A "Qs999=" line that comes later (after a re-connect) is answered
// by the next sendDataPacket; every one is answered, and logged in bounded
// number. False, logged as "RealTraffic
// handshake failed: {}", when no line came in time, the client left or a
// stop came.
bool gf_rtHandshake(std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The start of a run: nothing is known of RealTraffic yet (g_rtProfessional
// cleared, the header's RealTraffic text empty) until its handshake.
void gf_resetRtLinkForRun();

// The last line of a run: "exit" to RealTraffic while it is connected.
void gf_sendExitToRT();
