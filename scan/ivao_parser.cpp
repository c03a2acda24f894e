#include "scan/ivao_parser.h"

#include <algorithm>
#include <array>
#include <exception>
#include <filesystem>
#include <system_error>

#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "app/files.h"
#include "app/log.h"
#include "app/text.h"
#include "scan/scan_reports.h"

namespace fs = std::filesystem;

namespace {

bool lf_isSeparator(char c) { return c == '\\' || c == '/'; }
bool lf_isWordChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool lf_isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool lf_isLineBreak(char c) { return c == '\r' || c == '\n'; }

// Equal ignoring ASCII letter case; a separator in the pattern stands for
// either separator.
bool lf_pathPartEquals(std::string_view text, std::string_view pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (lf_isSeparator(pattern[k])) {
      if (!lf_isSeparator(text[k])) return false;
    } else if (gf_lowerAscii(text[k]) != gf_lowerAscii(pattern[k])) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string lf_readTexture(std::string_view line) {
  std::string_view raw;
  if (!lf_matchKeyLine(line, "texture", &raw)) return {};
  return lf_applyQuoteRule(raw);
}

std::optional<std::string> lf_ivaoModelFolder(std::string_view path, std::string_view package) {
  // From the end: "aircraft?cfg" (any character but a line break in the
  // place of the dot), a separator, "IVAO_" and the model's word characters,
  // a separator, then "<separator><package>\SimObjects\Airplanes" with at
  // least one character (no line break) before it.
  constexpr std::string_view kFile = "aircraft.cfg";
  const std::size_t n = path.size();
  if (n < kFile.size() + 1) return std::nullopt;
  const std::string_view file = path.substr(n - kFile.size());
  for (std::size_t k = 0; k < kFile.size(); ++k) {
    if (k == 8) {
      if (lf_isLineBreak(file[k])) return std::nullopt;
    } else if (gf_lowerAscii(file[k]) != kFile[k]) {
      return std::nullopt;
    }
  }
  const std::size_t fileSeparator = n - kFile.size() - 1;
  if (!lf_isSeparator(path[fileSeparator])) return std::nullopt;
  std::size_t start = fileSeparator;
  while (start > 0 && lf_isWordChar(path[start - 1])) --start;
  const std::string_view model = path.substr(start, fileSeparator - start);
  if (model.size() < 6 || !lf_pathPartEquals(model.substr(0, 5), "IVAO_")) return std::nullopt;

  const std::string parents = fmt::format("\\{}\\SimObjects\\Airplanes\\", package);
  if (start < parents.size() + 1) return std::nullopt;
  const std::size_t parentsStart = start - parents.size();
  if (!lf_pathPartEquals(path.substr(parentsStart, parents.size()), parents)) return std::nullopt;
  if (std::any_of(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(parentsStart), lf_isLineBreak))
    return std::nullopt;
  return std::string(model.substr(5));
}

std::string lf_ivaoModelFromPath(std::string_view path) {
  std::optional<std::string> model = lf_ivaoModelFolder(path, "IVAO_MTL");
  if (!model) model = lf_ivaoModelFolder(path, "ivao_x-csl");
  if (!model) {
    gf_reportInvalidType(fmt::format("{:16} in {}", "  ", path));
    return {};
  }
  // The model folder names begin with the type code, in the case written.
  return lf_resolveType(model->substr(0, 4), path);
}

bool lf_ivaoWingletFlag(std::string_view folder) {
  constexpr std::array<std::string_view, 5> kWingletFolders{"IVAO_B738WLfa", "IVAO_B739WLfa", "IVAO_A320wCFM",
                                                            "IVAO_A320wIAE", "IVAO_A319fIAEw"};
  return std::any_of(kWingletFolders.begin(), kWingletFolders.end(),
                     [&](std::string_view name) { return folder.find(name) != std::string_view::npos; });
}

std::optional<std::string> lf_ivaoAirlineOfTitle(std::string_view title, std::string_view type, bool wingletFlag) {
  // The model code is taken literally, whatever characters it holds.
  const std::string prefix = gf_toLower(type) + (wingletFlag ? "w" : "");
  if (title.size() < prefix.size() || gf_toLower(title.substr(0, prefix.size())) != prefix) return std::nullopt;
  std::size_t i = prefix.size();
  while (i < title.size() && lf_isBlank(title[i])) ++i;
  if (title.size() - i < 3) return std::nullopt;
  for (std::size_t k = i; k < i + 3; ++k)
    if (!lf_isWordChar(title[k])) return std::nullopt;
  if (std::any_of(title.begin() + static_cast<std::ptrdiff_t>(i + 3), title.end(), lf_isLineBreak))
    return std::nullopt;
  return std::string(title.substr(i, 3));
}

bool lf_textureFolderExists(const std::string& folder, std::string_view name) {
  if (!gf_isPlainPathComponent(name)) return false;
  // Windows drops trailing dots and blanks of a name: "texture." is "texture".
  std::string lookup(name);
  while (!lookup.empty() && (lookup.back() == '.' || lookup.back() == ' ')) lookup.pop_back();
  if (lookup.empty()) return false;

  const fs::path base = folder.empty() ? fs::path(".") : fs::path(folder);
  const std::optional<fs::path> found = gf_findEntryIgnoringCase(base, lookup);
  if (!found) return false;
  std::error_code ec;
  const bool isDirectory = fs::is_directory(*found, ec);
  if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("is_directory", *found, ec);
  return isDirectory;
}

namespace {

void lf_processIvaoSection(std::uint32_t rank, CfgLines& section, const std::string& type, const std::string& path,
                           const std::string& folder, ParsedFile& file) {
  const bool wingletFlag = lf_ivaoWingletFlag(folder);
  while (section.size() > 1 && (section.back().empty() || section.back().starts_with("//"))) section.pop_back();
  if (section.empty()) return;
  const std::string header(section.front());

  std::string title, parkingTypes, registration, texture;
  bool registrationTaken = false, textureTaken = false;
  // The first repeated key ends the section without a record. The walk goes
  // on for the texture line only: a missing texture folder is reported
  // alone, whatever else is wrong with the section, so every other line of
  // the section waits in pending until the folder is known to exist.
  std::optional<std::string> repeatedKey;
  std::vector<std::string> pending;

  for (const std::string_view line : section) {
    if (!repeatedKey) {
      if (title.empty()) {
        if (std::string value = lf_readTitle(line); !value.empty()) {
          title = gf_trim(value);
          if (title.size() != value.size()) gf_scanLog("removed spaces around title '{}' --> '{}'", value, title);
          continue;
        }
      } else if (lf_matchKeyLine(line, "title")) {
        repeatedKey = folder + " " + header + " has more than one title key";
        continue;
      }
      if (parkingTypes.empty()) {
        if (std::string value = lf_readAtcParkingTypes(line); !value.empty()) {
          parkingTypes = gf_toUpper(gf_trimCommaList(value));
          continue;
        }
      } else if (lf_hasParkingTypesKey(line)) {
        repeatedKey = folder + " " + header + " has more than one atc_parking_types key";
        continue;
      }
      if (!registrationTaken) {
        if (std::string value = lf_readAtcId(line); !value.empty()) {
          registrationTaken = true;
          std::string single;
          switch (lf_checkAtcId(value, &single)) {
            case AtcIdKind::Single:
              registration = std::move(single);
              break;
            case AtcIdKind::Several:
              break;
            case AtcIdKind::Invalid:
              pending.push_back(fmt::format("invalid atc_id={} in {}", value, title));
              break;
          }
          continue;
        }
      } else if (lf_hasAtcIdKey(line)) {
        repeatedKey = fmt::format("{}, {}, has more than one atc_id key", folder, header);
        continue;
      }
    }
    if (!textureTaken) {
      if (std::string value = lf_readTexture(line); !value.empty()) {
        texture = std::move(value);
        textureTaken = true;
      }
    }
  }

  const std::string textureName = "texture." + texture;
  if (!lf_textureFolderExists(folder, textureName)) {
    const fs::path textureFolder = (folder.empty() ? fs::path() : fs::path(folder)) / textureName;
    gf_reportIncompleteSection(textureFolder.string() + " " + header + " does not exist");
    return;
  }
  for (std::string& line : pending) gf_reportIncompleteSection(std::move(line));
  if (repeatedKey) {
    gf_reportIncompleteSection(std::move(*repeatedKey));
    return;
  }
  if (title.empty()) {
    gf_reportIncompleteSection(folder + " " + header + " misses title");
    return;
  }
  if (g_dontUseLiveryTitles.contains(title)) return;

  std::string airline;
  if (std::optional<std::string> code = lf_ivaoAirlineOfTitle(title, type, wingletFlag)) {
    if (!gf_isIcaoAirline(*code)) {
      gf_reportInvalidAirline(fmt::format("{:12} in {} ", *code, path) + header);
      return;
    }
    airline = std::move(*code);
    if (airline == g_genericAirline) registration.clear();
  } else {
    const std::string missing = folder + " " + header + " misses airlinecode in title: " + title;
    if (registration.empty()) {
      gf_reportIncompleteSection(missing + ", and no regcode");
      return;
    }
    const DbaseRec* record = gf_findRegcode(registration);
    if (record != nullptr) airline = record->airl.empty() ? record->opr : record->airl;
    if (airline.empty()) {
      gf_reportIncompleteSection(missing + ", and regcode unknown " + registration);
      return;
    }
  }

  LiveryData record;
  record.airline = std::move(airline);
  record.type = type;
  record.title = title;
  record.registration = std::move(registration);
  record.folderRank = rank;
  record.cargo = false;  // the parking types serve only the repeated-key test here
  if (!file.accept(std::move(record), header))
    gf_reportIncompleteSection(folder + " " + header + " title already exists: " + title);
}

}  // namespace

void lf_procesIvaoFltSimSection(std::uint32_t rank, CfgLines& section, const std::string& type,
                                const std::string& path, const std::string& folder, ParsedFile& file) {
  try {
    lf_processIvaoSection(rank, section, type, path, folder, file);
  } catch (const std::exception& e) {
    gf_scanLogError("Exception in lf_procesIvaoFltSimSection: {}, file: {}", e.what(), path);
    throw;
  }
}

ParsedFile gf_parseIvaoCfg(std::uint32_t rank, const std::string& path, const std::string& type,
                           const CfgLines& lines) {
  ParsedFile file;
  file.ivao = true;
  if (!lf_findFltsimSections(lines, path)) return file;
  const std::string folder = lf_folderOf(path);
  lf_forEachFltsimSection(lines, [&](CfgLines& section) {
    lf_procesIvaoFltSimSection(rank, section, type, path, folder, file);
  });
  return file;
}

LiveryList gf_parseIvaoCfgLines(std::uint32_t rank, const std::string& path, const std::string& type,
                                const std::vector<std::string>& lines) {
  LiveryList liveries = gf_parseIvaoCfg(rank, path, type, CfgLines(lines.begin(), lines.end())).liveries;
  std::stable_sort(liveries.begin(), liveries.end(), gf_liveryLess);
  return liveries;
}

ParsedFile gf_parseIvaoCfgFile(std::uint32_t rank, const std::string& path) {
  try {
    ParsedFile none;
    none.ivao = true;
    const std::string type = lf_ivaoModelFromPath(path);
    if (type.empty()) return none;
    CfgText cfg;
    switch (lf_readAircraftCfg(path, cfg)) {
      case CfgRead::Ok:
        return gf_parseIvaoCfg(rank, path, type, cfg.lines);
      case CfgRead::Empty:
      case CfgRead::NoCharset:
        gf_scanLogError("No character set found for {}", path);
        return none;
      default:
        return none;
    }
  } catch (const std::exception& e) {
    gf_scanLogError("Exception in lf_searchIvaoLiveriesInFile {}: {}", path, e.what());
    throw;
  }
}

LiveryList lf_searchIvaoLiveriesInFile(std::uint32_t rank, const std::string& path) {
  LiveryList liveries = gf_parseIvaoCfgFile(rank, path).liveries;
  std::stable_sort(liveries.begin(), liveries.end(), gf_liveryLess);
  return liveries;
}
