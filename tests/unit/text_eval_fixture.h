// Evaluates Tav text on the real boot image for the binary! and text-natives tests.
#pragma once
#include <string>

#include "eval_helpers.h"
#include "scanner/lexer.h"

namespace tav::texteval {

inline Cell spec_of(const std::string& text) { return evaltest::loaded(text); }

inline void install() { evaltest::install(); }

// The mold of the last value of the text, or "error: category/id".
inline std::string eval_mold(const std::string& code) {
  Cell* b = stack::new_cell();
  lexer::transcode(code, b);
  evaltest::Outcome o = evaltest::run(*b);
  stack::pop(1);
  if (o.error) return "error: " + o.id;
  return evaltest::molded(o.value);
}

class TextEval : public ::testing::Test {
 protected:
  void SetUp() override { install(); }
};

}  // namespace tav::texteval
