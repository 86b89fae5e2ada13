#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "block_fixture.h"
#include "core/context.h"
#include "datatypes/error.h"
#include "datatypes/object.h"
#include "core/errors.h"
#include "core/ownership.h"
#include "core/symbols.h"
#include "core/words.h"

namespace tav {
namespace {

// Evaluates the specs these tests use: set-words each take the value after them.
void set_word_evaluator(Cell* block) {
  NodeId n = block->node();
  for (uint32_t i = block->index(); i < node_buffer(n)->count(); i++) {
    Cell c = node_buffer(n)->cells()[i];
    if (!c.is(TYPE_SET_WORD)) continue;
    uint32_t k = i + 1;
    while (k < node_buffer(n)->count() && node_buffer(n)->cells()[k].is(TYPE_SET_WORD)) k++;
    Cell v = k < node_buffer(n)->count() ? node_buffer(n)->cells()[k] : make_cell(TYPE_NONE);
    if (v.is(TYPE_WORD) && v.data2 == symbols::self) v = *context::owner_cell(v.data1);
    context::set_word_value(&c, &v);
  }
}

struct HandlerCall {
  uint32_t name;
  uint32_t trace;
  std::vector<Cell> args;
};
std::vector<HandlerCall> calls;

void recording_handler(Cell*, NodeId, uint32_t name, uint32_t trace) {
  calls.push_back({name, trace, std::vector<Cell>(stack::base, stack::top)});
}

class Objects : public testing::BlockFixture {
 protected:
  object::Evaluator saved_evaluator_ = nullptr;
  object::HandlerCall saved_handler_call_ = nullptr;

  void SetUp() override {
    BlockFixture::SetUp();
    object_type::init();
    saved_evaluator_ = object::evaluator;
    saved_handler_call_ = object::handler_call;
    object::evaluator = &set_word_evaluator;
    object::handler_call = &recording_handler;
    calls.clear();
  }
  // Later suites in the same process run the real evaluator's handlers.
  void TearDown() override {
    object::evaluator = saved_evaluator_;
    object::handler_call = saved_handler_call_;
    BlockFixture::TearDown();
  }

  static Cell set_word(const char* name) {
    return make_cell(TYPE_SET_WORD, 0, symbol::make(name), uint32_t(-1));
  }
  static Cell word(const char* name) {
    return make_cell(TYPE_WORD, 0, symbol::make(name), uint32_t(-1));
  }

  // A spec block of set-words and values: ("a", 1), ("b", block) ...
  Cell* spec(std::vector<std::pair<const char*, Cell>> fields) {
    Cell* b = block::make_at(stack::new_cell(), 8);
    for (auto& [name, value] : fields) {
      Cell sw = set_word(name);
      block::append_cell(b, &sw);
      block::append_cell(b, &value);
    }
    return b;
  }

  Cell* make_object(std::vector<std::pair<const char*, Cell>> fields,
                    const Cell* proto = nullptr) {
    Cell type;
    set_datatype(&type, TYPE_OBJECT);
    Cell* s = spec(std::move(fields));
    return call(ACT_MAKE, {proto ? *proto : type, *s});
  }

  // A function! value whose spec is the given words (a refinement name starts with '/').
  Cell* handler(std::vector<const char*> spec_words) {
    Cell* s = block::make_at(stack::new_cell(), 8);
    for (const char* w : spec_words) {
      Cell c = w[0] == '/' ? make_cell(TYPE_REFINEMENT, 0, symbol::make(w + 1), uint32_t(-1))
                           : word(w);
      block::append_cell(s, &c);
    }
    Cell* fn = stack::new_cell();
    *fn = make_cell(TYPE_FUNCTION, 0, s->node(), 0);
    return fn;
  }

