// Reading the test's Log.txt.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Opens Log.txt in the test's working folder (the logs of earlier opens rotate).
void openTestLog();
// The lines of Log.txt without its header line.
std::vector<std::string> logLines();
// Whether some line of Log.txt equals the text.
bool logHasLine(const std::string& line);
// Whether some line of Log.txt contains the text.
bool logContains(const std::string& text);

}  // namespace testsupport
