#include <gtest/gtest.h>

#include "datatypes/function.h"
#include "datatypes/native.h"
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
  Cell proto = make_cell(TYPE_NATIVE);
  Cell action_proto = make_cell(TYPE_ACTION);
  // Only filled native slots; eval-path, set-path and compare are no actions a word may name.
  struct Case { Cell* proto; int32_t index; TypeId type; bool ok; };
  const Case cases[] = {
      {&proto, 107, TYPE_NATIVE, true},      {&proto, 108, TYPE_NATIVE, false},
      {&proto, 121, TYPE_NATIVE, false},     {&proto, 0, TYPE_NATIVE, false},
      {&action_proto, 6, TYPE_ACTION, true}, {&action_proto, 7, TYPE_ACTION, false},
      {&action_proto, 8, TYPE_ACTION, false}, {&action_proto, 9, TYPE_ACTION, false},
      {&action_proto, 10, TYPE_ACTION, true}, {&action_proto, 63, TYPE_ACTION, false},
  };
  for (const Case& c : cases) {
    Cell spec = blk({blk({w("a")}), i(c.index)});
    stack::State saved = stack::save();
    EXPECT_EQ(testing::raises([&] { native_type::make(c.proto, &spec, c.type); }), !c.ok)
        << c.index;
    stack::restore(saved);
  }
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

TEST_F(Functions, FormAndMoldOfFunctionsNativesActionsAndOperators) {
  Cell fn = run(blk({w("func"), blk({w("a"), blk({w("integer!")}), w("b")}),
                     blk({w("a"), w("*"), w("b")})})).value;
  ASSERT_TRUE(fn.is(TYPE_FUNCTION));
  stack::mark_native(nullptr);
  set_unset(stack::new_cell());
  Cell proto = make_cell(TYPE_OP);
  Cell fn_op = *native_type::make_op(&proto, &fn, TYPE_OP);
  stack::unwind_reset();
  struct Case { Cell value; const char* form; const char* mold; };
  const Case cases[] = {
      {fn, "?function?", "func [a [integer!] b][a * b]"},
      {fn_op, "?op?", "make op! func [a [integer!] b][a * b]"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(formed(c.value), c.form);
    EXPECT_EQ(molded(c.value), c.mold);
  }
  // A function without a body molds "none" in its place.
  stack::mark_native(nullptr);
  set_unset(stack::new_cell());
  Cell spec = blk({w("x")});
  function::push(&spec, nullptr, 0);
  Cell bodiless = *(stack::top - 1);
  stack::unwind_reset();
  EXPECT_EQ(molded(bodiless), "func [x] none");
}

TEST_F(Functions, TheFourTypesAreRegisteredWithTheirNames) {
  struct Case { TypeId t; const char* name; };
  const Case cases[] = {{TYPE_NATIVE, "native!"}, {TYPE_ACTION, "action!"},
                        {TYPE_OP, "op!"}, {TYPE_FUNCTION, "function!"}};
  for (const Case& c : cases) {
    ASSERT_NE(type_table[c.t].name, nullptr);
    EXPECT_STREQ(type_table[c.t].name, c.name);
  }
  // action! and op! share native!'s compare and reflect; each has its own make.
  EXPECT_EQ(action_table[TYPE_ACTION][ACT_COMPARE - 1], action_table[TYPE_NATIVE][ACT_COMPARE - 1]);
  EXPECT_EQ(action_table[TYPE_OP][ACT_REFLECT - 1], action_table[TYPE_NATIVE][ACT_REFLECT - 1]);
  EXPECT_NE(action_table[TYPE_OP][ACT_MAKE - 1], action_table[TYPE_NATIVE][ACT_MAKE - 1]);
  EXPECT_EQ(action_table[TYPE_FUNCTION][ACT_APPEND - 1], nullptr);
}

}  // namespace
}  // namespace tav
