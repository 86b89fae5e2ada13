#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/context.h"
#include "core/errors.h"
#include "core/memory.h"
#include "runtime.h"
#include "scanner/lz_codec.h"
#include "scanner/tavbin.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "test_runtime.h"
#include "core/words.h"
#include "datatypes/image.h"

namespace tav::tavbin_test {

using Bytes = std::vector<uint8_t>;

Bytes with_magic(std::initializer_list<uint8_t> rest) {
  Bytes b = {'T', 'A', 'V', 'B', 'I', 'N'};
  b.insert(b.end(), rest);
  return b;
}

Cell integer(int32_t v) {
  Cell c;
  set_integer(&c, v);
  return c;
}

Cell new_block(std::initializer_list<Cell> cells, TypeId t = TYPE_BLOCK) {
  NodeId n = alloc::new_cells(static_cast<uint32_t>(cells.size() ? cells.size() : 1));
  for (const Cell& c : cells) *series::buffer_new_tail_cell(n) = c;
  return make_cell(t, 0, n);
}

void append(const Cell& blk, const Cell& c) { *series::buffer_new_tail_cell(blk.data2) = c; }

Cell global(TypeId t, const char* name) {
  Cell w = word::make(symbol::make(name));
  w.set_type(t);
  return w;
}

// A string! of the code points (the buffer widens as they need).
Cell text(std::initializer_list<uint32_t> cps) {
  NodeId n = string::make(4);
  for (uint32_t cp : cps) string::append_char(n, cp);
  return make_cell(TYPE_STRING, 0, n);
}

// An object with the given fields, its context owned by the object cell.
Cell object(std::initializer_list<std::pair<const char*, Cell>> fields) {
  NodeId ctx = context::make(context::KIND_OBJECT, static_cast<uint32_t>(fields.size()));
  Cell obj = make_cell(TYPE_OBJECT, ctx, 1000001, 0);
  *context::owner_cell(ctx) = obj;
  for (auto& f : fields) context::put(ctx, symbol::make(f.first), &f.second);
  return obj;
}

Cell decode_block(const Bytes& bytes) {
  Cell target = new_block({});
  tavbin::decode(bytes.data(), static_cast<int64_t>(bytes.size()), &target, true);
  return target;
}

Cell decode_one(const Bytes& bytes) {
  Cell blk = decode_block(bytes);
  EXPECT_EQ(node_buffer(blk.data2)->count(), 1u);
  return node_buffer(blk.data2)->cells()[0];
}

struct Caught {
  std::string id;     // empty when nothing was raised
  Cell arg1{};
};

template <typename Fn>
Caught catch_error(Fn fn) {
  Caught result;
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  try {
    fn();
  } catch (const Unwind& u) {
    if (u.code == CODE_ERROR && (stack::top - 1)->is(TYPE_ERROR)) {
      Cell err = *(stack::top - 1);
      result.id = std::string(error::id_name(&err));
      result.arg1 = *error::field(&err, ERROR_ARG1);
    }
  }
  stack::restore(saved);
  return result;
}

Caught decode_error(const Bytes& bytes) {
  return catch_error([&] { decode_block(bytes); });
}

// Deep structural equality; `seen` pairs stop at cycles.
bool same_value(const Cell& a, const Cell& b, int depth = 0) {
  if (a.header != b.header) return false;
  if (depth > 50) return true;
  TypeId t = a.type();
  if (is_any_block(t) || t == TYPE_MAP) {
    SeriesBuffer* x = node_buffer(a.data2);
    SeriesBuffer* y = node_buffer(b.data2);
    if (a.data1 != b.data1 || x->count() != y->count()) return false;
    for (uint32_t i = 0; i < x->count(); i++)
      if (!same_value(node_buffer(a.data2)->cells()[i], node_buffer(b.data2)->cells()[i], depth + 1))
        return false;
    return true;
  }
  if (is_any_string(t) || t == TYPE_BINARY || t == TYPE_VECTOR || t == TYPE_BITSET) {
    SeriesBuffer* x = node_buffer(a.data2);
    SeriesBuffer* y = node_buffer(b.data2);
    return a.data1 == b.data1 && a.data3 == b.data3 && x->unit() == y->unit() &&
           x->used() == y->used() && std::memcmp(x->head_ptr(), y->head_ptr(), x->used()) == 0 &&
           (x->flags & tavbin::BITSET_COMPLEMENTED) == (y->flags & tavbin::BITSET_COMPLEMENTED);
  }
  if (word::is_any_word(t) && t != TYPE_ISSUE) {
    bool global_a = a.data1 == context::global, global_b = b.data1 == context::global;
    return a.data2 == b.data2 && a.data3 == b.data3 && global_a == global_b;
  }
  if (t == TYPE_OBJECT) {
    uint32_t n = context::word_count(a.data1);
    if (n != context::word_count(b.data1)) return false;
    for (uint32_t i = 0; i < n; i++) {
      if (context::word_cell(a.data1, i)->data2 != context::word_cell(b.data1, i)->data2) return false;
      if (!same_value(*context::slot_value_cell(a.data1, i), *context::slot_value_cell(b.data1, i),
                      depth + 1))
        return false;
    }
    return true;
  }
  return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3;
}

class Tavbin : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensure_runtime();
    saved_ = stack::save();
  }
  void TearDown() override { stack::restore(saved_); }
  stack::State saved_{};
};

