#include "aircraftdata/static_livery.h"

#include <mutex>
#include <optional>

#include "aircraftdata/livery_tables.h"
#include "app/random.h"

namespace {

using TypeAirlineTitles = LiveryTextTable<LiveryTextTable<TitleList>>;

const TitleList* lf_titles(const TypeAirlineTitles& table, const std::string& type, const std::string& airline) {
  const auto byType = table.find(type);
  if (byType == table.end()) return nullptr;
  const auto byAirline = byType->second.find(airline);
  if (byAirline == byType->second.end() || byAirline->second.empty()) return nullptr;
  return &byAirline->second;
}

std::optional<std::string> lf_pick(const TitleList* titles) {
  if (titles == nullptr || titles->empty()) return std::nullopt;
  return std::string((*titles)[gf_randomIndex(titles->size())]);
}

std::optional<std::string> lf_matchIn(const TypeAirlineTitles& titles,
                                      const LiveryTextTable<std::vector<std::string>>& similar,
                                      const AircraftIdentity& identity) {
  if (auto title = lf_pick(lf_titles(titles, identity.type, identity.airline))) return title;
  const auto types = similar.find(identity.type);
  if (types == similar.end()) return std::nullopt;
  for (const std::string& type : types->second)
    if (auto title = lf_pick(lf_titles(titles, type, identity.airline))) return title;
  return std::nullopt;
}

}  // namespace

bool gf_matchLiveryStatic(ParkedAircraft& aircraft, const Stand& stand) {
  AircraftIdentity& identity = aircraft.identity;
  std::shared_lock lock(g_liveryTablesMutex);
  const LiveryTables& t = g_liveryTables;
  std::optional<std::string> title;
  if (!identity.registration.empty()) {
    const std::string_view* bound = t.regcodeTitles.find(identity.registration);
    if (bound != nullptr && !bound->empty()) title = std::string(*bound);
  }
  if (identity.airline.empty() || identity.type.empty()) {
    // Without airline or type only the registration can choose.
  } else if (!title) {
    const bool cargo = identity.cargo != 0 || stand.cargo != 0;
    if (cargo) {
      title = lf_matchIn(t.cargoTypeAirlineTitles, t.cargoSimilarModels, identity);
      if (!title) title = lf_matchIn(t.paxTypeAirlineTitles, t.paxSimilarModels, identity);
    } else {
      title = lf_matchIn(t.paxTypeAirlineTitles, t.paxSimilarModels, identity);
      if (!title) title = lf_matchIn(t.cargoTypeAirlineTitles, t.cargoSimilarModels, identity);
    }
  }
  if (!title) return false;
  identity.liveryTitle = std::move(*title);
  return true;
}
