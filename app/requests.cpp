#include "app/requests.h"

std::atomic<bool> g_rereadRequest{false};
std::atomic<bool> g_flushStaticRequest{false};
std::atomic<bool> g_blockedCallsignRequest{false};
std::atomic<bool> g_objectIdRequest{false};
std::atomic<bool> g_parkingRefreshRequest{false};
std::atomic<bool> g_parkingRecalcRequest{false};
