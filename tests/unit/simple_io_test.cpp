#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "datatypes/block.h"
#include "datatypes/file.h"
#include "datatypes/string.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "core/memory.h"
#include "services/simple_io.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "test_runtime.h"
#include "core/types.h"

namespace tav {
namespace {

class SimpleIo : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensure_runtime();
    saved_ = stack::save();
    char pattern[] = "/tmp/tav-simple-io-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    stack::restore(saved_);
    std::filesystem::remove_all(dir_);
  }

  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  // A file! naming the entry in the test folder.
  Cell* file(const std::string& name) const {
    std::string p = path(name);
    Cell* c = string::push_utf8(p.data(), p.size());
    c->set_type(TYPE_FILE);
    return c;
  }
  void put(const std::string& name, const std::string& bytes) const {
    std::ofstream(path(name), std::ios::binary) << bytes;
  }
  std::string contents(const std::string& name) const {
    std::ifstream in(path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::string text(const Cell* c) { return string::to_std_string(c); }
  static std::string bytes_of(const Cell* bin) {
    SeriesBuffer* b = cell_buffer(bin);
    return std::string(reinterpret_cast<const char*>(b->head_ptr() + bin->index()),
                       b->used() - bin->index());
  }
  static std::vector<std::string> texts(Cell* blk) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < block::rs_length(blk); i++) out.push_back(text(block::rs_head(blk) + i));
    return out;
  }
  static Cell* integer(int32_t v) {
    Cell c;
    return stack::push(set_integer(&c, v));
  }

  Cell* read(const std::string& name, Cell* part = nullptr, Cell* seek = nullptr,
             bool binary = false, bool lines = false) {
    return actions::read_direct(file(name), part, seek, binary, lines, false, nullptr);
  }
  void write(const std::string& name, Cell* data, bool lines = false, bool append = false,
             Cell* part = nullptr, Cell* seek = nullptr, bool binary = false) {
    actions::write_direct(file(name), data, binary, lines, false, append, part, seek, nullptr,
                          nullptr);
  }

  std::string dir_;
  stack::State saved_{};
};

TEST_F(SimpleIo, ReadsTextBinaryAndLines) {
  put("t.txt", "\xEF\xBB\xBF" "a\r\nb\n\xC3\xA9\r");
  Cell* s = read("t.txt");
  ASSERT_TRUE(s->is(TYPE_STRING));
  EXPECT_EQ(text(s), "a\nb\né\r");   // the mark skipped, CR LF read as LF, a lone CR kept

  Cell* b = read("t.txt", nullptr, nullptr, true);
  ASSERT_TRUE(b->is(TYPE_BINARY));
  EXPECT_EQ(bytes_of(b), "\xEF\xBB\xBF" "a\r\nb\n\xC3\xA9\r");

  struct Case { const char* bytes; std::vector<std::string> lines; };
  const Case cases[] = {
      {"a\r\nb\n", {"a", "b"}},
      {"a\n\nb", {"a", "", "b"}},
      {"\n", {""}},
      {"x\r\n\r\n", {"x", ""}},
  };
  for (const Case& c : cases) {
    put("l.txt", c.bytes);
    Cell* blk = read("l.txt", nullptr, nullptr, false, true);
    ASSERT_TRUE(blk->is(TYPE_BLOCK));
    EXPECT_EQ(texts(blk), c.lines) << c.bytes;
  }

  put("empty", "");
  EXPECT_TRUE(read("empty")->is(TYPE_STRING));
  EXPECT_EQ(text(read("empty")), "");
  EXPECT_TRUE(read("empty", nullptr, nullptr, false, true)->is(TYPE_STRING));
  Cell* eb = read("empty", nullptr, nullptr, true);
  EXPECT_TRUE(eb->is(TYPE_BINARY));
  EXPECT_EQ(bytes_of(eb), "");
}

