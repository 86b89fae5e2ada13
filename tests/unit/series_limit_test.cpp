// The largest series length: every way a series grows refuses to pass it, up front, with
// internal no-memory, and leaves the series as it was. The limit is lowered to 2^20 units
// here so that the edge is reached with megabyte values instead of 2 GiB ones; the checks
// are the same ones that guard the real limit.
#include <string>
#include <vector>

#include "core/memory.h"
#include "text_eval_fixture.h"

namespace tav {
namespace {

using texteval::eval_mold;

constexpr uint32_t LIMIT = 1u << 20;

class SeriesLimit : public texteval::TextEval {
 protected:
  void SetUp() override {
    texteval::TextEval::SetUp();
    saved_ = series::set_length_limit(LIMIT);
  }
  void TearDown() override { series::set_length_limit(saved_); }
  uint32_t saved_ = 0;
};

struct Case {
  const char* code;
  const char* expected;
};

// A wrong result may be a megabyte long: the report shows its start.
void check_all(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    std::string got = eval_mold(c.code);
    if (got.size() > 80) got = got.substr(0, 80) + "...";
    EXPECT_EQ(got, c.expected) << c.code;
  }
}

TEST_F(SeriesLimit, TextStopsAtTheLimit) {
  check_all({
      // Exactly the limit fits, one more does not.
      {"s: insert/dup make string! 0 \"x\" 1048576 length? head s", "1048576"},
      {"s: \"abcd\" insert/dup s \"x\" 1048573", "error: internal/no-memory"},
      {"s: \"abcd\" attempt [insert/dup next s \"x\" 1048573] s", "\"abcd\""},
      {"s: \"ab\" attempt [append/dup s \"xy\" 524288] s", "\"ab\""},
      {"s: \"ab\" append/dup s \"xy\" 524287 length? s", "1048576"},
      {"s: \"ab\" attempt [change/dup s \"xyz\" 349526] s", "\"ab\""},
      {"s: \"abcdef\" change/dup next s \"xyz\" 349525 length? head s", "1048576"},
      // A wide character widens the text first; the limit counts characters, not bytes.
      {"s: \"\u20ac\" append/dup s \"x\" 1048575 length? s", "1048576"},
      {"s: \"\u20ac\" attempt [append/dup s \"x\" 1048576] length? s", "1"},
      // One character at a time up to the limit, then one more.
      {"s: append/dup make string! 0 \"x\" 1048576 attempt [append s #\"y\"] length? s",
       "1048576"},
      {"s: append/dup make string! 0 \"x\" 1048576 append s \"y\"", "error: internal/no-memory"},
      {"s: append/dup make string! 0 \"x\" 1048576 insert s #\"\u20ac\"",
       "error: internal/no-memory"},
      {"s: append/dup make string! 0 \"x\" 1048576 index? tail s", "1048577"},
      {"s: append/dup make string! 0 \"x\" 1048576 uppercase s copy/part s 3", "\"XXX\""},
      // Texts made whole: make, join, form and mold of values that add up past the limit.
      {"make string! 1048577", "error: internal/no-memory"},
      {"s: append/dup make string! 0 \"x\" 524289 rejoin [s s]", "error: internal/no-memory"},
      {"s: append/dup make string! 0 \"x\" 524288 form reduce [s s]",
       "error: internal/no-memory"},
      // Each caret molds as two.
      {"s: append/dup make string! 0 \"^^\" 600000 mold s", "error: internal/no-memory"},
      {"s: append/dup make string! 0 \"^^\" 500000 length? mold s", "1000002"},
  });
}

TEST_F(SeriesLimit, BinaryAndBlockStopAtTheLimit) {
  check_all({
      {"b: insert/dup make binary! 0 #{AB} 1048576 length? head b", "1048576"},
      {"b: #{0102} attempt [insert/dup b #{03} 1048575] b", "#{0102}"},
      {"b: #{0102} insert/dup b #{03} 1048575", "error: internal/no-memory"},
      {"b: #{0102} attempt [append/dup b #{0304} 524288] b", "#{0102}"},
      {"b: #{0102} attempt [change/dup next b #{030405} 349526] b", "#{0102}"},
      {"b: append/dup make binary! 0 #{00} 1048576 append b 1", "error: internal/no-memory"},
      {"make binary! 1048577", "error: internal/no-memory"},
      {"k: insert/dup make block! 0 1 1048576 length? head k", "1048576"},
      {"k: [a b] attempt [insert/dup k 'c 1048575] k", "[a b]"},
      {"k: [a b] insert/dup k 'c 1048575", "error: internal/no-memory"},
      {"k: [a b] attempt [append/dup k [c d] 524288] k", "[a b]"},
      {"k: [a b] attempt [change/dup k [c d e] 349526] k", "[a b]"},
      {"k: append/dup make block! 0 0 1048576 append k 1", "error: internal/no-memory"},
      {"k: append/dup make block! 0 0 1048576 insert k 1", "error: internal/no-memory"},
      {"make block! 1048577", "error: internal/no-memory"},
  });
}

TEST(SeriesLimitBytes, NoBufferHoldsMoreUnitsThanTheLimit) {
  // The largest data area of each unit stays within the limit in whole 16-byte granules, so
  // a write that bypasses the growth checks still cannot push a length past it.
  uint32_t saved = series::set_length_limit(1000);
  for (uint32_t unit : {1u, 2u, 4u, 8u, 16u}) {
    EXPECT_LE(series::max_bytes(unit) / unit, 1000u) << unit;
    EXPECT_GT(series::max_bytes(unit) / unit + 16 / unit, 1000u - 16u) << unit;
  }
  series::set_length_limit(saved);
  EXPECT_EQ(series::max_bytes(1), (uint64_t(MAX_SERIES_LENGTH) & ~uint64_t(15)));
  EXPECT_LE(series::max_bytes(16), MAX_BUFFER_BYTES);
}

}  // namespace
}  // namespace tav
