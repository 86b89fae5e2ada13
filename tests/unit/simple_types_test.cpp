#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "datatypes/simple.h"
#include "datatypes/string.h"
#include "test_runtime.h"
#include "core/types.h"

namespace tav {
namespace {

class SimpleTypes : public ::testing::Test {
 protected:
  void SetUp() override { testing::ensure_runtime(); }

  std::string mold(Cell v, bool all = false) {
    Cell out;
    string::make_at(&out, 16);
    auto fn = reinterpret_cast<act::Mold>(action_entry(v.type(), ACT_MOLD));
    fn(&v, &out, false, all, false, nullptr, 1000, 0);
    return string::to_std_string(&out);
  }
  std::string form(Cell v) {
    Cell out;
    string::make_at(&out, 16);
    auto fn = reinterpret_cast<act::Form>(action_entry(v.type(), ACT_FORM));
    fn(&v, &out, nullptr, 1000);
    return string::to_std_string(&out);
  }
  int compare(Cell a, Cell b, int op) {
    auto fn = reinterpret_cast<act::Compare>(action_entry(a.type(), ACT_COMPARE));
    return fn(&a, &b, op);
  }
};

TEST_F(SimpleTypes, FormAndMold) {
  struct Case { Cell value; const char* form; const char* mold; const char* mold_all; };
  Case cases[] = {
      {unset_value, "", "unset", "#(unset)"},
      {none_value, "none", "none", "#(none)"},
      {true_value, "true", "true", "#(true)"},
      {false_value, "false", "false", "#(false)"},
      {make_cell(TYPE_DATATYPE, TYPE_LOGIC), "logic", "logic!", "#(logic!)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(form(c.value), c.form);
    EXPECT_EQ(mold(c.value), c.mold);
    EXPECT_EQ(mold(c.value, true), c.mold_all);
  }
}

TEST_F(SimpleTypes, MoldChargesThePartLimit) {
  Cell out;
  string::make_at(&out, 16);
  Cell v = none_value;
  auto fn = reinterpret_cast<act::Mold>(action_entry(TYPE_NONE, ACT_MOLD));
  EXPECT_EQ(fn(&v, &out, false, true, false, nullptr, 10, 0), 3);
  Cell d = make_cell(TYPE_DATATYPE, TYPE_NONE);
  auto dm = reinterpret_cast<act::Mold>(action_entry(TYPE_DATATYPE, ACT_MOLD));
  EXPECT_EQ(dm(&d, &out, false, true, false, nullptr, 100, 0), 100 - 5 - 3);
}

TEST_F(SimpleTypes, MakeAndToLogic) {
  auto make = reinterpret_cast<act::Make>(action_entry(TYPE_LOGIC, ACT_MAKE));
  auto to = reinterpret_cast<act::Make>(action_entry(TYPE_LOGIC, ACT_TO));
  Cell proto = false_value;
  struct Case { Cell spec; bool made; bool converted; };
  Cell zero_i, two_i, zero_f, negzero_f, nan_f, none = none_value;
  set_integer(&zero_i, 0);
  set_integer(&two_i, 2);
  set_float(&zero_f, 0.0);
  set_float(&negzero_f, -0.0);
  set_float(&nan_f, std::nan(""));
  Case cases[] = {{zero_i, false, true}, {two_i, true, true}, {zero_f, false, true},
                  {negzero_f, false, true}, {nan_f, true, true}, {none, false, false}};
  for (Case& c : cases) {
    EXPECT_EQ(make(&proto, &c.spec, TYPE_LOGIC)->data1, c.made ? 1u : 0u);
    EXPECT_EQ(to(&proto, &c.spec, TYPE_LOGIC)->data1, c.converted ? 1u : 0u);
  }
}

TEST_F(SimpleTypes, CompareAnswersUnrelatedForOtherTypesAndOrders) {
  EXPECT_EQ(compare(none_value, none_value, COMP_EQUAL), 0);
  EXPECT_EQ(compare(none_value, unset_value, COMP_EQUAL), COMPARE_UNRELATED);
  EXPECT_EQ(compare(none_value, none_value, COMP_LESSER), COMPARE_UNRELATED);
  EXPECT_LT(compare(false_value, true_value, COMP_SORT), 0);
  EXPECT_EQ(compare(true_value, true_value, COMP_STRICT_EQUAL), 0);
  Cell i = make_cell(TYPE_DATATYPE, TYPE_INTEGER);
  Cell w = make_cell(TYPE_WORD);
  EXPECT_EQ(compare(i, i, COMP_SAME), 0);
  EXPECT_EQ(compare(i, w, COMP_EQUAL), 1);
  EXPECT_EQ(compare(i, i, COMP_LESSER), COMPARE_UNRELATED);
}

TEST_F(SimpleTypes, TruthOnlyNoneAndFalseAreFalse) {
  Cell odd_flag = make_cell(TYPE_LOGIC, 2);
  EXPECT_TRUE(logic::is_true(&unset_value, false, nullptr));
  EXPECT_FALSE(logic::is_true(&none_value, false, nullptr));
  EXPECT_FALSE(logic::is_true(&false_value, false, nullptr));
  EXPECT_FALSE(logic::is_true(&odd_flag, false, nullptr));
  EXPECT_TRUE(testing::raises([] { logic::is_true(&unset_value, true, nullptr); }));
}

TEST_F(SimpleTypes, LogicBitwiseNeedsALogicOperand) {
  auto xor_ = reinterpret_cast<act::StackReading>(action_entry(TYPE_LOGIC, ACT_XOR_T));
  stack::State saved = stack::save();
  stack::mark_native(nullptr);
  stack::push(&true_value);
  stack::push(&true_value);
  EXPECT_EQ(xor_()->data1, 0u);
  Cell one;
  set_integer(&one, 1);
  stack::base[1] = one;
  EXPECT_TRUE(testing::raises([&] { xor_(); }));
  stack::restore(saved);
}

}  // namespace
}  // namespace tav
