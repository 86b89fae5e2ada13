// The lexer's tables, built at compile time from readable rows.
#include "scanner/lexer_tables.h"

namespace tav::lexer {

namespace lexer_tables_build {

constexpr uint32_t class_entry(CharClass cls, uint32_t flags = 0) {
  return static_cast<uint32_t>(cls) | flags;
}

constexpr ClassTable make_class_table() {
  using enum CharClass;
  ClassTable t{};
  for (int b = 0; b < 256; ++b) {
    CharClass cls = letter;
    if (b == 0) cls = end;
    else if (b == 9 || b == 13 || b == 32) cls = blank;
    else if (b == 10) cls = newline;
    else if (b < 32) cls = control;
    else if (b >= 127 && b <= 191) cls = continuation;
    else if (b == 192 || b == 193 || b >= 248) cls = invalid;
    t[b] = class_entry(cls);
  }
  for (int b = '1'; b <= '9'; ++b) t[b] = class_entry(digit);
  for (int b = 'a'; b <= 'd'; ++b) t[b] = class_entry(hex_lower);
  for (int b = 'A'; b <= 'D'; ++b) t[b] = class_entry(hex_upper);
  t['f'] = class_entry(hex_lower);
  t['F'] = class_entry(hex_upper);
  t['0'] = class_entry(zero);
  t['['] = class_entry(lbracket);
  t[']'] = class_entry(rbracket);
  t['('] = class_entry(lparen);
  t[')'] = class_entry(rparen);
  t['{'] = class_entry(lbrace);
  t['}'] = class_entry(rbrace);
  t['"'] = class_entry(dquote);
  t['#'] = class_entry(hash, TOKEN_HASH);
  t['\''] = class_entry(apostrophe, TOKEN_APOSTROPHE);
  t[':'] = class_entry(colon, TOKEN_COLON);
  t['x'] = class_entry(x);
  t['X'] = class_entry(x);
  t['T'] = class_entry(T);
  t['h'] = class_entry(h);
  t['e'] = class_entry(e, TOKEN_EXPONENT);
  t['E'] = class_entry(E, TOKEN_EXPONENT);
  t['/'] = class_entry(slash);
  t['\\'] = class_entry(backslash);
  t['<'] = class_entry(less, TOKEN_LESS);
  t['>'] = class_entry(greater, TOKEN_GREATER);
  t['='] = class_entry(equal);
  t['%'] = class_entry(percent, TOKEN_PERCENT);
  t[','] = class_entry(comma, TOKEN_COMMA);
  t[';'] = class_entry(semicolon);
  t['@'] = class_entry(at_sign);
  t['.'] = class_entry(dot, TOKEN_DOT);
  t['$'] = class_entry(dollar);
  t['+'] = class_entry(plus, TOKEN_SIGN);
  t['-'] = class_entry(minus, TOKEN_SIGN);
  t['^'] = class_entry(caret, TOKEN_CARET);
  t[0] |= TOKEN_NUL;
  for (int b = 194; b <= 239; ++b) t[b] |= TOKEN_WIDE2;
  for (int b = 240; b <= 247; ++b) t[b] |= TOKEN_WIDE4;
  return t;
}

// A set of classes as a bit mask, so a row can list several classes for one target.
template <typename... Classes>
constexpr uint64_t of(Classes... classes) {
  return ((uint64_t{1} << static_cast<int>(classes)) | ...);
}

struct Exit {
  uint64_t classes;
  uint8_t target;
};

struct Automaton {
  TransitionTable transitions{};
  StateTable types{};
};

// Each row: the state, the datatype it stands for, the target of every class not listed,
// then the classes that go elsewhere.
constexpr Automaton make_automaton() {
  using enum CharClass;
  Automaton a{};
  std::array<bool, RUNNING_STATES> filled{};
  auto row = [&a, &filled](int state, TypeId type, int fallback,
                           std::initializer_list<Exit> exits) {
    if (filled[state]) throw "state given two rows";
    filled[state] = true;
    a.types[state] = type;
    uint64_t seen = 0;
    for (int c = 0; c < CLASS_COUNT; ++c) {
      a.transitions[state * CLASS_COUNT + c] = static_cast<uint8_t>(fallback);
    }
    for (const Exit& ex : exits) {
      if (seen & ex.classes) throw "class listed twice in a row";
      seen |= ex.classes;
      for (int c = 0; c < CLASS_COUNT; ++c) {
        if (ex.classes & (uint64_t{1} << c)) a.transitions[state * CLASS_COUNT + c] = ex.target;
      }
    }
  };
  constexpr TypeId NO_TYPE = TYPE_NONE_ID;
  row(0, NO_TYPE, 52, {{of(blank, newline, control), 0}, {of(semicolon), 1}, {of(dquote), 2},
      {of(percent), 6}, {of(slash), 13}, {of(hash), 16}, {of(digit, zero), 23}, {of(dollar), 36},
      {of(E, hex_upper), 40}, {of(less), 43}, {of(plus, minus), 47}, {of(dot), 49},
      {of(apostrophe, colon), 51}, {of(at_sign), 57}, {of(equal), 58}, {of(end), 66},
      {of(rbrace, backslash, continuation, invalid), 67}, {of(lbracket), 68}, {of(rbracket), 69},
      {of(lparen), 70}, {of(rparen), 71}, {of(lbrace), 72}, {of(comma), 78}});
  row(1, NO_TYPE, 1, {{of(invalid), 67}, {of(newline, end), 77}});
  row(2, TYPE_STRING, 2, {{of(caret), 3}, {of(newline, invalid, end), 67}, {of(dquote), 79}});
  row(3, TYPE_STRING, 2, {{of(invalid, end), 67}});
  row(4, TYPE_STRING, 4, {{of(caret), 5}, {of(invalid, end), 67}, {of(lbrace), 72},
      {of(rbrace), 73}});
  row(5, TYPE_STRING, 4, {{of(invalid, end), 67}});
  row(6, TYPE_FILE, 7, {{of(dquote), 8}, {of(percent), 9}, {of(lbrace), 10}, {of(colon), 54},
      {of(invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, rbrace, semicolon, at_sign, control,
         end), 80}});
  row(7, TYPE_FILE, 7, {{of(dquote, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, colon, semicolon,
         at_sign, end), 85}});
  row(8, TYPE_FILE, 8, {{of(newline, invalid, end), 67}, {of(dquote), 85}});
  row(9, TYPE_FILE, 7, {{of(percent), 9}, {of(lbrace), 10}, {of(invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, rbrace, dquote, backslash,
         semicolon, control, end), 80}});
  row(10, TYPE_STRING, 10, {{of(rbrace), 11}, {of(invalid, end), 67}});
  row(11, TYPE_STRING, 10, {{of(rbrace), 11}, {of(percent), 12}, {of(invalid, end), 67}});
  row(12, TYPE_STRING, 67, {{of(percent), 12},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, dquote, less, semicolon,
         control, end), 100}});
  row(13, TYPE_WORD, 14, {{of(slash), 15}, {of(colon), 53}, {of(comma, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash,
         semicolon, at_sign, control, end), 80}});
  row(14, TYPE_REFINEMENT, 14, {{of(colon, comma, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, slash,
         semicolon, at_sign, control, end), 83}});
  row(15, TYPE_WORD, 52, {{of(slash), 15}, {of(percent, comma, dollar, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash,
         semicolon, at_sign, control, end), 80}});
  row(16, TYPE_ISSUE, 22, {{of(lbrace), 17}, {of(dquote), 19}, {of(lparen), 21},
      {of(blank, newline, rbracket, rparen, rbrace, colon, less, greater, comma, invalid), 67},
      {of(lbracket), 74}, {of(semicolon, at_sign, control, end), 81}});
  row(17, TYPE_BINARY, 67, {
      {of(blank, newline, digit, zero, x, T, h, e, E, hex_lower, hex_upper, slash, equal, plus,
         letter), 17}, {of(semicolon), 18}, {of(rbrace), 86}});
  row(18, NO_TYPE, 18, {{of(newline), 17}, {of(invalid, end), 67}});
  row(19, TYPE_CHAR, 19, {{of(caret), 20}, {of(invalid, end), 67}, {of(dquote), 84}});
  row(20, TYPE_CHAR, 19, {{of(invalid, end), 67}});
  row(21, NO_TYPE, 21, {{of(invalid, end), 67}, {of(rparen), 76}});
  row(22, TYPE_ISSUE, 22, {{of(colon, slash, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, semicolon,
         at_sign, control, end), 81}});
  row(23, TYPE_INTEGER, 82, {{of(hash), 16}, {of(digit, zero, apostrophe), 23}, {of(dot), 24},
      {of(e), 26}, {of(E), 27}, {of(T, slash, minus), 30}, {of(colon), 31}, {of(x), 33},
      {of(hex_upper), 39}, {of(h), 42}, {of(at_sign), 56},
      {of(hex_lower, backslash, greater, equal, dollar, plus, caret, continuation, letter,
         invalid), 67}, {of(percent), 87}});
  row(24, TYPE_FLOAT, 67, {{of(digit, zero, apostrophe), 25}, {of(e, E), 26}, {of(hash), 28},
      {of(x), 33}, {of(percent), 87},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, slash, less,
         comma, semicolon, control, end), 88}});
  row(25, TYPE_FLOAT, 88, {{of(digit, zero, apostrophe), 25}, {of(e, E), 26}, {of(dot), 29},
      {of(x), 33}, {of(at_sign), 56},
      {of(hash, T, h, hex_lower, hex_upper, backslash, greater, equal, dollar, plus, minus, caret,
         continuation, letter, invalid), 67}, {of(percent), 87}});
  row(26, TYPE_FLOAT, 67, {{of(digit, zero, plus, minus), 26}, {of(at_sign), 56},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon,
         slash, less, comma, semicolon, control, end), 88}});
  row(27, TYPE_FLOAT, 67, {{of(plus, minus), 26}, {of(digit, zero), 27}, {of(dot), 29},
      {of(E, hex_upper), 40}, {of(h), 42}, {of(at_sign), 56}, {of(percent), 87},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon,
         slash, less, comma, control, end), 88}});
  row(28, TYPE_FLOAT, 89, {
      {of(x, T, h, e, E, hex_lower, hex_upper, greater, equal, dot, plus, minus, continuation,
         letter), 28},
      {of(hash, apostrophe, colon, percent, at_sign, dollar, caret, invalid), 67},
      {of(digit), 88}});
  row(29, TYPE_TUPLE, 67, {{of(digit, zero, dot), 29},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon,
         slash, less, semicolon, control, end), 90}});
  row(30, TYPE_DATE, 30, {{of(percent, comma, at_sign, caret, continuation, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, less,
         semicolon, dollar, control, end), 91}});
  row(31, TYPE_TIME, 67, {{of(digit, zero), 32}});
  row(32, TYPE_TIME, 67, {{of(digit, zero, colon, dot), 32},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, slash, less,
         semicolon, control, end), 94}});
  row(33, TYPE_PAIR, 67, {{of(digit, zero, plus, minus), 34}, {of(at_sign), 56}});
  row(34, TYPE_PAIR, 67, {{of(digit, zero, e, E, dot), 34}, {of(at_sign), 56},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon,
         slash, less, semicolon, control, end), 92}});
  row(35, TYPE_POINT2D, 67, {
      {of(blank, digit, zero, rbracket, hash, e, E, hex_lower, hex_upper, comma, dot, plus, minus,
         letter), 35}, {of(rparen), 93}});
  row(36, TYPE_MONEY, 67, {{of(digit, zero), 37}});
  row(37, TYPE_MONEY, 67, {{of(digit, zero, apostrophe), 37}, {of(dot), 38},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, colon,
         slash, less, semicolon, control, end), 95}});
  row(38, TYPE_MONEY, 67, {{of(digit, zero, apostrophe), 38},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, colon,
         slash, less, semicolon, control, end), 95}});
  row(39, NO_TYPE, 67, {{of(digit, zero, E, hex_upper), 39}, {of(h), 41}, {of(at_sign), 56}});
  row(40, TYPE_INTEGER, 52, {{of(dollar), 37}, {of(digit, zero, E, hex_upper), 40}, {of(h), 41},
      {of(colon), 53}, {of(at_sign), 56}, {of(percent, comma, invalid), 67}, {of(slash), 75},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash,
         backslash, semicolon, control, end), 80}});
  row(41, TYPE_WORD, 52, {{of(dollar), 37}, {of(colon), 53}, {of(at_sign), 56},
      {of(hash, percent, comma, invalid), 67}, {of(slash), 75},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, backslash,
         semicolon, control, end), 99}});
  row(42, TYPE_INTEGER, 67, {{of(dollar), 37}, {of(at_sign), 56}, {of(slash), 75},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, backslash,
         less, semicolon, control, end), 99}});
  row(43, TYPE_TAG, 44, {{of(less), 43}, {of(apostrophe), 46}, {of(greater, equal, minus), 52},
      {of(colon), 53}, {of(invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, semicolon,
         control, end), 80}});
  row(44, TYPE_TAG, 44, {{of(dquote), 45}, {of(apostrophe), 46}, {of(invalid, end), 67},
      {of(greater), 96}});
  row(45, TYPE_TAG, 45, {{of(dquote), 44}, {of(invalid, end), 67}});
  row(46, TYPE_TAG, 46, {{of(apostrophe), 44}, {of(invalid, end), 67}});
  row(47, TYPE_WORD, 52, {{of(digit, zero), 23}, {of(dollar), 37}, {of(dot), 49},
      {of(apostrophe, percent, caret, invalid), 67}, {of(slash), 75},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash,
         backslash, semicolon, control, end), 80}});
  row(48, TYPE_WORD, 52, {{of(apostrophe, percent, dollar, caret, invalid), 67}, {of(slash), 75},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash,
         backslash, semicolon, control, end), 80}});
  row(49, TYPE_WORD, 52, {{of(digit, zero, plus, minus), 50}, {of(colon), 53}, {of(at_sign), 56},
      {of(percent, comma, dollar, invalid), 67}, {of(slash), 75},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash,
         backslash, semicolon, control, end), 80}});
  row(50, TYPE_FLOAT, 67, {{of(x), 33}, {of(digit, zero, e, E, plus, minus), 50},
      {of(at_sign), 56}, {of(percent), 87},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon,
         slash, less, comma, semicolon, control, end), 88}});
  row(51, TYPE_WORD, 67, {{of(slash), 13}, {of(less), 43}, {of(plus, minus), 48},
      {of(x, T, h, e, E, hex_lower, hex_upper, greater, dot, caret, continuation, letter), 52},
      {of(percent), 54}, {of(equal), 58}});
  row(52, TYPE_WORD, 52, {{of(dollar), 36}, {of(colon), 53}, {of(at_sign), 56},
      {of(percent, comma, invalid), 67}, {of(slash), 75},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash,
         backslash, less, semicolon, control, end), 80}});
  row(53, TYPE_SET_WORD, 55, {{of(less, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, backslash,
         semicolon, control, end), 80}});
  row(54, TYPE_WORD, 67, {{of(percent), 54},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, backslash,
         semicolon, control, end), 80}});
  row(55, TYPE_URL, 55, {{of(greater, caret, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, backslash,
         less, semicolon, control, end), 97}});
  row(56, TYPE_EMAIL, 56, {
      {of(hash, apostrophe, colon, greater, equal, comma, at_sign, dollar, caret, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, slash,
         backslash, less, semicolon, control, end), 98}});
  row(57, TYPE_REF, 57, {
      {of(hash, apostrophe, backslash, greater, equal, comma, at_sign, dollar, caret, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, less,
         semicolon, control, end), 101}});
  row(58, TYPE_WORD, 52, {{of(hash, percent, comma, at_sign, dollar, invalid), 67},
      {of(slash), 75},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon,
         backslash, semicolon, control, end), 80}});
  row(59, TYPE_PATH, 67, {{of(dquote), 2}, {of(dollar), 36}, {of(less), 43}, {of(at_sign), 57},
      {of(digit, zero), 60}, {of(apostrophe, colon), 61},
      {of(x, T, h, e, E, hex_lower, hex_upper, greater, equal, dot, continuation, letter), 62},
      {of(hash), 63}, {of(plus, minus), 64}, {of(lparen), 70}, {of(rparen), 71}});
  row(60, TYPE_INTEGER, 67, {{of(dot), 24}, {of(e, E), 26}, {of(x), 33}, {of(at_sign), 56},
      {of(digit, zero, apostrophe), 60},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon,
         slash, less, semicolon, control, end), 82}, {of(percent), 87}});
  row(61, TYPE_WORD, 67, {
      {of(x, T, h, e, E, hex_lower, hex_upper, less, greater, equal, dot, plus, minus,
         continuation, letter), 62}});
  row(62, TYPE_WORD, 62, {{of(dollar), 36}, {of(at_sign), 56},
      {of(hash, percent, comma, invalid), 67},
      {of(blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon,
         slash, backslash, semicolon, control, end), 80}});
  row(63, TYPE_ISSUE, 22, {{of(dquote), 19}, {of(lbracket), 21},
      {of(blank, newline, rbracket, lparen, rparen, lbrace, rbrace, colon, slash, less, greater,
         equal, comma, semicolon, at_sign, control, invalid, end), 67}});
  row(64, TYPE_WORD, 80, {{of(dollar), 36}, {of(at_sign), 56}, {of(digit, zero), 60},
      {of(x, T, h, e, E, hex_lower, hex_upper, greater, equal, dot, continuation, letter), 62},
      {of(plus, minus), 64}, {of(hash, apostrophe, less, percent, comma, caret, invalid), 67}});

  for (int s = 0; s < RUNNING_STATES; ++s) {
    if (!filled[s]) throw "running state without a row";
  }

  // Types of the final states.
  const TypeId final_types[FINAL_STATE_COUNT] = {
      NO_TYPE,         // 66 end of input
      TYPE_ERROR,      // 67 error
      NO_TYPE,         // 68 [
      NO_TYPE,         // 69 ]
      NO_TYPE,         // 70 (
      NO_TYPE,         // 71 )
      NO_TYPE,         // 72 {
      TYPE_STRING,     // 73 } closing a braced string
      NO_TYPE,         // 74 #[
      NO_TYPE,         // 75 / after a path head
      NO_TYPE,         // 76 #( ... )
      NO_TYPE,         // 77 comment
      NO_TYPE,         // 78 ,
      TYPE_STRING,     // 79
      TYPE_WORD,       // 80
      TYPE_ISSUE,      // 81
      TYPE_INTEGER,    // 82
      TYPE_REFINEMENT, // 83
      TYPE_CHAR,       // 84
      TYPE_FILE,       // 85
      TYPE_BINARY,     // 86
      TYPE_PERCENT,    // 87
      TYPE_FLOAT,      // 88
      TYPE_FLOAT,      // 89 1.#INF, 1.#NaN
      TYPE_TUPLE,      // 90
      TYPE_DATE,       // 91
      TYPE_PAIR,       // 92
      TYPE_POINT2D,    // 93
      TYPE_TIME,       // 94
      TYPE_MONEY,      // 95
      TYPE_TAG,        // 96
      TYPE_URL,        // 97
      TYPE_EMAIL,      // 98
      TYPE_INTEGER,    // 99 FFh
      TYPE_STRING,     // 100 %{...}%
      TYPE_REF,        // 101
  };
  for (int i = 0; i < FINAL_STATE_COUNT; ++i) a.types[FIRST_FINAL_STATE + i] = final_types[i];
  return a;
}

