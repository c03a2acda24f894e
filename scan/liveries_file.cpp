#include "scan/liveries_file.h"

#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "app/errors.h"
#include "app/files.h"
#include "app/log.h"
#include "app/settings.h"
#include "app/xml.h"

LiveryList g_scannedLiveries;

namespace {

// An attribute value escaped as the XML library saves it: "&", "<" and the
// double quote as entities, control characters as "&#NN;", the rest as it is.
void lf_appendAttributeValue(std::string& out, std::string_view value) {
  while (!value.empty()) {
    std::size_t plain = 0;
    while (plain < value.size()) {
      const auto c = static_cast<unsigned char>(value[plain]);
      if (c < 32 || c == '&' || c == '<' || c == '"') break;
      ++plain;
    }
    out.append(value.substr(0, plain));
    if (plain == value.size()) return;
    const char c = value[plain];
    if (c == '&') {
      out += "&amp;";
    } else if (c == '<') {
      out += "&lt;";
    } else if (c == '"') {
      out += "&quot;";
    } else {
      fmt::format_to(std::back_inserter(out), "&#{:02};", static_cast<int>(c));
    }
    value.remove_prefix(plain + 1);
  }
}

void lf_appendAttribute(std::string& out, std::string_view name, std::string_view value) {
  out += ' ';
  out += name;
  out += "=\"";
  lf_appendAttributeValue(out, value);
  out += '"';
}

}  // namespace

bool lf_writeLiveriesScanned() {
  if (g_scannedLiveries.empty()) return true;

  // The document around the liveries, as the XML library saves it, cut where
  // the first "liv" element goes; the liveries are written between the two
  // parts piece by piece, in the library's format, instead of as a document
  // tree of their own.
  pugi::xml_document frame;
  gf_writeMetaInfo(frame);
  frame.append_child("liveries").append_child("liv");
  const std::string frameText = gf_xmlText(frame);
  constexpr std::string_view kPlaceholder = "\t<liv />\n";
  const std::size_t cut = frameText.find(kPlaceholder);
  if (cut == std::string::npos) {
    gf_logError("lf_writeLiveriesScanned: unexpected document frame");
    return false;
  }

  AtomicFileWriter writer(g_liveriesScannedPath);
  writer.write(std::string_view(frameText).substr(0, cut));
  std::string chunk;
  chunk.reserve(std::size_t{1} << 20);
  for (const LiveryData& livery : g_scannedLiveries) {
    chunk += "\t<liv";
    lf_appendAttribute(chunk, "airl", livery.airline);
    lf_appendAttribute(chunk, "type", livery.type);
    if (livery.cargo) lf_appendAttribute(chunk, "cargo", "true");
    lf_appendAttribute(chunk, "title", livery.title);
    if (!livery.registration.empty()) lf_appendAttribute(chunk, "atcid", livery.registration);
    chunk += " />\n";
    if (chunk.size() >= (std::size_t{1} << 20) - 4096) {
      writer.write(chunk);
      chunk.clear();
    }
  }
  writer.write(chunk);
  writer.write(std::string_view(frameText).substr(cut + kPlaceholder.size()));
  const bool saved = writer.commit();
  if (!saved) {
    gf_logError("could not save to '{}'", g_liveriesScannedPath.string());
    return false;
  }
  gf_logLine("'{}' saved", g_liveriesScannedPath.string());
  gf_logLine("{} liveries in {}", g_scannedLiveries.size(), g_liveriesScannedPath.string());
  // What a read of the file would take from its meta block.
  if (gf_readMetaInfo(frame, prm::author) && gf_readMetaInfo(frame, prm::date)) gf_readMetaInfo(frame, prm::version);
  return true;
}

void lf_readLiveriesXml() {
  g_scannedLiveries.clear();
  const std::string path = g_liveriesScannedPath.string();

  pugi::xml_document doc;
  if (const FileReadResult loaded = gf_loadXmlFile(g_liveriesScannedPath, kLiveriesFileMaxBytes, doc); !loaded) {
    if (loaded.problem == FileProblem::missing)
      throw qor::UserErrorException(51, fmt::format("File {} not found", path));
    throw qor::UserErrorException(51, loaded.message);  // not readable, or corrupt: says which
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
