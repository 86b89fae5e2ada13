#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "datatypes/block.h"
#include "datatypes/file.h"
#include "datatypes/string.h"
#include "datatypes/url.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "core/memory.h"
#include "scanner/lexer.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "test_runtime.h"
#include "core/types.h"

namespace tav {
namespace {

class FileUrl : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensure_runtime();
    saved_ = stack::save();
  }
  void TearDown() override { stack::restore(saved_); }

  static Cell* text_value(const std::string& utf8, TypeId type) {
    Cell* c = string::push_utf8(utf8.data(), utf8.size());
    c->set_type(type);
    return c;
  }
  static Cell* file(const std::string& utf8) { return text_value(utf8, TYPE_FILE); }
  static Cell* url(const std::string& utf8) { return text_value(utf8, TYPE_URL); }
  static std::string text(const Cell* c) { return string::to_std_string(c); }

  static std::string molded(Cell* v) {
    Cell* out = string::make_at(stack::new_cell(), 16);
    actions::mold_direct(v, out, false, false, false, nullptr, INT_MAX, 0);
    return text(out);
  }

  // Loads the text with the scanner: its single value, or unset! when it does not load as one.
  static Cell loaded(const std::string& source) {
    Cell result = make_cell(TYPE_UNSET);
    Cell value = make_cell(TYPE_UNSET);
    bool failed = testing::raises([&] { lexer::transcode(source, &result); });
    if (!failed && block::rs_length(&result) == 1) value = *block::rs_head(&result);
    return value;
  }

  stack::State saved_{};
};

TEST_F(FileUrl, FileMoldWritesNamesThatLoadBack) {
  struct Case { const char* name; const char* mold; };
  const Case cases[] = {
      {"a/b.txt", "%a/b.txt"},
      {"/home/user/.config/", "%/home/user/.config/"},
      {"with space", "%\"with space\""},
      {"", "%\"\""},
      {"café.txt", "%café.txt"},
      {"日本 語", "%\"日本 語\""},
      {"a;b<c>", "%\"a;b<c>\""},
      // The scanner ends a file token at these url characters: quote them.
      {"12:00.log", "%\"12:00.log\""},
      {"a(1).txt", "%\"a(1).txt\""},
      {"me@host", "%\"me@host\""},
      // Quotes, "%", "^" and line breaks cannot stand inside quotes: percent-encode.
      {"a\"b%41c", "%a%22b%2541c"},
      {"x y\"z", "%x%20y%22z"},
      {"a^b", "%a%5Eb"},
      {"line\nbreak\t", "%line%0Abreak%09"},
      {"%", "%%25"},
      {"é \"", "%é%20%22"},
  };
  for (const Case& c : cases) {
    Cell* f = file(c.name);
    std::string m = molded(f);
    EXPECT_EQ(m, c.mold) << c.name;
    Cell back = loaded(m);
    ASSERT_TRUE(back.is(TYPE_FILE)) << m;
    EXPECT_EQ(text(&back), c.name) << m;
  }
}

TEST_F(FileUrl, FileMoldFromIndexAndPart) {
  Cell* f = file("dir/x y");
  f->data1 = 4;
  EXPECT_EQ(molded(f), "%\"x y\"");
  f->data1 = 7;   // at the tail
  EXPECT_EQ(molded(f), "%\"\"");

  Cell* g = file("ab cd");
  Cell* out = string::make_at(stack::new_cell(), 16);
  Cell part;
  set_integer(&part, 2);
  int left = actions::mold_direct(g, out, false, false, false, &part, 2, 0);
  EXPECT_EQ(text(out), "%ab");   // the space lies beyond the part: no quotes
  EXPECT_EQ(left, 2 - 2 - 1);
}

TEST_F(FileUrl, UrlMoldPercentEncodesUtf8AndLoadsBack) {
  struct Case { const char* text; const char* mold; };
  const Case cases[] = {
      {"http://example.com/a/b?x=1&y=2#top", "http://example.com/a/b?x=1&y=2#top"},
      {"http://x/a b", "http://x/a%20b"},
      {"http://x/é", "http://x/%C3%A9"},
      {"http://x/€", "http://x/%E2%82%AC"},
      {"http://x/100%", "http://x/100%25"},
      {"http://x/say\"hi\"", "http://x/say%22hi%22"},
      {"http://x/Foo_(bar)", "http://x/Foo_%28bar%29"},
  };
  for (const Case& c : cases) {
    Cell* u = url(c.text);
    std::string m = molded(u);
    EXPECT_EQ(m, c.mold) << c.text;
    Cell back = loaded(m);
    ASSERT_TRUE(back.is(TYPE_URL)) << m;
    EXPECT_EQ(text(&back), c.text) << m;
  }
}

TEST_F(FileUrl, UrlMoldStopsAtThePartLimit) {
  Cell* u = url("http://x/é");
  Cell* out = string::make_at(stack::new_cell(), 16);
  Cell part;
  set_integer(&part, 5);
  int left = actions::mold_direct(u, out, false, false, false, &part, 5, 0);
  EXPECT_EQ(text(out), "http:");
  EXPECT_EQ(left, 0);
}

