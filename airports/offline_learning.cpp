#include "airports/offline_learning.h"

#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/park_file.h"
#include "airports/park_find.h"
#include "app/download.h"
#include "app/log.h"
#include "app/xml.h"

namespace fs = std::filesystem;

bool gf_checkOfflineLearningCandidate(std::string_view icao) {
  const fs::path local = gf_apfXmlPath(icao);
  const std::string url = gf_downloadBaseUrl(true) + "archive/stock/" + gf_apfFileName(icao);
  gf_logLine("{}", url);
  CurlHandle curl;
  // A close or stop aborts the download at once instead of waiting for a slow server.
  gf_abortOnStop(curl.get());
  if (!gf_downloadToFile(curl.get(), url, local, false)) {
    gf_logError("Failed to download {}", local.string());
    return false;
  }
  bool result = false;
  pugi::xml_document document;
  std::string error;
  if (!gf_loadApfDocument(local, document, error)) {
    gf_logError("Failed to load {}", local.string());
  } else {
    const auto [realFactor, softFactor] = gf_readApfQualityFactors(document);
    if (realFactor >= 0 || softFactor >= 0) {
      bool found = false;
      const std::int32_t week = gf_getParamInt(document, "RT_traffic_week", found);
      result = found && week >= kOfflineLearningMinTrafficWeek;
    }
  }
  fs::remove(local);
  if (!result) gf_logError("{} not suitable for offline learning", icao);
  return result;
}

std::string gf_readApfManufacturer(const fs::path& path) {
  pugi::xml_document document;
  std::string error;
  if (!gf_loadApfDocument(path, document, error)) return fmt::format("'{}' not found)", path.string());
  bool found = false;
  const std::string publisher = gf_getParamString(document, "publisher", found);
  if (found && publisher != "unknown") return {};
  bool manufacturerFound = false;
  bool creatorFound = false;
  const std::string manufacturer = gf_getParamString(document, "manufacturer", manufacturerFound);
  const std::string creator = gf_getParamString(document, "creator", creatorFound);
  if ((manufacturerFound && manufacturer.size() >= 4) || (creatorFound && creator.size() >= 4)) return {};
  return fmt::format("{}={}, {}={}", "manufacturer", manufacturer, "creator", creator);
}