TEST_F(Tavbin, EncodesTheIntegerFiveByteForByte) {
  Cell five = integer(5);
  EXPECT_EQ(tavbin::encode_bytes(&five, true), with_magic({0x02, 0x01, 0x01, 0x01, 0x85}));
  Cell back = decode_one(with_magic({0x02, 0x01, 0x01, 0x01, 0x85}));
  EXPECT_TRUE(back.is(TYPE_INTEGER));
  EXPECT_EQ(back.int_value(), 5);
}

TEST_F(Tavbin, EncodesABlockOfAWordAndAnIntegerByteForByte) {
  Cell blk = new_block({global(TYPE_WORD, "a"), integer(1)});
  Bytes expected = with_magic({0x02, 0x05, 0x01, 0x05, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00, 0x61,
                               0x00, 0x05, 0x02, 0x0F, 0x00, 0x81});
  EXPECT_EQ(tavbin::encode_bytes(&blk, true), expected);
  Cell back = decode_one(expected);
  EXPECT_TRUE(same_value(blk, back));
  EXPECT_EQ(node_buffer(back.data2)->cells()[0].data1, context::global);
}

// Every value round-trips through both encodings.
TEST_F(Tavbin, ValuesRoundTripThroughBothEncodings) {
  Cell f1, half, negzero, big, pct, pct_frac, secs, ch, dt, pair, tuple, money, date, typeset;
  set_float(&f1, 1.0);
  set_float(&half, 0.5);
  set_float(&negzero, -0.0);
  set_float(&big, 1e300);
  set_float(&pct, 0.5, TYPE_PERCENT);
  set_float(&pct_frac, 0.12345, TYPE_PERCENT);
  set_float(&secs, 2.0, TYPE_TIME);
  set_char(&ch, 0x1F600);
  set_datatype(&dt, TYPE_STRING);
  pair = make_cell(TYPE_PAIR, 0, uint32_t(-3), 70000);
  tuple = make_cell(TYPE_TUPLE, 0x030201, 0, 0);
  tuple.header |= 3u << tavbin::TUPLE_SIZE_SHIFT;
  money = make_cell(TYPE_MONEY, 0x12345601, 0x789, 0x55);
  money.header |= tavbin::MONEY_NEGATIVE;
  date = make_cell(TYPE_DATE, 0x12344080 | tavbin::DATE_HAS_TIME);   // 1-Apr-2330
  date.set_float_value(3600.5);
  date.set_type(TYPE_DATE);
  typeset = make_cell(TYPE_TYPESET, 0x000000F0, 0x01, 0);
  Cell bin = make_cell(TYPE_BINARY, 0, alloc::new_bytes(3));
  std::memcpy(node_buffer(bin.data2)->head_ptr(), "\x01\xFF\x00", 3);
  node_buffer(bin.data2)->tail += 3;
  Cell issue = make_cell(TYPE_ISSUE, context::global, symbol::make("tag"), uint32_t(-1));
  // Vectors keep their element type and width: bytes, 32-bit floats, percents from an index.
  auto vec = [](TypeId type, uint32_t size, const char* bytes, uint32_t n, uint32_t head) {
    Cell v = make_cell(TYPE_VECTOR, head, alloc::new_series(n, size, 0), type);
    std::memcpy(node_buffer(v.data2)->head_ptr(), bytes, size_t(n) * size);
    node_buffer(v.data2)->tail += n * size;
    return v;
  };
  Cell vec8 = vec(TYPE_INTEGER, 1, "\x01\xC8", 2, 0);
  Cell vec_f32 = vec(TYPE_FLOAT, 4, "\x00\x00\xC0\x3F\x00\x00\x20\x40", 2, 1);
  Cell vec_pct = vec(TYPE_PERCENT, 8, "\x00\x00\x00\x00\x00\x00\xE0\x3F", 1, 0);
  Cell nested = new_block({new_block({new_block({integer(7)}, TYPE_PAREN)}),
                           new_block({global(TYPE_WORD, "x"), global(TYPE_WORD, "y")}, TYPE_PATH)});
  Cell headed = new_block({integer(1), integer(2), integer(3)});
  headed.data1 = 2;
  Cell line = integer(64);
  line.header |= FLAG_NEW_LINE;
  Cell none, unset, yes;
  set_none(&none);
  set_unset(&unset);
  set_logic(&yes, true);
  // The other text kinds share string!'s record under their own type ids.
  Cell tag = text({'b'});
  tag.set_type(TYPE_TAG);
  Cell email = text({'a', '@', 0x20AC});
  email.set_type(TYPE_EMAIL);
  Cell ref = text({'r', 0x1F600});
  ref.set_type(TYPE_REF);

  const Cell cases[] = {
      integer(0), integer(63), integer(64), integer(-1), integer(INT32_MIN), f1, half, negzero,
      big, pct, pct_frac, secs, ch, dt, pair, tuple, money, date, typeset, bin, issue,
      global(TYPE_SET_WORD, "s"), global(TYPE_LIT_WORD, "l"), global(TYPE_GET_WORD, "g"),
      global(TYPE_REFINEMENT, "r"), text({'a', 'b'}), text({'a', 0x20AC}), text({'a', 0x1F600}),
      nested, headed, line, none, unset, yes, tag, email, ref, vec8, vec_f32, vec_pct};
  for (bool compact : {true, false}) {
    for (const Cell& c : cases) {
      Bytes bytes = tavbin::encode_bytes(&c, compact);
      Cell back = decode_one(bytes);
      EXPECT_TRUE(same_value(c, back)) << "type " << int(c.type()) << " compact " << compact;
    }
  }
}

