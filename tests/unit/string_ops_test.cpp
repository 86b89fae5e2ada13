// string! actions through the action dispatchers: comparison, search, sorting, the set
// operations, construction, modification and trimming, each run over 1-, 2- and 4-byte
// storage so that no answer depends on how wide a buffer is.
#include <cstring>
#include <string>
#include <vector>

#include "block_fixture.h"
#include "datatypes/string_ops.h"
#include "test_runtime.h"
#include "core/string_buffer.h"

namespace tav {
namespace {

constexpr uint32_t UNITS[] = {1, 2, 4};

class StringOps : public testing::BlockFixture {
 protected:
  // A string! rooted on the argument stack, stored with the given unit.
  Cell s(const std::string& utf8, uint32_t unit = 1, int32_t index = 0) {
    Cell* c = string::push_utf8(utf8.data(), utf8.size());
    string::widen(c->node(), unit);
    c->data1 = static_cast<uint32_t>(index);
    return *c;
  }
  static Cell ch(uint32_t cp) {
    Cell c;
    set_char(&c, cp);
    return c;
  }
  static Cell none() { return make_cell(TYPE_NONE); }
  static std::string text(const Cell& c) { return string::to_std_string(&c); }
  static std::string whole(Cell c) {
    c.data1 = 0;
    return string::to_std_string(&c);
  }
  static uint32_t unit(const Cell& c) { return string::unit_of(c.node()); }
  // A binary! of the bytes, rooted on the argument stack.
  static Cell binary(const std::string& bytes) {
    NodeId n = alloc::new_bytes(static_cast<uint32_t>(bytes.size() + 1));
    SeriesBuffer* b = node_buffer(n);
    std::memcpy(b->head_ptr(), bytes.data(), bytes.size());
    b->tail = b->head + static_cast<uint32_t>(bytes.size());
    Cell c = make_cell(TYPE_BINARY, 0, n, 0);
    return *stack::push(&c);
  }

