// The simulated simulator and the client calls that reach it.

#include "platform/simconnect/sim_world.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

namespace simsim {

std::atomic<int> g_secondMs{1000};

namespace {

using namespace simconnect;
using Clock = std::chrono::steady_clock;

constexpr double kPi = 3.14159265358979323846;

std::string lf_upper(const char* text) {
  std::string out = text == nullptr ? std::string() : std::string(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

void lf_copyText(char* target, std::size_t capacity, const std::string& text) {
  const std::size_t n = std::min(capacity - 1, text.size());
  std::memcpy(target, text.data(), n);
  target[n] = '\0';
}

struct Datum {
  std::string name;   // upper case
  std::string units;  // upper case
  DataType type = DataType::Float64;
};

struct DataRequest {
  RequestId requestId = 0;
  DefineId defineId = 0;
  ObjectId objectId = 0;
  Period period = Period::Never;
  bool byType = false;
  std::uint32_t radiusMetres = 0;
  ObjectType objectType = ObjectType::Aircraft;
};

struct PendingCreate {
  std::uint32_t packetId = 0;
  RequestId requestId = 0;
  AiObject object;
};

struct PendingRemove {
  std::uint32_t packetId = 0;
  ObjectId objectId = 0;
};

struct Connection {
  std::string name;
  std::deque<std::vector<std::uint8_t>> inbox;
  std::vector<std::uint8_t> current;  // the record handed out last
  std::map<DefineId, std::vector<Datum>> definitions;
  std::map<std::string, EventId> systemEvents;  // upper-case name -> client's id
  std::map<EventId, std::string> clientEvents;  // client's id -> upper-case sim event name
  std::vector<DataRequest> requests;            // periodic and pending once-requests
  std::deque<PendingCreate> creations;
  std::deque<PendingRemove> removals;
  std::uint32_t lastPacketId = 0;
  bool openSent = false;
  bool simStartPending = false;
};

template <typename Record>
void lf_post(Connection& connection, const Record& record, const std::vector<std::uint8_t>& tail = {}) {
  static_assert(std::is_trivially_copyable_v<Record>);
  Record copy = record;
  copy.size = static_cast<std::uint32_t>(sizeof(Record) + tail.size());
  const auto* head = reinterpret_cast<const std::uint8_t*>(&copy);
  std::vector<std::uint8_t> bytes(head, head + sizeof(Record));
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  connection.inbox.push_back(std::move(bytes));
}

// The whole simulator state; every field is guarded by mutex.
struct State {
  std::mutex mutex;
  std::condition_variable wake;
  UserAircraft user;
  bool running = true;
  bool quitting = false;
  std::int64_t zuluSeconds = 0;
  std::optional<std::set<std::string>> installedTitles;
  std::map<ObjectId, AiObject> objects;
  ObjectId nextObjectId = 100;
  std::int64_t refused = 0;
  std::int32_t opened = 0;
  std::vector<std::unique_ptr<Connection>> connections;
  std::thread frameThread;
  bool stopFrames = false;

  Connection* find(Handle handle) {
    for (auto& c : connections)
      if (c.get() == handle) return c.get();
    return nullptr;
  }
};

State& lf_state() {
  static State state;
  return state;
}

std::int64_t lf_systemSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void lf_resetLocked(State& s) {
  s.user = UserAircraft{};
  s.running = true;
  s.quitting = false;
  s.zuluSeconds = lf_systemSeconds();
  s.installedTitles.reset();
  s.objects.clear();
  s.nextObjectId = 100;
  s.refused = 0;
  s.opened = 0;
}

// ---------------------------------------------------------------- datums

struct Civil {
  std::int64_t secondsOfDay = 0;
  std::int32_t dayOfYear = 1;
  std::int32_t year = 1970;
};

// The UTC calendar of a time.
Civil lf_civil(std::int64_t epochSeconds) {
  using namespace std::chrono;
  const sys_days day = floor<days>(sys_seconds{seconds{epochSeconds}});
  const year_month_day ymd{day};
  const sys_days firstOfYear{ymd.year() / January / 1};
  return Civil{epochSeconds - duration_cast<seconds>(day.time_since_epoch()).count(),
               static_cast<std::int32_t>((day - firstOfYear).count() + 1), static_cast<std::int32_t>(ymd.year())};
}

double lf_angle(double degrees, const std::string& units) {
  return units.rfind("RADIAN", 0) == 0 ? degrees * kPi / 180.0 : degrees;
}

double lf_angleIn(double value, const std::string& units) {
  return units.rfind("RADIAN", 0) == 0 ? value * 180.0 / kPi : value;
}

struct DatumValue {
  bool known = false;
  double number = 0.0;
  std::string text;
  bool isText = false;
};

// The position, attitude and title, which the user aircraft and AI objects
// report alike; false for any other datum.
template <typename Aircraft>
bool lf_bodyDatum(const Aircraft& a, const Datum& d, DatumValue& v) {
  if (d.name == "PLANE LATITUDE") v.number = lf_angle(a.latitude, d.units);
  else if (d.name == "PLANE LONGITUDE") v.number = lf_angle(a.longitude, d.units);
  else if (d.name == "PLANE PITCH DEGREES") v.number = lf_angle(a.pitch, d.units);
  else if (d.name == "PLANE BANK DEGREES") v.number = lf_angle(a.bank, d.units);
  else if (d.name == "PLANE HEADING DEGREES TRUE") v.number = lf_angle(a.heading, d.units);
  else if (d.name == "PLANE ALTITUDE") v.number = a.altitude;
  else if (d.name == "SIM ON GROUND") v.number = a.onGround ? 1.0 : 0.0;
  else if (d.name == "TITLE") v = DatumValue{true, 0.0, a.title, true};
  else return false;
  v.known = true;
  return true;
}

DatumValue lf_userDatum(const UserAircraft& u, std::int64_t zuluSeconds, const Datum& d) {
  DatumValue v;
  if (lf_bodyDatum(u, d, v)) return v;
  const Civil civil = lf_civil(zuluSeconds);
  v.known = true;
  if (d.name == "PLANE ALT ABOVE GROUND") v.number = u.altitudeAboveGround;
  else if (d.name == "GROUND VELOCITY") v.number = u.groundVelocity;
  else if (d.name == "ZULU TIME") v.number = static_cast<double>(civil.secondsOfDay);
  else if (d.name == "ZULU DAY OF YEAR") v.number = civil.dayOfYear;
  else if (d.name == "ZULU YEAR") v.number = civil.year;
  else if (d.name == "LIGHT STATES") v.number = u.lightStates;
  else if (d.name == "ATC ID") v = DatumValue{true, 0.0, "USER", true};
  else v.known = false;
  return v;
}

DatumValue lf_aiDatum(const AiObject& o, const Datum& d) {
  DatumValue v;
  if (lf_bodyDatum(o, d, v)) return v;
  v.known = true;
  if (d.name == "PLANE ALT ABOVE GROUND") v.number = o.onGround ? 0.0 : o.altitude;
  else if (d.name == "LIGHT STATES") v.number = o.lights;
  else if (d.name == "STATIC CG TO GROUND") v.number = 10.0;
  else if (d.name == "GROUND VELOCITY" || d.name == "AIRSPEED TRUE" || d.name == "VERTICAL SPEED") v.number = 0.0;
  else if (d.name == "ATC ID") v = DatumValue{true, 0.0, o.tailNumber, true};
  else v.known = false;
  return v;
}

// A datum is known when the user aircraft or an AI object reports it.
bool lf_knownDatum(const std::string& name) {
  const Datum probe{name, {}, DataType::Float64};
  return lf_userDatum(UserAircraft{}, 0, probe).known || lf_aiDatum(AiObject{}, probe).known;
}

void lf_pack(std::vector<std::uint8_t>& out, const Datum& d, const DatumValue& v) {
  switch (d.type) {
    case DataType::Float64: {
      const double x = v.number;
      const auto* p = reinterpret_cast<const std::uint8_t*>(&x);
      out.insert(out.end(), p, p + sizeof x);
      break;
    }
    case DataType::Int32: {
      const auto x = static_cast<std::int32_t>(std::lround(v.number));
      const auto* p = reinterpret_cast<const std::uint8_t*>(&x);
      out.insert(out.end(), p, p + sizeof x);
      break;
    }
    case DataType::String256: {
      char text[256] = {};
      lf_copyText(text, sizeof text, v.text);
      out.insert(out.end(), text, text + sizeof text);
      break;
    }
  }
}

std::size_t lf_datumSize(DataType type) {
  switch (type) {
    case DataType::Float64: return 8;
    case DataType::Int32: return 4;
    case DataType::String256: return 256;
  }
  return 0;
}

double lf_distanceMetres(double lat1, double lon1, double lat2, double lon2) {
  const double r = kPi / 180.0;
  const double dLat = (lat2 - lat1) * r;
  const double dLon = (lon2 - lon1) * r;
  const double a =
      std::sin(dLat / 2) * std::sin(dLat / 2) + std::cos(lat1 * r) * std::cos(lat2 * r) * std::sin(dLon / 2) * std::sin(dLon / 2);
  return 6371008.8 * 2.0 * std::atan2(std::sqrt(a), std::sqrt(1.0 - a));
}

// Posts the answer of one data request (one record per object for requests by type).
void lf_answer(State& s, Connection& c, const DataRequest& request) {
  const auto def = c.definitions.find(request.defineId);
  if (def == c.definitions.end()) {
    lf_post(c, RecvException{{RecvId::Exception}, ExceptionCode::UnrecognizedId, 0, 0});
    return;
  }
  auto send = [&](ObjectId objectId, std::uint32_t entry, std::uint32_t outOf, auto&& valueOf) {
    std::vector<std::uint8_t> data;
    for (const Datum& d : def->second) lf_pack(data, d, valueOf(d));
    RecvSimObjectData record;
    record.id = request.byType ? RecvId::SimObjectDataByType : RecvId::SimObjectData;
    record.requestId = request.requestId;
    record.objectId = objectId;
    record.defineId = request.defineId;
    record.entryNumber = entry;
    record.outOf = outOf;
    record.dataSize = static_cast<std::uint32_t>(data.size());
    lf_post(c, record, data);
  };
  if (request.byType) {
    if (request.objectType == ObjectType::User) {
      send(kUserObject, 1, 1, [&](const Datum& d) { return lf_userDatum(s.user, s.zuluSeconds, d); });
      return;
    }
    std::vector<const AiObject*> inRange;
    for (const auto& [id, o] : s.objects)
      if (lf_distanceMetres(s.user.latitude, s.user.longitude, o.latitude, o.longitude) <= request.radiusMetres)
        inRange.push_back(&o);
    std::uint32_t entry = 0;
    for (const AiObject* o : inRange)
      send(o->objectId, ++entry, static_cast<std::uint32_t>(inRange.size()),
           [&](const Datum& d) { return lf_aiDatum(*o, d); });
    return;
  }
  if (request.objectId == kUserObject) {
    send(kUserObject, 1, 1, [&](const Datum& d) { return lf_userDatum(s.user, s.zuluSeconds, d); });
    return;
  }
  const auto it = s.objects.find(request.objectId);
  if (it == s.objects.end()) {
    lf_post(c, RecvException{{RecvId::Exception}, ExceptionCode::ObjectNotFound, 0, 0});
    return;
  }
  send(it->first, 1, 1, [&](const Datum& d) { return lf_aiDatum(it->second, d); });
}

void lf_postSystemEvent(Connection& c, const char* name, std::uint32_t data = 0) {
  const auto it = c.systemEvents.find(name);
  if (it == c.systemEvents.end()) return;
  lf_post(c, RecvEvent{{RecvId::Event}, it->second, data});
}

void lf_postAddRemove(Connection& c, const char* name, ObjectId objectId) {
  const auto it = c.systemEvents.find(name);
  if (it == c.systemEvents.end()) return;
  RecvEventObjectAddRemove record;
  record.id = RecvId::EventObjectAddRemove;
  record.eventId = it->second;
  record.data = objectId;
  record.objectType = ObjectType::Aircraft;
  lf_post(c, record);
}

// One frame of the simulator for every connection.
void lf_frame(State& s, bool secondPassed) {
  if (secondPassed) ++s.zuluSeconds;
  for (auto& cp : s.connections) {
    Connection& c = *cp;
    if (c.simStartPending && s.running) {
      c.simStartPending = false;
      lf_postSystemEvent(c, "SIMSTART");
    }
    // Creations and removals asked for since the last frame.
    while (!c.creations.empty()) {
      PendingCreate create = std::move(c.creations.front());
      c.creations.pop_front();
      const bool known = !create.object.title.empty() &&
                         (!s.installedTitles || s.installedTitles->count(create.object.title) != 0);
      if (!known || !s.running) {
        ++s.refused;
        lf_post(c, RecvException{{RecvId::Exception}, ExceptionCode::CreateObjectFailed, create.packetId, 1});
        continue;
      }
      create.object.objectId = s.nextObjectId++;
      const ObjectId id = create.object.objectId;
      s.objects.emplace(id, std::move(create.object));
      lf_postAddRemove(c, "OBJECTADDED", id);
      lf_post(c, RecvAssignedObjectId{{RecvId::AssignedObjectId}, create.requestId, id});
    }
    while (!c.removals.empty()) {
      const PendingRemove remove = c.removals.front();
      c.removals.pop_front();
      if (s.objects.erase(remove.objectId) == 0) {
        lf_post(c, RecvException{{RecvId::Exception}, ExceptionCode::ObjectNotFound, remove.packetId, 1});
        continue;
      }
      lf_postAddRemove(c, "OBJECTREMOVED", remove.objectId);
    }
    if (!s.running) continue;
    const auto frame = c.systemEvents.find("FRAME");
    if (frame != c.systemEvents.end()) {
      RecvEventFrame record;
      record.id = RecvId::EventFrame;
      record.eventId = frame->second;
      record.frameRate = 30.0f;
      record.simSpeed = 1.0f;
      lf_post(c, record);
    }
    if (secondPassed) lf_postSystemEvent(c, "1SEC");
    std::vector<DataRequest> keep;
    for (const DataRequest& r : c.requests) {
      if (r.period == Period::Once) {
        lf_answer(s, c, r);
        continue;
      }
      if (r.period == Period::VisualFrame || (r.period == Period::Second && secondPassed)) lf_answer(s, c, r);
      keep.push_back(r);
    }
    c.requests = std::move(keep);
  }
}

void lf_frameLoop() {
  State& s = lf_state();
  std::unique_lock lock(s.mutex);
  auto nextSecond = Clock::now() + std::chrono::milliseconds(g_secondMs.load());
  while (!s.stopFrames) {
    const int secondMs = std::max(1, g_secondMs.load());
    const auto framePeriod = std::chrono::milliseconds(std::clamp(secondMs / 4, 1, 20));
    s.wake.wait_for(lock, framePeriod, [&] { return s.stopFrames; });
    if (s.stopFrames) break;
    bool secondPassed = false;
    const auto now = Clock::now();
    if (now >= nextSecond) {
      secondPassed = true;
      nextSecond += std::chrono::milliseconds(secondMs);
      if (nextSecond < now) nextSecond = now + std::chrono::milliseconds(secondMs);
    }
    lf_frame(s, secondPassed);
  }
}

}  // namespace

// ---------------------------------------------------------------- World

void World::setUserAircraft(const UserAircraft& aircraft) {
  std::lock_guard lock(lf_state().mutex);
  lf_state().user = aircraft;
}

UserAircraft World::userAircraft() const {
  std::lock_guard lock(lf_state().mutex);
  return lf_state().user;
}

void World::placeUserOnGround(double latitude, double longitude, double headingDegrees, double groundFeet) {
  std::lock_guard lock(lf_state().mutex);
  UserAircraft& u = lf_state().user;
  u.altitude = groundFeet;
  u.latitude = latitude;
  u.longitude = longitude;
  u.heading = headingDegrees;
  u.altitudeAboveGround = 0.0;
  u.groundVelocity = 0.0;
  u.pitch = 0.0;
  u.bank = 0.0;
  u.onGround = true;
}

void World::taxiUser(double latitude, double longitude, double speedKnots) {
  std::lock_guard lock(lf_state().mutex);
  UserAircraft& u = lf_state().user;
  u.altitude -= u.altitudeAboveGround;
  u.latitude = latitude;
  u.longitude = longitude;
  u.altitudeAboveGround = 0.0;
  u.groundVelocity = speedKnots;
  u.onGround = true;
}

void World::flyUser(double latitude, double longitude, double heightAboveGroundFeet, double speedKnots) {
  std::lock_guard lock(lf_state().mutex);
  UserAircraft& u = lf_state().user;
  const double ground = u.altitude - u.altitudeAboveGround;
  u.latitude = latitude;
  u.longitude = longitude;
  u.altitudeAboveGround = heightAboveGroundFeet;
  u.altitude = ground + heightAboveGroundFeet;
  u.groundVelocity = speedKnots;
  u.onGround = false;
}

void World::setFlightRunning(bool running) {
  State& s = lf_state();
  std::lock_guard lock(s.mutex);
  if (s.running == running) return;
  s.running = running;
  for (auto& c : s.connections) {
    if (running) c->simStartPending = true;
    else lf_postSystemEvent(*c, "SIMSTOP");
  }
}

bool World::flightRunning() const {
  std::lock_guard lock(lf_state().mutex);
  return lf_state().running;
}

void World::loadFlight(const std::string& fileName) {
  State& s = lf_state();
  std::lock_guard lock(s.mutex);
  for (auto& c : s.connections) {
    const auto it = c->systemEvents.find("FLIGHTLOADED");
    if (it == c->systemEvents.end()) continue;
    RecvEventFilename record;
    record.id = RecvId::EventFilename;
    record.eventId = it->second;
    lf_copyText(record.fileName, sizeof record.fileName, fileName);
    lf_post(*c, record);
  }
}

void World::quit() {
  State& s = lf_state();
  std::lock_guard lock(s.mutex);
  s.quitting = true;
  for (auto& c : s.connections) lf_post(*c, SimRecv{RecvId::Quit});
}

void World::setZuluTime(std::int64_t epochSeconds) {
  std::lock_guard lock(lf_state().mutex);
  lf_state().zuluSeconds = epochSeconds;
}

std::int64_t World::zuluTime() const {
  std::lock_guard lock(lf_state().mutex);
  return lf_state().zuluSeconds;
}

void World::setInstalledTitles(std::optional<std::set<std::string>> titles) {
  std::lock_guard lock(lf_state().mutex);
  lf_state().installedTitles = std::move(titles);
}

std::vector<AiObject> World::aiObjects() const {
  std::lock_guard lock(lf_state().mutex);
  std::vector<AiObject> out;
  for (const auto& [id, o] : lf_state().objects) out.push_back(o);
  return out;
}

std::optional<AiObject> World::aiObject(ObjectId objectId) const {
  std::lock_guard lock(lf_state().mutex);
  const auto it = lf_state().objects.find(objectId);
  if (it == lf_state().objects.end()) return std::nullopt;
  return it->second;
}

std::int64_t World::refusedCreations() const {
  std::lock_guard lock(lf_state().mutex);
  return lf_state().refused;
}

std::int32_t World::openConnections() const {
  std::lock_guard lock(lf_state().mutex);
  return static_cast<std::int32_t>(lf_state().connections.size());
}

std::int32_t World::connectionsOpened() const {
  std::lock_guard lock(lf_state().mutex);
  return lf_state().opened;
}

void World::reset() {
  std::lock_guard lock(lf_state().mutex);
  lf_resetLocked(lf_state());
}

World& world() {
  static World instance;
  static std::once_flag once;
  std::call_once(once, [] {
    std::lock_guard lock(lf_state().mutex);
    lf_resetLocked(lf_state());
  });
  return instance;
}

}  // namespace simsim

// ---------------------------------------------------------------- client calls

namespace simconnect {

using simsim::AiObject;

namespace {

// Runs a call on a connection under the simulator's lock; E_FAIL for an
// unknown handle.
template <typename Body>
HRESULT lf_call(Handle handle, Body&& body) {
  simsim::world();
  auto& s = simsim::lf_state();
  std::lock_guard lock(s.mutex);
  simsim::Connection* c = s.find(handle);
  if (c == nullptr) return E_FAIL;
  ++c->lastPacketId;
  return body(s, *c);
}

void lf_exception(simsim::Connection& c, ExceptionCode code, std::uint32_t index = 0) {
  simsim::lf_post(c, RecvException{{RecvId::Exception}, code, c.lastPacketId, index});
}

}  // namespace

HRESULT SimConnect_Open(Handle* handle, const char* name) {
  if (handle == nullptr) return E_FAIL;
  *handle = nullptr;
  simsim::world();
  auto& s = simsim::lf_state();
  std::lock_guard lock(s.mutex);
  if (s.quitting) return E_FAIL;
  auto connection = std::make_unique<simsim::Connection>();
  connection->name = name == nullptr ? "" : name;
  RecvOpen open;
  open.id = RecvId::Open;
  simsim::lf_copyText(open.applicationName, sizeof open.applicationName, "Simulated Flight Simulator");
  open.versionMajor = 11;
  open.versionMinor = 0;
  simsim::lf_post(*connection, open);
  *handle = connection.get();
  s.connections.push_back(std::move(connection));
  ++s.opened;
  if (!s.frameThread.joinable()) {
    s.stopFrames = false;
    s.frameThread = std::thread(simsim::lf_frameLoop);
  }
  return S_OK;
}

HRESULT SimConnect_Close(Handle handle) {
  auto& s = simsim::lf_state();
  std::thread frames;
  {
    std::lock_guard lock(s.mutex);
    const auto it = std::find_if(s.connections.begin(), s.connections.end(),
                                 [handle](const auto& c) { return c.get() == handle; });
    if (it == s.connections.end()) return E_FAIL;
    s.connections.erase(it);
    // A client's AI objects leave with it (there is one client at a time here).
    if (s.connections.empty()) {
      s.objects.clear();
      s.stopFrames = true;
      frames = std::move(s.frameThread);
    }
  }
  s.wake.notify_all();
  if (frames.joinable()) frames.join();
  return S_OK;
}

HRESULT SimConnect_GetLastSentPacketID(Handle handle, std::uint32_t* packetId) {
  auto& s = simsim::lf_state();
  std::lock_guard lock(s.mutex);
  simsim::Connection* c = s.find(handle);
  if (c == nullptr || packetId == nullptr) return E_FAIL;
  *packetId = c->lastPacketId;
  return S_OK;
}

HRESULT SimConnect_AddToDataDefinition(Handle handle, DefineId defineId, const char* datumName,
                                       const char* unitsName, DataType dataType) {
  return lf_call(handle, [&](auto&, simsim::Connection& c) {
    const std::string name = simsim::lf_upper(datumName);
    if (!simsim::lf_knownDatum(name)) {
      lf_exception(c, ExceptionCode::NameUnrecognized, 3);
      return S_OK;  // like the real library: the call is sent, the error comes back
    }
    c.definitions[defineId].push_back(simsim::Datum{name, simsim::lf_upper(unitsName), dataType});
    return S_OK;
  });
}

HRESULT SimConnect_RequestDataOnSimObject(Handle handle, RequestId requestId, DefineId defineId, ObjectId objectId,
                                          Period period) {
  return lf_call(handle, [&](auto&, simsim::Connection& c) {
    std::erase_if(c.requests, [&](const simsim::DataRequest& r) { return !r.byType && r.requestId == requestId; });
    if (period != Period::Never)
      c.requests.push_back(simsim::DataRequest{requestId, defineId, objectId, period, false, 0, ObjectType::User});
    return S_OK;
  });
}

HRESULT SimConnect_RequestDataOnSimObjectType(Handle handle, RequestId requestId, DefineId defineId,
                                              std::uint32_t radiusMetres, ObjectType type) {
  return lf_call(handle, [&](auto&, simsim::Connection& c) {
    c.requests.push_back(simsim::DataRequest{requestId, defineId, 0, Period::Once, true, radiusMetres, type});
    return S_OK;
  });
}

HRESULT SimConnect_SetDataOnSimObject(Handle handle, DefineId defineId, ObjectId objectId, const void* data,
                                      std::uint32_t size) {
  return lf_call(handle, [&](simsim::State& s, simsim::Connection& c) {
    const auto def = c.definitions.find(defineId);
    const auto object = s.objects.find(objectId);
    if (def == c.definitions.end()) {
      lf_exception(c, ExceptionCode::UnrecognizedId, 1);
      return S_OK;
    }
    if (object == s.objects.end()) {
      lf_exception(c, ExceptionCode::ObjectNotFound, 2);
      return S_OK;
    }
    std::size_t need = 0;
    for (const auto& d : def->second) need += simsim::lf_datumSize(d.type);
    if (data == nullptr || size < need) {
      lf_exception(c, ExceptionCode::DataError, 4);
      return S_OK;
    }
    AiObject& o = object->second;
    const auto* p = static_cast<const std::uint8_t*>(data);
    for (const auto& d : def->second) {
      double x = 0.0;
      if (d.type == DataType::Float64) std::memcpy(&x, p, 8);
      if (d.type == DataType::Int32) {
        std::int32_t i = 0;
        std::memcpy(&i, p, 4);
        x = i;
      }
      p += simsim::lf_datumSize(d.type);
      if (d.name == "PLANE LATITUDE") o.latitude = simsim::lf_angleIn(x, d.units);
      else if (d.name == "PLANE LONGITUDE") o.longitude = simsim::lf_angleIn(x, d.units);
      else if (d.name == "PLANE PITCH DEGREES") o.pitch = simsim::lf_angleIn(x, d.units);
      else if (d.name == "PLANE BANK DEGREES") o.bank = simsim::lf_angleIn(x, d.units);
      else if (d.name == "PLANE HEADING DEGREES TRUE") o.heading = simsim::lf_angleIn(x, d.units);
      else if (d.name == "PLANE ALTITUDE") o.altitude = x;
      else if (d.name == "SIM ON GROUND") o.onGround = x != 0.0;
    }
    return S_OK;
  });
}

HRESULT SimConnect_SubscribeToSystemEvent(Handle handle, EventId eventId, const char* systemEventName) {
  return lf_call(handle, [&](simsim::State& s, simsim::Connection& c) {
    const std::string name = simsim::lf_upper(systemEventName);
    static const std::set<std::string> known = {"SIMSTART", "SIMSTOP", "FRAME", "FLIGHTLOADED",
                                                "OBJECTADDED", "OBJECTREMOVED", "1SEC"};
    if (known.count(name) == 0) {
      lf_exception(c, ExceptionCode::NameUnrecognized, 2);
      return S_OK;
    }
    c.systemEvents[name] = eventId;
    if (name == "SIMSTART" && s.running) c.simStartPending = true;
    return S_OK;
  });
}

HRESULT SimConnect_MapClientEventToSimEvent(Handle handle, EventId eventId, const char* eventName) {
  return lf_call(handle, [&](auto&, simsim::Connection& c) {
    c.clientEvents[eventId] = simsim::lf_upper(eventName);
    return S_OK;
  });
}

HRESULT SimConnect_TransmitClientEvent(Handle handle, ObjectId objectId, EventId eventId, std::uint32_t data) {
  return lf_call(handle, [&](simsim::State& s, simsim::Connection& c) {
    const auto event = c.clientEvents.find(eventId);
    if (event == c.clientEvents.end()) {
      lf_exception(c, ExceptionCode::UnrecognizedId, 2);
      return S_OK;
    }
    if (objectId == kUserObject) return S_OK;  // events on the user aircraft change nothing here
    const auto object = s.objects.find(objectId);
    if (object == s.objects.end()) {
      lf_exception(c, ExceptionCode::ObjectNotFound, 1);
      return S_OK;
    }
    AiObject& o = object->second;
    const std::string& name = event->second;
    auto light = [&](std::uint32_t bit) { o.lights = data != 0 ? (o.lights | bit) : (o.lights & ~bit); };
    if (name == "FREEZE_LATITUDE_LONGITUDE_SET") o.frozenPosition = data != 0;
    else if (name == "FREEZE_ALTITUDE_SET") o.frozenAltitude = data != 0;
    else if (name == "FREEZE_ATTITUDE_SET") o.frozenAttitude = data != 0;
    else if (name == "NAV_LIGHTS_SET") light(simsim::kLightNav);
    else if (name == "BEACON_LIGHTS_SET") light(simsim::kLightBeacon);
    else if (name == "LANDING_LIGHTS_SET") light(simsim::kLightLanding);
    else if (name == "TAXI_LIGHTS_SET") light(simsim::kLightTaxi);
    else if (name == "STROBES_SET") light(simsim::kLightStrobe);
    return S_OK;
  });
}

HRESULT SimConnect_AICreateNonATCAircraft(Handle handle, const char* containerTitle, const char* tailNumber,
                                          const InitPosition& position, RequestId requestId) {
  return lf_call(handle, [&](auto&, simsim::Connection& c) {
    simsim::PendingCreate create;
    create.packetId = c.lastPacketId;
    create.requestId = requestId;
    create.object.title = containerTitle == nullptr ? "" : containerTitle;
    create.object.tailNumber = tailNumber == nullptr ? "" : tailNumber;
    create.object.latitude = position.latitude;
    create.object.longitude = position.longitude;
    create.object.altitude = position.altitude;
    create.object.pitch = position.pitch;
    create.object.bank = position.bank;
    create.object.heading = position.heading;
    create.object.onGround = position.onGround != 0;
    c.creations.push_back(std::move(create));
    return S_OK;
  });
}

HRESULT SimConnect_AIRemoveObject(Handle handle, ObjectId objectId, RequestId) {
  return lf_call(handle, [&](auto&, simsim::Connection& c) {
    c.removals.push_back(simsim::PendingRemove{c.lastPacketId, objectId});
    return S_OK;
  });
}

HRESULT SimConnect_AIReleaseControl(Handle handle, ObjectId objectId, RequestId) {
  return lf_call(handle, [&](simsim::State& s, simsim::Connection& c) {
    const auto object = s.objects.find(objectId);
    if (object == s.objects.end()) {
      lf_exception(c, ExceptionCode::ObjectNotFound, 1);
      return S_OK;
    }
    object->second.aiReleased = true;
    return S_OK;
  });
}

HRESULT SimConnect_GetNextDispatch(Handle handle, const SimRecv** record, std::uint32_t* size) {
  auto& s = simsim::lf_state();
  std::lock_guard lock(s.mutex);
  simsim::Connection* c = s.find(handle);
  if (c == nullptr || record == nullptr) return E_FAIL;
  if (c->inbox.empty()) return E_FAIL;
  c->current = std::move(c->inbox.front());
  c->inbox.pop_front();
  *record = reinterpret_cast<const SimRecv*>(c->current.data());
  if (size != nullptr) *size = static_cast<std::uint32_t>(c->current.size());
  return S_OK;
}

}  // namespace simconnect
