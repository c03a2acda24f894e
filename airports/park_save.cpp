#include "airports/park_save.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <utility>

#include <fmt/format.h>

#include "airports/learned_file.h"
#include "airports/learned_merge.h"
#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/park_read.h"
#include "airports/quality.h"
#include "app/clock.h"
#include "app/file_stamp.h"
#include "app/files.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/text.h"
#include "app/xml.h"
#include "traffic/aircraft.h"
#include "ui/display_state.h"
#include "ui/status_line.h"

std::string g_parkApfPath;

namespace {

// Everything one save needs, taken on the run thread.
struct SaveJob {
  ParkAirport airport;  // without stands
  std::vector<Stand> stands;
  std::filesystem::path path;
  bool due = false;
  bool skipped = false;  // due, but the learned file is left as it is
  bool handmade = false;
  bool changed = false;
  std::uint32_t updates = 0;
  FileStamp learnedFile;  // the learned file as the park file's read found it
};

// The latest save started. Saves run one after the other, each on a thread of
// its own that first waits for the one before it; that wait also joins the
// thread before, so the run thread never joins a save thread (a thread that
// has just freed a large stand list may still be handing that memory back to
// the system as it ends, for several milliseconds).
std::shared_future<bool> g_latestSave;

// Only a file below "airports/learned" is a learned file: any other path
// would be the park file itself, which the save must never replace.
bool lf_isLearnedFolderPath(const std::filesystem::path& path) {
  const std::filesystem::path learned = (g_airportsFolder / "learned").lexically_normal();
  const std::filesystem::path normal = path.lexically_normal();
  auto l = learned.begin();
  auto p = normal.begin();
  for (; l != learned.end(); ++l, ++p) {
    if (p == normal.end() || *l != *p) return false;
  }
  return p != normal.end();
}

SaveJob lf_prepareSave(std::vector<Stand>&& stands) {
  SaveJob job;
  job.stands = std::move(stands);
  stands.clear();
  job.due = lf_parkAirportHasChanges();
  if (!job.due) return job;
  job.updates = g_learnedUpdates.load();
  job.changed = g_apfChanged.load();
  job.handmade = g_apfHandmade.load();
  job.airport.icao = g_parkApf.icao;
  job.airport.airportName = g_parkApf.airportName;
  job.airport.publisher = g_parkApf.publisher;
  job.airport.altitude = g_parkApf.altitude;
  job.airport.qfReal = g_parkApf.qfReal;
  job.airport.qfSoft = g_parkApf.qfSoft;
  job.airport.keptStands = g_parkApf.keptStands;
  job.learnedFile = g_parkApf.learnedFile;
  job.airport.learnedSettings = g_parkApf.learnedSettings;
  // Only this save needs it: the stands it describes are handed over too.
  job.airport.learnedStands = std::move(g_parkApf.learnedStands);
  job.path = lf_learnedPathFor(g_parkApfPath, job.airport.publisher);
  // Every save resets the counters, failed or not: what a failed save held is
  // not tried again, and the next airport starts from nothing.
  g_learnedUpdates.fetch_sub(job.updates);
  g_apfChanged.store(false);
  if (!g_parkApf.keepLearnedFile.empty()) {
    // The file holds what is not in memory (stands beyond the limit and what
    // was learned or made on them, or a file not read whole): a save would
    // drop it.
    const std::string skipped = fmt::format("the learned file '{}' of {} is left as it is, nothing saved: {}",
                                            job.path.string(), job.airport.icao, g_parkApf.keepLearnedFile);
    gf_logError("{}", skipped);
    gf_showStatus(skipped, false);
    job.due = false;
    job.skipped = true;
    return job;
  }
  g_simLabel.set(g_isMsfs2020.load() ? "MSFS" : "MSFS2024");
  return job;
}

enum class ChangedFileSave { saved, failed, inPlace };

// The learned file changed on disk since it was read (or appeared, or went):
// it is the user's and is never written over. What was learned is merged
// into an ordinary learned file, or, when the file is gone, written in its
// place without what was read from it. A file the read would keep aside (not
// XML, cut short, without a meta entry) is kept aside as the read does and
// then saved in place with all that is in memory (inPlace). Else (a handmade
// file on either side, a file that cannot be read) what was learned is saved
// beside it under a name shown on the status line.
ChangedFileSave lf_saveOverChangedFile(SaveJob& job, const std::string& time) {
  const std::string path = job.path.string();
  const std::string updates = fmt::format("{} update{}{}", job.updates, gf_pluralS(static_cast<std::int32_t>(job.updates)),
                                          job.changed ? " and one or more parameter changes" : "");
  std::string why = "what was learned is a handmade file";
  const LearnedMerge merged =
      job.handmade ? LearnedMerge::leftAlone : gf_mergeIntoLearnedFile(job.path, job.airport, why);
  if (merged == LearnedMerge::merged) {
    gf_logLine("{} '{}' changed since it was read: {} merged into it", time, path, updates);
    return ChangedFileSave::saved;
  }
  if (merged == LearnedMerge::intoNew) {
    gf_logLine("{} '{}' was deleted since it was read: only what was learned since ({}) is saved in its place", time,
               path, updates);
    return ChangedFileSave::saved;
  }
  if (merged == LearnedMerge::notLearned) {
    try {
      const std::filesystem::path backup = lf_keepAside(job.path);
      gf_logLine("{} '{}' changed since it was read and is not a learned file that can be read ({}): kept aside",
                 time, path, why);
      lf_showKeptAside(job.path, backup, "changed while its airport was loaded and could not be read");
      return ChangedFileSave::inPlace;
    } catch (const std::exception& e) {
      why = fmt::format("{}, and it could not be kept aside: {}", why, e.what());
    }
  }
  const std::filesystem::path beside = gf_freeAsidePath(job.path, kLearnedBesideSuffix);
  if (beside.empty() || !gf_writeApf(job.airport, beside, ApfMode::learned, job.handmade)) {
    const std::string failed = fmt::format("{} saving '{}' did not succeed: the file changed since it was read ({})",
                                           time, path, why);
    gf_logLine("{}", failed);
    gf_showStatus(failed, false);
    return ChangedFileSave::failed;
  }
  const std::string shown = fmt::format("The learned file '{}' changed while its airport was loaded ({}): it is "
                                        "left as it is, and what was learned is saved as '{}'",
                                        path, why, beside.string());
  gf_logLine("{} {}, with {}", time, shown, updates);
  gf_showStatus(shown, false);
  return ChangedFileSave::saved;
}

// Writes the file (any thread); true when saved or nothing was due.
bool lf_writeSave(SaveJob& job) {
  if (!job.due) return !job.skipped;
  ParkAirport& airport = job.airport;
  if (job.handmade) {
    // Over every stand of the airport: a stand without options lowers them.
    const auto factors = gf_computeQualityFactors(job.stands);
    airport.qfReal = factors.first;
    airport.qfSoft = factors.second;
  }
  airport.stands.reserve(job.stands.size());
  for (Stand& stand : job.stands) {
    // A handmade file replaces the park file's stands when it is read: a
    // stand left out of it would be gone from the airport, so it keeps all.
    if (!job.handmade) {
      std::erase_if(stand.options, [](const StandOption& o) { return o.origin == 1; });
      if (!stand.manual && stand.options.empty() && !stand.radiusChange && !stand.cargoChange &&
          stand.refusedRadius.empty()) {
        continue;
      }
    }
    airport.stands.push_back(std::move(stand));
  }
  job.stands.clear();
  const std::string time = gf_nowHms();
  bool saved = false;
  if (job.path.empty() || !lf_isLearnedFolderPath(job.path)) {
    gf_logError("the learned file of {} has no place ('{}'), nothing saved", airport.icao, job.path.string());
  } else {
    std::error_code ec;
    std::filesystem::create_directories(job.path.parent_path(), ec);
    if (ec) gf_logError("create_directories: {}: {}", job.path.parent_path().string(), ec.message());
    if (!ec && gf_fileStamp(job.path) != job.learnedFile) {
      const ChangedFileSave done = lf_saveOverChangedFile(job, time);
      if (done != ChangedFileSave::inPlace) return done == ChangedFileSave::saved;
    }
    saved = !ec && gf_writeApf(airport, job.path, ApfMode::learned, job.handmade);
  }
  if (!saved) {
    // Logged whatever the run state (the status line logs nothing while a
    // stop is pending, and the close-down unloads the airport).
    const std::string failed = fmt::format("{} saving '{}' did not succeed", time, job.path.string());
    gf_logLine("{}", failed);
    gf_showStatus(failed, false);
    return false;
  }
  gf_logLine("{}{} '{}' saved with {} update{} {}", time, job.handmade ? " handmade" : "", job.path.string(),
             job.updates, gf_pluralS(static_cast<std::int32_t>(job.updates)),
             job.changed ? "and one or more parameter changes" : "");
  return true;
}

}  // namespace

bool lf_parkAirportHasChanges() {
  return gf_parkFileLoaded() && (g_apfChanged.load() || g_learnedUpdates.load() >= 1);
}

bool lf_saveStandFile(std::vector<Stand>&& stands) {
  SaveJob job = lf_prepareSave(std::move(stands));
  return lf_writeSave(job);
}

void lf_saveStandFileOffLoop(std::vector<Stand>&& stands) {
  auto job = std::make_shared<SaveJob>(lf_prepareSave(std::move(stands)));
  // The job is released inside the thread: freeing a large stand list must
  // not fall to the run thread when it lets go of the finished future.
  g_latestSave = std::async(std::launch::async,
                            [job, previous = g_latestSave]() mutable {
                              if (previous.valid()) previous.wait();
                              previous = {};
                              const bool saved = lf_writeSave(*job);
                              job.reset();
                              return saved;
                            })
                     .share();
}

std::shared_future<bool> lf_pendingSave() { return g_latestSave; }

void lf_waitForSaves() {
  if (g_latestSave.valid()) g_latestSave.wait();
  g_latestSave = {};
}
