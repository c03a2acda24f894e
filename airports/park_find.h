// Finding an airport's park file among the user's files, the add-on files
// and the archive on the download server, and the path of its learned file.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// ICAO + ".xml": the park file's name.
std::string gf_apfFileName(std::string_view icao);
// The park file's name as a path (no folder).
std::filesystem::path gf_apfXmlPath(std::string_view icao);
// ICAO + ".txt" as a path: the alias file that names another park file.
std::filesystem::path gf_apfTxtPath(std::string_view icao);
