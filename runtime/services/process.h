// Child processes: commands run as programs (or through "/bin/sh -c") with their standard
// streams fed from memory or a file and captured into memory or appended to a file, and the
// desktop's "open" action for a file or URL.
//
// A command line is split into words the way a shell user writes them and its program run
// directly; a program that cannot be found (a shell built-in, a line with shell syntax in its
// first word) runs once more through the shell, as does every command asked to.
//
// Every pipe is served by one poll loop, so a child that fills its output pipe while the
// parent still has input for it never deadlocks either side. A child that is not waited for
// is reaped when it ends, so none is left behind as a zombie.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tav::process {

struct Redirect {
  enum Kind { NONE, BYTES, FILE };
  Kind kind = NONE;
  // BYTES: the input to write, or the captured output. FILE: the local path (an output file
  // is appended to, never truncated).
  std::string text;
};

struct Request {
  std::string command;
  bool wait = false;   // any redirection waits as well
  bool shell = false;  // always through "/bin/sh -c"
  Redirect input;      // NONE: the child reads the parent's standard input
  Redirect output;     // NONE: standard output goes to the null device
  Redirect error;      // NONE: standard error goes to the null device
};

// Splits a command line into words: blanks separate them; single quotes keep everything up to
// the next one; double quotes keep everything but a backslash before one of $ ` " \ or a
// line feed; outside quotes a backslash keeps the next character (and drops a line feed).
// Nothing is expanded. False for an unfinished quote or escape.
bool split_command(const std::string& line, std::vector<std::string>* words);

// Runs the command. Answers the exit status when it waited (128 + the signal's number for
// a child a signal ended), the process id when it did not, or -1 when an input file cannot
// be opened, a pipe cannot be made or the process cannot start. An output file that cannot
// be opened sends that stream to the null device.
int64_t run(Request& request);

// Hands a file name or URL to the desktop's opener (xdg-open, looked up in PATH) without
// waiting for it. False when it could not be started.
bool open_with_desktop(const std::string& target);

}  // namespace tav::process
