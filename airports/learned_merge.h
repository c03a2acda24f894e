// Saving into a learned file that the user changed (or wrote) while its
// airport was loaded: the user's file stays, and what the program learned
// there is laid over it.
#pragma once

#include <filesystem>
#include <string>

#include "airports/stands.h"

// Lays what was learned on the stands of `learned` since its
// learned file was read (learned.learnedStands tells what the file gave them
// then) over the ordinary learned file at path as it is now, and writes it
// back through a temporary file. What the file held when it was read is not
// laid again: what the user took out of it since (a stand, an option, a
// change) stays out. The file's own meta block and stand elements stay as they
// are, and so does each parking setting the user changed in it since it was
// read (learned.learnedSettings); the others take the values in force, as any
// save writes them. What the file lacks is added: a stand that is not manual
// and has no element that is not manual gets one (a manual stand, which only
// the file gave, is matched only by a manual element and never added back),
// an option goes into its stand's element unless that holds the same use (same
// day, real flag, registration, airline and type, with a half hour in
// common), in which case the half hours learned are added to it. Not merged
// (with why) when the file is not an ordinary learned file the next read would
// take, or could not be written: it is then left as it is. A file that is gone
// (the user deleted it) is taken as an ordinary learned file without stands
// or parking settings: what was read stays out of the new file, and only what
// was learned since goes in.
enum class LearnedMerge {
  merged,      // laid over the file as it is, and written
  intoNew,     // there was no file: written anew with what was learned since
  notLearned,  // read, but not a learned file the read takes (not XML, cut short, over the size, an ordinary
               // file without a meta entry): the read would keep it aside
  leftAlone,   // a handmade file, one that cannot be opened or read, or a failed write
};
LearnedMerge gf_mergeIntoLearnedFile(const std::filesystem::path& path, const ParkAirport& learned, std::string& why);