  Cell field(const Cell* obj, const char* name) {
    Cell w = word(name);
    return *object::word_value_cell(obj, &w);
  }
};

TEST_F(Objects, ClassIdsFollowTheWordsOfTheObject) {
  Cell* a = make_object({{"a", integer(1)}});
  Cell* b = make_object({{"a", integer(1)}});
  EXPECT_GT(object::class_of(a), object::FIRST_CLASS_ID);
  EXPECT_NE(object::class_of(a), object::class_of(b));
  Cell* same_words = make_object({{"a", integer(2)}}, a);
  EXPECT_EQ(object::class_of(same_words), object::class_of(a));
  EXPECT_EQ(field(same_words, "a").int_value(), 2);
  EXPECT_EQ(field(a, "a").int_value(), 1);
  Cell* more_words = make_object({{"z", integer(0)}}, a);
  EXPECT_NE(object::class_of(more_words), object::class_of(a));
  EXPECT_EQ(object::field_count(more_words), 2u);
}

TEST_F(Objects, MakeRefusesASpecThatIsNoBlockOrObject) {
  Cell type;
  set_datatype(&type, TYPE_OBJECT);
  EXPECT_EQ(error_id([&] { call(ACT_MAKE, {type, integer(5)}); }), "malconstruct");
}

TEST_F(Objects, MoldIndentsFieldsAndFormListsThem) {
  Cell* empty = make_object({});
  EXPECT_EQ(mold(empty), "make object! []");
  EXPECT_EQ(form(empty), "");
  Cell* obj = make_object({{"a", integer(1)}, {"b", integer(2)}});
  EXPECT_EQ(mold(obj), "make object! [\n    a: 1\n    b: 2\n]");
  EXPECT_EQ(mold(obj, false, true), "make object! [a: 1 b: 2]");
  EXPECT_EQ(form(obj), "a: 1\nb: 2");
  Cell* outer = make_object({{"x", integer(0)}, {"inner", *obj}});
  EXPECT_EQ(mold(outer),
            "make object! [\n    x: 0\n    inner: make object! [\n        a: 1\n        b: 2\n"
            "    ]\n]");
}

TEST_F(Objects, AnObjectHoldingItselfMoldsTheCycleMarker) {
  Cell* obj = make_object({{"a", integer(1)}, {"me", word("self")}});
  Cell me = field(obj, "me");
  EXPECT_EQ(object::context_of(&me), object::context_of(obj));
  EXPECT_EQ(mold(obj), "make object! [\n    a: 1\n    me: make object! [...]\n]");
  EXPECT_EQ(form(obj), "a: 1\nme: ...");
}

TEST_F(Objects, CopyGivesANewContextAndDeepCopiesSeries) {
  Cell* obj = make_object({{"a", integer(1)}, {"b", *blk("1 2")}});
  Cell* shallow = call(ACT_COPY, {*obj});
  Cell shallow_copy = *shallow;
  EXPECT_NE(object::context_of(&shallow_copy), object::context_of(obj));
  EXPECT_EQ(object::class_of(&shallow_copy), object::class_of(obj));
  EXPECT_EQ(field(&shallow_copy, "b").node(), field(obj, "b").node());
  Cell* deep = call(ACT_COPY, {*obj}, {-1, 0});
  Cell deep_copy = *deep;
  EXPECT_NE(field(&deep_copy, "b").node(), field(obj, "b").node());
  EXPECT_EQ(mold(&deep_copy), mold(obj));
  // The copy's fields are its own.
  Cell w = word("a");
  Cell nine = integer(9);
  object::put(&deep_copy, &w, &nine, false);
  EXPECT_EQ(field(obj, "a").int_value(), 1);
  EXPECT_EQ(error_id([&] { call(ACT_COPY, {*obj, integer(1)}, {0}); }), "invalid-refine-arg");
}

TEST_F(Objects, CompareByFieldCountThenWordsThenValues) {
  Cell* two = make_object({{"a", integer(1)}, {"b", integer(2)}});
  Cell* three = make_object({{"a", integer(1)}, {"b", integer(2)}, {"c", integer(3)}});
  Cell* equal = make_object({{"a", integer(1)}, {"b", integer(2)}});
  Cell* bigger = make_object({{"a", integer(1)}, {"b", integer(5)}});
  EXPECT_EQ(object::compare(three, two, COMP_EQUAL), 1);
  EXPECT_EQ(object::compare(two, three, COMP_EQUAL), -1);
  EXPECT_EQ(object::compare(two, equal, COMP_EQUAL), 0);
  EXPECT_EQ(object::compare(two, equal, COMP_SAME), -1);
  EXPECT_EQ(object::compare(two, two, COMP_SAME), 0);
  EXPECT_EQ(object::compare(two, bigger, COMP_LESSER), -1);
  Cell one = integer(1);
  EXPECT_EQ(object::compare(two, &one, COMP_EQUAL), COMPARE_UNRELATED);
}

TEST_F(Objects, ReflectFields) {
  Cell* obj = make_object({{"a", integer(1)}, {"b", word("x")}});
  Cell* cls = call(ACT_REFLECT, {*obj, word("class")});
  EXPECT_EQ(cls->int_value(), object::class_of(obj));
  Cell body = *call(ACT_REFLECT, {*obj, word("body")});
  ASSERT_EQ(block::rs_length(&body), 4);
  Cell* cells = block::rs_head(&body);
  EXPECT_TRUE(cells[0].is(TYPE_SET_WORD));
  EXPECT_TRUE(cells[0].header & FLAG_NEW_LINE);
  EXPECT_EQ(cells[0].data1, object::context_of(obj));
  EXPECT_TRUE(cells[3].is(TYPE_LIT_WORD));
  Cell words_ = *call(ACT_REFLECT, {*obj, word("words")});
  EXPECT_EQ(block::rs_length(&words_), 2);
  EXPECT_TRUE(block::rs_head(&words_)->is(TYPE_WORD));
  EXPECT_FALSE(call(ACT_REFLECT, {*obj, word("events?")})->data1);
  EXPECT_EQ(error_id([&] { call(ACT_REFLECT, {*obj, word("spec")}); }), "not-done");
}

TEST_F(Objects, ChangedFlagsAreSetByStoresAndClearedByMakeAndModify) {
  Cell* obj = make_object({{"a", integer(1)}, {"b", integer(2)}});
  EXPECT_EQ(block::rs_length(call(ACT_REFLECT, {*obj, word("changed")})), 0);
  Cell w = word("b"), v = integer(3);
  object::put(obj, &w, &v, false);
  Cell changed = *call(ACT_REFLECT, {*obj, word("changed")});
  ASSERT_EQ(block::rs_length(&changed), 1);
  EXPECT_EQ(symbol::alias(block::rs_head(&changed)->data2), symbol::alias(w.data2));
  Cell none = make_cell(TYPE_NONE);
  call(ACT_MODIFY, {*obj, word("changed"), none});
  EXPECT_EQ(block::rs_length(call(ACT_REFLECT, {*obj, word("changed")})), 0);
}

TEST_F(Objects, SelectPutAndPathAccess) {
  Cell* obj = make_object({{"a", integer(1)}});
  Cell absent = word("absent"), a = word("A"), two = integer(2);
  EXPECT_TRUE(object::select(obj, &absent, nullptr, false, false, false, false, nullptr,
                             nullptr, false, false)->is(TYPE_NONE));
  EXPECT_EQ(error_id([&] { object::put(obj, &absent, &two, false); }), "invalid-path");
  Cell one = integer(1);
  EXPECT_EQ(error_id([&] { object::put(obj, &one, &two, false); }), "invalid-key-type");
  object::put(obj, &a, &two, false);   // words match case-insensitively
  EXPECT_EQ(field(obj, "a").int_value(), 2);
  Cell sw = set_word("a"), three = integer(3);
  object::eval_path(obj, &sw, &three, nullptr, nullptr, nullptr, 1, false, false, false, false);
  EXPECT_EQ(object::eval_path(obj, &a, nullptr, nullptr, nullptr, nullptr, 1, false, false,
                              false, false)->int_value(), 3);
  EXPECT_EQ(error_id([&] {
              object::eval_path(obj, &absent, nullptr, nullptr, nullptr, nullptr, 1, false,
                                false, false, false);
            }), "unset-path");
  EXPECT_EQ(error_id([&] {
              object::eval_path(obj, &one, nullptr, nullptr, nullptr, nullptr, 1, false, false,
                                false, false);
            }), "invalid-path");
}

TEST_F(Objects, SetFieldsFromBlocksObjectsAndSingleValues) {
  Cell* obj = make_object({{"a", integer(1)}, {"b", integer(2)}});
  object::set_fields(obj, blk("7"), false, false, false);
  EXPECT_EQ(field(obj, "a").int_value(), 7);
  EXPECT_TRUE(field(obj, "b").is(TYPE_NONE));
  object::set_fields(obj, blk("1 2"), false, false, false);
  Cell* some = block::make_at(stack::new_cell(), 2);
  Cell none = make_cell(TYPE_NONE), five = integer(5);
  block::append_cell(some, &five);
  block::append_cell(some, &none);
  object::set_fields(obj, some, false, false, true);
  EXPECT_EQ(field(obj, "a").int_value(), 5);
  EXPECT_EQ(field(obj, "b").int_value(), 2);
  // An unset source value is refused before anything is stored.
  Cell* with_unset = blk("8");
  Cell unset = make_cell(TYPE_UNSET);
  block::append_cell(with_unset, &unset);
  EXPECT_EQ(error_id([&] { object::set_fields(obj, with_unset, false, false, false); }),
            "need-value");
  EXPECT_EQ(field(obj, "a").int_value(), 5);
  Cell* src = make_object({{"b", integer(20)}});
  object::set_fields(obj, src, false, false, false);
  EXPECT_EQ(field(obj, "a").int_value(), 5);
  EXPECT_EQ(field(obj, "b").int_value(), 20);
  Cell nine = integer(9);
  object::set_fields(obj, &nine, false, false, false);
  EXPECT_EQ(field(obj, "a").int_value(), 9);
  EXPECT_EQ(field(obj, "b").int_value(), 9);
}

TEST_F(Objects, ConstructTakesValuesUnevaluated) {
  Cell* s = block::make_at(stack::new_cell(), 8);
  Cell items[] = {set_word("a"), set_word("b"), word("true"), set_word("c"), word("none"),
                  set_word("d"), word("foo"), set_word("e")};
  for (Cell& c : items) block::append_cell(s, &c);
  Cell obj = *object::construct(s, nullptr, false);
  EXPECT_GT(object::class_of(&obj), object::FIRST_CLASS_ID);
  EXPECT_TRUE(field(&obj, "a").is(TYPE_LOGIC) && field(&obj, "a").data1 == 1);
  EXPECT_TRUE(field(&obj, "b").is(TYPE_LOGIC));
  EXPECT_TRUE(field(&obj, "c").is(TYPE_NONE));
  EXPECT_TRUE(field(&obj, "d").is(TYPE_WORD));
  EXPECT_TRUE(field(&obj, "e").is(TYPE_NONE));
  Cell only = *object::construct(s, nullptr, true);
  EXPECT_TRUE(field(&only, "a").is(TYPE_WORD));
}

TEST_F(Objects, OnChangeReceivesTheFieldWordTheOldAndTheNewValue) {
  Cell* fn = handler({"word", "old", "new"});
  Cell* obj = make_object({{"a", integer(1)}, {"b", integer(2)}, {"on-change*", *fn}});
  EXPECT_TRUE(call(ACT_REFLECT, {*obj, word("events?")})->data1);
  Cell sw = set_word("a"), ten = integer(10);
  object::eval_path(obj, &sw, &ten, nullptr, nullptr, nullptr, 1, false, false, false, false);
  ASSERT_EQ(calls.size(), 1u);
  const HandlerCall& c = calls[0];
  EXPECT_EQ(c.name, words::on_change_star.data2);
  EXPECT_EQ(c.trace, object::TRACE_ON_CHANGE);
  ASSERT_EQ(c.args.size(), 3u);
  EXPECT_TRUE(c.args[0].is(TYPE_WORD));
  EXPECT_EQ(c.args[0].data1, object::context_of(obj));
  EXPECT_EQ(c.args[0].data3, 0u);
  EXPECT_EQ(c.args[1].int_value(), 1);
  EXPECT_EQ(c.args[2].int_value(), 10);
  EXPECT_EQ(field(obj, "a").int_value(), 10);
  // set on every field fires for each field but the handler's own.
  calls.clear();
  Cell seven = integer(7);
  object::set_fields(obj, &seven, false, false, false);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[1].args[1].int_value(), 2);
  EXPECT_TRUE(field(obj, "on-change*").is(TYPE_FUNCTION));
}

TEST_F(Objects, HandlerLocalsArePaddedAndAReplacedHandlerIsRecounted) {
  Cell* with_locals = handler({"word", "old", "new", "/local", "x", "y"});
  Cell* obj = make_object({{"a", integer(1)}, {"on-change*", *with_locals}});
  Cell a = word("a"), two = integer(2);
  object::put(obj, &a, &two, false);
  ASSERT_EQ(calls.size(), 1u);
  ASSERT_EQ(calls[0].args.size(), 6u);
  EXPECT_TRUE(calls[0].args[3].is(TYPE_LOGIC) && calls[0].args[3].data1 == 0);
  EXPECT_TRUE(calls[0].args[4].is(TYPE_NONE));
  EXPECT_TRUE(calls[0].args[5].is(TYPE_NONE));
  // Replacing the handler through set on the handler field fires nothing.
  Cell* plain = handler({"word", "old", "new"});
  Cell hw = word("on-change*");
  Cell* slot = object::word_value_cell(obj, &hw);
  *slot = *plain;
  calls.clear();
  object::put(obj, &a, &two, false);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args.size(), 3u);
  *object::word_value_cell(obj, &hw) = integer(0);
  EXPECT_EQ(error_id([&] { object::put(obj, &a, &two, false); }), "invalid-obj-evt");
}

