// The demo: runs Skyloom in a fresh working folder with its own AppData,
// as a user would start it, with the user aircraft standing on a stand of
// the demo airport (EGLL, its park file and learned file in the folder) in the
// simulated simulator, and RealTraffic installed on this PC: the fake
// RealTraffic (tools/fake_realtraffic.cpp) runs as a child process on free
// ports of 127.0.0.1 and is stopped at the end whatever happens.
//
// Steps, each printed with the status line texts, the new log lines and
// what the fake RealTraffic printed, and saved as a screenshot:
//  1. start-up: liveries scanned, RealTraffic connected and answered, its
//     traffic and weather read, the position and time lines sent, the
//     statics placed at EGLL (printed with livery and stand);
//  2. to 5. the user's clicks and keys: the Radius combo, the "Nav lights"
//     checkbox, Enter in "Max fit", the "Re-read" button;
//  6. and 7. RealTraffic drops the link and connects again 3 s later;
//  8. an interrupted update cuts the add-on airport's BGL file short, the
//     user edits parameters.xml and the learned file by hand, and a scan
//     is started: what was cut keeps its park file, the edits stay;
//  9. the close button, and how long Skyloom took to end.
// The folder it runs in is made by demo_folder.cpp.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <thread>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <sstream>
#include <string_view>

#include <fmt/format.h>

#include "demo_folder.h"

#include "app/entry.h"
#include "app/requests.h"
#include "app/run_thread.h"
#include "app/runstate.h"
#include "app/settings.h"
#include "feed/feed_state.h"
#include "feed/rt_server.h"
#include "feed/udp_readers.h"
#include "platform/net/tcp.h"
#include "platform/net/udp.h"
#include "platform/simconnect/sim_world.h"
#include "platform/win32/testdriver.h"
#include "ui/display_state.h"
#include "ui/controls.h"
#include "ui/main_window.h"
#include "ui/status_line.h"
#include "ui/traffic_range.h"

namespace fs = std::filesystem;
namespace drv = win32layer::testdriver;
using namespace skyloomdemo;

