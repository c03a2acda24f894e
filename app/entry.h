// The program's entry: single instance, log, window, message loop.
#pragma once

#include "platform/win32/kernel.h"
#include "platform/win32/user32.h"

// Start-up up to the message loop: the single-instance mutex, Log.txt, the
// window class and window, the per-user data folder, and WM_APP+1 posted.
// Returns 0 when the window is up; -1 when another instance runs; 1 when
// the window could not be made. The mutex is kept in `mutex`.
int gf_startProgram(HANDLE& mutex);
// Runs the message loop until WM_QUIT; returns its exit code.
int gf_messageLoop();
// After the loop: waits for the run thread and the saves in progress to end (a
// save that does not leaves no temporary file), closes the log, releases the mutex.
void gf_endProgram(HANDLE mutex);

// The whole program.
int gf_programMain();
