#include "support/unreadable.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

constexpr std::uint32_t kReadAnything = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

bool lf_capabilities(__user_cap_data_struct (&data)[2], bool set) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};  // 0: the calling thread
  return ::syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

bool lf_canRead(const fs::path& path) {
  if (fs::is_directory(path)) {
    DIR* dir = ::opendir(path.c_str());
    if (dir != nullptr) ::closedir(dir);
    return dir != nullptr;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

}  // namespace

Unreadable::Unreadable(std::vector<fs::path> paths) : m_paths(std::move(paths)) {
  for (const fs::path& path : m_paths) {
    m_perms.push_back(fs::status(path).permissions());
    fs::permissions(path, fs::perms::none);
  }
  __user_cap_data_struct data[2] = {};
  if (lf_capabilities(data, false)) {
    m_savedEffective[0] = data[0].effective;
    m_savedEffective[1] = data[1].effective;
    data[0].effective &= ~kReadAnything;
    m_capabilitiesDropped = lf_capabilities(data, true);
  }
}

Unreadable::~Unreadable() {
  if (m_capabilitiesDropped) {
    __user_cap_data_struct data[2] = {};
    if (lf_capabilities(data, false)) {
      data[0].effective = m_savedEffective[0];
      data[1].effective = m_savedEffective[1];
      lf_capabilities(data, true);
    }
  }
  for (std::size_t i = 0; i < m_paths.size(); ++i) {
    std::error_code ec;
    fs::permissions(m_paths[i], m_perms[i], ec);
  }
}

bool Unreadable::holds() const {
  for (const fs::path& path : m_paths)
    if (lf_canRead(path)) return false;
  return true;
}

}  // namespace testsupport
