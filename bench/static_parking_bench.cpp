// The static parking of a large airport: 500 stands with 100, 300 or 600
// learned options each (600 is about a year of learning at a busy stand),
// read from its park file and learned file and calculated.
//
//   BM_PlainRead         the physical limit: the two files read into memory
//   BM_ReadParkFile      the whole read (park file, learned-file merge, ids,
//                        adjacency, quality factors) beside the XML library's
//                        own parse and walk of the same two files in the same
//                        run (x_xml_parse), the cost per option, and the
//                        read's peak memory above what the process held
//                        before it, against the size of the files
//   BM_Calculation       the selection of the statics, run to its end
//   BM_MainLoopPasses    the read and the calculation as the 10 ms main loop
//                        sees them: the read on its own thread, the search in
//                        slices; reports the worst single pass of all repeats
//   BM_CrowdedParkFile   a hostile park file of 20,000 stands on one spot: its
//                        read, and a close while it is being read
//   BM_HostileParkFile   hostile files of about 200 MB: a park file of
//                        millions of stands outside the world, a learned
//                        file of millions of stands the park file lacks, and
//                        park files not of the plain form (over and under
//                        the size read as one tree, and one of tiny elements,
//                        the tree's worst shape): the read, the log it
//                        writes, its peak memory against the file, and the
//                        worst close asked for while it runs
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

#include <malloc.h>  // malloc_trim: the peak is measured from what the process really holds

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

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
#include "app/runstate.h"
#include "app/settings.h"
#include "bench/process_memory.h"
#include "tools/park_airport_generator.h"
#include "traffic/aircraft.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const char* kIcao = "EDDF";
// Monday 7 December 2026, 10:10 UTC.
constexpr std::int64_t kMonday1010 = 1796638200;

fs::path benchRoot(const std::string& name) {
  const char* dir = std::getenv("SKYLOOM_BENCH_DIR");
  const fs::path base = dir != nullptr ? fs::path(dir) : fs::temp_directory_path();
  return base / fmt::format("skyloom-bench-park-{}", name);
}

using benchsupport::peakMemoryMiB;
using benchsupport::resetPeakMemory;
using benchsupport::statusKiB;

// Generates the airport once per shape and makes its folder the working
// folder. Returns the number of learned options.
std::size_t prepare(const std::string& name, const ParkAirportShape& shape) {
  const fs::path root = benchRoot(name);
  fs::create_directories(root);
  fs::current_path(root);
  gf_initFolders();
  std::size_t options = 0;
  if (!(std::ifstream(root / "ready") >> options)) {
    std::cerr << "generating the park airport in " << root << " ...\n";
    options = gf_generateParkAirport(kIcao, shape);
    std::ofstream(root / "ready") << options << "\n";
  }
  static bool once = false;
  if (!once) {
    gf_openLog(".");
    gf_readAirports("airports_msfs.xml");
    once = true;
  }
  gf_setFixedClock(kMonday1010);
  prm::RANDOM.set(false);
  // The peak is counted from here (the generation of the files does not count).
  resetPeakMemory();
  return options;
}

std::size_t prepare(std::size_t optionsPerStand) {
  return prepare(fmt::format("{}", optionsPerStand), ParkAirportShape{500, optionsPerStand, 7});
}

// The second argument: the percentage of stands to fill. At 100 % the search
// cannot reach its count (neighbours block each other) and widens through
// every half hour of both passes: the longest search there is.
void setPercentage(const benchmark::State& state) {
  prm::CUSTOM_PARKING_PERCENTAGE.set(static_cast<std::int32_t>(state.range(1)));
}

std::string parkFilePath() { return (g_myThirdpartyFolder / gf_apfXmlPath(kIcao)).generic_string(); }

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

std::vector<fs::path> airportFiles() {
  return {fs::path(parkFilePath()), lf_learnedPathFor(parkFilePath(), "BenchPublisher")};
}

