#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/context.h"
#include "core/memory.h"
#include "core/stack.h"
#include "core/symbols.h"
#include "test_runtime.h"
#include "core/words.h"

namespace tav {
namespace {

class Contexts : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensure_runtime();
    saved_ = stack::save();
  }
  void TearDown() override { stack::restore(saved_); }

  static Cell unbound(TypeId t, const char* name) {
    return make_cell(t, 0, symbol::make(name), uint32_t(-1));
  }
  static Cell* append(NodeId blk, const Cell& c) {
    Cell* slot = series::buffer_new_tail_cell(blk);
    *slot = c;
    return slot;
  }
  static Cell block_cell(NodeId blk) { return make_cell(TYPE_BLOCK, 0, blk); }
  static Cell integer(int v) {
    Cell c;
    set_integer(&c, v);
    return c;
  }

  stack::State saved_{};
};

TEST_F(Contexts, GlobalCaseVariantsShareOneValue) {
  Cell lower = word::make(symbol::make("ctx-foo"));
  Cell one = integer(1);
  word::set(&lower, &one);
  Cell upper = word::make(symbol::make("CTX-FOO"));
  EXPECT_NE(upper.data2, lower.data2);   // spelling kept
  EXPECT_EQ(context::get_word_value(&upper)->int_value(), 1);
  // A spelling interned first but added to the global context second still shares.
  symbol::make("Ctx-Bar");
  Cell bar = word::make(symbol::make("ctx-bar"));
  Cell two = integer(2);
  word::set(&bar, &two);
  Cell first_spelling = *context::global_word(symbol::make("Ctx-Bar"), false, true);
  EXPECT_EQ(first_spelling.data3, bar.data3);
  EXPECT_EQ(context::get_word_value(&first_spelling)->int_value(), 2);
}

TEST_F(Contexts, UnsetWordRaisesNoValueAndUnsetAssignmentNeedValue) {
  Cell w = word::make(symbol::make("ctx-never-set"));
  EXPECT_TRUE(testing::raises([&] { word::get(&w); }));
  Cell unset = make_cell(TYPE_UNSET);
  EXPECT_TRUE(testing::raises([&] { word::set(&w, &unset); }));
  EXPECT_TRUE(word::get_unchecked(&w)->is(TYPE_UNSET));
}

TEST_F(Contexts, SpecBuildsWordsInOrderSkippingOtherValues) {
  NodeId spec = alloc::new_cells(8);
  append(spec, unbound(TYPE_WORD, "a"));
  append(spec, unbound(TYPE_WORD, "b"));
  append(spec, unbound(TYPE_REFINEMENT, "c"));
  append(spec, unbound(TYPE_WORD, "d"));
  append(spec, make_cell(TYPE_STRING));
  append(spec, unbound(TYPE_SET_WORD, "e"));
  append(spec, unbound(TYPE_WORD, "A"));   // a case variant adds nothing
  append(spec, block_cell(alloc::new_cells(1)));
  Cell spec_cell = block_cell(spec);
  NodeId ctx = context::make_from_spec(&spec_cell, context::KIND_OBJECT);
  ASSERT_EQ(context::word_count(ctx), 4u);
  const char* expected[] = {"a", "b", "c", "d"};
  for (uint32_t i = 0; i < 4; i++) {
    const Cell* w = context::word_cell(ctx, i);
    EXPECT_EQ(symbol::name(w->data2).length, 1u);
    EXPECT_EQ(symbol::name(w->data2).bytes[0], expected[i][0]);
    EXPECT_EQ(w->data3, i);
    EXPECT_EQ(w->data1, ctx);
  }
  EXPECT_EQ(node_buffer(context::values_of(ctx))->count(), 4u);
}

TEST_F(Contexts, EmptyContextHasRoomAndAddingTwiceAddsOnce) {
  NodeId ctx = context::make(context::KIND_OBJECT, 0);
  Cell v = integer(5);
  uint32_t sym = symbol::make("ctx-once");
  EXPECT_NE(context::add_word(ctx, sym, &v), nullptr);
  EXPECT_EQ(context::add_word(ctx, sym, &v), nullptr);
  EXPECT_EQ(context::find_or_add_word(ctx, sym), 0);
  EXPECT_EQ(context::word_count(ctx), 1u);
  // Lookup by alias finds another spelling; an exact lookup does not.
  uint32_t variant = symbol::make("CTX-ONCE");
  EXPECT_EQ(context::find_symbol(ctx, variant, true), 0);
  EXPECT_EQ(context::find_symbol(ctx, variant, false), -1);
}

