// The SimClient thread: its connection, data definitions, frame loop and the
// dispatch of what the simulator sends.

#include <chrono>
#include <cstring>
#include <exception>
#include <map>
#include <thread>

#include <fmt/format.h>

#include "app/clock.h"
#include "app/log.h"
#include "app/runstate.h"
#include "feed/rt_server.h"
#include "platform/simconnect/simconnect.h"
#include "platform/win32/kernel.h"
#include "simlink/sim_link.h"
#include "ui/display_state.h"
#include "ui/window_setters.h"

using namespace simconnect;

SharedValue<UserAircraftData> g_userAircraft;
SharedValue<OnGroundReading> g_userOnGround;
std::atomic<bool> g_simRunning{false};
std::atomic<bool> g_simConnected{false};
std::atomic<bool> g_simConnectError{false};

std::mutex g_simConnectMutex;
std::deque<AddRequest> g_simCreateQueue;
std::deque<std::uint32_t> g_simRemoveQueue;
std::deque<ObjectCommand> g_objectCommands;

namespace {

using namespace std::chrono_literals;

// Data definitions and requests of the link (the request id is the definition id).
constexpr DefineId kDefUserAircraft = 403;
constexpr DefineId kDefUserOnGround = 404;
constexpr DefineId kDefUserTitle = 405;

// System events.
enum : EventId {
  kSysSimStart = 1,
  kSysSimStop = 2,
  kSysFrame = 3,
  kSysFlightLoaded = 4,
  kSysObjectAdded = 5,
  kSysObjectRemoved = 6,
};

// Creation requests are numbered from here.
constexpr RequestId kFirstCreateRequest = 1000;

// The event queue and its mutex (taken before g_simConnectMutex when both are needed).
std::mutex g_eventMutex;
std::vector<SimEvent> g_eventQueue;

// A creation sent to the simulator and not yet paired with its object.
struct PendingCreate {
  std::uint32_t packetId = 0;
  std::uint32_t hexid = 0;
  std::string callsign;
};

// The thread and what only it touches.
struct Client {
  std::jthread thread;
  Handle handle = nullptr;
  std::map<RequestId, PendingCreate> pending;  // by creation request id
  RequestId nextRequest = kFirstCreateRequest;
  bool quit = false;
};

Client& lf_client() {
  static Client client;
  return client;
}

// Serialises starting and stopping the thread.
std::mutex g_startStopMutex;

template <typename T>
T lf_read(const std::uint8_t*& p) {
  T value;
  std::memcpy(&value, p, sizeof value);
  p += sizeof value;
  return value;
}

void lf_define(Handle h, DefineId def, const char* datum, const char* units, DataType type = DataType::Float64) {
  if (!succeeded(SimConnect_AddToDataDefinition(h, def, datum, units, type)))
    gf_logError("SimConnect_AddToDataDefinition {} failed", datum);
}

void lf_setUp(Handle h) {
  lf_define(h, kDefUserAircraft, "PLANE LATITUDE", "degrees");
  lf_define(h, kDefUserAircraft, "PLANE LONGITUDE", "degrees");
  lf_define(h, kDefUserAircraft, "PLANE PITCH DEGREES", "radians");
  lf_define(h, kDefUserAircraft, "PLANE BANK DEGREES", "radians");
  lf_define(h, kDefUserAircraft, "PLANE HEADING DEGREES TRUE", "radians");
  lf_define(h, kDefUserAircraft, "PLANE ALTITUDE", "feet");
  lf_define(h, kDefUserAircraft, "PLANE ALT ABOVE GROUND", "feet");
  lf_define(h, kDefUserAircraft, "GROUND VELOCITY", "knots");
  lf_define(h, kDefUserAircraft, "ZULU TIME", "seconds");
  lf_define(h, kDefUserAircraft, "ZULU DAY OF YEAR", "number");
  lf_define(h, kDefUserAircraft, "ZULU YEAR", "number");
  lf_define(h, kDefUserAircraft, "LIGHT STATES", "mask");
  lf_define(h, kDefUserOnGround, "SIM ON GROUND", "bool");
  lf_define(h, kDefUserTitle, "TITLE", nullptr, DataType::String256);

  SimConnect_SubscribeToSystemEvent(h, kSysSimStart, "SimStart");
  SimConnect_SubscribeToSystemEvent(h, kSysSimStop, "SimStop");
  SimConnect_SubscribeToSystemEvent(h, kSysFrame, "Frame");
  SimConnect_SubscribeToSystemEvent(h, kSysFlightLoaded, "FlightLoaded");
  SimConnect_SubscribeToSystemEvent(h, kSysObjectAdded, "ObjectAdded");
  SimConnect_SubscribeToSystemEvent(h, kSysObjectRemoved, "ObjectRemoved");

  SimConnect_MapClientEventToSimEvent(h, kEventFreezeLatLon, "FREEZE_LATITUDE_LONGITUDE_SET");
  SimConnect_MapClientEventToSimEvent(h, kEventFreezeAltitude, "FREEZE_ALTITUDE_SET");
  SimConnect_MapClientEventToSimEvent(h, kEventFreezeAttitude, "FREEZE_ATTITUDE_SET");
  SimConnect_MapClientEventToSimEvent(h, kEventNavLights, "NAV_LIGHTS_SET");

  SimConnect_RequestDataOnSimObject(h, kDefUserAircraft, kDefUserAircraft, kUserObject, Period::VisualFrame);
  SimConnect_RequestDataOnSimObject(h, kDefUserOnGround, kDefUserOnGround, kUserObject, Period::Second);
}

// At each frame: the queued commands go out, when the SimConnect mutex is free.
void lf_sendQueued(Client& client) {
  std::unique_lock lock(g_simConnectMutex, std::try_to_lock);
  if (!lock.owns_lock()) return;
  if (g_simConnectError.load()) {
    g_simCreateQueue.clear();
    g_simRemoveQueue.clear();
    g_objectCommands.clear();
    return;
  }
  while (!g_simCreateQueue.empty()) {
    const AddRequest request = std::move(g_simCreateQueue.front());
    g_simCreateQueue.pop_front();
    InitPosition position;
    position.latitude = request.latitude;
    position.longitude = request.longitude;
    position.altitude = request.altitude;
    position.pitch = request.pitch;
    position.bank = request.bank;
    position.heading = request.heading;
    position.onGround = request.onGround ? 1 : 0;
    const RequestId requestId = client.nextRequest++;
    if (!succeeded(SimConnect_AICreateNonATCAircraft(client.handle, request.liveryTitle.c_str(),
                                                     request.callsign.c_str(), position, requestId))) {
      gf_pushSimEvent(SimEvent{0, request.hexid, SimEventKind::CreateFailed});
      continue;
    }
    std::uint32_t packetId = 0;
    SimConnect_GetLastSentPacketID(client.handle, &packetId);
    client.pending[requestId] = PendingCreate{packetId, request.hexid, request.callsign};
  }
  while (!g_simRemoveQueue.empty()) {
    SimConnect_AIRemoveObject(client.handle, g_simRemoveQueue.front(), 0);
    g_simRemoveQueue.pop_front();
  }
  while (!g_objectCommands.empty()) {
    const ObjectCommand command = g_objectCommands.front();
    g_objectCommands.pop_front();
    SimConnect_TransmitClientEvent(client.handle, command.objectId, command.eventId, command.data);
  }
}

void lf_userAircraftData(const RecvSimObjectData& record) {
  const std::uint8_t* p = record.data();
  if (record.dataSize < 12 * sizeof(double)) return;
  UserAircraftData data;
  data.latitude = lf_read<double>(p);
  data.longitude = lf_read<double>(p);
  data.pitch = lf_read<double>(p);
  data.bank = lf_read<double>(p);
  data.heading = lf_read<double>(p);
  data.altitude = lf_read<double>(p);
  data.altitudeAboveGround = lf_read<double>(p);
  data.groundVelocity = lf_read<double>(p);
  data.zuluTime = lf_read<double>(p);
  data.dayOfYear = static_cast<std::int32_t>(lf_read<double>(p));
  data.year = static_cast<std::int32_t>(lf_read<double>(p));
  data.lightStates = static_cast<std::uint32_t>(lf_read<double>(p));
  g_userAircraft.set(data);
  // The simulator's own time goes to RealTraffic at its professional level,
  // and then dates the stand use too; otherwise the PC's time is used.
  g_simEpochSeconds.store(g_rtProfessional.load()
                              ? gf_epochFromZulu(data.year, data.dayOfYear, data.zuluTime).value_or(0)
                              : 0);
  // The window shows the stand the user stands on, from the published stands.
  gf_setUserStandName(gf_userStandOnSnapshot(LatLon{data.latitude, data.longitude}));
}

void lf_objectData(const RecvSimObjectData& record) {
  switch (record.requestId) {
    case kDefUserAircraft:
      lf_userAircraftData(record);
      break;
    case kDefUserOnGround: {
      if (record.dataSize < sizeof(double)) return;
      const std::uint8_t* p = record.data();
      g_userOnGround.set(OnGroundReading{lf_read<double>(p) != 0.0, true});
      // The main loop's one-second pace.
      g_oneSecondSignal.store(true);
      break;
    }
    case kDefUserTitle: {
      char title[257] = {};
      std::memcpy(title, record.data(), std::min<std::size_t>(256, record.dataSize));
      gf_setFlightText(title, true);
      gf_setFlightRunning(true);
      break;
    }
    default:
      break;
  }
}

void lf_assigned(Client& client, const RecvAssignedObjectId& record) {
  const auto it = client.pending.find(record.requestId);
  if (it == client.pending.end()) return;
  const PendingCreate create = it->second;
  client.pending.erase(it);
  // The program moves the object itself: take it from the simulator's AI and
  // hold it where it was put.
  SimConnect_AIReleaseControl(client.handle, record.objectId, 0);
  SimConnect_TransmitClientEvent(client.handle, record.objectId, kEventFreezeLatLon, 1);
  SimConnect_TransmitClientEvent(client.handle, record.objectId, kEventFreezeAltitude, 1);
  SimConnect_TransmitClientEvent(client.handle, record.objectId, kEventFreezeAttitude, 1);
  const SimEventKind kind =
      create.hexid <= kStaticHexidLimit ? SimEventKind::StaticCreated : SimEventKind::LiveCreated;
  gf_pushSimEvent(SimEvent{record.objectId, create.hexid, kind});
}

void lf_exception(Client& client, const RecvException& record) {
  if (record.exception == ExceptionCode::CreateObjectFailed) {
    for (auto it = client.pending.begin(); it != client.pending.end(); ++it) {
      if (it->second.packetId != record.sendId) continue;
      gf_logError("{:8}: {:8} could not be created", it->second.hexid, it->second.callsign);
      gf_pushSimEvent(SimEvent{0, it->second.hexid, SimEventKind::CreateFailed});
      client.pending.erase(it);
      return;
    }
  }
  gf_logError("SimConnect exception {} (packet {}, argument {})", static_cast<int>(record.exception), record.sendId,
              record.index);
}

void lf_flightStopped() {
  g_simRunning.store(false);
  g_userOnGround.set(OnGroundReading{});
  gf_setFlightRunning(false);
}

void lf_dispatch(Client& client, const SimRecv& record) {
  switch (record.id) {
    case RecvId::Open: {
      const auto& open = static_cast<const RecvOpen&>(record);
      g_simConnected.store(true);
      gf_setSimConnected(true);
      gf_setSimText(fmt::format("{} {}.{}", open.applicationName, open.versionMajor, open.versionMinor));
      gf_logLine("Connected to {} {}.{}", open.applicationName, open.versionMajor, open.versionMinor);
      break;
    }
    case RecvId::Quit:
      client.quit = true;
      gf_simGone();
      break;
    case RecvId::EventFrame:
      lf_sendQueued(client);
      break;
    case RecvId::Event: {
      const auto& event = static_cast<const RecvEvent&>(record);
      if (event.eventId == kSysSimStart) {
        g_simRunning.store(true);
        SimConnect_RequestDataOnSimObject(client.handle, kDefUserTitle, kDefUserTitle, kUserObject, Period::Once);
      } else if (event.eventId == kSysSimStop) {
        lf_flightStopped();
      }
      break;
    }
    case RecvId::EventFilename:
      // A flight (re)loaded: the stand the user stood on is kept.
      lf_rememberUserStand();
      break;
    case RecvId::EventObjectAddRemove: {
      const auto& event = static_cast<const RecvEventObjectAddRemove&>(record);
      if (event.eventId == kSysObjectRemoved) gf_pushSimEvent(SimEvent{event.data, 0, SimEventKind::Removed});
      break;
    }
    case RecvId::SimObjectData:
    case RecvId::SimObjectDataByType:
      lf_objectData(static_cast<const RecvSimObjectData&>(record));
      break;
    case RecvId::AssignedObjectId:
      lf_assigned(client, static_cast<const RecvAssignedObjectId&>(record));
      break;
    case RecvId::Exception:
      lf_exception(client, static_cast<const RecvException&>(record));
      break;
    default:
      break;
  }
}

void lf_clientThread(std::stop_token stop) {
  Client& client = lf_client();
  ::timeBeginPeriod(1);
  while (!stop.stop_requested() && client.handle == nullptr) {
    if (succeeded(SimConnect_Open(&client.handle, "Skyloom"))) break;
    client.handle = nullptr;
    for (int i = 0; i < 50 && !stop.stop_requested(); ++i) std::this_thread::sleep_for(10ms);
  }
  if (client.handle != nullptr) {
    try {
      lf_setUp(client.handle);
      while (!stop.stop_requested() && !client.quit) {
        const SimRecv* record = nullptr;
        std::uint32_t size = 0;
        bool any = false;
        while (!client.quit && succeeded(SimConnect_GetNextDispatch(client.handle, &record, &size))) {
          lf_dispatch(client, *record);
          any = true;
        }
        if (!any) std::this_thread::sleep_for(1ms);
      }
    } catch (const std::exception& e) {
      gf_logError("SimClient: {}", e.what());
    }
    lf_rememberUserStand();
    SimConnect_Close(client.handle);
    client.handle = nullptr;
  }
  client.pending.clear();
  client.quit = false;
  g_simConnected.store(false);
  lf_flightStopped();
  gf_setSimConnected(false);
  ::timeEndPeriod(1);
}

}  // namespace