double filesBytes() {
  std::uintmax_t bytes = 0;
  std::error_code ec;
  for (const fs::path& path : airportFiles()) bytes += fs::file_size(path, ec);
  return static_cast<double>(bytes);
}

// The physical limit: both files read whole.
double plainReadMs() {
  const auto start = Clock::now();
  std::string content;
  for (const fs::path& path : airportFiles()) {
    gf_readWholeFile(path, content);
    benchmark::DoNotOptimize(content.data());
  }
  return ms(Clock::now() - start);
}

// What the XML library itself costs: both files loaded, and every element
// and attribute of them visited once.
double xmlParseAndWalkMs() {
  struct Walker final : pugi::xml_tree_walker {
    std::size_t seen = 0;
    bool for_each(pugi::xml_node& node) override {
      seen += node.name()[0] != 0;
      for (const pugi::xml_attribute& attribute : node.attributes()) seen += attribute.value()[0] != 0;
      return true;
    }
  };
  const auto start = Clock::now();
  for (const fs::path& path : airportFiles()) {
    pugi::xml_document document;
    document.load_file(path.c_str());
    Walker walker;
    document.traverse(walker);
    benchmark::DoNotOptimize(walker.seen);
  }
  return ms(Clock::now() - start);
}

// One read of the airport's park file and learned file into `stands`: its
// milliseconds; a failed read ends the benchmark with its error.
double timedRead(benchmark::State& state, std::vector<Stand>& stands) {
  ParkAirport airport;
  airport.icao = kIcao;
  std::pair<std::int32_t, std::int32_t> factors;
  const auto start = Clock::now();
  const std::string error = gf_readApf(parkFilePath(), airport, factors, stands);
  const double took = ms(Clock::now() - start);
  if (!error.empty()) state.SkipWithError(error.c_str());
  return took;
}

void BM_PlainRead(benchmark::State& state) {
  prepare(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(plainReadMs());
  state.counters["MB"] = filesBytes() / 1e6;
}

void BM_ReadParkFile(benchmark::State& state) {
  const std::size_t options = prepare(static_cast<std::size_t>(state.range(0)));
  double plain = 0.0;
  double xml = 0.0;
  double read = 0.0;
  std::size_t aboveKiB = 0;
  for (auto _ : state) {
    state.PauseTiming();
    plain += plainReadMs();
    xml += xmlParseAndWalkMs();
    malloc_trim(0);
    const std::size_t before = statusKiB("VmRSS");
    resetPeakMemory();
    state.ResumeTiming();
    std::vector<Stand> stands;
    read += timedRead(state, stands);
    state.PauseTiming();
    const std::size_t peak = statusKiB("VmHWM");
    aboveKiB = std::max(aboveKiB, peak > before ? peak - before : 0);
    stands.clear();  // freeing is not part of the read
    state.ResumeTiming();
  }
  state.counters["x_xml_parse"] = read / xml;
  state.counters["x_plain_read"] = read / plain;
  state.counters["us_per_option"] = read / static_cast<double>(state.iterations()) / static_cast<double>(options) * 1e3;
  state.counters["peak_MiB"] = peakMemoryMiB();
  state.counters["read_peak_x_files"] = static_cast<double>(aboveKiB) * 1024.0 / filesBytes();
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
  Clock::duration worstOfAll{};
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
    worstOfAll = std::max(worstOfAll, worst);
    state.counters["take_in_pass_ms"] = ms(takeIn);
    state.counters["passes"] = static_cast<double>(passes);
    state.counters["read_share"] = ms(readDone) / ms(total);
    state.counters["calc_share"] = 1.0 - ms(readDone) / ms(total);
    state.counters["x_plain_read"] = ms(total) / limit;
    state.counters["statics"] = static_cast<double>(g_staticCandidates.size());
    // Leaving the airport (nothing learned, so nothing saved) is one pass too.
    const auto unloadStart = Clock::now();
    lf_clearParkAirport();
    worstOfAll = std::max(worstOfAll, Clock::now() - unloadStart);
    state.counters["unload_pass_ms"] = ms(Clock::now() - unloadStart);
  }
  g_learnedUpdates.store(0);
  lf_clearParkAirport();
  state.counters["worst_pass_ms"] = ms(worstOfAll);
  state.counters["peak_MiB"] = peakMemoryMiB();
}

