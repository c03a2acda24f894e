// Every test runs in a fresh temporary working folder with its own AppData,
// Local AppData and temporary folders (set up by the test main's listener).
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// The working folder of the running test (also the current directory).
std::filesystem::path workDir();
// Its roaming AppData folder (the APPDATA variable points here).
std::filesystem::path appDataDir();

// Writes a file (creating its folders) with exactly these bytes.
void writeFile(const std::filesystem::path& path, const std::string& bytes);
// Reads a whole file; "" when missing.
std::string readFile(const std::filesystem::path& path);

// A text escaped for an XML attribute value in double quotes.
std::string xmlEscape(const std::string& value);

}  // namespace testsupport
