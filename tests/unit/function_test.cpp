#include <gtest/gtest.h>

#include "datatypes/function.h"
#include "eval_helpers.h"

namespace tav {
namespace {

using namespace evaltest;

class Functions : public ::testing::Test {
 protected:
  void SetUp() override { install(); }
};

TEST_F(Functions, SpecChecks) {
  struct Case { Cell spec; const char* id; };
  const Case cases[] = {
      {blk({ref("a"), blk({w("integer!")})}), "script/bad-func-def"},
      {blk({sw("return"), blk({w("integer!")}), w("x")}), "script/bad-func-def"},
      {blk({w("x"), w("X")}), "script/dup-vars"},
      {blk({w("x"), blk({i(1)})}), "script/invalid-type-spec"},
      {blk({w("x"), blk({w("no-such-type!")})}), "script/no-value"},
      {blk({blk({i(1)})}), "script/bad-func-def"},
      {blk({ref("local"), lw("x")}), "script/bad-func-def"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(blk({w("func"), c.spec, blk({})})).id, c.id);
  Outcome ok = run(blk({w("func"), blk({sw("return"), blk({w("integer!")}), ref("local"), w("x")}),
                        blk({})}));
  EXPECT_FALSE(ok.error) << ok.text;
  Cell attrs = blk({blk({w("trace"), w("no-trace")}), w("x")});
  EXPECT_EQ(function::check_spec(&attrs), FLAG_TRACE | FLAG_NO_TRACE);
}

TEST_F(Functions, BodyIsADeepCopy) {
  Cell inner = blk({i(1)});
  Cell body = blk({inner});
  Cell fn = run(blk({w("func"), blk({}), body})).value;
  ASSERT_TRUE(fn.is(TYPE_FUNCTION));
  node_buffer(inner.node())->cells()[0] = make_cell(TYPE_INTEGER, 0, 2);
  stack::mark_native(nullptr);
  set_unset(stack::new_cell());
  Cell kept = *function::reflect(&fn, symbols::body);
  stack::unwind_reset();
  ASSERT_TRUE(kept.is(TYPE_BLOCK));
  EXPECT_NE(kept.node(), body.node());
  Cell kept_inner = node_buffer(kept.node())->cells()[0];
  EXPECT_NE(kept_inner.node(), inner.node());
  EXPECT_EQ(node_buffer(kept_inner.node())->cells()[0].int_value(), 1);
}

TEST_F(Functions, FunctionCollectsSetWordsAsLocals) {
  // function [/extern g] [x: 1 g: 2 foreach [a b] [] [] x]
  Outcome o = run(blk({w("function"), blk({ref("extern"), w("g")}),
                       blk({sw("x"), i(1), sw("g"), i(2), w("foreach"), blk({w("a"), w("b")}),
                            blk({}), blk({}), w("x")})}));
  ASSERT_TRUE(o.value.is(TYPE_FUNCTION)) << o.text;
  SeriesBuffer* spec = node_buffer(o.value.data2);
  ASSERT_EQ(spec->count(), 4u);
  EXPECT_TRUE(spec->cells()[0].is(TYPE_REFINEMENT));
  const char* names[] = {"local", "x", "a", "b"};
  for (uint32_t k = 0; k < 4; ++k) EXPECT_EQ(name_of(spec->cells()[k].data2), names[k]);
}

TEST_F(Functions, OperatorSpecs) {
  struct Case { Cell spec; bool ok; };
  const Case cases[] = {
      {blk({w("a"), w("b"), ref("local"), w("c")}), true},
      {blk({w("a"), w("b"), ref("only")}), false},
      {blk({lw("a"), w("b")}), false},
      {blk({w("a"), gw("b")}), true},
      {blk({w("a")}), false},
  };
  for (const Case& c : cases) EXPECT_EQ(native_type::op_valid_spec(c.spec.node()), c.ok);
  Outcome f = run(blk({w("func"), blk({w("a"), w("b")}), blk({w("a"), w("*"), w("b")})}));
  stack::mark_native(nullptr);
  set_unset(stack::new_cell());
  Cell proto = make_cell(TYPE_OP);
  Cell op = *native_type::make_op(&proto, &f.value, TYPE_OP);
  stack::unwind_reset();
  EXPECT_EQ((op.header >> 16) & 0xFF, uint32_t(TYPE_FUNCTION));
  set_global("times", op);
  EXPECT_EQ(run(blk({i(6), w("times"), i(7)})).value.int_value(), 42);
}

TEST_F(Functions, NativeValues) {
  Cell bad = blk({blk({}), i(121)});
  Cell proto = make_cell(TYPE_NATIVE);
  EXPECT_TRUE(testing::raises([&] { native_type::make(&proto, &bad, TYPE_NATIVE); }));
  Cell if_value = run(blk({gw("if")})).value;
  stack::mark_native(nullptr);
  set_unset(stack::new_cell());
  Cell body = *native_type::reflect(&if_value, symbols::body);
  stack::unwind_reset();
  EXPECT_EQ(body.int_value(), 1);
  Cell either_value = run(blk({gw("either")})).value;
  EXPECT_EQ(native_type::compare(&if_value, &if_value, COMP_EQUAL), 0);
  EXPECT_NE(native_type::compare(&if_value, &either_value, COMP_EQUAL), 0);
  EXPECT_EQ(natives::next_position(), 108u);
}

}  // namespace
}  // namespace tav
