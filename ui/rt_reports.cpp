#include "ui/rt_reports.h"

#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "app/clock.h"
#include "app/geo.h"
#include "app/log.h"
#include "app/runstate.h"
#include "feed/feed_state.h"
#include "feed/rt_server.h"
#include "traffic/live_clear.h"
#include "ui/display_state.h"
#include "ui/status_line.h"

namespace {

// A whole number for a "{:.0f}" field: rounded as the text would be, and
// +0 instead of -0, which a reader of the line may not take.
double lf_whole(double value) { return std::nearbyint(value) + 0.0; }

bool lf_isFinite(const UserAircraftData& u) {
  for (double v : {u.latitude, u.longitude, u.pitch, u.bank, u.heading, u.altitude, u.groundVelocity})
    if (!std::isfinite(v)) return false;
  return true;
}

// The link came back: the lamps and the status line say so.
constexpr std::chrono::milliseconds kReconnectLookPerReport{2};

// A RealTraffic (or anything on its port) that connects and drops over and
// over would write two lines a cycle: the status line shows every change, the
// log the first few of each kind in a run, then one a minute with a count;
// the last one left out is still written when the run ends, so the log ends
// on the link's last state.
BoundedLogLines g_reconnectedLines{kRtLinkLogGroup};
BoundedLogLines g_goneLines{kRtLinkLogGroup};

void lf_showLinkStatus(BoundedLogLines& lines, const std::string& text) {
  gf_showStatus(text, false);
  // Like the status line's own log lines: nothing while a stop is pending.
  if (!g_stopRun.load()) gf_logBounded(lines, gf_logText, "{}", text);
}

void lf_reconnect() {
  if (gf_exitReason() != ExitReason::NotYetSet) return;
  // No server (the HQV mode, or a port that could not be opened, logged
  // then): nobody can connect, and each report would log the failed wait.
  if (!gf_rtServerIsOpen()) return;
  // A short look for RealTraffic per report: the main loop (static parking,
  // the window's requests, a close) goes on while RealTraffic is away.
  if (!waitForClient(kReconnectLookPerReport)) return;
  g_readersActive.store(true);
  gf_invalidateHeader();
  lf_showLinkStatus(g_reconnectedLines, fmt::format("{} RealTraffic re-connected", gf_nowHms()));
  gf_clearStatus();
}

// The link is lost: the traffic it brought goes, and the feed starts afresh.
void lf_linkLost() {
  g_readersActive.store(false);
  gf_invalidateHeader();
  if (!g_windowClosed.load()) lf_clearLiveTraffic();
  gf_resetFeedState();
  lf_showLinkStatus(g_goneLines, fmt::format("{} RealTraffic gone? Wait for RealTraffic to re-connect ...", gf_nowHms()));
}

}  // namespace

std::string gf_userPosLine(const UserAircraftData& u) {
  return fmt::format("Qs121={:.0f};{:.0f};{:.6f};{:.0f};{};{:.6f};{:.6f}\r\n", lf_whole(u.pitch * 100000.0),
                     lf_whole(u.bank * 100000.0), u.heading, lf_whole(u.altitude * 1000.0),
                     u.groundVelocity * 1000.0, u.latitude * kDegToRad, u.longitude * kDegToRad);
}

void gf_sendUserPosToRT() {
  if (!g_realTrafficLocal.load()) return;
  const UserAircraftData user = g_userAircraft.get();
  // 0/0 is the simulator still loading; a value that is no number is no position.
  if (!(std::fabs(user.latitude) > 0.0001 || std::fabs(user.longitude) > 0.0001) || !lf_isFinite(user)) return;
  if (!g_rtConnected.load()) {
    lf_reconnect();
    return;
  }
  if (sendDataPacket(gf_userPosLine(user))) return;
  lf_linkLost();
}

void gf_sendSimTimeToRT(std::int64_t seconds) {
  // A time so far ahead that its milliseconds overflow is no simulator time.
  if (!g_rtConnected.load() || seconds < 1 || seconds > std::numeric_limits<std::int64_t>::max() / 1000) return;
  sendDataPacket(fmt::format("Qs123={}\r\n", seconds * 1000));
}
