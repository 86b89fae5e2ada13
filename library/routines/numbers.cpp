// Bit shifts (through the shift native, which holds the rule) and colour and address tuples.
#include "core/errors.h"
#include "datatypes/tuple.h"
#include "evaluator/natives.h"
#include "routines.h"

namespace tav::routines {

namespace numbers_detail {

// The shift native with its /left or /logical refinement given or not. The refinements take
// no argument: a given one is marked with the position after the two arguments.
Status shift(bool left, bool logical) {
  static const NativeEntry entry = natives::entry(natives::position_of("shift") - 1);
  const int32_t refinements[2] = {left ? 2 : -1, logical ? 2 : -1};
  return entry(refinements);
}

// The first negative argument of the running call, if any, raises invalid-arg.
void check_not_negative(int count) {
  for (int i = 0; i < count; ++i)
    if (arg(i)->int_value() < 0) error::raise(ERR_SCRIPT, "invalid-arg", arg(i));
}

}  // namespace numbers_detail

Status shift_right(const int32_t*) { return numbers_detail::shift(false, false); }
Status shift_left(const int32_t*) { return numbers_detail::shift(true, false); }
Status shift_logical(const int32_t*) { return numbers_detail::shift(false, true); }

Status as_color(const int32_t*) {
  numbers_detail::check_not_negative(3);
  tuple::make_rgba(stack::base, arg(0)->int_value() & 0xFF, arg(1)->int_value() & 0xFF,
                   arg(2)->int_value() & 0xFF, -1);
  return done();
}

Status as_ipv4(const int32_t*) {
  numbers_detail::check_not_negative(4);
  // Combined without reduction: a component above 255 spills into the next byte.
  uint32_t w = (uint32_t(arg(3)->int_value()) << 24) | (uint32_t(arg(2)->int_value()) << 16) |
               (uint32_t(arg(1)->int_value()) << 8) | uint32_t(arg(0)->int_value());
  tuple::make_rgba(stack::base, int(w & 0xFF), int((w >> 8) & 0xFF), int((w >> 16) & 0xFF),
                   int(w >> 24));
  return done();
}

Status as_rgba(const int32_t* refinements) { return as_ipv4(refinements); }

}  // namespace tav::routines
