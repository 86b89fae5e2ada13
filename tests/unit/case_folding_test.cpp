#include "core/case_folding.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/unicode.h"

namespace tav::casefold {
namespace {

class CaseFolding : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { init(); }
};

void expect_sorted_pairs(std::span<const uint32_t> pairs, const char* name) {
  ASSERT_EQ(pairs.size() % 2, 0u) << name;
  for (size_t i = 2; i < pairs.size(); i += 2)
    ASSERT_LT(pairs[i - 2], pairs[i]) << name << " at pair " << i / 2;
}

TEST_F(CaseFolding, TablesHoldTheUnicode11PairsInOrder) {
  struct Table {
    const char* name;
    std::span<const uint32_t> pairs;
    size_t count;
    uint32_t first[2];
    uint32_t last[2];
  } tables[] = {
      {"upper bmp", upper_bmp_pairs(), 1250, {0x61, 0x41}, {0xFF5A, 0xFF3A}},
      {"lower bmp", lower_bmp_pairs(), 1158, {0x41, 0x61}, {0xFF3A, 0xFF5A}},
      {"upper astral", upper_astral_pairs(), 225, {0x10428, 0x10400}, {0x1E943, 0x1E921}},
      {"lower astral", lower_astral_pairs(), 225, {0x10400, 0x10428}, {0x1E921, 0x1E943}},
  };
  for (const Table& t : tables) {
    EXPECT_EQ(t.pairs.size() / 2, t.count) << t.name;
    expect_sorted_pairs(t.pairs, t.name);
    ASSERT_GE(t.pairs.size(), 4u);
    EXPECT_EQ(t.pairs[0], t.first[0]) << t.name;
    EXPECT_EQ(t.pairs[1], t.first[1]) << t.name;
    EXPECT_EQ(t.pairs[t.pairs.size() - 2], t.last[0]) << t.name;
    EXPECT_EQ(t.pairs[t.pairs.size() - 1], t.last[1]) << t.name;
  }
}

// Text hashing folds ASCII inline, trusting that upper case moves only a-z there.
TEST_F(CaseFolding, AsciiUpperMovesOnlyTheSmallLetters) {
  for (uint32_t c = 0; c < 0x80; c++)
    EXPECT_EQ(map_char(c, true), c >= 'a' && c <= 'z' ? c - 32 : c) << c;
}

TEST_F(CaseFolding, MapChar) {
  struct Case {
    uint32_t cp;
    bool upper;
    uint32_t want;
  } cases[] = {
      {'a', true, 'A'},       {'A', true, 'A'},       {'A', false, 'a'},
      {'1', true, '1'},       {0x00DF, true, 0x0053},  // sharp s: first of "SS"
      {0x0131, true, 0x0049}, {0x0130, false, 0x0069}, {0x0149, true, 0x02BC},
      {0x01F0, true, 0x004A}, {0x0390, true, 0x0399},  {0x0587, true, 0x0535},
      {0x1F80, true, 0x1F08},  // full mapping wins over the simple titlecase-like one
      {0x00FF, true, 0x0178}, {0x00B5, true, 0x039C},  {0x10D0, true, 0x1C90},
      {0x0282, true, 0x0282},  // its capital arrived after Unicode 11
      {0x1E922, true, 0x1E900}, {0x1E943, true, 0x1E921}, {0x1E900, false, 0x1E922},
      {0x10428, true, 0x10400}, {0x10427, true, 0x10427}, {0x1E944, true, 0x1E944},
      {0x10FFFF, true, 0x10FFFF}, {0x0, true, 0x0},  {0xFFFF, false, 0xFFFF},
  };
  for (const Case& c : cases)
    EXPECT_EQ(map_char(c.cp, c.upper), c.want) << std::hex << c.cp << (c.upper ? " up" : " down");
  EXPECT_EQ(to_upper(0xE9), 0xC9u);
  EXPECT_EQ(swap_case('a'), static_cast<uint32_t>('A'));
  EXPECT_EQ(swap_case('A'), static_cast<uint32_t>('a'));
  EXPECT_EQ(swap_case('-'), static_cast<uint32_t>('-'));
}

TEST_F(CaseFolding, EveryPairOfTheTablesIsWhatMapCharAnswers) {
  for (bool upper : {true, false}) {
    for (auto pairs : {upper ? upper_bmp_pairs() : lower_bmp_pairs(),
                       upper ? upper_astral_pairs() : lower_astral_pairs()})
      for (size_t i = 0; i < pairs.size(); i += 2)
        ASSERT_EQ(map_char(pairs[i], upper), pairs[i + 1]) << std::hex << pairs[i];
  }
}

TEST_F(CaseFolding, ChangingCaseWidensLatin1WhenNeeded) {
  // "aÿµ" in 1-byte units: upper-casing needs 2-byte units (U+0178, U+039C).
  std::vector<uint8_t> buf(3 * 2);
  buf[0] = 'a';
  buf[1] = 0xFF;
  buf[2] = 0xB5;
  unsigned unit = change_case_unit(buf.data(), 3, 1, true);
  ASSERT_EQ(unit, 2u);
  unicode::widen_units(buf.data(), 3, 1, unit);
  change_case_units(buf.data(), 3, unit, true);
  EXPECT_EQ(unicode::read_unit(buf.data(), 0, 2), static_cast<uint32_t>('A'));
  EXPECT_EQ(unicode::read_unit(buf.data(), 1, 2), 0x178u);
  EXPECT_EQ(unicode::read_unit(buf.data(), 2, 2), 0x39Cu);

  // Lower-casing Latin-1 stays in 1-byte units; a range changes only itself.
  uint8_t text[] = {'A', 0xC9, 'B', 'C'};
  ASSERT_EQ(change_case_unit(text, 2, 1, false), 1u);
  change_case_units(text, 2, 1, false);
  EXPECT_EQ(text[0], 'a');
  EXPECT_EQ(text[1], 0xE9);
  EXPECT_EQ(text[2], 'B');
}

TEST_F(CaseFolding, PartCountsStayInsideTheText) {
  EXPECT_EQ(part_count(10, 3), 3u);
  EXPECT_EQ(part_count(2, 3), 2u);
  EXPECT_EQ(part_count(-1, 3), 0u);
  EXPECT_EQ(part_count(0, 3), 0u);
}

}  // namespace
}  // namespace tav::casefold

