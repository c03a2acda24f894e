#include "traffic/aircraft.h"

#include <utility>

std::vector<LiveAircraft> g_liveAircraft;
std::vector<ParkedAircraft> g_staticAircraft;
std::deque<AddRequest> g_staticAddRequests;

std::atomic<std::int32_t> g_maxLive{500};
std::atomic<std::uint32_t> g_learnedUpdates{0};

std::atomic<std::int32_t> g_windowWantedStatics{0};
std::atomic<std::int32_t> g_windowWantedPercent{0};

ParkedAircraft::ParkedAircraft(AircraftIdentity&& identity, std::uint32_t standId, const StandPosition& position,
                               std::uint8_t cargo)
    : identity(std::move(identity)),
      latitude(position.latitude),
      longitude(position.longitude),
      heading(position.heading),
      standId(standId) {
  this->identity.cargo = cargo != 0 ? 1 : 0;
}

// The cargo flag is read before the identity is moved: std::move only casts.
LiveAircraft::LiveAircraft(AircraftIdentity&& identity)
    : ParkedAircraft(std::move(identity), 0, StandPosition{}, identity.cargo) {}