TEST_F(Tavbin, CompactFloatsAndWideStringsTakeTheirShortForms) {
  struct Case {
    Cell value;
    size_t records;   // bytes of the records area
  };
  Cell one, half, pct, secs;
  set_float(&one, 1.0);
  set_float(&half, 0.5);
  set_float(&pct, 0.5, TYPE_PERCENT);
  set_float(&secs, 2.0, TYPE_TIME);
  const Case cases[] = {{one, 2}, {pct, 2}, {secs, 2}, {half, 9}, {integer(-1), 2},
                        {text({'a', 0x1F600}), 10}};
  for (const Case& c : cases) {
    Bytes b = tavbin::encode_bytes(&c.value, true);
    EXPECT_EQ(b[9], c.records) << "type " << int(c.value.type());
  }
  Bytes wide = tavbin::encode_bytes(&cases[5].value, true);
  EXPECT_EQ(wide[11], (2u << 2) | 2u);   // two characters of 4 bytes
}

TEST_F(Tavbin, ASharedBlockDecodesToOneSeries) {
  Cell inner = new_block({integer(1)});
  Cell outer = new_block({inner, inner});
  Cell back = decode_one(tavbin::encode_bytes(&outer, true));
  Cell* cells = node_buffer(back.data2)->cells();
  EXPECT_EQ(cells[0].data2, cells[1].data2);
  EXPECT_NE(cells[0].data2, inner.data2);
}

