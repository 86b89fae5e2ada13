#include "block_fixture.h"
#include "datatypes/handle.h"
#include "datatypes/type_dispatch.h"

namespace tav {
namespace {

using HandleValues = testing::BlockFixture;

std::string text_after(const std::function<void(Cell*)>& write) {
  Cell* buffer = string::make_at(stack::new_cell(), 16);
  write(buffer);
  return string::to_std_string(buffer);
}

TEST_F(HandleValues, FormAndMold) {
  struct Case {
    int32_t value;
    uint32_t cls;
    const char* form;
    const char* mold_all;
  } cases[] = {
      {255, handle::CLASS_NULL, "000000FFh", "#[handle! 000000FFh]"},
      {-1, handle::CLASS_WINDOW, "FFFFFFFFh", "#[handle! FFFFFFFFh window]"},
      {0x1A2B4, handle::CLASS_FD, "0001A2B4h", "#[handle! 0001A2B4h fd]"},
  };
  for (const Case& c : cases) {
    Cell h;
    handle::make_at(&h, c.value, c.cls);
    EXPECT_EQ(text_after([&](Cell* b) { actions::form_direct(&h, b, nullptr, 0); }), c.form);
    EXPECT_EQ(text_after([&](Cell* b) {
                actions::mold_direct(&h, b, false, true, false, nullptr, 0, 0);
              }),
              c.mold_all);
    EXPECT_EQ(text_after([&](Cell* b) {
                actions::mold_direct(&h, b, false, false, false, nullptr, 0, 0);
              }),
              "handle!");
  }
}

TEST_F(HandleValues, CompareByValueIgnoringClass) {
  Cell a, b, c;
  handle::make_at(&a, 7, handle::CLASS_FD);
  handle::make_at(&b, 7, handle::CLASS_WINDOW);
  handle::make_at(&c, -3, handle::CLASS_FD);
  EXPECT_TRUE(actions::compare(&a, &b, COMP_EQUAL));
  EXPECT_TRUE(actions::compare(&c, &a, COMP_LESSER));
  Cell n;
  set_integer(&n, 7);
  EXPECT_FALSE(actions::compare(&a, &n, COMP_EQUAL));
  EXPECT_EQ(a.data3, 0xFFFFFFFFu);   // no handle-table entry to mark
}

}  // namespace
}  // namespace tav
