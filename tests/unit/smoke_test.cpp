#include <gtest/gtest.h>
#include "core/cell.h"
TEST(Cell, IsSixteenBytes) { EXPECT_EQ(sizeof(tav::Cell), 16u); }
