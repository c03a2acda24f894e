// The whole livery scan of a generated installed-AI tree (aircraft.cfg files
// with 1 to 60 liveries each, mixed character sets, a reference database),
// beside a plain read of the same files measured in the same run, at 2,000,
// 20,000 and 60,000 files, for the realistic and the stress shape of the
// generator (tools/ai_tree_generator.h).
//
//   build/bench/skyloom_bench [--benchmark_filter=...]
// Each result carries: plain_ms (reading every file of the tree once on one
// thread), ratio (scan / plain read), threaded_ms (the same read with as many
// threads as the scan uses), ratio_threaded (scan / threaded read),
// us_per_file, peak_MiB (the process's peak during
// the scan), B_per_livery (the scan's peak above what the process held before
// it, per livery section), and the share of each phase of the scan in %.
// SKYLOOM_BENCH_DIR names the folder of the generated trees (default: a
// folder under the temporary folder; each tree is made once and reused).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <malloc.h>  // malloc_trim: the peak is measured from what the process really holds

#include <benchmark/benchmark.h>
#include <fmt/format.h>

#include "aircraftdata/dbase.h"
#include "aircraftdata/livery_tables.h"
#include "app/files.h"
#include "app/log.h"
#include "app/parameters.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "bench/process_memory.h"
#include "scan/cfg_parser.h"
#include "scan/livery_scan.h"
#include "tools/ai_tree_generator.h"

namespace fs = std::filesystem;

