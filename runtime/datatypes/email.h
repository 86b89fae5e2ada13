// email!: a string written as a user part, "@" and a host part. It keeps string!'s storage
// and almost every string! action; it molds without quotes and answers the paths `user` and
// `host`.
#pragma once
#include "core/cell.h"

namespace tav::email {
// The text as string! forms it (no quotes, no escapes).
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
// e/user and e/host read or replace the part before or after the first "@"; e/n is a
// character, as for string!.
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt);
}  // namespace tav::email

namespace tav::email_type {
// Registers email! under string! (string_type::init must have run).
void init();
}  // namespace tav::email_type
