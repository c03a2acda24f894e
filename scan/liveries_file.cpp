#include "scan/liveries_file.h"

#include <algorithm>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "app/errors.h"
#include "app/files.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/xml.h"

LiveryList g_scannedLiveries;

void lf_writeLiveriesScanned() {
  if (g_scannedLiveries.empty()) return;

  pugi::xml_document doc;
  gf_writeMetaInfo(doc);
  pugi::xml_node liveries = doc.append_child("liveries");
  for (const LiveryData& livery : g_scannedLiveries) {
    pugi::xml_node liv = liveries.append_child("liv");
    liv.append_attribute("airl").set_value(livery.airline.c_str());
    liv.append_attribute("type").set_value(livery.type.c_str());
    if (livery.cargo) liv.append_attribute("cargo").set_value("true");
    liv.append_attribute("title").set_value(livery.title.c_str());
    if (!livery.registration.empty()) liv.append_attribute("atcid").set_value(livery.registration.c_str());
  }
  gf_saveXml(doc, g_liveriesScannedPath);
  gf_logLine("{} liveries in {}", g_scannedLiveries.size(), g_liveriesScannedPath.string());
}

void lf_readLiveriesXml() {
  g_scannedLiveries.clear();
  const std::string path = g_liveriesScannedPath.string();

  pugi::xml_document doc;
  if (!doc.load_file(g_liveriesScannedPath.c_str())) {
    throw qor::UserErrorException(51, fmt::format("File {} not found", path));
  }

  // Each meta entry only when the one before was found.
  if (gf_readMetaInfo(doc, prm::author) && gf_readMetaInfo(doc, prm::date)) gf_readMetaInfo(doc, prm::version);

  const pugi::xml_node liveries = doc.child("liveries");
  if (!liveries) throw qor::UserErrorException(52, fmt::format("{} does not contain a <liveries> section", path));

  for (const pugi::xml_node liv : liveries.children("liv")) {
    LiveryData livery;
    for (const char* required : {"airl", "type", "title"}) {
      if (!liv.attribute(required)) {
        throw qor::UserErrorException(999, fmt::format("Missing required attribute '{}' in <{}>", required, "liv"));
      }
    }
    livery.airline = liv.attribute("airl").value();
    livery.type = liv.attribute("type").value();
    livery.title = liv.attribute("title").value();
    livery.registration = liv.attribute("atcid").value();
    livery.cargo = gf_textToBool(liv.attribute("cargo").value());
    livery.folderRank = 0;
    g_scannedLiveries.push_back(std::move(livery));
  }
  if (g_scannedLiveries.empty()) throw qor::UserErrorException(533, path + " does not contain liveries");

  // The file is written in scan order; a hand-edited one may not be.
  if (!std::is_sorted(g_scannedLiveries.begin(), g_scannedLiveries.end(), gf_liveryLess))
    std::stable_sort(g_scannedLiveries.begin(), g_scannedLiveries.end(), gf_liveryLess);
  gf_logLine("{} liveries read from {}", g_scannedLiveries.size(), path);
}
