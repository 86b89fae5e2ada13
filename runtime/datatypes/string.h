// string! values: the value cell over a character buffer (string_buffer.h), splicing one
// string into another, loading encoded bytes, exporting UTF-8, and the form and mold
// handlers. file!, url! and the other string kinds share the cell layout and these routines.
//
// The cell: header (type id), head index in characters (may lie past the tail after another
// value shortened the buffer: every reader clamps it), buffer node, and a word string! keeps 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include "core/cell.h"
#include "core/string_buffer.h"
#include "core/types.h"

namespace tav::string {

// ---- Values ----------------------------------------------------------------------------

// The value's index clamped to its buffer's length.
uint32_t clamped_index(const Cell* v);
// Characters from the value's index to the tail (0 when the index lies past the tail).
uint32_t length(const Cell* v);
bool is_tail(const Cell* v);
// The address of the character at the value's index; an index past the tail is first pulled
// back to the tail and written into the cell. Stale after anything that allocates.
uint8_t* head_address(Cell* v);
// The code point offset characters from the value's index (the caller checks the range).
uint32_t char_at(const Cell* v, uint32_t offset);
// Empties the value's buffer, makes its units 1 byte wide and sets the index to 0.
void reset_to_bytes(Cell* v);

// Makes the cell an empty string! with room for capacity characters (0 counts as 1).
Cell* make_at(Cell* out, uint32_t capacity, uint32_t unit = 1);

// ---- Splicing --------------------------------------------------------------------------

enum class Splice { append, insert, overwrite };

// Writes the characters of source (an any-string value, from its index; at most part of them
// when part >= 0) into target: at its tail (append), or at its index plus offset characters,
// moving the rest up (insert) or writing over it and past the tail as needed (overwrite).
// The target widens to hold the characters; source and target may share a buffer.
void concatenate(Cell* target, const Cell* source, int32_t part, int32_t offset, Splice mode);
inline void overwrite(Cell* target, const Cell* source, int32_t part, int32_t offset) {
  concatenate(target, source, part, offset, Splice::overwrite);
}

// Appends text of the same width from another buffer to a string no owner watches (at most
// part characters when part >= 0): one capacity check and a copy, the series left at its
// head. False, with nothing done, when the general road has to take it (other widths, the
// same buffer, an owner to tell, nothing to add or a size to refuse).
bool append_same_width(Cell* series, const Cell* value, int part);

// ---- Loading and exporting text ----------------------------------------------------------

enum Encoding : int { ENCODING_UTF8 = 0, ENCODING_UTF16LE = -1 };

// Makes a string! from encoded bytes into target (a new argument-stack cell when null) and
// returns the cell. UTF-8: a leading byte-order mark is skipped; invalid text raises access
// error invalid-utf8 with the offending bytes; a sequence cut short at the end leaves its
// bytes for the caller's next chunk when bytes_left is given (their count is written there)
// and raises invalid-utf8 otherwise. UTF-16LE: len / 2 code units; an unpaired high
// surrogate loads as U+FFFD. Any other encoding is an internal error. The bytes are read
// after allocating, so they must not point into a series buffer: use load_series for those.
Cell* load(const uint8_t* bytes, size_t len, Cell* target, int encoding,
           size_t* bytes_left = nullptr);
// The same for len bytes at a byte offset from the head of a series (a binary!'s buffer).
Cell* load_series(NodeId src, uint32_t offset, uint32_t len, Cell* target, int encoding,
                  size_t* bytes_left = nullptr);
inline Cell* load_new(const uint8_t* bytes, size_t len, int encoding) {
  return load(bytes, len, nullptr, encoding);
}

// UTF-8 of count characters from the value's index (all when count < 0 or beyond the end),
// each LF as CR LF when asked: a new byte series with a zero byte after its tail. A
// character above U+10FFFF raises script error invalid-char.
NodeId to_utf8(const Cell* v, int32_t count = -1, bool lf_to_crlf = false);
// The same into a std::string, for hosts and tests.
std::string to_std_string(const Cell* v);

// ---- Hexadecimal text (static buffers, overwritten by the next call) ---------------------

// Uppercase digits of a 32-bit value. trim: from the first significant digit ("00" for 0);
// else all eight, padded with "0" (or "F" for a negative value).
const char* to_hex(int32_t value, bool trim);
const char* byte_to_hex(uint8_t byte);

// ---- Form and mold -----------------------------------------------------------------------

constexpr int ESCAPE_STRING = 0xFD;   // the string escapes of mold_char

// Appends one character to out, as mold writes it: "^(hex)" for 0x1E, 0x80-0x9F and, with
// escape_high, anything above 0x7F; in ESCAPE_STRING mode "^" escapes for controls, the
// double quote, "^" and DEL; else the character itself.
void mold_char(NodeId out, uint32_t cp, int mode, bool escape_high);

// Action handlers (signatures of act::Form and act::Mold). Both return the /part limit less
// the characters they account for.
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);

}  // namespace tav::string

namespace tav::string_type {

// Registers a text kind under string! (tag!, email!, ref!): it keeps string!'s series and
// text actions (the parent's handlers) and refuses the rest (maths, sort, trim, random,
// ports); `own` then gives its own handlers or refusals.
void register_text_kind(TypeId id, const char* name, std::initializer_list<ActionBinding> own);
// Registers string! (under series!) in the type table; series! must be registered first.
void init();
}  // namespace tav::string_type
