#include <string>
#include <utility>
#include <vector>

#include "datatypes/base_codecs.h"
#include "datatypes/binary.h"
#include "text_eval_fixture.h"

namespace tav {
namespace {

using texteval::eval_mold;
using Binary = texteval::TextEval;

struct Case {
  const char* code;
  const char* expected;
};

void check_all(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(eval_mold(c.code), c.expected) << c.code;
}

TEST_F(Binary, ConvertsValuesToBytes) {
  check_all({
      {"to binary! 1", "#{00000001}"},
      {"to binary! -1", "#{FFFFFFFF}"},
      {"to binary! 1.0", "#{3FF0000000000000}"},
      {"to binary! #\"\u00e9\"", "#{C3A9}"},
      {"to binary! \"a\u00e9\"", "#{61C3A9}"},
      {"to binary! [1 \"a\" #{02}]", "#{016102}"},
      {"to binary! next #{010203}", "#{0203}"},
      {"to binary! #0FA0", "#{0FA0}"},
      {"to binary! #XY", "error: script/invalid-data"},
      {"to binary! :append", "error: script/bad-to-arg"},
      {"to binary! [1 300]", "error: script/invalid-arg"},
  });
}

TEST_F(Binary, ToStringRefusesInvalidUtf8) {
  EXPECT_EQ(eval_mold("to string! #{80}"), "error: access/invalid-utf8");
  EXPECT_EQ(eval_mold("to string! #{C3A9}"), "\"\u00e9\"");
}

TEST_F(Binary, MoldsShortAndLongValues) {
  EXPECT_EQ(eval_mold("mold #{}"), "\"#{}\"");
  EXPECT_EQ(eval_mold("form #{0A0B}"), "\"#{0A0B}\"");
  std::string b30(60, 'A'), b31(62, 'A'), b32(64, 'A'), b33(66, 'A');
  EXPECT_EQ(texteval::eval_mold("#{" + b30 + "}"), "#{" + b30 + "}");
  EXPECT_EQ(eval_mold("#{" + b31 + "}"), "#{\n    " + b31 + "\n}");
  EXPECT_EQ(eval_mold("#{" + b32 + "}"), "#{\n    " + b32 + "\n    }");
  EXPECT_EQ(eval_mold("#{" + b33 + "}"), "#{\n    " + b32 + "\n    AA\n}");
  EXPECT_EQ(eval_mold("mold/flat #{" + b33 + "}"), "{#{" + b33 + "}}");
  EXPECT_EQ(eval_mold("[#{" + b31 + "}]"), "[#{\n    " + b31 + "\n}]");
}

TEST_F(Binary, AppendsInsertsAndChangesBytes) {
  check_all({
      {"append #{} 65", "#{41}"},
      {"append #{} -1", "#{FF}"},
      {"append #{} 256", "error: script/invalid-arg"},
      {"append #{01} \"\u00e9\"", "#{01C3A9}"},
      {"append/dup #{} #{0102} 3", "#{010201020102}"},
      {"append/part #{} [1 2 3] 2", "#{0102}"},
      {"append/part/only #{} [#{0102} 3] 1", "#{01}"},
      {"append next #{0102} 3", "#{010203}"},
      {"insert next #{0104} #{0203}", "#{04}"},
      {"b: #{0104} insert next b #{0203} b", "#{01020304}"},
      {"b: #{0102} append b b", "#{01020102}"},
      {"b: #{010203} change next b #{AABBCC} b", "#{01AABBCC}"},
      {"b: #{010203} change/part b 255 2 b", "#{FF03}"},
      {"b: #{010203} change b \"ab\"", "#{03}"},
      {"b: #{010203} change b 12 b", "#{0C0203}"},
      {"b: #{010203} change b :append b", "#{3F616374696F6E3F}"},
  });
  // A value that cannot be stored leaves the binary as it was.
  EXPECT_EQ(eval_mold("b: #{010203} insert next b [1 300]"), "error: script/invalid-arg");
  EXPECT_EQ(eval_mold("b"), "#{010203}");
}

TEST_F(Binary, ComparesBytes) {
  check_all({
      {"equal? #{0102} #{0102}", "true"},
      {"equal? #{0102} #{010203}", "false"},
      {"equal? #{0102} \"^A^B\"", "false"},
      {"lesser? #{0102} #{010203}", "true"},
      {"lesser? #{0103} #{010203}", "false"},
      {"lesser? #{7F} #{80}", "true"},
  });
}

TEST_F(Binary, CombinesAndComplementsBits) {
  check_all({
      {"and~ #{FF0F} #{0F}", "#{0F00}"},
      {"or~ #{01} #{F0F0}", "#{F1F0}"},
      {"xor~ #{FF00} #{0FF0AA}", "#{F0F0AA}"},
      {"and~ #{01} 1", "error: script/invalid-arg"},
      {"b: #{00F0} complement b b", "#{FF0F}"},
  });
}

TEST_F(Binary, TrimsZeroBytes) {
  check_all({
      {"trim #{00000100}", "#{01}"},
      {"trim/head #{00010000}", "#{010000}"},
      {"trim/tail #{00010000}", "#{0001}"},
      {"trim/all #{00010002}", "#{0102}"},
      {"trim/with #{01020301} #{01}", "#{0203}"},
      {"head trim next #{00000100}", "#{0001}"},
      {"trim/auto #{00}", "error: internal/not-done"},
  });
}

TEST_F(Binary, FindsAndSelectsBytes) {
  check_all({
      {"find #{010203} 2", "#{0203}"},
      {"find #{313233} 2", "none"},
      {"find #{616263} \"bc\"", "#{6263}"},
      {"find/tail #{010203} #{0102}", "#{03}"},
      {"select #{010203} 2", "3"},
      {"take #{0102}", "1"},
  });
}

// ---- Base codecs --------------------------------------------------------------------------

std::string hex_of(const std::vector<uint8_t>& v) {
  std::string s;
  binary::encode_base16(v.data(), v.size(), s);
  return s;
}

std::string decode(int base, const std::string& text) {
  auto d = binary::decode_base(base, reinterpret_cast<const uint8_t*>(text.data()),
                               static_cast<uint32_t>(text.size()), 1);
  return d ? hex_of(*d) : "fail";
}

std::string encode(int base, const std::vector<uint8_t>& bytes) {
  std::string s;
  binary::encode_base(base, bytes.data(), bytes.size(), s);
  return s;
}

TEST(BaseCodecs, DecodesWithBlanksCommentsAndPadding) {
  struct D { int base; const char* text; const char* hex; };
  for (const D& c : std::initializer_list<D>{
           {2, "0100 0001", "41"},
           {2, "0100001", "fail"},
           {2, "01000012", "fail"},
           {16, "41 42 ; comment\n43", "414243"},
           {16, "414", "41"},
           {16, "4G", "fail"},
           {16, "0fA0", "0FA0"},
           {64, "QUJD", "414243"},
           {64, "QUI=", "4142"},
           {64, "QQ==", "41"},
           {64, "Q===", "fail"},
           {64, "QQ==QUJD", "41"},
           {64, "QU JD", "414243"},
           {64, "QU'JD", "414243"},
           {64, "QU-JD", "fail"},
           {64, "QU\x0bJD", "fail"},
           {64, "QUJD ; ignored", "414243"},
           {58, "115Q", "0000FF"},
           {58, "1", "00"},
           {58, "10", "fail"},
           {58, "", ""},
       })
    EXPECT_EQ(decode(c.base, c.text), c.hex) << c.base << " " << c.text;
}

TEST(BaseCodecs, RefusesCharactersBeyondAscii) {
  // "İ1" (U+0130 masks to "0" in 7 bits) and "2é" as 2-byte units.
  const uint16_t a[] = {0x130, '1'};
  const uint16_t b[] = {'2', 0xE9};
  EXPECT_FALSE(binary::decode_base16(reinterpret_cast<const uint8_t*>(a), 2, 2));
  EXPECT_FALSE(binary::decode_base58(reinterpret_cast<const uint8_t*>(b), 2, 2));
  EXPECT_FALSE(binary::decode_base64(reinterpret_cast<const uint8_t*>(b), 2, 2));
}

TEST(BaseCodecs, EncodesAndRoundTrips) {
  EXPECT_EQ(encode(64, {0x41, 0x42, 0x43}), "QUJD");
  EXPECT_EQ(encode(64, {0x41}), "QQ==");
  EXPECT_EQ(encode(64, {0x41, 0x42}), "QUI=");
  EXPECT_EQ(encode(58, {0, 0, 0xFF}), "115Q");
  EXPECT_EQ(encode(2, {0x0F}), "00001111");
  EXPECT_EQ(encode(16, {0x0F, 0xA0}), "0FA0");
  EXPECT_EQ(encode(64, {}), "");
  EXPECT_EQ(encode(58, {}), "");
  std::vector<uint8_t> data;
  for (int i = 0; i < 300; i++) data.push_back(static_cast<uint8_t>(i * 7 + (i >> 3)));
  data[0] = data[1] = 0;
  for (int base : {2, 16, 58, 64}) {
    for (size_t n : {size_t(0), size_t(1), size_t(2), size_t(3), size_t(50), data.size()}) {
      std::vector<uint8_t> part(data.begin(), data.begin() + static_cast<long>(n));
      EXPECT_EQ(decode(base, encode(base, part)), hex_of(part)) << base << " " << n;
    }
  }
}

TEST_F(Binary, MoldOfALargeBinaryWritesIntoOneBuffer) {
  // 3 MiB of bytes mold as 2 hex digits each, a line break and four blanks per 32 bytes, and
  // the brackets: the text is reserved once, so memory grows by the text, not by a string of
  // doubled buffers.
  constexpr uint32_t bytes = 3u << 20;
  Cell* bin = binary::make_at(stack::new_cell(), bytes);
  SeriesBuffer* b = cell_buffer(bin);
  for (uint32_t i = 0; i < bytes; i++) b->head_ptr()[i] = static_cast<uint8_t>(i * 7);
  b->tail = b->head + bytes;
  Cell* out = stack::new_cell();
  *out = make_cell(TYPE_STRING, 0, string::make(16));
  size_t before = memory.system_bytes;
  binary::mold(bin, out, false, false, false, nullptr, INT32_MAX, 0);
  size_t grown = memory.system_bytes - before;
  uint32_t text = string::length(out->node());
  EXPECT_EQ(text, 2 + 5 + 2 * bytes + 5 * (bytes / 32) + 1);
  EXPECT_LE(grown, size_t(text) + (1u << 20));
  SeriesBuffer* o = cell_buffer(out);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(o->head_ptr()), 11), "#{\n    0007");
  EXPECT_EQ(std::string(reinterpret_cast<char*>(o->tail_ptr()) - 10, 10), "F2F9\n    }");
  stack::pop(2);
}

}  // namespace
}  // namespace tav
