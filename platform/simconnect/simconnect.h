// The simulator's client library as the program calls it: open and close a
// connection, data definitions and requests, system and client events, AI
// object creation and removal, setting data on objects, and the dispatch of
// what the simulator sends back. On this machine the calls reach the
// simulated simulator of this folder (sim_world.h), which runs in the same
// process; the call shapes follow the real library's so that it could take
// its place.
//
// Every call is thread-safe. A connection's messages are taken one at a time
// with SimConnect_GetNextDispatch; each message starts with a SimRecv header
// whose id says which record it is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace simconnect {

using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = -1;
inline bool succeeded(HRESULT result) { return result >= 0; }

using Handle = void*;
using ObjectId = std::uint32_t;
using DefineId = std::uint32_t;
using RequestId = std::uint32_t;
using EventId = std::uint32_t;

// The user aircraft's object id in data requests.
inline constexpr ObjectId kUserObject = 0;
// An unused object id (as the simulator reports it for "none").
inline constexpr ObjectId kUnusedObject = 0xFFFFFFFFu;

// How one datum of a data definition is packed.
enum class DataType : std::int32_t {
  Float64 = 0,    // 8 bytes
  Int32 = 1,      // 4 bytes
  String256 = 2,  // 256 bytes, zero-terminated
};

// How often a data request is answered.
enum class Period : std::int32_t {
  Never = 0,
  Once = 1,
  VisualFrame = 2,
  Second = 3,
};

// Kinds of objects for requests by type.
enum class ObjectType : std::int32_t {
  User = 0,
  Aircraft = 1,  // AI aircraft, not the user's
};

// The ids of the received records.
enum class RecvId : std::int32_t {
  Null = 0,
  Exception = 1,
  Open = 2,
  Quit = 3,
  Event = 4,
  EventObjectAddRemove = 5,
  EventFrame = 6,
  EventFilename = 7,
  SimObjectData = 8,
  SimObjectDataByType = 9,
  AssignedObjectId = 10,
};

// What the simulator reports as an exception to an earlier call.
enum class ExceptionCode : std::int32_t {
  None = 0,
  Error = 1,
  UnrecognizedId = 2,
  NameUnrecognized = 3,
  DataError = 4,
  CreateObjectFailed = 5,
  ObjectNotFound = 6,
};

struct SimRecv {
  RecvId id = RecvId::Null;
  std::uint32_t size = 0;  // bytes of the whole record
};

struct RecvException : SimRecv {
  ExceptionCode exception = ExceptionCode::None;
  std::uint32_t sendId = 0;  // the packet id of the call it answers
  std::uint32_t index = 0;   // the argument at fault, when known
};

struct RecvOpen : SimRecv {
  char applicationName[256] = {};
  std::uint32_t versionMajor = 0;
  std::uint32_t versionMinor = 0;
};

// A system or client event; data is the event's value.
struct RecvEvent : SimRecv {
  EventId eventId = 0;
  std::uint32_t data = 0;
};

// "ObjectAdded" / "ObjectRemoved": data is the object id.
struct RecvEventObjectAddRemove : RecvEvent {
  ObjectType objectType = ObjectType::Aircraft;
};

// "Frame": the frame rate and the simulation speed.
struct RecvEventFrame : RecvEvent {
  float frameRate = 0.0f;
  float simSpeed = 1.0f;
};

// "FlightLoaded": the flight's file name.
struct RecvEventFilename : RecvEvent {
  char fileName[260] = {};
};

// The answer to a data request: the definition's datums packed in order
// after the header (dataSize bytes at data()).
struct RecvSimObjectData : SimRecv {
  RequestId requestId = 0;
  ObjectId objectId = 0;
  DefineId defineId = 0;
  std::uint32_t entryNumber = 1;  // requests by type: 1..outOf
  std::uint32_t outOf = 1;
  std::uint32_t dataSize = 0;
  const std::uint8_t* data() const { return reinterpret_cast<const std::uint8_t*>(this + 1); }
};

// The object id the simulator gave an AI creation.
struct RecvAssignedObjectId : SimRecv {
  RequestId requestId = 0;
  ObjectId objectId = 0;
};

// The starting position of an AI aircraft.
struct InitPosition {
  double latitude = 0.0;   // degrees
  double longitude = 0.0;  // degrees
  double altitude = 0.0;   // feet
  double pitch = 0.0;      // degrees
  double bank = 0.0;       // degrees
  double heading = 0.0;    // degrees true
  std::uint32_t onGround = 1;
  std::uint32_t airspeed = 0;  // knots
};

HRESULT SimConnect_Open(Handle* handle, const char* name);
HRESULT SimConnect_Close(Handle handle);
// The id of the last call sent on this connection (exceptions refer to it).
HRESULT SimConnect_GetLastSentPacketID(Handle handle, std::uint32_t* packetId);

HRESULT SimConnect_AddToDataDefinition(Handle handle, DefineId defineId, const char* datumName, const char* unitsName,
                                       DataType dataType = DataType::Float64);
HRESULT SimConnect_RequestDataOnSimObject(Handle handle, RequestId requestId, DefineId defineId, ObjectId objectId,
                                          Period period);
// Once: one SimObjectDataByType record for every object of the type within
// the radius (metres) of the user aircraft; none when there is no such object.
HRESULT SimConnect_RequestDataOnSimObjectType(Handle handle, RequestId requestId, DefineId defineId,
                                              std::uint32_t radiusMetres, ObjectType type);
// Sets the datums of a definition on an AI object (data packed as in replies).
HRESULT SimConnect_SetDataOnSimObject(Handle handle, DefineId defineId, ObjectId objectId, const void* data,
                                      std::uint32_t size);

// System events by name: "SimStart", "SimStop", "Frame", "FlightLoaded",
// "ObjectAdded", "ObjectRemoved", "1sec".
HRESULT SimConnect_SubscribeToSystemEvent(Handle handle, EventId eventId, const char* systemEventName);
// Client events by the simulator's event names (as "NAV_LIGHTS_SET",
// "FREEZE_LATITUDE_LONGITUDE_SET", "FREEZE_ALTITUDE_SET", "FREEZE_ATTITUDE_SET").
HRESULT SimConnect_MapClientEventToSimEvent(Handle handle, EventId eventId, const char* eventName);
HRESULT SimConnect_TransmitClientEvent(Handle handle, ObjectId objectId, EventId eventId, std::uint32_t data);

HRESULT SimConnect_AICreateNonATCAircraft(Handle handle, const char* containerTitle, const char* tailNumber,
                                          const InitPosition& position, RequestId requestId);
HRESULT SimConnect_AIRemoveObject(Handle handle, ObjectId objectId, RequestId requestId);
HRESULT SimConnect_AIReleaseControl(Handle handle, ObjectId objectId, RequestId requestId);

// Takes the next record of the connection; E_FAIL when there is none. The
// record stays valid until the next call on this connection.
HRESULT SimConnect_GetNextDispatch(Handle handle, const SimRecv** record, std::uint32_t* size);

}  // namespace simconnect
