// A child process for the boot-image tests: a program whose embedded boot image is damaged
// (its compressed data cannot be unpacked). Start-up must end with a message and status 1;
// status 3 means it went on.
#include <cstddef>
#include <cstdint>

#include "runtime.h"

extern "C" {
extern const uint8_t tav_boot_image[];
extern const size_t tav_boot_image_size;
// Magic, version 1, compact and compressed; then a record of 4 packed bytes that claims to
// unpack to 100.
const uint8_t tav_boot_image[] = {'T', 'A', 'V', 'B', 'I', 'N', 1, 3,
                                  4,   0,   0,   0,   100, 0,   0, 0,
                                  0xFF, 0xFF, 0xFF, 0xFF};
const size_t tav_boot_image_size = sizeof tav_boot_image;
}

int main(int argc, char** argv) {
  tav::runtime::process_setup(argc, argv);
  tav::runtime::init();
  return 3;
}
