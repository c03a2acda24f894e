// The simulator link: the SimClient thread that talks to the simulator through
// its client library (platform/simconnect/simconnect.h), the user aircraft's
// state it keeps, and the queues through which the traffic thread creates,
// lights and removes AI objects and learns what became of them.
//
// Locks, in the order they are taken:
//   1. the event mutex (inside gf_pushSimEvent / gf_takeSimEvents; leaf);
//   2. g_simConnectMutex: the command queues below and every call into the
//      client library made outside the SimClient thread; the SimClient thread
//      only try-locks it at each frame;
//   3. the log mutex (always last).
// The user aircraft values and the stand snapshot have leaf locks of their own.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/geo.h"
#include "traffic/aircraft.h"

// A value shared between threads, always read and written whole.
template <typename T>
class SharedValue {
 public:
  T get() const {
    std::lock_guard lock(m_mutex);
    return m_value;
  }
  void set(const T& value) {
    std::lock_guard lock(m_mutex);
    m_value = value;
  }

 private:
  mutable std::mutex m_mutex;  // leaf lock
  T m_value{};
};

// The last data of the user aircraft (data definition 403).
struct UserAircraftData {
  double latitude = 0.0;             // degrees
  double longitude = 0.0;            // degrees
  double pitch = 0.0;                // radians
  double bank = 0.0;                 // radians
  double heading = 0.0;              // radians, true
  double altitude = 0.0;             // feet
  double altitudeAboveGround = 0.0;  // feet
  double groundVelocity = 0.0;       // knots
  double zuluTime = 0.0;             // seconds since midnight UTC
  std::int32_t dayOfYear = 0;        // 1..366
  std::int32_t year = 0;
  std::uint32_t lightStates = 0;
};

// The once-a-second on-ground value and whether it is valid (it arrived
// while a flight runs; cleared when the flight stops or the link closes).
struct OnGroundReading {
  bool onGround = false;
  bool valid = false;
};

extern SharedValue<UserAircraftData> g_userAircraft;
extern SharedValue<OnGroundReading> g_userOnGround;
// The user aircraft's position (0/0 until the simulator sent it).
LatLon gf_userPosition();

// The simulator reports a running flight.
extern std::atomic<bool> g_simRunning;
// The link is open.
extern std::atomic<bool> g_simConnected;
// A SimConnect error is pending: the queues are cleared instead of sent.
extern std::atomic<bool> g_simConnectError;

// ---------------------------------------------------------------- commands
// Client event ids of the link.
inline constexpr std::uint32_t kEventFreezeLatLon = 201;
inline constexpr std::uint32_t kEventFreezeAltitude = 202;
inline constexpr std::uint32_t kEventFreezeAttitude = 203;
inline constexpr std::uint32_t kEventNavLights = 207;  // data 1 on, 0 off

// One client event for an AI object.
struct ObjectCommand {
  std::uint32_t objectId = 0;
  std::uint32_t eventId = 0;
  std::uint32_t data = 0;
};

extern std::mutex g_simConnectMutex;
// Guarded by g_simConnectMutex; the SimClient thread sends them at the next frame.
extern std::deque<AddRequest> g_simCreateQueue;
extern std::deque<std::uint32_t> g_simRemoveQueue;  // object ids
extern std::deque<ObjectCommand> g_objectCommands;

// Appends a client event to the command queue; the caller holds g_simConnectMutex.
void gf_pushObjectCommand(const ObjectCommand& command);

// ---------------------------------------------------------------- events
enum class SimEventKind : std::int32_t {
  LiveCreated = 0,
  StaticCreated = 1,
  Removed = 2,
  GroundData = 3,
  StaticCgData = 4,
  CreateFailed = 5,
};

// One object event from the link to the traffic thread.
struct SimEvent {
  std::uint32_t objectId = 0;
  std::uint32_t hexid = 0;
  SimEventKind kind = SimEventKind::Removed;
  double value1 = 0.0;
  double value2 = 0.0;
};

// Hexids up to this one are statics; their creation is a static-created event.
inline constexpr std::uint32_t kStaticHexidLimit = 10000;

void gf_pushSimEvent(const SimEvent& event);
// Takes every queued event, oldest first.
std::vector<SimEvent> gf_takeSimEvents();

// ---------------------------------------------------------------- the thread
// Starts the SimClient thread (a running one is stopped first). It connects,
// retrying every 500 ms until the simulator answers or it is stopped.
void gf_startSimClient();
// Asks the thread to stop and joins it; the user's stand is remembered on
// the way out. Safe to call when none runs.
void gf_stopSimClient();

// ---------------------------------------------------------------- the user's stand
// The run thread publishes the park airport's stands (names and positions)
// for the link's thread: the link finds the user's stand on this copy and
// never reads the stand list that the run thread may be replacing. Cheap
// when nothing changed; run thread only.
void gf_publishStandSnapshot();
// The user's stand on the published stands; empty when on none.
std::string gf_userStandOnSnapshot(const LatLon& position);

// At a flight reload and when the link stops: when the on-ground value is
// valid and the speed at most 2 knots, hands the name of the park airport's
// stand the user stands on (empty on none) over to the run thread
// (gf_requestReservedStand), which makes it the park airport's reserved
// stand in the park airports list.
void lf_rememberUserStand();

// Tests: everything back to the state of a fresh process.
void gf_resetSimLinkForTests();
void lf_resetUserStandForTests();
