#include "app/entry.h"

#include <chrono>
#include <string>
#include <thread>

#include "app/files.h"
#include "app/log.h"
#include "app/run_thread.h"
#include "ui/main_window.h"

int gf_startProgram(HANDLE& mutex) {
  mutex = ::CreateMutexW(nullptr, FALSE, u"Local\\$Skyloom$");
  if (mutex == nullptr || ::GetLastError() == ERROR_ALREADY_EXISTS) {
    if (mutex != nullptr) ::CloseHandle(mutex);
    mutex = nullptr;
    return -1;
  }
  gf_openLog(".");
  gf_initFolders();
  gf_removeStaleTemporaryFiles();  // of saves that a killed run did not finish

  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const WCHAR* resource = nullptr;
  const int length = ::LoadStringW(instance, kTitleStringId, reinterpret_cast<LPWSTR>(&resource), 0);
  const std::u16string title = length > 0 ? std::u16string(resource, static_cast<std::size_t>(length)) : u"Skyloom";
  gf_registerMainWindowClass(instance, title);
  if (!initInstance(instance, title)) {
    gf_logLine("initInstance failed");
    return 1;
  }
  gf_userDataFolder();  // made when missing
  ::PostMessageW(g_mainWindowHandle.load(), WM_APP_START_RUN, 0, 0);
  return 0;
}

int gf_messageLoop() {
  MSG msg{};
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}

void gf_endProgram(HANDLE mutex) {
  // The run thread posts WM_APP+2 as its last act; let it finish.
  for (int i = 0; i < 200 && g_runThreadsAlive.load() > 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  // A save still going ends before the process does, or leaves nothing.
  gf_endSavesInProgress(std::chrono::seconds(2));
  gf_closeLog();
  if (mutex != nullptr) ::CloseHandle(mutex);
}

int gf_programMain() {
  HANDLE mutex = nullptr;
  const int started = gf_startProgram(mutex);
  if (started != 0) {
    gf_endProgram(mutex);
    return started;
  }
  const int code = gf_messageLoop();
  gf_endProgram(mutex);
  return code;
}
