// The series, text and conversion natives: set operations, URL and base encodings, case
// changes, `as`, local file names, new-line markers, checksums, compression and the entry of
// `parse`. Each checks its arguments, hands the work to a datatype or codec, and shapes the
// result in the base cell.
#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <vector>

#include "datatypes/base_codecs.h"
#include "datatypes/binary.h"
#include "datatypes/bitset.h"
#include "datatypes/block.h"
#include "datatypes/block_actions.h"
#include "datatypes/date.h"
#include "datatypes/file.h"
#include "datatypes/money.h"
#include "datatypes/pair.h"
#include "datatypes/point.h"
#include "datatypes/series.h"
#include "datatypes/string.h"
#include "datatypes/string_ops.h"
#include "datatypes/typeset.h"
#include "datatypes/url.h"
#include "core/call_frame.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "evaluator/checksum.h"
#include "evaluator/natives.h"
#include "evaluator/parse.h"
#include "evaluator/parse_trace.h"
#include "init_steps.h"
#include "runtime.h"
#include "services/compression.h"
#include "services/simple_io.h"
#include "core/stack.h"
#include "core/string_buffer.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav::natives {

namespace text_natives_detail {

using call_frame::arg;
inline Cell* ref_cell(const int32_t* refs, int i) {
  return refs[i] == -1 ? nullptr : stack::base + refs[i];
}
inline bool ref_flag(const int32_t* refs, int i) { return refs[i] != -1; }

Status result(const Cell* value) {
  Cell v = *value;
  *stack::base = v;
  stack::top = stack::base + 1;
  return CODE_NONE;
}

// Method words, interned at start-up: the natives compare a method argument's canonical
// symbol with these.
uint32_t checksum_symbols[checksum::METHOD_COUNT] = {};
uint32_t compression_symbols[4] = {};

// Index of the word among the symbols (by canonical spelling), or -1.
int symbol_index(const Cell* word, const uint32_t* symbols, int count) {
  if (!is_any_word(word->type())) return -1;
  uint32_t a = symbol::alias(word->data2);
  for (int i = 0; i < count; i++)
    if (symbols[i] && symbol::alias(symbols[i]) == a) return i;
  return -1;
}

Cell datatype_of(TypeId t) {
  Cell c;
  set_datatype(&c, t);
  return c;
}

// The bytes of a string (its UTF-8) or a binary! from its index.
std::vector<uint8_t> data_bytes(const Cell* value) {
  std::vector<uint8_t> bytes;
  binary::byte_form(value, -1, false, binary::ByteMode::strict, bytes);
  return bytes;
}

// ---- Set operations ------------------------------------------------------------------------

template <int Op>
Status set_op(const int32_t* refs) {
  const bool unique = Op == string::SET_UNIQUE;
  Cell* s1 = arg(0);
  Cell* s2 = unique ? nullptr : arg(1);
  int ref_base = 0;
  bool case_ = ref_flag(refs, ref_base);
  Cell* skip = ref_cell(refs, ref_base + 1);
  TypeId t1 = s1->type();
  if (s2) {
    TypeId t2 = s2->type();
    bool blocks = (t1 == TYPE_BLOCK || t1 == TYPE_HASH) && (t2 == TYPE_BLOCK || t2 == TYPE_HASH);
    if (!blocks && t1 != t2) {
      Cell d1 = datatype_of(t1), d2 = datatype_of(t2);
      error::raise(ERR_SCRIPT, "expect-val", &d1, &d2);
    }
  }
  if (t1 == TYPE_STRING) {
    Cell second = s2 ? *s2 : *s1;
    string::do_set_op(s1, &second, case_, skip, Op);
    return result(s1);
  }
  if (t1 == TYPE_BLOCK || t1 == TYPE_HASH) {
    Cell second = s2 ? *s2 : *s1;
    block::do_set_op(s1, &second, case_, skip, Op);
    return result(s1);
  }
  // The bitset and typeset workers read both operands at the base and leave the answer there.
  if (t1 == TYPE_BITSET || t1 == TYPE_TYPESET) {
    if (unique) return result(s1);
    if (t1 == TYPE_BITSET) bitset::do_set_op(Op);
    else typeset::do_set_op(Op);
    stack::top = stack::base + 1;
    return CODE_NONE;
  }
  if (t1 == TYPE_DATE && Op == string::SET_DIFFERENCE) {
    date::difference(s1, s2);
    return result(s1);
  }
  static const char* const names[] = {"unique", "union", "intersect", "exclude", "difference"};
  Cell name = word::make(symbol::make(names[Op - string::SET_UNIQUE]));
  Cell dt = datatype_of(t1);
  Cell which = word::make(symbol::make(unique ? "set" : "set1"));
  error::raise(ERR_SCRIPT, "expect-arg", &name, &dt, &which);
}

Status complement_q(const int32_t*) {
  Cell* bits = arg(0);
  if (!bits->is(TYPE_BITSET)) {
    Cell name = word::make(symbol::make("complement?"));
    Cell dt = datatype_of(bits->type());
    Cell which = word::make(symbol::make("bits"));
    error::raise(ERR_SCRIPT, "expect-arg", &name, &dt, &which);
  }
  // The complement flag lives in the bit array's buffer flags.
  Cell answer;
  set_logic(&answer, (cell_buffer(bits)->flags & 0x80000u) != 0);
  return result(&answer);
}

// ---- URL and base encodings -----------------------------------------------------------------

Status dehex(const int32_t*) {
  Cell* out = string::make_at(stack::new_cell(), string::length(arg(0)));
  url::decode(arg(0), out->node());
  return result(out);
}

Status enhex(const int32_t*) {
  Cell* out = string::make_at(stack::new_cell(), string::length(arg(0)));
  int mode = arg(0)->is(TYPE_STRING) ? url::ENCODE_UNRESERVED : url::ENCODE_URL;
  url::encode(arg(0), out->node(), mode);
  return result(out);
}

int base_of(const int32_t* refs) {
  Cell* b = ref_cell(refs, 0);
  if (!b) return 64;
  if (!b->is(TYPE_INTEGER) || !binary::is_supported_base(b->int_value()))
    error::raise(ERR_SCRIPT, "invalid-arg", b);
  return b->int_value();
}

Status debase(const int32_t* refs) {
  int base = base_of(refs);
  if (!is_any_string(arg(0)->type())) error::raise(ERR_SCRIPT, "invalid-arg", arg(0));
  string::CharView text = string::view_of(arg(0));
  binary::Decoded d = binary::decode_base(base, text.p, text.count, text.unit);
  if (!d) {
    Cell none;
    return result(set_none(&none));
  }
  return result(binary::load(d->data(), d->size()));
}

Status enbase(const int32_t* refs) {
  int base = base_of(refs);
  std::vector<uint8_t> bytes = data_bytes(arg(0));
  int64_t n = static_cast<int64_t>(bytes.size());
  int64_t capacity = base == 64 ? (n / 3) * 4 + ((n % 3) * 4) / 3 + (n / 32) * 2 + 5
                     : base == 58 ? n * 2
                     : base == 16 ? n * 2 + n / 32 + 32
                                  : n * 8 + (n / 8) * 2 + 4;
  if (capacity > INT32_MAX) error::raise(ERR_SCRIPT, "too-long");
  std::string text;
  binary::encode_base(base, bytes.data(), bytes.size(), text);
  Cell* out = string::make_at(stack::new_cell(), static_cast<uint32_t>(text.size()));
  string::append_bytes(out->node(), text.data(), text.size());
  return result(out);
}

// ---- Case --------------------------------------------------------------------------------------

template <bool Upper>
Status change_case(const int32_t* refs) {
  Cell* value = arg(0);
  Cell* part = ref_cell(refs, 0);
  if (value->is(TYPE_CHAR) || is_any_string(value->type())) {
    string::change_case(value, part, Upper);
  } else {
    error::raise(ERR_SCRIPT, "invalid-arg", value);
  }
  return result(value);
}

// ---- as ----------------------------------------------------------------------------------

bool is_block_like(TypeId t) {
  return t == TYPE_BLOCK || t == TYPE_PAREN || is_any_path(t);
}

Status as(const int32_t*) {
  Cell* type = arg(0);
  Cell* spec = arg(1);
  TypeId target = type->is(TYPE_DATATYPE) ? static_cast<TypeId>(type->data1) : type->type();
  TypeId from = spec->type();
  bool ok = (is_block_like(target) && is_block_like(from)) ||
            (is_any_string(target) && is_any_string(from));
  if (!ok) {
    Cell d1 = datatype_of(from), d2 = datatype_of(target);
    error::raise(ERR_SCRIPT, "not-same-class", &d1, &d2);
  }
  Cell out = *spec;
  out.set_type(target);
  return result(&out);
}

// ---- Files -------------------------------------------------------------------------------

Status to_local_file(const int32_t* refs) {
  Cell* path = arg(0);
  if (!is_any_string(path->type())) error::raise(ERR_SCRIPT, "invalid-arg", path);
  Cell* out = string::make_at(stack::new_cell(), string::length(path));
  file::to_local_path(path, out, ref_flag(refs, 0));
  return result(out);
}

// ---- New-line markers ----------------------------------------------------------------------

Status new_line(const int32_t* refs) {
  Cell* pos = arg(0);
  bool value = is_true(arg(1));
  bool all = ref_flag(refs, 0);
  Cell* size = ref_cell(refs, 1);
  int32_t step = 0;
  if (all) step = 1;
  if (size) {
    if (!size->is(TYPE_INTEGER) || size->int_value() <= 0)
      error::raise(ERR_SCRIPT, "out-of-range", size);
    step = size->int_value();
  }
  int32_t len = block::rs_length(pos);
  if (len > 0) {
    Cell* cells = block::rs_head(pos);
    int32_t count = step == 0 ? 1 : len;
    for (int32_t i = 0; i < count; i++) {
      bool selected = step <= 1 || i % step == 0;
      if (selected == value) cells[i].header |= FLAG_NEW_LINE;
      else cells[i].header &= ~FLAG_NEW_LINE;
    }
  }
  return result(pos);
}

Status new_line_q(const int32_t*) {
  Cell* pos = arg(0);
  Cell answer;
  set_logic(&answer, block::rs_length(pos) > 0 && (block::rs_head(pos)->header & FLAG_NEW_LINE));
  return result(&answer);
}

// ---- checksum ----------------------------------------------------------------------------

Status checksum_native(const int32_t* refs) {
  Cell* data = arg(0);
  Cell* method = arg(1);
  Cell* spec = ref_cell(refs, 0);
  std::vector<uint8_t> bytes;
  if (data->is(TYPE_FILE)) {
    Cell* read = simple_io::read(data, nullptr, nullptr, true, false, false);
    bytes = data_bytes(read);
  } else if (data->is(TYPE_STRING) || data->is(TYPE_BINARY)) {
    bytes = data_bytes(data);
  } else {
    error::raise(ERR_SCRIPT, "invalid-arg", data);
  }
  int k = symbol_index(method, checksum_symbols, checksum::METHOD_COUNT);
  if (k < 0) error::raise(ERR_SCRIPT, "invalid-arg", method);
  auto m = static_cast<checksum::Method>(k);
  using checksum::Method;
  Cell with_word = word::make(symbol::make("with"));
  with_word.set_type(TYPE_REFINEMENT);
  Cell out;
  if (m == Method::crc32 || m == Method::tcp || m == Method::adler32) {
    if (spec) error::raise(ERR_SCRIPT, "invalid-refine-arg", &with_word, method);
    uint32_t v = m == Method::crc32   ? checksum::crc32(bytes.data(), bytes.size())
                 : m == Method::tcp   ? checksum::tcp(bytes.data(), bytes.size())
                                      : checksum::adler32(bytes.data(), bytes.size());
    return result(set_integer(&out, static_cast<int32_t>(v)));
  }
  std::optional<checksum::Digest> d;
  if (spec) {
    if (spec->is(TYPE_INTEGER)) {
      // A table size, whatever the method word: the slot the data hashes to.
      if (spec->int_value() <= 0) error::raise(ERR_SCRIPT, "invalid-arg", spec);
      uint32_t slot = checksum::table_hash(bytes.data(), bytes.size(),
                                           static_cast<uint32_t>(spec->int_value()));
      return result(set_integer(&out, static_cast<int32_t>(slot)));
    }
    if (!spec->is(TYPE_STRING) && !spec->is(TYPE_BINARY))
      error::raise(ERR_SCRIPT, "invalid-arg", spec);
    if (m == Method::hash) error::raise(ERR_SCRIPT, "invalid-refine-arg", &with_word, spec);
    std::vector<uint8_t> key = data_bytes(spec);
    d = checksum::hmac(bytes.data(), bytes.size(), key.data(), key.size(),
                       checksum::method_index(m));
  } else {
    if (m == Method::hash) error::raise(ERR_SCRIPT, "invalid-refine-arg", &with_word, method);
    d = checksum::digest(bytes.data(), bytes.size(), checksum::method_index(m));
  }
  if (!d) error::raise(ERR_INTERNAL, "not-done");
  return result(binary::load(d->bytes, d->size));
}

// ---- compress and decompress -----------------------------------------------------------------

compression::Method method_of(const Cell* word) {
  int k = symbol_index(word, compression_symbols, 4);
  if (k < 0) error::raise(ERR_SCRIPT, "invalid-arg", word);
  return static_cast<compression::Method>(k);
}

// Calls the codec at most twice: once with the first size, once more with the size a
// "too small" answer asked for. Any other failure is invalid data.
template <typename Call>
Cell* run_codec(Call call, uint32_t first_size) {
  uint32_t size = first_size;
  std::unique_ptr<uint8_t[]> out;   // the codec writes every byte it answers for
  int status = compression::TOO_SMALL;
  for (int attempt = 0; attempt < 2 && status == compression::TOO_SMALL; attempt++) {
    out.reset(new uint8_t[std::max<uint32_t>(size, 1)]);
    status = call(out.get(), &size);
  }
  if (status != compression::OK) error::raise(ERR_SCRIPT, "invalid-data");
  return binary::load(out.get(), size);
}

Status compress(const int32_t* refs) {
  // A binary's bytes are read in place (nothing allocates while the codec runs); text is
  // encoded first.
  std::vector<uint8_t> encoded;
  const uint8_t* src = nullptr;
  uint64_t n = 0;
  if (arg(0)->is(TYPE_BINARY)) {
    Cell data = *arg(0);
    int32_t at = std::max(series::index_of(&data), 0);
    int32_t len = std::max(series::buffer_length(&data) - at, 0);
    if (len) src = series::unit_at(&data, at);
    n = static_cast<uint64_t>(len);
  } else {
    encoded = data_bytes(arg(0));
    src = encoded.data();
    n = encoded.size();
  }
  compression::Method m = method_of(arg(1));
  int level = -1;
  if (Cell* lvl = ref_cell(refs, 0)) {
    if (!lvl->is(TYPE_INTEGER) || lvl->int_value() < 1 ||
        lvl->int_value() > compression::max_level(m))
      error::raise(ERR_SCRIPT, "out-of-range", lvl);
    level = lvl->int_value();
  }
  uint64_t first = n + (n >> 11) + 32;
  if (first > 0xFFFFFF00u) error::raise(ERR_INTERNAL, "no-memory");
  auto call = [&](uint8_t* dst, uint32_t* size) {
    return compression::compress(m, dst, size, src, static_cast<uint32_t>(n), level);
  };
  return result(run_codec(call, static_cast<uint32_t>(first)));
}

Status decompress(const int32_t* refs) {
  if (!arg(0)->is(TYPE_BINARY)) error::raise(ERR_SCRIPT, "invalid-arg", arg(0));
  compression::Method m = method_of(arg(1));
  // A /size only ever sized the first try, so it changes nothing in the answer.
  if (Cell* sz = ref_cell(refs, 0)) {
    if (!sz->is(TYPE_INTEGER) || sz->int_value() < 0) error::raise(ERR_SCRIPT, "out-of-range", sz);
  }
  // The input's own bytes, read in place (nothing allocates while the codec runs), decoded
  // once as the output grows: asking the decoder for the size first would decode it all
  // twice.
  Cell data = *arg(0);
  int32_t at = std::max(series::index_of(&data), 0);
  int32_t len = std::max(series::buffer_length(&data) - at, 0);
  std::vector<uint8_t> out;
  if (compression::decode(m, len ? series::unit_at(&data, at) : nullptr, static_cast<uint32_t>(len),
                          out) != compression::OK)
    error::raise(ERR_SCRIPT, "invalid-data");
  return result(binary::load(out.data(), out.size()));
}

// ---- parse ---------------------------------------------------------------------------------

Status parse_native(const int32_t* refs) {
  Cell* input = arg(0);
  Cell* rules = arg(1);
  bool case_ = ref_flag(refs, 0);
  Cell* part = ref_cell(refs, 1);
  if (part) {
    int64_t end;
    int32_t idx = std::max(series::index_of(input), 0);
    if (part->is(TYPE_INTEGER)) {
      end = int64_t(idx) + part->int_value();
    } else if (part->type() == input->type() && part->node() == input->node()) {
      end = series::index_of(part);
    } else {
      actions::raise_invalid_refine("part", part);
    }
    if (end <= 0) {
      Cell c = *input;
      Cell answer;
      set_logic(&answer, series::length(&c, false) == 0);
      return result(&answer);
    }
  }
  Cell* callback = ref_cell(refs, 2);
  if (callback) {
    parse::Callback trace(callback);
    return result(parse::run(input, rules, case_, part, &trace.hook));
  }
  return result(parse::run(input, rules, case_, part, nullptr));
}

// ---- Constructors from parts --------------------------------------------------------------

// A pair coordinate: integers as they are, floats cut toward zero; what has no integer
// value (an infinity, NaN, or a float past 32 bits) is refused rather than wrapped.
int32_t pair_coordinate(const Cell* v) {
  if (v->is(TYPE_INTEGER)) return v->int_value();
  double d = v->float_value();
  if (!(d > -2147483649.0 && d < 2147483648.0)) error::raise(ERR_SCRIPT, "invalid-arg", v);
  return static_cast<int32_t>(d);
}

float point_coordinate(const Cell* v) {
  return v->is(TYPE_INTEGER) ? static_cast<float>(v->int_value())
                             : static_cast<float>(v->float_value());
}

Status as_pair(const int32_t*) {
  int32_t x = pair_coordinate(arg(0));
  int32_t y = pair_coordinate(arg(1));
  Cell p = make_cell(TYPE_PAIR);
  pair::make_at(&p, x, y);
  return result(&p);
}

Status as_point2d(const int32_t*) {
  Cell p = make_cell(TYPE_POINT2D);
  point2D::make_at(&p, point_coordinate(arg(0)), point_coordinate(arg(1)));
  return result(&p);
}

Status as_point3d(const int32_t*) {
  Cell p = make_cell(TYPE_POINT3D);
  point3D::make_at(&p, point_coordinate(arg(0)), point_coordinate(arg(1)),
                   point_coordinate(arg(2)));
  return result(&p);
}

Status as_money(const int32_t*) {
  int currency = money::currency_index(arg(0));
  if (currency <= 0) error::raise(ERR_SCRIPT, "bad-denom", arg(0));
  Cell* amount = arg(1);
  Cell m;
  if (amount->is(TYPE_INTEGER)) m = *money::push_from_integer(amount->int_value());
  else m = *money::push_from_float(amount->float_value(), false);
  money::set_currency(&m, currency);
  return result(&m);
}

}  // namespace text_natives_detail

