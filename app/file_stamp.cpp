#include "app/file_stamp.h"

#include <fstream>
#include <system_error>
#include <vector>

#include "app/hash.h"

FileStamp gf_fileStamp(const std::filesystem::path& path) {
  FileStamp stamp;
  if (path.empty()) return stamp;
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return stamp;
  stamp.present = true;
  // Only a regular file is opened: a named pipe would wait for its writer.
  if (ec || status.type() != std::filesystem::file_type::regular) return stamp;
  std::ifstream file(path, std::ios::binary);
  if (!file) return stamp;
  // Block by block, so that a file of any size is never held in memory.
  constexpr std::size_t kBlock = std::size_t{1} << 16;
  std::vector<char> block(kBlock);
  std::uint64_t hash = kFnv1aOffsetBasis;
  std::uintmax_t size = 0;
  while (file) {
    file.read(block.data(), static_cast<std::streamsize>(kBlock));
    const auto count = static_cast<std::size_t>(file.gcount());
    hash = gf_fnv1a64(reinterpret_cast<const unsigned char*>(block.data()), count, hash);
    size += count;
  }
  if (file.bad()) return stamp;
  stamp.readable = true;
  stamp.size = size;
  stamp.hash = hash;
  return stamp;
}

FileStamp gf_bytesStamp(std::string_view bytes) {
  return {true, true, bytes.size(), gf_fnv1a64(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size())};
}
