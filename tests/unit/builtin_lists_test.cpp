#include <gtest/gtest.h>

#include <string>

#include "builtin_lists.h"
#include "core/native_list.h"
#include "core/stack.h"
#include "core/types.h"
#include "evaluator/actions.h"
#include "evaluator/natives.h"
#include "scanner/lexer.h"
#include "test_runtime.h"

namespace tav {
namespace {

class BuiltinLists : public ::testing::Test {
 protected:
  void SetUp() override { testing::ensure_runtime(); }
};

// Every native the list names has its entry at its position once the runtime is up, and
// every action but set-path has its dispatcher.
TEST_F(BuiltinLists, EveryListedNativeAndActionHasItsEntry) {
  for (uint32_t p = 1; p <= natives::NATIVE_COUNT; p++) {
    EXPECT_NE(natives::entry(p - 1), nullptr) << natives::NATIVE_NAMES[p - 1];
    EXPECT_EQ(natives::position_of(natives::NATIVE_NAMES[p - 1]), p);
  }
  EXPECT_EQ(natives::position_of("equal?"), uint32_t(natives::NAT_EQUAL_Q));
  for (int a = 1; a <= ACTION_COUNT; a++)
    EXPECT_EQ(actions::table[a - 1] == nullptr, a == ACT_SET_PATH) << a;
}

// The boot image's build refuses sources that bind a native or an action elsewhere than
// the lists put it.
TEST_F(BuiltinLists, TheBootCheckNamesEachDisagreement) {
  struct Case {
    const char* source;
    const char* fault;   // a line the check reports; "" when the binding agrees
    const char* name;    // the name no line may start with when the binding agrees
  };
  const Case cases[] = {
      {"either: make native! [[c a b] 3]", "", "either:"},
      {"either: make native! [[c a b] 4]", "either: bound at 4, the runtime's list has it at 3",
       ""},
      {"frob: make native! [[x] 108]", "frob: no such native! in the runtime's list", ""},
      {"add: make action! [[a b] 11]", "", "add:"},
      {"add: make action! [[a b] 10]", "add: bound at 10, the runtime's list has it at 11", ""},
      {"if: make native! [[c b] 1] if: make native! [[c b] 1]", "if: bound more than once", ""},
      {"x: 1", "apply: the boot sources never bind this native!", ""},
      {"x: 1", "write: the boot sources never bind this action!", ""},
  };
  for (const Case& c : cases) {
    stack::State saved = stack::save();
    Cell* root = stack::new_cell();
    lexer::transcode(std::string("%boot.tav [") + c.source + "]", root);
    std::string faults = bootgen::check_builtin_lists(root);
    stack::restore(saved);
    if (*c.fault) {
      EXPECT_NE(faults.find(std::string(c.fault) + "\n"), std::string::npos) << c.source;
    } else {
      EXPECT_EQ(faults.find(std::string("\n") + c.name), std::string::npos) << c.source;
      EXPECT_NE(faults.rfind(c.name, 0), 0u) << c.source;
    }
    // An unused action such as compare is never reported missing.
    EXPECT_EQ(faults.find("compare:"), std::string::npos) << c.source;
  }
}

}  // namespace
}  // namespace tav