TEST_F(FileUrl, EncodeModesAndDecode) {
  Cell* out = string::make_at(stack::new_cell(), 16);
  url::encode(string::push_utf8("a b/c~é"), out->node(), url::ENCODE_UNRESERVED);
  EXPECT_EQ(text(out), "a%20b%2Fc~%C3%A9");
  Cell* out2 = string::make_at(stack::new_cell(), 16);
  url::encode(string::push_utf8("a b/c:"), out2->node(), url::ENCODE_URL);
  EXPECT_EQ(text(out2), "a%20b/c:");

  struct Case { const char* in; const char* out; };
  const Case cases[] = {
      {"a%20b", "a b"},
      {"%C3%A9t%c3%a9", "été"},
      {"%E2%82%AC!", "€!"},
      {"100%", "100%"},          // no digits after it: kept
      {"%zz%4", "%zz%4"},
      {"%80", "\xC2\x80"},       // a byte that leads nothing: the character of its value
      {"é%41", "éA"},
  };
  for (const Case& c : cases) {
    Cell* d = string::make_at(stack::new_cell(), 16);
    url::decode(string::push_utf8(c.in), d->node());
    EXPECT_EQ(text(d), c.out) << c.in;
  }
  EXPECT_EQ(testing::error_id([] {
              Cell* d = string::make_at(stack::new_cell(), 16);
              url::decode(string::push_utf8("%E2%82x"), d->node());
            }),
            "invalid-utf8");
}

TEST_F(FileUrl, PathJoinsWithOneSlash) {
  struct Case { const char* base; const char* element; const char* joined; };
  const Case cases[] = {
      {"dir/", "name", "dir/name"},
      {"dir", "name", "dir/name"},
      {"dir/", "/name", "dir/name"},
      {"dir", "/name", "dir/name"},
      {"", "name", "/name"},
  };
  for (const Case& c : cases) {
    Cell* f = file(c.base);
    Cell* e = string::push_utf8(c.element);
    Cell* r = actions::eval_path_direct(f, e, nullptr, nullptr, nullptr, nullptr, -1, false,
                                        false, true, false);
    EXPECT_TRUE(r->is(TYPE_FILE));
    EXPECT_EQ(text(r), c.joined) << c.base << " + " << c.element;
  }
  Cell* u = url("http://host");
  Cell* r = actions::eval_path_direct(u, file("a b"), nullptr, nullptr, nullptr, nullptr, -1,
                                      false, false, true, false);
  EXPECT_TRUE(r->is(TYPE_URL));
  EXPECT_EQ(text(r), "http://host/a b");
  // The joined value is new: the base is left as it was.
  EXPECT_EQ(text(u), "http://host");

  EXPECT_EQ(testing::error_id([] {
              Cell* f = file("dir");
              actions::eval_path_direct(f, string::push_utf8("x"), string::push_utf8("y"),
                                        nullptr, nullptr, nullptr, -1, false, false, true, false);
            }),
            "bad-path-set");
}

TEST_F(FileUrl, UrlFromBlockOfParts) {
  Cell* spec = block::push_only(4);
  for (const char* part : {"http", "example.com", "a", "b.html"})
    block::append_cell(spec, string::push_utf8(part));
  Cell datatype;
  set_datatype(&datatype, TYPE_URL);
  Cell* u = url::to(&datatype, spec, TYPE_URL);
  EXPECT_TRUE(u->is(TYPE_URL));
  EXPECT_EQ(text(u), "http://example.com/a/b.html");

  Cell* host_only = block::push_only(2);
  for (const char* part : {"ftp", "h"}) block::append_cell(host_only, string::push_utf8(part));
  EXPECT_EQ(text(url::make(&datatype, host_only, TYPE_URL)), "ftp://h");

  EXPECT_EQ(testing::error_id([] {
              Cell dt;
              set_datatype(&dt, TYPE_URL);
              url::to(&dt, block::push_only(1), TYPE_URL);
            }),
            "bad-to-arg");
}

TEST_F(FileUrl, LocalPathAndCurrentDir) {
  Cell* cwd = file::get_current_dir();
  std::string dir = text(cwd);
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(dir.back(), '/');

  Cell* out = string::make_at(stack::new_cell(), 16);
  file::to_local_path(file("a/b"), out, false);
  EXPECT_EQ(text(out), "a/b");
  Cell* full = string::make_at(stack::new_cell(), 16);
  file::to_local_path(file("a/b"), full, true);
  EXPECT_EQ(text(full), dir + "a/b");
  Cell* rooted = string::make_at(stack::new_cell(), 16);
  file::to_local_path(file("/etc/x"), rooted, true);
  EXPECT_EQ(text(rooted), "/etc/x");
}

TEST_F(FileUrl, ActionRowsAsRegistered) {
  EXPECT_EQ(action_entry(TYPE_FILE, ACT_EVAL_PATH), action_entry(TYPE_URL, ACT_EVAL_PATH));
  EXPECT_EQ(action_entry(TYPE_FILE, ACT_FORM), action_entry(TYPE_STRING, ACT_FORM));
  EXPECT_NE(action_entry(TYPE_FILE, ACT_MOLD), action_entry(TYPE_URL, ACT_MOLD));
  for (ActionId a : {ACT_RANDOM, ACT_REFLECT, ACT_SORT, ACT_TRIM, ACT_PUT, ACT_QUERY})
    EXPECT_EQ(action_entry(TYPE_URL, a), nullptr) << int(a);
  EXPECT_NE(action_entry(TYPE_FILE, ACT_QUERY), nullptr);
  EXPECT_EQ(std::string(type_table[TYPE_FILE].name), "file!");
  EXPECT_EQ(std::string(type_table[TYPE_URL].name), "url!");
}

}  // namespace
}  // namespace tav
