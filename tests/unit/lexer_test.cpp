#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/context.h"
#include "datatypes/string.h"
#include "core/memory.h"
#include "core/symbols.h"
#include "scanner/lexer.h"
#include "scanner/tokens.h"
#include "test_runtime.h"
#include "core/unicode.h"

namespace {

using tav::Cell;
namespace lexer = tav::lexer;

// A value's type and a short rendering of its payload, enough to tell values apart.
std::string describe(const Cell& c);

std::string text_of(const Cell& c) {
  tav::SeriesBuffer* buf = tav::node_buffer(c.node());
  uint32_t unit = buf->unit();
  std::string out;
  for (uint32_t i = 0; i < buf->count(); ++i) {
    uint32_t cp = tav::unicode::read_unit(buf->head_ptr(), i, unit);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else {
      char hex[16];
      std::snprintf(hex, sizeof hex, "<%X>", cp);
      out += hex;
    }
  }
  return out;
}

std::string block_text(const Cell& c, char open, char close) {
  tav::SeriesBuffer* buf = tav::node_buffer(c.node());
  std::string out(1, open);
  for (uint32_t i = 0; i < buf->count(); ++i) {
    if (i) out += ' ';
    out += describe(buf->cells()[i]);
  }
  return out + close;
}

std::string describe(const Cell& c) {
  using namespace tav;   // NOLINT
  std::string name = lexer::type_name(c.type());
  switch (c.type()) {
    case TYPE_INTEGER: return "integer " + std::to_string(c.int_value());
    case TYPE_FLOAT:
    case TYPE_PERCENT: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%s %.17g", name.c_str(), c.float_value());
      return buf;
    }
    case TYPE_CHAR: return "char " + std::to_string(c.data2);
    case TYPE_LOGIC: return c.data1 ? "true" : "false";
    case TYPE_DATATYPE: return "datatype " + std::string(lexer::type_name(c.data1));
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_GET_WORD: case TYPE_LIT_WORD:
    case TYPE_REFINEMENT: case TYPE_ISSUE:
      {
      symbol::Name n = symbol::name(c.data2);
      return name + " " + std::string(n.bytes, n.length);
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF:
      return name + " \"" + text_of(c) + "\"";
    case TYPE_BINARY: {
      SeriesBuffer* buf = node_buffer(c.node());
      std::string out = "binary ";
      char hex[4];
      for (uint32_t i = 0; i < buf->count(); ++i) {
        std::snprintf(hex, sizeof hex, "%02X", buf->head_ptr()[i]);
        out += hex;
      }
      return out;
    }
    case TYPE_TUPLE: {
      int n = (c.header >> 19) & 0xF;
      const uint8_t* b = reinterpret_cast<const uint8_t*>(&c.data1);
      std::string out = "tuple";
      for (int i = 0; i < n; ++i) out += (i ? "." : " ") + std::to_string(b[i]);
      return out;
    }
    case TYPE_POINT2D: case TYPE_POINT3D: {
      float v[3];
      std::memcpy(&v[0], &c.data1, 4);
      std::memcpy(&v[1], &c.data2, 4);
      std::memcpy(&v[2], &c.data3, 4);
      char buf[96];
      if (c.type() == TYPE_POINT2D) std::snprintf(buf, sizeof buf, "%s %g %g", name.c_str(), v[0], v[1]);
      else std::snprintf(buf, sizeof buf, "%s %g %g %g", name.c_str(), v[0], v[1], v[2]);
      return buf;
    }
    case TYPE_BLOCK: return block_text(c, '[', ']');
    case TYPE_PAREN: return block_text(c, '(', ')');
    case TYPE_PATH: case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_LIT_PATH:
      return name + " " + block_text(c, '<', '>');
    default: return name;
  }
}

std::string load(const std::string& text) {
  tav::testing::ensure_runtime();
  Cell result;
  if (tav::testing::raises([&] { lexer::transcode(text, &result); })) {
    return "error: " + lexer::last_load_error().message;
  }
  std::string out = describe(result);
  return out.substr(1, out.size() - 2);   // without the outer brackets
}

// The console text of the error that loading the text raises, or "" when it loads.
std::string load_error(const std::string& text) {
  tav::testing::ensure_runtime();
  bool raised = tav::testing::raises([&] {
    Cell result;
    lexer::transcode(text, &result);
  });
  return raised ? lexer::last_load_error().message : "";
}

TEST(Lexer, LoadsEachKindOfToken) {
  struct Case { const char* text; const char* loads; };
  const Case cases[] = {
      {"123", "integer 123"},
      {"-7 +7", "integer -7 integer 7"},
      {"1'000", "integer 1000"},
      {"2147483647", "integer 2147483647"},
      {"-2147483648", "integer -2147483648"},
      {"2147483648", "float! 2147483648"},
      {"12345678901", "float! 12345678901"},
      {"1.5 .5 1e3 1.5e-2", "float! 1.5 float! 0.5 float! 1000 float! 0.014999999999999999"},
      {"50%", "percent! 0.5"},
      {"FFh 0Ah", "integer 255 integer 10"},
      {"FFH", "word! FFH"},
      {"+FFh", "word! +FFh"},
      {"1.#INF -1.#inf", "float! inf float! -inf"},
      {"abc Foo-bar? + - ->", "word! abc word! Foo-bar? word! + word! - word! ->"},
      {"a: :b 'c", "set-word! a get-word! b lit-word! c"},
      {"/ref / // '/ :/ /:", "refinement! ref word! / word! // lit-word! / get-word! / set-word! /"},
      {"#issue", "issue! issue"},
      {"\"hi\" \"\"", "string! \"hi\" string! \"\""},
      {"\"a^-b^/c^^d^\"\"", "string! \"a\tb\nc^d\"\""},
      {"\"^(41)^(tab)^(line)^(20AC)^a\"", "string! \"A\t\n<20AC>\x01\""},
      {"{a {b} c}", "string! \"a {b} c\""},
      {"{a^}b}", "string! \"a}b\""},
      {"%{raw ^ text}%", "string! \"raw ^ text\""},
      {"%%{a}%b}%%", "string! \"a}%b\""},
      {"#\"a\" #\"^(tab)\" #\"^\"\"", "char 97 char 9 char 34"},
      {"%file.txt %\"with space\" %a%20b", "file! \"file.txt\" file! \"with space\" file! \"a b\""},
      {"http://x.org/a?b=1", "url! \"http://x.org/a?b=1\""},
      {"me@host.com", "email! \"me@host.com\""},
      {"<tag a=\"1\">", "tag! \"tag a=\"1\"\""},
      {"@ref", "ref! \"ref\""},
      {"#{0A ff} 2#{00000001} 64#{AQID}", "binary 0AFF binary 01 binary 010203"},
      {"64#{AQ==}", "binary 01"},
      {"1.2.3 1.2.3.255", "tuple 1.2.3 tuple 1.2.3.255"},
      {"#(true) #(false) #(none)", "true false none!"},
      {"#(integer!) #(POINT2D!) #(None)", "datatype integer! datatype point2D! none!"},
      {"\xC2\xA0\xE3\x80\x80", ""},
      {"caf\xC3\xA9", "word! caf\xC3\xA9"},
      {"\"\xC3\xA9\xF0\x9F\x98\x80\"", "string! \"<E9><1F600>\""},
      {"; comment\n1 ;more", "integer 1"},
  };
  for (const Case& c : cases) EXPECT_EQ(load(c.text), c.loads) << c.text;
}

TEST(Lexer, NestsBlocksParensAndPaths) {
  struct Case { const char* text; const char* loads; };
  const Case cases[] = {
      {"[a [b] (c)] []", "[word! a [word! b] (word! c)] []"},
      {"a/b/1", "path! <word! a word! b integer 1>"},
      {"a/b: 1", "set-path! <word! a word! b> integer 1"},
      {":a/b 'a/b", "get-path! <word! a word! b> lit-path! <word! a word! b>"},
      {"a/(b c)/d", "path! <word! a (word! b word! c) word! d>"},
      {"[a/b]", "[path! <word! a word! b>]"},
      {"a/\"s\"/:c", "path! <word! a string! \"s\" get-word! c>"},
      {"(1.5, 2) [( -1 , 2e3 , 3 )]", "point2D! 1.5 2 [point3D! -1 2000 3]"},
      {"(1,2) (1)", "point2D! 1 2 (integer 1)"},
  };
  for (const Case& c : cases) EXPECT_EQ(load(c.text), c.loads) << c.text;
}

TEST(Lexer, PicksTheStringUnitFromTheTextAndItsEscapes) {
  tav::testing::ensure_runtime();
  struct Case { const char* text; uint32_t unit; };
  const Case cases[] = {
      {"\"abc\"", 1},
      {"\"caf\xC3\xA9\"", 2},       // a 2-byte lead byte asks for 2-byte units
      {"\"\xF0\x9F\x98\x80\"", 4},
      {"\"^(E9)\"", 1},
      {"\"^(0041)\"", 2},             // a long escape widens even for a small code
      {"\"^(00041)\"", 4},
      {"{^(20AC)}", 2},
  };
  for (const Case& c : cases) {
    Cell result;
    lexer::transcode(c.text, &result);
    const Cell& str = tav::node_buffer(result.node())->cells()[0];
    EXPECT_EQ(tav::node_buffer(str.node())->unit(), c.unit) << c.text;
  }
}

TEST(Lexer, MarksValuesThatStartALine) {
  tav::testing::ensure_runtime();
  Cell result;
  lexer::transcode("a b\nc [\n d]", &result);
  tav::SeriesBuffer* buf = tav::node_buffer(result.node());
  ASSERT_EQ(buf->count(), 4u);
  const Cell* v = buf->cells();
  EXPECT_FALSE(v[0].header & tav::FLAG_NEW_LINE);
  EXPECT_FALSE(v[1].header & tav::FLAG_NEW_LINE);
  EXPECT_TRUE(v[2].header & tav::FLAG_NEW_LINE);
  EXPECT_FALSE(v[3].header & tav::FLAG_NEW_LINE);
  const Cell* inner = tav::node_buffer(v[3].node())->cells();
  EXPECT_TRUE(inner[0].header & tav::FLAG_NEW_LINE);
  // A point literal keeps the mark of the line its "(" starts.
  lexer::transcode("a\n(1, 2) (3, 4)", &result);
  buf = tav::node_buffer(result.node());
  ASSERT_EQ(buf->count(), 3u);
  v = buf->cells();
  EXPECT_TRUE(v[1].is(tav::TYPE_POINT2D));
  EXPECT_TRUE(v[1].header & tav::FLAG_NEW_LINE);
  EXPECT_FALSE(v[2].header & tav::FLAG_NEW_LINE);
}

TEST(Lexer, ReportsLoadErrorsWithLineAndToken) {
  struct Case { const char* text; const char* error; };
  const Case cases[] = {
      {"1''000", "*** Syntax Error: (line 1) invalid integer! at 1''000"},
      {"a\nb 12a c", "*** Syntax Error: (line 2) invalid integer! at 12a c"},
      {"[a [b] c", "*** Syntax Error: (line 1) missing ] at [a [b] c"},
      {"x\n(a", "*** Syntax Error: (line 2) missing ) at (a"},
      {"a]", "*** Syntax Error: (line 1) missing [ at ]"},
      {"[a)", "*** Syntax Error: (line 1) missing ] at )"},
      {"\"abc\ndef\"", "*** Syntax Error: (line 1) invalid string! at \"abc"},
      {"x {abc\n", "*** Syntax Error: (line 1) invalid string! at {abc"},
      {"#(foo)", "*** Syntax Error: (line 1) invalid construction spec at #(foo)"},
      {"2#{0101}", "*** Syntax Error: (line 1) invalid binary! at 2#{0101}"},
      {"8#{00}", "*** Syntax Error: (line 1) invalid binary! at 8#{00}"},
      {"#\"ab\"", "*** Syntax Error: (line 1) invalid char! at #\"ab\""},
      {"\"^(110000)\"", "*** Syntax Error: (line 1) invalid string! at \"^(110000)\""},
      {"1.2.3.256", "*** Syntax Error: (line 1) invalid tuple! at 1.2.3.256"},
      {"'a:", "*** Syntax Error: (line 1) invalid lit-word! at 'a:"},
      {"a/", "*** Syntax Error: (line 1) invalid path! at a/"},
      {"x a/b:/c", "*** Syntax Error: (line 1) invalid path! at a/b:/c"},
      {"a//b", "*** Syntax Error: (line 1) invalid path! at /b"},
      {"%a%zz", "*** Syntax Error: (line 1) invalid file! at %a%zz"},
      {"\"^(nope)\"", "*** Syntax Error: (line 1) invalid string! at \"^(nope)\""},
      {"#\"\"", "*** Syntax Error: (line 1) invalid char! at #\"\""},
      {"[\n\n  1''2]", "*** Syntax Error: (line 3) invalid integer! at 1''2]"},
      {"x , b", "*** Syntax Error: (line 1) invalid point2D! at , b"},
      {"a, b", "*** Syntax Error: (line 1) invalid word! at a, b"},
      {"(, 1 2)", "*** Syntax Error: (line 1) invalid point2D! at (, 1 2)"},
      {"(1 2, 3)", "*** Syntax Error: (line 1) invalid point2D! at (1 2, 3)"},
      {"(1,, 2)", "*** Syntax Error: (line 1) invalid point2D! at (1,, 2)"},
      {"(1, 2,)", "*** Syntax Error: (line 1) invalid point3D! at (1, 2,)"},
      {"(1, 2, 3, 4)", "*** Syntax Error: (line 1) invalid point2D! at , 4)"},
      {"(1, \"a\")", "*** Syntax Error: (line 1) invalid point2D! at (1, \"a\")"},
      {"(1, [2])", "*** Syntax Error: (line 1) invalid point2D! at [2])"},
      {"\x01\x02 }", "*** Syntax Error: (line 1) invalid character at }"},
      {"abcdefghijklmnopqrstuvwxyz0123456789 1''0",
       "*** Syntax Error: (line 1) invalid integer! at 1''0"},
      {"1''0 abcdefghijklmnopqrstuvwxyz0123456789",
       "*** Syntax Error: (line 1) invalid integer! at 1''0 abcdefghijklmnopqrstuvwxy"},
  };
  for (const Case& c : cases) EXPECT_EQ(load_error(c.text), c.error) << c.text;
}

TEST(Lexer, ScanAndPrescanAnswerTheType) {
  tav::testing::ensure_runtime();
  struct Case { const char* text; lexer::Mode mode; int type; };
  const Case cases[] = {
      {"123 abc", lexer::Mode::scan, tav::TYPE_INTEGER},
      {"1-Jan-2024", lexer::Mode::scan, tav::TYPE_DATE},
      {"[a b] c", lexer::Mode::scan, tav::TYPE_BLOCK},
      {"1''000", lexer::Mode::scan, tav::TYPE_ERROR},
      {"\"abc", lexer::Mode::prescan, tav::TYPE_ERROR},
      {"[a 1''0] x", lexer::Mode::prescan, tav::TYPE_BLOCK},
      {"#\"a\" x", lexer::Mode::prescan, tav::TYPE_CHAR},
      {"a/b c", lexer::Mode::scan, tav::TYPE_PATH},
  };
  for (const Case& c : cases) {
    Cell result;
    EXPECT_EQ(lexer::transcode(c.text, &result, c.mode, true), c.type) << c.text;
  }
}

TEST(Lexer, OneValueStopsAfterTheFirstValue) {
  tav::testing::ensure_runtime();
  Cell result;
  uint32_t end = 0;
  lexer::transcode("[1 2] \xC3\xA9 3", &result, lexer::Mode::load, true, &end);
  EXPECT_EQ(describe(result), "[[integer 1 integer 2]]");
  EXPECT_EQ(end, 5u);
  lexer::transcode("\xC3\xA9t\xC3\xA9 x", &result, lexer::Mode::load, true, &end);
  EXPECT_EQ(end, 3u);   // characters, not bytes
}

TEST(Lexer, AppendsIntoAGivenBlock) {
  tav::testing::ensure_runtime();
  Cell into;
  lexer::transcode("a", &into);
  lexer::Request r;
  const char* text = "1 2";
  r.text = reinterpret_cast<const uint8_t*>(text);
  r.length = 3;
  r.into = &into;
  Cell result;
  lexer::scan_utf8(r, &result, nullptr);
  EXPECT_EQ(describe(result), "[word! a integer 1 integer 2]");
  EXPECT_EQ(result.node(), into.node());
}

TEST(Lexer, DeepNestingGrowsTheValueStack) {
  std::string text(5000, '[');
  text += std::string(5000, ']');
  tav::testing::ensure_runtime();
  Cell result;
  lexer::transcode(text, &result);
  const Cell* c = &result;
  int depth = 0;
  while (tav::node_buffer(c->node())->count() == 1) {
    c = tav::node_buffer(c->node())->cells();
    ++depth;
  }
  EXPECT_EQ(depth, 5000);
  // The innermost opener is the one reported.
  EXPECT_EQ(load_error(std::string(3000, '[') + "a"), "*** Syntax Error: (line 1) missing ] at [a");
}

}  // namespace

