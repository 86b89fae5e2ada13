#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "datatypes/string.h"
#include "datatypes/string_ops.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "test_runtime.h"
#include "core/types.h"

namespace tav {
namespace {

class Strings : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensure_runtime();
    saved_ = stack::save();
  }
  void TearDown() override { stack::restore(saved_); }

  // A string! on the argument stack, so it stays rooted while the test allocates.
  static Cell* str(const std::string& utf8) { return string::push_utf8(utf8.data(), utf8.size()); }
  static Cell* empty(uint32_t capacity = 0) {
    return string::make_at(stack::new_cell(), capacity);
  }
  // The same text stored with the given unit.
  static Cell* str_unit(const std::string& utf8, uint32_t unit) {
    Cell* c = str(utf8);
    string::widen(c->node(), unit);
    EXPECT_EQ(string::unit_of(c->node()), unit);
    return c;
  }
  static std::string text(const Cell* c) { return string::to_std_string(c); }
  // The whole buffer's text, whatever the value's index.
  static std::string whole(const Cell* c) {
    Cell head = *c;
    head.data1 = 0;
    return text(&head);
  }
  static std::string molded(const Cell* c, bool all = false, int part = -1, int* left = nullptr) {
    Cell* out = empty(16);
    Cell part_cell;
    set_integer(&part_cell, part);
    int r = string::mold(const_cast<Cell*>(c), out, false, all, false,
                         part >= 0 ? &part_cell : nullptr, part >= 0 ? part : 0, 0);
    if (left) *left = r;
    return text(out);
  }
  static std::string hex_of(const Cell* bin) {
    SeriesBuffer* b = cell_buffer(bin);
    std::string h;
    for (uint32_t i = 0; i < b->used(); i++) h += string::byte_to_hex(b->head_ptr()[i]);
    return h;
  }

  stack::State saved_{};
};

TEST_F(Strings, WideningKeepsContentAndNode) {
  // In place (room to spare) and into a new buffer (full), through each widening step.
  for (uint32_t fill : {3u, 16u, 300u}) {
    std::string ascii(fill, 'q');
    ascii[0] = 'a';
    Cell* s = empty(fill);
    string::append_ascii(s->node(), ascii.c_str());
    NodeId node = s->node();
    string::append_char(node, 0x20AC);
    EXPECT_EQ(string::unit_of(node), 2u);
    string::append_char(node, 0x1F600);
    EXPECT_EQ(string::unit_of(node), 4u);
    EXPECT_EQ(s->node(), node);
    EXPECT_EQ(string::length(node), fill + 2);
    EXPECT_EQ(text(s), ascii + "\u20AC\U0001F600");
  }
  Cell* direct = str("ab");
  string::append_char(direct->node(), 0x1F600);
  EXPECT_EQ(string::unit_of(direct->node()), 4u);
  EXPECT_EQ(text(direct), "ab\U0001F600");
}

TEST_F(Strings, WideningThresholdsOfAppendPokeAndInsert) {
  struct Case { const char* what; uint32_t cp; uint32_t unit; const char* result; };
  // Appends widen from 0x80; stores and inserts keep Latin-1 in 1-byte units.
  for (Case c : {Case{"append", 0x41, 1, "xyA"}, Case{"append", 0xE9, 2, "xy\u00E9"},
                 Case{"poke", 0xE9, 1, "x\u00E9"}, Case{"poke", 0x100, 2, "x\u0100"},
                 Case{"poke", 0x10000, 4, "x\U00010000"}, Case{"insert", 0xE9, 1, "x\u00E9y"},
                 Case{"insert", 0x2028, 2, "x\u2028y"}}) {
    Cell* s = str("xy");
    std::string what = c.what;
    if (what == "append") string::append_char(s->node(), c.cp);
    if (what == "poke") string::poke_char(s->node(), 1, c.cp);
    if (what == "insert") string::insert_char(s->node(), 1, c.cp);
    EXPECT_EQ(string::unit_of(s->node()), c.unit) << c.what << " " << c.cp;
    EXPECT_EQ(text(s), c.result) << c.what << " " << c.cp;
  }
  Cell* s = str("ab");
  string::poke_char(s->node(), 2, 'c');   // at the length: appends
  EXPECT_EQ(text(s), "abc");
}