TEST_F(Contexts, ObjectContextsGrowAndMarkStoredFields) {
  NodeId ctx = context::make(context::KIND_OBJECT, 2);
  std::vector<uint32_t> syms;
  for (int i = 0; i < 300; i++) {
    std::string n = "field-" + std::to_string(i);
    syms.push_back(symbol::make(n.data(), n.size()));
    Cell v = integer(i);
    context::put(ctx, syms.back(), &v);
  }
  for (int i = 0; i < 300; i++) {
    int32_t pos = context::find_symbol(ctx, syms[i], false);
    ASSERT_EQ(pos, i);
    EXPECT_EQ(context::slot_value_cell(ctx, pos)->int_value(), i);
  }
  Cell w = *context::word_cell(ctx, 7);
  Cell v = integer(-1);
  context::set_word_value(&w, &v);
  EXPECT_TRUE(context::word_cell(ctx, 7)->header & FLAG_FIELD_STORED);
  EXPECT_FALSE(context::word_cell(ctx, 8)->header & FLAG_FIELD_STORED);
}

TEST_F(Contexts, LookupsAgreeBeforeAndAfterTheWordListGetsAnIndex) {
  // Few words are scanned, more are hashed: at every size each word is found by its own
  // spelling and by another case, at the position it was given, and absent ones are not.
  NodeId ctx = context::make(context::KIND_OBJECT, 1);
  std::vector<uint32_t> lower, upper;
  for (int i = 0; i < 20; i++) {
    std::string n = "scan-" + std::to_string(i);
    std::string u = "SCAN-" + std::to_string(i);
    lower.push_back(symbol::make(n.data(), n.size()));
    upper.push_back(symbol::make(u.data(), u.size()));
    EXPECT_EQ(context::find_symbol(ctx, lower[i], true), -1);
    EXPECT_EQ(context::find_or_add_word(ctx, lower[i]), i);
    for (int k = 0; k <= i; k++) {
      EXPECT_EQ(context::find_symbol(ctx, lower[k], false), k) << i;
      EXPECT_EQ(context::find_symbol(ctx, upper[k], true), k) << i;
      EXPECT_EQ(context::find_symbol(ctx, upper[k], false), -1) << i;
    }
  }
  EXPECT_EQ(context::word_count(ctx), 20u);
}

TEST_F(Contexts, FunctionContextReadsTheRunningCallsArguments) {
  NodeId spec = alloc::new_cells(2);
  append(spec, unbound(TYPE_WORD, "arg-x"));
  append(spec, unbound(TYPE_WORD, "arg-y"));
  Cell spec_cell = block_cell(spec);
  NodeId ctx = context::make_from_spec(&spec_cell, context::KIND_FUNCTION, true);
  Cell y = *context::word_cell(ctx, 1);
  // Not running: reading and writing raise.
  EXPECT_TRUE(testing::raises([&] { context::get_word_value(&y); }));
  Cell v = integer(3);
  EXPECT_TRUE(testing::raises([&] { context::set_word_value(&y, &v); }));
  // Running: the values are the call's argument cells.
  Cell* first = stack::push(&v);
  Cell four = integer(4);
  stack::push(&four);
  context::context_cell(ctx)->data2 = stack::index_of(first) + 1;
  EXPECT_EQ(context::get_word_value(&y)->int_value(), 4);
  Cell nine = integer(9);
  context::set_word_value(&y, &nine);
  EXPECT_EQ(first[1].int_value(), 9);
  context::context_cell(ctx)->data2 = 0;
}