// Images carry their size and raw pixels; two cells on one image decode onto one image, each
// with its own index.
TEST_F(Tavbin, ImagesRoundTripWithTheirPixelsAndShareTheirStore) {
  for (bool compact : {true, false}) {
    image_store::Record* r = image_store::allocate(3, 2);
    for (uint32_t i = 0; i < 6; i++) r->pixels[i] = 0x01020304u * (i + 1);
    Cell img;
    image::make_at(&img, r);
    Cell later = img;
    later.data1 = 4;
    Cell blk = new_block({img, later});
    Cell back = decode_one(tavbin::encode_bytes(&blk, compact));
    Cell* cells = node_buffer(back.data2)->cells();
    ASSERT_TRUE(cells[0].is(TYPE_IMAGE));
    EXPECT_EQ(cells[0].data3, img.data3);
    EXPECT_EQ(cells[0].data2, cells[1].data2) << compact;
    EXPECT_NE(cells[0].data2, img.data2);
    EXPECT_EQ(cells[1].data1, 4u);
    image_store::Record* copy = image_store::record(&cells[0]);
    ASSERT_TRUE(copy);
    EXPECT_EQ(std::memcmp(copy->pixels, r->pixels, 24), 0) << compact;
  }
}

TEST_F(Tavbin, ImageRecordsBeyondTheSizeOrTheDataAreRefused) {
  const struct {
    const char* what;
    Bytes bytes;
  } cases[] = {
      // 65,535 × 65,535 pixels would be 16 GiB: a 32-bit product of × 4 wraps.
      {"65535x65535 with 16 bytes", with_magic({2, 1, 1, 23, 0x35, 0xFF, 0xFF, 0x03, 0xFF, 0xFF, 0x03,
                                               1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16})},
      {"width 65536", with_magic({2, 1, 1, 9, 0x35, 0x80, 0x80, 0x04, 0x01, 1, 2, 3, 4})},
      {"pixels missing", with_magic({2, 1, 1, 7, 0x35, 0x02, 0x01, 1, 2, 3, 4})},
      {"head past the pixels", with_magic({2, 1, 1, 8, 0x75, 0x02, 0x01, 0x01, 1, 2, 3, 4})},
  };
  for (const auto& c : cases) EXPECT_EQ(decode_error(c.bytes).id, "tb-invalid-record") << c.what;
}

TEST_F(Tavbin, ACyclicBlockTerminatesAndDecodesToItself) {
  for (bool compact : {true, false}) {
    Cell blk = new_block({integer(1)});
    append(blk, blk);
    Bytes bytes = tavbin::encode_bytes(&blk, compact);
    if (compact) {
      // The inner occurrence: shared prefix, block type byte, a path of one element (0).
      Bytes tail(bytes.end() - 4, bytes.end());
      EXPECT_EQ(tail, (Bytes{0xC1, 0x05, 0x01, 0x00}));
    }
    Cell back = decode_one(bytes);
    EXPECT_EQ(node_buffer(back.data2)->cells()[1].data2, back.data2);
  }
}

