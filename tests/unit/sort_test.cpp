// The record sorter on raw records, and sorting blocks and strings with a user function.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "block_fixture.h"
#include "datatypes/block_actions.h"
#include "eval_helpers.h"
#include "scanner/lexer.h"
#include "core/sort.h"
#include "test_runtime.h"

namespace tav {
namespace {

// ---- Raw records -------------------------------------------------------------------------

// A record: a key the sort looks at and the position it started from.
struct Rec {
  int32_t key;
  int32_t origin;
};

struct Counter {
  int calls = 0;
  int raise_at = -1;   // the call that raises, -1: none
};

int32_t by_key(const uint8_t* a, const uint8_t* b, int, uint32_t, void* context) {
  auto* counter = static_cast<Counter*>(context);
  if (counter && ++counter->calls == counter->raise_at) error::raise(ERR_SCRIPT, "invalid-arg");
  Rec x, y;
  std::memcpy(&x, a, sizeof x);
  std::memcpy(&y, b, sizeof y);
  return x.key < y.key ? -1 : (x.key > y.key ? 1 : 0);
}

std::vector<Rec> records_of(const std::vector<int32_t>& keys) {
  std::vector<Rec> out;
  for (size_t i = 0; i < keys.size(); i++) out.push_back({keys[i], static_cast<int32_t>(i)});
  return out;
}

void sort_records(std::vector<Rec>& v, Counter* counter = nullptr) {
  sort::merge_sort(reinterpret_cast<uint8_t*>(v.data()), static_cast<uint32_t>(v.size()),
                   sizeof(Rec), 0, 0, by_key, counter);
}

// Sorted by key, and equal keys in the order they started in.
::testing::AssertionResult sorted_and_stable(const std::vector<Rec>& v) {
  for (size_t i = 1; i < v.size(); i++) {
    if (v[i - 1].key > v[i].key) return ::testing::AssertionFailure() << "unsorted at " << i;
    if (v[i - 1].key == v[i].key && v[i - 1].origin > v[i].origin)
      return ::testing::AssertionFailure() << "unstable at " << i;
  }
  return ::testing::AssertionSuccess();
}

std::vector<int32_t> shape(const std::string& kind, int n) {
  std::vector<int32_t> keys(static_cast<size_t>(n));
  std::mt19937 rng(static_cast<uint32_t>(n) * 7919u);
  for (int i = 0; i < n; i++) {
    if (kind == "random") keys[size_t(i)] = static_cast<int32_t>(rng() % 50);
    else if (kind == "ascending") keys[size_t(i)] = i;
    else if (kind == "descending") keys[size_t(i)] = n - i;
    else if (kind == "descending-with-ties") keys[size_t(i)] = (n - i) / 3;
    else if (kind == "equal") keys[size_t(i)] = 7;
    else if (kind == "sawtooth") keys[size_t(i)] = i % 37;
    else if (kind == "runs") keys[size_t(i)] = (i / 60) % 2 ? n - i : i;
  }
  return keys;
}

TEST(RecordSort, SortsStablyWhateverTheShapeOfTheInput) {
  for (const char* kind : {"random", "ascending", "descending", "descending-with-ties", "equal",
                           "sawtooth", "runs"})
    for (int n : {0, 1, 2, 3, 23, 24, 25, 49, 100, 1000, 5000}) {
      std::vector<Rec> v = records_of(shape(kind, n));
      sort_records(v);
      EXPECT_TRUE(sorted_and_stable(v)) << kind << " " << n;
    }
}

TEST(RecordSort, AStrictlyDescendingInputIsReversedInOnePass) {
  std::vector<Rec> v = records_of(shape("descending", 1000));
  Counter counter;
  sort_records(v, &counter);
  EXPECT_TRUE(sorted_and_stable(v));
  EXPECT_EQ(counter.calls, 999);
}

TEST(RecordSort, ADescendingRunNeverTakesInEqualNeighbours) {
  // 5 4 4 3: the run is 5 4 only, so the two 4s keep their order.
  std::vector<Rec> v = records_of({5, 4, 4, 3});
  uint32_t end = sort::find_run(reinterpret_cast<uint8_t*>(v.data()), 0, 4, sizeof(Rec), 0, 0,
                                by_key, nullptr);
  EXPECT_EQ(end, 2u);
  EXPECT_EQ(v[0].key, 4);
  EXPECT_EQ(v[0].origin, 1);
  EXPECT_EQ(v[1].key, 5);
}

TEST(RecordSort, RecordsOfThreeBytesAreSwappedWhole) {
  std::vector<uint8_t> data;
  std::mt19937 rng(3);
  for (int i = 0; i < 300; i++) {
    data.push_back(static_cast<uint8_t>(rng() % 10));   // key
    data.push_back(static_cast<uint8_t>(i));             // origin, low byte
    data.push_back(static_cast<uint8_t>(i >> 8));        // origin, high byte
  }
  sort::merge_sort(data.data(), 300, 3, 0, 0,
                   [](const uint8_t* a, const uint8_t* b, int, uint32_t, void*) -> int32_t {
                     return int32_t(a[0]) - int32_t(b[0]);
                   });
  for (size_t r = 1; r < 300; r++) {
    const uint8_t* p = &data[(r - 1) * 3];
    const uint8_t* q = &data[r * 3];
    ASSERT_LE(p[0], q[0]);
    if (p[0] == q[0]) {
      ASSERT_LT(p[1] | p[2] << 8, q[1] | q[2] << 8);
    }
  }
}

TEST(RecordSort, SwapGoesByteByByteWhenTheWidthIsNotAMultipleOfFour) {
  uint8_t a[5] = {1, 2, 3, 4, 5}, b[5] = {6, 7, 8, 9, 10};
  sort::swap_records(a, b, 5);
  EXPECT_EQ(std::vector<uint8_t>(a, a + 5), (std::vector<uint8_t>{6, 7, 8, 9, 10}));
  EXPECT_EQ(std::vector<uint8_t>(b, b + 5), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST(RecordSort, ATempAreaBeyondThirtyTwoBitsRaisesTooLong) {
  testing::ensure_runtime();
  uint8_t unused[16] = {};
  std::string id;
  stack::State s = stack::save();
  stack::mark_try(nullptr);
  try {
    sort::merge_sort(unused, 0x80000000u, 4, 0, 0, by_key, nullptr);
  } catch (const Unwind&) {
    id = error::id_name(stack::top - 1);
  }
  stack::restore(s);
  EXPECT_EQ(id, "too-long");
}

TEST(RecordSort, ACompareThatRaisesAtAnyCallLeavesAPermutation) {
  testing::ensure_runtime();
  std::vector<int32_t> keys = shape("random", 300);
  Counter probe;
  std::vector<Rec> whole = records_of(keys);
  sort_records(whole, &probe);
  // Every call up to the last one, so that insertion, run reversal and both merge
  // directions are cut short somewhere.
  for (int at = 1; at <= probe.calls; at += 7) {
    std::vector<Rec> v = records_of(keys);
    Counter counter;
    counter.raise_at = at;
    bool raised = testing::raises([&] { sort_records(v, &counter); });
    ASSERT_TRUE(raised) << at;
    std::vector<int32_t> origins;
    for (const Rec& r : v) origins.push_back(r.origin);
    std::sort(origins.begin(), origins.end());
    for (size_t i = 0; i < origins.size(); i++) ASSERT_EQ(origins[i], int32_t(i)) << "call " << at;
    for (const Rec& r : v) ASSERT_EQ(r.key, keys[size_t(r.origin)]) << "call " << at;
  }
}

// ---- User functions ----------------------------------------------------------------------

class SortFunction : public testing::BlockFixture {
 protected:
  void SetUp() override {
    BlockFixture::SetUp();
    evaltest::install();
  }

  Cell* load(const std::string& text) {
    Cell* out = stack::new_cell();
    lexer::transcode(text, out);
    return out;
  }
  // The value of the last expression of a text, kept on the argument stack.
  Cell* value_of(const std::string& text) {
    evaltest::Outcome o = evaltest::run(*load(text));
    EXPECT_FALSE(o.error) << o.text;
    return stack::push(&o.value);
  }
  Cell* sort_with(Cell* series, Cell* fn, int skip = 0, bool all = false, bool reverse = false) {
    std::vector<Cell> args{*series};
    std::vector<int32_t> refs(7, -1);
    if (skip) {
      refs[1] = static_cast<int32_t>(args.size());
      args.push_back(integer(skip));
    }
    refs[2] = static_cast<int32_t>(args.size());
    args.push_back(*fn);
    if (all) refs[4] = 0;
    if (reverse) refs[5] = 0;
    return call(ACT_SORT, args, refs);
  }
};

TEST_F(SortFunction, TheFunctionHearsTheLaterRecordFirst) {
  // An answer of true puts the function's second argument after its first: lesser? sorts
  // in ascending order, greater? in descending order, and /reverse turns both round.
  struct Case {
    const char* fn;
    bool reverse;
    const char* expected;
  } cases[] = {
      {"func [a b] [lesser? a b]", false, "[1 2 3 4 5]"},
      {"func [a b] [greater? a b]", false, "[5 4 3 2 1]"},
      {"func [a b] [lesser? a b]", true, "[5 4 3 2 1]"},
      {"func [a b] [either lesser? a b [1] [either equal? a b [0] [-1]]]", false, "[1 2 3 4 5]"},
      {"func [a b] [either lesser? a b [1.5] [-0.5]]", false, "[1 2 3 4 5]"},
  };
  for (const Case& c : cases) {
    Cell* b = load("3 1 4 5 2");
    Cell* fn = value_of(c.fn);
    sort_with(b, fn, 0, false, c.reverse);
    EXPECT_EQ(mold(b), c.expected) << c.fn;
  }
}

TEST_F(SortFunction, EqualRecordsKeepTheirOrder) {
  Cell* b = load("3 \"a\" 1 \"b\" 3 \"c\" 1 \"d\" 2 \"e\" 1 \"f\"");
  sort_with(b, value_of("func [a b] [lesser? a b]"), 2);
  EXPECT_EQ(mold(b), "[1 \"b\" 1 \"d\" 1 \"f\" 2 \"e\" 3 \"a\" 3 \"c\"]");
}

TEST_F(SortFunction, AllWithSkipPassesWholeRecordsAsBlocks) {
  Cell* b = load("1 9 1 3 0 5");
  // Orders by the second cell of each record.
  Cell* fn = value_of("func [x y] [greater? x/2 y/2]");
  sort_with(b, fn, 2, true);
  EXPECT_EQ(mold(b), "[1 9 0 5 1 3]");
}

TEST_F(SortFunction, ACompareThatRaisesOnItsTenthCallLeavesAPermutation) {
  Cell* b = load("12 7 3 19 1 8 15 4 11 2 20 6 9 14 5 17 10 13 16 18");
  value_of("n: 0");
  Cell* fn = value_of("func [a b] [n: n + 1 if equal? n 10 [no-such-word] greater? a b]");
  EXPECT_EQ(error_id([&] { sort_with(b, fn); }), "no-value");
  std::vector<int32_t> seen;
  for (int32_t i = 0; i < series::buffer_length(b); i++)
    seen.push_back(block::cell_at(b, static_cast<uint32_t>(i))->int_value());
  std::sort(seen.begin(), seen.end());
  ASSERT_EQ(seen.size(), 20u);
  for (int32_t i = 0; i < 20; i++) EXPECT_EQ(seen[size_t(i)], i + 1);
}

TEST_F(SortFunction, ACompareThatAppendsToTheBlockEndsInAnError) {
  Cell* b = load("5 3 1 4 2");
  evaltest::set_global("target", *b);
  Cell* fn = value_of("func [a b] [append target 0 greater? a b]");
  EXPECT_EQ(error_id([&] { sort_with(b, fn); }), "invalid-arg");
  // Nothing of the original went missing.
  std::vector<int32_t> seen;
  for (int32_t i = 0; i < 5; i++) seen.push_back(block::cell_at(b, uint32_t(i))->int_value());
  std::sort(seen.begin(), seen.end());
  EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3, 4, 5}));
}

TEST_F(SortFunction, ArgumentsWrittenAsGetWordsStillGetTheValues) {
  // Words and parens are values here, never evaluated on their way into the function.
  Cell* b = load("c (1) a b");
  Cell* fn = value_of("func [:x :y] [lesser? 1 2]");
  EXPECT_EQ(error_id([&] { sort_with(b, fn); }), "");
  EXPECT_EQ(series::buffer_length(b), 4);
  Cell* words = load("c a b");
  EXPECT_EQ(error_id([&] { sort_with(words, value_of("func [x y] [lesser? 1 2]")); }), "");
  EXPECT_EQ(mold(words), "[b a c]");
}

TEST_F(SortFunction, StringsSortWithAFunctionOnCharacters) {
  Cell* s = string_value("dbca");
  sort_with(s, value_of("func [a b] [lesser? a b]"));
  EXPECT_EQ(text_of(s), "abcd");
  Cell* r = string_value("dbca");
  sort_with(r, value_of("func [a b] [lesser? a b]"), 0, false, true);
  EXPECT_EQ(text_of(r), "dcba");
  Cell* pairs = string_value("b2a9c1");
  // Whole records as strings, ordered by their second character.
  sort_with(pairs, value_of("func [x y] [lesser? x/2 y/2]"), 2, true);
  EXPECT_EQ(text_of(pairs), "c1b2a9");
}

}  // namespace
}  // namespace tav
