// The value cell: every Tav value is 16 bytes, a header word and three payload words.
#pragma once
#include <emmintrin.h>

#include <cstdint>
#include <cstring>

namespace tav {

// Type ids are part of the Tavbin format and the boot image: never renumber.
enum TypeId : uint8_t {
  TYPE_NONE_ID = 0,
  TYPE_DATATYPE = 1, TYPE_UNSET = 2, TYPE_NONE = 3, TYPE_LOGIC = 4,
  TYPE_BLOCK = 5, TYPE_PAREN = 6, TYPE_STRING = 7, TYPE_FILE = 8, TYPE_URL = 9,
  TYPE_CHAR = 10, TYPE_INTEGER = 11, TYPE_FLOAT = 12, TYPE_SYMBOL = 13,
  TYPE_CONTEXT = 14, TYPE_WORD = 15, TYPE_SET_WORD = 16, TYPE_LIT_WORD = 17,
  TYPE_GET_WORD = 18, TYPE_REFINEMENT = 19, TYPE_ISSUE = 20, TYPE_NATIVE = 21,
  TYPE_ACTION = 22, TYPE_OP = 23, TYPE_FUNCTION = 24, TYPE_PATH = 25,
  TYPE_LIT_PATH = 26, TYPE_SET_PATH = 27, TYPE_GET_PATH = 28, TYPE_ROUTINE = 29,
  TYPE_BITSET = 30, TYPE_TRIPLE = 31, TYPE_OBJECT = 32, TYPE_TYPESET = 33,
  TYPE_ERROR = 34, TYPE_VECTOR = 35, TYPE_HASH = 36, TYPE_PAIR = 37,
  TYPE_PERCENT = 38, TYPE_TUPLE = 39, TYPE_MAP = 40, TYPE_BINARY = 41,
  TYPE_SERIES = 42, TYPE_TIME = 43, TYPE_TAG = 44, TYPE_EMAIL = 45,
  TYPE_HANDLE = 46, TYPE_DATE = 47, TYPE_PORT = 48, TYPE_MONEY = 49,
  TYPE_REF = 50, TYPE_POINT2D = 51, TYPE_POINT3D = 52, TYPE_IMAGE = 53,
  TYPE_EVENT = 54,
};
constexpr int TYPE_TABLE_SIZE = 57;   // ids 0..56

// A type's bit in a 64-bit set of types (every id fits).
constexpr uint64_t type_bit(TypeId t) { return uint64_t(1) << (t & 63); }
static_assert(TYPE_TABLE_SIZE <= 64);

// Header bits shared by several types.
constexpr uint32_t HEADER_TYPE_MASK = 0xFF;
constexpr uint32_t FLAG_NEW_LINE = 1u << 30;        // a line break is molded before the value
constexpr uint32_t FLAG_CTX_ON_STACK = 1u << 22;    // context! cell: values live on the argument stack
constexpr uint32_t FLAG_CTX_SELF = 1u << 24;        // context! cell: has a self word
constexpr uint32_t CTX_KIND_SHIFT = 11;              // context! cell: bits 11-12 give the kind
constexpr uint32_t FLAG_FIELD_STORED = 1u << 13;    // word-list cell of an object context
constexpr uint32_t FLAG_NO_TRACE = 1u << 9;         // function!
constexpr uint32_t FLAG_TRACE = 1u << 10;           // function!

using NodeId = uint32_t;    // 0 is never a node

struct Cell {
  uint32_t header;
  uint32_t data1;
  uint32_t data2;
  uint32_t data3;

  TypeId type() const { return static_cast<TypeId>(header & HEADER_TYPE_MASK); }
  void set_type(TypeId t) { header = (header & ~HEADER_TYPE_MASK) | t; }
  bool is(TypeId t) const { return type() == t; }

  // Payload views. Floats span data2 and data3.
  int32_t int_value() const { return static_cast<int32_t>(data2); }
  void set_int_value(int32_t v) { data2 = static_cast<uint32_t>(v); }
  double float_value() const {
    uint64_t bits = (static_cast<uint64_t>(data3) << 32) | data2;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  void set_float_value(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    data2 = static_cast<uint32_t>(bits);
    data3 = static_cast<uint32_t>(bits >> 32);
  }
  // Series kinds: head index in data1, buffer node in data2.
  uint32_t index() const { return data1; }
  NodeId node() const { return data2; }
};
static_assert(sizeof(Cell) == 16, "a value cell is 16 bytes");

inline void copy_cell(const Cell* src, Cell* dst) {
  if (src != dst) *dst = *src;
}

inline Cell make_cell(TypeId t, uint32_t d1 = 0, uint32_t d2 = 0, uint32_t d3 = 0) {
  return Cell{static_cast<uint32_t>(t), d1, d2, d3};
}

// Writes a whole cell in one store. A cell is often read back whole right after it is
// written (a native's result copied into its caller's slot): the read is then served from
// that one store, where a cell written word by word has to wait until its words reach memory.
[[gnu::always_inline]] inline Cell* store_cell(Cell* c, uint32_t header, uint32_t d1 = 0,
                                               uint32_t d2 = 0, uint32_t d3 = 0) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(c),
                   _mm_setr_epi32(static_cast<int>(header), static_cast<int>(d1),
                                  static_cast<int>(d2), static_cast<int>(d3)));
  return c;
}

// Cell initialisers used everywhere; they write the whole cell.
inline Cell* set_unset(Cell* c) { return store_cell(c, TYPE_UNSET); }
inline Cell* set_none(Cell* c) { return store_cell(c, TYPE_NONE); }
inline Cell* set_logic(Cell* c, bool b) { return store_cell(c, TYPE_LOGIC, b ? 1 : 0); }
inline Cell* set_integer(Cell* c, int32_t v) {
  return store_cell(c, TYPE_INTEGER, 0, static_cast<uint32_t>(v));
}
inline Cell* set_float(Cell* c, double d, TypeId t = TYPE_FLOAT) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(c),
                   _mm_set_epi64x(static_cast<int64_t>(bits), static_cast<int64_t>(t)));
  return c;
}
inline Cell* set_char(Cell* c, uint32_t cp) { return store_cell(c, TYPE_CHAR, 0, cp); }
inline Cell* set_datatype(Cell* c, TypeId t) { return store_cell(c, TYPE_DATATYPE, t); }

// Truth: only none! and a false logic! are false; unset! is true.
inline bool is_true(const Cell* c) {
  TypeId t = c->type();
  if (t == TYPE_NONE) return false;
  if (t == TYPE_LOGIC) return c->data1 == 1;
  return true;
}

// Kind groups.
inline bool is_any_block(TypeId t) {
  return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_PATH || t == TYPE_LIT_PATH ||
         t == TYPE_SET_PATH || t == TYPE_GET_PATH || t == TYPE_HASH;
}
inline bool is_any_path(TypeId t) {
  return t == TYPE_PATH || t == TYPE_LIT_PATH || t == TYPE_SET_PATH || t == TYPE_GET_PATH;
}
inline bool is_any_string(TypeId t) {
  return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG ||
         t == TYPE_EMAIL || t == TYPE_REF;
}
inline bool is_any_word(TypeId t) {
  return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_LIT_WORD || t == TYPE_GET_WORD ||
         t == TYPE_REFINEMENT || t == TYPE_ISSUE;
}
inline bool is_series_type(TypeId t) {
  return is_any_block(t) || is_any_string(t) || t == TYPE_BINARY || t == TYPE_VECTOR ||
         t == TYPE_IMAGE;
}

}  // namespace tav