TEST_F(Contexts, BindingNestedBlocksLeavesUnknownWordsAlone) {
  NodeId ctx = context::make(context::KIND_OBJECT, 4);
  uint32_t bx = symbol::make("bind-x");
  context::find_or_add_word(ctx, bx);
  NodeId outer = alloc::new_cells(4), inner = alloc::new_cells(4), path = alloc::new_cells(2);
  Cell other = word::make(symbol::make("bind-other"));
  append(outer, unbound(TYPE_WORD, "BIND-X"));
  append(outer, other);
  append(outer, block_cell(inner));
  append(inner, unbound(TYPE_SET_WORD, "bind-x"));
  append(inner, unbound(TYPE_ISSUE, "bind-x"));
  append(inner, make_cell(TYPE_PATH, 0, path));
  append(path, unbound(TYPE_GET_WORD, "bind-x"));
  Cell blk = block_cell(outer);
  context::bind_block(&blk, ctx);
  const Cell* o = node_buffer(outer)->cells();
  const Cell* in = node_buffer(inner)->cells();
  EXPECT_EQ(o[0].data1, ctx);
  EXPECT_EQ(o[0].data3, 0u);
  EXPECT_EQ(o[1].data1, context::global);   // absent from ctx: binding kept
  EXPECT_EQ(in[0].data1, ctx);
  EXPECT_EQ(in[1].data1, 0u);                // issues are not bound
  EXPECT_EQ(node_buffer(path)->cells()[0].data1, ctx);
  // Shallow binding leaves the nested blocks alone.
  NodeId ctx2 = context::make(context::KIND_OBJECT, 1);
  context::find_or_add_word(ctx2, bx);
  context::bind_block(&blk, ctx2, false, false);
  EXPECT_EQ(node_buffer(outer)->cells()[0].data1, ctx2);
  EXPECT_EQ(node_buffer(inner)->cells()[0].data1, ctx);
}

TEST_F(Contexts, SelfContainingBlockBindsOnceAndSelfReadsTheOwner) {
  NodeId ctx = context::make(context::KIND_OBJECT, 2, false, true);
  context::find_or_add_word(ctx, symbol::make("loop-x"));
  *context::owner_cell(ctx) = integer(77);
  NodeId blk = alloc::new_cells(4);
  append(blk, unbound(TYPE_WORD, "self"));
  append(blk, unbound(TYPE_WORD, "loop-x"));
  append(blk, block_cell(blk));   // contains itself
  Cell b = make_cell(TYPE_BLOCK, 1, blk);   // from its second cell: the walk still ends
  context::bind_block(&b, ctx, true);
  b.data1 = 0;
  context::bind_block(&b, ctx, true);
  const Cell* c = node_buffer(blk)->cells();
  EXPECT_EQ(c[0].data1, ctx);
  EXPECT_EQ(static_cast<int32_t>(c[0].data3), -1);
  EXPECT_EQ(context::get_word_value(c)->int_value(), 77);
  EXPECT_EQ(c[1].data1, ctx);
}

TEST_F(Contexts, DeeplyNestedAndWidelySharedBlocksBind) {
  NodeId ctx = context::make(context::KIND_OBJECT, 1);
  context::find_or_add_word(ctx, symbol::make("deep-w"));
  Cell w = unbound(TYPE_WORD, "deep-w");
  // 100,000 levels: each block holds the word and the next block.
  NodeId innermost = alloc::new_cells(1);
  append(innermost, w);
  NodeId current = innermost;
  for (int i = 0; i < 100000; i++) {
    NodeId outer = alloc::new_cells(2);
    append(outer, w);
    append(outer, block_cell(current));
    current = outer;
  }
  Cell top = block_cell(current);
  context::bind_block(&top, ctx);
  EXPECT_EQ(node_buffer(innermost)->cells()[0].data1, ctx);
  // 60 levels each holding the next block twice: 2^60 paths, a linear walk.
  NodeId shared = alloc::new_cells(1);
  append(shared, w);
  NodeId bottom = shared;
  for (int i = 0; i < 60; i++) {
    NodeId up = alloc::new_cells(2);
    append(up, block_cell(shared));
    append(up, block_cell(shared));
    shared = up;
  }
  Cell dag = block_cell(shared);
  context::bind_block(&dag, ctx);
  EXPECT_EQ(node_buffer(bottom)->cells()[0].data1, ctx);
}

TEST_F(Contexts, CloneKeepsWordsAndRebindsTheWordList) {
  NodeId ctx = context::make(context::KIND_OBJECT, 2, false, true);
  Cell one = integer(1);
  context::put(ctx, symbol::make("cl-a"), &one);
  context::put(ctx, symbol::make("cl-b"), &one);
  Cell obj = make_cell(TYPE_OBJECT, ctx);
  NodeId copy = context::clone(&obj, context::KIND_OBJECT);
  EXPECT_EQ(obj.data1, copy);
  ASSERT_EQ(context::word_count(copy), 2u);
  EXPECT_EQ(context::word_cell(copy, 1)->data1, copy);
  EXPECT_EQ(context::find_symbol(copy, symbol::make("cl-b"), false), 1);
  EXPECT_TRUE(context::context_cell(copy)->header & FLAG_CTX_SELF);
}

}  // namespace
}  // namespace tav
