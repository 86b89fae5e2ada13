#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/collector.h"
#include "eval_helpers.h"
#include "evaluator/natives_system.h"
#include "services/process.h"

namespace tav {
namespace {

using namespace evaltest;

Cell str(const char* text) {
  Cell s = *string::push_utf8(text);
  stack::pop(1);
  return s;
}
Cell str(const std::string& text) {
  Cell s = *string::push_utf8(text.data(), text.size());
  stack::pop(1);
  return s;
}
Cell file(const std::string& path) {
  Cell f = str(path);
  f.set_type(TYPE_FILE);
  return f;
}
Cell f(double d) { Cell c; set_float(&c, d); return c; }
std::string text(const Cell& s) { return string::to_std_string(&s); }

std::string temp_dir() {
  static std::string dir = [] {
    char tmpl[] = "/tmp/tav-system-natives-XXXXXX";
    return std::string(mkdtemp(tmpl)) + "/";
  }();
  return dir;
}

class SystemNatives : public ::testing::Test {
 protected:
  void SetUp() override {
    install();
    saved_ = stack::save();
  }
  void TearDown() override {
    EXPECT_EQ(stack::frames_top, saved_.frames_top);
    EXPECT_EQ(stack::top, saved_.top);
  }
  static Cell value(std::initializer_list<Cell> code) {
    Outcome o = run(blk(code));
    EXPECT_FALSE(o.error) << o.text;
    return o.value;
  }
  static std::string error_of(std::initializer_list<Cell> code) {
    Outcome o = run(blk(code));
    EXPECT_TRUE(o.error);
    return o.id;
  }
  static Cell call_path(std::initializer_list<const char*> refinements) {
    return path_of("call", refinements);
  }

