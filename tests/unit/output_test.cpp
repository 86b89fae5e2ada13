#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/cell.h"
#include "core/output.h"
#include "platform/console.h"

namespace {

using tav::Cell;
namespace console = tav::console;

// ---- Hook lists ----------------------------------------------------------------------

std::vector<int> hook_calls;
std::vector<const Cell*> hook_texts;
std::vector<bool> hook_new_lines;

template <int N>
void print_recorder(const Cell* text, bool new_line) {
  hook_calls.push_back(N);
  hook_texts.push_back(text);
  hook_new_lines.push_back(new_line);
}

template <int N>
void output_recorder(const char*, int, bool) {
  hook_calls.push_back(100 + N);
}

class HookList : public ::testing::Test {
 protected:
  void SetUp() override {
    tav::hook::init();
    hook_calls.clear();
    hook_texts.clear();
    hook_new_lines.clear();
  }
  void TearDown() override { tav::hook::init(); }
};

TEST_F(HookList, RunsInRegistrationOrderAndGrowsByFive) {
  tav::PrintHook prints[] = {print_recorder<0>, print_recorder<1>, print_recorder<2>,
                             print_recorder<3>, print_recorder<4>, print_recorder<5>,
                             print_recorder<6>, print_recorder<7>, print_recorder<8>,
                             print_recorder<9>, print_recorder<10>};
  EXPECT_EQ(tav::hook::print_capacity(), 5);
  for (int i = 0; i < 11; ++i) {
    tav::dyn_print::add(prints[i], nullptr);
    int expected_capacity = i < 5 ? 5 : i < 10 ? 10 : 15;
    EXPECT_EQ(tav::hook::print_capacity(), expected_capacity) << "after " << i + 1;
  }
  EXPECT_EQ(tav::hook::print_count(), 11);
  EXPECT_EQ(tav::hook::output_count(), 0);

  Cell text = tav::make_cell(tav::TYPE_STRING);
  tav::hook::run_print_list(&text, true);
  EXPECT_EQ(hook_calls, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  for (size_t i = 0; i < hook_texts.size(); ++i) {
    EXPECT_EQ(hook_texts[i], &text);
    EXPECT_TRUE(hook_new_lines[i]);
  }
}

TEST_F(HookList, OutputListKeepsOrderPastGrowth) {
  tav::OutputHook outputs[] = {output_recorder<0>, output_recorder<1>, output_recorder<2>,
                               output_recorder<3>, output_recorder<4>, output_recorder<5>};
  for (auto fn : outputs) tav::dyn_print::add(nullptr, fn);
  EXPECT_EQ(tav::hook::output_capacity(), 10);
  tav::hook::run_output_list("x", 1, false);
  EXPECT_EQ(hook_calls, (std::vector<int>{100, 101, 102, 103, 104, 105}));
}

TEST_F(HookList, RemoveTakesFirstOccurrenceAndIgnoresUnknown) {
  tav::dyn_print::add(print_recorder<1>, output_recorder<1>);
  tav::dyn_print::add(print_recorder<2>, output_recorder<2>);
  tav::dyn_print::add(print_recorder<1>, nullptr);

  tav::dyn_print::remove(print_recorder<9>, output_recorder<9>);   // never added
  EXPECT_EQ(tav::hook::print_count(), 3);
  EXPECT_EQ(tav::hook::output_count(), 2);

  tav::dyn_print::remove(print_recorder<1>, nullptr);
  Cell text = tav::make_cell(tav::TYPE_STRING);
  tav::hook::run_print_list(&text, false);
  tav::hook::run_output_list("x", 1, false);
  EXPECT_EQ(hook_calls, (std::vector<int>{2, 1, 101, 102}));
}

// ---- Console writer ------------------------------------------------------------------

std::vector<std::string> sink_writes;
std::string hooked_bytes;
int hooked_new_lines = 0;

void capture_sink(const char* bytes, size_t length) { sink_writes.emplace_back(bytes, length); }

void capture_hook(const char* bytes, int length, bool new_line) {
  hooked_bytes.append(bytes, static_cast<size_t>(length));
  if (new_line) ++hooked_new_lines;
}

std::string all_written() {
  std::string s;
  for (const auto& w : sink_writes) s += w;
  return s;
}

class ConsoleWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    tav::hook::init();
    tav::dyn_print::add(nullptr, capture_hook);
    console::set_console_mode(false);
    previous_sink = console::set_sink(capture_sink);
    sink_writes.clear();
    hooked_bytes.clear();
    hooked_new_lines = 0;
  }
  void TearDown() override {
    console::set_sink(previous_sink);
    console::init();
    tav::hook::init();
  }
  console::Sink previous_sink = nullptr;
};

