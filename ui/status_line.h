// The one-line status and error display at the bottom of the main window.
// Callable from any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Shows an ordinary message (dropped while an error is shown); it clears
// itself 25 s later. log: also write it to the log (nothing while a stop is
// pending; an empty text is never logged).
void gf_showStatus(std::string_view text, bool log);
// Clears the status message; an error stays.
void gf_clearStatus();
// Shows an error: it replaces the status message and stays until cleared
// directly with gf_clearError; logged as "Error {}".
void gf_showError(std::string_view text);
// Empties the error text (run reset, close-down, a good new Community path,
// the static parking step).
void gf_clearError();

// The status clock: advanced by one on each one-second signal; clears an
// ordinary message once it has shown for 25 s.
void gf_advanceStatusClock();
// Back to 0 (run reset).
void gf_resetStatusClock();

// Snapshots for painting and tests.
struct StatusSnapshot {
  std::string status;
  std::string error;
  std::int32_t clock = 0;
  std::int32_t stamp = 0;
};
StatusSnapshot gf_statusSnapshot();

// The strip at the bottom of the window.
inline constexpr int kStatusStripTop = 448;
inline constexpr int kStatusStripBottom = 476;
inline constexpr int kStatusSeconds = 25;
