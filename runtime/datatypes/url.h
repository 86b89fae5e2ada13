// url!: a string whose text is a network address. It keeps string!'s storage and most of its
// actions, and adds percent-encoding (over UTF-8 bytes), its own mold, path joining and a
// make/to from a block of parts. file! (file.h) derives from it.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav::url {

// Encoding modes: which characters stay as they are.
constexpr int ENCODE_UNRESERVED = 0xFE;   // letters, digits and - . _ ~
constexpr int ENCODE_URL = 0xFF;          // the unreserved ones and ! # $ & ' ( ) * + , / : = ? @

// Character classes (nothing from 0x80 up belongs to either).
bool in_unreserved_class(uint32_t c);
bool in_url_class(uint32_t c);

// Appends to out the percent-encoding of the UTF-8 bytes of source (an any-string value,
// from its index): a byte outside the mode's class becomes "%" and two uppercase hex digits.
// A character U+DC80-U+DCFF stands for the raw byte it was read from (a file name that was
// not UTF-8) and is written as that byte. Answers the characters written.
uint32_t encode(const Cell* source, NodeId out, int mode);

// Appends to out the percent-decoding of source (from its index): "%" and two hex digits give
// one byte; escaped bytes that form a UTF-8 sequence give its character (a bad sequence raises
// access error invalid-utf8); an escaped byte that leads nothing gives the character of its
// value; other characters are copied.
void decode(const Cell* source, NodeId out);

// Action handlers (file! inherits make, to and eval-path).
Cell* make(Cell* proto, Cell* spec, int type);
Cell* to(Cell* proto, Cell* spec, int type);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
Cell* eval_path(Cell* parent, Cell* element, Cell* value, Cell* path, Cell* grand_parent,
                Cell* prev_element, int index, bool case_, bool get, bool tail, bool evt);

// I/O (url_io.cpp): http and https through the HTTP client, other schemes through a port.
// to_port makes the port of a url (its components from the library's url parser) and pushes
// it; a url the parser refuses raises script invalid-arg.
Cell* to_port(Cell* url);
Cell* open(Cell* url, bool new_, bool read, bool write, bool seek, Cell* allow);
Cell* read(Cell* url, Cell* part, Cell* seek, bool binary, bool lines, bool info, Cell* as);
Cell* write(Cell* url, Cell* data, bool binary, bool lines, bool info, bool append, Cell* part,
            Cell* seek, Cell* allow, Cell* as);

}  // namespace tav::url

namespace tav::url_type {
// Registers url! under string! (string_type::init must have run).
void init();
}  // namespace tav::url_type
