// The busy state of the static parking: while a calculation or a renewal is
// under way and its candidates are being placed, the nine airport-parking
// controls of the main window are disabled. The state itself is the window's
// display value gf_staticParkingBusy() (ui/display_state.h), an atomic that
// the window's handlers read to refuse parking changes.
#pragma once

// Sets the busy state, disables the nine controls, clears the status line.
void lf_disableParkingControls();
// Clears the busy state, enables the nine controls, clears the status line.
void lf_enableParkingControls();
