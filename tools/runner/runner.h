// Starting the runtime and running a script, shared by the programs that run scripts: the
// headless tav-eval and the GUI-capable tav. Print output goes to standard output; an
// uncaught error prints as the console prints it.
#pragma once

namespace tav::runner {

// Initialises the runtime, installs the output and error reporters, runs the boot code.
void start();
// The same in two steps, for programs that set something up in between.
void init();
void boot();
// Evaluates a script file (its header skipped) or a text. 0 on success; 1 when the file
// cannot be read.
int run_file(const char* path);
int run_text(const char* text);

}  // namespace tav::runner
