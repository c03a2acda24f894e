// The program's entry. Until the main window exists it starts, checks that
// it is the only instance, opens the log, prepares its folders and ends.
#include <cstdio>

#include "app/files.h"
#include "app/log.h"
#include "platform/win32/kernel.h"

int main() {
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, u"Local\\$Skyloom$");
  if (mutex == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) {
    if (mutex != nullptr) ::CloseHandle(mutex);
    return -1;
  }
  if (!gf_openLog(".")) std::fprintf(stderr, "Log.txt could not be opened\n");
  gf_initFolders();
  const auto dataFolder = gf_userDataFolder();
  gf_logLine("Per-user data folder: '{}'", dataFolder.string());
  gf_logLine("The main window is not built yet; ending.");
  gf_closeLog();
  ::CloseHandle(mutex);
  return 0;
}
