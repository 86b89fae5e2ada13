// Language tables: each line of a table file is one case,
//     <expression> ==> <expected mold>      the result molds as written
//     <expression> !!> <error id>           evaluating raises that error
// Other non-empty lines (not starting with ";") are evaluated as set-up for the cases after
// them. Each case runs under its own try, so one failure never stops the table.
#include "table.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "datatypes/string.h"
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

Outcome evaluate(const std::string& source) {
  Outcome out;
  stack::State saved = stack::save();
  stack::mark_try(nullptr);
  try {
    Cell* code = stack::new_cell();
    lexer::transcode(source, code);
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

}  // namespace table_detail

int run(const char* path) {
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
    if (ok == std::string::npos && bad == std::string::npos) {
      Outcome o = evaluate(t);
      if (o.raised) {
        std::printf("%s:%d: set-up failed: %s\n", path, line_no, o.report.c_str());
        failed++;
      }
      continue;
    }
    bool expect_error = bad != std::string::npos && (ok == std::string::npos || bad < ok);
    size_t at = expect_error ? bad : ok;
    std::string expr = trim(t.substr(0, at));
    std::string expected = trim(t.substr(at + 5));
    Outcome o = evaluate(expr);
    bool good = o.raised == expect_error && o.text == expected;
    if (good) {
      passed++;
    } else {
      failed++;
      std::printf("%s:%d: %s\n    expected %s%s\n    got      %s%s\n", path, line_no, expr.c_str(),
                  expect_error ? "error " : "", expected.c_str(), o.raised ? "error " : "",
                  o.text.c_str());
      if (!o.report.empty()) std::printf("    %s\n", o.report.c_str());
    }
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace tav::table
