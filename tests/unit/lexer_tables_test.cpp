// The lexer's tables checked against an independent copy, and the automaton run on sample
// tokens of every kind.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "scanner/lexer_classify.h"
#include "scanner/lexer_tables.h"

namespace tav::lexer::lexer_tables_test {

// Class number, name, then the bytes in it (a-b is a range).
constexpr const char* kClassRows = R"(
0 blank: 9 13 32
1 newline: 10
2 digit: 49-57
3 zero: 48
4 lbracket: 91
5 rbracket: 93
6 lparen: 40
7 rparen: 41
8 lbrace: 123
9 rbrace: 125
10 dquote: 34
11 hash: 35
12 apostrophe: 39
13 colon: 58
14 x: 120 88
15 T: 84
16 h: 104
17 e: 101
18 E: 69
19 hex-lower: 97-100 102
20 hex-upper: 65-68 70
21 slash: 47
22 backslash: 92
23 less: 60
24 greater: 62
25 equal: 61
26 percent: 37
27 comma: 44
28 semicolon: 59
29 at-sign: 64
30 dot: 46
31 dollar: 36
32 plus: 43
33 minus: 45
34 caret: 94
35 control: 1-8 11 12 14-31
36 continuation: 127-191
37 letter: 33 38 42 63 95 96 124 126 71-83 85-87 89 90 103 105-119 121 122 194-247
38 invalid: 192 193 248-255
39 end: 0
)";

// Flag bit, then the bytes that set it.
constexpr const char* kFlagRows = R"(
18: 37
19: 62
20: 60
21: 43 45
22: 0
23: 35
24: 101 69
25: 39
26: 58
27: 44
28: 46
29: 94
30: 194-239
31: 240-247
)";

