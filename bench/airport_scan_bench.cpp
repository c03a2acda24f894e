// The add-on airport scan of a realistic scenery tree: 3,000, 10,000 or
// 30,000 BGL files of 1 KB to 1 MB, about one in a hundred holding an airport
// with 100 to 500 stands, beside a plain read of the same files.
//
//   BM_AirportScan/N   the whole scan (walk, header tests, airport tasks,
//                      archive links, generated files, offline-learning check)
//                      with, measured in the same run:
//                      ratio_to_read  the scan's time / a plain read of every BGL file
//                      walk_share     share of the walk with its header tests
//                      tblo_share     share of the offline-learning check
//                      peak_MiB       peak resident memory during the scan
//
// Hostile scenery, each in a fresh folder of its own:
//   BM_ManySectionsOneAirport/N  one BGL file whose N sections all lead to one
//                      airport record of 10,000 parking entries (600 KB):
//                      scan_ms and peak_MiB of the scan
//   BM_CloseDuringHelipads/N  one airport of N helipads: close_ms, the time
//                      from a close (stop and window-closed flags) while its
//                      task reads to the end of the scan
//   BM_DoubledHelipads/N  one airport of N helipads on one spot (a 63 MB file
//                      for 1.8 million): scan_ms, peak_MiB and the size of
//                      the scan log (log_KB)
//   BM_ManyAirports/N  one BGL file of N airport records without stands
//                      (26 MB for 400,000) in a package with a 0.9 MB
//                      manifest: scan_ms, peak_MiB, log_KB, and close_ms of
//                      a close one second into a second scan
//   BM_CloseWithSparseBgl  a sparse 2 GB "*.bgl" whose header counts 100
//                      million sections: close_ms of a close 100 ms into
//                      the scan
//   BM_CloseDuringOfflineCheck/N  N generated third-party airports checked
//                      for offline learning against a server that accepts
//                      and never answers (a 5 s low-speed limit): close_ms of
//                      a close during the first download
//
// SKYLOOM_BENCH_DIR names the folder of the generated trees (default: a
// folder under the temporary folder, made once per size and reused).
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "airports/airport_list.h"
#include "app/download.h"
#include "app/files.h"
#include "app/log.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "bench/process_memory.h"
#include "scan/airport_scan.h"
#include "scan/bgl_reader.h"
#include "support/bgl_builder.h"
#include "support/http_server.h"
#include "support/sparse_file.h"
#include "support/special_files.h"
#include "tools/scenery_generator.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

using benchsupport::peakMemoryMiB;
using benchsupport::resetPeakMemory;

// A folder for the bench's trees under SKYLOOM_BENCH_DIR or the temporary folder.
fs::path benchRoot(const std::string& name) {
  const char* dir = std::getenv("SKYLOOM_BENCH_DIR");
  return (dir != nullptr ? fs::path(dir) : fs::temp_directory_path()) / name;
}

// Makes root the working folder of a scan of its folder "sim"; the reference
// data is read when the tree has it.
void enter(const fs::path& root, bool referenceData) {
  fs::current_path(root);
  static bool logOpen = false;
  if (!logOpen) logOpen = gf_openLog(".");
  gf_initFolders();
  fs::create_directories(g_airportsFolder);
  gf_resetDbaseForTests();
  if (referenceData) gf_readDbase();
  gf_resetAirportsForTests();
  if (referenceData) gf_readAirports("airports_msfs.xml");
  prm::MSFS_INSTALL_PATH.set((root / "sim").string());
  g_isMsfs2020 = true;
  g_maxTasks = static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  g_runningTasks = 0;
  g_stopRun = false;
  g_windowClosed = false;
  // Nothing listens there: the offline-learning check's downloads fail at once.
  gf_setDownloadServer("http://127.0.0.1:1/");
}

// Generates the tree of this size once and makes it the working folder.
void prepare(std::size_t files) {
  const fs::path root = benchRoot(fmt::format("skyloom-bench-scenery-{}", files));
  if (!fs::exists(root / "ready")) {
    fs::remove_all(root);
    std::cerr << "generating the scenery tree in " << root << " ...\n";
    const SceneryTotals t = gf_generateSceneryTree(root, SceneryShape{files, files / 100, 11});
    std::ofstream(root / "ready") << t.files << " files, " << t.airports << " airports, " << t.stands << " stands, "
                                  << t.bytes << " bytes\n";
  }
  enter(root, true);
}

// One whole scan: its milliseconds and the peak resident memory during it.
void measuredScan(double& scanMs, double& peakMiB) {
  prm::SCAN_AIRPORTS.set(true);
  resetPeakMemory();
  const auto start = Clock::now();
  gf_scanAddonAirports();
  scanMs = ms(Clock::now() - start);
  peakMiB = peakMemoryMiB();
}

