#include "feed/traffic_reader.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "feed/feed_state.h"

namespace {

class TrafficReaderTest : public ::testing::Test {
 protected:
  // The reader state is process-wide: every test starts from a clean one.
  void SetUp() override { lf_clean(); }
  void TearDown() override { lf_clean(); }
  static void lf_clean() {
    g_trafficReader.takeCollectedCallsigns();
    g_trafficReader.clearParkAirportPosition();
    g_trafficReader.reset();
    g_referenceElevation.clear();
  }
};

TEST_F(TrafficReaderTest, CollectsOnlyRealCallsignsWhileTheFlagIsSet) {
  EXPECT_FALSE(g_trafficReader.isCollectingCallsigns());
  g_trafficReader.collectCallsign("BAW12");  // before the start: ignored
  g_trafficReader.startCallsignCollection();
  EXPECT_TRUE(g_trafficReader.isCollectingCallsigns());
  for (const char* cs : {"DLH4AB", "null", "", "N123@KSEA", "@", "DLH4AB", "EZY_12", "NULL"})
    g_trafficReader.collectCallsign(cs);

  const CallsignSet taken = g_trafficReader.takeCollectedCallsigns();
  EXPECT_EQ(taken, (CallsignSet{"DLH4AB", "EZY_12", "NULL"}));
  EXPECT_FALSE(g_trafficReader.isCollectingCallsigns()) << "the take-over stops the collection";

  g_trafficReader.collectCallsign("AFR7");  // after the take-over: ignored
  EXPECT_TRUE(g_trafficReader.takeCollectedCallsigns().empty()) << "the taken set was left behind";
}

TEST_F(TrafficReaderTest, AStartEmptiesWhatAnEarlierCollectionLeft) {
  g_trafficReader.startCallsignCollection();
  g_trafficReader.collectCallsign("OLD1");
  g_trafficReader.startCallsignCollection();  // a new calculation prepared before the last one took its set
  g_trafficReader.collectCallsign("NEW1");
  EXPECT_EQ(g_trafficReader.takeCollectedCallsigns(), CallsignSet{"NEW1"});
}

TEST_F(TrafficReaderTest, NothingIsAddedAfterTheTakeOverWhileReadersKeepGoing) {
  // Reader threads add callsigns without pause while the parking starts and
  // takes over the collection again and again. After a take-over nothing may
  // appear in the set, not even from an add that was under way when the flag
  // was cleared: a second take-over, once every reader has finished the add
  // it was in, must find the set empty.
  constexpr int kReaders = 3;
  constexpr int kCycles = 100;
  // Owned by the readers too: a reader stuck in a broken set is left behind.
  struct Shared {
    std::atomic<bool> done{false};
    std::array<std::atomic<long>, kReaders> finishedAdds{};
  };
  const auto shared = std::make_shared<Shared>();
  std::vector<std::thread> readers;
  for (int r = 0; r < kReaders; ++r) {
    readers.emplace_back([shared, r] {
      for (long i = 0; !shared->done.load(); ++i) {
        g_trafficReader.collectCallsign(fmt::format("R{}CS{}", r, i));
        shared->finishedAdds[r].fetch_add(1);
      }
    });
  }
  // Each wait for a reader has its own bound, which only a reader that
  // stopped adding comes near.
  const auto waitForAdds = [&](int more) {
    for (int r = 0; r < kReaders; ++r) {
      const long target = shared->finishedAdds[r].load() + more;
      const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
      while (shared->finishedAdds[r].load() < target) {
        if (std::chrono::steady_clock::now() > giveUp) return false;
        std::this_thread::yield();
      }
    }
    return true;
  };
  std::size_t collected = 0;
  std::size_t slippedIn = 0;
  bool stuck = false;
  for (int cycle = 0; cycle < kCycles && !stuck; ++cycle) {
    g_trafficReader.startCallsignCollection();
    stuck = !waitForAdds(5);
    collected += g_trafficReader.takeCollectedCallsigns().size();
    stuck = stuck || !waitForAdds(2);  // whatever add was under way at the take-over is over now
    slippedIn += g_trafficReader.takeCollectedCallsigns().size();
  }
  shared->done.store(true);
  for (auto& reader : readers) {
    if (stuck)
      reader.detach();
    else
      reader.join();
  }
  ASSERT_FALSE(stuck) << "a reader stopped adding callsigns";
  EXPECT_GE(collected, static_cast<std::size_t>(kCycles) * kReaders * 5);
  EXPECT_EQ(slippedIn, 0u) << "callsigns were added after the take-over";
}

TEST_F(TrafficReaderTest, ParkAirportPositionIsSetAndCleared) {
  EXPECT_FALSE(g_trafficReader.parkAirportPosition().has_value());
  g_trafficReader.setParkAirportPosition({51.4775, -0.461389});
  const auto position = g_trafficReader.parkAirportPosition();
  ASSERT_TRUE(position.has_value());
  EXPECT_DOUBLE_EQ(position->latitude, 51.4775);
  EXPECT_DOUBLE_EQ(position->longitude, -0.461389);

  g_trafficReader.clearParkAirportPosition();
  EXPECT_FALSE(g_trafficReader.parkAirportPosition().has_value());

  g_trafficReader.setParkAirportPosition({std::numeric_limits<double>::quiet_NaN(), 8.5});
  EXPECT_FALSE(g_trafficReader.parkAirportPosition().has_value()) << "a position that is no position was kept";
}

TEST_F(TrafficReaderTest, ResetEmptiesTheTableRestoresQnhAndFirstTrafficButKeepsTheRest) {
  g_trafficReader.rememberCallsign(0x4CA123, "RYR1AB");
  g_trafficReader.rememberCallsign(0x4CA123, "RYR2CD");  // the latest callsign of a hexid counts
  g_trafficReader.rememberCallsign(0x3C6444, "DLH9");
  EXPECT_EQ(g_trafficReader.callsignOf(0x4CA123), "RYR2CD");
  EXPECT_EQ(g_trafficReader.callsignTableSize(), 2u);
  g_trafficReader.setQnh(998.4);
  g_trafficReader.setQnh(std::numeric_limits<double>::infinity());
  g_trafficReader.setQnh(0.0);
  EXPECT_DOUBLE_EQ(g_trafficReader.qnh(), 998.4);
  g_firstTrafficTime.store(1700000000);
  g_trafficReader.setParkAirportPosition({47.4647, 8.5492});
  g_trafficReader.startCallsignCollection();
  g_trafficReader.collectCallsign("SWR8");

  g_trafficReader.reset();
  EXPECT_EQ(g_trafficReader.callsignTableSize(), 0u);
  EXPECT_FALSE(g_trafficReader.callsignOf(0x3C6444).has_value());
  EXPECT_DOUBLE_EQ(g_trafficReader.qnh(), 1013.0);
  EXPECT_EQ(g_firstTrafficTime.load(), 0);
  // The parking's collection and park airport are not the link's to reset.
  EXPECT_TRUE(g_trafficReader.parkAirportPosition().has_value());
  EXPECT_EQ(g_trafficReader.takeCollectedCallsigns(), CallsignSet{"SWR8"});
}

TEST_F(TrafficReaderTest, ReferenceElevationIsReadAsAPair) {
  EXPECT_FALSE(g_referenceElevation.get().valid);
  g_referenceElevation.set(1417.0, true);
  ElevationReading r = g_referenceElevation.get();
  EXPECT_TRUE(r.valid);
  EXPECT_DOUBLE_EQ(r.feet, 1417.0);

  g_referenceElevation.set(-12.0, false);  // no park airport: the value is not to be used
  r = g_referenceElevation.get();
  EXPECT_FALSE(r.valid);
  EXPECT_DOUBLE_EQ(r.feet, -12.0);

  g_referenceElevation.set(std::numeric_limits<double>::quiet_NaN(), true);
  EXPECT_FALSE(g_referenceElevation.get().valid) << "a NaN elevation was taken as valid";
  g_referenceElevation.set(55.0, true);
  g_referenceElevation.clear();
  EXPECT_FALSE(g_referenceElevation.get().valid);
}

}  // namespace