std::vector<uint8_t> units_to_bytes(const std::vector<uint32_t>& units, int unit) {
  std::vector<uint8_t> bytes;
  for (uint32_t u : units)
    for (int i = 0; i < unit; ++i) bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
  return bytes;
}

TEST_F(ConsoleWriter, WritesEachUnitSizeAsUtf8) {
  struct Case {
    int unit;
    std::vector<uint32_t> units;
    bool new_line;
    std::string expected;
  };
  const Case cases[] = {
      {1, {'A', 0xE9}, false, "A\xC3\xA9"},
      {1, {'A'}, true, "A\n"},
      {2, {'A', 0x20AC, 0x3B1}, false, "A\xE2\x82\xAC\xCE\xB1"},
      {4, {0x1F600, 0xE9, 'z'}, true, "\xF0\x9F\x98\x80\xC3\xA9z\n"},
      {4, {0x110000}, false, "\xEF\xBF\xBD"},   // beyond Unicode: the replacement character
  };
  for (const auto& c : cases) {
    sink_writes.clear();
    hooked_bytes.clear();
    auto bytes = units_to_bytes(c.units, c.unit);
    console::write_text(bytes.data(), bytes.size(), c.unit, c.new_line);
    EXPECT_EQ(all_written(), c.expected) << "unit " << c.unit;
    EXPECT_EQ(hooked_bytes, c.expected) << "unit " << c.unit;
  }
  EXPECT_EQ(hooked_new_lines, 0);
}

TEST_F(ConsoleWriter, LongTextIsWrittenInRunsOfAtMost1024Bytes) {
  struct Case {
    int unit;
    uint32_t character;
    std::string encoded;
  };
  const Case cases[] = {{1, 'a', "a"}, {2, 0x20AC, "\xE2\x82\xAC"}, {4, 0x1F600, "\xF0\x9F\x98\x80"}};
  for (const auto& c : cases) {
    sink_writes.clear();
    hooked_bytes.clear();
    auto bytes = units_to_bytes(std::vector<uint32_t>(2000, c.character), c.unit);
    console::write_text(bytes.data(), bytes.size(), c.unit, true);

    std::string expected;
    for (int i = 0; i < 2000; ++i) expected += c.encoded;
    expected += "\n";
    EXPECT_EQ(all_written(), expected) << "unit " << c.unit;
    EXPECT_EQ(hooked_bytes, expected) << "unit " << c.unit;
    ASSERT_GE(sink_writes.size(), 2u) << "unit " << c.unit;
    for (size_t i = 0; i < sink_writes.size(); ++i) {
      EXPECT_LE(sink_writes[i].size(), 1024u) << "unit " << c.unit << " write " << i;
      if (i + 1 < sink_writes.size()) {
        EXPECT_GT(sink_writes[i].size(), 1020u) << "unit " << c.unit << " write " << i;
      }
    }
  }
}

TEST_F(ConsoleWriter, EscapeSequencesAreTextWhenNotATerminal) {
  const char text[] = "a\x1b[31mb\x1b[2J";
  console::write_text(text, sizeof text - 1, 1, false);
  EXPECT_EQ(all_written(), text);
  EXPECT_EQ(hooked_bytes, text);
  EXPECT_EQ(console::attributes(), console::default_attributes());
}

TEST_F(ConsoleWriter, UnitSizeOtherThan124IsFatal) {
  const char text[] = "abc";
  EXPECT_EXIT(console::write_text(text, 3, 3, false), ::testing::ExitedWithCode(101),
              "\\*\\*\\* Runtime Error 101: no value matched in SWITCH");
}

