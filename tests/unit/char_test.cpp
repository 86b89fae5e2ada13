#include <gtest/gtest.h>

#include "datatypes/char.h"
#include "scalar_fixture.h"

namespace tav {
namespace {

using testing::char_cell;
using testing::int_cell;

class CharTest : public testing::ScalarTest {};

TEST_F(CharTest, MoldAndForm) {
  struct Case { uint32_t cp; const char* mold; const char* mold_all; };
  Case cases[] = {
      {'a', "#\"a\"", "#\"a\""},
      {'\n', "#\"^/\"", "#\"^/\""},
      {'\t', "#\"^-\"", "#\"^-\""},
      {0, "#\"^@\"", "#\"^@\""},
      {'"', "#\"^\"\"", "#\"^\"\""},
      {'^', "#\"^^\"", "#\"^^\""},
      {0x1E, "#\"^(1E)\"", "#\"^(1E)\""},
      {0x7F, "#\"^~\"", "#\"^~\""},
      {0x85, "#\"^(85)\"", "#\"^(85)\""},
      {0xE9, "#\"\xC3\xA9\"", "#\"^(E9)\""},
      {0x1F600, "#\"\xF0\x9F\x98\x80\"", "#\"^(1F600)\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mold_all);
    EXPECT_EQ(mold(char_cell(c.cp)), c.mold);
    EXPECT_EQ(mold(char_cell(c.cp), true), c.mold_all);
  }
  EXPECT_EQ(form(char_cell(0x1F600)), "\xF0\x9F\x98\x80");
  EXPECT_EQ(form(char_cell('\n')), "\n");
  EXPECT_EQ(form_limit(char_cell('a')), 99);
}

TEST_F(CharTest, Arithmetic) {
  Cell r = math(ACT_ADD, char_cell('a'), int_cell(1));
  EXPECT_EQ(r.type(), TYPE_CHAR);
  EXPECT_EQ(r.int_value(), 'b');
  r = math(ACT_DIVIDE, char_cell('d'), int_cell(3));
  EXPECT_EQ(r.type(), TYPE_CHAR);
  EXPECT_EQ(r.int_value(), 33);
  EXPECT_EQ(math(ACT_ADD, char_cell('a'), testing::float_cell(1.9)).int_value(), 'b');
  EXPECT_EQ(math(ACT_OR_T, char_cell('A'), int_cell(0x20)).int_value(), 'a');
  EXPECT_EQ(error_id(math(ACT_SUBTRACT, char_cell('a'), int_cell(98))), "overflow");
  EXPECT_EQ(error_id(math(ACT_ADD, char_cell(0x10FFFF), int_cell(1))), "overflow");
  EXPECT_EQ(error_id(math(ACT_MULTIPLY, char_cell(0x10000), int_cell(0x10000))), "overflow");
  EXPECT_EQ(error_id(math(ACT_DIVIDE, char_cell('a'), int_cell(0))), "zero-divide");
  EXPECT_EQ(error_id(math(ACT_ADD, char_cell('a'), make_cell(TYPE_NONE))), "invalid-type");
  EXPECT_EQ(error_id(math(ACT_ADD, char_cell('a'), testing::float_cell(1e20))), "overflow");
}

TEST_F(CharTest, InheritsFromInteger) {
  EXPECT_TRUE(predicate(ACT_ODD_Q, char_cell('a')));
  EXPECT_EQ(action_entry(TYPE_CHAR, ACT_RANDOM), action_entry(TYPE_INTEGER, ACT_RANDOM));
  EXPECT_EQ(action_entry(TYPE_CHAR, ACT_NEGATE), nullptr);
  EXPECT_EQ(action_entry(TYPE_CHAR, ACT_POWER), nullptr);
}

TEST_F(CharTest, Conversions) {
  Cell c = make(TYPE_CHAR, int_cell(0x10FFFF));
  EXPECT_EQ(c.type(), TYPE_CHAR);
  EXPECT_EQ(c.int_value(), 0x10FFFF);
  EXPECT_EQ(error_id(make(TYPE_CHAR, int_cell(0x110000))), "out-of-range");
  EXPECT_EQ(error_id(make(TYPE_CHAR, int_cell(-1))), "out-of-range");
  EXPECT_EQ(make(TYPE_CHAR, testing::float_cell(65.9)).int_value(), 'A');
  EXPECT_EQ(error_id(make(TYPE_CHAR, testing::float_cell(-1.5))), "out-of-range");
  auto text = [&](const char* s) {
    string::push_utf8(s);
    Cell v = *(stack::top - 1);
    return make(TYPE_CHAR, v);
  };
  EXPECT_EQ(text("\xE2\x82\xAC" "x").int_value(), 0x20AC);
  EXPECT_EQ(error_id(text("")), "bad-to-arg");
  EXPECT_EQ(error_id(make(TYPE_CHAR, make_cell(TYPE_NONE))), "bad-to-arg");
}

TEST_F(CharTest, ConversionFromBinaryIsBounded) {
  auto binary = [&](std::initializer_list<uint8_t> bytes) {
    NodeId n = alloc::new_series_of_unit(static_cast<uint32_t>(bytes.size()) + 1, 1);
    Cell v = make_cell(TYPE_BINARY, 0, n);
    stack::push(&v);
    uint8_t* p = series::buffer_reserve_tail(n, static_cast<uint32_t>(bytes.size()));
    for (uint8_t b : bytes) *p++ = b;
    return make(TYPE_CHAR, v);
  };
  EXPECT_EQ(binary({0xE2, 0x82, 0xAC}).int_value(), 0x20AC);
  EXPECT_EQ(binary({0x41, 0x42}).int_value(), 'A');
  EXPECT_EQ(error_id(binary({0xE2, 0x82})), "invalid-utf8");
  EXPECT_EQ(error_id(binary({0xFF})), "invalid-utf8");
  EXPECT_EQ(error_id(binary({})), "bad-to-arg");
}

TEST_F(CharTest, Compare) {
  EXPECT_EQ(compare(char_cell('a'), char_cell('A'), COMP_EQUAL), 1);
  EXPECT_EQ(compare(char_cell('a'), char_cell('b'), COMP_LESSER), -1);
  EXPECT_EQ(compare(char_cell('a'), int_cell(97), COMP_EQUAL), 0);
  EXPECT_EQ(compare(char_cell('a'), int_cell(97), COMP_STRICT_EQUAL), 1);
  EXPECT_EQ(compare(char_cell('a'), testing::float_cell(97.0), COMP_EQUAL), COMPARE_UNRELATED);
}

}  // namespace
}  // namespace tav