  // Refinement positions: name -> position of its first argument (or any position for a
  // flag); built by the tests as vectors of (index, position) pairs.
  static std::vector<int32_t> refs(std::initializer_list<std::pair<int, int>> given) {
    std::vector<int32_t> r(16, -1);
    for (auto [i, pos] : given) r[size_t(i)] = pos;
    return r;
  }
};

// ---- Comparison --------------------------------------------------------------------------

TEST_F(StringOps, CompareFoldsCaseAndIgnoresStorageWidth) {
  struct Case {
    const char* a;
    const char* b;
    int op;
    bool expected;
  };
  const Case cases[] = {
      {"abc", "ABC", COMP_EQUAL, true},
      {"abc", "ABC", COMP_STRICT_EQUAL, false},
      {"abc", "ABC", COMP_NOT_EQUAL, false},
      {"abc", "ABD", COMP_LESSER, true},
      {"ab", "abc", COMP_EQUAL, false},
      {"ab", "abc", COMP_LESSER, true},
      {"abc", "ab", COMP_GREATER, true},
      {"", "", COMP_EQUAL, true},
      {"", "a", COMP_LESSER, true},
      {"a", "", COMP_GREATER, true},
      {"é", "É", COMP_EQUAL, true},
      {"é", "É", COMP_STRICT_EQUAL, false},
      {"b", "é", COMP_LESSER, true},
      {"Straße", "STRASSE", COMP_EQUAL, false},
      {"x\xF0\x9F\x98\x80", "X\xF0\x9F\x98\x80", COMP_EQUAL, true},
      {"x\xF0\x9F\x98\x80", "x\xF0\x9F\x98\x81", COMP_LESSER, true},
  };
  for (const Case& c : cases)
    for (uint32_t ua : UNITS)
      for (uint32_t ub : UNITS) {
        Cell a = s(c.a, ua), b = s(c.b, ub);
        EXPECT_EQ(actions::compare(&a, &b, c.op), c.expected)
            << c.a << " op " << c.op << " " << c.b << " units " << ua << "/" << ub;
      }
}

TEST_F(StringOps, CompareAcrossStringKinds) {
  Cell a = s("a/b"), f = s("A/B");
  f.set_type(TYPE_FILE);
  EXPECT_TRUE(actions::compare(&a, &f, COMP_EQUAL));
  EXPECT_FALSE(actions::compare(&a, &f, COMP_NOT_EQUAL));
  EXPECT_EQ(testing::error_id([&] { actions::compare(&a, &f, COMP_LESSER); }), "invalid-compare");
  Cell one = integer(1);
  EXPECT_FALSE(actions::compare(&a, &one, COMP_EQUAL));
  // same? is about the place, not the text.
  Cell b = s("a/b");
  EXPECT_FALSE(actions::compare(&a, &b, COMP_SAME));
  Cell a2 = a;
  EXPECT_TRUE(actions::compare(&a, &a2, COMP_SAME));
}

TEST_F(StringOps, MatchComparesAPrefix) {
  Cell abc = s("abc"), ab = s("AB"), abd = s("abd"), empty = s("");
  EXPECT_EQ(string::compare_text(&abc, &ab, COMP_EQUAL, true), 0);
  EXPECT_NE(string::compare_text(&abc, &ab, COMP_STRICT_EQUAL, true), 0);
  EXPECT_NE(string::compare_text(&abc, &abd, COMP_EQUAL, true), 0);
  EXPECT_NE(string::compare_text(&ab, &abc, COMP_EQUAL, true), 0);
  EXPECT_EQ(string::compare_text(&abc, &empty, COMP_EQUAL, true), 0);
  EXPECT_EQ(string::compare_text(&abc, &empty, COMP_FIND_EQUAL, true), 1);
}

// ---- Find and select -------------------------------------------------------------------------

// Refinement indexes of find: part 0, case 2, skip 6, last 7, reverse 8, tail 9, match 10.
TEST_F(StringOps, FindTable) {
  struct Case {
    const char* hay;
    int index;
    const char* needle;   // a one-character needle is also tried as a char!
    std::initializer_list<std::pair<int, int>> flags;   // refinement index -> argument position
    int arg;            // the refinement argument (part or skip) when one is given
    int expected;       // index of the result; -1 for none
  };
  const Case cases[] = {
      {"abcabc", 0, "bc", {}, 0, 1},
      {"abcabc", 2, "bc", {}, 0, 4},
      {"abcabc", 0, "BC", {}, 0, 1},
      {"abcabc", 0, "BC", {{2, 2}}, 0, -1},
      {"abc", 0, "", {}, 0, -1},
      {"abc", 0, "abcd", {}, 0, -1},
      {"abc", 3, "c", {}, 0, -1},
      {"abc", 0, "ab", {{10, 2}}, 0, 0},
      {"abc", 0, "bc", {{10, 2}}, 0, -1},
      {"abc", 0, "ab", {{10, 2}, {9, 2}}, 0, 2},
      {"abc", 0, "b", {{9, 2}}, 0, 2},
      {"abcabc", 0, "bc", {{7, 2}}, 0, 4},
      {"abcabc", 2, "ab", {{7, 2}}, 0, 3},
      {"abcabc", 4, "ab", {{7, 2}}, 0, -1},
      {"abcabc", 0, "a", {{8, 2}}, 0, -1},
      {"abcabc", 6, "ab", {{8, 2}}, 0, 3},
      {"abcabc", 5, "bc", {{8, 2}}, 0, 1},
      {"abcabc", 6, "ab", {{8, 2}, {10, 2}}, 0, -1},
      {"abc", 0, "c", {{0, 2}}, 2, -1},
      {"abc", 0, "b", {{0, 2}}, 2, 1},
      {"abc", 0, "b", {{0, 2}}, 0, -1},
      {"abc", 0, "c", {{0, 2}}, 99, 2},
      {"abcabc", 6, "c", {{8, 2}, {0, 2}}, 2, 5},
      {"abcabc", 6, "a", {{8, 2}, {0, 2}}, 2, -1},
      {"abab", 0, "b", {{6, 2}}, 2, -1},
      {"abab", 1, "b", {{6, 2}}, 2, 1},
      {"xÉyé", 0, "é", {}, 0, 1},
      {"xÉyé", 0, "é", {{2, 2}}, 0, 3},
      {"a\xF0\x9F\x98\x80z", 0, "\xF0\x9F\x98\x80z", {}, 0, 1},
  };
  for (const Case& c : cases)
    for (uint32_t uh : UNITS)
      for (uint32_t un : UNITS) {
        std::vector<int32_t> r = refs(c.flags);
        std::vector<Cell> args{s(c.hay, uh, c.index), s(c.needle, un), integer(c.arg)};
        std::string what = std::string(c.hay) + " / " + c.needle + " units " +
                           std::to_string(uh) + "/" + std::to_string(un);
        Cell* found = call(ACT_FIND, args, r);
        EXPECT_EQ(found->is(TYPE_NONE) ? -1 : series::index_of(found), c.expected) << what;
        Cell needle = s(c.needle);
        if (string::length(&needle) == 1 && un == 1) {
          args[1] = ch(string::char_at(&needle, 0));
          found = call(ACT_FIND, args, r);
          EXPECT_EQ(found->is(TYPE_NONE) ? -1 : series::index_of(found), c.expected)
              << what << " (char!)";
        }
      }
}

TEST_F(StringOps, FindFormsOtherValuesAndChecksItsRefinements) {
  Cell* found = call(ACT_FIND, {s("a1b"), integer(1)});
  EXPECT_EQ(series::index_of(found), 1);
  Cell other = s("abc");
  EXPECT_EQ(testing::error_id([&] { call(ACT_FIND, {s("abc"), s("b"), other}, refs({{0, 2}})); }),
            "invalid-refine-arg");
  EXPECT_EQ(testing::error_id([&] { call(ACT_FIND, {s("abc"), s("b"), integer(0)}, refs({{6, 2}})); }),
            "out-of-range");
  EXPECT_EQ(testing::error_id([&] { call(ACT_FIND, {s("abc"), s("b")}, refs({{4, 2}})); }), "not-done");
  // A position in the same string is a /part count.
  Cell hay = s("abcd");
  Cell end = hay;
  end.data1 = 2;
  EXPECT_TRUE(call(ACT_FIND, {hay, s("c"), end}, refs({{0, 2}}))->is(TYPE_NONE));
  EXPECT_EQ(series::index_of(call(ACT_FIND, {hay, s("b"), end}, refs({{0, 2}}))), 1);
}

TEST_F(StringOps, SelectAnswersTheCharacterAfterTheMatch) {
  for (uint32_t u : UNITS) {
    Cell* r = call(ACT_SELECT, {s("abcé", u), s("BC")});
    ASSERT_TRUE(r->is(TYPE_CHAR));
    EXPECT_EQ(r->data2, 0xE9u);
    EXPECT_TRUE(call(ACT_SELECT, {s("abc", u), s("c")})->is(TYPE_NONE));
    EXPECT_TRUE(call(ACT_SELECT, {s("abc", u), s("x")})->is(TYPE_NONE));
    EXPECT_EQ(call(ACT_SELECT, {s("abcabd", u), s("ab")}, refs({{7, 2}}))->data2, uint32_t('d'));
  }
}

TEST_F(StringOps, PathsReadAndWriteCharacters) {
  Cell str = s("abcde");
  Cell two = integer(2);
  Cell* r = string::eval_path(&str, &two, nullptr, nullptr, nullptr, nullptr, 0, false, true,
                              false, false);
  EXPECT_EQ(r->data2, uint32_t('b'));
  Cell key = s("bc"), x = ch('X');
  r = string::eval_path(&str, &key, nullptr, nullptr, nullptr, nullptr, 0, false, true, false,
                        false);
  EXPECT_EQ(r->data2, uint32_t('d'));
  // Writing through a key changes the character a read of the same path answers.
  string::eval_path(&str, &key, &x, nullptr, nullptr, nullptr, 0, false, false, false, false);
  EXPECT_EQ(text(str), "abcXe");
  Cell missing = s("zz");
  EXPECT_EQ(testing::error_id([&] {
              string::eval_path(&str, &missing, &x, nullptr, nullptr, nullptr, 0, false, false,
                                false, false);
            }),
            "bad-path-set");
  string::eval_path(&str, &two, &x, nullptr, nullptr, nullptr, 0, false, false, false, false);
  EXPECT_EQ(text(str), "aXcXe");
}

// ---- Sort -----------------------------------------------------------------------------------

// Refinement indexes of sort: case 0, skip 1, compare 2, part 3, all 4, reverse 5.
TEST_F(StringOps, SortTable) {
  struct Case {
    const char* text;
    std::initializer_list<std::pair<int, int>> flags;
    int skip, compare, part;
    const char* expected;
  };
  const Case cases[] = {
      {"bCa", {}, 0, 0, 0, "abC"},
      {"bCa", {{0, 1}}, 0, 0, 0, "Cab"},
      {"bCa", {{5, 1}}, 0, 0, 0, "Cba"},
      {"bAaB", {}, 0, 0, 0, "AabB"},
      {"b1a2", {{1, 1}}, 2, 0, 0, "a2b1"},
      {"a2b1", {{1, 1}, {2, 2}}, 2, 2, 0, "b1a2"},
      {"a2a1", {{1, 1}, {4, 1}}, 2, 0, 0, "a1a2"},
      {"dcba", {{3, 3}}, 0, 0, 2, "cdba"},
      {"_a", {}, 0, 0, 0, "a_"},
      {"éa", {}, 0, 0, 0, "aé"},
  };
  for (const Case& c : cases)
    for (uint32_t u : UNITS) {
      Cell str = s(c.text, u);
      call(ACT_SORT, {str, integer(c.skip), integer(c.compare), integer(c.part)}, refs(c.flags));
      EXPECT_EQ(whole(str), c.expected) << c.text << " unit " << u;
    }
}

TEST_F(StringOps, SortChecksItsRefinementsFirst) {
  Cell str = s("abcd");
  EXPECT_EQ(testing::error_id([&] { call(ACT_SORT, {str, integer(3)}, refs({{1, 1}})); }),
            "invalid-refine-arg");
  EXPECT_EQ(testing::error_id([&] { call(ACT_SORT, {str}, refs({{4, 1}})); }), "bad-refines");
  EXPECT_EQ(testing::error_id([&] { call(ACT_SORT, {str, integer(2)}, refs({{2, 1}})); }), "bad-refines");
  EXPECT_EQ(testing::error_id([&] { call(ACT_SORT, {str, integer(2), integer(3)}, refs({{1, 1}, {2, 2}})); }),
            "out-of-range");
  EXPECT_EQ(testing::error_id([&] { call(ACT_SORT, {str, s("x")}, refs({{2, 1}})); }), "invalid-refine-arg");
  EXPECT_EQ(whole(str), "abcd");
  // A negative part sorts the characters before the index.
  Cell tail = s("dcba", 1, 3);
  Cell* r = call(ACT_SORT, {tail, integer(-2)}, refs({{3, 1}}));
  EXPECT_EQ(series::index_of(r), 1);
  EXPECT_EQ(whole(tail), "dbca");
}

// ---- Set operations -------------------------------------------------------------------------

TEST_F(StringOps, SetOperationsTable) {
  struct Case {
    int op;
    const char* a;
    const char* b;
    bool case_;
    int skip;
    const char* expected;
  };
  const Case cases[] = {
      {string::SET_UNIQUE, "aAbB", "", false, 0, "ab"},
      {string::SET_UNIQUE, "aAbB", "", true, 0, "aAbB"},
      {string::SET_UNION, "abc", "CdE", false, 0, "abcdE"},
      {string::SET_INTERSECT, "abcé", "BCDÉ", false, 0, "bcé"},
      {string::SET_EXCLUDE, "abcb", "b", false, 0, "ac"},
      {string::SET_DIFFERENCE, "abc", "bcd", false, 0, "ad"},
      {string::SET_UNIQUE, "a1b2a3", "", false, 2, "a1b2"},
  };
  for (const Case& c : cases)
    for (uint32_t u : UNITS) {
      Cell a = s(c.a, u), b = s(c.b, 4 / u);
      Cell skip = integer(c.skip);
      string::do_set_op(&a, &b, c.case_, c.skip ? &skip : nullptr, c.op);
      EXPECT_EQ(text(a), c.expected) << c.op << " " << c.a << " " << c.b << " unit " << u;
      EXPECT_TRUE(a.is(TYPE_STRING));
    }
  Cell a = s("ab"), b = s("b"), bad = integer(0);
  EXPECT_EQ(testing::error_id([&] { string::do_set_op(&a, &b, false, &bad, string::SET_UNIQUE); }),
            "invalid-refine-arg");
}

// ---- make and to ------------------------------------------------------------------------------

TEST_F(StringOps, MakeAndTo) {
  Cell proto;
  set_datatype(&proto, TYPE_STRING);
  Cell* r = call(ACT_MAKE, {proto, integer(0)});
  ASSERT_TRUE(r->is(TYPE_STRING));
  EXPECT_EQ(text(*r), "");
  EXPECT_EQ(testing::error_id([&] { call(ACT_MAKE, {proto, integer(-1)}); }), "out-of-range");
  Cell big;
  set_float(&big, 1e12);
  EXPECT_EQ(testing::error_id([&] { call(ACT_MAKE, {proto, big}); }), "out-of-range");
  EXPECT_EQ(testing::error_id([&] { call(ACT_TO, {proto, none()}); }), "bad-to-arg");

  Cell* b = blk("123 [4 5] 6");
  Cell inner = s("x");
  block::append_cell(b, &inner);
  EXPECT_EQ(text(*call(ACT_TO, {proto, *b})), "1234 56x");
  EXPECT_EQ(text(*call(ACT_MAKE, {proto, integer(42)})), "");
  EXPECT_EQ(text(*call(ACT_TO, {proto, integer(42)})), "42");
  EXPECT_EQ(text(*call(ACT_TO, {proto, s("abcé", 2, 1)})), "bcé");

  // The target kind is set last: a kind that inherits this handler gets its own type.
  Cell text_value = s("a.txt");
  Cell* file = string::to_value(&proto, &text_value, TYPE_FILE);
  EXPECT_TRUE(file->is(TYPE_FILE));
  EXPECT_EQ(whole(*file), "a.txt");
}

TEST_F(StringOps, ToStringDecodesBinaryUtf8) {
  Cell proto;
  set_datatype(&proto, TYPE_STRING);
  Cell ok = binary("a\xE2\x82\xAC");
  EXPECT_EQ(text(*call(ACT_TO, {proto, ok})), "a€");
  Cell cut = binary("\xC3\x41");
  EXPECT_EQ(testing::error_id([&] { call(ACT_TO, {proto, cut}); }), "invalid-utf8");
}

// ---- append, insert, change ------------------------------------------------------------------

// Refinement indexes of append, insert and change: part 0, only 1, dup 2.
TEST_F(StringOps, AppendInsertChangeTable) {
  struct Case {
    ActionId action;
    const char* target;
    int index;
    const char* value;
    int part;   // -1: no /part
    int dup;    // 0: no /dup
    const char* expected;
    int expected_index;
  };
  const Case cases[] = {
      {ACT_APPEND, "a", 0, "xy", -1, 3, "axyxyxy", 0},
      {ACT_APPEND, "a", 1, "xyz", 2, 0, "axy", 0},
      {ACT_APPEND, "a", 1, "", -1, 0, "a", 0},
      {ACT_APPEND, "a", 0, "é", -1, 0, "aé", 0},
      {ACT_INSERT, "bc", 0, "a", -1, 0, "abc", 1},
      {ACT_INSERT, "bc", 2, "d", -1, 0, "bcd", 3},
      {ACT_INSERT, "ad", 1, "bc", -1, 2, "abcbcd", 5},
      {ACT_INSERT, "ad", 1, "\xF0\x9F\x98\x80", -1, 0, "a\xF0\x9F\x98\x80" "d", 2},
      {ACT_CHANGE, "abcd", 0, "XY", -1, 0, "XYcd", 2},
      {ACT_CHANGE, "abcd", 1, "X", 2, 0, "aXd", 2},
      {ACT_CHANGE, "abcd", 1, "XYZW", -1, 0, "aXYZW", 5},
      {ACT_CHANGE, "abcd", 4, "XY", -1, 0, "abcdXY", 6},
      {ACT_CHANGE, "abcd", 0, "X", -1, 3, "XXXd", 3},
      {ACT_CHANGE, "abcd", 0, "€", 4, 0, "€", 1},
  };
  for (const Case& c : cases)
    for (uint32_t ut : UNITS)
      for (uint32_t uv : UNITS) {
        Cell target = s(c.target, ut, c.index);
        std::vector<Cell> args{target, s(c.value, uv), integer(c.part), integer(c.dup)};
        std::vector<int32_t> r(16, -1);
        if (c.part >= 0) r[0] = 2;
        if (c.dup > 0) r[2] = 3;
        Cell* res = call(c.action, args, r);
        std::string what = std::string(c.target) + " + " + c.value + " units " +
                           std::to_string(ut) + "/" + std::to_string(uv);
        EXPECT_EQ(whole(*res), c.expected) << what;
        EXPECT_EQ(series::index_of(res), c.expected_index) << what;
      }
}

TEST_F(StringOps, AppendFormsBlocksWithinThePartBudget) {
  Cell* b = blk("1 23");
  Cell bee = s("b");
  block::append_cell(b, &bee);
  EXPECT_EQ(text(*call(ACT_APPEND, {s(""), *b})), "123b");
  EXPECT_EQ(text(*call(ACT_APPEND, {s(""), *blk("123 456"), integer(4)}, refs({{0, 2}}))),
            "1234");
  Cell tag = s("p");
  tag.set_type(TYPE_TAG);
  EXPECT_EQ(text(*call(ACT_APPEND, {s("x"), tag})), "x<p>");
  EXPECT_EQ(text(*call(ACT_APPEND, {s("x"), tag, integer(2)}, refs({{0, 2}}))), "x<p");
  EXPECT_EQ(text(*call(ACT_APPEND, {s("x"), ch(0x20AC)})), "x€");
  Cell self = s("ab");
  call(ACT_APPEND, {self, self});
  EXPECT_EQ(text(self), "abab");
  call(ACT_APPEND, {self, self, integer(2)}, refs({{2, 2}}));
  EXPECT_EQ(text(self), "abababababab");
  Cell mid = s("abc", 2, 1);
  call(ACT_INSERT, {mid, mid});
  EXPECT_EQ(whole(mid), "abcbc");
  Cell changed = s("abcd", 2, 1);
  Cell from_head = changed;
  from_head.data1 = 0;
  call(ACT_CHANGE, {changed, from_head});
  EXPECT_EQ(whole(changed), "aabcd");
}

TEST_F(StringOps, AHugeDupRaisesBeforeAnythingChanges) {
  Cell str = s("abc", 1, 1);
  EXPECT_EQ(testing::error_id([&] {
              call(ACT_INSERT, {str, s("xyzw"), integer(0x7FFFFFFF)}, refs({{2, 2}}));
            }),
            "no-memory");
  EXPECT_EQ(testing::error_id([&] {
              call(ACT_CHANGE, {str, s("xyzw"), integer(0x40000000)}, refs({{2, 2}}));
            }),
            "no-memory");
  EXPECT_EQ(whole(str), "abc");
}

// ---- swap, take, remove, reverse ---------------------------------------------------------------

TEST_F(StringOps, SwapExchangesTheCharactersAtTheIndexes) {
  for (uint32_t u : UNITS) {
    Cell a = s("ab", u), b = s("cd", 1, 1);
    call(ACT_SWAP, {a, b});
    EXPECT_EQ(text(a), "db");
    EXPECT_EQ(whole(b), "ca");
    Cell wide = s("x"), euro = s("€", u);
    call(ACT_SWAP, {wide, euro});
    EXPECT_EQ(text(wide), "€");
    EXPECT_EQ(text(euro), "x");
  }
  Cell a = s("ab"), empty = s("");
  call(ACT_SWAP, {a, empty});
  EXPECT_EQ(text(a), "ab");
  EXPECT_EQ(testing::error_id([&] { call(ACT_SWAP, {a, integer(1)}); }), "invalid-arg");
  // A byte buffer cannot take a character above 0xFF: neither side changes.
  Cell bin = binary(std::string(1, '\0'));
  Cell euro = s("€");
  EXPECT_EQ(testing::error_id([&] { call(ACT_SWAP, {euro, bin}); }), "invalid-arg");
  EXPECT_EQ(cell_buffer(&bin)->head_ptr()[0], 0);
  EXPECT_EQ(cell_buffer(&bin)->used(), 1u);
  EXPECT_EQ(text(euro), "€");
}

TEST_F(StringOps, TakeRemoveAndReverse) {
  for (uint32_t u : UNITS) {
    Cell str = s("abcdé", u);
    Cell* r = call(ACT_TAKE, {str});
    ASSERT_TRUE(r->is(TYPE_CHAR));
    EXPECT_EQ(r->data2, uint32_t('a'));
    r = call(ACT_TAKE, {str}, refs({{2, 1}}));
    EXPECT_EQ(r->data2, 0xE9u);
    r = call(ACT_TAKE, {str, integer(2)}, refs({{0, 1}}));
    ASSERT_TRUE(r->is(TYPE_STRING));
    EXPECT_EQ(text(*r), "bc");
    EXPECT_EQ(text(str), "d");
    EXPECT_TRUE(call(ACT_TAKE, {s("", u)})->is(TYPE_NONE));

    Cell rem = s("abcdef", u, 1);
    call(ACT_REMOVE, {rem, integer(2)}, refs({{0, 1}}));
    EXPECT_EQ(whole(rem), "adef");
    Cell rev = s("abcdeé", u, 1);
    call(ACT_REVERSE, {rev});
    EXPECT_EQ(whole(rev), "aéedcb");
  }
}

// ---- trim ---------------------------------------------------------------------------------------

// Refinement indexes of trim: head 0, tail 1, auto 2, lines 3, all 4, with 5.
TEST_F(StringOps, TrimTable) {
  struct Case {
    const char* text;
    std::initializer_list<std::pair<int, int>> flags;
    const char* with;
    const char* expected;
  };
  const Case cases[] = {
      {"  a  b  \n", {}, nullptr, "a  b\n"},
      {"  a  b  ", {}, nullptr, "a  b"},
      {" \t a \n  b  \n c", {}, nullptr, "a\nb\nc"},
      {"a \t\nb", {}, nullptr, "a\nb"},
      {"\xE3\x80\x80 a\xC2\xA0", {}, nullptr, "a"},
      {"  a  b  ", {{0, 1}}, nullptr, "a  b  "},
      {"  a  b  ", {{1, 1}}, nullptr, "  a  b"},
      {"  a  b  ", {{0, 1}, {1, 1}}, nullptr, "a  b"},
      {" a \n b ", {{3, 1}}, nullptr, "a b"},
      {"\n\n a\t\tb  c  ", {{3, 1}}, nullptr, "a b c"},
      {" a b\t\n", {{4, 1}}, nullptr, "ab"},
      {"a-b-c", {{5, 1}}, "-", "abc"},
      {"a-b_c", {{5, 1}}, "_-", "abc"},
      {"a-b", {{5, 1}}, "", "a-b"},
      {"aébé", {{5, 1}}, "é", "ab"},
      {"\0a\0", {}, nullptr, ""},
  };
  for (const Case& c : cases)
    for (uint32_t u : UNITS) {
      Cell str = s(c.text, u);
      std::vector<Cell> args{str};
      std::vector<int32_t> r = refs(c.flags);
      if (c.with) {
        args.push_back(s(c.with, 4 / u));
        r[5] = 1;
      }
      call(ACT_TRIM, args, r);
      EXPECT_EQ(whole(str), c.expected) << "[" << c.text << "] unit " << u;
    }
}

TEST_F(StringOps, TrimKeepsTextBeforeTheIndexAndRefusesAuto) {
  Cell str = s("x  a  ", 1, 1);
  Cell* r = call(ACT_TRIM, {str});
  EXPECT_EQ(series::index_of(r), 1);
  EXPECT_EQ(whole(str), "xa");
  Cell with = s("a-b");
  call(ACT_TRIM, {with, ch('-')}, refs({{5, 1}}));
  EXPECT_EQ(text(with), "ab");
  EXPECT_EQ(testing::error_id([&] { call(ACT_TRIM, {s(" a ")}, refs({{2, 1}})); }), "not-done");
}

// ---- uppercase and lowercase ----------------------------------------------------------------------

TEST_F(StringOps, ChangeCase) {
  struct Case {
    const char* text;
    int index;
    int part;   // -1: no /part
    bool upper;
    const char* expected;
  };
  const Case cases[] = {
      {"abc", 0, -1, true, "ABC"},
      {"abc", 1, -1, true, "aBC"},
      {"abc", 0, 10, true, "ABC"},
      {"abc", 0, -2, true, "abc"},
      {"abc", 0, 1, true, "Abc"},
      {"straße", 0, -1, true, "STRASE"},
      {"ÿµ", 0, -1, true, "\xC5\xB8\xCE\x9C"},
      {"İ\xF0\x9E\xA4\x80", 0, -1, false, "i\xF0\x9E\xA4\xA2"},
  };
  for (const Case& c : cases)
    for (uint32_t u : UNITS) {
      Cell str = s(c.text, u, c.index);
      Cell part = integer(c.part);
      string::change_case(&str, c.part == -1 ? nullptr : &part, c.upper);
      EXPECT_EQ(whole(str), c.expected) << c.text << " unit " << u;
    }
  Cell one = s("ÿ");
  EXPECT_EQ(unit(one), 1u);
  string::change_case(&one, nullptr, true);
  EXPECT_EQ(unit(one), 2u);
  Cell a = s("abc"), other = s("abc", 1, 2);
  EXPECT_EQ(testing::error_id([&] { string::change_case(&a, &other, true); }), "invalid-refine-arg");
  Cell same = a;
  same.data1 = 2;
  string::change_case(&a, &same, true);
  EXPECT_EQ(text(a), "ABc");
  Cell c = ch(0xDF);
  string::change_case(&c, nullptr, true);
  EXPECT_EQ(c.data2, 0x53u);
}

}  // namespace
}  // namespace tav
