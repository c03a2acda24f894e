#include "airports/parking_controls.h"

#include <array>

#include "app/settings.h"
#include "ui/controls.h"
#include "ui/display_state.h"
#include "ui/status_line.h"

namespace {

// The parking percentage, the four parking checkboxes, the most statics, the
// largest fit, "Flush static" and "Re-read".
std::array<int, 9> lf_parkingControlIds() {
  return {prm::parking_percentage.controlId(), prm::INITIAL_LOAD_ONLY.controlId(), prm::PARK_FAKE.controlId(),
          prm::PARK_SOFT.controlId(),          prm::WEEK.controlId(),              prm::MAX_PARK_SEL.controlId(),
          prm::MAX_FIT_FL.controlId(),         g_flushStaticButton.controlId(),    g_rereadButton.controlId()};
}

void lf_setParkingControls(bool busy) {
  gf_setStaticParkingBusy(busy);
  for (const int id : lf_parkingControlIds()) gf_enableControl(id, !busy);
  gf_clearStatus();
}

}  // namespace

void lf_disableParkingControls() { lf_setParkingControls(true); }
void lf_enableParkingControls() { lf_setParkingControls(false); }
