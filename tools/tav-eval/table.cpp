// Language tables: each line of a table file is one case,
//     <expression> ==> <expected mold>      the result molds as written
//     <expression> !!> <error id>           evaluating raises that error
// Other non-empty lines (not starting with ";") are evaluated as set-up for the cases after
// them. Each case runs under its own try, so one failure never stops the table.
//
// The evaluator runs code several ways (the general interpreter and its fast tiers); the
// differential checks run each line a second way too, in a child process that starts from
// exactly this process's state, so that nothing the second run does can reach the cases
// after it:
// - general_road: every line again with the fast tiers off; its outcome, the error's whole
//   report included (where, near, stack), must be the same.
// - wrapped: each case's code as the body of a function called three times. The k-th call
//   must give what the k-th evaluation of the same code at top level gives (a second child
//   evaluates it three times in a row), so a case that changes what it reads, or its own
//   literal series, is held to its own repeated answers. Being called is not being at top
//   level, and the comparison leaves that out: the wrapper's name in an error's Where and
//   Stack, and the cases that meet the limits of the stacks or end with return or exit (see
//   comparable below).
#include "table.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "datatypes/string.h"
#include "core/collector.h"
#include "core/errors.h"
#include "evaluator/actions.h"
#include "evaluator/interpreter.h"
#include "scanner/lexer.h"
#include "core/stack.h"

namespace tav::table {

namespace table_detail {

struct Outcome {
  bool raised = false;
  std::string text;   // the mold of the result, or the error's id
  std::string report; // the error as the console prints it
};

std::string trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t\r");
  size_t b = s.find_last_not_of(" \t\r");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

// Evaluates the source's code, or with `kept` the code already scanned there.
Outcome evaluate(const std::string& source, const Cell* kept = nullptr) {
  Outcome out;
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  try {
    Cell* code = stack::new_cell();
    if (kept) *code = *kept;
    else lexer::transcode(source, code);
    Status s = interp::eval_block(code, false);
    if (s != CODE_NONE) {
      out.raised = true;
      out.text = "(unwound)";
    } else {
      Cell* result = stack::push(stack::top - 1);   // eval_block leaves it as the newest cell
      Cell* buffer = string::make_at(stack::new_cell(), 64);
      actions::mold_direct(result, buffer, false, false, false, nullptr, 0x7FFFFFFF, 0);
      out.text = string::to_std_string(buffer);
    }
  } catch (const Unwind& u) {
    out.raised = true;
    if (u.code == CODE_ERROR) {
      const Cell* err = stack::top - 1;
      out.text = std::string(error::id_name(err));
      out.report = error::form(err);
    } else {
      out.text = "(unwound)";
    }
  }
  stack::restore(saved);
  return out;
}

// A text cut to its first lines and a few hundred bytes, for printing a difference.
std::string shortened(const std::string& t) {
  std::string out;
  std::istringstream in(t);
  std::string line;
  while (std::getline(in, line)) {
    if (line.size() > 200) line = line.substr(0, 200) + "...";
    out += line;
    out += "\n    ";
  }
  return out;
}

// What a line gave, as one text: the mold, or the error's id and its whole report.
std::string transcript(const Outcome& o) {
  if (!o.raised) return o.text;
  return "error " + o.text + "\n" + o.report;
}

// The report without its Where and Stack lines, which name the calls the error was raised
// under: a wrapped case has one more.
std::string unplaced(const std::string& t) {
  std::string out;
  std::istringstream in(t);
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("*** Where:", 0) == 0 || line.rfind("*** Stack:", 0) == 0) continue;
    out += line;
    out += '\n';
  }
  return out;
}

