#include "aircraftdata/dont_use_titles.h"

#include <algorithm>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "app/files.h"
#include "app/log.h"
#include "app/text.h"
#include "app/xml.h"
#include "scan/cfg_parser.h"

namespace {

bool lf_isBlank(char c) { return c == ' ' || c == '\t'; }

// A registration is one word of printable characters, not too long.
bool lf_isUsableRegistration(std::string_view registration) {
  if (registration.empty() || registration.size() > kMaxRegistrationLength) return false;
  return std::none_of(registration.begin(), registration.end(),
                      [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

}  // namespace

std::filesystem::path gf_regcodeDataFilePath() { return g_inputFolder / kRegcodeDataFileName; }
std::filesystem::path gf_userRegcodesFolder() { return g_inputFolder / kUserRegcodesFolderName; }
std::filesystem::path gf_userDontUseFolder() { return g_inputFolder / kUserDontUseFolderName; }

RegcodeDataFile gf_readRegcodeDataFile(const std::filesystem::path& path) {
  pugi::xml_document document;
  if (const FileReadResult loaded = gf_loadXmlFile(path, kRegcodeDataFileMaxBytes, document); !loaded)
    throw std::runtime_error(loaded.message);
  const pugi::xml_node root = document.document_element();
  if (std::string_view(root.name()) != "regcodes")
    throw std::runtime_error(fmt::format("{} has the root <{}>, not <regcodes>", path.string(), root.name()));

  RegcodeDataFile result;
  for (const pugi::xml_node element : root.children()) {
    if (element.type() != pugi::node_element) continue;
    const std::string_view name = element.name();
    if (name == "reg") {
      OfflineRegcode entry{gf_trim(element.attribute("code").as_string()),
                           gf_trim(element.attribute("title").as_string())};
      if (lf_isUsableRegistration(entry.registration) && !entry.title.empty())
        result.regcodes.push_back(std::move(entry));
      else
        ++result.skipped;
    } else if (name == "dontuse") {
      std::string title = gf_trim(element.attribute("title").as_string());
      if (!title.empty())
        result.dontUseTitles.push_back(std::move(title));
      else
        ++result.skipped;
    } else {
      ++result.skipped;
    }
  }
  return result;
}

std::vector<std::filesystem::path> gf_listUserTextFiles(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  std::error_code ec;
  if (!std::filesystem::is_directory(folder, ec)) return files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    if (gf_toUpper(entry.path().extension().string()) != ".TXT") continue;
    files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end(),
            [](const auto& a, const auto& b) { return a.filename().string() < b.filename().string(); });
  return files;
}

std::vector<std::string> gf_readUserTextFile(const std::filesystem::path& path) {
  std::string content;
  if (const FileReadResult read = gf_readUserFile(path, kUserTextFileMaxBytes, content); !read)
    throw std::runtime_error(read.message);
  std::vector<std::string> lines;
  if (content.empty()) return lines;
  const int charset = gf_charsetOfSample(content);
  if (charset == kCharsetNone)
    throw std::runtime_error(fmt::format("{} is no text file of a known character set", path.string()));
  std::vector<std::string> raw;
  gf_textToLines(charset, std::move(content), raw);
  for (const std::string& line : raw) {
    std::string trimmed = gf_trim(line);
    if (!trimmed.empty()) lines.push_back(std::move(trimmed));
  }
  return lines;
}

bool gf_splitRegcodeLine(std::string_view line, OfflineRegcode& entry) {
  const std::size_t end = static_cast<std::size_t>(std::find_if(line.begin(), line.end(), lf_isBlank) - line.begin());
  std::string registration(line.substr(0, end));
  std::string title = gf_trim(line.substr(end));
  if (!lf_isUsableRegistration(registration) || title.empty()) return false;
  entry.registration = std::move(registration);
  entry.title = std::move(title);
  return true;
}

void lf_processDontUseTitles() {
  try {
    g_dontUseLiveryTitles.clear();
    const std::filesystem::path dataFile = gf_regcodeDataFilePath();
    std::error_code ec;
    if (std::filesystem::exists(dataFile, ec)) {
      try {
        const RegcodeDataFile data = gf_readRegcodeDataFile(dataFile);
        g_dontUseLiveryTitles.insert(data.dontUseTitles.begin(), data.dontUseTitles.end());
      } catch (const std::exception& e) {
        gf_logError("Skipping {}: {}", dataFile.string(), e.what());
      }
    }
    for (const std::filesystem::path& file : gf_listUserTextFiles(gf_userDontUseFolder())) {
      try {
        const std::vector<std::string> titles = gf_readUserTextFile(file);
        g_dontUseLiveryTitles.insert(titles.begin(), titles.end());
      } catch (const std::exception& e) {
        gf_logError("Skipping {}: {}", file.string(), e.what());
      }
    }
    if (!g_dontUseLiveryTitles.empty())
      gf_logLine("{} livery title{} not to be used", g_dontUseLiveryTitles.size(),
                 gf_pluralS64(static_cast<std::int64_t>(g_dontUseLiveryTitles.size())));
  } catch (const std::exception& e) {
    gf_logError("exception: {}", e.what());
  }
}
