#include "core/unicode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tav::unicode {
namespace {

using Bytes = std::vector<uint8_t>;

// A plainly written validator to check the automaton against: shortest form only, no
// surrogates, nothing above U+10FFFF. Returns the code point or -1.
int32_t reference_decode(const Bytes& b) {
  size_t n = b.size();
  uint8_t lead = b[0];
  size_t need = lead < 0x80 ? 1 : (lead & 0xE0) == 0xC0 ? 2 : (lead & 0xF0) == 0xE0 ? 3
              : (lead & 0xF8) == 0xF0 ? 4 : 0;
  if (need == 0 || need != n) return -1;
  uint32_t cp = need == 1 ? lead : lead & (0x7F >> need);
  for (size_t i = 1; i < n; ++i) {
    if ((b[i] & 0xC0) != 0x80) return -1;
    cp = (cp << 6) | (b[i] & 0x3F);
  }
  static const uint32_t min_for[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < min_for[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
  return static_cast<int32_t>(cp);
}

Bytes encode(uint32_t cp) {
  uint8_t buf[4];
  int n = encode_utf8_char(cp, buf);
  return Bytes(buf, buf + n);
}

// Every form of cp in len bytes, whether or not len is its shortest.
Bytes encode_in(uint32_t cp, int len) {
  static const uint8_t lead_bits[] = {0, 0, 0xC0, 0xE0, 0xF0};
  Bytes b(static_cast<size_t>(len));
  for (int i = len - 1; i > 0; --i, cp >>= 6) b[static_cast<size_t>(i)] = 0x80 | (cp & 0x3F);
  b[0] = static_cast<uint8_t>(lead_bits[len] | cp);
  return b;
}

TEST(UnicodeUtf8, EveryCodePointRoundTripsAndEveryOverlongFormIsRejected) {
  for (uint32_t cp = 0; cp <= MAX_CODE_POINT; ++cp) {
    Bytes b = encode(cp);
    ASSERT_EQ(b.size(), static_cast<size_t>(utf8_char_size(cp)));
    bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
    int32_t fast;
    const uint8_t* after = fast_decode_utf8_char(b.data(), b.data() + b.size(), &fast);
    size_t len;
    int32_t checked = decode_utf8_checked(b.data(), b.size(), &len);
    if (surrogate) {
      ASSERT_EQ(fast, -1) << std::hex << cp;
      ASSERT_EQ(checked, UTF8_INVALID) << std::hex << cp;
    } else {
      ASSERT_EQ(fast, static_cast<int32_t>(cp));
      ASSERT_EQ(after, b.data() + b.size());
      ASSERT_EQ(checked, cp == 0xFFFE ? UTF8_INVALID : static_cast<int32_t>(cp));
      ASSERT_EQ(len, b.size());
    }
    for (int longer = static_cast<int>(b.size()) + 1; longer <= 4 && cp < 0x200; ++longer) {
      Bytes o = encode_in(cp, longer);
      fast_decode_utf8_char(o.data(), o.data() + o.size(), &fast);
      ASSERT_EQ(fast, -1) << "overlong " << std::hex << cp;
      ASSERT_EQ(decode_utf8_checked(o.data(), o.size(), &len), UTF8_INVALID);
    }
  }
  // Overlong forms of the largest values each length could hold.
  for (auto [cp, len] : {std::pair{0x7FFu, 3}, {0xFFFFu, 4}, {0x7Fu, 2}}) {
    Bytes o = encode_in(cp, len);
    size_t n;
    EXPECT_EQ(decode_utf8_checked(o.data(), o.size(), &n), UTF8_INVALID) << std::hex << cp;
  }
}

TEST(UnicodeUtf8, AutomatonAgreesWithReferenceOnAllShortSequences) {
  Bytes b;
  int32_t cp;
  for (unsigned x = 0; x < 256; ++x) {
    b = {static_cast<uint8_t>(x)};
    fast_decode_utf8_char(b.data(), b.data() + 1, &cp);
    ASSERT_EQ(cp, reference_decode(b)) << std::hex << x;
    for (unsigned y = 0; y < 256; ++y) {
      b = {static_cast<uint8_t>(x), static_cast<uint8_t>(y)};
      if ((x & 0xE0) == 0xC0) {
        fast_decode_utf8_char(b.data(), b.data() + 2, &cp);
        ASSERT_EQ(cp, reference_decode(b)) << std::hex << x << " " << y;
      }
      if ((x & 0xF0) != 0xE0) continue;
      for (unsigned z = 0; z < 256; ++z) {
        Bytes t = {static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(z)};
        fast_decode_utf8_char(t.data(), t.data() + 3, &cp);
        ASSERT_EQ(cp, reference_decode(t)) << std::hex << x << " " << y << " " << z;
      }
    }
  }
}

TEST(UnicodeUtf8, CheckedDecoderResults) {
  struct Case {
    Bytes in;
    int32_t cp;
    size_t length;
  } cases[] = {
      {{0x41}, 0x41, 1},
      {{0xC3, 0xA9, 0x41}, 0xE9, 2},
      {{0xE2, 0x82, 0xAC}, 0x20AC, 3},
      {{0xF0, 0x9F, 0x98, 0x80}, 0x1F600, 4},
      {{0xED, 0xB3, 0x80}, UTF8_INVALID, 1},        // U+DCC0
      {{0xED, 0xA0, 0x80}, UTF8_INVALID, 1},        // U+D800: a surrogate too
      {{0xEF, 0xBF, 0xBE}, UTF8_INVALID, 3},        // U+FFFE
      {{0xC0, 0x80}, UTF8_INVALID, 1},              // overlong NUL
      {{0xE0, 0x80, 0xAF}, UTF8_INVALID, 1},        // overlong "/"
      {{0xF4, 0x90, 0x80, 0x80}, UTF8_INVALID, 1},  // above U+10FFFF
      {{0xF8, 0x88, 0x80, 0x80}, UTF8_INVALID, 1},
      {{0x80}, UTF8_INVALID, 1},
      {{0xC3, 0x41}, UTF8_INVALID, 1},  // the "A" is not swallowed
      {{0xE2, 0x82}, UTF8_TRUNCATED, 2},
      {{0xF0, 0x9F, 0x98}, UTF8_TRUNCATED, 3},
      {{0xE2, 0x41}, UTF8_INVALID, 1},  // can never complete, whatever follows
      {{0xED, 0xA0}, UTF8_INVALID, 1},  // a surrogate in the making
  };
  for (const Case& c : cases) {
    size_t len = 99;
    EXPECT_EQ(decode_utf8_checked(c.in.data(), c.in.size(), &len), c.cp) << ::testing::PrintToString(c.in);
    EXPECT_EQ(len, c.length) << ::testing::PrintToString(c.in);
  }
}

std::u32string load_utf8(const Bytes& in, bool crlf, Utf8Scan* scan_out = nullptr) {
  Utf8Scan s = scan_utf8(in.data(), in.size(), crlf);
  if (scan_out) *scan_out = s;
  std::vector<uint8_t> buf(s.chars * s.unit + 1);
  size_t n = decode_utf8_units(in.data(), s, crlf, buf.data(), s.unit);
  EXPECT_EQ(n, s.chars);
  std::u32string out;
  for (size_t i = 0; i < n; ++i) out += static_cast<char32_t>(read_unit(buf.data(), i, s.unit));
  return out;
}

TEST(UnicodeUtf8, LoadingPicksTheSmallestUnitAndFoldsLineEnds) {
  struct Case {
    Bytes in;
    bool crlf;
    std::u32string text;
    unsigned unit;
    Utf8Status status;
    size_t bytes_left;
  } cases[] = {
      {{0xC3, 0xA9}, false, U"\u00E9", 1, Utf8Status::ok, 0},
      {{0xE2, 0x82, 0xAC}, false, U"\u20AC", 2, Utf8Status::ok, 0},
      {{0xF0, 0x9F, 0x98, 0x80}, false, U"\U0001F600", 4, Utf8Status::ok, 0},
      {{0x61, 0x62, 0x63, 0xE2, 0x82}, false, U"abc", 1, Utf8Status::truncated, 2},
      {{0xEF, 0xBB, 0xBF}, false, U"", 1, Utf8Status::ok, 0},
      {{0xEF, 0xBB, 0xBF, 0x61}, false, U"a", 1, Utf8Status::ok, 0},
      {{0x61, 0x0D, 0x0A, 0x62, 0x0D, 0x63}, true, U"a\nb\nc", 1, Utf8Status::ok, 0},
      {{0x61, 0x0D, 0x0A, 0x62, 0x0D, 0x63}, false, U"a\r\nb\rc", 1, Utf8Status::ok, 0},
      {{0x0D}, true, U"\n", 1, Utf8Status::ok, 0},
      {{}, false, U"", 1, Utf8Status::ok, 0},
  };
  for (const Case& c : cases) {
    Utf8Scan s;
    EXPECT_EQ(load_utf8(c.in, c.crlf, &s), c.text) << ::testing::PrintToString(c.in);
    EXPECT_EQ(s.unit, c.unit) << ::testing::PrintToString(c.in);
    EXPECT_EQ(s.status, c.status) << ::testing::PrintToString(c.in);
    EXPECT_EQ(s.bytes_left, c.bytes_left) << ::testing::PrintToString(c.in);
  }
}

TEST(UnicodeUtf8, InvalidInputReportsWhereAndAtMostTheBytesLeft) {
  Bytes in = {0x78, 0xC3, 0x41};
  Utf8Scan s = scan_utf8(in.data(), in.size(), false);
  EXPECT_EQ(s.status, Utf8Status::invalid);
  EXPECT_EQ(s.end, 1u);
  EXPECT_EQ(invalid_utf8_arg_size(in.size() - s.end), 2u);  // C3 41, not four bytes

  Bytes longer = {0xC3, 0x41, 0x42, 0x43, 0x44};
  s = scan_utf8(longer.data(), longer.size(), false);
  EXPECT_EQ(s.status, Utf8Status::invalid);
  EXPECT_EQ(invalid_utf8_arg_size(longer.size() - s.end), 4u);
}

TEST(UnicodeUtf8, CountingAndSkippingNeverReadPastTheEnd) {
  // Exact-size heap copies, so that a read past the end shows under AddressSanitizer.
  struct Case {
    Bytes in;
    size_t chars;
  } cases[] = {
      {{0x61, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0xF0, 0x9F, 0x98, 0x80}, 4},
      {{0x61, 0xF0}, 2},
      {{0x61, 0xE2, 0x82}, 2},
      {{0xC3, 0x41}, 2},  // a broken piece and the letter after it
      {{0xFF, 0xFE, 0x41}, 3},
      {{}, 0},
  };
  for (const Case& c : cases) {
    auto heap = std::make_unique<uint8_t[]>(c.in.size() + (c.in.empty() ? 1 : 0));
    std::copy(c.in.begin(), c.in.end(), heap.get());
    const uint8_t* end = heap.get() + c.in.size();
    EXPECT_EQ(utf8_length(heap.get(), end), c.chars) << ::testing::PrintToString(c.in);
    EXPECT_EQ(utf8_skip(heap.get(), end, 100), end);
  }
  Bytes text = {0x61, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0x62};
  EXPECT_EQ(utf8_skip(text.data(), text.data() + text.size(), 2), text.data() + 3);
  EXPECT_EQ(utf8_skip(text.data(), text.data() + text.size(), 3), text.data() + 6);
}

TEST(UnicodeUtf8, LeadLength) {
  EXPECT_EQ(utf8_lead_length(0x41), 0);
  EXPECT_EQ(utf8_lead_length(0x9F), 0);
  EXPECT_EQ(utf8_lead_length(0xC3), 2);
  EXPECT_EQ(utf8_lead_length(0xE2), 3);
  EXPECT_EQ(utf8_lead_length(0xF0), 4);
  EXPECT_EQ(utf8_lead_length(0xFF), 4);
}

TEST(UnicodeUtf8, EncodingUnitsWithLineEndsAndLimits) {
  const uint16_t units[] = {0x61, 0x0A, 0xE9, 0x20AC};
  Utf8Size size = utf8_size(units, 4, 2);
  EXPECT_TRUE(size.ok);
  EXPECT_EQ(size.bytes, 1u + 1u + 2u + 3u);
  EXPECT_EQ(utf8_size(units, 4, 2, true).bytes, size.bytes + 1);

  uint8_t out[utf8_bound(4, 2)];
  Utf8Size w = units_to_utf8(units, 4, 2, out, true, true);
  ASSERT_TRUE(w.ok);
  EXPECT_EQ(Bytes(out, out + w.bytes + 1),
            (Bytes{0x61, 0x0D, 0x0A, 0xC3, 0xA9, 0xE2, 0x82, 0xAC, 0x00}));

  // Cut inside the euro sign: the room is filled, never overrun.
  uint8_t small[8] = {};
  std::fill(small, small + 8, 0xAA);
  EXPECT_EQ(units_to_utf8_limited(units, 4, 2, small, 5, true), 5u);
  EXPECT_EQ(Bytes(small, small + 7), (Bytes{0x61, 0x0A, 0xC3, 0xA9, 0xE2, 0x00, 0xAA}));
  EXPECT_EQ(encode_utf8_char_limited(0x1F600, small, 2), 2);
  EXPECT_EQ(small[0], 0xF0);
  EXPECT_EQ(small[1], 0x9F);

  const uint32_t bad[] = {0x41, 0x110000, 0x42};
  Utf8Size b = utf8_size(bad, 3, 4);
  EXPECT_FALSE(b.ok);
  EXPECT_EQ(b.bad_char, 0x110000u);
  b = units_to_utf8(bad, 3, 4, out, false, true);
  EXPECT_FALSE(b.ok);
  EXPECT_EQ(b.bad_char, 0x110000u);
  EXPECT_EQ(utf8_char_size(0x110000), 0);
  EXPECT_EQ(encode_utf8_char(0x110000, out), 0);
}

std::u32string load_utf16(const std::vector<uint16_t>& code_units, bool drop_cr, unsigned* unit) {
  Bytes le;
  for (uint16_t u : code_units) {
    le.push_back(static_cast<uint8_t>(u));
    le.push_back(static_cast<uint8_t>(u >> 8));
  }
  Utf16Scan s = scan_utf16(le.data(), code_units.size(), drop_cr);
  *unit = s.unit;
  std::vector<uint8_t> buf(s.chars * s.unit + 1);
  size_t n = decode_utf16_units(le.data(), code_units.size(), drop_cr, buf.data(), s.unit);
  EXPECT_EQ(n, s.chars);
  std::u32string out;
  for (size_t i = 0; i < n; ++i) out += static_cast<char32_t>(read_unit(buf.data(), i, s.unit));
  return out;
}

TEST(UnicodeUtf16, Loading) {
  struct Case {
    std::vector<uint16_t> in;
    bool drop_cr;
    std::u32string text;
    unsigned unit;
  } cases[] = {
      {{0xD800, 0x0041}, false, U"\uFFFDA", 2},  // unpaired high surrogate
      {{0x0041, 0xD800}, false, U"A\uFFFD", 2},  // ... also as the last unit
      {{0xD83D, 0xDE00}, false, U"\U0001F600", 4},
      {{0xDC00}, false, std::u32string(1, 0xDC00), 2},  // a lone low surrogate stays
      {{0x61, 0xE9}, false, U"a\u00E9", 1},
      {{0x61, 0x20AC}, false, U"a\u20AC", 2},
      {{0x61, 0x0D, 0x0A, 0x62, 0x0D, 0x63}, true, U"a\nbc", 1},
      {{}, false, U"", 1},
  };
  for (const Case& c : cases) {
    unsigned unit;
    EXPECT_EQ(load_utf16(c.in, c.drop_cr, &unit), c.text) << ::testing::PrintToString(c.in);
    EXPECT_EQ(unit, c.unit) << ::testing::PrintToString(c.in);
  }
}

std::vector<uint16_t> code_units(const uint8_t* le, size_t n) {
  std::vector<uint16_t> out;
  for (size_t i = 0; i < n; ++i) out.push_back(static_cast<uint16_t>(le[2 * i] | le[2 * i + 1] << 8));
  return out;
}

TEST(UnicodeUtf16, EncodingReservesRoomForPairsAndLineEnds) {
  const uint32_t text[] = {0x10000, 0x0A, 0x41};
  size_t room = utf16_room(text, 3, 4);
  EXPECT_EQ(room, 3u * 2 + 2 + 2 + 2);
  std::vector<uint8_t> out(room);
  int64_t n = units_to_utf16(text, 3, 4, out.data(), true);
  ASSERT_EQ(n, 5);
  EXPECT_EQ(code_units(out.data(), 6),
            (std::vector<uint16_t>{0xD800, 0xDC00, 0x0D, 0x0A, 0x41, 0x00}));

  n = units_to_utf16(text, 3, 4, out.data(), false);
  EXPECT_EQ(n, 4);

  const uint32_t bad[] = {0x41, 0x110000};
  std::vector<uint8_t> b(utf16_room(bad, 2, 4));
  EXPECT_EQ(units_to_utf16(bad, 2, 4, b.data(), false), -1);
  uint8_t one[4];
  EXPECT_EQ(encode_utf16_char(0x110000, one), 0);
  EXPECT_EQ(encode_utf16_char(0x10FFFF, one), 2);
  EXPECT_EQ(code_units(one, 2), (std::vector<uint16_t>{0xDBFF, 0xDFFF}));
}

TEST(UnicodeUnits, WideningInPlaceKeepsEveryCharacter) {
  for (auto [from, to] : {std::pair{1u, 2u}, {1u, 4u}, {2u, 4u}}) {
    std::vector<uint8_t> buf(5 * to);
    const uint32_t text[] = {0x41, 0xE9, 0xFF, 0x00, from == 2 ? 0x20ACu : 0x7Fu};
    for (size_t i = 0; i < 5; ++i) write_unit(buf.data(), i, from, text[i]);
    widen_units(buf.data(), 5, from, to);
    for (size_t i = 0; i < 5; ++i)
      EXPECT_EQ(read_unit(buf.data(), i, to), text[i]) << from << "->" << to << " at " << i;
  }
}

TEST(UnicodeUnits, SmallestUnitForARun) {
  const uint32_t latin[] = {0x41, 0xFF};
  const uint32_t bmp[] = {0x41, 0x100};
  const uint32_t astral[] = {0x41, 0x100, 0x10000};
  EXPECT_EQ(min_unit(latin, 2, 4), 1u);
  EXPECT_EQ(min_unit(bmp, 2, 4), 2u);
  EXPECT_EQ(min_unit(astral, 3, 4), 4u);
  EXPECT_EQ(min_unit(astral, 0, 4), 1u);
  EXPECT_EQ(unit_for(0xFF), 1u);
  EXPECT_EQ(unit_for(0x100), 2u);
  EXPECT_EQ(unit_for(0xFFFF), 2u);
  EXPECT_EQ(unit_for(0x10000), 4u);
}

TEST(UnicodeCp1251, Decoding) {
  const Bytes in = {0x41, 0xC0, 0xFF, 0x88, 0x0D, 0x0A, 0x98};
  Utf16Scan s = scan_cp1251(in.data(), in.size(), true);
  EXPECT_EQ(s.chars, 6u);
  EXPECT_EQ(s.unit, 2u);
  std::vector<uint8_t> buf(s.chars * 2);
  ASSERT_EQ(decode_cp1251_units(in.data(), in.size(), true, buf.data(), 2), 6u);
  const uint32_t want[] = {0x41, 0x0410, 0x044F, 0x20AC, 0x0A, 0x98};
  for (size_t i = 0; i < 6; ++i) EXPECT_EQ(read_unit(buf.data(), i, 2), want[i]) << i;
  EXPECT_EQ(cp1251_char(0x80), 0x0402u);
}

}  // namespace
}  // namespace tav::unicode
