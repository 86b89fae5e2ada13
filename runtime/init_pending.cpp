// Initialisers whose modules have not been built yet: each module replaces its entry here
// with its own definition.
#include "init_steps.h"

namespace tav::init_steps {
void handle_tables() {}
void image_codecs() {}
void ownership_table() {}
void checksum_words() {}
void compression_words() {}
void call_output() {}
void boot_image() {}
void handle_slots() {}
}  // namespace tav::init_steps
