#include "airports/park_switch.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>
#include <utility>
#include <vector>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "airports/parking_controls.h"
#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/park_read.h"
#include "airports/park_save.h"
#include "airports/stand_lookup.h"
#include "airports/static_candidate.h"
#include "airports/static_selection.h"
#include "app/errors.h"
#include "app/log.h"
#include "app/settings.h"
#include "feed/traffic_reader.h"
#include "simlink/sim_link.h"
#include "traffic/aircraft.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/status_line.h"
#include "ui/window_setters.h"

bool g_parkReloadRequest = false;

namespace {

// What the reading thread hands back.
struct ParkFileRead {
  std::string path;   // as gf_findApfFile gave it
  std::string error;  // empty when all went well
  bool userError = false;
  ParkAirport airport;
  std::pair<std::int32_t, std::int32_t> qualityFactors{-1, -1};
  std::vector<Stand> stands;
};

// The read in progress and the ICAO it is for. A read whose airport was
// unloaded meanwhile is dropped when it finishes.
struct ReadJob {
  std::shared_future<ParkFileRead> result;
  std::string icao;
};
std::vector<ReadJob> g_readJobs;

// A quality factor at least this high at an airport of at least this many
// stands means the real learning suffices there: no soft learning.
constexpr std::int32_t kRealQualityEnough = 45;
constexpr std::size_t kStandsForRealOnly = 20;

ParkFileRead lf_readOffLoop(std::string icao, std::shared_future<bool> previousSave,
                            std::shared_future<ParkFileRead> previousRead) {
  // The learned file being saved is the one this read may merge; and a read
  // that was dropped still sets the reader's shared values (elevation, flags)
  // when it ends, so reads run one after the other.
  if (previousSave.valid()) previousSave.wait();
  if (previousRead.valid()) previousRead.wait();
  ParkFileRead read;
  read.airport.icao = icao;
  try {
    read.path = gf_findApfFile(icao);
    if (read.path.empty()) {
      read.error = fmt::format("{} {} not found", "lf_readParkedFile", icao);
    } else if (read.path.find("unknown") != std::string::npos) {
      read.error = fmt::format("{} {} has publisher:{}, {}", "lf_readParkedFile", icao, "unknown", read.path);
    } else {
      read.error = gf_readApf(read.path, read.airport, read.qualityFactors, read.stands);
    }
  } catch (const qor::UserErrorException& e) {
    read.error = e.what();
    read.userError = true;
  } catch (const std::exception& e) {
    read.error = fmt::format("{}: {}", "lf_readParkedFile", e.what());
  }
  return read;
}

// Soft learning is not used at a large airport whose real learning is good.
void lf_applyQualityToSoftLearning(const ParkFileRead& read) {
  if (read.qualityFactors.first >= kRealQualityEnough && g_parkStands.size() >= kStandsForRealOnly) {
    if (prm::LEARN_SOFT.value()) {
      prm::LEARN_SOFT.set(false);
      gf_setTbCheck(prm::LEARN_SOFT);
      g_apfChanged.store(true);
    }
    gf_enableControl(prm::LEARN_SOFT.controlId(), false);
  } else {
    gf_enableControl(prm::LEARN_SOFT.controlId(), true);
  }
}

// The user's stand at the park airport becomes its entry's reserved stand
// (the entry is put first, made when missing) and goes into the file.
void lf_rememberStandOfUser() {
  if (!g_userOnGround.get().valid) return;
  const std::string name = gf_nearestStandName(gf_userPosition());
  auto own = std::find_if(g_parkAirports.begin(), g_parkAirports.end(),
                          [](const ParkAirportEntry& e) { return e.icao == g_parkAirport.icao; });
  if (own != g_parkAirports.end() && own == g_parkAirports.begin()) {
    if (!name.empty() && name != own->stand) {
      own->stand = name;
      lf_updateMyParkAirports();
    }
    return;
  }
  if (own == g_parkAirports.end()) {
    g_parkAirports.push_front(
        ParkAirportEntry{g_parkAirport.icao, name, LatLon{g_parkAirport.latitude, g_parkAirport.longitude}, 0.0});
  } else {
    // Listed further down: moved to the front rather than listed twice.
    g_parkAirports.splice(g_parkAirports.begin(), g_parkAirports, own);
    if (!name.empty()) g_parkAirports.front().stand = name;
  }
  lf_updateMyParkAirports();
}

void lf_setReservedStandFromList() {
  g_reservedStand.clear();
  bool found = false;
  if (!g_parkAirports.empty() && g_parkAirports.front().icao == g_parkAirport.icao) {
    const std::string& name = g_parkAirports.front().stand;
    found = !name.empty() && std::any_of(g_parkStands.begin(), g_parkStands.end(),
                                         [&](const Stand& s) { return s.name == name; });
    if (found) g_reservedStand = name;
  }
  gf_setReservedStand(g_reservedStand, found);
}

// The end of lf_readParkedFile, on the run thread.
void lf_takeParkFile(ParkFileRead&& read) {
  g_parkStands = std::move(read.stands);
  gf_clearNearestStandCache();
  gf_publishStandSnapshot();
  if (!read.error.empty()) {
    if (read.userError) {
      gf_showError(read.error);
    } else {
      gf_showStatus(read.error, true);
    }
    lf_clearParkAirport();
  } else {
    g_parkApf = std::move(read.airport);
    g_parkApf.qfReal = read.qualityFactors.first;
    g_parkApf.qfSoft = read.qualityFactors.second;
    g_parkApfPath = read.path;
    lf_applyQualityToSoftLearning(read);
    lf_rememberStandOfUser();
    lf_setReservedStandFromList();
    // The panel names the airport by its codes; the file's own name follows at x 85.
    gf_setParkAirportName(gf_airportDisplayName(g_parkAirport), true);
    g_learnedUpdates.store(0);
    lf_calcStaticParking();
  }
  gf_enableControl(prm::DESTINATION.controlId(), true);
}

void lf_pollReads() {
  for (auto it = g_readJobs.begin(); it != g_readJobs.end();) {
    if (it->result.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
      ++it;
      continue;
    }
    ParkFileRead read = std::move(const_cast<ParkFileRead&>(it->result.get()));
    const bool current = !it->icao.empty() && it->icao == g_parkAirport.icao;
    it = g_readJobs.erase(it);
    if (current) {
      lf_takeParkFile(std::move(read));
    } else if (g_readJobs.empty() && g_parkAirport.icao.empty()) {
      // A dropped read has shown its airport as loaded: no airport is.
      gf_clearParkAirportDisplay();
      g_referenceElevation.clear();
    }
    // A large stand list is not freed in a pass of the main loop.
    if (!read.stands.empty()) std::thread([stands = std::move(read.stands)] {}).detach();
  }
}

}  // namespace

