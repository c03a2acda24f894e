// The static parking of a large airport: 500 stands with 100, 300 or 600
// learned options each (600 is about a year of learning at a busy stand),
// read from its park file and learned file and calculated.
//
//   BM_PlainRead         the physical limit: the two files read into memory
//   BM_ReadParkFile      the whole read (park file, learned-file merge, ids, adjacency)
//   BM_Calculation       the selection of the statics, run to its end
//   BM_MainLoopPasses    the read and the calculation as the 10 ms main loop
//                        sees them: the read on its own thread, the search in
//                        slices; reports the worst single pass
//
// SKYLOOM_BENCH_DIR names the folder of the generated files (default: a
// folder under the temporary folder, made once and reused).
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "airports/park_file.h"
#include "airports/park_find.h"
#include "airports/park_read.h"
#include "airports/park_switch.h"
#include "airports/static_selection.h"
#include "app/clock.h"
#include "app/files.h"
#include "app/log.h"
#include "app/settings.h"
#include "tools/park_airport_generator.h"
#include "traffic/aircraft.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kIcao = "EDDF";
// Monday 7 December 2026, 10:10 UTC.
constexpr std::int64_t kMonday1010 = 1796638200;

fs::path benchRoot(std::size_t options) {
  const char* dir = std::getenv("SKYLOOM_BENCH_DIR");
  const fs::path base = dir != nullptr ? fs::path(dir) : fs::temp_directory_path();
  return base / fmt::format("skyloom-bench-park-{}", options);
}

// The peak is counted from here (the generation of the files does not count).
void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Generates the airport once per size and makes its folder the working folder.
void prepare(std::size_t optionsPerStand) {
  const fs::path root = benchRoot(optionsPerStand);
  fs::create_directories(root);
  fs::current_path(root);
  gf_initFolders();
  if (!fs::exists(root / "ready")) {
    std::cerr << "generating the park airport in " << root << " ...\n";
    const std::size_t written = gf_generateParkAirport(kIcao, ParkAirportShape{500, optionsPerStand, 7});
    std::ofstream(root / "ready") << written << "\n";
  }
  static bool once = false;
  if (!once) {
    gf_openLog(".");
    gf_readAirports("airports_msfs.xml");
    once = true;
  }
  gf_setFixedClock(kMonday1010);
  prm::RANDOM.set(false);
  resetPeakMemory();
}

// The second argument: the percentage of stands to fill. At 100 % the search
// cannot reach its count (neighbours block each other) and widens through
// every half hour of both passes: the longest search there is.
void setPercentage(const benchmark::State& state) {
  prm::CUSTOM_PARKING_PERCENTAGE.set(static_cast<std::int32_t>(state.range(1)));
}

std::string parkFilePath() { return (g_myThirdpartyFolder / gf_apfXmlPath(kIcao)).generic_string(); }

double peakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0.0;
}

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The physical limit: both files read whole.
double plainReadMs() {
  const auto start = Clock::now();
  std::string content;
  std::size_t bytes = 0;
  for (const fs::path& path : {fs::path(parkFilePath()), lf_learnedPathFor(parkFilePath(), "BenchPublisher")}) {
    gf_readWholeFile(path, content);
    bytes += content.size();
    benchmark::DoNotOptimize(content.data());
  }
  return ms(Clock::now() - start);
}

