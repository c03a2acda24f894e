#include "scan/liveries_file.h"

#include <algorithm>
#include <array>
#include <deque>
#include <filesystem>
#include <future>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "app/errors.h"
#include "app/files.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "app/tasks.h"
#include "app/xml.h"

ScannedLiveryList g_scannedLiveries;

namespace {

// The bytes that an attribute value cannot hold as they are: control
// characters, "&", "<" and the double quote.
constexpr std::array<bool, 256> kEscaped = [] {
  std::array<bool, 256> escaped{};
  for (int c = 0; c < 32; ++c) escaped[static_cast<std::size_t>(c)] = true;
  escaped['&'] = escaped['<'] = escaped['"'] = true;
  return escaped;
}();

// An attribute value escaped as the XML library saves it: "&", "<" and the
// double quote as entities, control characters as "&#NN;", the rest as it is.
void lf_appendAttributeValue(std::string& out, std::string_view value) {
  while (!value.empty()) {
    std::size_t plain = 0;
    while (plain < value.size() && !kEscaped[static_cast<unsigned char>(value[plain])]) ++plain;
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

// The "liv" lines of liveries [begin, end) of the scanned list.
std::string lf_livLines(std::size_t begin, std::size_t end) {
  std::string out;
  out.reserve((end - begin) * 112);  // a line is about 100 bytes
  const ScannedLiveryList& liveries = g_scannedLiveries;
  for (std::size_t i = begin; i < end; ++i) {
    liveries.prefetch(i + kPrefetchAhead);
    if (i + kPrefetchAhead / 2 < end) gf_prefetch(liveries[i + kPrefetchAhead / 2].title.data());
    const LiveryData& livery = liveries[i];
    out += "\t<liv";
    lf_appendAttribute(out, "airl", livery.airline);
    lf_appendAttribute(out, "type", livery.type);
    if (livery.cargo) lf_appendAttribute(out, "cargo", "true");
    lf_appendAttribute(out, "title", livery.title);
    if (!livery.registration.empty()) lf_appendAttribute(out, "atcid", livery.registration);
    out += " />\n";
  }
  return out;
}

// Liveries per slice of the "liv" lines (about 0.2 MiB of text).
constexpr std::size_t kLivSlice = 2048;
// The slices of a list that is written with helpers.
constexpr std::size_t kLivSlicesForHelpers = 64;

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
  // The lines are made in slices by helper tasks, a few slices ahead, while
  // this thread writes the oldest one done: the slices are written in
  // order, so the file is the same however many helpers there are, and only
  // the slices in flight are held at once.
  const std::size_t total = g_scannedLiveries.size();
  if (total < kLivSlicesForHelpers * kLivSlice) {
    // A small list is written by this thread alone: helpers would cost more
    // memory than the time they save.
    for (std::size_t from = 0; from < total; from += kLivSlice)
      writer.write(lf_livLines(from, std::min(total, from + kLivSlice)));
  } else {
    const auto inFlight = static_cast<std::size_t>(std::max(1, g_maxTasks.load()));
    std::deque<std::future<std::string>> slices;
    std::size_t next = 0;
    const auto startSlice = [&] {
      const std::size_t from = next;
      next = std::min(total, next + kLivSlice);
      slices.push_back(gf_startTask([from, to = next] { return lf_livLines(from, to); }));
    };
    try {
      while (next < total && slices.size() < inFlight) startSlice();
      while (!slices.empty()) {
        const std::string lines = slices.front().get();
        slices.pop_front();
        if (next < total) startSlice();
        writer.write(lines);
      }
    } catch (...) {
      // The helpers read the list: none may outlive the write.
      for (auto& slice : slices) slice.wait();
      throw;
    }
  }
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

  LiveryList list;
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
    list.push_back(std::move(livery));
  }
  if (list.empty()) throw qor::UserErrorException(533, path + " does not contain liveries");

  // The file is written in scan order; a hand-edited one may not be.
  if (!std::is_sorted(list.begin(), list.end(), gf_liveryLess)) std::stable_sort(list.begin(), list.end(), gf_liveryLess);
  g_scannedLiveries = std::move(list);
  gf_logLine("{} liveries read from {}", g_scannedLiveries.size(), path);
}