TEST_F(Objects, AHandlerFieldThatIsNoFunctionIsRefusedByMake) {
  EXPECT_EQ(error_id([&] { make_object({{"on-change*", integer(1)}}); }), "bad-field-set");
}

TEST_F(Objects, DeepChangeReachesTheOwnerWithTheActionWords) {
  Cell* fn = handler({"owner", "word", "target", "action", "new", "index", "part"});
  Cell* obj = make_object({{"list", *blk("1 2")}, {"on-deep-change*", *fn}});
  EXPECT_TRUE(call(ACT_REFLECT, {*obj, word("owner")})->data1);
  Cell list = field(obj, "list");
  ASSERT_TRUE(ownership::is_owned(&list));
  Cell three = integer(3);
  EXPECT_EQ(error_id([&] { actions::append_direct(&list, &three, -1, false, 1); }), "");
  ASSERT_EQ(calls.size(), 2u);
  const Cell* args = calls[0].args.data();
  ASSERT_EQ(calls[0].args.size(), 7u);
  EXPECT_EQ(calls[0].name, words::on_deep_change_star.data2);
  EXPECT_EQ(object::context_of(&args[0]), object::context_of(obj));
  EXPECT_EQ(symbol::alias(args[1].data2), symbol::alias(symbol::make("list")));
  EXPECT_EQ(args[2].node(), list.node());
  EXPECT_EQ(args[3].data2, words::append.data2);
  EXPECT_EQ(args[4].int_value(), 3);
  EXPECT_EQ(calls[1].args[3].data2, words::appended.data2);
  // Released ownership: no more notices.
  calls.clear();
  Cell none = make_cell(TYPE_NONE);
  call(ACT_MODIFY, {*obj, word("owned"), none});
  EXPECT_FALSE(ownership::is_owned(&list));
  actions::append_direct(&list, &three, -1, false, 1);
  EXPECT_TRUE(calls.empty());
}

