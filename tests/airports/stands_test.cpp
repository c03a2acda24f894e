#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "airports/stands.h"
#include "app/hash.h"

namespace {

StandOption optionWithId(std::uint32_t id) {
  StandOption option;
  option.airline = "BAW";
  option.type = "A320";
  option.registration = fmt::format("G-EU{:02}", id);
  option.id = id;
  option.day = 3;
  return option;
}

Stand makeStand(double radiusMetres = 37.04, std::int32_t notCargo = 1, std::int32_t notRamp = 1,
                std::int32_t notHeli = 1) {
  return Stand("A12", {optionWithId(1), optionWithId(2)}, StandPosition{51.47, -0.45, gf_degToRad(270.0)},
               radiusMetres, notCargo, notRamp, notHeli);
}

TEST(StandsTest, ConstructorConvertsRadiusAndNegatesFlags) {
  const Stand stand = makeStand(37.04, 1, 0, 1);
  EXPECT_EQ(stand.name, "A12");
  ASSERT_EQ(stand.options.size(), 2u);
  EXPECT_EQ(stand.options[1].id, 2u);
  EXPECT_DOUBLE_EQ(stand.latitude, 51.47);
  EXPECT_DOUBLE_EQ(stand.longitude, -0.45);
  EXPECT_DOUBLE_EQ(stand.heading, 270.0 * 0.017453292519943295);
  EXPECT_EQ(stand.radius, 37.04 * 0.0005399568034557236);
  EXPECT_NEAR(stand.radius, 0.02, 1e-12);
  EXPECT_EQ(fmt::format("{:.1f}", gf_nmToMetres(stand.radius)), "37.0");

  EXPECT_EQ(stand.cargo, 0);
  EXPECT_EQ(stand.ramp, 1);
  EXPECT_EQ(stand.heli, 0);
  EXPECT_EQ(makeStand(10.0, 0, 1, 1).cargo, 1);
  EXPECT_EQ(makeStand(10.0, 1, 1, 0).heli, 1);
  EXPECT_EQ(makeStand(10.0, 1, 1, 7).heli, 0);

  EXPECT_EQ(stand.id, 0u);
  for (const std::uint8_t flag : {stand.manual, stand.radiusChange, stand.cargoChange, stand.nameAltered,
                                  stand.selected, stand.occupied, stand.excluded, stand.blocked}) {
    EXPECT_EQ(flag, 0);
  }
  EXPECT_TRUE(stand.adjacent.empty());
  EXPECT_GE(stand.adjacent.capacity(), 8u);
  for (const StandStayTable* table : {&stand.realStays, &stand.softStays}) {
    EXPECT_TRUE(table->empty());
    EXPECT_GE(table->bucket_count(), 8u);
    EXPECT_EQ(table->max_load_factor(), 1.0f);
  }
}

TEST(StandsTest, NextOptionIdFollowsTheHighestId) {
  std::vector<StandOption> options;
  EXPECT_EQ(gf_nextOptionId(options), 1u);

  // Options 2..6 were deleted from the list: the next id still follows 7.
  options = {optionWithId(1), optionWithId(7)};
  EXPECT_EQ(gf_nextOptionId(options), 8u);

  // An option out of play (id 0) stays in the list and hands out no id; one at
  // the end must not make the next option reuse id 1.
  options = {optionWithId(1), optionWithId(0), optionWithId(3)};
  EXPECT_EQ(gf_nextOptionId(options), 4u);
  options = {optionWithId(1), optionWithId(2), optionWithId(0)};
  EXPECT_EQ(gf_nextOptionId(options), 3u);
}

TEST(StandsTest, StayKeysHashWithFnv1aOverFourBytesLowFirst) {
  const Fnv1aHash hash;
  EXPECT_EQ(hash(std::string_view()), 0xcbf29ce484222325ULL);
  EXPECT_EQ(hash(std::string("a")), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(hash(std::string("foobar")), 0x85944171f73967e8ULL);
  EXPECT_EQ(hash(std::uint32_t{0x64636261u}), hash(std::string("abcd")));
  EXPECT_EQ(hash(std::uint32_t{0}), hash(std::string_view("\0\0\0\0", 4)));
}

TEST(StandsTest, StayTableKeepsExistingEntriesAndCopiesKeepTheirShape) {
  Stand stand = makeStand();
  const auto [first, inserted] = stand.realStays.try_emplace(0xABCDEFu, StandStay{2, 10, 1});
  ASSERT_TRUE(inserted);
  const auto [again, insertedAgain] = stand.realStays.try_emplace(0xABCDEFu, StandStay{5, 40, 9});
  EXPECT_FALSE(insertedAgain);
  EXPECT_EQ(again, first);
  EXPECT_EQ(again->second.day, 2u);
  EXPECT_EQ(again->second.slot, 10u);
  EXPECT_EQ(again->second.optionId, 1u);

  for (std::uint32_t hexid = 1; hexid <= 40; ++hexid) stand.realStays.try_emplace(hexid, StandStay{1, hexid, hexid});
  stand.softStays.max_load_factor(0.5f);
  stand.softStays.try_emplace(7u, StandStay{3, 3, 3});
  stand.adjacent = {4, 9};
  stand.id = 12;
  stand.occupied = 1;
  const std::size_t realBuckets = stand.realStays.bucket_count();
  const std::size_t softBuckets = stand.softStays.bucket_count();
  EXPECT_LE(stand.realStays.load_factor(), 1.0f);

  const Stand copy(stand);
  EXPECT_EQ(copy.realStays.bucket_count(), realBuckets);
  EXPECT_EQ(copy.softStays.bucket_count(), softBuckets);
  EXPECT_EQ(copy.realStays.max_load_factor(), 1.0f);
  EXPECT_EQ(copy.softStays.max_load_factor(), 0.5f);
  EXPECT_EQ(copy.realStays.size(), 41u);
  EXPECT_EQ(copy.realStays.at(0xABCDEFu).slot, 10u);
  EXPECT_EQ(copy.options.size(), 2u);
  EXPECT_EQ(copy.adjacent, (std::vector<std::uint32_t>{4, 9}));
  EXPECT_EQ(copy.id, 12u);
  EXPECT_EQ(copy.occupied, 1);
  EXPECT_EQ(copy.radius, stand.radius);

  Stand assigned = makeStand(5.0);
  assigned = stand;
  EXPECT_EQ(assigned.realStays.bucket_count(), realBuckets);
  EXPECT_EQ(assigned.softStays.max_load_factor(), 0.5f);
  EXPECT_EQ(assigned.realStays.size(), 41u);

  Stand moved(std::move(assigned));
  EXPECT_EQ(moved.realStays.size(), 41u);
  EXPECT_EQ(moved.name, "A12");
  EXPECT_EQ(moved.options.size(), 2u);
  EXPECT_EQ(moved.adjacent.size(), 2u);
  EXPECT_EQ(moved.id, 12u);

  // A stand list copies stand by stand.
  std::vector<Stand> list;
  list.push_back(stand);
  list.emplace_back("B1", std::vector<StandOption>{}, StandPosition{}, 20.0, 1, 1, 1);
  const std::vector<Stand> listCopy = list;
  EXPECT_EQ(listCopy[0].realStays.bucket_count(), realBuckets);
  EXPECT_EQ(listCopy[1].name, "B1");
}

TEST(StandsTest, StayAgeWrapsAcrossTheWeek) {
  const StandStay sundayLate{7, 47, 1};
  EXPECT_EQ(sundayLate.halfHoursTo(DaySlot{1, 1}), 2);
  const StandStay mondayMorning{1, 1, 1};
  EXPECT_EQ(mondayMorning.halfHoursTo(DaySlot{1, 3}), 2);
  EXPECT_EQ(mondayMorning.halfHoursTo(DaySlot{1, 1}), 0);
  EXPECT_EQ(mondayMorning.halfHoursTo(DaySlot{1, 0}), 335);
  const StandStay wednesday{3, 20, 1};
  EXPECT_EQ(wednesday.halfHoursTo(DaySlot{4, 2}), 30);
}

TEST(StandsTest, ParkAirportStartsEmptyAndCopiesItsStands) {
  ParkAirport airport;
  EXPECT_TRUE(airport.icao.empty());
  EXPECT_TRUE(airport.publisher.empty());
  EXPECT_EQ(airport.qfReal, 0);
  EXPECT_EQ(airport.qfSoft, 0);
  EXPECT_EQ(airport.altitude, 0);
  EXPECT_TRUE(airport.stands.empty());

  airport.icao = "EGLL";
  airport.stands.push_back(makeStand());
  airport.stands.front().realStays.try_emplace(5u, StandStay{1, 1, 1});
  const ParkAirport copy = airport;
  ASSERT_EQ(copy.stands.size(), 1u);
  EXPECT_EQ(copy.stands[0].realStays.size(), 1u);
  const ParkAirport moved = std::move(airport);
  EXPECT_EQ(moved.icao, "EGLL");
  EXPECT_EQ(moved.stands.size(), 1u);
}

}  // namespace
