// Fuzz target of the aircraft.cfg livery parsers.
//
// The first byte chooses the way in, the rest is the file:
//   0  the lines straight into the ordinary parser,
//   1  the lines straight into the IVAO parser,
//   2  a file on disk for the ordinary task (character set detection and
//      decoding included),
//   3  a file on disk for the IVAO task, in a model folder with texture folders.
// Besides the sanitizers it checks what must hold for any input: every
// record is complete and the list is in scan order; and, on a sample of the
// inputs (these checks cost more than the parser), the hand-written key
// readers agree with the patterns they stand for and resolving a single
// file's titles changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "app/files.h"
#include "fuzz/fuzz_folder.h"
#include "scan/cfg_parser.h"
#include "scan/ivao_parser.h"

namespace fs = std::filesystem;

namespace {

using fuzzsupport::check;
using fuzzsupport::writeBytes;

// One input in this many gets the costly checks.
constexpr std::uint32_t kCostlyCheckEvery = 16;

constexpr std::string_view kDbase = R"(<?xml version="1.0" encoding="utf-8"?>
<dbase>
  <registrations>
    <reg code="D-AIAB" airl="DLH" type="A320" opr="" cargo="false"/>
    <reg code="N12AB" airl="" type="C172" opr="" cargo="false"/>
    <reg code="G-EUUA" airl="BAW" type="A319" opr="SHT" cargo="true"/>
  </registrations>
  <types>
    <type icao="A320" wingspan="34.1" class="large"/>
    <type icao="A20N" wingspan="35.8" class="large"/>
    <type icao="B738" wingspan="35.8" class="large"/>
    <type icao="B77L" wingspan="64.8" class="heavy"/>
    <type icao="C172" wingspan="11.0"/>
  </types>
  <airlines>
    <airline icao="DLH"/>
    <airline icao="BAW"/>
    <airline icao="KLM"/>
    <airline icao="ZZZ"/>
  </airlines>
  <typefixes>
    <fix wrong="B77F" correct="B77L"/>
  </typefixes>
  <stockmodels>
    <model folder="Asobo_A320_NEO" type="A20N"/>
  </stockmodels>
</dbase>
)";

struct FuzzFolders {
  fs::path root;
  std::string ordinaryCfg;
  std::string ivaoCfg;
};

// Made once: a private folder with the reference database and an IVAO model
// folder with a few texture folders.
const FuzzFolders& lf_folders() {
  static const FuzzFolders folders = [] {
    FuzzFolders f;
    std::random_device rd;
    f.root = fs::temp_directory_path() / fmt::format("skyloom-cfg-fuzz-{:08x}{:08x}", rd(), rd());
    fs::create_directories(f.root / "input");
    std::ofstream(f.root / "input" / "dbase.xml", std::ios::binary) << kDbase;
    g_inputFolder = f.root / "input";
    gf_readDbase();

    const fs::path model = f.root / "IVAO_MTL" / "SimObjects" / "Airplanes" / "IVAO_B738WLfa";
    for (const char* texture : {"texture", "texture.DLH", "texture.klm", "texture.A B"})
      fs::create_directories(model / texture);
    f.ivaoCfg = (model / "aircraft.cfg").string();
    fs::create_directories(f.root / "pkg");
    f.ordinaryCfg = (f.root / "pkg" / "aircraft.cfg").string();
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(lf_folders().root, ec);
    });
    return f;
  }();
  return folders;
}

// The parser's own line split, as owned texts for the line-list parsers.
std::vector<std::string> lf_splitLines(std::string_view text) {
  const CfgLines views = gf_splitCfgLines(text);
  return {views.begin(), views.end()};
}

// The key line matcher and the header reader against the patterns they are
// written for. Short lines only: the library's matcher recurses per character.
void lf_checkReaders(const std::vector<std::string>& lines) {
  static const std::regex kKey(R"(\s*(title)\s*=\s*(.*\S)\s*)", std::regex::ECMAScript | std::regex::icase);
  static const std::regex kHeader(R"(\s*(\[fltsim\.)(\d+)\]\s*)", std::regex::ECMAScript | std::regex::icase);
  std::size_t checked = 0;
  for (const std::string& line : lines) {
    if (line.size() > 200 || ++checked > 32) continue;
    std::smatch m;
    std::string_view raw;
    const bool matched = std::regex_match(line, m, kKey);
    check(lf_matchKeyLine(line, "title", &raw) == matched);
    if (matched) check(raw == m[2].str());
    if (!line.starts_with("//") && std::regex_match(line, m, kHeader)) check(lf_readFltsimHeader(line) == m[2].str());
  }
}

void lf_checkResult(const LiveryList& list, bool costly) {
  for (const LiveryData& livery : list) {
    check(!livery.title.empty() && !livery.airline.empty() && !livery.type.empty());
    check(livery.folderRank >= 1 && livery.folderRank <= 10);
  }
  for (std::size_t i = 1; i < list.size(); ++i) check(!gf_liveryLess(list[i], list[i - 1]));
  if (!costly) return;
  // The titles of one file are unique already: merging it alone drops nothing.
  ParsedFile file;
  for (const LiveryData& livery : list) check(file.accept(LiveryData(livery), "[fltsim.0]"));
  LiveryMerge merge;
  merge.add(1, "f/aircraft.cfg", std::move(file));
  merge.resolveDuplicateTitles();
  check(merge.liveries().size() == list.size());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  lf_folders();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const FuzzFolders& folders = lf_folders();
  const unsigned mode = data[0] % 4;
  const bool costly = fuzzsupport::sampled(data, size, kCostlyCheckEvery);
  ++data;
  --size;

  // Each input is a scan of its own.
  lf_clearLiveries();
  g_dontUseLiveryTitles.insert("Banned livery");

  LiveryList result;
  switch (mode) {
    case 0: {
      const std::vector<std::string> lines = lf_splitLines({reinterpret_cast<const char*>(data), size});
      if (costly) lf_checkReaders(lines);
      result = gf_parseAircraftCfgLines(1, folders.ordinaryCfg, lines);
      break;
    }
    case 1: {
      const std::vector<std::string> lines = lf_splitLines({reinterpret_cast<const char*>(data), size});
      result = gf_parseIvaoCfgLines(2, folders.ivaoCfg, "B738", lines);
      break;
    }
    case 2:
      writeBytes(folders.ordinaryCfg, data, size);
      result = lf_searchLiveriesinFile(3, folders.ordinaryCfg);
      break;
    default:
      writeBytes(folders.ivaoCfg, data, size);
      result = lf_searchIvaoLiveriesInFile(10, folders.ivaoCfg);
      break;
  }
  lf_checkResult(result, costly);
  return 0;
}