TEST_F(SimpleIo, ReadPartAndSeek) {
  put("d", "0123456789");
  struct Case { int part; int seek; const char* got; };
  const Case cases[] = {
      {-1, 3, "3456789"}, {2, 3, "34"}, {0, -1, ""}, {100, -1, "0123456789"},
      {-1, 100, ""},      {-1, 10, ""}, {4, -1, "0123"}, {5, 8, "89"},
  };
  for (const Case& c : cases) {
    Cell* part = c.part >= 0 ? integer(c.part) : nullptr;
    Cell* seek = c.seek >= 0 ? integer(c.seek) : nullptr;
    EXPECT_EQ(text(read("d", part, seek)), c.got) << c.part << " " << c.seek;
    EXPECT_EQ(bytes_of(read("d", part, seek, true)), c.got) << c.part << " " << c.seek;
  }
}

TEST_F(SimpleIo, FifoIsReadInFull) {
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  std::string sent(300000, 'x');
  for (size_t i = 0; i < sent.size(); i += 997) sent[i] = 'y';
  std::thread writer([&] {
    int fd = ::open(path("fifo").c_str(), O_WRONLY);
    size_t done = 0;
    while (fd >= 0 && done < sent.size()) {
      ssize_t n = ::write(fd, sent.data() + done, sent.size() - done);
      if (n <= 0) break;
      done += static_cast<size_t>(n);
    }
    ::close(fd);
  });
  Cell* got = read("fifo", nullptr, nullptr, true);
  writer.join();
  EXPECT_EQ(bytes_of(got), sent);
}

TEST_F(SimpleIo, SizesAre64BitAndLargeFilesAreOutOfRange) {
  int fd = ::open(path("big").c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, int64_t(5) << 30), 0);   // sparse
  ::close(fd);
  int rd = simple_io::open(path("big"), simple_io::OPEN_READ);
  ASSERT_GE(rd, 0);
  EXPECT_EQ(simple_io::size(rd), int64_t(5) << 30);
  simple_io::close(rd);
  EXPECT_EQ(testing::error_id([&] { read("big", integer(4)); }), "cannot-open");
}

TEST_F(SimpleIo, WritesTextBinaryLinesAndMolds) {
  write("a", string::push_utf8("one\ntwo é"));
  EXPECT_EQ(contents("a"), "one\ntwo é");

  Cell* blk = block::push_only(2);
  block::append_cell(blk, string::push_utf8("x"));
  block::append_cell(blk, string::push_utf8("y z"));
  write("lines", blk, true);
  EXPECT_EQ(contents("lines"), "x\ny z\n");
  write("one-line", string::push_utf8("solo"), true);
  EXPECT_EQ(contents("one-line"), "solo\n");
  write("molded", blk);
  EXPECT_EQ(contents("molded"), "[\"x\" \"y z\"]");
  Cell* f = file("name with space");
  write("file-value", f);
  EXPECT_EQ(contents("file-value"), "%\"" + path("name with space") + "\"");

  Cell* bin = read("a", nullptr, nullptr, true);
  bin->data1 = 4;   // from its index
  write("bin", bin, false, false, nullptr, nullptr, true);
  EXPECT_EQ(contents("bin"), "two é");
  write("bin-part", bin, false, false, integer(3));
  EXPECT_EQ(contents("bin-part"), "two");
  write("bin-zero", bin, false, false, integer(0));
  EXPECT_EQ(contents("bin-zero"), "");

  write("s-part", string::push_utf8("héllo"), false, false, integer(2));
  EXPECT_EQ(contents("s-part"), "hé");
}