TEST_F(Strings, AppendingAcrossWidths) {
  struct Case { std::string target; uint32_t target_unit; std::string source; uint32_t source_unit; uint32_t unit; };
  for (Case c : {Case{"ab", 1, "cd", 2, 1}, Case{"ab", 1, "c\u20AC", 2, 2},
                 Case{"ab", 2, "c\U0001F600", 4, 4}, Case{"a\U0001F600", 4, "bc", 1, 4},
                 Case{"a\u20AC", 2, "\u00E9", 1, 2}, Case{"ab", 1, "c\u00E9", 4, 1}}) {
    Cell* t = str_unit(c.target, c.target_unit);
    Cell* s = str_unit(c.source, c.source_unit);
    EXPECT_EQ(string::append_string(t->node(), s), string::length(s));
    EXPECT_EQ(text(t), c.target + c.source);
    EXPECT_EQ(string::unit_of(t->node()), c.unit) << c.target << " + " << c.source;
    EXPECT_EQ(text(s), c.source);
  }
  Cell* t = str("x");
  Cell* s = str("abcdef");
  s->data1 = 2;
  EXPECT_EQ(string::append_string(t->node(), s, 3), 3u);
  EXPECT_EQ(text(t), "xcde");
}

TEST_F(Strings, NoResultDependsOnStorageWidth) {
  const std::string sample = "h\u00E9llo \"w\u00F6rld\"\n{x}^\t\u0085";
  std::vector<std::string> molds, molds_all, forms, utf8;
  std::vector<uint32_t> lengths;
  for (uint32_t unit : {1u, 2u, 4u}) {
    Cell* s = str_unit(sample, unit);
    lengths.push_back(string::length(s));
    utf8.push_back(text(s));
    molds.push_back(molded(s));
    molds_all.push_back(molded(s, true));
    Cell* out = empty();
    string::form(s, out, nullptr, 0);
    forms.push_back(text(out));
    // Splicing into a 1-byte string gives the same text whatever the source's width.
    Cell* t = str("<>");
    t->data1 = 1;
    string::concatenate(t, s, -1, 0, string::Splice::insert);
    EXPECT_EQ(whole(t), "<" + sample + ">");
  }
  for (size_t i = 1; i < 3; i++) {
    EXPECT_EQ(lengths[i], lengths[0]);
    EXPECT_EQ(utf8[i], sample);
    EXPECT_EQ(molds[i], molds[0]);
    EXPECT_EQ(molds_all[i], molds_all[0]);
    EXPECT_EQ(forms[i], sample);
  }
}

TEST_F(Strings, ConcatenateModes) {
  struct Case { std::string target; uint32_t unit; uint32_t index; int32_t offset; string::Splice mode; std::string source; int32_t part; std::string result; };
  using string::Splice;
  for (const Case& c : {
           Case{"abc", 1, 0, 0, Splice::append, "xyz", -1, "abcxyz"},
           Case{"abc", 1, 0, 0, Splice::append, "xyz", 2, "abcxy"},
           Case{"a\u20ACcd", 2, 1, 1, Splice::insert, "XY", -1, "a\u20ACXYcd"},
           Case{"a\U0001F600cd", 4, 1, 1, Splice::insert, "XY", -1, "a\U0001F600XYcd"},
           Case{"abcd", 1, 1, 0, Splice::overwrite, "XY", -1, "aXYd"},
           Case{"abcd", 1, 3, 0, Splice::overwrite, "XYZ", -1, "abcXYZ"},
           Case{"abcd", 1, 0, 9, Splice::insert, "!", -1, "abcd!"},
           Case{"abcd", 1, 2, -5, Splice::insert, "!", -1, "!abcd"},
       }) {
    Cell* t = str_unit(c.target, c.unit);
    t->data1 = c.index;
    Cell* s = str(c.source);
    string::concatenate(t, s, c.part, c.offset, c.mode);
    EXPECT_EQ(whole(t), c.result);
  }
}

