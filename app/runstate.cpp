#include "app/runstate.h"

std::atomic<bool> g_stopRun{false};
std::atomic<bool> g_windowClosed{false};
std::atomic<bool> g_isMsfs2020{true};
std::atomic<std::int64_t> g_simEpochSeconds{0};