LatLon gf_userPosition() {
  const UserAircraftData data = g_userAircraft.get();
  return LatLon{data.latitude, data.longitude};
}

void gf_pushObjectCommand(const ObjectCommand& command) { g_objectCommands.push_back(command); }

void gf_pushSimEvent(const SimEvent& event) {
  std::lock_guard lock(g_eventMutex);
  g_eventQueue.push_back(event);
}

std::vector<SimEvent> gf_takeSimEvents() {
  std::lock_guard lock(g_eventMutex);
  std::vector<SimEvent> events;
  events.swap(g_eventQueue);
  return events;
}

void gf_startSimClient() {
  std::lock_guard lock(g_startStopMutex);
  Client& client = lf_client();
  if (client.thread.joinable()) {
    client.thread.request_stop();
    client.thread.join();
  }
  client.thread = std::jthread(lf_clientThread);
}

void gf_stopSimClient() {
  std::lock_guard lock(g_startStopMutex);
  Client& client = lf_client();
  if (!client.thread.joinable()) return;
  client.thread.request_stop();
  client.thread.join();
}

void gf_resetSimLinkForTests() {
  gf_stopSimClient();
  g_userAircraft.set(UserAircraftData{});
  g_userOnGround.set(OnGroundReading{});
  g_simRunning.store(false);
  g_simConnected.store(false);
  g_simConnectError.store(false);
  {
    std::lock_guard lock(g_simConnectMutex);
    g_simCreateQueue.clear();
    g_simRemoveQueue.clear();
    g_objectCommands.clear();
  }
  gf_takeSimEvents();
  lf_resetUserStandForTests();
}