constexpr Automaton automaton = make_automaton();

constexpr StateTable make_skip_table() {
  StateTable t{};
  t[ENTRY_TOKEN] = 1;
  return t;
}

constexpr ClassFlagTable make_line_table() {
  ClassFlagTable t{};
  t[static_cast<int>(CharClass::newline)] = 1;
  return t;
}

// No letter class is a delimiter: after a ":" in a path a letter starts the name ("b/:i").
constexpr ClassFlagTable make_delimiter_table() {
  using enum CharClass;
  ClassFlagTable t{};
  for (CharClass c : {blank, newline, lbracket, rbracket, lparen, rparen, lbrace, dquote, colon,
                      less, semicolon, invalid, end}) {
    t[static_cast<int>(c)] = 1;
  }
  return t;
}

// The token loop relies on these: the end class always finishes a token, so a scan stops at
// the end of its input; an invalid byte is refused wherever it appears; no row leads to the
// unused state 65 or past the last final state.
constexpr bool automaton_is_sound() {
  for (int s = 0; s < RUNNING_STATES; ++s) {
    const uint8_t* row = &automaton.transitions[s * CLASS_COUNT];
    if (row[static_cast<int>(CharClass::end)] < FIRST_FINAL_STATE) return false;
    if (row[static_cast<int>(CharClass::invalid)] != S_ERROR) return false;
    for (int c = 0; c < CLASS_COUNT; ++c) {
      if (row[c] == RUNNING_STATES || row[c] >= STATE_COUNT) return false;
    }
  }
  return true;
}
static_assert(automaton_is_sound());

}  // namespace lexer_tables_build

