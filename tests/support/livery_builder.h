// Livery records for tests.
#pragma once

#include <cstdint>
#include <string>

#include "scan/livery_data.h"

namespace testsupport {

inline LiveryData livery(std::string airline, std::string type, std::string title, std::string registration = "",
                         bool cargo = false, std::uint32_t folderRank = 1) {
  return LiveryData{std::move(airline), std::move(type), std::move(title), std::move(registration), folderRank,
                    cargo};
}

}  // namespace testsupport
