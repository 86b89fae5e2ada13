#include <gtest/gtest.h>
#include "cell.h"
TEST(Cell, IsSixteenBytes) { EXPECT_EQ(sizeof(tav::Cell), 16u); }
