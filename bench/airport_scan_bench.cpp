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
// SKYLOOM_BENCH_DIR names the folder of the generated trees (default: a
// folder under the temporary folder, made once per size and reused).
#include <algorithm>
#include <chrono>
#include <cstdlib>
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
#include "scan/airport_scan.h"
#include "scan/bgl_reader.h"
#include "tools/scenery_generator.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void resetPeakMemory() { std::ofstream("/proc/self/clear_refs") << "5"; }
double peakMemoryMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stod(line.substr(6)) / 1024.0;
  return 0.0;
}

// Generates the tree of this size once and makes it the working folder.
void prepare(std::size_t files) {
  const char* dir = std::getenv("SKYLOOM_BENCH_DIR");
  const fs::path root = (dir != nullptr ? fs::path(dir) : fs::temp_directory_path()) /
                        fmt::format("skyloom-bench-scenery-{}", files);
  if (!fs::exists(root / "ready")) {
    fs::remove_all(root);
    std::cerr << "generating the scenery tree in " << root << " ...\n";
    const SceneryTotals t = gf_generateSceneryTree(root, SceneryShape{files, files / 100, 11});
    std::ofstream(root / "ready") << t.files << " files, " << t.airports << " airports, " << t.stands << " stands, "
                                  << t.bytes << " bytes\n";
  }
  fs::current_path(root);
  static bool logOpen = false;
  if (!logOpen) logOpen = gf_openLog(".");
  gf_initFolders();
  fs::create_directories(g_airportsFolder);
  gf_resetDbaseForTests();
  gf_readDbase();
  gf_resetAirportsForTests();
  gf_readAirports("airports_msfs.xml");
  prm::MSFS_INSTALL_PATH.set((root / "sim").string());
  g_isMsfs2020 = true;
  g_maxTasks = static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  g_runningTasks = 0;
  // Nothing listens there: the offline-learning check's downloads fail at once.
  gf_setDownloadServer("http://127.0.0.1:1/");
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
  for (auto _ : state) {
    prm::SCAN_AIRPORTS.set(true);
    resetPeakMemory();
    const auto start = Clock::now();
    gf_scanAddonAirports();
    scan = ms(Clock::now() - start);
    peak = peakMemoryMiB();
  }
  const double walk = walkMs();
  const double tblo = tbloMs();
  state.counters["files"] = static_cast<double>(files.size());
  state.counters["plain_read_ms"] = read;
  state.counters["ratio_to_read"] = scan / read;
  state.counters["walk_share"] = walk / scan;
  state.counters["tblo_share"] = tblo / scan;
  state.counters["peak_MiB"] = peak;
}

}  // namespace

BENCHMARK(BM_AirportScan)->Arg(3000)->Arg(10000)->Arg(30000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_MAIN();