TEST_F(Objects, AnOwnerHoldingItselfIsOwnedWithoutLooping) {
  Cell* fn = handler({"owner", "word", "target", "action", "new", "index", "part"});
  Cell* inner = blk("1");
  block::append_cell(inner, inner);   // a block that holds itself
  Cell* obj = make_object({{"me", word("self")}, {"data", *inner}, {"on-deep-change*", *fn}});
  Cell data = field(obj, "data");
  EXPECT_TRUE(ownership::is_owned(&data));
  Cell* owner = ownership::find_owner(data.node());
  ASSERT_NE(owner, nullptr);
  EXPECT_EQ(object::context_of(owner), object::context_of(obj));
  EXPECT_EQ(ownership::find_owner(object::context_of(obj)), nullptr);
}

class ErrorObjects : public Objects {
 protected:
  void SetUp() override {
    Objects::SetUp();
    error_type::init();
    // Error fields hold words; word! registers elsewhere, so a stand-in orders them here.
    saved_word_row_ = action_table[TYPE_WORD];
    if (!action_table[TYPE_WORD][ACT_COMPARE - 1])
      action_table[TYPE_WORD][ACT_COMPARE - 1] = entry(&word_compare);
  }
  void TearDown() override {
    action_table[TYPE_WORD] = saved_word_row_;
    Objects::TearDown();
  }
  static int word_compare(Cell* a, Cell* b, int) {
    if (!is_any_word(b->type())) return COMPARE_UNRELATED;
    uint32_t x = symbol::alias(a->data2), y = symbol::alias(b->data2);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  ActionRow saved_word_row_{};
  Cell* make_error(const Cell& spec) {
    Cell type;
    set_datatype(&type, TYPE_ERROR);
    return call(ACT_MAKE, {type, spec});
  }
  static std::string type_name(const Cell* err) {
    return symbol::get_c_string(error::field(err, ERROR_TYPE)->data2);
  }
};

TEST_F(ErrorObjects, MadeFromCodesBlocksAndTexts) {
  Cell* e = make_error(integer(301));
  EXPECT_TRUE(e->is(TYPE_ERROR));
  EXPECT_EQ(object::class_of(e), object::ERROR_CLASS);
  EXPECT_EQ(type_name(e), "script");
  EXPECT_EQ(error::id_name(e), "need-value");
  EXPECT_EQ(object::field_count(e), 10u);
  for (int32_t bad : {399, 1000, -1})
    EXPECT_EQ(error_id([&] { make_error(integer(bad)); }), "out-of-range") << bad;

  Cell* by_words = block::make_at(stack::new_cell(), 2);
  Cell script = word("script"), no_value = word("no-value");
  block::append_cell(by_words, &script);
  block::append_cell(by_words, &no_value);
  EXPECT_EQ(error::code(make_error(*by_words)), 300);
  Cell* no_id = block::make_at(stack::new_cell(), 2);
  block::append_cell(no_id, &script);
  EXPECT_EQ(error_id([&] { make_error(*no_id); }), "invalid-spec-field");

  // [type: 'math id: 'zero-divide], with the quotes already taken off by evaluation.
  Cell* fields = spec({{"type", word("math")}, {"id", word("zero-divide")}});
  Cell* math = make_error(*fields);
  EXPECT_EQ(error::code(math), 400);
  EXPECT_EQ(error::id_name(math), "zero-divide");

  Cell* text = make_error(*string_value("boom"));
  EXPECT_EQ(form(text).substr(0, form(text).find('\n')), "*** User Error: boom");
  EXPECT_EQ(error_id([&] { make_error(*blk("1")); }), "invalid-error");
  EXPECT_EQ(error_id([&] { make_error(make_cell(TYPE_NONE)); }), "bad-make-arg");
}

TEST_F(ErrorObjects, FieldsAreReachedLikeObjectFields) {
  Cell* e = make_error(integer(400));
  Cell code = word("code");
  EXPECT_EQ(object::eval_path(e, &code, nullptr, nullptr, nullptr, nullptr, 1, false, false,
                              false, false)->int_value(), 400);
  Cell copy = *call(ACT_COPY, {*e});
  EXPECT_TRUE(copy.is(TYPE_ERROR));
  EXPECT_EQ(error_type::compare(&copy, e, COMP_EQUAL), 0);
  Cell* other = make_error(integer(401));
  EXPECT_NE(error_type::compare(other, e, COMP_EQUAL), 0);
  Cell* obj = make_object({{"code", integer(400)}});
  EXPECT_EQ(error_type::compare(e, obj, COMP_EQUAL), COMPARE_UNRELATED);
  EXPECT_EQ(error_id([&] { call(ACT_PUT, {*e, code, integer(1)}); }), "expect-arg");
}

TEST_F(ErrorObjects, AnUnknownIdFormsAsInvalidError) {
  Cell* e = make_error(integer(400));
  *error::field(e, ERROR_ID) = word("no-such-id");
  std::string text = form(e);
  EXPECT_EQ(text.substr(0, text.find('\n')),
            "*** Internal Error: invalid error object field value: no-such-id");
  EXPECT_EQ(error::id_name(e), "invalid-error");
}

}  // namespace
}  // namespace tav
