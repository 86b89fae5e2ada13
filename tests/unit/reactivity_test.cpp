#include <gtest/gtest.h>

#include "eval_helpers.h"

namespace tav {
namespace {

using namespace evaltest;

// One change runs down a chain of ten thousand relations: each reaction's change is queued
// behind the running one rather than run inside it, so the depth of the machine stack stays
// the same however long the chain. (Too long for the language tables' torture runs.)
TEST(Reactivity, LongChainPropagatesWithoutDeepening) {
  install();
  Outcome o = run(loaded(R"(
    clear-reactions
    chain: make block! 10000
    loop 10000 [append chain reactor [x: 0]]
    repeat i 9999 [
      react/later bind copy/deep [b/x: a/x + 1] context [a: pick chain i  b: pick chain i + 1]
    ]
    chain/1/x: 1
    also reduce [chain/10000/x length? system/reactivity/queue] clear-reactions
  )"));
  ASSERT_FALSE(o.error) << o.text;
  EXPECT_EQ(text_of(o.value, true), "[10000 0]");
}

}  // namespace
}  // namespace tav