// ---- Escape sequences on a terminal ----------------------------------------------------

class EscapeSequence : public ConsoleWriter {
 protected:
  void SetUp() override {
    ConsoleWriter::SetUp();
    console::set_console_mode(true);
  }
  std::string run(const std::string& text) {
    sink_writes.clear();
    hooked_bytes.clear();
    console::write_text(text.data(), text.size(), 1, false);
    return all_written();
  }
};

TEST_F(EscapeSequence, TranslatesToTheTerminalsOwn) {
  struct Case {
    const char* input;
    const char* terminal;
  };
  const Case cases[] = {
      {"\x1b[5;10H", "\x1b[11;6H"},     // column 5, row 10, zero-based
      {"\x1b[5;10f", "\x1b[11;6H"},
      {"\x1b[H", "\x1b[H"},
      {"\x1b[B", ""},                    // no count: ends without moving
      {"\x1b[3B", "\x1b[3B"},
      {"\x1b[0A", ""},
      {"\x1b[2D", "\x1b[2D"},
      {"\x1b[70000C", "\x1b[4465C"},    // parameters wrap at 65,535
      {"\x1b[s", "\x1b" "7"},
      {"\x1b[u", "\x1b" "8"},
      {"\x1b[K", "\x1b[K"},
      {"\x1b[2K", "\x1b[2K\r"},
      {"\x1b[1K", "\x1b[1K\r"},
      {"\x1b[2J", "\x1b[2J\x1b[H"},
      {"\x1b[5J", ""},
      {"\x1b[Zq", "q"},                  // unknown final: consumed, nothing done
      {"a\x1b" "xb", "a\x1b" "xb"},      // no "[": the ESC is text
      {"\x1b[;;3C", "\x1b[3C"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.input), c.terminal) << "input " << c.input + 1;
    EXPECT_EQ(console::attributes(), console::default_attributes()) << c.input + 1;
  }
}

TEST_F(EscapeSequence, HooksReceiveTextButNotSequences) {
  run("ab\x1b[3Ccd");
  EXPECT_EQ(all_written(), "ab\x1b[3Ccd");
  EXPECT_EQ(hooked_bytes, "abcd");
}

TEST_F(EscapeSequence, ColourCodesBuildTheAttributeWord) {
  struct Case {
    const char* input;
    uint32_t attributes;
    const char* terminal;
  };
  const Case cases[] = {
      {"\x1b[38m", 38, "\x1b[0;33;42m"},          // not in the table: the code itself
      {"\x1b[1;31;42m", 0xAC, "\x1b[0;91;102m"},  // three codes in one sequence
      {"\x1b[34;41m", 0x41, "\x1b[0;34;41m"},
      {"\x1b[7m", 0x70, "\x1b[0;30;47m"},
      {"\x1b[4m", 0x8007, "\x1b[0;37;40;4m"},
      {"\x1b[39m", 0x0F, "\x1b[0;97;40m"},
      {"\x1b[31m\x1b[0m", 0x07, "\x1b[0;31;40m\x1b[0m"},
  };
  for (const auto& c : cases) {
    console::set_console_mode(true);
    EXPECT_EQ(run(c.input), c.terminal) << c.input + 1;
    EXPECT_EQ(console::attributes(), c.attributes) << c.input + 1;
  }
}

TEST_F(EscapeSequence, ClearsUseTheDefaultColours) {
  EXPECT_EQ(run("\x1b[31m\x1b[K"), "\x1b[0;31;40m\x1b[0m\x1b[K\x1b[0;31;40m");
}

TEST_F(EscapeSequence, ParserStopsAtTheEndOfTheText) {
  // Exactly sized heap copies, so that a read past the end shows under the sanitizers.
  const std::vector<uint32_t> unfinished = {27, '[', '1', '2'};
  for (int unit : {1, 2, 4}) {
    auto bytes = units_to_bytes(unfinished, unit);
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
    std::memcpy(exact.get(), bytes.data(), bytes.size());
    EXPECT_EQ(console::parse_escape(exact.get(), exact.get() + bytes.size(), unit), 0u)
        << "unit " << unit;
    EXPECT_EQ(console::parse_escape(exact.get(), exact.get() + unit, unit), 0u)
        << "lone ESC, unit " << unit;
  }
  EXPECT_EQ(sink_writes.size(), 0u);
  EXPECT_EQ(run("ab\x1b[12"), "ab\x1b[12");   // unfinished: written as text
  EXPECT_EQ(hooked_bytes, "ab\x1b[12");
}