namespace {

// The status line texts that appeared since the last report, in order.
std::vector<std::string> g_statusTrail;
std::string g_statusShown;

void noteStatus() {
  const StatusSnapshot now = gf_statusSnapshot();
  const std::string text = now.error.empty() ? now.status : "error: " + now.error;
  if (text == g_statusShown) return;
  g_statusShown = text;
  if (!text.empty()) g_statusTrail.push_back(text);
}

// Pumps the window's messages for a while, or until done.
bool pumpFor(std::chrono::milliseconds time, const std::function<bool()>& done = [] { return false; },
             bool quitNeeded = true) {
  const auto end = std::chrono::steady_clock::now() + time;
  bool quit = false;
  while (std::chrono::steady_clock::now() < end) {
    if (drv::pumpUntilIdle().quit) quit = true;
    noteStatus();
    if ((quit || !quitNeeded) && done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return quit;
}

// Pumps until done() (true) or the time is up (false), the window still open.
bool waitFor(std::chrono::milliseconds time, const std::function<bool()>& done) {
  return pumpFor(time, done, /*quitNeeded=*/false);
}

// Free ports on this PC, so that the demo never meets a RealTraffic or
// another demo that is running.
FeedPorts pickFreePorts() {
  const net::TcpListener tcp(0);
  const net::UdpSocket traffic(0, net::BindAddress::Any);
  const net::UdpSocket weather(0, net::BindAddress::Any);
  return FeedPorts{tcp.port(), traffic.port(), weather.port()};
}

// The fake RealTraffic as a child process: its output is kept (and written
// to a transcript file) for the demo to print step by step. It is stopped
// when this object goes, and it ends with the demo should the demo die.
class FakeRealTraffic {
 public:
  FakeRealTraffic(const fs::path& program, const std::vector<std::string>& args, const fs::path& transcript)
      : m_transcript(transcript, std::ios::binary) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe2 failed");
    std::vector<std::string> argv{program.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);
    const pid_t parent = ::getpid();
    m_pid = ::fork();
    if (m_pid == 0) {
      // The child: ends with the demo; its output goes into the pipe.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(1);
      ::dup2(fds[1], STDOUT_FILENO);
      ::dup2(fds[1], STDERR_FILENO);
      ::execv(pointers[0], pointers.data());
      ::_exit(127);
    }
    ::close(fds[1]);
    if (m_pid < 0) {
      ::close(fds[0]);
      throw std::runtime_error("fork failed");
    }
    m_reader = std::thread([this, fd = fds[0]] { readOutput(fd); });
  }
  ~FakeRealTraffic() { stop(); }
  FakeRealTraffic(const FakeRealTraffic&) = delete;
  FakeRealTraffic& operator=(const FakeRealTraffic&) = delete;

  pid_t pid() const { return m_pid; }
  // Drops the link now: RealTraffic goes silent for a while.
  void dropLink() const {
    if (m_pid > 0) ::kill(m_pid, SIGUSR1);
  }
  // The lines printed since the last call.
  std::vector<std::string> takeNewLines() {
    std::lock_guard lock(m_mutex);
    std::vector<std::string> lines(m_lines.begin() + static_cast<std::ptrdiff_t>(m_taken), m_lines.end());
    m_taken = m_lines.size();
    return lines;
  }
  // True once it has printed a line holding `text`.
  bool printed(std::string_view text) {
    std::lock_guard lock(m_mutex);
    return std::any_of(m_lines.begin(), m_lines.end(),
                       [&](const std::string& line) { return line.find(text) != std::string::npos; });
  }
  std::size_t countLines(std::string_view text) {
    std::lock_guard lock(m_mutex);
    return static_cast<std::size_t>(std::count_if(m_lines.begin(), m_lines.end(), [&](const std::string& line) {
      return line.find(text) != std::string::npos;
    }));
  }
  // Waits for it to end by itself; true when it did.
  bool waitForExit(std::chrono::milliseconds time) {
    const auto end = std::chrono::steady_clock::now() + time;
    while (m_pid > 0) {
      if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) m_pid = -1;
      else if (std::chrono::steady_clock::now() >= end) return false;
      else std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  // Ends it (asked first, killed when it does not listen) and collects its output.
  void stop() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGTERM);
      if (!waitForExit(std::chrono::seconds(2))) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
      }
    }
    if (m_reader.joinable()) m_reader.join();
  }

 private:
  void readOutput(int fd) {
    std::string pending;
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      pending.append(buffer, static_cast<std::size_t>(got));
      for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(pending.substr(0, end));
        m_transcript << m_lines.back() << '\n' << std::flush;
        pending.erase(0, end + 1);
      }
    }
    ::close(fd);
  }

  pid_t m_pid = -1;
  std::ofstream m_transcript;
  std::thread m_reader;
  std::mutex m_mutex;
  std::vector<std::string> m_lines;
  std::size_t m_taken = 0;
};

// The part of Log.txt written since the last look.
class LogWatch {
 public:
  explicit LogWatch(fs::path path) : m_path(std::move(path)) {}
  std::string newText() {
    std::ifstream in(m_path, std::ios::binary);
    if (!in) return {};
    in.seekg(0, std::ios::end);
    const auto size = static_cast<std::size_t>(in.tellg());
    if (size <= m_offset) return {};
    std::string text(size - m_offset, '\0');
    in.seekg(static_cast<std::streamoff>(m_offset));
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    m_offset = size;
    return text;
  }
  // Whether the part since the last look holds the text.
  bool contains(std::string_view text) const { return containsFrom(text, m_offset); }
  // Whether the whole log holds the text.
  bool everContained(std::string_view text) const { return containsFrom(text, 0); }

 private:
  bool containsFrom(std::string_view text, std::size_t offset) const {
    std::ifstream in(m_path, std::ios::binary);
    std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return all.find(text, offset) != std::string::npos;
  }
  fs::path m_path;
  std::size_t m_offset = 0;
};