// One row per running state: state | type | default | class, class -> target; ...
constexpr const char* kTransitionRows = R"(
| 0 | - | 52 | blank, newline, control -> 0; semicolon -> 1; dquote -> 2; percent -> 6; slash -> 13; hash -> 16; digit, zero -> 23; dollar -> 36; E, hex-upper -> 40; less -> 43; plus, minus -> 47; dot -> 49; apostrophe, colon -> 51; at-sign -> 57; equal -> 58; end -> 66; rbrace, backslash, continuation, invalid -> 67; lbracket -> 68; rbracket -> 69; lparen -> 70; rparen -> 71; lbrace -> 72; comma -> 78 |
| 1 | - | 1 | invalid -> 67; newline, end -> 77 |
| 2 | string! | 2 | caret -> 3; newline, invalid, end -> 67; dquote -> 79 |
| 3 | string! | 2 | invalid, end -> 67 |
| 4 | string! | 4 | caret -> 5; invalid, end -> 67; lbrace -> 72; rbrace -> 73 |
| 5 | string! | 4 | invalid, end -> 67 |
| 6 | file! | 7 | dquote -> 8; percent -> 9; lbrace -> 10; colon -> 54; invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, rbrace, semicolon, at-sign, control, end -> 80 |
| 7 | file! | 7 | dquote, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, colon, semicolon, at-sign, end -> 85 |
| 8 | file! | 8 | newline, invalid, end -> 67; dquote -> 85 |
| 9 | file! | 7 | percent -> 9; lbrace -> 10; invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, rbrace, dquote, backslash, semicolon, control, end -> 80 |
| 10 | string! | 10 | rbrace -> 11; invalid, end -> 67 |
| 11 | string! | 10 | rbrace -> 11; percent -> 12; invalid, end -> 67 |
| 12 | string! | 67 | percent -> 12; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, dquote, less, semicolon, control, end -> 100 |
| 13 | word! | 14 | slash -> 15; colon -> 53; comma, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, semicolon, at-sign, control, end -> 80 |
| 14 | refinement! | 14 | colon, comma, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, slash, semicolon, at-sign, control, end -> 83 |
| 15 | word! | 52 | slash -> 15; percent, comma, dollar, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, semicolon, at-sign, control, end -> 80 |
| 16 | issue! | 22 | lbrace -> 17; dquote -> 19; lparen -> 21; blank, newline, rbracket, rparen, rbrace, colon, less, greater, comma, invalid -> 67; lbracket -> 74; semicolon, at-sign, control, end -> 81 |
| 17 | binary! | 67 | blank, newline, digit, zero, x, T, h, e, E, hex-lower, hex-upper, slash, equal, plus, letter -> 17; semicolon -> 18; rbrace -> 86 |
| 18 | - | 18 | newline -> 17; invalid, end -> 67 |
| 19 | char! | 19 | caret -> 20; invalid, end -> 67; dquote -> 84 |
| 20 | char! | 19 | invalid, end -> 67 |
| 21 | - | 21 | invalid, end -> 67; rparen -> 76 |
| 22 | issue! | 22 | colon, slash, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, semicolon, at-sign, control, end -> 81 |
| 23 | integer! | 82 | hash -> 16; digit, zero, apostrophe -> 23; dot -> 24; e -> 26; E -> 27; T, slash, minus -> 30; colon -> 31; x -> 33; hex-upper -> 39; h -> 42; at-sign -> 56; hex-lower, backslash, greater, equal, dollar, plus, caret, continuation, letter, invalid -> 67; percent -> 87 |
| 24 | float! | 67 | digit, zero, apostrophe -> 25; e, E -> 26; hash -> 28; x -> 33; percent -> 87; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, slash, less, comma, semicolon, control, end -> 88 |
| 25 | float! | 88 | digit, zero, apostrophe -> 25; e, E -> 26; dot -> 29; x -> 33; at-sign -> 56; hash, T, h, hex-lower, hex-upper, backslash, greater, equal, dollar, plus, minus, caret, continuation, letter, invalid -> 67; percent -> 87 |
| 26 | float! | 67 | digit, zero, plus, minus -> 26; at-sign -> 56; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon, slash, less, comma, semicolon, control, end -> 88 |
| 27 | float! | 67 | plus, minus -> 26; digit, zero -> 27; dot -> 29; E, hex-upper -> 40; h -> 42; at-sign -> 56; percent -> 87; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon, slash, less, comma, control, end -> 88 |
| 28 | float! | 89 | x, T, h, e, E, hex-lower, hex-upper, greater, equal, dot, plus, minus, continuation, letter -> 28; hash, apostrophe, colon, percent, at-sign, dollar, caret, invalid -> 67; digit -> 88 |
| 29 | tuple! | 67 | digit, zero, dot -> 29; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon, slash, less, semicolon, control, end -> 90 |
| 30 | date! | 30 | percent, comma, at-sign, caret, continuation, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, less, semicolon, dollar, control, end -> 91 |
| 31 | time! | 67 | digit, zero -> 32 |
| 32 | time! | 67 | digit, zero, colon, dot -> 32; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, slash, less, semicolon, control, end -> 94 |
| 33 | pair! | 67 | digit, zero, plus, minus -> 34; at-sign -> 56 |
| 34 | pair! | 67 | digit, zero, e, E, dot -> 34; at-sign -> 56; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon, slash, less, semicolon, control, end -> 92 |
| 35 | point2D! | 67 | blank, digit, zero, rbracket, hash, e, E, hex-lower, hex-upper, comma, dot, plus, minus, letter -> 35; rparen -> 93 |
| 36 | money! | 67 | digit, zero -> 37 |
| 37 | money! | 67 | digit, zero, apostrophe -> 37; dot -> 38; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, colon, slash, less, semicolon, control, end -> 95 |
| 38 | money! | 67 | digit, zero, apostrophe -> 38; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, colon, slash, less, semicolon, control, end -> 95 |
| 39 | - | 67 | digit, zero, E, hex-upper -> 39; h -> 41; at-sign -> 56 |
| 40 | integer! | 52 | dollar -> 37; digit, zero, E, hex-upper -> 40; h -> 41; colon -> 53; at-sign -> 56; percent, comma, invalid -> 67; slash -> 75; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, backslash, semicolon, control, end -> 80 |
| 41 | word! | 52 | dollar -> 37; colon -> 53; at-sign -> 56; hash, percent, comma, invalid -> 67; slash -> 75; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, backslash, semicolon, control, end -> 99 |
| 42 | integer! | 67 | dollar -> 37; at-sign -> 56; slash -> 75; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, backslash, less, semicolon, control, end -> 99 |
| 43 | tag! | 44 | less -> 43; apostrophe -> 46; greater, equal, minus -> 52; colon -> 53; invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, semicolon, control, end -> 80 |
| 44 | tag! | 44 | dquote -> 45; apostrophe -> 46; invalid, end -> 67; greater -> 96 |
| 45 | tag! | 45 | dquote -> 44; invalid, end -> 67 |
| 46 | tag! | 46 | apostrophe -> 44; invalid, end -> 67 |
| 47 | word! | 52 | digit, zero -> 23; dollar -> 37; dot -> 49; apostrophe, percent, caret, invalid -> 67; slash -> 75; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, backslash, semicolon, control, end -> 80 |
| 48 | word! | 52 | apostrophe, percent, dollar, caret, invalid -> 67; slash -> 75; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, backslash, semicolon, control, end -> 80 |
| 49 | word! | 52 | digit, zero, plus, minus -> 50; colon -> 53; at-sign -> 56; percent, comma, dollar, invalid -> 67; slash -> 75; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, backslash, semicolon, control, end -> 80 |
| 50 | float! | 67 | x -> 33; digit, zero, e, E, plus, minus -> 50; at-sign -> 56; percent -> 87; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon, slash, less, comma, semicolon, control, end -> 88 |
| 51 | word! | 67 | slash -> 13; less -> 43; plus, minus -> 48; x, T, h, e, E, hex-lower, hex-upper, greater, dot, caret, continuation, letter -> 52; percent -> 54; equal -> 58 |
| 52 | word! | 52 | dollar -> 36; colon -> 53; at-sign -> 56; percent, comma, invalid -> 67; slash -> 75; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, hash, backslash, less, semicolon, control, end -> 80 |
| 53 | set-word! | 55 | less, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, backslash, semicolon, control, end -> 80 |
| 54 | word! | 67 | percent -> 54; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, backslash, semicolon, control, end -> 80 |
| 55 | url! | 55 | greater, caret, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, backslash, less, semicolon, control, end -> 97 |
| 56 | email! | 56 | hash, apostrophe, colon, greater, equal, comma, at-sign, dollar, caret, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, slash, backslash, less, semicolon, control, end -> 98 |
| 57 | ref! | 57 | hash, apostrophe, backslash, greater, equal, comma, at-sign, dollar, caret, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, less, semicolon, control, end -> 101 |
| 58 | word! | 52 | hash, percent, comma, at-sign, dollar, invalid -> 67; slash -> 75; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon, backslash, semicolon, control, end -> 80 |
| 59 | path! | 67 | dquote -> 2; dollar -> 36; less -> 43; at-sign -> 57; digit, zero -> 60; apostrophe, colon -> 61; x, T, h, e, E, hex-lower, hex-upper, greater, equal, dot, continuation, letter -> 62; hash -> 63; plus, minus -> 64; lparen -> 70; rparen -> 71 |
| 60 | integer! | 67 | dot -> 24; e, E -> 26; x -> 33; at-sign -> 56; digit, zero, apostrophe -> 60; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon, slash, less, semicolon, control, end -> 82; percent -> 87 |
| 61 | word! | 67 | x, T, h, e, E, hex-lower, hex-upper, less, greater, equal, dot, plus, minus, continuation, letter -> 62 |
| 62 | word! | 62 | dollar -> 36; at-sign -> 56; hash, percent, comma, invalid -> 67; blank, newline, lbracket, rbracket, lparen, rparen, lbrace, rbrace, dquote, colon, slash, backslash, semicolon, control, end -> 80 |
| 63 | issue! | 22 | dquote -> 19; lbracket -> 21; blank, newline, rbracket, lparen, rparen, lbrace, rbrace, colon, slash, less, greater, equal, comma, semicolon, at-sign, control, invalid, end -> 67 |
| 64 | word! | 80 | dollar -> 36; at-sign -> 56; digit, zero -> 60; x, T, h, e, E, hex-lower, hex-upper, greater, equal, dot, continuation, letter -> 62; plus, minus -> 64; hash, apostrophe, less, percent, comma, caret, invalid -> 67 |
)";