constinit const ClassTable class_table = lexer_tables_build::make_class_table();
constinit const TransitionTable transition_table = lexer_tables_build::automaton.transitions;
constinit const StateTable skip_table = lexer_tables_build::make_skip_table();
constinit const StateTable state_type_table = lexer_tables_build::automaton.types;
constinit const ClassFlagTable line_table = lexer_tables_build::make_line_table();
constinit const ClassFlagTable delimiter_table = lexer_tables_build::make_delimiter_table();

constinit const std::array<const char*, EXIT_STATE_COUNT> exit_state_names = {
    "eof",      "error!",   "block!",     "block!",  "paren!",   "paren!",  "string!",
    "string!",  "map!",     "path!",      "datatype!", "comment", "string!", "word!",
    "issue!",   "integer!", "refinement!", "char!",  "file!",    "binary!", "percent!",
    "float!",   "float!",   "tuple!",     "date!",   "pair!",    "time!",   "money!",
    "tag!",     "url!",     "email!",     "hex",     "rawstring", "ref!",
};

int exit_state_index(uint8_t final_state) {
  // The list has no word for "," (78) nor for the point literal (93), so it falls one place
  // behind the state numbers after each of them.
  if (final_state < FIRST_FINAL_STATE || final_state >= STATE_COUNT) return -1;
  if (final_state == S_COMMA || final_state == S_POINT) return -1;
  if (final_state < S_COMMA) return final_state - FIRST_FINAL_STATE;
  if (final_state < S_POINT) return final_state - FIRST_FINAL_STATE - 1;
  return final_state - FIRST_FINAL_STATE - 2;
}

const char* exit_state_name(uint8_t final_state) {
  int i = exit_state_index(final_state);
  return i < 0 ? nullptr : exit_state_names[i];
}

}  // namespace tav::lexer