TEST_F(Tavbin, ObjectsAndTheirWordsRoundTrip) {
  Cell obj = object({{"a", integer(1)}, {"b", text({'x'})}});
  // A field that refers back to the object, and a word bound to it.
  *context::slot_value_cell(obj.data1, 1) = obj;
  Cell w = make_cell(TYPE_WORD, obj.data1, symbol::make("a"), 0);
  Cell blk = new_block({w, obj});
  for (bool compact : {true, false}) {
    Cell back = decode_one(tavbin::encode_bytes(&blk, compact));
    Cell* cells = node_buffer(back.data2)->cells();
    ASSERT_TRUE(cells[1].is(TYPE_OBJECT));
    NodeId ctx = cells[1].data1;
    EXPECT_EQ(cells[0].data1, ctx);   // the word and the object share the context
    EXPECT_EQ(context::get_word_value(&cells[0])->int_value(), 1);
    EXPECT_EQ(context::slot_value_cell(ctx, 1)->data1, ctx);
    EXPECT_EQ(static_cast<int32_t>(cells[1].data2), -1);   // codec streams drop class ids
  }
}

TEST_F(Tavbin, ReferencesThroughAnErrorsFieldsDecode) {
  // The block is written in full as the error's arg2; its other occurrences, in the error's
  // arg3 and beside the error, are paths that go through the error.
  Cell blk = new_block({integer(256), integer(0)});
  Cell dt;
  set_datatype(&dt, TYPE_TUPLE);
  Cell err;
  error::create(ERR_SCRIPT, "bad-to-arg", &dt, &blk, &blk, &err);
  Cell outer = new_block({err, blk, err});
  for (bool compact : {true, false}) {
    Cell back = decode_one(tavbin::encode_bytes(&outer, compact));
    Cell* cells = node_buffer(back.data2)->cells();
    ASSERT_TRUE(cells[0].is(TYPE_ERROR)) << compact;
    Cell arg2 = *error::field(&cells[0], ERROR_ARG2);
    ASSERT_TRUE(arg2.is(TYPE_BLOCK));
    EXPECT_TRUE(same_value(blk, arg2));
    EXPECT_EQ(error::field(&cells[0], ERROR_ARG3)->data2, arg2.data2);
    EXPECT_EQ(cells[1].data2, arg2.data2);
    ASSERT_TRUE(cells[2].is(TYPE_ERROR));
    EXPECT_EQ(error::field(&cells[2], ERROR_ARG2)->data2, arg2.data2);
  }
}

TEST_F(Tavbin, DatesAndMoneyThatNameNoValueAreRefused) {
  auto date = [](uint32_t year, uint32_t month, uint32_t day) {
    return make_cell(TYPE_DATE, (year << 17) | (month << 12) | (day << 7));
  };
  const struct {
    const char* what;
    Cell value;
    bool valid;
  } cases[] = {
      {"29-Feb-2000", date(2000, 2, 29), true},
      {"month 13", date(2000, 13, 1), false},
      {"month 0", date(2000, 0, 1), false},
      {"day 0", date(2000, 1, 0), false},
      {"29-Feb-1900", date(1900, 2, 29), false},
      {"31-Apr", date(2000, 4, 31), false},
      {"money of digits 0-9", make_cell(TYPE_MONEY, 0x99999901, 0, 0), true},
      {"money with a digit 10", make_cell(TYPE_MONEY, 0x0A000000, 0, 0), false},
      {"money with a low digit 15", make_cell(TYPE_MONEY, 0, 0, 0x0F000000), false},
      {"money of an unknown currency", make_cell(TYPE_MONEY, 0xFF, 0, 0), false},
  };
  for (const auto& c : cases) {
    for (bool compact : {true, false}) {
      Bytes bytes = tavbin::encode_bytes(&c.value, compact);
      if (c.valid) {
        EXPECT_TRUE(same_value(c.value, decode_one(bytes))) << c.what;
      } else {
        EXPECT_EQ(decode_error(bytes).id, "tb-invalid-record") << c.what << " " << compact;
      }
    }
  }
}

TEST_F(Tavbin, AValueThatCannotBeSerialisedRaisesNoCodecAndTheNextEncodeWorks) {
  Cell blk = new_block({integer(1), make_cell(TYPE_HANDLE, 0, 5)});
  EXPECT_EQ(catch_error([&] { tavbin::encode_bytes(&blk, true); }).id, "no-codec");
  Cell five = integer(5);
  EXPECT_EQ(tavbin::encode_bytes(&five, true).size(), 11u);
}

