// Initialisers of the runtime's modules, called by runtime::init in a fixed order.
#pragma once

namespace tav::init_steps {
void output_hooks();        // both hook lists
void platform();            // platform set-up, console probe
void random_generator();    // state seeded with 19650218
void handle_tables();
void register_datatypes();  // every datatype, parents before children
void image_codecs();        // imaging, then image! registers
void actions_table();       // the 62 generic action entries
void global_context();      // room for 4,000 words
void case_tables();
void symbol_table();        // the symbol table's hash index
void datatype_words();      // the name word of each registered type
void predefined_words();    // predefined symbols and words, refinements, #ooo
void natives_table();
void parse_engine();        // the parse engine's work blocks
void ownership_table();
void checksum_words();
void compression_words();
void call_output();         // the shared output string of `call`
void scanner_tables();
void boot_image();          // decodes the boot image into the root block
void interpreter();         // the interpreter's cells
void handle_slots();
}  // namespace tav::init_steps