// Final state, its datatype, its word in the exit-state list ("-": none).
constexpr const char* kFinalRows = R"(
66 none eof
67 error! error!
68 none block!
69 none block!
70 none paren!
71 none paren!
72 none string!
73 string! string!
74 none map!
75 none path!
76 none datatype!
77 none comment
78 none -
79 string! string!
80 word! word!
81 issue! issue!
82 integer! integer!
83 refinement! refinement!
84 char! char!
85 file! file!
86 binary! binary!
87 percent! percent!
88 float! float!
89 float! float!
90 tuple! tuple!
91 date! date!
92 pair! pair!
93 point2D! -
94 time! time!
95 money! money!
96 tag! tag!
97 url! url!
98 email! email!
99 integer! hex
100 string! rawstring
101 ref! ref!
)";

constexpr const char* kExitStates =
    "eof error! block! block! paren! paren! string! string! map! path! datatype! comment "
    "string! word! issue! integer! refinement! char! file! binary! percent! float! float! "
    "tuple! date! pair! time! money! tag! url! email! hex rawstring ref!";

constexpr const char* kDelimiterClasses =
    "blank newline lbracket rbracket lparen rparen lbrace dquote colon less semicolon invalid "
    "end";

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  size_t b = s.find_last_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(s);
  while (std::getline(in, part, sep)) parts.push_back(trim(part));
  return parts;
}

