// The error catalogue: categories in order, each with its title and its ids in order, each id
// with its message. Positions are part of the language (error codes are category index x 100
// + id position), so entries are never reordered or removed.
//
// Each message is kept as the source text of its catalogue value (a string, a template block
// of strings and argument words, or a bare word naming an error field) and split into pieces
// once, on first use.
#pragma once
#include <cstdint>
#include <string_view>

namespace tav::error_catalogue {

// One piece of a message: literal text, or a slot naming an error field.
enum class PieceKind : uint8_t { TEXT, GET_WORD, WORD };

struct Piece {
  PieceKind kind;
  std::string_view text;   // the literal text, or the field name of a slot ("arg1", ...)
};

enum class MessageKind : uint8_t {
  STRING,       // a plain string: no arguments
  TEMPLATE,     // a block of strings and slots, joined with single spaces
  FIELD,        // a word: the message is the named field of the error itself
};

struct Id {
  std::string_view name;
  std::string_view source;   // the message as the catalogue writes it
  MessageKind kind;
  const Piece* pieces;       // for TEMPLATE: the pieces; for STRING and FIELD: one piece
  uint8_t piece_count;
};

struct Category {
  std::string_view name;
  std::string_view title;
  const Id* ids;
  uint8_t id_count;
};

constexpr int CATEGORY_COUNT = 10;

const Category& category(int index);                  // 0 <= index < CATEGORY_COUNT
int category_index(std::string_view name);            // case-insensitive; -1 when absent
int id_index(int category, std::string_view name);    // case-insensitive; -1 when absent

inline int code_of(int category, int id) { return category * 100 + id; }

// Splits a code into category and id positions; false when no such entry exists.
bool split_code(int32_t code, int* category_out, int* id_out);

// The field a slot names, as an index into the error's fields (arg1 is 3); -1 when the name
// is no field.
int field_index(std::string_view name);

}  // namespace tav::error_catalogue