TEST_F(Tavbin, CompressedStreamsDecode) {
  Cell blk = new_block({});
  for (int i = 0; i < 100; i++) append(blk, text({'a', 'b', 'c'}));
  Bytes plain = tavbin::encode_bytes(&blk, true);
  Bytes packed(plain.size());
  int64_t n = lz::compress(plain.data() + 8, plain.size() - 8, packed.data());
  ASSERT_GT(n, 0);
  Bytes stream(plain.begin(), plain.begin() + 8);
  stream[7] |= tavbin::FLAG_COMPRESSED;
  stream.insert(stream.end(), packed.begin(), packed.begin() + n);
  EXPECT_TRUE(same_value(blk, decode_one(stream)));
  stream.erase(stream.end() - 3, stream.end());
  EXPECT_EQ(decode_error(stream).id, "invalid-data");
}

TEST_F(Tavbin, EveryTruncationIsRefused) {
  Cell blk = new_block({global(TYPE_WORD, "a"), text({'h', 'i'}), integer(1000)});
  Bytes whole = tavbin::encode_bytes(&blk, true);
  for (size_t n = 0; n < whole.size(); n++) {
    Bytes cut(whole.begin(), whole.begin() + n);
    std::string id = decode_error(cut).id;
    EXPECT_TRUE(id == "invalid-data" || id == "tb-invalid-record") << n << ": " << id;
  }
}

TEST_F(Tavbin, MalformedStreamsRaiseTheirErrors) {
  struct Case {
    const char* what;
    Bytes bytes;
    const char* id;
    int position;   // the arg1 of tb-invalid-record
  };
  const Case cases[] = {
      {"bad magic", {'T', 'A', 'V', 'B', 'I', 'X', 2, 1, 1, 1, 0x85}, "invalid-data", 0},
      {"unknown item", with_magic({2, 1, 1, 1, 0xC5}), "tb-invalid-record", 11},
      {"type id 0", with_magic({2, 1, 1, 1, 0x00}), "tb-invalid-record", 11},
      {"type id beyond the table", with_magic({2, 1, 1, 1, 0x3D}), "tb-invalid-record", 11},
      {"shared before an integer", with_magic({2, 1, 1, 2, 0xC1, 0x85}), "tb-invalid-record", 12},
      {"binding in a codec stream", with_magic({2, 1, 1, 2, 0xC4, 0x85}), "tb-invalid-record", 12},
      {"varint 5th byte too big", with_magic({2, 1, 1, 6, 0x0B, 0x80, 0x80, 0x80, 0x80, 0x10}),
       "tb-invalid-record", 16},
      {"string unit code 3", with_magic({2, 1, 1, 3, 0x07, 0x07, 0x00}), "tb-invalid-record", 11},
      {"typeset of 13 bytes", with_magic({2, 1, 1, 2, 0x21, 13}), "tb-invalid-record", 11},
      {"block count beyond the data", with_magic({2, 1, 1, 2, 0x05, 0x09}), "tb-invalid-record", 12},
      {"path of no element", with_magic({2, 1, 1, 2, 0xFF, 0x00}), "tb-invalid-record", 12},
      {"path onto a none", with_magic({2, 1, 1, 5, 0x03, 0xFF, 0x02, 0x00, 0x00}),
       "tb-invalid-record", 15},
      {"a date whose flag misses its time", with_magic({2, 1, 1, 5, 0x2F, 0, 0, 1, 0}),
       "tb-invalid-record", 11},
      {"a handle", with_magic({2, 1, 1, 1, 0x2E}), "no-codec", 0},
  };
  for (const Case& c : cases) {
    Caught e = decode_error(c.bytes);
    EXPECT_EQ(e.id, c.id) << c.what;
    if (c.position) {
      EXPECT_EQ(e.arg1.int_value(), c.position) << c.what;
    }
  }
}

