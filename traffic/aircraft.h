// The aircraft records of the live traffic engine: the identity every aircraft
// shares, the static parked aircraft, the live aircraft, the creation requests
// for the simulator, and the engine's process-wide lists and counters.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "aircraftdata/size_class.h"
#include "airports/stands.h"

// The eight identity texts of an aircraft, in this order.
struct LiveAcData {
  std::string airline;          // operator code (ICAO airline code)
  std::string type;             // ICAO type designator
  std::string origin;           // ICAO code of the origin airport, may be empty
  std::string destination;      // ICAO code of the destination airport, may be empty
  std::string callsign;         // the callsign shown in the simulator
  std::string sourceCallsign;   // statics: the callsign of the learned option
  std::string sourceCallsign2;  // statics: the second callsign of the learned option
  std::string registration;
};

// An aircraft's relation to the simulator (values 0 to 4).
enum class SimState : std::int32_t {
  buffer = 0,
  adding2sim = 1,
  active = 2,
  liveryrespawn = 3,
  removingfromsim = 4,
};

// Where a live aircraft is in its movement (values 0 to 7).
enum class FlightPhase : std::int32_t {
  pushing_back = 0,
  pushed_back = 1,
  taxi = 2,
  take_off = 3,
  flying = 4,
  parking = 5,
  parked = 6,
  birth = 7,
};

// An aircraft as the engine, the livery matching and the static parking see
// it. The constructor from the identity texts (traffic/identity.cpp) fills the
// wingspan, the size class and the per-class motion constants.
struct AircraftIdentity : LiveAcData {
  AircraftIdentity() = default;
  explicit AircraftIdentity(LiveAcData&& texts);

  double halfWingspan = 0.0;    // nautical miles
  double staticCgHeight = 0.0;  // feet
  double groundPitch = 0.0;     // radians
  // The size class's motion angles (radians): the first two varied per
  // aircraft by 2.5 % and 5 %, the third taken as it is.
  double classAngle1 = 0.0;
  double classAngle2 = 0.0;
  double classAngle3 = 0.0;
  std::uint32_t hexid = 0;  // statics 0..9999, live aircraft above 10000
  SizeClass sizeClass = SizeClass::Large;
  std::string liveryTitle;  // the livery chosen by the livery matching
  // The size class's motion values.
  std::uint32_t classValue1 = 0;
  std::uint32_t classValue2 = 0;
  std::uint32_t classValue3 = 0;
  std::uint32_t classValue4 = 0;
  std::uint8_t cargo = 0;  // 1 for a cargo aircraft
};

// A static parked aircraft placed by the static parking.
struct ParkedAircraft {
  // Object id 0, "buffer", removal flags cleared; the cargo flag goes into
  // the identity (a static on a cargo stand is a cargo aircraft).
  ParkedAircraft(AircraftIdentity&& identity, std::uint32_t standId, const StandPosition& position,
                 std::uint8_t cargo);

  AircraftIdentity identity;
  std::uint32_t objectId = 0;  // the simulator's object id; 0 until created
  double latitude = 0.0;       // degrees
  double longitude = 0.0;      // degrees
  double heading = 0.0;        // radians
  DaySlot parkingStart{};      // the half hour the aircraft arrived on its stand
  std::uint32_t standId = 0;   // 0: on no stand
  SimState simState = SimState::buffer;
  std::uint8_t removeOnceCreated = 0;  // the creation is under way; remove it when it arrives
  std::uint8_t erase = 0;              // take it off its list
};

// The aircraft's position and attitude as last sent to the simulator.
struct AircraftPosition {
  double latitude = 0.0;       // degrees
  double longitude = 0.0;      // degrees
  double pitch = 0.0;          // radians
  double bank = 0.0;           // radians
  double heading = 0.0;        // radians
  double altitude = 0.0;       // feet
  double verticalSpeed = 0.0;  // feet per second
  double trueAirspeed = 0.0;   // knots
};

// One position report of the traffic feed, kept until the motion has used it.
struct ReceivedPosition {
  double latitude = 0.0;     // degrees
  double longitude = 0.0;    // degrees
  double altitude = 0.0;     // feet
  double groundSpeed = 0.0;  // knots
  double track = 0.0;        // radians
  double heading = 0.0;      // radians
  double timestamp = 0.0;    // seconds since 1970
  bool onGround = false;
};

// A live aircraft of the traffic feed.
struct LiveAircraft : ParkedAircraft {
  // On no stand, "buffer", in its "birth" phase.
  explicit LiveAircraft(AircraftIdentity&& identity);

  AircraftPosition position;               // the current position block
  std::deque<ReceivedPosition> received;   // reports not yet used, oldest first
  FlightPhase flightPhase = FlightPhase::birth;
  bool onGroundConfirmed = false;          // the feed and the motion agree it is on the ground
  std::int64_t parkedSinceSeconds = 0;     // UTC seconds when it reached "parked"; 0 when not parked
};

// One creation of an AI object, from the engine to the simulator link.
struct AddRequest {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double altitude = 0.0;   // feet
  double pitch = 0.0;      // degrees
  double bank = 0.0;       // degrees
  double heading = 0.0;    // degrees
  bool onGround = true;
  std::string callsign;
  std::string liveryTitle;
  std::uint32_t hexid = 0;
};

// The lists below belong to the traffic thread (the run thread's main loop).
extern std::vector<LiveAircraft> g_liveAircraft;
extern std::vector<ParkedAircraft> g_staticAircraft;
// Creation requests of statics; the traffic tick releases one every 50 ticks.
extern std::deque<AddRequest> g_staticAddRequests;

// The live-aircraft maximum in force, a copy of MAX_LIVE_SEL (-1: no maximum);
// written from the window, read by the traffic thread.
extern std::atomic<std::int32_t> g_maxLive;
// Learned changes of stand use since the park airport was last saved.
extern std::atomic<std::uint32_t> g_learnedUpdates;

// Display values of the main window: the number of statics wanted and its
// percentage of the stands, written by lf_wantedStaticCount on the run thread
// and read by the window when it paints.
extern std::atomic<std::int32_t> g_windowWantedStatics;
extern std::atomic<std::int32_t> g_windowWantedPercent;