TEST_F(Strings, ConcatenatingAStringToItselfCopiesItOnce) {
  for (string::Splice mode : {string::Splice::append, string::Splice::insert}) {
    for (uint32_t unit : {1u, 2u}) {
      Cell* s = str_unit("abc", unit);
      Cell view = *s;
      s->data1 = 1;
      string::concatenate(s, &view, -1, 0, mode);
      EXPECT_EQ(text(&view), mode == string::Splice::append ? "abcabc" : "aabcbc");
    }
  }
}

TEST_F(Strings, LoadingUtf8ChoosesTheNarrowestUnit) {
  struct Case { std::string bytes; uint32_t unit; std::vector<uint32_t> chars; };
  for (const Case& c : {Case{"\xC3\xA9", 1, {0xE9}}, Case{"\xE2\x82\xAC", 2, {0x20AC}},
                        Case{"\xF0\x9F\x98\x80", 4, {0x1F600}}, Case{"\xEF\xBB\xBF", 1, {}},
                        Case{"\xEF\xBB\xBFok", 1, {'o', 'k'}}, Case{"", 1, {}}}) {
    Cell* s = string::load_new(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(),
                               string::ENCODING_UTF8);
    ASSERT_TRUE(s->is(TYPE_STRING));
    EXPECT_EQ(string::unit_of(s->node()), c.unit);
    ASSERT_EQ(string::length(s), c.chars.size());
    for (uint32_t i = 0; i < c.chars.size(); i++) EXPECT_EQ(string::char_at(s, i), c.chars[i]);
  }
}

TEST_F(Strings, LoadingKeepsACutShortTailForTheNextChunk) {
  const std::string bytes = "abc\xE2\x82";
  const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
  size_t left = 99;
  Cell* s = string::load(p, bytes.size(), nullptr, string::ENCODING_UTF8, &left);
  EXPECT_EQ(text(s), "abc");
  EXPECT_EQ(left, 2u);
  // Without a place to keep them, the bytes are not dropped silently.
  EXPECT_TRUE(testing::raises([&] { string::load_new(p, bytes.size(), string::ENCODING_UTF8); }));
}

TEST_F(Strings, InvalidUtf8RaisesWithTheBadBytes) {
  struct Case { std::string bytes; const char* arg; };
  for (const Case& c : {Case{"\xC3\x41", "C341"}, Case{"ab\xC3\x41zzzz", "C3417A7A"},
                        Case{"\xEF\xBF\xBE", "EFBFBE"}, Case{"x\xFF", "FF"},
                        Case{"ab\xE2\x82", "E282"}}) {
    const auto* p = reinterpret_cast<const uint8_t*>(c.bytes.data());
    Cell arg;
    string::utf8_error_arg(p, c.bytes.size(), &arg);
    ASSERT_TRUE(arg.is(TYPE_BINARY)) << c.arg;
    EXPECT_EQ(hex_of(&arg), c.arg);
    EXPECT_TRUE(testing::raises([&] { string::load_new(p, c.bytes.size(), string::ENCODING_UTF8); }));
    EXPECT_TRUE(testing::raises([&] { string::push_utf8(c.bytes.data(), c.bytes.size()); }));
    // Appending bad text leaves the target as it was.
    Cell* t = str("keep");
    EXPECT_TRUE(testing::raises([&] { string::append_utf8(t->node(), p, c.bytes.size()); }));
    EXPECT_EQ(text(t), "keep");
  }
  Cell ok;
  string::utf8_error_arg(reinterpret_cast<const uint8_t*>("fine \xC3\xA9"), 7, &ok);
  EXPECT_TRUE(ok.is(TYPE_NONE));
}

TEST_F(Strings, LoadingFromASeriesBuffer) {
  NodeId bytes = alloc::new_bytes(16);
  Cell bin = make_cell(TYPE_BINARY, 0, bytes, 0);
  stack::push(&bin);
  SeriesBuffer* b = node_buffer(bytes);
  std::memcpy(b->data(), "xx\xE2\x82\xACyy", 7);
  b->tail = 7;
  EXPECT_EQ(text(string::load_series(bytes, 2, 4, nullptr, string::ENCODING_UTF8)), "\u20ACy");
}