// Runs `work` in a child process that starts from this process's state; `emit` hands its
// outcomes back. False when the child did not end normally (its outcomes are then partial).
bool in_child(const std::function<void(const std::function<void(const std::string&)>&)>& work,
              std::vector<std::string>* got) {
  got->clear();
  std::fflush(stdout);
  std::fflush(stderr);
  int fds[2];
  if (pipe(fds) != 0) return false;
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    close(fds[0]);
    // What the child's code prints is the parent's to print, once.
    std::FILE* null_out = std::freopen("/dev/null", "w", stdout);
    (void)null_out;
    work([&](const std::string& text) {
      uint32_t n = static_cast<uint32_t>(text.size());
      if (write(fds[1], &n, sizeof n) != sizeof n) _exit(3);
      size_t done = 0;
      while (done < n) {
        ssize_t w = write(fds[1], text.data() + done, n - done);
        if (w <= 0) _exit(3);
        done += size_t(w);
      }
    });
    close(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  std::string buffer;
  char chunk[4096];
  ssize_t r;
  while ((r = read(fds[0], chunk, sizeof chunk)) > 0) buffer.append(chunk, size_t(r));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  size_t at = 0;
  while (at + sizeof(uint32_t) <= buffer.size()) {
    uint32_t n;
    std::memcpy(&n, buffer.data() + at, sizeof n);
    at += sizeof n;
    if (at + n > buffer.size()) break;
    got->push_back(buffer.substr(at, n));
    at += n;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The outcome of the line once more with only the general interpreter.
std::string general_road(const std::string& source, bool* ok) {
  std::vector<std::string> got;
  *ok = in_child(
      [&](const auto& emit) {
        interp::set_tiers_enabled(false);
        emit(transcript(evaluate(source)));
      },
      &got);
  *ok = *ok && got.size() == 1;
  return got.empty() ? std::string("(no outcome: the child process failed)") : got[0];
}

constexpr int WRAPPED_CALLS = 3;

// The wrapper's name, which a wrapped case's errors carry in their Stack lines and stack
// blocks beside the calls the case makes itself.
constexpr const char* WRAPPER = "table-case";

// What the wrapped child answers when making the function raised.
const std::string NOT_WRAPPED = "(not wrapped: making the function raised) ";

// An outcome with the wrapper's name taken out.
std::string unwrapped(std::string t) {
  std::string name = WRAPPER;
  for (size_t at; (at = t.find(name)) != std::string::npos;)
    t.erase(at, t.compare(at + name.size(), 1, " ") == 0 ? name.size() + 1 : name.size());
  return t;
}

// The case's code evaluated WRAPPED_CALLS times at top level, and as many calls of a function
// whose body is that code; every outcome without its Where and Stack lines.
bool wrapped_runs(const std::string& source, std::vector<std::string>* top,
                  std::vector<std::string>* calls) {
  auto repeat = [&](bool wrapped) {
    return [&, wrapped](const auto& emit) {
      // The same code runs each time, as a function's body does: what it does to its own
      // literal series, it does alike both ways.
      Cell* code = stack::new_cell();
      lexer::transcode(source, code);
      if (wrapped) {
        Cell* name = stack::new_cell();
        std::string wrapper = WRAPPER;
        lexer::transcode(wrapper + "-body", name);
        evaluate(wrapper + "-body: none");
        interp::set_word(node_buffer(name->node())->cells(), code);
        Outcome made = evaluate(wrapper + ": func [] " + wrapper + "-body");
        if (made.raised) {
          emit(NOT_WRAPPED + made.report);
          return;
        }
        lexer::transcode(wrapper, code);
      }
      for (int k = 0; k < WRAPPED_CALLS; ++k)
        emit(unwrapped(unplaced(transcript(evaluate("", code)))));
    };
  };
  bool ok = in_child(repeat(false), top);
  ok = in_child(repeat(true), calls) && ok;
  return ok;
}

// Whether a case's top-level and wrapped runs can be held to the same answers. Two things
// set the wrapper apart from the top level, and a case that meets them is not compared: the
// call takes room on the stacks of its own, so a case that runs to their limit (either way
// raises stack-overflow, or answers its error) stops at another depth; and return and exit,
// which at top level have no function to end, end the wrapper. A case whose code cannot be
// made a function's body at all is not compared either, and says so. A Stack line that is
// cut short shows a window of the calls, which the wrapper's own call shifts.
bool cut_stack_line(const std::string& t) {
  size_t at = t.find("*** Stack: ");
  if (at == std::string::npos) return false;
  size_t cut = t.find(" ... ", at);
  return cut != std::string::npos && t.find("^/", at) > cut;
}

bool comparable(const std::vector<std::string>& top, const std::vector<std::string>& calls) {
  for (const std::vector<std::string>* runs : {&top, &calls})
    for (const std::string& t : *runs)
      if (t.find("stack-overflow") != std::string::npos || cut_stack_line(t)) return false;
  for (const std::string& t : top)
    if (t.rfind("error return\n", 0) == 0) return false;
  return true;
}

// What the second way gave for one line, taken before the line runs here.
struct Second {
  bool ok = true;
  std::string general;                  // general_road: the line's outcome
  std::vector<std::string> top, calls;  // wrapped: the outcomes of each run
};

Second second_way(Check check, const std::string& source, bool is_case) {
  Second w;
  if (check == Check::general_road) w.general = general_road(source, &w.ok);
  else if (check == Check::wrapped && is_case) w.ok = wrapped_runs(source, &w.top, &w.calls);
  return w;
}

// Whether the second way answered as this run did (o); prints the difference when not.
bool same_both_ways(Check check, const Second& w, const Outcome& o, const char* path,
                    int line_no, const std::string& source) {
  if (check == Check::general_road) {
    std::string fast = transcript(o);
    if (w.ok && w.general == fast) return true;
    std::printf("%s:%d: %s\n    fast tiers  %s\n    general     %s\n", path, line_no,
                source.c_str(), shortened(fast).c_str(), shortened(w.general).c_str());
    return false;
  }
  if (check == Check::wrapped) {
    if (w.ok && w.calls.size() == 1 && w.calls[0].rfind(NOT_WRAPPED, 0) == 0) {
      std::printf("%s:%d: %s\n    %s\n", path, line_no, source.c_str(),
                  shortened(w.calls[0]).c_str());
      return true;
    }
    if (w.ok && (w.top == w.calls || !comparable(w.top, w.calls))) return true;
    std::printf("%s:%d: %s\n", path, line_no, source.c_str());
    for (size_t k = 0; k < w.top.size() || k < w.calls.size(); ++k)
      std::printf("    run %zu at top level  %s\n    run %zu wrapped       %s\n", k + 1,
                  k < w.top.size() ? shortened(w.top[k]).c_str() : "(none)", k + 1,
                  k < w.calls.size() ? shortened(w.calls[k]).c_str() : "(none)");
    return false;
  }
  return true;
}

}  // namespace table_detail

int run(const char* path, Check check) {
  using namespace table_detail;
  std::ifstream in(path);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", path);
    return 2;
  }
  int passed = 0, failed = 0, line_no = 0;
  std::string line;
  while (std::getline(in, line)) {
    line_no++;
    std::string t = trim(line);
    if (t.empty() || t[0] == ';') continue;
    size_t ok = t.find(" ==> ");
    size_t bad = t.find(" !!> ");
    bool is_case = ok != std::string::npos || bad != std::string::npos;
    bool expect_error = bad != std::string::npos && (ok == std::string::npos || bad < ok);
    size_t at = expect_error ? bad : ok;
    std::string expr = is_case ? trim(t.substr(0, at)) : t;
    // Each line starts its own dense stretch of torture collections.
    collector::torture_restart();
    // The second way runs in a child forked before the line runs here, from the same state.
    Second w = second_way(check, expr, is_case);
    Outcome o = evaluate(expr);
    bool same = same_both_ways(check, w, o, path, line_no, expr);
    if (!is_case) {
      if (o.raised) std::printf("%s:%d: set-up failed: %s\n", path, line_no, o.report.c_str());
      if (o.raised || !same) failed++;
      continue;
    }
    std::string expected = trim(t.substr(at + 5));
    bool good = o.raised == expect_error && o.text == expected;
    if (good && same) {
      passed++;
      continue;
    }
    failed++;
    if (good) continue;
    std::printf("%s:%d: %s\n    expected %s%s\n    got      %s%s\n", path, line_no,
                expr.c_str(), expect_error ? "error " : "", expected.c_str(),
                o.raised ? "error " : "", o.text.c_str());
    if (!o.report.empty()) std::printf("    %s\n", o.report.c_str());
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace tav::table