bool lf_setParkAirport(const std::string& icao) {
  const AirportRec* airport = gf_findAirportByIcao(icao);
  if (airport == nullptr) return false;
  g_parkAirport = *airport;
  g_parkApf = ParkAirport{};
  g_parkApf.icao = airport->icao;
  g_trafficReader.setParkAirportPosition(LatLon{airport->latitude, airport->longitude});
  gf_logLine("\nThe park airport is {}", gf_airportDisplayName(g_parkAirport));
  gf_setParkAirportName(gf_airportDisplayName(g_parkAirport), false);
  return true;
}

void lf_clearParkAirport() {
  lf_cancelSearch();
  for (ReadJob& job : g_readJobs) job.icao.clear();  // dropped when they finish
  lf_saveStandFileOffLoop(std::move(g_parkStands));
  g_apfHandmade.store(false);
  g_apfChanged.store(false);
  gf_enableControl(g_flushStaticButton.controlId(), false);
  gf_enableControl(prm::parking_percentage.controlId(), false);
  g_parkAirport = AirportRec{};
  g_parkApf = ParkAirport{};
  g_parkApfPath.clear();
  g_parkReloadRequest = false;
  g_trafficReader.clearParkAirportPosition();
  g_referenceElevation.clear();
  g_staticCandidates.clear();
  g_parkStands.clear();
  g_reservedStand.clear();
  gf_clearNearestStandCache();
  gf_publishStandSnapshot();
  gf_clearParkAirportDisplay();
}

void lf_readParkedFile() {
  g_parkStands.clear();
  gf_publishStandSnapshot();
  g_parkApf.airportName.clear();
  g_parkApf.publisher.clear();
  g_apfHandmade.store(false);
  ReadJob job;
  job.icao = g_parkAirport.icao;
  std::shared_future<ParkFileRead> previous;
  if (!g_readJobs.empty()) previous = g_readJobs.back().result;
  job.result = std::async(std::launch::async, lf_readOffLoop, g_parkAirport.icao, lf_pendingSave(), previous).share();
  g_readJobs.push_back(std::move(job));
}

bool lf_parkFileReadPending() {
  return std::any_of(g_readJobs.begin(), g_readJobs.end(), [](const ReadJob& j) { return !j.icao.empty(); });
}

void lf_startCalculation(bool firstTime) {
  lf_disableParkingControls();
  g_trafficReader.startCallsignCollection();
  if (firstTime) gf_showStatus("Calculating static parked aircraft ...", false);
}

void gf_staticParkingWork() {
  gf_runParkAirportRequests();
  if (!g_readJobs.empty()) lf_pollReads();
  if (lf_searchRunning()) lf_continueSearch(kSearchSlice);
}

void gf_waitForParkFileRead() {
  lf_waitForSaves();
  for (ReadJob& job : g_readJobs) job.result.wait();
  lf_pollReads();
}
