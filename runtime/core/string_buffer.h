// Character storage of the string family, and the text-buffer API that form and mold
// handlers (and anything else that builds text) append through.
//
// A string buffer holds fixed-width units of 1 byte (Latin-1), 2 bytes (UCS-2) or 4 bytes
// (UCS-4); all characters of one buffer share the width. Writing a character that does not
// fit widens the whole buffer; a buffer never narrows until it is emptied with
// `reset_to_bytes`. Every routine here takes a node id, never a buffer address: buffers
// move when they grow or widen, so a raw pointer taken before a call is stale after it.
// For the same reason, raw byte arguments (C text, UTF-8) must not point into a series
// buffer: they are read after the routine allocates. Copy such bytes out first.
#pragma once
#include <cstddef>
#include <cstdint>
#include "core/cell.h"
#include "core/memory.h"

namespace tav::string {

constexpr uint32_t MAX_CODE_POINT = 0x10FFFF;

// ---- Units -----------------------------------------------------------------------------

// The shift that turns a character count into bytes: 0, 1 or 2.
inline uint32_t unit_shift(uint32_t unit) { return unit >> 1; }

// The code point at p for unit 1, 2 or 4 (little-endian); any other unit is a fatal fault.
uint32_t get_char(const uint8_t* p, uint32_t unit);
// Stores a code point that fits the unit.
void put_char(uint8_t* p, uint32_t unit, uint32_t cp);

// ---- Building --------------------------------------------------------------------------

// A new empty buffer of 1-byte units with room for capacity characters (0 counts as 1).
// The caller roots the node (a cell on the argument stack) before anything else allocates.
NodeId make(uint32_t capacity);
NodeId make_unit(uint32_t capacity, uint32_t unit);

// Makes room, in one step, for chars more characters of the buffer's present unit: for a
// writer that knows the length of the text it is about to add, so that a large text is
// written into one buffer instead of a string of doubled ones. Passing the largest length
// raises internal no-memory before anything is written.
void reserve(NodeId n, uint64_t chars);

// Characters in the whole buffer.
uint32_t length(NodeId n);
uint32_t unit_of(NodeId n);
// The character at a position counted from the buffer's head (the caller checks the range).
uint32_t char_at(NodeId n, uint32_t index);

// Widens the buffer to `unit` (1 -> 2, 1 -> 4, 2 -> 4) keeping its characters, with room
// for extra more characters after the tail; a unit no wider than the current one changes
// nothing.
void widen(NodeId n, uint32_t unit, uint32_t extra = 0);

// Appends one character. A 1-byte buffer widens for code points from 0x80 (to 2 bytes up
// to 0xFFFF, else 4); a 2-byte buffer widens above 0xFFFF.
void append_char(NodeId n, uint32_t cp);
// Appends each byte of a zero-terminated text as one code point.
void append_ascii(NodeId n, const char* text);
// Appends len bytes, each as one code point.
void append_bytes(NodeId n, const char* bytes, size_t len);
// Appends UTF-8 text. Invalid or cut-short text raises access error invalid-utf8 with the
// offending bytes (at most four) before anything is appended.
void append_utf8(NodeId n, const uint8_t* bytes, size_t len);
// Appends the characters of an any-string value from its index (an index past the tail
// counts as the tail), at most part of them when part >= 0. Answers the count appended.
// The value may be a view of the same buffer: the characters it held before are copied.
uint32_t append_string(NodeId n, const Cell* str, int32_t part = -1);
// Appends count characters of another buffer (or the same one) from a position.
void append_units(NodeId n, NodeId src, uint32_t from, uint32_t count);

// ---- Changing in place -------------------------------------------------------------------

// Stores a code point at a position (0 <= index <= length; at the length it appends).
// A 1-byte buffer widens from 0x100, a 2-byte one above 0xFFFF.
void poke_char(NodeId n, uint32_t index, uint32_t cp);
// Inserts one character at a position (0 <= index <= length), widening as poke_char.
void insert_char(NodeId n, uint32_t index, uint32_t cp);
// Removes count characters at index; a range reaching past the tail is cut at the tail.
void remove_units(NodeId n, uint32_t index, uint32_t count);
// Keeps at most length characters.
void truncate(NodeId n, uint32_t length);
// Empties the buffer and makes its units 1 byte wide again.
void reset_to_bytes(NodeId n);

// ---- Invalid UTF-8 ---------------------------------------------------------------------

// The argument of the invalid-utf8 error for this text: a binary! of the bytes from the
// start of the first bad or cut-short sequence, at most four and never past the end of the
// text; none! when the text is valid UTF-8.
Cell* utf8_error_arg(const uint8_t* bytes, size_t len, Cell* out);
// Raises access error invalid-utf8 for the sequence at seq, bytes_left bytes before the end.
[[noreturn]] void raise_invalid_utf8(const uint8_t* seq, size_t bytes_left);

// ---- Values on the argument stack ------------------------------------------------------

// Pushes a new string! holding the UTF-8 text (raises invalid-utf8 as append_utf8).
Cell* push_utf8(const char* bytes, size_t len);
Cell* push_utf8(const char* text);

}  // namespace tav::string
