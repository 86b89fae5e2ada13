// file!: a url! whose text is a local path in the language's own form, which on Linux is the
// system's form as well ("/" separators, UTF-8 names). It adds its own mold and the local file
// actions, which hand the work to services/simple_io.h.
#pragma once
#include "core/cell.h"

namespace tav::file {

// Pushes the process's current directory as a file! ending in "/" (an empty file! when the
// directory cannot be read).
Cell* get_current_dir();

// Appends the local form of the path (from its index) to the string out; with absolute, a
// relative path gets the current directory in front.
void to_local_path(const Cell* file, Cell* out, bool absolute);

// Action handlers.
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
Cell* read(Cell* source, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
Cell* write(Cell* destination, Cell* data, bool binary, bool lines, bool info, bool append,
            Cell* part, Cell* seek, Cell* allow, Cell* as);
Cell* query(Cell* target);
Cell* delete_(Cell* target);
Cell* rename(Cell* from, Cell* to);

}  // namespace tav::file

namespace tav::file_type {
// Registers file! under url! (url_type::init must have run).
void init();
}  // namespace tav::file_type