std::vector<fs::path> bglFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator("sim"))
    if (entry.is_regular_file() && lf_isBglFile(entry.path().extension().string())) files.push_back(entry.path());
  return files;
}

// The physical limit: every BGL file read whole.
double plainReadMs(const std::vector<fs::path>& files) {
  const auto start = Clock::now();
  std::string content;
  for (const fs::path& file : files) {
    gf_readWholeFile(file, content, kBglMaxFileBytes);
    benchmark::DoNotOptimize(content.data());
  }
  return ms(Clock::now() - start);
}

// The walk with its filters and header tests alone, as the scan makes it.
double walkMs() {
  const auto start = Clock::now();
  std::size_t airports = 0;
  for (const char* root : {"sim/Official", "sim/Community"}) {
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
      const std::string path = it->path().string();
      if (lf_isExcludedScanPath(path)) {
        it.disable_recursion_pending();
        continue;
      }
      if (it->is_regular_file() && lf_isBglFile(it->path().extension().string()) && lf_hasAirportSection(it->path()))
        ++airports;
    }
  }
  benchmark::DoNotOptimize(airports);
  return ms(Clock::now() - start);
}

double tbloMs() {
  std::vector<std::string> names;
  gf_listXmlFiles(names);
  const auto start = Clock::now();
  lf_collectTbloAirports(names);
  return ms(Clock::now() - start);
}

void BM_AirportScan(benchmark::State& state) {
  prepare(static_cast<std::size_t>(state.range(0)));
  const std::vector<fs::path> files = bglFiles();
  plainReadMs(files);  // warms the page cache for both sides
  const double read = plainReadMs(files);
  double scan = 0.0;
  double peak = 0.0;
  for (auto _ : state) measuredScan(scan, peak);
  const double walk = walkMs();
  const double tblo = tbloMs();
  state.counters["files"] = static_cast<double>(files.size());
  state.counters["plain_read_ms"] = read;
  state.counters["ratio_to_read"] = scan / read;
  state.counters["walk_share"] = walk / scan;
  state.counters["tblo_share"] = tblo / scan;
  state.counters["peak_MiB"] = peak;
}

// A fresh, empty working folder for one hostile case, with the simulator's
// folders and no reference data.
void prepareHostile(const std::string& name) {
  const fs::path root = benchRoot("skyloom-bench-hostile-" + name);
  fs::remove_all(root);
  fs::create_directories(root / "sim" / "Official");
  fs::create_directories(root / "sim" / "Community");
  enter(root, false);
}

// Scans the hostile file `bgl` once per iteration and reports its size with
// the last scan's time and peak memory, and the scan log's size when asked.
void scanHostile(benchmark::State& state, const fs::path& bgl, bool withLog) {
  double scan = 0.0;
  double peak = 0.0;
  for (auto _ : state) measuredScan(scan, peak);
  state.counters["file_KB"] = static_cast<double>(fs::file_size(bgl)) / 1024.0;
  state.counters["scan_ms"] = scan;
  state.counters["peak_MiB"] = peak;
  if (withLog) state.counters["log_KB"] = static_cast<double>(fs::file_size(g_airportsScanLogPath)) / 1024.0;
}

