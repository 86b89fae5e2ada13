// Starting the runtime and running a script, shared by the programs that run scripts: the
// headless tav-eval and the GUI-capable tav. Print output goes to standard output; an
// uncaught error prints as the console prints it.
#pragma once
#include <vector>

namespace tav::runner {

// Initialises the runtime, installs the output and error reporters, runs the boot code.
void start();
// The same in two steps, for programs that set something up in between.
void init();
void boot();
// Runs a script file as `do` runs one, with system/options/script set to it and the
// program's arguments as its own; or evaluates a text. 0 on success.
int run_file(const char* path);
int run_text(const char* text);
// The command line the script sees: the program, then what follows the script's name at
// argv[script] (null-terminated, as argv is).
std::vector<char*> script_arguments(char** argv, int script);

}  // namespace tav::runner
