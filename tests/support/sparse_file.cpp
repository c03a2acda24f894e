#include "support/sparse_file.h"

#include <fstream>

namespace testsupport {

void writeSparseFile(const std::filesystem::path& path, std::uintmax_t size, std::string_view head) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(head.data(), static_cast<std::streamsize>(head.size()));
  // Extending a file writes nothing: the zeros take no room on disk.
  std::filesystem::resize_file(path, size);
}

}  // namespace testsupport
