// The livery parser of the IVAO model packages (paths with "IVAO_MTL" or
// "ivao_x-csl"). Their aircraft.cfg files carry no icao_airline and often no
// type line: the type comes from the model folder's name, the airline from
// the three letters after the model code at the start of the title, and a
// livery counts only when its texture folder exists. It shares the key
// readers, the section rules, the title registry and the report lists of the
// ordinary parser (scan/cfg_parser.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/cfg_parser.h"
#include "scan/livery_data.h"

// "texture": the value as the title reader gives it; empty when none.
std::string lf_readTexture(std::string_view line);

// The model folder of a path ending in
//   <something>\<package>\SimObjects\Airplanes\IVAO_<word characters>\aircraft.cfg
// (letters in any case, "\" or "/" as separators): the word characters after
// "IVAO_", as written; nullopt when the path has another shape.
std::optional<std::string> lf_ivaoModelFolder(std::string_view path, std::string_view package);

// The file's ICAO type: the first four characters of the model folder name
// (IVAO_MTL first, then ivao_x-csl), resolved like any type (lf_resolveType).
// A path of neither shape is an invalid-types line; empty then.
std::string lf_ivaoModelFromPath(std::string_view path);

// Whether the folder is one of the winglet variants, whose titles carry a
// "W" after the model code.
bool lf_ivaoWingletFlag(std::string_view folder);

// The airline code of a title "<type>[W]<blanks><3 word characters>...", the
// type and the W in any letter case: the three characters as written;
// nullopt when the title has another shape.
std::optional<std::string> lf_ivaoAirlineOfTitle(std::string_view title, std::string_view type, bool wingletFlag);

// Whether a texture folder "texture.<name>" exists below the folder as
// Windows would find it: any letter case, trailing dots and blanks of the
// name ignored. A name that is not one plain path component is never found.
// An error other than a missing path (a folder that cannot be read) throws
// std::filesystem::filesystem_error.
bool lf_textureFolderExists(const std::string& folder, std::string_view name);

// One section: at most one record, kept in file.
void lf_procesIvaoFltSimSection(std::uint32_t rank, CfgLines& section, const std::string& type,
                                const std::string& path, const std::string& folder, ParsedFile& file);

// The parse of a file's lines for a known type: the section check, then each
// section; the records in section order.
ParsedFile gf_parseIvaoCfg(std::uint32_t rank, const std::string& path, const std::string& type,
                           const CfgLines& lines);
// The same in scan order, for tests and the fuzz test.
LiveryList gf_parseIvaoCfgLines(std::uint32_t rank, const std::string& path, const std::string& type,
                                const std::vector<std::string>& lines);

// The parse of one IVAO aircraft.cfg, read from its path. Logs and rethrows
// an exception (a texture folder that cannot be examined).
ParsedFile gf_parseIvaoCfgFile(std::uint32_t rank, const std::string& path);

// The body of one scan task for an IVAO aircraft.cfg: its liveries in scan
// order.
LiveryList lf_searchIvaoLiveriesInFile(std::uint32_t rank, const std::string& path);
