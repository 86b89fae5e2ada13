// Pieces of the token handlers that the driver shares.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/cell.h"
#include "scanner/lexer.h"

namespace tav::lexer {

// Loads a word of the given kind from its bare name (no prefix or suffix characters).
bool load_word_as(State& s, const uint8_t* start, const uint8_t* end, TypeId kind, bool build);
// Builds a string-family value from UTF-8 text; escapes decodes "^" sequences.
bool load_text(State& s, const uint8_t* start, const uint8_t* end, uint32_t flags, bool escapes,
               TypeId type, bool build);
// Skips the Unicode blank space at the head of a word token; nullptr when a byte sequence
// there is not valid UTF-8.
const uint8_t* skip_unicode_blank(const uint8_t* start, const uint8_t* end);
// Writes value into a new value-stack cell, keeping the new-line marker.
void emit(State& s, Cell value);

// Makes the point literal that a paren holding commas became: values are the count values
// read between its "(" and ")", which must be 2 (point2D!) or 3 (point3D!) numbers as the
// type says; [start, end) is the literal's text for the load error.
bool load_point(State& s, const Cell* values, uint32_t count, int type, const uint8_t* start,
                const uint8_t* end, Cell* out);

// A new string buffer holding the characters with the given unit.
NodeId make_string(const uint32_t* chars, size_t count, uint32_t unit);
// A new block buffer holding copies of the cells.
NodeId make_block(const Cell* cells, size_t count);
// The datatype's name with its "!". Until the datatypes register their names, the lexer
// keeps its own list so that its messages can name every type it reports.
const char* type_name(int type);

}  // namespace tav::lexer
