// char!: one Unicode code point, 0 to 0x10FFFF. A child of integer! with its own arithmetic,
// which keeps every result a valid code point.
#pragma once
#include <cstdint>
#include "core/cell.h"

namespace tav::char_ {

Cell* push(uint32_t code_point);
Cell* append_to_block(const Cell* block, uint32_t code_point);
// Arithmetic on the running call's two arguments (left at the argument base); op codes as
// integer!'s. The result replaces the left operand's code point.
Cell* do_math_op(int op);

void init();

}  // namespace tav::char_