// 20,000 stands on one spot, without options or learned file: every stand
// touches every other. read_ms is the whole read; close_ms the time from a
// close (stop flag, unloading) to the end of the wait for the read, asked
// for while the read is under way.
void BM_CrowdedParkFile(benchmark::State& state) {
  ParkAirportShape shape;
  shape.stands = 20000;
  shape.optionsPerStand = 0;
  shape.spacingMetres = 0.0;
  shape.learnedFile = false;
  prepare("crowded", shape);
  double readMs = 0.0;
  double worstCloseMs = 0.0;
  for (auto _ : state) {
    std::vector<Stand> stands;
    readMs = std::max(readMs, timedRead(state, stands));

    lf_setParkAirport(kIcao);
    lf_readParkedFile();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto close = Clock::now();
    g_stopRun.store(true);
    lf_clearParkAirport();
    gf_waitForParkFileRead();
    worstCloseMs = std::max(worstCloseMs, ms(Clock::now() - close));
    g_stopRun.store(false);
  }
  state.counters["read_ms"] = readMs;
  state.counters["close_ms"] = worstCloseMs;
  state.counters["peak_MiB"] = peakMemoryMiB();
}

// The hostile files, written once: their name, and the text of their stand
// elements (made of the element's number), between a plain head and tail.
struct HostileFile {
  const char* name;
  bool learned;     // the stands are in the learned file; the park file holds one stand
  const char* top;  // text before the meta block
  std::size_t stands;
  std::string (*stand)(std::size_t);
};

const HostileFile kHostileFiles[] = {
    {"outside the world", false, "", 5'000'000,
     [](std::size_t i) { return fmt::format("<parkpos id=\"{}\" latitude=\"999\"/>\n", i); }},
    {"learned stands lacking", true, "", 10'000'000, [](std::size_t) { return std::string("<parkpos id=\"zz\"/>\n"); }},
    {"not plain, 200 MB", false, "<!DOCTYPE x>", 1'600'000,
     [](std::size_t i) {
       return fmt::format("<parkpos id=\"P{}\" latitude=\"50.000000\" longitude=\"8.000000\" heading=\"0.0\" "
                          "radius=\"20.0\" cargo=\"false\" ramp=\"false\"/>\n", i);
     }},
    {"not plain, 60 MB", false, "<!DOCTYPE x>", 480'000,
     [](std::size_t i) {
       return fmt::format("<parkpos id=\"P{}\" latitude=\"50.000000\" longitude=\"8.000000\" heading=\"0.0\" "
                          "radius=\"20.0\" cargo=\"false\" ramp=\"false\"/>\n", i);
     }},
    // The worst shape for a tree: the most elements a byte can make.
    {"not plain, 64 MB of tiny elements", false, "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", 16'000'000,
     [](std::size_t) { return std::string("<a/>"); }},
};

void writeHostileFile(const fs::path& path, const char* top, std::size_t stands, std::string (*stand)(std::size_t)) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out << top << "<meta><info name=\"author\" value=\"x\"/><info name=\"date\" value=\"x\"/>"
      << "<info name=\"version\" value=\"x\"/></meta>\n<parameters><parameter name=\"altitude\" value=\"83\"/>"
      << "<parameter name=\"publisher\" value=\"BenchPublisher\"/></parameters>\n<parkpositions>\n";
  if (stands == 0) out << "<parkpos id=\"1\" latitude=\"50.0\" longitude=\"8.0\" radius=\"20\"/>\n";
  for (std::size_t i = 0; i < stands; ++i) out << stand(i);
  out << "</parkpositions>\n";
}

std::uintmax_t logBytes() {
  std::error_code ec;
  const std::uintmax_t bytes = fs::file_size("Log.txt", ec);
  return ec ? 0 : bytes;
}