// What one step brought: the status line, the new log lines, what the fake
// RealTraffic printed (its once-a-second lines shown once with a count).
void report(LogWatch& log, FakeRealTraffic& rt) {
  noteStatus();
  for (const std::string& text : g_statusTrail) std::cout << fmt::format("   status line: \"{}\"\n", text);
  g_statusTrail.clear();
  const StatusSnapshot status = gf_statusSnapshot();
  if (status.status.empty() && status.error.empty()) std::cout << "   status line: now empty\n";
  std::istringstream lines(log.newText());
  bool first = true;
  for (std::string line; std::getline(lines, line);) {
    if (line.empty()) continue;
    if (first) std::cout << "   log:\n";
    first = false;
    std::cout << "     " << line << "\n";
  }
  const auto kindOf = [](const std::string& line) -> std::string {
    if (line.find(": sent ") != std::string::npos) return "broadcast";
    for (const char* kind : {"Qs121=", "Qs123="})
      if (line.find(std::string("received \"") + kind) != std::string::npos) return kind;
    return {};
  };
  std::vector<std::pair<std::string, int>> more;
  for (const std::string& line : rt.takeNewLines()) {
    const std::string kind = kindOf(line);
    auto seen = std::find_if(more.begin(), more.end(), [&](const auto& m) { return m.first == kind; });
    if (kind.empty() || seen == more.end()) {
      std::cout << "   " << line << "\n";
      if (!kind.empty()) more.emplace_back(kind, 0);
    } else {
      ++seen->second;
    }
  }
  for (const auto& [kind, count] : more) {
    // The first broadcast is printed whole; the header shows the QNH of the last one read.
    if (kind == "broadcast" && count > 0)
      std::cout << fmt::format("   fake RealTraffic: ... and {} more second{} of broadcasts\n", count, count == 1 ? "" : "s");
    if (kind == "broadcast" && g_qnhShown.load() > 0)
      std::cout << fmt::format("   the header shows QNH {} hPa, that of the last broadcast read\n", g_qnhShown.load());
    else if (kind == "broadcast")
      std::cout << "   the header shows no QNH yet: no broadcast was read since the run started\n";
    else if (count > 0)
      std::cout << fmt::format("   fake RealTraffic: ... and {} more \"{}\" line{} received\n", count, kind,
                               count == 1 ? "" : "s");
  }
}

void heading(std::string_view text) { std::cout << "\n==== " << text << "\n"; }

void screenshot(HWND window, const fs::path& path) {
  if (drv::saveScreenshot(window, path)) std::cout << "   saved " << path.string() << "\n";
  else std::cout << "   could not save " << path.string() << "\n";
}

HWND controlOf(HWND window, int id) { return ::GetDlgItem(window, id); }

std::string readerState(std::int32_t status) {
  switch (status) {
    case kReaderReceiving: return "receiving";
    case kReaderNoNewData: return "no new data";
    case kReaderStopped: return "stopped";
    default: return "not started";
  }
}

// The feed as the window shows it, and what the readers counted.
void printFeed() {
  const std::string repeats = g_realTrafficLocal.load()
                                  ? std::string("exact repeats kept (RealTraffic runs on this PC)")
                                  : fmt::format("{} exact repeats dropped", g_readerCounts.repeats.load());
  std::cout << fmt::format(
      "   RealTraffic {}connected ({}), readers {}: traffic {}, weather {}, QNH {} hPa\n"
      "   {} traffic lines taken, {} ground vehicles dropped, {}, {} weather reports\n",
      g_rtConnected.load() ? "" : "not ", gf_realTrafficText(), g_readersActive.load() ? "on" : "off",
      readerState(g_trafficReaderStatus.load()), readerState(g_qnhReaderStatus.load()), g_qnhShown.load(),
      g_readerCounts.accepted.load(), g_readerCounts.vehicles.load(), repeats, g_readerCounts.qnhDatagrams.load());
}

bool feedUp() {
  return g_rtConnected.load() && g_readersActive.load() && g_trafficReaderStatus.load() == kReaderReceiving &&
         g_qnhShown.load() > 0;
}