  stack::State saved_{};
};

// ---- Memory ----------------------------------------------------------------------------

TEST_F(SystemNatives, StatsGivesTheBytesInUseAndInfoTheFrames) {
  Cell used = value({w("stats")});
  ASSERT_TRUE(used.is(TYPE_INTEGER));
  EXPECT_GT(used.int_value(), 0);

  Cell info = value({path({w("stats"), w("info")})});
  ASSERT_TRUE(info.is(TYPE_BLOCK));
  SeriesBuffer* b = node_buffer(info.node());
  ASSERT_EQ(b->count(), 5u);
  Cell* parts = b->cells();
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(parts[k].is(TYPE_BLOCK));
  // At least one node frame and one series frame, each as [free used total].
  for (int k = 0; k < 2; ++k) {
    SeriesBuffer* frames = node_buffer(parts[k].node());
    ASSERT_GE(frames->count(), 1u);
    Cell triple = frames->cells()[0];
    EXPECT_TRUE(triple.header & FLAG_NEW_LINE);
    Cell* n = node_buffer(triple.node())->cells();
    ASSERT_EQ(node_buffer(triple.node())->count(), 3u);
    // A series frame's total also counts its own header.
    if (k == 0) EXPECT_EQ(n[0].int_value() + n[1].int_value(), n[2].int_value());
    else EXPECT_LT(n[0].int_value() + n[1].int_value(), n[2].int_value());
    EXPECT_GT(n[1].int_value(), 0);
  }
  EXPECT_TRUE(parts[3].is(TYPE_INTEGER) || parts[3].is(TYPE_FLOAT));
  EXPECT_TRUE(parts[4].is(TYPE_INTEGER) || parts[4].is(TYPE_FLOAT));
}

TEST_F(SystemNatives, StatsShowHandsTheDetailsToTheLibrary) {
  // Without the library's presenter the word has no value.
  run(blk({w("unset"), lw("show-memory-stats")}));
  EXPECT_EQ(error_of({path({w("stats"), w("show")})}), "script/no-value");
  run(blk({sw("show-memory-stats"), w("func"), blk({w("s")}),
           blk({w("print"), w("s")})}));
  print_log().clear();
  Cell r = value({path({w("stats"), w("show")})});
  EXPECT_TRUE(r.is(TYPE_UNSET));
  EXPECT_FALSE(print_log().empty());
}

TEST_F(SystemNatives, RecycleSwitchesTheCollectorOrCollects) {
  uint32_t cycles = collector::cycle_count();
  EXPECT_TRUE(value({path({w("recycle"), w("off")})}).is(TYPE_UNSET));
  EXPECT_FALSE(collector::enabled);
  EXPECT_EQ(collector::cycle_count(), cycles);
  EXPECT_TRUE(value({path({w("recycle"), w("on")})}).is(TYPE_UNSET));
  EXPECT_TRUE(collector::enabled);
  // With collections on, the interpreter's safe points may also collect a pending request.
  collector::enabled = false;
  Cell left = value({w("recycle")});
  EXPECT_TRUE(left.is(TYPE_INTEGER));
  EXPECT_GT(left.int_value(), 0);
  EXPECT_EQ(collector::cycle_count(), cycles + 1);
}

// ---- Time ------------------------------------------------------------------------------

int pumped = 0;
void count_pump() { ++pumped; }

TEST_F(SystemNatives, WaitSleepsThenPumpsOneRoundOfEvents) {
  natives::gui_do_events = count_pump;
  pumped = 0;
  auto start = std::chrono::steady_clock::now();
  Cell r = value({w("wait"), f(0.05)});
  auto took = std::chrono::steady_clock::now() - start;
  natives::gui_do_events = nullptr;
  EXPECT_TRUE(r.is(TYPE_NONE));
  EXPECT_GE(took, std::chrono::milliseconds(50));
  EXPECT_EQ(pumped, 1);
  Cell t;
  set_float(&t, 0.01, TYPE_TIME);
  EXPECT_TRUE(value({w("wait"), t}).is(TYPE_NONE));
  EXPECT_TRUE(value({w("wait"), i(0)}).is(TYPE_NONE));
  EXPECT_EQ(error_of({w("wait"), make_cell(TYPE_NONE)}), "script/invalid-arg");
  EXPECT_EQ(error_of({w("wait"), blk({})}), "script/invalid-arg");
}

struct ZoneScope {
  std::string saved;
  bool had;
  explicit ZoneScope(const char* tz) {
    const char* old = getenv("TZ");
    had = old != nullptr;
    if (had) saved = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ZoneScope() {
    if (had) setenv("TZ", saved.c_str(), 1);
    else unsetenv("TZ");
    tzset();
  }
};

Cell now_with(std::initializer_list<const char*> refinements) {
  return path_of("now", refinements);
}

TEST_F(SystemNatives, NowFieldsComeFromOneClockReading) {
  ZoneScope zone("XYZ+0:30");   // half an hour west of UTC
  Cell z = value({now_with({"zone"})});
  ASSERT_TRUE(z.is(TYPE_TIME));
  EXPECT_EQ(z.float_value(), -1800.0);
  EXPECT_EQ(value({now_with({"zone", "utc"})}).float_value(), 0.0);

  time_t before = time(nullptr) - 1800;
  struct tm local {};
  gmtime_r(&before, &local);
  EXPECT_EQ(value({now_with({"year"})}).int_value(), local.tm_year + 1900);
  Cell month = value({now_with({"month"})});
  Cell day = value({now_with({"day"})});
  Cell weekday = value({now_with({"weekday"})});
  Cell yearday = value({now_with({"yearday"})});
  EXPECT_TRUE(month.int_value() >= 1 && month.int_value() <= 12);
  EXPECT_TRUE(day.int_value() >= 1 && day.int_value() <= 31);
  EXPECT_TRUE(weekday.int_value() >= 1 && weekday.int_value() <= 7);
  EXPECT_TRUE(yearday.int_value() >= 1 && yearday.int_value() <= 366);

  Cell t = value({now_with({"time"})});
  ASSERT_TRUE(t.is(TYPE_TIME));
  EXPECT_EQ(t.float_value(), std::floor(t.float_value()));
  double expected = static_cast<double>((time(nullptr) - 1800) % 86400);
  EXPECT_NEAR(t.float_value(), expected, 2.0);
  // time and precise go together; any other two fields do not.
  Cell precise = value({now_with({"time", "precise"})});
  EXPECT_TRUE(precise.is(TYPE_TIME));
  EXPECT_EQ(error_of({now_with({"year", "month"})}), "script/bad-refines");
  EXPECT_EQ(error_of({now_with({"date", "time"})}), "script/bad-refines");
}

// ---- Environment -----------------------------------------------------------------------

TEST_F(SystemNatives, EnvironmentVariablesSetReadAndRemoved) {
  unsetenv("TAV_TEST_VAR");
  EXPECT_TRUE(value({w("get-env"), str("TAV_TEST_VAR")}).is(TYPE_NONE));
  Cell r = value({w("set-env"), str("TAV_TEST_VAR"), str("héllo")});
  EXPECT_EQ(text(r), "héllo");
  EXPECT_STREQ(getenv("TAV_TEST_VAR"), "héllo");
  EXPECT_EQ(text(value({w("get-env"), str("TAV_TEST_VAR")})), "héllo");
  // A word names the variable by its spelling.
  EXPECT_EQ(text(value({w("get-env"), lw("TAV_TEST_VAR")})), "héllo");
  value({w("set-env"), str("TAV_TEST_VAR"), str("")});
  EXPECT_EQ(text(value({w("get-env"), str("TAV_TEST_VAR")})), "");
  EXPECT_TRUE(value({w("set-env"), str("TAV_TEST_VAR"), make_cell(TYPE_NONE)}).is(TYPE_NONE));
  EXPECT_EQ(getenv("TAV_TEST_VAR"), nullptr);
  EXPECT_TRUE(value({w("get-env"), str("TAV_TEST_VAR")}).is(TYPE_NONE));
}

TEST_F(SystemNatives, EnvironmentTextThatIsNotUtf8ReadsAsReplacementCharacters) {
  setenv("TAV_TEST_BAD", "a\xff" "b\xe2\x82", 1);
  EXPECT_EQ(text(value({w("get-env"), str("TAV_TEST_BAD")})), "a\uFFFDb\uFFFD\uFFFD");
  unsetenv("TAV_TEST_BAD");
  // A name with a NUL character names no variable.
  std::string nul("PATH\0X", 6);
  EXPECT_TRUE(value({w("get-env"), str(nul)}).is(TYPE_NONE));
}

// ---- Processes -------------------------------------------------------------------------

TEST_F(SystemNatives, CallOfAnEmptyCommandRunsNothing) {
  Cell at_tail = str("echo hi");
  at_tail.data1 = 7;
  EXPECT_EQ(value({w("call"), str("")}).int_value(), 0);
  EXPECT_EQ(value({w("call"), at_tail}).int_value(), 0);
}

TEST_F(SystemNatives, CallCapturesOutputErrorAndExitStatus) {
  Cell out = str("");
  Cell err = str("");
  Cell r = value({call_path({"shell", "output", "error"}),
                  str("printf 'a\\r\\nb\\n'; echo oops >&2; exit 3"), out, err});
  EXPECT_EQ(r.int_value(), 3);
  EXPECT_EQ(text(out), "a\nb\n");
  EXPECT_EQ(text(err), "oops\n");

  EXPECT_EQ(value({call_path({"wait"}), str("exit 5")}).int_value(), 5);
  EXPECT_EQ(value({call_path({"wait", "shell"}), str("kill -9 $$")}).int_value(), 128 + 9);
  EXPECT_EQ(value({call_path({"wait"}), str("no-such-command-tav 2>/dev/null")}).int_value(), 127);
}

TEST_F(SystemNatives, CallInsertsCapturedOutputAtTheTargetIndex) {
  Cell out = str("[]");
  out.data1 = 1;
  value({call_path({"output"}), str("printf 'h\xc3\xa9'"), out});
  out.data1 = 0;
  EXPECT_EQ(text(out), "[hé]");
}

TEST_F(SystemNatives, CallFeedsInputAndNeverDeadlocksOnLargeStreams) {
  Cell out = str("");
  EXPECT_EQ(value({call_path({"input", "output"}), str("tr a-z A-Z"), str("abc\ndef"), out})
                .int_value(),
            0);
  EXPECT_EQ(text(out), "ABC\nDEF");

  // Two megabytes through cat: its output pipe fills long before its input is written.
  std::string big;
  for (int k = 0; k < 200000; ++k) big += "line " + std::to_string(k % 10) + "..\n";
  Cell big_out = str("");
  Cell big_err = str("");
  Cell r = value({call_path({"shell", "input", "output", "error"}), str("cat; cat >&2 </dev/null; head -c 300000 /dev/zero | tr '\\0' x >&2"),
                  str(big), big_out, big_err});
  EXPECT_EQ(r.int_value(), 0);
  EXPECT_EQ(text(big_out).size(), big.size());
  EXPECT_TRUE(text(big_out) == big);
  EXPECT_EQ(text(big_err).size(), 300000u);

  // A child that reads nothing does not stall the writer either.
  Cell quick = str("");
  EXPECT_EQ(value({call_path({"input", "output"}), str("echo done"), str(big), quick}).int_value(), 0);
  EXPECT_EQ(text(quick), "done\n");
}

TEST_F(SystemNatives, CallRedirectsToAndFromFiles) {
  std::string in_path = temp_dir() + "in.txt";
  std::string out_path = temp_dir() + "out.txt";
  { std::ofstream(in_path) << "from a file\n"; }
  { std::ofstream(out_path) << "kept\n"; }
  EXPECT_EQ(value({call_path({"input", "output"}), str("cat"), file(in_path), file(out_path)})
                .int_value(),
            0);
  std::ifstream got(out_path);
  std::string all((std::istreambuf_iterator<char>(got)), std::istreambuf_iterator<char>());
  EXPECT_EQ(all, "kept\nfrom a file\n");
  // An input file that cannot be opened fails the call.
  EXPECT_EQ(value({call_path({"input"}), str("cat"), file(temp_dir() + "missing")}).int_value(), -1);
  // A command given as a file runs that program.
  std::string script = temp_dir() + "script.sh";
  { std::ofstream(script) << "#!/bin/sh\nexit 4\n"; }
  chmod(script.c_str(), 0755);
  EXPECT_EQ(value({call_path({"wait"}), file(script)}).int_value(), 4);
  EXPECT_EQ(error_of({call_path({"console"}), str("true")}), "internal/not-done");
}

TEST(CallCommandLine, SplitsIntoWordsAsAShellUserWritesThem) {
  struct Row {
    const char* line;
    std::vector<std::string> words;
  } rows[] = {
      {"prog a  b", {"prog", "a", "b"}},
      {"  \tprog\t", {"prog"}},
      {"", {}},
      {"say 'a b' \"c d\"", {"say", "a b", "c d"}},
      {"say 'it\"s' \"it's\"", {"say", "it\"s", "it's"}},
      {"say a'b c'd", {"say", "ab cd"}},
      {"say ''", {"say", ""}},
      {"say a\\ b \\'x", {"say", "a b", "'x"}},
      {"say \"\\\" \\\\ \\$ \\x\"", {"say", "\" \\ $ \\x"}},
      {"say '\\n'", {"say", "\\n"}},
      {"say $HOME ~ *", {"say", "$HOME", "~", "*"}},
      {"say a\\\nb \\\n", {"say", "ab"}},
  };
  for (const Row& r : rows) {
    std::vector<std::string> got;
    EXPECT_TRUE(process::split_command(r.line, &got)) << r.line;
    EXPECT_EQ(got, r.words) << r.line;
  }
  std::vector<std::string> got;
  for (const char* unfinished : {"say 'a", "say \"a", "say a\\", "say \"a\\\""})
    EXPECT_FALSE(process::split_command(unfinished, &got)) << unfinished;
}

TEST_F(SystemNatives, CallRunsTheProgramDirectlyAndFallsBackToTheShell) {
  // Run directly: quotes group words, nothing is expanded.
  Cell out = str("");
  EXPECT_EQ(value({call_path({"output"}), str("printf '%s|%s|%s' \"a b\" $HOME 'c\"d'"), out})
                .int_value(),
            0);
  EXPECT_EQ(text(out), "a b|$HOME|c\"d");
  // Not a program: the shell runs the line.
  Cell built_in = str("");
  EXPECT_EQ(value({call_path({"output"}), str("cd / && pwd"), built_in}).int_value(), 0);
  EXPECT_EQ(text(built_in), "/\n");
  // Asked for the shell: its syntax works even when the first word is a program.
  Cell shell = str("");
  EXPECT_EQ(value({call_path({"shell", "output"}), str("echo $((2 + 3)) | tr 5 x"), shell})
                .int_value(),
            0);
  EXPECT_EQ(text(shell), "x\n");
  // Nowhere to be found, not even by the shell: its status.
  EXPECT_EQ(value({call_path({"wait"}), str("no-such-program-tav --flag")}).int_value(), 127);
  EXPECT_EQ(value({call_path({"wait", "show"}), str("true")}).int_value(), 0);
}

TEST_F(SystemNatives, CallOfAFileRunsThatOneProgramAndAFailedStartLeavesNoChild) {
  std::string dir = temp_dir() + "a b'c/";
  mkdir(dir.c_str(), 0755);
  std::string script = dir + "run me.sh";
  { std::ofstream(script) << "#!/bin/sh\nexit 6\n"; }
  chmod(script.c_str(), 0755);
  EXPECT_EQ(value({call_path({"wait"}), file(script)}).int_value(), 6);
  // Found but not executable: the start fails at once, and no zombie is left to reap.
  std::string plain = dir + "plain.txt";
  { std::ofstream(plain) << "not a program\n"; }
  chmod(plain.c_str(), 0644);
  EXPECT_EQ(value({call_path({"wait"}), file(plain)}).int_value(), -1);
  EXPECT_LE(waitpid(-1, nullptr, WNOHANG), 0);
}

bool gone(pid_t pid) {
  for (int k = 0; k < 200; ++k) {
    if (kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(SystemNatives, CallWithoutWaitingGivesTheProcessIdAndTheChildIsReaped) {
  Cell r = value({w("call"), str("exit 0")});
  ASSERT_GT(r.int_value(), 0);
  // A zombie still answers kill(pid, 0): gone means it was reaped.
  EXPECT_TRUE(gone(static_cast<pid_t>(r.int_value())));
}

TEST_F(SystemNatives, BrowseHandsTheTargetToTheDesktopOpener) {
  std::string bin = temp_dir() + "bin/";
  mkdir(bin.c_str(), 0755);
  std::string record = temp_dir() + "opened.txt";
  {
    std::ofstream s(bin + "xdg-open");
    s << "#!/bin/sh\nprintf '%s' \"$1\" > " << record << ".part && mv " << record << ".part "
      << record << "\n";
  }
  chmod((bin + "xdg-open").c_str(), 0755);
  std::string old_path = getenv("PATH");
  setenv("PATH", (bin + ":" + old_path).c_str(), 1);
  Cell url = str("https://example.org/a b");
  url.set_type(TYPE_URL);
  EXPECT_TRUE(value({w("browse"), url}).is(TYPE_UNSET));
  std::string got;
  for (int k = 0; k < 300 && got.empty(); ++k) {
    std::ifstream in(record);
    std::getline(in, got);
    if (got.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(got, "https://example.org/a b");
  unlink(record.c_str());
  got.clear();
  EXPECT_TRUE(value({w("browse"), file("-notes.txt")}).is(TYPE_UNSET));
  for (int k = 0; k < 300 && got.empty(); ++k) {
    std::ifstream in(record);
    std::getline(in, got);
    if (got.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(got, "./-notes.txt");
  setenv("PATH", old_path.c_str(), 1);
}

// ---- Files -----------------------------------------------------------------------------

TEST_F(SystemNatives, SizeOfFiles) {
  std::string path = temp_dir() + "five.bin";
  { std::ofstream(path) << "12345"; }
  EXPECT_EQ(value({w("size?"), file(path)}).int_value(), 5);
  EXPECT_TRUE(value({w("size?"), file(temp_dir() + "none-here")}).is(TYPE_NONE));
  // A folder by its name alone: nothing on disk is asked.
  EXPECT_TRUE(value({w("size?"), file("/no/such/folder/")}).is(TYPE_NONE));
  EXPECT_TRUE(value({w("size?"), file(temp_dir().substr(0, temp_dir().size() - 1))}).is(TYPE_NONE));
  // Beyond what an integer! holds: unknown, not a wrapped count.
  std::string sparse = temp_dir() + "sparse.bin";
  { std::ofstream(sparse) << ""; }
  if (truncate(sparse.c_str(), 5LL << 30) == 0) {
    EXPECT_TRUE(value({w("size?"), file(sparse)}).is(TYPE_NONE));
  }
  unlink(sparse.c_str());
}

}  // namespace
}  // namespace tav