namespace {

// Arbitrary text either loads or raises a syntax error; it never reads outside the input
// (the sanitizer build runs this too).
TEST(Lexer, SurvivesArbitraryText) {
  tav::testing::ensure_runtime();
  const std::string alphabet = "[](){}\"#'%:/\\<>=@$+-.,;^ \n\t0129aAxXeEhT~\xC3\xA9\xE2\x80\x80\xFF";
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1103515245u + 12345u;
    return seed >> 16;
  };
  for (int i = 0; i < 3000; ++i) {
    std::string text;
    size_t len = next() % 24;
    for (size_t k = 0; k < len; ++k) text += alphabet[next() % alphabet.size()];
    // Scanning a copy that ends exactly at the input's last byte lets the sanitizer see
    // any read past it.
    std::vector<char> exact(text.begin(), text.end());
    std::string_view view(exact.data(), exact.size());
    for (lexer::Mode mode : {lexer::Mode::load, lexer::Mode::scan, lexer::Mode::prescan}) {
      Cell result;
      bool raised = tav::testing::raises([&] { lexer::transcode(view, &result, mode); });
      if (mode != lexer::Mode::load) {
        EXPECT_FALSE(raised) << text;
      }
    }
  }
}

TEST(Lexer, WordsAreBoundToTheGlobalContext) {
  tav::testing::ensure_runtime();
  Cell result;
  lexer::transcode("abc ABC #abc", &result);
  const Cell* v = tav::node_buffer(result.node())->cells();
  EXPECT_EQ(v[0].data1, tav::context::global);
  EXPECT_EQ(v[0].data3, v[1].data3);   // case variants share the slot
  EXPECT_NE(v[0].data2, v[1].data2);   // but keep their spelling
  EXPECT_EQ(v[2].data3, 0xFFFFFFFFu);
}

}  // namespace

namespace {

TEST(Lexer, ScansStringValues) {
  tav::testing::ensure_runtime();
  const char* text = "x caf\xC3\xA9 [1 2] \xF0\x9F\x98\x80 z";
  Cell str;
  tav::string::load(reinterpret_cast<const uint8_t*>(text), std::strlen(text), &str,
                    tav::string::ENCODING_UTF8);
  str.data1 = 2;   // from "café"
  Cell result;
  uint32_t end = 0;
  lexer::scan_string(&str, -1, lexer::Mode::load, true, nullptr, &result, &end);
  EXPECT_EQ(describe(result), "[word! caf\xC3\xA9]");
  EXPECT_EQ(end, 4u);
  lexer::scan_string(&str, 11, lexer::Mode::load, false, nullptr, &result, &end);
  EXPECT_EQ(describe(result), "[word! caf\xC3\xA9 [integer 1 integer 2]]");
  EXPECT_EQ(end, 11u);
  lexer::scan_string(&str, -1, lexer::Mode::load, false, nullptr, &result, &end);
  EXPECT_EQ(describe(result), "[word! caf\xC3\xA9 [integer 1 integer 2] word! \xF0\x9F\x98\x80 word! z]");
  EXPECT_EQ(end, 14u);
}

}  // namespace
