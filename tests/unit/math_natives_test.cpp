#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "eval_helpers.h"

namespace tav {
namespace {

using namespace evaltest;

Cell f(double d) { Cell c; set_float(&c, d); return c; }
Cell pct(double d) { Cell c; set_float(&c, d, TYPE_PERCENT); return c; }
Cell tm(double s) { Cell c; set_float(&c, s, TYPE_TIME); return c; }
Cell pair(int32_t x, int32_t y) {
  return make_cell(TYPE_PAIR, 0, static_cast<uint32_t>(x), static_cast<uint32_t>(y));
}
uint32_t bits_of(float v) { uint32_t b; std::memcpy(&b, &v, 4); return b; }
float float_of(uint32_t b) { float v; std::memcpy(&v, &b, 4); return v; }
Cell point2(float x, float y) { return make_cell(TYPE_POINT2D, bits_of(x), bits_of(y)); }
Cell point3(float x, float y, float z) {
  return make_cell(TYPE_POINT3D, bits_of(x), bits_of(y), bits_of(z));
}
Cell tuple(std::initializer_list<uint8_t> bytes) {
  Cell c = make_cell(TYPE_TUPLE);
  c.header |= static_cast<uint32_t>(bytes.size()) << 19;
  uint8_t* p = reinterpret_cast<uint8_t*>(&c.data1);
  for (uint8_t b : bytes) *p++ = b;
  return c;
}
Cell str(const char* text) {
  Cell s = *string::push_utf8(text);
  stack::pop(1);
  return s;
}
Cell nan_cell() { return f(std::numeric_limits<double>::quiet_NaN()); }
const double INF = std::numeric_limits<double>::infinity();

class MathNatives : public ::testing::Test {
 protected:
  void SetUp() override {
    install();
    saved_ = stack::save();
  }
  void TearDown() override {
    EXPECT_EQ(stack::frames_top, saved_.frames_top);
    EXPECT_EQ(stack::top, saved_.top);
  }
  // The value of one call: the native (or a path naming refinements) and its arguments.
  static Cell value(std::initializer_list<Cell> code) {
    Outcome o = run(blk(code));
    EXPECT_FALSE(o.error) << o.text;
    return o.value;
  }
  static Cell call(const char* native, std::initializer_list<Cell> args) {
    std::vector<Cell> code{w(native)};
    code.insert(code.end(), args.begin(), args.end());
    NodeId n = alloc::new_cells(static_cast<uint32_t>(code.size()));
    SeriesBuffer* b = node_buffer(n);
    for (size_t k = 0; k < code.size(); ++k) b->cells()[k] = code[k];
    b->tail = b->head + static_cast<uint32_t>(code.size() * sizeof(Cell));
    Outcome o = run(make_cell(TYPE_BLOCK, 0, n));
    EXPECT_FALSE(o.error) << native << ": " << o.text;
    return o.value;
  }
  static std::string error_of(std::initializer_list<Cell> code) {
    Outcome o = run(blk(code));
    EXPECT_TRUE(o.error);
    return o.id;
  }
  stack::State saved_{};
};

bool logic(const Cell& c, bool want) { return c.is(TYPE_LOGIC) && (c.data1 == 1) == want; }

TEST_F(MathNatives, SameAsksForIdentityNotEquality) {
  Cell s = str("abc");
  Cell s_next = s;
  s_next.data1 = 1;
  Cell none = make_cell(TYPE_NONE);
  struct Case { Cell a, b; bool want; };
  const Case cases[] = {
      {s, s, true}, {s, str("abc"), false}, {s, s_next, false}, {none, none, true},
      {i(3), i(3), true}, {i(3), f(3.0), false}, {f(0.5), f(0.5), true},
      {tuple({1, 2, 3}), tuple({1, 2, 3}), true}, {tuple({1, 2, 3}), tuple({1, 2, 3, 0}), false},
      {pair(1, 2), pair(1, 2), true}, {pair(1, 2), pair(2, 1), false},
  };
  for (const Case& c : cases) EXPECT_TRUE(logic(call("same?", {c.a, c.b}), c.want));
}

TEST_F(MathNatives, NotTestsFalsinessAndUnsetIsTruthy) {
  EXPECT_TRUE(logic(call("not", {make_cell(TYPE_NONE)}), true));
  EXPECT_TRUE(logic(call("not", {make_cell(TYPE_LOGIC, 0)}), true));
  EXPECT_TRUE(logic(call("not", {i(0)}), false));
  EXPECT_TRUE(logic(value({w("not"), paren({})}), false));
}

TEST_F(MathNatives, TypeGivesTheDatatypeOrItsWord) {
  Cell t = call("type?", {i(5)});
  EXPECT_TRUE(t.is(TYPE_DATATYPE));
  EXPECT_EQ(t.data1, TYPE_INTEGER);
  Cell word = value({path({w("type?"), w("word")}), f(1.5)});
  EXPECT_TRUE(word.is(TYPE_WORD));
  EXPECT_EQ(name_of(word.data2), "float!");
}

TEST_F(MathNatives, SignPredicates) {
  struct Case { Cell v; int sign; bool zero; };
  const Case cases[] = {
      {i(-4), -1, false}, {i(0), 0, true}, {i(7), 1, false}, {f(-0.0), 0, true},
      {nan_cell(), 0, false}, {f(2.5), 1, false}, {pct(-0.1), -1, false}, {tm(-60), -1, false},
      {tm(0), 0, true},
  };
  for (const Case& c : cases) {
    Cell s = call("sign?", {c.v});
    EXPECT_TRUE(s.is(TYPE_INTEGER));
    EXPECT_EQ(s.int_value(), c.sign);
    EXPECT_TRUE(logic(call("negative?", {c.v}), c.sign < 0));
    EXPECT_TRUE(logic(call("positive?", {c.v}), c.sign > 0));
    EXPECT_TRUE(logic(call("zero?", {c.v}), c.zero));
  }
  EXPECT_EQ(error_of({w("sign?"), str("x")}), "script/expect-arg");
  EXPECT_EQ(error_of({w("negative?"), str("x")}), "script/expect-arg");
}

TEST_F(MathNatives, ZeroOfCompositeValues) {
  struct Case { Cell v; bool want; };
  const Case cases[] = {
      {pair(0, 0), true}, {pair(0, 1), false}, {tuple({0, 0, 0}), true},
      {tuple({0, 0, 1}), false}, {point2(0, 0), true}, {point2(0, 0.5f), false},
      {point3(0, 0, 0), true}, {point3(0, 0, -1), false}, {make_cell(TYPE_CHAR, 0, 0), true},
  };
  for (const Case& c : cases) EXPECT_TRUE(logic(call("zero?", {c.v}), c.want));
}

TEST_F(MathNatives, NaNLooksAtTheFloatPayloadOnly) {
  EXPECT_TRUE(logic(call("NaN?", {nan_cell()}), true));
  EXPECT_TRUE(logic(call("NaN?", {f(INF)}), false));
  EXPECT_TRUE(logic(call("NaN?", {i(-1)}), false));   // all bits set, but no double
}

TEST_F(MathNatives, ShiftByRefinementAndCount) {
  Cell left = path({w("shift"), w("left")});
  Cell logical = path({w("shift"), w("logical")});
  Cell both = path({w("shift"), w("left"), w("logical")});
  struct Case { Cell fn; int32_t data, bits, want; };
  const Case cases[] = {
      {w("shift"), -8, 2, -2}, {logical, -1, 28, 15}, {w("shift"), 1, 40, 0},
      {w("shift"), -1, 40, -1}, {left, 1, -3, 1}, {left, 1, 31, INT32_MIN},
      {left, 1, 32, 0}, {logical, -1, 32, 0}, {both, 3, 2, 12}, {w("shift"), 100, -5, 100},
  };
  for (const Case& c : cases) {
    Cell r = value({c.fn, i(c.data), i(c.bits)});
    EXPECT_EQ(r.int_value(), c.want) << c.data << " by " << c.bits;
  }
}

TEST_F(MathNatives, ToHexMakesAnIssueOfTheLastDigits) {
  Cell sized = path({w("to-hex"), w("size")});
  struct Case { Cell code; const char* want; };
  const Case cases[] = {
      {blk({w("to-hex"), i(255)}), "000000FF"}, {blk({sized, i(255), i(2)}), "FF"},
      {blk({sized, i(255), i(12)}), "000000FF"}, {blk({w("to-hex"), i(-1)}), "FFFFFFFF"},
      {blk({sized, i(0x1234ABCD), i(5)}), "4ABCD"},
  };
  for (const Case& c : cases) {
    Outcome o = run(c.code);
    ASSERT_FALSE(o.error) << o.text;
    EXPECT_TRUE(o.value.is(TYPE_ISSUE));
    EXPECT_EQ(name_of(o.value.data2), c.want);
  }
  EXPECT_EQ(error_of({sized, i(255), i(0)}), "script/invalid-arg");
  EXPECT_EQ(error_of({sized, i(255), i(-3)}), "script/invalid-arg");
}

double float_value(const Cell& c) {
  EXPECT_TRUE(c.is(TYPE_FLOAT));
  return c.float_value();
}

TEST_F(MathNatives, TrigonometryInDegreesAndRadians) {
  EXPECT_EQ(float_value(call("sine", {i(180)})), 0.0);
  EXPECT_EQ(float_value(call("sine", {i(90)})), 1.0);
  EXPECT_EQ(float_value(call("cosine", {i(90)})), 0.0);
  EXPECT_NEAR(float_value(call("cosine", {f(60.0)})), 0.5, 1e-15);
  EXPECT_EQ(float_value(call("tangent", {i(90)})), INF);
  EXPECT_EQ(float_value(call("tangent", {i(-90)})), -INF);
  EXPECT_NEAR(float_value(call("tangent", {i(45)})), 1.0, 1e-15);
  EXPECT_EQ(float_value(call("arcsine", {i(1)})), 90.0);
  EXPECT_EQ(float_value(call("arccosine", {i(-1)})), 180.0);
  EXPECT_EQ(float_value(call("arctangent", {i(0)})), 0.0);
  EXPECT_TRUE(std::isnan(float_value(call("arcsine", {i(2)}))));
  EXPECT_EQ(float_value(call("arctangent2", {i(1), i(-1)})), 135.0);
  Cell radians = path({w("sine"), w("radians")});
  EXPECT_NEAR(float_value(value({radians, f(M_PI / 6)})), 0.5, 1e-15);
  Cell atan2r = path({w("arctangent2"), w("radians")});
  EXPECT_NEAR(float_value(value({atan2r, i(1), i(1)})), M_PI / 4, 1e-15);
  EXPECT_NEAR(float_value(value({path({w("arcsine"), w("radians")}), i(1)})), M_PI / 2, 1e-15);
}

TEST_F(MathNatives, LogarithmsExponentialAndRootWithoutDomainChecks) {
  EXPECT_EQ(float_value(call("log-2", {i(8)})), 3.0);
  EXPECT_EQ(float_value(call("log-10", {i(1000)})), 3.0);
  EXPECT_EQ(float_value(call("log-e", {i(1)})), 0.0);
  EXPECT_EQ(float_value(call("log-e", {i(0)})), -INF);
  EXPECT_EQ(float_value(call("exp", {i(0)})), 1.0);
  EXPECT_NEAR(float_value(call("exp", {i(1)})), 2.718281828459045, 1e-15);
  EXPECT_EQ(float_value(call("square-root", {i(16)})), 4.0);
  EXPECT_TRUE(std::isnan(float_value(call("square-root", {i(-1)}))));
  // A percent keeps its fraction: 25% is 0.25.
  EXPECT_EQ(float_value(call("square-root", {pct(0.25)})), 0.5);
}

void expect_same_cell(const Cell& got, const Cell& want) {
  EXPECT_EQ(got.type(), want.type());
  EXPECT_EQ(got.header, want.header);
  EXPECT_EQ(got.data1, want.data1);
  EXPECT_EQ(got.data2, want.data2);
  EXPECT_EQ(got.data3, want.data3);
}

TEST_F(MathNatives, MaxAndMinAcrossScalarKinds) {
  struct Case { const char* fn; Cell a, b, want; };
  const Case cases[] = {
      {"max", i(1), pair(2, 3), pair(2, 3)},
      {"max", i(5), pair(1, 9), pair(5, 9)},
      {"min", pair(1, 9), i(5), pair(1, 5)},
      {"min", f(1.5e10), pair(2, 3), point2(2.0f, 3.0f)},
      {"max", pair(1, 7), pair(4, 2), pair(4, 7)},
      {"min", pair(1, 7), point2(0.5f, 9.0f), point2(0.5f, 7.0f)},
      {"max", point2(1, 5), i(3), point2(3, 5)},
      {"max", point2(1, 5), pair(2, 2), point2(2, 5)},
      {"min", point3(1, 5, 9), f(4.0), point3(1, 4, 4)},
      {"max", i(300), tuple({1, 2, 3}), tuple({255, 255, 255})},
      {"min", tuple({1, 20, 3}), f(-2.5), tuple({0, 0, 0})},
      {"max", tuple({1, 20, 3}), tuple({4, 5, 6}), tuple({4, 20, 6})},
      {"max", i(1), f(1.0), i(1)},
      {"min", i(1), f(1.0), f(1.0)},
      {"max", i(2), i(9), i(9)},
      {"min", f(-1.0), i(3), f(-1.0)},
      {"max", str("abc"), str("abd"), str("abd")},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("row " + std::to_string(row++));
    Cell r = call(c.fn, {c.a, c.b});
    if (c.want.is(TYPE_STRING)) EXPECT_EQ(string::to_std_string(&r), "abd");
    else expect_same_cell(r, c.want);
  }
}

TEST_F(MathNatives, MaxAndMinLetNaNWin) {
  EXPECT_TRUE(std::isnan(float_value(call("max", {nan_cell(), i(3)}))));
  EXPECT_TRUE(std::isnan(float_value(call("min", {i(3), nan_cell()}))));
  // A NaN component of a point propagates as well.
  float nan = std::numeric_limits<float>::quiet_NaN();
  Cell r = call("max", {point2(1, 2), point2(nan, 0)});
  EXPECT_TRUE(std::isnan(float_of(r.data1)));
  EXPECT_EQ(float_of(r.data2), 2.0f);
}

TEST_F(MathNatives, MaxAndMinErrors) {
  EXPECT_EQ(error_of({w("max"), i(1), str("a")}), "script/invalid-compare");
  EXPECT_EQ(error_of({w("max"), tuple({1, 2, 3}), f(1e12)}), "script/type-limit");
}

}  // namespace
}  // namespace tav