TEST_F(SimpleIo, WriteAppendSeekAndPartRules) {
  write("f", string::push_utf8("0123456789"));
  write("f", string::push_utf8("ab"), false, true);
  EXPECT_EQ(contents("f"), "0123456789ab");
  write("f", string::push_utf8("XY"), false, false, nullptr, integer(0));
  EXPECT_EQ(contents("f"), "XY23456789ab");   // overwritten from the start, not truncated
  write("f", string::push_utf8("Z"), false, false, nullptr, integer(5));
  EXPECT_EQ(contents("f"), "XY234Z6789ab");
  write("f", string::push_utf8("new"));
  EXPECT_EQ(contents("f"), "new");

  write("never", string::push_utf8("data"), false, false, integer(-1));
  EXPECT_FALSE(std::filesystem::exists(path("never")));
  EXPECT_EQ(testing::error_id([&] { write("g", string::push_utf8("d"), false, false, string::push_utf8("2")); }),
            "invalid-refine-arg");
  EXPECT_FALSE(std::filesystem::exists(path("g")));
}

TEST_F(SimpleIo, ListsFoldersSortedWithNamesThatReopen) {
  put("b", "");
  put("a", "");
  put(".hidden", "");
  put("B", "");
  std::filesystem::create_directory(path("sub"));
  std::filesystem::create_directory_symlink(path("sub"), path("link"));
  put("sub/inner", "in");
  put("bad\xFF" "name", "raw");

  Cell* listing = read("");   // the folder's own name, ending in "/"
  ASSERT_TRUE(listing->is(TYPE_BLOCK));
  std::vector<std::string> names;
  for (int32_t i = 0; i < block::rs_length(listing); i++) {
    Cell* entry = block::rs_head(listing) + i;
    EXPECT_TRUE(entry->is(TYPE_FILE));
    std::string n;
    for (uint32_t k = 0; k < string::length(entry); k++) {
      uint32_t c = string::char_at(entry, k);
      n += c < 0x80 ? std::string(1, static_cast<char>(c)) : "<" + std::to_string(c) + ">";
    }
    names.push_back(n);
  }
  const std::vector<std::string> expected = {".hidden", "B", "a", "b", "bad<56575>name", "link/",
                                             "sub/"};
  EXPECT_EQ(names, expected);

  // The listed name with a stand-in for its bad byte opens the same file.
  Cell* bad = block::rs_head(listing) + 4;
  Cell* joined = actions::eval_path_direct(file(""), bad, nullptr, nullptr, nullptr, nullptr, -1,
                                           false, false, true, false);
  EXPECT_EQ(text(actions::read_direct(joined, nullptr, nullptr, false, false, false, nullptr)),
            "raw");

  Cell* sub = actions::read_direct(file("sub/"), nullptr, nullptr, false, false, false, nullptr);
  EXPECT_EQ(texts(sub), std::vector<std::string>{"inner"});
  Cell* dot = actions::read_direct(file("sub/."), nullptr, nullptr, false, false, false, nullptr);
  EXPECT_EQ(texts(dot), std::vector<std::string>{"inner"});

  Cell* root = string::push_utf8("/");
  root->set_type(TYPE_FILE);
  Cell* top = actions::read_direct(root, nullptr, nullptr, false, false, false, nullptr);
  std::vector<std::string> top_names = texts(top);
  EXPECT_NE(std::find(top_names.begin(), top_names.end(), "tmp/"), top_names.end());
}

TEST_F(SimpleIo, DirectoryNameRule) {
  struct Case { const char* name; bool dir; };
  const Case cases[] = {
      {"a/", true}, {".", true},  {"..", true},   {"a/.", true}, {"a/..", true},
      {"a", false}, {"", false},  {"...", false}, {"a.", false}, {"a/.b", false},
      {"/", true},  {".a", false},
  };
  for (const Case& c : cases) {
    Cell* f = string::push_utf8(c.name);
    f->set_type(TYPE_FILE);
    EXPECT_EQ(simple_io::dir_path_q(f), c.dir) << c.name;
  }
}