void register_series_text() {
  using namespace text_natives_detail;
  put(NAT_PARSE, parse_native);
  put(NAT_UNION, set_op<string::SET_UNION>);
  put(NAT_INTERSECT, set_op<string::SET_INTERSECT>);
  put(NAT_UNIQUE, set_op<string::SET_UNIQUE>);
  put(NAT_DIFFERENCE, set_op<string::SET_DIFFERENCE>);
  put(NAT_EXCLUDE, set_op<string::SET_EXCLUDE>);
  put(NAT_COMPLEMENT_Q, complement_q);
  put(NAT_DEHEX, dehex);
  put(NAT_ENHEX, enhex);
  put(NAT_UPPERCASE, change_case<true>);
  put(NAT_LOWERCASE, change_case<false>);
  put(NAT_DEBASE, debase);
  put(NAT_ENBASE, enbase);
  put(NAT_TO_LOCAL_FILE, to_local_file);
  put(NAT_CHECKSUM, checksum_native);
  put(NAT_NEW_LINE, new_line);
  put(NAT_NEW_LINE_Q, new_line_q);
  put(NAT_AS, as);
  put(NAT_COMPRESS, compress);
  put(NAT_DECOMPRESS, decompress);
  put(NAT_AS_PAIR, as_pair);
  put(NAT_AS_POINT2D, as_point2d);
  put(NAT_AS_POINT3D, as_point3d);
  put(NAT_AS_MONEY, as_money);
}

}  // namespace tav::natives

namespace tav::init_steps {

void checksum_words() {
  for (int i = 0; i < checksum::METHOD_COUNT; i++) {
    std::string_view n = checksum::METHOD_NAMES[i];
    natives::text_natives_detail::checksum_symbols[i] = symbol::make(n.data(), n.size());
  }
}

void compression_words() {
  for (int i = 0; i < 4; i++) {
    std::string_view n = compression::METHOD_NAMES[i];
    natives::text_natives_detail::compression_symbols[i] = symbol::make(n.data(), n.size());
  }
}

}  // namespace tav::init_steps
