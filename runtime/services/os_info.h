// The operating system's description, from uname and /etc/os-release.
#pragma once
#include <cstdint>
#include <string>

#include "core/cell.h"

namespace tav::os {

struct Info {
  std::string name;      // "Linux " and the distribution's PRETTY_NAME, or "Linux"
  std::string arch;      // x86-64, x86-32, ARM64, ARM, IA-64 or Unknown
  uint8_t version[3];    // the kernel's major.minor.patch, each held to 0-255
  int32_t build;         // the number after the kernel release's first "-", else 0
};

// The description made from uname's machine and release and the text of os-release.
Info describe(const std::string& machine, const std::string& release,
              const std::string& os_release);

// The running system's description.
Info current();

// Pushes the description as an object with the words name, arch, version and build.
Cell* push_info();

}  // namespace tav::os
