// The local file layer: read, write, list, query, delete and rename files and folders through
// POSIX calls. Each call opens, transfers and closes at once; no descriptor outlives it.
//
// Names: a file! value's characters from its index, encoded as UTF-8, are the system's path.
// A name read from the system that is not valid UTF-8 keeps each bad byte as the character
// U+DC80 + byte, which turns back into that byte on the way out, so listed files reopen.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "core/cell.h"

namespace tav::simple_io {

// True when the name denotes a folder by its form alone: it ends in "/", or is "." or "..",
// or ends in "/." or "/..". Nothing on disk is consulted.
bool dir_path_q(const Cell* file);

// The system's form of the name into out. False when no path can name it (a NUL character,
// or a code point beyond Unicode).
bool local_path(const Cell* file, std::string* out);

// Appends a name the system gave (bytes, any encoding) to a string buffer: UTF-8 sequences as
// their characters, every other byte as U+DC80 + byte.
void append_system_name(NodeId out, const char* bytes, size_t len);

// ---- Low-level helpers (descriptors) --------------------------------------------------

enum OpenMode : int { OPEN_READ = 1, OPEN_WRITE = 2, OPEN_APPEND = 4, OPEN_SEEK = 8 };
// A descriptor, or -1. Reading opens an existing file; writing creates the file (mode 0666
// less the umask) and truncates it unless OPEN_APPEND or OPEN_SEEK is given.
int open(const std::string& path, int mode);
// The size of a regular file in bytes; -1 when it cannot be told (a pipe, a device, a
// failure). 64 bits: callers decide what is out of range.
int64_t size(int fd);
void close(int fd);

// ---- Operations on values --------------------------------------------------------------

// read on a file!: a folder name gives its listing; otherwise the file's bytes from seek
// (none: -1), at most part of them (none: -1), as a binary! (binary), a block of lines
// (lines) or a string! (UTF-8; a byte-order mark skipped, CR LF read as LF). A file that
// cannot be opened or read raises access error cannot-open. Pushes and answers the result.
Cell* read(Cell* file, Cell* part, Cell* seek, bool binary, bool lines, bool info);

// The bytes of the file at path, as they are (start-up and the runner's scripts); false when
// it cannot be opened or read.
bool read_whole(const std::string& path, std::string* out);

// The file at path read as above; pushes and answers none on any failure.
Cell* read_file(const std::string& path, int64_t part, int64_t seek, bool binary, bool lines);

// The entries of a folder, sorted by the bytes of their names, without "." and "..", each a
// file! ending in "/" when it is a folder (or a link to one). Raises cannot-open when the
// folder cannot be listed. Pushes and answers the block.
Cell* read_dir(Cell* file);

// The bytes split into a block of strings at each LF (a CR before the LF left out); a final
// LF adds no empty line. Pushes and answers the block.
Cell* lines_to_block(const uint8_t* bytes, size_t len);

// write on a file! (null: standard output, left open). A string! is written as UTF-8 (at most
// part characters), a binary! as its bytes from its index (at most part), anything else as
// its molded text. lines: each value of a block on a line of its own (LF after each), or one
// value followed by LF. A part that is not an integer! raises invalid-refine-arg; a negative
// part writes nothing. append adds at the end; seek (>= 0) writes from that offset without
// truncating. A failure raises access error cannot-open. Answers the bytes of the last write.
int64_t write(Cell* file, Cell* data, Cell* part, Cell* seek, bool binary, bool append,
              bool lines);

// Removes a folder (when the name is one by its form) or a file; true on success.
bool delete_(const Cell* file);

// The last modification time as a date! in UTC (milliseconds kept), or none when the entry is
// missing or a name ending in "/" is not a folder. Written into out, which is answered.
Cell* query_date(const Cell* file, Cell* out);

// Renames without ever replacing an existing target; true on success.
bool rename(const Cell* from, const Cell* to);

// Creates one folder (mode 0777 less the umask); true on success.
bool make_dir(const Cell* file);

// Whether a file or folder of that name exists; never fails.
bool file_exists(const Cell* file);

}  // namespace tav::simple_io
