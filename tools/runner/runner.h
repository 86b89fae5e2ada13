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
// While set, printed text reaches standard output only when the filter says so.
void set_stdout_filter(bool (*wanted)());
// Sets the process up and calls fn(arg) on the large stack. The command line the runtime sees
// is the program, then what follows the script's name at argv[script]; the whole line when
// no script is named (script 0).
int launch(int argc, char** argv, int script, int (*fn)(void*), void* arg);

}  // namespace tav::runner