std::vector<std::string> lines_of(const char* text) {
  std::vector<std::string> out;
  for (const std::string& l : split(text, '\n')) {
    if (!l.empty()) out.push_back(l);
  }
  return out;
}

// "9 13 32 1-8" -> the byte values.
std::vector<int> parse_bytes(const std::string& list) {
  std::vector<int> bytes;
  for (const std::string& item : split(list, ' ')) {
    if (item.empty()) continue;
    size_t dash = item.find('-');
    int lo = std::stoi(item.substr(0, dash));
    int hi = dash == std::string::npos ? lo : std::stoi(item.substr(dash + 1));
    for (int b = lo; b <= hi; ++b) bytes.push_back(b);
  }
  return bytes;
}

struct ClassNames {
  std::map<std::string, int> index;
  std::vector<std::string> name;
};

const ClassNames& class_names() {
  static const ClassNames names = [] {
    ClassNames n;
    for (const std::string& row : lines_of(kClassRows)) {
      std::istringstream in(row);
      int number;
      std::string name;
      in >> number >> name;
      name.pop_back();  // the ":"
      n.index[name] = number;
      n.name.push_back(name);
    }
    return n;
  }();
  return names;
}

TypeId type_named(const std::string& name) {
  static const std::map<std::string, TypeId> types = {
      {"-", TYPE_NONE_ID},         {"none", TYPE_NONE_ID},        {"string!", TYPE_STRING},
      {"file!", TYPE_FILE},        {"url!", TYPE_URL},            {"char!", TYPE_CHAR},
      {"integer!", TYPE_INTEGER},  {"float!", TYPE_FLOAT},        {"word!", TYPE_WORD},
      {"set-word!", TYPE_SET_WORD}, {"refinement!", TYPE_REFINEMENT}, {"issue!", TYPE_ISSUE},
      {"path!", TYPE_PATH},        {"error!", TYPE_ERROR},        {"pair!", TYPE_PAIR},
      {"percent!", TYPE_PERCENT},  {"tuple!", TYPE_TUPLE},        {"binary!", TYPE_BINARY},
      {"time!", TYPE_TIME},        {"tag!", TYPE_TAG},            {"email!", TYPE_EMAIL},
      {"date!", TYPE_DATE},        {"money!", TYPE_MONEY},        {"ref!", TYPE_REF},
      {"point2D!", TYPE_POINT2D},
  };
  auto it = types.find(name);
  EXPECT_NE(it, types.end()) << "unknown type " << name;
  return it == types.end() ? TYPE_NONE_ID : it->second;
}

TEST(LexerTables, ClassOfEveryByte) {
  std::vector<int> expected(256, -1);
  for (const std::string& row : lines_of(kClassRows)) {
    std::istringstream in(row);
    int number;
    std::string name;
    in >> number >> name;
    std::string rest;
    std::getline(in, rest);
    for (int b : parse_bytes(rest)) {
      EXPECT_EQ(expected[b], -1) << "byte " << b << " in two classes";
      expected[b] = number;
    }
  }
  ASSERT_EQ(class_names().name.size(), size_t(lexer::CLASS_COUNT));
  for (int b = 0; b < 256; ++b) {
    ASSERT_NE(expected[b], -1) << "byte " << b << " in no class";
    EXPECT_EQ(static_cast<int>(lexer::char_class(static_cast<uint8_t>(b))), expected[b])
        << "byte " << b;
  }
}

TEST(LexerTables, TokenFlagsOfEveryByte) {
  std::vector<uint32_t> expected(256, 0);
  for (const std::string& row : lines_of(kFlagRows)) {
    size_t colon = row.find(':');
    int bit = std::stoi(row.substr(0, colon));
    for (int b : parse_bytes(row.substr(colon + 1))) expected[b] |= 1u << bit;
  }
  for (int b = 0; b < 256; ++b) {
    uint32_t entry = lexer::class_table[b];
    EXPECT_EQ(lexer::token_flags(static_cast<uint8_t>(b)), expected[b]) << "byte " << b;
    // Bits 8-17 are unused: a class test must never see flag bits.
    EXPECT_EQ(entry & 0x0003FF00u, 0u) << "byte " << b;
  }
}