namespace {

fs::path benchRoot() {
  const char* dir = std::getenv("SKYLOOM_BENCH_DIR");
  return dir != nullptr ? fs::path(dir) : fs::temp_directory_path() / "skyloom-bench-ai-tree";
}

// Generates the tree once, makes it the working folder and reads its
// database. Returns the number of livery sections in it.
std::size_t prepare(std::size_t files, bool stress) {
  const fs::path root = benchRoot() / fmt::format("{}-{}", stress ? "stress" : "realistic", files);
  fs::create_directories(root);
  fs::current_path(root);
  std::size_t liveries = 0;
  if (!(std::ifstream("ready") >> liveries)) {
    for (const char* folder : {"liveries", "input", "output"}) fs::remove_all(folder);
    std::cerr << "generating the AI tree in " << root << " ...\n";
    AiTreeShape shape;
    shape.files = files;
    shape.stress = stress;
    // A real database knows about as many registrations as there are liveries.
    shape.registrations = stress ? 100000 : files * 32;
    liveries = gf_generateAiTree(root, shape);
    std::ofstream("ready") << liveries << "\n";
  }
  setenv("APPDATA", (root / "appdata").c_str(), 1);
  gf_initFolders();
  gf_openLog(".");
  gf_resetDbaseForTests();
  gf_readDbase();
  g_maxTasks = static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  return liveries;
}

using benchsupport::resetPeakMemory;
using benchsupport::statusKiB;

double plainReadSeconds() {
  const auto start = std::chrono::steady_clock::now();
  std::size_t bytes = 0;
  for (const auto& entry : fs::recursive_directory_iterator("liveries")) {
    if (!entry.is_regular_file()) continue;
    std::string content;
    gf_readWholeFile(entry.path(), content);
    bytes += content.size();
    benchmark::DoNotOptimize(content.data());
  }
  benchmark::DoNotOptimize(bytes);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The same files read by as many threads as the scan uses (g_maxTasks), each
// taking the next file of the walk: how fast the disk and the system give
// the files to several readers.
double threadedReadSeconds() {
  const auto start = std::chrono::steady_clock::now();
  std::vector<fs::path> paths;
  for (const auto& entry : fs::recursive_directory_iterator("liveries"))
    if (entry.is_regular_file()) paths.push_back(entry.path());
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> bytes{0};
  std::vector<std::thread> readers;
  for (std::int32_t t = 0; t < std::max(1, g_maxTasks.load()); ++t) {
    readers.emplace_back([&] {
      std::string content;
      for (std::size_t i = next++; i < paths.size(); i = next++) {
        gf_readWholeFile(paths[i], content);
        bytes += content.size();
      }
    });
  }
  for (std::thread& reader : readers) reader.join();
  benchmark::DoNotOptimize(bytes.load());
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_LiveryScan(benchmark::State& state) {
  const auto files = static_cast<std::size_t>(state.range(0));
  const bool stress = state.range(1) != 0;
  const std::size_t liveries = prepare(files, stress);
  prm::LIG_AUTOMATIC.set(false);
  prm::lfolder0.set("liveries");
  double plain = 0, threaded = 0, scan = 0;
  LiveryScanPhases phases;
  std::size_t peakKiB = 0, aboveKiB = 0;
  for (auto _ : state) {
    state.PauseTiming();
    plain += plainReadSeconds();
    threaded += threadedReadSeconds();
    gf_clearLiveryTables();
    lf_clearLiveries();
    prm::SCAN_LIVERIES.set(true);
    malloc_trim(0);
    const std::size_t before = statusKiB("VmRSS");
    resetPeakMemory();
    state.ResumeTiming();
    const auto start = std::chrono::steady_clock::now();
    gf_scanLiveries();
    scan += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.PauseTiming();
    const std::size_t peak = statusKiB("VmHWM");
    peakKiB = std::max(peakKiB, peak);
    aboveKiB = std::max(aboveKiB, peak > before ? peak - before : 0);
    phases.walkAndParse += g_liveryScanPhases.walkAndParse;
    phases.merge += g_liveryScanPhases.merge;
    phases.corrections += g_liveryScanPhases.corrections;
    phases.sort += g_liveryScanPhases.sort;
    phases.write += g_liveryScanPhases.write;
    phases.report += g_liveryScanPhases.report;
    phases.handOver += g_liveryScanPhases.handOver;
    gf_clearLiveryTables();
    state.ResumeTiming();
  }
  const auto n = static_cast<double>(state.iterations());
  state.counters["plain_ms"] = plain / n * 1e3;
  state.counters["ratio"] = scan / plain;
  state.counters["threaded_ms"] = threaded / n * 1e3;
  state.counters["ratio_threaded"] = scan / threaded;
  state.counters["us_per_file"] = scan / n / static_cast<double>(files) * 1e6;
  state.counters["peak_MiB"] = static_cast<double>(peakKiB) / 1024.0;
  state.counters["B_per_livery"] = static_cast<double>(aboveKiB) * 1024.0 / static_cast<double>(liveries);
  state.counters["liveries"] = static_cast<double>(liveries);
  const auto share = [&](double seconds) { return seconds / scan * 100.0; };
  state.counters["%walk_parse"] = share(phases.walkAndParse);
  state.counters["%merge"] = share(phases.merge);
  state.counters["%corrections"] = share(phases.corrections);
  state.counters["%sort"] = share(phases.sort);
  state.counters["%write"] = share(phases.write);
  state.counters["%report"] = share(phases.report);
  state.counters["%handover"] = share(phases.handOver);
}

// A close during the scan of one large folder: the time from the stop
// request to the end of gf_scanLiveries, with the stop asked for at several
// moments of the walk and the parse.
void BM_CloseDuringScan(benchmark::State& state) {
  prepare(static_cast<std::size_t>(state.range(0)), false);
  prm::LIG_AUTOMATIC.set(false);
  prm::lfolder0.set("liveries");
  double worst = 0;
  int round = 0;
  for (auto _ : state) {
    gf_clearLiveryTables();
    lf_clearLiveries();
    prm::SCAN_LIVERIES.set(true);
    g_stopRun = false;
    std::thread scan([] { gf_scanLiveries(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50 + 150 * (round++ % 5)));
    const auto stop = std::chrono::steady_clock::now();
    g_stopRun = true;
    scan.join();
    worst = std::max(worst, std::chrono::duration<double>(std::chrono::steady_clock::now() - stop).count());
  }
  g_stopRun = false;
  state.counters["worst_close_ms"] = worst * 1e3;
}

}  // namespace

BENCHMARK(BM_CloseDuringScan)->Arg(20000)->ArgNames({"files"})->Unit(benchmark::kMillisecond)->Iterations(10);

// Arguments: number of files, stress shape (0 or 1). The small trees are
// scanned more often, so that the cost per file compares at every size.
BENCHMARK(BM_LiveryScan)
    ->ArgsProduct({{2000}, {0, 1}})
    ->ArgNames({"files", "stress"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);
BENCHMARK(BM_LiveryScan)
    ->ArgsProduct({{20000, 60000}, {0, 1}})
    ->ArgNames({"files", "stress"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_MAIN();