TEST_F(SimpleIo, DeleteRenameAndQuery) {
  put("f", "data");
  auto truth = [](Cell* c) { return c->is(TYPE_LOGIC) && c->data1 == 1; };

  Cell* date = actions::query_direct(file("f"));
  ASSERT_TRUE(date->is(TYPE_DATE));
  struct stat st;
  ASSERT_EQ(stat(path("f").c_str(), &st), 0);
  tm parts{};
  gmtime_r(&st.st_mtim.tv_sec, &parts);
  EXPECT_EQ(static_cast<int32_t>(date->data1) >> 17, parts.tm_year + 1900);
  EXPECT_EQ((date->data1 >> 12) & 15u, static_cast<uint32_t>(parts.tm_mon + 1));
  EXPECT_EQ((date->data1 >> 7) & 31u, static_cast<uint32_t>(parts.tm_mday));
  EXPECT_EQ(date->data1 & 0x7Fu, 0u);   // UTC
  EXPECT_NE(date->data1 & (1u << 16), 0u);
  double expected = parts.tm_hour * 3600.0 + parts.tm_min * 60 + parts.tm_sec +
                    (st.st_mtim.tv_nsec / 1000000) / 1000.0;
  EXPECT_DOUBLE_EQ(date->float_value(), expected);
  EXPECT_TRUE(actions::query_direct(file("missing"))->is(TYPE_NONE));
  EXPECT_TRUE(actions::query_direct(file("f/"))->is(TYPE_NONE));

  put("g", "other");
  EXPECT_FALSE(truth(actions::rename_direct(file("f"), file("g"))));   // never replaces
  EXPECT_EQ(contents("f"), "data");
  EXPECT_EQ(contents("g"), "other");
  EXPECT_TRUE(truth(actions::rename_direct(file("f"), file("h"))));
  EXPECT_FALSE(std::filesystem::exists(path("f")));
  EXPECT_EQ(contents("h"), "data");
  EXPECT_FALSE(truth(actions::rename_direct(file("f"), file("i"))));

  EXPECT_TRUE(truth(actions::delete_direct(file("h"))));
  EXPECT_FALSE(truth(actions::delete_direct(file("h"))));
  std::filesystem::create_directory(path("d"));
  EXPECT_FALSE(truth(actions::delete_direct(file("d"))));   // tried as a file
  EXPECT_TRUE(truth(actions::delete_direct(file("d/"))));
  EXPECT_FALSE(std::filesystem::exists(path("d")));
}

TEST_F(SimpleIo, FailuresRaiseAccessErrors) {
  EXPECT_EQ(testing::error_id([&] { read("missing"); }), "cannot-open");
  EXPECT_EQ(testing::error_id([&] { read("missing-dir/"); }), "cannot-open");
  EXPECT_EQ(testing::error_id([&] { write("no/such/dir", string::push_utf8("x")); }), "cannot-open");
  std::filesystem::create_directory(path("d"));
  EXPECT_EQ(testing::error_id([&] { read("d"); }), "cannot-open");   // a folder read as a file
  // A NUL cannot be part of a system path: it must not cut the name short.
  put("a", "secret");
  EXPECT_EQ(testing::error_id([&] { read(std::string("a\0b", 3)); }), "cannot-open");
  EXPECT_EQ(testing::error_id([&] { read("a", string::push_utf8("1")); }), "invalid-refine-arg");

  Cell as_type;
  set_datatype(&as_type, TYPE_STRING);
  EXPECT_EQ(testing::error_id([&] {
              actions::read_direct(file("a"), nullptr, nullptr, false, false, false, &as_type);
            }),
            "not-done");
  EXPECT_EQ(testing::error_id([&] {
              actions::write_direct(file("w"), string::push_utf8("x"), false, false, false,
                                    false, nullptr, nullptr, &as_type, nullptr);
            }),
            "not-done");
  EXPECT_FALSE(std::filesystem::exists(path("w")));
  put("bad-utf8", "ok\xFF");
  EXPECT_EQ(testing::error_id([&] { read("bad-utf8"); }), "invalid-utf8");
}

}  // namespace
}  // namespace tav
