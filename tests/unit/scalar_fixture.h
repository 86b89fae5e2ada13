// Calls the scalar types' action handlers the way the generic actions layer does: operands
// on the argument stack under a frame of their own, errors caught and named by their id.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "datatypes/string.h"
#include "core/error_catalogue.h"
#include "core/errors.h"
#include "core/stack.h"
#include "test_runtime.h"
#include "core/types.h"

namespace tav::testing {

inline Cell int_cell(int32_t v) { Cell c; return *set_integer(&c, v); }
inline Cell float_cell(double d, TypeId t = TYPE_FLOAT) { Cell c; return *set_float(&c, d, t); }
inline Cell pct_cell(double d) { return float_cell(d, TYPE_PERCENT); }
inline Cell time_cell(double s) { return float_cell(s, TYPE_TIME); }
inline Cell char_cell(uint32_t cp) { Cell c; return *set_char(&c, cp); }

class ScalarTest : public ::testing::Test {
 protected:
  void SetUp() override { ensure_runtime(); }

  static std::string mold(Cell v, bool all = false) {
    Cell out;
    string::make_at(&out, 16);
    Cell* kept = stack::push(&out);
    auto fn = reinterpret_cast<act::Mold>(action_entry(v.type(), ACT_MOLD));
    fn(&v, kept, false, all, false, nullptr, 1000, 0);
    std::string s = string::to_std_string(kept);
    stack::pop(1);
    return s;
  }
  static std::string form(Cell v) {
    Cell out;
    string::make_at(&out, 16);
    Cell* kept = stack::push(&out);
    auto fn = reinterpret_cast<act::Form>(action_entry(v.type(), ACT_FORM));
    fn(&v, kept, nullptr, 1000);
    std::string s = string::to_std_string(kept);
    stack::pop(1);
    return s;
  }
  // The limit a form or mold handler answers for a starting limit of 100.
  static int form_limit(Cell v) {
    Cell out;
    string::make_at(&out, 16);
    Cell* kept = stack::push(&out);
    auto fn = reinterpret_cast<act::Form>(action_entry(v.type(), ACT_FORM));
    int r = fn(&v, kept, nullptr, 100);
    stack::pop(1);
    return r;
  }

  // Runs fn under a frame whose argument base holds left and right; answers the result
  // slot, or an error! cell when fn raised.
  template <typename Fn>
  static Cell on_stack(Cell left, Cell right, Fn fn) {
    stack::State saved = stack::save();
    stack::mark_try(nullptr);
    stack::mark_native(nullptr);
    stack::push(&left);
    stack::push(&right);
    Cell result;
    try {
      fn();
      result = *stack::base;
    } catch (const Unwind& u) {
      result = *(stack::top - 1);
      if (u.code != CODE_ERROR) result = make_cell(TYPE_NONE);
    }
    stack::restore(saved);
    return result;
  }
  static Cell math(ActionId a, Cell left, Cell right) {
    return on_stack(left, right, [&] {
      reinterpret_cast<act::StackReading>(action_entry(left.type(), a))();
    });
  }
  static Cell make(TypeId target, Cell spec, ActionId a = ACT_TO) {
    Cell proto = make_cell(TYPE_DATATYPE, target);
    return on_stack(proto, spec, [&] {
      Cell* r = reinterpret_cast<act::Make>(action_entry(target, a))(stack::base, stack::base + 1,
                                                                      target);
      *stack::base = *r;
    });
  }
  static Cell round(Cell v, const Cell* scale, const char* mode = "") {
    std::string m = mode;
    Cell s = scale ? *scale : make_cell(TYPE_NONE);
    return on_stack(v, s, [&] {
      reinterpret_cast<act::Round>(action_entry(v.type(), ACT_ROUND))(
          stack::base, scale ? stack::base + 1 : nullptr, m == "even", m == "down",
          m == "half-down", m == "floor", m == "ceiling", m == "half-ceiling");
    });
  }
  static int compare(Cell a, Cell b, int op) {
    auto fn = reinterpret_cast<act::Compare>(action_entry(a.type(), ACT_COMPARE));
    return fn(&a, &b, op);
  }
  static bool predicate(ActionId a, Cell v) {
    return reinterpret_cast<act::Predicate>(action_entry(v.type(), a))(&v);
  }

  // The catalogue id of an error! cell, or "" for any other value.
  static std::string error_id(const Cell& c) {
    if (!c.is(TYPE_ERROR)) return "";
    int32_t code = error::code(&c);
    int cat = 0, id = 0;
    if (!error_catalogue::split_code(code, &cat, &id)) return "?";
    return std::string(error_catalogue::category(cat).ids[id].name);
  }
};

}  // namespace tav::testing