void BM_HostileParkFile(benchmark::State& state) {
  const HostileFile& file = kHostileFiles[state.range(0)];
  const fs::path root = benchRoot(fmt::format("hostile-{}", state.range(0)));
  fs::create_directories(root);
  fs::current_path(root);
  gf_initFolders();
  const fs::path park = g_myThirdpartyFolder / gf_apfXmlPath(kIcao);
  const fs::path learned = lf_learnedPathFor(park.generic_string(), "BenchPublisher");
  if (!fs::exists(root / "ready")) {
    std::cerr << "generating " << file.name << " in " << root << " ...\n";
    writeHostileFile(park, file.top, file.learned ? 0 : file.stands, file.stand);
    if (file.learned) writeHostileFile(learned, "", file.stands, file.stand);
    std::ofstream(root / "ready") << "1\n";
  }
  gf_closeLog();
  gf_openLog(".");
  const double bytes = static_cast<double>(fs::file_size(file.learned ? learned : park));
  double readMs = 0.0;
  double worstCloseMs = 0.0;
  std::size_t aboveKiB = 0;
  std::uintmax_t logged = 0;
  // A read whose error (a refused file) is part of the figures.
  std::string error;
  const auto readOnce = [&] {
    ParkAirport airport;
    airport.icao = kIcao;
    std::pair<std::int32_t, std::int32_t> factors;
    std::vector<Stand> stands;
    const auto start = Clock::now();
    error = gf_readApf(park.generic_string(), airport, factors, stands);
    return ms(Clock::now() - start);
  };
  for (auto _ : state) {
    malloc_trim(0);
    const std::size_t before = statusKiB("VmRSS");
    resetPeakMemory();
    const std::uintmax_t logBefore = logBytes();
    readMs = std::max(readMs, readOnce());
    state.SetLabel(fmt::format("{}: {}", file.name, error.empty() ? "read" : error.substr(0, 60)));
    logged = std::max(logged, logBytes() - logBefore);
    const std::size_t peak = statusKiB("VmHWM");
    aboveKiB = std::max(aboveKiB, peak > before ? peak - before : 0);
    // Closes asked for at several points of the read.
    for (const int afterMs : {10, 50, 150, 400}) {
      std::thread reader(readOnce);
      std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
      const auto close = Clock::now();
      g_stopRun.store(true);
      reader.join();
      worstCloseMs = std::max(worstCloseMs, ms(Clock::now() - close));
      g_stopRun.store(false);
    }
  }
  state.counters["MB"] = bytes / 1e6;
  state.counters["read_ms"] = readMs;
  state.counters["log_KiB"] = static_cast<double>(logged) / 1024.0;
  state.counters["read_peak_x_file"] = static_cast<double>(aboveKiB) * 1024.0 / bytes;
  state.counters["close_ms"] = worstCloseMs;
  // The physical limit: the same file read whole.
  const auto plainStart = Clock::now();
  std::string content;
  gf_readWholeFile(file.learned ? learned : park, content);
  benchmark::DoNotOptimize(content.data());
  state.counters["x_plain_read"] = readMs / ms(Clock::now() - plainStart);
}

void sizes(benchmark::internal::Benchmark* b) { b->Arg(100)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond); }
void sizesAndPercentages(benchmark::internal::Benchmark* b) {
  for (const int options : {100, 300, 600})
    for (const int percent : {30, 100}) b->Args({options, percent});
  b->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_PlainRead)->Apply(sizes);
BENCHMARK(BM_ReadParkFile)->Apply(sizes)->Iterations(3);
BENCHMARK(BM_Calculation)->Apply(sizesAndPercentages);
BENCHMARK(BM_MainLoopPasses)->Apply(sizesAndPercentages)->Iterations(10);
BENCHMARK(BM_CrowdedParkFile)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_HostileParkFile)->DenseRange(0, std::size(kHostileFiles) - 1)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
