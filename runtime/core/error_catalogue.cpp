#include "core/error_catalogue.h"

#include <array>
#include <cstddef>
#include <vector>

namespace tav::error_catalogue {

namespace catalogue_detail {

struct IdSource {
  const char* name;
  const char* source;
};

// The messages, in code order within each category (the trailing comment is the code).
constexpr IdSource throw_ids[] = {
    {"break", R"m("no loop to break")m"},  // 0
    {"return", R"m("return or exit not in function")m"},  // 1
    {"throw", R"m(["no catch for throw:" :arg1])m"},  // 2
    {"continue", R"m("no loop to continue")m"},  // 3
    {"while-cond", R"m("BREAK/CONTINUE cannot be used in WHILE condition block")m"},  // 4
};
constexpr IdSource note_ids[] = {
    {"no-load", R"m(["cannot load: " :arg1])m"},  // 100
};
constexpr IdSource syntax_ids[] = {
    {"invalid", R"m([:arg1 "invalid" :arg2 "at" :arg3])m"},  // 200
    {"missing", R"m([:arg1 "missing" :arg2 "at" :arg3])m"},  // 201
    {"no-header", R"m(["script is missing a Tav header:" :arg1])m"},  // 202
    {"no-ts-header", R"m(["script is missing a Tav/System header:" :arg1])m"},  // 203
    {"bad-header", R"m(["script header is not valid:" :arg1])m"},  // 204
    {"malconstruct", R"m([:arg1 "invalid construction spec at" :arg2])m"},  // 205
    {"bad-char", R"m([:arg1 "invalid character at" :arg2])m"},  // 206
};
constexpr IdSource script_ids[] = {
    {"no-value", R"m([:arg1 "has no value"])m"},  // 300
    {"need-value", R"m([:arg1 "needs a value"])m"},  // 301
    {"not-defined", R"m([:arg1 "word is not bound to a context"])m"},  // 302
    {"not-in-context", R"m(["context for" :arg1 "is not available"])m"},  // 303
    {"no-arg", R"m([:arg1 "is missing its" :arg2 "argument"])m"},  // 304
    {"expect-arg", R"m([:arg1 "does not allow" :arg2 "for its" :arg3 "argument"])m"},  // 305
    {"expect-val", R"m(["expected" :arg1 "not" :arg2])m"},  // 306
    {"expect-type", R"m([:arg1 :arg2 "field must be of type" :arg3])m"},  // 307
    {"cannot-use", R"m(["cannot use" :arg1 "on" :arg2 "value"])m"},  // 308
    {"invalid-arg", R"m(["invalid argument:" :arg1])m"},  // 309
    {"invalid-type", R"m([:arg1 "type is not allowed here"])m"},  // 310
    {"invalid-type-spec", R"m(["invalid type specifier:" :arg1])m"},  // 311
    {"invalid-key-type", R"m(["invalid key type:" :arg1])m"},  // 312
    {"invalid-op", R"m(["invalid operator:" :arg1])m"},  // 313
    {"no-op-arg", R"m([:arg1 "operator is missing an argument"])m"},  // 314
    {"bad-op-spec", R"m("making an op! requires a function with only 2 arguments and no lit/get-word on left argument")m"},  // 315
    {"invalid-data", R"m(["data not in correct format:" :arg1])m"},  // 316
    {"invalid-part", R"m(["invalid /part count:" :arg1])m"},  // 317
    {"not-same-type", R"m("values must be of the same type")m"},  // 318
    {"not-same-class", R"m(["cannot coerce" :arg1 "to" :arg2])m"},  // 319
    {"not-related", R"m(["incompatible argument for" :arg1 "of" :arg2])m"},  // 320
    {"bad-func-def", R"m(["invalid function definition:" :arg1])m"},  // 321
    {"bad-func-arg", R"m(["function argument" :arg1 "is not valid"])m"},  // 322
    {"bad-func-extern", R"m(["invalid /extern value:" :arg1])m"},  // 323
    {"no-refine", R"m([:arg1 "has no refinement called" :arg2])m"},  // 324
    {"bad-refines", R"m("incompatible or invalid refinements")m"},  // 325
    {"bad-refine", R"m(["invalid refinement value:" :arg1])m"},  // 326
    {"dup-refine", R"m(["duplicate refinement usage in:" :arg1])m"},  // 327
    {"word-first", R"m(["path must start with a word:" :arg1])m"},  // 328
    {"empty-path", R"m("cannot evaluate an empty path value")m"},  // 329
    {"unset-path", R"m([:arg2 "is unset in path" :arg1])m"},  // 330
    {"invalid-path", R"m(["cannot access" :arg2 "in path" :arg1])m"},  // 331
    {"invalid-path-set", R"m(["unsupported type in" :arg1 "set-path"])m"},  // 332
    {"invalid-path-get", R"m(["unsupported type in" :arg1 "get-path"])m"},  // 333
    {"bad-path-type", R"m([:arg3 "returned a" :arg2 "value, so" :arg1 "could not be accessed"])m"},  // 334
    {"bad-path-type2", R"m(["path element >" :arg1 "< does not apply to" :arg2 "type"])m"},  // 335
    {"bad-path-set", R"m(["cannot set" :arg2 "in path" :arg1])m"},  // 336
    {"bad-field-set", R"m(["cannot set" :arg1 "field to" :arg2 "datatype"])m"},  // 337
    {"dup-vars", R"m(["duplicate variable specified:" :arg1])m"},  // 338
    {"past-end", R"m("out of range or past end")m"},  // 339
    {"missing-arg", R"m("missing a required argument or refinement")m"},  // 340
    {"out-of-range", R"m(["value out of range:" :arg1])m"},  // 341
    {"invalid-chars", R"m("contains invalid characters")m"},  // 342
    {"invalid-compare", R"m(["cannot compare" :arg1 "with" :arg2])m"},  // 343
    {"wrong-type", R"m(["datatype assertion failed for:" :arg1])m"},  // 344
    {"invalid-refine-arg", R"m(["invalid" :arg1 "argument:" :arg2])m"},  // 345
    {"type-limit", R"m([:arg1 "overflow/underflow"])m"},  // 346
    {"size-limit", R"m(["maximum limit reached:" :arg1])m"},  // 347
    {"no-return", R"m("block did not return a value")m"},  // 348
    {"throw-usage", R"m("invalid use of a thrown error value")m"},  // 349
    {"locked-word", R"m(["protected word - cannot modify:" :arg1])m"},  // 350
    {"protected", R"m("protected value or series - cannot modify")m"},  // 351
    {"bad-bad", R"m([:arg1 "error:" :arg2])m"},  // 352
    {"bad-make-arg", R"m(["cannot MAKE" :arg1 "from:" :arg2])m"},  // 353
    {"bad-to-arg", R"m(["cannot MAKE/TO" :arg1 "from:" :arg2])m"},  // 354
    {"invalid-months", R"m("invalid system/locale/month list")m"},  // 355
    {"invalid-spec-field", R"m(["invalid" :arg1 "field in spec block"])m"},  // 356
    {"missing-spec-field", R"m([:arg1 "not found in spec block"])m"},  // 357
    {"move-bad", R"m(["Cannot MOVE elements from" :arg1 "to" :arg2])m"},  // 358
    {"too-long", R"m("Content too long")m"},  // 359
    {"invalid-char", R"m(["Invalid char! value:" :arg1])m"},  // 360
    {"bad-loop-series", R"m(["Loop series changed to invalid value:" :arg1])m"},  // 361
    {"wrong-denom", R"m([:arg1 "not same denomination as" :arg2])m"},  // 362
    {"bad-denom", R"m(["invalid denomination:" :arg1])m"},  // 363
    {"invalid-obj-evt", R"m(["invalid object event handler:" :arg1])m"},  // 364
    {"parse-rule", R"m(["PARSE - invalid rule or usage of rule:" :arg1])m"},  // 365
    {"parse-end", R"m(["PARSE - unexpected end of rule after:" :arg1])m"},  // 366
    {"parse-invalid-ref", R"m(["PARSE - get-word refers to a different series!" :arg1])m"},  // 367
    {"parse-block", R"m(["PARSE - input must be of any-block! type:" :arg1])m"},  // 368
    {"parse-unsupported", R"m("PARSE - matching by datatype not supported for any-string! input")m"},  // 369
    {"parse-infinite", R"m(["PARSE - infinite recursion at rule: [" :arg1 "]"])m"},  // 370
    {"parse-stack", R"m("PARSE - stack limit reached")m"},  // 371
    {"parse-keep", R"m("PARSE - KEEP is used without a wrapping COLLECT")m"},  // 372
    {"parse-into-bad", R"m("PARSE - COLLECT INTO/AFTER invalid series! argument")m"},  // 373
    {"parse-into-type", R"m("PARSE - COLLECT INTO/AFTER expects a series! of compatible datatype")m"},  // 374
    {"draw-invalid", R"m(["DRAW - invalid input at:" :arg1])m"},  // 375
    {"draw-infinite", R"m(["DRAW - infinite recursion at:" :arg1])m"},  // 376
    {"invalid-data-facet", R"m(["invalid DATA facet content" :arg1])m"},  // 377
    {"face-type", R"m(["VIEW - invalid face type:" :arg1])m"},  // 378
    {"not-window", R"m("VIEW - expected a window root face")m"},  // 379
    {"bad-window", R"m("VIEW - a window face cannot be nested in another window")m"},  // 380
    {"not-linked", R"m("VIEW - face not linked to a window")m"},  // 381
    {"not-event-type", R"m(["VIEW - not a valid event type" :arg1])m"},  // 382
    {"invalid-facet-type", R"m(["VIEW - invalid rate value:" :arg1])m"},  // 383
    {"vid-invalid-syntax", R"m(["VID - invalid syntax at:" :arg1])m"},  // 384
    {"rtd-invalid-syntax", R"m(["RTD - invalid syntax at:" :arg1])m"},  // 385
    {"rtd-no-match", R"m(["RTD - opening/closing tag not matching for:" :arg1])m"},  // 386
    {"react-bad-func", R"m("REACT - /LINK option requires a function! as argument")m"},  // 387
    {"react-not-enough", R"m("REACT - reactive functions must accept at least 2 arguments")m"},  // 388
    {"react-no-match", R"m("REACT - objects block length must match reaction function arg count")m"},  // 389
    {"react-bad-obj", R"m("REACT - target can only contain object values")m"},  // 390
    {"react-gctx", R"m(["REACT - word" :arg1 "is not a reactor's field"])m"},  // 391
    {"lib-invalid-arg", R"m(["LIBTAV - invalid argument for" :arg1])m"},  // 392
    {"tb-invalid-record", R"m(["TAVBIN - invalid record at index" :arg1])m"},  // 393
};
constexpr IdSource math_ids[] = {
    {"zero-divide", R"m("attempt to divide by zero")m"},  // 400
    {"overflow", R"m("math or number overflow")m"},  // 401
    {"positive", R"m("positive number required")m"},  // 402
};
constexpr IdSource access_ids[] = {
    {"cannot-open", R"m(["cannot open:" :arg1])m"},  // 500
    {"cannot-close", R"m(["cannot close:" :arg1])m"},  // 501
    {"invalid-utf8", R"m(["invalid UTF-8 encoding:" :arg1])m"},  // 502
    {"not-open", R"m(["port is not open:" :arg1])m"},  // 503
    {"no-connect", R"m(["cannot connect:" :arg1 "reason: timeout"])m"},  // 504
    {"no-scheme", R"m(["missing port scheme:" :arg1])m"},  // 505
    {"unknown-scheme", R"m(["scheme is unknown:" :arg1])m"},  // 506
    {"invalid-spec", R"m(["invalid spec or options:" :arg1])m"},  // 507
    {"invalid-port", R"m(["invalid port object (invalid field values)"])m"},  // 508
    {"invalid-actor", R"m(["invalid port actor (must be handle or object)"])m"},  // 509
    {"no-port-action", R"m("port action not supported")m"},  // 510
    {"no-create", R"m(["cannot create:" :arg1])m"},  // 511
    {"no-codec", R"m(["cannot decode or encode (no codec):" :arg1])m"},  // 512
    {"bad-media", R"m(["bad media data (corrupt image, sound, video)"])m"},  // 513
    {"invalid-cmd", R"m(["invalid port command:" :arg1])m"},  // 514
};
constexpr IdSource user_ids[] = {
    {"message", R"m(arg1)m"},  // 800
};
constexpr IdSource internal_ids[] = {
    {"bad-path", R"m(["bad path:" arg1])m"},  // 900
    {"not-here", R"m([arg1 "not supported on your system"])m"},  // 901
    {"no-memory", R"m("not enough memory")m"},  // 902
    {"wrong-mem", R"m("failed to release memory")m"},  // 903
    {"stack-overflow", R"m("stack overflow")m"},  // 904
    {"limit-hit", R"m(["internal limit reached:" :arg1])m"},  // 905
    {"too-deep", R"m("block or paren series is too deep to process")m"},  // 906
    {"no-cycle", R"m("circular reference not allowed")m"},  // 907
    {"feature-na", R"m("feature not available")m"},  // 908
    {"not-done", R"m("reserved for future use (or not yet implemented)")m"},  // 909
    {"invalid-error", R"m(["invalid error object field value:" :arg1])m"},  // 910
    {"routines", R"m("routines require compilation, from OS shell: `tav -r <script.tav>`")m"},  // 911
    {"tav-system", R"m("contains Tav/System code which requires compilation")m"},  // 912
    {"deprecated", R"m([arg1 "is DEPRECATED, please use" arg2 "instead"])m"},  // 913
};

struct CategorySource {
  const char* name;
  const char* title;
  const IdSource* ids;
  size_t count;
};

template <size_t N>
constexpr CategorySource category_source(const char* name, const char* title,
                                         const IdSource (&ids)[N]) {
  return {name, title, ids, N};
}
constexpr CategorySource category_source(const char* name, const char* title) {
  return {name, title, nullptr, 0};
}

constexpr CategorySource categories[CATEGORY_COUNT] = {
    category_source("throw", "Throw Error", throw_ids),
    category_source("note", "note", note_ids),
    category_source("syntax", "Syntax Error", syntax_ids),
    category_source("script", "Script Error", script_ids),
    category_source("math", "Math Error", math_ids),
    category_source("access", "Access Error", access_ids),
    category_source("reserved1", "Reserved1 Error"),
    category_source("reserved2", "Reserved2 Error"),
    category_source("user", "User Error", user_ids),
    category_source("internal", "Internal Error", internal_ids),
};

// Codes keep the id position below 100.
static_assert(std::size(script_ids) == 94 && std::size(access_ids) == 15 &&
              std::size(internal_ids) == 14);

constexpr std::string_view error_fields[] = {"code", "type", "id",    "arg1",  "arg2",
                                             "arg3", "near", "where", "stack", "files"};

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

bool is_word_char(char c) { return c != ' ' && c != ']' && c != '"' && c != '\0'; }

// Splits one message source into pieces. The sources above are fixed text, so a malformed one
// is a fault in this file; the unit tests walk every entry and check the split.
void split_message(std::string_view src, Id& out, std::vector<Piece>& pieces) {
  size_t i = 0;
  auto skip_blanks = [&] {
    while (i < src.size() && src[i] == ' ') i++;
  };
  auto read_piece = [&]() -> Piece {
    if (src[i] == '"') {
      size_t start = ++i;
      while (i < src.size() && src[i] != '"') i++;
      Piece p{PieceKind::TEXT, src.substr(start, i - start)};
      if (i < src.size()) i++;
      return p;
    }
    PieceKind kind = PieceKind::WORD;
    if (src[i] == ':') {
      kind = PieceKind::GET_WORD;
      i++;
    }
    size_t start = i;
    while (i < src.size() && is_word_char(src[i])) i++;
    return Piece{kind, src.substr(start, i - start)};
  };
  if (!src.empty() && src[0] == '[') {
    out.kind = MessageKind::TEMPLATE;
    i = 1;
    for (;;) {
      skip_blanks();
      if (i >= src.size() || src[i] == ']') break;
      pieces.push_back(read_piece());
    }
  } else {
    Piece p = read_piece();
    out.kind = p.kind == PieceKind::TEXT ? MessageKind::STRING : MessageKind::FIELD;
    pieces.push_back(p);
  }
}

struct Built {
  std::array<Category, CATEGORY_COUNT> categories;
  std::array<std::vector<Id>, CATEGORY_COUNT> ids;
  std::array<std::vector<Piece>, CATEGORY_COUNT> pieces;
};

const Built& built() {
  static const Built* table = [] {
    auto* b = new Built();
    for (int c = 0; c < CATEGORY_COUNT; c++) {
      const CategorySource& cs = categories[c];
      std::vector<Id>& ids = b->ids[c];
      std::vector<Piece>& pieces = b->pieces[c];
      std::vector<size_t> first_piece;
      for (size_t k = 0; k < cs.count; k++) {
        Id id{cs.ids[k].name, cs.ids[k].source, MessageKind::STRING, nullptr, 0};
        first_piece.push_back(pieces.size());
        split_message(id.source, id, pieces);
        id.piece_count = static_cast<uint8_t>(pieces.size() - first_piece.back());
        ids.push_back(id);
      }
      // Pieces are pointed to only once the vector stops growing.
      for (size_t k = 0; k < ids.size(); k++) ids[k].pieces = pieces.data() + first_piece[k];
      b->categories[c] = Category{cs.name, cs.title, ids.data(), static_cast<uint8_t>(cs.count)};
    }
    return b;
  }();
  return *table;
}

}  // namespace catalogue_detail

const Category& category(int index) { return catalogue_detail::built().categories[index]; }

int category_index(std::string_view name) {
  for (int c = 0; c < CATEGORY_COUNT; c++)
    if (catalogue_detail::same_name(catalogue_detail::categories[c].name, name)) return c;
  return -1;
}

int id_index(int cat, std::string_view name) {
  if (cat < 0 || cat >= CATEGORY_COUNT) return -1;
  const catalogue_detail::CategorySource& cs = catalogue_detail::categories[cat];
  for (size_t k = 0; k < cs.count; k++)
    if (catalogue_detail::same_name(cs.ids[k].name, name)) return static_cast<int>(k);
  return -1;
}

bool split_code(int32_t code, int* category_out, int* id_out) {
  if (code < 0) return false;
  int cat = code / 100;
  int id = code % 100;
  if (cat >= CATEGORY_COUNT || id >= static_cast<int>(catalogue_detail::categories[cat].count))
    return false;
  *category_out = cat;
  *id_out = id;
  return true;
}

int field_index(std::string_view name) {
  for (size_t f = 0; f < std::size(catalogue_detail::error_fields); f++)
    if (catalogue_detail::same_name(catalogue_detail::error_fields[f], name))
      return static_cast<int>(f);
  return -1;
}

}  // namespace tav::error_catalogue
