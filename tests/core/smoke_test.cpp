#include <gtest/gtest.h>
#include "model/mpegframe.h"
TEST(Smoke, TwoDigits) { EXPECT_EQ(velmar::FormatTwoDigits(9), "09"); }
