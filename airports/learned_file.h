// Learned airport files: what the program learned at a park airport and what
// the user changed there, laid over the airport's park file each time that is
// read. A handmade learned file (its parameters hold "handmade") replaces the
// park file's stands; an ordinary one adds manual stands, changed radii and
// cargo flags, and further options.
#pragma once

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "airports/stands.h"

// Merges the learned file at learnedPath into the stands of the park airport
// and applies its parking settings to the running program (not saved to
// parameters.xml). airport supplies the airport name the learned file's
// "airport_name" is compared with, and receives in keptStands the stand
// elements of the file to be written back as they were: those not read into
// the list (refused values, a repeated id, a learned stand the list lacks)
// and the second entries of a stand, and in learnedSettings the parking
// settings the file holds, as their texts, and in learnedStands what an
// ordinary file gave each stand (both added to what they hold: the park
// file's read gives them empty), and in learnedFile the stamp of the bytes
// read (all three for a save that finds the file changed since). handmade
// is set for a handmade file and cleared otherwise. Never throws: errors are logged with "lf_readLearned".
// A file that cannot be loaded, or an ordinary one that lacks a meta entry,
// is kept aside under a free backup name (once: not again while an identical
// copy is there), shown on the status line, and changes nothing. Returns why
// the file must be left as it is at the next save (it holds what was not
// merged: a handmade file that lacks a meta entry, a file that could not be
// kept aside, an error that stopped the merge, stands past the limits of
// ApfStandsNotRead); empty when a save may replace it.
std::string lf_readLearned(const std::filesystem::path& learnedPath, ParkAirport& airport,
                           std::vector<Stand>& stands, std::atomic<bool>& handmade);

// Merges one learned "parkpos" element (its "id" text is first) into the
// stand when the stand's name equals that id: changed radius and cargo flag,
// and its options that are not already there. False when the names differ.
bool lf_readLearnedParkpos(const std::pair<std::string, pugi::xml_node>& learnedStand, Stand& stand);

// Whether two options are the same learned use of a stand: the same day,
// real flag, registration, airline and type (exact), with a half hour in
// common. Callsigns, ids and origins are not compared.
bool lf_sameStandOption(const StandOption& option, const StandOption& existing);
// The same, whatever their half hours.
bool lf_sameOptionFields(const StandOption& a, const StandOption& b);

// The name an unreadable learned file is kept under: "0" inserted before the
// extension (EGLL.xml -> EGLL0.xml), then "0_2", "0_3" ... when that exists,
// so that no earlier backup is overwritten. Empty when none of the first 100
// names is free.
std::filesystem::path lf_learnedBackupPath(const std::filesystem::path& learnedPath);

// Copies the learned file under a free backup name (lf_learnedBackupPath) and
// returns that name; a failure throws the file system error "copy_file". A
// file that was kept aside already, and that no save has replaced since, is
// not copied again (empty result): every read of the airport would otherwise
// add a copy until the names run out.
std::filesystem::path lf_keepAside(const std::filesystem::path& learnedPath);
// Tells the user, once (nothing for an empty backup), where a learned file
// that was not read is kept: the next save replaces it, and the airport's
// learning would seem to start anew.
void lf_showKeptAside(const std::filesystem::path& learnedPath, const std::filesystem::path& backup,
                      std::string_view why);