std::size_t statics(std::uint32_t lights = 0) {
  std::size_t count = 0;
  for (const simsim::AiObject& o : simsim::world().aiObjects())
    if ((o.lights & lights) == lights) ++count;
  return count;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = fs::absolute(argc > 1 ? argv[1] : "demo");
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 1;
  const fs::path tools = fs::canonical("/proc/self/exe").parent_path();
  if (!fs::is_regular_file(tools / "fake_realtraffic")) {
    std::fprintf(stderr, "demo: %s is missing: build the fake_realtraffic target\n",
                 (tools / "fake_realtraffic").c_str());
    return 1;
  }
  const FeedPorts ports = pickFreePorts();
  prepareFolder(folder, ports);
  setenv("APPDATA", (folder / "appdata").c_str(), 1);
  setenv("LOCALAPPDATA", (folder / "localappdata").c_str(), 1);
  setenv("TMPDIR", (folder / "tmp").c_str(), 1);
  fs::current_path(folder);

  // The simulated simulator: its seconds pass ten times faster, and the user
  // aircraft stands at EGLL on stand 501.
  simsim::g_secondMs = 100;
  const DemoStand userStand = demoStands().front();
  simsim::world().placeUserOnGround(userStand.latitude, userStand.longitude, 180.0, 83.0);
  // The readers listen where the fake RealTraffic broadcasts.
  g_feedStart.trafficPort = ports.traffic;
  g_feedStart.qnhPort = ports.weather;

  heading(fmt::format("Skyloom in {}, with the fake RealTraffic on 127.0.0.1", folder.string()));
  FakeRealTraffic rt(tools / "fake_realtraffic",
                     {"--port", std::to_string(ports.tcp), "--traffic-port", std::to_string(ports.traffic),
                      "--weather-port", std::to_string(ports.weather), "--seconds", "600", "--silent", "3",
                      "--after", "600"},
                     folder / "fake_realtraffic.txt");
  std::cout << fmt::format("   fake RealTraffic started (pid {}): TCP port {}, traffic on UDP {}, weather on UDP {}\n",
                           rt.pid(), ports.tcp, ports.traffic, ports.weather);
  LogWatch log(folder / "Log.txt");

  HANDLE mutex = nullptr;
  if (gf_startProgram(mutex) != 0) {
    std::fprintf(stderr, "demo: Skyloom did not start\n");
    return 1;
  }
  HWND window = g_mainWindowHandle.load();
  pumpFor(std::chrono::seconds(seconds));
  // The liveries scanned, RealTraffic connected and answered, traffic and
  // weather read; the statics all placed and the statistics panel showing
  // them, the parking idle again until the next renewal. The last creation
  // follows the last placement by half a second: the count must hold still
  // for a while.
  std::size_t shown = 0;
  auto since = std::chrono::steady_clock::now();
  const bool placed = waitFor(std::chrono::seconds(60), [&] {
    const DisplaySnapshot d = gf_displaySnapshot();
    const std::size_t now = simsim::world().aiObjects().size();
    if (now != shown) since = std::chrono::steady_clock::now();
    shown = now;
    return feedUp() && rt.printed("received \"Qs121=") && rt.printed("received \"Qs123=") && d.parkFileLoaded &&
           !d.staticParkingBusy && shown > 0 && static_cast<std::size_t>(d.counters.parkedStatic) == shown &&
           d.minutesToRenewal >= 1 && d.minutesToRenewal <= 19 &&
           std::chrono::steady_clock::now() - since > std::chrono::milliseconds(1500);
  });
  heading("1. Start-up: liveries and add-on airports scanned, RealTraffic connected, traffic and weather read, "
          "statics placed");
  report(log, rt);
  const DisplaySnapshot header = gf_displaySnapshot();
  std::cout << "   the add-on airport scan's log, " << (folder / "output" / "info" / "AirportsScanLog.txt").string()
            << ":\n";
  std::ifstream scanLog(folder / "output" / "info" / "AirportsScanLog.txt");
  bool scanLogNamesModelLib = false;
  for (std::string line; std::getline(scanLog, line);) {
    std::cout << "     " << line << "\n";
    scanLogNamesModelLib = scanLogNamesModelLib || line.find("modelLib.BGL") != std::string::npos;
  }
  std::cout << fmt::format("   its model library modelLib.BGL ({} MB, no airports) was passed over{}\n",
                           kModelLibBytes >> 20,
                           log.everContained("modelLib.BGL") || scanLogNamesModelLib ? ", but a log names it"
                                                                                       : " without a word");
  std::cout << fmt::format("   header: # simaddon: {}  # thirdp: {}\n", header.simaddonCount, header.thirdpartyCount);
  std::cout << fmt::format("   statistics panel: {}, {}, qf: {} (from the park file and its learned file)\n",
                           header.parkFileAirportName, header.parkFilePublisher, header.qualityText);
  printFeed();
  std::cout << fmt::format("   {} static aircraft placed at EGLL (the user stands on {}):\n", shown, userStand.name);
  for (const simsim::AiObject& o : simsim::world().aiObjects())
    std::cout << fmt::format("     {:8} {:28} stand {}{}\n", o.tailNumber, o.title, standAt(o.latitude, o.longitude),
                             isLearned(o.tailNumber) ? " (learned in the last days)" : "");
  screenshot(window, folder / "01-started.png");

  // The user's clicks and keys, each followed by what it did.
  heading("2. The Radius combo: 20 nm picked");
  const auto& choices = prm::RANGE.choices();
  const int twenty = static_cast<int>(std::find(choices.begin(), choices.end(), 20) - choices.begin());
  const bool picked = drv::pickComboEntry(controlOf(window, prm::RANGE.controlId()), twenty);
  waitFor(std::chrono::milliseconds(300), [] { return false; });
  std::cout << fmt::format("   {}: the combo shows \"{}\", the traffic radius is {:.0f} nm\n",
                           picked ? "picked" : "NOT picked",
                           drv::windowText(controlOf(window, prm::RANGE.controlId())), g_rangeNm.load());
  report(log, rt);
  screenshot(window, folder / "02-radius.png");

  heading("3. The \"Nav lights\" checkbox: parked aircraft lit");
  const bool ticked = drv::click(controlOf(window, prm::NAV_LIGHTS_WHILE_PARKED.controlId()));
  const bool lit = waitFor(std::chrono::seconds(10), [&] { return statics(simsim::kLightNav) == statics(); });
  std::cout << fmt::format("   {}: the setting is {}; {} of {} statics show their nav lights{}\n",
                           ticked ? "clicked" : "NOT clicked", prm::NAV_LIGHTS_WHILE_PARKED.value() ? "on" : "off",
                           statics(simsim::kLightNav), statics(), lit ? "" : " (not all in time)");
  report(log, rt);
  screenshot(window, folder / "03-nav-lights.png");

  heading("4. \"Max fit\": 2 typed and Enter");
  HWND maxFit = controlOf(window, prm::MAX_FIT_FL.controlId());
  const bool typed = drv::clearText(maxFit) && drv::typeText(maxFit, "2") && drv::pressEnter(maxFit);
  waitFor(std::chrono::milliseconds(100), [] { return false; });
  std::cout << fmt::format("   {}: the field shows \"{}\"\n", typed ? "typed" : "NOT typed", drv::windowText(maxFit));
  // The statics are recalculated with the new value; then the parking
  // controls are enabled again.
  const bool recalculated = waitFor(std::chrono::seconds(10), [&] {
    return log.contains("Max fit=2 hours") && !gf_staticParkingBusy() && ::IsWindowEnabled(maxFit);
  });
  waitFor(std::chrono::milliseconds(200), [] { return false; });
  if (!recalculated) std::cout << "   the statics were not recalculated in time\n";
  report(log, rt);
  screenshot(window, folder / "04-max-fit.png");

  heading("5. The \"Re-read\" button");
  HWND reread = controlOf(window, g_rereadButton.controlId());
  // The button is greyed out while the static parking recalculates.
  waitFor(std::chrono::seconds(10), [&] { return ::IsWindowEnabled(reread) != FALSE; });
  const bool pressed = drv::click(reread);
  const bool disabled = pressed && !::IsWindowEnabled(reread);
  const bool reread_done =
      waitFor(std::chrono::seconds(10), [&] { return !g_rereadRequest.load() && ::IsWindowEnabled(reread); });
  std::cout << fmt::format("   {}: the button was {} while the park airports were re-read{}\n",
                           pressed ? "pressed" : "NOT pressed", disabled ? "greyed out" : "still enabled",
                           reread_done ? ", and is enabled again" : " (not done in time)");
  report(log, rt);
  screenshot(window, folder / "05-reread.png");

  // RealTraffic drops the link and is silent for 3 s, then connects again.
  heading("6. RealTraffic goes silent");
  rt.dropLink();
  const bool lost = waitFor(std::chrono::seconds(10), [] {
    return gf_statusSnapshot().status.find("RealTraffic gone?") != std::string::npos;
  });
  waitFor(std::chrono::milliseconds(200), [] { return false; });
  std::cout << (lost ? "" : "   the lost link was not noticed in time\n");
  printFeed();
  report(log, rt);
  screenshot(window, folder / "06-link-lost.png");

  heading("7. RealTraffic connects again");
  const std::size_t positionsBefore = rt.countLines("received \"Qs121=");
  const bool back = waitFor(std::chrono::seconds(15), [&] {
    return log.contains("RealTraffic re-connected") && feedUp() && rt.countLines("received \"Qs121=") > positionsBefore;
  });
  waitFor(std::chrono::milliseconds(300), [] { return false; });
  std::cout << (back ? "" : "   the feed did not come back in time\n");
  printFeed();
  report(log, rt);
  screenshot(window, folder / "window.png");

  // An update of the add-on airport broke off and left its BGL file cut
  // short. The user ticks the airport scan (it runs at the next start) and
  // presses Enter in the path field, which restarts the run. What the scan
  // could not read whole keeps the park file it made before.
  heading("8. The add-on airport's BGL file cut short by an interrupted update; \"Scan for addon airports\" ticked, "
          "Enter in the path field");
  const fs::path addonBgl = folder / "appdata" / "Microsoft Flight Simulator" / "Packages" / "Community" /
                            "asobo-airport-lszh-demo" / "scenery" / "LSZH.bgl";
  const fs::path addonParkFile = folder / "airports" / "my_simaddon" / "LSZH.xml";
  const auto standsIn = [](const fs::path& file) {
    std::ifstream in(file);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line);) n += line.find("<parkpos ") != std::string::npos;
    return n;
  };
  const std::size_t standsBefore = standsIn(addonParkFile);
  const auto bglBytes = fs::file_size(addonBgl);
  fs::resize_file(addonBgl, bglBytes * 2 / 3);
  std::cout << fmt::format("   LSZH.bgl cut from {} to {} bytes; LSZH.xml holds {} stands\n", bglBytes,
                           fs::file_size(addonBgl), standsBefore);
  // While Skyloom runs, the user sets a livery folder by hand in the
  // settings file, and a radius of 45 m for stand 503 in EGLL's learned file.
  const fs::path settingsFile = folder / "appdata" / "Skyloom" / "parameters.xml";
  const fs::path learnedFile = folder / "airports" / "learned" / "thirdparty" / "Demo Scenery" / "EGLL.xml";
  const std::string liveryFolder = (folder / "liveries").string();
  fs::create_directories(liveryFolder);
  const auto readText = [](const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  const auto replaceIn = [&](const fs::path& file, const std::string& from, const std::string& to) {
    std::string text = readText(file);
    const std::size_t at = text.find(from);
    if (at == std::string::npos) return false;
    writeText(file, text.replace(at, from.size(), to));
    return true;
  };
  const bool settingsEdited = replaceIn(settingsFile, "name=\"lfolder0\" value=\"\"",
                                        fmt::format("name=\"lfolder0\" value=\"{}\"", liveryFolder));
  const bool learnedEdited =
      replaceIn(learnedFile, "<parkpos id=\"503\">", "<parkpos id=\"503\" radius_change=\"true\" radius=\"45\">");
  std::cout << fmt::format("   by hand, while Skyloom runs: lfolder0 {} parameters.xml; stand 503's radius {} EGLL's learned "
                           "file\n",
                           settingsEdited ? "set in" : "NOT set in", learnedEdited ? "set in" : "NOT set in");
  const bool scanTicked = drv::click(controlOf(window, prm::SCAN_AIRPORTS.controlId()));
  const bool entered = drv::pressEnter(controlOf(window, prm::ALL_INSTALL_PATH.controlId()));
  const bool rescanned = waitFor(std::chrono::seconds(60), [&] {
    return log.contains("airports scan ends") && !gf_statusSnapshot().error.empty();
  });
  std::cout << fmt::format("   {}, {}: the run restarted and the airports were scanned{}\n",
                           scanTicked ? "ticked" : "NOT ticked", entered ? "Enter pressed" : "Enter NOT pressed",
                           rescanned ? "" : " (not in time)");
  std::cout << fmt::format("   LSZH.xml still holds {} stands; \"Scan for addon airports\" is {} again\n",
                           standsIn(addonParkFile), prm::SCAN_AIRPORTS.value() ? "on" : "off");
  report(log, rt);
  std::cout << fmt::format("   error line: \"{}\"\n", gf_statusSnapshot().error);
  // The restart saved both files: the click the setting, the unloading of
  // EGLL what was learned and set there (Max fit); the hand edits stay.
  const std::string learnedNow = readText(learnedFile);
  std::cout << fmt::format("   parameters.xml {} the livery folder typed by hand\n",
                           readText(settingsFile).find(liveryFolder) != std::string::npos ? "keeps" : "LOST");
  std::cout << fmt::format("   EGLL's learned file {} stand 503's radius set by hand, and holds MAX_FIT {}\n",
                           learnedNow.find("radius=\"45") != std::string::npos ? "keeps" : "LOST",
                           [&] {
                             constexpr std::string_view prefix = "name=\"MAX_FIT\" value=\"";
                             const std::size_t at = learnedNow.find(prefix);
                             if (at == std::string::npos) return std::string("?");
                             const std::size_t from = at + prefix.size();
                             return learnedNow.substr(from, learnedNow.find('"', from) - from);
                           }());
  screenshot(window, folder / "08-partial-scan.png");

  heading("9. The close button");
  const auto pressedAt = std::chrono::steady_clock::now();
  drv::pressCloseButton(window);
  const bool ended = pumpFor(std::chrono::seconds(30), [] { return g_runThreadsAlive.load() == 0; });
  gf_endProgram(mutex);
  const double closeSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - pressedAt).count();
  const bool rtEnded = rt.waitForExit(std::chrono::seconds(3));
  report(log, rt);
  std::cout << fmt::format("   Skyloom {} {:.2f} s after the close button{}\n", ended ? "ended" : "had not ended",
                           closeSeconds, closeSeconds <= 2.0 ? "" : " (more than 2 s)");
  std::cout << fmt::format("   the fake RealTraffic {}; it received {} position and {} time lines in all\n",
                           rtEnded ? "ended after Skyloom's \"exit\"" : "was still running and is stopped",
                           rt.countLines("received \"Qs121="), rt.countLines("received \"Qs123="));
  rt.stop();
  std::cout << "\n---- the log: " << (folder / "Log.txt").string() << "; the fake RealTraffic's output: "
            << (folder / "fake_realtraffic.txt").string() << "; screenshots: " << (folder / "*.png").string()
            << std::endl;
  if (!placed) {
    std::fprintf(stderr, "demo: the feed did not come up or the statics were not all placed in time\n");
    return 1;
  }
  if (!ended) {
    std::fprintf(stderr, "demo: Skyloom did not end after the close button\n");
    return 1;
  }
  return 0;
}
