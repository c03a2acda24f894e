// The whole livery scan of a realistic installed-AI tree (20,000 aircraft.cfg
// files with 1 to 60 liveries each, mixed character sets, a reference database
// of 100,000 registrations), beside a plain read of the same files.
//
//   build/bench/skyloom_bench [--benchmark_filter=...]
// SKYLOOM_BENCH_DIR names the folder of the generated tree (default: a folder
// under the temporary folder, made once and reused).
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "aircraftdata/dbase.h"
#include "aircraftdata/livery_tables.h"
#include "app/files.h"
#include "app/log.h"
#include "app/parameters.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "scan/cfg_parser.h"
#include "scan/livery_scan.h"
#include "tools/ai_tree_generator.h"

namespace fs = std::filesystem;

namespace {

fs::path benchRoot() {
  const char* dir = std::getenv("SKYLOOM_BENCH_DIR");
  return dir != nullptr ? fs::path(dir) : fs::temp_directory_path() / "skyloom-bench-ai-tree";
}

// Generates the tree once and makes it the working folder.
void prepare() {
  static bool done = false;
  if (done) return;
  const fs::path root = benchRoot();
  if (!fs::exists(root / "ready")) {
    fs::remove_all(root);
    std::cerr << "generating the AI tree in " << root << " ...\n";
    const std::size_t liveries = gf_generateAiTree(root, AiTreeShape{});
    std::ofstream(root / "ready") << liveries << "\n";
  }
  fs::current_path(root);
  setenv("APPDATA", (root / "appdata").c_str(), 1);
  gf_initFolders();
  gf_openLog(".");
  gf_readDbase();
  g_maxTasks = static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
  done = true;
}

std::size_t peakMemoryKiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::stoul(line.substr(6));
  return 0;
}

void BM_PlainRead(benchmark::State& state) {
  prepare();
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator("liveries")) {
      if (!entry.is_regular_file()) continue;
      std::string content;
      gf_readWholeFile(entry.path(), content);
      bytes += content.size();
      benchmark::DoNotOptimize(content.data());
    }
  }
  state.counters["MB"] = static_cast<double>(bytes) / 1e6;
}

void BM_LiveryScan(benchmark::State& state) {
  prepare();
  prm::LIG_AUTOMATIC.set(false);
  prm::lfolder0.set("liveries");
  for (auto _ : state) {
    state.PauseTiming();
    gf_clearLiveryTables();
    lf_clearLiveries();
    prm::SCAN_LIVERIES.set(true);
    state.ResumeTiming();
    gf_scanLiveries();
  }
  state.counters["peak_MiB"] = static_cast<double>(peakMemoryKiB()) / 1024.0;
}

}  // namespace

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LiveryScan)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_MAIN();
