#include <gtest/gtest.h>

#include <string>

#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/tuple.h"
#include "scalar_fixture.h"
#include "scanner/lexer.h"
#include "scanner/tokens.h"
#include "core/words.h"

namespace tav {
namespace {

using testing::float_cell;
using testing::int_cell;

class PairsTest : public testing::ScalarTest {
 protected:
  // The first value the text loads, or a cell of type error! when loading raised.
  static Cell load(const std::string& text) {
    Cell result;
    if (testing::raises([&] { lexer::transcode(text, &result); })) return make_cell(TYPE_ERROR);
    SeriesBuffer* b = node_buffer(result.node());
    return b->count() ? b->cells()[0] : make_cell(TYPE_NONE);
  }
  static Cell tuple_of(std::initializer_list<int> bytes) {
    uint8_t b[tuple::MAX_LENGTH] = {};
    int n = 0;
    for (int v : bytes) b[n++] = static_cast<uint8_t>(v);
    Cell c = make_cell(TYPE_TUPLE);
    return *tuple::set(&c, n, b);
  }
};

TEST_F(PairsTest, PairLiteralsLoad) {
  struct Case { const char* text; int32_t x, y; };
  Case cases[] = {{"10x20", 10, 20}, {"-1X+2", -1, 2}, {"-2147483648x2147483647", INT32_MIN, INT32_MAX},
                  {"0x0", 0, 0}};
  for (const Case& c : cases) {
    Cell v = load(c.text);
    ASSERT_TRUE(v.is(TYPE_PAIR)) << c.text;
    EXPECT_EQ(pair::x_of(&v), c.x) << c.text;
    EXPECT_EQ(pair::y_of(&v), c.y) << c.text;
  }
  for (const char* bad : {"1.5x2", "1x2.5", "2147483648x1", "1x-2147483649"}) {
    EXPECT_TRUE(load(bad).is(TYPE_ERROR)) << bad;
    EXPECT_NE(lexer::last_load_error().message.find("invalid pair!"), std::string::npos) << bad;
  }
}

TEST_F(PairsTest, PointLiteralBuilderTakesTwoOrThreeNumbers) {
  lexer::State s;
  s.load = false;   // a refusal only marks the state
  const uint8_t text[] = "(1, 2)";
  Cell nums[3] = {int_cell(1), float_cell(2.5), int_cell(-3)};
  Cell out;
  ASSERT_TRUE(lexer::load_point(s, nums, 2, TYPE_POINT2D, text, text + 6, &out));
  EXPECT_EQ(mold(out), "(1, 2.5)");
  ASSERT_TRUE(lexer::load_point(s, nums, 3, TYPE_POINT3D, text, text + 6, &out));
  EXPECT_EQ(mold(out), "(1, 2.5, -3)");
  EXPECT_FALSE(lexer::load_point(s, nums, 3, TYPE_POINT2D, text, text + 6, &out));
  Cell word_between[2] = {int_cell(1), make_cell(TYPE_NONE)};
  lexer::State t;
  t.load = false;
  EXPECT_FALSE(lexer::load_point(t, word_between, 2, TYPE_POINT2D, text, text + 6, &out));
}

TEST_F(PairsTest, TupleBuildersKeepTheLengthRules) {
  Cell c = make_cell(TYPE_NONE);
  EXPECT_EQ(mold(*tuple::make_rgba(&c, 1, 2, 3, -1)), "1.2.3");
  EXPECT_EQ(mold(*tuple::make_rgba(&c, 1, 2, 3, 255)), "1.2.3.255");
  int32_t ints[] = {1, 258};
  Cell* pushed = tuple::push_from_integers(2, ints);
  EXPECT_EQ(mold(*pushed), "1.2.0");
  stack::pop(1);
  Cell zeros = tuple_of({0, 0, 0, 0}), one = tuple_of({0, 0, 1});
  EXPECT_TRUE(tuple::zero_q(&zeros));
  EXPECT_FALSE(tuple::zero_q(&one));
  // A cut leaves the bytes past the length at 0, so that equal tuples compare equal.
  Cell cut = tuple_of({1, 2, 3, 4});
  uint8_t b[tuple::MAX_LENGTH];
  tuple::get_bytes(&cut, b);
  tuple::set(&cut, 3, b);
  EXPECT_EQ(compare(cut, tuple_of({1, 2, 3}), COMP_STRICT_EQUAL), 0);
  EXPECT_EQ(cut.data1 >> 24, 0u);
}

TEST_F(PairsTest, SettingTheLengthKeepsTheNewLineMark) {
  Cell t = tuple_of({1, 2, 3});
  t.header |= FLAG_NEW_LINE;
  uint8_t b[tuple::MAX_LENGTH] = {9, 9, 9, 9};
  tuple::set(&t, 4, b);
  EXPECT_TRUE(t.header & FLAG_NEW_LINE);
  EXPECT_EQ(tuple::length(&t), 4);
  EXPECT_TRUE(t.is(TYPE_TUPLE));
}

TEST_F(PairsTest, TripleHasOnlyItsTextForm) {
  Cell t = make_cell(TYPE_TRIPLE, 1, static_cast<uint32_t>(-2), 30);
  EXPECT_EQ(mold(t), "make triple! [1 -2 30]");
  EXPECT_EQ(form(t), "make triple! [1 -2 30]");
  EXPECT_EQ(form_limit(t), 100 - 22);
  EXPECT_EQ(action_entry(TYPE_TRIPLE, ACT_MAKE), nullptr);
}

TEST_F(PairsTest, FormAnswersTheLimitLeft) {
  Cell p = make_cell(TYPE_NONE);
  EXPECT_EQ(form_limit(*pair::make_at(&p, -10, 200)), 100 - 7);
  Cell q = make_cell(TYPE_NONE);
  EXPECT_EQ(form_limit(*point2D::make_at(&q, 1.5f, 2.0f)), 100 - 8);
  EXPECT_EQ(form_limit(tuple_of({255, 0, 10})), 100 - 8);
}

TEST_F(PairsTest, PathSetChangesTheScalarInPlace) {
  // The handler answers the changed value, which the evaluator stores back where it lives.
  Cell p = make_cell(TYPE_NONE);
  pair::make_at(&p, 1, 2);
  Cell x = word::make(symbols::x);
  Cell five = int_cell(5);
  auto fn = reinterpret_cast<act::EvalPath>(action_entry(TYPE_PAIR, ACT_EVAL_PATH));
  Cell* r = fn(&p, &x, &five, nullptr, nullptr, nullptr, 1, false, false, true, true);
  EXPECT_EQ(r, &p);
  EXPECT_EQ(mold(p), "5x2");
  Cell q = make_cell(TYPE_NONE);
  point3D::make_at(&q, 1, 2, 3);
  Cell z = word::make(symbols::z);
  auto pfn = reinterpret_cast<act::EvalPath>(action_entry(TYPE_POINT3D, ACT_EVAL_PATH));
  pfn(&q, &z, &five, nullptr, nullptr, nullptr, 1, false, false, true, true);
  EXPECT_EQ(mold(q), "(1, 2, 5)");
}

TEST_F(PairsTest, ArithmeticFallsOverToPointsWhenInexact) {
  Cell p = make_cell(TYPE_NONE);
  pair::make_at(&p, INT32_MAX, 0);
  Cell r = math(ACT_MULTIPLY, p, int_cell(2));
  ASSERT_TRUE(r.is(TYPE_POINT2D));
  EXPECT_EQ(point::x_of(&r), 4294967294.0f);
  pair::make_at(&p, INT32_MIN, 1);
  EXPECT_EQ(error_id(math(ACT_DIVIDE, p, int_cell(-1))), "overflow");
  EXPECT_EQ(error_id(math(ACT_REMAINDER, p, int_cell(0))), "zero-divide");
}

}  // namespace
}  // namespace tav