TEST(LexerTables, TransitionRowsMatchTheTable) {
  const ClassNames& names = class_names();
  std::vector<std::string> rows = lines_of(kTransitionRows);
  ASSERT_EQ(rows.size(), size_t(lexer::RUNNING_STATES));
  for (size_t i = 0; i < rows.size(); ++i) {
    std::vector<std::string> cols = split(rows[i], '|');
    // A leading "|" gives an empty first column.
    ASSERT_EQ(cols.size(), 5u) << rows[i];
    int state = std::stoi(cols[1]);
    ASSERT_EQ(state, static_cast<int>(i)) << "rows out of order";
    std::vector<int> expected(lexer::CLASS_COUNT, std::stoi(cols[3]));
    std::vector<bool> listed(lexer::CLASS_COUNT, false);
    for (const std::string& exit : split(cols[4], ';')) {
      size_t arrow = exit.find("->");
      ASSERT_NE(arrow, std::string::npos) << exit;
      int target = std::stoi(exit.substr(arrow + 2));
      for (const std::string& cls : split(exit.substr(0, arrow), ',')) {
        auto it = names.index.find(cls);
        ASSERT_NE(it, names.index.end()) << "state " << state << ": class " << cls;
        EXPECT_FALSE(listed[it->second]) << "state " << state << " lists " << cls << " twice";
        listed[it->second] = true;
        expected[it->second] = target;
      }
    }
    for (int c = 0; c < lexer::CLASS_COUNT; ++c) {
      EXPECT_EQ(lexer::next_state(static_cast<uint8_t>(state), static_cast<CharClass>(c)),
                expected[c])
          << "state " << state << ", class " << names.name[c];
    }
    EXPECT_EQ(lexer::state_type(static_cast<uint8_t>(state)), type_named(cols[2]))
        << "type of state " << state;
  }
}

TEST(LexerTables, FinalStatesTypesAndExitNames) {
  std::vector<std::string> rows = lines_of(kFinalRows);
  ASSERT_EQ(rows.size(), size_t(lexer::FINAL_STATE_COUNT));
  for (const std::string& row : rows) {
    std::istringstream in(row);
    int state;
    std::string type, exit_name;
    in >> state >> type >> exit_name;
    SCOPED_TRACE(row);
    EXPECT_TRUE(lexer::is_final(static_cast<uint8_t>(state)));
    EXPECT_EQ(lexer::state_type(static_cast<uint8_t>(state)), type_named(type));
    const char* name = lexer::exit_state_name(static_cast<uint8_t>(state));
    if (exit_name == "-") {
      EXPECT_EQ(name, nullptr);
      EXPECT_EQ(lexer::exit_state_index(static_cast<uint8_t>(state)), -1);
    } else {
      ASSERT_NE(name, nullptr);
      EXPECT_EQ(std::string(name), exit_name);
    }
  }
  EXPECT_FALSE(lexer::is_final(64));
  EXPECT_EQ(lexer::state_type(65), TYPE_NONE_ID);
}

TEST(LexerTables, ExitStateListInOrder) {
  std::istringstream in(kExitStates);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  ASSERT_EQ(words.size(), size_t(lexer::EXIT_STATE_COUNT));
  for (size_t i = 0; i < words.size(); ++i) {
    EXPECT_EQ(std::string(lexer::exit_state_names[i]), words[i]) << "entry " << i;
  }
  // The driver reads type-less tokens' words at (state - 66).
  for (int s = lexer::S_EOF; s < lexer::S_COMMA; ++s) {
    EXPECT_EQ(lexer::exit_state_index(static_cast<uint8_t>(s)), s - lexer::S_EOF);
  }
  EXPECT_EQ(lexer::exit_state_index(lexer::S_STRING), 12);
  EXPECT_EQ(lexer::exit_state_index(lexer::S_REF), 33);
  EXPECT_EQ(lexer::exit_state_index(lexer::S_TIME), 26);
  EXPECT_EQ(lexer::exit_state_index(40), -1);
}

TEST(LexerTables, SkipLineAndDelimiterTables) {
  for (int s = 0; s < lexer::STATE_COUNT; ++s) {
    EXPECT_EQ(lexer::skip_table[s], s == 0 ? 1 : 0) << "state " << s;
  }
  std::istringstream in(kDelimiterClasses);
  std::vector<bool> delimiter(lexer::CLASS_COUNT, false);
  for (std::string w; in >> w;) delimiter[class_names().index.at(w)] = true;
  for (int c = 0; c < lexer::CLASS_COUNT; ++c) {
    const std::string& name = class_names().name[c];
    EXPECT_EQ(lexer::line_table[c], name == "newline" ? 1 : 0) << name;
    EXPECT_EQ(lexer::is_delimiter(static_cast<CharClass>(c)), delimiter[c]) << name;
  }
}

TEST(LexerTables, InvalidBytesFailEverywhereAndEndAlwaysFinishes) {
  for (int s = 0; s < lexer::RUNNING_STATES; ++s) {
    for (int b : {192, 193, 248, 255}) {
      EXPECT_EQ(lexer::next_state(static_cast<uint8_t>(s), lexer::char_class(static_cast<uint8_t>(b))),
                lexer::S_ERROR)
          << "state " << s << ", byte " << b;
    }
    EXPECT_TRUE(lexer::is_final(lexer::next_state(static_cast<uint8_t>(s), CharClass::end)))
        << "state " << s;
  }
  EXPECT_EQ(lexer::char_class(127), CharClass::continuation);
}

