#include <string>
#include <vector>

#include "services/compression.h"
#include "text_eval_fixture.h"

namespace tav {
namespace {

using texteval::eval_mold;
using TextNatives = texteval::TextEval;

struct Case {
  const char* code;
  const char* expected;
};

void check_all(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(eval_mold(c.code), c.expected) << c.code;
}

TEST_F(TextNatives, DebaseAndEnbase) {
  check_all({
      {"debase \"QUJD\"", "#{414243}"},
      {"debase/base \"41 42 ; note^/43\" 16", "#{414243}"},
      {"debase/base \"0100 0001\" 2", "#{41}"},
      {"debase \"QU-JD\"", "none"},
      {"debase/base \"\u01302\" 16", "none"},
      {"debase/base \"2\u00e9\" 58", "none"},
      {"debase/base \"QUJD\" 32", "error: script/invalid-arg"},
      {"enbase #{414243}", "\"QUJD\""},
      {"enbase #{}", "\"\""},
      {"enbase/base #{0000FF} 58", "\"115Q\""},
      {"enbase/base \"\u00e9\" 16", "\"C3A9\""},
      {"enbase/base #{0F} 2", "\"00001111\""},
      {"enbase/base #{0F} 8", "error: script/invalid-arg"},
      {"debase/base enbase/base #{00FF10} 58 58", "#{00FF10}"},
  });
}

TEST_F(TextNatives, UrlEncodingAndCase) {
  check_all({
      {"dehex \"a%20b%C3%A9\"", "\"a b\u00e9\""},
      {"enhex \"a b\u00e9\"", "\"a%20b%C3%A9\""},
      {"uppercase \"abc\"", "\"ABC\""},
      {"uppercase/part \"abc\" 10", "\"ABC\""},
      {"lowercase/part \"ABC\" 2", "\"abC\""},
      {"s: \"xyz\" uppercase next s s", "\"xYZ\""},
      {"uppercase #\"a\"", "#\"A\""},
      {"uppercase/part \"abc\" #{01}", "error: script/expect-arg"},
  });
}

TEST_F(TextNatives, AsRetypesWithoutCopying) {
  check_all({
      {"as string! %a/b", "\"a/b\""},
      {"s: \"ab\" f: as file! s append f \"c\" s", "\"abc\""},
      {"as block! \"ab\"", "error: script/not-same-class"},
      {"as \"\" [1]", "error: script/not-same-class"},
      {"as string! #{41}", "error: script/expect-arg"},
  });
  EXPECT_EQ(eval_mold("f: as %x s: \"ab\" f: as f s append s \"c\" f"), "%abc");
}

TEST_F(TextNatives, LocalFileNames) {
  check_all({
      {"to-local-file %/tmp/a", "\"/tmp/a\""},
      {"to-local-file \"a b\"", "\"a b\""},
  });
  std::string full = eval_mold("to-local-file/full %x");
  EXPECT_GT(full.size(), 4u);
  EXPECT_EQ(full.substr(full.size() - 3), "/x\"");
}

TEST_F(TextNatives, NewLineMarkers) {
  check_all({
      {"b: [1 2 3 4] new-line next b true b", "[1\n2 3 4]"},
      {"b: [1 2 3 4] new-line? next new-line next b true", "false"},
      {"b: [1 2 3 4] new-line? new-line next b true", "true"},
      {"new-line? []", "false"},
      {"b: [1 2 3 4] new-line/all b true new-line/skip b false 2 b", "[1\n2 3\n4]"},
      {"new-line/skip [1 2] true 0", "error: script/out-of-range"},
  });
}

TEST_F(TextNatives, SetOperations) {
  check_all({
      {"union \"abc\" \"bcd\"", "\"abcd\""},
      {"intersect \"abc\" \"bcd\"", "\"bc\""},
      {"exclude \"abc\" \"bcd\"", "\"a\""},
      {"difference \"abc\" \"bcd\"", "\"ad\""},
      {"unique \"abcab\"", "\"abc\""},
      {"union [a] \"a\"", "error: script/expect-val"},
      {"union 1 2", "error: script/expect-arg"},
      {"complement? 1", "error: script/expect-arg"},
  });
}

TEST_F(TextNatives, ChecksumsThroughTheNative) {
  check_all({
      {"checksum \"123456789\" 'crc32", "-873187034"},
      {"checksum #{} 'crc32", "0"},
      {"checksum \"abc\" 'adler32", "38600999"},
      {"checksum #{} 'adler32", "1"},
      {"checksum #{010203} 'tcp", "64509"},
      {"checksum \"abc\" 'MD5", "#{900150983CD24FB0D6963F7D28E17F72}"},
      {"checksum \"abc\" 'sha1", "#{A9993E364706816ABA3E25717850C26C9CD0D89D}"},
      {"checksum/with \"what do ya want for nothing?\" 'md5 \"Jefe\"",
       "#{750C783E6AB0B503EAA86E310A5DB738}"},
      {"checksum/with \"abc\" 'crc32 \"k\"", "error: script/invalid-refine-arg"},
      {"checksum \"abc\" 'hash", "error: script/invalid-refine-arg"},
      {"checksum/with \"abc\" 'hash \"k\"", "error: script/invalid-refine-arg"},
      {"equal? checksum/with #{01} 'md5 16 checksum/with #{01} 'hash 16", "true"},
      {"checksum/with #{01} 'md5 [1]", "error: script/expect-arg"},
      {"checksum \"abc\" 'foo", "error: script/invalid-arg"},
      {"checksum 12 'md5", "error: script/expect-arg"},
  });
  EXPECT_EQ(eval_mold("length? checksum \"\" 'sha512"), "64");
}

TEST_F(TextNatives, CompressRoundTripsInEveryMethod) {
  for (const char* m : {"zlib", "deflate", "gzip", "zstd"}) {
    std::string method = std::string(" '") + m;
    for (const char* data : {"#{}", "#{00}", "\"hello hello hello hello\"",
                             "#{000102030405060708090A0B0C0D0E0F}"}) {
      std::string bin = std::string("to binary! ") + data;
      EXPECT_EQ(eval_mold("decompress compress " + std::string(data) + method + method),
                eval_mold(bin))
          << m << " " << data;
    }
  }
  EXPECT_EQ(eval_mold("compress #{} 'zlib"), "#{7801030000000001}");
  check_all({
      {"compress/level #{01} 'zlib 10", "error: script/out-of-range"},
      {"compress/level #{01} 'zlib 0", "error: script/out-of-range"},
      {"compress/level #{01} 'zstd 20", "error: script/out-of-range"},
      {"decompress compress/level \"abc\" 'zstd 19 'zstd", "#{616263}"},
      {"decompress compress/level \"abc\" 'gzip 9 'gzip", "#{616263}"},
      {"compress #{01} 'lzma", "error: script/invalid-arg"},
      {"decompress #{010203} 'zlib", "error: script/invalid-data"},
      {"decompress #{010203} 'zstd", "error: script/invalid-data"},
      {"decompress/size compress \"abcdefabcdef\" 'zlib 'zlib 2", "#{616263646566616263646566}"},
      {"decompress #{1F8B0800} 'gzip", "error: script/invalid-data"},
      // A stream that only starts like gzip is compressed, so it comes back whole.
      {"decompress compress #{1F8B0800} 'gzip 'gzip", "#{1F8B0800}"},
      {"b: compress \"abc\" 'gzip decompress compress b 'gzip 'gzip", "#{616263}"},
  });
}

TEST(Compression, ContainersFollowTheirFormats) {
  using namespace compression;
  const uint8_t text[] = "abcabcabcabc";
  uint8_t out[64];
  uint32_t size = sizeof out;
  ASSERT_EQ(gzip_compress(out, &size, text, 12, -1), OK);
  EXPECT_EQ(out[8], 4);   // XFL by level
  size = sizeof out;
  ASSERT_EQ(gzip_compress(out, &size, text, 12, 9), OK);
  EXPECT_EQ(out[8], 2);
  size = sizeof out;
  ASSERT_EQ(zlib_compress(out, &size, text, 12, 9), OK);
  EXPECT_EQ(out[1], 0xDA);
  // A destination too small answers the size needed, and writes nothing past its end.
  uint32_t small = 8;
  EXPECT_EQ(zlib_decompress(out, &small, out, size), TOO_SMALL);
  EXPECT_EQ(small, 12u);
  // A preset dictionary is refused.
  uint8_t dict[] = {0x78, 0xBB, 0, 0, 0, 0, 0, 0};
  uint32_t n = 0;
  EXPECT_EQ(zlib_decompress(nullptr, &n, dict, sizeof dict), CORRUPT);
  // A changed trailer CRC is refused; FNAME and FCOMMENT are skipped.
  uint8_t gz[64];
  uint32_t gsize = sizeof gz;
  ASSERT_EQ(gzip_compress(gz, &gsize, text, 12, -1), OK);
  std::vector<uint8_t> named(gz, gz + 10);
  named[3] = 8 | 16;
  for (char c : std::string("name")) named.push_back(static_cast<uint8_t>(c));
  named.push_back(0);
  named.push_back('c');
  named.push_back(0);
  named.insert(named.end(), gz + 10, gz + gsize);
  uint8_t back[32];
  uint32_t bsize = sizeof back;
  ASSERT_EQ(gzip_decompress(back, &bsize, named.data(), static_cast<uint32_t>(named.size())), OK);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(back), bsize), "abcabcabcabc");
  gz[gsize - 8] ^= 1;
  bsize = sizeof back;
  EXPECT_EQ(gzip_decompress(back, &bsize, gz, gsize), CORRUPT);
}

TEST_F(TextNatives, ParseEntry) {
  check_all({
      {"parse \"abc\" [\"abc\"]", "true"},
      {"parse \"ABC\" [\"abc\"]", "true"},
      {"parse/case \"ABC\" [\"abc\"]", "false"},
      {"parse/part \"abcd\" [\"ab\"] 2", "true"},
      {"parse/part \"\" [\"x\"] 0", "true"},
      {"parse/part \"ab\" [to end] 0", "false"},
      {"s: \"abcd\" parse/part s [\"ab\"] next next s", "true"},
      {"parse/part \"abcd\" [\"ab\"] \"xx\"", "error: script/invalid-refine-arg"},
  });
}

}  // namespace
}  // namespace tav
