// Evaluates Tav text for the binary! and text-natives tests: the actions and natives those
// tests call are defined with their argument specs, and every registered datatype's word is
// set, as the boot image will do.
#pragma once
#include <string>

#include "eval_helpers.h"
#include "scanner/lexer.h"

namespace tav::texteval {

inline Cell spec_of(const std::string& text) { return evaltest::loaded(text); }

inline void def(const char* name, TypeId kind, int32_t position, const std::string& spec) {
  evaltest::set_global(name, evaltest::make_builtin(kind, position, spec_of(spec)));
}

inline void install() {
  // Other suites define some of the same words with narrower specs: define them every time.
  evaltest::install();
  for (int t = 1; t <= highest_type_id; t++) {
    if (!type_table[t].name) continue;
    Cell dt;
    set_datatype(&dt, static_cast<TypeId>(t));
    evaltest::set_global(type_table[t].name, dt);
  }
  Cell c;
  evaltest::set_global("true", *set_logic(&c, true));
  evaltest::set_global("false", *set_logic(&c, false));
  evaltest::set_global("none", *set_none(&c));
  def("length?", TYPE_ACTION, ACT_LENGTH_Q, "series");
  const std::string add = "series value /part length /only /dup count";
  def("append", TYPE_ACTION, ACT_APPEND, add);
  def("insert", TYPE_ACTION, ACT_INSERT, add);
  def("change", TYPE_ACTION, ACT_CHANGE, add);
  def("to", TYPE_ACTION, ACT_TO, "type spec");
  def("mold", TYPE_ACTION, ACT_MOLD, "value /only /all /flat /part limit");
  def("form", TYPE_ACTION, ACT_FORM, "value /part limit");
  def("trim", TYPE_ACTION, ACT_TRIM, "series /head /tail /auto /lines /all /with str");
  def("find", TYPE_ACTION, ACT_FIND,
      "series value /part length /only /case /same /any /with wild /skip size /last /reverse "
      "/tail /match");
  def("select", TYPE_ACTION, ACT_SELECT,
      "series value /part length /only /case /same /any /with wild /skip size /last /reverse");
  def("and~", TYPE_ACTION, ACT_AND_T, "value1 value2");
  def("or~", TYPE_ACTION, ACT_OR_T, "value1 value2");
  def("xor~", TYPE_ACTION, ACT_XOR_T, "value1 value2");
  def("complement", TYPE_ACTION, ACT_COMPLEMENT, "value");
  def("next", TYPE_ACTION, ACT_NEXT, "series");
  def("head", TYPE_ACTION, ACT_HEAD, "series");
  def("take", TYPE_ACTION, ACT_TAKE, "series /part length /deep /last");
  const char* natives[][2] = {
      {"equal?", "value1 value2"},
      {"debase", "value /base base-value"},
      {"enbase", "value /base base-value"},
      {"dehex", "value"},
      {"enhex", "value"},
      {"uppercase", "string /part limit"},
      {"lowercase", "string /part limit"},
      {"checksum", "data method /with spec"},
      {"compress", "data method /level lvl"},
      {"decompress", "data method /size sz"},
      {"new-line", "position value /all /skip size"},
      {"new-line?", "position"},
      {"as", "type spec"},
      {"to-local-file", "path /full"},
      {"union", "set1 set2 /case /skip size"},
      {"intersect", "set1 set2 /case /skip size"},
      {"difference", "set1 set2 /case /skip size"},
      {"exclude", "set1 set2 /case /skip size"},
      {"unique", "set /case /skip size"},
      {"complement?", "bits"},
      {"parse", "input rules /case /part length /trace callback"},
  };
  for (auto& n : natives) def(n[0], TYPE_NATIVE, natives::position_of(n[0]), n[1]);
}

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