TEST(LexerTables, StringUnitFromFlags) {
  EXPECT_EQ(lexer::string_unit(0), 1u);
  EXPECT_EQ(lexer::string_unit(lexer::TOKEN_CARET | lexer::TOKEN_PERCENT), 1u);
  EXPECT_EQ(lexer::string_unit(lexer::TOKEN_WIDE2), 2u);
  EXPECT_EQ(lexer::string_unit(lexer::TOKEN_WIDE4), 4u);
  EXPECT_EQ(lexer::string_unit(lexer::TOKEN_WIDE2 | lexer::TOKEN_WIDE4), 4u);
}

// ---- Running the automaton over sample tokens ----

struct Sample {
  const char* text;
  uint8_t entry;
  uint8_t state;   // final state reached
  int end;         // first unconsumed byte; -1: the whole text
};

std::ostream& operator<<(std::ostream& os, const Sample& s) {
  return os << "\"" << s.text << "\" from state " << int(s.entry);
}

class LexerTokens : public ::testing::TestWithParam<Sample> {};

TEST_P(LexerTokens, ReachesItsFinalState) {
  const Sample& s = GetParam();
  std::string text(s.text);
  TokenScan scan = lexer::run_automaton(text, s.entry);
  EXPECT_EQ(int(scan.state), int(s.state)) << "previous state " << int(scan.previous);
  EXPECT_EQ(int(scan.end), s.end < 0 ? int(text.size()) : s.end);
  EXPECT_EQ(scan.type(), lexer::state_type(s.state));
}

