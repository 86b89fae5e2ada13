#include <gtest/gtest.h>

#include <vector>

#include "core/handles.h"
#include "test_runtime.h"

namespace tav {
namespace {

std::vector<void*> released;
void record_release(void* p) { released.push_back(p); }

class HandleTables : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::ensure_runtime();
    handles::init();
    released.clear();
    kind = handles::register_kind("bitmap", &record_release);
  }
  int kind = 0;
};

void* ptr(uintptr_t n) { return reinterpret_cast<void*>(n); }

TEST_F(HandleTables, TakingTheLastFreeEntryDoublesTheTableFirst) {
  EXPECT_EQ(handles::capacity(), 1000u);
  for (uintptr_t i = 0; i < 999; i++) EXPECT_EQ(handles::new_(ptr(i + 1), kind), int32_t(i));
  EXPECT_EQ(handles::capacity(), 1000u);
  EXPECT_EQ(handles::new_(ptr(1000), kind), 999);
  EXPECT_EQ(handles::capacity(), 2000u);
  EXPECT_EQ(handles::new_(ptr(1001), kind), 1000);
  for (int32_t h : {0, 500, 999}) {
    EXPECT_EQ(handles::pointer(h), ptr(uintptr_t(h) + 1));
    EXPECT_EQ(handles::kind_of(h), kind);
  }
}

TEST_F(HandleTables, FreedHandlesAreReusedAndReleasedOnRequest) {
  int32_t a = handles::new_(ptr(1), kind);
  int32_t b = handles::new_(ptr(2), kind);
  handles::free(a, true);
  handles::free(a, true);   // a second free changes nothing
  EXPECT_EQ(released, std::vector<void*>{ptr(1)});
  EXPECT_EQ(handles::new_(ptr(3), kind), a);
  int32_t c = handles::new_(ptr(4), kind);
  EXPECT_NE(c, a);
  EXPECT_NE(c, b);
  handles::replace_pointer(b, ptr(5));
  EXPECT_EQ(released.back(), ptr(2));
  handles::replace_pointer(b, ptr(5));
  EXPECT_EQ(released.size(), 2u);
  EXPECT_EQ(handles::used_count(), 3u);
}

TEST_F(HandleTables, SweepReleasesUnmarkedHandlesExactlyOnce) {
  int32_t live = handles::new_(ptr(1), kind);
  int32_t dead = handles::new_(ptr(2), kind);
  EXPECT_TRUE(handles::mark(live, nullptr));
  EXPECT_FALSE(handles::mark(live, ptr(7)));   // already marked; the pointer is replaced
  handles::sweep();
  EXPECT_EQ(released, std::vector<void*>{ptr(2)});
  EXPECT_EQ(handles::kind_of(dead), 0);
  EXPECT_EQ(handles::pointer(live), ptr(7));
  handles::mark(live, nullptr);
  handles::sweep();
  EXPECT_EQ(released.size(), 1u);
  handles::sweep();   // no mark this time: live dies now
  EXPECT_EQ(released.back(), ptr(7));
  EXPECT_EQ(handles::used_count(), 0u);
}

TEST_F(HandleTables, ForEachOfKindVisitsOnlyThatKind) {
  int other = handles::register_kind("font", nullptr);
  handles::new_(ptr(1), kind);
  handles::new_(ptr(2), other);
  handles::new_(ptr(3), kind);
  static std::vector<void*> seen;
  seen.clear();
  handles::for_each_of_kind(kind, [](void* p) { seen.push_back(p); });
  EXPECT_EQ(seen.size(), 2u);
  handles::free(1, true);   // no release callback for fonts
  EXPECT_TRUE(released.empty());
}

TEST(HandleSlots, SlotsAreReusedAndTheTableDoubles) {
  testing::ensure_runtime();
  handles::slot_init();
  Cell v;
  set_integer(&v, 42);
  std::vector<int32_t> got;
  for (int i = 0; i < 100; i++) got.push_back(handles::slot_new(&v));
  EXPECT_EQ(got.front(), 1);
  EXPECT_EQ(got.back(), 100);
  EXPECT_EQ(handles::slot_capacity(), 100u);
  EXPECT_EQ(handles::slot_new(&v), 101);
  EXPECT_EQ(handles::slot_capacity(), 200u);
  EXPECT_EQ(handles::slot_cell(50)->int_value(), 42);
  handles::slot_free(0);   // no slot: nothing changes
  EXPECT_EQ(handles::slot_new(&v), 102);
  handles::slot_free(7);
  EXPECT_EQ(handles::slot_new(&v), 7);
}

}  // namespace
}  // namespace tav
