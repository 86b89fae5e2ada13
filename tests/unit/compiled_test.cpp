#include <gtest/gtest.h>

#include "eval_helpers.h"
#include "evaluator/compiled.h"
#include "evaluator/compiled_closed.h"

namespace tav {
namespace {

using namespace evaltest;

void install_loops() { install(); }

// Functions made and dropped by the thousand leave no compiled bodies behind once the
// collector has taken them.
TEST(CompiledBodies, GoWithTheirFunctions) {
  install_loops();
  Outcome made = run(loaded("loop 3000 [f: func [x] [x + 1] f 1]"));
  ASSERT_FALSE(made.error) << made.text;
  EXPECT_GE(compiled::program_count(), 1000u);
  Outcome dropped = run(loaded("f: 0 recycle g: func [x] [x * 2] g 3"));
  ASSERT_FALSE(dropped.error) << dropped.text;
  EXPECT_LT(compiled::program_count(), 100u);
}

// A body kept compiled still answers for what it does when it runs again.
TEST(CompiledBodies, KeepTheirFunctionsWorking) {
  install_loops();
  Outcome o = run(loaded("h: func [n] [either n < 2 [n] [(h n - 1) + (h n - 2)]] recycle h 15"));
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(o.value.int_value(), 610);
  o = run(loaded("h 10"));
  EXPECT_EQ(o.value.int_value(), 55);
}

// The program of the function a word names.
compiled::detail::Program* program_named(const char* name) {
  Outcome o = run(loaded(std::string(":") + name));
  if (o.error || !o.value.is(TYPE_FUNCTION)) return nullptr;
  Cell body = node_buffer(o.value.data3)->cells()[0];
  return compiled::detail::found_program(&o.value, &body);
}

// A body that only computes runs closed, and stops for good once what it was compiled for
// changes: the ordinary way then answers for it.
TEST(CompiledBodies, RunClosedWhileTheyOnlyCompute) {
  using namespace compiled::detail;
  install_loops();
  Outcome o = run(loaded("h: func [n] [either n < 2 [n] [(h n - 1) + (h n - 2)]] h 2 h 15"));
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(o.value.int_value(), 610);
  Program* p = program_named("h");
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->closed, CLOSED_YES);
  EXPECT_GE(p->closed_runs, 1u);
  EXPECT_EQ(p->closed_misses, 0u);
  // Subtracting an integer from a float has no inline answer: the run is abandoned and made
  // the ordinary way, while the calls it makes (h 1.5 and h 0.5) only compare and run closed.
  uint64_t runs = p->closed_runs;
  o = run(loaded("h 2.5"));
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(formed(o.value), "2.0");
  EXPECT_EQ(p->closed_misses, 1u);
  EXPECT_EQ(p->closed_runs, runs + 3);
  EXPECT_EQ(p->closed, CLOSED_YES);
  o = run(loaded("h 10"));
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(o.value.int_value(), 55);
  EXPECT_EQ(p->closed_misses, 1u);
  Outcome saved_either = run(loaded(":either"));
  o = run(loaded("h: 0 h2: func [n] [either n < 2 [n] [(h2 n - 1) + (h2 n - 2)]] h2 2 "
                 "either: func [c a b] [0] h2 10"));
  set_global("either", saved_either.value);
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(o.value.int_value(), 0);
  Program* p2 = program_named("h2");
  ASSERT_NE(p2, nullptr);
  EXPECT_EQ(p2->closed, CLOSED_NO);
}

}  // namespace
}  // namespace tav
