#include "tools/ai_tree_generator.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "app/utf.h"

namespace fs = std::filesystem;

namespace {

const char* const kTypes[] = {"A320", "A321", "A319", "A20N", "A21N", "B738", "B739", "B38M", "B77W", "B788",
                              "B789", "A333", "A359", "A388", "E190", "E195", "CRJ9", "DH8D", "AT76", "B744"};
const char* const kAirlines[] = {"BAW", "DLH", "AFR", "KLM", "SWR", "EZY", "RYR", "UAL", "DAL", "AAL",
                                 "SIA", "QFA", "UAE", "QTR", "THY", "IBE", "AUA", "SAS", "FIN", "TAP"};
const char* const kPackages[] = {"aig-aitraffic-oci", "fsltl-traffic-base", "justflight-fstraffic-module",
                                 "user-aitraffic"};

std::string encode(const std::string& utf8, int charset) {
  switch (charset) {
    case 1:
    case 2: {  // UTF-16 LE / BE with byte order mark
      std::u16string wide = u"\xFEFF" + win32::utf8ToUtf16(utf8);
      std::string out;
      out.reserve(wide.size() * 2);
      for (char16_t c : wide) {
        const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        out.push_back(charset == 1 ? lo : hi);
        out.push_back(charset == 1 ? hi : lo);
      }
      return out;
    }
    case 3:
      return "\xEF\xBB\xBF" + utf8;
    default:
      return utf8;  // UTF-8 without a byte order mark; plain ASCII reads the same as ANSI
  }
}

void writeBytes(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string registration(std::size_t i) {
  static const char* const prefixes[] = {"G-", "D-A", "F-G", "PH-", "HB-J", "EI-", "N", "VH-", "A6-", "TC-"};
  std::string reg = prefixes[i % 10];
  std::size_t v = i / 10;
  for (int k = 0; k < 4; ++k, v /= 26) reg.push_back(static_cast<char>('A' + v % 26));
  return reg;
}

}  // namespace

std::size_t gf_generateAiTree(const fs::path& root, const AiTreeShape& shape) {
  std::mt19937 rng(shape.seed);
  // The reference database.
  std::string db = "<dbase>\n<registrations>\n";
  for (std::size_t i = 0; i < shape.registrations; ++i)
    db += fmt::format("<reg code=\"{}\" airl=\"{}\" type=\"{}\"/>\n", registration(i), kAirlines[i % 20],
                      kTypes[(i / 20) % 20]);
  db += "</registrations>\n<types>\n";
  for (const char* type : kTypes) db += fmt::format("<type icao=\"{}\" wingspan=\"35.8\" class=\"large\"/>\n", type);
  db += "</types>\n<airlines>\n";
  for (const char* airline : kAirlines) db += fmt::format("<airline icao=\"{}\"/>\n", airline);
  db += "</airlines>\n</dbase>\n";
  writeBytes(root / "input" / "dbase.xml", db);

  std::size_t liveries = 0;
  std::uniform_int_distribution<int> sections(1, 60);
  std::uniform_int_distribution<int> percent(0, 999);
  // The database's registration i belongs to airline i % 20 and type
  // (i / 20) % 20: a livery of airline a and type t that the database knows
  // as it is takes a registration k * 400 + t * 20 + a.
  const std::size_t blocks = std::max<std::size_t>(1, shape.registrations / 400);
  std::string previousTitle;
  std::vector<std::size_t> nextBlock(400, 0);  // per type and airline: the next registration block
  for (std::size_t f = 0; f < shape.files; ++f) {
    const std::size_t typeIndex = f % 20;
    const char* type = kTypes[typeIndex];
    std::string cfg = fmt::format("[VERSION]\r\nmajor = 1\r\nminor = 0\r\n\r\n[GENERAL]\r\natc_type = \"TT:ATCCOM.ATC_NAME {}\"\r\n"
                                  "icao_type_designator = \"{}\"\r\nicao_manufacturer = \"ZZ\"\r\n\r\n",
                                  type, type);
    const int n = sections(rng);
    for (int s = 0; s < n; ++s) {
      const std::size_t id = f * 60 + static_cast<std::size_t>(s);
      const std::size_t airlineIndex = id % 20;
      std::string title = fmt::format("{} {} {} Z\xC3\xBCrich #{}", kPackages[f % 4], type, kAirlines[airlineIndex], id);
      std::size_t reg = id % shape.registrations;
      if (!shape.stress) {
        const int roll = percent(rng);
        std::size_t wantedType = typeIndex;
        if (roll < 30) wantedType = (typeIndex + 1) % 20;  // 3 %: the database knows another type
        // Each aircraft is painted once: the liveries of one airline and
        // type take the database's registrations of that pair in turn, so a
        // registration comes twice only when a pair has more liveries than
        // the database has registrations for it.
        std::size_t& next = nextBlock[wantedType * 20 + airlineIndex];
        reg = (next++ % blocks) * 400 + wantedType * 20 + airlineIndex;
        if (roll >= 998 && !previousTitle.empty()) title = previousTitle;  // 0.2 %: a title given before
      }
      cfg += fmt::format(
          "[FLTSIM.{}]\r\ntitle = \"{}\"\r\nmodel = \"\"\r\ntexture = \"{}\"\r\n"
          "atc_id = \"{}\"\r\nicao_airline = \"{}\"\r\natc_parking_types = \"GATE,RAMP\"\r\n"
          "ui_variation = \"{}\"\r\n\r\n",
          s, title, kAirlines[airlineIndex], registration(reg), kAirlines[airlineIndex], kAirlines[airlineIndex]);
      if (s == 0) previousTitle = title;
      ++liveries;
    }
    writeBytes(root / "liveries" / kPackages[f % 4] / "SimObjects" / "Airplanes" / fmt::format("{}_{:05}", type, f) /
                   "aircraft.cfg",
               encode(cfg, static_cast<int>(f % 4)));
  }
  return liveries;
}