TEST_F(Tavbin, AWordIndexOutsideItsObjectIsRefused) {
  Cell obj = object({{"a", integer(1)}});
  Cell w = make_cell(TYPE_WORD, obj.data1, symbol::make("a"), 0);
  Bytes bytes = tavbin::encode_bytes(&w, true);
  // Records: word type byte with F, symbol 0, zigzag index 0 -> 5.
  size_t at = bytes.size() - 1;
  while (!(bytes[at - 2] == 0x4F && bytes[at - 1] == 0x00)) at--;
  ASSERT_EQ(bytes[at], 0x00);
  bytes[at] = 10;
  EXPECT_EQ(decode_error(bytes).id, "tb-invalid-record");
}

TEST_F(Tavbin, NestingBeyondTheLimitIsRefused) {
  const uint32_t depth = tavbin::MAX_DEPTH + 1;
  Bytes records;
  for (uint32_t i = 0; i < depth; i++) records.insert(records.end(), {0x05, 0x01});
  records.back() = 0x00;   // the innermost block is empty
  Bytes stream = with_magic({2, 1, 1});
  uint32_t size = static_cast<uint32_t>(records.size());
  while (size >= 0x80) {
    stream.push_back(static_cast<uint8_t>(size | 0x80));
    size >>= 7;
  }
  stream.push_back(static_cast<uint8_t>(size));
  stream.insert(stream.end(), records.begin(), records.end());
  EXPECT_EQ(decode_error(stream).id, "too-deep");

  Cell top = new_block({});
  Cell cur = top;
  for (uint32_t i = 0; i < depth; i++) {
    Cell next = new_block({});
    append(cur, next);
    cur = next;
  }
  EXPECT_EQ(catch_error([&] { tavbin::encode_bytes(&top, true); }).id, "too-deep");
}

TEST_F(Tavbin, BootStreamsBindWordsAndAppendToTheRoot) {
  // A binding record sets the global word boot-x to 42 and appends nothing; then a string.
  Bytes strings = {'b', 'o', 'o', 't', '-', 'x', 0};
  Bytes b = with_magic({1, 0x05, 2, 0});
  Bytes records = {0xC4, 0x0F, 0x00, 0x0B, 84, 0x07, 0x04, 'z'};   // 42 is zigzag 84
  b.back() = static_cast<uint8_t>(records.size());
  b.insert(b.end(), {1, static_cast<uint8_t>(strings.size()), 0, 0, 0, 0});
  b.insert(b.end(), strings.begin(), strings.end());
  b.insert(b.end(), records.begin(), records.end());
  uint32_t before = node_buffer(runtime::root_node)->count();
  uint32_t first = tavbin::load_boot(b.data(), b.size());
  EXPECT_EQ(first, before);
  EXPECT_EQ(node_buffer(runtime::root_node)->count(), before + 1);
  EXPECT_TRUE(runtime::root_cell(first)->is(TYPE_STRING));
  EXPECT_EQ(context::global_value_cell(symbol::make("boot-x"))->int_value(), 42);
  node_buffer(runtime::root_node)->tail -= sizeof(Cell);
}

TEST_F(Tavbin, ABadBootImageEndsStartUpWithAStatus) {
  Bytes bad = {'N', 'O', 'T', 'A', 'V', 'B', 1, 1, 0};
  EXPECT_EXIT(tavbin::load_boot(bad.data(), bad.size()), ::testing::ExitedWithCode(1),
              "Not a Tavbin file!");
  Bytes corrupt = with_magic({1, 0x03, 4, 0, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0});   // a chunk of 0
  EXPECT_EXIT(tavbin::load_boot(corrupt.data(), corrupt.size()), ::testing::ExitedWithCode(1),
              "compressed data corrupted!");
  Bytes bad_record = with_magic({1, 1, 1, 1, 0xC5});
  EXPECT_EXIT(tavbin::load_boot(bad_record.data(), bad_record.size()),
              ::testing::ExitedWithCode(1), "TAVBIN - invalid record at index");
}

}  // namespace tav::tavbin_test