// Runs the scan on a thread of its own, closes as the window's close button
// does once closeNow() holds, and returns the milliseconds from the close to
// the scan's end.
double closeMs(const std::function<bool()>& closeNow) {
  std::atomic<bool> done{false};
  prm::SCAN_AIRPORTS.set(true);
  std::thread scan([&] {
    try {
      gf_scanAddonAirports();
    } catch (const std::exception& e) {
      std::cerr << "scan: " << e.what() << "\n";
    }
    done = true;
  });
  while (!done && !closeNow()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto start = Clock::now();
  g_stopRun = true;
  g_windowClosed = true;
  scan.join();
  const double result = ms(Clock::now() - start);
  g_stopRun = false;
  g_windowClosed = false;
  return result;
}

std::vector<testsupport::BglParking> parkingEntries(int n) {
  std::vector<testsupport::BglParking> out;
  for (int i = 0; i < n; ++i)
    out.push_back({.number = static_cast<std::uint32_t>(i % 4096), .latitude = 51.4 + i * 1e-5});
  return out;
}

void BM_ManySectionsOneAirport(benchmark::State& state) {
  prepareHostile("sections");
  testsupport::BglAirportSpec airport{.icao = "EGLL"};
  airport.parking = parkingEntries(10000);
  testsupport::BglBuilder()
      .airportSection({airport})
      .repeatLastSection(static_cast<std::size_t>(state.range(0)))
      .write("sim/Community/pkg/scenery/EGLL.bgl");
  scanHostile(state, "sim/Community/pkg/scenery/EGLL.bgl", false);
}

void BM_CloseDuringHelipads(benchmark::State& state) {
  prepareHostile("helipads");
  testsupport::BglAirportSpec airport{.icao = "EGLL"};
  for (int i = 0; i < state.range(0); ++i)
    airport.helipadsBefore.push_back({.latitude = 51.0 + (i / 1000) * 1e-4, .longitude = -0.5 + (i % 1000) * 1e-4});
  testsupport::BglBuilder().airportSection({airport}).write("sim/Community/pkg/scenery/EGLL.bgl");
  double close = 0.0;
  for (auto _ : state) close = closeMs([] { return g_runningTasks.load() > 0; });
  state.counters["file_KB"] = static_cast<double>(fs::file_size("sim/Community/pkg/scenery/EGLL.bgl")) / 1024.0;
  state.counters["close_ms"] = close;
}

void BM_DoubledHelipads(benchmark::State& state) {
  prepareHostile("doubled");
  testsupport::BglAirportSpec airport{.icao = "EGLL"};
  airport.helipadsBefore.assign(static_cast<std::size_t>(state.range(0)), testsupport::BglHelipad{});
  testsupport::BglBuilder().airportSection({airport}).write("sim/Community/pkg/scenery/EGLL.bgl");
  scanHostile(state, "sim/Community/pkg/scenery/EGLL.bgl", true);
}

void BM_ManyAirports(benchmark::State& state) {
  prepareHostile("manyairports");
  const std::vector<testsupport::BglAirportSpec> airports(static_cast<std::size_t>(state.range(0)), {.icao = "ZZZZ"});
  testsupport::BglBuilder().airportSection(airports).write("sim/Community/pkg/scenery/many.bgl");
  {
    // A manifest of 0.9 MB, which every airport record's publisher search meets.
    std::ofstream m("sim/Community/pkg/manifest.json");
    m << "{\"creator\": \"x\", \"pad\": [";
    for (int i = 0; i < 90000; ++i) m << (i ? "," : "") << "\"abcdefgh\"";
    m << "]}";
  }
  scanHostile(state, "sim/Community/pkg/scenery/many.bgl", true);
  const auto start = Clock::now();
  state.counters["close_ms"] = closeMs([&] { return Clock::now() - start > std::chrono::seconds(1); });
}

void BM_CloseWithSparseBgl(benchmark::State& state) {
  prepareHostile("sparse");
  const fs::path big = "sim/Community/pkg/scenery/big.bgl";
  testsupport::writeSparseFile(big, std::uintmax_t{2} << 30);
  {
    std::string header = testsupport::BglBuilder().otherSection(0x65, 0).sectionCount(100'000'000).bytes().substr(0, 56);
    std::fstream out(big, std::ios::in | std::ios::out | std::ios::binary);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
  }
  double close = 0.0;
  for (auto _ : state) {
    const auto start = Clock::now();
    close = closeMs([&] { return Clock::now() - start > std::chrono::milliseconds(100); });
  }
  state.counters["close_ms"] = close;
}

void BM_CloseDuringOfflineCheck(benchmark::State& state) {
  prepareHostile("offline");
  for (int i = 0; i < state.range(0); ++i) {
    testsupport::BglAirportSpec airport{.icao = fmt::format("ZZ{:02}", i)};
    airport.parking = parkingEntries(3);
    testsupport::BglBuilder().airportSection({airport}).write(fmt::format("sim/Community/pkg{}/a.bgl", i));
  }
  testsupport::RawSocketServer silent;
  gf_setDownloadServer(silent.baseUrl());
  const DownloadLimits limits = gf_downloadLimits();
  DownloadLimits slow = limits;
  slow.lowSpeedTime = std::chrono::seconds(5);
  gf_setDownloadLimits(slow);
  double close = 0.0;
  for (auto _ : state) {
    const int before = silent.acceptedCount();
    close = closeMs([&] { return silent.acceptedCount() > before; });
  }
  gf_setDownloadLimits(limits);
  gf_setDownloadServer("http://127.0.0.1:1/");
  state.counters["close_ms"] = close;
}

}  // namespace

BENCHMARK(BM_ManySectionsOneAirport)->Arg(100)->Arg(2000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CloseDuringHelipads)->Arg(200000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_DoubledHelipads)->Arg(1'800'000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ManyAirports)->Arg(400'000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CloseWithSparseBgl)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_CloseDuringOfflineCheck)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_AirportScan)->Arg(3000)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