const Sample kSamples[] = {
    // words and their prefixed and suffixed forms
    {"abc", 0, S_WORD, -1},
    {"abc:", 0, S_WORD, -1},
    {":abc", 0, S_WORD, -1},
    {"'abc", 0, S_WORD, -1},
    {"a-b?", 0, S_WORD, -1},
    {"<", 0, S_WORD, -1},
    {"<=", 0, S_WORD, -1},
    {"==", 0, S_WORD, -1},
    {"/", 0, S_WORD, -1},
    {"//", 0, S_WORD, -1},
    {"+", 0, S_WORD, -1},
    {"\xC3\xA9t\xC3\xA9", 0, S_WORD, -1},
    {"abc]", 0, S_WORD, 3},
    {"abc;x", 0, S_WORD, 3},
    // "h" makes a hexadecimal integer in lower case only; a sign makes a word
    {"FFh", 0, S_HEX, -1},
    {"0FFh", 0, S_HEX, -1},
    {"12h", 0, S_HEX, -1},
    {"FFH", 0, S_WORD, -1},
    {"+FFh", 0, S_WORD, -1},
    // refinements and issues
    {"/abc", 0, S_REFINEMENT, -1},
    {"/abc/def", 0, S_REFINEMENT, 4},
    {"#abc", 0, S_ISSUE, -1},
    {"#", 0, S_ISSUE, -1},
    // strings: the closing quote is left for the handler
    {"\"abc\"", 0, S_STRING, 4},
    {"\"a^\"b\"", 0, S_STRING, 5},
    {"\"abc", 0, S_ERROR, -1},
    {"\"a\nb\"", 0, S_ERROR, 2},
    // braced strings are driven one brace at a time
    {"{abc}", 0, S_BRACE_OPEN, 0},
    {"abc}", ENTRY_BRACED, S_BRACE_CLOSE, 3},
    {"a{b", ENTRY_BRACED, S_BRACE_OPEN, 1},
    {"a^}b}", ENTRY_BRACED, S_BRACE_CLOSE, 4},
    {"a\nb", ENTRY_BRACED, S_ERROR, -1},
    // raw strings
    {"%{abc}%", 0, S_RAW_STRING, -1},
    {"%{a}b}%", 0, S_RAW_STRING, -1},
    {"%{a\"b}% x", 0, S_RAW_STRING, 7},
    {"%%{a}%b}%%", 0, S_RAW_STRING, -1},
    {"%%{a}%}%%", 0, S_RAW_STRING, -1},
    {"%%{a}% b}%%]", 0, S_RAW_STRING, 11},
    {"%%{a}%", 0, S_ERROR, -1},
    {"%{a}%%", 0, S_ERROR, 5},
    {"%{a}%x", 0, S_ERROR, 5},
    {"%{abc", 0, S_ERROR, -1},
    // characters
    {"#\"a\"", 0, S_CHAR, 3},
    {"#\"^\"\"", 0, S_CHAR, 4},
    {"#\"a", 0, S_ERROR, -1},
    // files
    {"%abc", 0, S_FILE, -1},
    {"%a/b.txt", 0, S_FILE, -1},
    {"%\"a b\"", 0, S_FILE, 5},
    {"%", 0, S_WORD, -1},
    // urls, emails, refs, tags
    {"http://a.b/c?d=1", 0, S_URL, -1},
    {"a@b.c", 0, S_EMAIL, -1},
    {"@abc", 0, S_REF, -1},
    {"<a b=\"x>\">", 0, S_TAG, 9},
    {"<a", 0, S_ERROR, -1},
    // binaries and maps and constructions
    {"#{0A1f}", 0, S_BINARY, 6},
    {"#{0A ;x\n 1f}", 0, S_BINARY, 11},
    {"2#{0101}", 0, S_BINARY, 7},
    {"64#{AQ==}", 0, S_BINARY, 8},
    {"#{0A", 0, S_ERROR, -1},
    {"#[a 1]", 0, S_MAP_OPEN, 1},
    {"#(true)", 0, S_CONSTRUCT, 6},
    // delimiters and comments
    {"[", 0, S_BLOCK_OPEN, 0},
    {"]", 0, S_BLOCK_CLOSE, 0},
    {"(", 0, S_PAREN_OPEN, 0},
    {")", 0, S_PAREN_CLOSE, 0},
    {",", 0, S_COMMA, 0},
    {"; note\nx", 0, S_COMMENT, 6},
    {"", 0, S_EOF, 0},
    {"}", 0, S_ERROR, 0},
    // paths: the head ends at "/", elements start in the path state
    {"a/b", 0, S_PATH_OPEN, 1},
    {"'a/b", 0, S_PATH_OPEN, 2},
    {"12/b", 0, S_DATE, -1},
    {"b/c", ENTRY_PATH, S_WORD, 1},
    {"12/c", ENTRY_PATH, S_INTEGER, 2},
    {"'b", ENTRY_PATH, S_WORD, -1},
    {"#x", ENTRY_PATH, S_ISSUE, -1},
    {"(b)", ENTRY_PATH, S_PAREN_OPEN, 0},
    {")", ENTRY_PATH, S_PAREN_CLOSE, 0},
    // numbers
    {"123", 0, S_INTEGER, -1},
    {"-12", 0, S_INTEGER, -1},
    {"1'000", 0, S_INTEGER, -1},
    {"1.5", 0, S_FLOAT, -1},
    {".5", 0, S_FLOAT, -1},
    {"1e10", 0, S_FLOAT, -1},
    {"1.5e-3", 0, S_FLOAT, -1},
    {"1E5", 0, S_FLOAT, -1},
    {"1.#INF", 0, S_SPECIAL_FLOAT, -1},
    {"-1.#NaN", 0, S_SPECIAL_FLOAT, -1},
    {"1..2", 0, S_ERROR, 2},
    {"50%", 0, S_PERCENT, 2},
    {"1.5%", 0, S_PERCENT, 3},
    {"10x20", 0, S_PAIR, -1},
    {"-1X-2", 0, S_PAIR, -1},
    {"1.2.3", 0, S_TUPLE, -1},
    {"1.2.3.256", 0, S_TUPLE, -1},
    {"1-Jan-2000", 0, S_DATE, -1},
    {"2024-01-01T10:00:00Z", 0, S_DATE, -1},
    {"20240101T101010", 0, S_DATE, -1},
    {"20240101t101010", 0, S_ERROR, 8},
    {"10:30", 0, S_TIME, -1},
    {"1:30:45.5", 0, S_TIME, -1},
    {"$1.50", 0, S_MONEY, -1},
    {"-$5", 0, S_MONEY, -1},
    {"-EUR$3'000.25", 0, S_MONEY, -1},
    {"$", 0, S_ERROR, -1},
    // point literals run from after "(" to the closing ")"
    {"1, 2)", ENTRY_POINT, S_POINT, 4},
    {"1.5, -2, 3e2)", ENTRY_POINT, S_POINT, 12},
    {"1, 2", ENTRY_POINT, S_ERROR, -1},
};

INSTANTIATE_TEST_SUITE_P(LexerSamples, LexerTokens, ::testing::ValuesIn(kSamples));

