#include "datatypes/string_scan.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/case_folding.h"

namespace tav::string {
namespace {

class StringScan : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { casefold::init(); }
};

// The folded classes must be exactly the bytes whose fold equals the character's, for
// every byte and for characters beyond the bytes (the Kelvin sign, the long s, Ÿ).
TEST_F(StringScan, BytesEqualToAgreeWithFoldingEachByte) {
  std::vector<uint32_t> chars;
  for (uint32_t c = 0; c < 256; c++) chars.push_back(c);
  for (uint32_t c : {0x212Au, 0x017Fu, 0x0178u, 0x039Cu, 0x0130u, 0x0131u, 0x1E9Eu})
    chars.push_back(c);
  for (Fold fold : {Fold::none, Fold::upper, Fold::lower}) {
    for (uint32_t c : chars) {
      ByteSet set = bytes_equal_to(c, fold);
      for (uint32_t b = 0; b < 256; b++) {
        bool same = fold == Fold::none
                        ? b == c
                        : casefold::map_char(b, fold == Fold::upper) ==
                              casefold::map_char(c, fold == Fold::upper);
        ASSERT_EQ(set.has(b), same) << "fold " << int(fold) << " char " << c << " byte " << b;
      }
    }
  }
  EXPECT_EQ(bytes_equal_to('a', Fold::upper).count(), 2);
  EXPECT_EQ(bytes_equal_to(',', Fold::lower).count(), 1);
}

// next_byte_in answers the first member at or after lo and before hi, for sets taking each
// road (none, one byte by memchr, two by sixteen-byte blocks, more by the table), with
// members at every offset around the block boundaries.
TEST_F(StringScan, NextByteInFindsTheFirstMemberInRange) {
  std::vector<uint8_t> bytes(300);
  uint32_t x = 7;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>((x >> 16) % 40 + 60);   // '<' .. 'c'
  }
  std::vector<ByteSet> sets(4);
  sets[1].add('a');
  sets[2].add('a');
  sets[2].add('B');
  for (uint32_t b : {uint32_t('a'), uint32_t('B'), uint32_t('c'), uint32_t('<'), 0xFFu}) sets[3].add(b);
  for (const ByteSet& set : sets) {
    for (int64_t lo = 0; lo < 40; lo++) {
      for (int64_t hi : {lo, lo + 1, lo + 15, lo + 16, lo + 17, lo + 33, int64_t(bytes.size())}) {
        if (hi > int64_t(bytes.size())) continue;
        int64_t want = -1;
        for (int64_t p = lo; p < hi; p++)
          if (set.has(bytes[size_t(p)])) {
            want = p;
            break;
          }
        ASSERT_EQ(next_byte_in(bytes.data(), lo, hi, set), want)
            << "members " << set.count() << " range " << lo << ".." << hi;
      }
    }
  }
}

TEST_F(StringScan, ScanBytesSkipsCandidatesTheRuleRefuses) {
  const uint8_t text[] = "abacabad";
  ByteSet a;
  a.add('a');
  auto before_d = [&](int64_t p) { return text[p + 1] == 'd'; };
  EXPECT_EQ(scan_bytes(text, 0, 7, a, before_d), 6);
  EXPECT_EQ(scan_bytes(text, 0, 6, a, before_d), -1);
}

}  // namespace
}  // namespace tav::string