TEST_F(Strings, LoadingUtf16) {
  const uint8_t bytes[] = {'a', 0, 0xAC, 0x20, 0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 'A', 0};
  Cell* s = string::load_new(bytes, sizeof bytes, string::ENCODING_UTF16LE);
  EXPECT_EQ(text(s), "a\u20AC\U0001F600\uFFFDA");
  EXPECT_TRUE(testing::raises([&] { string::load_new(bytes, 2, 7); }));
}

TEST_F(Strings, ExportingUtf8) {
  Cell* s = str("a\nb\u20AC");
  s->data1 = 0;
  SeriesBuffer* b = node_buffer(string::to_utf8(s, -1, true));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b->head_ptr()), b->used()), "a\r\nb\u20AC");
  EXPECT_EQ(b->head_ptr()[b->used()], 0);
  b = node_buffer(string::to_utf8(s, 2));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b->head_ptr()), b->used()), "a\n");
  Cell* bad = str("x");
  string::widen(bad->node(), 4);
  string::append_char(bad->node(), 0x110000);
  EXPECT_TRUE(testing::raises([&] { string::to_utf8(bad); }));
}

TEST_F(Strings, TextBufferApi) {
  NodeId n = string::make(0);
  Cell cell = make_cell(TYPE_STRING, 0, n, 0);
  Cell* root = stack::push(&cell);
  string::append_ascii(n, "x=");
  string::append_utf8(n, reinterpret_cast<const uint8_t*>("\xE2\x82\xAC"), 3);
  string::append_char(n, '!');
  string::append_bytes(n, "\xE9", 1);
  EXPECT_EQ(string::length(n), 5u);
  EXPECT_EQ(text(root), "x=\u20AC!\u00E9");
  Cell* pushed = string::push_utf8("\xEF\xBB\xBFkept");
  EXPECT_EQ(string::length(pushed), 5u);   // a leading U+FEFF in C text is a character
  EXPECT_EQ(stack::last(), pushed);
}

TEST_F(Strings, RemoveTruncateAndReset) {
  Cell* s = str("a\u20ACbcdef");
  string::remove_units(s->node(), 1, 2);
  EXPECT_EQ(text(s), "acdef");
  string::remove_units(s->node(), 3, 100);
  EXPECT_EQ(text(s), "acd");
  string::remove_units(s->node(), 3, 1);
  EXPECT_EQ(text(s), "acd");
  string::truncate(s->node(), 2);
  EXPECT_EQ(text(s), "ac");
  EXPECT_EQ(string::unit_of(s->node()), 2u);   // removal never narrows
  s->data1 = 1;
  string::reset_to_bytes(s);
  EXPECT_EQ(string::unit_of(s->node()), 1u);
  EXPECT_EQ(s->index(), 0u);
  EXPECT_EQ(string::length(s), 0u);
}

TEST_F(Strings, IndexPastTheTailReadsAsTail) {
  Cell* s = str("abc");
  s->data1 = 10;
  EXPECT_EQ(string::length(s), 0u);
  EXPECT_TRUE(string::is_tail(s));
  uint8_t* at = string::head_address(s);
  EXPECT_EQ(s->index(), 3u);
  EXPECT_EQ(at, cell_buffer(s)->tail_ptr());
  EXPECT_EQ(molded(s), "\"\"");
  Cell* out = empty();
  EXPECT_EQ(string::form(s, out, nullptr, 7), 7);
  EXPECT_EQ(text(out), "");
}

