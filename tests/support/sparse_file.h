// A file of any size that takes no room on disk: for readers that must
// refuse or pass over oversized files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace testsupport {

// A sparse file of `size` bytes that begins with `head` and holds zeros
// after it, made at once whatever its size (its folders created): a BGL file
// larger than the scan reads, or an oversized file of zeros.
void writeSparseFile(const std::filesystem::path& path, std::uintmax_t size, std::string_view head = {});

}  // namespace testsupport