namespace tav::unicode {
namespace {

TEST(CharWidth, Columns) {
  struct Case {
    uint32_t cp;
    int width;
    int cjk;
  } cases[] = {
      {0x0, 0, 0},      {0x1F, 1, 1},     {0x7F, 1, 1},      {0x9F, 1, 1},
      {'A', 1, 1},      {0xAD, 1, 2},     {0xA1, 1, 2},      {0x300, 0, 0},
      {0x36F, 0, 0},    {0x370, 1, 1},    {0x200B, 0, 0},    {0x1100, 2, 2},
      {0x115F, 2, 2},   {0x4E00, 2, 2},   {0xFF21, 2, 2},    {0x1F600, 2, 2},
      {0x30000, 2, 2},  {0x3FFFD, 2, 2},  {0xE0100, 0, 0},   {0xE01EF, 0, 0},
      {0x100000, 1, 2}, {0x10FFFD, 1, 2}, {0x10FFFF, 1, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(char_width(c.cp), c.width) << std::hex << c.cp;
    EXPECT_EQ(char_width_cjk(c.cp), c.cjk) << std::hex << c.cp;
  }
}

TEST(CharWidth, RangeTablesAreSortedAndDisjoint) {
  for (auto ranges : {zero_width_ranges(), wide_ranges(), ambiguous_ranges()}) {
    ASSERT_EQ(ranges.size() % 2, 0u);
    for (size_t i = 0; i < ranges.size(); i += 2) {
      ASSERT_LE(ranges[i], ranges[i + 1]);
      if (i > 0) {
        ASSERT_GT(ranges[i], ranges[i - 1] + 1) << "ranges touch at " << i / 2;
      }
    }
  }
  EXPECT_EQ(zero_width_ranges()[0], 0x300u);
  EXPECT_EQ(zero_width_ranges()[1], 0x36Fu);
  EXPECT_EQ(wide_ranges()[0], 0x1100u);
  EXPECT_EQ(wide_ranges()[1], 0x115Fu);
  EXPECT_EQ(ambiguous_ranges().back(), 0x10FFFDu);
}

TEST(CharWidth, InRanges) {
  const uint32_t ranges[] = {10, 20, 30, 30, 40, 50};
  struct Case {
    uint32_t cp;
    bool in;
  } cases[] = {{9, false},  {10, true},  {20, true},  {21, false}, {30, true},
               {31, false}, {45, true},  {50, true},  {51, false}, {0, false}};
  for (const Case& c : cases) EXPECT_EQ(in_ranges(c.cp, ranges), c.in) << c.cp;
  EXPECT_FALSE(in_ranges(5, std::span<const uint32_t>()));
}

}  // namespace
}  // namespace tav::unicode
