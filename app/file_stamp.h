// What identifies the bytes of a file without keeping them: whether it is
// there, how many bytes it has and their FNV-1a hash. Two stamps of one path
// differ when its content changed in between; a file only touched (written
// again with the same bytes) keeps its stamp.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

struct FileStamp {
  bool present = false;   // false: no file of that name
  bool readable = false;  // a regular file whose bytes were all read
  std::uintmax_t size = 0;
  std::uint64_t hash = 0;
  bool operator==(const FileStamp&) const = default;
};

// The stamp of the file at path as it is now. A path that is not there (or
// is empty) gives the stamp of no file; one that is not a regular file, or
// that cannot be read to its end, is present but not readable.
FileStamp gf_fileStamp(const std::filesystem::path& path);
// The stamp of a file that holds exactly these bytes (read or written by the
// caller already), equal to what gf_fileStamp gives for that file.
FileStamp gf_bytesStamp(std::string_view bytes);
