// Requesters refuse a filter they cannot offer before any dialog opens.
#include <gtest/gtest.h>

#include "view_test_helpers.h"

namespace tav::gui {
namespace {

TEST(Requesters, FilterValuesMustBeTexts) {
  EXPECT_EQ(viewtest::eval_mold("e: try [request-file/filter [\"Texts\" 42]] reduce [e/id e/arg1]"),
            "[invalid-arg 42]");
}

}  // namespace
}  // namespace tav::gui