void BM_PlainRead(benchmark::State& state) {
  prepare(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(plainReadMs());
  std::error_code ec;
  state.counters["MB"] =
      static_cast<double>(fs::file_size(parkFilePath(), ec) +
                          fs::file_size(lf_learnedPathFor(parkFilePath(), "BenchPublisher"), ec)) /
      1e6;
}

void BM_ReadParkFile(benchmark::State& state) {
  prepare(static_cast<std::size_t>(state.range(0)));
  double limit = 0.0;
  for (auto _ : state) {
    state.PauseTiming();
    limit = plainReadMs();
    state.ResumeTiming();
    ParkAirport airport;
    airport.icao = kIcao;
    std::pair<std::int32_t, std::int32_t> factors;
    std::vector<Stand> stands;
    const auto start = Clock::now();
    const std::string error = gf_readApf(parkFilePath(), airport, factors, stands);
    const double took = ms(Clock::now() - start);
    if (!error.empty()) state.SkipWithError(error.c_str());
    state.counters["x_plain_read"] = took / limit;
    state.PauseTiming();
    stands.clear();  // freeing is not part of the read
    state.ResumeTiming();
  }
  state.counters["peak_MiB"] = peakMemoryMiB();
}

// Reads the airport into the park airport's stand list.
void loadStands() {
  g_parkAirport = *gf_findAirportByIcao(kIcao);
  g_parkApf = ParkAirport{};
  g_parkApf.icao = kIcao;
  std::pair<std::int32_t, std::int32_t> factors;
  gf_readApf(parkFilePath(), g_parkApf, factors, g_parkStands);
}

void BM_Calculation(benchmark::State& state) {
  prepare(static_cast<std::size_t>(state.range(0)));
  setPercentage(state);
  loadStands();
  for (auto _ : state) {
    lf_calcStaticParking();
    lf_continueSearch(std::chrono::hours(1));
    state.counters["statics"] = static_cast<double>(g_staticCandidates.size());
    state.counters["real_fit"] = g_realPassFit;
    state.counters["soft_fit"] = g_softPassFit;
  }
  g_staticCandidates.clear();
  g_parkStands.clear();
  state.counters["peak_MiB"] = peakMemoryMiB();
}

// The read and the calculation pass by pass, as the main loop runs them.
void BM_MainLoopPasses(benchmark::State& state) {
  prepare(static_cast<std::size_t>(state.range(0)));
  setPercentage(state);
  for (auto _ : state) {
    state.PauseTiming();
    const double limit = plainReadMs();
    g_learnedUpdates.store(0);
    lf_clearParkAirport();
    state.ResumeTiming();
    const auto start = Clock::now();
    lf_setParkAirport(kIcao);
    lf_readParkedFile();
    Clock::duration worst{};
    Clock::duration readDone{};
    Clock::duration takeIn{};
    std::int64_t passes = 0;
    while (lf_parkFileReadPending() || lf_searchRunning()) {
      const bool reading = lf_parkFileReadPending();
      const auto passStart = Clock::now();
      gf_staticParkingWork();
      const auto pass = Clock::now() - passStart;
      worst = std::max(worst, pass);
      ++passes;
      if (reading && !lf_parkFileReadPending()) {
        readDone = Clock::now() - start;
        takeIn = pass;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto total = Clock::now() - start;
    state.counters["worst_pass_ms"] = ms(worst);
    state.counters["take_in_pass_ms"] = ms(takeIn);
    state.counters["passes"] = static_cast<double>(passes);
    state.counters["read_share"] = ms(readDone) / ms(total);
    state.counters["calc_share"] = 1.0 - ms(readDone) / ms(total);
    state.counters["x_plain_read"] = ms(total) / limit;
    state.counters["statics"] = static_cast<double>(g_staticCandidates.size());
    // Leaving the airport (nothing learned, so nothing saved) is one pass too.
    const auto unloadStart = Clock::now();
    lf_clearParkAirport();
    state.counters["unload_pass_ms"] = ms(Clock::now() - unloadStart);
  }
  g_learnedUpdates.store(0);
  lf_clearParkAirport();
  state.counters["peak_MiB"] = peakMemoryMiB();
}

void sizes(benchmark::internal::Benchmark* b) { b->Arg(100)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond); }
void sizesAndPercentages(benchmark::internal::Benchmark* b) {
  for (const int options : {100, 300, 600})
    for (const int percent : {30, 100}) b->Args({options, percent});
  b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_PlainRead)->Apply(sizes);
BENCHMARK(BM_ReadParkFile)->Apply(sizes)->Iterations(2);
BENCHMARK(BM_Calculation)->Apply(sizesAndPercentages);
BENCHMARK(BM_MainLoopPasses)->Apply(sizesAndPercentages)->Iterations(2);
BENCHMARK_MAIN();
