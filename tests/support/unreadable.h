// Makes files and folders unreadable for the test, also when the tests run
// as root (which reads anything whatever its permissions).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace testsupport {

// While it lives, the paths have no permissions and the calling thread (and
// the threads it starts meanwhile) has given up the capabilities that let
// root read and list anything. The destructor restores both.
class Unreadable {
 public:
  explicit Unreadable(std::vector<std::filesystem::path> paths);
  ~Unreadable();
  Unreadable(const Unreadable&) = delete;
  Unreadable& operator=(const Unreadable&) = delete;

  // Whether every path really cannot be read now (a test skips itself when
  // the system does not allow giving up the capabilities).
  bool holds() const;

 private:
  std::vector<std::filesystem::path> m_paths;
  std::vector<std::filesystem::perms> m_perms;
  std::uint32_t m_savedEffective[2] = {0, 0};
  bool m_capabilitiesDropped = false;
};

}  // namespace testsupport