TEST(LexerAutomaton, SkipsLeadingBlankSpaceAndCountsLines) {
  TokenScan scan = run_automaton(std::string_view(" \t\n\x01 abc def"));
  EXPECT_EQ(scan.state, S_WORD);
  EXPECT_EQ(scan.start, 5u);
  EXPECT_EQ(scan.end, 8u);
  EXPECT_EQ(scan.lines, 1u);

  scan = run_automaton(std::string_view("\n\n  "));
  EXPECT_EQ(scan.state, S_EOF);
  EXPECT_EQ(scan.start, 4u);
  EXPECT_EQ(scan.end, 4u);
  EXPECT_EQ(scan.lines, 2u);

  // A braced string's line breaks are consumed with its text.
  scan = run_automaton(std::string_view("a\nb\nc}"), ENTRY_BRACED);
  EXPECT_EQ(scan.state, S_BRACE_CLOSE);
  EXPECT_EQ(scan.lines, 2u);
  // A comment stops before its line feed, which the next token consumes.
  scan = run_automaton(std::string_view(";x\n"));
  EXPECT_EQ(scan.state, S_COMMENT);
  EXPECT_EQ(scan.lines, 0u);
}

TEST(LexerAutomaton, StopsAtAnEmbeddedNulAndAtTheGivenLength) {
  const uint8_t text[] = {'a', 'b', 0, 'c'};
  TokenScan scan = run_automaton(text, sizeof text);
  EXPECT_EQ(scan.state, S_WORD);
  EXPECT_EQ(scan.end, 2u);
  EXPECT_EQ(scan.flags & TOKEN_NUL, TOKEN_NUL);

  // Bytes past the length are never read.
  scan = run_automaton(reinterpret_cast<const uint8_t*>("\"abc\""), 3);
  EXPECT_EQ(scan.state, S_ERROR);
  EXPECT_EQ(scan.end, 3u);
}

TEST(LexerAutomaton, KeepsThePreviousStateForErrorReports) {
  // An error tells which type was being read.
  TokenScan scan = run_automaton(std::string_view("\"abc"));
  EXPECT_EQ(scan.state, S_ERROR);
  EXPECT_EQ(scan.previous, 2);
  EXPECT_EQ(state_type(scan.previous), TYPE_STRING);

  scan = run_automaton(std::string_view("1..2"));
  EXPECT_EQ(state_type(scan.previous), TYPE_FLOAT);

  scan = run_automaton(std::string_view("}"));
  EXPECT_EQ(scan.previous, 0);

  scan = run_automaton(std::string_view("abc"));
  EXPECT_EQ(scan.previous, 52);
}

TEST(LexerAutomaton, CollectsTokenFlags) {
  struct Case {
    const char* text;
    uint32_t must_have;
    uint32_t must_not_have;
  };
  const Case cases[] = {
      {"abc", 0, TOKEN_FLAGS_MASK},
      {"\"a^/b\"", TOKEN_CARET, TOKEN_WIDE2 | TOKEN_WIDE4},
      {"%a%20b", TOKEN_PERCENT, TOKEN_CARET},
      {"\"\xC3\xA9\"", TOKEN_WIDE2, TOKEN_WIDE4},
      {"\"\xF0\x9F\x98\x80\"", TOKEN_WIDE4, TOKEN_WIDE2},
      {"1'000", TOKEN_APOSTROPHE, TOKEN_DOT},
      {"1.5x2", TOKEN_DOT, 0},
      {"1:30e", TOKEN_EXPONENT | TOKEN_COLON, 0},
      {"-$5", TOKEN_SIGN, 0},
      {"a:", TOKEN_COLON, 0},
  };
  for (const Case& c : cases) {
    TokenScan scan = run_automaton(std::string_view(c.text));
    EXPECT_EQ(scan.flags & c.must_have, c.must_have) << c.text;
    EXPECT_EQ(scan.flags & c.must_not_have, 0u) << c.text;
  }
  EXPECT_EQ(string_unit(run_automaton(std::string_view("\"\xC3\xA9\"")).flags), 2u);
  EXPECT_EQ(string_unit(run_automaton(std::string_view("\"\xF0\x9F\x98\x80\"")).flags), 4u);
}

TEST(LexerAutomaton, InvalidUtf8BytesAreRefusedInsideTokens) {
  for (const char* text : {"ab\xC0", "\"ab\xFF\"", "%a\xF8", "12\xFE", "#{0\xC1}"}) {
    EXPECT_EQ(int(run_automaton(std::string_view(text)).state), S_ERROR) << text;
  }
  EXPECT_EQ(int(run_automaton(std::string_view("ab\xC1}"), ENTRY_BRACED).state), S_ERROR);
  // DEL continues a word like any continuation byte.
  EXPECT_EQ(run_automaton(std::string_view("a\x7F" "b")).state, S_WORD);
}

}  // namespace tav::lexer::lexer_tables_test
