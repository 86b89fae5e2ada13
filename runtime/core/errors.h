// Language errors: making them from the catalogue, raising them, and forming the report the
// console prints. An error unwinds the call-frame stack to the nearest try frame; in C++ it
// travels as a tav::Unwind exception (see stack.h).
//
// An error! is an object (class id 1, no change events) whose context holds the ten fields
// in their fixed order; type and id hold the category's and the id's words. Errors made
// before words exist (or when memory for the context ran out) keep their fields in one
// emergency record, with the category and id as positions; such a cell holds node 0.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include "core/cell.h"

namespace tav {

enum ErrorCategory : uint8_t {
  ERR_THROW = 0, ERR_NOTE = 1, ERR_SYNTAX = 2, ERR_SCRIPT = 3, ERR_MATH = 4, ERR_ACCESS = 5,
  ERR_RESERVED1 = 6, ERR_RESERVED2 = 7, ERR_USER = 8, ERR_INTERNAL = 9,
};

enum ErrorField : uint8_t {
  ERROR_CODE = 0, ERROR_TYPE = 1, ERROR_ID = 2, ERROR_ARG1 = 3, ERROR_ARG2 = 4, ERROR_ARG3 = 5,
  ERROR_NEAR = 6, ERROR_WHERE = 7, ERROR_STACK = 8, ERROR_FILES = 9,
};
constexpr int ERROR_FIELD_COUNT = 10;
constexpr uint32_t ERROR_CLASS_ID = 1;

namespace error {

// Makes the error of the catalogue entry [category id] with up to three arguments (null for
// absent ones) and throws it. Never returns. An id the category does not have is a fault of
// the caller: the error raised instead is internal invalid-error naming that id.
[[noreturn]] void raise(ErrorCategory cat, const char* id, const Cell* arg1 = nullptr,
                        const Cell* arg2 = nullptr, const Cell* arg3 = nullptr);

// Builds the error value into `out` without throwing it (same id rule as raise).
void create(ErrorCategory cat, const char* id, const Cell* arg1, const Cell* arg2,
            const Cell* arg3, Cell* out);

// make error! from an integer code: category = code / 100, id position = code mod 100.
// A code naming no entry raises script out-of-range with the code.
void make_from_code(int32_t code, Cell* out);

// make error! from a text: a user error whose message is the text.
void make_from_text(std::string_view text, Cell* out);

// The error's field cell (writable: the evaluator fills near and where, the stack walk stack).
Cell* field(const Cell* err, ErrorField f);
int32_t code(const Cell* err);
// The name of the error's id ("" when the id field names nothing).
std::string id_name(const Cell* err);
// Sets where when it is still none.
void set_where(const Cell* err, const Cell* value);

// The report as the console prints it: "*** <title>: <message>", then the Where and Near
// lines, then, while the stack-trace setting is a positive integer, the Stack line (the call
// names of the frames the error was raised under, or the block try/keep made of them), then
// the Files line when that field holds a block.
std::string form(const Cell* err);

// Replaces the frame level held in the error's stack field by a block of the call names
// (try/keep). An error that holds no level keeps its field.
void set_stack_trace(const Cell* err);

// The same report, written as UTF-8 to a sink.
void form_for_console(const Cell* err, void (*sink)(const char* bytes, size_t len, void* ctx),
                      void* ctx);

}  // namespace error
}  // namespace tav
