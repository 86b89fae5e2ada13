// binary!: a series of bytes (1-byte units) under string!. It keeps string!'s storage and
// series actions and brings its own conversion to bytes, byte-wise comparison, insertion and
// change by the byte rules, zero-byte trimming, bit-wise logic and the "#{...}" notation.
//
// The cell: header (type 41), head index in bytes (may lie past the tail after another value
// shortened the buffer: every reader clamps it), buffer node, third word 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/cell.h"
#include "core/memory.h"

namespace tav::binary {

// ---- Values ----------------------------------------------------------------------------

// Makes the cell an empty binary with room for capacity bytes (0 gets 16); returns the cell.
Cell* make_at(Cell* cell, uint32_t capacity);
// Pushes a new binary holding a copy of the bytes (which must not lie in a series buffer
// that this call could move: none moves, since only a new buffer is made).
Cell* load(const uint8_t* bytes, size_t length);
// Bytes from the (clamped) index to the tail.
uint32_t rs_length(const Cell* bin);
// Address of the byte at the clamped index; stale after anything that allocates.
uint8_t* rs_head(const Cell* bin);
// Appends bytes at the tail (the buffer grows); the bytes must not lie in bin's own buffer.
void append_bytes(const Cell* bin, const uint8_t* bytes, size_t length);

// ---- Byte form of values -----------------------------------------------------------------

enum class ByteMode { strict, any };
// Appends the byte form of a value to out: a char!'s UTF-8, an integer! in -128..255 as one
// byte, a binary!'s bytes, the UTF-8 of any string kind, the byte forms of a block's values in
// order; in `any` mode every other value gives the UTF-8 of its formed text, in `strict` mode
// it raises bad-to-arg. A positive limit cuts the result: it counts the block's cells unless
// limit_in_bytes. Nothing is appended when an error is raised.
void byte_form(const Cell* value, int32_t limit, bool limit_in_bytes, ByteMode mode,
               std::vector<uint8_t>& out);

// ---- Comparison ------------------------------------------------------------------------

// Compares the bytes of bin with those of other (binary! or any string kind as UTF-8) from
// their indexes under an op code; with match, whether bin starts with other (0 when it does).
// -1, 0 or 1; -2 when other is not comparable.
int compare_bytes(const Cell* bin, const Cell* other, int op, bool match);

// ---- Action handlers ---------------------------------------------------------------------

Cell* to_value(Cell* proto, Cell* spec, int type);
int form(Cell* value, Cell* buffer, Cell* part, int limit);
int mold(Cell* value, Cell* buffer, bool only, bool all, bool flat, Cell* part, int limit,
         int indent);
int compare(Cell* value1, Cell* value2, int op);
Cell* and_t();
Cell* or_t();
Cell* xor_t();
Cell* complement(Cell* value);
Cell* insert(Cell* series, Cell* value, int part, bool only, int dup, bool append);
Cell* change(Cell* series, Cell* value, int part, bool only, int dup);
Cell* find(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
           Cell* with, Cell* skip, bool last, bool reverse, bool tail, bool match);
Cell* select(Cell* series, Cell* value, Cell* part, bool only, bool case_, bool same, bool any,
             Cell* with, Cell* skip, bool last, bool reverse);
Cell* trim(Cell* series, bool head, bool tail, bool auto_, bool lines, bool all, Cell* with);

}  // namespace tav::binary

namespace tav::binary_type {
// Registers binary! under string! (string_type::init must have run).
void init();
}  // namespace tav::binary_type
