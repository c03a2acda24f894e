// The commands that Enter in an edit field runs: each reads its field,
// checks the text, stores the value, rewrites the field with the value in
// force and tells the user on the status line.
#pragma once

#include <string>

#include "app/geo.h"
#include "app/parameters.h"

// The UTF-8 text of a control of the main window (at most 1022 characters).
// Empty when the control is not found ("GetDlgItem failed for ID {}" is
// logged), when it is empty or when its text cannot be converted.
std::string lf_getTextFromId(int id);

// parking_percentage.
void lf_processTbInt(ControlIntParameter& setting);
// MAX_FIT_FL; true when a new value was applied.
bool lf_processTbFloat(ControlFloatParameter& setting);
// BLOCK_CALLSIGN.
void lf_processBlockCallsign();
// DESTINATION.
void lf_processDestination();
// A new destination: stored and saved, and the park airports list is asked
// to make it its first entry (also used to restore it at a run start).
void lf_newDestination(const std::string& icao, const LatLon& position);
// CALLSIGN_2_OBJECTID.
void lf_processCallsignObjectId();
// ALL_INSTALL_PATH: the typed text for the selected simulator's path setting.
void lf_newSimPath(StringParameter& pathSetting, const std::string& text);
// The note after a parking setting changed while a park airport is loaded.
void lf_respondNote();
// A setting took a new value in the window: when it is one of the parking
// settings that the learned file of the park airport keeps (gf_apfSettings)
// and a park file is loaded, its unloading saves the learned file, also when
// nothing was learned, so that the new value is not lost.
void gf_noteParkingSettingChange(const Parameter& setting);
