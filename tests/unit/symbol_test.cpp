#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/context.h"
#include "core/symbols.h"
#include "test_runtime.h"
#include "core/types.h"
#include "core/words.h"

namespace tav {
namespace {

class Symbols : public ::testing::Test {
 protected:
  void SetUp() override { testing::ensure_runtime(); }
  static std::string name_of(uint32_t id) {
    symbol::Name n = symbol::name(id);
    return std::string(n.bytes, n.length);
  }
};

TEST_F(Symbols, AsciiCaseVariantsAliasTheFirstSpelling) {
  uint32_t before = symbol::count();
  uint32_t foo = symbol::make("Quux-Foo");
  uint32_t lower = symbol::make("quux-foo");
  uint32_t upper = symbol::make("QUUX-FOO");
  EXPECT_EQ(symbol::count(), before + 3);
  EXPECT_NE(foo, lower);
  EXPECT_NE(lower, upper);
  EXPECT_EQ(symbol::alias_of(foo), -1);
  EXPECT_EQ(symbol::alias_of(lower), static_cast<int32_t>(foo));
  EXPECT_EQ(symbol::alias_of(upper), static_cast<int32_t>(foo));
  for (uint32_t id : {foo, lower, upper}) EXPECT_EQ(symbol::alias(id), foo);
  EXPECT_EQ(name_of(lower), "quux-foo");
  // Interning a spelling again adds nothing.
  EXPECT_EQ(symbol::make("quux-foo"), lower);
  EXPECT_EQ(symbol::make("Quux-Foo"), foo);
  EXPECT_EQ(symbol::count(), before + 3);
}

TEST_F(Symbols, FoldedInterningReturnsAnExistingVariant) {
  uint32_t lower = symbol::make("folded-name");
  uint32_t before = symbol::count();
  uint32_t found = symbol::make_folded("FOLDED-NAME");
  EXPECT_EQ(found, lower);
  EXPECT_EQ(symbol::count(), before);
}

TEST_F(Symbols, NonAsciiCaseVariantsAreUnrelated) {
  uint32_t small = symbol::make("\xC3\xA4-word");   // ä
  uint32_t capital = symbol::make("\xC3\x84-word"); // Ä
  EXPECT_NE(small, capital);
  EXPECT_EQ(symbol::alias_of(capital), -1);
  EXPECT_NE(symbol::alias(small), symbol::alias(capital));
  EXPECT_EQ(name_of(capital), "\xC3\x84-word");
}

TEST_F(Symbols, EmptyAndLongNamesIntern) {
  uint32_t empty = symbol::make("", 0);
  EXPECT_EQ(symbol::name(empty).length, 0u);
  EXPECT_STREQ(symbol::get_c_string(empty), "");
  EXPECT_EQ(symbol::make("", 0), empty);
  std::string long_name(1000, 'k');
  long_name += "Z";
  uint32_t id = symbol::make(long_name.data(), long_name.size());
  std::string upper(1000, 'K');
  upper += "z";
  uint32_t variant = symbol::make(upper.data(), upper.size());
  EXPECT_EQ(symbol::alias(variant), id);
  EXPECT_EQ(std::strlen(symbol::get_c_string(id)), long_name.size());
}

TEST_F(Symbols, TableGrowsPastItsInitialIndexWithoutLosingNames) {
  uint32_t first = 0;
  for (int i = 0; i < 20000; i++) {
    std::string n = "grow-" + std::to_string(i);
    uint32_t id = symbol::make(n.data(), n.size());
    if (i == 0) first = id;
    ASSERT_EQ(id, first + static_cast<uint32_t>(i));
  }
  for (int i = 0; i < 20000; i += 997) {
    std::string n = "GROW-" + std::to_string(i);
    uint32_t variant = symbol::make(n.data(), n.size());
    EXPECT_EQ(symbol::alias(variant), first + static_cast<uint32_t>(i));
    EXPECT_EQ(name_of(first + i), "grow-" + std::to_string(i));
  }
}

TEST_F(Symbols, PredefinedSymbolsAndWordsAreMade) {
  EXPECT_EQ(name_of(symbols::self), "self");
  EXPECT_EQ(name_of(symbols::any_type_bang), "any-type!");
  EXPECT_EQ(name_of(symbols::bar), "|");
  EXPECT_EQ(name_of(words::on_change_star.data2), "on-change*");
  EXPECT_EQ(name_of(words::tag_body.data2), "<body>");
  EXPECT_EQ(stack::body_symbol, words::tag_body.data2);
  EXPECT_EQ(stack::anon_symbol, words::tag_anon.data2);
  // Words are bound to the global context and share its slots.
  for (const Cell* w : {&words::if_, &words::end, &words::local, &words::collect}) {
    EXPECT_TRUE(w->is(TYPE_WORD));
    EXPECT_EQ(w->data1, context::global);
    EXPECT_NE(static_cast<int32_t>(w->data3), -1);
  }
  EXPECT_TRUE(refinements::extern_.is(TYPE_REFINEMENT));
  EXPECT_EQ(refinements::extern_.data1, 0u);
  EXPECT_EQ(name_of(refinements::extern_.data2), "extern");
  EXPECT_TRUE(issues::ooo.is(TYPE_ISSUE));
  EXPECT_EQ(name_of(issues::ooo.data2), "ooo");
}

TEST_F(Symbols, DatatypeNameWordsAreMadeForRegisteredTypes) {
  // Register a type the way datatype registration does, then make the name words.
  TypeEntry saved = type_table[TYPE_EVENT];
  int saved_highest = highest_type_id;
  ActionRow row{};
  datatype::register_type(TYPE_EVENT, TYPE_NONE_ID, "event!", row);
  datatype::make_name_words();
  const Cell& w = type_table[TYPE_EVENT].word;
  EXPECT_TRUE(w.is(TYPE_WORD));
  EXPECT_EQ(name_of(w.data2), "event!");
  EXPECT_EQ(w.data1, context::global);
  type_table[TYPE_EVENT] = saved;
  highest_type_id = saved_highest;
}

TEST_F(Symbols, SymbolCellsCompareByName) {
  symbol::register_datatype();
  auto cmp = reinterpret_cast<act::Compare>(action_entry(TYPE_SYMBOL, ACT_COMPARE));
  ASSERT_NE(cmp, nullptr);
  uint32_t a = symbol::make("cmp-apple"), b = symbol::make("cmp-banana"),
           big = symbol::make("CMP-APPLE");
  EXPECT_EQ(cmp(symbol::get_cell(a), symbol::get_cell(big), COMP_EQUAL), 0);
  EXPECT_NE(cmp(symbol::get_cell(a), symbol::get_cell(big), COMP_STRICT_EQUAL), 0);
  EXPECT_LT(cmp(symbol::get_cell(a), symbol::get_cell(b), COMP_SORT), 0);
  EXPECT_GT(cmp(symbol::get_cell(b), symbol::get_cell(big), COMP_SORT), 0);
}

}  // namespace
}  // namespace tav
