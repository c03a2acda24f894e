// The simulated simulator: the flight simulator's side of the client library
// (simconnect.h), in the same process. It keeps the user aircraft, the AI
// objects that clients create, move, light and remove, and the flight's
// state; while a client is connected it runs frames on a thread of its own
// and sends each connection its events and the data it asked for.
//
// Tests and the demo script it: they place the user aircraft on a stand,
// taxi it away, fly it out of sight, start and stop the flight, and list the
// AI objects (position, livery title, lights).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/simconnect/simconnect.h"

namespace simsim {

// The length of a simulated second in milliseconds (tests shorten it). The
// simulator sends its once-a-second data at this pace and its frames at
// least four times as often (every 20 ms at most).
extern std::atomic<int> g_secondMs;

// The user aircraft as the simulator keeps it.
struct UserAircraft {
  double latitude = 46.0;  // degrees
  double longitude = -30.0;
  double pitch = 0.0;  // degrees
  double bank = 0.0;
  double heading = 90.0;  // degrees true
  double altitude = 10000.0;            // feet above sea level
  double altitudeAboveGround = 10000.0;  // feet
  double groundVelocity = 250.0;         // knots
  bool onGround = false;
  std::uint32_t lightStates = 0;  // light bits as "LIGHT STATES" reports them
  std::string title = "Simulated Airliner";
};

// Light bits of AI objects (and of "LIGHT STATES").
inline constexpr std::uint32_t kLightNav = 1;
inline constexpr std::uint32_t kLightBeacon = 2;
inline constexpr std::uint32_t kLightLanding = 4;
inline constexpr std::uint32_t kLightTaxi = 8;
inline constexpr std::uint32_t kLightStrobe = 16;

// One AI object in the simulator.
struct AiObject {
  simconnect::ObjectId objectId = 0;
  std::string title;       // the livery (container) title it was created with
  std::string tailNumber;  // its ATC id (the callsign the client gave)
  double latitude = 0.0;   // degrees
  double longitude = 0.0;
  double altitude = 0.0;  // feet
  double pitch = 0.0;     // degrees
  double bank = 0.0;
  double heading = 0.0;  // degrees true
  bool onGround = true;
  bool aiReleased = false;  // the client took it over from the simulator's AI
  bool frozenPosition = false;
  bool frozenAltitude = false;
  bool frozenAttitude = false;
  std::uint32_t lights = 0;  // kLight... bits
};

class World {
 public:
  // --- The user aircraft ---
  void setUserAircraft(const UserAircraft& aircraft);
  UserAircraft userAircraft() const;
  // Standing still on the ground at a position (a stand), the ground at an
  // elevation (feet above sea level).
  void placeUserOnGround(double latitude, double longitude, double headingDegrees, double groundFeet = 0.0);
  // Rolling on the ground at a speed, the ground where it was.
  void taxiUser(double latitude, double longitude, double speedKnots);
  // In the air at a height above the ground.
  void flyUser(double latitude, double longitude, double heightAboveGroundFeet, double speedKnots);

  // --- The flight ---
  // A running flight ("SimStart") or none ("SimStop"); a new world runs one.
  void setFlightRunning(bool running);
  bool flightRunning() const;
  // A flight (re)loaded: "FlightLoaded" with the file name.
  void loadFlight(const std::string& fileName);
  // The simulator closes: every connection gets "Quit" and new connections
  // are refused until reset().
  void quit();
  // The simulator's UTC time in seconds since 1970; it advances one second
  // per simulated second. A new world starts at the system's time.
  void setZuluTime(std::int64_t epochSeconds);
  std::int64_t zuluTime() const;

  // --- AI objects ---
  // The container titles the simulator can create; a creation with another
  // title fails. Without a set (the default) every non-empty title is known.
  void setInstalledTitles(std::optional<std::set<std::string>> titles);
  std::vector<AiObject> aiObjects() const;
  std::optional<AiObject> aiObject(simconnect::ObjectId objectId) const;
  // Creations refused so far (unknown title).
  std::int64_t refusedCreations() const;

  // --- Connections ---
  std::int32_t openConnections() const;
  // Connections opened since the last reset.
  std::int32_t connectionsOpened() const;

  // Back to a new world: no AI objects, a running flight, the user aircraft
  // in the air far from any airport, every title known. Open connections
  // are closed by their clients, not here.
  void reset();
};

World& world();

}  // namespace simsim
