// A running simulator link against the simulated simulator, for tests that
// script the user aircraft and watch the AI objects.
#pragma once

#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include "platform/simconnect/sim_world.h"

namespace testsupport {

class SimLinkTest : public ::testing::Test {
 public:
  // Polls until done() or the time is up (by default a limit that only a
  // hang reaches); returns done().
  static bool waitFor(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(60));

 protected:
  // A fresh world with short seconds, the link started and connected.
  void SetUp() override;
  void TearDown() override;
  // Waits until the user aircraft data of the world reached the link.
  static bool waitForUserPosition(double latitude, double longitude);
  static simsim::World& sim() { return simsim::world(); }
};

}  // namespace testsupport