TEST_F(EscapeSequence, WideUnitsAreParsedWhole) {
  auto move = units_to_bytes({27, '[', '3', 'A', 'x'}, 2);
  console::write_text(move.data(), move.size(), 2, false);
  EXPECT_EQ(all_written(), "\x1b[3Ax");

  sink_writes.clear();
  // U+015B has "[" as its low byte but is not "[".
  auto other = units_to_bytes({27, 0x015B, '3', 'A'}, 4);
  console::write_text(other.data(), other.size(), 4, false);
  EXPECT_EQ(all_written(), "\x1b\xC5\x9B" "3A");
}

// ---- Typed printer and number writers --------------------------------------------------

TEST_F(ConsoleWriter, TypedPrinterFormatsEachCode) {
  struct Case {
    console::TypedArg arg;
    const char* expected;
  };
  const Case cases[] = {
      {console::typed_logic(true), "true"},
      {console::typed_logic(false), "false"},
      {console::typed_integer(-5), "-5"},
      {console::typed_integer(INT32_MIN), "-2147483648"},
      {console::typed_byte('A'), "A"},
      {console::typed_float32(0.1f), "0.1"},
      {console::typed_float32(3.14159274f), "3.141593"},
      {console::typed_float64(0.1), "0.1"},
      {console::typed_float64(1.0 / 3), "0.3333333333333333"},
      {console::typed_float64(1e20), "1e+20"},
      {console::typed_text("abc"), "abc"},
      {{console::TYPED_POINTER, 0xABC}, "00000ABC"},
      {{42, 0x123456789Aull}, "123456789A"},
  };
  for (const auto& c : cases) {
    sink_writes.clear();
    hooked_bytes.clear();
    console::print_typed(1, &c.arg);
    EXPECT_EQ(all_written(), c.expected);
    EXPECT_EQ(hooked_bytes, c.expected);
  }
  sink_writes.clear();
  console::TypedArg line[] = {console::typed_text("n="), console::typed_integer(3)};
  console::print_typed_line(2, line);
  EXPECT_EQ(all_written(), "n=3\n");
}

TEST_F(ConsoleWriter, NumberWriters) {
  console::print_integer(-42);
  console::print_c_text(" ");
  console::print_hex_byte(10);
  console::print_c_text(" ");
  console::print_hex(0xABC);
  console::print_c_text(" ");
  console::print_float64(2.5);
  console::print_c_text(" ");
  console::print_float32(1e-10f);
  EXPECT_EQ(all_written(), "-42 0A 00000ABC 2.5 1e-10");
  EXPECT_EQ(hooked_bytes, all_written());
}

TEST_F(ConsoleWriter, CharLiterals) {
  struct Case {
    uint8_t byte;
    const char* expected;
  };
  const Case cases[] = {{0, "#\"^@\""},  {9, "#\"^-\""},    {10, "#\"^/\""},
                        {27, "#\"^]\""}, {1, "#\"^A\""},    {31, "#\"^_\""},
                        {65, "#\"A\""},  {200, "#\"^(C8)\""}, {128, "#\"^(80)\""}};
  for (const auto& c : cases) {
    sink_writes.clear();
    console::print_char_literal(c.byte);
    EXPECT_EQ(all_written(), c.expected) << int(c.byte);
  }
}

TEST_F(ConsoleWriter, CTextsAreWrittenAsTheyAre) {
  console::print_c_text("caf\xC3\xA9 \x1b[2J");
  console::print_c_text_part("abcdef", 3);
  console::print_c_text_part("ab\0cd", 5);
  EXPECT_EQ(all_written(), "caf\xC3\xA9 \x1b[2J" "abcab");
  EXPECT_EQ(hooked_bytes, all_written());
}

}  // namespace
