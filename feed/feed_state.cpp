#include "feed/feed_state.h"

#include "feed/traffic_reader.h"
#include "feed/udp_readers.h"

std::atomic<bool> g_readersActive{false};
std::atomic<std::int32_t> g_trafficReaderStatus{kReaderStopped};
std::atomic<std::int32_t> g_qnhReaderStatus{kReaderStopped};
std::atomic<std::int32_t> g_qnhShown{0};
std::atomic<std::int64_t> g_firstTrafficTime{0};

namespace {
// A leaf lock: held only to copy or assign the text.
std::mutex g_realTrafficTextMutex;
std::string g_realTrafficText;
}  // namespace

std::string gf_realTrafficText() {
  std::lock_guard lock(g_realTrafficTextMutex);
  return g_realTrafficText;
}

void gf_setRealTrafficText(std::string text) {
  std::lock_guard lock(g_realTrafficTextMutex);
  g_realTrafficText = std::move(text);
}

void gf_resetFeedState() {
  // The callsign table, the QNH and the time of the first traffic.
  g_trafficReader.reset();
  g_readersActive.store(false);
  g_trafficReaderStatus.store(kReaderStopped);
  g_qnhReaderStatus.store(kReaderStopped);
  g_qnhShown.store(0);
  g_firstTrafficTime.store(0);
  gf_resetReaderCounts();
}
