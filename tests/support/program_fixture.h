// Runs the whole program inside a test: its window belongs to the test's
// thread, which pumps its messages as the program's message loop would.
#pragma once

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "platform/win32/kernel.h"
#include "platform/win32/testdriver.h"
#include "platform/win32/user32.h"

namespace testsupport {

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes the "docs" folder and a small airport list, as an installed program has.
  void installProgramFolder();
  // Starts the program up to its message loop; the result of gf_startProgram.
  int start();
  // Pumps the window's messages until done() or the time is up.
  // The default limit is one that only a hang reaches.
  bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(60));
  // Pumps until the program posted its quit message.
  bool pumpUntilQuit(std::chrono::milliseconds timeout = std::chrono::seconds(60));
  HWND window() const;

  HANDLE m_mutex = nullptr;
  bool m_quit = false;
};

}  // namespace testsupport