TEST_F(Strings, MoldChoosesDelimitersAndEscapes) {
  struct Case { std::string text; bool all; std::string mold; };
  const std::string x49(49, 'x'), x50(50, 'x'), x48(48, 'x');
  for (const Case& c : {
           Case{"abc", false, "\"abc\""},
           Case{"", false, "\"\""},
           Case{"a\"b", false, "{a\"b}"},
           Case{"a\nb", false, "\"a^/b\""},
           Case{"a\nb\nc\nd", false, "{a^/b^/c^/d}"},
           Case{x49, false, "\"" + x49 + "\""},
           Case{x50, false, "{" + x50 + "}"},
           Case{x48 + "}{", false, "{" + x48 + "^}^{}"},
           Case{"\"{a}", false, "{\"{a}}"},
           Case{"a\"{{}", false, "{a\"^{^{^}}"},
           Case{"\"^", false, "{\"^^}"},
           Case{"\x1E", false, "\"^(1E)\""},
           Case{"\x7F", false, "\"^~\""},
           Case{std::string("\0\t^", 3), false, "\"^@^-^^\""},
           Case{"{}", false, "\"{}\""},
           Case{"\u00E9", false, "\"\u00E9\""},
           Case{"\u00E9", true, "\"^(E9)\""},
           Case{"\u0085", false, "\"^(85)\""},
           Case{"\u20AC", true, "\"^(20AC)\""},
       }) {
    EXPECT_EQ(molded(str(c.text), c.all), c.mold) << c.text;
  }
}

TEST_F(Strings, MoldAndFormWithPart) {
  int left = 0;
  EXPECT_EQ(molded(str("ab\ncdef"), false, 4, &left), "\"ab^/c\"");
  EXPECT_EQ(left, 4 - 4 - 2);
  EXPECT_EQ(molded(str("abc"), false, 0, &left), "\"\"");
  Cell* s = str("h\u00E9llo");
  Cell* out = str("> ");
  Cell part;
  set_integer(&part, 3);
  EXPECT_EQ(string::form(s, out, &part, 3), 0);
  EXPECT_EQ(text(out), "> h\u00E9l");
  EXPECT_EQ(string::form(s, out, nullptr, 10), 5);
  EXPECT_EQ(text(out), "> h\u00E9lh\u00E9llo");
}

TEST_F(Strings, HexText) {
  struct Case { int32_t value; bool trim; const char* text; };
  for (Case c : {Case{0, true, "00"}, Case{0x1E, true, "1E"}, Case{5, true, "5"},
                 Case{-2, false, "FFFFFFFE"}, Case{0x1E, false, "0000001E"},
                 Case{0x7FFFFFFF, true, "7FFFFFFF"}, Case{INT32_MIN, false, "80000000"}}) {
    EXPECT_STREQ(string::to_hex(c.value, c.trim), c.text) << c.value;
  }
  EXPECT_STREQ(string::byte_to_hex(0x0A), "0A");
}

TEST_F(Strings, RegistrationInheritsFromSeries) {
  ActionRow saved_series = action_table[TYPE_SERIES], saved_string = action_table[TYPE_STRING];
  TypeEntry saved_series_name = type_table[TYPE_SERIES], saved_string_name = type_table[TYPE_STRING];
  ActionRow series_row{};
  auto marker = [](int a) { return reinterpret_cast<ActionEntry>(intptr_t(0x1000 + a)); };
  for (ActionId a : {ACT_PICK, ACT_LENGTH_Q, ACT_TAKE}) series_row[a - 1] = marker(a);
  datatype::register_type(TYPE_SERIES, TYPE_NONE_ID, "series!", series_row);
  string_type::init();
  EXPECT_STREQ(type_table[TYPE_STRING].name, "string!");
  EXPECT_EQ(action_entry(TYPE_STRING, ACT_PICK), marker(ACT_PICK));
  EXPECT_EQ(action_entry(TYPE_STRING, ACT_LENGTH_Q), marker(ACT_LENGTH_Q));
  EXPECT_EQ(action_entry(TYPE_STRING, ACT_TAKE), entry(static_cast<act::Take>(&string::take)));
  EXPECT_EQ(action_entry(TYPE_STRING, ACT_ADD), nullptr);
  EXPECT_EQ(action_entry(TYPE_STRING, ACT_FORM), entry(static_cast<act::Form>(&string::form)));
  EXPECT_EQ(action_entry(TYPE_STRING, ACT_MOLD), entry(static_cast<act::Mold>(&string::mold)));
  action_table[TYPE_SERIES] = saved_series;
  action_table[TYPE_STRING] = saved_string;
  type_table[TYPE_SERIES] = saved_series_name;
  type_table[TYPE_STRING] = saved_string_name;
}

}  // namespace
}  // namespace tav
